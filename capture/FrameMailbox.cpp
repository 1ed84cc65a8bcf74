#include "FrameMailbox.h"

bool FrameMailbox::Put(TimedFrame frame)
{
    std::optional<TimedFrame> replaced;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        replaced.swap(m_Waiting);
        m_Waiting = std::move(frame);
    }
    // The replaced buffer is released here, outside the lock.
    if (replaced)
        ++m_DroppedCount;
    return !replaced;
}

std::optional<TimedFrame> FrameMailbox::Take()
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    std::optional<TimedFrame> frame;
    frame.swap(m_Waiting);
    return frame;
}

bool FrameMailbox::HasWaiting() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Waiting.has_value();
}

quint64 FrameMailbox::GetDroppedCount() const
{
    return m_DroppedCount;
}
