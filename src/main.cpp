#include <QtGlobal>

#include "platform/process_memory.h"
#include "ui/server_app.h"

int main(int argc, char* argv[])
{
    // Threads other than the main one run Qt's own event loop rather than
    // GLib's: GLib's wakes itself up each time a socket notifier comes or
    // goes, which every session and every data connection does several times.
    // The main thread keeps GLib's loop, which the desktop's dialogs may need.
    if (qEnvironmentVariableIsEmpty("QT_NO_THREADED_GLIB"))
        qputenv("QT_NO_THREADED_GLIB", "1");
    // Before the toolkit starts threads of its own.
    CProcessMemory::ShareOneHeap();
    CServerApp app(argc, argv);
    return app.InitInstance();
}
