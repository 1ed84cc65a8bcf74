#include "PicturePool.h"

namespace
{
// The label shows one picture while the next is drawn; a few more cover
// copies held a little longer. Past this, pictures are not pooled.
constexpr size_t kMaxBuffers = 4;
}

struct PicturePool::Buffer
{
    explicit Buffer(size_t bytes)
        : Bytes(new uchar[bytes])
    {
    }
    std::unique_ptr<uchar[]> Bytes;
};

QImage PicturePool::Take(const QSize& size)
{
    if (size != m_Size) {
        m_Buffers.clear();
        m_Size = size;
    }
    const int bytesPerLine = size.width() * 4;
    std::shared_ptr<Buffer> buffer;
    for (const std::shared_ptr<Buffer>& candidate : m_Buffers) {
        if (candidate.use_count() == 1) {
            buffer = candidate;
            break;
        }
    }
    if (!buffer) {
        buffer = std::make_shared<Buffer>(size_t(bytesPerLine) * size_t(size.height()));
        if (m_Buffers.size() < kMaxBuffers)
            m_Buffers.push_back(buffer);
    }
    // Writable data, so painting on the picture never copies it; the image
    // keeps the buffer alive, also past the pool.
    return QImage(buffer->Bytes.get(), size.width(), size.height(), bytesPerLine, QImage::Format_RGB32,
                  &PicturePool::Release, new std::shared_ptr<Buffer>(buffer));
}

void PicturePool::Release(void* holder)
{
    delete static_cast<std::shared_ptr<Buffer>*>(holder);
}
