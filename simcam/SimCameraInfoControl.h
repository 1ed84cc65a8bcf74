#pragma once

#include "SimCameraSpec.h"

#include <QCameraInfoControl>

// Position and orientation of the synthetic cameras, by device name; what
// QCameraInfo(const QCamera&) reads.
class SimCameraInfoControl : public QCameraInfoControl
{
    Q_OBJECT

public:
    explicit SimCameraInfoControl(const QVector<SimCameraSpec>& cameras, QObject* parent = nullptr);

    QCamera::Position cameraPosition(const QString& deviceName) const override;
    int cameraOrientation(const QString& deviceName) const override;

    // Shared with the plugin, which answers the same questions for QCameraInfo.
    static const SimCameraSpec* Find(const QVector<SimCameraSpec>& cameras, const QByteArray& deviceName);

private:
    QVector<SimCameraSpec> m_Cameras;
};
