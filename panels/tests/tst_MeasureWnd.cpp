#include "AlignmentTracker.h"
#include "CameraSettings.h"
#include "MeasureSettings.h"
#include "MeasureWnd.h"
#include "SnapshotWriter.h"

#include <QDir>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace
{
const QSize kVga(640, 480);

// The camera the panel keeps its scale for.
QString Device()
{
    return CameraSettings::Instance()->GetSelectedCamera().deviceName();
}

HoleMeasurement Hole(double diameter, QSize frameSize = kVga)
{
    HoleMeasurement measurement;
    measurement.Found = diameter > 0.0;
    measurement.FrameSize = frameSize;
    measurement.Diameter = diameter;
    return measurement;
}
}

class tst_MeasureWnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void alignment_data();
    void alignment();
    void scaleKeptPerCameraAndResolution();
    void scaleInput_data();
    void scaleInput();
    void snapshotFailuresLeaveNothing_data();
    void snapshotFailuresLeaveNothing();
    void snapshotNamesNeverClash();

private:
    std::unique_ptr<CameraSettings> m_Settings;
    std::unique_ptr<MeasureWnd> m_Panel;
};

void tst_MeasureWnd::init()
{
    QSettings().clear();
    m_Settings = std::make_unique<CameraSettings>();
    m_Panel = std::make_unique<MeasureWnd>();
}

void tst_MeasureWnd::cleanup()
{
    m_Panel.reset();
    m_Settings.reset();
}

// One sample every 40 ms (25 fps); offsets along x, in pixels.
void tst_MeasureWnd::alignment_data()
{
    QTest::addColumn<QVector<double>>("offsets");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<qint64>("readAtMs");
    QTest::addColumn<bool>("aligned");
    QTest::addColumn<double>("jitter");

    const QVector<double> steady(14, 0.5);  // 0 to 520 ms
    QTest::newRow("steady: aligned after 0.5 s") << steady << 1.0 << qint64(520) << true << 0.0;
    QTest::newRow("steady: not yet at 0.48 s") << steady.mid(0, 13) << 1.0 << qint64(480) << false << 0.0;
    QTest::newRow("steady outside the tolerance") << steady << 0.4 << qint64(520) << false << 0.0;
    QTest::newRow("steady, then no frames for 0.6 s") << steady << 1.0 << qint64(1120) << false << 0.0;

    QVector<double> jittering;
    for (int i = 0; i < 14; ++i)
        jittering << (i % 2 ? 0.3 : -0.3);
    QTest::newRow("jitter within the tolerance: aligned") << jittering << 1.0 << qint64(520) << true << 0.3;
    QTest::newRow("jitter across the tolerance restarts the wait")
        << jittering << 0.3 - 1e-9 << qint64(520) << false << 0.3;

    QVector<double> leftEarly = steady;
    leftEarly[5] = 3.0;  // at 200 ms
    QTest::newRow("a step outside at 0.2 s delays it") << leftEarly << 1.0 << qint64(520) << false << -1.0;
    QVector<double> lost = steady;
    lost[5] = qQNaN();
    QTest::newRow("a frame without hole delays it") << lost << 1.0 << qint64(520) << false << 0.0;

    // 50 samples over 2 s: only the last second (26 samples, all 0) counts.
    QVector<double> settled(24, 5.0);
    settled += QVector<double>(26, 0.0);
    QTest::newRow("jitter forgets samples older than 1 s") << settled << 1.0 << qint64(1960) << true << 0.0;
}

void tst_MeasureWnd::alignment()
{
    QFETCH(QVector<double>, offsets);
    QFETCH(double, tolerance);
    QFETCH(qint64, readAtMs);
    QFETCH(double, jitter);
    AlignmentTracker tracker;
    for (int i = 0; i < offsets.size(); ++i)
        tracker.AddSample(40 * i, !qIsNaN(offsets[i]), QPointF(offsets[i], 0.0), tolerance);

    QTEST(tracker.IsAligned(readAtMs), "aligned");
    if (jitter >= 0.0)
        QVERIFY2(qAbs(tracker.GetJitter(readAtMs) - jitter) < 1e-9, qPrintable(QString::number(tracker.GetJitter(readAtMs))));
}

void tst_MeasureWnd::scaleKeptPerCameraAndResolution()
{
    // Names that a careless key would fold together or split into groups.
    const QStringList devices{"/dev/video0", "/dev/video0@1", "dev/video0", "a/b%2Fc", ""};
    for (int i = 0; i < devices.size(); ++i) {
        MeasureSettings::SetScale(devices[i], kVga, 0.01 * (i + 1));
        MeasureSettings::SetScale(devices[i], QSize(1920, 1080), 0.001 * (i + 1));
    }
    for (int i = 0; i < devices.size(); ++i) {
        QCOMPARE(MeasureSettings::GetScale(devices[i], kVga), 0.01 * (i + 1));
        QCOMPARE(MeasureSettings::GetScale(devices[i], QSize(1920, 1080)), 0.001 * (i + 1));
        QCOMPARE(MeasureSettings::GetScale(devices[i], QSize(480, 640)), 0.0);
    }
    MeasureSettings::ClearScale(devices[0], kVga);
    QCOMPARE(MeasureSettings::GetScale(devices[0], kVga), 0.0);
    QCOMPARE(MeasureSettings::GetScale(devices[1], kVga), 0.02);

    // A damaged store reads as no scale.
    QSettings settings;
    for (const QString& key : settings.allKeys().filter("Measure/Scale/"))
        settings.setValue(key, key.endsWith("1920x1080") ? QVariant("wide") : QVariant(1e300));
    settings.sync();
    QCOMPARE(MeasureSettings::GetScale(devices[1], kVga), 0.0);
    QCOMPARE(MeasureSettings::GetScale(devices[1], QSize(1920, 1080)), 0.0);
}

