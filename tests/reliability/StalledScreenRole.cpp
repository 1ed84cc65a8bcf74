#include "StalledScreenRole.h"

#include "CaptureThread.h"
#include "CaptureThreadFinder.h"
#include "ChildRoles.h"
#include "Lentavio.h"
#include "ResidentMemory.h"
#include "SimFrameStamp.h"
#include "VideoCapturer.h"
#include "WindowSession.h"

#include <QCamera>
#include <QEvent>
#include <QMediaService>
#include <QTest>
#include <QThread>
#include <QVideoRendererControl>

namespace
{
constexpr int kFrameTimeoutMs = 30000;
// Normal presentation before each slow phase.
constexpr int kNormalMs = 1500;
constexpr int kSlowMs = 2000;
constexpr unsigned long kSlowFrameMs = 50;
constexpr unsigned long kStallMs = 10000;
// The picture is judged this long after the stall ends.
constexpr int kRecoveryMs = 1000;
// Then a little more, so that what was shown at that moment is known.
constexpr int kAfterMs = 200;
} // namespace

StalledScreenRole::StalledScreenRole(int stalls)
    : m_Stalls(stalls)
{
}

int StalledScreenRole::Run()
{
    const CaptureThreadFinder finder;
    WindowSession session;
    if (!finder.Found()) {
        ChildRoles::Print("nopipeline");
        return 4;
    }
    m_Clock.start();
    if (!Watch(finder.Found())) {
        ChildRoles::Print("nosurface");
        return 4;
    }
    if (!session.WaitForFrame(kFrameTimeoutMs)) {
        ChildRoles::Print("noframe");
        return 3;
    }
    session.Window().installEventFilter(this);
    // Warm-up includes slow presentation, which keeps more frames in flight
    // and so brings the buffer pools to their working size.
    QTest::qWait(kNormalMs);
    m_Slow = true;
    QTest::qWait(kSlowMs);
    m_Slow = false;
    ResidentMemory memory;
    memory.Start();
    for (int stall = 0; stall < m_Stalls; ++stall) {
        QTest::qWait(kNormalMs);
        const qint64 slowFrom = m_Clock.elapsed();
        m_Slow = true;
        QTest::qWait(kSlowMs);
        m_StallEndMs = -1;
        m_StallArmed = true;
        const bool stalled = QTest::qWaitFor([this] { return m_StallEndMs >= 0; }, int(kStallMs) + kFrameTimeoutMs);
        m_Slow = false;
        if (!stalled) {
            ChildRoles::Print("nostall");
            return 5;
        }
        QTest::qWait(kRecoveryMs + kAfterMs);
        ChildRoles::Print("stall\t" + Evaluate(slowFrom));
    }
    ChildRoles::Print(QString("memory\t%1\t%2").arg(memory.BaselineKb()).arg(memory.PeakKb()));
    ChildRoles::Print(QString("unreadable\t%1").arg(m_Unreadable.load()));
    session.Window().removeEventFilter(this);
    session.Window().close();
    return 0;
}

// Every queued call the window gets is a frame from the pipeline; holding it
// back here is a slow or stopped screen as the pipeline sees it.
bool StalledScreenRole::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MetaCall)
        return QObject::eventFilter(watched, event);
    if (m_StallArmed) {
        m_StallArmed = false;
        m_StallStartMs = m_Clock.elapsed();
        const quint64 dropped = m_Pipeline->GetDroppedCapturedFrames();
        QThread::msleep(kStallMs);
        m_DroppedInStall = m_Pipeline->GetDroppedCapturedFrames() - dropped;
        m_StallEndMs = m_Clock.elapsed();
    } else if (m_Slow) {
        QThread::msleep(kSlowFrameMs);
    }
    // One frame is outstanding at a time, so the one arriving is the last
    // handed over.
    const std::lock_guard<std::mutex> lock(m_Mutex);
    m_Shown << Sighting{m_Clock.elapsed(), m_Emitted.isEmpty() ? -1 : m_Emitted.last().Number};
    return false;
}

bool StalledScreenRole::Watch(CaptureThread* pipeline)
{
    m_Pipeline = pipeline;
    // The surface the camera renders into, as the camera's service knows it.
    const QMediaService* service = pipeline->GetCamera() ? pipeline->GetCamera()->service() : nullptr;
    const QVideoRendererControl* renderer = service ? service->findChild<QVideoRendererControl*>() : nullptr;
    auto* surface = renderer ? qobject_cast<VideoCapturer*>(renderer->surface()) : nullptr;
    if (!surface)
        return false;
    connect(
        surface, &VideoCapturer::SignalFrameCaptured, this,
        [this](const cv::Mat& frame) { Sight(m_Captured, frame); }, Qt::DirectConnection);
    connect(
        pipeline, &CaptureThread::SignalFrameReady, this,
        [this](const cv::Mat& frame) { Sight(m_Emitted, frame); }, Qt::DirectConnection);
    return true;
}

void StalledScreenRole::Sight(QVector<Sighting>& sightings, const cv::Mat& frame)
{
    // The edge overlay is off in a new store, so the stamp is intact.
    const std::optional<quint32> number =
        SimFrameStamp::Read(frame.data, frame.cols, frame.rows, int(frame.step), int(frame.elemSize()));
    if (!number) {
        ++m_Unreadable;
        return;
    }
    const std::lock_guard<std::mutex> lock(m_Mutex);
    sightings << Sighting{m_Clock.elapsed(), qint64(*number)};
}

qint64 StalledScreenRole::CameraNumberAt(qint64 ms) const
{
    const std::lock_guard<std::mutex> lock(m_Mutex);
    qint64 newest = -1;
    for (const Sighting& seen : m_Captured) {
        if (seen.Ms <= ms)
            newest = qMax(newest, seen.Number);
    }
    return newest;
}

QString StalledScreenRole::Evaluate(qint64 slowFromMs) const
{
    const qint64 judgedAt = m_StallEndMs + kRecoveryMs;
    const qint64 receivedBeforeEnd = CameraNumberAt(m_StallEndMs);
    qint64 shown = -1;
    int waited = 0;
    int slowShown = 0;
    for (const Sighting& seen : m_Shown) {
        if (seen.Ms >= slowFromMs && seen.Ms < m_StallStartMs)
            ++slowShown;
        if (seen.Ms >= m_StallEndMs && seen.Number <= receivedBeforeEnd)
            ++waited;
        if (seen.Ms <= judgedAt)
            shown = seen.Number;
    }
    const qint64 age = CameraNumberAt(judgedAt) - shown;
    return QString("%1\t%2\t%3\t%4").arg(age).arg(waited).arg(m_DroppedInStall).arg(slowShown);
}
