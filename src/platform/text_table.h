#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

// The table's rows are TEXT(...), a name the Windows headers use for a macro
// of their own: theirs is set aside while the table is read, and restored.
#pragma push_macro("TEXT")
#undef TEXT

// Names of every text of the program; the texts themselves live in res/.
enum class Text {
#define TEXT(name, utf8) name,
#include "res/texts.def"
#undef TEXT
    Count
};

inline constexpr std::string_view kUtf8Texts[] = {
#define TEXT(name, utf8) utf8,
#include "res/texts.def"
#undef TEXT
};
static_assert(std::size(kUtf8Texts) == static_cast<size_t>(Text::Count));

#pragma pop_macro("TEXT")

// The conversion a template writes for each argument type; there are no others.
template <typename Argument>
inline constexpr std::string_view kConversionOf = {};
template <>
inline constexpr std::string_view kConversionOf<int> = "d";
template <>
inline constexpr std::string_view kConversionOf<long long> = "lld";
template <>
inline constexpr std::string_view kConversionOf<const char*> = "s";
template <>
inline constexpr std::string_view kConversionOf<char*> = "s"; // a string literal, decayed
template <>
inline constexpr std::string_view kConversionOf<std::string> = "s";
template <>
inline constexpr std::string_view kConversionOf<std::string_view> = "s";

// True when the template's conversions are, one for one, those of the argument
// types ("%%" is a literal percent sign).
constexpr bool ConversionsMatch(std::string_view utf8, std::initializer_list<std::string_view> wanted)
{
    const std::string_view* next = wanted.begin();
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '%')
            continue;
        if (i + 1 < utf8.size() && utf8[i + 1] == '%') {
            ++i;
            continue;
        }
        if (next == wanted.end() || next->empty() || utf8.substr(i + 1, next->size()) != *next)
            return false;
        i += next->size();
        ++next;
    }
    return next == wanted.end();
}

// Reached only while compiling a call whose arguments do not fit its text;
// being no constant expression, it turns the mistake into a compile error.
void TextArgumentsDoNotMatchTemplate();

// A text named together with the types of the values it is formatted with.
// Built from a Text at compile time, so "%lld" with an int argument, a missing
// argument or one too many does not compile.
template <typename... Arguments>
struct TextTemplate {
    consteval TextTemplate(Text text)
        : id(text)
    {
        if (!ConversionsMatch(kUtf8Texts[static_cast<size_t>(text)], {kConversionOf<Arguments>...}))
            TextArgumentsDoNotMatchTemplate();
    }

    Text id;
};

// The program's texts as code page 950 bytes, converted once and then shared
// read-only by every thread.
class CTextTable {
public:
    static const std::string& Big5(Text id);
    static const char* Utf8(Text id) { return kUtf8Texts[static_cast<size_t>(id)].data(); }

    // The text with its conversions replaced by the arguments, in Big5.
    template <typename... Arguments>
    static std::string Format(TextTemplate<std::decay_t<Arguments>...> text, const Arguments&... arguments)
    {
        if constexpr (sizeof...(Arguments) == 0)
            return Big5(text.id);
        else
            return Substitute(Big5(text.id), {ArgumentText(arguments)...});
    }

private:
    static std::string ArgumentText(int value) { return std::to_string(value); }
    static std::string ArgumentText(long long value) { return std::to_string(value); }
    static std::string ArgumentText(std::string_view value) { return std::string(value); }
    static std::string Substitute(std::string_view big5, std::initializer_list<std::string> arguments);
};
