#include "CameraSettings.h"
#include "Lentavio.h"
#include "MeasureSettings.h"
#include "VideoView.h"

#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

// Runs the whole window on three synthetic cameras of different shapes, so
// that a camera switch shows in the picture.
class tst_Lentavio : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void FirstStartShowsTheForm();
    void FileMenuEntriesChangeNothing();
    void PanelsAreDockedInOrder();
    void LayoutRoundTripsThroughClose();
    void UnreadableLayoutKeepsFormSize();

    void CameraMenuListsCamerasAndChecksTheSelected();
    void CameraMenuSelectsOnlyAChangedCamera();
    void CameraMenuEntryOfAGoneCameraSelectsNothing();
    void FramesReachTheViewAndTheStatusLine();
    void StatusLineCarriesTheStageTimes();
    void EmptyFrameIsSurvived();
    void ChoosingAnotherCameraRestartsThePicture();
    void ClosingWithFramesInFlight();
    void UnsavedSettingsAreSaidOnce_data();
    void UnsavedSettingsAreSaidOnce();
    void SnapshotSavesThePictureShown();

private:
    static QStatusBar* StatusBar(Lentavio& window) { return window.findChild<QStatusBar*>("m_StatusBar"); }
    static QMenu* Menu(Lentavio& window, const char* name) { return window.findChild<QMenu*>(name); }
    static QSize ShownPictureSize(Lentavio& window);

    std::unique_ptr<CameraSettings> m_Settings;
};

void tst_Lentavio::init()
{
    QSettings().clear();
    m_Settings = std::make_unique<CameraSettings>();
}

void tst_Lentavio::cleanup()
{
    m_Settings.reset();
}

QSize tst_Lentavio::ShownPictureSize(Lentavio& window)
{
    return window.findChild<VideoView*>("m_VideoView")->pixmap(Qt::ReturnByValue).size();
}

void tst_Lentavio::FirstStartShowsTheForm()
{
    Lentavio window;
    QCOMPARE(window.size(), QSize(926, 527));
    QCOMPARE(window.windowTitle(), QString("Lentavio"));

    QStringList titles;
    for (QAction* action : window.findChild<QMenuBar*>("menuBar")->actions())
        titles << action->menu()->title();
    QCOMPARE(titles, (QStringList{"File", "Camera", "Windows"}));

    QVERIFY(window.findChild<QToolBar*>("mainToolBar"));
    VideoView* view = window.findChild<VideoView*>("m_VideoView");
    QVERIFY(view);
    QCOMPARE(view->parentWidget()->objectName(), QString("frame"));
    QCOMPARE(view->minimumSize(), QSize(64, 48));
    QCOMPARE(view->sizePolicy().horizontalPolicy(), QSizePolicy::Ignored);
    QCOMPARE(view->palette().color(QPalette::Active, QPalette::Base), QColor(255, 255, 255));
    QCOMPARE(view->palette().color(QPalette::Disabled, QPalette::Base), QColor(176, 176, 176));
    QCOMPARE(view->palette().color(QPalette::Active, QPalette::Window), QColor(176, 176, 176));
}

void tst_Lentavio::FileMenuEntriesChangeNothing()
{
    Lentavio window;
    QStringList texts;
    for (QAction* action : Menu(window, "menuFile")->actions())
        texts << action->text();
    QCOMPARE(texts, (QStringList{"Open Image...", "Preferences..."}));

    const QStringList keysBefore = QSettings().allKeys();
    for (QAction* action : Menu(window, "menuFile")->actions())
        action->trigger();
    QCOMPARE(QSettings().allKeys(), keysBefore);
    QVERIFY(!window.isVisible());
}

void tst_Lentavio::PanelsAreDockedInOrder()
{
    Lentavio window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QStringList names{"CameraSelectWnd", "HoleDetectWnd", "EdgeDetectWnd", "CameraControlsWnd", "MeasureWnd"};
    const QStringList titles{"Camera", "Hole detect", "Edge detect", "Camera controls", "Measure"};
    const QList<QAction*> entries = Menu(window, "m_MenuWindows")->actions();
    QCOMPARE(entries.size(), names.size());
    int lastTop = -1;
    for (int i = 0; i < names.size(); ++i) {
        auto* dock = window.findChild<QDockWidget*>(names[i]);
        QVERIFY2(dock, qPrintable(names[i]));
        QCOMPARE(window.dockWidgetArea(dock), Qt::RightDockWidgetArea);
        QCOMPARE(entries[i], dock->toggleViewAction());
        QCOMPARE(entries[i]->text(), titles[i]);
        const bool shown = i < 2;
        QCOMPARE(dock->isVisible(), shown);
        QCOMPARE(entries[i]->isChecked(), shown);
        if (shown) {
            QVERIFY(dock->geometry().top() > lastTop);
            lastTop = dock->geometry().top();
        }
    }

    // Each entry shows and hides its panel; the last one shown goes below.
    entries[2]->trigger();
    QVERIFY(window.findChild<QDockWidget*>(names[2])->isVisible());
    entries.last()->trigger();
    auto* last = window.findChild<QDockWidget*>(names.last());
    QVERIFY(last->isVisible());
    QTRY_VERIFY(last->geometry().top() > window.findChild<QDockWidget*>(names[2])->geometry().top());
    entries[1]->trigger();
    QVERIFY(!window.findChild<QDockWidget*>(names[1])->isVisible());
}

