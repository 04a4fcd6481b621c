#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "eventually.h"
#include "platform/text_table.h"
#include "process_resources.h"
#include "session/connection_timeouts.h"
#include "session/control_socket.h"
#include "row_name.h"
#include "session/directory_listing.h"
#include "socket_api.h"
#include "temp_folder.h"
#include "test_link.h"
#include "transfer_fixture.h"

namespace {

namespace fs = std::filesystem;

const std::string& Big5(Text text)
{
    return CTextTable::Big5(text);
}

std::string RandomBytes(int64_t length)
{
    std::string bytes(static_cast<std::size_t>(length), '\0');
    std::mt19937 generator(static_cast<std::mt19937::result_type>(length));
    std::uniform_int_distribution<int> byte(0, 255);
    for (char& each : bytes)
        each = static_cast<char>(byte(generator));
    return bytes;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts(1);
    for (const char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

int Occurrences(const std::string& text, const std::string& part)
{
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string Digits(int64_t length)
{
    std::string bytes;
    for (int64_t i = 0; i < length; ++i)
        bytes += static_cast<char>('0' + i % 10);
    return bytes;
}

// An integer socket option of a descriptor, or -1. Zeroed first: Windows
// gives some options (TCP_NODELAY) as one byte.
int SocketOption(SocketHandle socket, int level, int name)
{
    int value = 0;
    socklen_t length = sizeof(value);
    return ::getsockopt(socket, level, name, reinterpret_cast<char*>(&value), &length) == 0 ? value : -1;
}

// Larger than every socket buffer between the session and a client that does
// not read, so the download stays under way.
constexpr int64_t kStalledLength = int64_t(256) << 20;

} // namespace

class Transfers : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A link in the served root, by name, to a target as it is given.
    bool MakeLink(const fs::path& target, const std::string& name) const
    {
        return CTestLink::Make(target, m_pFixture->LocalPath(name));
    }

    std::unique_ptr<CTransferFixture> m_pFixture;
    std::unique_ptr<CFtpTestClient> m_pClient;
};

void Transfers::SetUp()
{
    m_pFixture = std::make_unique<CTransferFixture>();
    m_pClient = m_pFixture->NewClient();
    ASSERT_TRUE(m_pClient);
}

void Transfers::TearDown()
{
    m_pClient.reset();
    m_pFixture.reset();
}

TEST_F(Transfers, DownloadsByteForByte)
{
    // Longer than what one turn of the session moves, and not a whole number of
    // pages, so the transfer is carried across turns and ends on a short step.
    const std::string bytes = RandomBytes((9 << 20) + 4321);
    ASSERT_TRUE(m_pFixture->WriteFile("random.bin", bytes));
    const TransferResult result = CTransferFixture::Download(*m_pClient, "RETR random.bin");
    ASSERT_EQ(result.preliminary, Big5(Text::ReplyRetrStart));
    ASSERT_EQ(result.data.size(), bytes.size());
    ASSERT_TRUE(result.data == bytes);
    ASSERT_EQ(result.final, Big5(Text::ReplyTransferDone));
}

struct DownloadStartsAtRestOffsetRow {
    const char* name;
    std::string rest;
    int firstByte;
};

const DownloadStartsAtRestOffsetRow kDownloadStartsAtRestOffsetRows[] = {
    {"no REST", std::string(), 0},
    {"REST 100", "100", 100},
    {"REST 999", "999", 999},
    {"REST at the length", "1000", 0},
    {"REST past the length", "5000", 0},
    {"REST negative", "-5", 0},
    {"REST past 32 bits", "4294967396", 0},
};

class DownloadStartsAtRestOffset : public Transfers, public testing::WithParamInterface<DownloadStartsAtRestOffsetRow> {};

TEST_P(DownloadStartsAtRestOffset, Row)
{
    const auto& [name, rest, firstByte] = GetParam();
    const std::string bytes = Digits(1000);
    ASSERT_TRUE(m_pFixture->WriteFile("digits", bytes));
    if (!rest.empty()) {
        ASSERT_TRUE(m_pClient->Command("REST " + rest).starts_with("350 "));
    }
    const TransferResult result = CTransferFixture::Download(*m_pClient, "RETR digits");
    ASSERT_EQ(result.preliminary, Big5(Text::ReplyRetrStart));
    ASSERT_EQ(result.data, bytes.substr(firstByte));
    ASSERT_EQ(result.final, Big5(Text::ReplyTransferDone));
}

INSTANTIATE_TEST_SUITE_P(Transfers, DownloadStartsAtRestOffset, testing::ValuesIn(kDownloadStartsAtRestOffsetRows), RowName());

TEST_F(Transfers, RestAppliesToOneTransferOnly)
{
    ASSERT_TRUE(m_pFixture->WriteFile("digits", Digits(1000)));
    ASSERT_TRUE(m_pClient->Command("REST 100").starts_with("350 "));
    ASSERT_EQ(CTransferFixture::Download(*m_pClient, "RETR digits").data.size(), 900);
    ASSERT_EQ(CTransferFixture::Download(*m_pClient, "RETR digits").data.size(), 1000);
}

TEST_F(Transfers, DownloadsEmptyFile)
{
    ASSERT_TRUE(m_pFixture->WriteFile("empty", std::string()));
    const TransferResult result = CTransferFixture::Download(*m_pClient, "RETR empty");
    ASSERT_EQ(result.preliminary, Big5(Text::ReplyRetrStart));
    ASSERT_TRUE(result.data.empty());
    ASSERT_EQ(result.final, Big5(Text::ReplyTransferDone));
}

struct RefusesDownloadOfMissingOrFolderOrOutsideRow {
    const char* name;
    std::string target;
    std::string reply;
};

const RefusesDownloadOfMissingOrFolderOrOutsideRow kRefusesDownloadOfMissingOrFolderOrOutsideRows[] = {
    {"missing", "nothing", Big5(Text::ReplyFileMissing)},
    {"folder", "folder", Big5(Text::ReplyFileMissing)},
    {"link out of the root", "outside", Big5(Text::ReplyDenied)},
};

class RefusesDownloadOfMissingOrFolderOrOutside : public Transfers, public testing::WithParamInterface<RefusesDownloadOfMissingOrFolderOrOutsideRow> {};

TEST_P(RefusesDownloadOfMissingOrFolderOrOutside, Row)
{
    const auto& [name, target, reply] = GetParam();
    CTempFolder elsewhere;
    ASSERT_TRUE(std::ofstream(elsewhere.NativeOf("secret")).is_open());
    if (CTestLink::Available()) {
        ASSERT_TRUE(MakeLink(elsewhere.NativeOf("secret"), "outside"));
    }
    ASSERT_TRUE(fs::create_directory(m_pFixture->LocalPath("folder")));
    ASSERT_EQ(m_pClient->Command("RETR " + target), reply);
    ASSERT_TRUE(m_pClient->StaysSilent());
}

INSTANTIATE_TEST_SUITE_P(Transfers, RefusesDownloadOfMissingOrFolderOrOutside, testing::ValuesIn(kRefusesDownloadOfMissingOrFolderOrOutsideRows), RowName());

struct RefusesWithoutRightRow {
    const char* name;
    std::string command;
    int right;
};

const RefusesWithoutRightRow kRefusesWithoutRightRows[] = {
    {"RETR", "RETR digits", int(Right::Download)},
    {"STOR", "STOR digits", int(Right::Upload)},
};

class RefusesWithoutRight : public Transfers, public testing::WithParamInterface<RefusesWithoutRightRow> {};

TEST_P(RefusesWithoutRight, Row)
{
    const auto& [name, command, right] = GetParam();
    ASSERT_TRUE(m_pFixture->WriteFile("digits", Digits(10)));
    m_pFixture->Host().SetRight(static_cast<Right>(right), 0);
    CUniqueSocket data = m_pClient->OpenPassive();
    ASSERT_TRUE(data.Valid());
    ASSERT_EQ(m_pClient->Command(command), Big5(Text::ReplyNoRight));
    ASSERT_TRUE(m_pClient->StaysSilent());
    data.Reset();
    ASSERT_EQ(m_pFixture->ReadFile("digits"), Digits(10));
}

INSTANTIATE_TEST_SUITE_P(Transfers, RefusesWithoutRight, testing::ValuesIn(kRefusesWithoutRightRows), RowName());

TEST_F(Transfers, UploadsByteForByte)
{
    // As for downloads: several turns' worth, ending on an odd-sized piece.
    const std::string bytes = RandomBytes((9 << 20) + 4321);
    const TransferResult result = CTransferFixture::Upload(*m_pClient, "STOR new.bin", bytes);
    ASSERT_EQ(result.preliminary, Big5(Text::ReplyStorStart));
    ASSERT_EQ(result.final, Big5(Text::ReplyTransferDone));
    ASSERT_TRUE(m_pFixture->ReadFile("new.bin") == bytes);
}

TEST_F(Transfers, UploadSentBeforeStorIsKeptAndEndsIdle)
{
    // All of the upload, and its end, are queued before the file is open:
    // they are reported once it is, and the end of the stream ends the upload.
    CUniqueSocket data = m_pClient->OpenPassive();
    ASSERT_TRUE(data.Valid());
    ASSERT_TRUE(m_pClient->WriteAll(data.Get(), "early bytes"));
    data.Reset();
    ASSERT_EQ(m_pClient->Command("STOR early"), Big5(Text::ReplyStorStart));
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
    ASSERT_EQ(m_pFixture->ReadFile("early"), "early bytes");
    // The session is idle again: with a fresh data socket, ABOR finds no
    // transfer to end.
    CUniqueSocket next = m_pClient->OpenPassive();
    ASSERT_TRUE(next.Valid());
    ASSERT_EQ(m_pClient->Command("ABOR"), Big5(Text::ReplyAbor));
    ASSERT_TRUE(m_pClient->StaysSilent());
}

struct UploadCutsOrExtendsAtRestOffsetRow {
    const char* name;
    std::string rest;
    std::string expected;
};

const UploadCutsOrExtendsAtRestOffsetRow kUploadCutsOrExtendsAtRestOffsetRows[] = {
    {"no REST replaces", std::string(), "ABCDEFGHIJ"},
    {"REST 4 keeps 4", "4", Digits(1000).substr(0, 4) + "ABCDEFGHIJ"},
    {"REST past the end extends", "1002", Digits(1000) + std::string(2, '\0') + "ABCDEFGHIJ"},
};

class UploadCutsOrExtendsAtRestOffset : public Transfers, public testing::WithParamInterface<UploadCutsOrExtendsAtRestOffsetRow> {};

TEST_P(UploadCutsOrExtendsAtRestOffset, Row)
{
    const auto& [name, rest, expected] = GetParam();
    ASSERT_TRUE(m_pFixture->WriteFile("digits", Digits(1000)));
    if (!rest.empty()) {
        ASSERT_TRUE(m_pClient->Command("REST " + rest).starts_with("350 "));
    }
    const TransferResult result = CTransferFixture::Upload(*m_pClient, "STOR digits", "ABCDEFGHIJ");
    ASSERT_EQ(result.final, Big5(Text::ReplyTransferDone));
    ASSERT_EQ(m_pFixture->ReadFile("digits"), expected);
}

INSTANTIATE_TEST_SUITE_P(Transfers, UploadCutsOrExtendsAtRestOffset, testing::ValuesIn(kUploadCutsOrExtendsAtRestOffsetRows), RowName());

TEST_F(Transfers, UploadWithoutDataMakesEmptyFile)
{
    const TransferResult result = CTransferFixture::Upload(*m_pClient, "STOR nothing", std::string());
    ASSERT_EQ(result.preliminary, Big5(Text::ReplyStorStart));
    ASSERT_EQ(result.final, Big5(Text::ReplyTransferDone));
    ASSERT_TRUE(fs::exists(m_pFixture->LocalPath("nothing")));
    ASSERT_EQ(m_pFixture->ReadFile("nothing"), std::string());
}

TEST_F(Transfers, NegativeRestRefusesUploadAndSessionGoesOn)
{
    ASSERT_TRUE(m_pFixture->WriteFile("digits", Digits(1000)));
    ASSERT_TRUE(m_pClient->Command("REST -4").starts_with("350 "));
    CUniqueSocket data = m_pClient->OpenPassive();
    ASSERT_TRUE(data.Valid());
    ASSERT_EQ(m_pClient->Command("STOR digits"), Big5(Text::ReplyStorStart));
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyFileAccess));
    data.Reset();
    ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    ASSERT_EQ(m_pFixture->ReadFile("digits"), Digits(1000));
}

