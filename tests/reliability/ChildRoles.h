#pragma once

#include "ChildProcess.h"
#include "FramePoolAllocator.h"

#include <QApplication>
#include <QTest>

// What a child process started through ChildProcess does, chosen by its role.
// Each role starts the program as main() does and talks to the parent in
// output lines:
//   store       shows a frame, prints "use<TAB>..." for the values in use,
//               changes a few settings ("change<TAB>..."), prints the status
//               line ("status<TAB>...") and the values in use again
//               ("memory<TAB>...").
//   writeloop   prints "writing" and then changes settings until killed.
//   firstwrite  makes one change and prints "firstwrite<TAB>ms", the time
//               from start-up until it was written, and "change<TAB>..." .
//   shutdown    shows a frame, waits the milliseconds given as its argument,
//               prints "closing" and closes the window like a user; with
//               "colourdialog" as second argument, the marker colour dialog
//               is open by then.
//   stall       StalledScreenRole; argument: how many stalls.
//   camerafault CameraFaultRole; arguments: fault expected (0/1), switches,
//               good camera's index (-1: none).
class ChildRoles
{
public:
    // Call with the application and its names set up; returns the exit code.
    static int Run();
    // One output line, flushed at once so that the parent sees it even if
    // the child dies next.
    static void Print(const QString& line);

    // The main() of a test that runs children: the synthetic cameras (a
    // child keeps those its parent gave it), the application named as the
    // program names itself, then either the child's role or the test.
    template <typename Test>
    static int Main(int argc, char** argv, const char* cameras)
    {
        if (!ChildProcess::IsChild())
            qputenv("LENTAVIO_SIMCAM", cameras);
        FramePoolAllocator::Install();
        QApplication application(argc, argv);
        QApplication::setOrganizationName("Orvelta");
        QApplication::setApplicationName("Lentavio");
        if (ChildProcess::IsChild())
            return Run();
        Test test;
        return QTest::qExec(&test, argc, argv);
    }
};
