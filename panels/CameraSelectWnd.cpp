#include "CameraSelectWnd.h"

#include "CameraPresence.h"
#include "CameraSettings.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QSignalBlocker>

CameraSelectWnd::CameraSelectWnd(QWidget* parent)
    : QDockWidget(parent)
{
    setupUi(this);

    CameraSettings* settings = CameraSettings::Instance();
    // Everything here is set before the connections, so nothing is written back.
    FillCameras(QCameraInfo::availableCameras());
    m_FlipHorizontally->setChecked(settings->IsInvertH());
    m_FlipVertically->setChecked(settings->IsInvertV());

    connect(m_CameraComboBox, SIGNAL(currentIndexChanged(int)), this, SLOT(SlotCameraSelectionChanged(int)));
    connect(settings, &CameraSettings::SignalSelectedCameraChanged, this, &CameraSelectWnd::SlotSelectedCameraChanged);
    connect(m_FlipHorizontally, &QCheckBox::toggled, this, &CameraSelectWnd::SlotFlipHorizontallyToggled);
    connect(m_FlipVertically, &QCheckBox::toggled, this, &CameraSelectWnd::SlotFlipVerticallyToggled);
}

CameraSelectWnd::~CameraSelectWnd()
{
    if (m_Presence && m_CameraComboBox->view()->isVisible())
        m_Presence->Release();
}

void CameraSelectWnd::FollowCameras(CameraPresence* presence)
{
    m_Presence = presence;
    connect(presence, &CameraPresence::SignalCamerasChanged, this, &CameraSelectWnd::FillCameras);
    m_CameraComboBox->view()->installEventFilter(this);
    FillCameras(presence->GetCameras());
}

bool CameraSelectWnd::eventFilter(QObject* watched, QEvent* event)
{
    if (m_Presence && watched == m_CameraComboBox->view()) {
        if (event->type() == QEvent::Show) {
            m_Presence->Hold();
            m_Presence->Refresh();
        } else if (event->type() == QEvent::Hide) {
            m_Presence->Release();
        }
    }
    return QDockWidget::eventFilter(watched, event);
}

// Rebuilt quietly: the entry shown stays on the camera in use, or on none
// while that camera is away.
void CameraSelectWnd::FillCameras(const QList<QCameraInfo>& cameras)
{
    const QSignalBlocker blocker(m_CameraComboBox);
    m_CameraComboBox->clear();
    for (const QCameraInfo& camera : cameras)
        m_CameraComboBox->addItem(camera.description(), camera.deviceName());
    m_CameraComboBox->setCurrentIndex(
        m_CameraComboBox->findData(CameraSettings::Instance()->GetSelectedCamera().deviceName()));
}

void CameraSelectWnd::SlotCameraSelectionChanged(int index)
{
    // -1 means the combo box has no current entry; an entry of a camera
    // gone since the list was read selects nothing.
    const QString deviceName = m_CameraComboBox->itemData(index).toString();
    for (const QCameraInfo& camera : QCameraInfo::availableCameras()) {
        if (index >= 0 && camera.deviceName() == deviceName) {
            CameraSettings::Instance()->SetSelectedCamera(camera);
            return;
        }
    }
}

void CameraSelectWnd::SlotSelectedCameraChanged(QCameraInfo cameraInfo)
{
    // Moving the combo box hands the same camera back to the settings object,
    // which ignores an unchanged camera, so the exchange ends there.
    const int index = m_CameraComboBox->findData(cameraInfo.deviceName());
    if (index >= 0)
        m_CameraComboBox->setCurrentIndex(index);
}

void CameraSelectWnd::SlotFlipHorizontallyToggled(bool checked)
{
    CameraSettings::Instance()->SetInvertH(checked);
}

void CameraSelectWnd::SlotFlipVerticallyToggled(bool checked)
{
    CameraSettings::Instance()->SetInvertV(checked);
}
