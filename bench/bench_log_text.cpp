// What it costs to turn one log row into window text: the log converts every
// row it draws, so a screenful of scrolling converts some forty rows per
// frame. Plain ASCII, the server's own Big5, and Big5 with a client's UTF-8
// in it (bytes that are not Big5), each converted many times on one thread.

#include <cstdio>
#include <string>

#include <QElapsedTimer>

#include "platform/text_table.h"
#include "ui/display_text.h"

namespace {

constexpr int kRounds = 200'000;

double NanosecondsPerRow(const std::string& row)
{
    qsizetype sink = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kRounds; ++i)
        sink += CDisplayText::FromBig5(row).size();
    const double nanoseconds = static_cast<double>(clock.nsecsElapsed()) / kRounds;
    return sink > 0 ? nanoseconds : 0;
}

} // namespace

int main()
{
    const char* const utf8Argument = "\xE4\xB8\xAD\xE6\x96\x87";
    const struct {
        const char* name;
        std::string row;
    } rows[] = {
        {"ascii", "RETR /pub/archive/2024/report-final.pdf"},
        {"big5", CTextTable::Format(Text::ReplyType, "I")},
        {"big5 with bad bytes", CTextTable::Format(Text::ReplyType, utf8Argument)},
    };
    for (const auto& row : rows)
        std::printf("log text, %s row (%lld bytes): %.0f ns per row\n", row.name, static_cast<long long>(row.row.size()),
                    NanosecondsPerRow(row.row));
    return 0;
}
