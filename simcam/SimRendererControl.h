#pragma once

#include <QVideoRendererControl>

class SimCameraSession;

// Where QCamera::setViewfinder(QAbstractVideoSurface*) puts the surface.
class SimRendererControl : public QVideoRendererControl
{
    Q_OBJECT

public:
    explicit SimRendererControl(SimCameraSession* session, QObject* parent = nullptr);

    QAbstractVideoSurface* surface() const override;
    void setSurface(QAbstractVideoSurface* surface) override;

private:
    SimCameraSession* m_Session;
};
