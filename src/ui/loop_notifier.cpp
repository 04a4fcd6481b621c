#include "ui/loop_notifier.h"

#include <QCoreApplication>

CLoopNotifier::CLoopNotifier(QObject* parent)
    : QObject(parent), m_Notifier(m_Loop.Descriptor(), QSocketNotifier::Read)
{
    connect(&m_Notifier, &QSocketNotifier::activated, this, [this] { m_Loop.RunPending(); });
    m_Loop.SetWaitHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
}

CLoopNotifier::~CLoopNotifier()
{
    m_Loop.SetWaitHook(nullptr);
}
