#include "CameraSelectWnd.h"

#include "CameraSettings.h"

CameraSelectWnd::CameraSelectWnd(QWidget* parent)
    : QDockWidget(parent)
{
    setupUi(this);

    CameraSettings* settings = CameraSettings::Instance();
    const QList<QCameraInfo> cameras = QCameraInfo::availableCameras();
    for (const QCameraInfo& camera : cameras)
        m_CameraComboBox->addItem(camera.description(), QVariant());
    // Start on the camera in use rather than on the first entry. Everything
    // here is set before the connections, so nothing is written back.
    m_CameraComboBox->setCurrentIndex(settings->GetSelectedCameraIndex());
    m_FlipHorizontally->setChecked(settings->IsInvertH());
    m_FlipVertically->setChecked(settings->IsInvertV());

    connect(m_CameraComboBox, SIGNAL(currentIndexChanged(int)), this, SLOT(SlotCameraSelectionChanged(int)));
    connect(settings, &CameraSettings::SignalSelectedCameraChanged, this, &CameraSelectWnd::SlotSelectedCameraChanged);
    connect(m_FlipHorizontally, &QCheckBox::toggled, this, &CameraSelectWnd::SlotFlipHorizontallyToggled);
    connect(m_FlipVertically, &QCheckBox::toggled, this, &CameraSelectWnd::SlotFlipVerticallyToggled);
}

CameraSelectWnd::~CameraSelectWnd() = default;

void CameraSelectWnd::SlotCameraSelectionChanged(int index)
{
    // -1 means the combo box has no current entry.
    const QList<QCameraInfo> cameras = QCameraInfo::availableCameras();
    if (index >= 0 && index < cameras.size())
        CameraSettings::Instance()->SetSelectedCamera(cameras.at(index));
}

void CameraSelectWnd::SlotSelectedCameraChanged(QCameraInfo cameraInfo)
{
    // Moving the combo box hands the same camera back to the settings object,
    // which ignores an unchanged camera, so the exchange ends there.
    const int index = QCameraInfo::availableCameras().indexOf(cameraInfo);
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