TEST_F(Transfers, UploadToFolderIsRefused)
{
    ASSERT_TRUE(fs::create_directory(m_pFixture->LocalPath("folder")));
    const TransferResult result = CTransferFixture::Upload(*m_pClient, "STOR folder", "bytes");
    ASSERT_EQ(result.preliminary, Big5(Text::ReplyStorStart));
    ASSERT_EQ(result.final, Big5(Text::ReplyFileAccess));
    ASSERT_TRUE(m_pClient->StaysSilent());
}

TEST_F(Transfers, FiveGibibyteFileResumesAndLists)
{
    const int64_t nLength = int64_t(5) << 30;
    ASSERT_TRUE(m_pFixture->MakeSparseFile("huge", nLength - 10));
    {
        std::ofstream file(m_pFixture->LocalPath("huge"), std::ios::binary | std::ios::app);
        ASSERT_TRUE(file.is_open());
        ASSERT_TRUE(file.write("0123456789", 10) && file.flush());
    }
    ASSERT_TRUE(m_pClient->Command("REST " + std::to_string(nLength - 4)).starts_with("350 "));
    const TransferResult tail = CTransferFixture::Download(*m_pClient, "RETR huge");
    ASSERT_EQ(tail.data, "6789");
    ASSERT_EQ(tail.final, Big5(Text::ReplyTransferDone));

    const TransferResult listing = CTransferFixture::Download(*m_pClient, "LIST huge");
    ASSERT_TRUE(Contains(listing.data, " " + std::to_string(nLength) + " ")) << listing.data;

    // An upload resumed past 4 GiB lands exactly there.
    ASSERT_TRUE(m_pClient->Command("REST " + std::to_string(nLength + 2)).starts_with("350 "));
    ASSERT_EQ(CTransferFixture::Upload(*m_pClient, "STOR huge", "ab").final, Big5(Text::ReplyTransferDone));
    ASSERT_EQ(fs::file_size(m_pFixture->LocalPath("huge")), static_cast<std::uintmax_t>(nLength + 4));
    std::ifstream file(m_pFixture->LocalPath("huge"), std::ios::binary);
    ASSERT_TRUE(file.is_open() && file.seekg(nLength - 2));
    ASSERT_EQ(std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()), std::string("89\0\0ab", 6));
}

