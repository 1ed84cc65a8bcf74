#pragma once

#include "SimProbeSurface.h"

#include <QCamera>
#include <QCameraInfo>

#include <memory>

// A camera opened through the public API with a probe surface as its
// viewfinder, as the program does it. The camera goes before the probe.
class SimCameraRig
{
public:
    explicit SimCameraRig(const QCameraInfo& info,
                          const QList<QVideoFrame::PixelFormat>& formats = {QVideoFrame::Format_RGB32,
                                                                            QVideoFrame::Format_BGR24});

    QCamera* Camera() const;
    SimProbeSurface& Probe();
    void Start();
    // Sets min = max = rate, as the program does once the camera runs.
    void SetRate(qreal rate);
    void DeleteCamera();

private:
    SimProbeSurface m_Probe;
    std::unique_ptr<QCamera> m_Camera;
};
