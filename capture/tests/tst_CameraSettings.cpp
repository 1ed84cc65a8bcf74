#include "CameraSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <limits>

class tst_CameraSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void FirstStartGivesDefaults();
    void StoredValuesAreLoaded();
    void BadStoredThreshold_data();
    void BadStoredThreshold();
    void BadStoredColorIsInvalid_data();
    void BadStoredColorIsInvalid();
    void StoredPositionOutsideTheEnumIsUnspecified();
    void AbsentStoredCameraFallsBackToDefault();
    void InstanceIsTheLiveObject();

    void SetInvertWritesAndSignalsOnlyOnChange_data();
    void SetInvertWritesAndSignalsOnlyOnChange();
    void SameCameraIsIgnored();
    void EdgeSettersAlwaysWrite();
    void PreviewColorIsNotPersisted();
    void SavedColorRoundTrips();

    void ConcurrentReadsNeverSeeTornValues();
};

void tst_CameraSettings::init()
{
    QSettings().clear();
}

void tst_CameraSettings::FirstStartGivesDefaults()
{
    CameraSettings settings;
    QCOMPARE(settings.GetSelectedCamera(), QCameraInfo::defaultCamera());
    QCOMPARE(settings.IsInvertH(), false);
    QCOMPARE(settings.IsInvertV(), false);
    QCOMPARE(settings.IsEdgeDetectEnabled(), false);
    QCOMPARE(settings.GetEdgeDetectMinThreshold(), 100.0);
    QCOMPARE(settings.GetEdgeDetectMaxThreshold(), 200.0);
    QCOMPARE(settings.GetEdgeDetectColor(), QColor(Qt::white));
    // Loading must not write anything back.
    QVERIFY(QSettings().allKeys().isEmpty());
}

void tst_CameraSettings::StoredValuesAreLoaded()
{
    {
        QSettings store;
        store.setValue("Camera/invertH", true);
        store.setValue("Camera/invertV", true);
        store.setValue("Filters/EdgeDetect/enabled", true);
        store.setValue("Filters/EdgeDetect/min_threshold", 12.5);
        store.setValue("Filters/EdgeDetect/max_threshold", 250.0);
        store.setValue("Filters/EdgeDetect/color", QColor(10, 20, 30));
    }
    CameraSettings settings;
    QCOMPARE(settings.IsInvertH(), true);
    QCOMPARE(settings.IsInvertV(), true);
    const EdgeDetectParams params = settings.GetEdgeDetectParams();
    QCOMPARE(params.Enabled, true);
    QCOMPARE(params.MinThreshold, 12.5);
    QCOMPARE(params.MaxThreshold, 250.0);
    QCOMPARE(params.Color, QColor(10, 20, 30));
}

void tst_CameraSettings::BadStoredThreshold_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<double>("expected");

    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("NaN as double") << QVariant(std::nan("")) << 100.0;
    QTest::newRow("inf as double") << QVariant(inf) << 100.0;
    QTest::newRow("-inf as double") << QVariant(-inf) << 100.0;
    QTest::newRow("nan as text") << QVariant("nan") << 100.0;
    QTest::newRow("inf as text") << QVariant("inf") << 100.0;
    QTest::newRow("not a number") << QVariant("abc") << 0.0;
    QTest::newRow("number as text") << QVariant("42.5") << 42.5;
    QTest::newRow("huge but finite") << QVariant(1e308) << 1e308;
}

void tst_CameraSettings::BadStoredThreshold()
{
    QFETCH(QVariant, stored);
    QFETCH(double, expected);
    QSettings().setValue("Filters/EdgeDetect/min_threshold", stored);
    CameraSettings settings;
    QCOMPARE(settings.GetEdgeDetectMinThreshold(), expected);
    QCOMPARE(settings.GetEdgeDetectMaxThreshold(), 200.0);
}

void tst_CameraSettings::BadStoredColorIsInvalid_data()
{
    // Raw lines of the store file, as a damaged or hand-edited one holds them.
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("list of words") << QByteArray("color=not, a colour");
    QTest::newRow("truncated colour record") << QByteArray("color=@Variant(\\0\\0\\0\\x43)");
    QTest::newRow("colour record with a bad colour model") << QByteArray("color=@Variant(\\0\\0\\0\\x43\\x9\\xff\\xff\\xff\\xff\\0\\0\\0\\0\\0\\0)");
    QTest::newRow("empty") << QByteArray("color=");
}

void tst_CameraSettings::BadStoredColorIsInvalid()
{
    QFETCH(QByteArray, line);
    const QString path = QSettings().fileName();
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Filters]\n");
    file.write(line.replace("color=", "EdgeDetect\\color=") + "\n");
    file.close();

    CameraSettings settings;
    QVERIFY(!settings.GetEdgeDetectColor().isValid());
}

void tst_CameraSettings::StoredPositionOutsideTheEnumIsUnspecified()
{
    {
        QSettings store;
        store.setValue("Camera/device", "no-such-device");
        store.setValue("Camera/position", 99);
    }
    CameraSettings settings;
    QCOMPARE(settings.GetSelectedCamera(), QCameraInfo::defaultCamera());
}

void tst_CameraSettings::AbsentStoredCameraFallsBackToDefault()
{
    {
        QSettings store;
        store.setValue("Camera/device", "no-such-device");
        store.setValue("Camera/position", int(QCamera::FrontFace));
    }
    CameraSettings settings;
    QCOMPARE(settings.GetSelectedCamera(), QCameraInfo::defaultCamera());
    // The stored choice is kept until the user picks another camera.
    QCOMPARE(QSettings().value("Camera/device").toString(), QString("no-such-device"));
}