void tst_Lentavio::LayoutRoundTripsThroughClose()
{
    QRect closedGeometry;
    {
        Lentavio window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.resize(800, 460);
        window.move(30, 40);
        window.findChild<QDockWidget*>("EdgeDetectWnd")->show();
        window.findChild<QDockWidget*>("CameraSelectWnd")->hide();
        QTRY_COMPARE(window.width(), 800);
        closedGeometry = window.geometry();
        window.close();
    }
    QSettings store;
    QVERIFY(!store.value("MainWindow/geometry").toByteArray().isEmpty());
    QVERIFY(!store.value("MainWindow/windowState").toByteArray().isEmpty());

    Lentavio restarted;
    restarted.show();
    QVERIFY(QTest::qWaitForWindowExposed(&restarted));
    QCOMPARE(restarted.geometry(), closedGeometry);
    QVERIFY(restarted.findChild<QDockWidget*>("EdgeDetectWnd")->isVisible());
    QVERIFY(!restarted.findChild<QDockWidget*>("CameraSelectWnd")->isVisible());
    QCOMPARE(restarted.dockWidgetArea(restarted.findChild<QDockWidget*>("EdgeDetectWnd")), Qt::RightDockWidgetArea);
}

void tst_Lentavio::UnreadableLayoutKeepsFormSize()
{
    QSettings().setValue("MainWindow/geometry", QByteArray("garbage"));
    QSettings().setValue("MainWindow/windowState", 42);
    Lentavio window;
    QCOMPARE(window.size(), QSize(926, 527));
}

void tst_Lentavio::CameraMenuListsCamerasAndChecksTheSelected()
{
    Lentavio window;
    QMenu* menu = Menu(window, "m_MenuCamera");
    const QList<QCameraInfo> cameras = QCameraInfo::availableCameras();
    QCOMPARE(cameras.size(), 3);
    const QList<QAction*> entries = menu->actions();
    QCOMPARE(entries.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(entries[i]->text(), cameras[i].description());
        QCOMPARE(entries[i]->data().toString(), cameras[i].deviceName());
        QVERIFY(entries[i]->isCheckable());
    }

    m_Settings->SetSelectedCamera(cameras[1]);
    // Opening reads the camera list afresh and rebuilds the entries.
    emit menu->aboutToShow();
    const QList<QAction*> shown = menu->actions();
    QCOMPARE(shown.size(), 3);
    QCOMPARE(shown[0]->isChecked(), false);
    QCOMPARE(shown[1]->isChecked(), true);
    QCOMPARE(shown[2]->isChecked(), false);
    emit menu->aboutToHide();
}

void tst_Lentavio::CameraMenuSelectsOnlyAChangedCamera()
{
    Lentavio window;
    const QList<QAction*> entries = Menu(window, "m_MenuCamera")->actions();
    QSignalSpy spy(m_Settings.get(), &CameraSettings::SignalSelectedCameraChanged);
    const int selected = m_Settings->GetSelectedCameraIndex();
    QVERIFY(selected >= 0);

    entries[selected]->trigger();
    QCOMPARE(spy.count(), 0);
    QVERIFY(!QSettings().contains("Camera/device"));

    const int other = (selected + 2) % 3;
    entries[other]->trigger();
    QCOMPARE(spy.count(), 1);
    const QCameraInfo chosen = QCameraInfo::availableCameras().at(other);
    QCOMPARE(QSettings().value("Camera/device").toString(), chosen.deviceName());
    QCOMPARE(QSettings().value("Camera/position").toInt(), int(chosen.position()));
    QCOMPARE(m_Settings->GetSelectedCameraIndex(), other);
}

