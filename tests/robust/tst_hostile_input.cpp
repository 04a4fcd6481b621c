#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <gtest/gtest.h>

#include "escape_tree.h"
#include "eventually.h"
#include "platform/big5_text.h"
#include "platform/event_loop.h"
#include "platform/text_table.h"
#include "process_resources.h"
#include "resource_baseline.h"
#include "row_name.h"
#include "running_server.h"
#include "server/listen_socket.h"
#include "test_link.h"
#include "transfer_fixture.h"

namespace {

constexpr int kLineLimit = 4096;
constexpr int kFloodConnections = 300;

const std::string& Big5(Text text)
{
    return CTextTable::Big5(text);
}

std::string Repeated(const std::string& part, int times)
{
    std::string whole;
    for (int i = 0; i < times; ++i)
        whole += part;
    return whole;
}

bool HasConnectionWaiting(SocketHandle listener, int timeoutMs)
{
    return CTestSocket::Readable(listener, timeoutMs);
}

int PassivePort(const std::string& reply)
{
    static const std::regex fields(R"(\(\d+,\d+,\d+,\d+,(\d+),(\d+)\))");
    std::smatch match;
    return std::regex_search(reply, match, fields) ? std::stoi(match.str(1)) * 256 + std::stoi(match.str(2)) : -1;
}

} // namespace

class HostileInput : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<CEscapeTree> m_pTree;
    std::unique_ptr<CRunningServer> m_pServer;
    std::unique_ptr<CFtpTestClient> m_pClient;
    std::unique_ptr<CResourceBaseline> m_pIdle;
    std::unique_ptr<CResourceBaseline> m_pBaseline;
    std::string m_strOutsideBefore;
};

void HostileInput::SetUp()
{
    m_pIdle = std::make_unique<CResourceBaseline>();
    ASSERT_TRUE(CProcessResources::RaiseFileLimit(4L * kFloodConnections + 1024));
    // The root and, beside it, what no client may reach: a sibling whose name
    // begins with the root's, a file next to the root, links leading out.
    m_pTree = std::make_unique<CEscapeTree>();
    ASSERT_EQ(m_pTree->Unmade(), std::string());

    m_pServer = std::make_unique<CRunningServer>();
    m_pServer->SetHome(m_pTree->Home());
    ASSERT_TRUE(m_pServer->ServesFreshClient());
    ASSERT_EQ_EVENTUALLY(m_pServer->Server().Hub().SessionCount(), 0, CTestSocket::kDeadlineMs);
    ASSERT_EQ(m_pIdle->WaitUntilBack(CResourceBaseline::Held::Threads, CTestSocket::kDeadlineMs), std::string());
    m_pBaseline = std::make_unique<CResourceBaseline>();
    m_strOutsideBefore = m_pTree->OutsideFingerprint();
    m_pClient = m_pServer->NewClient();
    ASSERT_TRUE(m_pClient);
}

void HostileInput::TearDown()
{
    // A set-up that failed half-way has been reported; what it left unmade
    // is not checked again.
    if (!m_pBaseline)
        return;
    // During each attack another client is still served, nothing outside the
    // root has changed, and afterwards nothing is left behind.
    ASSERT_TRUE(m_pServer->ServesFreshClient());
    ASSERT_EQ(m_pTree->OutsideFingerprint(), m_strOutsideBefore);
    m_pClient.reset();
    ASSERT_EQ_EVENTUALLY(m_pServer->Server().Hub().SessionCount(), 0, CTestSocket::kDeadlineMs);
    ASSERT_EQ(m_pBaseline->WaitUntilBack(CResourceBaseline::Held::ThreadsAndFiles, CTestSocket::kDeadlineMs), std::string());
    m_pServer.reset();
    m_pTree.reset();
}

