#include "ui/dialog_units.h"

#include <QFontMetrics>
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
