#pragma once

#include <atomic>
#include <thread>

// The process's resident memory, sampled every few milliseconds on a thread
// of its own so that its peak is seen even while the user-interface thread
// is blocked. Child side.
class ResidentMemory
{
public:
    ~ResidentMemory();

    // VmRSS of this process, in kB; -1 if it cannot be read.
    static long CurrentKb();

    // Takes the baseline now and samples until destroyed.
    void Start();
    long BaselineKb() const;
    long PeakKb() const;

private:
    std::atomic<long> m_BaselineKb{-1};
    std::atomic<long> m_PeakKb{-1};
    std::atomic<bool> m_Stopping{false};
    std::thread m_Sampler;
};
