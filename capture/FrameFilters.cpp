#include "FrameFilters.h"

#include "RowStripes.h"

#include <QtGlobal>

#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <cstring>

namespace {

// Below this many rows a stripe costs more to hand out than it saves.
constexpr int MinStripeRows = 256;

} // namespace

void BlurInStripes(const cv::Mat& grey, cv::Mat& blurred, cv::Size size)
{
    Q_ASSERT(grey.empty() || grey.data != blurred.data);
    blurred.create(grey.size(), grey.type());
    // A stripe is filtered as a region of the whole picture, so its border
    // rows read the real neighbours.
    ForEachRowStripe(grey.rows, MinStripeRows, [&](int, cv::Range rows) {
        cv::Mat out = blurred.rowRange(rows);
        cv::blur(grey.rowRange(rows), out, size);
    });
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
