#include "CameraProblem.h"

#include <QCoreApplication>

CameraProblem::Kind CameraProblem::Classify(QCamera::Error error, const QString& errorString, bool cameraNamed,
                                            bool listed, bool hasRun)
{
    if (!cameraNamed)
        return Kind::NoCamera;
    if (!listed)
        return Kind::NotConnected;
    if (error == QCamera::ServiceMissingError)
        return Kind::BackendMissing;
    // GStreamer's camera source says "Device '/dev/video0' is busy"; the
    // kernel's own wording is "Device or resource busy".
    if (errorString.contains(QLatin1String("busy"), Qt::CaseInsensitive))
        return Kind::Busy;
    return hasRun ? Kind::Stopped : Kind::FailedToStart;
}

QString CameraProblem::Message(Kind kind, const QString& name, const QString& errorString)
{
    const auto tr = [](const char* text) { return QCoreApplication::translate("CameraProblem", text); };
    const QString detail = errorString.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(errorString);
    switch (kind) {
    case Kind::NoCamera:
        return tr("No camera found: connect a camera, then choose it in the Camera menu");
    case Kind::BackendMissing:
        return tr("Camera \"%1\" cannot be opened: the camera back-end is missing. Install the packages "
                  "gstreamer1.0-plugins-bad and gstreamer1.0-plugins-good, then start Lentavio again")
            .arg(name);
    case Kind::NotConnected:
        return tr("Camera \"%1\" is not connected: plug it in again and the picture comes back by itself")
            .arg(name);
    case Kind::Busy:
        return tr("Camera \"%1\" is in use by another program: close it there and the picture comes back by itself")
            .arg(name);
    case Kind::FailedToStart:
        return tr("Camera \"%1\" failed to start%2").arg(name, detail);
    case Kind::Stopped:
        return tr("Camera \"%1\" stopped%2: trying it again").arg(name, detail);
    }
    return QString();
}

bool CameraProblem::IsWorthRetrying(Kind kind)
{
    return kind == Kind::NotConnected || kind == Kind::Busy || kind == Kind::Stopped;
}
