#pragma once

#include <QLabel>
#include <QString>

// A static text that works as a hyperlink: blue, underlined in its dialog's
// font, a pointing hand over the whole control, and a click hands its URL to
// the desktop (browser or mail program). Lives on the main thread with its
// dialog.
class CLinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit CLinkLabel(QWidget* parent = nullptr);

    void SetUrl(const QString& url);
    // What a click opens: the URL, or the label's own text when the URL is empty.
    QString Target() const;

    // Tall enough for the underline, which faces with a small descent draw
    // below the text's own height.
    QSize sizeHint() const override;

protected:
    // The desktop's opener; tests override it to see what would be opened.
    virtual void OpenUrl(const QString& url);

    void mousePressEvent(QMouseEvent* event) override;

private:
    QString m_strUrl;
};
