#include "RowBands.h"

#include <pthread.h>

#include <algorithm>

namespace {

// Below this many rows a band is not worth handing over.
constexpr int MinBandRows = 32;
// Bands per run: small enough that a late helper still takes its share,
// large enough that taking one costs nothing to speak of.
constexpr int Bands = 8;

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
    const Work work{&job, rows, std::max(MinBandRows, (rows + Bands - 1) / Bands)};
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_NextBand.store(0, std::memory_order_relaxed);
        m_Work = work;
        ++m_Offer;
    }
    m_Wake.notify_one();
    TakeBands(work);
    std::unique_lock<std::mutex> lock(m_Mutex);
    // A helper that has not taken the offer yet finds nothing left on it.
    m_Work.Job = nullptr;
    m_Done.wait(lock, [this] { return !m_HelperWorking; });
}

void RowBands::TakeBands(const Work& work)
{
    for (;;) {
        const int begin = m_NextBand.fetch_add(1, std::memory_order_relaxed) * work.BandRows;
        if (begin >= work.Rows)
            return;
        (*work.Job)(begin, std::min(work.Rows, begin + work.BandRows));
    }
}

void RowBands::Loop(const char* threadName)
{
    pthread_setname_np(pthread_self(), threadName);
    unsigned taken = 0;
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
        m_Wake.wait(lock, [&] { return m_Stopping || (m_Work.Job && m_Offer != taken); });
        if (m_Stopping)
            return;
        taken = m_Offer;
        const Work work = m_Work;
        m_HelperWorking = true;
        lock.unlock();
        TakeBands(work);
        lock.lock();
        m_HelperWorking = false;
        m_Done.notify_one();
    }
}
