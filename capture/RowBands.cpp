#include "RowBands.h"

#include <pthread.h>

namespace {

// Below this many rows a band is not worth the hand-over.
constexpr int MinBandRows = 32;

} // namespace

RowBands::RowBands(const char* threadName)
    : m_Thread(&RowBands::Loop, this, threadName)
{
}

RowBands::~RowBands()
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Stopping = true;
    }
    m_Wake.notify_one();
    m_Thread.join();
}

void RowBands::Run(int rows, const std::function<void(int begin, int end)>& job)
{
    if (rows < 2 * MinBandRows) {
        job(0, rows);
        return;
    }
    const int split = rows / 2;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Job = &job;
        m_End = split;
    }
    m_Wake.notify_one();
    job(split, rows);
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Done.wait(lock, [this] { return m_Job == nullptr; });
}

void RowBands::Loop(const char* threadName)
{
    pthread_setname_np(pthread_self(), threadName);
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
        m_Wake.wait(lock, [this] { return m_Stopping || m_Job != nullptr; });
        if (m_Stopping)
            return;
        const std::function<void(int, int)>& job = *m_Job;
        const int end = m_End;
        lock.unlock();
        job(0, end);
        lock.lock();
        m_Job = nullptr;
        m_Done.notify_one();
    }
}
