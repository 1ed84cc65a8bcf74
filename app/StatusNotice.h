#pragma once

#include <QLabel>
#include <QTimer>

// A short notice at the right of the status bar (a saved snapshot, a refused
// scale). The timing line takes the status bar's message on every frame, so
// a notice there would vanish at once; this one stays for a few seconds
// beside it. User-interface thread; owned by the status bar.
class StatusNotice : public QLabel
{
    Q_OBJECT

public:
    explicit StatusNotice(QWidget* parent = nullptr);

    void Show(const QString& text);

private:
    QTimer m_ClearTimer;
};
