#pragma once

#include <QCamera>
#include <QCameraInfo>
#include <QColor>
#include <QObject>

#include <mutex>

Q_DECLARE_METATYPE(QCameraInfo)

// Value of the four edge-overlay settings taken at one moment, so that a
// frame is never processed with half of an update.
struct EdgeDetectParams
{
    bool Enabled = false;
    double MinThreshold = 100.0;
    double MaxThreshold = 200.0;
    QColor Color = Qt::white;
};

// The persistent camera and filter settings: selected camera, mirroring and
// the edge overlay. Loaded once from the per-user store, every change is
// written back at once. Lives on the user-interface thread; the capture
// worker reads the edge values from its own thread, which is why those four
// sit behind a lock. Exactly one object exists, created by main() before the
// main window and reached through Instance().
class CameraSettings : public QObject
{
    Q_OBJECT

public:
    CameraSettings();
    ~CameraSettings() override;

    static CameraSettings* Instance();

    QCameraInfo GetSelectedCamera() const;
    // Position of the selected camera in the current camera list, or -1.
    int GetSelectedCameraIndex() const;
    bool IsInvertH() const;
    bool IsInvertV() const;

    // Safe to call from any thread.
    bool IsEdgeDetectEnabled() const;
    double GetEdgeDetectMinThreshold() const;
    double GetEdgeDetectMaxThreshold() const;
    QColor GetEdgeDetectColor() const;
    EdgeDetectParams GetEdgeDetectParams() const;

    void SetSelectedCamera(const QCameraInfo& cameraInfo);
    void SetInvertH(bool invert);
    void SetInvertV(bool invert);
    void SetEdgeDetectEnabled(bool enabled);
    void SetEdgeDetectMinThreshold(double threshold);
    void SetEdgeDetectMaxThreshold(double threshold);
    // Memory only, for a live preview; SaveEdgeDetectColor() persists it.
    void SetEdgeDetectColor(const QColor& color);
    void SaveEdgeDetectColor();

signals:
    void SignalSelectedCameraChanged(QCameraInfo cameraInfo);
    void SignalFlipHToggled(bool invert);
    void SignalFlipVToggled(bool invert);

private:
    void Load();

    QCameraInfo m_SelectedCamera;
    bool m_InvertH = false;
    bool m_InvertV = false;

    // Guards the edge fields below: written here, read by the worker thread.
    mutable std::mutex m_EdgeDetectMutex;
    bool m_EdgeDetectEnabled = false;
    double m_EdgeDetectMinThreshold = 100.0;
    double m_EdgeDetectMaxThreshold = 200.0;
    QColor m_EdgeDetectColor;
};
