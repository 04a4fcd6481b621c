#include <string>

#include <QFile>
#include <QTest>

#include "escape_tree.h"
#include "session/virtual_path.h"
#include "std_string_to_string.h"

// Everything lives in the escape tree's base: the home "root", a sibling
// "root2" whose name begins with the home's, "outside", and links between.
class TestVirtualPath : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void mapsClientPaths_data();
    void mapsClientPaths();
    void clientFormIsLowerCaseBelowHome_data();
    void clientFormIsLowerCaseBelowHome();
    void homeTextIsNormalised();
    void filesystemRootAsHome();
    void unusableHomeLeavesNothingUsable_data();
    void unusableHomeLeavesNothingUsable();
    void caseTiesResolveToSmallestName();
    void homeReachedThroughLinkStillConfines();
    void existenceTestsKind();

private:
    std::string Local(const char* relative) const { return m_Tree.Local(relative).toStdString(); }

    CEscapeTree m_Tree;
    std::string m_strBase;
};

void TestVirtualPath::initTestCase()
{
    QCOMPARE(m_Tree.Unmade(), QByteArray());
    m_strBase = m_Tree.Base().toStdString();
}

void TestVirtualPath::mapsClientPaths_data()
{
    QTest::addColumn<QByteArray>("current");  // below base
    QTest::addColumn<QByteArray>("argument"); // code page 950, as the client sends it
    QTest::addColumn<QByteArray>("expected"); // below base; "." base, "/" the file system's top, "" nothing
    QTest::addColumn<bool>("bInside");

    QTest::newRow("empty argument keeps current") << QByteArray("root/docs") << QByteArray() << QByteArray("root/docs") << true;
    QTest::newRow("slash is home") << QByteArray("root/docs") << QByteArray("/") << QByteArray("root") << true;
    QTest::newRow("backslash is home") << QByteArray("root/docs") << QByteArray("\\") << QByteArray("root") << true;
    QTest::newRow("runs of slashes") << QByteArray("root/docs") << QByteArray("//Photos///Trip/") << QByteArray("root/Photos/Trip") << true;
    QTest::newRow("backslashes") << QByteArray("root") << QByteArray("\\docs\\\\sub\\") << QByteArray("root/docs/sub") << true;
    QTest::newRow("dot vanishes") << QByteArray("root/docs") << QByteArray("sub/./x") << QByteArray("root/docs/sub/x") << true;
    QTest::newRow("three dots vanish") << QByteArray("root/docs") << QByteArray("sub/.../x") << QByteArray("root/docs/sub/x") << true;
    QTest::newRow("leading dots trimmed") << QByteArray("root/docs") << QByteArray(".hidden") << QByteArray("root/docs/hidden") << true;
    QTest::newRow("trailing dots trimmed") << QByteArray("root/docs") << QByteArray("notes.") << QByteArray("root/docs/notes") << true;
    QTest::newRow("dot dot inside") << QByteArray("root/docs/sub") << QByteArray("../..") << QByteArray("root") << true;
    QTest::newRow("dot dot at home") << QByteArray("root") << QByteArray("..") << QByteArray(".") << false;
    QTest::newRow("dot dot above top") << QByteArray("root") << QByteArray("/../../../../../../../../../../..") << QByteArray("/") << false;
    QTest::newRow("sibling with home's name") << QByteArray("root") << QByteArray("/../root2/x") << QByteArray("root2/x") << false;
    QTest::newRow("back in through parent") << QByteArray("root") << QByteArray("../root/docs") << QByteArray("root/docs") << true;
    QTest::newRow("drive letter is a name") << QByteArray("root") << QByteArray("C:/x") << QByteArray("root/C:/x") << true;
    QTest::newRow("drive letter after slash") << QByteArray("root") << QByteArray("/C:\\Windows") << QByteArray("root/C:/Windows") << true;
    QTest::newRow("case differs") << QByteArray("root") << QByteArray("/photos/TRIP") << QByteArray("root/Photos/Trip") << true;
    QTest::newRow("new names keep their case") << QByteArray("root") << QByteArray("photos/NewDir/Sub") << QByteArray("root/Photos/NewDir/Sub") << true;
    QTest::newRow("lower-cased file") << QByteArray("root") << QByteArray("report.txt") << QByteArray("root/Report.TXT") << true;
    QTest::newRow("trail byte backslash as current") << QByteArray("root/\xE8\xA8\xB1") << QByteArray("sub") << QByteArray("root/\xE8\xA8\xB1/sub") << true;
    QTest::newRow("trail byte backslash in argument") << QByteArray("root") << QByteArray("/\xB3\x5C\\sub") << QByteArray("root/\xE8\xA8\xB1/sub") << true;
    QTest::newRow("link out of home") << QByteArray("root") << QByteArray("/escape") << QByteArray("root/escape") << false;
    QTest::newRow("below link out of home") << QByteArray("root") << QByteArray("escape/secret") << QByteArray("root/escape/secret") << false;
    QTest::newRow("new name below link out") << QByteArray("root") << QByteArray("escape/new") << QByteArray("root/escape/new") << false;
    QTest::newRow("link inside home") << QByteArray("root") << QByteArray("inlink/sub") << QByteArray("root/inlink/sub") << true;
    QTest::newRow("dangling link") << QByteArray("root") << QByteArray("dangling") << QByteArray("root/dangling") << false;
    QTest::newRow("below dangling link") << QByteArray("root") << QByteArray("dangling/new") << QByteArray("root/dangling/new") << false;
    QTest::newRow("outside link into home") << QByteArray("root") << QByteArray("../docs-from-outside") << QByteArray("docs-from-outside") << false;
    QTest::newRow("invalid code page 950") << QByteArray("root") << QByteArray("/docs/\xFF\xFF") << QByteArray("") << false;
    QTest::newRow("truncated double byte") << QByteArray("root") << QByteArray("docs\xA4") << QByteArray("") << false;
    QTest::newRow("nul byte") << QByteArray("root") << QByteArray("docs\0/../..", 11) << QByteArray("") << false;
}

