#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "eventually.h"
#include "ftp_test_client.h"
#include "platform/big5_text.h"
#include "platform/text_table.h"
#include "row_name.h"
#include "session/control_socket.h"
#include "session_harness.h"

namespace {

const std::string& Big5(Text text)
{
    return CTextTable::Big5(text);
}

using Kind = CFakeSessionHost::Kind;

} // namespace

class ControlSocket : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<CSessionHarness> m_pHarness;
    std::unique_ptr<CFtpTestClient> m_pClient;
};

void ControlSocket::SetUp()
{
    m_pHarness = std::make_unique<CSessionHarness>();
    m_pClient = std::make_unique<CFtpTestClient>();
    ASSERT_TRUE(m_pClient->Connect(m_pHarness->Port()));
}

void ControlSocket::TearDown()
{
    m_pClient.reset();
    m_pHarness.reset();
}

TEST_F(ControlSocket, GreetsWithExactBytes)
{
    ASSERT_EQ(m_pClient->ReadLine(), "220 \xC5\x77\xAA\xEF\xA8\xCF\xA5\xCE Vandrel Tessel FTP Server");
}

TEST_F(ControlSocket, ConnectAndDisconnectCarryTheSameAddress)
{
    m_pClient->ReadLine();
    m_pClient->Close();
    CFakeSessionHost& host = m_pHarness->Host();
    ASSERT_EQ_EVENTUALLY(host.CountOf(Kind::Disconnected), 1, CTestSocket::kDeadlineMs);
    ASSERT_EQ(host.UnregisterCount(), 1);
    const auto events = host.Events();
    std::string connected;
    std::string disconnected;
    for (const auto& event : events) {
        if (event.kind == Kind::Connected)
            connected = event.text;
        if (event.kind == Kind::Disconnected)
            disconnected = event.text;
    }
    ASSERT_EQ(connected, "127.0.0.1");
    ASSERT_EQ(disconnected, connected);
    // The greeting goes out before the connected notification.
    ASSERT_EQ(events.front().kind, Kind::Log);
    ASSERT_EQ(events.front().text, CTextTable::Big5(Text::Greeting));
}

TEST_F(ControlSocket, ExecutesTwoCommandsFromOneRead)
{
    ASSERT_TRUE(m_pClient->Login());
    m_pClient->SendRaw("NOOP\r\nSYST\r\n");
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyNoop));
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplySyst));
}

TEST_F(ControlSocket, WaitsForCrLfAcrossReads)
{
    ASSERT_TRUE(m_pClient->Login());
    m_pClient->SendRaw("NO");
    ASSERT_TRUE(m_pClient->StaysSilent(200));
    m_pClient->SendRaw("OP\r");
    ASSERT_TRUE(m_pClient->StaysSilent(200));
    m_pClient->SendRaw("\n");
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyNoop));
}

TEST_F(ControlSocket, IgnoresLfOnlyAndEmptyLines)
{
    ASSERT_TRUE(m_pClient->Login());
    m_pClient->SendRaw("\r\n\r\n");
    ASSERT_TRUE(m_pClient->StaysSilent(200));
    // "NOOP\n" is ordinary text until a CR LF ends the line: the verb then is
    // "NOOP\nNOOP", which nothing matches.
    m_pClient->SendRaw("NOOP\n");
    ASSERT_TRUE(m_pClient->StaysSilent(200));
    m_pClient->SendRaw("NOOP\r\n");
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyUnknown));
}

TEST_F(ControlSocket, AcceptsExactly4096PendingBytes)
{
    ASSERT_TRUE(m_pClient->Login());
    // 4000 bytes pending, then 96 more: 4096 in all, still accepted.
    m_pClient->SendRaw("NOOP " + std::string(3995, 'x'));
    ASSERT_TRUE(m_pClient->StaysSilent(200));
    m_pClient->SendRaw(std::string(94, 'y') + "\r\n");
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyNoop));
    ASSERT_EQ(m_pHarness->Host().CountOf(Kind::Disconnected), 0);
}

