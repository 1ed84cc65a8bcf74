#include "CameraSettings.h"

#include "SettingsStore.h"
#include "StoredColor.h"

#include <QSettings>

#include <cmath>

namespace
{
CameraSettings* s_Instance = nullptr;

// Read through an int so that a stored number outside the enumeration (a
// damaged store) never becomes an enumeration value; it counts as
// unspecified, like anything else that does not convert.
QCamera::Position ToPosition(const QVariant& value)
{
    qMetaTypeId<QCamera::Position>();
    bool ok = false;
    const int position = value.toInt(&ok);
    if (!ok || position < QCamera::UnspecifiedPosition || position > QCamera::FrontFace)
        return QCamera::UnspecifiedPosition;
    return static_cast<QCamera::Position>(position);
}

// A threshold that is not a finite number would reach the edge detector as
// garbage; treat it like a missing key. Text that is no number at all converts
// to 0 like any other failed conversion.
double ToThreshold(const QVariant& value, double defaultValue)
{
    const double threshold = value.toDouble();
    return std::isfinite(threshold) ? threshold : defaultValue;
}
} // namespace

CameraSettings::CameraSettings()
{
    // The camera travels by value through queued connections and signal spies.
    qRegisterMetaType<QCameraInfo>();
    s_Instance = this;
    Load();
}

CameraSettings::~CameraSettings()
{
    if (s_Instance == this)
        s_Instance = nullptr;
}

CameraSettings* CameraSettings::Instance()
{
    return s_Instance;
}

void CameraSettings::Load()
{
    m_SelectedCamera = QCameraInfo::defaultCamera();

    QSettings settings;
    settings.beginGroup("Camera");
    const QString device = settings.value("device", QString()).toString();
    const QCamera::Position position = ToPosition(settings.value("position", 0));
    m_InvertH = settings.value("invertH", false).toBool();
    m_InvertV = settings.value("invertV", false).toBool();
    if (!device.isEmpty()) {
        const QList<QCameraInfo> cameras = QCameraInfo::availableCameras();
        for (const QCameraInfo& camera : cameras) {
            if (camera.deviceName() == device && camera.position() == position) {
                m_SelectedCamera = camera;
                break;
            }
        }
    }
    settings.endGroup();

    const bool enabled = settings.value("Filters/EdgeDetect/enabled", false).toBool();
    const double minThreshold = ToThreshold(settings.value("Filters/EdgeDetect/min_threshold", 100.0), 100.0);
    const double maxThreshold = ToThreshold(settings.value("Filters/EdgeDetect/max_threshold", 200.0), 200.0);
    const QColor color = StoredColor(settings.value("Filters/EdgeDetect/color", QColor(Qt::white)));

    std::lock_guard<std::mutex> lock(m_EdgeDetectMutex);
    m_EdgeDetectEnabled = enabled;
    m_EdgeDetectMinThreshold = minThreshold;
    m_EdgeDetectMaxThreshold = maxThreshold;
    m_EdgeDetectColor = color;
}

QCameraInfo CameraSettings::GetSelectedCamera() const
{
    return m_SelectedCamera;
}

int CameraSettings::GetSelectedCameraIndex() const
{
    return QCameraInfo::availableCameras().indexOf(m_SelectedCamera);
}

bool CameraSettings::IsInvertH() const
{
    return m_InvertH;
}

bool CameraSettings::IsInvertV() const
{
    return m_InvertV;
}

bool CameraSettings::IsEdgeDetectEnabled() const
{
    std::lock_guard<std::mutex> lock(m_EdgeDetectMutex);
    return m_EdgeDetectEnabled;
}

double CameraSettings::GetEdgeDetectMinThreshold() const
{
    std::lock_guard<std::mutex> lock(m_EdgeDetectMutex);
    return m_EdgeDetectMinThreshold;
}

double CameraSettings::GetEdgeDetectMaxThreshold() const
{
    std::lock_guard<std::mutex> lock(m_EdgeDetectMutex);
    return m_EdgeDetectMaxThreshold;
}

QColor CameraSettings::GetEdgeDetectColor() const
{
    std::lock_guard<std::mutex> lock(m_EdgeDetectMutex);
    return m_EdgeDetectColor;
}

EdgeDetectParams CameraSettings::GetEdgeDetectParams() const
{
    std::lock_guard<std::mutex> lock(m_EdgeDetectMutex);
    return {m_EdgeDetectEnabled, m_EdgeDetectMinThreshold, m_EdgeDetectMaxThreshold, m_EdgeDetectColor};
}

void CameraSettings::SetSelectedCamera(const QCameraInfo& cameraInfo)
{
    if (cameraInfo == m_SelectedCamera)
        return;
    m_SelectedCamera = cameraInfo;

    // Written at once: receivers that open the store themselves already see
    // the new camera.
    SettingsStore::Write({{"Camera/device", m_SelectedCamera.deviceName()},
                          {"Camera/position", static_cast<int>(m_SelectedCamera.position())}});
    emit SignalSelectedCameraChanged(m_SelectedCamera);
}

void CameraSettings::SetInvertH(bool invert)
{
    if (invert == m_InvertH)
        return;
    m_InvertH = invert;
    SettingsStore::Write("Camera/invertH", invert);
    emit SignalFlipHToggled(invert);
}

void CameraSettings::SetInvertV(bool invert)
{
    if (invert == m_InvertV)
        return;
    m_InvertV = invert;
    SettingsStore::Write("Camera/invertV", invert);
    emit SignalFlipVToggled(invert);
}

void CameraSettings::SetEdgeDetectEnabled(bool enabled)
{
    {
        std::lock_guard<std::mutex> lock(m_EdgeDetectMutex);
        m_EdgeDetectEnabled = enabled;
    }
    SettingsStore::Write("Filters/EdgeDetect/enabled", enabled);
}

void CameraSettings::SetEdgeDetectMinThreshold(double threshold)
{
    {
        std::lock_guard<std::mutex> lock(m_EdgeDetectMutex);
        m_EdgeDetectMinThreshold = threshold;
    }
    SettingsStore::Write("Filters/EdgeDetect/min_threshold", threshold);
}

void CameraSettings::SetEdgeDetectMaxThreshold(double threshold)
{
    {
        std::lock_guard<std::mutex> lock(m_EdgeDetectMutex);
        m_EdgeDetectMaxThreshold = threshold;
    }
    SettingsStore::Write("Filters/EdgeDetect/max_threshold", threshold);
}

void CameraSettings::SetEdgeDetectColor(const QColor& color)
{
    std::lock_guard<std::mutex> lock(m_EdgeDetectMutex);
    m_EdgeDetectColor = color;
}

void CameraSettings::SaveEdgeDetectColor()
{
    SettingsStore::Write("Filters/EdgeDetect/color", GetEdgeDetectColor());
}
