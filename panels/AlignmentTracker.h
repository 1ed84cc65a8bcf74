#pragma once

#include <QPointF>
#include <QtGlobal>

#include <deque>

// Decides whether the detected hole centre has stayed on the crosshair long
// enough to call the tool aligned, and how much the centre jitters. Fed one
// sample per frame with the caller's clock, in milliseconds, so time can be
// injected. Offsets and tolerance are in frame pixels. A plain value owned
// by the Measure panel; user-interface thread.
class AlignmentTracker
{
public:
    // How long the centre must stay within the tolerance.
    static constexpr qint64 kSettleMs = 500;
    // The window the jitter is measured over.
    static constexpr qint64 kJitterWindowMs = 1000;

    // found false (no hole in that frame) breaks any alignment.
    void AddSample(qint64 timeMs, bool found, const QPointF& offset, double tolerance);
    // Within the tolerance for kSettleMs up to a sample not older than that:
    // a camera that stops delivering does not stay aligned.
    bool IsAligned(qint64 nowMs) const;
    // Root-mean-square distance of the centre from its mean over the last
    // kJitterWindowMs (the standard deviation of the position); 0 with fewer
    // than two samples.
    double GetJitter(qint64 nowMs) const;

private:
    struct Sample
    {
        qint64 TimeMs;
        QPointF Offset;
    };

    std::deque<Sample> m_Samples;
    qint64 m_LastSampleMs = 0;
    bool m_Inside = false;
    qint64 m_InsideSinceMs = 0;
};
