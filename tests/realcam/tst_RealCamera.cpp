#include "ChildProcess.h"
#include "RealCameraRole.h"

#include <QApplication>
#include <QColor>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// The unchanged program through Qt's real camera back-end, on stand-in
// cameras the rig makes for the child process alone: what it lists, the
// picture in each pixel format the back-end hands over, the frame rate it
// picks, switching, faults, unplugging and a flood of plug events. Each case
// ends by closing the window with frames in flight; a crash or a sanitizer
// report fails it.
class tst_RealCamera : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
};

namespace
{
// The stand-in's plate as the view shows it, and where its disc is.
const QColor kPlate(205, 160, 110);
const QColor kGreyPlate(168, 168, 168);
constexpr int kColourSlack = 24;
// Off the crosshair's start by more than the slack, within reach of the
// detector's rays from there; centred in height, so that it is where it is
// whichever way up the view shows the picture.
constexpr double kDiscX = 0.525;
constexpr double kDiscY = 0.5;
constexpr double kDiscR = 0.08;
constexpr double kHoleSlack = 0.012;
// Below this a camera that offers 30 fps was not asked for its fastest rate
// (the timing line shows the rate frames reach the view).
constexpr double kFastestFps = 20;
constexpr int kReplugResumeMs = 2000;

QString Standin(int index, const QString& fields = {})
{
    return QString("device=/dev/video%1;card=Bench camera %2;disc=%3,%4,%5;%6")
        .arg(index)
        .arg(QChar('A' + index))
        .arg(kDiscX)
        .arg(kDiscY)
        .arg(kDiscR)
        .arg(fields);
}

QString Field(const QString& line, const QString& key)
{
    for (const QString& field : line.split(';'))
        if (field.startsWith(key + '='))
            return field.mid(key.size() + 1);
    return {};
}

bool Near(const QColor& seen, const QColor& expected)
{
    return qAbs(seen.red() - expected.red()) <= kColourSlack && qAbs(seen.green() - expected.green()) <= kColourSlack &&
           qAbs(seen.blue() - expected.blue()) <= kColourSlack;
}
} // namespace

void tst_RealCamera::run_data()
{
    QTest::addColumn<QStringList>("standins");
    QTest::addColumn<QString>("scenario");
    // A status message that must appear; empty: none is required.
    QTest::addColumn<QString>("message");
    // The picture's plate colour; invalid: neither it nor the hole is checked.
    QTest::addColumn<QColor>("plate");
    // The slowest rate frames may reach the view at; 0: not checked.
    QTest::addColumn<double>("minFps");
    // The longest wait for frames after a switch or replug; -1: not checked.
    QTest::addColumn<int>("resumeMs");

    const QString second = Standin(1, "picture=smpte");
    QTest::newRow("YUY2: listed, converted to RGB32, hole found")
        << QStringList{Standin(0, "formats=YUY2"), second} << "picture" << "" << kPlate << 0.0 << -1;
    QTest::newRow("I420 in a large size") << QStringList{Standin(0, "formats=I420;sizes=1280x720,640x480")}
                                          << "picture" << "" << kPlate << 0.0 << -1;
    QTest::newRow("BGRx, handed over as RGB32 without conversion")
        << QStringList{Standin(0, "formats=BGRx")} << "picture" << "" << kPlate << 0.0 << -1;
    QTest::newRow("BGR, handed over as BGR24")
        << QStringList{Standin(0, "formats=BGR")} << "picture" << "" << kPlate << 0.0 << -1;
    QTest::newRow("RGB, red and blue swapped on the way")
        << QStringList{Standin(0, "formats=RGB")} << "picture" << "" << kPlate << 0.0 << -1;
    QTest::newRow("GRAY8") << QStringList{Standin(0, "formats=GRAY8")} << "picture" << "" << kGreyPlate << 0.0 << -1;
    QTest::newRow("1-30 fps: run at its fastest")
        << QStringList{Standin(0, "rates=1-30")} << "picture" << "" << kPlate << kFastestFps << -1;
    QTest::newRow("only 30 or 15 fps: run at 30")
        << QStringList{Standin(0, "rates=30,15;sizes=1280x720")} << "picture" << "" << kPlate << kFastestFps << -1;
    QTest::newRow("refuses the fastest rate it offers")
        << QStringList{Standin(0, "rates=30,15;refuse=30")} << "fault" << "failed to start" << QColor() << 0.0 << -1;
    QTest::newRow("closed right after its first frame") << QStringList{Standin(0)} << "close" << "" << QColor()
                                                        << 0.0 << -1;
    QTest::newRow("another stand-in chosen from the Camera menu restarts the picture")
        << QStringList{Standin(0), second} << "switch" << "" << QColor() << 0.0 << 15000;
    QTest::newRow("fails to start") << QStringList{Standin(0, "startfail=on")} << "fault" << "failed to start"
                                    << QColor() << 0.0 << -1;
    QTest::newRow("fails mid-stream") << QStringList{Standin(0, "failafter=40")} << "fault" << "stopped" << QColor()
                                      << 0.0 << -1;
    QTest::newRow("busy, held by another program")
        << QStringList{Standin(0, "busy=on")} << "fault" << "in use by another program" << QColor() << 0.0 << -1;
    QTest::newRow("vanishes between listing and opening")
        << QStringList{Standin(0, "vanish=on"), second} << "fault" << "." << QColor() << 0.0 << -1;
    // Qt's back-end drops such frames with a warning it only logs: the
    // program hears of nothing, and must simply keep going.
    QTest::newRow("frames of another size than negotiated")
        << QStringList{Standin(0, "wrongsize=on")} << "close" << "" << QColor() << 0.0 << -1;
    QTest::newRow("unplugged and plugged back: told, then frames within 2 s")
        << QStringList{Standin(0), second} << "replug" << "not connected" << QColor() << 0.0 << kReplugResumeMs;
    QTest::newRow("100 plug and unplug events in 3 s, then frames again")
        << QStringList{Standin(0), second} << "flood" << "" << QColor() << 0.0 << 8000;
    QTest::newRow("answers nonsense to every query")
        << QStringList{Standin(0, "nonsense=on;ctrl.brightness=0,255,1,128")} << "fault" << "" << QColor() << 0.0
        << -1;
}

