// Linked into every test program: the main thread gets the event loop the
// program's own start-up gives it, driven by the toolkit's loop, so that
// the tests' waits (QTRY, qWait, processEvents) run it too.

#include <QCoreApplication>

#include "ui/loop_notifier.h"

namespace {

void CreateMainThreadLoop()
{
    new CLoopNotifier(QCoreApplication::instance());
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(CreateMainThreadLoop)
