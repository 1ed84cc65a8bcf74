#pragma once

#include <QImage>
#include <QSize>

#include <memory>
#include <vector>

// Pixel memory for the view's pictures, reused once nothing shows a picture
// any more: a fresh 1280 x 720 buffer per frame would cost some nine hundred
// page faults. Each picture holds a reference to its buffer until its last
// copy (the label's pixmap) is gone; only buffers nobody else refers to are
// handed out again, so a picture on screen is never overwritten.
// User-interface thread only, like the pictures themselves.
class PicturePool
{
public:
    // A Format_RGB32 image of the given size with undefined pixels, on a
    // buffer of its own. Buffers of another size are let go.
    QImage Take(const QSize& size);

private:
    struct Buffer;

    static void Release(void* holder);

    QSize m_Size;
    std::vector<std::shared_ptr<Buffer>> m_Buffers;
};
