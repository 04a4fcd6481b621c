#pragma once

#include <string>
#include <string_view>

#include "platform/text_table.h"

// The window's edge: the core's texts and log rows (Big5 bytes), the
// program's own texts and the settings' paths (UTF-8) as the wide-character
// API takes them, and back.
class CWideText {
public:
    // Bytes that are not Big5 show as the system's replacement characters.
    static std::wstring FromBig5(std::string_view big5);
    static std::wstring FromUtf8(std::string_view utf8);
    static std::string ToUtf8(std::wstring_view wide);
    static std::wstring Of(Text id) { return FromUtf8(CTextTable::Utf8(id)); }
};
