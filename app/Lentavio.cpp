#include "Lentavio.h"

#include "CameraSettings.h"

#include <QCloseEvent>
#include <QSettings>

Lentavio::Lentavio(QWidget* parent)
    : QMainWindow(parent)
{
    setupUi(this);

    FillCameraMenu();
    connect(m_MenuCamera, &QMenu::triggered, this, &Lentavio::SlotCameraMenuTriggered);
    connect(m_MenuCamera, &QMenu::aboutToShow, this, &Lentavio::SlotCameraMenuOpening);

    RestoreLayout();
}

Lentavio::~Lentavio() = default;

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
    restoreGeometry(settings.value("MainWindow/geometry").toByteArray());
    restoreState(settings.value("MainWindow/windowState").toByteArray(), 0);
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
