#include "RowStripes.h"

#include "ThreadHandOff.h"

#include <algorithm>

namespace {

// A loop body of our own rather than a lambda: OpenCV's threads are not
// built with ThreadSanitizer, so the hand-over to them is marked here,
// before the body reads anything the caller wrote.
class StripeLoop : public cv::ParallelLoopBody
{
public:
    StripeLoop(int rows, int stripes, const std::function<void(int, cv::Range)>& body)
        : m_Rows(rows)
        , m_Stripes(stripes)
        , m_Body(body)
    {
    }

    void operator()(const cv::Range& range) const override
    {
        HandOffAcquire(this);
        for (int stripe = range.start; stripe < range.end; ++stripe)
            m_Body(stripe, cv::Range(m_Rows * stripe / m_Stripes, m_Rows * (stripe + 1) / m_Stripes));
        HandOffRelease(this);
    }

private:
    int m_Rows;
    int m_Stripes;
    const std::function<void(int, cv::Range)>& m_Body;
};

} // namespace

int RowStripeCount(int rows, int minRows)
{
    return std::max(1, std::min(cv::getNumThreads(), rows / std::max(1, minRows)));
}

void ForEachRowStripe(int rows, int stripes, const std::function<void(int stripe, cv::Range rows)>& body)
{
    if (stripes <= 1) {
        body(0, cv::Range(0, rows));
        return;
    }
    const StripeLoop loop(rows, stripes, body);
    HandOffRelease(&loop);
    cv::parallel_for_(cv::Range(0, stripes), loop);
    HandOffAcquire(&loop);
}
