#include <QTest>

#include "platform/text_table.h"
#include "ui/display_text.h"

// What the window shows of the server's Big5 bytes.
class TestDisplayText : public QObject {
    Q_OBJECT
private slots:
    void captionKeepsTemplateBlanks();
    void rowsShowBadBytesAsMarksOnly_data();
    void rowsShowBadBytesAsMarksOnly();
};

void TestDisplayText::captionKeepsTemplateBlanks()
{
    const std::string reply = CTextTable::Format(Text::CaptionConnected, 2);
    QCOMPARE(CDisplayText::FromBig5(reply), QStringLiteral("Tessel FTP Server [連線數： 2 ]"));
}

void TestDisplayText::rowsShowBadBytesAsMarksOnly_data()
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

void TestDisplayText::rowsShowBadBytesAsMarksOnly()
{
    QFETCH(QByteArray, big5);
    QFETCH(QString, shown);
    QCOMPARE(CDisplayText::FromBig5(std::string_view(big5.constData(), big5.size())), shown);
}

QTEST_GUILESS_MAIN(TestDisplayText)
#include "tst_display_text.moc"
