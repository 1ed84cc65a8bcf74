#include "SettingsStore.h"

#include <QSettings>

SettingsStore* SettingsStore::Instance()
{
    static SettingsStore store;
    return &store;
}

bool SettingsStore::Write(const QVariantMap& values)
{
    QSettings settings;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.setValue(it.key(), it.value());
    settings.sync();
    // A FormatError is about reading a damaged store, which the write has
    // then replaced with a sound one.
    if (settings.status() != QSettings::AccessError)
        return true;
    emit Instance()->SignalWriteFailed(settings.fileName());
    return false;
}

bool SettingsStore::Write(const QString& key, const QVariant& value)
{
    return Write(QVariantMap{{key, value}});
}
