#pragma once

#include "ui_CameraSelectWnd.h"

#include <QCameraInfo>
#include <QDockWidget>

// The "Camera" dock panel: picks the camera and the mirroring. It keeps no
// state of its own; every choice goes into CameraSettings, and the panel
// follows camera changes made elsewhere through that object's signal. A
// combo box index stands for a camera only through the order of the
// current camera list. Lives on the user-interface thread; created without
// a parent and owned by the main window once docked.
class CameraSelectWnd : public QDockWidget, public Ui::CameraSelectWnd
{
    Q_OBJECT

public:
    explicit CameraSelectWnd(QWidget* parent = nullptr);
    ~CameraSelectWnd() override;

private slots:
    void SlotCameraSelectionChanged(int index);
    void SlotSelectedCameraChanged(QCameraInfo cameraInfo);
    void SlotFlipHorizontallyToggled(bool checked);
    void SlotFlipVerticallyToggled(bool checked);
};
