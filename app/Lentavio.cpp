#include "Lentavio.h"

#include "CameraControlsWnd.h"
#include "CameraSelectWnd.h"
#include "CameraSettings.h"
#include "EdgeDetectWnd.h"
#include "HoleDetectWnd.h"
#include "MeasureWnd.h"
#include "SavedLayout.h"
#include "SettingsStore.h"
#include "StatusNotice.h"

#include <QCloseEvent>
#include <QDir>
#include <QSettings>

namespace
{
// Read-only view of a frame's buffer: a write would copy first, so the
// buffer, which the worker may still share, is never changed.
QImage ReadOnlyImage(const cv::Mat& image)
{
    return QImage(static_cast<const uchar*>(image.data), image.cols, image.rows, QImage::Format_RGB32);
}
}

Lentavio::Lentavio(QWidget* parent)
    : QMainWindow(parent)
{
    // Frames cross to the worker and back through queued connections.
    RegisterFrameType();
    setupUi(this);

    CreateDockPanels();
    CreateCameraControlsPanel();
    CreateMeasurePanel();
    StartCapture();

    FillCameraMenu(m_CameraPresence.GetCameras());
    connect(m_MenuCamera, &QMenu::triggered, this, &Lentavio::SlotCameraMenuTriggered);
    connect(m_MenuCamera, &QMenu::aboutToShow, this, &Lentavio::SlotCameraMenuOpening);
    connect(SettingsStore::Instance(), &SettingsStore::SignalWriteFailed, this, &Lentavio::SlotSettingsWriteFailed);
    // The list is read while the menu is open and follows the cameras present.
    connect(m_MenuCamera, &QMenu::aboutToHide, &m_CameraPresence, &CameraPresence::Release);
    connect(&m_CameraPresence, &CameraPresence::SignalCamerasChanged, this, &Lentavio::FillCameraMenu);

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
    cameraSelectWnd->FollowCameras(&m_CameraPresence);
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

void Lentavio::CreateMeasurePanel()
{
    m_MeasureWnd = new MeasureWnd();
    m_MeasureWnd->setVisible(false);
    addDockWidget(Qt::RightDockWidgetArea, m_MeasureWnd);
    m_MenuWindows->addAction(m_MeasureWnd->toggleViewAction());
    connect(m_VideoView, &VideoView::SignalHoleMeasured, m_MeasureWnd, &MeasureWnd::SlotHoleMeasured);
    connect(m_MeasureWnd, &MeasureWnd::SignalSaveSnapshot, this, &Lentavio::SlotSaveSnapshot);
    auto* notice = new StatusNotice();
    m_StatusBar->addPermanentWidget(notice);
    connect(m_MeasureWnd, &MeasureWnd::SignalNotice, notice, &StatusNotice::Show);

    // A window action, in no menu: the shortcut works wherever the focus is.
    auto* saveSnapshot = new QAction(tr("Save snapshot"), this);
    saveSnapshot->setObjectName(QStringLiteral("m_ActionSaveSnapshot"));
    saveSnapshot->setShortcut(QKeySequence::Save);
    addAction(saveSnapshot);
    connect(saveSnapshot, &QAction::triggered, this, &Lentavio::SlotSaveSnapshot);
}

void Lentavio::StartCapture()
{
    // While the worker keeps up with the camera it also scales each frame for
    // the view as it hands it on, so showing it costs the window little.
    // Once frames queue up for it, the window scales them again and the
    // worker goes on to the next frame sooner: the two share the load where
    // it pays most. Connected first, so that it runs, on the worker thread,
    // before the window is told of the frame.
    connect(
        &m_CaptureThread, &CaptureThread::SignalFrameReady, m_VideoView,
        [this](const cv::Mat& frame) {
            if (!m_CaptureThread.IsBehindCamera())
                m_VideoView->PrepareFrame(frame);
        },
        Qt::DirectConnection);
    connect(&m_CaptureThread, &CaptureThread::SignalFrameReady, this, &Lentavio::SlotFrameReady);
    connect(&m_CaptureThread, &CaptureThread::SignalCameraError, m_StatusBar,
            [this](const QString& message) { m_StatusBar->showMessage(message); });
    // A camera that went away, or that another program held, is started
    // again once it is listed: the picture comes back by itself.
    connect(&m_CaptureThread, &CaptureThread::SignalCameraRetry, &m_CameraPresence, &CameraPresence::WaitFor);
    connect(&m_CameraPresence, &CameraPresence::SignalCameraBack, this,
            [this](const QCameraInfo& cameraInfo) { m_CaptureThread.StartCamera(cameraInfo); });
    m_CaptureThread.BindToThread(&m_WorkerThread);
    m_WorkerThread.start(QThread::InheritPriority);
    m_FrameTimer.start();
    connect(CameraSettings::Instance(), &CameraSettings::SignalSelectedCameraChanged, this,
            &Lentavio::SlotSelectedCameraChanged);
    m_CaptureThread.StartCamera(CameraSettings::Instance()->GetSelectedCamera());
}

// An entry's data is its camera's device name, so that it means the same
// camera however the list changes.
void Lentavio::FillCameraMenu(const QList<QCameraInfo>& cameras)
{
    m_MenuCamera->clear();
    for (const QCameraInfo& camera : cameras) {
        QAction* action = m_MenuCamera->addAction(camera.description());
        action->setData(camera.deviceName());
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
    SettingsStore::Write({{"MainWindow/geometry", saveGeometry()}, {"MainWindow/windowState", saveState(0)}});
    event->accept();
}

void Lentavio::SlotCameraMenuOpening()
{
    m_CameraPresence.Hold();
    m_CameraPresence.Refresh();
    FillCameraMenu(m_CameraPresence.GetCameras());
    const QString selected = CameraSettings::Instance()->GetSelectedCamera().deviceName();
    for (QAction* action : m_MenuCamera->actions())
        action->setChecked(!selected.isEmpty() && action->data().toString() == selected);
}

// The entry may be older than the camera list: its camera is looked up by
// device name in the current one, and a camera gone since selects nothing.
void Lentavio::SlotCameraMenuTriggered(QAction* action)
{
    const QString deviceName = action->data().toString();
    for (const QCameraInfo& camera : QCameraInfo::availableCameras()) {
        if (camera.deviceName() == deviceName) {
            CameraSettings::Instance()->SetSelectedCamera(camera);
            return;
        }
    }
    m_StatusBar->showMessage(tr("Camera \"%1\" is not connected any more: nothing was selected").arg(action->text()));
}

void Lentavio::SlotSelectedCameraChanged(QCameraInfo cameraInfo)
{
    m_CameraPresence.StopWaiting();
    m_CaptureThread.StartCamera(cameraInfo);
}

// Said once, not on every change: a failed write while the message is still
// showing adds nothing. Once the timing line has replaced it, the next
// failed write says it again.
void Lentavio::SlotSettingsWriteFailed(const QString& path)
{
    const QString message =
        QString("Settings cannot be saved in %1; changes last until Lentavio closes").arg(QDir::toNativeSeparators(path));
    if (m_StatusBar->currentMessage() != message)
        m_StatusBar->showMessage(message);
}

void Lentavio::SlotCalibrateCrosshair()
{
    m_VideoView->CalibrateCrosshair();
}

void Lentavio::SlotFrameReady(cv::Mat image, qint64 captureTime, qint64 processTime)
{
    {
        const QImage frame = ReadOnlyImage(image);
        m_VideoView->SetImage(frame, m_HoleDetectWnd->IsEnabled(), m_HoleDetectWnd->IsCenterColorFrozen(),
                              m_HoleDetectWnd->GetThreshold(), m_HoleDetectWnd->GetRoundness());
    }
    const qint64 interval = m_FrameTimer.elapsed();
    m_FrameTimer.start();
    m_StatusBar->showMessage(QString::asprintf("Scale time: %d (%.1f), %d, %d", int(interval),
                                               1000.0 / double(interval), int(captureTime), int(processTime)));
    m_LastFrame = m_MeasureWnd->IsFrameSaved() ? image : cv::Mat();
    m_CaptureThread.FramePresented();
}

void Lentavio::SlotSaveSnapshot()
{
    const QImage frame = m_LastFrame.empty() ? QImage() : ReadOnlyImage(m_LastFrame);
    m_MeasureWnd->SaveSnapshot(m_VideoView->pixmap(Qt::ReturnByValue).toImage(), frame);
}
