#include "SavedLayout.h"

#include <QDataStream>
#include <QDockWidget>
#include <QLabel>
#include <QMainWindow>
#include <QToolBar>
#include <QScreen>
#include <QtTest>

#include <climits>

#include <memory>

// Layouts Qt writes must pass the checks untouched; a layout that would make
// QMainWindow::restoreState read outside its four dock areas, or a geometry
// that would give the window an unbounded size, must not.
class tst_SavedLayout : public QObject
{
    Q_OBJECT

private slots:
    void layoutsQtWritesPass_data();
    void layoutsQtWritesPass();
    void mangledLayoutsFail_data();
    void mangledLayoutsFail();
    void everyCutFailsButTheEndOfASection();
    void acceptedOneByteChangesRestoreSafely();

    void geometriesQtWritesPass_data();
    void geometriesQtWritesPass();
    void mangledGeometriesFail_data();
    void mangledGeometriesFail();
    void acceptedGeometryChangesKeepTheWindowOnTheScreens();
};

namespace
{
const char* const kPanelNames[] = {"CameraSelectWnd", "HoleDetectWnd", "EdgeDetectWnd"};

// A window like the program's: a central picture and three panels, all on
// the right at first.
struct PanelWindow {
    PanelWindow()
    {
        window.setCentralWidget(new QLabel("picture"));
        for (const char* name : kPanelNames) {
            auto* panel = new QDockWidget(name, &window);
            panel->setObjectName(name);
            panel->setWidget(new QLabel(name));
            window.addDockWidget(Qt::RightDockWidgetArea, panel);
            panels << panel;
        }
        window.resize(900, 500);
    }

    QMainWindow window;
    QList<QDockWidget*> panels;
};

enum class Arrangement { Column, Tabbed, Floating, Hidden, SideBySide, FourAreas, WithToolBar };

QByteArray WrittenState(Arrangement arrangement)
{
    PanelWindow panels;
    QMainWindow& window = panels.window;
    QList<QDockWidget*>& docks = panels.panels;
    switch (arrangement) {
    case Arrangement::Column:
        break;
    case Arrangement::Tabbed:
        window.tabifyDockWidget(docks[0], docks[1]);
        window.tabifyDockWidget(docks[1], docks[2]);
        break;
    case Arrangement::Floating:
        docks[1]->setFloating(true);
        docks[1]->setGeometry(50, 60, 200, 150);
        break;
    case Arrangement::Hidden:
        docks[2]->hide();
        break;
    case Arrangement::SideBySide:
        window.splitDockWidget(docks[0], docks[1], Qt::Horizontal);
        window.splitDockWidget(docks[1], docks[2], Qt::Vertical);
        break;
    case Arrangement::FourAreas:
        window.addDockWidget(Qt::LeftDockWidgetArea, docks[0]);
        window.addDockWidget(Qt::TopDockWidgetArea, docks[1]);
        window.addDockWidget(Qt::BottomDockWidgetArea, docks[2]);
        window.setCorner(Qt::TopLeftCorner, Qt::LeftDockWidgetArea);
        break;
    case Arrangement::WithToolBar: {
        QToolBar* bar = window.addToolBar("tools");
        bar->setObjectName("tools");
        bar->addAction("a");
        window.addToolBarBreak(Qt::LeftToolBarArea);
        QToolBar* side = new QToolBar("side", &window);
        side->setObjectName("side");
        window.addToolBar(Qt::LeftToolBarArea, side);
        break;
    }
    }
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return QByteArray();
    return window.saveState(3);
}

// The number of dock areas sits after the version marker, the version and
// the dock section's marker; the first area's number follows it, then its
// size, the kind of its layout and the layout's orientation.
constexpr int kAreaCountAt = 9;
constexpr int kFirstAreaAt = 13;
constexpr int kFirstOrientationAt = 26;

QByteArray WithNumber(QByteArray state, int at, qint32 number)
{
    QByteArray bytes;
    QDataStream(&bytes, QIODevice::WriteOnly) << number;
    return state.replace(at, 4, bytes);
}

QByteArray WithByte(QByteArray state, int at, char byte)
{
    state[at] = byte;
    return state;
}

// Layout nested depth splits deep, written by hand.
QByteArray NestedLayout(int depth)
{
    QByteArray state;
    QDataStream stream(&state, QIODevice::WriteOnly);
    stream << qint32(0xff) << qint32(3) << quint8(0xfd) << qint32(1) << qint32(1) << QSize(200, 400);
    for (int level = 0; level < depth; ++level)
        stream << quint8(0xfc) << quint8(Qt::Vertical) << qint32(1) << quint8(0xfc) << qint32(0) << qint32(100)
               << qint32(0) << qint32(0);
    stream << quint8(0xfc) << quint8(Qt::Vertical) << qint32(0);
    stream << QSize(600, 400) << qint32(4) << qint32(4) << qint32(8) << qint32(8);
    return state;
}
} // namespace

