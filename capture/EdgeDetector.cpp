#include "EdgeDetector.h"

#include "PixelKernels.h"
#include "RowStripes.h"

#include <QtGlobal>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// What a pixel of the edge picture holds until the end: on an edge, not on
// one, or a local maximum between the thresholds that is on an edge only if
// it connects to one.
constexpr uchar Edge = 255;
constexpr uchar NoEdge = 0;
constexpr uchar Candidate = 1;

// Pixels classified one by one after a vector block that has some above
// the low threshold, before looking for a quiet run again.
constexpr int ClassifiedRun = 16;

// tan(22.5°) in 15-bit fixed point, rounded: the gradient direction is
// sorted into one of four by comparing |dy| << 15 with |dx| * Tan22 and
// with |dx| * (Tan22 + 2 << 15), which stands for tan(67.5°).
constexpr int DirectionShift = 15;
constexpr int Tan22 = 13573;

struct Thresholds
{
    int Low;
    int High;
};

// The magnitudes are squared (dx² + dy²), so the thresholds are too, after
// the same clamp OpenCV applies. Magnitudes are never negative, so any
// negative threshold acts as -1.
Thresholds SquaredThresholds(double low, double high)
{
    if (low > high)
        std::swap(low, high);
    const auto squared = [](double threshold) {
        threshold = std::min(32767.0, threshold);
        return threshold > 0 ? threshold * threshold : threshold;
    };
    const auto floored = [](double threshold) { return threshold < 0 ? -1 : int(std::floor(threshold)); };
    return {floored(squared(low)), floored(squared(high))};
}

// Work buffers of one stripe, for a picture `cols` wide. Magnitude rows have
// a zero on either side, so the neighbour tests need no bounds.
struct StripeRows
{
    explicit StripeRows(int cols)
        : Sum(size_t(cols) + 2)
        , Difference(size_t(cols) + 2)
        , Buffer(size_t(cols) * 4)
        , MagnitudeBuffer(size_t(cols + 2) * 3, 0)
    {
        Dx[0] = Buffer.data();
        Dy[0] = Dx[0] + cols;
        Dx[1] = Dy[0] + cols;
        Dy[1] = Dx[1] + cols;
        for (int i = 0; i < 3; ++i)
            Magnitude[i] = MagnitudeBuffer.data() + size_t(cols + 2) * i;
    }

    std::vector<short> Sum;
    std::vector<short> Difference;
    std::vector<short> Buffer;
    std::vector<int> MagnitudeBuffer;
    short* Dx[2];
    short* Dy[2];
    // Rows above, at and below the one being thinned.
    int* Magnitude[3];
};

// The 3 x 3 Sobel gradients of row y with replicated borders, and their
// squared magnitude into magnitude[1 .. cols].
void GradientRow(const cv::Mat& grey, int y, StripeRows& rows, short* dx, short* dy, int* magnitude)
{
    Kernels().SobelRow(grey.ptr<uchar>(std::max(y - 1, 0)), grey.ptr<uchar>(y),
                       grey.ptr<uchar>(std::min(y + 1, grey.rows - 1)), grey.cols, rows.Sum.data() + 1,
                       rows.Difference.data() + 1, dx, dy, magnitude + 1);
}

// Whether the pixel at column x is a maximum along its gradient direction.
inline bool IsRidge(const int* above, const int* at, const int* below, int x, short dx, short dy)
{
    const int m = at[x + 1];
    const int ax = std::abs(int(dx));
    const int ay = std::abs(int(dy)) << DirectionShift;
    const int tan22x = ax * Tan22;
    if (ay < tan22x)
        return m > at[x] && m >= at[x + 2];
    const int tan67x = tan22x + (ax << (DirectionShift + 1));
    if (ay > tan67x)
        return m > above[x + 1] && m >= below[x + 1];
    const int s = (dx ^ dy) < 0 ? -1 : 1;
    return m > above[x + 1 - s] && m > below[x + 1 + s];
}

