#pragma once

#include "ui_EdgeDetectWnd.h"

#include <QColor>
#include <QDockWidget>

// The "Edge detect" dock panel: switches the edge overlay and sets its two
// thresholds and its colour. It keeps no parameter of its own; every change
// goes straight into CameraSettings, which the capture worker reads on every
// frame. The two sliders keep lower <= upper by carrying each other along.
// Lives on the user-interface thread; created without a parent and owned by
// the main window once docked.
class EdgeDetectWnd : public QDockWidget, public Ui::EdgeDetectWnd
{
    Q_OBJECT

public:
    explicit EdgeDetectWnd(QWidget* parent = nullptr);
    ~EdgeDetectWnd() override;

private slots:
    void SlotEnableCBChanged();
    void SlotMinThresValueChanged(int value);
    void SlotMaxThresValueChanged(int value);
    void SlotColorButtonClicked();
    void SlotColorChanged(QColor color);
};
