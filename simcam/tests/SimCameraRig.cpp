#include "SimCameraRig.h"

SimCameraRig::SimCameraRig(const QCameraInfo& info, const QList<QVideoFrame::PixelFormat>& formats)
    : m_Probe(formats)
    , m_Camera(std::make_unique<QCamera>(info))
{
    m_Camera->setViewfinder(&m_Probe);
}

QCamera* SimCameraRig::Camera() const
{
    return m_Camera.get();
}

SimProbeSurface& SimCameraRig::Probe()
{
    return m_Probe;
}

void SimCameraRig::Start()
{
    m_Camera->start();
}

void SimCameraRig::SetRate(qreal rate)
{
    QCameraViewfinderSettings settings;
    settings.setMinimumFrameRate(rate);
    settings.setMaximumFrameRate(rate);
    m_Camera->setViewfinderSettings(settings);
}

void SimCameraRig::DeleteCamera()
{
    m_Camera.reset();
}
