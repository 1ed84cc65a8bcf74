#pragma once

#include "SimCameraSetup.h"

#include <QCameraInfoControl>

// Position and orientation of the synthetic cameras, by device name; what
// QCameraInfo(const QCamera&) reads.
class SimCameraInfoControl : public QCameraInfoControl
{
    Q_OBJECT

public:
    explicit SimCameraInfoControl(const QVector<SimCameraSetup>& cameras, QObject* parent = nullptr);

    QCamera::Position cameraPosition(const QString& deviceName) const override;
    int cameraOrientation(const QString& deviceName) const override;

    // Shared with the plugin, which answers the same questions for QCameraInfo.
    static const SimCameraSetup* Find(const QVector<SimCameraSetup>& cameras, const QByteArray& deviceName);

private:
    QVector<SimCameraSetup> m_Cameras;
};
