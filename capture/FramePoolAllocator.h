#pragma once

#include <opencv2/core.hpp>

#include <cstddef>
#include <mutex>
#include <unordered_map>
#include <vector>

// OpenCV's matrix allocator for the whole process, recycling large buffers.
// A frame-sized buffer that the allocator hands back to the kernel costs a
// page fault per 4 KiB when it is next touched, several milliseconds per
// frame; this one keeps freed buffers of frame size and gives them to the
// next matrix of the same byte size. A buffer is only recycled once OpenCV's
// reference count has dropped to zero, so none is ever written while another
// stage still reads it. Small buffers go straight to OpenCV's own allocation.
//
// Install() once, before frames flow; the allocator is never destroyed, as
// matrices may outlive every other object. Safe to use from any thread.
class FramePoolAllocator : public cv::MatAllocator
{
public:
    static void Install();
    // Makes sure count buffers of this byte size exist, in use or free,
    // making the missing ones now and touching their memory. A caller that
    // knows how many it will hold at most calls this with its first buffer
    // of a size, so memory does not grow later, in steps of a frame, the
    // first time timing makes it hold one more. Does nothing before Install().
    static void Reserve(size_t bytes, int count);

    cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                           cv::AccessFlag flags, cv::UMatUsageFlags usageFlags) const override;
    bool allocate(cv::UMatData* data, cv::AccessFlag flags, cv::UMatUsageFlags usageFlags) const override;
    void deallocate(cv::UMatData* data) const override;

private:
    void* Take(size_t bytes) const;
    void Give(void* buffer, size_t bytes) const;
    // Frees the buffers of every size but bytes; m_Mutex held.
    void DropOtherSizes(size_t bytes) const;

    mutable std::mutex m_Mutex;
    // Free buffers by byte size, and the bytes they hold together.
    mutable std::unordered_map<size_t, std::vector<void*>> m_Free;
    mutable size_t m_FreeBytes = 0;
    // Pooled-size buffers alive, in use or free, by byte size.
    mutable std::unordered_map<size_t, int> m_Alive;
};
