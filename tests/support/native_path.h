#pragma once

#include <filesystem>
#include <string>

// Between the paths the program takes (UTF-8, "/"-separated from one top;
// on Windows the drive comes first: "/C:/x" is C:\x) and the paths of the
// standard library's file calls, with which the tests make and read files.
class CNativePath {
public:
    static std::filesystem::path Of(const std::string& path);
    static std::string ProgramPath(const std::filesystem::path& native);
    // A folder as the settings hold it: the system's form as UTF-8 text
    // ("C:\x" on Windows).
    static std::string SettingText(const std::string& path);
};
