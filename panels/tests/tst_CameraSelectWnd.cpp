#include "CameraPresence.h"
#include "CameraSelectWnd.h"
#include "CameraSettings.h"
#include "PanelTestSupport.h"

#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using PanelTestSupport::ClickCheckBox;
using PanelTestSupport::FocusOrder;

// Runs twice: against two synthetic cameras, and with none (the CTest entry
// ending in "_NoCamera"). Cases that need the other situation are skipped.
class tst_CameraSelectWnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstStart();
    void startsOnStoredCamera();
    void choosingAnEntrySelectsThatCamera();
    void followsCameraChosenElsewhere();
    void cameraMissingFromListLeavesEntry();
    void noCameraLeavesListEmpty();
    void listFollowsCamerasPresent_data();
    void listFollowsCamerasPresent();
    void flipBoxesWriteAtOnce_data();
    void flipBoxesWriteAtOnce();

private:
    void CreatePanel();
    static constexpr const char* NeedsTwoCameras = "needs two cameras, as the synthetic camera plugin gives with LENTAVIO_SIMCAM=cameras=2";

    QComboBox* ComboBox() const;

    QList<QCameraInfo> m_Cameras;
    std::unique_ptr<CameraSettings> m_Settings;
    std::unique_ptr<CameraSelectWnd> m_Panel;
};

void tst_CameraSelectWnd::initTestCase()
{
    QCoreApplication::setOrganizationName("Orvelta");
    QCoreApplication::setApplicationName("Lentavio");
    m_Cameras = QCameraInfo::availableCameras();
}

void tst_CameraSelectWnd::init()
{
    QSettings().clear();
}

void tst_CameraSelectWnd::cleanup()
{
    m_Panel.reset();
    m_Settings.reset();
}

void tst_CameraSelectWnd::CreatePanel()
{
    PanelTestSupport::Restart(m_Settings, m_Panel);
}

QComboBox* tst_CameraSelectWnd::ComboBox() const
{
    return m_Panel->findChild<QComboBox*>("m_CameraComboBox");
}

void tst_CameraSelectWnd::firstStart()
{
    if (m_Cameras.size() < 2)
        QSKIP(NeedsTwoCameras);
    CreatePanel();
    QCOMPARE(m_Panel->objectName(), QString("CameraSelectWnd"));
    QCOMPARE(m_Panel->windowTitle(), QString("Camera"));
    QCOMPARE(ComboBox()->count(), m_Cameras.size());
    for (int i = 0; i < m_Cameras.size(); ++i) {
        QCOMPARE(ComboBox()->itemText(i), m_Cameras.at(i).description());
        QCOMPARE(ComboBox()->itemData(i).toString(), m_Cameras.at(i).deviceName());
    }
    QCOMPARE(ComboBox()->currentIndex(), m_Cameras.indexOf(QCameraInfo::defaultCamera()));
    QVERIFY(!m_Panel->findChild<QCheckBox*>("m_FlipHorizontally")->isChecked());
    QVERIFY(!m_Panel->findChild<QCheckBox*>("m_FlipVertically")->isChecked());
    const QStringList focus{"m_CameraComboBox", "m_FlipHorizontally", "m_FlipVertically"};
    QCOMPARE(FocusOrder(m_Panel.get(), focus), focus);
    QVERIFY2(QSettings().allKeys().isEmpty(), "loading wrote to the store");
}

void tst_CameraSelectWnd::startsOnStoredCamera()
{
    if (m_Cameras.size() < 2)
        QSKIP(NeedsTwoCameras);
    const QCameraInfo stored = m_Cameras.last();
    QSettings().setValue("Camera/device", stored.deviceName());
    QSettings().setValue("Camera/position", int(stored.position()));
    const QStringList keys = QSettings().allKeys();

    CreatePanel();
    QCOMPARE(ComboBox()->currentIndex(), m_Cameras.size() - 1);
    QCOMPARE(m_Settings->GetSelectedCamera(), stored);
    QCOMPARE(QSettings().allKeys(), keys);
}

void tst_CameraSelectWnd::choosingAnEntrySelectsThatCamera()
{
    if (m_Cameras.size() < 2)
        QSKIP(NeedsTwoCameras);
    CreatePanel();
    QSignalSpy changed(m_Settings.get(), &CameraSettings::SignalSelectedCameraChanged);
    ComboBox()->setFocus();
    QTest::keyClick(ComboBox(), Qt::Key_End);

    QCOMPARE(changed.count(), 1);
    QCOMPARE(m_Settings->GetSelectedCamera(), m_Cameras.last());
    QCOMPARE(QSettings().value("Camera/device").toString(), m_Cameras.last().deviceName());
}

void tst_CameraSelectWnd::followsCameraChosenElsewhere()
{
    if (m_Cameras.size() < 2)
        QSKIP(NeedsTwoCameras);
    CreatePanel();
    QSignalSpy changed(m_Settings.get(), &CameraSettings::SignalSelectedCameraChanged);
    QSignalSpy moved(ComboBox(), QOverload<int>::of(&QComboBox::currentIndexChanged));

    m_Settings->SetSelectedCamera(m_Cameras.last());
    QCOMPARE(ComboBox()->currentIndex(), m_Cameras.size() - 1);
    QCOMPARE(moved.count(), 1);
    QCOMPARE(changed.count(), 1);

    m_Settings->SetSelectedCamera(m_Cameras.first());
    QCOMPARE(ComboBox()->currentIndex(), 0);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(m_Settings->GetSelectedCamera(), m_Cameras.first());
}

