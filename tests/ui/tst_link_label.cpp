#include <QClipboard>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>

#include "ui/about_dlg.h"
#include "ui/dialog_font.h"
#include "ui/link_label.h"
#include "ui/local_address.h"
#include "ui/local_address_dlg.h"
#include "res/maker_links.h"

namespace {

// Records what a click would hand to the desktop instead of starting a browser.
class CRecordingLink : public CLinkLabel {
public:
    using CLinkLabel::CLinkLabel;
    QStringList opened;

protected:
    void OpenUrl(const QString& url) override { opened << url; }
};

const QRegularExpression kDottedQuad(QStringLiteral("^\\d{1,3}(\\.\\d{1,3}){3}$"));

} // namespace

class TestLinkLabel : public QObject {
    Q_OBJECT
private slots:
    void clickOpensTarget_data();
    void clickOpensTarget();
    void onlyTheLeftButtonOpens();
    void looksLikeALinkInTheDialogFont();
    void underlineIsDrawnInsideTheControl();
    void lookupResolvesFirstIpv4Address_data();
    void lookupResolvesFirstIpv4Address();
    void ownAddressIsDottedQuad();
    void addressDialogShowsAddressAndLink();
    void addressBoxWorksAsAnEditBox();
    void aboutLinksOpenMakerPages();
};

void TestLinkLabel::clickOpensTarget_data()
{
    QTest::addColumn<bool>("setUrl");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("expected");
    QTest::newRow("never set: the maker's site")
        << false << QString() << QString::fromLatin1(MakerLinks::kWebSite);
    QTest::newRow("set") << true << QStringLiteral("https://www.example.com/x")
                         << QStringLiteral("https://www.example.com/x");
    QTest::newRow("set empty: its own text")
        << true << QString() << QStringLiteral("https://forum.example.com/");
}

void TestLinkLabel::clickOpensTarget()
{
    QFETCH(bool, setUrl);
    QFETCH(QString, url);
    QFETCH(QString, expected);
    CRecordingLink link;
    link.setText(QStringLiteral("https://forum.example.com/"));
    link.resize(200, 16);
    if (setUrl)
        link.SetUrl(url);
    link.show();
    QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(150, 8));
    QCOMPARE(link.opened, QStringList{expected});
}

void TestLinkLabel::onlyTheLeftButtonOpens()
{
    CRecordingLink link;
    link.setText(QStringLiteral("www.example.com"));
    link.show();
    QTest::mouseClick(&link, Qt::RightButton);
    QTest::mouseClick(&link, Qt::MiddleButton);
    QVERIFY(link.opened.isEmpty());
}

void TestLinkLabel::looksLikeALinkInTheDialogFont()
{
    QWidget dialog;
    dialog.setFont(CDialogFont::Font());
    auto* link = new CLinkLabel(&dialog);
    QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QVERIFY(link->font().underline());
    QCOMPARE(link->font().family(), dialog.font().family());
    QCOMPARE(link->font().pointSize(), 9);
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    // The dialog's own font is not underlined by its link.
    QVERIFY(!dialog.font().underline());
}

void TestLinkLabel::underlineIsDrawnInsideTheControl()
{
    // The stand-in Ming face has almost no descent: a control only as tall as
    // the text would cut the underline off.
    CAboutDlg dialog;
    CLinkLabel* link = dialog.WebSiteLink();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QImage shot = link->grab().toImage();
    const QFontMetrics metrics(link->font());
    const int textWidth = metrics.horizontalAdvance(link->text());
    int bluest = 0;
    for (int y = metrics.ascent(); y < shot.height(); ++y) {
        int blue = 0;
        for (int x = 0; x < textWidth; ++x)
            blue += shot.pixelColor(x, y) == QColor(0, 0, 255);
        bluest = qMax(bluest, blue);
    }
    QVERIFY2(bluest > textWidth * 9 / 10, qPrintable(QString::number(bluest)));
}

void TestLinkLabel::lookupResolvesFirstIpv4Address_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("shown");
    QTest::newRow("numeric host") << QByteArray("127.0.0.2") << true << QStringLiteral("127.0.0.2");
    QTest::newRow("loopback name") << QByteArray("localhost") << true << QStringLiteral("127.0.0.1");
    QTest::newRow("no host name: loopback shown") << QByteArray() << false
                                                  << QStringLiteral("127.0.0.1");
    QTest::newRow("IPv6 only: loopback shown") << QByteArray("::1") << false
                                               << QStringLiteral("127.0.0.1");
}

void TestLinkLabel::lookupResolvesFirstIpv4Address()
{
    QFETCH(QByteArray, host);
    QFETCH(bool, found);
    QFETCH(QString, shown);
    QString address = QStringLiteral("stale");
    QCOMPARE(CLocalAddress::Lookup(host, address), found);
    QCOMPARE(address, found ? shown : QString());
    QCOMPARE(CLocalAddress::ForDisplay(host), shown);
}

void TestLinkLabel::ownAddressIsDottedQuad()
{
    QVERIFY(kDottedQuad.match(CLocalAddress::OwnForDisplay()).hasMatch());
}

void TestLinkLabel::addressDialogShowsAddressAndLink()
{
    CLocalAddressDlg dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("本機IP位置"));
    QCOMPARE(dialog.Address(), CLocalAddress::OwnForDisplay());
    QCOMPARE(dialog.PublicAddressLink()->Target(), QString::fromLatin1(MakerLinks::kPublicAddress));
}

void TestLinkLabel::addressBoxWorksAsAnEditBox()
{
    CLocalAddressDlg dialog;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    // Tab goes from OK to the address, which is selected on the way in.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    auto* box = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(box);
    QCOMPARE(box->selectedText(), CLocalAddress::OwnForDisplay());
    QTest::keySequence(box, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), CLocalAddress::OwnForDisplay());
    QTest::keyClicks(box, QStringLiteral("10.0.0.9"));
    QCOMPARE(box->text(), QStringLiteral("10.0.0.9"));
}

void TestLinkLabel::aboutLinksOpenMakerPages()
{
    CAboutDlg dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("關於"));
    QCOMPARE(dialog.WebSiteLink()->Target(), QString::fromLatin1(MakerLinks::kWebSite));
    QCOMPARE(dialog.DownloadLink()->Target(), QString::fromLatin1(MakerLinks::kDownload));
    QCOMPARE(dialog.SupportLink()->Target(), QString::fromLatin1(MakerLinks::kSupportForum));
    QVERIFY(dialog.MailLink()->Target().startsWith(QStringLiteral("mailto:")));
}

QTEST_MAIN(TestLinkLabel)
#include "tst_link_label.moc"