// Every length from two below the limit to two above, with and without its CR LF.
class LinesAroundTheLengthLimit : public HostileInput, public testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(LinesAroundTheLengthLimit, Row)
{
    const auto [length, bEnded] = GetParam();
    const std::string line = "NOOP " + std::string(length - 5, 'a');
    const auto overflows = [&] {
        return std::count_if(m_pServer->View().m_Rows.begin(), m_pServer->View().m_Rows.end(),
                             [](const auto& row) { return row.message == CTextTable::Big5(Text::LogOverflow); });
    };
    ASSERT_TRUE(m_pClient->SendRaw(bEnded ? line + "\r\n" : line));
    if (!bEnded && length <= kLineLimit) {
        // Pending and unanswered until its end arrives.
        ASSERT_TRUE(m_pClient->StaysSilent());
        ASSERT_TRUE(m_pServer->ServesFreshClient());
        ASSERT_TRUE(m_pClient->SendRaw("\r\n"));
    }
    const int total = length + 2;
    if (total <= kLineLimit) {
        ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyNoop));
        ASSERT_EQ(overflows(), 0);
        return;
    }
    // Too long: no reply, the session ends and says why.
    ASSERT_TRUE(m_pClient->WaitClosed());
    ASSERT_EQ(m_pClient->ReadLine(0), std::string());
    ASSERT_EQ_EVENTUALLY(overflows(), 1, CTestSocket::kDeadlineMs);
}

std::string LineRowName(const testing::TestParamInfo<std::tuple<int, bool>>& info)
{
    const auto [length, bEnded] = info.param;
    return std::to_string(length) + (bEnded ? "_bytes_and_CR_LF" : "_bytes_no_CR_LF");
}

INSTANTIATE_TEST_SUITE_P(HostileInput, LinesAroundTheLengthLimit,
                         testing::Combine(testing::Range(kLineLimit - 2, kLineLimit + 3), testing::Bool()), LineRowName);

    // A NUL cuts what one read contributes, so the rest of the line is lost.
struct OddBytesInCommandsRow {
    const char* name;
    std::string bytes;
    std::string urgent;
    std::string reply;
};

const OddBytesInCommandsRow kOddBytesInCommandsRows[] = {
    {"NUL inside a line", std::string("NOOP\0junk\r\n", 11), std::string(), std::string()},
    {"NUL alone", std::string("\0\r\n", 3), std::string(), std::string()},
    {"Telnet interrupt before ABOR", std::string("\xff\xf4\xff\xf2" "ABOR\r\n"), std::string(), Big5(Text::ReplyAbor)},
    {"Telnet synch sent urgent, then ABOR", "ABOR\r\n", "\xff\xf4\xff\xf2", Big5(Text::ReplyAbor)},
    {"Telnet bytes before another verb", "\xff\xf4NOOP\r\n", std::string(), Big5(Text::ReplyUnknown)},
    {"Telnet bytes alone", "\xff\xff\xff\xfb\x01\r\n", std::string(), Big5(Text::ReplyUnknown)},
    {"invalid code page 950 verb", "\x81\x30\x80\r\n", std::string(), Big5(Text::ReplyUnknown)},
    {"lone CR and LF inside a line", "NO\rOP\n\r\n", std::string(), Big5(Text::ReplyUnknown)},
    {"invalid code page 950 in CWD", "CWD \x80\xff\r\n", std::string(), Big5(Text::ReplyDirMissing)},
    {"lead byte without trail in RETR", "RETR \xa4\r\n", std::string(), Big5(Text::ReplyFileMissing)},
    {"invalid code page 950 in STOR", "STOR \x81\x30\r\n", std::string(), Big5(Text::ReplyDenied)},
    {"invalid code page 950 in MKD", "MKD \xfe\x7f\r\n", std::string(), Big5(Text::ReplyDenied)},
    {"name longer than the file system allows", "MKD " + std::string(300, 'n') + "\r\n", std::string(), Big5(Text::ReplyMkdFailed)},
    {"deep path near the limit", "CWD " + Repeated("a/", 2000) + "\r\n", std::string(), Big5(Text::ReplyDirMissing)},
    {"a thousand lines in one burst", Repeated("NOOP\r\n", 1000), std::string(), "1000 x " + Big5(Text::ReplyNoop)},
};

class OddBytesInCommands : public HostileInput, public testing::WithParamInterface<OddBytesInCommandsRow> {};

