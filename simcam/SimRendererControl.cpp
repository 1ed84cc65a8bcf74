#include "SimRendererControl.h"

#include "SimCameraSession.h"

SimRendererControl::SimRendererControl(SimCameraSession* session, QObject* parent)
    : QVideoRendererControl(parent)
    , m_Session(session)
{
}

QAbstractVideoSurface* SimRendererControl::surface() const
{
    return m_Session->Surface();
}

void SimRendererControl::setSurface(QAbstractVideoSurface* surface)
{
    m_Session->SetSurface(surface);
}
