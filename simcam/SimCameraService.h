#pragma once

#include "SimCameraSetup.h"

#include <QMediaService>

class SimCameraControl;
class SimCameraInfoControl;
class SimCameraSession;
class SimDeviceSelectorControl;
class SimImageProcessingControl;
class SimRendererControl;
class SimViewfinderSettingsControl;

// One opened synthetic camera, as QCamera sees it: a session and the controls
// in front of it. Created and deleted by the plugin on the QCamera's thread.
class SimCameraService : public QMediaService
{
    Q_OBJECT

public:
    explicit SimCameraService(const QVector<SimCameraSetup>& cameras, QObject* parent = nullptr);
    ~SimCameraService() override;

    QMediaControl* requestControl(const char* name) override;
    void releaseControl(QMediaControl* control) override;

private:
    SimCameraSession* m_Session;
    SimCameraControl* m_CameraControl;
    SimDeviceSelectorControl* m_DeviceSelector;
    SimRendererControl* m_Renderer;
    SimViewfinderSettingsControl* m_ViewfinderSettings;
    SimCameraInfoControl* m_CameraInfo;
    SimImageProcessingControl* m_ImageProcessing;
    // The renderer has one user at a time.
    bool m_RendererTaken = false;
};
