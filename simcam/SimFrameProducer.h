#pragma once

#include "SimCameraSetup.h"

#include <QVideoSurfaceFormat>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class SimFramePool;
class SimFrameRenderer;
class SimFrameSink;

// The thread that makes frames for one run of a camera: renders each frame
// on an absolute deadline at the set rate, hands it to the sink, and fakes
// the faults the camera was asked for. Owned by the camera on the GUI thread.
class SimFrameProducer
{
public:
    struct Setup
    {
        SimCameraSetup Setup;
        QVideoSurfaceFormat Format;
        int BytesPerLine = 0;
        qreal Rate = 30;
        std::shared_ptr<SimFrameRenderer> Renderer;  // prepared for Format
        std::shared_ptr<SimFramePool> Pool;
        std::shared_ptr<SimFrameSink> Sink;
        // Shared with the camera, which numbers on where this run ends.
        std::shared_ptr<std::atomic<quint32>> NextFrameNumber;
        // Called on the producer thread, never once Stop() has begun.
        std::function<void()> Started;
        std::function<void()> Lost;
    };

    explicit SimFrameProducer(Setup setup);
    ~SimFrameProducer();

    // Waits at most timeoutMs for the thread; one stuck in the program's
    // present() is left to end on its own and touches nothing after.
    void Stop(int timeoutMs);

private:
    struct Run;

    static void Loop(const std::shared_ptr<Run>& run);

    std::shared_ptr<Run> m_Run;
    std::thread m_Thread;
};
