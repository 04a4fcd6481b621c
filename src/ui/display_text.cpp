#include "ui/display_text.h"

#include <algorithm>
#include <string>

#include "platform/big5_text.h"

QString CDisplayText::FromBig5(std::string_view big5)
{
    const auto latin1 = [big5] { return QString::fromLatin1(big5.data(), static_cast<qsizetype>(big5.size())); };
    // Most log rows are plain ASCII, and the log converts every row it draws.
    if (std::all_of(big5.cbegin(), big5.cend(), [](char byte) { return static_cast<unsigned char>(byte) < 0x80; }))
        return latin1();
    std::string utf8;
    if (!CBig5Text::ToDisplayUtf8(big5, utf8))
        return latin1();
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
