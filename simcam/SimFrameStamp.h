#pragma once

#include <QImage>
#include <QtGlobal>

#include <optional>

// The frame number the synthetic camera writes into the top-left corner of
// every frame, so tests and benchmarks can tell frames apart and measure
// latency. Two rows of 32 blocks of 8 x 8 pixels, most significant bit first,
// white for a one; the second row repeats the bits inverted, so a picture
// without a stamp reads as nothing rather than as frame 0.
// Header-only: readers include it without linking the camera.
class SimFrameStamp
{
public:
    static constexpr int Bits = 32;
    static constexpr int Block = 8;
    static constexpr int Width = Bits * Block;
    static constexpr int Height = 2 * Block;

    // Pixels are B,G,R (RGB32 adds a fourth byte, left as it is); the caller
    // guarantees at least Width x Height pixels.
    static void Write(uchar* bits, int bytesPerLine, int bytesPerPixel, quint32 number)
    {
        for (int row = 0; row < Height; ++row) {
            uchar* pixel = bits + row * bytesPerLine;
            const bool inverted = row >= Block;
            for (int bit = 0; bit < Bits; ++bit) {
                const bool one = (((number >> (Bits - 1 - bit)) & 1u) != 0) != inverted;
                const uchar level = one ? 255 : 0;
                for (int i = 0; i < Block; ++i, pixel += bytesPerPixel)
                    pixel[0] = pixel[1] = pixel[2] = level;
            }
        }
    }

    // Only brightness counts, so RGB32 and BGR24 read alike.
    static std::optional<quint32> Read(const uchar* bits, int width, int height, int bytesPerLine,
                                       int bytesPerPixel)
    {
        if (!bits || width < Width || height < Height || bytesPerPixel < 3)
            return std::nullopt;
        quint32 number = 0;
        for (int bit = 0; bit < Bits; ++bit) {
            const int offset = (bit * Block + Block / 2) * bytesPerPixel;
            const bool one = IsLight(bits + (Block / 2) * bytesPerLine + offset);
            const bool check = IsLight(bits + (Block + Block / 2) * bytesPerLine + offset);
            if (one == check)
                return std::nullopt;
            number = (number << 1) | (one ? 1u : 0u);
        }
        return number;
    }

    static std::optional<quint32> Read(const QImage& image)
    {
        if (image.width() < Width || image.height() < Height)
            return std::nullopt;
        const QImage strip = image.copy(0, 0, Width, Height).convertToFormat(QImage::Format_RGB32);
        return Read(strip.constBits(), strip.width(), strip.height(), strip.bytesPerLine(), 4);
    }

private:
    static bool IsLight(const uchar* pixel) { return pixel[0] + pixel[1] + pixel[2] > 3 * 128; }
};
