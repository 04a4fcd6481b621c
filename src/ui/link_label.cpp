#include "ui/link_label.h"

#include <QDesktopServices>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPalette>
#include <QUrl>

#include "res/maker_links.h"

CLinkLabel::CLinkLabel(QWidget* parent)
    : QLabel(parent)
    , m_strUrl(QString::fromLatin1(MakerLinks::kWebSite))
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    setPalette(palette);

    // Only the underline is set here, so family and size keep following the
    // dialog's font wherever the label is placed.
    QFont underline;
    underline.setUnderline(true);
    setFont(underline);

    setTextFormat(Qt::PlainText);
    // Text where the template put it; extra height goes to the underline.
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setCursor(Qt::PointingHandCursor);
}

void CLinkLabel::SetUrl(const QString& url)
{
    m_strUrl = url;
}

QString CLinkLabel::Target() const
{
    return m_strUrl.isEmpty() ? text() : m_strUrl;
}

QSize CLinkLabel::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int underlineBottom = metrics.ascent() + metrics.underlinePos() + metrics.lineWidth() + 1;
    return QLabel::sizeHint().expandedTo(QSize(0, underlineBottom));
}

void CLinkLabel::OpenUrl(const QString& url)
{
    // A URL the desktop cannot open fails quietly, as a dead link in a browser would.
    QDesktopServices::openUrl(QUrl(url));
}

void CLinkLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        OpenUrl(Target());
    QLabel::mousePressEvent(event);
}
