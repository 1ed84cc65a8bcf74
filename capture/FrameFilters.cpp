#include "FrameFilters.h"

#include "ThreadHandOff.h"

#include <QtGlobal>

#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <cstring>

namespace {

// Below this many rows a stripe costs more to hand out than it saves.
constexpr int MinStripeRows = 256;

// One stripe per call. A loop body of our own rather than a lambda: OpenCV's
// threads are not built with ThreadSanitizer, so the hand-over to them is
// marked here, before the body reads anything the caller wrote.
class BlurStripes : public cv::ParallelLoopBody
{
public:
    BlurStripes(const cv::Mat& grey, cv::Mat& blurred, cv::Size size, int stripes)
        : m_Grey(grey)
        , m_Blurred(blurred)
        , m_Size(size)
        , m_Stripes(stripes)
    {
    }

    void operator()(const cv::Range& range) const override
    {
        HandOffAcquire(this);
        for (int stripe = range.start; stripe < range.end; ++stripe) {
            const cv::Range rows(m_Grey.rows * stripe / m_Stripes, m_Grey.rows * (stripe + 1) / m_Stripes);
            cv::Mat out = m_Blurred.rowRange(rows);
            cv::blur(m_Grey.rowRange(rows), out, m_Size);
        }
        HandOffRelease(this);
    }

private:
    const cv::Mat& m_Grey;
    cv::Mat& m_Blurred;
    cv::Size m_Size;
    int m_Stripes;
};

} // namespace

void BlurInStripes(const cv::Mat& grey, cv::Mat& blurred, cv::Size size)
{
    Q_ASSERT(grey.empty() || grey.data != blurred.data);
    blurred.create(grey.size(), grey.type());
    const int stripes = std::max(1, std::min(cv::getNumThreads(), grey.rows / MinStripeRows));
    if (stripes == 1) {
        cv::blur(grey, blurred, size);
        return;
    }
    const BlurStripes body(grey, blurred, size, stripes);
    HandOffRelease(&body);
    cv::parallel_for_(cv::Range(0, stripes), body);
    HandOffAcquire(&body);
}

void PaintEdges(cv::Mat& frame, const cv::Mat& edgeMap, const cv::Vec4b& colour)
{
    Q_ASSERT(frame.type() == CV_8UC4 && edgeMap.type() == CV_8UC1 && frame.size() == edgeMap.size());
    for (int y = 0; y < frame.rows; ++y) {
        const uchar* edges = edgeMap.ptr<uchar>(y);
        cv::Vec4b* pixels = frame.ptr<cv::Vec4b>(y);
        int x = 0;
        for (; x + 8 <= frame.cols; x += 8) {
            std::uint64_t eight;
            std::memcpy(&eight, edges + x, sizeof eight);
            if (eight == 0)
                continue;
            for (int i = x; i < x + 8; ++i) {
                if (edges[i])
                    pixels[i] = colour;
            }
        }
        for (; x < frame.cols; ++x) {
            if (edges[x])
                pixels[x] = colour;
        }
    }
}
