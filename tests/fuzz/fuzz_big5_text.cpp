// Whole-character scanning of Big5 text: arbitrary bytes through the case
// changes, the separator search and the conversions. A trail byte must never
// be changed or found, and a conversion round trip must give the text back.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_require.h"
#include "platform/big5_text.h"

namespace {

// Marks the bytes that start a character, walking as the helpers must.
std::string CharacterStarts(const std::string& text)
{
    std::string starts(text.size(), '\0');
    for (size_t i = 0; i < text.size(); i += CBig5Text::CharLength(text, i))
        starts[i] = '\1';
    return starts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string starts = CharacterStarts(text);

    const std::string upper = CBig5Text::ToUpperAscii(text);
    const std::string lower = CBig5Text::ToLowerAscii(text);
    Require(upper.size() == text.size() && lower.size() == text.size(), "case change keeps the length");
    for (size_t i = 0; i < text.size(); ++i) {
        if (starts[i] == '\0') {
            Require(upper[i] == text[i] && lower[i] == text[i], "a trail byte never changes case");
        } else if (text[i] >= 'a' && text[i] <= 'z') {
            Require(upper[i] == text[i] - 32, "a lone ASCII letter is upper-cased");
        }
    }

    for (char separator : {'\\', '/', '.', ':', ' '}) {
        for (int from = 0, found; (found = CBig5Text::Find(text, separator, from)) >= 0; from = found + 1) {
            Require(starts[found] == '\1', "a separator found starts a character");
            Require(text[found] == separator, "the separator found is the one asked for");
        }
    }

    // A few Big5 codes share one character, so it is the text, not the
    // bytes, that must survive a round trip.
    std::string utf8;
    if (CBig5Text::ToUtf8(text, utf8)) {
        std::string again;
        Require(CBig5Text::ToUtf8(CBig5Text::FromUtf8(utf8), again) && again == utf8,
                "valid Big5 text survives a round trip through UTF-8");
    }
    (void)CBig5Text::FromUtf8(text);
    return 0;
}
