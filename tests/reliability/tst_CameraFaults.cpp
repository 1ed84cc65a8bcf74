#include "CameraFaultRole.h"
#include "ChildProcess.h"
#include "ChildRoles.h"
#include "ReliabilityRun.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

// Synthetic cameras that are missing, fail to start, get lost or are
// switched in quick succession, the whole program in a child process: no
// crash, the window keeps answering, the status bar says what happened and
// frames resume once a good camera is chosen.
class tst_CameraFaults : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase();
    void faults_data();
    void faults();

private:
    int m_Cases = 0;
    int m_Crashes = 0;
    int m_Reports = 0;
    int m_FaultsExpected = 0;
    int m_FaultsShown = 0;
    int m_ResumesExpected = 0;
    int m_Resumed = 0;
    int m_Switches = 0;
    qint64 m_SlowestResumeMs = 0;
    qint64 m_SlowestResponseMs = 0;
};

namespace
{
const QString kTimingPrefix = "Scale time:";
// A timer posted to the user-interface thread fires within this, however
// the cameras misbehave.
constexpr qint64 kResponseBoundMs = 1000;
} // namespace

void tst_CameraFaults::cleanupTestCase()
{
    ReliabilityRun::Report("camera faults",
                           QString("cases %1, crashes %2, sanitizer reports %3, faults told in the status bar "
                                   "%4/%5, frames resumed on a good camera %6/%7 (slowest %8 ms), camera "
                                   "switches %9, longest wait of a posted timer %10 ms (%11)")
                               .arg(m_Cases)
                               .arg(m_Crashes)
                               .arg(m_Reports)
                               .arg(m_FaultsShown)
                               .arg(m_FaultsExpected)
                               .arg(m_Resumed)
                               .arg(m_ResumesExpected)
                               .arg(m_SlowestResumeMs)
                               .arg(m_Switches)
                               .arg(m_SlowestResponseMs)
                               .arg(ReliabilityRun::Bound(kResponseBoundMs, ReliabilityRun::EnforcesTiming())));
}

void tst_CameraFaults::faults_data()
{
    QTest::addColumn<QString>("cameras");
    QTest::addColumn<bool>("fault");
    QTest::addColumn<int>("switches");
    // The camera to end on, by index; -1: there is none.
    QTest::addColumn<int>("goodCamera");
    // What the fault's message must say.
    QTest::addColumn<QString>("says");
    // The camera in use returns this long after its fault is shown, and
    // the picture must be back within 2 s of that; 0: no such bound.
    QTest::addColumn<int>("backWithinMs");

    const int switches = ReliabilityRun::Rounds(100, 1000, 300);
    QTest::newRow("no camera") << "cameras=0" << true << 0 << -1 << "No camera found" << 0;
    QTest::newRow("start failure, then a good camera")
        << "cameras=2;1.startfail=on" << true << 0 << 1 << "failed to start" << 0;
    QTest::newRow("lost after 30 frames, then a good camera")
        << "cameras=2;1.lostafter=30" << true << 0 << 1 << "stopped" << 0;
    QTest::newRow("busy, then a good camera") << "cameras=2;1.busy" << true << 0 << 1 << "in use by another program"
                                              << 0;
    // The fault is read 300 ms after it is shown.
    QTest::newRow("unplugged after 60 frames, back 1.5 s later by itself")
        << "cameras=2;1.unplugafter=60;1.replugafter=1500" << true << 0 << int(CameraFaultRole::ComesBack)
        << "is not connected" << 1500 - 300 + 2000;
    // The flood ends 2 s after the first listing; the fault is read soon after it starts.
    QTest::newRow("a flood of 100 unplugs and returns in 2 s, then back by itself")
        << "cameras=1;flaps=100;flapms=20" << true << 0 << int(CameraFaultRole::ComesBack) << "Camera" << 2000 + 2000;
    QTest::newRow("switched quickly among good and failing cameras, then a good one")
        << "cameras=3;3.startfail=on;2.slowstart=200" << false << switches << 1 << "" << 0;
}

void tst_CameraFaults::faults()
{
    QFETCH(QString, cameras);
    QFETCH(bool, fault);
    QFETCH(int, switches);
    QFETCH(int, goodCamera);
    QFETCH(QString, says);
    QFETCH(int, backWithinMs);

    QTemporaryDir home;
    ChildProcess child("camerafault", home.path(),
                       {fault ? "1" : "0", QString::number(switches), QString::number(goodCamera)});
    child.SetVariable("LENTAVIO_SIMCAM", cameras);
    child.Start();
    const bool ended = child.WaitForExit(120000);
    ++m_Cases;
    const bool report = child.HasSanitizerReport();
    m_Reports += report ? 1 : 0;
    if (!ended || child.Failed() || report) {
        m_Crashes += report ? 0 : 1;
        QFAIL(qPrintable(child.Describe()));
    }
    m_Switches += switches;

    QStringList failures;
    if (fault) {
        ++m_FaultsExpected;
        const QString message = child.Lines("fault\t").value(0);
        if (message.isEmpty() || message.startsWith(kTimingPrefix) || !message.contains(says))
            failures << QString("the status bar says \"%1\" after the fault").arg(message);
        else
            ++m_FaultsShown;
    }
    if (goodCamera != -1) {
        ++m_ResumesExpected;
        const qint64 resumeMs = child.Lines("resumed\t").value(0).toLongLong();
        if (child.Lines("resumed\t").isEmpty() || resumeMs < 0) {
            failures << "no frame from the good camera";
        } else if (backWithinMs > 0 && ReliabilityRun::EnforcesTiming() && resumeMs > backWithinMs) {
            failures << QString("the picture came back %1 ms after the fault was read").arg(resumeMs);
        } else {
            ++m_Resumed;
            m_SlowestResumeMs = qMax(m_SlowestResumeMs, resumeMs);
        }
    } else if (child.Lines("frame\t").value(0) != "no") {
        failures << "a picture appeared without a camera";
    }
    const QList<QByteArray> response = child.Lines("response\t");
    const qint64 responseMs = response.value(0).toLongLong();
    m_SlowestResponseMs = qMax(m_SlowestResponseMs, responseMs);
    if (response.isEmpty() || (ReliabilityRun::EnforcesTiming() && responseMs > kResponseBoundMs))
        failures << QString("a posted timer waited %1 ms").arg(QString(response.value(0)));
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join("\n") + "\nchild output:\n" + child.Output()));
}

int main(int argc, char** argv)
{
    return ChildRoles::Main<tst_CameraFaults>(argc, argv, "cameras=3");
}

#include "tst_CameraFaults.moc"
