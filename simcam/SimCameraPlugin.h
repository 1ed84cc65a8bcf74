#pragma once

#include "SimCameraSetup.h"

#include <QMediaServiceProviderPlugin>

// The synthetic camera as Qt Multimedia finds it: a camera-service plugin in
// <plugin path>/mediaservice/. It lists the cameras LENTAVIO_SIMCAM describes
// (one by default), read once, since Qt asks for the list often.
class SimCameraPlugin : public QMediaServiceProviderPlugin,
                        public QMediaServiceSupportedDevicesInterface,
                        public QMediaServiceDefaultDeviceInterface,
                        public QMediaServiceCameraInfoInterface
{
    Q_OBJECT
    // Qt looks each of these up with qobject_cast; one left out is ignored silently.
    Q_INTERFACES(QMediaServiceSupportedDevicesInterface)
    Q_INTERFACES(QMediaServiceDefaultDeviceInterface)
    Q_INTERFACES(QMediaServiceCameraInfoInterface)
    Q_PLUGIN_METADATA(IID "org.qt-project.qt.mediaserviceproviderfactory/5.0" FILE "simcam.json")

public:
    QMediaService* create(const QString& key) override;
    void release(QMediaService* service) override;

    QList<QByteArray> devices(const QByteArray& service) const override;
    QString deviceDescription(const QByteArray& service, const QByteArray& device) override;
    QByteArray defaultDevice(const QByteArray& service) const override;
    QCamera::Position cameraPosition(const QByteArray& device) const override;
    int cameraOrientation(const QByteArray& device) const override;

private:
    static const QVector<SimCameraSetup>& Cameras();
};
