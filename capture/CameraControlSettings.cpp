#include "CameraControlSettings.h"

#include <QSettings>
#include <QUrl>

#include <cmath>

namespace {

const char* const RootGroup = "CameraControls";
const char* const DeviceControlGroup = "device";

// An adjustment outside -1..1 or not a number is taken as never set.
std::optional<qreal> ReadAdjustment(const QSettings& settings, const char* key)
{
    bool ok = false;
    const qreal value = settings.value(QLatin1String(key)).toReal(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return qBound(-1.0, value, 1.0);
}

std::optional<int> ReadInt(const QSettings& settings, const char* key)
{
    bool ok = false;
    const int value = settings.value(QLatin1String(key)).toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

void WriteOptional(QSettings& settings, const char* key, const std::optional<qreal>& value)
{
    if (value)
        settings.setValue(QLatin1String(key), *value);
    else
        settings.remove(QLatin1String(key));
}

void WriteOptional(QSettings& settings, const char* key, const std::optional<int>& value)
{
    if (value)
        settings.setValue(QLatin1String(key), *value);
    else
        settings.remove(QLatin1String(key));
}

}  // namespace

bool CameraControlValues::operator==(const CameraControlValues& other) const
{
    return Resolution == other.Resolution && qFuzzyCompare(FrameRate + 1, other.FrameRate + 1)
           && Brightness == other.Brightness && Contrast == other.Contrast && Saturation == other.Saturation
           && Sharpness == other.Sharpness && WhiteBalanceMode == other.WhiteBalanceMode
           && ColorTemperature == other.ColorTemperature && DeviceControls == other.DeviceControls;
}

// Percent-encoded, a name has no '/' or '\\' left to split or merge groups;
// whatever the store escapes in what is left, it restores on reading.
QString CameraControlSettings::GroupName(const QString& deviceName)
{
    return QLatin1String(RootGroup) + QLatin1Char('/')
           + QString::fromLatin1(QUrl::toPercentEncoding(deviceName.isEmpty() ? QStringLiteral("-") : deviceName));
}

CameraControlValues CameraControlSettings::Load(const QString& deviceName)
{
    CameraControlValues values;
    QSettings settings;
    settings.beginGroup(GroupName(deviceName));
    const QSize resolution = settings.value(QStringLiteral("resolution")).toSize();
    if (resolution.isValid() && !resolution.isEmpty())
        values.Resolution = resolution;
    bool ok = false;
    const qreal rate = settings.value(QStringLiteral("frameRate")).toReal(&ok);
    if (ok && std::isfinite(rate) && rate > 0)
        values.FrameRate = rate;
    values.Brightness = ReadAdjustment(settings, "brightness");
    values.Contrast = ReadAdjustment(settings, "contrast");
    values.Saturation = ReadAdjustment(settings, "saturation");
    values.Sharpness = ReadAdjustment(settings, "sharpness");
    values.WhiteBalanceMode = ReadInt(settings, "whiteBalanceMode");
    values.ColorTemperature = ReadInt(settings, "colorTemperature");
    settings.beginGroup(QLatin1String(DeviceControlGroup));
    for (const QString& key : settings.childKeys()) {
        bool idOk = false;
        bool valueOk = false;
        const quint32 id = key.toUInt(&idOk, 16);
        const int value = settings.value(key).toInt(&valueOk);
        if (idOk && valueOk)
            values.DeviceControls.insert(id, value);
    }
    return values;
}

void CameraControlSettings::Save(const QString& deviceName, const CameraControlValues& values)
{
    QSettings settings;
    settings.beginGroup(GroupName(deviceName));
    if (values.Resolution.isEmpty())
        settings.remove(QStringLiteral("resolution"));
    else
        settings.setValue(QStringLiteral("resolution"), values.Resolution);
    WriteOptional(settings, "frameRate", values.FrameRate > 0 ? std::optional<qreal>(values.FrameRate) : std::nullopt);
    WriteOptional(settings, "brightness", values.Brightness);
    WriteOptional(settings, "contrast", values.Contrast);
    WriteOptional(settings, "saturation", values.Saturation);
    WriteOptional(settings, "sharpness", values.Sharpness);
    WriteOptional(settings, "whiteBalanceMode", values.WhiteBalanceMode);
    WriteOptional(settings, "colorTemperature", values.ColorTemperature);
    settings.remove(QLatin1String(DeviceControlGroup));
    settings.beginGroup(QLatin1String(DeviceControlGroup));
    for (auto it = values.DeviceControls.cbegin(); it != values.DeviceControls.cend(); ++it)
        settings.setValue(QString::number(it.key(), 16), it.value());
}

void CameraControlSettings::Remove(const QString& deviceName)
{
    QSettings settings;
    settings.remove(GroupName(deviceName));
}
