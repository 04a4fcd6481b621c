#include "console_server_view.h"

#include <cstdio>

void CConsoleServerView::SetCaption(const std::string& caption)
{
    std::printf("caption: %s\n", caption.c_str());
    std::fflush(stdout);
}

void CConsoleServerView::SetStatusText(const std::string& status)
{
    std::printf("status: %s\n", status.c_str());
    std::fflush(stdout);
}

void CConsoleServerView::SetServerRunning(bool bRunning)
{
    std::printf("running: %d\n", bRunning ? 1 : 0);
    std::fflush(stdout);
}

void CConsoleServerView::AddLogRow(uint32_t threadId, const std::string& message)
{
    std::printf("log %u: %s\n", threadId, message.c_str());
    std::fflush(stdout);
}
