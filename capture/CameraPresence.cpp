#include "CameraPresence.h"

CameraPresence::CameraPresence(QObject* parent)
    : QObject(parent)
    , m_Cameras(QCameraInfo::availableCameras())
{
    m_Timer.setInterval(PollIntervalMs);
    connect(&m_Timer, &QTimer::timeout, this, &CameraPresence::Poll);
}

const QList<QCameraInfo>& CameraPresence::GetCameras() const
{
    return m_Cameras;
}

void CameraPresence::Refresh()
{
    const QList<QCameraInfo> cameras = QCameraInfo::availableCameras();
    if (cameras == m_Cameras)
        return;
    m_Cameras = cameras;
    emit SignalCamerasChanged(m_Cameras);
}

void CameraPresence::Hold()
{
    ++m_Holds;
    UpdateTimer();
}

void CameraPresence::Release()
{
    m_Holds = qMax(0, m_Holds - 1);
    UpdateTimer();
}

void CameraPresence::WaitFor(const QCameraInfo& cameraInfo)
{
    m_AwaitedDevice = cameraInfo.deviceName();
    UpdateTimer();
}

void CameraPresence::StopWaiting()
{
    m_AwaitedDevice.clear();
    UpdateTimer();
}

bool CameraPresence::IsPolling() const
{
    return m_Timer.isActive();
}

void CameraPresence::Poll()
{
    Refresh();
    if (m_AwaitedDevice.isEmpty())
        return;
    for (const QCameraInfo& camera : qAsConst(m_Cameras)) {
        if (camera.deviceName() == m_AwaitedDevice) {
            StopWaiting();
            emit SignalCameraBack(camera);
            return;
        }
    }
}

void CameraPresence::UpdateTimer()
{
    const bool needed = m_Holds > 0 || !m_AwaitedDevice.isEmpty();
    if (needed && !m_Timer.isActive())
        m_Timer.start();
    else if (!needed)
        m_Timer.stop();
}
