#include "ui/dialog_units.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QString>

namespace {

const QString kAlphabet = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");

} // namespace

CDialogUnits::CDialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    // The average over both alphabets, rounded, as dialog templates expect.
    const int alphabetWidth = metrics.horizontalAdvance(kAlphabet);
    m_nBaseX = (alphabetWidth / 26 + 1) / 2;
    m_nBaseY = metrics.height();
}

int CDialogUnits::X(int units) const
{
    return units * m_nBaseX / 4;
}

int CDialogUnits::Y(int units) const
{
    return units * m_nBaseY / 8;
}

QRect CDialogUnits::Rect(int x, int y, int width, int height) const
{
    const int left = X(x);
    const int top = Y(y);
    return QRect(left, top, X(x + width) - left, Y(y + height) - top);
}

QSize CDialogUnits::Size(int width, int height) const
{
    return QSize(X(width), Y(height));
}

void CDialogUnits::Place(QWidget* control, int x, int y, int width, int height) const
{
    QRect area = Rect(x, y, width, height);
    // The stand-in face draws Latin letters wider than the designer's face
    // did, so texts such as the version line would lose their ends; links
    // need a pixel or two below the text for their underline.
    if (qobject_cast<QLabel*>(control) || qobject_cast<QCheckBox*>(control))
        area.setSize(area.size().expandedTo(control->sizeHint()));
    control->setGeometry(area);
}