// A scale typed in (holeDiameter 0) or derived from the hole's measured
// diameter and a typed one in mm; refused input keeps the previous 0.02.
void tst_MeasureWnd::scaleInput_data()
{
    QTest::addColumn<double>("holeDiameter");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("expected");

    QTest::newRow("typed scale") << 0.0 << "0.05" << 0.05;
    QTest::newRow("typed zero") << 0.0 << "0" << 0.02;
    QTest::newRow("typed negative") << 0.0 << "-0.05" << 0.02;
    QTest::newRow("typed word") << 0.0 << "five" << 0.02;
    QTest::newRow("typed 1e300") << 0.0 << "1e300" << 0.02;
    QTest::newRow("typed inf") << 0.0 << "inf" << 0.02;
    QTest::newRow("hole: 10 mm over 40 px") << 40.0 << "10" << 0.25;
    QTest::newRow("hole: zero diameter") << 40.0 << "0" << 0.02;
    QTest::newRow("hole: negative diameter") << 40.0 << "-10" << 0.02;
    QTest::newRow("hole: diameter not a number") << 40.0 << "ten" << 0.02;
    QTest::newRow("hole: out-of-range result") << 40.0 << "1e300" << 0.02;
    QTest::newRow("hole: none detected, nothing asked") << -1.0 << "" << 0.02;
}

void tst_MeasureWnd::scaleInput()
{
    QFETCH(double, holeDiameter);
    QFETCH(QString, typed);
    QFETCH(double, expected);
    MeasureSettings::SetScale(Device(), kVga, 0.02);
    m_Panel->SlotHoleMeasured(Hole(holeDiameter));
    auto* edit = m_Panel->findChild<QLineEdit*>("m_ScaleEdit");
    QSignalSpy notices(m_Panel.get(), &MeasureWnd::SignalNotice);

    bool asked = false;
    if (holeDiameter == 0.0) {
        edit->setText(typed);
        m_Panel->findChild<QPushButton*>("m_ApplyScaleButton")->click();
    } else {
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            asked = dialog;
            // The hole vanishes while the user types; the measured size stays.
            m_Panel->SlotHoleMeasured(Hole(0.0));
            if (dialog) {
                dialog->setTextValue(typed);
                dialog->accept();
            }
        });
        m_Panel->findChild<QPushButton*>("m_SetFromHoleButton")->click();
    }

    QCOMPARE(asked, holeDiameter > 0.0);
    QCOMPARE(notices.count(), 1);
    QCOMPARE(MeasureSettings::GetScale(Device(), kVga), expected);
    QCOMPARE(QLocale::c().toDouble(edit->text()), expected);
    // Another resolution of the same camera has a scale of its own.
    m_Panel->SlotHoleMeasured(Hole(0.0, QSize(1280, 720)));
    QCOMPARE(edit->text(), QString());
}

void tst_MeasureWnd::snapshotFailuresLeaveNothing_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QImage>("picture");

    QImage picture(8, 6, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QTest::newRow("missing folder") << "missing" << picture;
    QTest::newRow("folder is a file") << "file" << picture;
    QTest::newRow("no picture yet") << "" << QImage();
}

void tst_MeasureWnd::snapshotFailuresLeaveNothing()
{
    QFETCH(QString, folder);
    QFETCH(QImage, picture);
    QTemporaryDir dir;
    QFile(dir.filePath("file")).open(QIODevice::WriteOnly);
    const QDateTime time(QDate(2026, 12, 7), QTime(18, 0, 0, 5));
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    QString error;
    const QString path = SnapshotWriter::Save(dir.filePath(folder), time, picture, picture, {}, &error);

    QVERIFY(path.isEmpty());
    QVERIFY(error.startsWith("Snapshot not saved"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
}

// Two snapshots in the same millisecond do not overwrite each other.
void tst_MeasureWnd::snapshotNamesNeverClash()
{
    QTemporaryDir dir;
    QImage picture(8, 6, QImage::Format_RGB32);
    picture.fill(Qt::red);
    const QDateTime time(QDate(2026, 12, 7), QTime(18, 0, 0, 5));
    QString error;

    QCOMPARE(SnapshotWriter::Save(dir.path(), time, picture, picture, {}, &error),
             dir.filePath("lentavio-20261207-180000-005.png"));
    QCOMPARE(SnapshotWriter::Save(dir.path(), time, picture, QImage(), {}, &error),
             dir.filePath("lentavio-20261207-180000-005-2.png"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

QTEST_MAIN(tst_MeasureWnd)
#include "tst_MeasureWnd.moc"
