#include "escape_tree.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "native_path.h"
#include "test_link.h"

namespace {

using Kind = EscapeEntry::Kind;

// Entries come after the folders they lie in and the ones they lead to.
const std::vector<EscapeEntry> kEntries = {
    {"folder in the home", "root/docs/sub", Kind::Folder, nullptr},
    {"file in a folder", "root/docs/a.txt", Kind::File, "abc"},
    {"mixed-case folder", "root/Photos/Trip", Kind::Folder, nullptr},
    {"mixed-case file", "root/Report.TXT", Kind::File, "abc"},
    {"names differing only in case", "root/Abc", Kind::Folder, nullptr},
    {"names differing only in case", "root/aBC", Kind::Folder, nullptr},
    {"empty folder", "root/empty", Kind::Folder, nullptr},
    {"folder that is not empty", "root/full/inner", Kind::Folder, nullptr},
    // 許, 功 and 蓋 end with the byte of a backslash in code page 950.
    {"trail byte backslash", "root/\xE8\xA8\xB1/sub", Kind::Folder, nullptr},
    {"trail byte backslashes", "root/\xE8\xA8\xB1\xE5\x8A\x9F\xE8\x93\x8B", Kind::Folder, nullptr},
    {"file below trail byte backslashes", "root/\xE8\xA8\xB1\xE5\x8A\x9F\xE8\x93\x8B/\xE6\xB7\xB1.txt", Kind::File,
     "deep inside"},
    {"sibling sharing the home's name", "root2/x", Kind::Folder, nullptr},
    {"file in the sibling", "root2/secret.txt", Kind::File, "secret"},
    {"folder above the home", "outside/secret", Kind::Folder, nullptr},
    {"empty folder above the home", "outside/emptydir", Kind::Folder, nullptr},
    {"file in a folder above the home", "outside/secret.txt", Kind::File, "secret"},
    {"file beside the home", "outside.txt", Kind::File, "outside"},
    {"link out to a folder", "root/escape", Kind::Link, "outside"},
    {"relative link out", "root/docs/relative-escape", Kind::Link, "../../outside"},
    {"link out to the base", "root/link", Kind::Link, ""},
    {"link out to a file", "root/linkfile", Kind::Link, "outside.txt"},
    {"dangling link", "root/dangling", Kind::Link, "nowhere"},
    {"link inside the home", "root/inlink", Kind::Link, "root/docs"},
    {"link to a trail byte folder", "root/inner", Kind::Link, "root/\xE8\xA8\xB1\xE5\x8A\x9F\xE8\x93\x8B"},
    {"link from outside into the home", "docs-from-outside", Kind::Link, "root/docs"},
    {"link from outside to the home", "back-in", Kind::Link, "root"},
};

} // namespace

CEscapeTree::CEscapeTree()
{
    if (!m_Temporary.Valid()) {
        m_strUnmade = "the temporary base";
        return;
    }
    m_strBase = m_Temporary.Path();
    const auto made = [this](const EscapeEntry& entry) { return Make(entry); };
    const auto unmade = std::find_if_not(kEntries.begin(), kEntries.end(), made);
    if (unmade != kEntries.end())
        m_strUnmade = std::string(unmade->name) + ": " + unmade->path;
}

std::vector<std::string> CEscapeTree::ListedIn(const std::string& folder)
{
    const std::string prefix = folder.empty() ? std::string() : folder + '/';
    std::vector<std::string> names;
    for (const EscapeEntry& entry : kEntries) {
        const std::string_view path(entry.path);
        if (!path.starts_with(prefix))
            continue;
        const std::string_view below = path.substr(prefix.size());
        const std::string name(below.substr(0, below.find('/')));
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> CEscapeTree::NamesIn(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(CNativePath::Of(folder), error)) {
        const std::string path = CNativePath::ProgramPath(entry.path());
        names.push_back(path.substr(path.rfind('/') + 1));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string CEscapeTree::OutsideFingerprint() const
{
    namespace fs = std::filesystem;
    const std::string home = Home() + '/';
    std::vector<std::string> entries;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(CNativePath::Of(m_strBase), error); !error && it != fs::end(it);
         it.increment(error))
        entries.push_back(CNativePath::ProgramPath(it->path()));
    std::sort(entries.begin(), entries.end());
    // Every name and every file's bytes, each behind its length, so that no
    // two different trees read the same.
    std::string fingerprint;
    for (const std::string& entry : entries) {
        if (entry.starts_with(home))
            continue;
        fingerprint += std::to_string(entry.size()) + ':' + entry;
        if (!fs::is_regular_file(CNativePath::Of(entry), error))
            continue;
        std::ifstream file(CNativePath::Of(entry), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        fingerprint += std::to_string(bytes.size()) + ':' + bytes;
    }
    return fingerprint;
}

bool CEscapeTree::Make(const EscapeEntry& entry) const
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path path = CNativePath::Of(Local(entry.path));
    if (entry.kind == Kind::Folder)
    {
        fs::create_directories(path, error);
        return !error && fs::is_directory(path, error);
    }
    if (entry.kind == Kind::File) {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        const std::string_view bytes(entry.content);
        return file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) && file.flush();
    }
    if (!CTestLink::Available())
        return true;
    const std::string target(entry.content);
    const bool bAsItIs = target.starts_with('.') || target.starts_with('/');
    const std::string resolved = bAsItIs ? target : target.empty() ? m_strBase : Local(target);
    return CTestLink::Make(resolved.starts_with('/') ? CNativePath::Of(resolved) : fs::path(resolved), path);
}
