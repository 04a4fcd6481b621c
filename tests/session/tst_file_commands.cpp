#include <memory>

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include "escape_tree.h"
#include "ftp_test_client.h"
#include "platform/big5_text.h"
#include "platform/text_table.h"
#include "session_harness.h"

namespace {

QByteArray Big5(Text text)
{
    return QByteArray::fromStdString(CTextTable::Big5(text));
}

QByteArray Pwd(const char* client)
{
    return QByteArray::fromStdString(CTextTable::Format(Text::ReplyPwd, client));
}

QByteArray Cwd(const char* client)
{
    return QByteArray::fromStdString(CTextTable::Format(Text::ReplyCwd, client));
}

// A made directory is answered with the code the protocol gives it, which
// strict clients check for; the text is the usual Big5 one.
constexpr char kMkdDone[] = "257 \xA5\xD8\xBF\xFD\xAB\xD8\xA5\xDF\xA7\xB9\xA6\xA8";

} // namespace

// The file and directory commands over a real control connection. Each test
// gets a fresh escape tree: the home "root", a sibling "root2" whose name
// begins with the home's, and "outside", reachable from the home through the
// link root/escape.
class TestFileCommands : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void cwdRepliesAndPwd_data();
    void cwdRepliesAndPwd();
    void cdupStopsAtHome();
    void trailByteDirectoryWorksAsCurrent();
    void sizeReportsSixtyFourBits();
    void deleReplies_data();
    void deleReplies();
    void deleFailureNamesArgument();
    void rmdReplies_data();
    void rmdReplies();
    void rmdKeepsHome();
    void mkdReplies_data();
    void mkdReplies();
    void mkdCreatesMissingParents();
    void renameStateTable();
    void rntoRefusalsKeepRenamePending();
    void moveNeverReplacesOtherKind();
    void rnfrRefusesHomeAndOutside_data();
    void rnfrRefusesHomeAndOutside();
    void linkOutOfHomeRefusedByEveryCommand_data();
    void linkOutOfHomeRefusedByEveryCommand();
    void rightsOffRefuseBeforeAnything_data();
    void rightsOffRefuseBeforeAnything();
    void emptyHomeLeavesNothingUsable();

private:
    QString Base(const QString& relative) const { return QFile::decodeName(m_pTree->Local(QFile::encodeName(relative))); }
    void MakeFile(const QString& relative, qint64 nSize = 3);
    bool Exists(const QString& relative) const { return QFileInfo::exists(Base(relative)); }
    void LogIn();

    std::unique_ptr<CEscapeTree> m_pTree;
    std::unique_ptr<CSessionHarness> m_pHarness;
    std::unique_ptr<CFtpTestClient> m_pClient;
};

void TestFileCommands::init()
{
    m_pTree = std::make_unique<CEscapeTree>();
    QCOMPARE(m_pTree->Unmade(), QByteArray());

    m_pHarness = std::make_unique<CSessionHarness>();
    CFakeSessionHost& host = m_pHarness->Host();
    host.SetHomeDirectory(m_pTree->Home().toStdString());
    for (Right right : {Right::Delete, Right::CreateDir, Right::Rename})
        host.SetRight(right, 1);
    m_pClient = std::make_unique<CFtpTestClient>();
    QVERIFY(m_pClient->Connect(m_pHarness->Port()));
}

void TestFileCommands::cleanup()
{
    m_pClient.reset();
    m_pHarness.reset();
    m_pTree.reset();
}

void TestFileCommands::MakeFile(const QString& relative, qint64 nSize)
{
    QFile file(Base(relative));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(nSize));
}

void TestFileCommands::LogIn()
{
    QVERIFY(m_pClient->Login());
}

