#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "native_path.h"
#include "temp_folder.h"

// One entry of the escape tree: the way out of the root (or back in) it
// stands for, where it lies below the base, and what it is.
struct EscapeEntry {
    enum class Kind { Folder, File, Link };
    const char* name;
    const char* path; // below the base, UTF-8
    Kind kind;
    // A file's bytes; a link's target, below the base, or taken as it is when
    // it begins with "." or "/".
    const char* content;
};

// A fresh temporary base that holds a home "root" and, beside and inside it,
// every way out of it the path tests and fuzzers try: a sibling whose name
// begins with the home's, files and folders above it, links leading out (to
// a folder, to a file, to the base itself, relative), a dangling link, links
// back in, names whose code page 950 trail byte is a backslash, and names that
// differ only in case. Removed with everything in it when the tree ends;
// removing never follows the links. Where the tests make no links (see
// CTestLink) the tree holds none.
class CEscapeTree {
public:
    CEscapeTree();

    // Empty when every entry was made; else the first that was not, by its
    // name and path.
    std::string Unmade() const { return m_strUnmade; }
    // The base's real path, links resolved.
    std::string Base() const { return m_strBase; }
    std::string Home() const { return Local("root"); }
    std::string Local(const std::string& relative) const { return m_strBase + '/' + relative; }
    // The same for the standard library's file calls.
    std::filesystem::path Native(const std::string& relative) const { return CNativePath::Of(Local(relative)); }
    // The names the tree puts directly in a folder below the base ("" for
    // the base itself), sorted byte for byte.
    static std::vector<std::string> ListedIn(const std::string& folder);
    // The names a folder holds on disk, sorted the same way.
    static std::vector<std::string> NamesIn(const std::string& folder);
    // Every name outside the home and every file's bytes, to tell whether
    // anything there changed.
    std::string OutsideFingerprint() const;

private:
    bool Make(const EscapeEntry& entry) const;

    CTempFolder m_Temporary;
    std::string m_strBase;
    std::string m_strUnmade;
};
