#pragma once

#include <QSize>
#include <QString>
#include <QtGlobal>

// What a synthetic camera looks at, before sensor noise and the frame stamp.
// Used on the producer thread only.
class SimScene
{
public:
    // Channel levels stay within these, so noise up to 16 levels can be
    // added with plain byte arithmetic.
    static constexpr int Floor = 16;
    static constexpr int Ceiling = 239;

    virtual ~SimScene() = default;

    // Pixels are B,G,R[,255] with bytesPerPixel 3 or 4, rows packed.
    virtual bool Prepare(QSize size, int bytesPerPixel, QString* error) = 0;
    // Valid until the next call.
    virtual const uchar* Picture(quint32 frameNumber) = 0;
};