void tst_SavedLayout::layoutsQtWritesPass_data()
{
    QTest::addColumn<int>("arrangement");
    QTest::newRow("panels in a column") << int(Arrangement::Column);
    QTest::newRow("panels in tabs") << int(Arrangement::Tabbed);
    QTest::newRow("a floating panel") << int(Arrangement::Floating);
    QTest::newRow("a hidden panel") << int(Arrangement::Hidden);
    QTest::newRow("panels side by side") << int(Arrangement::SideBySide);
    QTest::newRow("panels in every area") << int(Arrangement::FourAreas);
    QTest::newRow("with tool bars") << int(Arrangement::WithToolBar);
}

void tst_SavedLayout::layoutsQtWritesPass()
{
    QFETCH(int, arrangement);
    const QByteArray state = WrittenState(Arrangement(arrangement));
    QVERIFY(!state.isEmpty());
    QVERIFY(SavedLayout::IsRestorableState(state, 3));
    QVERIFY(!SavedLayout::IsRestorableState(state, 0));
    // Qt takes it back, so the check describes what Qt writes.
    PanelWindow restored;
    QVERIFY(restored.window.restoreState(state, 3));
}

void tst_SavedLayout::mangledLayoutsFail_data()
{
    const QByteArray state = WrittenState(Arrangement::Column);
    QVERIFY(SavedLayout::IsRestorableState(NestedLayout(20), 3));

    QTest::addColumn<QByteArray>("mangled");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not a layout") << QByteArray("garbage");
    QTest::newRow("area before the first") << WithNumber(state, kFirstAreaAt, -1);
    QTest::newRow("area after the last") << WithNumber(state, kFirstAreaAt, 4);
    QTest::newRow("area far outside") << WithNumber(state, kFirstAreaAt, 0x0e000000);
    QTest::newRow("more areas than there are") << WithNumber(state, kAreaCountAt, 5);
    QTest::newRow("negative area count") << WithNumber(state, kAreaCountAt, -1);
    QTest::newRow("no orientation") << WithByte(state, kFirstOrientationAt, 0);
    QTest::newRow("orientation out of range") << WithByte(state, kFirstOrientationAt, 3);
    QTest::newRow("unknown section") << WithByte(state, 8, 0x42);
    QTest::newRow("unknown layout kind") << WithByte(state, kFirstOrientationAt - 1, 0x42);
    QTest::newRow("trailing byte") << state + char(0x42);
    QTest::newRow("nested too deep") << NestedLayout(40);
    QTest::newRow("nested beyond the stack") << NestedLayout(200000);
    {
        // The same area twice: Qt never writes it.
        QByteArray twice;
        QDataStream stream(&twice, QIODevice::WriteOnly);
        stream << qint32(0xff) << qint32(3) << quint8(0xfd) << qint32(2);
        for (int i = 0; i < 2; ++i)
            stream << qint32(1) << QSize(200, 400) << quint8(0xfc) << quint8(Qt::Vertical) << qint32(0);
        stream << QSize(600, 400) << qint32(4) << qint32(4) << qint32(8) << qint32(8);
        QTest::newRow("an area twice") << twice;
    }
    {
        QByteArray corner = NestedLayout(0);
        QTest::newRow("corner given no side") << WithNumber(corner, corner.size() - 4, 0);
        QTest::newRow("corner given two sides") << WithNumber(corner, corner.size() - 4, 3);
    }
    {
        QByteArray toolBars;
        QDataStream stream(&toolBars, QIODevice::WriteOnly);
        stream << qint32(0xff) << qint32(3) << quint8(0xfc) << qint32(1) << qint32(7) << qint32(0);
        QTest::newRow("tool bar line outside the areas") << toolBars;
    }
}

