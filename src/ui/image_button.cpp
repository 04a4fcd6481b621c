#include "ui/image_button.h"

#include <QEnterEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

namespace {

constexpr int kFallbackWidth = 75;
constexpr int kFallbackHeight = 23;
const QColor kEngravedText(0x80, 0x80, 0x80);
const QColor kTransparentColor(0xFF, 0x00, 0xFF);
constexpr int kLabelMargin = 4;

// Where a label of the given extent starts along one side of the button.
int LabelStart(int room, int extent, bool bAtStart, bool bAtEnd)
{
    if (bAtStart)
        return kLabelMargin;
    if (bAtEnd)
        return room - kLabelMargin - extent;
    return (room - extent) / 2;
}

} // namespace

CImageButton::CImageButton(QWidget* parent)
    : QAbstractButton(parent)
    , m_crLabel(palette().color(QPalette::ButtonText))
{
    // Tab still reaches the button (and Space clicks it), but a click leaves
    // the keyboard focus where it was.
    setFocusPolicy(Qt::TabFocus);
    setMouseTracking(true);
}

bool CImageButton::LoadFaceStrip(const QString& resource, int faceCount, int left, int top,
                                 int right, int bottom)
{
    QPixmap strip(resource);
    if (strip.isNull() || faceCount < 1 || strip.width() < faceCount)
        return false;
    strip.setMask(strip.createMaskFromColor(kTransparentColor, Qt::MaskInColor));

    const int faceWidth = strip.width() / faceCount;
    const QSize size = this->size();
    const QMargins margins(left, top, right, bottom);
    QPixmap faces(size.width() * faceCount, size.height());
    faces.fill(Qt::transparent);
    {
        QPainter painter(&faces);
        for (int i = 0; i < faceCount; ++i) {
            const QRect target(size.width() * i, 0, size.width(), size.height());
            const QRect source(faceWidth * i, 0, faceWidth, strip.height());
            qDrawBorderPixmap(&painter, target, margins, strip, source, margins);
        }
    }
    m_Faces = faces;
    m_nFaceCount = faceCount;
    SetFaceIndexes(0, faceCount >= 2 ? 1 : -1, faceCount >= 3 ? 2 : -1, faceCount >= 4 ? 3 : -1);
    update();
    return true;
}

void CImageButton::SetLabelColor(const QColor& color)
{
    m_crLabel = color;
    update();
}

void CImageButton::SetLabelAlignment(Qt::Alignment alignment)
{
    m_nLabelAlignment = alignment;
    update();
}

quint32 CImageButton::SetOptions(quint32 value, quint32 mask)
{
    const quint32 previous = m_nOptions;
    m_nOptions = mask == 0 ? value : (m_nOptions & ~mask) | (value & mask);
    if (!HoverTracking())
        m_bHovered = false;
    return previous;
}

void CImageButton::SetFaceIndexes(int normal, int pressed, int disabled, int hot)
{
    m_nNormalFace = normal;
    m_nPressedFace = pressed;
    m_nDisabledFace = disabled;
    m_nHotFace = hot;
    update();
}

QImage CImageButton::Face(int index) const
{
    if (index < 0 || index >= m_nFaceCount)
        return QImage();
    const int width = m_Faces.width() / m_nFaceCount;
    return m_Faces.copy(width * index, 0, width, m_Faces.height()).toImage();
}

int CImageButton::ValidFace(int index) const
{
    // A face the strip does not have falls back to the normal one.
    if (index >= 0 && index < m_nFaceCount)
        return index;
    return m_nNormalFace >= 0 && m_nNormalFace < m_nFaceCount ? m_nNormalFace : -1;
}

int CImageButton::ChosenFace() const
{
    if (m_nFaceCount == 0)
        return -1;
    if (isDown())
        return ValidFace(m_nPressedFace);
    // A button disabled under the cursor stays hot until the cursor leaves.
    if (HoverTracking() && m_bHovered)
        return ValidFace(m_nHotFace);
    if (isEnabled())
        return ValidFace(m_nNormalFace);
    return ValidFace(m_nDisabledFace);
}

QSize CImageButton::sizeHint() const
{
    if (m_nFaceCount > 0)
        return QSize(m_Faces.width() / m_nFaceCount, m_Faces.height());
    return QSize(kFallbackWidth, kFallbackHeight);
}

void CImageButton::paintEvent(QPaintEvent*)
{
    if (m_nFaceCount == 0)
        return;

    // One finished picture per paint; transparent face pixels show the parent.
    QPixmap buffer(size());
    buffer.fill(Qt::transparent);
    {
        QPainter painter(&buffer);
        const int face = ChosenFace();
        if (face >= 0) {
            const int width = m_Faces.width() / m_nFaceCount;
            painter.drawPixmap(0, 0, m_Faces, width * face, 0, width, m_Faces.height());
        }
        PaintLabel(painter);
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

QRect CImageButton::LabelRect() const
{
    const QSize extent = fontMetrics().size(Qt::TextShowMnemonic, text());
    const int x = LabelStart(width(), extent.width(), m_nLabelAlignment & Qt::AlignLeft,
                             m_nLabelAlignment & Qt::AlignRight);
    const int y = LabelStart(height(), extent.height(), m_nLabelAlignment & Qt::AlignTop,
                             m_nLabelAlignment & Qt::AlignBottom);
    QRect area(QPoint(x, y), extent);
    if (isDown())
        area.translate(1, 1);
    return area;
}

void CImageButton::PaintLabel(QPainter& painter) const
{
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic | Qt::TextDontClip;
    const QRect area = LabelRect();
    painter.setFont(font());
    if (isEnabled()) {
        painter.setPen(m_crLabel);
        painter.drawText(area, flags, text());
        return;
    }
    // Engraved: a light copy one pixel down and right under grey text. The
    // grey is darker than the style's shadow colour, which all but vanishes
    // on the pale disabled face.
    painter.setPen(palette().color(QPalette::Light));
    painter.drawText(area.translated(1, 1), flags, text());
    painter.setPen(kEngravedText);
    painter.drawText(area, flags, text());
}

void CImageButton::mouseMoveEvent(QMouseEvent* event)
{
    // Without a button held the move is hover; with one, the base class
    // tracks whether the cursor is still on the pressed button.
    if (event->buttons() == Qt::NoButton && HoverTracking() && !m_bHovered) {
        m_bHovered = true;
        repaint();
    }
    QAbstractButton::mouseMoveEvent(event);
}

void CImageButton::enterEvent(QEnterEvent* event)
{
    // A disabled button is told of the cursor coming in, but it must not
    // light up for it; only one disabled under the cursor keeps its hot face.
    if (isEnabled() && HoverTracking() && !m_bHovered
        && QGuiApplication::mouseButtons() == Qt::NoButton) {
        m_bHovered = true;
        repaint();
    }
    QAbstractButton::enterEvent(event);
}

void CImageButton::leaveEvent(QEvent* event)
{
    if (m_bHovered) {
        m_bHovered = false;
        update();
    }
    QAbstractButton::leaveEvent(event);
}

void CImageButton::changeEvent(QEvent* event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        repaint();
}
