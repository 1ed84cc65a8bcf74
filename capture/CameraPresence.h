#pragma once

#include <QCameraInfo>
#include <QList>
#include <QObject>
#include <QTimer>

// Follows the cameras present. The system sends no word when a camera comes
// or goes, so the list is read about once a second, but only while it
// matters: while a camera list is open on screen (Hold/Release) and while a
// camera that went away is awaited. Otherwise nothing runs. Lives on the
// user-interface thread; owned by the main window.
class CameraPresence : public QObject
{
    Q_OBJECT

public:
    static constexpr int PollIntervalMs = 1000;

    explicit CameraPresence(QObject* parent = nullptr);

    // The cameras as last read.
    const QList<QCameraInfo>& GetCameras() const;
    // Reads the list now; SignalCamerasChanged follows when it changed.
    void Refresh();
    // A camera list is open on screen: keep reading until it closes. Calls
    // nest.
    void Hold();
    void Release();
    // Announces the camera with this device name through SignalCameraBack
    // at the first reading that lists it; the next is at most an interval away.
    void WaitFor(const QCameraInfo& cameraInfo);
    void StopWaiting();
    bool IsPolling() const;

signals:
    void SignalCamerasChanged(QList<QCameraInfo> cameras);
    // The awaited camera as it is listed now.
    void SignalCameraBack(QCameraInfo cameraInfo);

private:
    void Poll();
    void UpdateTimer();

    QList<QCameraInfo> m_Cameras;
    QString m_AwaitedDevice;
    int m_Holds = 0;
    QTimer m_Timer;
};
