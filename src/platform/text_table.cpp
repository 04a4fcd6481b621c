#include "platform/text_table.h"

#include <array>

#include "platform/big5_text.h"

namespace {

constexpr const char* kUtf8Texts[] = {
#define TEXT(name, utf8) utf8,
#include "res/texts.def"
#undef TEXT
};
static_assert(std::size(kUtf8Texts) == static_cast<size_t>(Text::Count));

using Big5Table = std::array<QByteArray, static_cast<size_t>(Text::Count)>;

Big5Table BuildTable()
{
    Big5Table table;
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = CBig5Text::FromUtf8(kUtf8Texts[i]);
    return table;
}

} // namespace

const QByteArray& CTextTable::Big5(Text id)
{
    static const Big5Table table = BuildTable();
    return table[static_cast<size_t>(id)];
}

const char* CTextTable::Utf8(Text id)
{
    return kUtf8Texts[static_cast<size_t>(id)];
}
