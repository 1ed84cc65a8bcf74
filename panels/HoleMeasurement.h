#pragma once

#include <QMetaType>
#include <QPointF>
#include <QSize>

// What the video view measured in one frame, for the Measure panel. All
// lengths are in frame pixels (the full-resolution frame, before scaling).
// Directions follow the picture as shown, after the flips: x grows to the
// right and y downwards on screen. A value type, copied across signals.
struct HoleMeasurement
{
    bool Found = false;
    QSize FrameSize;
    // Hole centre minus crosshair centre.
    QPointF Offset;
    // The hole's diameter, measured to the middle of each ray's last step,
    // where the boundary lies on average.
    double Diameter = 0.0;
    // The crosshair's two circles as set by the wheel.
    double InnerCircleDiameter = 0.0;
    double OuterCircleDiameter = 0.0;
};

Q_DECLARE_METATYPE(HoleMeasurement)
