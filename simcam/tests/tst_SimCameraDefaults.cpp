// The synthetic camera as a program finds it with no configuration at all.

#include "SimCameraRig.h"

#include <QCameraInfo>
#include <QGuiApplication>
#include <QtTest>

#include <algorithm>

namespace {

// Frames presented per second, as a share of the set rate. Under
// ThreadSanitizer every rendered pixel is instrumented and a 30 fps frame
// takes longer to make than its period on 2 cores (12-15 fps measured), so
// there only a steady flow is required; the production rate, counted by the
// stamps, is checked in full either way.
#if defined(__SANITIZE_THREAD__)
constexpr qreal MinDeliveredShare = 0.25;
#else
constexpr qreal MinDeliveredShare = 0.5;
#endif

bool ByMinimum(const QCamera::FrameRateRange& a, const QCamera::FrameRateRange& b)
{
    return a.minimumFrameRate < b.minimumFrameRate;
}

int SquaredDistance(const QVector<int>& a, const QVector<int>& b)
{
    int sum = 0;
    for (int i = 0; i < 3; ++i)
        sum += (a[i] - b[i]) * (a[i] - b[i]);
    return sum;
}

}  // namespace

class tst_SimCameraDefaults : public QObject
{
    Q_OBJECT

private slots:
    void listsOneCamera();
    void offersTheDefaultModes();
    void holeSceneSuitsTheDetector();
    void deliversAtTheSetRate_data();
    void deliversAtTheSetRate();
    void unsupportedRateIsACameraError_data();
    void unsupportedRateIsACameraError();
};

void tst_SimCameraDefaults::listsOneCamera()
{
    const QList<QCameraInfo> cameras = QCameraInfo::availableCameras();
    QCOMPARE(cameras.size(), 1);
    QCOMPARE(cameras.first().deviceName(), QStringLiteral("simcam1"));
    QCOMPARE(cameras.first().description(), QStringLiteral("Synthetic camera"));
    QCOMPARE(cameras.first().position(), QCamera::UnspecifiedPosition);
    QCOMPARE(QCameraInfo::defaultCamera(), cameras.first());

    QCamera camera(cameras.first());
    QCOMPARE(camera.error(), QCamera::NoError);
    QCOMPARE(QCameraInfo(camera), cameras.first());
}

void tst_SimCameraDefaults::offersTheDefaultModes()
{
    SimCameraRig rig(QCameraInfo::defaultCamera());
    rig.Start();
    QTRY_COMPARE(rig.Camera()->status(), QCamera::ActiveStatus);

    QList<QCamera::FrameRateRange> ranges = rig.Camera()->supportedViewfinderFrameRateRanges();
    std::sort(ranges.begin(), ranges.end(), ByMinimum);
    const QList<QCamera::FrameRateRange> expected{{1, 15}, {5, 30}};
    QCOMPARE(ranges, expected);
    QCOMPARE(rig.Camera()->supportedViewfinderResolutions(), QList<QSize>{QSize(640, 480)});
    QList<QVideoFrame::PixelFormat> formats = rig.Camera()->supportedViewfinderPixelFormats();
    std::sort(formats.begin(), formats.end());
    QCOMPARE(formats, (QList<QVideoFrame::PixelFormat>{QVideoFrame::Format_RGB32, QVideoFrame::Format_BGR24}));
    QCOMPARE(rig.Camera()->viewfinderSettings().maximumFrameRate(), 30.0);
}

