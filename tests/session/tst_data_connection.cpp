#include <chrono>
#include <cstdint>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "eventually.h"
#include "platform/text_table.h"
#include "row_name.h"
#include "session/control_socket.h"
#include "transfer_fixture.h"

namespace {

const std::string& Big5(Text text)
{
    return CTextTable::Big5(text);
}

// The port a 227 reply announces, or 0.
uint16_t PassivePort(const std::string& reply)
{
    static const std::regex fields(R"(\(127,0,0,1,(\d+),(\d+)\)$)");
    std::smatch match;
    if (!reply.starts_with("227 ") || !std::regex_search(reply, match, fields))
        return 0;
    return static_cast<uint16_t>(std::stoi(match.str(1)) * 256 + std::stoi(match.str(2)));
}

std::string PortCommand(const char* commaHost, int port)
{
    return std::string("PORT ") + commaHost + ',' + std::to_string(port / 256) + ',' + std::to_string(port % 256);
}

} // namespace

class DataConnection : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<CTransferFixture> m_pFixture;
    std::unique_ptr<CFtpTestClient> m_pClient;
};

void DataConnection::SetUp()
{
    m_pFixture = std::make_unique<CTransferFixture>();
    m_pClient = m_pFixture->NewClient();
    ASSERT_TRUE(m_pClient);
    ASSERT_TRUE(m_pFixture->WriteFile("digits", "0123456789"));
}

void DataConnection::TearDown()
{
    m_pClient.reset();
    m_pFixture.reset();
}

struct PermittedActiveTargetsRow {
    const char* name;
    std::string host;
    int port;
    bool bPermitted;
};

const PermittedActiveTargetsRow kPermittedActiveTargetsRows[] = {
    {"client, high port", "10.0.0.5", 1024, true},
    {"client, top port", "10.0.0.5", 65535, true},
    {"client, service port", "10.0.0.5", 1023, false},
    {"client, port past 16 bits", "10.0.0.5", 65536 + 2000, false},
    {"no PORT", std::string(), -1, false},
    {"another host", "10.0.0.6", 2000, false},
    {"same host, other spelling", "10.0.0.05", 2000, false},
    {"partial PORT", "10.0.0.", 2000, false},
};

class PermittedActiveTargets : public DataConnection, public testing::WithParamInterface<PermittedActiveTargetsRow> {};

TEST_P(PermittedActiveTargets, Row)
{
    const auto& [name, host, port, bPermitted] = GetParam();
    ASSERT_EQ(CDataChannel::IsPermittedDataTarget(host, port, "10.0.0.5"), bPermitted);
    ASSERT_TRUE(!CDataChannel::IsPermittedDataTarget(host, port, std::string()));
}

INSTANTIATE_TEST_SUITE_P(DataConnection, PermittedActiveTargets, testing::ValuesIn(kPermittedActiveTargetsRows), RowName());

TEST_F(DataConnection, PasvAnnouncesTheControlAddress)
{
    const std::string reply = m_pClient->Command("PASV");
    const std::string pasv = Big5(Text::ReplyPasv);
    const std::string prefix = pasv.substr(0, pasv.find('('));
    ASSERT_TRUE(reply.starts_with(prefix)) << reply;
    const uint16_t port = PassivePort(reply);
    ASSERT_TRUE(port != 0);
    CUniqueSocket data = m_pClient->ConnectFrom("127.0.0.1", port);
    ASSERT_TRUE(data.Valid());
}

