// Feeds arbitrary client bytes through the path mapping, as a sequence of CWD
// commands (one per line of the input), and checks that every path the mapper
// lets through really lies at or below the home's real path. The check uses
// the standard library's own resolution, not the mapper's.

#include <cstdint>
#include <filesystem>
#include <string>

#include "escape_tree.h"
#include "fuzz_require.h"
#include "platform/byte_string.h"
#include "session/virtual_path.h"

namespace {

namespace fs = std::filesystem;

// The home of the escape tree, as written and once resolved.
struct Fixture {
    CEscapeTree tree;
    std::string home = tree.Home();
    std::string realHome = fs::weakly_canonical(home).string();
};

const Fixture& TheFixture()
{
    static const Fixture fixture;
    Require(fixture.tree.Unmade().empty(), "the escape tree is made", fixture.tree.Unmade());
    return fixture;
}

bool IsAtOrBelow(const std::string& path, const std::string& root)
{
    return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0
                            && path[root.size()] == '/');
}

void CheckInside(const CVirtualPath& paths, const std::string& local)
{
    const Fixture& fixture = TheFixture();
    Require(local.find('\0') == std::string::npos, "no NUL in a local path", local);
    Require(IsAtOrBelow(local, fixture.home), "inside as written", local);
    std::error_code error;
    const fs::path real = fs::weakly_canonical(fs::path(local), error);
    // A name longer than the file system allows can never be created, so
    // there is nothing to place; the mapper may still call it inside.
    if (error == std::errc::filename_too_long)
        return;
    Require(!error, "resolvable", local);
    Require(IsAtOrBelow(real.string(), fixture.realHome), "inside once resolved", local);
    const std::string client = paths.LocalToVirtual(local);
    Require(client.starts_with('/'), "client form rooted", client);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Fixture& fixture = TheFixture();
    CVirtualPath paths;
    paths.SetHome(fixture.home);
    const std::string input(reinterpret_cast<const char*>(data), size);
    for (const std::string& argument : ByteString::Split(input, '\n')) {
        const std::string local = paths.VirtualToLocal(argument);
        if (!paths.IsInsideHome(local))
            continue;
        CheckInside(paths, local);
        if (CVirtualPath::PathExists(local, true))
            paths.SetCurrentDir(local);
    }
    CheckInside(paths, paths.CurrentDir());
    return 0;
}
