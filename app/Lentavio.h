#pragma once

#include "ui_Lentavio.h"

#include "CameraPresence.h"
#include "CaptureThread.h"

#include <QCameraInfo>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QThread>

class HoleDetectWnd;
class MeasureWnd;
class QAction;
class QCloseEvent;

// The main window: menus, the framed picture, the three dock panels and the
// status line. Owns the capture worker and the thread it runs on, and shows
// every processed frame. Restores its size and dock layout from the settings
// store and saves them on close. Lives on the user-interface thread.
class Lentavio : public QMainWindow, private Ui::LentavioClass
{
    Q_OBJECT

public:
    explicit Lentavio(QWidget* parent = nullptr);
    // Ends the worker thread before the worker and its camera go.
    ~Lentavio() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void SlotCameraMenuOpening();
    void SlotCameraMenuTriggered(QAction* action);
    void SlotSelectedCameraChanged(QCameraInfo cameraInfo);
    void SlotSettingsWriteFailed(const QString& path);
    void SlotCalibrateCrosshair();
    void SlotFrameReady(cv::Mat image, qint64 captureTime, qint64 processTime);
    void SlotSaveSnapshot();

private:
    void CreateDockPanels();
    void CreateCameraControlsPanel();
    // Docked after every other panel, with its Ctrl+S window action.
    void CreateMeasurePanel();
    void StartCapture();
    void FillCameraMenu(const QList<QCameraInfo>& cameras);
    void RestoreLayout();

    CaptureThread m_CaptureThread;
    QThread m_WorkerThread;
    QElapsedTimer m_FrameTimer;
    HoleDetectWnd* m_HoleDetectWnd = nullptr;
    // The cameras present, for the Camera menu and the camera panel, and the
    // watch for a camera in use that went away.
    CameraPresence m_CameraPresence;
    MeasureWnd* m_MeasureWnd = nullptr;
    // The frame behind the picture shown, kept only while snapshots want it.
    cv::Mat m_LastFrame;
};
