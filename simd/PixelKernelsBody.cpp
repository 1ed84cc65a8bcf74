// The kernels' one source, built once per instruction set with
// LENTAVIO_SIMD_PATH naming the path (plain, baseline or avx2). Each build
// lives in a namespace of its own, and OpenCV's intrinsics in one of theirs
// (CV_CPU_DISPATCH_MODE), so no inline function compiled for a wider set can
// stand in for another build's. For the same reason this file uses raw
// pointers only: a library template instantiated here with AVX2 enabled
// could be the copy the linker keeps for everyone.
#include "PixelKernels.h"

#if defined(LENTAVIO_SIMD_AVX2)
// OpenCV enables its 256-bit intrinsics only when built with them; outside
// its own build they are asked for here, with the compiler flags to match.
#include <immintrin.h>
#endif
#if defined(CV_FORCE_SIMD128_CPP)
// The portable C++ intrinsics check alignment with OpenCV's assertions.
#include <opencv2/core.hpp>
#endif
#include <opencv2/core/hal/intrin.hpp>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <atomic>
#include <cstring>

namespace lentavio_simd {
namespace LENTAVIO_SIMD_PATH {
namespace {

using namespace cv;
using std::int16_t;
using std::uint16_t;
using std::uint8_t;

// OpenCV's grey: (9798 r + 19235 g + 3735 b + 2^14) >> 15.
constexpr int GreyShift = 15;
constexpr int GreyWeights[3] = {9798, 19235, 3735};

// Bilinear weights are in 1/256.
constexpr int WeightShift = 8;
constexpr int WeightHalf = 1 << (WeightShift - 1);

void SobelRow(const uint8_t* top, const uint8_t* middle, const uint8_t* bottom, int cols, int16_t* sum,
              int16_t* difference, int16_t* dx, int16_t* dy, int* magnitude)
{
    // Down the columns first: top + 2 middle + bottom, and bottom - top.
    const int bytes = v_uint8::nlanes;
    const int shorts = v_int16::nlanes;
    int x = 0;
    for (; x + bytes <= cols; x += bytes) {
        v_uint16 t[2], m[2], b[2];
        v_expand(vx_load(top + x), t[0], t[1]);
        v_expand(vx_load(middle + x), m[0], m[1]);
        v_expand(vx_load(bottom + x), b[0], b[1]);
        for (int half = 0; half < 2; ++half) {
            const v_int16 tt = v_reinterpret_as_s16(t[half]);
            const v_int16 mm = v_reinterpret_as_s16(m[half]);
            const v_int16 bb = v_reinterpret_as_s16(b[half]);
            v_store(sum + x + shorts * half, tt + bb + mm + mm);
            v_store(difference + x + shorts * half, bb - tt);
        }
    }
    for (; x < cols; ++x) {
        sum[x] = int16_t(top[x] + 2 * middle[x] + bottom[x]);
        difference[x] = int16_t(bottom[x] - top[x]);
    }
    sum[-1] = sum[0];
    sum[cols] = sum[cols - 1];
    difference[-1] = difference[0];
    difference[cols] = difference[cols - 1];

    // Then across: dx = sum right - sum left, dy = left + 2 middle + right
    // of the differences; dx² + dy² by multiplying the interleaved pairs.
    const int ints = v_int32::nlanes;
    for (x = 0; x + shorts <= cols; x += shorts) {
        const v_int16 gx = vx_load(sum + x + 1) - vx_load(sum + x - 1);
        const v_int16 dm = vx_load(difference + x);
        const v_int16 gy = vx_load(difference + x - 1) + vx_load(difference + x + 1) + dm + dm;
        v_store(dx + x, gx);
        v_store(dy + x, gy);
        v_int16 low, high;
        v_zip(gx, gy, low, high);
        v_store(magnitude + x, v_dotprod(low, low));
        v_store(magnitude + x + ints, v_dotprod(high, high));
    }
    for (; x < cols; ++x) {
        dx[x] = int16_t(sum[x + 1] - sum[x - 1]);
        dy[x] = int16_t(difference[x - 1] + 2 * difference[x] + difference[x + 1]);
        magnitude[x] = dx[x] * dx[x] + dy[x] * dy[x];
    }
}

int QuietRun(const int* values, int count, int threshold)
{
    const int ints = v_int32::nlanes;
    const v_int32 limit = vx_setall_s32(threshold);
    int x = 0;
    for (; x + 2 * ints <= count; x += 2 * ints) {
        if (v_check_any((vx_load(values + x) > limit) | (vx_load(values + x + ints) > limit)))
            break;
    }
    return x;
}

void ClearValue(uint8_t* row, int count, uint8_t value)
{
    const v_uint8 cleared = vx_setall_u8(value);
    int x = 0;
    for (; x + v_uint8::nlanes <= count; x += v_uint8::nlanes) {
        const v_uint8 bytes = vx_load(row + x);
        v_store(row + x, bytes & ~(bytes == cleared));
    }
    for (; x < count; ++x) {
        if (row[x] == value)
            row[x] = 0;
    }
}

void GreyRow(const uint8_t* pixels, uint8_t* grey, int cols)
{
    // Each pixel's 32 bits split into its even bytes (first, third) and odd
    // bytes (second, fourth) as 16-bit pairs; one multiply-add of each with
    // its weights, and the two sums added, give the pixel's weighted sum.
    const v_uint32 lowBytes = vx_setall_u32(0x00ff00ffu);
    const v_int16 evenWeights = v_reinterpret_as_s16(vx_setall_s32(GreyWeights[0] | (GreyWeights[2] << 16)));
    const v_int16 oddWeights = v_reinterpret_as_s16(vx_setall_s32(GreyWeights[1]));
    const v_int32 rounding = vx_setall_s32(1 << (GreyShift - 1));
    const int ints = v_int32::nlanes;
    const auto some = [&](const uint8_t* at) {
        const v_uint32 bytes = v_reinterpret_as_u32(vx_load(at));
        const v_int32 even = v_dotprod(v_reinterpret_as_s16(bytes & lowBytes), evenWeights);
        const v_int32 odd = v_dotprod(v_reinterpret_as_s16(v_reinterpret_as_u16(bytes) >> 8), oddWeights);
        return v_shr<GreyShift>(even + odd + rounding);
    };
    int x = 0;
    for (; x + 2 * ints <= cols; x += 2 * ints)
        v_pack_u_store(grey + x, v_pack(some(pixels + 4 * x), some(pixels + 4 * (x + ints))));
    for (; x < cols; ++x) {
        const uint8_t* pixel = pixels + 4 * x;
        grey[x] = uint8_t((pixel[0] * GreyWeights[0] + pixel[1] * GreyWeights[1] + pixel[2] * GreyWeights[2]
                           + (1 << (GreyShift - 1))) >> GreyShift);
    }
}

void AddPairs(const uint16_t* in, uint16_t* out, int count)
{
    int i = 0;
    for (; i + v_uint16::nlanes <= count; i += v_uint16::nlanes)
        v_store(out + i, v_add_wrap(vx_load(in + i), vx_load(in + i + 1)));
    for (; i < count; ++i)
        out[i] = uint16_t(in[i] + in[i + 1]);
}

void BoxMeans(const uint16_t* pairs, const uint16_t* odd, int width, int half, int multiplier, int bits,
              uint8_t* out, int cols)
{
    const v_uint16 halves = vx_setall_u16(uint16_t(half));
    const v_uint16 multipliers = vx_setall_u16(uint16_t(multiplier));
    int x = 0;
    for (; x + v_uint16::nlanes <= cols; x += v_uint16::nlanes) {
        v_uint16 total = odd ? vx_load(odd + x) : vx_setzero_u16();
        for (int k = 0; k + 1 < width; k += 2)
            total = v_add_wrap(total, vx_load(pairs + x + k));
        v_pack_store(out + x, v_mul_hi(v_add_wrap(total, halves), multipliers) >> (bits - 1));
    }
    for (; x < cols; ++x) {
        int total = odd ? odd[x] : 0;
        for (int k = 0; k + 1 < width; k += 2)
            total += pairs[x + k];
        out[x] = uint8_t(((total + half) * multiplier) >> (15 + bits));
    }
}

void SlideSums(uint16_t* sums, const uint8_t* leaving, const uint8_t* entering, int cols)
{
    const int shorts = v_uint16::nlanes;
    int x = 0;
    for (; x + 2 * shorts <= cols; x += 2 * shorts) {
        v_uint16 in[2], out[2];
        v_expand(vx_load(entering + x), in[0], in[1]);
        v_expand(vx_load(leaving + x), out[0], out[1]);
        for (int half = 0; half < 2; ++half) {
            uint16_t* at = sums + x + shorts * half;
            v_store(at, v_sub_wrap(v_add_wrap(vx_load(at), in[half]), out[half]));
        }
    }
    for (; x < cols; ++x)
        sums[x] = uint16_t(sums[x] + entering[x] - leaving[x]);
}

// The first four bytes of a vector of 16-bit values packed to bytes.
inline void StorePixel(const v_uint16x8& value, uint8_t* out)
{
    uint8_t bytes[16];
    v_store(bytes, v_pack(value, value));
    std::memcpy(out, bytes, 4);
}

void BlockMeanRow(const uint8_t* const* rows, int k, int toCols, uint16_t* sums, uint8_t* out, bool mirrorColumns)
{
    // Down the block's k rows, summed in registers, a vector at a time.
    const int usedBytes = toCols * k * 4;
    const int shorts = v_uint16::nlanes;
    int i = 0;
    for (; i + 2 * shorts <= usedBytes; i += 2 * shorts) {
        v_uint16 low = vx_setzero_u16();
        v_uint16 high = vx_setzero_u16();
        for (int r = 0; r < k; ++r) {
            v_uint16 a, b;
            v_expand(vx_load(rows[r] + i), a, b);
            low = v_add_wrap(low, a);
            high = v_add_wrap(high, b);
        }
        v_store(sums + i, low);
        v_store(sums + i + shorts, high);
    }
    for (; i < usedBytes; ++i) {
        uint16_t sum = 0;
        for (int r = 0; r < k; ++r)
            sum = uint16_t(sum + rows[r][i]);
        sums[i] = sum;
    }
    // Then across, a pixel's four channels at a time: (sum + area / 2) *
    // reciprocal / 65536, the rounded mean or one more.
    const int area = k * k;
    const v_uint16x8 reciprocal = v_setall_u16(uint16_t((65536 + area - 1) / area));
    const v_uint16x8 half = v_setall_u16(uint16_t(area / 2));
    for (int x = 0; x < toCols; ++x) {
        const uint16_t* block = sums + x * k * 4;
        v_uint16x8 sum = v_load_low(block);
        for (int c = 1; c < k; ++c)
            sum = v_add_wrap(sum, v_load_low(block + c * 4));
        const int column = mirrorColumns ? toCols - 1 - x : x;
        StorePixel(v_mul_hi(v_add_wrap(sum, half), reciprocal), out + column * 4);
    }
}

void BlendRows(const uint8_t* a, const uint8_t* b, int upper, int lower, uint8_t* out, int bytes)
{
    const v_uint16 upperWeight = vx_setall_u16(uint16_t(upper));
    const v_uint16 lowerWeight = vx_setall_u16(uint16_t(lower));
    const v_uint16 half = vx_setall_u16(WeightHalf);
    // Half a vector of bytes widened per load and narrowed per store: no
    // lanes to reorder between the halves of a wide register.
    int i = 0;
    for (; i + v_uint16::nlanes <= bytes; i += v_uint16::nlanes) {
        const v_uint16 sum = v_add_wrap(v_mul_wrap(vx_load_expand(a + i), upperWeight),
                                        v_mul_wrap(vx_load_expand(b + i), lowerWeight));
        v_pack_store(out + i, v_shr<WeightShift>(v_add_wrap(sum, half)));
    }
    for (; i < bytes; ++i)
        out[i] = uint8_t((a[i] * upper + b[i] * lower + WeightHalf) >> WeightShift);
}

void SampleRow(const uint8_t* row, const int* offsets, const int16_t* weights, uint8_t* out, int cols)
{
    const v_uint16x8 half = v_setall_u16(WeightHalf);
    // One pixel pair per target pixel, its two pixels weighted and added:
    // the pixel's four channels in the low half.
    const auto pair = [&](int x) {
        const v_uint16x8 pixels = v_load_expand(row + offsets[x]);
        const v_uint16x8 weighted =
            v_mul_wrap(pixels, v_reinterpret_as_u16(v_load(weights + 8 * x)));
        return v_add_wrap(weighted, v_rotate_right<4>(weighted));
    };
    int x = 0;
    for (; x + 4 <= cols; x += 4) {
        const v_uint16x8 first = v_combine_low(pair(x), pair(x + 1));
        const v_uint16x8 second = v_combine_low(pair(x + 2), pair(x + 3));
        v_store(out + 4 * x, v_pack(v_shr<WeightShift>(v_add_wrap(first, half)),
                                    v_shr<WeightShift>(v_add_wrap(second, half))));
    }
    for (; x < cols; ++x)
        StorePixel(v_shr<WeightShift>(v_add_wrap(pair(x), half)), out + 4 * x);
}

// Streamed stores need the vector's own alignment.
inline bool IsVectorAligned(const uint8_t* at)
{
    return (reinterpret_cast<std::uintptr_t>(at) % sizeof(v_uint8)) == 0;
}

void StreamCopy(const uint8_t* in, uint8_t* out, std::size_t bytes)
{
    const std::size_t step = v_uint8::nlanes;
    std::size_t i = 0;
    for (; i < bytes && !IsVectorAligned(out + i); ++i)
        out[i] = in[i];
    for (; i + 4 * step <= bytes; i += 4 * step) {
        for (std::size_t part = 0; part < 4 * step; part += step)
            v_store_aligned_nocache(out + i + part, vx_load(in + i + part));
    }
    for (; i < bytes; ++i)
        out[i] = in[i];
}

void StreamAdd(const uint8_t* in, const uint8_t* noise, uint8_t* out, std::size_t bytes)
{
    const std::size_t step = v_uint8::nlanes;
    std::size_t i = 0;
    for (; i < bytes && !IsVectorAligned(out + i); ++i)
        out[i] = uint8_t(in[i] + noise[i]);
    for (; i + step <= bytes; i += step)
        v_store_aligned_nocache(out + i, v_add_wrap(vx_load(in + i), vx_load(noise + i)));
    for (; i < bytes; ++i)
        out[i] = uint8_t(in[i] + noise[i]);
}

void StreamFence()
{
#if defined(__SSE2__)
    // x86 streamed stores are weakly ordered; a release fence alone does not
    // order them.
    _mm_sfence();
#else
    std::atomic_thread_fence(std::memory_order_release);
#endif
}

#define LENTAVIO_SIMD_STRING(path) #path
#define LENTAVIO_SIMD_NAME(path) LENTAVIO_SIMD_STRING(path)
constexpr const char* PathName = LENTAVIO_SIMD_NAME(LENTAVIO_SIMD_PATH);

} // namespace

const PixelKernels& Table()
{
    static const PixelKernels kernels = {
        PathName, SobelRow,     QuietRun,  ClearValue, GreyRow,    AddPairs,    BoxMeans,   SlideSums,
        BlockMeanRow,       BlendRows,    SampleRow, StreamCopy, StreamAdd,  StreamFence,
    };
    return kernels;
}

} // namespace LENTAVIO_SIMD_PATH
} // namespace lentavio_simd
