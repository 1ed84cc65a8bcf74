#include "SimFrameProducer.h"

#include "SimFramePool.h"
#include "SimFrameRenderer.h"
#include "SimFrameSink.h"
#include "SimPresence.h"
#include "SimVideoBuffer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include <pthread.h>

using Clock = std::chrono::steady_clock;

struct SimFrameProducer::Run
{
    Setup Config;
    std::mutex Mutex;
    std::condition_variable Wake;
    std::condition_variable Done;
    bool Stopping = false;
    bool Finished = false;

    // False once stopping.
    bool WaitUntil(Clock::time_point deadline)
    {
        std::unique_lock<std::mutex> lock(Mutex);
        return !Wake.wait_until(lock, deadline, [this] { return Stopping; });
    }

    void Notify(const std::function<void()>& callback)
    {
        std::lock_guard<std::mutex> lock(Mutex);
        if (!Stopping && callback)
            callback();
    }

    QVideoFrame MakeFrame(quint32 number, qint64 startMicroseconds)
    {
        const auto every = [number](int n) { return n > 0 && (number + 1) % quint32(n) == 0; };
        const QSize size = Config.Format.frameSize();
        const int bytesPerLine = Config.BytesPerLine;
        std::shared_ptr<SimFramePool::Slot> slot = Config.Pool->Acquire();
        Config.Renderer->Render(number, slot->Bytes.get(), bytesPerLine);
        // Odd frames reuse the same pixels: a smaller frame is the top-left
        // part of a whole one, an undeclared format is the same bytes relabelled.
        const QSize frameSize = every(Config.Setup.BadSizeEvery) ? size / 2 : size;
        const QVideoFrame::PixelFormat format =
            every(Config.Setup.BadFormatEvery) ? QVideoFrame::Format_RGB565 : Config.Format.pixelFormat();
        QVideoFrame frame(new SimVideoBuffer(std::move(slot), bytesPerLine * size.height(), bytesPerLine,
                                             !every(Config.Setup.UnmappableEvery)),
                          frameSize, format);
        frame.setStartTime(startMicroseconds);
        return frame;
    }
};

SimFrameProducer::SimFrameProducer(Setup setup)
    : m_Run(std::make_shared<Run>())
{
    m_Run->Config = std::move(setup);
    m_Thread = std::thread(&SimFrameProducer::Loop, m_Run);
}

SimFrameProducer::~SimFrameProducer()
{
    Stop(0);
}

void SimFrameProducer::Stop(int timeoutMs)
{
    if (!m_Thread.joinable())
        return;
    std::unique_lock<std::mutex> lock(m_Run->Mutex);
    m_Run->Stopping = true;
    m_Run->Wake.notify_all();
    const bool finished =
        m_Run->Done.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_Run->Finished; });
    lock.unlock();
    if (finished)
        m_Thread.join();
    else
        m_Thread.detach();
}

void SimFrameProducer::Loop(const std::shared_ptr<Run>& run)
{
    // So that it can be told from the program's own threads (top -H, the
    // benchmark's accounting).
    pthread_setname_np(pthread_self(), "simcam");
    const Setup& setup = run->Config;
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / setup.Rate));
    const Clock::time_point origin = Clock::now() + std::chrono::milliseconds(setup.Setup.SlowStartMs);
    Clock::time_point deadline = origin;
    if (run->WaitUntil(deadline)) {
        run->Notify(setup.Started);
        for (int made = 0;; ++made) {
            const bool lost = setup.Setup.LostAfter > 0 && made >= setup.Setup.LostAfter;
            if (lost || !SimPresence::IsPresent(setup.Setup.DeviceName)) {
                run->Notify(setup.Lost);
                break;
            }
            const qint64 start = std::chrono::duration_cast<std::chrono::microseconds>(deadline - origin).count();
            const quint32 number = setup.NextFrameNumber->fetch_add(1);
            // A dropped frame keeps its number: the numbers skip, as they
            // do for a camera whose frames the program did not take.
            setup.Sink->Offer([&run, number, start] { return run->MakeFrame(number, start); });
            deadline += period;
            // Behind by more than a frame (a busy machine): skip, don't burst.
            const Clock::time_point now = Clock::now();
            if (now > deadline + period)
                deadline = now;
            if (!run->WaitUntil(deadline))
                break;
        }
    }
    std::lock_guard<std::mutex> lock(run->Mutex);
    run->Finished = true;
    run->Done.notify_all();
}
