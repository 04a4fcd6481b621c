#pragma once

#include <string_view>

#include <QString>

#include "platform/text_table.h"

// The window's edge: the core's texts and log rows (Big5 bytes) and the
// program's own texts (UTF-8) as the widgets show them. Keeps no state;
// used on the main thread.
class CDisplayText {
public:
    // Bytes that are not Big5 (a client's UTF-8, say) show as replacement
    // characters, one per bad byte or unknown double-byte code, and the Big5
    // around them still reads as Big5.
    static QString FromBig5(std::string_view big5);
    static QString Of(Text id) { return QString::fromUtf8(CTextTable::Utf8(id)); }
};
