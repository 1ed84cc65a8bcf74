#pragma once

#include <QCameraControl>

class SimCameraSession;

// State, status and capture mode of a synthetic camera, for QCamera.
class SimCameraControl : public QCameraControl
{
    Q_OBJECT

public:
    explicit SimCameraControl(SimCameraSession* session, QObject* parent = nullptr);

    QCamera::State state() const override;
    void setState(QCamera::State state) override;
    QCamera::Status status() const override;
    QCamera::CaptureModes captureMode() const override;
    void setCaptureMode(QCamera::CaptureModes mode) override;
    bool isCaptureModeSupported(QCamera::CaptureModes mode) const override;
    // Like the GStreamer backend: QCamera restarts the camera to change the
    // viewfinder or its settings.
    bool canChangeProperty(PropertyChangeType changeType, QCamera::Status status) const override;

private:
    SimCameraSession* m_Session;
    QCamera::CaptureModes m_CaptureMode = QCamera::CaptureViewfinder;
};
