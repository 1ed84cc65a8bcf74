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
// camera. Queued: the frame waits here and wake() asks the camera's thread
// to present it with PresentWaiting() there; a frame offered while the previous one
// still waits is dropped before it is made, so the producer never waits on
// the program and, like a real camera, costs it no CPU for frames nobody sees.
// Direct: present() runs on the producer thread. Once Close() returns, no
// present() starts and wake() is not called again; shared with the producer,
// which may outlive the run when it is stuck in a direct present().
class SimFrameSink
{
public:
    SimFrameSink(QAbstractVideoSurface* surface, SimCameraSetup::DeliveryMode mode, std::function<void()> wake);

    // Producer thread. make() is called only for a frame that is handed on;
    // false when it was dropped.
    bool Offer(const std::function<QVideoFrame()>& make);
    // Queued: presents the waiting frame, if any. The camera's thread.
    void PresentWaiting();
    // Waits at most timeoutMs for a present() under way on another thread;
    // false if it is still running then.
    bool Close(int timeoutMs);

private:
    void Present(const QVideoFrame& frame);

    QAbstractVideoSurface* m_Surface;
    SimCameraSetup::DeliveryMode m_Mode;
    std::function<void()> m_Wake;
    std::mutex m_Mutex;
    std::condition_variable m_Idle;
    bool m_Closed = false;
    // A frame is being made or waits in m_Waiting.
    bool m_Pending = false;
    QVideoFrame m_Waiting;
    bool m_Presenting = false;
    std::thread::id m_PresentingThread;
};
