#include "ChildRoles.h"

#include "ChildProcess.h"
#include "Lentavio.h"
#include "WindowSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

namespace
{
constexpr int kFrameTimeoutMs = 30000;

void Print(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

void PrintAll(const char* prefix, const QStringList& lines)
{
    for (const QString& line : lines)
        Print(QString(prefix) + '\t' + line);
}

int Store()
{
    WindowSession session;
    if (!session.WaitForFrame(kFrameTimeoutMs)) {
        Print("noframe");
        return 3;
    }
    PrintAll("use", session.ValuesInUse());
    PrintAll("change", session.ChangeSettings(0));
    PrintAll("memory", session.ValuesInUse());
    session.Window().close();
    return 0;
}

int WriteLoop()
{
    WindowSession session;
    Print("writing");
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
    Print(QString("firstwrite\t%1").arg(clock.elapsed()));
    PrintAll("change", changes);
    return 0;
}

int NoCamera()
{
    WindowSession session;
    // Long enough for a first frame from any camera; none may come.
    const bool frame = session.WaitForFrame(1500);
    QElapsedTimer clock;
    clock.start();
    QCoreApplication::processEvents();
    Print(QString("frame\t%1").arg(frame ? "yes" : "no"));
    Print(QString("events\t%1").arg(clock.elapsed()));
    Print("status\t" + session.StatusMessage());
    Print(QString("menu\t%1").arg(session.CameraMenuEntries()));
    session.Window().close();
    return 0;
}

int Shutdown()
{
    const int delayMs = QCoreApplication::arguments().value(1).toInt();
    WindowSession session;
    if (!session.WaitForFrame(kFrameTimeoutMs)) {
        Print("noframe");
        return 3;
    }
    QTimer::singleShot(delayMs, &session.Window(), [&session] {
        Print("closing");
        session.Window().close();
    });
    // Closing the last window ends the loop, as in main().
    return QCoreApplication::exec();
}
} // namespace

int ChildRoles::Run()
{
    const QString role = ChildProcess::Role();
    if (role == "store")
        return Store();
    if (role == "writeloop")
        return WriteLoop();
    if (role == "firstwrite")
        return FirstWrite();
    if (role == "nocamera")
        return NoCamera();
    if (role == "shutdown")
        return Shutdown();
    Print("unknown role " + role);
    return 2;
}
