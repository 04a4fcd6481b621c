#include "platform/win32/wide_path.h"

#include <algorithm>

#include <windows.h>

namespace {

bool IsDriveLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// "X:" alone, or "X:" and a separator.
bool StartsWithDrive(std::wstring_view path)
{
    return path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':'
        && (path.size() == 2 || path[2] == L'\\' || path[2] == L'/');
}

// Names the system gives to devices in every folder; a name is one of them
// whatever follows its first dot and whatever the letters' case.
constexpr std::wstring_view kDeviceNames[] = {
    L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$", L"CLOCK$",
    L"COM1", L"COM2", L"COM3", L"COM4", L"COM5", L"COM6", L"COM7", L"COM8", L"COM9",
    L"COM\u00B9", L"COM\u00B2", L"COM\u00B3",
    L"LPT1", L"LPT2", L"LPT3", L"LPT4", L"LPT5", L"LPT6", L"LPT7", L"LPT8", L"LPT9",
    L"LPT\u00B9", L"LPT\u00B2", L"LPT\u00B3",
};

constexpr std::wstring_view kCharactersNoNameHolds = L"<>:\"/\\|?*";

wchar_t UpperAscii(wchar_t c)
{
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

bool IsDeviceName(std::wstring_view name)
{
    std::wstring_view base = name.substr(0, name.find(L'.'));
    while (base.ends_with(L' '))
        base.remove_suffix(1);
    std::wstring upper(base);
    std::ranges::transform(upper, upper.begin(), UpperAscii);
    return std::ranges::find(kDeviceNames, std::wstring_view(upper)) != std::end(kDeviceNames);
}

} // namespace

bool CWidePath::IsPlainName(std::wstring_view name)
{
    if (name.empty() || name == L"." || name == L".." || name.ends_with(L'.') || name.ends_with(L' '))
        return false;
    const bool bHoldable = std::ranges::none_of(
        name, [](wchar_t c) { return c < 0x20 || kCharactersNoNameHolds.find(c) != std::wstring_view::npos; });
    return bHoldable && !IsDeviceName(name);
}

std::wstring CWidePath::FromUtf8(std::string_view text)
{
    if (text.empty())
        return std::wstring();
    const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                             nullptr, 0);
    std::wstring wide(static_cast<size_t>(std::max(length, 0)), L'\0');
    if (length > 0)
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(),
                              length);
    return wide;
}

std::string CWidePath::ToUtf8(std::wstring_view text)
{
    if (text.empty())
        return std::string();
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                             nullptr, nullptr);
    std::string narrow(static_cast<size_t>(std::max(length, 0)), '\0');
    if (length > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                              nullptr);
    return narrow;
}

// A drive alone becomes its root ("C:\"): "C:" would name the drive's
// current directory instead. A path with a name the system would read more
// into (a device, a stream) names nothing at all, so no caller can reach
// one by accident.
std::wstring CWidePath::ToNative(std::string_view path)
{
    if (!path.starts_with('/') || path.find('\\') != std::string_view::npos)
        return std::wstring();
    std::wstring native = FromUtf8(path.substr(1));
    if (!StartsWithDrive(native))
        return std::wstring();
    for (size_t start = 3; start < native.size();) {
        const size_t end = std::min(native.find(L'/', start), native.size());
        if (!IsPlainName(std::wstring_view(native).substr(start, end - start)))
            return std::wstring();
        start = end + 1;
    }
    std::ranges::replace(native, L'/', L'\\');
    if (native.size() == 2)
        native += L'\\';
    return native;
}

std::string CWidePath::FromNative(std::wstring_view path)
{
    constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
    if (path.starts_with(kLongPrefix))
        path.remove_prefix(kLongPrefix.size());
    if (!StartsWithDrive(path))
        return std::string();
    std::wstring names(path);
    std::ranges::replace(names, L'\\', L'/');
    while (names.size() > 2 && names.back() == L'/')
        names.pop_back();
    return "/" + ToUtf8(names);
}
