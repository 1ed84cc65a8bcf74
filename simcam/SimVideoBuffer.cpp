#include "SimVideoBuffer.h"

SimVideoBuffer::SimVideoBuffer(std::shared_ptr<SimFramePool::Slot> slot, int bytes, int bytesPerLine,
                               bool mappable)
    : QAbstractVideoBuffer(NoHandle)
    , m_Slot(std::move(slot))
    , m_Bytes(bytes)
    , m_BytesPerLine(bytesPerLine)
    , m_Mappable(mappable)
{
}

SimVideoBuffer::~SimVideoBuffer()
{
    m_Slot->Busy.store(false, std::memory_order_release);
}

QAbstractVideoBuffer::MapMode SimVideoBuffer::mapMode() const
{
    return m_MapMode;
}

uchar* SimVideoBuffer::map(MapMode mode, int* numBytes, int* bytesPerLine)
{
    if (!m_Mappable || mode == NotMapped || m_MapMode != NotMapped)
        return nullptr;
    m_MapMode = mode;
    if (numBytes)
        *numBytes = m_Bytes;
    if (bytesPerLine)
        *bytesPerLine = m_BytesPerLine;
    return m_Slot->Bytes.get();
}

void SimVideoBuffer::unmap()
{
    m_MapMode = NotMapped;
}