void tst_CameraSelectWnd::cameraMissingFromListLeavesEntry()
{
    if (m_Cameras.size() < 2)
        QSKIP(NeedsTwoCameras);
    CreatePanel();
    const int shown = ComboBox()->currentIndex();
    m_Settings->SetSelectedCamera(QCameraInfo(QByteArray("no-such-camera")));
    QCOMPARE(ComboBox()->currentIndex(), shown);
}

void tst_CameraSelectWnd::noCameraLeavesListEmpty()
{
    if (!m_Cameras.isEmpty())
        QSKIP("runs where no camera is reported");
    CreatePanel();
    QCOMPARE(ComboBox()->count(), 0);
    QCOMPARE(ComboBox()->currentIndex(), -1);

    QSignalSpy changed(m_Settings.get(), &CameraSettings::SignalSelectedCameraChanged);
    ComboBox()->setFocus();
    QTest::keyClick(ComboBox(), Qt::Key_Down);
    QCOMPARE(changed.count(), 0);
    QVERIFY(QSettings().allKeys().isEmpty());
}

void tst_CameraSelectWnd::listFollowsCamerasPresent_data()
{
    QTest::addColumn<bool>("selectedGoes");
    QTest::newRow("another camera goes and comes back") << false;
    QTest::newRow("the camera in use goes and comes back") << true;
}

// An entry stays on its device whatever the list does; the entry of a
// camera gone since the list was read selects nothing.
void tst_CameraSelectWnd::listFollowsCamerasPresent()
{
    QFETCH(bool, selectedGoes);
    if (m_Cameras.size() < 2)
        QSKIP(NeedsTwoCameras);
    CreatePanel();
    CameraPresence presence;
    m_Panel->FollowCameras(&presence);
    const QCameraInfo kept = selectedGoes ? m_Cameras.last() : m_Cameras.first();
    const QCameraInfo gone = selectedGoes ? m_Cameras.first() : m_Cameras.last();
    m_Settings->SetSelectedCamera(m_Cameras.first());
    QSignalSpy changed(m_Settings.get(), &CameraSettings::SignalSelectedCameraChanged);

    emit presence.SignalCamerasChanged({kept});
    QCOMPARE(ComboBox()->count(), 1);
    QCOMPARE(ComboBox()->itemData(0).toString(), kept.deviceName());
    QCOMPARE(ComboBox()->currentIndex(), selectedGoes ? -1 : 0);

    emit presence.SignalCamerasChanged(m_Cameras);
    QCOMPARE(ComboBox()->count(), m_Cameras.size());
    QCOMPARE(ComboBox()->currentIndex(), 0);
    QCOMPARE(changed.count(), 0);

    // Gone again, but not read yet: its entry is still there.
    ComboBox()->addItem(QStringLiteral("Unplugged camera"), QStringLiteral("no-such-camera"));
    ComboBox()->setCurrentIndex(ComboBox()->count() - 1);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_Settings->GetSelectedCamera(), m_Cameras.first());

    // Reading the list only while it is open.
    QVERIFY(!presence.IsPolling());
    ComboBox()->showPopup();
    QVERIFY(presence.IsPolling());
    ComboBox()->hidePopup();
    QTRY_VERIFY(!presence.IsPolling());
}

void tst_CameraSelectWnd::flipBoxesWriteAtOnce_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("horizontal");

    QTest::newRow("Flip Horiz.") << "m_FlipHorizontally" << "Camera/invertH" << true;
    QTest::newRow("Flip Vert.") << "m_FlipVertically" << "Camera/invertV" << false;
}

void tst_CameraSelectWnd::flipBoxesWriteAtOnce()
{
    QFETCH(QString, box);
    QFETCH(QString, key);
    QFETCH(bool, horizontal);

    CreatePanel();
    QSignalSpy flippedH(m_Settings.get(), &CameraSettings::SignalFlipHToggled);
    QSignalSpy flippedV(m_Settings.get(), &CameraSettings::SignalFlipVToggled);
    ClickCheckBox(m_Panel->findChild<QCheckBox*>(box));

    QCOMPARE(QSettings().value(key), QVariant(true));
    QCOMPARE(m_Settings->IsInvertH(), horizontal);
    QCOMPARE(m_Settings->IsInvertV(), !horizontal);
    QCOMPARE(flippedH.count(), horizontal ? 1 : 0);
    QCOMPARE(flippedV.count(), horizontal ? 0 : 1);

    CreatePanel();
    QVERIFY(m_Panel->findChild<QCheckBox*>(box)->isChecked());
    QCOMPARE(QSettings().allKeys(), QStringList{key});
}

int main(int argc, char** argv)
{
    // Two synthetic cameras, unless the test entry asks for another set-up.
    if (qEnvironmentVariableIsEmpty("LENTAVIO_SIMCAM"))
        qputenv("LENTAVIO_SIMCAM", "cameras=2");
    QApplication app(argc, argv);
    tst_CameraSelectWnd test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_CameraSelectWnd.moc"
