// How long Stop takes with many idle, logged-in sessions: the server control
// runs on loopback, N plain clients log in, then Stop is timed until every
// session thread has ended. Bounded: at most a few seconds per run.

#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "ftp_wire.h"
#include "platform/message_pump.h"
#include "server/server_control.h"
#include "server/server_view.h"

namespace {

class CSilentView : public IServerView {
public:
    void SetCaption(const QByteArray&) override {}
    void SetStatusText(const QByteArray&) override {}
    void SetServerRunning(bool) override {}
    void AddLogRow(quint32, const QByteArray&) override { ++m_nRows; }
    int m_nRows = 0;
};

int ConnectAndLogIn(quint16 port)
{
    const int handle = CFtpWire::ConnectLoopback(port);
    if (handle < 0)
        return -1;
    const char login[] = "USER anonymous\r\nPASS bench\r\n";
    ::send(handle, login, sizeof(login) - 1, MSG_NOSIGNAL);
    return handle;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int sessions = argc > 1 ? std::atoi(argv[1]) : 200;
    CSilentView view;
    CServerControl server(&view, std::make_shared<CServerSettings>(), 0, "127.0.0.1");
    server.StartServer();

    std::vector<int> clients;
    for (int i = 0; i < sessions; ++i) {
        clients.push_back(ConnectAndLogIn(server.ListeningPort()));
        CMessagePump::PumpPendingMessages();
    }
    CMessagePump::WaitUntil([&] { return server.Connections() == sessions; }, 10000);
    const int connected = server.Connections();

    QElapsedTimer clock;
    clock.start();
    server.StopServer();
    const qint64 stopMs = clock.elapsed();
    CMessagePump::WaitUntil([&] { return server.Connections() == 0; }, 10000);
    const qint64 allGoneMs = clock.elapsed();

    std::printf("sessions connected: %d\nStop returned after: %lld ms (%.2f ms per session)\n"
                "all disconnects shown after: %lld ms\n",
                connected, static_cast<long long>(stopMs), double(stopMs) / std::max(connected, 1),
                static_cast<long long>(allGoneMs));
    for (int handle : clients)
        ::close(handle);
    return connected == sessions ? 0 : 1;
}
