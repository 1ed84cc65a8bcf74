#include "ChildProcess.h"
#include "ChildRoles.h"
#include "ReliabilityRun.h"
#include "StoreKeys.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// The program killed (SIGKILL) at random moments while it writes settings:
// the store must always parse with every key of the right type, and the
// next start must write its first change at once, whatever lock file the
// kill left behind.
class tst_KilledWhileWriting : public QObject
{
    Q_OBJECT

private slots:
    void killedAtRandomMoments();
    void nextStartAfterLeftoverLock_data();
    void nextStartAfterLeftoverLock();

private:
    // What is wrong with the store in home, or an empty string.
    static QString CheckStore(const QString& home);
    // Starts the program once on home, has it write one change and returns
    // how long that took from start-up, or -1 with failure set.
    static qint64 FirstWrite(const QString& home, QString* failure);
    static int FirstWriteBoundMs();
};

namespace
{
QString StorePath(const QString& home)
{
    return home + "/Orvelta/Lentavio.conf";
}
} // namespace

QString tst_KilledWhileWriting::CheckStore(const QString& home)
{
    const QSettings store(StorePath(home), QSettings::IniFormat);
    if (store.status() != QSettings::NoError)
        return "the store does not parse";
    QStringList wrong;
    for (const StoreKeys::Key& key : StoreKeys::All()) {
        if (!store.contains(key.Name))
            continue;
        const QVariant value = store.value(key.Name);
        bool right = false;
        switch (key.Type) {
        case StoreKeys::Kind::Bool:
            right = value.toString() == "true" || value.toString() == "false";
            break;
        case StoreKeys::Kind::Int:
            value.toString().toInt(&right);
            break;
        case StoreKeys::Kind::Double:
            right = std::isfinite(value.toString().toDouble(&right)) && right;
            break;
        case StoreKeys::Kind::Colour:
            right = value.userType() == QMetaType::QColor && value.value<QColor>().isValid();
            break;
        case StoreKeys::Kind::Device:
            right = value.userType() == QMetaType::QString;
            break;
        }
        if (!right)
            wrong << key.Name + "=" + value.toString();
    }
    return wrong.isEmpty() ? QString() : "wrong types: " + wrong.join(", ");
}

int tst_KilledWhileWriting::FirstWriteBoundMs()
{
    // A sanitizer slows start-up several times over; 10 s still tells a
    // start that waits out QSettings' 30-second stale lock.
    return ReliabilityRun::EnforcesTiming() ? 1000 : 10000;
}

qint64 tst_KilledWhileWriting::FirstWrite(const QString& home, QString* failure)
{
    ChildProcess child("firstwrite", home);
    child.Start();
    const QByteArray line = child.WaitForLine("firstwrite\t", 60000);
    if (line.isEmpty() || !child.WaitForExit(20000) || child.Failed() || child.HasSanitizerReport()) {
        *failure = child.Describe();
        return -1;
    }
    const QSettings store(StorePath(home), QSettings::IniFormat);
    for (const QByteArray& change : child.Lines("change\t")) {
        const QStringList fields = QString::fromUtf8(change).split('\t');
        const QString stored = StoreKeys::Text(StoreKeys::Find(fields.value(0))->Type, store.value(fields.value(0)));
        if (stored != fields.value(1)) {
            *failure = QString("%1 written as %2, not %3").arg(fields.value(0), stored, fields.value(1));
            return -1;
        }
    }
    return line.mid(line.indexOf('\t') + 1).toLongLong();
}

void tst_KilledWhileWriting::killedAtRandomMoments()
{
    const int rounds = ReliabilityRun::Rounds(15, 200, 40);
    QTemporaryDir home;
    QRandomGenerator random(7);
    QStringList failures;
    int crashes = 0;
    int reports = 0;
    int badStores = 0;
    int locksLeft = 0;
    qint64 slowestFirstWrite = 0;
    for (int round = 0; round < rounds; ++round) {
        ChildProcess writer("writeloop", home.path());
        writer.Start();
        if (writer.WaitForLine("writing", 60000).isEmpty()) {
            ++crashes;
            failures << QString("round %1: never wrote: %2").arg(round).arg(writer.Describe());
            continue;
        }
        // The random moment of the kill, while writes follow each other.
        QTest::qWait(int(random.bounded(250)));
        writer.Kill();
        writer.WaitForExit(10000);
        if (writer.HasSanitizerReport())
            ++reports;
        if (QFile::exists(StorePath(home.path()) + ".lock"))
            ++locksLeft;

        const QString storeProblem = CheckStore(home.path());
        if (!storeProblem.isEmpty()) {
            ++badStores;
            failures << QString("round %1: %2").arg(round).arg(storeProblem);
        }
        QString failure;
        const qint64 ms = FirstWrite(home.path(), &failure);
        slowestFirstWrite = qMax(slowestFirstWrite, ms);
        if (ms < 0) {
            ++crashes;
            failures << QString("round %1: next start: %2").arg(round).arg(failure);
        } else if (ms >= FirstWriteBoundMs()) {
            failures << QString("round %1: next start wrote its first change after %2 ms").arg(round).arg(ms);
        }
    }
    ReliabilityRun::Report("killed while writing",
                           QString("kills %1, crashes %2, sanitizer reports %3, unparsable or mistyped stores %4, "
                                   "lock files left by a kill %5, slowest first write of the next start %6 ms "
                                   "(bound %7)")
                               .arg(rounds)
                               .arg(crashes)
                               .arg(reports)
                               .arg(badStores)
                               .arg(locksLeft)
                               .arg(slowestFirstWrite)
                               .arg(FirstWriteBoundMs()));
    QVERIFY2(failures.isEmpty(), qPrintable(failures.mid(0, 5).join("\n")));
    QCOMPARE(reports, 0);
}

// A kill can land between QSettings creating its lock file and naming
// itself in it; the lock of a dead writer names a process that is gone.
void tst_KilledWhileWriting::nextStartAfterLeftoverLock_data()
{
    QProcess gone;
    gone.start("true", QStringList());
    gone.waitForFinished();
    const QByteArray deadPid = QByteArray::number(gone.processId() > 0 ? gone.processId() : 999999);

    QTest::addColumn<QByteArray>("lock");
    QTest::newRow("empty lock file") << QByteArray("");
    QTest::newRow("lock naming a dead writer")
        << deadPid + "\ntst_KilledWhileWriting\n" + QSysInfo::machineHostName().toUtf8() + "\n";
    QTest::newRow("lock with garbage") << QByteArray("\xff\xfe garbage\n\n");
}

void tst_KilledWhileWriting::nextStartAfterLeftoverLock()
{
    QFETCH(QByteArray, lock);
    QTemporaryDir home;
    QDir().mkpath(home.filePath("Orvelta"));
    {
        QSettings store(StorePath(home.path()), QSettings::IniFormat);
        store.setValue("HoleDetect/Threshold", 300);
    }
    QFile lockFile(StorePath(home.path()) + ".lock");
    QVERIFY(lockFile.open(QIODevice::WriteOnly));
    lockFile.write(lock);
    lockFile.close();

    QString failure;
    const qint64 ms = FirstWrite(home.path(), &failure);
    QVERIFY2(ms >= 0, qPrintable(failure));
    qInfo("first change written %lld ms after start-up", ms);
    QVERIFY2(ms < FirstWriteBoundMs(), qPrintable(QString("took %1 ms").arg(ms)));
}

int main(int argc, char** argv)
{
    return ChildRoles::Main<tst_KilledWhileWriting>(argc, argv, "size=320x240;rates=30");
}

#include "tst_KilledWhileWriting.moc"
