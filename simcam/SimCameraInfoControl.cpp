#include "SimCameraInfoControl.h"

SimCameraInfoControl::SimCameraInfoControl(const QVector<SimCameraSpec>& cameras, QObject* parent)
    : QCameraInfoControl(parent)
    , m_Cameras(cameras)
{
}

const SimCameraSpec* SimCameraInfoControl::Find(const QVector<SimCameraSpec>& cameras, const QByteArray& deviceName)
{
    for (const SimCameraSpec& camera : cameras) {
        if (camera.DeviceName == deviceName)
            return &camera;
    }
    return nullptr;
}

QCamera::Position SimCameraInfoControl::cameraPosition(const QString& deviceName) const
{
    const SimCameraSpec* camera = Find(m_Cameras, deviceName.toUtf8());
    return camera ? camera->Position : QCamera::UnspecifiedPosition;
}

int SimCameraInfoControl::cameraOrientation(const QString& deviceName) const
{
    const SimCameraSpec* camera = Find(m_Cameras, deviceName.toUtf8());
    return camera ? camera->Orientation : 0;
}
