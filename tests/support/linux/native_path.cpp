#include "native_path.h"

// Linux paths are the program's paths: bytes, "/"-separated.
std::filesystem::path CNativePath::Of(const std::string& path)
{
    return path;
}

std::string CNativePath::ProgramPath(const std::filesystem::path& native)
{
    return native.string();
}

std::string CNativePath::SettingText(const std::string& path)
{
    return path;
}