TEST_F(ControlSocket, EndsSessionSilentlyPast4096PendingBytes)
{
    ASSERT_TRUE(m_pClient->Login());
    m_pClient->SendRaw("NOOP " + std::string(3995, 'x'));
    ASSERT_TRUE(m_pClient->StaysSilent(200));
    m_pClient->SendRaw(std::string(95, 'y') + "\r\n");
    ASSERT_TRUE(m_pClient->WaitClosed());
    ASSERT_EQ_EVENTUALLY(m_pHarness->Host().CountOf(Kind::Disconnected), 1, CTestSocket::kDeadlineMs);
    const auto logs = m_pHarness->Host().LogTexts();
    ASSERT_TRUE(std::find(logs.begin(), logs.end(), CTextTable::Big5(Text::LogOverflow)) != logs.end());
}

TEST_F(ControlSocket, DropsBytesAfterNul)
{
    ASSERT_TRUE(m_pClient->Login());
    m_pClient->SendRaw(std::string("NOOP\r\n\0SYST\r\n", 13));
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyNoop));
    ASSERT_TRUE(m_pClient->StaysSilent(200));
}

struct LoginTableRow {
    const char* name;
    std::vector<std::string> commands;
    std::vector<std::string> replies;
};

const LoginTableRow kLoginTableRows[] = {
    {"lower-case verb and name", std::vector<std::string>{"user anonymous", "pass x"}, std::vector<std::string>{Big5(Text::ReplyUserOk), Big5(Text::ReplyLoggedIn)}},
    {"name in capitals", std::vector<std::string>{"USER ANONYMOUS", "PASS"}, std::vector<std::string>{Big5(Text::ReplyUserOk), Big5(Text::ReplyLoggedIn)}},
    {"trailing blank", std::vector<std::string>{"USER anonymous "}, std::vector<std::string>{Big5(Text::ReplyUserBad)}},
    {"two blanks before name", std::vector<std::string>{"USER  anonymous"}, std::vector<std::string>{Big5(Text::ReplyUserBad)}},
    {"other name", std::vector<std::string>{"USER bob", "PASS x"}, std::vector<std::string>{Big5(Text::ReplyUserBad), Big5(Text::ReplyPassWithoutUser)}},
    {"pass before user", std::vector<std::string>{"PASS x"}, std::vector<std::string>{Big5(Text::ReplyPassWithoutUser)}},
    {"empty password", std::vector<std::string>{"USER anonymous", "PASS"}, std::vector<std::string>{Big5(Text::ReplyUserOk), Big5(Text::ReplyLoggedIn)}},
    {"gate before login", std::vector<std::string>{"QUIT", "NOOP", "SYST", "FEAT"}, std::vector<std::string>{Big5(Text::ReplyLoginFirst), Big5(Text::ReplyLoginFirst), Big5(Text::ReplyLoginFirst), Big5(Text::ReplyLoginFirst)}},
    {"user without pass is gated", std::vector<std::string>{"USER anonymous", "NOOP"}, std::vector<std::string>{Big5(Text::ReplyUserOk), Big5(Text::ReplyLoginFirst)}},
};

class LoginTable : public ControlSocket, public testing::WithParamInterface<LoginTableRow> {};


TEST_P(LoginTable, Row)
{
    const auto& [name, commands, replies] = GetParam();
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::Greeting));
    for (std::size_t i = 0; i < commands.size(); ++i)
        ASSERT_EQ(m_pClient->Command(commands[i]), replies[i]);
    // The gate never closes the connection.
    ASSERT_EQ(m_pClient->Command("NOOP").substr(0, 3), replies.back() == Big5(Text::ReplyLoggedIn) ? "200" : "530");
}

INSTANTIATE_TEST_SUITE_P(ControlSocket, LoginTable, testing::ValuesIn(kLoginTableRows), RowName());

TEST_F(ControlSocket, AcceptedNameSurvivesRejectedUser)
{
    m_pClient->ReadLine();
    ASSERT_EQ(m_pClient->Command("USER anonymous"), Big5(Text::ReplyUserOk));
    ASSERT_EQ(m_pClient->Command("USER bob"), Big5(Text::ReplyUserBad));
    ASSERT_EQ(m_pClient->Command("PASS x"), Big5(Text::ReplyLoggedIn));
}

