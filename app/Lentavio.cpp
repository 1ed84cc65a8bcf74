#include "Lentavio.h"

#include "CameraControlsWnd.h"
#include "CameraSelectWnd.h"
#include "CameraSettings.h"
#include "EdgeDetectWnd.h"
#include "HoleDetectWnd.h"
#include "SavedLayout.h"

#include <QCloseEvent>
#include <QSettings>

Lentavio::Lentavio(QWidget* parent)
    : QMainWindow(parent)
{
    // Frames cross to the worker and back through queued connections.
    RegisterFrameType();
    setupUi(this);

    CreateDockPanels();
    CreateCameraControlsPanel();
    StartCapture();

    FillCameraMenu();
    connect(m_MenuCamera, &QMenu::triggered, this, &Lentavio::SlotCameraMenuTriggered);
    connect(m_MenuCamera, &QMenu::aboutToShow, this, &Lentavio::SlotCameraMenuOpening);

    RestoreLayout();
}

Lentavio::~Lentavio()
{
    m_WorkerThread.quit();
    m_WorkerThread.wait();
}

// Stacked on the right in this order, each listed in the Windows menu. The
// panels' object names identify them in the saved layout.
void Lentavio::CreateDockPanels()
{
    auto* cameraSelectWnd = new CameraSelectWnd();
    addDockWidget(Qt::RightDockWidgetArea, cameraSelectWnd);
    m_MenuWindows->addAction(cameraSelectWnd->toggleViewAction());

    m_HoleDetectWnd = new HoleDetectWnd();
    addDockWidget(Qt::RightDockWidgetArea, m_HoleDetectWnd);
    m_MenuWindows->addAction(m_HoleDetectWnd->toggleViewAction());
    connect(m_HoleDetectWnd, &HoleDetectWnd::SignalCalibrateCrosshair, this, &Lentavio::SlotCalibrateCrosshair);

    auto* edgeDetectWnd = new EdgeDetectWnd();
    edgeDetectWnd->setVisible(false);
    addDockWidget(Qt::RightDockWidgetArea, edgeDetectWnd);
    m_MenuWindows->addAction(edgeDetectWnd->toggleViewAction());
}

// Below the other panels, hidden at first; it follows every camera the
// capture starts.
void Lentavio::CreateCameraControlsPanel()
{
    auto* cameraControlsWnd = new CameraControlsWnd();
    cameraControlsWnd->setVisible(false);
    addDockWidget(Qt::RightDockWidgetArea, cameraControlsWnd);
    m_MenuWindows->addAction(cameraControlsWnd->toggleViewAction());
    connect(&m_CaptureThread, &CaptureThread::SignalCameraStarted, cameraControlsWnd,
            [this, cameraControlsWnd](const QCameraInfo& cameraInfo) {
                cameraControlsWnd->SetCamera(m_CaptureThread.GetCamera(), cameraInfo);
            });
    connect(cameraControlsWnd, &CameraControlsWnd::SignalRestartCamera, this, &Lentavio::SlotSelectedCameraChanged);
    connect(cameraControlsWnd, &CameraControlsWnd::SignalMessage, m_StatusBar,
            [this](const QString& message) { m_StatusBar->showMessage(message); });
}

void Lentavio::StartCapture()
{
    connect(&m_CaptureThread, &CaptureThread::SignalFrameReady, this, &Lentavio::SlotFrameReady);
    connect(&m_CaptureThread, &CaptureThread::SignalCameraError, m_StatusBar,
            [this](const QString& message) { m_StatusBar->showMessage(message); });
    m_CaptureThread.BindToThread(&m_WorkerThread);
    m_WorkerThread.start(QThread::InheritPriority);
    m_FrameTimer.start();
    connect(CameraSettings::Instance(), &CameraSettings::SignalSelectedCameraChanged, this,
            &Lentavio::SlotSelectedCameraChanged);
    m_CaptureThread.StartCamera(CameraSettings::Instance()->GetSelectedCamera());
}

// The menu lists the cameras present at start-up and is never rebuilt; an
// entry's data is its index in the camera list.
void Lentavio::FillCameraMenu()
{
    const QList<QCameraInfo> cameras = QCameraInfo::availableCameras();
    for (int i = 0; i < cameras.size(); ++i) {
        QAction* action = m_MenuCamera->addAction(cameras.at(i).description());
        action->setData(i);
        action->setCheckable(true);
    }
}

void Lentavio::RestoreLayout()
{
    QSettings settings;
    SavedLayout::Restore(*this, settings.value("MainWindow/geometry").toByteArray(),
                         settings.value("MainWindow/windowState").toByteArray(), 0);
}

void Lentavio::closeEvent(QCloseEvent* event)
{
    QSettings settings;
    settings.setValue("MainWindow/geometry", saveGeometry());
    settings.setValue("MainWindow/windowState", saveState(0));
    event->accept();
}

void Lentavio::SlotCameraMenuOpening()
{
    const int selected = CameraSettings::Instance()->GetSelectedCameraIndex();
    const QList<QAction*> actions = m_MenuCamera->actions();
    for (int i = 0; i < actions.size(); ++i)
        actions.at(i)->setChecked(i == selected);
}

// The camera list may have changed since start-up: the entry's index is
// applied to the current list, and an index past its end is ignored.
void Lentavio::SlotCameraMenuTriggered(QAction* action)
{
    const int index = action->data().toInt();
    const QList<QCameraInfo> cameras = QCameraInfo::availableCameras();
    if (index >= 0 && index < cameras.size())
        CameraSettings::Instance()->SetSelectedCamera(cameras.at(index));
}

void Lentavio::SlotSelectedCameraChanged(QCameraInfo cameraInfo)
{
    m_CaptureThread.StartCamera(cameraInfo);
}

void Lentavio::SlotCalibrateCrosshair()
{
    m_VideoView->CalibrateCrosshair();
}

void Lentavio::SlotFrameReady(cv::Mat image, qint64 captureTime, qint64 processTime)
{
    {
        // Read-only view of the worker's buffer: a write would copy first.
        const QImage frame(static_cast<const uchar*>(image.data), image.cols, image.rows, QImage::Format_RGB32);
        m_VideoView->SetImage(frame, m_HoleDetectWnd->IsEnabled(), m_HoleDetectWnd->IsCenterColorFrozen(),
                              m_HoleDetectWnd->GetThreshold(), m_HoleDetectWnd->GetRoundness());
    }
    const qint64 interval = m_FrameTimer.elapsed();
    m_FrameTimer.start();
    m_StatusBar->showMessage(QString::asprintf("Scale time: %d (%.1f), %d, %d", int(interval),
                                               1000.0 / double(interval), int(captureTime), int(processTime)));
    m_CaptureThread.FramePresented();
}
