// Line assembly and the command interpreter, fed through a real socket pair
// into a real session thread: whatever bytes a client sends, the session
// answers with whole CR LF lines that start with a reply code, never touches
// anything outside its temporary root, and ends when the client goes away.

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include "discarding_session_host.h"
#include "escape_tree.h"
#include "fuzz_require.h"
#include "test_socket.h"
#include "session/client_thread.h"
#include "session/session_host.h"

namespace {

struct Fixture {
    QCoreApplication* pApp = nullptr;
    CEscapeTree tree;
    std::shared_ptr<CDiscardingSessionHost> pHost;

    Fixture()
    {
        static int argc = 1;
        static char name[] = "fuzz_command_lines";
        static char* argv[] = {name, nullptr};
        pApp = new QCoreApplication(argc, argv);
        Require(tree.Unmade().isEmpty(), "the escape tree is made", tree.Unmade().toStdString());
        pHost = std::make_shared<CDiscardingSessionHost>(tree.Home().toStdString());
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
    auto* session = new CClientThread(handles[0], fixture.pHost);
    session->ResumeThread();

    // Always log in first, so that the input reaches every command.
    QByteArray input = "USER anonymous\r\nPASS x\r\n";
    input.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    CUniqueFd client(handles[1]);
    ::send(client.Get(), input.constData(), input.size(), MSG_NOSIGNAL);
    ::shutdown(client.Get(), SHUT_WR);
    QByteArray replies;
    CTestSocket::ReadToEnd(client.Get(), CTestSocket::DeadlineIn(5000), CTestSocket::Wait::Block, &replies);
    client.Reset();

    session->PostQuitMessage();
    Require(session->wait(5000), "the session ends when the client has gone");
    delete session;

    for (const QByteArray& line : replies.split('\n')) {
        if (line.isEmpty())
            continue;
        Require(line.endsWith('\r'), "every reply ends with CR LF", line.toStdString());
        Require(line.size() >= 5 && line[3] == ' ' && std::isdigit(static_cast<unsigned char>(line[0])),
                "every reply starts with a code and a blank", line.toStdString());
    }
    const QDir base(QFile::decodeName(fixture.tree.Base()));
    const QStringList beside = base.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    Require(beside == CEscapeTree::ListedIn(QByteArray()), "nothing is created beside the root");
    return 0;
}
