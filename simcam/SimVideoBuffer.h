#pragma once

#include "SimFramePool.h"

#include <QAbstractVideoBuffer>

#include <memory>

// A frame's pixels in pool memory; hands the memory back when the last copy
// of the frame goes. An unmappable buffer (a fault on request) refuses map().
class SimVideoBuffer : public QAbstractVideoBuffer
{
public:
    SimVideoBuffer(std::shared_ptr<SimFramePool::Slot> slot, int bytes, int bytesPerLine, bool mappable);
    ~SimVideoBuffer() override;

    MapMode mapMode() const override;
    uchar* map(MapMode mode, int* numBytes, int* bytesPerLine) override;
    void unmap() override;

private:
    std::shared_ptr<SimFramePool::Slot> m_Slot;
    int m_Bytes;
    int m_BytesPerLine;
    bool m_Mappable;
    MapMode m_MapMode = NotMapped;
};