TEST_F(ControlSocket, PassAfterLoginStaysLoggedIn)
{
    ASSERT_TRUE(m_pClient->Login());
    ASSERT_EQ(m_pClient->Command("USER bob"), Big5(Text::ReplyUserBad));
    ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    ASSERT_EQ(m_pClient->Command("PASS again"), Big5(Text::ReplyLoggedIn));
}

struct AnswersSimpleVerbsRow {
    const char* name;
    std::string command;
    std::string reply;
};

const AnswersSimpleVerbsRow kAnswersSimpleVerbsRows[] = {
    {"TYPE A", "TYPE A", CTextTable::Format(Text::ReplyType, "A")},
    {"type i keeps argument case", "type i", CTextTable::Format(Text::ReplyType, "i")},
    {"echoed line breaks stay one line", "TYPE a\nb\rc", CTextTable::Format(Text::ReplyType, "a b c")},
    {"SYST", "SYST", Big5(Text::ReplySyst)},
    {"NOOP", "NOOP", Big5(Text::ReplyNoop)},
    {"noop lower", "noop", Big5(Text::ReplyNoop)},
    {"ABOR without data", "ABOR", Big5(Text::ReplyAbor)},
    {"abor lower", "abor", Big5(Text::ReplyAbor)},
    {"FEAT unknown", "FEAT", Big5(Text::ReplyUnknown)},
    {"leading blank is no verb", " NOOP", Big5(Text::ReplyUnknown)},
    {"Big5 verb", "\xA4\x61noop", Big5(Text::ReplyUnknown)},
    {"PORT", "PORT 10,0,0,5,4,1", Big5(Text::ReplyPort)},
    {"PORT empty", "PORT", Big5(Text::ReplyPort)},
};

class AnswersSimpleVerbs : public ControlSocket, public testing::WithParamInterface<AnswersSimpleVerbsRow> {};


TEST_P(AnswersSimpleVerbs, Row)
{
    const auto& [name, command, reply] = GetParam();
    ASSERT_TRUE(m_pClient->Login());
    ASSERT_EQ(m_pClient->Command(command), reply);
}

INSTANTIATE_TEST_SUITE_P(ControlSocket, AnswersSimpleVerbs, testing::ValuesIn(kAnswersSimpleVerbsRows), RowName());

TEST_F(ControlSocket, AbortsAfterTelnetBytes)
{
    ASSERT_TRUE(m_pClient->Login());
    ASSERT_EQ(m_pClient->Command("\xFF\xF4\xFF\xF2" "ABOR"), Big5(Text::ReplyAbor));
    ASSERT_EQ(m_pClient->Command("XABOR"), Big5(Text::ReplyAbor));
}

struct PortFieldsAreParsedRow {
    const char* name;
    std::string argument;
    std::string host;
    int port;
};

const PortFieldsAreParsedRow kPortFieldsAreParsedRows[] = {
    {"six fields", "10,0,0,5,4,1", "10.0.0.5", 1025},
    {"three fields keep port", "1,2,3", "1.2.3.", -1},
    {"empty", "", ".", -1},
    {"empty fields count", "1,,3,4,5,", "1..3.4", 1280},
    {"extra fields ignored", "127,0,0,1,0,21,9", "127.0.0.1", 21},
    {"blanks kept in host", " 1, 2,3,4, 1,x", " 1. 2.3.4", 256},
    {"huge numbers do not overflow", "1,2,3,4,99999999999,1", "1.2.3.4", static_cast<int>(static_cast<int64_t>(INT_MAX) * 256 + 1)},
};

class PortFieldsAreParsed : public ControlSocket, public testing::WithParamInterface<PortFieldsAreParsedRow> {};


TEST_P(PortFieldsAreParsed, Row)
{
    const auto& [name, argument, host, port] = GetParam();
    std::string storedHost;
    int storedPort = -1;
    CDataChannel::ApplyPortArgument(argument, storedHost, storedPort);
    ASSERT_EQ(storedHost, host);
    ASSERT_EQ(storedPort, port);
}

