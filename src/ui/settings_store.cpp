#include "ui/settings_store.h"

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
    for (const SettingRow& row : kSettingRows) {
        if (row.text != nullptr)
            values.*row.text = store.value(row.key, QString::fromStdString(values.*row.text)).toString().toStdString();
        else
            values.*row.flag = ReadInteger(store, row.key, values.*row.flag);
    }
    return values;
}

void CSettingsStore::Save(const SettingsValues& values)
{
    QSettings store = OpenStore();
    store.beginGroup(kSection);
    for (const SettingRow& row : kSettingRows) {
        if (row.text != nullptr)
            store.setValue(row.key, QString::fromStdString(values.*row.text));
        else
            store.setValue(row.key, values.*row.flag);
    }
    store.endGroup();
    store.sync();
}
