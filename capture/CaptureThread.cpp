#include "CaptureThread.h"

#include "CameraProblem.h"
#include "CameraSettings.h"
#include "FrameFilters.h"
#include "FramePoolAllocator.h"
#include "ThreadHandOff.h"

#include <QCameraViewfinderSettings>
#include <QElapsedTimer>
#include <QThread>

#include <opencv2/imgproc.hpp>

namespace {

// A start that raced an unplug (opened, then gone) fails like one that
// never can; a few tries tell them apart without retrying a broken camera
// for ever.
constexpr int StartRetries = 3;

} // namespace

CaptureThread::CaptureThread()
{
#if defined(__SANITIZE_THREAD__)
    // Queued like every receiver of a frame and connected before any of
    // them, so that on their thread it runs before each of them. Only the
    // thread sanitizer needs it; other builds skip the extra call per frame.
    connect(this, &CaptureThread::SignalFrameReady, &m_Capturer, [this] { HandOffAcquire(this); });
#endif
}

CaptureThread::~CaptureThread()
{
    // QThread::wait() has ordered the worker's last work before this.
    HandOffAcquire(this);
    StopCamera();
}

bool CaptureThread::StartCamera(const QCameraInfo& cameraInfo)
{
    if (m_Camera)
        m_Camera->stop();
    m_Camera.reset(new QCamera(cameraInfo));
    if (cameraInfo.deviceName() != m_CameraInfo.deviceName())
        m_FailedStarts = 0;
    m_CameraInfo = cameraInfo;
    m_CameraErrorReported = false;
    m_FrameRateChosen = false;
    m_CameraHasRun = false;
    WatchCamera(m_Camera.data());

    m_Camera->setViewfinder(&m_Capturer);
    // The rate follows once the camera is loaded: before that a real camera
    // lists no rates at all.
    m_Camera->start();
    return true;
}

// Asking a camera for a rate it does not offer fails to negotiate: no
// picture at all. A camera that lists no rates keeps its own.
void CaptureThread::ApplyFrameRate()
{
    const qreal rate = ChooseFrameRate(m_Camera->supportedViewfinderFrameRateRanges(QCameraViewfinderSettings()));
    if (rate <= 0)
        return;
    m_FrameRateChosen = true;
    QCameraViewfinderSettings settings = m_Camera->viewfinderSettings();
    settings.setMaximumFrameRate(rate);
    settings.setMinimumFrameRate(rate);
    m_Camera->setViewfinderSettings(settings);
}

QCamera* CaptureThread::GetCamera() const
{
    return m_Camera.data();
}

void CaptureThread::BindToThread(QThread* thread)
{
    moveToThread(thread);
    connect(thread, SIGNAL(started()), this, SLOT(SlotStarted()));
    // Runs on the worker as its very last work, before wait() returns.
    connect(thread, &QThread::finished, this, [this] { HandOffRelease(this); }, Qt::DirectConnection);
    // QThread::start() orders everything so far before the worker's first slot.
    HandOffRelease(this);
}

void CaptureThread::FramePresented()
{
    QMetaObject::invokeMethod(this, &CaptureThread::DeliverWaitingFrame, Qt::QueuedConnection);
}

bool CaptureThread::IsBehindCamera() const
{
    return m_CapturedFrames.HasWaiting();
}

quint64 CaptureThread::GetDroppedCapturedFrames() const
{
    return m_CapturedFrames.GetDroppedCount();
}

quint64 CaptureThread::GetProcessedFrames() const
{
    return m_ProcessedFrames;
}

void CaptureThread::SlotStarted()
{
    HandOffAcquire(this);
    // Direct, so that the hand-over happens on the surface's thread and only
    // the wake-up goes through the worker's event queue.
    connect(&m_Capturer, &VideoCapturer::SignalFrameCaptured, this, &CaptureThread::QueueCapturedFrame,
            Qt::DirectConnection);
}

void CaptureThread::SlotFrameCaptured(cv::Mat frame, qint64 processingTime)
{
    // The caller may still read its frame: painting goes into a copy.
    ProcessAndDeliver({frame, processingTime, 0, m_CameraFaults}, false);
}

void CaptureThread::ProcessAndDeliver(TimedFrame captured, bool ownsFrame)
{
    QElapsedTimer timer;
    timer.start();

    cv::Mat frame = std::move(captured.Frame);
    // Grey (COLOR_RGBA2GRAY), then the 10 x 10 blur.
    cv::Mat blurred;
    GreyBoxBlur(frame, blurred, cv::Size(10, 10));

    const EdgeDetectParams edges = CameraSettings::Instance()->GetEdgeDetectParams();
    if (edges.Enabled) {
        cv::Mat edgeMap;
        // Canny with the L2 gradient and aperture 3, as OpenCV gives it.
        m_EdgeDetector.Detect(blurred, edgeMap, edges.MinThreshold, edges.MaxThreshold);
        // The same pixels as a layer of edge colour with the frame copied in
        // through the inverted edge map, at a fraction of the memory traffic:
        // only the edge pixels are written, into the captured frame itself
        // when it is the worker's, else into a copy.
        if (!ownsFrame)
            frame = frame.clone();
        PaintEdges(frame, edgeMap,
                   cv::Vec4b(uchar(edges.Color.blue()), uchar(edges.Color.green()), uchar(edges.Color.red()), 0));
    }

    ++m_ProcessedFrames;
    captured.Frame = frame;
    captured.ProcessTime = timer.elapsed();
    Deliver(std::move(captured));
}