TEST_F(Transfers, ListingLongerThanOneBlockArrivesWhole)
{
    std::vector<std::string> names;
    for (int i = 0; i < 100; ++i) {
        names.push_back(std::to_string(1000 + i) + std::string(60, 'n'));
        ASSERT_TRUE(m_pFixture->WriteFile(names.back(), Digits(i)));
    }
    const TransferResult result = CTransferFixture::Download(*m_pClient, "NLST -l");
    ASSERT_EQ(result.preliminary, Big5(Text::ReplyListStart));
    ASSERT_EQ(result.final, Big5(Text::ReplyTransferDone));
    ASSERT_TRUE(result.data.size() > 2 * 4096);
    const std::vector<std::string> lines = Split(result.data, '\n');
    ASSERT_EQ(lines.size(), names.size() + 1);
    ASSERT_TRUE(lines.back().empty());
    for (const std::string& name : names)
        ASSERT_TRUE(Occurrences(result.data, " " + name + "\r\n") == 1) << name;
}

TEST_F(Transfers, ListingOfEmptyFolderSendsNothing)
{
    const TransferResult result = CTransferFixture::Download(*m_pClient, "LIST");
    ASSERT_EQ(result.preliminary, Big5(Text::ReplyListStart));
    ASSERT_TRUE(result.data.empty());
    ASSERT_EQ(result.final, Big5(Text::ReplyTransferDone));
    ASSERT_TRUE(m_pClient->StaysSilent());
}

