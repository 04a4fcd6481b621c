#include "platform/win32/winsock_session.h"

#include <winsock2.h>

bool CWinsockSession::Start()
{
    static const bool bStarted = [] {
        WSADATA data = {};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return bStarted;
}
