#include "ChildProcess.h"
#include "ChildRoles.h"
#include "ReliabilityRun.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

// The window closed by the user at a random moment 0-500 ms after frames
// start, alone or with a dialog of its own open, each round a whole program in a child process: no crash, no
// sanitizer report (under AddressSanitizer that includes leaks of our own at
// exit) and every exit within 2 s of the close.
class tst_ShutdownInFlight : public QObject
{
    Q_OBJECT

private slots:
    void closedAtRandomMoments_data();
    void closedAtRandomMoments();
};

void tst_ShutdownInFlight::closedAtRandomMoments_data()
{
    QTest::addColumn<QString>("open");
    QTest::addColumn<int>("rounds");
    QTest::newRow("window alone") << QString() << ReliabilityRun::Rounds(12, 200, 50);
    // A dialog left open must not keep the program running.
    QTest::newRow("marker colour dialog open") << QString("colourdialog") << ReliabilityRun::Rounds(3, 20, 10);
}

void tst_ShutdownInFlight::closedAtRandomMoments()
{
    QFETCH(QString, open);
    QFETCH(int, rounds);
    constexpr qint64 kExitBoundMs = 2000;
    QRandomGenerator random(500);
    QStringList failures;
    QVector<qint64> exits;
    int crashes = 0;
    int reports = 0;
    for (int round = 0; round < rounds; ++round) {
        QTemporaryDir home;
        const int delay = int(random.bounded(501));
        ChildProcess child("shutdown", home.path(), {QString::number(delay), open});
        child.Start();
        const bool closing = !child.WaitForLine("closing", 120000).isEmpty();
        const qint64 closedAt = child.ElapsedMs();
        const bool ended = child.WaitForExit(30000);
        const qint64 exitMs = child.ElapsedMs() - closedAt;
        if (child.HasSanitizerReport())
            ++reports;
        if (!closing || !ended || child.Failed() || child.HasSanitizerReport()) {
            crashes += child.HasSanitizerReport() ? 0 : 1;
            failures << QString("round %1, close after %2 ms: %3").arg(round).arg(delay).arg(child.Describe());
            continue;
        }
        exits << exitMs;
        if (exitMs >= kExitBoundMs)
            failures << QString("round %1, close after %2 ms: exit took %3 ms").arg(round).arg(delay).arg(exitMs);
    }
    std::sort(exits.begin(), exits.end());
    ReliabilityRun::Report(open.isEmpty() ? QString("shutdown in flight") : "shutdown in flight, " + open,
                           QString("rounds %1, crashes %2, sanitizer reports %3, exit after close median %4 ms, "
                                   "slowest %5 ms (bound %6)")
                               .arg(rounds)
                               .arg(crashes)
                               .arg(reports)
                               .arg(exits.isEmpty() ? -1 : exits.at(exits.size() / 2))
                               .arg(exits.isEmpty() ? -1 : exits.last())
                               .arg(kExitBoundMs));
    QVERIFY2(failures.isEmpty(), qPrintable(failures.mid(0, 5).join("\n")));
}

int main(int argc, char** argv)
{
    return ChildRoles::Main<tst_ShutdownInFlight>(argc, argv, "size=640x480;rates=30");
}

#include "tst_ShutdownInFlight.moc"
