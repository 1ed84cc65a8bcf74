#include "SmoothResize.h"

#include <opencv2/imgproc.hpp>

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

namespace
{
// 16 x 16 bytes of 255 still fit a 16-bit sum.
constexpr int kLargestBox = 16;
// Bilinear weights in 1/256.
constexpr int kWeightOne = 256;

// Averages k x k blocks of from into rows [begin, end) of to (to.cols * k
// <= from.cols, likewise rows), rounded, within one level of the exact mean.
void BoxAverage(const cv::Mat& from, cv::Mat& to, int k, bool mirrorRows, bool mirrorColumns, int begin, int end)
{
    const int usedBytes = to.cols * k * 4;
    std::vector<uint16_t> sums(static_cast<size_t>(usedBytes));
    const int area = k * k;
    // (sum + area / 2) * reciprocal / 65536: the rounded mean, or one more.
    const __m128i reciprocal = _mm_set1_epi16(short((65536 + area - 1) / area));
    const __m128i half = _mm_set1_epi16(short(area / 2));
    const __m128i zero = _mm_setzero_si128();
    std::vector<const uchar*> rows(static_cast<size_t>(k));
    for (int y = begin; y < end; ++y) {
        // Down the block's k rows, summed in registers, 16 bytes at a time.
        for (int r = 0; r < k; ++r)
            rows[size_t(r)] = from.ptr<uchar>(y * k + r);
        int i = 0;
        for (; i + 16 <= usedBytes; i += 16) {
            __m128i low = zero;
            __m128i high = zero;
            for (const uchar* row : rows) {
                const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
                low = _mm_add_epi16(low, _mm_unpacklo_epi8(bytes, zero));
                high = _mm_add_epi16(high, _mm_unpackhi_epi8(bytes, zero));
            }
            auto* sum = reinterpret_cast<__m128i*>(sums.data() + i);
            _mm_storeu_si128(sum, low);
            _mm_storeu_si128(sum + 1, high);
        }
        for (; i < usedBytes; ++i) {
            uint16_t sum = 0;
            for (const uchar* row : rows)
                sum = uint16_t(sum + row[i]);
            sums[size_t(i)] = sum;
        }
        uchar* out = to.ptr<uchar>(mirrorRows ? to.rows - 1 - y : y);
        for (int x = 0; x < to.cols; ++x) {
            const uint16_t* block = sums.data() + size_t(x) * k * 4;
            __m128i sum = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(block));
            for (int c = 1; c < k; ++c)
                sum = _mm_add_epi16(sum, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(block + c * 4)));
            const __m128i mean = _mm_mulhi_epu16(_mm_add_epi16(sum, half), reciprocal);
            const int column = mirrorColumns ? to.cols - 1 - x : x;
            const int pixel = _mm_cvtsi128_si32(_mm_packus_epi16(mean, mean));
            std::memcpy(out + size_t(column) * 4, &pixel, 4);
        }
    }
}

// Where target position i samples the source: the first of the two source
// pixels and the second one's weight. Pixel centres map as in cv::resize.
struct Tap
{
    int First;
    int Weight;
};

Tap TapAt(int i, double step, int sourceSize)
{
    const double position = (i + 0.5) * step - 0.5;
    int first = int(std::floor(position));
    int weight = int(std::lround((position - first) * kWeightOne));
    if (weight == kWeightOne) {
        ++first;
        weight = 0;
    }
    if (first < 0) {
        first = 0;
        weight = 0;
    }
    // The last pixel as the second of a pair, so two pixels can be read.
    if (first >= sourceSize - 1) {
        first = sourceSize - 2;
        weight = kWeightOne;
    }
    return {first, weight};
}

// Per target column: where its source pixel pair starts, and the weights of
// the pair's first pixel (four channels) and second pixel.
struct ColumnTaps
{
    ColumnTaps(int targetCols, double stepX, int sourceCols, bool mirrorColumns)
        : Offsets(static_cast<size_t>(targetCols))
        , Weights(static_cast<size_t>(targetCols) * 8)
    {
        for (int x = 0; x < targetCols; ++x) {
            const Tap tap = TapAt(mirrorColumns ? targetCols - 1 - x : x, stepX, sourceCols);
            Offsets[size_t(x)] = tap.First * 4;
            std::fill_n(Weights.begin() + x * 8, 4, int16_t(kWeightOne - tap.Weight));
            std::fill_n(Weights.begin() + x * 8 + 4, 4, int16_t(tap.Weight));
        }
    }

    std::vector<int> Offsets;
    std::vector<int16_t> Weights;
};

