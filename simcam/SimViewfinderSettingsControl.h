#pragma once

#include <QCameraViewfinderSettingsControl2>

class SimCameraSession;

// The resolutions, pixel formats and frame-rate ranges a synthetic camera
// offers; QCamera::supportedViewfinderFrameRateRanges() is built from these.
class SimViewfinderSettingsControl : public QCameraViewfinderSettingsControl2
{
    Q_OBJECT

public:
    explicit SimViewfinderSettingsControl(SimCameraSession* session, QObject* parent = nullptr);

    QList<QCameraViewfinderSettings> supportedViewfinderSettings() const override;
    QCameraViewfinderSettings viewfinderSettings() const override;
    void setViewfinderSettings(const QCameraViewfinderSettings& settings) override;

private:
    SimCameraSession* m_Session;
};