void tst_SavedLayout::mangledLayoutsFail()
{
    QFETCH(QByteArray, mangled);
    QVERIFY(!SavedLayout::IsRestorableState(mangled, 3));
}

// A window without tool bars ends its layout with an empty tool bar section
// of five bytes; only the bare header of eight bytes and a cut just before
// that section leave whole layouts.
void tst_SavedLayout::everyCutFailsButTheEndOfASection()
{
    const QByteArray state = WrittenState(Arrangement::Tabbed);
    QVERIFY(state.size() > 20);
    QStringList wrong;
    for (int length = 0; length < state.size(); ++length) {
        const bool whole = length == 8 || length == state.size() - 5;
        if (SavedLayout::IsRestorableState(state.left(length), 3) != whole)
            wrong << QString::number(length);
    }
    QVERIFY2(wrong.isEmpty(), qPrintable("cuts judged wrongly: " + wrong.join(", ")));
}

// Every byte of real layouts changed in three ways; whatever passes the
// check is restored on a fresh window, which must end with each panel in
// one of the four areas or floating.
void tst_SavedLayout::acceptedOneByteChangesRestoreSafely()
{
    int accepted = 0;
    int rejected = 0;
    for (Arrangement arrangement : {Arrangement::Tabbed, Arrangement::SideBySide, Arrangement::Floating}) {
        const QByteArray state = WrittenState(arrangement);
        QVERIFY(!state.isEmpty());
        for (int at = 0; at < state.size(); ++at) {
            for (char change : {char(0x01), char(0x80), char(0xff)}) {
                const QByteArray mangled = WithByte(state, at, char(state[at] ^ change));
                if (!SavedLayout::IsRestorableState(mangled, 3)) {
                    ++rejected;
                    continue;
                }
                ++accepted;
                PanelWindow restored;
                SavedLayout::Restore(restored.window, QByteArray(), mangled, 3);
                for (QDockWidget* panel : restored.panels) {
                    const Qt::DockWidgetArea area = restored.window.dockWidgetArea(panel);
                    QVERIFY2(panel->isFloating() || area == Qt::LeftDockWidgetArea || area == Qt::RightDockWidgetArea
                                 || area == Qt::TopDockWidgetArea || area == Qt::BottomDockWidgetArea,
                             qPrintable(QString("byte %1 changed by %2").arg(at).arg(int(uchar(change)))));
                }
            }
        }
    }
    qInfo("%d one-byte changes passed the check and were restored, %d were turned down", accepted, rejected);
    QVERIFY(accepted > 0 && rejected > 0);
}

namespace
{
QByteArray WrittenGeometry(bool maximized)
{
    PanelWindow panels;
    panels.window.setGeometry(30, 40, 700, 420);
    if (maximized)
        panels.window.showMaximized();
    else
        panels.window.show();
    if (!QTest::qWaitForWindowExposed(&panels.window))
        return QByteArray();
    return panels.window.saveGeometry();
}

// A geometry written by hand in Qt's newest format.
QByteArray Geometry(const QRect& restored)
{
    QByteArray geometry;
    QDataStream stream(&geometry, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_4_0);
    const QRect frame = restored.adjusted(0, -20, 0, 0);
    stream << quint32(0x1D9D0CB) << quint16(3) << quint16(0) << frame << restored << qint32(0) << quint8(0)
           << quint8(0) << qint32(800) << restored;
    return geometry;
}

// Somewhere on the screens, and no larger than twice their size.
bool OnTheScreens(const QWidget& window)
{
    const QRect desktop = window.screen()->availableVirtualGeometry();
    return window.width() <= 2 * desktop.width() && window.height() <= 2 * desktop.height()
           && window.geometry().intersects(desktop);
}
} // namespace

