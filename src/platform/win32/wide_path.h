#pragma once

#include <string>
#include <string_view>

// Between the core's paths and the system's. The core writes every local
// path "/"-separated from a single top, as on Linux; on Windows the names
// just below the top are the drives: "/C:/分享/a.txt" is C:\分享\a.txt. Text
// is UTF-8 in the core and UTF-16 for the system. Usable from any thread.
class CWidePath {
public:
    static std::wstring FromUtf8(std::string_view text);
    static std::string ToUtf8(std::wstring_view text);

    // The system's path for a core path; empty for one that names no drive
    // (the top itself, or not absolute), which then names nothing.
    static std::wstring ToNative(std::string_view path);
    // The core's path for a system path on a drive ("C:\x" or "\\?\C:\x");
    // empty for anything else (a share of another machine, a device).
    static std::string FromNative(std::wstring_view path);

    // Whether the system takes the one name as written, for a file or a
    // folder: no device name (with an extension too), no stream or drive
    // (a colon), no wildcard or other character a name cannot hold, and no
    // trailing dot or space, which the system would trim into another name.
    static bool IsPlainName(std::wstring_view name);
};
