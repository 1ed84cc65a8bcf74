#include "CameraControlsWnd.h"
#include "CameraControlSettings.h"
#include "CameraSettings.h"
#include "V4l2Controls.h"
#include "VideoCapturer.h"

#include <QFile>
#include <QSaveFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <linux/videodev2.h>

#include <memory>

namespace {

const QString Device = QStringLiteral("/dev/video5");
const QString Controls = QStringLiteral(
    "ctrl.exposure_auto=0,3,1,3;ctrl.exposure_absolute=3,2047,1,156;ctrl.gain=0,255,1,32;"
    "ctrl.focus_absolute=0,250,5,0;ctrl.power_line_frequency=0,2,1,1;ctrl.brightness=-64,64,1,0");

// Rewritten whole and renamed over the old file, as a hot-plug would change it.
void WriteStandins(const QString& fields)
{
    QSaveFile file(qEnvironmentVariable("LENTAVIO_STANDINS"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QString("device=%1;card=Controls camera;rates=30;%2\n").arg(Device, fields).toUtf8());
    QVERIFY(file.commit());
}

// What the stand-in logged as set: "name value result" per line.
QStringList SetsLogged()
{
    QFile log(qEnvironmentVariable("LENTAVIO_STANDIN_LOG"));
    QStringList sets;
    if (log.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : log.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split('\t');
            if (fields.size() == 4 && fields.at(0) == Device.toUtf8())
                sets << QString::fromUtf8(fields.at(1) + ' ' + fields.at(2) + ' ' + fields.at(3));
        }
    }
    return sets;
}

}  // namespace

// Device controls through a stand-in V4L2 device that answers control
// queries with ranges of its own and logs every value set: first the
// ioctl layer alone, then the panel on the camera as Qt's real back-end
// opens it.
class tst_CameraControlsRig : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void rangesComeFromTheDevice_data();
    void rangesComeFromTheDevice();
    void panelClampsStoredValuesAndReports();
    void panelHidesAControlThatVanishes();
    void resetWritesTheDeviceDefaults();
    void refusedRateKeepsThePreviousOne();

private:
    std::unique_ptr<QCamera> Open(CameraControlsWnd& panel);
};

void tst_CameraControlsRig::init()
{
    QSettings().clear();
    QFile::remove(qEnvironmentVariable("LENTAVIO_STANDIN_LOG"));
    WriteStandins(Controls + ";reject=gain");
}

void tst_CameraControlsRig::rangesComeFromTheDevice_data()
{
    QTest::addColumn<quint32>("id");
    QTest::addColumn<QVector<int>>("range");
    QTest::addColumn<int>("menuEntries");
    QTest::newRow("exposure mode, a menu") << quint32(V4L2_CID_EXPOSURE_AUTO) << QVector<int>{0, 3, 1, 3} << 4;
    QTest::newRow("exposure") << quint32(V4L2_CID_EXPOSURE_ABSOLUTE) << QVector<int>{3, 2047, 1, 156} << 0;
    QTest::newRow("focus in steps of 5") << quint32(V4L2_CID_FOCUS_ABSOLUTE) << QVector<int>{0, 250, 5, 0} << 0;
    QTest::newRow("power line") << quint32(V4L2_CID_POWER_LINE_FREQUENCY) << QVector<int>{0, 2, 1, 1} << 3;
    QTest::newRow("absent: automatic focus") << quint32(V4L2_CID_FOCUS_AUTO) << QVector<int>() << 0;
}

void tst_CameraControlsRig::rangesComeFromTheDevice()
{
    QFETCH(quint32, id);
    QFETCH(QVector<int>, range);
    QFETCH(int, menuEntries);
    V4l2Controls controls(Device);
    QVERIFY(controls.IsOpen());
    const std::optional<V4l2Control> control = controls.Query(id);
    QCOMPARE(control.has_value(), !range.isEmpty());
    if (!control)
        return;
    QCOMPARE((QVector<int>{control->Minimum, control->Maximum, control->Step, control->Default}), range);
    QCOMPARE(control->MenuEntries.size(), menuEntries);
    QCOMPARE(controls.Get(id), std::optional<qint32>(control->Default));
}

std::unique_ptr<QCamera> tst_CameraControlsRig::Open(CameraControlsWnd& panel)
{
    QCameraInfo info;
    for (const QCameraInfo& camera : QCameraInfo::availableCameras()) {
        if (camera.deviceName() == Device)
            info = camera;
    }
    auto camera = std::make_unique<QCamera>(info);
    camera->load();
    panel.SetCamera(camera.get(), info);
    [&] {
        QVERIFY2(!info.isNull(), "the stand-in camera is not listed");
        QTRY_VERIFY_WITH_TIMEOUT(panel.m_ResetButton->isEnabled(), 10000);
    }();
    return camera;
}