TEST_P(OddBytesInCommands, Row)
{
    const auto& [name, bytes, urgent, reply] = GetParam();
    if (!urgent.empty()) {
        ASSERT_TRUE(m_pClient->SendRaw(urgent.substr(0, urgent.size() - 1)));
        ASSERT_EQ(::send(m_pClient->Handle(), urgent.c_str() + urgent.size() - 1, 1, MSG_OOB), 1);
    }
    ASSERT_TRUE(m_pClient->SendRaw(bytes));
    if (reply.empty()) {
        // Nothing complete arrived; a line end now runs what did.
        ASSERT_TRUE(m_pClient->StaysSilent());
        if (bytes.starts_with("NOOP")) {
            ASSERT_EQ(m_pClient->Command(""), Big5(Text::ReplyNoop));
        } else {
            ASSERT_TRUE(m_pClient->SendLine(""));
            ASSERT_TRUE(m_pClient->StaysSilent());
        }
    } else if (reply.starts_with("1000 x ")) {
        for (int i = 0; i < 1000; ++i)
            ASSERT_EQ(m_pClient->ReadLine(), reply.substr(7));
    } else {
        ASSERT_EQ(m_pClient->ReadLine(), reply);
    }
    ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
}

INSTANTIATE_TEST_SUITE_P(HostileInput, OddBytesInCommands, testing::ValuesIn(kOddBytesInCommandsRows), RowName());

struct PathTricksStayInsideTheRootRow {
    const char* name;
    std::string command;
    std::string reply;
};

const PathTricksStayInsideTheRootRow kPathTricksStayInsideTheRootRows[] = {
    {"RETR parent", "RETR ../outside.txt", Big5(Text::ReplyDenied)},
    {"RETR parent by backslashes", "RETR ..\\outside.txt", Big5(Text::ReplyDenied)},
    {"RETR far above", "RETR ../../../../../../../../etc/passwd", Big5(Text::ReplyDenied)},
    {"RETR above the absolute root", "RETR /../outside.txt", Big5(Text::ReplyDenied)},
    {"RETR sibling sharing the root's name", "RETR /../root2/secret.txt", Big5(Text::ReplyDenied)},
    {"RETR runs of separators", "RETR \\\\..//\\/outside.txt", Big5(Text::ReplyDenied)},
    {"RETR encoded dots", "RETR %2e%2e/outside.txt", Big5(Text::ReplyFileMissing)},
    {"RETR three dots", "RETR .../outside.txt", Big5(Text::ReplyFileMissing)},
    {"RETR absolute system path", "RETR /etc/passwd", Big5(Text::ReplyFileMissing)},
    {"RETR drive letter", "RETR C:\\..\\outside.txt", Big5(Text::ReplyFileMissing)},
    {"RETR through a link out", "RETR link/outside.txt", Big5(Text::ReplyDenied)},
    {"RETR a link to a file out", "RETR linkfile", Big5(Text::ReplyDenied)},
    {"RETR backslash trail byte before parents", "RETR " + CBig5Text::FromUtf8("許") + "..\\..\\outside.txt",
     Big5(Text::ReplyFileMissing)},
    {"SIZE parent", "SIZE ../outside.txt", Big5(Text::ReplyDenied)},
    {"SIZE a link to a file out", "SIZE linkfile", Big5(Text::ReplyDenied)},
    {"CWD parent", "CWD ..", Big5(Text::ReplyDenied)},
    {"CWD sibling", "CWD ../root2", Big5(Text::ReplyDenied)},
    {"CWD link out", "CWD link", Big5(Text::ReplyDenied)},
    {"CDUP at the root", "CDUP", Big5(Text::ReplyDenied)},
    {"LIST parent", "LIST ..", Big5(Text::ReplyNoRight)},
    {"LIST link out", "LIST -la link", Big5(Text::ReplyNoRight)},
    {"STOR parent", "STOR ../new.txt", Big5(Text::ReplyDenied)},
    {"STOR through a link out", "STOR link/new.txt", Big5(Text::ReplyDenied)},
    {"STOR over a link to a file out", "STOR linkfile", Big5(Text::ReplyDenied)},
    {"STOR through a dangling link", "STOR dangling", Big5(Text::ReplyDenied)},
    {"MKD through a link out", "MKD link/made", Big5(Text::ReplyDenied)},
    {"MKD parent", "MKD ../made", Big5(Text::ReplyDenied)},
    {"DELE parent", "DELE ../outside.txt", Big5(Text::ReplyDenied)},
    {"DELE a link to a file out", "DELE linkfile", Big5(Text::ReplyDenied)},
    {"RMD sibling", "RMD ../root2", Big5(Text::ReplyRmdDenied)},
    {"RNFR parent", "RNFR ../outside.txt", Big5(Text::ReplyDenied)},
    {"RNFR through a link out", "RNFR link/outside.txt", Big5(Text::ReplyDenied)},
};

