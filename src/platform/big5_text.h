#pragma once

#include <string>
#include <string_view>

// Code page 950 (Big5) text as the program keeps it: byte strings whose
// double-byte characters must never be split. A trail byte can be "\" (許 is
// B3 5C) or an ASCII letter (兀 is A4 61), so every scan, trim and case change
// here walks whole characters. Conversions use glibc's iconv, one converter
// per thread, so sessions convert in parallel without locks.
class CBig5Text {
public:
    // A lead byte starts a double-byte character when a byte follows it.
    static bool IsLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

    // Length in bytes of the character that starts at index.
    static int CharLength(std::string_view text, size_t index);

    // ASCII letters a-z become A-Z; double-byte characters stay as they are.
    static std::string ToUpperAscii(std::string_view text);
    static std::string ToLowerAscii(std::string_view text);

    // Index of the first whole character equal to the ASCII byte, or -1.
    static int Find(std::string_view text, char ascii, int from = 0);

    // True when the text ends with the ASCII byte as a whole character.
    static bool EndsWith(std::string_view text, char ascii);

    // The text with every CR and LF turned into a blank, so that a name a
    // client chose can never end a reply or a listing line early and forge
    // the next one. Neither byte is ever the trail byte of a character.
    static std::string OneLine(std::string_view text);

    // Big5 bytes to UTF-8. False when the bytes are not valid code page 950.
    static bool ToUtf8(std::string_view big5, std::string& utf8);

    // UTF-8 to Big5; characters code page 950 cannot hold become "?".
    static std::string FromUtf8(std::string_view utf8);

    // For showing: Big5 bytes to UTF-8 that never fails. Bytes that are not
    // Big5 (a client's UTF-8, say) show as replacement characters, one per
    // bad byte or unknown double-byte code, and the Big5 around them still
    // reads as Big5. Returns false, with the bytes left as they are, only
    // when no converter is to be had.
    static bool ToDisplayUtf8(std::string_view big5, std::string& utf8);
};
