#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QVector>

#include <opencv2/core/mat.hpp>

#include <atomic>
#include <mutex>

class CaptureThread;

// The child side of the stalled-screen group: the whole window on a fast
// synthetic camera whose presentation is made slow (every frame held back
// before the window gets it) and then stopped outright. Reads the number the
// camera stamps into each frame as the camera hands it to the pipeline and
// as the pipeline hands it to the window, on their own threads, so the
// figures need nothing from the blocked user-interface thread.
// Prints per stall "stall<TAB>age<TAB>waited<TAB>dropped<TAB>slow": the age
// in frames of the picture shown 1 s after the stall ended (the camera's
// newest frame number then less the picture's), the frames the program had
// received before the stall ended that were shown after it, the captured
// frames dropped during it and the frames shown while presentation was slow;
// then "memory<TAB>baseline<TAB>peak" (kB, from the end of warm-up) and
// "unreadable<TAB>n", the frames whose number could not be read.
class StalledScreenRole : public QObject
{
    Q_OBJECT

public:
    explicit StalledScreenRole(int stalls);
    int Run();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Sighting
    {
        qint64 Ms;
        qint64 Number;
    };

    // False when the camera's surface cannot be found.
    bool Watch(CaptureThread* pipeline);
    // A frame number read on the thread that saw the frame.
    void Sight(QVector<Sighting>& sightings, const cv::Mat& frame);
    // The newest frame number the camera had handed over by ms.
    qint64 CameraNumberAt(qint64 ms) const;
    // The figures of the stall just ended, as its output line has them.
    QString Evaluate(qint64 slowFromMs) const;

    int m_Stalls;
    QElapsedTimer m_Clock;
    CaptureThread* m_Pipeline = nullptr;

    // Camera and worker threads write, user-interface thread reads.
    mutable std::mutex m_Mutex;
    QVector<Sighting> m_Captured;
    QVector<Sighting> m_Emitted;
    std::atomic<int> m_Unreadable{0};

    // User-interface thread only.
    QVector<Sighting> m_Shown;
    bool m_Slow = false;
    bool m_StallArmed = false;
    qint64 m_StallStartMs = -1;
    qint64 m_StallEndMs = -1;
    quint64 m_DroppedInStall = 0;
};
