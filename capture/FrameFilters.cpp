#include "FrameFilters.h"

#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <cstring>

namespace {

// Below this many rows a stripe costs more to hand out than it saves.
constexpr int MinStripeRows = 256;

} // namespace

void BlurInStripes(const cv::Mat& grey, cv::Mat& blurred, cv::Size size)
{
    CV_Assert(grey.data != blurred.data || grey.empty());
    blurred.create(grey.size(), grey.type());
    const int stripes = std::max(1, std::min(cv::getNumThreads(), grey.rows / MinStripeRows));
    if (stripes == 1) {
        cv::blur(grey, blurred, size);
        return;
    }
    cv::parallel_for_(cv::Range(0, stripes), [&](const cv::Range& range) {
        for (int stripe = range.start; stripe < range.end; ++stripe) {
            const cv::Range rows(grey.rows * stripe / stripes, grey.rows * (stripe + 1) / stripes);
            cv::Mat out = blurred.rowRange(rows);
            cv::blur(grey.rowRange(rows), out, size);
        }
    });
}

void PaintEdges(cv::Mat& frame, const cv::Mat& edgeMap, const cv::Vec4b& colour)
{
    CV_Assert(frame.type() == CV_8UC4 && edgeMap.type() == CV_8UC1 && frame.size() == edgeMap.size());
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