qreal CaptureThread::ChooseFrameRate(const QList<QCamera::FrameRateRange>& ranges)
{
    qreal wanted = 5.0;
    for (const QCamera::FrameRateRange& range : ranges)
        wanted = qMax(wanted, range.maximumFrameRate);
    qreal chosen = 0;
    for (const QCamera::FrameRateRange& range : ranges) {
        const qreal low = qMin(range.minimumFrameRate, range.maximumFrameRate);
        const qreal offered = qBound(low, wanted, range.maximumFrameRate);
        if (qAbs(offered - wanted) < qAbs(chosen - wanted))
            chosen = offered;
    }
    return chosen;
}

void CaptureThread::WatchCamera(QCamera* camera)
{
    // The camera is the context: these run on the user-interface thread,
    // where the camera lives, and end with it.
    connect(camera, &QCamera::errorOccurred, camera,
            [this, camera](QCamera::Error error) { ReportCameraProblem(error, camera->errorString()); });
    connect(camera, &QCamera::statusChanged, camera, [this, camera](QCamera::Status status) {
        if (!m_FrameRateChosen && (status == QCamera::LoadedStatus || status == QCamera::ActiveStatus))
            ApplyFrameRate();
        if (status == QCamera::ActiveStatus) {
            m_CameraErrorReported = false;
            m_CameraHasRun = true;
            m_FailedStarts = 0;
            emit SignalCameraStarted(m_CameraInfo);
        } else if (status == QCamera::UnavailableStatus) {
            ReportCameraProblem(camera->error(), camera->errorString());
        }
    });
}

void CaptureThread::ReportCameraProblem(QCamera::Error error, const QString& errorString)
{
    if (m_CameraErrorReported)
        return;
    const QString deviceName = m_CameraInfo.deviceName();
    bool listed = false;
    for (const QCameraInfo& camera : QCameraInfo::availableCameras())
        listed = listed || camera.deviceName() == deviceName;
    const CameraProblem::Kind kind =
        CameraProblem::Classify(error, errorString, !m_CameraInfo.isNull(), listed, m_CameraHasRun);
    const QString name = m_CameraInfo.description().isEmpty() ? deviceName : m_CameraInfo.description();
    ReportCameraError(CameraProblem::Message(kind, name, errorString));
    const bool retry = kind == CameraProblem::Kind::FailedToStart && ++m_FailedStarts <= StartRetries;
    if (CameraProblem::IsWorthRetrying(kind) || retry)
        emit SignalCameraRetry(m_CameraInfo);
}

void CaptureThread::ReportCameraError(const QString& message)
{
    if (m_CameraErrorReported)
        return;
    m_CameraErrorReported = true;
    ++m_CameraFaults;
    {
        std::lock_guard<std::mutex> lock(m_PendingErrorsMutex);
        m_PendingErrors.append(message);
    }
    // Behind every frame already queued for the worker, and so behind every
    // frame it has handed on.
    QMetaObject::invokeMethod(this, &CaptureThread::EmitCameraError, Qt::QueuedConnection);
}

void CaptureThread::EmitCameraError()
{
    QString message;
    {
        std::lock_guard<std::mutex> lock(m_PendingErrorsMutex);
        if (m_PendingErrors.isEmpty())
            return;
        message = m_PendingErrors.takeFirst();
    }
    emit SignalCameraError(message);
}

void CaptureThread::StopCamera()
{
    if (!m_Camera)
        return;
    m_Camera->stop();
    m_Camera.reset();
}

void CaptureThread::QueueCapturedFrame(const cv::Mat& frame, qint64 processingTime)
{
    // Captured frames alive at once, at most: one at the window, one the
    // worker processed or is processing, one in the mailbox and one being
    // captured. All of them are made with the first frame of a size.
    constexpr int FramesInFlight = 4;
    FramePoolAllocator::Reserve(frame.total() * frame.elemSize(), FramesInFlight);
    if (m_CapturedFrames.Put({frame, processingTime, 0, m_CameraFaults}))
        QMetaObject::invokeMethod(this, &CaptureThread::ProcessCapturedFrame, Qt::QueuedConnection);
}

void CaptureThread::ProcessCapturedFrame()
{
    // Left in its box, the captured frame is replaced by newer ones until
    // DeliverWaitingFrame() comes back for it.
    if (m_ReadyFrame)
        return;
    std::optional<TimedFrame> captured = m_CapturedFrames.Take();
    if (captured && captured->FaultsBefore == m_CameraFaults)
        ProcessAndDeliver(std::move(*captured), true);
}

void CaptureThread::Deliver(TimedFrame frame)
{
    // The camera failed while the frame was on its way: its message goes
    // out after the frames handed on already, and nothing of it follows.
    if (frame.FaultsBefore != m_CameraFaults)
        return;
    if (m_FrameOutstanding) {
        m_ReadyFrame = std::move(frame);
        return;
    }
    m_FrameOutstanding = true;
    // The frame reaches its receivers through queued connections.
    HandOffRelease(this);
    emit SignalFrameReady(frame.Frame, frame.CaptureTime, frame.ProcessTime);
}

void CaptureThread::DeliverWaitingFrame()
{
    m_FrameOutstanding = false;
    if (!m_ReadyFrame)
        return;
    TimedFrame ready = std::move(*m_ReadyFrame);
    m_ReadyFrame.reset();
    Deliver(std::move(ready));
    ProcessCapturedFrame();
}
