#pragma once

#include <QFont>

// The font every dialog of the program is laid out in. The dialogs ask for the
// Windows Ming face by name; on a desktop without it the nearest Ming face
// stands in, so that text widths and the dialog units built on them stay close
// to those the dialogs were designed with.
class CDialogFont {
public:
    // Installs the face substitutions (once per process) and returns the font.
    static QFont Font();
};
