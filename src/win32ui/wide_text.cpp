#include "win32ui/wide_text.h"

#include <windows.h>

namespace {

constexpr UINT kBig5CodePage = 950;

std::wstring Widen(UINT codePage, std::string_view bytes)
{
    if (bytes.empty())
        return {};
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), size, wide.data(), length);
    return wide;
}

} // namespace

std::wstring CWideText::FromBig5(std::string_view big5)
{
    return Widen(kBig5CodePage, big5);
}

std::wstring CWideText::FromUtf8(std::string_view utf8)
{
    return Widen(CP_UTF8, utf8);
}

std::string CWideText::ToUtf8(std::wstring_view wide)
{
    if (wide.empty())
        return {};
    const int size = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
    return utf8;
}