// Exposure stored beyond what the device takes now is clamped; the gain the
// device rejects is reported; neither is lost from the store.
void tst_CameraControlsRig::panelClampsStoredValuesAndReports()
{
    CameraControlValues stored;
    stored.DeviceControls = {{V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL},
                             {V4L2_CID_EXPOSURE_ABSOLUTE, 5000},
                             {V4L2_CID_GAIN, 99}};
    CameraControlSettings::Save(Device, stored);

    CameraControlsWnd panel;
    QSignalSpy messages(&panel, &CameraControlsWnd::SignalMessage);
    auto camera = Open(panel);
    QVERIFY(!panel.m_FocusAutoCheckBox->isVisibleTo(&panel));
    QVERIFY(panel.m_FocusSlider->isVisibleTo(&panel));
    QVERIFY(!panel.m_ExposureAutoCheckBox->isChecked());
    QVERIFY(panel.m_ExposureSlider->isEnabled());
    QCOMPARE(panel.m_ExposureSlider->maximum(), 2047);
    QCOMPARE(panel.m_ExposureSlider->value(), 2047);
    QCOMPARE(panel.m_GainSlider->value(), 32);
    const QStringList sets = SetsLogged();
    QVERIFY2(sets.contains("exposure_auto 1 ok") && sets.contains("exposure_absolute 2047 ok")
                 && sets.contains("gain 99 einval"),
             qPrintable(sets.join(", ")));
    QString said;
    for (const QList<QVariant>& message : qAsConst(messages))
        said += message.at(0).toString() + '\n';
    QVERIFY2(said.contains("5000") && said.contains("refused"), qPrintable(said));
    QVERIFY(CameraControlSettings::Load(Device) == stored);

    // Qt's own adjustments reach the device's controls where it has them.
    QVERIFY(!panel.m_ContrastSlider->isEnabled());
    QVERIFY(panel.m_BrightnessSlider->isEnabled());
    panel.m_BrightnessSlider->setValue(50);
    QVERIFY2(SetsLogged().contains("brightness 32 ok"), qPrintable(SetsLogged().join(", ")));

    // Back to automatic: the manual value is no longer offered for change.
    panel.m_ExposureAutoCheckBox->setChecked(true);
    QVERIFY(!panel.m_ExposureSlider->isEnabled());
    QCOMPARE(CameraControlSettings::Load(Device).DeviceControls.value(V4L2_CID_EXPOSURE_AUTO), 3);
}

void tst_CameraControlsRig::panelHidesAControlThatVanishes()
{
    CameraControlsWnd panel;
    auto camera = Open(panel);
    QVERIFY(panel.m_FocusSlider->isVisibleTo(&panel));
    QString withoutFocus = Controls;
    withoutFocus.remove("ctrl.focus_absolute=0,250,5,0;");
    WriteStandins(withoutFocus);
    QSignalSpy messages(&panel, &CameraControlsWnd::SignalMessage);
    panel.m_FocusSlider->setValue(100);
    QVERIFY(!panel.m_FocusSlider->isVisibleTo(&panel));
    QCOMPARE(messages.size(), 1);
    QVERIFY(!CameraControlSettings::Load(Device).DeviceControls.contains(V4L2_CID_FOCUS_ABSOLUTE));
}

void tst_CameraControlsRig::resetWritesTheDeviceDefaults()
{
    CameraControlsWnd panel;
    auto camera = Open(panel);
    panel.m_ExposureAutoCheckBox->setChecked(false);
    panel.m_ExposureSlider->setValue(800);
    QCOMPARE(V4l2Controls(Device).Get(V4L2_CID_EXPOSURE_ABSOLUTE), std::optional<qint32>(800));
    panel.m_ResetButton->click();
    V4l2Controls controls(Device);
    QCOMPARE(controls.Get(V4L2_CID_EXPOSURE_AUTO), std::optional<qint32>(3));
    QVERIFY(panel.m_ExposureAutoCheckBox->isChecked());
    QVERIFY(CameraControlSettings::Load(Device) == CameraControlValues());
}

// The stand-in offers 15 fps but fails to stream at it, as some webcams
// do at their larger sizes.
void tst_CameraControlsRig::refusedRateKeepsThePreviousOne()
{
    WriteStandins(Controls + ";rates=30,15;refuse=15");
    CameraControlsWnd panel;
    QSignalSpy messages(&panel, &CameraControlsWnd::SignalMessage);
    VideoCapturer surface;
    auto camera = Open(panel);
    camera->setViewfinder(&surface);
    camera->start();
    QTRY_COMPARE_WITH_TIMEOUT(camera->status(), QCamera::ActiveStatus, 10000);
    const int refused = panel.m_ViewfinderComboBox->findText("640 x 480 at 15 fps");
    QVERIFY(refused > 0);
    // The window's part: a fresh camera for the one the panel gives up on.
    connect(&panel, &CameraControlsWnd::SignalRestartCamera, &panel, [&](const QCameraInfo& info) {
        camera = std::make_unique<QCamera>(info);
        camera->setViewfinder(&surface);
        camera->start();
        panel.SetCamera(camera.get(), info);
    });
    emit panel.m_ViewfinderComboBox->activated(refused);
    QTRY_VERIFY_WITH_TIMEOUT(!messages.isEmpty(), 10000);
    QVERIFY2(messages.last().at(0).toString().contains("refused"), qPrintable(messages.last().at(0).toString()));
    QCOMPARE(panel.m_ViewfinderComboBox->currentIndex(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(camera->status(), QCamera::ActiveStatus, 10000);
    QCOMPARE(camera->viewfinderSettings().maximumFrameRate(), 30.0);
    QCOMPARE(CameraControlSettings::Load(Device).FrameRate, 0.0);
}

int main(int argc, char** argv)
{
    // Qt's real back-end on the stand-ins, which the preloaded library
    // answers for this process; the synthetic camera stays out.
    QTemporaryDir home;
    qputenv("LENTAVIO_STANDINS", home.filePath("standins").toUtf8());
    qputenv("LENTAVIO_STANDIN_LOG", home.filePath("log").toUtf8());
    qunsetenv("QT_PLUGIN_PATH");
    qunsetenv("LENTAVIO_SIMCAM");
    qputenv("GST_PLUGIN_PATH", LENTAVIO_STANDIN_GST_DIR);
    qputenv("GST_REGISTRY", home.filePath("registry.bin").toUtf8());
    qputenv("GST_REGISTRY_FORK", "no");
    qputenv("QT_GSTREAMER_CAMERABIN_VIDEOSRC", "lentaviostandinsrc");
    QApplication app(argc, argv);
    qRegisterMetaType<QCameraInfo>();
    tst_CameraControlsRig test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_CameraControlsRig.moc"
