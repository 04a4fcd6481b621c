#include "platform/text_table.h"

#include <array>

#include "platform/big5_text.h"

namespace {

using Big5Table = std::array<std::string, static_cast<size_t>(Text::Count)>;

Big5Table BuildTable()
{
    Big5Table table;
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = CBig5Text::FromUtf8(kUtf8Texts[i]);
    return table;
}

// Length of the conversion that starts at a "%": "%%", "%d", "%s" or "%lld".
size_t ConversionLength(std::string_view big5, size_t index)
{
    size_t end = index + 1;
    while (end < big5.size() && big5[end] == 'l')
        ++end;
    return end - index + 1;
}

} // namespace

const std::string& CTextTable::Big5(Text id)
{
    static const Big5Table table = BuildTable();
    return table[static_cast<size_t>(id)];
}

// A Big5 trail byte is never "%", so a plain byte scan finds the conversions.
std::string CTextTable::Substitute(std::string_view big5, std::initializer_list<std::string> arguments)
{
    std::string result;
    const std::string* next = arguments.begin();
    for (size_t i = 0; i < big5.size(); ++i) {
        if (big5[i] != '%') {
            result += big5[i];
            continue;
        }
        const size_t length = ConversionLength(big5, i);
        if (big5.substr(i, 2) == "%%")
            result += '%';
        else if (next != arguments.end())
            result += *next++;
        i += length - 1;
    }
    return result;
}
