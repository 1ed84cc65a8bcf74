#include "MeasureSettings.h"

#include <QSettings>
#include <QUrl>

#include <cmath>

namespace
{
const char* const kTolerance = "Measure/Tolerance";
const char* const kToleranceInMillimetres = "Measure/ToleranceInMillimetres";
const char* const kSnapshotFolder = "Measure/SnapshotFolder";
const char* const kFrameSaved = "Measure/SaveFrame";

constexpr double kDefaultTolerance = 1.0;
// A micrometre to a metre per pixel: beyond either end a typed value is a
// slip of the finger, and 1e300 would overflow every figure derived from it.
constexpr double kMinScale = 1e-6;
constexpr double kMaxScale = 1e3;
constexpr double kMaxTolerance = 1e6;

double ReadDouble(const char* key, double fallback)
{
    bool ok = false;
    const double value = QSettings().value(key, fallback).toDouble(&ok);
    return ok && std::isfinite(value) ? value : fallback;
}
}

// Device names hold slashes, which the store takes as groups, and may hold
// anything else; percent-encoding leaves only letters, digits, "-._~" and
// "%". The size follows an "@", which the encoding never leaves bare.
QString MeasureSettings::ScaleKey(const QString& device, const QSize& frameSize)
{
    return QStringLiteral("Measure/Scale/%1@%2x%3")
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(device)))
        .arg(frameSize.width())
        .arg(frameSize.height());
}

double MeasureSettings::GetScale(const QString& device, const QSize& frameSize)
{
    bool ok = false;
    const double scale = QSettings().value(ScaleKey(device, frameSize)).toDouble(&ok);
    return ok && IsUsableScale(scale) ? scale : 0.0;
}

void MeasureSettings::SetScale(const QString& device, const QSize& frameSize, double millimetresPerPixel)
{
    if (IsUsableScale(millimetresPerPixel))
        QSettings().setValue(ScaleKey(device, frameSize), millimetresPerPixel);
}

void MeasureSettings::ClearScale(const QString& device, const QSize& frameSize)
{
    QSettings().remove(ScaleKey(device, frameSize));
}

bool MeasureSettings::IsUsableScale(double millimetresPerPixel)
{
    return std::isfinite(millimetresPerPixel) && millimetresPerPixel >= kMinScale
           && millimetresPerPixel <= kMaxScale;
}

double MeasureSettings::GetTolerance()
{
    const double tolerance = ReadDouble(kTolerance, kDefaultTolerance);
    return tolerance > 0.0 && tolerance <= kMaxTolerance ? tolerance : kDefaultTolerance;
}

void MeasureSettings::SetTolerance(double tolerance)
{
    QSettings().setValue(kTolerance, tolerance);
}

bool MeasureSettings::IsToleranceInMillimetres()
{
    return QSettings().value(kToleranceInMillimetres, false).toBool();
}

void MeasureSettings::SetToleranceInMillimetres(bool millimetres)
{
    QSettings().setValue(kToleranceInMillimetres, millimetres);
}

QString MeasureSettings::GetSnapshotFolder()
{
    return QSettings().value(kSnapshotFolder).toString();
}

void MeasureSettings::SetSnapshotFolder(const QString& folder)
{
    QSettings().setValue(kSnapshotFolder, folder);
}

bool MeasureSettings::IsFrameSaved()
{
    return QSettings().value(kFrameSaved, false).toBool();
}

void MeasureSettings::SetFrameSaved(bool saved)
{
    QSettings().setValue(kFrameSaved, saved);
}