// Thins row y: ridge pixels above the high threshold become edges and are
// listed in strong, those above the low one candidates, the rest nothing.
void ThinRow(const int* const magnitude[3], const short* dx, const short* dy, int cols, Thresholds thresholds,
             uchar* out, int rowOffset, std::vector<int>& strong)
{
    const int* at = magnitude[1];
    const auto classify = [&](int x) {
        const int m = at[x + 1];
        if (m <= thresholds.Low || !IsRidge(magnitude[0], at, magnitude[2], x, dx[x], dy[x]))
            return NoEdge;
        if (m > thresholds.High) {
            strong.push_back(rowOffset + x);
            return Edge;
        }
        return Candidate;
    };
    // Most of a picture is below the low threshold: skipped a vector at a
    // time, and what is not, classified pixel by pixel a while.
    const PixelKernels& kernels = Kernels();
    int x = 0;
    while (x < cols) {
        const int quiet = kernels.QuietRun(at + 1 + x, cols - x, thresholds.Low);
        std::memset(out + x, NoEdge, size_t(quiet));
        x += quiet;
        for (const int end = std::min(cols, x + ClassifiedRun); x < end; ++x)
            out[x] = classify(x);
    }
}

void ThinStripe(const cv::Mat& grey, cv::Range range, Thresholds thresholds, cv::Mat& edges, std::vector<int>& strong)
{
    StripeRows rows(grey.cols);
    int* above = rows.Magnitude[0];
    int* at = rows.Magnitude[1];
    int* below = rows.Magnitude[2];
    // Outside the picture the magnitude is zero.
    if (range.start > 0)
        GradientRow(grey, range.start - 1, rows, rows.Dx[1], rows.Dy[1], above);
    GradientRow(grey, range.start, rows, rows.Dx[0], rows.Dy[0], at);
    for (int y = range.start; y < range.end; ++y) {
        if (y + 1 < grey.rows)
            GradientRow(grey, y + 1, rows, rows.Dx[1], rows.Dy[1], below);
        else
            std::fill(below, below + grey.cols + 2, 0);
        const int* const magnitude[3] = {above, at, below};
        ThinRow(magnitude, rows.Dx[0], rows.Dy[0], grey.cols, thresholds, edges.ptr<uchar>(y), y * int(edges.step),
                strong);
        std::swap(rows.Dx[0], rows.Dx[1]);
        std::swap(rows.Dy[0], rows.Dy[1]);
        int* const oldAbove = above;
        above = at;
        at = below;
        below = oldAbove;
    }
}

// Candidates that no edge reached are not edges.
void DropCandidates(cv::Mat& edges, cv::Range range)
{
    for (int y = range.start; y < range.end; ++y)
        Kernels().ClearValue(edges.ptr<uchar>(y), edges.cols, Candidate);
}

} // namespace

void EdgeDetector::Detect(const cv::Mat& grey, cv::Mat& edges, double lowThreshold, double highThreshold)
{
    Q_ASSERT(grey.type() == CV_8UC1);
    Q_ASSERT(grey.empty() || grey.data != edges.data);
    edges.create(grey.size(), CV_8UC1);
    if (grey.empty())
        return;
    // Pixels are listed by their offset as an int.
    if (edges.step * size_t(grey.rows) > size_t(INT_MAX)) {
        cv::Canny(grey, edges, lowThreshold, highThreshold, 3, true);
        return;
    }
    const Thresholds thresholds = SquaredThresholds(lowThreshold, highThreshold);
    const int rows = grey.rows;
    const int cols = grey.cols;
    const int step = int(edges.step);

    const int stripes = RowStripeCount(rows, MinStripeRows);
    m_Strong.resize(size_t(stripes));
    ForEachRowStripe(rows, stripes, [&](int stripe, cv::Range range) {
        std::vector<int>& strong = m_Strong[size_t(stripe)];
        strong.clear();
        ThinStripe(grey, range, thresholds, edges, strong);
    });

    // Follow candidates from every edge pixel, across stripes.
    m_Stack.clear();
    for (const std::vector<int>& strong : m_Strong)
        m_Stack.insert(m_Stack.end(), strong.begin(), strong.end());
    uchar* pixels = edges.ptr<uchar>();
    while (!m_Stack.empty()) {
        const int offset = m_Stack.back();
        m_Stack.pop_back();
        const int y = offset / step;
        const int x = offset - y * step;
        for (int ny = std::max(y - 1, 0); ny <= std::min(y + 1, rows - 1); ++ny) {
            for (int nx = std::max(x - 1, 0); nx <= std::min(x + 1, cols - 1); ++nx) {
                const int neighbour = ny * step + nx;
                if (pixels[neighbour] == Candidate) {
                    pixels[neighbour] = Edge;
                    m_Stack.push_back(neighbour);
                }
            }
        }
    }

    ForEachRowStripe(rows, stripes, [&](int, cv::Range range) { DropCandidates(edges, range); });
}