void TestVirtualPath::mapsClientPaths()
{
    QFETCH(QByteArray, current);
    QFETCH(QByteArray, argument);
    QFETCH(QByteArray, expected);
    QFETCH(bool, bInside);

    CVirtualPath paths;
    paths.SetHome(Local("root"));
    paths.SetCurrentDir(Local(current.constData()));
    std::string wanted;
    if (expected == "/")
        wanted = "/";
    else if (expected == ".")
        wanted = m_strBase;
    else if (!expected.isEmpty())
        wanted = Local(expected.constData());

    const std::string local = paths.VirtualToLocal(argument.toStdString());
    QCOMPARE(local, wanted);
    QCOMPARE(paths.IsInsideHome(local), bInside);
}

void TestVirtualPath::clientFormIsLowerCaseBelowHome_data()
{
    QTest::addColumn<QByteArray>("local"); // below base, UTF-8
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("home") << QByteArray("root") << QByteArray("/");
    QTest::newRow("lower-cased") << QByteArray("root/Photos/Trip") << QByteArray("/photos/trip");
    QTest::newRow("trail byte backslash kept whole") << QByteArray("root/\xE8\xA8\xB1") << QByteArray("/\xB3\x5C");
    // 乙 is A4 41 in code page 950: its trail byte must not be lower-cased to 兀 (A4 61).
    QTest::newRow("trail byte letter kept") << QByteArray("root/\xE4\xB9\x99X") << QByteArray("/\xA4\x41x");
    QTest::newRow("unencodable name") << QByteArray("root/caf\xC3\xA9") << QByteArray("/caf?");
}

void TestVirtualPath::clientFormIsLowerCaseBelowHome()
{
    QFETCH(QByteArray, local);
    QFETCH(QByteArray, expected);

    CVirtualPath paths;
    paths.SetHome(Local("root"));
    QCOMPARE(paths.LocalToVirtual(Local(local.constData())), expected.toStdString());
}

