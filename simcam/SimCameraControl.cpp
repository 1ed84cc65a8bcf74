#include "SimCameraControl.h"

#include "SimCameraSession.h"

SimCameraControl::SimCameraControl(SimCameraSession* session, QObject* parent)
    : QCameraControl(parent)
    , m_Session(session)
{
    connect(session, &SimCameraSession::SignalStateChanged, this, &QCameraControl::stateChanged);
    connect(session, &SimCameraSession::SignalStatusChanged, this, &QCameraControl::statusChanged);
    connect(session, &SimCameraSession::SignalError, this, &QCameraControl::error);
}

QCamera::State SimCameraControl::state() const
{
    return m_Session->State();
}

void SimCameraControl::setState(QCamera::State state)
{
    m_Session->SetState(state);
}

QCamera::Status SimCameraControl::status() const
{
    return m_Session->Status();
}

QCamera::CaptureModes SimCameraControl::captureMode() const
{
    return m_CaptureMode;
}

void SimCameraControl::setCaptureMode(QCamera::CaptureModes mode)
{
    if (mode == m_CaptureMode || !isCaptureModeSupported(mode))
        return;
    m_CaptureMode = mode;
    emit captureModeChanged(mode);
}

bool SimCameraControl::isCaptureModeSupported(QCamera::CaptureModes mode) const
{
    // Only a viewfinder; the other modes are accepted so QCamera's defaults
    // work, and change nothing.
    return (mode & ~(QCamera::CaptureViewfinder | QCamera::CaptureStillImage | QCamera::CaptureVideo)) == 0;
}

bool SimCameraControl::canChangeProperty(PropertyChangeType changeType, QCamera::Status status) const
{
    const bool running = status == QCamera::ActiveStatus || status == QCamera::StartingStatus;
    return !(running && (changeType == Viewfinder || changeType == ViewfinderSettings));
}
