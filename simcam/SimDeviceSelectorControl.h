#pragma once

#include <QVideoDeviceSelectorControl>

class SimCameraSession;

// Which synthetic camera a QCamera opened; QCamera(const QCameraInfo&)
// picks it here by device name.
class SimDeviceSelectorControl : public QVideoDeviceSelectorControl
{
    Q_OBJECT

public:
    explicit SimDeviceSelectorControl(SimCameraSession* session, QObject* parent = nullptr);

    int deviceCount() const override;
    QString deviceName(int index) const override;
    QString deviceDescription(int index) const override;
    int defaultDevice() const override;
    int selectedDevice() const override;
    void setSelectedDevice(int index) override;

private:
    SimCameraSession* m_Session;
};
