#pragma once

#include "ui_CameraSelectWnd.h"

#include <QCameraInfo>
#include <QDockWidget>
#include <QPointer>

class CameraPresence;

// The "Camera" dock panel: picks the camera and the mirroring. It keeps no
// state of its own; every choice goes into CameraSettings, and the panel
// follows camera changes made elsewhere through that object's signal. Each
// entry holds its camera's device name, so an entry always means the same
// camera; with FollowCameras() the list follows the cameras present. Lives
// on the user-interface thread; created without a parent and owned by the
// main window once docked.
class CameraSelectWnd : public QDockWidget, public Ui::CameraSelectWnd
{
    Q_OBJECT

public:
    explicit CameraSelectWnd(QWidget* parent = nullptr);
    ~CameraSelectWnd() override;

    // Keeps the list to the cameras present, and has them read while the
    // list is open. The presence object must outlive the panel's use of it.
    void FollowCameras(CameraPresence* presence);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void SlotCameraSelectionChanged(int index);
    void SlotSelectedCameraChanged(QCameraInfo cameraInfo);
    void SlotFlipHorizontallyToggled(bool checked);
    void SlotFlipVerticallyToggled(bool checked);

private:
    void FillCameras(const QList<QCameraInfo>& cameras);

    QPointer<CameraPresence> m_Presence;
};