struct ListingTargetsRow {
    const char* name;
    std::string command;
    std::string refusal;
    std::string names;
};

const ListingTargetsRow kListingTargetsRows[] = {
    {"no argument", "LIST", std::string(), "a.txt,sub"},
    {"star", "LIST *", std::string(), "a.txt,sub"},
    {"options only", "LIST -la", std::string(), "a.txt,sub"},
    {"folder after option", "LIST -l sub", std::string(), "inner"},
    {"one file, other case", "NLST A.TXT", std::string(), "a.txt"},
    {"star after a name", "LIST sub/*", Big5(Text::ReplyListMissing), std::string()},
    {"missing", "LIST none", Big5(Text::ReplyListMissing), std::string()},
    {"link out of the root", "LIST out", Big5(Text::ReplyNoRight), std::string()},
};

class ListingTargets : public Transfers, public testing::WithParamInterface<ListingTargetsRow> {};

TEST_P(ListingTargets, Row)
{
    const auto& [name, command, refusal, names] = GetParam();
    CTempFolder elsewhere;
    ASSERT_TRUE(m_pFixture->WriteFile("a.txt", "abc"));
    ASSERT_TRUE(fs::create_directory(m_pFixture->LocalPath("sub")));
    ASSERT_TRUE(m_pFixture->WriteFile("sub/inner", "x"));
    if (std::string(name) == "link out of the root") {
        ASSERT_TRUE(MakeLink(CNativePath::Of(elsewhere.Path()), "out"));
    }
    if (!refusal.empty()) {
        ASSERT_EQ(m_pClient->Command(command), refusal);
        ASSERT_TRUE(m_pClient->StaysSilent());
        return;
    }
    const TransferResult result = CTransferFixture::Download(*m_pClient, command);
    ASSERT_EQ(result.final, Big5(Text::ReplyTransferDone));
    std::vector<std::string> listed;
    for (const std::string& line : Split(result.data, '\n')) {
        if (!line.empty())
            listed.push_back(line.substr(52, line.size() - 53));
    }
    std::sort(listed.begin(), listed.end());
    std::string joined;
    for (const std::string& each : listed)
        joined += (joined.empty() ? "" : ",") + each;
    ASSERT_EQ(joined, names);
}