void tst_CameraSettings::InstanceIsTheLiveObject()
{
    {
        CameraSettings settings;
        QCOMPARE(CameraSettings::Instance(), &settings);
    }
    QCOMPARE(CameraSettings::Instance(), nullptr);
}

void tst_CameraSettings::SetInvertWritesAndSignalsOnlyOnChange_data()
{
    QTest::addColumn<bool>("horizontal");
    QTest::newRow("horizontal") << true;
    QTest::newRow("vertical") << false;
}

void tst_CameraSettings::SetInvertWritesAndSignalsOnlyOnChange()
{
    QFETCH(bool, horizontal);
    const QString key = horizontal ? "Camera/invertH" : "Camera/invertV";
    CameraSettings settings;
    QSignalSpy spy(&settings, horizontal ? &CameraSettings::SignalFlipHToggled : &CameraSettings::SignalFlipVToggled);
    const auto set = [&](bool invert) { horizontal ? settings.SetInvertH(invert) : settings.SetInvertV(invert); };

    set(true);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    QCOMPARE(QSettings().value(key).toBool(), true);

    QSettings().remove(key);
    set(true);
    QCOMPARE(spy.count(), 1);
    QVERIFY2(!QSettings().contains(key), "an unchanged value must not be written");

    set(false);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(QSettings().value(key).toBool(), false);
    QCOMPARE(horizontal ? settings.IsInvertH() : settings.IsInvertV(), false);
}

void tst_CameraSettings::SameCameraIsIgnored()
{
    CameraSettings settings;
    QSignalSpy spy(&settings, &CameraSettings::SignalSelectedCameraChanged);
    settings.SetSelectedCamera(settings.GetSelectedCamera());
    QCOMPARE(spy.count(), 0);
    QVERIFY(!QSettings().contains("Camera/device"));
}

void tst_CameraSettings::EdgeSettersAlwaysWrite()
{
    CameraSettings settings;
    settings.SetEdgeDetectMinThreshold(100.0);
    settings.SetEdgeDetectMaxThreshold(200.0);
    settings.SetEdgeDetectEnabled(false);
    QSettings store;
    QCOMPARE(store.value("Filters/EdgeDetect/min_threshold").toDouble(), 100.0);
    QCOMPARE(store.value("Filters/EdgeDetect/max_threshold").toDouble(), 200.0);
    QVERIFY(store.contains("Filters/EdgeDetect/enabled"));

    settings.SetEdgeDetectMinThreshold(33.0);
    CameraSettings reloaded;
    QCOMPARE(reloaded.GetEdgeDetectMinThreshold(), 33.0);
}

void tst_CameraSettings::PreviewColorIsNotPersisted()
{
    QSettings().setValue("Filters/EdgeDetect/color", QColor(Qt::blue));
    {
        CameraSettings settings;
        settings.SetEdgeDetectColor(Qt::red);
        QCOMPARE(settings.GetEdgeDetectColor(), QColor(Qt::red));
        QCOMPARE(settings.GetEdgeDetectParams().Color, QColor(Qt::red));
    }
    CameraSettings restarted;
    QCOMPARE(restarted.GetEdgeDetectColor(), QColor(Qt::blue));
}

void tst_CameraSettings::SavedColorRoundTrips()
{
    {
        CameraSettings settings;
        settings.SetEdgeDetectColor(QColor(1, 2, 3));
        settings.SaveEdgeDetectColor();
    }
    CameraSettings restarted;
    QCOMPARE(restarted.GetEdgeDetectColor(), QColor(1, 2, 3));
}

// The worker thread reads the edge values while the user-interface thread
// writes them; every value read must be one that was written, whole.
void tst_CameraSettings::ConcurrentReadsNeverSeeTornValues()
{
    CameraSettings settings;
    const QColor colorA(255, 0, 0);
    const QColor colorB(0, 255, 0);
    const double thresholdA = 1.0;
    const double thresholdB = 254.0;
    settings.SetEdgeDetectColor(colorA);
    settings.SetEdgeDetectMinThreshold(thresholdA);

    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::atomic<int> reads{0};
    QThread* reader = QThread::create([&] {
        while (!stop.load()) {
            const EdgeDetectParams params = settings.GetEdgeDetectParams();
            const QColor color = settings.GetEdgeDetectColor();
            const double threshold = settings.GetEdgeDetectMinThreshold();
            if ((params.Color != colorA && params.Color != colorB) || (color != colorA && color != colorB)
                || (params.MinThreshold != thresholdA && params.MinThreshold != thresholdB)
                || (threshold != thresholdA && threshold != thresholdB))
                ++torn;
            ++reads;
        }
    });
    reader->start();
    for (int i = 0; i < 20000; ++i) {
        settings.SetEdgeDetectColor(i % 2 ? colorA : colorB);
        if (i % 100 == 0)
            settings.SetEdgeDetectMinThreshold(i % 200 ? thresholdA : thresholdB);
    }
    QTRY_VERIFY(reads.load() > 1000);
    stop = true;
    reader->wait();
    delete reader;
    QCOMPARE(torn.load(), 0);
}

QTEST_GUILESS_MAIN(tst_CameraSettings)
#include "tst_CameraSettings.moc"
