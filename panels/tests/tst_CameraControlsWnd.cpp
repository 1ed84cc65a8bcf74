#include "CameraControlSettings.h"
#include "CameraControlsWnd.h"
#include "CameraSettings.h"

#include <QCameraImageProcessing>
#include <QSettings>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// The first camera's device name holds what a settings store would escape.
const char* const Configuration = "cameras=2;1.name=usb/cam\\1 %2F;1.rates=30,15;2.rates=25";

using Getter = std::function<qreal(QCameraImageProcessing*)>;

}  // namespace

Q_DECLARE_METATYPE(Getter)

// The panel on synthetic cameras opened as the program opens them: a
// QCamera started, then handed to the panel.
class tst_CameraControlsWnd : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void keptPerCamera_data();
    void keptPerCamera();
    void appliedAgainWhenTheCameraComesBack();
    void badStoredValues_data();
    void badStoredValues();
    void pictureRateIsChosenAndKept();

private:
    // A started camera handed to the panel, which has become ready for it.
    std::unique_ptr<QCamera> Open(CameraControlsWnd& panel, int index);

    QList<QCameraInfo> m_Cameras;
};

void tst_CameraControlsWnd::init()
{
    QSettings().clear();
    m_Cameras = QCameraInfo::availableCameras();
    QCOMPARE(m_Cameras.size(), 2);
}

std::unique_ptr<QCamera> tst_CameraControlsWnd::Open(CameraControlsWnd& panel, int index)
{
    auto camera = std::make_unique<QCamera>(m_Cameras.at(index));
    camera->start();
    panel.SetCamera(camera.get(), m_Cameras.at(index));
    [&] { QTRY_VERIFY(panel.m_ResetButton->isEnabled()); }();
    return camera;
}

void tst_CameraControlsWnd::keptPerCamera_data()
{
    QTest::addColumn<QString>("slider");
    QTest::addColumn<Getter>("getter");
    QTest::newRow("brightness") << "m_BrightnessSlider" << Getter(&QCameraImageProcessing::brightness);
    QTest::newRow("contrast") << "m_ContrastSlider" << Getter(&QCameraImageProcessing::contrast);
    QTest::newRow("saturation") << "m_SaturationSlider" << Getter(&QCameraImageProcessing::saturation);
}

// Set on one camera, untouched on the other, back on switching back and
// after a restart of the program.
void tst_CameraControlsWnd::keptPerCamera()
{
    QFETCH(QString, slider);
    QFETCH(Getter, getter);
    auto panel = std::make_unique<CameraControlsWnd>();
    const auto sliderOf = [&panel, &slider] { return panel->findChild<QSlider*>(slider); };

    auto camera = Open(*panel, 0);
    QVERIFY(sliderOf()->isEnabled());
    sliderOf()->setValue(-40);
    QCOMPARE(getter(camera->imageProcessing()), -0.4);

    camera = Open(*panel, 1);
    QCOMPARE(sliderOf()->value(), 0);
    QCOMPARE(getter(camera->imageProcessing()), 0.0);

    camera = Open(*panel, 0);
    QCOMPARE(sliderOf()->value(), -40);
    QCOMPARE(getter(camera->imageProcessing()), -0.4);

    camera.reset();
    panel = std::make_unique<CameraControlsWnd>();
    camera = Open(*panel, 0);
    QCOMPARE(sliderOf()->value(), -40);
    QCOMPARE(getter(camera->imageProcessing()), -0.4);
}

// A camera that was gone comes back with its own defaults; the panel puts
// the stored values back as soon as it is loaded again.
void tst_CameraControlsWnd::appliedAgainWhenTheCameraComesBack()
{
    CameraControlsWnd panel;
    auto camera = Open(panel, 0);
    panel.m_ContrastSlider->setValue(70);
    camera->unload();
    QTRY_VERIFY(!panel.m_ResetButton->isEnabled());
    camera->imageProcessing()->setContrast(0);
    camera->start();
    QTRY_COMPARE(camera->imageProcessing()->contrast(), 0.7);
    QCOMPARE(panel.m_ContrastSlider->value(), 70);
}

void tst_CameraControlsWnd::badStoredValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<qreal>("brightness");
    QTest::addColumn<QString>("message");
    QTest::newRow("brightness above range is clamped") << "brightness" << QVariant(7.5) << 1.0 << QString();
    QTest::newRow("brightness not a number is ignored") << "brightness" << QVariant("bright") << 0.0 << QString();
    QTest::newRow("picture size not offered") << "resolution" << QVariant(QSize(9999, 9999)) << 0.0
                                              << "does not offer";
    QTest::newRow("unsupported control kept, not applied") << "sharpness" << QVariant(0.5) << 0.0 << QString();
}

void tst_CameraControlsWnd::badStoredValues()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(qreal, brightness);
    QFETCH(QString, message);
    const QString group = CameraControlSettings::GroupName(m_Cameras.at(0).deviceName());
    QSettings().setValue(group + "/" + key, stored);
    QSettings().setValue(group + "/frameRate", 30);

    CameraControlsWnd panel;
    QSignalSpy messages(&panel, &CameraControlsWnd::SignalMessage);
    auto camera = Open(panel, 0);
    QCOMPARE(camera->imageProcessing()->brightness(), brightness);
    QCOMPARE(camera->viewfinderSettings().resolution(), QSize(640, 480));
    QCOMPARE(panel.m_ViewfinderComboBox->currentIndex(), 0);
    if (!message.isEmpty())
        QTRY_VERIFY(!messages.isEmpty() && messages.last().at(0).toString().contains(message));
    QVERIFY(!panel.m_SharpnessSlider->isEnabled());
    // Nothing the panel could not use is lost from the store.
    QCOMPARE(QSettings().value(group + "/" + key), stored);
}

// Every size and rate the camera offers, and "Camera default"; a choice
// runs the camera at it and comes back with the camera.
void tst_CameraControlsWnd::pictureRateIsChosenAndKept()
{
    CameraControlsWnd panel;
    auto camera = Open(panel, 0);
    QStringList offered;
    for (int i = 0; i < panel.m_ViewfinderComboBox->count(); ++i)
        offered << panel.m_ViewfinderComboBox->itemText(i);
    QCOMPARE(offered, (QStringList{"Camera default", "640 x 480 at 30 fps", "640 x 480 at 15 fps"}));

    emit panel.m_ViewfinderComboBox->activated(2);
    QCOMPARE(camera->viewfinderSettings().maximumFrameRate(), 15.0);

    camera = Open(panel, 1);
    QCOMPARE(panel.m_ViewfinderComboBox->currentIndex(), 0);
    camera = Open(panel, 0);
    QTRY_COMPARE(camera->viewfinderSettings().maximumFrameRate(), 15.0);
    QCOMPARE(panel.m_ViewfinderComboBox->currentIndex(), 2);

    QSignalSpy restarts(&panel, &CameraControlsWnd::SignalRestartCamera);
    emit panel.m_ViewfinderComboBox->activated(0);
    QTRY_COMPARE(restarts.size(), 1);
    QCOMPARE(CameraControlSettings::Load(m_Cameras.at(0).deviceName()).FrameRate, 0.0);
}

int main(int argc, char** argv)
{
    qputenv("LENTAVIO_SIMCAM", Configuration);
    QApplication app(argc, argv);
    qRegisterMetaType<QCameraInfo>();
    tst_CameraControlsWnd test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_CameraControlsWnd.moc"
