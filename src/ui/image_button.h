#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QPixmap>

// A push button that draws itself from a strip of face pictures (normal,
// pressed, disabled, hot), each stretched once to the button's size without
// distorting its border, with the label drawn over the face. To its parent it
// is an ordinary button: a click is clicked(). It never takes the keyboard
// focus on a click, so the control the user is typing in keeps it. Main
// thread only.
class CImageButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr quint32 kOptionHoverTracking = 1;

    explicit CImageButton(QWidget* parent = nullptr);

    // Builds the faces from the strip at the button's present size: corners
    // as they are, edges stretched one way, the centre both. Magenta pixels of
    // the strip are transparent and show the parent. False when the strip
    // cannot be loaded or is narrower than the face count.
    bool LoadFaceStrip(const QString& resource, int faceCount, int left, int top, int right,
                       int bottom);
    void SetLabelColor(const QColor& color);
    // Centred both ways unless told otherwise; a label put at an edge keeps
    // 4 pixels from it.
    void SetLabelAlignment(Qt::Alignment alignment);
    // With mask 0 the value replaces the options; otherwise only masked bits change.
    quint32 SetOptions(quint32 value, quint32 mask);
    void SetFaceIndexes(int normal, int pressed, int disabled, int hot);

    int FaceCount() const { return m_nFaceCount; }
    QImage Face(int index) const;
    // The face a paint would draw now, or -1 when there is none.
    int ChosenFace() const;
    bool IsHovered() const { return m_bHovered; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool HoverTracking() const { return (m_nOptions & kOptionHoverTracking) != 0; }
    int ValidFace(int index) const;
    void PaintLabel(QPainter& painter) const;
    QRect LabelRect() const;

    QColor m_crLabel;
    Qt::Alignment m_nLabelAlignment = Qt::AlignCenter;
    quint32 m_nOptions = 0;
    QPixmap m_Faces;
    int m_nFaceCount = 0;
    int m_nNormalFace = -1;
    int m_nPressedFace = -1;
    int m_nHotFace = -1;
    int m_nDisabledFace = -1;
    bool m_bHovered = false;
};
