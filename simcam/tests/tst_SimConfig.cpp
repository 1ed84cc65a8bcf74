// Reading LENTAVIO_SIMCAM: what each entry sets, and that a bad entry is
// reported and leaves the default in place.

#include "SimConfig.h"

#include <QTemporaryFile>
#include <QtTest>

#include <functional>

using Check = std::function<bool(const QVector<SimCameraSetup>&)>;
Q_DECLARE_METATYPE(Check)

class tst_SimConfig : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void readsAFile();
};

void tst_SimConfig::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("problems");
    QTest::addColumn<Check>("check");
    using Cameras = QVector<SimCameraSetup>;
    QTest::newRow("empty: one default camera") << "" << 0 << Check([](const Cameras& c) {
        return c.size() == 1 && c[0].DeviceName == "simcam1" && c[0].Size == QSize(640, 480) && c[0].Rates.size() == 2
               && c[0].Formats.size() == 2 && c[0].Delivery == SimCameraSetup::DeliveryMode::Queued;
    });
    QTest::newRow("no cameras") << "cameras=0" << 0 << Check([](const Cameras& c) { return c.isEmpty(); });
    QTest::newRow("shared key, own key wins wherever it stands")
        << "cameras=2;2.size=800x600;size=1280x720" << 0 << Check([](const Cameras& c) {
               return c[0].Size == QSize(1280, 720) && c[1].Size == QSize(800, 600);
           });
    QTest::newRow("description keeps '=' and spaces")
        << "description= Left = near door " << 0
        << Check([](const Cameras& c) { return c[0].Description == QStringLiteral("Left = near door"); });
    QTest::newRow("rates: ranges and single rates") << "rates=2.5,10-20" << 0 << Check([](const Cameras& c) {
        return c[0].Rates.size() == 2 && c[0].Rates[0].Min == 2.5 && c[0].Rates[0].Max == 2.5
               && c[0].Rates[1].Min == 10 && c[0].Rates[1].Max == 20;
    });
    QTest::newRow("rates up to 1000, above any pipeline") << "rates=1000" << 0 << Check([](const Cameras& c) {
        return c[0].Rates.size() == 1 && c[0].Rates[0].Max == 1000;
    });
    QTest::newRow("formats in order of preference") << "formats=BGR24,rgb32" << 0 << Check([](const Cameras& c) {
        return c[0].Formats
               == QVector<QVideoFrame::PixelFormat>{QVideoFrame::Format_BGR24, QVideoFrame::Format_RGB32};
    });
    QTest::newRow("faults and a bare flag")
        << "startfail;lostafter=5;unmappable=3;badformat=4;badsize=6;slowstart=250;delivery=direct" << 0
        << Check([](const Cameras& c) {
               return c[0].StartFails && c[0].LostAfter == 5 && c[0].UnmappableEvery == 3 && c[0].BadFormatEvery == 4
                      && c[0].BadSizeEvery == 6 && c[0].SlowStartMs == 250
                      && c[0].Delivery == SimCameraSetup::DeliveryMode::Direct;
           });
    QTest::newRow("unplugged, back later, busy")
        << "unplugafter=60;replugafter=1500;2.busy;cameras=2;2.flaps=100;2.flapms=15" << 0
        << Check([](const Cameras& c) {
               return c[0].UnplugAfter == 60 && c[0].ReplugAfterMs == 1500 && !c[0].Busy && c[1].Busy
                      && c[0].FlapCount == 0 && c[1].FlapCount == 100 && c[1].FlapMs == 15;
           });
    QTest::newRow("replug delay out of range falls back")
        << "replugafter=-5" << 1 << Check([](const Cameras& c) { return c[0].ReplugAfterMs == 0; });
    QTest::newRow("image scene") << "scene=image:/tmp/part.png" << 0
                                 << Check([](const Cameras& c) { return c[0].ImagePath == "/tmp/part.png"; });
    QTest::newRow("size too large falls back") << "size=7680x4320" << 1
                                               << Check([](const Cameras& c) { return c[0].Size == QSize(640, 480); });
    QTest::newRow("size too small for the stamp falls back")
        << "size=200x100" << 1 << Check([](const Cameras& c) { return c[0].Size == QSize(640, 480); });
    QTest::newRow("rate range upside down falls back")
        << "rates=30-5" << 1 << Check([](const Cameras& c) { return c[0].Rates.size() == 2; });
    QTest::newRow("rate above 1000 falls back")
        << "rates=5-1001" << 1 << Check([](const Cameras& c) { return c[0].Rates.size() == 2; });
    QTest::newRow("unknown format falls back")
        << "formats=rgb32,yuyv" << 1 << Check([](const Cameras& c) { return c[0].Formats.size() == 2; });
    QTest::newRow("unknown key reported") << "colour=red" << 1 << Check([](const Cameras& c) { return c.size() == 1; });
    QTest::newRow("camera beyond the count reported")
        << "cameras=2;3.position=front" << 1 << Check([](const Cameras& c) { return c.size() == 2; });
    QTest::newRow("camera 0 reported") << "0.position=front" << 1 << Check([](const Cameras& c) {
        return c[0].Position == QCamera::UnspecifiedPosition;
    });
    QTest::newRow("duplicate device names renamed")
        << "cameras=2;name=same" << 1
        << Check([](const Cameras& c) { return c[0].DeviceName == "same" && c[1].DeviceName == "simcam2"; });
    QTest::newRow("noise above 16 would overflow the scene's headroom")
        << "noise=40" << 1 << Check([](const Cameras& c) { return c[0].Noise == 3; });
}

void tst_SimConfig::parse()
{
    QFETCH(QString, text);
    QFETCH(int, problems);
    QFETCH(Check, check);
    QStringList reported;
    const QVector<SimCameraSetup> cameras = SimConfig::Parse(text, &reported);
    QCOMPARE(reported.size(), problems);
    QVERIFY(check(cameras));
}

void tst_SimConfig::readsAFile()
{
    QTemporaryFile file;
    QVERIFY(file.open());
    file.write("# two cameras\ncameras=2\n2.position=back\n\n2.description=Rear\n");
    file.close();
    qputenv(SimConfig::EnvironmentVariable, "@" + file.fileName().toUtf8());
    QStringList problems;
    const QVector<SimCameraSetup> cameras = SimConfig::FromEnvironment(&problems);
    QVERIFY(problems.isEmpty());
    QCOMPARE(cameras.size(), 2);
    QCOMPARE(cameras[1].Position, QCamera::BackFace);
    QCOMPARE(cameras[1].Description, QStringLiteral("Rear"));

    qputenv(SimConfig::EnvironmentVariable, "@/nonexistent/simcam.conf");
    QCOMPARE(SimConfig::FromEnvironment(&problems).size(), 1);
    QCOMPARE(problems.size(), 1);
}

QTEST_GUILESS_MAIN(tst_SimConfig)
#include "tst_SimConfig.moc"
