#pragma once

#include <QVector2D>

#include <array>

// One ray of one hole-detection pass: which ray, and the offset of its last
// matching sample from the pass's centre in frame pixels. An offset of (0, 0)
// means the ray gave no usable value (or was trimmed away).
struct RayHit
{
    int Index = 0;
    QVector2D Offset;
};

constexpr int kRayCount = 16;
using RayHits = std::array<RayHit, kRayCount>;

// -0 counts as unset too.
inline bool IsUnset(const QVector2D& offset)
{
    return offset.x() == 0.0f && offset.y() == 0.0f;
}
