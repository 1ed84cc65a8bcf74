#pragma once

#include "EdgeDetector.h"
#include "FrameMailbox.h"
#include "VideoCapturer.h"

#include <QCamera>
#include <QCameraInfo>
#include <QObject>
#include <QSharedPointer>
#include <QStringList>

#include <atomic>
#include <mutex>
#include <optional>

class QThread;

// The capture pipeline: owns the camera and the surface it renders into,
// and overlays edges on every frame on a worker thread of its own.
//
// Held by value by the main window, which moves it to its worker thread with
// BindToThread(). The camera, the surface and StartCamera() stay on the
// user-interface thread; the frame work runs on the worker thread.
//
// Frames in flight are bounded: one frame at the window, at most one
// processed frame waiting for it and at most one captured frame waiting for
// the worker, the newest; older captured ones are dropped and counted. While
// a processed frame waits the worker processes nothing, so no work is spent
// on a frame that would be replaced before it is shown. The window reports
// each presented frame with FramePresented(), which releases the waiting one
// and lets the worker take the newest captured frame.
class CaptureThread : public QObject
{
    Q_OBJECT

public:
    CaptureThread();
    // Stops and releases the camera before the surface it renders into goes.
    // The worker thread must have finished by then.
    ~CaptureThread() override;

    // Replaces the camera in use by the named one (also when it is the same)
    // and, once it is loaded and knows its rates, asks it for its fastest.
    // User-interface thread only. Failures are reported through
    // SignalCameraError; always returns true.
    bool StartCamera(const QCameraInfo& cameraInfo);
    // The camera in use, or null before the first start. User-interface
    // thread only.
    // The camera's own settings may be changed through it.
    QCamera* GetCamera() const;
    // Must be called before the thread starts.
    void BindToThread(QThread* thread);
    // Call from the receiver of SignalFrameReady once the frame is shown:
    // no further SignalFrameReady is emitted until then. Any thread.
    void FramePresented();

    // Captured frames replaced while waiting for the worker, and frames
    // processed. Any thread.
    quint64 GetDroppedCapturedFrames() const;
    quint64 GetProcessedFrames() const;
    // A captured frame waits for the worker: the camera is ahead of it. Any
    // thread; a hint, as the answer may change at once.
    bool IsBehindCamera() const;

    // The rate a camera is asked for: the largest maximum among its ranges,
    // but at least 5 fps, and never one it does not offer: the offered rate
    // nearest to that. 0 when it offers none, so that it keeps its own.
    static qreal ChooseFrameRate(const QList<QCamera::FrameRateRange>& ranges);

signals:
    // Emitted on the worker thread; captureTime is the surface's time for
    // the frame and processTime the worker's, in milliseconds.
    void SignalFrameReady(cv::Mat frame, qint64 captureTime, qint64 processTime);
    // A short text for the status bar, once when the camera fails to open
    // or start or goes away. Emitted on the worker thread after every frame
    // captured before the failure, so no frame of the failed camera follows
    // it to a receiver and paints over the message.
    void SignalCameraError(QString message);
    // User-interface thread: the camera in use produces frames, after every
    // start and restart. Per-camera settings go to it from here.
    void SignalCameraStarted(QCameraInfo cameraInfo);
    // User-interface thread: the camera in use went away, another program
    // holds it, it failed while running or (a few times in a row) failed to
    // start; starting it again once it is listed may bring it back.
    void SignalCameraRetry(QCameraInfo cameraInfo);

private slots:
    void SlotStarted();
    void SlotFrameCaptured(cv::Mat frame, qint64 processingTime);

private:
    void WatchCamera(QCamera* camera);
    void ApplyFrameRate();
    void ReportCameraProblem(QCamera::Error error, const QString& errorString);
    void ReportCameraError(const QString& message);
    void StopCamera();

    // Runs on whatever thread the surface emits on. The frames it queues are
    // the worker's to write: the surface makes a new picture for each frame
    // and keeps no handle on it once emitted, and this is its one receiver
    // in the program. Every other stage only reads what it receives; the
    // worker's painting is the frame's last write before the window gets it.
    void QueueCapturedFrame(const cv::Mat& frame, qint64 processingTime);
    // The rest run on the worker thread.
    void ProcessCapturedFrame();
    // ownsFrame: the frame's buffer is the worker's to write (see
    // QueueCapturedFrame), else a copy is painted.
    void ProcessAndDeliver(TimedFrame frame, bool ownsFrame);
    void EmitCameraError();
    void Deliver(TimedFrame frame);
    void DeliverWaitingFrame();

    QSharedPointer<QCamera> m_Camera;
    VideoCapturer m_Capturer;
    FrameMailbox m_CapturedFrames;
    std::atomic<quint64> m_ProcessedFrames{0};
    // Worker thread only: a SignalFrameReady has not been answered by
    // FramePresented() yet, and the processed frame waiting for that.
    bool m_FrameOutstanding = false;
    std::optional<TimedFrame> m_ReadyFrame;
    EdgeDetector m_EdgeDetector;
    // Faults reported so far; a frame captured before the last one is
    // dropped on the worker instead of being shown.
    std::atomic<quint64> m_CameraFaults{0};
    // Messages on their way from the user-interface thread to the worker.
    std::mutex m_PendingErrorsMutex;
    QStringList m_PendingErrors;
    // User-interface thread only: the camera asked for, whether its rate
    // is set and whether it has run since StartCamera().
    bool m_CameraErrorReported = false;
    QCameraInfo m_CameraInfo;
    bool m_FrameRateChosen = false;
    bool m_CameraHasRun = false;
    // Starts of this camera that failed since it last ran.
    int m_FailedStarts = 0;
};
