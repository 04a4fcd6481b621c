#include "platform/big5_text.h"

#include <algorithm>

#include "platform/code_page_950.h"

namespace {

// Where input cannot be converted: the mark written in its place, and how
// many bytes the bad character takes, so that the rest is still converted.
struct Replacement {
    std::string_view mark;
    size_t (*badLength)(const unsigned char* in, size_t inLeft);
};

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// A name on disk need not be valid UTF-8: skip one sequence, but only as far
// as its continuation bytes go, so that a stray or cut-short sequence costs
// one mark and never the characters after it.
size_t BadUtf8Length(const unsigned char* in, size_t inLeft)
{
    const unsigned char lead = in[0];
    size_t length = 1;
    if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    size_t skipped = 1;
    while (skipped < length && skipped < inLeft && IsContinuation(in[skipped]))
        ++skipped;
    return skipped;
}

bool IsBig5TrailByte(unsigned char byte)
{
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0xA1 && byte <= 0xFE);
}

// A well-formed pair the table does not know (a user-defined character) is
// one character and one mark, or its trail byte would show as a stray
// letter or backslash. Any other bad byte is a mark of its own, so the
// byte after it is read afresh.
size_t BadBig5Length(const unsigned char* in, size_t inLeft)
{
    if (inLeft >= 2 && CBig5Text::IsLeadByte(in[0]) && IsBig5TrailByte(in[1]))
        return 2;
    return 1;
}

constexpr Replacement kQuestionMark = {"?", BadUtf8Length};
// U+FFFD, the replacement character, in UTF-8.
constexpr Replacement kReplacementCharacter = {"\xEF\xBF\xBD", BadBig5Length};

// Converts the whole input. Without a replacement, input that cannot be
// converted fails the conversion; with one, it becomes the mark and the
// conversion goes on right after it.
bool Convert(CCodePage950::Direction direction, std::string_view input, std::string& output,
             const Replacement* replacement)
{
    output.clear();
    while (!CCodePage950::ConvertUntilBad(direction, input, output)) {
        if (!replacement || input.empty())
            return false;
        output.append(replacement->mark);
        input.remove_prefix(replacement->badLength(reinterpret_cast<const unsigned char*>(input.data()), input.size()));
    }
    return true;
}

} // namespace

int CBig5Text::CharLength(std::string_view text, size_t index)
{
    if (IsLeadByte(static_cast<unsigned char>(text[index])) && index + 1 < text.size())
        return 2;
    return 1;
}

namespace {

// Changes the ASCII letters from..to by the offset, whole characters at a time.
std::string ShiftAsciiLetters(std::string_view text, char from, char to, int offset)
{
    std::string result(text);
    for (size_t i = 0; i < result.size(); i += CBig5Text::CharLength(result, i)) {
        const char c = result[i];
        if (c >= from && c <= to)
            result[i] = static_cast<char>(c + offset);
    }
    return result;
}

} // namespace

std::string CBig5Text::ToUpperAscii(std::string_view text)
{
    return ShiftAsciiLetters(text, 'a', 'z', 'A' - 'a');
}

std::string CBig5Text::ToLowerAscii(std::string_view text)
{
    return ShiftAsciiLetters(text, 'A', 'Z', 'a' - 'A');
}

int CBig5Text::Find(std::string_view text, char ascii, int from)
{
    for (size_t i = 0; i < text.size(); i += CharLength(text, i)) {
        if (static_cast<int>(i) >= from && text[i] == ascii)
            return static_cast<int>(i);
    }
    return -1;
}

bool CBig5Text::EndsWith(std::string_view text, char ascii)
{
    size_t last = 0;
    bool bAny = false;
    for (size_t i = 0; i < text.size(); i += CharLength(text, i)) {
        last = i;
        bAny = true;
    }
    return bAny && CharLength(text, last) == 1 && text[last] == ascii;
}

std::string CBig5Text::OneLine(std::string_view text)
{
    std::string line(text);
    std::ranges::replace(line, '\r', ' ');
    std::ranges::replace(line, '\n', ' ');
    return line;
}

bool CBig5Text::ToUtf8(std::string_view big5, std::string& utf8)
{
    return Convert(CCodePage950::Direction::ToUtf8, big5, utf8, nullptr);
}

std::string CBig5Text::FromUtf8(std::string_view utf8)
{
    std::string big5;
    Convert(CCodePage950::Direction::FromUtf8, utf8, big5, &kQuestionMark);
    return big5;
}

bool CBig5Text::ToDisplayUtf8(std::string_view big5, std::string& utf8)
{
    return Convert(CCodePage950::Direction::ToUtf8, big5, utf8, &kReplacementCharacter);
}
