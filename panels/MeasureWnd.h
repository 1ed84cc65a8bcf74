#pragma once

#include "ui_MeasureWnd.h"

#include "AlignmentTracker.h"
#include "HoleMeasurement.h"

#include <QCameraInfo>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QTimer>

class QImage;

// The "Measure" dock panel: reads out the detected hole's offset from the
// crosshair and its diameter, in frame pixels and, with a scale, in
// millimetres; keeps the scale per camera and frame size; says "Aligned"
// once the centre has stayed within the tolerance; and saves snapshots.
// Settings go through MeasureSettings. Problems and results are announced
// through SignalNotice, never in a dialog. The readout refreshes ten times a
// second, however fast frames come. User-interface thread; created without a
// parent and owned by the main window once docked.
class MeasureWnd : public QDockWidget, private Ui::MeasureWnd
{
    Q_OBJECT

public:
    explicit MeasureWnd(QWidget* parent = nullptr);
    ~MeasureWnd() override;

    // Whether a snapshot wants the full-resolution frame too, so the caller
    // need only keep the last frame while it does.
    bool IsFrameSaved() const;
    // picture is the view's picture as shown; frame may be null. Asks for a
    // folder the first time.
    void SaveSnapshot(const QImage& picture, const QImage& frame);

    // Once per displayed frame, from the video view.
    void SlotHoleMeasured(const HoleMeasurement& measurement);

signals:
    void SignalSaveSnapshot();
    void SignalNotice(const QString& text);

private:
    void SlotSelectedCameraChanged(QCameraInfo cameraInfo);
    void SlotSetFromHoleClicked();
    void SlotApplyScaleClicked();
    void SlotClearScaleClicked();
    void SlotToleranceChanged(double tolerance);
    void SlotToleranceUnitChanged(int index);
    void SlotSnapshotFolderClicked();
    void SlotSaveFrameToggled(bool checked);
    void SlotRefresh();

    // Stores a scale the user gave for the current camera and frame size,
    // or refuses it with a notice and keeps the previous one.
    void ApplyScale(double millimetresPerPixel, const QString& what);
    void LoadScale();
    void ShowScale();
    QString ChooseSnapshotFolder();
    // The tolerance in frame pixels; negative when given in millimetres
    // without a scale, which no offset meets.
    double ToleranceInPixels() const;
    QString ReadoutText() const;
    QString AlignmentText() const;

    QString m_Device;
    QSize m_FrameSize;
    // Millimetres per frame pixel; 0 when none is set.
    double m_Scale = 0.0;
    HoleMeasurement m_Measurement;
    AlignmentTracker m_Tracker;
    QElapsedTimer m_Clock;
    QTimer m_RefreshTimer;
};
