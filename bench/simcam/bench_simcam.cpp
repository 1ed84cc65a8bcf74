// Time to produce one synthetic camera frame at three sizes, in both pixel
// formats, on one core: the scene (drifting holes), noise, stamp and the
// QVideoFrame around pooled memory; everything the producer does but wait.
//
// bench_simcam [frames per size]

#include "SimFramePool.h"
#include "SimFrameRenderer.h"
#include "SimFrameStamp.h"
#include "SimHoleScene.h"
#include "SimVideoBuffer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QVideoFrame>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Result
{
    double MeanMs;
    double MedianMs;
    double P90Ms;
    double WorstMs;
    double PrepareMs;
};

Result Measure(QSize size, QVideoFrame::PixelFormat format, int frames)
{
    const int bytesPerPixel = format == QVideoFrame::Format_RGB32 ? 4 : 3;
    const int bytesPerLine = size.width() * bytesPerPixel;
    QElapsedTimer clock;
    clock.start();
    SimFrameRenderer renderer(std::make_unique<SimHoleScene>(0.5), 3);
    QString error;
    renderer.Prepare(size, bytesPerPixel, &error);
    SimFramePool pool(bytesPerLine * size.height(), 1);
    const double prepareMs = clock.nsecsElapsed() / 1e6;

    std::vector<double> times;
    times.reserve(size_t(frames));
    quint32 checksum = 0;
    for (int n = 0; n < frames; ++n) {
        clock.restart();
        std::shared_ptr<SimFramePool::Slot> slot = pool.Acquire();
        renderer.Render(quint32(n), slot->Bytes.get(), bytesPerLine);
        QVideoFrame frame(new SimVideoBuffer(std::move(slot), bytesPerLine * size.height(), bytesPerLine, true),
                          size, format);
        times.push_back(clock.nsecsElapsed() / 1e6);
        // Read the stamp back so the work cannot be optimised away.
        frame.map(QAbstractVideoBuffer::ReadOnly);
        checksum += SimFrameStamp::Read(frame.bits(), size.width(), size.height(), bytesPerLine, bytesPerPixel)
                        .value_or(0xffffffffu);
        frame.unmap();
    }
    if (checksum != quint32(frames) * quint32(frames - 1) / 2)
        std::fprintf(stderr, "stamps did not read back\n");
    double sum = 0;
    for (double t : times)
        sum += t;
    std::sort(times.begin(), times.end());
    return {sum / frames, times[times.size() / 2], times[times.size() * 9 / 10], times.back(), prepareMs};
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int frames = argc > 1 ? std::max(10, atoi(argv[1])) : 300;
    std::printf("synthetic camera: time to produce one frame (%d frames per row, one core)\n", frames);
    // The tail is the frames where the holes drift a step and are redrawn.
    std::printf("%-11s %-6s %9s %9s %9s %9s %11s\n", "size", "format", "mean ms", "median", "90%", "worst",
                "prepare ms");
    for (const QSize size : {QSize(640, 480), QSize(1920, 1080), QSize(3840, 2160)}) {
        for (const QVideoFrame::PixelFormat format : {QVideoFrame::Format_RGB32, QVideoFrame::Format_BGR24}) {
            const Result result = Measure(size, format, frames);
            std::printf("%4dx%-6d %-6s %9.3f %9.3f %9.3f %9.3f %11.1f\n", size.width(), size.height(),
                        format == QVideoFrame::Format_RGB32 ? "rgb32" : "bgr24", result.MeanMs, result.MedianMs,
                        result.P90Ms, result.WorstMs, result.PrepareMs);
        }
    }
    return 0;
}
