#pragma once

#include <QtGlobal>

#include <array>
#include <atomic>

// The picture adjustments of one synthetic camera: brightness, contrast and
// saturation, each from -1 to 1 with 0 leaving the picture alone. Set on the
// camera's thread, read by its producer for every frame.
//
// Per channel level v of a pixel whose channels average g:
//   saturated = g + (v - g) * (1 + saturation)
//   out = (saturated - 128) * (1 + contrast) + 128 + 128 * brightness
// each step rounded and kept within 0..255.
class SimImageAdjust
{
public:
    enum Setting { Brightness, Contrast, Saturation, SettingCount };

    qreal Get(Setting setting) const;
    // Values outside -1..1 are clamped.
    void Set(Setting setting, qreal value);

    // Adjusts the pixels of a frame in place; the fourth byte of a 32-bit
    // pixel is left alone.
    void Apply(uchar* bits, int bytesPerLine, int width, int height, int bytesPerPixel) const;

private:
    // Thousandths, so that a value is read whole without a lock.
    std::array<std::atomic<int>, SettingCount> m_Values{};
};