INSTANTIATE_TEST_SUITE_P(Transfers, ListingTargets, testing::ValuesIn(kListingTargetsRows), RowName());

TEST_F(Transfers, DanglingLinkDoesNotStopListing)
{
    ASSERT_TRUE(MakeLink(m_pFixture->LocalPath("gone"), "a-link"));
    ASSERT_TRUE(m_pFixture->WriteFile("b-file", "x"));
    ASSERT_TRUE(m_pFixture->WriteFile("c-file", "x"));
    const TransferResult result = CTransferFixture::Download(*m_pClient, "LIST");
    ASSERT_EQ(result.final, Big5(Text::ReplyTransferDone));
    ASSERT_TRUE(Contains(result.data, " a-link\r\n"));
    ASSERT_TRUE(Contains(result.data, " b-file\r\n"));
    ASSERT_TRUE(Contains(result.data, " c-file\r\n"));
}

TEST_F(Transfers, TwoSessionsDownloadOneFileAtOnce)
{
    // More than the sockets between them hold, so the first download is
    // still under way, its file open, while the second runs from start to end.
    const std::string bytes = RandomBytes(32 << 20);
    ASSERT_TRUE(m_pFixture->WriteFile("shared.bin", bytes));
    CUniqueSocket first = m_pClient->OpenPassive();
    ASSERT_EQ(m_pClient->Command("RETR shared.bin"), Big5(Text::ReplyRetrStart));
    ASSERT_TRUE(m_pClient->ReadAtLeast(first.Get(), 4096));

    auto second = m_pFixture->NewClient();
    ASSERT_TRUE(second);
    const TransferResult result = CTransferFixture::Download(*second, "RETR shared.bin");
    ASSERT_EQ(result.preliminary, Big5(Text::ReplyRetrStart));
    ASSERT_TRUE(result.data == bytes);
    ASSERT_EQ(result.final, Big5(Text::ReplyTransferDone));

    const std::string firstRest = m_pClient->ReadAll(first.Get());
    first.Reset();
    ASSERT_TRUE(firstRest == bytes.substr(4096));
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
}

