#include "PixelKernels.h"

#include <opencv2/core/utility.hpp>

#include <cstdlib>
#include <cstring>

// Each build of the kernels' source gives its table.
namespace lentavio_simd {
namespace plain {
const PixelKernels& Table();
}
namespace baseline {
const PixelKernels& Table();
}
#if defined(LENTAVIO_SIMD_HAS_AVX2)
namespace avx2 {
const PixelKernels& Table();
}
#endif
} // namespace lentavio_simd

namespace {

const PixelKernels* Widest()
{
#if defined(LENTAVIO_SIMD_HAS_AVX2)
    // The AVX2 build is also compiled for the FMA and POPCNT that every
    // processor with AVX2 has.
    if (cv::checkHardwareSupport(CV_CPU_AVX2) && cv::checkHardwareSupport(CV_CPU_FMA3)
        && cv::checkHardwareSupport(CV_CPU_POPCNT))
        return &lentavio_simd::avx2::Table();
#endif
    return &lentavio_simd::baseline::Table();
}

const PixelKernels* Chosen()
{
    const PixelKernels* widest = Widest();
    const char* forced = std::getenv("LENTAVIO_SIMD");
    if (!forced)
        return widest;
    // Only a path no wider than the processor's.
    for (const PixelKernels* path : {&lentavio_simd::plain::Table(), &lentavio_simd::baseline::Table(), widest}) {
        if (std::strcmp(forced, path->Name) == 0)
            return path;
    }
    return widest;
}

} // namespace

const PixelKernels& Kernels()
{
    static const PixelKernels* const chosen = Chosen();
    return *chosen;
}
