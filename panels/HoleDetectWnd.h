#pragma once

#include "ui_HoleDetectWnd.h"

#include <QColor>
#include <QColorDialog>
#include <QDockWidget>
#include <QSharedPointer>

// The "Hole detect" dock panel: holds every hole-detection parameter and the
// marker look, persisted under "HoleDetect/..." the moment they change.
// Passive: nobody is notified of a change; the frame slot and the view pull
// the values on every frame. Lives on the user-interface thread; exactly one
// exists, reached through Instance().
class HoleDetectWnd : public QDockWidget, public Ui::HoleDetectWnd
{
    Q_OBJECT

public:
    explicit HoleDetectWnd(QWidget* parent = nullptr);
    ~HoleDetectWnd() override;

    static HoleDetectWnd* Instance();

    bool IsEnabled() const;
    bool IsCenterColorFrozen() const;
    // Squared colour distance limit, 0 to 50000.
    double GetThreshold() const;
    // 0 (test off) to 1 (perfect circle only).
    double GetRoundness() const;

    // Shows the colour measured under the crosshair; persists nothing.
    void SetCenterColor(const QColor& color);

    // Read directly by the hole detection and the overlay drawing.
    QColor m_CenterColor;
    QColor m_PrevMarkerColor;
    QColor m_MarkerColor;

signals:
    void SignalCalibrateCrosshair();

private:
    void SlotEnableToggled(bool checked);
    void SlotFreezeCenterColorToggled(bool checked);
    void SlotMarkerAlphaChanged(int value);
    void SlotMarkerWidthChanged(int value);
    void SlotThresholdChanged(int value);
    void SlotRoundnessChanged(int value);
    void SlotMarkerColorButtonClicked();
    void SlotMarkerColorDialogColorChanged(const QColor& color);
    void SlotMarkerColorDialogFinished(int result);
    // Takes the colour's red, green and blue and the alpha slider's alpha.
    void ShowMarkerColor(const QColor& color);

    QSharedPointer<QColorDialog> m_ColorDialog;
};
