#include "SimImageAdjust.h"

#include <cmath>

namespace {

constexpr qreal Scale = 1000.0;

int Level(qreal value)
{
    return qBound(0, int(std::lround(value)), 255);
}

}  // namespace

qreal SimImageAdjust::Get(Setting setting) const
{
    return m_Values[setting].load(std::memory_order_relaxed) / Scale;
}

void SimImageAdjust::Set(Setting setting, qreal value)
{
    m_Values[setting].store(int(std::lround(qBound(-1.0, value, 1.0) * Scale)), std::memory_order_relaxed);
}

void SimImageAdjust::Apply(uchar* bits, int bytesPerLine, int width, int height, int bytesPerPixel) const
{
    const qreal brightness = Get(Brightness);
    const qreal contrast = Get(Contrast);
    const qreal saturation = Get(Saturation);
    if (brightness == 0 && contrast == 0 && saturation == 0)
        return;
    std::array<uchar, 256> levels;
    for (int v = 0; v < 256; ++v)
        levels[size_t(v)] = uchar(Level((v - 128) * (1 + contrast) + 128 + 128 * brightness));
    for (int y = 0; y < height; ++y) {
        uchar* pixel = bits + qint64(y) * bytesPerLine;
        for (int x = 0; x < width; ++x, pixel += bytesPerPixel) {
            if (saturation != 0) {
                const qreal grey = (pixel[0] + pixel[1] + pixel[2]) / 3.0;
                for (int c = 0; c < 3; ++c)
                    pixel[c] = uchar(Level(grey + (pixel[c] - grey) * (1 + saturation)));
            }
            for (int c = 0; c < 3; ++c)
                pixel[c] = levels[pixel[c]];
        }
    }
}
