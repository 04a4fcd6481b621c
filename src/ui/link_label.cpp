#include "ui/link_label.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPalette>
#include <QUrl>

#include "ui/maker_links.h"

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