// Bilinear from from into rows [begin, end) of to, target pixel i sampling
// source position (i + 0.5) * step - 0.5 along each axis. from is at least
// 2 x 2.
void Bilinear(const cv::Mat& from, cv::Mat& to, const ColumnTaps& columns, double stepY, bool mirrorRows, int begin,
              int end)
{
    const std::vector<int>& offsets = columns.Offsets;
    const std::vector<int16_t>& weights = columns.Weights;
    const int rowBytes = from.cols * 4;
    std::vector<uchar> blended(static_cast<size_t>(rowBytes));
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi16(kWeightOne / 2);
    for (int y = begin; y < end; ++y) {
        const Tap tap = TapAt(y, stepY, from.rows);
        const uchar* row = from.ptr<uchar>(tap.First);
        if (tap.Weight == kWeightOne) {
            row = from.ptr<uchar>(tap.First + 1);
        } else if (tap.Weight != 0) {
            // The two rows blended first, then sampled along the row.
            const uchar* next = from.ptr<uchar>(tap.First + 1);
            const __m128i upper = _mm_set1_epi16(short(kWeightOne - tap.Weight));
            const __m128i lower = _mm_set1_epi16(short(tap.Weight));
            int i = 0;
            for (; i + 16 <= rowBytes; i += 16) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(next + i));
                const __m128i low = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(a, zero), upper),
                                                  _mm_mullo_epi16(_mm_unpacklo_epi8(b, zero), lower));
                const __m128i high = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(a, zero), upper),
                                                   _mm_mullo_epi16(_mm_unpackhi_epi8(b, zero), lower));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(blended.data() + i),
                                 _mm_packus_epi16(_mm_srli_epi16(_mm_add_epi16(low, half), 8),
                                                  _mm_srli_epi16(_mm_add_epi16(high, half), 8)));
            }
            for (; i < rowBytes; ++i)
                blended[size_t(i)] =
                    uchar((row[i] * (kWeightOne - tap.Weight) + next[i] * tap.Weight + kWeightOne / 2) >> 8);
            row = blended.data();
        }

        uchar* out = to.ptr<uchar>(mirrorRows ? to.rows - 1 - y : y);
        // One pixel pair per target pixel, its two pixels weighted and added.
        const auto pair = [&](int x) {
            const __m128i pixels = _mm_unpacklo_epi8(
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + offsets[size_t(x)])), zero);
            const __m128i weighted = _mm_mullo_epi16(
                pixels, _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights.data() + size_t(x) * 8)));
            return _mm_add_epi16(weighted, _mm_srli_si128(weighted, 8));
        };
        int x = 0;
        for (; x + 4 <= to.cols; x += 4) {
            const __m128i first = _mm_unpacklo_epi64(pair(x), pair(x + 1));
            const __m128i second = _mm_unpacklo_epi64(pair(x + 2), pair(x + 3));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + size_t(x) * 4),
                             _mm_packus_epi16(_mm_srli_epi16(_mm_add_epi16(first, half), 8),
                                              _mm_srli_epi16(_mm_add_epi16(second, half), 8)));
        }
        for (; x < to.cols; ++x) {
            const __m128i value = _mm_srli_epi16(_mm_add_epi16(pair(x), half), 8);
            const int pixel = _mm_cvtsi128_si32(_mm_packus_epi16(value, value));
            std::memcpy(out + size_t(x) * 4, &pixel, 4);
        }
    }
}
// A source too thin to read in pairs; never a camera frame.
void ResizeThin(const cv::Mat& from, cv::Mat& to, bool mirrorRows, bool mirrorColumns)
{
    cv::resize(from, to, to.size(), 0, 0, cv::INTER_LINEAR);
    if (mirrorRows || mirrorColumns)
        cv::flip(to, to, mirrorRows && mirrorColumns ? -1 : mirrorRows ? 0 : 1);
}
} // namespace

void SmoothResize(const cv::Mat& from, cv::Mat& to, bool mirrorRows, bool mirrorColumns, RowBands* bands)
{
    CV_Assert(from.type() == CV_8UC4 && to.type() == CV_8UC4 && !to.empty());
    if (from.cols < 2 || from.rows < 2) {
        ResizeThin(from, to, mirrorRows, mirrorColumns);
        return;
    }
    const auto inBands = [bands](int rows, const std::function<void(int, int)>& job) {
        if (bands)
            bands->Run(rows, job);
        else
            job(0, rows);
    };
    cv::Mat source = from;
    double stepX = double(from.cols) / to.cols;
    double stepY = double(from.rows) / to.rows;
    for (int k = std::min(int(std::min(stepX, stepY)), kLargestBox); k >= 2;
         k = std::min(int(std::min(stepX, stepY)), kLargestBox)) {
        if (source.cols == k * to.cols && source.rows == k * to.rows) {
            inBands(to.rows, [&](int begin, int end) {
                BoxAverage(source, to, k, mirrorRows, mirrorColumns, begin, end);
            });
            return;
        }
        // Halved, an odd last row or column left out: half a source pixel.
        cv::Mat half(source.rows / 2, source.cols / 2, CV_8UC4);
        inBands(half.rows, [&](int begin, int end) { BoxAverage(source, half, 2, false, false, begin, end); });
        source = half;
        stepX = double(source.cols) / to.cols;
        stepY = double(source.rows) / to.rows;
    }
    if (source.cols < 2 || source.rows < 2) {
        ResizeThin(source, to, mirrorRows, mirrorColumns);
        return;
    }
    const ColumnTaps columns(to.cols, stepX, source.cols, mirrorColumns);
    inBands(to.rows, [&](int begin, int end) { Bilinear(source, to, columns, stepY, mirrorRows, begin, end); });
}
