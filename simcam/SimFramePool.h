#pragma once

#include <QtGlobal>

#include <atomic>
#include <memory>
#include <vector>

// Pixel memory for frames, reused once no frame refers to it any more, so the
// producer does not allocate in steady state. Acquire() on the producer
// thread only; a slot is released from whichever thread drops its last frame.
class SimFramePool
{
public:
    struct Slot
    {
        explicit Slot(int bytes)
            : Bytes(new uchar[size_t(bytes)]())
        {
        }
        std::unique_ptr<uchar[]> Bytes;
        std::atomic<bool> Busy{true};
    };

    // readySlots are made (and their memory touched) at once, so a camera
    // whose frames are held no longer than that keeps flat memory from its
    // first frame on, as a real camera's buffers do.
    SimFramePool(int bytesPerFrame, int readySlots);

    // Marked busy; the frame holding it clears the mark when it goes.
    std::shared_ptr<Slot> Acquire();

private:
    int m_BytesPerFrame;
    std::vector<std::shared_ptr<Slot>> m_Slots;
};
