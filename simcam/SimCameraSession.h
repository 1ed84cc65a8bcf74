#pragma once

#include "SimCameraSetup.h"

#include <QCamera>
#include <QCameraViewfinderSettings>
#include <QObject>
#include <QVideoSurfaceFormat>

#include <atomic>
#include <memory>

class QAbstractVideoSurface;
class SimFramePool;
class SimFrameProducer;
class SimImageAdjust;
class SimFrameRenderer;
class SimFrameSink;

// The state of one opened synthetic camera, behind all of its controls:
// which device, state and status, the surface, the viewfinder settings, and
// the producer of the current run. Lives on the thread that uses the QCamera
// (the GUI thread); stopping waits for the producer, with bounded waits.
class SimCameraSession : public QObject
{
    Q_OBJECT

public:
    SimCameraSession(const QVector<SimCameraSetup>& cameras, QObject* parent = nullptr);
    ~SimCameraSession() override;

    const QVector<SimCameraSetup>& Cameras() const;
    int SelectedCamera() const;
    void SelectCamera(int index);

    QCamera::State State() const;
    QCamera::Status Status() const;
    void SetState(QCamera::State state);

    QAbstractVideoSurface* Surface() const;
    void SetSurface(QAbstractVideoSurface* surface);

    // Shared with the renderer of every run.
    const std::shared_ptr<SimImageAdjust>& Adjust() const;

    QList<QCameraViewfinderSettings> SupportedSettings() const;
    QCameraViewfinderSettings Settings() const;
    // Settings the camera cannot give end in a CameraError and change nothing.
    void SetSettings(const QCameraViewfinderSettings& settings);

signals:
    void SignalStateChanged(QCamera::State state);
    void SignalStatusChanged(QCamera::Status status);
    void SignalError(int error, const QString& message);
    // Emitted on the producer thread, received queued on this object's own.
    void SignalProducerStarted(int generation);
    void SignalProducerLost(int generation);
    void SignalFrameWaiting(int generation);

private:
    const SimCameraSetup& Setup() const;
    void Start();
    void SlotLoaded(int generation);
    void Run();
    bool StartDelivery(QString* error);
    void StopDelivery();
    QVideoFrame::PixelFormat ChooseFormat() const;
    bool PrepareRenderer(QVideoFrame::PixelFormat format, QString* error);
    void Fail(const QString& message, QCamera::State state);
    void SetStateAndStatus(QCamera::State state, QCamera::Status status);
    void SlotStarted(int generation);
    void SlotLost(int generation);
    void SlotFrameWaiting(int generation);
    void SlotSurfaceDestroyed();

    QVector<SimCameraSetup> m_Cameras;
    int m_Selected = 0;
    QCamera::State m_State = QCamera::UnloadedState;
    QCamera::Status m_Status = QCamera::UnloadedStatus;
    QAbstractVideoSurface* m_Surface = nullptr;
    bool m_SurfaceStarted = false;
    qreal m_Rate = 0;
    QVideoFrame::PixelFormat m_PreferredFormat = QVideoFrame::Format_Invalid;
    QVideoFrame::PixelFormat m_Format = QVideoFrame::Format_Invalid;
    // Prepared for m_Format; kept across restarts, since a 4K plate takes a moment.
    std::shared_ptr<SimFrameRenderer> m_Renderer;
    QVideoFrame::PixelFormat m_RendererFormat = QVideoFrame::Format_Invalid;
    std::shared_ptr<SimFramePool> m_Pool;
    std::shared_ptr<SimImageAdjust> m_Adjust;
    std::shared_ptr<SimFrameSink> m_Sink;
    std::unique_ptr<SimFrameProducer> m_Producer;
    // The next frame's number: a restart (QCamera makes one to change the
    // rate) goes on numbering, so no two frames of this camera look alike.
    std::shared_ptr<std::atomic<quint32>> m_NextFrameNumber = std::make_shared<std::atomic<quint32>>(0);
    // The current run ends with the camera unplugged rather than lost.
    bool m_RunUnplugs = false;
    // Tells a run's late news from the current run's.
    int m_Generation = 0;
};
