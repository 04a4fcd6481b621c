#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <windows.h>

#include "console_server_view.h"
#include "platform/event_loop.h"
#include "server/server_control.h"
#include "server/server_settings.h"

namespace {

std::string Utf8Of(const wchar_t* text)
{
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length > 0 ? length - 1 : 0), '\0');
    if (length > 1)
        ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

} // namespace

// tessel-smoke <shared folder> <port> [seconds]: serves the folder, every
// right on, on 127.0.0.1 until the process is ended, or stops the server
// (sessions and all) after the seconds given and ends.
int wmain(int argc, wchar_t** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: tessel-smoke <folder> <port> [seconds]\n");
        return 2;
    }
    CEventLoop loop;
    SettingsValues values;
    values.HomeDirectory = Utf8Of(argv[1]);
    values.AllowCreateDir = values.AllowDelete = values.AllowDownload = values.AllowRename = values.AllowUpload = 1;
    auto pSettings = std::make_shared<CServerSettings>();
    pSettings->SetValues(values);
    CConsoleServerView view;
    CServerControl server(&view, pSettings, static_cast<uint16_t>(std::wcstoul(argv[2], nullptr, 10)), "127.0.0.1");
    server.StartServer();
    if (!server.IsRunning())
        return 1;
    std::printf("listening %u\n", server.ListeningPort());
    std::fflush(stdout);
    if (argc == 4) {
        loop.StartTimer(static_cast<int>(std::wcstoul(argv[3], nullptr, 10)) * 1000, [&] {
            server.StopServer();
            std::printf("stopped with %d connections left\n", server.Connections());
            std::fflush(stdout);
            loop.Quit();
        });
    }
    loop.Run();
    return 0;
}
