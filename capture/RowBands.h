#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Work on the rows of a picture in two bands at once: the upper band on a
// helper thread kept for the purpose, the lower one on the calling thread.
// Every frame is copied and scaled on the user-interface thread; this keeps
// that thread's share of it to about half, so the window answers sooner.
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
    // once, and returns when all have returned. Fewer than two bands' worth
    // of rows run in one band on the calling thread. One caller at a time;
    // job must not throw.
    void Run(int rows, const std::function<void(int begin, int end)>& job);

private:
    void Loop(const char* threadName);

    std::mutex m_Mutex;
    std::condition_variable m_Wake;
    std::condition_variable m_Done;
    const std::function<void(int, int)>* m_Job = nullptr;
    int m_End = 0;
    bool m_Stopping = false;
    // Last, so that it starts once the rest is set up.
    std::thread m_Thread;
};
