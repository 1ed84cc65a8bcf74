#pragma once

#include <QByteArray>

class QMainWindow;

// Puts back the window's stored geometry and panel layout, which Qt reads
// with QWidget::restoreGeometry and QMainWindow::restoreState. Both trust
// parts of what they read:
// - restoreState indexes its four dock areas with the numbers it finds, so
//   an area outside them corrupts the window's memory, both in the dry run
//   it does first and in the real one;
// - restoreGeometry keeps the window on the screen only for some mangled
//   rectangles: one whose right edge lies left of its left edge, or just a
//   very wide one, becomes a window of up to 16777215 × 16777215 pixels.
// The checks walk the layout the way Qt 5 writes it and accept it only when
// every marker, number and rectangle is one Qt can take and nothing is cut
// short, so that a mangled layout gives the default one instead; a restored
// window is then kept on the screens, at most twice their size. User-interface
// thread.
class SavedLayout
{
public:
    // Either may be empty or unreadable; the window then keeps its own.
    static void Restore(QMainWindow& window, const QByteArray& geometry, const QByteArray& state, int version);

    static bool IsRestorableGeometry(const QByteArray& geometry);
    static bool IsRestorableState(const QByteArray& state, int version);

private:
    static void KeepOnTheScreens(QMainWindow& window);
};