void TestVirtualPath::homeTextIsNormalised()
{
    CVirtualPath paths;
    paths.SetHome(m_strBase + "//root/./");
    QCOMPARE(paths.Home(), Local("root"));
    QCOMPARE(paths.CurrentDir(), Local("root"));
    QCOMPARE(paths.LocalToVirtual(paths.CurrentDir()), std::string("/"));
    QVERIFY(paths.IsInsideHome(paths.VirtualToLocal("/")));
    QVERIFY(!paths.IsInsideHome(paths.VirtualToLocal("/../root2")));
}

void TestVirtualPath::filesystemRootAsHome()
{
    CVirtualPath paths;
    paths.SetHome("/");
    QCOMPARE(paths.Home(), std::string("/"));
    QCOMPARE(paths.VirtualToLocal("/../.."), std::string("/"));
    QCOMPARE(paths.LocalToVirtual("/"), std::string("/"));
    QCOMPARE(paths.LocalToVirtual(Local("root/Photos")),
             QByteArray::fromStdString(m_strBase + "/root/photos").toLower().toStdString());
    QVERIFY(paths.IsInsideHome(Local("root/escape")));
}

void TestVirtualPath::unusableHomeLeavesNothingUsable_data()
{
    QTest::addColumn<QByteArray>("home");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("relative") << QByteArray("srv/ftp");
}

void TestVirtualPath::unusableHomeLeavesNothingUsable()
{
    QFETCH(QByteArray, home);
    CVirtualPath paths;
    paths.SetHome(home.toStdString());
    for (const char* argument : {"/", "/tmp", "x", ".."}) {
        const std::string local = paths.VirtualToLocal(argument);
        QVERIFY(local.empty());
        QVERIFY(!CVirtualPath::PathExists(local, true));
        QVERIFY(!paths.IsInsideHome(local));
    }
    QVERIFY(!paths.IsInsideHome("/"));
    QVERIFY(!paths.IsInsideHome(Local("root")));
}

void TestVirtualPath::caseTiesResolveToSmallestName()
{
    CVirtualPath paths;
    paths.SetHome(Local("root"));
    QCOMPARE(paths.VirtualToLocal("/ABC"), Local("root/Abc"));
    QCOMPARE(paths.VirtualToLocal("/abc"), Local("root/Abc"));
    QCOMPARE(paths.VirtualToLocal("/aBC"), Local("root/aBC")); // the exact name wins
}

void TestVirtualPath::homeReachedThroughLinkStillConfines()
{
    QVERIFY(QFile::link(QString::fromStdString(Local("root")), QString::fromStdString(Local("home-link"))));
    CVirtualPath paths;
    paths.SetHome(Local("home-link"));
    QVERIFY(paths.IsInsideHome(paths.VirtualToLocal("/docs")));
    QVERIFY(paths.IsInsideHome(paths.VirtualToLocal("/new/deeper")));
    QVERIFY(!paths.IsInsideHome(paths.VirtualToLocal("/escape")));
    QVERIFY(!paths.IsInsideHome(paths.VirtualToLocal("/../root/docs")));
}

void TestVirtualPath::existenceTestsKind()
{
    QVERIFY(CVirtualPath::PathExists(Local("root/docs"), true));
    QVERIFY(!CVirtualPath::PathExists(Local("root/docs"), false));
    QVERIFY(CVirtualPath::PathExists(Local("root/Report.TXT"), false));
    QVERIFY(!CVirtualPath::PathExists(Local("root/Report.TXT"), true));
    QVERIFY(CVirtualPath::PathExists(Local("root/escape"), true)); // a link counts as what it leads to
    QVERIFY(!CVirtualPath::PathExists(Local("root/dangling"), false));
    QVERIFY(!CVirtualPath::PathExists(std::string(), true));
}

QTEST_GUILESS_MAIN(TestVirtualPath)
#include "tst_virtual_path.moc"
