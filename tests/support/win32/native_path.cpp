#include "native_path.h"

#include "platform/win32/wide_path.h"

// In UTF-16 both ways: a narrow path would go through the ANSI code page.
std::filesystem::path CNativePath::Of(const std::string& path)
{
    return CWidePath::ToNative(path);
}

std::string CNativePath::ProgramPath(const std::filesystem::path& native)
{
    return CWidePath::FromNative(native.wstring());
}

std::string CNativePath::SettingText(const std::string& path)
{
    return CWidePath::ToUtf8(CWidePath::ToNative(path));
}
