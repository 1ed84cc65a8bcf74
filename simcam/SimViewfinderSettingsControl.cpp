#include "SimViewfinderSettingsControl.h"

#include "SimCameraSession.h"

SimViewfinderSettingsControl::SimViewfinderSettingsControl(SimCameraSession* session, QObject* parent)
    : QCameraViewfinderSettingsControl2(parent)
    , m_Session(session)
{
}

QList<QCameraViewfinderSettings> SimViewfinderSettingsControl::supportedViewfinderSettings() const
{
    return m_Session->SupportedSettings();
}

QCameraViewfinderSettings SimViewfinderSettingsControl::viewfinderSettings() const
{
    return m_Session->Settings();
}

void SimViewfinderSettingsControl::setViewfinderSettings(const QCameraViewfinderSettings& settings)
{
    m_Session->SetSettings(settings);
}
