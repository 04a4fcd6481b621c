// Line assembly and the command interpreter, fed through a real socket pair
// into a real session thread: whatever bytes a client sends, the session
// answers with whole CR LF lines that start with a reply code, never touches
// anything outside its temporary root, and ends when the client goes away.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/socket.h>

#include "discarding_session_host.h"
#include "escape_tree.h"
#include "fuzz_require.h"
#include "session/client_thread.h"
#include "session/session_host.h"
#include "test_socket.h"

namespace {

struct Fixture {
    CEscapeTree tree;
    std::shared_ptr<CDiscardingSessionHost> pHost;

    Fixture()
    {
        Require(tree.Unmade().empty(), "the escape tree is made", tree.Unmade());
        pHost = std::make_shared<CDiscardingSessionHost>(tree.Home());
    }
};

Fixture& TheFixture()
{
    static Fixture fixture;
    return fixture;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fixture& fixture = TheFixture();
    int handles[2];
    Require(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, handles) == 0, "socketpair");
    auto session = std::make_unique<CClientThread>(handles[0], fixture.pHost);
    session->ResumeThread();

    // Always log in first, so that the input reaches every command.
    std::string input = "USER anonymous\r\nPASS x\r\n";
    input.append(reinterpret_cast<const char*>(data), size);
    CUniqueSocket client(handles[1]);
    ::send(client.Get(), input.data(), input.size(), MSG_NOSIGNAL);
    ::shutdown(client.Get(), SHUT_WR);
    std::string replies;
    CTestSocket::ReadToEnd(client.Get(), CTestSocket::DeadlineIn(5000), CTestSocket::Wait::Block, &replies);
    client.Reset();

    session->PostQuitMessage();
    Require(session->Join(5000), "the session ends when the client has gone");
    session.reset();

    for (std::size_t start = 0; start < replies.size();) {
        const std::size_t end = std::min(replies.find('\n', start), replies.size());
        const std::string line = replies.substr(start, end - start);
        start = end + 1;
        if (line.empty())
            continue;
        Require(line.ends_with('\r'), "every reply ends with CR LF", line);
        Require(line.size() >= 5 && line[3] == ' ' && std::isdigit(static_cast<unsigned char>(line[0])),
                "every reply starts with a code and a blank", line);
    }
    Require(CEscapeTree::NamesIn(fixture.tree.Base()) == CEscapeTree::ListedIn(""), "nothing is created beside the root");
    return 0;
}
