// Feeds arbitrary client bytes through the path mapping, as a sequence of CWD
// commands (one per line of the input), and checks that every path the mapper
// lets through really lies at or below the home's real path. The check uses
// the standard library's own resolution, not the mapper's.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <QByteArray>
#include <QList>

#include "fuzz_require.h"
#include "session/virtual_path.h"

namespace {

namespace fs = std::filesystem;

struct Fixture {
    ~Fixture()
    {
        std::error_code error;
        if (!base.empty())
            fs::remove_all(base, error); // links are removed, never followed
    }

    std::string base;
    std::string home;
    std::string realHome;
};

// A home with directories, links leading out and in, a dangling link, a
// sibling that shares the home's name as a prefix, a name whose code page 950
// trail byte is a backslash, and names that differ only in case.
void MakeFixture(Fixture& fixture)
{
    char pattern[] = "/tmp/fuzz-virtual-path-XXXXXX";
    const char* created = mkdtemp(pattern);
    if (!created)
        std::abort();
    fixture.base = created;
    fixture.home = fixture.base + "/root";
    std::error_code error;
    for (const char* dir : {"root/docs/sub", "root/Photos/Trip", "root/\xE8\xA8\xB1/sub", "root/Abc", "root/aBC",
                            "root2/x", "outside/secret"})
        fs::create_directories(fixture.base + "/" + dir, error);
    fs::create_directory_symlink(fixture.base + "/outside", fixture.home + "/escape", error);
    fs::create_directory_symlink("../outside", fixture.home + "/docs/relative-escape", error);
    fs::create_directory_symlink(fixture.home + "/docs", fixture.home + "/inlink", error);
    fs::create_symlink(fixture.base + "/nowhere", fixture.home + "/dangling", error);
    fs::create_directory_symlink(fixture.home, fixture.base + "/back-in", error);
    fixture.realHome = fs::canonical(fixture.home).string();
}

const Fixture& TheFixture()
{
    static Fixture fixture;
    if (fixture.base.empty())
        MakeFixture(fixture);
    return fixture;
}

bool IsAtOrBelow(const std::string& path, const std::string& root)
{
    return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0
                            && path[root.size()] == '/');
}

void CheckInside(const CVirtualPath& paths, const QByteArray& local)
{
    const Fixture& fixture = TheFixture();
    Require(!local.contains('\0'), "no NUL in a local path", local);
    Require(IsAtOrBelow(local.toStdString(), fixture.home), "inside as written", local);
    std::error_code error;
    const fs::path real = fs::weakly_canonical(fs::path(local.toStdString()), error);
    // A name longer than the file system allows can never be created, so
    // there is nothing to place; the mapper may still call it inside.
    if (error == std::errc::filename_too_long)
        return;
    Require(!error, "resolvable", local);
    Require(IsAtOrBelow(real.string(), fixture.realHome), "inside once resolved", local);
    const QByteArray client = paths.LocalToVirtual(local);
    Require(client.startsWith('/'), "client form rooted", client);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Fixture& fixture = TheFixture();
    CVirtualPath paths;
    paths.SetHome(QByteArray::fromStdString(fixture.home));
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QByteArray& argument : input.split('\n')) {
        const QByteArray local = paths.VirtualToLocal(argument);
        if (!paths.IsInsideHome(local))
            continue;
        CheckInside(paths, local);
        if (CVirtualPath::PathExists(local, true))
            paths.SetCurrentDir(local);
    }
    CheckInside(paths, paths.CurrentDir());
    return 0;
}
