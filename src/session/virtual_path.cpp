#include "session/virtual_path.h"

#include <algorithm>

#include "platform/big5_text.h"
#include "platform/byte_string.h"
#include "platform/file_system.h"

namespace {

// The non-empty names of a "/"-separated path; runs of "/" count as one.
std::vector<std::string> SplitNames(std::string_view path)
{
    std::vector<std::string> names;
    for (std::string& name : ByteString::Split(path, '/')) {
        if (!name.empty())
            names.push_back(std::move(name));
    }
    return names;
}

// Clients cannot make or reach names that begin or end with ".": such padding
// is dropped, and a name made only of dots vanishes (".." aside).
std::string TrimDots(std::string_view name)
{
    if (name == "..")
        return std::string(name);
    size_t first = 0;
    size_t last = name.size();
    while (first < last && name[first] == '.')
        ++first;
    while (last > first && name[last - 1] == '.')
        --last;
    return std::string(name.substr(first, last - first));
}

std::string AppendName(std::string_view directory, std::string_view name)
{
    std::string path(directory == "/" ? std::string_view() : directory);
    path += '/';
    path += name;
    return path;
}

// "/" followed by the names, "/"-separated.
std::string JoinNames(const std::vector<std::string>& names)
{
    std::string path("/");
    for (const std::string& name : names)
        path = AppendName(path, name);
    return path;
}

bool IsAtOrBelow(std::string_view path, std::string_view root)
{
    if (root == "/")
        return path.starts_with('/');
    return path == root || (path.starts_with(root) && path.size() > root.size() && path[root.size()] == '/');
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringAsciiCase(std::string_view left, std::string_view right)
{
    if (left.size() != right.size())
        return false;
    for (size_t i = 0; i < left.size(); ++i) {
        if (LowerAscii(left[i]) != LowerAscii(right[i]))
            return false;
    }
    return true;
}

// The entry of the directory that matches the name ignoring ASCII case; when
// several do, always the same one (the smallest by bytes), so a client's path
// keeps naming one entry however the directory is ordered on disk.
std::string FindIgnoringCase(const std::string& directory, std::string_view name)
{
    std::vector<std::string> entries;
    CFileSystem::ListNames(directory, entries);
    std::string best;
    for (const std::string& entry : entries) {
        if (EqualIgnoringAsciiCase(entry, name) && (best.empty() || entry < best))
            best = entry;
    }
    return best;
}

// Every name below the home has to stand for its entry alone: the system
// may read more into some (on Windows a device, a stream, a short alias of
// another entry), which would take a client where the names do not say.
bool HasOnlyPlainNamesBelow(std::string_view local, std::string_view home)
{
    std::string path(home);
    for (const std::string& name : SplitNames(local.substr(home.size()))) {
        path = AppendName(path, name);
        if (!CFileSystem::IsPlainName(path))
            return false;
    }
    return true;
}

} // namespace

// The home comes in the system's own form (on Windows a drive-letter path).
void CVirtualPath::SetHome(std::string_view nativeHome)
{
    m_strHomeDir.clear();
    const std::string home = CFileSystem::FromNativePath(nativeHome);
    if (home.starts_with('/') && home.find('\0') == std::string::npos) {
        std::vector<std::string> names;
        for (const std::string& name : SplitNames(home)) {
            if (name != ".")
                names.push_back(name);
        }
        m_strHomeDir = ResolveNames(names);
    }
    m_strCurrentDir = m_strHomeDir;
}

bool CVirtualPath::IsHomeUsable() const
{
    return m_strHomeDir.starts_with('/');
}

std::string CVirtualPath::VirtualToLocal(std::string_view argument) const
{
    std::string text;
    if (!IsHomeUsable() || !CBig5Text::ToUtf8(argument, text) || text.find('\0') != std::string::npos)
        return std::string();
    std::ranges::replace(text, '\\', '/');

    std::vector<std::string> names = SplitNames(text.starts_with('/') ? m_strHomeDir : m_strCurrentDir);
    for (const std::string& typed : SplitNames(text)) {
        std::string name = TrimDots(typed);
        if (name == "..") {
            if (!names.empty())
                names.pop_back();
        } else if (!name.empty()) {
            names.push_back(name);
        }
    }
    return ResolveNames(names);
}

std::string CVirtualPath::ResolveNames(const std::vector<std::string>& names)
{
    // A path that exists as written has every name on it existing too: one
    // look instead of one per name, for the common case.
    std::string written = JoinNames(names);
    if (CFileSystem::EntryExists(written))
        return written;
    std::string path("/");
    bool bResolving = true;
    for (const std::string& name : names) {
        std::string next = AppendName(path, name);
        if (bResolving && !CFileSystem::EntryExists(next)) {
            const std::string match = FindIgnoringCase(path, name);
            // Names below one that does not exist yet stay as typed: they are
            // what MKD or STOR is about to create.
            if (match.empty())
                bResolving = false;
            else
                next = AppendName(path, match);
        }
        path = std::move(next);
    }
    return path;
}

std::string CVirtualPath::LocalToVirtual(std::string_view local) const
{
    if (!IsHomeUsable() || local == m_strHomeDir || !IsAtOrBelow(local, m_strHomeDir))
        return std::string("/");
    std::string below(m_strHomeDir == "/" ? local : local.substr(m_strHomeDir.size()));
    for (char& c : below)
        c = LowerAscii(c);
    return CBig5Text::FromUtf8(below);
}

bool CVirtualPath::PathExists(const std::string& local, bool bDirectory)
{
    switch (CFileSystem::Stat(local).kind) {
    case FileKind::Directory:
        return bDirectory;
    case FileKind::File:
        return !bDirectory;
    case FileKind::Missing:
        break;
    }
    return false;
}

bool CVirtualPath::IsInsideHome(const std::string& local) const
{
    if (!IsHomeUsable() || !local.starts_with('/') || !IsAtOrBelow(local, m_strHomeDir)
        || !HasOnlyPlainNamesBelow(local, m_strHomeDir))
        return false;
    std::string realHome;
    std::string realLocal;
    if (CFileSystem::RealPath(m_strHomeDir, realHome) != FileError::None
        || !RealPathOfNearest(local, realLocal))
        return false;
    return IsAtOrBelow(realLocal, realHome);
}

bool CVirtualPath::RealPathOfNearest(std::string_view local, std::string& real)
{
    const std::vector<std::string> names = SplitNames(local);
    std::string existing("/");
    size_t nExisting = 0;
    if (std::string whole = JoinNames(names); CFileSystem::EntryExists(whole)) {
        existing = whole;
        nExisting = names.size();
    }
    while (nExisting < names.size() && CFileSystem::EntryExists(AppendName(existing, names[nExisting]))) {
        existing = AppendName(existing, names[nExisting]);
        ++nExisting;
    }
    // A link that leads nowhere exists as an entry but has no real path: what
    // would be created through it cannot be placed, so it counts as outside.
    if (CFileSystem::RealPath(existing, real) != FileError::None)
        return false;
    for (size_t i = nExisting; i < names.size(); ++i)
        real = AppendName(real, names[i]);
    return true;
}
