#include <QTest>

#include "platform/big5_text.h"
#include "platform/text_table.h"
#include "std_string_to_string.h"
#include "ui/display_text.h"

class TestBig5Text : public QObject {
    Q_OBJECT
private slots:
    void greetingIsExactBig5();
    void formatKeepsTemplateBlanks();
    void upperCaseSkipsTrailBytes();
    void findNeverMatchesTrailByte();
    void invalidBytesAreRejected();
    void unencodableCharactersBecomeQuestionMarks_data();
    void unencodableCharactersBecomeQuestionMarks();
    void rowsShowBadBytesAsMarksOnly_data();
    void rowsShowBadBytesAsMarksOnly();
};

void TestBig5Text::greetingIsExactBig5()
{
    QCOMPARE(CTextTable::Big5(Text::Greeting),
             std::string("220 \xC5\x77\xAA\xEF\xA8\xCF\xA5\xCE Vandrel Tessel FTP Server"));
    QCOMPARE(CTextTable::Big5(Text::ReplyBye), std::string("220 \xA6\x41\xA8\xA3\xA1\x49"));
    QCOMPARE(CTextTable::Big5(Text::ReplySyst).back(), ' ');
}

void TestBig5Text::formatKeepsTemplateBlanks()
{
    const std::string reply = CTextTable::Format(Text::CaptionConnected, 2);
    QCOMPARE(CDisplayText::FromBig5(reply), QStringLiteral("Tessel FTP Server [連線數： 2 ]"));
    QCOMPARE(CTextTable::Format(Text::ReplyRest, 5368709120LL), CBig5Text::FromUtf8("350 續傳點： 5368709120."));
    QCOMPARE(CTextTable::Format(Text::ReplyPasv, "127,0,0,1", 4, 1),
             CBig5Text::FromUtf8("227 進入被動模式 (127,0,0,1,4,1)"));
}

namespace {

template <typename... Arguments>
constexpr bool Fits(Text text)
{
    return ConversionsMatch(kUtf8Texts[static_cast<size_t>(text)], {kConversionOf<Arguments>...});
}

// What keeps a call with the wrong arguments from compiling.
static_assert(Fits<long long>(Text::ReplyRest));
static_assert(!Fits<int>(Text::ReplyRest));
static_assert(!Fits<unsigned>(Text::CaptionConnected));
static_assert(!Fits<const char*, int>(Text::ReplyPasv));
static_assert(!Fits<int>(Text::Greeting));
static_assert(ConversionsMatch("100%% %d", {kConversionOf<int>}));

} // namespace

void TestBig5Text::upperCaseSkipsTrailBytes()
{
    // 兀 is A4 61: its trail byte is "a" and must not become "A".
    QCOMPARE(CBig5Text::ToUpperAscii("ab\xA4\x61z"), std::string("AB\xA4\x61Z"));
    QCOMPARE(CBig5Text::ToLowerAscii("AB\xA4\x61Z"), std::string("ab\xA4\x61z"));
}

void TestBig5Text::findNeverMatchesTrailByte()
{
    // 許 is B3 5C: its trail byte is a backslash.
    const std::string text("a\xB3\x5C\\b");
    QCOMPARE(CBig5Text::Find(text, '\\'), 3);
    QVERIFY(!CBig5Text::EndsWith("x\xB3\x5C", '\\'));
    QVERIFY(CBig5Text::EndsWith("x\xB3\x5C\\", '\\'));
}

void TestBig5Text::invalidBytesAreRejected()
{
    std::string utf8;
    QVERIFY(CBig5Text::ToUtf8("\xB3\x5C", utf8));
    QCOMPARE(QString::fromStdString(utf8), QStringLiteral("許"));
    QVERIFY(!CBig5Text::ToUtf8("\xFF\xFF", utf8));
    QVERIFY(!CBig5Text::ToUtf8("ab\xA4", utf8));
}

void TestBig5Text::unencodableCharactersBecomeQuestionMarks_data()
{
    // Names on disk need not be valid UTF-8; a bad byte must not take the
    // characters after it along.
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<QByteArray>("big5");
    QTest::newRow("outside code page 950") << QByteArray("a\xF0\x9F\x98\x80" "b\xC3\xA9")
                                           << QByteArray("a?b?");
    QTest::newRow("bytes that start nothing") << QByteArray("\xFF\xFE.bin") << QByteArray("??.bin");
    QTest::newRow("stray continuation byte") << QByteArray("a\x80" "bc") << QByteArray("a?bc");
    QTest::newRow("sequence cut short") << QByteArray("\xE5\xA0.txt") << QByteArray("?.txt");
    QTest::newRow("sequence cut at the end") << QByteArray("ab\xF0\x9F\x98") << QByteArray("ab?");
}

void TestBig5Text::unencodableCharactersBecomeQuestionMarks()
{
    QFETCH(QByteArray, utf8);
    QFETCH(QByteArray, big5);
    QCOMPARE(CBig5Text::FromUtf8(std::string_view(utf8.constData(), utf8.size())), big5.toStdString());
}

void TestBig5Text::rowsShowBadBytesAsMarksOnly_data()
{
    // One byte that is not Big5 must not garble the server's own Chinese
    // around it, and every bad byte stays visible as a mark.
    QTest::addColumn<QByteArray>("big5");
    QTest::addColumn<QString>("shown");
    QTest::newRow("reply to a UTF-8 argument")
        << QByteArray::fromStdString(CTextTable::Format(Text::ReplyType, "\xE4\xB8\xAD\xE6\x96\x87"))
        << QStringLiteral("200 資料傳送型態設定為 銝剜\uFFFD\uFFFD.");
    QTest::newRow("byte no character starts") << QByteArray("\xA5\x5C\xFF\xA5\x5C") << QStringLiteral("功\uFFFD功");
    QTest::newRow("lead byte before a digit") << QByteArray("\xA4" "1") << QStringLiteral("\uFFFD" "1");
    QTest::newRow("lead byte cut at the end") << QByteArray("ab\xA4") << QStringLiteral("ab\uFFFD");
    QTest::newRow("user-defined code with a backslash trail")
        << QByteArray("\xFA\x5C\xB3\x5C") << QStringLiteral("\uFFFD許");
    QTest::newRow("plain ASCII") << QByteArray("NOOP") << QStringLiteral("NOOP");
}

void TestBig5Text::rowsShowBadBytesAsMarksOnly()
{
    QFETCH(QByteArray, big5);
    QFETCH(QString, shown);
    QCOMPARE(CDisplayText::FromBig5(std::string_view(big5.constData(), big5.size())), shown);
}

QTEST_GUILESS_MAIN(TestBig5Text)
#include "tst_big5_text.moc"
