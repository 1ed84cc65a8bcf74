#pragma once

#include "SimCameraSetup.h"

#include <QVideoFrame>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class QAbstractVideoSurface;

// Hands frames from the producer thread to a surface, for one run of the
// camera. Queued: present() runs on the surface's thread, and a frame offered
// while the previous one still waits there is dropped before it is made, so
// the producer never waits on the program and, like a real camera, costs it
// no CPU for frames nobody sees. Direct: present() runs on the producer thread.
// Once Close() returns, no present() starts; shared, because a queued frame
// may outlive the run that offered it.
class SimFrameSink : public std::enable_shared_from_this<SimFrameSink>
{
public:
    SimFrameSink(QAbstractVideoSurface* surface, SimCameraSetup::DeliveryMode mode);

    // Producer thread. make() is called only for a frame that is handed on;
    // false when it was dropped.
    bool Offer(const std::function<QVideoFrame()>& make);
    // Waits at most timeoutMs for a present() under way on another thread;
    // false if it is still running then.
    bool Close(int timeoutMs);

private:
    void Present(const QVideoFrame& frame);

    QAbstractVideoSurface* m_Surface;
    SimCameraSetup::DeliveryMode m_Mode;
    std::mutex m_Mutex;
    std::condition_variable m_Idle;
    bool m_Closed = false;
    bool m_Pending = false;
    bool m_Presenting = false;
    std::thread::id m_PresentingThread;
};
