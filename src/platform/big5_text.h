#pragma once

#include <string>
#include <string_view>

#include <QByteArray>
#include <QString>

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
    static int CharLength(const QByteArray& text, int index);

    // ASCII letters a-z become A-Z; double-byte characters stay as they are.
    static QByteArray ToUpperAscii(const QByteArray& text);
    static QByteArray ToLowerAscii(const QByteArray& text);

    // Index of the first whole character equal to the ASCII byte, or -1.
    static int Find(const QByteArray& text, char ascii, int from = 0);

    // True when the text ends with the ASCII byte as a whole character.
    static bool EndsWith(const QByteArray& text, char ascii);

    // The text with every CR and LF turned into a blank, so that a name a
    // client chose can never end a reply or a listing line early and forge
    // the next one. Neither byte is ever the trail byte of a character.
    static QByteArray OneLine(const QByteArray& text);

    // Big5 bytes to UTF-8. False when the bytes are not valid code page 950.
    static bool ToUtf8(const QByteArray& big5, std::string& utf8);

    // UTF-8 to Big5; characters code page 950 cannot hold become "?".
    static QByteArray FromUtf8(std::string_view utf8);

    // For the window's edge: Big5 bytes to a QString. Bytes that
    // are not Big5 (a client's UTF-8, say) show as replacement characters,
    // one per bad byte or unknown double-byte code, and the Big5 around
    // them still reads as Big5.
    static QString ToQString(const QByteArray& big5);
};
