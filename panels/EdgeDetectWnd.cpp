#include "EdgeDetectWnd.h"

#include "CameraSettings.h"

#include <QColorDialog>

namespace
{
// The stored threshold as the nearest slider position; rounding happens
// after the bound so that no double outside the int range is converted.
int SliderPosition(const QSlider* slider, double threshold)
{
    return qRound(qBound<double>(slider->minimum(), threshold, slider->maximum()));
}
} // namespace

EdgeDetectWnd::EdgeDetectWnd(QWidget* parent)
    : QDockWidget(parent)
{
    setupUi(this);

    // Restored before the connections, so nothing is written back: a stored
    // threshold outside the sliders' range is shown clamped and stays stored
    // as it is until the user moves the slider.
    CameraSettings* settings = CameraSettings::Instance();
    m_EnableCB->setChecked(settings->IsEdgeDetectEnabled());
    m_SliderEdgeDetectMinThres->setValue(
        SliderPosition(m_SliderEdgeDetectMinThres, settings->GetEdgeDetectMinThreshold()));
    m_SliderEdgeDetectMaxThres->setValue(
        SliderPosition(m_SliderEdgeDetectMaxThres, settings->GetEdgeDetectMaxThreshold()));

    connect(m_EnableCB, &QCheckBox::stateChanged, this, &EdgeDetectWnd::SlotEnableCBChanged);
    connect(m_SliderEdgeDetectMinThres, &QSlider::valueChanged, this, &EdgeDetectWnd::SlotMinThresValueChanged);
    connect(m_SliderEdgeDetectMaxThres, &QSlider::valueChanged, this, &EdgeDetectWnd::SlotMaxThresValueChanged);
    connect(m_OverlayColorView, &QPushButton::clicked, this, &EdgeDetectWnd::SlotColorButtonClicked);

    m_OverlayColorView->SetColor(settings->GetEdgeDetectColor());
}

EdgeDetectWnd::~EdgeDetectWnd() = default;

void EdgeDetectWnd::SlotEnableCBChanged()
{
    CameraSettings::Instance()->SetEdgeDetectEnabled(m_EnableCB->isChecked());
}

void EdgeDetectWnd::SlotMinThresValueChanged(int value)
{
    CameraSettings::Instance()->SetEdgeDetectMinThreshold(value);
    // The upper slider's own slot then stores the same value.
    if (value > m_SliderEdgeDetectMaxThres->value())
        m_SliderEdgeDetectMaxThres->setValue(value);
}

void EdgeDetectWnd::SlotMaxThresValueChanged(int value)
{
    CameraSettings::Instance()->SetEdgeDetectMaxThreshold(value);
    if (value < m_SliderEdgeDetectMinThres->value())
        m_SliderEdgeDetectMinThres->setValue(value);
}

void EdgeDetectWnd::SlotColorButtonClicked()
{
    CameraSettings* settings = CameraSettings::Instance();
    QColorDialog dialog;
    const QColor previous = settings->GetEdgeDetectColor();
    connect(&dialog, &QColorDialog::currentColorChanged, this, &EdgeDetectWnd::SlotColorChanged);
    // Frames keep arriving during exec(); each previewed colour reaches the
    // overlay on the next one.
    if (dialog.exec() == QDialog::Accepted) {
        const QColor selected = dialog.selectedColor();
        m_OverlayColorView->SetColor(selected);
        settings->SetEdgeDetectColor(selected);
        // Store what was accepted, previewed or not, so the next start
        // shows the same colour.
        settings->SaveEdgeDetectColor();
    } else {
        m_OverlayColorView->SetColor(previous);
        settings->SetEdgeDetectColor(previous);
    }
}

void EdgeDetectWnd::SlotColorChanged(QColor color)
{
    // A preview only: nothing is persisted until the dialog is accepted.
    m_OverlayColorView->SetColor(color);
    CameraSettings::Instance()->SetEdgeDetectColor(color);
}