void tst_SavedLayout::geometriesQtWritesPass_data()
{
    QTest::addColumn<QByteArray>("geometry");
    QTest::newRow("a window") << WrittenGeometry(false);
    QTest::newRow("a maximized window") << WrittenGeometry(true);
    QTest::newRow("by hand") << Geometry(QRect(10, 30, 500, 300));
    QTest::newRow("partly off the screen") << Geometry(QRect(-300, -100, 500, 300));
    QTest::newRow("wider than the screen") << Geometry(QRect(0, 30, 66236, 300));
    QTest::newRow("far off the screen") << Geometry(QRect(-9000000, 30, 500, 300));
}

void tst_SavedLayout::geometriesQtWritesPass()
{
    QFETCH(QByteArray, geometry);
    QVERIFY(SavedLayout::IsRestorableGeometry(geometry));
    QMainWindow window;
    SavedLayout::Restore(window, geometry, QByteArray(), 0);
    QVERIFY2(OnTheScreens(window), qPrintable(QString("%1 × %2 at %3, %4")
                                                  .arg(window.width())
                                                  .arg(window.height())
                                                  .arg(window.x())
                                                  .arg(window.y())));
}

void tst_SavedLayout::mangledGeometriesFail_data()
{
    const QByteArray written = WrittenGeometry(false);
    QTest::addColumn<QByteArray>("geometry");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not a geometry") << QByteArray("garbage");
    QTest::newRow("another magic number") << WithByte(written, 0, 0x02);
    QTest::newRow("a newer format") << WithByte(written, 5, 4);
    QTest::newRow("cut short") << written.left(written.size() - 1);
    QTest::newRow("right edge left of the left edge") << Geometry(QRect(QPoint(16461824, 42), QPoint(831, 655)));
    QTest::newRow("no height") << Geometry(QRect(10, 30, 500, 0));
    QTest::newRow("edge beyond what a widget can be") << Geometry(QRect(-QWIDGETSIZE_MAX - 1, 0, 500, 300));
    QTest::newRow("width overflowing") << Geometry(QRect(QPoint(INT_MIN, 0), QPoint(INT_MAX - 1, 300)));
}

void tst_SavedLayout::mangledGeometriesFail()
{
    QFETCH(QByteArray, geometry);
    QVERIFY(!SavedLayout::IsRestorableGeometry(geometry));
}

// Every byte of a written geometry changed in three ways; whatever passes
// the check leaves the window on the screens and no larger than twice their
// size.
void tst_SavedLayout::acceptedGeometryChangesKeepTheWindowOnTheScreens()
{
    const QByteArray written = WrittenGeometry(false);
    QVERIFY(!written.isEmpty());
    int accepted = 0;
    QStringList oversized;
    for (int at = 0; at < written.size(); ++at) {
        for (char change : {char(0x01), char(0x80), char(0xff)}) {
            const QByteArray mangled = WithByte(written, at, char(written[at] ^ change));
            if (!SavedLayout::IsRestorableGeometry(mangled))
                continue;
            ++accepted;
            QMainWindow window;
            SavedLayout::Restore(window, mangled, QByteArray(), 0);
            if (!OnTheScreens(window))
                oversized << QString("byte %1 changed by %2: %3 × %4")
                                 .arg(at)
                                 .arg(int(uchar(change)))
                                 .arg(window.width())
                                 .arg(window.height());
        }
    }
    QVERIFY(accepted > written.size());
    QVERIFY2(oversized.isEmpty(), qPrintable(oversized.mid(0, 5).join("; ")));
}

QTEST_MAIN(tst_SavedLayout)
#include "tst_SavedLayout.moc"
