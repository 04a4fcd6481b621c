#pragma once

#include <QByteArray>
#include <QString>

// Names of every text of the program; the texts themselves live in res/.
enum class Text {
#define TEXT(name, utf8) name,
#include "res/texts.def"
#undef TEXT
    Count
};

// The program's texts as code page 950 bytes, converted once and then shared
// read-only by every thread.
class CTextTable {
public:
    static const QByteArray& Big5(Text id);
    static QString Display(Text id) { return QString::fromUtf8(Utf8(id)); }
    static const char* Utf8(Text id);
};
