#include "SimCameraPlugin.h"

#include "SimCameraInfoControl.h"
#include "SimCameraService.h"
#include "SimConfig.h"
#include "SimPresence.h"

#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(SimCamLog, "lentavio.simcam")

}  // namespace

const QVector<SimCameraSetup>& SimCameraPlugin::Cameras()
{
    static const QVector<SimCameraSetup> cameras = [] {
        QStringList problems;
        const QVector<SimCameraSetup> parsed = SimConfig::FromEnvironment(&problems);
        // A typo in a test set-up should not pass unnoticed.
        for (const QString& problem : problems)
            qCWarning(SimCamLog, "%s: ignored \"%s\"", SimConfig::EnvironmentVariable, qPrintable(problem));
        for (const SimCameraSetup& camera : parsed) {
            if (camera.FlapCount > 0)
                SimPresence::Flap(camera.DeviceName, camera.FlapCount, camera.FlapMs);
        }
        return parsed;
    }();
    return cameras;
}

QMediaService* SimCameraPlugin::create(const QString& key)
{
    if (key != QLatin1String(Q_MEDIASERVICE_CAMERA))
        return nullptr;
    return new SimCameraService(Cameras());
}

void SimCameraPlugin::release(QMediaService* service)
{
    delete service;
}

QList<QByteArray> SimCameraPlugin::devices(const QByteArray& service) const
{
    QList<QByteArray> names;
    if (service != Q_MEDIASERVICE_CAMERA)
        return names;
    for (const SimCameraSetup& camera : Cameras()) {
        if (SimPresence::IsPresent(camera.DeviceName))
            names.append(camera.DeviceName);
    }
    return names;
}

QString SimCameraPlugin::deviceDescription(const QByteArray& service, const QByteArray& device)
{
    const SimCameraSetup* camera = SimCameraInfoControl::Find(Cameras(), device);
    return service == Q_MEDIASERVICE_CAMERA && camera ? camera->Description : QString();
}

QByteArray SimCameraPlugin::defaultDevice(const QByteArray& service) const
{
    const QList<QByteArray> present = devices(service);
    return present.isEmpty() ? QByteArray() : present.first();
}

QCamera::Position SimCameraPlugin::cameraPosition(const QByteArray& device) const
{
    const SimCameraSetup* camera = SimCameraInfoControl::Find(Cameras(), device);
    return camera ? camera->Position : QCamera::UnspecifiedPosition;
}

int SimCameraPlugin::cameraOrientation(const QByteArray& device) const
{
    const SimCameraSetup* camera = SimCameraInfoControl::Find(Cameras(), device);
    return camera ? camera->Orientation : 0;
}
