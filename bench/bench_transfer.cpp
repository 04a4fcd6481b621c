// Download and upload throughput of one session on loopback, in passive mode.
// Usage: bench_transfer [MiB]            (default 1024, at most 8192)
//        bench_transfer serve SECONDS DIR (serves DIR on a loopback port for
//                                          at most SECONDS, for trying clients)
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include "platform/async_socket.h"
#include "discarding_session_host.h"
#include "ftp_wire.h"
#include "session/client_thread.h"

namespace {

class CBenchListener : public CAsyncSocket {
public:
    explicit CBenchListener(std::shared_ptr<ISessionHost> pHost) : m_pHost(std::move(pHost))
    {
        Create(0, kAllSocketEvents, "127.0.0.1");
        Listen(5);
        QByteArray address;
        GetSockName(address, m_nPort);
    }
    ~CBenchListener() override
    {
        for (auto& session : m_Sessions) {
            session->PostQuitMessage();
            session->wait(5000);
        }
    }
    quint16 Port() const { return m_nPort; }

protected:
    void OnAccept(int) override
    {
        const int handle = AcceptHandle();
        if (handle < 0)
            return;
        m_Sessions.push_back(std::make_unique<CClientThread>(handle, m_pHost));
        m_Sessions.back()->ResumeThread();
    }

private:
    std::shared_ptr<ISessionHost> m_pHost;
    std::vector<std::unique_ptr<CClientThread>> m_Sessions;
    quint16 m_nPort = 0;
};

QByteArray ReadLine(int handle)
{
    QByteArray line;
    char byte;
    while (!line.endsWith("\r\n") && ::recv(handle, &byte, 1, 0) == 1)
        line.append(byte);
    return line.trimmed();
}

QByteArray Command(int handle, const QByteArray& line)
{
    const QByteArray wire = line + "\r\n";
    ::send(handle, wire.constData(), wire.size(), MSG_NOSIGNAL);
    return ReadLine(handle);
}

int OpenPassive(int control)
{
    QByteArray host;
    quint16 port = 0;
    if (!CFtpWire::ParsePassive(Command(control, "PASV"), host, port))
        return -1;
    return CFtpWire::ConnectLoopback(port);
}

double MibPerSecond(qint64 bytes, std::chrono::steady_clock::duration elapsed)
{
    return bytes / 1048576.0 / std::chrono::duration<double>(elapsed).count();
}

void RunClient(quint16 port, qint64 nBytes)
{
    const int control = CFtpWire::ConnectLoopback(port);
    ReadLine(control);
    Command(control, "USER anonymous");
    Command(control, "PASS bench");

    std::vector<char> buffer(1 << 16);
    int data = OpenPassive(control);
    auto start = std::chrono::steady_clock::now();
    Command(control, "RETR big");
    qint64 received = 0;
    for (ssize_t n; (n = ::recv(data, buffer.data(), buffer.size(), 0)) > 0;)
        received += n;
    ::close(data);
    const QByteArray retrDone = ReadLine(control);
    std::printf("RETR %lld bytes: %.0f MiB/s (%s)\n", static_cast<long long>(received),
                MibPerSecond(received, std::chrono::steady_clock::now() - start), retrDone.left(3).constData());

    data = OpenPassive(control);
    start = std::chrono::steady_clock::now();
    Command(control, "STOR up");
    qint64 sent = 0;
    while (sent < nBytes) {
        const ssize_t n = ::send(data, buffer.data(), std::min<qint64>(buffer.size(), nBytes - sent), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += n;
    }
    ::close(data);
    const QByteArray storDone = ReadLine(control);
    std::printf("STOR %lld bytes: %.0f MiB/s (%s)\n", static_cast<long long>(sent),
                MibPerSecond(sent, std::chrono::steady_clock::now() - start), storDone.left(3).constData());
    Command(control, "QUIT");
    ::close(control);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 4 && arguments[1] == "serve") {
        const int seconds = std::clamp(arguments[2].toInt(), 1, 600);
        CBenchListener listener(std::make_shared<CDiscardingSessionHost>(QFile::encodeName(arguments[3])));
        std::printf("serving %s on 127.0.0.1:%u for %d s\n", qPrintable(arguments[3]), listener.Port(), seconds);
        std::fflush(stdout);
        QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
        return app.exec();
    }
    const qint64 nMib = std::clamp<qint64>(arguments.size() > 1 ? arguments[1].toLongLong() : 1024, 1, 8192);
    QTemporaryDir root;
    QFile big(root.filePath("big"));
    if (!big.open(QIODevice::WriteOnly) || !big.resize(nMib << 20))
        return 1;
    big.close();
    CBenchListener listener(std::make_shared<CDiscardingSessionHost>(QFile::encodeName(root.path())));
    std::thread client([&] {
        RunClient(listener.Port(), nMib << 20);
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QTimer::singleShot(120000, &app, &QCoreApplication::quit);
    app.exec();
    client.join();
    return 0;
}
