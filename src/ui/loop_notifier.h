#pragma once

#include <QObject>
#include <QSocketNotifier>

#include "platform/event_loop.h"

// The main thread's event loop, driven by the window's: one socket notifier
// watches the loop's descriptor and runs what is ready, and a wait of the
// main thread (Stop's) keeps the window painting through the loop's hook.
// Made on the main thread before anything that lives on its loop, and gone
// after it.
class CLoopNotifier : public QObject {
public:
    explicit CLoopNotifier(QObject* parent = nullptr);
    ~CLoopNotifier() override;

    CEventLoop& Loop() { return m_Loop; }

private:
    CEventLoop m_Loop;
    QSocketNotifier m_Notifier;
};
