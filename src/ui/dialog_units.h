#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

class QWidget;

// Turns dialog units into pixels for one font: a horizontal unit is a quarter
// of the font's average character width, a vertical one an eighth of its
// height. Dialogs place their controls in these units so that the arrangement
// holds whatever the face's size on this desktop.
class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);

    int X(int units) const;
    int Y(int units) const;
    // Edges are converted separately, so controls that meet in units meet in pixels.
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const;
    // Places a control; a static text or check box whose text needs more room
    // than its place gives grows to the right and down instead of being cut off.
    void Place(QWidget* control, int x, int y, int width, int height) const;

private:
    int m_nBaseX;
    int m_nBaseY;
};
