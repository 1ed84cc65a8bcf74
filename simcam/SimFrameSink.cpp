#include "SimFrameSink.h"

#include <QAbstractVideoSurface>

#include <chrono>

SimFrameSink::SimFrameSink(QAbstractVideoSurface* surface, SimCameraSetup::DeliveryMode mode,
                           std::function<void()> wake)
    : m_Surface(surface)
    , m_Mode(mode)
    , m_Wake(std::move(wake))
{
}

bool SimFrameSink::Offer(const std::function<QVideoFrame()>& make)
{
    if (m_Mode == SimCameraSetup::DeliveryMode::Direct) {
        Present(make());
        return true;
    }
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Closed || m_Pending)
            return false;
        m_Pending = true;
    }
    const QVideoFrame frame = make();
    // The frame travels under the lock rather than inside a posted call, so
    // that the hand-over is one ThreadSanitizer can see; under the lock too,
    // so that no wake-up leaves once Close() has returned.
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_Closed)
        return false;
    m_Waiting = frame;
    m_Wake();
    return true;
}

void SimFrameSink::PresentWaiting()
{
    QVideoFrame frame;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        frame = m_Waiting;
        m_Waiting = QVideoFrame();
    }
    if (frame.isValid())
        Present(frame);
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Pending = false;
}

void SimFrameSink::Present(const QVideoFrame& frame)
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Closed)
            return;
        m_Presenting = true;
        m_PresentingThread = std::this_thread::get_id();
    }
    m_Surface->present(frame);
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Presenting = false;
    }
    m_Idle.notify_all();
}

bool SimFrameSink::Close(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Closed = true;
    // A present() that stops the camera itself must not wait for itself.
    if (m_Presenting && m_PresentingThread == std::this_thread::get_id())
        return true;
    return m_Idle.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !m_Presenting; });
}
