#pragma once

#include <string>
#include <string_view>
#include <vector>

// The session's root (home) directory and current directory, and the mapping
// between the paths clients type and the local paths behind them. Local paths
// are absolute UTF-8 paths as the disk holds them, "/" being the top that ".."
// never passes; clients see "/"-separated paths rooted at the home directory,
// in code page 950. Owned by one session and used on its thread only.
//
// A path the client may use has to pass two tests: lexically it lies at or
// below the home directory, and once every symbolic link is resolved it still
// does, so neither "..", a sibling sharing the home's name as a prefix, nor a
// link leading out of the tree gets a client outside. Neither does a name the
// system reads more into than a name (on Windows: a device, a stream, a
// drive, a short alias): such a path counts as outside.
class CVirtualPath {
public:
    // Takes the home directory from the settings at login, in the system's
    // own form, and makes it the current directory. An empty or relative
    // home leaves no path usable.
    void SetHome(std::string_view nativeHome);
    const std::string& Home() const { return m_strHomeDir; }
    const std::string& CurrentDir() const { return m_strCurrentDir; }
    // Only for a result of VirtualToLocal that exists and is inside the home.
    void SetCurrentDir(std::string_view local) { m_strCurrentDir = local; }

    // The local path a client argument (code page 950 bytes) names. It may not
    // exist or may lie outside the home; callers test both. Bytes that are not
    // code page 950, or no usable home, give an empty path, which names nothing.
    std::string VirtualToLocal(std::string_view argument) const;

    // The client form of a local path at or below the home: "/" for the home,
    // otherwise the names below it, ASCII letters lower-cased, in code page 950
    // with "?" for characters it cannot hold.
    std::string LocalToVirtual(std::string_view local) const;

    // True when the path exists and is a directory (bDirectory set) or exists
    // and is not one (bDirectory clear).
    static bool PathExists(const std::string& local, bool bDirectory);

    // True when the path is the home itself or lies below it, both as written
    // and with every link resolved.
    bool IsInsideHome(const std::string& local) const;

private:
    bool IsHomeUsable() const;
    // Joins the names to an absolute path, taking each one that exists in its
    // directory under another ASCII case when the exact one does not.
    static std::string ResolveNames(const std::vector<std::string>& names);
    // The real path of the local path, or of its nearest existing ancestor
    // followed by the names below it that do not exist yet.
    static bool RealPathOfNearest(std::string_view local, std::string& real);

    std::string m_strHomeDir;
    std::string m_strCurrentDir;
};
