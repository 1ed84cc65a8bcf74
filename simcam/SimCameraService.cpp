#include "SimCameraService.h"

#include "SimCameraControl.h"
#include "SimCameraInfoControl.h"
#include "SimCameraSession.h"
#include "SimDeviceSelectorControl.h"
#include "SimImageProcessingControl.h"
#include "SimRendererControl.h"
#include "SimViewfinderSettingsControl.h"

#include <cstring>

SimCameraService::SimCameraService(const QVector<SimCameraSetup>& cameras, QObject* parent)
    : QMediaService(parent)
    , m_Session(new SimCameraSession(cameras, this))
    , m_CameraControl(new SimCameraControl(m_Session, this))
    , m_DeviceSelector(new SimDeviceSelectorControl(m_Session, this))
    , m_Renderer(new SimRendererControl(m_Session, this))
    , m_ViewfinderSettings(new SimViewfinderSettingsControl(m_Session, this))
    , m_CameraInfo(new SimCameraInfoControl(cameras, this))
    , m_ImageProcessing(new SimImageProcessingControl(m_Session->Adjust(), this))
{
}

SimCameraService::~SimCameraService()
{
    // Stop the producer while the controls it reports to still exist.
    delete m_Session;
}

QMediaControl* SimCameraService::requestControl(const char* name)
{
    const auto is = [name](const char* iid) { return std::strcmp(name, iid) == 0; };
    if (is(QCameraControl_iid))
        return m_CameraControl;
    if (is(QVideoDeviceSelectorControl_iid))
        return m_DeviceSelector;
    if (is(QCameraViewfinderSettingsControl2_iid))
        return m_ViewfinderSettings;
    if (is(QCameraInfoControl_iid))
        return m_CameraInfo;
    if (is(QCameraImageProcessingControl_iid))
        return m_ImageProcessing;
    if (is(QVideoRendererControl_iid) && !m_RendererTaken) {
        m_RendererTaken = true;
        return m_Renderer;
    }
    return nullptr;
}

void SimCameraService::releaseControl(QMediaControl* control)
{
    if (control == m_Renderer && m_RendererTaken) {
        m_Session->SetSurface(nullptr);
        m_RendererTaken = false;
    }
}
