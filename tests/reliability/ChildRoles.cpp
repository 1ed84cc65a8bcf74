#include "ChildRoles.h"

#include "CameraFaultRole.h"
#include "ChildProcess.h"
#include "HoleDetectWnd.h"
#include "Lentavio.h"
#include "StalledScreenRole.h"
#include "WindowSession.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace
{
constexpr int kFrameTimeoutMs = 30000;

void PrintAll(const char* prefix, const QStringList& lines)
{
    for (const QString& line : lines)
        ChildRoles::Print(QString(prefix) + '\t' + line);
}

int Store()
{
    WindowSession session;
    if (!session.WaitForFrame(kFrameTimeoutMs)) {
        ChildRoles::Print("noframe");
        return 3;
    }
    PrintAll("use", session.ValuesInUse());
    PrintAll("change", session.ChangeSettings(0));
    // Before a frame can replace it with the timing line.
    ChildRoles::Print("status\t" + session.StatusMessage());
    PrintAll("memory", session.ValuesInUse());
    session.Window().close();
    return 0;
}

int WriteLoop()
{
    WindowSession session;
    ChildRoles::Print("writing");
    for (int step = 0;; ++step) {
        session.ChangeSettings(step);
        QCoreApplication::processEvents();
    }
}

int FirstWrite()
{
    QElapsedTimer clock;
    clock.start();
    WindowSession session;
    const QStringList changes = session.ChangeSettings(0);
    ChildRoles::Print(QString("firstwrite\t%1").arg(clock.elapsed()));
    PrintAll("change", changes);
    return 0;
}

int Shutdown()
{
    const int delayMs = QCoreApplication::arguments().value(1).toInt();
    WindowSession session;
    if (!session.WaitForFrame(kFrameTimeoutMs)) {
        ChildRoles::Print("noframe");
        return 3;
    }
    if (QCoreApplication::arguments().value(2) == "colourdialog") {
        QTest::mouseClick(session.Window().findChild<HoleDetectWnd*>()->m_MarkerColorView, Qt::LeftButton);
        const QWidgetList windows = QApplication::topLevelWidgets();
        if (std::none_of(windows.cbegin(), windows.cend(), [](const QWidget* window) {
                return qobject_cast<const QColorDialog*>(window) && window->isVisible();
            })) {
            ChildRoles::Print("nodialog");
            return 4;
        }
    }
    QTimer::singleShot(delayMs, &session.Window(), [&session] {
        ChildRoles::Print("closing");
        session.Window().close();
    });
    // Closing the last window ends the loop, as in main().
    return QCoreApplication::exec();
}
} // namespace

void ChildRoles::Print(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

int ChildRoles::Run()
{
    const QString role = ChildProcess::Role();
    if (role == "store")
        return Store();
    if (role == "writeloop")
        return WriteLoop();
    if (role == "firstwrite")
        return FirstWrite();
    if (role == "shutdown")
        return Shutdown();
    const QStringList args = QCoreApplication::arguments();
    if (role == "stall")
        return StalledScreenRole(args.value(1).toInt()).Run();
    if (role == "camerafault")
        return CameraFaultRole(args.value(1) == "1", args.value(2).toInt(), args.value(3).toInt()).Run();
    ChildRoles::Print("unknown role " + role);
    return 2;
}
