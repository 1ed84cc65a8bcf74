#include "StoreLock.h"

#include <QFileInfo>
#include <QLockFile>
#include <QSettings>

namespace
{
// A live writer names itself right after creating the lock, within
// microseconds; an unnamed lock this old belongs to nobody.
constexpr int kUnownedStaleMs = 100;
} // namespace

void StoreLock::RemoveUnowned()
{
    const QString path = QSettings().fileName() + QLatin1String(".lock");
    if (!QFileInfo::exists(path))
        return;
    QLockFile lock(path);
    qint64 pid = 0;
    QString host;
    QString application;
    if (lock.getLockInfo(&pid, &host, &application))
        return;
    lock.setStaleLockTime(kUnownedStaleMs);
    if (lock.tryLock(2 * kUnownedStaleMs))
        lock.unlock();
}
