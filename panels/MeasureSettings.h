#pragma once

#include <QSize>
#include <QString>

// The Measure panel's settings, under "Measure/...": the millimetre scale of
// each camera and resolution, the alignment tolerance and the snapshot
// folder. Every access opens the store afresh and every change is written
// at once. Missing or malformed values read as their defaults. Stateless;
// user-interface thread.
class MeasureSettings
{
public:
    // Millimetres per frame pixel, or 0 when none is kept for this camera
    // (device name) at this frame size.
    static double GetScale(const QString& device, const QSize& frameSize);
    // A scale that IsUsableScale() refuses is not written.
    static void SetScale(const QString& device, const QSize& frameSize, double millimetresPerPixel);
    static void ClearScale(const QString& device, const QSize& frameSize);
    // Finite and within what any lens and sensor can give.
    static bool IsUsableScale(double millimetresPerPixel);

    // In millimetres when IsToleranceInMillimetres(), else frame pixels.
    static double GetTolerance();
    static void SetTolerance(double tolerance);
    static bool IsToleranceInMillimetres();
    static void SetToleranceInMillimetres(bool millimetres);

    // Empty until chosen.
    static QString GetSnapshotFolder();
    static void SetSnapshotFolder(const QString& folder);
    // Whether a snapshot also keeps the full-resolution frame beside it.
    static bool IsFrameSaved();
    static void SetFrameSaved(bool saved);

private:
    static QString ScaleKey(const QString& device, const QSize& frameSize);
};
