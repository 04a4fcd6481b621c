#include "platform/process_memory.h"
#include "ui/server_app.h"

int main(int argc, char* argv[])
{
    // Before the toolkit starts threads of its own.
    CProcessMemory::ShareOneHeap();
    CServerApp app(argc, argv);
    return app.InitInstance();
}
