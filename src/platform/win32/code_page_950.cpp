#include "platform/code_page_950.h"

#include <windows.h>

namespace {

constexpr UINT kBig5 = 950;

// The bytes of the UTF-8 character that starts with the byte; 0 for a byte
// that starts none.
size_t Utf8Length(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// One character at a time, so that the conversion stops exactly before the
// first one the system cannot convert, as the callers' rules for the rest need.
bool Big5CharacterToUtf8(std::string_view& input, std::string& output)
{
    const size_t length = ::IsDBCSLeadByteEx(kBig5, static_cast<BYTE>(input[0])) ? 2 : 1;
    if (length > input.size())
        return false;
    wchar_t wide[2];
    const int nWide = ::MultiByteToWideChar(kBig5, MB_ERR_INVALID_CHARS, input.data(), static_cast<int>(length), wide, 2);
    if (nWide <= 0)
        return false;
    char utf8[8];
    const int nUtf8 = ::WideCharToMultiByte(CP_UTF8, 0, wide, nWide, utf8, sizeof(utf8), nullptr, nullptr);
    if (nUtf8 <= 0)
        return false;
    output.append(utf8, static_cast<size_t>(nUtf8));
    input.remove_prefix(length);
    return true;
}

// Without best fit: a character code page 950 does not hold is not
// converted, rather than turned into a look-alike.
bool Utf8CharacterToBig5(std::string_view& input, std::string& output)
{
    const size_t length = Utf8Length(static_cast<unsigned char>(input[0]));
    if (length == 0 || length > input.size())
        return false;
    wchar_t wide[2];
    const int nWide = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, input.data(), static_cast<int>(length), wide, 2);
    if (nWide <= 0)
        return false;
    char big5[4];
    BOOL bUsedDefault = FALSE;
    const int nBig5 = ::WideCharToMultiByte(kBig5, WC_NO_BEST_FIT_CHARS, wide, nWide, big5, sizeof(big5), nullptr,
                                            &bUsedDefault);
    if (nBig5 <= 0 || bUsedDefault)
        return false;
    output.append(big5, static_cast<size_t>(nBig5));
    input.remove_prefix(length);
    return true;
}

} // namespace

bool CCodePage950::ConvertUntilBad(Direction direction, std::string_view& input, std::string& output)
{
    const auto convertOne = direction == Direction::ToUtf8 ? &Big5CharacterToUtf8 : &Utf8CharacterToBig5;
    while (!input.empty()) {
        if (!convertOne(input, output))
            return false;
    }
    return true;
}