class PathTricksStayInsideTheRoot : public HostileInput, public testing::WithParamInterface<PathTricksStayInsideTheRootRow> {};

TEST_P(PathTricksStayInsideTheRoot, Row)
{
    const auto& [name, command, reply] = GetParam();
    ASSERT_EQ(m_pClient->Command(command), reply);
    // A rename may not aim outside either, whatever its source.
    ASSERT_EQ(m_pClient->Command("RNFR " + CBig5Text::FromUtf8("許功蓋")), Big5(Text::ReplyRnfrDir));
    ASSERT_EQ(m_pClient->Command("RNTO ../stolen"), Big5(Text::ReplyDenied));
    ASSERT_EQ(m_pClient->Command("PWD"), CTextTable::Format(Text::ReplyPwd, "/"));
}

INSTANTIATE_TEST_SUITE_P(HostileInput, PathTricksStayInsideTheRoot, testing::ValuesIn(kPathTricksStayInsideTheRootRows), RowName());

TEST_F(HostileInput, NamesWithBackslashTrailBytesWork)
{
    // 許, 功 and 蓋 end with the byte of a backslash in code page 950.
    const std::string folder = CBig5Text::FromUtf8("許功蓋");
    ASSERT_EQ(m_pClient->Command("CWD " + folder), CTextTable::Format(Text::ReplyCwd, ("/" + folder).c_str()));
    const TransferResult result = CTransferFixture::Download(*m_pClient, "RETR " + CBig5Text::FromUtf8("深.txt"));
    ASSERT_EQ(result.preliminary, Big5(Text::ReplyRetrStart));
    ASSERT_EQ(result.data, "deep inside");
    ASSERT_EQ(result.final, Big5(Text::ReplyTransferDone));
    if (CTestLink::Available()) {
        ASSERT_EQ(m_pClient->Command("CWD /inner"), CTextTable::Format(Text::ReplyCwd, "/inner"));
    }
}

struct PortBounceIsRefusedRow {
    const char* name;
    std::string argument;
};

const PortBounceIsRefusedRow kPortBounceIsRefusedRows[] = {
    {"another address", "127,0,0,2,P"},
    {"a system port", "127,0,0,1,0,21"},
    {"port 1023", "127,0,0,1,3,255"},
    {"port 65536, which wraps to 0", "127,0,0,1,256,0"},
    {"port 65557, which wraps to 21", "127,0,0,1,256,21"},
    {"negative port", "127,0,0,1,-1,255"},
    {"huge fields", "127,0,0,1,99999999999,99999999999"},
    {"address with padded fields", "127,000,0,1,P"},
    {"address as one number", "2130706433"},
    {"empty", std::string()},
};

class PortBounceIsRefused : public HostileInput, public testing::WithParamInterface<PortBounceIsRefusedRow> {};

TEST_P(PortBounceIsRefused, Row)
{
    std::string argument = GetParam().argument;
    // Something listens where the bounce would go, to see that nobody came.
    uint16_t port = 0;
    const bool bOther = argument.starts_with("127,0,0,2");
    CUniqueSocket listener = CTestSocket::Listen(bOther ? "127.0.0.2" : "127.0.0.1", port);
    ASSERT_TRUE(listener.Valid());
    if (const std::size_t at = argument.find('P'); at != std::string::npos)
        argument.replace(at, 1, std::to_string(port / 256) + ',' + std::to_string(port % 256));
    ASSERT_EQ(m_pClient->Command("PORT " + argument), Big5(Text::ReplyPort));
    ASSERT_EQ(m_pClient->Command("LIST"), Big5(Text::ReplyListStart));
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyDataConnectFailed));
    ASSERT_TRUE(!HasConnectionWaiting(listener.Get(), 200));
    ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
}