TEST_F(DataConnection, PassiveWaitsForALateConnect)
{
    const uint16_t port = PassivePort(m_pClient->Command("PASV"));
    ASSERT_EQ(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    ASSERT_TRUE(m_pClient->StaysSilent(300));
    CUniqueSocket data = m_pClient->ConnectFrom("127.0.0.1", port);
    ASSERT_EQ(m_pClient->ReadAll(data.Get()), "0123456789");
    data.Reset();
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
}

TEST_F(DataConnection, CommandsRunWhileWaitingForConnection)
{
    const uint16_t port = PassivePort(m_pClient->Command("PASV"));
    ASSERT_EQ(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    CUniqueSocket data = m_pClient->ConnectFrom("127.0.0.1", port);
    ASSERT_EQ(m_pClient->ReadAll(data.Get()), "0123456789");
    data.Reset();
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
}

TEST_F(DataConnection, PassivePortTakesOneConnection)
{
    const uint16_t port = PassivePort(m_pClient->Command("PASV"));
    CUniqueSocket first = m_pClient->ConnectFrom("127.0.0.1", port);
    ASSERT_TRUE(first.Valid());
    // The listener goes once the first connection is taken.
    ASSERT_EVENTUALLY([&] {
        return !m_pClient->ConnectFrom("127.0.0.1", port).Valid();
    }(), 2000);
    ASSERT_EQ(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    ASSERT_EQ(m_pClient->ReadAll(first.Get()), "0123456789");
    first.Reset();
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
}

TEST_F(DataConnection, SecondPasvDropsTheFirst)
{
    CUniqueSocket first = m_pClient->OpenPassive();
    ASSERT_TRUE(first.Valid());
    const TransferResult result = CTransferFixture::Download(*m_pClient, "RETR digits");
    ASSERT_EQ(result.data, "0123456789");
    ASSERT_EQ(result.final, Big5(Text::ReplyTransferDone));
    // The first connection was closed without a byte.
    ASSERT_EQ(m_pClient->ReadAll(first.Get(), 2000), std::string());
    ASSERT_TRUE(CTestSocket::Readable(first.Get()));
}

TEST_F(DataConnection, PasvThenPortStaysPassive)
{
    CUniqueSocket passive = m_pClient->OpenPassive();
    ASSERT_TRUE(passive.Valid());
    CUniqueSocket listener = m_pClient->OpenActive();
    ASSERT_TRUE(listener.Valid());
    ASSERT_EQ(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    ASSERT_EQ(m_pClient->ReadAll(passive.Get()), "0123456789");
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
    ASSERT_TRUE(!m_pClient->AcceptData(listener.Get(), 200).Valid());
}

TEST_F(DataConnection, PassivePortTheftIsRefused)
{
    const uint16_t port = PassivePort(m_pClient->Command("PASV"));
    // Another host (all of 127/8 is this machine) takes the port first.
    CUniqueSocket thief = m_pClient->ConnectFrom("127.0.0.2", port);
    ASSERT_TRUE(thief.Valid());
    ASSERT_EQ(m_pClient->ReadAll(thief.Get(), 2000), std::string());
    ASSERT_TRUE(CTestSocket::Readable(thief.Get()));
    thief.Reset();
    // The port still waits for the client itself.
    CUniqueSocket data = m_pClient->ConnectFrom("127.0.0.1", port);
    ASSERT_TRUE(data.Valid());
    ASSERT_EQ(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    ASSERT_EQ(m_pClient->ReadAll(data.Get()), "0123456789");
    data.Reset();
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
}

TEST_F(DataConnection, PassiveWaitEndsAfterFiveSeconds)
{
    ASSERT_TRUE(PassivePort(m_pClient->Command("PASV")) != 0);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(m_pClient->Command("LIST"), Big5(Text::ReplyListStart));
    ASSERT_EQ(m_pClient->ReadLine(CDataChannel::kConnectTimeoutMs + CTestSocket::kDeadlineMs), Big5(Text::ReplyDataSocketFailed));
    ASSERT_TRUE(std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(CDataChannel::kConnectTimeoutMs - 100));
    ASSERT_TRUE(m_pClient->StaysSilent());
    ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
}

TEST_F(DataConnection, ActiveDownloadConnectsToTheClient)
{
    CUniqueSocket listener = m_pClient->OpenActive();
    ASSERT_TRUE(listener.Valid());
    ASSERT_EQ(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    CUniqueSocket data = m_pClient->AcceptData(listener.Get());
    ASSERT_TRUE(data.Valid());
    ASSERT_EQ(m_pClient->ReadAll(data.Get()), "0123456789");
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
}

struct ActiveRefusalsRow {
    const char* name;
    std::string listenHost;
    std::string port;
};

const ActiveRefusalsRow kActiveRefusalsRows[] = {
    {"bounce to another address", "127.0.0.2", "127,0,0,2"},
    {"port below 1024", std::string(), "127,0,0,1,0,21"},
    {"port past 65535", std::string(), "127,0,0,1,256,21"},
    {"no PORT", std::string(), std::string()},
};

class ActiveRefusals : public DataConnection, public testing::WithParamInterface<ActiveRefusalsRow> {};

TEST_P(ActiveRefusals, Row)
{
    auto [name, listenHost, port] = GetParam();
    CUniqueSocket listener;
    if (!listenHost.empty()) {
        uint16_t listenPort = 0;
        listener = CTestSocket::Listen(listenHost.c_str(), listenPort);
        ASSERT_TRUE(listener.Valid());
        port = PortCommand(port.c_str(), listenPort).substr(5);
    }
    if (!port.empty()) {
        ASSERT_EQ(m_pClient->Command("PORT " + port), Big5(Text::ReplyPort));
    }
    ASSERT_EQ(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyDataConnectFailed));
    ASSERT_TRUE(m_pClient->StaysSilent());
    if (listener.Valid()) {
        ASSERT_TRUE(!m_pClient->AcceptData(listener.Get(), 200).Valid());
    }
    ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
}

INSTANTIATE_TEST_SUITE_P(DataConnection, ActiveRefusals, testing::ValuesIn(kActiveRefusalsRows), RowName());

TEST_F(DataConnection, RefusedConnectAnswersOnceAndKeepsTheFile)
{
    uint16_t port = 0;
    // A port that was free a moment ago and has no listener now.
    CTestSocket::Listen("127.0.0.1", port).Reset();
    ASSERT_EQ(m_pClient->Command(PortCommand("127,0,0,1", port)), Big5(Text::ReplyPort));
    ASSERT_EQ(m_pClient->Command("STOR digits"), Big5(Text::ReplyStorStart));
    const std::string refusal = m_pClient->ReadLine();
    ASSERT_TRUE(refusal == Big5(Text::ReplyDataOpenFailed) || refusal == Big5(Text::ReplyDataConnectFailed)) << refusal;
    ASSERT_TRUE(m_pClient->StaysSilent());
    ASSERT_EQ(m_pFixture->ReadFile("digits"), "0123456789");
    ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
}

TEST_F(DataConnection, FailedTransferResetsRest)
{
    ASSERT_TRUE(m_pClient->Command("REST 4").starts_with("350 "));
    ASSERT_EQ(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyDataConnectFailed));
    const TransferResult result = CTransferFixture::Download(*m_pClient, "RETR digits");
    ASSERT_EQ(result.data, "0123456789");
}

TEST_F(DataConnection, SessionEndClosesTheDataConnection)
{
    CUniqueSocket data = m_pClient->OpenPassive();
    ASSERT_TRUE(data.Valid());
    ASSERT_EQ(m_pClient->Command("QUIT"), Big5(Text::ReplyBye));
    ASSERT_TRUE(m_pClient->WaitClosed());
    ASSERT_EQ(m_pClient->ReadAll(data.Get(), 2000), std::string());
    ASSERT_TRUE(CTestSocket::Readable(data.Get()));
}

    // Clients connect to the passive port before they send the command, and
    // close it again when the command is refused. A reply then would answer
    // no command and shift every later reply by one.
struct ClientClosingAnIdleDataConnectionGetsNoReplyRow {
    const char* name;
    std::string refused;
    std::string refusal;
};

const ClientClosingAnIdleDataConnectionGetsNoReplyRow kClientClosingAnIdleDataConnectionGetsNoReplyRows[] = {
    {"no command", std::string(), std::string()},
    {"RETR of a missing file", "RETR missing", Big5(Text::ReplyFileMissing)},
    {"LIST of a missing folder", "LIST missing", Big5(Text::ReplyListMissing)},
};

class ClientClosingAnIdleDataConnectionGetsNoReply : public DataConnection, public testing::WithParamInterface<ClientClosingAnIdleDataConnectionGetsNoReplyRow> {};

TEST_P(ClientClosingAnIdleDataConnectionGetsNoReply, Row)
{
    const auto& [name, refused, refusal] = GetParam();
    CUniqueSocket data = m_pClient->OpenPassive();
    ASSERT_TRUE(data.Valid());
    if (!refused.empty()) {
        ASSERT_EQ(m_pClient->Command(refused), refusal);
    }
    data.Reset();
    ASSERT_TRUE(m_pClient->StaysSilent());
    ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    const TransferResult result = CTransferFixture::Download(*m_pClient, "RETR digits");
    ASSERT_EQ(result.data, "0123456789");
    ASSERT_EQ(result.final, Big5(Text::ReplyTransferDone));
}

INSTANTIATE_TEST_SUITE_P(DataConnection, ClientClosingAnIdleDataConnectionGetsNoReply, testing::ValuesIn(kClientClosingAnIdleDataConnectionGetsNoReplyRows), RowName());

// A close that ABOR posts is taken only after every command of the same read
// has run, so a PASV in that read comes between the post and its delivery.
// The close is about the older connection and must not touch the new one.
TEST_F(DataConnection, LateCloseLeavesANewerPassivePort)
{
    CUniqueSocket older = m_pClient->OpenPassive();
    ASSERT_TRUE(older.Valid());
    ASSERT_TRUE(m_pClient->SendRaw("ABOR\r\nPASV\r\n"));
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyAbor));
    const uint16_t port = PassivePort(m_pClient->ReadLine());
    ASSERT_TRUE(port != 0);
    CUniqueSocket data = m_pClient->ConnectFrom("127.0.0.1", port);
    ASSERT_TRUE(data.Valid()) << "the announced passive port refuses";
    ASSERT_EQ(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    ASSERT_EQ(m_pClient->ReadAll(data.Get()), "0123456789");
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
}

TEST_F(DataConnection, LateCloseLeavesANewerPortAndRest)
{
    CUniqueSocket older = m_pClient->OpenPassive();
    ASSERT_TRUE(older.Valid());
    std::string portCommand;
    CUniqueSocket listener = CFtpTestClient::ListenForActive(portCommand);
    ASSERT_TRUE(listener.Valid());
    ASSERT_TRUE(m_pClient->SendRaw("ABOR\r\n" + portCommand + "\r\nREST 4\r\n"));
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyAbor));
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyPort));
    ASSERT_TRUE(m_pClient->ReadLine().starts_with("350 "));
    ASSERT_EQ(m_pClient->Command("RETR digits"), Big5(Text::ReplyRetrStart));
    CUniqueSocket data = m_pClient->AcceptData(listener.Get());
    ASSERT_TRUE(data.Valid()) << "the PORT address was forgotten";
    ASSERT_EQ(m_pClient->ReadAll(data.Get()), "456789");
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
}

// What clients that connect before the command do all day: the data
// connection is let go after a refusal and the next PASV follows at once.
TEST_F(DataConnection, EveryPassivePortAcceptsAfterARefusal)
{
    for (int round = 0; round < 300; ++round) {
        CUniqueSocket data = m_pClient->OpenPassive();
        ASSERT_TRUE(data.Valid()) << "round " << round << ": the announced passive port refuses";
        ASSERT_EQ(m_pClient->Command("RETR missing"), Big5(Text::ReplyFileMissing));
        data.Reset();
    }
}
