#include "SnapshotWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>
#include <QStorageInfo>

namespace
{
constexpr int kPngQuality = 80;
}

QString SnapshotWriter::Save(const QString& folder, const QDateTime& time, const QImage& picture,
                             const QImage& frame, const TextFields& texts, QString* error)
{
    const QFileInfo folderInfo(folder);
    if (folder.isEmpty() || !folderInfo.isDir())
    {
        *error = QStringLiteral("Snapshot not saved: the folder %1 does not exist").arg(folder);
        return QString();
    }
    if (picture.isNull())
    {
        *error = QStringLiteral("Snapshot not saved: no picture shown yet");
        return QString();
    }

    // Milliseconds keep quick presses apart; a clash still gets a number.
    const QDir dir(folder);
    const QString stamp = time.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString base = dir.filePath(QStringLiteral("lentavio-%1").arg(stamp));
    for (int n = 2; QFileInfo::exists(base + ".png") || QFileInfo::exists(base + "-frame.png"); ++n)
        base = dir.filePath(QStringLiteral("lentavio-%1-%2").arg(stamp).arg(n));

    const QString picturePath = base + ".png";
    const QString framePath = base + "-frame.png";
    if (!frame.isNull() && !Write(framePath, frame, texts, error))
        return QString();
    if (!Write(picturePath, picture, texts, error))
    {
        QFile::remove(framePath);
        return QString();
    }
    return picturePath;
}

bool SnapshotWriter::Write(const QString& path, const QImage& image, const TextFields& texts, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
    {
        *error = QStringLiteral("Snapshot not saved: %1").arg(file.errorString());
        return false;
    }
    QImageWriter writer(&file, "png");
    // Lighter compression: a noisy 1280 x 960 frame takes 0.3 s instead of
    // 2 s on the user-interface thread, for a file 14 % larger.
    writer.setQuality(kPngQuality);
    for (const auto& text : texts)
        writer.setText(text.first, text.second);
    if (!writer.write(image))
    {
        file.cancelWriting();
        // Neither the file nor the writer names the cause of a failed write
        // ("Unknown error"); the free space usually is it.
        const QStorageInfo storage(QFileInfo(path).absolutePath());
        *error = QStringLiteral("Snapshot not saved: writing %1 failed, %2 kB free on its disk")
                     .arg(QFileInfo(path).fileName())
                     .arg(storage.bytesAvailable() / 1024);
        return false;
    }
    if (!file.commit())
    {
        *error = QStringLiteral("Snapshot not saved: %1").arg(file.errorString());
        return false;
    }
    return true;
}
