#pragma once

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QPair>
#include <QString>

// Writes a snapshot: the picture as shown as "lentavio-<time>.png" and, when
// given, the full-resolution frame beside it as "lentavio-<time>-frame.png",
// both carrying the same PNG text fields. A file is written whole or not at
// all, and when one of the pair fails the other is removed again, so a
// failure leaves nothing behind. Stateless; any thread.
class SnapshotWriter
{
public:
    using TextFields = QList<QPair<QString, QString>>;

    // Returns the picture's path, or an empty string with *error set to a
    // short sentence for the status bar.
    static QString Save(const QString& folder, const QDateTime& time, const QImage& picture,
                        const QImage& frame, const TextFields& texts, QString* error);

private:
    static bool Write(const QString& path, const QImage& image, const TextFields& texts, QString* error);
};