INSTANTIATE_TEST_SUITE_P(HostileInput, PortBounceIsRefused, testing::ValuesIn(kPortBounceIsRefusedRows), RowName());

TEST_F(HostileInput, PassivePortCannotBeStolen)
{
    std::error_code error;
    ASSERT_TRUE(std::filesystem::copy_file(m_pTree->Native("root2/secret.txt"), m_pTree->Native("root/mine.txt"), error));
    const std::string pasv = m_pClient->Command("PASV");
    const int port = PassivePort(pasv);
    ASSERT_TRUE(port > 0) << pasv;
    // Another host is there first: it is sent away with nothing.
    CUniqueSocket thief = m_pClient->ConnectFrom("127.0.0.2", static_cast<uint16_t>(port));
    ASSERT_TRUE(thief.Valid());
    ASSERT_EQ(m_pClient->ReadAll(thief.Get(), 5000), std::string());
    thief.Reset();
    ASSERT_TRUE(m_pServer->ServesFreshClient());
    // The client itself still gets its file.
    CUniqueSocket data = m_pClient->ConnectFrom("127.0.0.1", static_cast<uint16_t>(port));
    ASSERT_TRUE(data.Valid());
    ASSERT_EQ(m_pClient->Command("RETR mine.txt"), Big5(Text::ReplyRetrStart));
    ASSERT_EQ(m_pClient->ReadAll(data.Get()), "secret");
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
    // Once taken, the port is closed to latecomers.
    ASSERT_TRUE(!m_pClient->ConnectFrom("127.0.0.2", static_cast<uint16_t>(port)).Valid());
}

TEST_F(HostileInput, FloodOfSilentConnections)
{
    std::vector<CUniqueSocket> silent;
    for (int i = 0; i < kFloodConnections; ++i) {
        silent.push_back(CTestSocket::BeginConnect("127.0.0.1", m_pServer->Port()));
        CEventLoop::Current().RunPending();
    }
    // Every one of them gets its session, and they cost the others nothing.
    ASSERT_EQ_EVENTUALLY(m_pServer->Server().Connections(), kFloodConnections + 1, 60000);
    ASSERT_TRUE(m_pServer->ServesFreshClient());
    ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    silent.clear();
    ASSERT_EQ_EVENTUALLY(m_pServer->Server().Connections(), 1, 20000);
}

// Windows sets a process no limit of sockets to run out of.
#ifndef _WIN32
TEST_F(HostileInput, FloodExhaustingDescriptors)
{
    // The process may hold only a few more descriptors than it has open; the
    // flood's own sockets count against the same limit as the server's.
    rlimit limit = {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit saved = limit;
    // Given back also when a check fails first.
    struct Restore {
        const rlimit& saved;
        ~Restore() { ::setrlimit(RLIMIT_NOFILE, &saved); }
    } restore{saved};
    limit.rlim_cur = static_cast<rlim_t>(CProcessResources::OpenFileCount() + 2 * CListenSocket::kDescriptorReserve);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    std::vector<CUniqueSocket> flood;
    for (int i = 0; i < 4 * CListenSocket::kDescriptorReserve; ++i) {
        CUniqueSocket handle = CTestSocket::BeginConnect("127.0.0.1", m_pServer->Port());
        if (!handle.Valid())
            break;
        flood.push_back(std::move(handle));
        CEventLoop::Current().RunPending();
    }
    ASSERT_TRUE(flood.size() > 10);
    // The session already there goes on, out of descriptors or not.
    ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    ::setrlimit(RLIMIT_NOFILE, &saved);
    // Every connection of the flood is either greeted or turned away, and the
    // program is still there to say so.
    const auto answered = [&] {
        return std::all_of(flood.begin(), flood.end(), [](const CUniqueSocket& handle) { return HasConnectionWaiting(handle.Get(), 0); });
    };
    ASSERT_EVENTUALLY(answered(), 10000);
    flood.clear();
    ASSERT_EQ_EVENTUALLY(m_pServer->Server().Connections(), 1, 20000);
}
#endif