void TestFileCommands::cwdRepliesAndPwd_data()
{
    QTest::addColumn<QByteArray>("start"); // CWD argument that comes first
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("pwd"); // client form afterwards

    QTest::newRow("no argument") << QByteArray("docs") << QByteArray("CWD") << Cwd("/docs") << QByteArray("/docs");
    QTest::newRow("slash") << QByteArray("docs") << QByteArray("CWD /") << Cwd("/") << QByteArray("/");
    QTest::newRow("backslash") << QByteArray("docs") << QByteArray("CWD \\") << Cwd("/") << QByteArray("/");
    QTest::newRow("runs of slashes") << QByteArray("/") << QByteArray("CWD //photos///trip/") << Cwd("/photos/trip") << QByteArray("/photos/trip");
    QTest::newRow("upper case becomes lower") << QByteArray("/") << QByteArray("CWD /PHOTOS") << Cwd("/photos") << QByteArray("/photos");
    QTest::newRow("dots") << QByteArray("docs") << QByteArray("CWD sub/./.../") << Cwd("/docs/sub") << QByteArray("/docs/sub");
    QTest::newRow("padded name") << QByteArray("/") << QByteArray("CWD .docs.") << Cwd("/docs") << QByteArray("/docs");
    QTest::newRow("missing") << QByteArray("docs") << QByteArray("CWD nothere") << Big5(Text::ReplyDirMissing) << QByteArray("/docs");
    QTest::newRow("file") << QByteArray("/") << QByteArray("CWD Report.TXT") << Big5(Text::ReplyDirMissing) << QByteArray("/");
    QTest::newRow("above home") << QByteArray("/") << QByteArray("CWD ..") << Big5(Text::ReplyDenied) << QByteArray("/");
    QTest::newRow("far above home") << QByteArray("docs") << QByteArray("CWD ../../../../../../..") << Big5(Text::ReplyDenied) << QByteArray("/docs");
    QTest::newRow("sibling sharing home's name") << QByteArray("/") << QByteArray("CWD /../root2") << Big5(Text::ReplyDenied) << QByteArray("/");
    QTest::newRow("missing sibling") << QByteArray("/") << QByteArray("CWD /../root3") << Big5(Text::ReplyDirMissing) << QByteArray("/");
    QTest::newRow("back in from above") << QByteArray("/") << QByteArray("CWD ../root/docs") << Cwd("/docs") << QByteArray("/docs");
    QTest::newRow("drive letter is a name") << QByteArray("/") << QByteArray("CWD C:\\docs") << Big5(Text::ReplyDirMissing) << QByteArray("/");
    QTest::newRow("invalid code page 950") << QByteArray("/") << QByteArray("CWD \xFF\xFF") << Big5(Text::ReplyDirMissing) << QByteArray("/");
}

void TestFileCommands::cwdRepliesAndPwd()
{
    QFETCH(QByteArray, start);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, pwd);

    LogIn();
    QVERIFY(m_pClient->Command("CWD " + start).startsWith("250 "));
    QCOMPARE(m_pClient->Command(command), reply);
    QCOMPARE(m_pClient->Command("PWD"), Pwd(pwd.constData()));
    QCOMPARE(m_pClient->Command("XPWD"), Pwd(pwd.constData()));
}

void TestFileCommands::cdupStopsAtHome()
{
    LogIn();
    QCOMPARE(m_pClient->Command("PWD"), Pwd("/"));
    QCOMPARE(m_pClient->Command("CWD docs/sub"), Cwd("/docs/sub"));
    QCOMPARE(m_pClient->Command("CDUP"), Cwd("/docs"));
    QCOMPARE(m_pClient->Command("CDUP"), Cwd("/"));
    QCOMPARE(m_pClient->Command("CDUP"), Big5(Text::ReplyDenied));
    QCOMPARE(m_pClient->Command("PWD"), Pwd("/"));
}

void TestFileCommands::trailByteDirectoryWorksAsCurrent()
{
    // 許 is B3 5C in code page 950: its second byte is a backslash.
    LogIn();
    QCOMPARE(m_pClient->Command("CWD /\xB3\x5C"), Cwd("/\xB3\x5C"));
    QCOMPARE(m_pClient->Command("CWD sub"), Cwd("/\xB3\x5C/sub"));
    QCOMPARE(m_pClient->Command("CDUP"), Cwd("/\xB3\x5C"));
    QCOMPARE(m_pClient->Command("PWD"), Pwd("/\xB3\x5C"));
}

