#pragma once

#include <cmath>
#include <limits>

// Truncates toward zero like a cast, but saturates at the int range instead of
// invoking undefined behaviour: picture coordinates can be anywhere once the
// crosshair is dragged far off the picture or a stored radius is huge. NaN,
// which has no sensible integer, gives 0.
inline int TruncToInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}
