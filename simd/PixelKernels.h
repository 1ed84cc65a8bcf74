#pragma once

#include <cstddef>
#include <cstdint>

// The program's vector kernels, written once against OpenCV's universal
// intrinsics and built for more than one instruction set: the widest the
// processor runs is picked once, at first use. Every path gives the same
// bytes; the callers keep the picture logic and hand rows to these.
//
// Thread: any; the kernels keep no state. Owner: static, never freed.
struct PixelKernels
{
    // "plain" (portable C++, any processor), "baseline" (SSE2 on x86-64,
    // NEON on arm64) or "avx2".
    const char* Name;

    // The 3 x 3 Sobel gradients of the middle row with replicated borders.
    // sum and difference are work rows with one spare entry on either side
    // (sum[-1] and sum[cols] are written); magnitude[x] gets dx² + dy².
    void (*SobelRow)(const std::uint8_t* top, const std::uint8_t* middle, const std::uint8_t* bottom, int cols,
                     std::int16_t* sum, std::int16_t* difference, std::int16_t* dx, std::int16_t* dy, int* magnitude);
    // How many of the first count values, in whole vector blocks, are all at
    // most threshold: a multiple of the block, at most count.
    int (*QuietRun)(const int* values, int count, int threshold);
    // Bytes equal to value become 0.
    void (*ClearValue)(std::uint8_t* row, int count, std::uint8_t value);

    // OpenCV's fixed-point grey of four-byte pixels, the first byte taken
    // as red, as cv::cvtColor(COLOR_RGBA2GRAY) gives it.
    void (*GreyRow)(const std::uint8_t* pixels, std::uint8_t* grey, int cols);
    // out[i] = in[i] + in[i + 1] for i < count.
    void (*AddPairs)(const std::uint16_t* in, std::uint16_t* out, int count);
    // Box means of a row: out[x] = rounded mean of odd[x] (when odd is not
    // null) and pairs[x + k] for even k below width - 1, the rounding
    // division being ((total + half) * multiplier) >> (15 + bits), bits >= 1.
    void (*BoxMeans)(const std::uint16_t* pairs, const std::uint16_t* odd, int width, int half, int multiplier,
                     int bits, std::uint8_t* out, int cols);
    // Column sums one row down: sums[x] += entering[x] - leaving[x].
    void (*SlideSums)(std::uint16_t* sums, const std::uint8_t* leaving, const std::uint8_t* entering, int cols);

    // One row of k x k block means of four-byte pixels, rounded (or one
    // more): rows are the block's k source rows, sums a work row of
    // toCols * k * 4 entries, out the target row, written mirrored when
    // mirrorColumns. k <= 16.
    void (*BlockMeanRow)(const std::uint8_t* const* rows, int k, int toCols, std::uint16_t* sums, std::uint8_t* out,
                         bool mirrorColumns);
    // out = (a * upper + b * lower + 128) >> 8 byte by byte; upper + lower = 256.
    void (*BlendRows)(const std::uint8_t* a, const std::uint8_t* b, int upper, int lower, std::uint8_t* out,
                      int bytes);
    // Target pixel x from the four-byte pixel pair at row + offsets[x],
    // weighted by weights[8x .. 8x + 7] (the first pixel's four channels,
    // then the second's), in 1/256.
    void (*SampleRow)(const std::uint8_t* row, const int* offsets, const std::int16_t* weights, std::uint8_t* out,
                      int cols);

    // out = in, and out = in + noise (bytes wrapping), written past the
    // caches. StreamFence orders those writes before what follows, e.g.
    // handing the buffer to another thread.
    void (*StreamCopy)(const std::uint8_t* in, std::uint8_t* out, std::size_t bytes);
    void (*StreamAdd)(const std::uint8_t* in, const std::uint8_t* noise, std::uint8_t* out, std::size_t bytes);
    void (*StreamFence)();
};

// Frames bigger than this are written past the caches. A desktop's
// last-level cache holds 8 to 32 MiB (what the system reports for it in a
// virtual machine cannot be trusted); a frame that does not fit in about half
// of it would only push out what the other threads work on, and each line
// written through the cache is read from memory first. A 4K frame is 33 MB, a
// 1080p one 8 MB.
constexpr std::size_t StreamedFrameBytes = std::size_t(16) << 20;

// The kernels for this processor. LENTAVIO_SIMD=plain|baseline|avx2 forces
// a path (for tests and comparisons); a path this build or processor lacks
// is ignored.
const PixelKernels& Kernels();
