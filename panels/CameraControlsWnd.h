#pragma once

#include "ui_CameraControlsWnd.h"

#include "CameraControlSettings.h"
#include "V4l2Controls.h"

#include <QCamera>
#include <QCameraInfo>
#include <QCameraViewfinderSettings>
#include <QDockWidget>
#include <QPointer>

#include <memory>
#include <optional>

class QLabel;

// The "Camera controls" dock panel: the picture size and rate, Qt's image
// adjustments, and the device controls Qt does not reach (exposure, gain,
// focus, power-line frequency). Every choice is kept per camera and applied
// again each time that camera starts, including after it comes back from
// being unplugged. Offers only what the camera in use reports; problems are
// said in the status bar and in the panel, never in a dialog.
// Lives on the user-interface thread; created without a parent and owned by
// the main window once docked.
class CameraControlsWnd : public QDockWidget, public Ui::CameraControlsWnd
{
    Q_OBJECT

public:
    explicit CameraControlsWnd(QWidget* parent = nullptr);
    ~CameraControlsWnd() override;

    // Call whenever a camera has started; the panel follows it from then on,
    // through its status, until it is given another one.
    void SetCamera(QCamera* camera, const QCameraInfo& cameraInfo);

signals:
    void SignalMessage(QString message);
    // Going back to the camera's own picture size and rate takes a fresh
    // start of the camera, as the program makes it.
    void SignalRestartCamera(QCameraInfo cameraInfo);

private slots:
    void SlotCameraStatusChanged(QCamera::Status status);
    void SlotCameraError();
    void SlotViewfinderChosen(int index);
    void SlotWhiteBalanceChosen(int index);
    void SlotColorTemperatureChanged(int kelvin);
    void SlotResetClicked();

private:
    enum class Adjustment { Brightness, Contrast, Saturation, Sharpness };
    enum class EditorKind { Toggle, Slider, Menu };
    struct DeviceRow
    {
        quint32 Id;
        EditorKind Kind;
        QLabel* Label;
        QWidget* Editor;
        // The toggle that must be off for this value to count; 0: none.
        quint32 AutoId;
    };
    struct PendingViewfinder
    {
        int Index;
        QCameraViewfinderSettings Settings;
        QSize Resolution;
        qreal FrameRate;
        // The choice tried is the stored one, not the user's new one.
        bool FromStore;
    };
    struct ViewfinderChoice
    {
        QSize Resolution;
        qreal FrameRate;
    };

    QVector<QPair<Adjustment, QSlider*>> AdjustmentSliders() const;
    void ConnectAdjustment(QSlider* slider, Adjustment adjustment);
    void ConnectDeviceRow(const DeviceRow& row);
    void Report(const QString& message);
    void Save();
    void RequestRestart();

    void ApplyOnReady();
    void SetControlsEnabled(bool enabled);
    void FillViewfinderChoices();
    void ApplyStoredViewfinder();
    void ApplyViewfinder(int index, const PendingViewfinder& previous);
    QString ViewfinderText(int index) const;
    void ApplyImageProcessing();
    void SetAdjustment(Adjustment adjustment, int sliderValue);
    // Writes the stored values, or with toDefaults the device's defaults,
    // then shows what the device holds.
    void ApplyDeviceControls(bool toDefaults);
    bool IsAutomatic(quint32 id) const;
    QString RowName(const DeviceRow& row) const;
    void ShowDeviceRow(const DeviceRow& row, const std::optional<V4l2Control>& control);
    void ShowDeviceValue(const DeviceRow& row, const V4l2Control& control, qint32 value);
    void SetDeviceControl(const DeviceRow& row, qint32 editorValue);
    bool WriteDeviceControl(const V4l2Control& control, qint32 value);
    qint32 EditorToDeviceValue(const DeviceRow& row, const V4l2Control& control, qint32 editorValue) const;
    void UpdateManualRows();

    QPointer<QCamera> m_Camera;
    QCameraInfo m_CameraInfo;
    CameraControlValues m_Values;
    std::unique_ptr<V4l2Controls> m_Device;
    QVector<DeviceRow> m_DeviceRows;
    // The camera's status has reached Loaded or further since it started,
    // and the controls have been applied to it.
    bool m_Ready = false;
    // The application is on its way; a later one goes by the generation.
    bool m_ReadyQueued = false;
    int m_ReadyGeneration = 0;
    QVector<ViewfinderChoice> m_ViewfinderChoices;
    // Combo index of the choice in force; 0 is the camera's own.
    int m_ViewfinderIndex = 0;
    // A choice waiting for the camera to run with it, and what to go back to
    // if the camera refuses it.
    std::optional<PendingViewfinder> m_PendingViewfinder;
    // Tells the wait for the latest choice from older ones.
    int m_ViewfinderSerial = 0;
    // The stored choice has been tried since the camera became ready.
    bool m_ViewfinderApplied = false;
    // The camera refused the stored choice: not tried again until another
    // device or a new choice, so a refusal cannot restart it over and over.
    bool m_StoredViewfinderRefused = false;
};
