#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// The child side of the camera-fault group: the whole window on synthetic
// cameras that fail, with a timer ticking on the user-interface thread
// throughout to measure how long the window ever leaves it waiting.
// When a fault is expected, waits for the status bar to say what happened
// and prints "fault<TAB>message"; then switches cameras the given number
// of times; then either selects the given good camera and prints
// "resumed<TAB>ms" (-1 when no frame came) or, with none, prints whether a
// picture appeared ("frame<TAB>yes|no"). With ComesBack instead of a good
// camera, chooses nothing and prints "resumed<TAB>ms" for the camera in use
// coming back by itself. Last "response<TAB>ms": the longest a posted timer
// waited.
class CameraFaultRole : public QObject
{
    Q_OBJECT

public:
    static constexpr int ComesBack = -2;

    CameraFaultRole(bool fault, int switches, int goodCamera);
    int Run();

private:
    void Beat();

    bool m_Fault;
    int m_Switches;
    int m_GoodCamera;
    QTimer m_Heartbeat;
    QElapsedTimer m_SinceBeat;
    qint64 m_LongestGapMs = 0;
};
