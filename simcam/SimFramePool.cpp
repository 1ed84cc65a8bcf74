#include "SimFramePool.h"

namespace {

// A consumer holding more frames than this gets fresh memory for the rest,
// rather than the pool growing without bound.
constexpr size_t MaxSlots = 8;

}  // namespace

SimFramePool::SimFramePool(int bytesPerFrame)
    : m_BytesPerFrame(bytesPerFrame)
{
}

std::shared_ptr<SimFramePool::Slot> SimFramePool::Acquire()
{
    for (const std::shared_ptr<Slot>& slot : m_Slots) {
        // Acquire pairs with the release in the frame's buffer, so the last
        // reader is done with the pixels before they are overwritten.
        if (!slot->Busy.load(std::memory_order_acquire)) {
            slot->Busy.store(true, std::memory_order_relaxed);
            return slot;
        }
    }
    auto slot = std::make_shared<Slot>(m_BytesPerFrame);
    if (m_Slots.size() < MaxSlots)
        m_Slots.push_back(slot);
    return slot;
}