// An entry older than the camera list: its camera was unplugged before
// the menu read the list again.
void tst_Lentavio::CameraMenuEntryOfAGoneCameraSelectsNothing()
{
    Lentavio window;
    QMenu* menu = Menu(window, "m_MenuCamera");
    const QCameraInfo before = m_Settings->GetSelectedCamera();
    QSignalSpy spy(m_Settings.get(), &CameraSettings::SignalSelectedCameraChanged);
    QAction* stale = menu->addAction("Unplugged camera");
    stale->setData(QString("no-such-camera"));

    stale->trigger();
    QCOMPARE(spy.count(), 0);
    QCOMPARE(m_Settings->GetSelectedCamera(), before);
    QVERIFY(StatusBar(window)->currentMessage().contains("\"Unplugged camera\" is not connected"));

    // Opening the menu reads the list again: the stale entry goes.
    emit menu->aboutToShow();
    QCOMPARE(menu->actions().size(), 3);
    emit menu->aboutToHide();
}

void tst_Lentavio::FramesReachTheViewAndTheStatusLine()
{
    Lentavio window;
    window.show();
    const QRegularExpression line("^Scale time: \\d+ \\((\\d+\\.\\d|inf)\\), \\d+, \\d+$");
    QTRY_VERIFY_WITH_TIMEOUT(line.match(StatusBar(window)->currentMessage()).hasMatch(), 10000);
    QTRY_VERIFY(!ShownPictureSize(window).isEmpty());
}

void tst_Lentavio::StatusLineCarriesTheStageTimes()
{
    m_Settings->SetSelectedCamera(QCameraInfo());
    Lentavio window;
    cv::Mat frame(480, 640, CV_8UC4, cv::Scalar(10, 20, 30, 0));
    QTest::qWait(40);
    QVERIFY(QMetaObject::invokeMethod(&window, "SlotFrameReady", Q_ARG(cv::Mat, frame), Q_ARG(qint64, 3),
                                      Q_ARG(qint64, 12)));
    const QString message = StatusBar(window)->currentMessage();
    const QRegularExpressionMatch match =
        QRegularExpression("^Scale time: (\\d+) \\((\\d+\\.\\d)\\), 3, 12$").match(message);
    QVERIFY2(match.hasMatch(), qPrintable(message));
    const int interval = match.captured(1).toInt();
    QVERIFY(interval >= 40);
    QCOMPARE(match.captured(2), QString::number(1000.0 / interval, 'f', 1));

    // The fourth byte is not alpha: the shown picture is the frame's colour.
    const QImage shown = window.findChild<VideoView*>("m_VideoView")->pixmap(Qt::ReturnByValue).toImage();
    QCOMPARE(shown.pixelColor(shown.width() / 7, shown.height() / 7), QColor(30, 20, 10));
}

void tst_Lentavio::EmptyFrameIsSurvived()
{
    m_Settings->SetSelectedCamera(QCameraInfo());
    Lentavio window;
    window.show();
    QVERIFY(QMetaObject::invokeMethod(&window, "SlotFrameReady", Q_ARG(cv::Mat, cv::Mat()), Q_ARG(qint64, 0),
                                      Q_ARG(qint64, 0)));
    QVERIFY(StatusBar(window)->currentMessage().startsWith("Scale time:"));
}

void tst_Lentavio::ChoosingAnotherCameraRestartsThePicture()
{
    const QList<QCameraInfo> cameras = QCameraInfo::availableCameras();
    m_Settings->SetSelectedCamera(cameras[0]);
    Lentavio window;
    window.resize(900, 500);
    window.show();
    // Camera 1 is 4:3 and camera 3 is 4:1: the shown picture changes shape.
    QTRY_VERIFY_WITH_TIMEOUT(!ShownPictureSize(window).isEmpty(), 10000);
    const auto aspect = [&] {
        const QSize shown = ShownPictureSize(window);
        return shown.isEmpty() ? 0.0 : double(shown.width()) / shown.height();
    };
    QVERIFY(qAbs(aspect() - 4.0 / 3.0) < 0.01);

    Menu(window, "m_MenuCamera")->actions().at(2)->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(aspect() - 4.0) < 0.02, 10000);
}

// The window closed at random moments while frames flow must never crash or
// hang; the worker thread and the camera are shut down in order.
void tst_Lentavio::ClosingWithFramesInFlight()
{
    QRandomGenerator random(1234);
    for (int round = 0; round < 15; ++round) {
        auto window = std::make_unique<Lentavio>();
        window->show();
        QTest::qWait(int(random.bounded(300)));
        window->close();
        window.reset();
    }
    QVERIFY(QSettings().contains("MainWindow/geometry"));
}

