#include "EdgeDetector.h"

#include "RowStripes.h"

#include <QtGlobal>

#include <opencv2/imgproc.hpp>

#include <emmintrin.h>

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

// Below this many rows a stripe costs more to hand out than it saves.
constexpr int MinStripeRows = 128;

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
    const int cols = grey.cols;
    const uchar* top = grey.ptr<uchar>(std::max(y - 1, 0));
    const uchar* middle = grey.ptr<uchar>(y);
    const uchar* bottom = grey.ptr<uchar>(std::min(y + 1, grey.rows - 1));
    // Down the columns first: top + 2 middle + bottom, and bottom - top.
    short* sum = rows.Sum.data() + 1;
    short* difference = rows.Difference.data() + 1;
    const __m128i zero = _mm_setzero_si128();
    int x = 0;
    for (; x + 16 <= cols; x += 16) {
        const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + x));
        const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(middle + x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + x));
        for (int half = 0; half < 2; ++half) {
            const __m128i t16 = half ? _mm_unpackhi_epi8(t, zero) : _mm_unpacklo_epi8(t, zero);
            const __m128i m16 = half ? _mm_unpackhi_epi8(m, zero) : _mm_unpacklo_epi8(m, zero);
            const __m128i b16 = half ? _mm_unpackhi_epi8(b, zero) : _mm_unpacklo_epi8(b, zero);
            const __m128i s = _mm_add_epi16(_mm_add_epi16(t16, b16), _mm_add_epi16(m16, m16));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(sum + x + 8 * half), s);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(difference + x + 8 * half), _mm_sub_epi16(b16, t16));
        }
    }
    for (; x < cols; ++x) {
        sum[x] = short(top[x] + 2 * middle[x] + bottom[x]);
        difference[x] = short(bottom[x] - top[x]);
    }
    sum[-1] = sum[0];
    sum[cols] = sum[cols - 1];
    difference[-1] = difference[0];
    difference[cols] = difference[cols - 1];

    // Then across: dx = sum right - sum left, dy = left + 2 middle + right
    // of the differences; dx² + dy² by multiplying the interleaved pairs.
    x = 0;
    for (; x + 8 <= cols; x += 8) {
        const __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sum + x - 1));
        const __m128i right = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sum + x + 1));
        const __m128i gx = _mm_sub_epi16(right, left);
        const __m128i dl = _mm_loadu_si128(reinterpret_cast<const __m128i*>(difference + x - 1));
        const __m128i dm = _mm_loadu_si128(reinterpret_cast<const __m128i*>(difference + x));
        const __m128i dr = _mm_loadu_si128(reinterpret_cast<const __m128i*>(difference + x + 1));
        const __m128i gy = _mm_add_epi16(_mm_add_epi16(dl, dr), _mm_add_epi16(dm, dm));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dx + x), gx);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dy + x), gy);
        const __m128i low = _mm_unpacklo_epi16(gx, gy);
        const __m128i high = _mm_unpackhi_epi16(gx, gy);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(magnitude + 1 + x), _mm_madd_epi16(low, low));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(magnitude + 5 + x), _mm_madd_epi16(high, high));
    }
    for (; x < cols; ++x) {
        dx[x] = short(sum[x + 1] - sum[x - 1]);
        dy[x] = short(difference[x - 1] + 2 * difference[x] + difference[x + 1]);
        magnitude[1 + x] = dx[x] * dx[x] + dy[x] * dy[x];
    }
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
    const __m128i low = _mm_set1_epi32(thresholds.Low);
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
    int x = 0;
    // Most of a picture is below the low threshold: eight at a time.
    for (; x + 8 <= cols; x += 8) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1 + x));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 5 + x));
        const __m128i above = _mm_or_si128(_mm_cmpgt_epi32(first, low), _mm_cmpgt_epi32(second, low));
        if (_mm_movemask_epi8(above) == 0) {
            std::memset(out + x, NoEdge, 8);
            continue;
        }
        for (int i = x; i < x + 8; ++i)
            out[i] = classify(i);
    }
    for (; x < cols; ++x)
        out[x] = classify(x);
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
    const __m128i candidate = _mm_set1_epi8(char(Candidate));
    for (int y = range.start; y < range.end; ++y) {
        uchar* row = edges.ptr<uchar>(y);
        int x = 0;
        for (; x + 16 <= edges.cols; x += 16) {
            __m128i* pixels = reinterpret_cast<__m128i*>(row + x);
            const __m128i value = _mm_loadu_si128(pixels);
            _mm_storeu_si128(pixels, _mm_andnot_si128(_mm_cmpeq_epi8(value, candidate), value));
        }
        for (; x < edges.cols; ++x) {
            if (row[x] == Candidate)
                row[x] = NoEdge;
        }
    }
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
