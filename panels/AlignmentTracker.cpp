#include "AlignmentTracker.h"

#include <cmath>

void AlignmentTracker::AddSample(qint64 timeMs, bool found, const QPointF& offset, double tolerance)
{
    m_LastSampleMs = timeMs;
    while (!m_Samples.empty() && timeMs - m_Samples.front().TimeMs > kJitterWindowMs)
        m_Samples.pop_front();
    if (!found)
    {
        // A lost hole says nothing about where the centre was.
        m_Samples.clear();
        m_Inside = false;
        return;
    }
    m_Samples.push_back(Sample{timeMs, offset});

    const bool inside = std::hypot(offset.x(), offset.y()) <= tolerance;
    if (inside && !m_Inside)
        m_InsideSinceMs = timeMs;
    m_Inside = inside;
}

bool AlignmentTracker::IsAligned(qint64 nowMs) const
{
    return m_Inside && nowMs - m_LastSampleMs <= kSettleMs && m_LastSampleMs - m_InsideSinceMs >= kSettleMs;
}

double AlignmentTracker::GetJitter(qint64 nowMs) const
{
    QPointF sum;
    int count = 0;
    for (const Sample& sample : m_Samples)
        if (nowMs - sample.TimeMs <= kJitterWindowMs)
        {
            sum += sample.Offset;
            ++count;
        }
    if (count < 2)
        return 0.0;
    const QPointF mean = sum / count;
    double squares = 0.0;
    for (const Sample& sample : m_Samples)
        if (nowMs - sample.TimeMs <= kJitterWindowMs)
        {
            const QPointF d = sample.Offset - mean;
            squares += d.x() * d.x() + d.y() * d.y();
        }
    return std::sqrt(squares / count);
}
