#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Work on the rows of a picture by two threads at once: the calling thread
// and a helper thread kept for the purpose. A frame's copy (on the
// user-interface thread) and its scaling for the view lie on the way from
// camera to screen; sharing each between two cores about halves its time.
//
// The rows are cut into bands that both threads take in turn, so the caller
// never waits for a helper that has not started yet (the other core may be
// busy): it takes the bands itself and waits at most for the one the helper
// is working on.
//
// Not OpenCV's threads: OpenCV runs every parallel loop of the process on one
// thread while any thread is inside one, so the window and the frame worker
// would take turns slowing each other down.
class RowBands
{
public:
    // threadName: what the helper thread is called (top -H), at most 15
    // characters.
    explicit RowBands(const char* threadName);
    // Waits for nothing: Run() has always returned before.
    ~RowBands();
    RowBands(const RowBands&) = delete;
    RowBands& operator=(const RowBands&) = delete;

    // Calls job(begin, end) for bands that together cover rows [0, rows)
    // once, some on the calling thread and some on the helper, and returns
    // when all have returned. Too few rows to share run in one band on the
    // calling thread. One caller at a time; job must not throw.
    void Run(int rows, const std::function<void(int begin, int end)>& job);

private:
    struct Work
    {
        const std::function<void(int, int)>* Job;
        int Rows;
        int BandRows;
    };

    void Loop(const char* threadName);
    // Takes bands until none are left.
    void TakeBands(const Work& work);

    std::mutex m_Mutex;
    std::condition_variable m_Wake;
    std::condition_variable m_Done;
    // The work on offer, and which offer it is; the helper takes each once.
    Work m_Work{nullptr, 0, 0};
    unsigned m_Offer = 0;
    bool m_HelperWorking = false;
    bool m_Stopping = false;
    std::atomic<int> m_NextBand{0};
    // Last, so that it starts once the rest is set up.
    std::thread m_Thread;
};
