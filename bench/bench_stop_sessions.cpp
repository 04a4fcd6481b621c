// How long Stop takes with many idle, logged-in sessions: the server control
// runs on loopback, N plain clients log in, then Stop is timed until every
// session thread has ended. Bounded: at most a few seconds per run.

#include <cstdio>
#include <sys/socket.h>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "null_server_view.h"
#include "test_socket.h"
#include "platform/event_loop.h"
#include "server/server_control.h"

namespace {


CUniqueFd ConnectAndLogIn(quint16 port)
{
    CUniqueFd handle = CTestSocket::Connect("127.0.0.1", port, CTestSocket::DeadlineIn(5000), CTestSocket::Wait::Block);
    const char login[] = "USER anonymous\r\nPASS bench\r\n";
    if (handle.Valid())
        ::send(handle.Get(), login, sizeof(login) - 1, MSG_NOSIGNAL);
    return handle;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int sessions = argc > 1 ? std::atoi(argv[1]) : 200;
    CNullServerView view;
    CServerControl server(&view, std::make_shared<CServerSettings>(), 0, "127.0.0.1");
    server.StartServer();

    std::vector<CUniqueFd> clients;
    for (int i = 0; i < sessions; ++i) {
        clients.push_back(ConnectAndLogIn(server.ListeningPort()));
        CEventLoop::Current().RunPending();
    }
    CEventLoop::Current().WaitUntil([&] { return server.Connections() == sessions; }, 10000);
    const int connected = server.Connections();

    QElapsedTimer clock;
    clock.start();
    server.StopServer();
    const qint64 stopMs = clock.elapsed();
    CEventLoop::Current().WaitUntil([&] { return server.Connections() == 0; }, 10000);
    const qint64 allGoneMs = clock.elapsed();

    std::printf("sessions connected: %d\nStop returned after: %lld ms (%.2f ms per session)\n"
                "all disconnects shown after: %lld ms\n",
                connected, static_cast<long long>(stopMs), double(stopMs) / std::max(connected, 1),
                static_cast<long long>(allGoneMs));
    return connected == sessions ? 0 : 1;
}
