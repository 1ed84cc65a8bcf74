#pragma once

#include <QObject>
#include <QVariantMap>

// The one way values are written to the per-user settings store, so that a
// store that cannot be written (a read-only or full folder, a file where the
// folder belongs) is noticed in one place. Every write is flushed at once;
// when the flush fails, the writer keeps its value in memory and the window
// hears of it through SignalWriteFailed. Lives on the user-interface thread;
// one object for the whole program, reached through Instance().
class SettingsStore : public QObject
{
    Q_OBJECT

public:
    static SettingsStore* Instance();

    // Keys are full paths ("Group/key"). True when the store now holds them.
    static bool Write(const QVariantMap& values);
    static bool Write(const QString& key, const QVariant& value);

signals:
    // path: the store's file, for telling the user where.
    void SignalWriteFailed(const QString& path);
};
