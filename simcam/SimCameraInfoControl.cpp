#include "SimCameraInfoControl.h"

SimCameraInfoControl::SimCameraInfoControl(const QVector<SimCameraSetup>& cameras, QObject* parent)
    : QCameraInfoControl(parent)
    , m_Cameras(cameras)
{
}

const SimCameraSetup* SimCameraInfoControl::Find(const QVector<SimCameraSetup>& cameras, const QByteArray& deviceName)
{
    for (const SimCameraSetup& camera : cameras) {
        if (camera.DeviceName == deviceName)
            return &camera;
    }
    return nullptr;
}

QCamera::Position SimCameraInfoControl::cameraPosition(const QString& deviceName) const
{
    const SimCameraSetup* camera = Find(m_Cameras, deviceName.toUtf8());
    return camera ? camera->Position : QCamera::UnspecifiedPosition;
}

int SimCameraInfoControl::cameraOrientation(const QString& deviceName) const
{
    const SimCameraSetup* camera = Find(m_Cameras, deviceName.toUtf8());
    return camera ? camera->Orientation : 0;
}
