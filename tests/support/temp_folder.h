#pragma once

#include <filesystem>
#include <string>

#include "native_path.h"

// A folder of its own under the system's temporary folder, made empty and
// removed with everything in it when the object ends; removing never follows
// a link out of it. Its path is empty when no folder could be made.
class CTempFolder {
public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    bool Valid() const { return !m_strPath.empty(); }
    // The program's path (see CNativePath), links resolved, so that it
    // compares with what the server resolves.
    const std::string& Path() const { return m_strPath; }
    // The program's path of a name below the folder ("a/b" names b in a).
    std::string PathOf(const std::string& relative) const { return m_strPath + '/' + relative; }
    // The same for the standard library's file calls.
    std::filesystem::path NativeOf(const std::string& relative) const { return CNativePath::Of(PathOf(relative)); }

private:
    std::string m_strPath;
};
