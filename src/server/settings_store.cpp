#include "server/settings_store.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>

namespace {

QSettings OpenStore()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, CSettingsStore::kOrganization,
                     CSettingsStore::ApplicationName());
}

// Integers are read as text in a new process; toInt keeps a stored 5 as 5.
int ReadInteger(const QSettings& store, const char* name, int fallback)
{
    bool bOk = false;
    const int value = store.value(name, fallback).toInt(&bOk);
    return bOk ? value : fallback;
}

} // namespace

QString CSettingsStore::ApplicationName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString CSettingsStore::FilePath()
{
    return OpenStore().fileName();
}

SettingsValues CSettingsStore::Load()
{
    QSettings store = OpenStore();
    store.beginGroup(kSection);
    SettingsValues values;
    values.HomeDirectory = store.value("HomeDirectory", QString()).toString();
    values.AllowCreateDir = ReadInteger(store, "AllowCreateDir", 0);
    values.AllowDelete = ReadInteger(store, "AllowDelete", 0);
    values.AllowDownload = ReadInteger(store, "AllowDownload", 1);
    values.AllowRename = ReadInteger(store, "AllowRename", 0);
    values.AllowUpload = ReadInteger(store, "AllowUpload", 0);
    values.AutoStart = ReadInteger(store, "AutoStart", 1);
    return values;
}

void CSettingsStore::Save(const SettingsValues& values)
{
    QSettings store = OpenStore();
    store.beginGroup(kSection);
    store.setValue("HomeDirectory", values.HomeDirectory);
    store.setValue("AllowCreateDir", values.AllowCreateDir);
    store.setValue("AllowDelete", values.AllowDelete);
    store.setValue("AllowDownload", values.AllowDownload);
    store.setValue("AllowRename", values.AllowRename);
    store.setValue("AllowUpload", values.AllowUpload);
    store.setValue("AutoStart", values.AutoStart);
    store.endGroup();
    store.sync();
}
