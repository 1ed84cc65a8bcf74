#include "ChildProcess.h"
#include "ChildRoles.h"
#include "ReliabilityRun.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

// The synthetic camera at 60 fps, 1920 x 1080, and a screen that first
// presents slowly (50 ms a frame) and then not at all for 10 s, the whole
// program in a child process: resident memory grows by at most 20 MB after
// warm-up, no stage keeps more than one frame waiting, and 1 s after the
// stall the picture shown is at most 3 frames old.
class tst_StalledScreen : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase();
    void stalledPresentation_data();
    void stalledPresentation();

private:
    int m_Stalls = 0;
    int m_Crashes = 0;
    int m_Reports = 0;
    long m_WorstGrowthKb = 0;
    qint64 m_WorstAge = 0;
    int m_MostWaited = 0;
    QStringList m_Dropped;
};

namespace
{
constexpr long kGrowthBoundKb = 20 * 1024;
constexpr qint64 kAgeBoundFrames = 3;
// Captured, processed and handed to the window: one frame each.
constexpr int kWaitingBound = 3;
} // namespace

void tst_StalledScreen::cleanupTestCase()
{
    ReliabilityRun::Report("stalled screen",
                           QString("stalls %1, crashes %2, sanitizer reports %3, memory growth after warm-up "
                                   "%4 MB (%5), frames that waited out a stall at most %6 (bound %7), "
                                   "age of the picture 1 s after a stall at most %8 frames (%9), "
                                   "captured frames dropped per stall %10")
                               .arg(m_Stalls)
                               .arg(m_Crashes)
                               .arg(m_Reports)
                               .arg(double(m_WorstGrowthKb) / 1024.0, 0, 'f', 1)
                               .arg(ReliabilityRun::Bound(kGrowthBoundKb / 1024, ReliabilityRun::EnforcesMemory()))
                               .arg(m_MostWaited)
                               .arg(kWaitingBound)
                               .arg(m_WorstAge)
                               .arg(ReliabilityRun::Bound(kAgeBoundFrames, ReliabilityRun::EnforcesTiming()))
                               .arg(m_Dropped.isEmpty() ? "-" : m_Dropped.join(" ")));
}

void tst_StalledScreen::stalledPresentation_data()
{
    QTest::addColumn<QString>("delivery");
    // Direct: frames keep reaching the pipeline while the screen is stopped.
    QTest::newRow("frames arrive during the stall") << "direct";
    // Queued: the stopped user-interface thread holds the camera's frames
    // back too.
    QTest::newRow("frames held back with the screen") << "queued";
}

void tst_StalledScreen::stalledPresentation()
{
    QFETCH(QString, delivery);
    if (delivery == "queued" && !ReliabilityRun::IsSlowTier())
        QSKIP("slow tier only: one 10 s stall is what the fast tier affords");
    const int stalls = ReliabilityRun::Rounds(1, 3, 2);
    QTemporaryDir home;
    ChildProcess child("stall", home.path(), {QString::number(stalls)});
    // Noise off: the camera's own thread must keep its pace on a busy machine.
    child.SetVariable("LENTAVIO_SIMCAM",
                      "size=1920x1080;rates=60;noise=0;delivery=" + delivery);
    child.Start();
    const bool ended = child.WaitForExit(60000 + stalls * 30000);
    const bool report = child.HasSanitizerReport();
    m_Reports += report ? 1 : 0;
    if (!ended || child.Failed() || report) {
        m_Crashes += report ? 0 : 1;
        QFAIL(qPrintable(child.Describe()));
    }

    QStringList failures;
    const QList<QByteArray> rounds = child.Lines("stall\t");
    if (rounds.size() != stalls)
        failures << QString("%1 of %2 stalls reported").arg(rounds.size()).arg(stalls);
    for (const QByteArray& round : rounds) {
        const QList<QByteArray> figures = round.split('\t');
        const qint64 age = figures.value(0).toLongLong();
        const int waited = figures.value(1).toInt();
        ++m_Stalls;
        m_WorstAge = qMax(m_WorstAge, age);
        m_MostWaited = qMax(m_MostWaited, waited);
        m_Dropped << QString(figures.value(2));
        // A sanitizer slows the pipeline below the camera's pace.
        if (age > kAgeBoundFrames && ReliabilityRun::EnforcesTiming())
            failures << QString("the picture 1 s after the stall is %1 frames old").arg(age);
        if (waited > kWaitingBound)
            failures << QString("%1 frames made before the stall ended were shown after it").arg(waited);
        if (figures.value(3).toInt() <= 0)
            failures << "no frame was shown while presentation was slow";
    }
    const QList<QByteArray> memory = child.Lines("memory\t").value(0).split('\t');
    const long growth = memory.value(1).toLong() - memory.value(0).toLong();
    m_WorstGrowthKb = qMax(m_WorstGrowthKb, growth);
    if (memory.value(0).toLong() <= 0 || (growth > kGrowthBoundKb && ReliabilityRun::EnforcesMemory()))
        failures << QString("resident memory %1 kB after warm-up, peak %2 kB").arg(QString(memory.value(0)),
                                                                                     QString(memory.value(1)));
    if (child.Lines("unreadable\t").value(0) != "0")
        failures << "frames without a readable number: " + child.Lines("unreadable\t").value(0);
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join("\n") + "\nchild output:\n" + child.Output()));
}

int main(int argc, char** argv)
{
    return ChildRoles::Main<tst_StalledScreen>(argc, argv, "size=1920x1080;rates=60");
}

#include "tst_StalledScreen.moc"
