#include <QTest>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "std_string_to_string.h"
#include "ui/settings_store.h"

// Every case gets a settings folder of its own, as XDG_CONFIG_HOME would give it.
class TestSettingsStore : public QObject {
    Q_OBJECT
private slots:
    void init();

    void storeLivesUnderMakerAndExecutableName();
    void defaultsWithoutFile();
    void saveWritesAllSeven();
    void storedValuesAreUsedUnchanged();
    void handWrittenFileIsRead();

private:
    QString StoreFile() const;

    std::unique_ptr<QTemporaryDir> m_pConfig;
};

void TestSettingsStore::init()
{
    m_pConfig = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_pConfig->path());
}

QString TestSettingsStore::StoreFile() const
{
    return m_pConfig->path() + "/Quorvane, Inc./tst_settings_store.conf";
}

void TestSettingsStore::storeLivesUnderMakerAndExecutableName()
{
    QCOMPARE(CSettingsStore::ApplicationName(), QStringLiteral("tst_settings_store"));
    QCOMPARE(CSettingsStore::FilePath(), StoreFile());
}

void TestSettingsStore::defaultsWithoutFile()
{
    const SettingsValues values = CSettingsStore::Load();
    QCOMPARE(values.HomeDirectory, std::string());
    QCOMPARE(values.AllowCreateDir, 0);
    QCOMPARE(values.AllowDelete, 0);
    QCOMPARE(values.AllowDownload, 1);
    QCOMPARE(values.AllowRename, 0);
    QCOMPARE(values.AllowUpload, 0);
    QCOMPARE(values.AutoStart, 1);
    QVERIFY(!QFile::exists(StoreFile()));
}

void TestSettingsStore::saveWritesAllSeven()
{
    CSettingsStore::Save(SettingsValues());
    QFile file(StoreFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.startsWith("[TesselFTPSettings]"));
    for (const char* line : {"HomeDirectory=", "AllowCreateDir=0", "AllowDelete=0", "AllowDownload=1",
                             "AllowRename=0", "AllowUpload=0", "AutoStart=1"})
        QVERIFY2(text.contains(line), line);
}

void TestSettingsStore::storedValuesAreUsedUnchanged()
{
    SettingsValues values;
    values.HomeDirectory = "/srv/分享/許";
    values.AllowUpload = 2;
    values.AllowRename = 5;
    values.AutoStart = 0;
    CSettingsStore::Save(values);
    QCOMPARE(CSettingsStore::Load(), values);
}

void TestSettingsStore::handWrittenFileIsRead()
{
    // A file written by another process: every value comes back as text.
    QDir().mkpath(m_pConfig->path() + "/Quorvane, Inc.");
    QFile file(StoreFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[TesselFTPSettings]\nAllowUpload = 2\nAllowDelete=5\nHomeDirectory=/srv/\xe5\x88\x86\xe4\xba\xab\n"
               "AutoStart=0\n");
    file.close();
    const SettingsValues values = CSettingsStore::Load();
    QCOMPARE(values.AllowUpload, 2);
    QCOMPARE(values.AllowDelete, 5);
    QCOMPARE(values.AllowDownload, 1);
    QCOMPARE(values.AutoStart, 0);
    QCOMPARE(values.HomeDirectory, std::string("/srv/分享"));
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settings_store.moc"
