#pragma once

#include "FrameType.h"

#include <atomic>
#include <mutex>
#include <optional>

// A frame with the stage timings measured so far, in milliseconds, and the
// number of camera faults reported before it was captured.
struct TimedFrame
{
    cv::Mat Frame;
    qint64 CaptureTime = 0;
    qint64 ProcessTime = 0;
    quint64 FaultsBefore = 0;
};

// One-slot hand-over between a producer and a slower consumer that keeps
// only the newest frame: a frame put while another still waits replaces it,
// and the replaced one is counted as dropped. This is what keeps the frames
// in flight bounded however far a stage falls behind. Safe to use from any
// thread; owned by CaptureThread.
class FrameMailbox
{
public:
    // Returns true when the box was empty, i.e. the consumer has no wake-up
    // pending for it yet and must be sent one.
    bool Put(TimedFrame frame);
    // Empties the box.
    std::optional<TimedFrame> Take();
    // A frame waits; by the time the answer is used it may have been taken.
    bool HasWaiting() const;
    quint64 GetDroppedCount() const;

private:
    mutable std::mutex m_Mutex;
    std::optional<TimedFrame> m_Waiting;
    std::atomic<quint64> m_DroppedCount{0};
};