TEST_F(Transfers, UploadOfFileBeingDownloadedGets450)
{
    ASSERT_TRUE(m_pFixture->MakeSparseFile("big", kStalledLength));
    CUniqueSocket stalled = m_pClient->OpenPassive();
    ASSERT_EQ(m_pClient->Command("RETR big"), Big5(Text::ReplyRetrStart));
    ASSERT_TRUE(m_pClient->ReadAtLeast(stalled.Get(), 4096));

    auto second = m_pFixture->NewClient();
    ASSERT_TRUE(second);
    const TransferResult result = CTransferFixture::Upload(*second, "STOR big", "bytes");
    ASSERT_EQ(result.preliminary, Big5(Text::ReplyStorStart));
    ASSERT_EQ(result.final, Big5(Text::ReplyFileAccess));
    stalled.Reset();
    ASSERT_EQ(fs::file_size(m_pFixture->LocalPath("big")), static_cast<std::uintmax_t>(kStalledLength));
}

TEST_F(Transfers, DownloadOfFileBeingUploadedGets426)
{
    CUniqueSocket upload = m_pClient->OpenPassive();
    ASSERT_EQ(m_pClient->Command("STOR growing"), Big5(Text::ReplyStorStart));
    ASSERT_TRUE(m_pClient->WriteAll(upload.Get(), "first part"));
    ASSERT_EQ_EVENTUALLY(m_pFixture->ReadFile("growing"), "first part", CTestSocket::kDeadlineMs);

    auto second = m_pFixture->NewClient();
    ASSERT_TRUE(second);
    const TransferResult result = CTransferFixture::Download(*second, "RETR growing");
    ASSERT_EQ(result.preliminary, Big5(Text::ReplyRetrStart));
    ASSERT_TRUE(result.data.empty());
    ASSERT_EQ(result.final, Big5(Text::ReplyTransferAborted));

    // The refused reader took nothing from the upload.
    ASSERT_TRUE(m_pClient->WriteAll(upload.Get(), ", second part"));
    upload.Reset();
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyTransferDone));
    ASSERT_EQ(m_pFixture->ReadFile("growing"), "first part, second part");
}

TEST_F(Transfers, ClientLeavingMidDownloadGets426AndSessionGoesOn)
{
    ASSERT_TRUE(m_pFixture->MakeSparseFile("big", kStalledLength));
    CUniqueSocket data = m_pClient->OpenPassive();
    ASSERT_EQ(m_pClient->Command("RETR big"), Big5(Text::ReplyRetrStart));
    ASSERT_TRUE(m_pClient->ReadAtLeast(data.Get(), 65536));
    data.Reset();
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyTransferAborted));
    ASSERT_TRUE(m_pClient->StaysSilent());
    ASSERT_EQ(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    // The file was let go: another download of it goes through.
    ASSERT_TRUE(m_pFixture->WriteFile("small", "abc"));
    ASSERT_EQ(CTransferFixture::Download(*m_pClient, "RETR small").data, "abc");
}

TEST_F(Transfers, ShrunkenFileEndsWith426)
{
    ASSERT_TRUE(m_pFixture->MakeSparseFile("big", kStalledLength));
    CUniqueSocket data = m_pClient->OpenPassive();
    ASSERT_EQ(m_pClient->Command("RETR big"), Big5(Text::ReplyRetrStart));
    // The file is opened once the data connection is up, after the 150.
    ASSERT_TRUE(m_pClient->ReadAtLeast(data.Get(), 4096));
    std::error_code error;
    fs::resize_file(m_pFixture->LocalPath("big"), 0, error);
    ASSERT_FALSE(error) << error.message();
    const std::string received = m_pClient->ReadAll(data.Get());
    data.Reset();
    ASSERT_TRUE(received.size() < kStalledLength);
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyTransferAborted));
    ASSERT_TRUE(m_pClient->StaysSilent());
}