INSTANTIATE_TEST_SUITE_P(ControlSocket, PortFieldsAreParsed, testing::ValuesIn(kPortFieldsAreParsedRows), RowName());

struct RestStoresDecimalValueRow {
    const char* name;
    std::string argument;
    long long value;
};

const RestStoresDecimalValueRow kRestStoresDecimalValueRows[] = {
    {"100", "100", 100LL},
    {"no digits", "abc", 0LL},
    {"empty", std::string(), 0LL},
    {"negative", "-5", -5LL},
    {"leading blanks and tail", "  42xyz", 42LL},
    {"5 GiB", "5368709120", 5368709120LL},
    {"saturates", "99999999999999999999999", LLONG_MAX},
};

class RestStoresDecimalValue : public ControlSocket, public testing::WithParamInterface<RestStoresDecimalValueRow> {};


TEST_P(RestStoresDecimalValue, Row)
{
    const auto& [name, argument, value] = GetParam();
    ASSERT_TRUE(m_pClient->Login());
    ASSERT_EQ(m_pClient->Command("REST " + argument), CTextTable::Format(Text::ReplyRest, value));
}

INSTANTIATE_TEST_SUITE_P(ControlSocket, RestStoresDecimalValue, testing::ValuesIn(kRestStoresDecimalValueRows), RowName());

TEST_F(ControlSocket, RefusesRetrWithoutDownloadRight)
{
    m_pHarness->Host().SetRight(Right::Download, 0);
    ASSERT_TRUE(m_pClient->Login());
    ASSERT_EQ(m_pClient->Command("RETR x"), Big5(Text::ReplyNoRight));
    ASSERT_EQ(m_pClient->Command("STOR x"), Big5(Text::ReplyNoRight));
    ASSERT_EQ(m_pClient->Command("DELE x"), Big5(Text::ReplyNoRight));
}

TEST_F(ControlSocket, QuitEndsSession)
{
    ASSERT_TRUE(m_pClient->Login());
    ASSERT_EQ(m_pClient->Command("QUIT"), Big5(Text::ReplyBye));
    ASSERT_TRUE(m_pClient->WaitClosed());
    ASSERT_EVENTUALLY(m_pHarness->AllSessionsEnded(), CTestSocket::kDeadlineMs);
}

TEST_F(ControlSocket, LogsEachReplyAfterItsCommand)
{
    ASSERT_TRUE(m_pClient->Login());
    ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    ASSERT_EQ(m_pClient->Command("QUIT"), Big5(Text::ReplyBye));
    ASSERT_EQ_EVENTUALLY(m_pHarness->Host().CountOf(Kind::Disconnected), 1, CTestSocket::kDeadlineMs);
    const auto logs = m_pHarness->Host().LogTexts();
    const std::vector<std::string> expected = {CTextTable::Big5(Text::Greeting), "USER anonymous",
                                               CTextTable::Big5(Text::ReplyUserOk), "PASS guest",
                                               CTextTable::Big5(Text::ReplyLoggedIn), "NOOP ",
                                               CTextTable::Big5(Text::ReplyNoop), "QUIT ", CTextTable::Big5(Text::ReplyBye)};
    ASSERT_EQ(logs, expected);
}

TEST_F(ControlSocket, LogsFailedReplyToResetClient)
{
    ASSERT_TRUE(m_pClient->Login());
    // Far more commands than the session can answer before the reset lands.
    std::string flood;
    for (int i = 0; i < 20000; ++i)
        flood += "NOOP\r\n";
    m_pClient->SendRaw(flood);
    m_pClient->Reset();
    ASSERT_EQ_EVENTUALLY(m_pHarness->Host().CountOf(Kind::Disconnected), 1, CTestSocket::kDeadlineMs);
    // Once, however many commands were still buffered: the first failed reply ends the session.
    const auto logs = m_pHarness->Host().LogTexts();
    ASSERT_EQ(std::count(logs.begin(), logs.end(), CTextTable::Big5(Text::LogReplyFailed)), 1);
}
