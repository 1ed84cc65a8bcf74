#include "FramePoolAllocator.h"

#include <atomic>

namespace
{
// Below this, the C allocator recycles without trouble.
constexpr size_t kMinPooledBytes = size_t(256) << 10;
// Enough for every buffer a 4K frame needs in flight at once, with room to
// spare; beyond it, freed buffers really go.
constexpr size_t kMaxFreeBytes = size_t(512) << 20;

std::atomic<FramePoolAllocator*> g_Installed{nullptr};
}

void FramePoolAllocator::Install()
{
    // Never deleted: matrices released at exit still come back to it.
    static FramePoolAllocator* const allocator = new FramePoolAllocator;
    cv::Mat::setDefaultAllocator(allocator);
    g_Installed.store(allocator);
}

void FramePoolAllocator::Reserve(size_t bytes, int count)
{
    FramePoolAllocator* const pool = g_Installed.load();
    if (!pool || bytes < kMinPooledBytes)
        return;
    int missing = 0;
    {
        std::lock_guard<std::mutex> lock(pool->m_Mutex);
        const auto alive = pool->m_Alive.find(bytes);
        missing = count - (alive == pool->m_Alive.end() ? 0 : alive->second);
        if (missing <= 0)
            return;
        // Counted now, so that a second caller does not make them as well.
        pool->m_Alive[bytes] += missing;
    }
    for (int i = 0; i < missing; ++i) {
        void* buffer = cv::fastMalloc(bytes);
        // A write to every page, so each is really there; not memset, which
        // some allocators turn into a remapping of fresh zero pages.
        auto* pages = static_cast<volatile char*>(buffer);
        for (size_t offset = 0; offset < bytes; offset += 4096)
            pages[offset] = 0;
        pool->Give(buffer, bytes);
    }
}

cv::UMatData* FramePoolAllocator::allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                                           cv::AccessFlag, cv::UMatUsageFlags) const
{
    size_t total = CV_ELEM_SIZE(type);
    for (int i = dims - 1; i >= 0; --i) {
        if (step) {
            if (data && step[i] != cv::Mat::AUTO_STEP) {
                CV_Assert(total <= step[i]);
                total = step[i];
            } else {
                step[i] = total;
            }
        }
        total *= size_t(sizes[i]);
    }

    auto* u = new cv::UMatData(this);
    u->size = total;
    if (data) {
        u->data = u->origdata = static_cast<uchar*>(data);
        u->flags |= cv::UMatData::USER_ALLOCATED;
    } else {
        u->data = u->origdata = static_cast<uchar*>(Take(total));
    }
    return u;
}

bool FramePoolAllocator::allocate(cv::UMatData* data, cv::AccessFlag, cv::UMatUsageFlags) const
{
    return data != nullptr;
}

void FramePoolAllocator::deallocate(cv::UMatData* data) const
{
    if (!data)
        return;
    CV_Assert(data->urefcount == 0 && data->refcount == 0);
    if (!(data->flags & cv::UMatData::USER_ALLOCATED))
        Give(data->origdata, data->size);
    delete data;
}

void* FramePoolAllocator::Take(size_t bytes) const
{
    if (bytes >= kMinPooledBytes) {
        std::lock_guard<std::mutex> lock(m_Mutex);
        const auto free = m_Free.find(bytes);
        if (free != m_Free.end() && !free->second.empty()) {
            void* buffer = free->second.back();
            free->second.pop_back();
            m_FreeBytes -= bytes;
            return buffer;
        }
        ++m_Alive[bytes];
    }
    return cv::fastMalloc(bytes);
}

void FramePoolAllocator::Give(void* buffer, size_t bytes) const
{
    if (bytes >= kMinPooledBytes) {
        std::lock_guard<std::mutex> lock(m_Mutex);
        // Buffers of another size belong to a camera or size no longer in use.
        if (m_FreeBytes + bytes > kMaxFreeBytes)
            DropOtherSizes(bytes);
        if (m_FreeBytes + bytes <= kMaxFreeBytes) {
            m_Free[bytes].push_back(buffer);
            m_FreeBytes += bytes;
            return;
        }
        --m_Alive[bytes];
    }
    cv::fastFree(buffer);
}

void FramePoolAllocator::DropOtherSizes(size_t bytes) const
{
    for (auto free = m_Free.begin(); free != m_Free.end();) {
        if (free->first == bytes) {
            ++free;
            continue;
        }
        for (void* buffer : free->second)
            cv::fastFree(buffer);
        m_FreeBytes -= free->first * free->second.size();
        m_Alive[free->first] -= int(free->second.size());
        free = m_Free.erase(free);
    }
}