void TestFileCommands::sizeReportsSixtyFourBits()
{
    MakeFile("root/docs/Big.bin", 5368709120); // sparse
    LogIn();
    QCOMPARE(m_pClient->Command("SIZE /docs/big.bin"), QByteArray("213 5368709120"));
    QCOMPARE(m_pClient->Command("SIZE docs/a.txt"), QByteArray("213 3"));
    QCOMPARE(m_pClient->Command("SIZE docs"), Big5(Text::ReplyFileMissing));
    QCOMPARE(m_pClient->Command("SIZE nothere"), Big5(Text::ReplyFileMissing));
    QCOMPARE(m_pClient->Command("SIZE /../outside/secret.txt"), Big5(Text::ReplyDenied));
}

void TestFileCommands::deleReplies_data()
{
    QTest::addColumn<QByteArray>("argument");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("gone"); // below base; empty when nothing goes

    QTest::newRow("file as typed") << QByteArray("Docs/A.TXT") << QByteArray::fromStdString(CTextTable::Format(Text::ReplyDeleted, "Docs/A.TXT")) << QString("root/docs/a.txt");
    QTest::newRow("directory") << QByteArray("docs") << Big5(Text::ReplyFileMissing) << QString();
    QTest::newRow("missing") << QByteArray("nothere") << Big5(Text::ReplyFileMissing) << QString();
    QTest::newRow("outside") << QByteArray("/../outside/secret.txt") << Big5(Text::ReplyDenied) << QString();
    QTest::newRow("missing outside") << QByteArray("/../outside/none") << Big5(Text::ReplyFileMissing) << QString();
}

void TestFileCommands::deleReplies()
{
    QFETCH(QByteArray, argument);
    QFETCH(QByteArray, reply);
    QFETCH(QString, gone);

    LogIn();
    QCOMPARE(m_pClient->Command("DELE " + argument), reply);
    if (!gone.isEmpty())
        QVERIFY(!Exists(gone));
    QVERIFY(Exists("outside/secret.txt"));
    QVERIFY(Exists("root/docs"));
}

void TestFileCommands::deleFailureNamesArgument()
{
    // A directory whose entries cannot be removed: read-only for an ordinary
    // user, immutable for root, who ignores permissions.
    const bool bRoot = geteuid() == 0;
    const QString locked = Base("root/docs");
    const bool bLocked = bRoot ? QProcess::execute("chattr", {"+i", locked}) == 0
                               : QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    if (!bLocked)
        QSKIP("cannot make a directory whose files cannot be deleted");
    LogIn();
    const QByteArray reply = m_pClient->Command("DELE docs/a.txt");
    if (bRoot)
        QProcess::execute("chattr", {"-i", locked});
    else
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(reply, QByteArray::fromStdString(CTextTable::Format(Text::ReplyDeleteFailed, "docs/a.txt")));
    QVERIFY(Exists("root/docs/a.txt"));
}

void TestFileCommands::rmdReplies_data()
{
    QTest::addColumn<QByteArray>("verb");
    QTest::addColumn<QByteArray>("argument");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("gone");

    QTest::newRow("empty directory") << QByteArray("RMD") << QByteArray("Empty") << QByteArray::fromStdString(CTextTable::Format(Text::ReplyRmdDone, "Empty")) << QString("root/empty");
    QTest::newRow("XRMD") << QByteArray("XRMD") << QByteArray("/empty/") << QByteArray::fromStdString(CTextTable::Format(Text::ReplyRmdDone, "/empty/")) << QString("root/empty");
    QTest::newRow("not empty") << QByteArray("RMD") << QByteArray("full") << QByteArray::fromStdString(CTextTable::Format(Text::ReplyRmdFailed, "full")) << QString();
    QTest::newRow("file") << QByteArray("RMD") << QByteArray("Report.TXT") << Big5(Text::ReplyDirMissing) << QString();
    QTest::newRow("missing") << QByteArray("RMD") << QByteArray("nothere") << Big5(Text::ReplyDirMissing) << QString();
    QTest::newRow("outside") << QByteArray("RMD") << QByteArray("/../outside/emptydir") << Big5(Text::ReplyRmdDenied) << QString();
    QTest::newRow("sibling") << QByteArray("RMD") << QByteArray("/../root2") << Big5(Text::ReplyRmdDenied) << QString();
}

