// What a log row costs the process once the log holds a million of them: the
// rows of typical traffic (clients that log in, list, download a file and
// quit), appended as the window appends them, and the allocator's and the
// kernel's count of the memory that took. Then what showing the last rows of
// such a log costs.

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include "platform/big5_text.h"
#include "support/proc_memory.h"
#include "platform/text_table.h"
#include "ui/log_model.h"
#include "ui/log_view.h"

namespace {

constexpr int kRows = 1'000'000;

// The rows one visit leaves, as the server words them.
std::vector<std::string> VisitRows(int visit)
{
    const std::string address = "192.168.1." + std::to_string(visit % 250 + 2);
    const std::string file = "/pub/release-" + std::to_string(visit % 97) + ".zip";
    const int dataPort = 20000 + visit % 40000;
    const std::string pasv = CTextTable::Format(Text::ReplyPasv, "192,168,1,1", dataPort / 256, dataPort % 256);
    return {
        CTextTable::Format(Text::LogClientConnected, address.c_str()),
        "USER anonymous",
        CTextTable::Big5(Text::ReplyUserOk),
        "PASS mozilla@example.com",
        CTextTable::Big5(Text::ReplyLoggedIn),
        "PASV ",
        pasv,
        "LIST ",
        CTextTable::Big5(Text::ReplyListStart),
        CTextTable::Big5(Text::ReplyTransferDone),
        "TYPE I",
        CTextTable::Format(Text::ReplyType, "I"),
        "PASV ",
        pasv,
        "RETR " + file,
        CTextTable::Big5(Text::ReplyRetrStart),
        CTextTable::Big5(Text::ReplyTransferDone),
        "QUIT ",
        CTextTable::Big5(Text::ReplyBye),
        CTextTable::Format(Text::LogClientDisconnected, address.c_str()),
    };
}

long long AllocatedBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
}

long long ResidentBytes()
{
    return BenchProc::MeasureTree(::getpid()).nRssKiB * 1024;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CLogModel model;
    long long messageBytes = 0;
    const long long allocatedBefore = AllocatedBytes();
    const long long residentBefore = ResidentBytes();
    for (int visit = 0, rows = 0; rows < kRows; ++visit) {
        const quint32 threadId = 10000 + static_cast<quint32>(visit % 20000);
        for (const std::string& row : VisitRows(visit)) {
            if (rows++ == kRows)
                break;
            messageBytes += row.size();
            model.Append(threadId, row);
        }
    }
    model.FlushAll();
    const long long allocated = AllocatedBytes() - allocatedBefore;
    const long long resident = ResidentBytes() - residentBefore;
    std::printf("log row bytes at %d rows: %.1f bytes per row allocated, %.1f resident (messages alone %.1f)\n",
                model.rowCount(), static_cast<double>(allocated) / kRows, static_cast<double>(resident) / kRows,
                static_cast<double>(messageBytes) / kRows);

    // The window opens at the last row of such a log.
    CLogView view;
    view.resize(640, 480);
    QElapsedTimer opening;
    opening.start();
    view.setModel(&model);
    view.show();
    view.scrollToBottom();
    view.viewport()->repaint();
    std::printf("log opened at its last row: %.1f ms\n", opening.nsecsElapsed() / 1e6);
    return 0;
}
