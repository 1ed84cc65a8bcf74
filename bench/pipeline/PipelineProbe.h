#pragma once

#include "FrameType.h"

#include <QApplication>

#include <atomic>
#include <mutex>
#include <unordered_map>
#include <vector>

// The benchmark's application object: watches the real pipeline from the
// outside, through the events it already sends, so the product carries no
// timing hooks. Every queued call on the user-interface thread (the
// synthetic camera's queued delivery among them), into the worker and into
// the main window passes through notify(); the first call into the surface
// and the worker attaches direct connections to their frame signals, which
// read the frame number the camera stamps into the pixels. A queued call
// during which the surface's signal fires is a present(), whichever object
// the camera posted it to.
//
// The main window receives one queued call per SignalFrameReady, in order,
// so its k-th call is the k-th emitted frame; that pairs each shown frame
// with its number without looking at the scaled picture.
class CaptureThread;

class PipelineProbe : public QApplication
{
public:
    struct Shown
    {
        double LatencyMs;  // present() called -> SlotFrameReady returned
        double SlotCpuMs;  // user-interface thread CPU in SlotFrameReady
        double SlotWallMs; // and the time it was blocked there
        int Age;           // frames presented after this one when it was shown
        quint32 Number;
    };

    PipelineProbe(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Records frames shown from now on, until StopRecording().
    void StartRecording();
    void StopRecording();
    const std::vector<Shown>& GetShown() const { return m_Shown; }
    double GetPresentCpuMs() const { return m_PresentCpuMs; }
    // User-interface thread CPU spent painting the window while recording.
    double GetPaintCpuMs() const { return m_PaintCpuMs; }
    quint64 GetPresentedWhileRecording() const { return m_PresentedWhileRecording; }
    // Frames whose number could not be read back (an edge painted over the stamp).
    quint64 GetUnreadable() const { return m_Unreadable; }
    bool IsRunning() const { return m_Presented > 0 && !m_Shown.empty(); }
    quint64 GetShownTotal() const { return m_WindowCalls; }

    // Called on the surface's thread with every captured frame; for --dump.
    std::function<void(const cv::Mat&)> OnCaptured;

private:
    struct Presented
    {
        qint64 StartNs;
        quint64 Index;
    };

    // The surface the pipeline's camera renders into, found through the
    // camera's service once the camera runs. User-interface thread.
    void AttachCapturer();
    bool TimeQueuedCall(QObject* receiver, QEvent* event);
    bool TimeFrameReady(QObject* receiver, QEvent* event);
    void AttachWorker(QObject* worker);
    quint32 NumberOfEmitted(quint64 index);

    // User-interface thread: the pipeline, seen when the window moves it to
    // its worker thread, and whether its surface is watched yet.
    CaptureThread* m_Pipeline = nullptr;
    bool m_CapturerAttached = false;
    std::once_flag m_WorkerAttached;

    // Surface thread (the user-interface thread with queued delivery).
    qint64 m_PresentStartNs = 0;
    bool m_CallPresented = false;
    quint64 m_Presented = 0;
    std::unordered_map<quint32, Presented> m_PresentedFrames;
    double m_PresentCpuMs = 0.0;
    quint64 m_PresentedWhileRecording = 0;

    // Written by the worker, read by the user-interface thread.
    std::mutex m_EmittedMutex;
    std::vector<quint32> m_Emitted;
    std::atomic<quint64> m_Unreadable{0};

    // User-interface thread.
    quint64 m_WindowCalls = 0;
    bool m_Recording = false;
    double m_PaintCpuMs = 0.0;
    std::vector<Shown> m_Shown;
};
