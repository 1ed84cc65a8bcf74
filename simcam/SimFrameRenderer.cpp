#include "SimFrameRenderer.h"

#include "SimFrameStamp.h"

#include "PixelKernels.h"

#include <QRandomGenerator>

#include <cstring>

namespace {

// Small enough to stay in the second-level cache.
constexpr int NoiseSpan = 192 * 1024;

}  // namespace

SimFrameRenderer::SimFrameRenderer(std::unique_ptr<SimScene> scene, int noiseLevel)
    : m_Scene(std::move(scene))
    , m_NoiseLevel(noiseLevel)
{
}

bool SimFrameRenderer::Prepare(QSize size, int bytesPerPixel, QString* error)
{
    if (!m_Scene->Prepare(size, bytesPerPixel, error))
        return false;
    m_Size = size;
    m_BytesPerPixel = bytesPerPixel;
    const int rowBytes = size.width() * bytesPerPixel;
    // Big frames are written past the caches, as a camera's transfers into
    // memory are.
    m_Streamed = size_t(rowBytes) * size_t(size.height()) > StreamedFrameBytes;
    // Offsets are whole pixels, so the fourth byte of RGB32 never gets noise.
    m_NoiseOffsets = NoiseSpan / bytesPerPixel;
    m_Noise.assign(size_t(m_NoiseOffsets) * bytesPerPixel + rowBytes, 0);
    if (m_NoiseLevel > 0) {
        QRandomGenerator random(7);
        for (size_t i = 0; i < m_Noise.size(); ++i) {
            if (i % bytesPerPixel == 3)
                continue;
            // The sum of two uniform draws: most values small, like a sensor.
            const int level = (random.bounded(-m_NoiseLevel, m_NoiseLevel + 1)
                               + random.bounded(-m_NoiseLevel, m_NoiseLevel + 1)) / 2;
            m_Noise[i] = uchar(qint8(level));
        }
    }
    return true;
}

void SimFrameRenderer::SetAdjust(std::shared_ptr<const SimImageAdjust> adjust)
{
    m_Adjust = std::move(adjust);
}

void SimFrameRenderer::Render(quint32 frameNumber, uchar* bits, int bytesPerLine)
{
    const uchar* picture = m_Scene->Picture(frameNumber);
    const int rowBytes = m_Size.width() * m_BytesPerPixel;
    quint64 state = quint64(frameNumber) * 0x9E3779B97F4A7C15ull + 1;
    for (int y = 0; y < m_Size.height(); ++y) {
        const uchar* __restrict in = picture + size_t(y) * rowBytes;
        uchar* __restrict out = bits + size_t(y) * bytesPerLine;
        if (m_NoiseLevel == 0) {
            std::memcpy(out, in, size_t(rowBytes));
            continue;
        }
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const uchar* __restrict noise = m_Noise.data() + size_t((state >> 33) % quint64(m_NoiseOffsets)) * m_BytesPerPixel;
        // Scene levels leave room for the noise, so bytes add without clamping.
        if (m_Streamed) {
            Kernels().StreamAdd(in, noise, out, size_t(rowBytes));
            continue;
        }
        for (int i = 0; i < rowBytes; ++i)
            out[i] = uchar(in[i] + noise[i]);
    }
    if (m_Streamed)
        Kernels().StreamFence();
    if (m_Adjust)
        m_Adjust->Apply(bits, bytesPerLine, m_Size.width(), m_Size.height(), m_BytesPerPixel);
    SimFrameStamp::Write(bits, bytesPerLine, m_BytesPerPixel, frameNumber);
}
