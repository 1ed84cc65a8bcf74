#include "PipelineProbe.h"

#include "CaptureThread.h"
#include "Lentavio.h"
#include "SimFrameStamp.h"
#include "VideoCapturer.h"

#include <QCamera>
#include <QMediaService>
#include <QThread>
#include <QVideoRendererControl>

#include <ctime>

namespace
{
constexpr quint32 kUnreadable = 0xffffffffu;

qint64 NowNs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Brightness of the pixels of one stamp block that the edge overlay left
// alone (it zeroes the fourth byte of those it paints): 1 light, 0 dark,
// -1 when every pixel was painted.
int BlockLevel(const cv::Mat& frame, int bit, int band)
{
    const int block = SimFrameStamp::Block;
    for (int row = band * block; row < (band + 1) * block; ++row) {
        const uchar* pixel = frame.ptr<uchar>(row) + bit * block * 4;
        for (int i = 0; i < block; ++i, pixel += 4) {
            if (pixel[3] != 0)
                return pixel[0] + pixel[1] + pixel[2] > 3 * 128 ? 1 : 0;
        }
    }
    return -1;
}

// The camera's frame number, also through the edge overlay, which paints
// over the stamp's block boundaries.
quint32 ReadNumber(const cv::Mat& frame)
{
    if (frame.cols < SimFrameStamp::Width || frame.rows < SimFrameStamp::Height)
        return kUnreadable;
    quint32 number = 0;
    for (int bit = 0; bit < SimFrameStamp::Bits; ++bit) {
        const int one = BlockLevel(frame, bit, 0);
        const int check = BlockLevel(frame, bit, 1);
        if (one < 0 || check < 0 || one == check)
            return kUnreadable;
        number = (number << 1) | quint32(one);
    }
    return number;
}
}

PipelineProbe::PipelineProbe(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool PipelineProbe::notify(QObject* receiver, QEvent* event)
{
    if (event->type() == QEvent::ThreadChange && receiver->metaObject() == &CaptureThread::staticMetaObject)
        m_Pipeline = static_cast<CaptureThread*>(receiver);
    // The whole window is painted in one go, on its update request.
    if (event->type() == QEvent::UpdateRequest && m_Recording && QThread::currentThread() == thread()) {
        const qint64 cpu = NowNs(CLOCK_THREAD_CPUTIME_ID);
        const bool result = QApplication::notify(receiver, event);
        m_PaintCpuMs += (NowNs(CLOCK_THREAD_CPUTIME_ID) - cpu) / 1e6;
        return result;
    }
    if (event->type() == QEvent::MetaCall) {
        const QMetaObject* type = receiver->metaObject();
        if (type == &Lentavio::staticMetaObject)
            return TimeFrameReady(receiver, event);
        if (type == &CaptureThread::staticMetaObject)
            AttachWorker(receiver);
        else if (QThread::currentThread() == thread())
            return TimeQueuedCall(receiver, event);
    }
    return QApplication::notify(receiver, event);
}

void PipelineProbe::StartRecording()
{
    m_Shown.clear();
    m_PresentCpuMs = 0.0;
    m_PaintCpuMs = 0.0;
    m_PresentedWhileRecording = 0;
    m_Recording = true;
}

void PipelineProbe::StopRecording()
{
    m_Recording = false;
}

void PipelineProbe::AttachCapturer()
{
    if (m_CapturerAttached || !m_Pipeline || !m_Pipeline->GetCamera())
        return;
    const QMediaService* service = m_Pipeline->GetCamera()->service();
    const QVideoRendererControl* renderer = service ? service->findChild<QVideoRendererControl*>() : nullptr;
    auto* capturer = renderer ? qobject_cast<VideoCapturer*>(renderer->surface()) : nullptr;
    if (!capturer)
        return;
    m_CapturerAttached = true;
    // Direct: runs inside present(), on its thread, at the emission.
    connect(capturer, &VideoCapturer::SignalFrameCaptured, [this](const cv::Mat& frame, qint64) {
        m_CallPresented = true;
        m_PresentedFrames[ReadNumber(frame)] = {m_PresentStartNs, ++m_Presented};
        if (OnCaptured)
            OnCaptured(frame);
    });
}

bool PipelineProbe::TimeQueuedCall(QObject* receiver, QEvent* event)
{
    // Before the call: it may be the first present().
    AttachCapturer();
    const qint64 cpu = NowNs(CLOCK_THREAD_CPUTIME_ID);
    m_PresentStartNs = NowNs(CLOCK_MONOTONIC);
    m_CallPresented = false;
    const bool result = QApplication::notify(receiver, event);
    if (m_Recording && m_CallPresented) {
        m_PresentCpuMs += (NowNs(CLOCK_THREAD_CPUTIME_ID) - cpu) / 1e6;
        ++m_PresentedWhileRecording;
    }
    return result;
}

bool PipelineProbe::TimeFrameReady(QObject* receiver, QEvent* event)
{
    const quint64 index = m_WindowCalls++;
    const qint64 cpu = NowNs(CLOCK_THREAD_CPUTIME_ID);
    const qint64 begin = NowNs(CLOCK_MONOTONIC);
    const bool result = QApplication::notify(receiver, event);
    const qint64 end = NowNs(CLOCK_MONOTONIC);
    const double slotCpuMs = (NowNs(CLOCK_THREAD_CPUTIME_ID) - cpu) / 1e6;

    const quint32 number = NumberOfEmitted(index);
    const auto presented = m_PresentedFrames.find(number);
    if (m_Recording && presented != m_PresentedFrames.end()) {
        m_Shown.push_back({(end - presented->second.StartNs) / 1e6, slotCpuMs, (end - begin) / 1e6,
                           int(m_Presented - presented->second.Index), number});
    }
    // Older entries can no longer be shown: the pipeline keeps frames in order.
    for (auto it = m_PresentedFrames.begin(); it != m_PresentedFrames.end();) {
        if (it->second.Index < m_Presented - 64 && m_Presented > 64)
            it = m_PresentedFrames.erase(it);
        else
            ++it;
    }
    return result;
}

void PipelineProbe::AttachWorker(QObject* worker)
{
    std::call_once(m_WorkerAttached, [this, worker] {
        // Direct: runs on the worker thread at the emission, after the
        // window's queued call has been posted, so the window may already
        // be handling the frame; NumberOfEmitted() waits for it.
        connect(static_cast<CaptureThread*>(worker), &CaptureThread::SignalFrameReady,
                [this](const cv::Mat& frame, qint64, qint64) {
                    const quint32 number = ReadNumber(frame);
                    if (number == kUnreadable)
                        ++m_Unreadable;
                    std::lock_guard<std::mutex> lock(m_EmittedMutex);
                    m_Emitted.push_back(number);
                });
    });
}

quint32 PipelineProbe::NumberOfEmitted(quint64 index)
{
    for (int spin = 0; spin < 100000; ++spin) {
        {
            std::lock_guard<std::mutex> lock(m_EmittedMutex);
            if (index < m_Emitted.size())
                return m_Emitted[index];
        }
        QThread::yieldCurrentThread();
    }
    return kUnreadable;
}
