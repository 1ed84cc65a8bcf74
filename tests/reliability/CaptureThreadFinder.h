#pragma once

#include <QObject>

class CaptureThread;

// Finds the main window's capture pipeline, which the window keeps to
// itself: the pipeline is sent a thread-change event on the user-interface
// thread when the window moves it to its worker thread, and an application
// event filter sees that event. Install before the window is made. Child
// side, user-interface thread.
class CaptureThreadFinder : public QObject
{
    Q_OBJECT

public:
    CaptureThreadFinder();
    ~CaptureThreadFinder() override;

    // Null until a window has moved its pipeline.
    CaptureThread* Found() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CaptureThread* m_Found = nullptr;
};