TEST_F(Transfers, AborDuringDownloadAnswers426Then226)
{
    ASSERT_TRUE(m_pFixture->MakeSparseFile("big", kStalledLength));
    CUniqueSocket data = m_pClient->OpenPassive();
    ASSERT_EQ(m_pClient->Command("RETR big"), Big5(Text::ReplyRetrStart));
    ASSERT_TRUE(m_pClient->ReadAtLeast(data.Get(), 4096));
    ASSERT_EQ(m_pClient->Command("ABOR"), Big5(Text::ReplyAborData));
    ASSERT_EQ(m_pClient->ReadLine(), Big5(Text::ReplyAbor));
    ASSERT_TRUE(m_pClient->StaysSilent());
    // The data connection is gone and the session is idle: a second ABOR
    // has nothing to abort.
    ASSERT_TRUE(m_pClient->ReadAll(data.Get()).size() < kStalledLength);
    data.Reset();
    ASSERT_EQ(m_pClient->Command("ABOR"), Big5(Text::ReplyAbor));
    ASSERT_TRUE(m_pFixture->WriteFile("small", "abc"));
    ASSERT_EQ(CTransferFixture::Download(*m_pClient, "RETR small").data, "abc");
}

TEST_F(Transfers, ControlConnectionSendsWithoutNagleDelay)
{
    // The 226 follows the 150 before the client has acknowledged it; with
    // Nagle's delay on, the session's end of the control connection would
    // hold it back for that acknowledgement, tens of ms per transfer.
    const SocketHandle serverEnd = CProcessResources::PeerSocketOf(m_pClient->Handle());
    ASSERT_TRUE(serverEnd != kNoSocket);
    ASSERT_TRUE(SocketOption(serverEnd, IPPROTO_TCP, TCP_NODELAY) > 0);
}

struct EveryConnectionNoticesAVanishedClientRow {
    const char* name;
    bool bPassive;
};

const EveryConnectionNoticesAVanishedClientRow kEveryConnectionNoticesAVanishedClientRows[] = {
    {"passive data connection", true},
    {"active data connection", false},
};

class EveryConnectionNoticesAVanishedClient : public Transfers, public testing::WithParamInterface<EveryConnectionNoticesAVanishedClientRow> {};

TEST_P(EveryConnectionNoticesAVanishedClient, Row)
{
    const auto& [name, bPassive] = GetParam();
    // The options are read on the session's ends, which the kernel would use
    // to give up on a client that no longer answers.
    // Windows takes the probes' times through a control call that nothing
    // reads back: there only keep-alive itself can be seen.
    const auto expectTimeouts = [](SocketHandle serverEnd, [[maybe_unused]] const PeerTimeouts& wanted) {
        const auto option = [serverEnd](int level, int name) { return SocketOption(serverEnd, level, name); };
        ASSERT_TRUE(serverEnd != kNoSocket);
        ASSERT_EQ(option(SOL_SOCKET, SO_KEEPALIVE), 1);
#ifndef _WIN32
        ASSERT_EQ(option(IPPROTO_TCP, TCP_KEEPIDLE), wanted.nKeepIdleSeconds);
        ASSERT_EQ(option(IPPROTO_TCP, TCP_KEEPINTVL), wanted.nKeepIntervalSeconds);
        ASSERT_EQ(option(IPPROTO_TCP, TCP_KEEPCNT), wanted.nKeepProbes);
        ASSERT_EQ(option(IPPROTO_TCP, TCP_USER_TIMEOUT), wanted.nUserTimeoutMs);
#endif
    };
    expectTimeouts(CProcessResources::PeerSocketOf(m_pClient->Handle()), ConnectionTimeouts::kControl);
    if (HasFatalFailure())
        return;

    ASSERT_TRUE(m_pFixture->MakeSparseFile("big", kStalledLength));
    CUniqueSocket data;
    if (bPassive) {
        data = m_pClient->OpenPassive();
        ASSERT_EQ(m_pClient->Command("RETR big"), Big5(Text::ReplyRetrStart));
    } else {
        CUniqueSocket listener = m_pClient->OpenActive();
        ASSERT_EQ(m_pClient->Command("RETR big"), Big5(Text::ReplyRetrStart));
        data = m_pClient->AcceptData(listener.Get());
    }
    // Bytes flowing mean the session holds its end of the connection.
    ASSERT_TRUE(m_pClient->ReadAtLeast(data.Get(), 4096));
    expectTimeouts(CProcessResources::PeerSocketOf(data.Get()), ConnectionTimeouts::kData);
}

INSTANTIATE_TEST_SUITE_P(Transfers, EveryConnectionNoticesAVanishedClient, testing::ValuesIn(kEveryConnectionNoticesAVanishedClientRows), RowName());