void tst_RealCamera::run()
{
    QFETCH(QStringList, standins);
    QFETCH(QString, scenario);
    QFETCH(QString, message);
    QFETCH(QColor, plate);
    QFETCH(double, minFps);
    QFETCH(int, resumeMs);

    QTemporaryDir home;
    const QString table = home.filePath("standins");
    QVERIFY(RealCameraRole::WriteStandins(table, standins));
    ChildProcess child("realcamera", home.path(), {scenario});
    // Qt's own camera plugins only: the synthetic camera stays out.
    child.SetVariable("QT_PLUGIN_PATH", "");
    child.SetVariable("LENTAVIO_SIMCAM", "");
    child.SetVariable("LD_PRELOAD", LENTAVIO_STANDIN_PRELOAD);
    child.SetVariable("GST_PLUGIN_PATH", LENTAVIO_STANDIN_GST_DIR);
    child.SetVariable("GST_REGISTRY", LENTAVIO_STANDIN_GST_DIR "/registry.bin");
    // Plugins are scanned in the process, not in a helper that a sanitizer
    // runtime would judge by its own leaks.
    child.SetVariable("GST_REGISTRY_FORK", "no");
    child.SetVariable("QT_GSTREAMER_CAMERABIN_VIDEOSRC", "lentaviostandinsrc");
    child.SetVariable("LENTAVIO_STANDINS", table);
    child.SetVariable("LSAN_OPTIONS", LENTAVIO_STANDIN_LSAN);
    child.Start();
    const bool ended = child.WaitForExit(120000);
    QVERIFY2(ended && !child.Failed() && !child.HasSanitizerReport(), qPrintable(child.Describe()));

    const QString output = "\nchild output:\n" + child.Output();
    QVERIFY2(!child.Lines("closing").isEmpty(), qPrintable(output));
    // Never a grey view over an empty status bar.
    QVERIFY2(!child.Lines("status\t").value(0).isEmpty(), qPrintable("the status bar ends empty" + output));
    if (!message.isEmpty()) {
        const QRegularExpression pattern(message, QRegularExpression::CaseInsensitiveOption);
        bool told = false;
        for (const QByteArray& line : child.Lines("message\t"))
            told = told || pattern.match(QString(line)).hasMatch();
        QVERIFY2(told, qPrintable("no status message matches \"" + message + '"' + output));
    }
    if (resumeMs >= 0) {
        const QList<QByteArray> resumed = child.Lines(scenario == "switch" ? "switched\t" : "resumed\t");
        QVERIFY2(!resumed.isEmpty() && resumed.first().toInt() >= 0 && resumed.first().toInt() <= resumeMs,
                 qPrintable(output));
    }
    const double fps = child.Lines("fps\t").value(0).toDouble();
    QVERIFY2(fps >= minFps, qPrintable(QString("frames came at %1 fps").arg(fps) + output));
    if (!plate.isValid())
        return;

    // Every stand-in present is listed by its device and description, in
    // the menu too.
    const QList<QByteArray> cameras = child.Lines("camera\t");
    const QList<QByteArray> menu = child.Lines("menu\t");
    QCOMPARE(cameras.size(), standins.size());
    QCOMPARE(menu.size(), standins.size());
    for (int i = 0; i < standins.size(); ++i) {
        QCOMPARE(QString(cameras.at(i)), Field(standins.at(i), "device") + '\t' + Field(standins.at(i), "card"));
        QCOMPARE(QString(menu.at(i)), Field(standins.at(i), "card"));
    }

    const QList<QByteArray> colour = child.Lines("plate\t").value(0).split('\t');
    QVERIFY2(colour.size() == 3, qPrintable(output));
    const QColor seen(colour.at(0).toInt(), colour.at(1).toInt(), colour.at(2).toInt());
    QVERIFY2(Near(seen, plate), qPrintable(QString("plate %1, expected %2").arg(seen.name(), plate.name()) + output));

    const QList<QByteArray> hole = child.Lines("hole\t").value(0).split('\t');
    QVERIFY2(hole.size() == 3, qPrintable(output));
    QVERIFY2(qAbs(hole.at(0).toDouble() - kDiscX) < kHoleSlack && qAbs(hole.at(1).toDouble() - kDiscY) < kHoleSlack &&
                 qAbs(hole.at(2).toDouble() - kDiscR) < kHoleSlack,
             qPrintable("the hole marker is off the disc" + output));
}

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName("Orvelta");
    QApplication::setApplicationName("Lentavio");
    if (ChildProcess::IsChild())
        return RealCameraRole(QCoreApplication::arguments().value(1)).Run();
    tst_RealCamera test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_RealCamera.moc"