void TestFileCommands::rmdReplies()
{
    QFETCH(QByteArray, verb);
    QFETCH(QByteArray, argument);
    QFETCH(QByteArray, reply);
    QFETCH(QString, gone);

    LogIn();
    QCOMPARE(m_pClient->Command(verb + ' ' + argument), reply);
    if (!gone.isEmpty())
        QVERIFY(!Exists(gone));
    for (const char* kept : {"root/full/inner", "root/Report.TXT", "outside/emptydir", "root2"})
        QVERIFY(Exists(kept));
}

void TestFileCommands::rmdKeepsHome()
{
    // A home that is empty passes every other check; it must stay all the same.
    const QByteArray emptyHome = QFile::encodeName(QDir(Base("root/empty")).canonicalPath());
    m_pHarness->Host().SetHomeDirectory(emptyHome.toStdString());
    LogIn();
    QCOMPARE(m_pClient->Command("RMD /"), Big5(Text::ReplyDenied));
    QCOMPARE(m_pClient->Command("RMD ."), Big5(Text::ReplyDenied));
    QCOMPARE(m_pClient->Command("XRMD ../empty"), Big5(Text::ReplyDenied));
    QVERIFY(Exists("root/empty"));
}

void TestFileCommands::mkdReplies_data()
{
    QTest::addColumn<QByteArray>("argument");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("made");

    QTest::newRow("new") << QByteArray("NewDir") << QByteArray(kMkdDone) << QString("root/NewDir");
    QTest::newRow("new under lower-cased parent") << QByteArray("/photos/Summer") << Big5(Text::ReplyMkdDone) << QString("root/Photos/Summer");
    QTest::newRow("existing") << QByteArray("DOCS") << Big5(Text::ReplyDirExists) << QString();
    QTest::newRow("name of a file") << QByteArray("Report.TXT") << Big5(Text::ReplyMkdFailed) << QString();
    QTest::newRow("outside") << QByteArray("/../made-outside") << Big5(Text::ReplyDenied) << QString();
    QTest::newRow("existing outside") << QByteArray("/../root2") << Big5(Text::ReplyDirExists) << QString();
}

void TestFileCommands::mkdReplies()
{
    QFETCH(QByteArray, argument);
    QFETCH(QByteArray, reply);
    QFETCH(QString, made);

    LogIn();
    QCOMPARE(m_pClient->Command("MKD " + argument), reply);
    if (!made.isEmpty())
        QVERIFY(QFileInfo(Base(made)).isDir());
    QVERIFY(!Exists("made-outside"));
    QVERIFY(QFileInfo(Base("root/Report.TXT")).isFile());
}

void TestFileCommands::mkdCreatesMissingParents()
{
    LogIn();
    QCOMPARE(m_pClient->Command("XMKD a/b/c"), QByteArray(kMkdDone));
    QVERIFY(QFileInfo(Base("root/a/b/c")).isDir());
    QCOMPARE(m_pClient->Command("MKD docs/a.txt/z"), Big5(Text::ReplyMkdFailed));
    // The last step fails on a name too long; the parents made before it stay.
    QCOMPARE(m_pClient->Command("MKD x/y/" + QByteArray(300, 'n')), Big5(Text::ReplyMkdFailed));
    QVERIFY(QFileInfo(Base("root/x/y")).isDir());
}

void TestFileCommands::renameStateTable()
{
    LogIn();
    QCOMPARE(m_pClient->Command("RNTO new.txt"), Big5(Text::ReplyRntoWithoutRnfr));
    QCOMPARE(m_pClient->Command("RNFR Report.TXT"), Big5(Text::ReplyRnfrFile));
    // A refused RNFR and other commands leave the pending rename alone.
    QCOMPARE(m_pClient->Command("RNFR nothere"), Big5(Text::ReplyRnfrMissing));
    QCOMPARE(m_pClient->Command("CWD docs"), Cwd("/docs"));
    QCOMPARE(m_pClient->Command("NOOP"), Big5(Text::ReplyNoop));
    QCOMPARE(m_pClient->Command("RNTO /New.txt"), QByteArray::fromStdString(CTextTable::Format(Text::ReplyRenamedFile, "/report.txt")));
    QVERIFY(Exists("root/New.txt"));
    QVERIFY(!Exists("root/Report.TXT"));
    QCOMPARE(m_pClient->Command("RNTO again.txt"), Big5(Text::ReplyRntoWithoutRnfr));

    QCOMPARE(m_pClient->Command("RNFR /Photos"), Big5(Text::ReplyRnfrDir));
    QCOMPARE(m_pClient->Command("RNTO sub/Pictures"), QByteArray::fromStdString(CTextTable::Format(Text::ReplyRenamedDir, "/photos")));
    QVERIFY(QFileInfo(Base("root/docs/sub/Pictures/Trip")).isDir());
}

