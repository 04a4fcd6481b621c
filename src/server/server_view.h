#pragma once

#include <QByteArray>

// What the server control needs of its window: the caption, the status
// pane, the Start and Stop buttons and the log. All texts are Big5 bytes; the
// window turns them into display text at its edge. Called on the main thread.
class IServerView {
public:
    virtual ~IServerView() = default;

    virtual void SetCaption(const QByteArray& caption) = 0;
    virtual void SetStatusText(const QByteArray& status) = 0;
    virtual void SetServerRunning(bool bRunning) = 0;
    virtual void AddLogRow(quint32 threadId, const QByteArray& message) = 0;
};