void tst_SimCameraDefaults::holeSceneSuitsTheDetector()
{
    SimCameraRig rig(QCameraInfo::defaultCamera());
    rig.Start();
    QTRY_VERIFY(rig.Probe().Count() >= 3);

    const SimProbeSurface::Record first = rig.Probe().Records().first();
    QCOMPARE(first.Format, QVideoFrame::Format_RGB32);
    QCOMPARE(first.Size, QSize(640, 480));
    QCOMPARE(first.BytesPerLine, 640 * 4);

    // A hole sits three pixels right of the middle; the plate shows at
    // (400, 300), lit slightly warm.
    const QVector<int> hole = rig.Probe().PixelAt(323, 238);
    const QVector<int> plate = rig.Probe().PixelAt(400, 300);
    QVERIFY2(*std::max_element(hole.begin(), hole.end()) < 60, "hole not dark");
    QVERIFY2(*std::min_element(plate.begin(), plate.end()) > 150, "plate not light");
    QVERIFY2(plate[2] > plate[0], "plate not warm: channel order swapped?");
    // The program tells hole from plate beyond a squared distance of 3125.
    QVERIFY(SquaredDistance(hole, plate) > 4 * 3125);
    // Mild noise: neighbouring plate pixels stay close.
    QVERIFY(SquaredDistance(plate, rig.Probe().PixelAt(401, 300)) < 3125 / 10);

    const QVector<SimProbeSurface::Record> records = rig.Probe().Records();
    for (int i = 1; i < records.size(); ++i) {
        QVERIFY(records[i].Stamp && records[i - 1].Stamp);
        QVERIFY(*records[i].Stamp > *records[i - 1].Stamp);
    }
}

void tst_SimCameraDefaults::deliversAtTheSetRate_data()
{
    QTest::addColumn<qreal>("rate");
    QTest::newRow("30 fps, the largest the program picks") << 30.0;
    QTest::newRow("8 fps, inside 5-30") << 8.0;
}

void tst_SimCameraDefaults::deliversAtTheSetRate()
{
    QFETCH(qreal, rate);
    SimCameraRig rig(QCameraInfo::defaultCamera());
    rig.Start();
    QTRY_VERIFY(rig.Probe().Count() >= 2);
    rig.SetRate(rate);
    const int before = rig.Probe().Count();
    QTRY_COMPARE(rig.Camera()->status(), QCamera::ActiveStatus);
    QCOMPARE(rig.Camera()->viewfinderSettings().maximumFrameRate(), rate);

    // About two seconds of frames, counted by their stamps so that a frame
    // dropped on a busy machine still counts as produced.
    const quint32 span = quint32(rate * 2);
    const auto spanned = [&] {
        const QVector<SimProbeSurface::Record> records = rig.Probe().Records();
        return records.size() > before + 1 && *records.last().Stamp >= *records.at(before).Stamp + span;
    };
    QTRY_VERIFY_WITH_TIMEOUT(spanned(), 10000);
    const QVector<SimProbeSurface::Record> records = rig.Probe().Records().mid(before);
    // The restart numbers on from where the run before it stopped.
    QVERIFY(*records.first().Stamp > *rig.Probe().Records().at(before - 1).Stamp);
    const qreal seconds = (records.last().ArrivalMs - records.first().ArrivalMs) / 1000.0;
    const qreal produced = (*records.last().Stamp - *records.first().Stamp) / seconds;
    const qreal delivered = (records.size() - 1) / seconds;
    QVERIFY2(produced > 0.8 * rate && produced < 1.2 * rate, qPrintable(QString::number(produced)));
    QVERIFY2(delivered > MinDeliveredShare * rate, qPrintable(QString::number(delivered)));
}

void tst_SimCameraDefaults::unsupportedRateIsACameraError_data()
{
    QTest::addColumn<qreal>("rate");
    QTest::newRow("above every range") << 60.0;
    QTest::newRow("below every range") << 0.5;
}

void tst_SimCameraDefaults::unsupportedRateIsACameraError()
{
    QFETCH(qreal, rate);
    SimCameraRig rig(QCameraInfo::defaultCamera());
    QSignalSpy errors(rig.Camera(), QOverload<QCamera::Error>::of(&QCamera::error));
    rig.Start();
    QTRY_COMPARE(rig.Camera()->status(), QCamera::ActiveStatus);
    rig.SetRate(rate);
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors.first().first().value<QCamera::Error>(), QCamera::CameraError);
    QCOMPARE(rig.Camera()->viewfinderSettings().maximumFrameRate(), 30.0);
}

int main(int argc, char** argv)
{
    qunsetenv("LENTAVIO_SIMCAM");
    QGuiApplication app(argc, argv);
    tst_SimCameraDefaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_SimCameraDefaults.moc"