void TestFileCommands::rntoRefusalsKeepRenamePending()
{
    MakeFile("root/other.txt");
    LogIn();
    QCOMPARE(m_pClient->Command("RNFR report.txt"), Big5(Text::ReplyRnfrFile));
    QCOMPARE(m_pClient->Command("RNTO Other.TXT"), Big5(Text::ReplyFileExists));
    QCOMPARE(m_pClient->Command("RNTO /../root2/moved.txt"), Big5(Text::ReplyDenied));
    QCOMPARE(m_pClient->Command("RNTO escape/moved.txt"), Big5(Text::ReplyDenied));
    QCOMPARE(m_pClient->Command("RNTO docs/moved.txt"), QByteArray::fromStdString(CTextTable::Format(Text::ReplyRenamedFile, "/report.txt")));
    QVERIFY(Exists("root/docs/moved.txt"));
    QVERIFY(!Exists("root2/moved.txt"));
    QVERIFY(!Exists("outside/moved.txt"));

    QCOMPARE(m_pClient->Command("RNFR docs"), Big5(Text::ReplyRnfrDir));
    QCOMPARE(m_pClient->Command("RNTO photos"), Big5(Text::ReplyDirExists));
    QCOMPARE(m_pClient->Command("RNTO documents"), QByteArray::fromStdString(CTextTable::Format(Text::ReplyRenamedDir, "/docs")));
    QVERIFY(Exists("root/documents/moved.txt"));
}

void TestFileCommands::moveNeverReplacesOtherKind()
{
    LogIn();
    QCOMPARE(m_pClient->Command("RNFR Report.TXT"), Big5(Text::ReplyRnfrFile));
    QCOMPARE(m_pClient->Command("RNTO empty"), QByteArray::fromStdString(CTextTable::Format(Text::ReplyRenameFileFailed, "/report.txt")));
    QCOMPARE(m_pClient->Command("RNTO x"), Big5(Text::ReplyRntoWithoutRnfr)); // a tried move ends the rename
    QCOMPARE(m_pClient->Command("RNFR empty"), Big5(Text::ReplyRnfrDir));
    QCOMPARE(m_pClient->Command("RNTO Report.TXT"), QByteArray::fromStdString(CTextTable::Format(Text::ReplyRenameDirFailed, "/empty")));
    QVERIFY(QFileInfo(Base("root/Report.TXT")).isFile());
    QVERIFY(QFileInfo(Base("root/empty")).isDir());
    // A source gone since RNFR fails the move.
    QCOMPARE(m_pClient->Command("RNFR docs/a.txt"), Big5(Text::ReplyRnfrFile));
    QVERIFY(QFile::remove(Base("root/docs/a.txt")));
    QCOMPARE(m_pClient->Command("RNTO b.txt"), QByteArray::fromStdString(CTextTable::Format(Text::ReplyRenameFileFailed, "/docs/a.txt")));
}

void TestFileCommands::rnfrRefusesHomeAndOutside_data()
{
    QTest::addColumn<QByteArray>("argument");
    QTest::newRow("home") << QByteArray("/");
    QTest::newRow("home by dot") << QByteArray(".");
    QTest::newRow("existing outside") << QByteArray("/../root2");
    QTest::newRow("missing outside") << QByteArray("/../nothere");
    QTest::newRow("through link out") << QByteArray("escape/secret.txt");
    QTest::newRow("invalid code page 950") << QByteArray("\xFF\xFF");
}

void TestFileCommands::rnfrRefusesHomeAndOutside()
{
    QFETCH(QByteArray, argument);
    LogIn();
    QCOMPARE(m_pClient->Command("RNFR " + argument), Big5(Text::ReplyDenied));
    QCOMPARE(m_pClient->Command("RNTO elsewhere"), Big5(Text::ReplyRntoWithoutRnfr));
}

