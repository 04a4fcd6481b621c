#include <windows.h>

#include "win32ui/server_app.h"

// The program takes no arguments; only the show state it was launched with
// matters.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int nShowCmd)
{
    CServerApp app(nShowCmd);
    return app.InitInstance();
}
