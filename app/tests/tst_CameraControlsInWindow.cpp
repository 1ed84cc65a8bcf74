#include "CameraControlsWnd.h"
#include "CameraSettings.h"
#include "Lentavio.h"

#include <QSettings>
#include <QtTest>

#include <memory>

// The camera controls in the whole window, on a synthetic camera that is
// unplugged after 40 frames and plugged back in 800 ms later.
class tst_CameraControlsInWindow : public QObject
{
    Q_OBJECT

private slots:
    void keptThroughAReplugAndARestart();
};

void tst_CameraControlsInWindow::keptThroughAReplugAndARestart()
{
    QSettings().clear();
    auto settings = std::make_unique<CameraSettings>();
    auto window = std::make_unique<Lentavio>();
    auto* panel = window->findChild<CameraControlsWnd*>("CameraControlsWnd");
    QVERIFY(panel);
    QTRY_VERIFY(panel->m_ResetButton->isEnabled());
    panel->m_BrightnessSlider->setValue(50);

    // Gone: nothing to control; back: the camera that returns gets it again.
    QTRY_VERIFY_WITH_TIMEOUT(!panel->m_ResetButton->isEnabled(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(panel->m_ResetButton->isEnabled(), 10000);
    QCOMPARE(panel->m_BrightnessSlider->value(), 50);

    window.reset();
    settings = std::make_unique<CameraSettings>();
    window = std::make_unique<Lentavio>();
    panel = window->findChild<CameraControlsWnd*>("CameraControlsWnd");
    QTRY_VERIFY(panel->m_ResetButton->isEnabled());
    QCOMPARE(panel->m_BrightnessSlider->value(), 50);
}

int main(int argc, char** argv)
{
    qputenv("LENTAVIO_SIMCAM", "cameras=1;unplugafter=40;replugafter=800");
    QApplication application(argc, argv);
    tst_CameraControlsInWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_CameraControlsInWindow.moc"
