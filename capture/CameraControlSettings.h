#pragma once

#include <QMap>
#include <QSize>
#include <QString>

#include <optional>

// What the user chose for one camera. An empty optional, an empty resolution
// or a zero rate means the camera's own choice.
struct CameraControlValues
{
    QSize Resolution;
    qreal FrameRate = 0;
    // Qt's image adjustments, each from -1 to 1.
    std::optional<qreal> Brightness;
    std::optional<qreal> Contrast;
    std::optional<qreal> Saturation;
    std::optional<qreal> Sharpness;
    std::optional<int> WhiteBalanceMode;
    // Kelvin, used with the manual white-balance mode.
    std::optional<int> ColorTemperature;
    // Device control id to value, for the controls Qt does not reach.
    QMap<quint32, qint32> DeviceControls;

    bool operator==(const CameraControlValues& other) const;
};

// The camera controls kept per camera, in the group "CameraControls" with a
// sub-group per device name. Device names are escaped so that any name,
// slashes and all, keeps a group of its own and reads back unchanged.
// Stateless; called on the user-interface thread.
class CameraControlSettings
{
public:
    static CameraControlValues Load(const QString& deviceName);
    static void Save(const QString& deviceName, const CameraControlValues& values);
    static void Remove(const QString& deviceName);
    static QString GroupName(const QString& deviceName);
};
