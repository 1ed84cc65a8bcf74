#include "SmoothResize.h"

#include "PixelKernels.h"

#include <opencv2/imgproc.hpp>

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
    const PixelKernels& kernels = Kernels();
    std::vector<uint16_t> sums(size_t(to.cols) * size_t(k) * 4);
    std::vector<const uchar*> rows(static_cast<size_t>(k));
    for (int y = begin; y < end; ++y) {
        for (int r = 0; r < k; ++r)
            rows[size_t(r)] = from.ptr<uchar>(y * k + r);
        kernels.BlockMeanRow(rows.data(), k, to.cols, sums.data(), to.ptr<uchar>(mirrorRows ? to.rows - 1 - y : y),
                             mirrorColumns);
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
    const PixelKernels& kernels = Kernels();
    const int rowBytes = from.cols * 4;
    std::vector<uchar> blended(static_cast<size_t>(rowBytes));
    for (int y = begin; y < end; ++y) {
        const Tap tap = TapAt(y, stepY, from.rows);
        const uchar* row = from.ptr<uchar>(tap.First);
        if (tap.Weight == kWeightOne) {
            row = from.ptr<uchar>(tap.First + 1);
        } else if (tap.Weight != 0) {
            // The two rows blended first, then sampled along the row.
            kernels.BlendRows(row, from.ptr<uchar>(tap.First + 1), kWeightOne - tap.Weight, tap.Weight,
                              blended.data(), rowBytes);
            row = blended.data();
        }
        kernels.SampleRow(row, columns.Offsets.data(), columns.Weights.data(),
                          to.ptr<uchar>(mirrorRows ? to.rows - 1 - y : y), to.cols);
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