void tst_Lentavio::UnsavedSettingsAreSaidOnce_data()
{
    QTest::addColumn<bool>("writable");
    QTest::newRow("writable store: nothing said") << true;
    QTest::newRow("a file where the store's folder belongs") << false;
}

// Said once for a run of failed writes, again after the timing line replaced
// it; the changes stay in use.
void tst_Lentavio::UnsavedSettingsAreSaidOnce()
{
    QFETCH(bool, writable);
    m_Settings->SetSelectedCamera(QCameraInfo());
    Lentavio window;
    const QString store = QSettings().fileName();
    const QString folder = QFileInfo(store).path();
    if (!writable) {
        QVERIFY(QDir(folder).removeRecursively());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    const auto restore = qScopeGuard([&] {
        QFile::remove(folder);
        QDir().mkpath(folder);
    });
    QSignalSpy shown(StatusBar(window), &QStatusBar::messageChanged);
    const auto said = [&] {
        return int(std::count_if(shown.cbegin(), shown.cend(),
                                 [&](const QList<QVariant>& args) { return args.at(0).toString().contains(store); }));
    };

    m_Settings->SetInvertH(true);
    m_Settings->SetInvertV(true);
    QCOMPARE(said(), writable ? 0 : 1);
    QVERIFY(m_Settings->IsInvertH() && m_Settings->IsInvertV());

    QVERIFY(QMetaObject::invokeMethod(&window, "SlotFrameReady", Q_ARG(cv::Mat, cv::Mat(4, 4, CV_8UC4)),
                                      Q_ARG(qint64, 0), Q_ARG(qint64, 0)));
    m_Settings->SetEdgeDetectEnabled(true);
    QCOMPARE(said(), writable ? 0 : 2);
    QVERIFY(m_Settings->IsEdgeDetectEnabled());
}

// Ctrl+S writes the view's picture, overlay included, pixel for pixel, and
// the frame behind it, with the readout in the PNG's text.
void tst_Lentavio::SnapshotSavesThePictureShown()
{
    QTemporaryDir folder;
    MeasureSettings::SetSnapshotFolder(folder.path());
    MeasureSettings::SetFrameSaved(true);
    m_Settings->SetSelectedCamera(QCameraInfo());
    Lentavio window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    // A dark disc 10 px right of the crosshair: a marker and ticks to save.
    cv::Mat frame(480, 640, CV_8UC4, cv::Scalar(200, 210, 220, 255));
    for (int y = 220; y <= 260; ++y)
        for (int x = 310; x <= 350; ++x)
            if ((x - 330) * (x - 330) + (y - 240) * (y - 240) <= 400)
                frame.at<cv::Vec4b>(y, x) = cv::Vec4b(30, 20, 10, 255);
    QVERIFY(QMetaObject::invokeMethod(&window, "SlotFrameReady", Q_ARG(cv::Mat, frame), Q_ARG(qint64, 3),
                                      Q_ARG(qint64, 12)));

    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);

    const QStringList saved = QDir(folder.path()).entryList({"*.png"}, QDir::Files, QDir::Name);
    QCOMPARE(saved.size(), 2);
    QVERIFY(saved[0].endsWith("-frame.png"));
    QImageReader reader(folder.filePath(saved[1]));
    QVERIFY2(QRegularExpression("^dx \\+(9\\.[5-9]|10\\.[0-5]) px ").match(reader.text("Readout")).hasMatch(),
             qPrintable(reader.text("Readout")));
    QCOMPARE(reader.text("Scale"), QString("none"));
    const QImage shown = window.findChild<VideoView*>("m_VideoView")->pixmap(Qt::ReturnByValue).toImage();
    QCOMPARE(reader.read().convertToFormat(QImage::Format_RGB32), shown.convertToFormat(QImage::Format_RGB32));
    const QImage savedFrame = QImage(folder.filePath(saved[0])).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(savedFrame.size(), QSize(640, 480));
    QCOMPARE(savedFrame.pixel(330, 240), qRgb(10, 20, 30));
    QVERIFY(window.findChild<QLabel*>("m_StatusNotice")->text().startsWith("Snapshot saved"));
}

int main(int argc, char** argv)
{
    qputenv("LENTAVIO_SIMCAM", "cameras=3;size=320x240;3.size=960x240;2.position=front");
    QApplication application(argc, argv);
    // Named as the program names itself: without an organisation, Qt writes
    // no store at all.
    QApplication::setOrganizationName("Orvelta");
    QApplication::setApplicationName("Lentavio");
    tst_Lentavio test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_Lentavio.moc"
