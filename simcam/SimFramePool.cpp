#include "SimFramePool.h"

#include <algorithm>

namespace {

// A consumer holding more frames than this gets fresh memory for the rest,
// rather than the pool growing without bound.
constexpr size_t MaxSlots = 8;

}  // namespace

SimFramePool::SimFramePool(int bytesPerFrame, int readySlots)
    : m_BytesPerFrame(bytesPerFrame)
{
    for (size_t i = 0; i < std::min(size_t(std::max(readySlots, 0)), MaxSlots); ++i) {
        m_Slots.push_back(std::make_shared<Slot>(m_BytesPerFrame));
        m_Slots.back()->Busy.store(false, std::memory_order_relaxed);
    }
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
