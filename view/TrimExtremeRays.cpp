#include "TrimExtremeRays.h"

#include <algorithm>

namespace
{
constexpr int kTrimmedPerEnd = 4;
}

// A pair with one outlier then keeps its length in the mean without pulling
// the centre. Ranking ties by index gives the order a stable sort of the
// index-ordered records would, without the buffer std::stable_sort may take.
void TrimExtremeRays(RayHits& hits)
{
    std::sort(hits.begin(), hits.end(), [](const RayHit& a, const RayHit& b) {
        const float lengthA = a.Offset.lengthSquared();
        const float lengthB = b.Offset.lengthSquared();
        return lengthA < lengthB || (lengthA == lengthB && a.Index < b.Index);
    });
    for (int k = 0; k < kTrimmedPerEnd; ++k)
    {
        hits[k].Offset = QVector2D();
        hits[kRayCount - 1 - k].Offset = QVector2D();
    }
    std::sort(hits.begin(), hits.end(),
              [](const RayHit& a, const RayHit& b) { return a.Index < b.Index; });
    for (RayHit& hit : hits)
    {
        if (IsUnset(hit.Offset))
            hit.Offset = -hits[hit.Index ^ 1].Offset;
    }
}
