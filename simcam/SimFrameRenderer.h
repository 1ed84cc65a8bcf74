#pragma once

#include "SimImageAdjust.h"
#include "SimScene.h"

#include <memory>
#include <vector>

// Turns a scene into frames: adds sensor noise and writes the frame stamp.
// Noise comes from a small precomputed table read at a fresh offset on every
// row, so a frame costs about one pass of byte additions. Producer thread only.
class SimFrameRenderer
{
public:
    SimFrameRenderer(std::unique_ptr<SimScene> scene, int noiseLevel);

    bool Prepare(QSize size, int bytesPerPixel, QString* error);
    // Adjustments applied to every frame from now on, before its stamp.
    void SetAdjust(std::shared_ptr<const SimImageAdjust> adjust);
    // bytesPerLine >= width * bytesPerPixel; bytes past a row's pixels are left alone.
    void Render(quint32 frameNumber, uchar* bits, int bytesPerLine);

private:
    std::unique_ptr<SimScene> m_Scene;
    int m_NoiseLevel;
    QSize m_Size;
    int m_BytesPerPixel = 4;
    int m_NoiseOffsets = 0;
    std::vector<uchar> m_Noise;
    // Frames too big for the caches are written past them.
    bool m_Streamed = false;
    std::shared_ptr<const SimImageAdjust> m_Adjust;
};