void TestFileCommands::linkOutOfHomeRefusedByEveryCommand_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("CWD") << QByteArray("CWD escape") << Big5(Text::ReplyDenied);
    QTest::newRow("CWD below") << QByteArray("CWD /escape/emptydir") << Big5(Text::ReplyDenied);
    QTest::newRow("SIZE") << QByteArray("SIZE escape/secret.txt") << Big5(Text::ReplyDenied);
    QTest::newRow("DELE") << QByteArray("DELE escape/secret.txt") << Big5(Text::ReplyDenied);
    QTest::newRow("RMD") << QByteArray("RMD escape/emptydir") << Big5(Text::ReplyRmdDenied);
    QTest::newRow("MKD") << QByteArray("MKD escape/new") << Big5(Text::ReplyDenied);
    QTest::newRow("MKD deeper") << QByteArray("MKD escape/new/deeper") << Big5(Text::ReplyDenied);
    QTest::newRow("RNFR") << QByteArray("RNFR escape/secret.txt") << Big5(Text::ReplyDenied);
    QTest::newRow("RNFR link's directory") << QByteArray("RNFR ESCAPE/emptydir") << Big5(Text::ReplyDenied);
}

void TestFileCommands::linkOutOfHomeRefusedByEveryCommand()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    LogIn();
    QCOMPARE(m_pClient->Command(command), reply);
    QCOMPARE(QDir(Base("outside")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), CEscapeTree::ListedIn("outside"));
    QCOMPARE(m_pClient->Command("PWD"), Pwd("/"));
}

void TestFileCommands::rightsOffRefuseBeforeAnything_data()
{
    QTest::addColumn<int>("right");
    QTest::addColumn<QByteArray>("command");

    QTest::newRow("DELE") << int(Right::Delete) << QByteArray("DELE Report.TXT");
    QTest::newRow("RMD") << int(Right::Delete) << QByteArray("RMD empty");
    QTest::newRow("XRMD") << int(Right::Delete) << QByteArray("XRMD empty");
    QTest::newRow("MKD") << int(Right::CreateDir) << QByteArray("MKD fresh");
    QTest::newRow("XMKD") << int(Right::CreateDir) << QByteArray("XMKD fresh");
    QTest::newRow("RNFR") << int(Right::Rename) << QByteArray("RNFR Report.TXT");
    QTest::newRow("RNTO") << int(Right::Rename) << QByteArray("RNTO renamed.txt");
}

void TestFileCommands::rightsOffRefuseBeforeAnything()
{
    QFETCH(int, right);
    QFETCH(QByteArray, command);

    LogIn();
    QCOMPARE(m_pClient->Command("RNFR docs/a.txt"), Big5(Text::ReplyRnfrFile));
    m_pHarness->Host().SetRight(static_cast<Right>(right), 0);
    QCOMPARE(m_pClient->Command(command), Big5(Text::ReplyNoRight));
    QVERIFY(Exists("root/Report.TXT") && Exists("root/empty") && !Exists("root/fresh"));
    // The rename that was pending before is still there once the right is back.
    m_pHarness->Host().SetRight(static_cast<Right>(right), 1);
    QCOMPARE(m_pClient->Command("RNTO /moved.txt"), QByteArray::fromStdString(CTextTable::Format(Text::ReplyRenamedFile, "/docs/a.txt")));
}

void TestFileCommands::emptyHomeLeavesNothingUsable()
{
    m_pHarness->Host().SetHomeDirectory(std::string());
    LogIn();
    QCOMPARE(m_pClient->Command("PWD"), Pwd("/"));
    QCOMPARE(m_pClient->Command("CWD /"), Big5(Text::ReplyDirMissing));
    QCOMPARE(m_pClient->Command("CWD /tmp"), Big5(Text::ReplyDirMissing));
    QCOMPARE(m_pClient->Command("MKD /tmp/x"), Big5(Text::ReplyDenied));
    QCOMPARE(m_pClient->Command("RNFR /tmp"), Big5(Text::ReplyDenied));
}

QTEST_GUILESS_MAIN(TestFileCommands)
#include "tst_file_commands.moc"
