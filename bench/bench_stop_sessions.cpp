// How long Stop takes with many idle, logged-in sessions: the server control
// runs on loopback, N plain clients log in, then Stop is timed until every
// session thread has ended. Bounded: at most a few seconds per run.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <vector>

#include "null_server_view.h"
#include "platform/event_loop.h"
#include "server/server_control.h"
#include "test_socket.h"

namespace {


CUniqueSocket ConnectAndLogIn(uint16_t port)
{
    CUniqueSocket handle = CTestSocket::Connect("127.0.0.1", port, CTestSocket::DeadlineIn(5000), CTestSocket::Wait::Block);
    const char login[] = "USER anonymous\r\nPASS bench\r\n";
    if (handle.Valid())
        ::send(handle.Get(), login, sizeof(login) - 1, MSG_NOSIGNAL);
    return handle;
}

} // namespace

int main(int argc, char* argv[])
{
    CEventLoop loop;
    const int sessions = argc > 1 ? std::atoi(argv[1]) : 200;
    CNullServerView view;
    CServerControl server(&view, std::make_shared<CServerSettings>(), 0, "127.0.0.1");
    server.StartServer();

    std::vector<CUniqueSocket> clients;
    for (int i = 0; i < sessions; ++i) {
        clients.push_back(ConnectAndLogIn(server.ListeningPort()));
        CEventLoop::Current().RunPending();
    }
    CEventLoop::Current().WaitUntil([&] { return server.Connections() == sessions; }, 10000);
    const int connected = server.Connections();

    const auto start = std::chrono::steady_clock::now();
    const auto elapsedMs = [&start] {
        return static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    };
    server.StopServer();
    const long long stopMs = elapsedMs();
    CEventLoop::Current().WaitUntil([&] { return server.Connections() == 0; }, 10000);
    const long long allGoneMs = elapsedMs();

    std::printf("sessions connected: %d\nStop returned after: %lld ms (%.2f ms per session)\n"
                "all disconnects shown after: %lld ms\n",
                connected, static_cast<long long>(stopMs), double(stopMs) / std::max(connected, 1),
                static_cast<long long>(allGoneMs));
    return connected == sessions ? 0 : 1;
}
