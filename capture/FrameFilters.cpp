#include "FrameFilters.h"

#include "PixelKernels.h"
#include "RowStripes.h"

#include <QtGlobal>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// OpenCV rounds the mean of an 8-bit box half up when the box's sum fits in
// 15 bits and its area is not a power of two: (sum + area / 2) / area. The
// division is done as a multiplication by Multiplier, a 16-bit approximation
// of 2^(15 + Bits) / area that is exact for every dividend below 2^15, then a
// shift by 15 + Bits.
struct BoxDivision
{
    explicit BoxDivision(int area)
        : Half(area / 2)
    {
        while ((1 << Bits) < area)
            ++Bits;
        Multiplier = int(((1ll << (15 + Bits)) + area - 1) / area);
    }

    int Half;
    int Bits = 0;
    int Multiplier;
};

// Boxes up to this area keep sum + area / 2 below 2^15.
constexpr int MaxBoxArea = 128;

bool IsRoundedHalfUp(cv::Size size)
{
    if (size.width < 1 || size.height < 1 || size.width > MaxBoxArea || size.height > MaxBoxArea)
        return false;
    const int area = size.width * size.height;
    return area <= MaxBoxArea && (area & (area - 1)) != 0;
}

// Source indices of the positions from -before to count + after - 1, with
// OpenCV's default border: mirrored about the edge pixels.
std::vector<int> MirroredIndices(int before, int count, int after)
{
    std::vector<int> indices(size_t(before + count + after));
    for (int i = 0; i < int(indices.size()); ++i)
        indices[size_t(i)] = cv::borderInterpolate(i - before, count, cv::BORDER_REFLECT_101);
    return indices;
}

// The grey rows of a frame that the box holds, made as they are first
// needed: a picture row's position p (p = 0 the first row above the image's
// mirrored border) lives in slot p % slots until position p + slots needs it.
class GreyRing
{
public:
    GreyRing(const cv::Mat& frame, const std::vector<int>& rowOf, int slots)
        : m_Frame(frame)
        , m_RowOf(rowOf)
        , m_Rows(size_t(slots) * size_t(frame.cols))
        , m_Held(size_t(slots), -1)
    {
    }

    const uchar* Row(int position)
    {
        const size_t slot = size_t(position) % m_Held.size();
        uchar* row = m_Rows.data() + slot * size_t(m_Frame.cols);
        if (m_Held[slot] != position) {
            Kernels().GreyRow(m_Frame.ptr<uchar>(m_RowOf[size_t(position)]), row, m_Frame.cols);
            m_Held[slot] = position;
        }
        return row;
    }

private:
    const cv::Mat& m_Frame;
    const std::vector<int>& m_RowOf;
    std::vector<uchar> m_Rows;
    std::vector<int> m_Held;
};

// Rows [range) of the box blur of the frame's grey: running column sums down
// the rows, and across each row the sum of size.width of them.
void BlurRows(const cv::Mat& frame, cv::Mat& blurred, cv::Size size, cv::Range range)
{
    const int cols = frame.cols;
    const cv::Point anchor(size.width / 2, size.height / 2);
    const std::vector<int> rowOf = MirroredIndices(anchor.y, frame.rows, size.height - anchor.y);
    const std::vector<int> columnOf = MirroredIndices(anchor.x, cols, size.width - anchor.x);
    const BoxDivision division(size.area());
    const PixelKernels& kernels = Kernels();
    GreyRing grey(frame, rowOf, size.height + 1);

    // Column sums of the box's rows, laid out with the mirrored columns on
    // either side, so that pixel x sums entries x to x + width - 1.
    std::vector<ushort> padded(columnOf.size() + 8, 0);
    ushort* sums = padded.data() + anchor.x;
    std::vector<ushort> pairs(padded.size(), 0);
    const bool oddWidth = size.width % 2 != 0;
    for (int k = 0; k < size.height; ++k) {
        const uchar* row = grey.Row(range.start + k);
        for (int x = 0; x < cols; ++x)
            sums[x] += row[x];
    }

    for (int y = range.start; y < range.end; ++y) {
        for (int i = 0; i < anchor.x; ++i)
            padded[size_t(i)] = sums[columnOf[size_t(i)]];
        for (int i = anchor.x + cols; i < int(columnOf.size()); ++i)
            padded[size_t(i)] = sums[columnOf[size_t(i)]];

        // Sums of neighbouring pairs first: half the additions per pixel.
        kernels.AddPairs(padded.data(), pairs.data(), int(columnOf.size()) - 1);
        kernels.BoxMeans(pairs.data(), oddWidth ? padded.data() + size.width - 1 : nullptr, size.width,
                         division.Half, division.Multiplier, division.Bits, blurred.ptr<uchar>(y), cols);

        if (y + 1 == range.end)
            break;
        // Down one row: the row leaving the box out, the one entering in.
        const uchar* leaving = grey.Row(y);
        kernels.SlideSums(sums, leaving, grey.Row(y + size.height), cols);
    }
}

} // namespace

void GreyBoxBlur(const cv::Mat& frame, cv::Mat& blurred, cv::Size size)
{
    Q_ASSERT(frame.type() == CV_8UC4);
    blurred.create(frame.size(), CV_8UC1);
    if (frame.empty())
        return;
    if (!IsRoundedHalfUp(size)) {
        cv::Mat grey;
        cv::cvtColor(frame, grey, cv::COLOR_RGBA2GRAY);
        cv::blur(grey, blurred, size);
        return;
    }
    ForEachRowStripe(frame.rows, RowStripeCount(frame.rows, MinStripeRows),
                     [&](int, cv::Range rows) { BlurRows(frame, blurred, size, rows); });
}

void PaintEdges(cv::Mat& frame, const cv::Mat& edgeMap, const cv::Vec4b& colour)
{
    Q_ASSERT(frame.type() == CV_8UC4 && edgeMap.type() == CV_8UC1 && frame.size() == edgeMap.size());
    ForEachRowStripe(frame.rows, RowStripeCount(frame.rows, MinStripeRows), [&](int, cv::Range rows) {
        for (int y = rows.start; y < rows.end; ++y) {
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
    });
}
