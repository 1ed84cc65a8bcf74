#include "HoleDetectWnd.h"

#include "SettingsStore.h"
#include "StoredColor.h"

#include <QSettings>

namespace
{
HoleDetectWnd* s_Instance = nullptr;

const QColor DefaultMarkerColor(0, 0, 255, 80);
} // namespace

HoleDetectWnd::HoleDetectWnd(QWidget* parent)
    : QDockWidget(parent)
{
    s_Instance = this;
    setupUi(this);

    // Restored before anything is connected, so loading writes nothing back;
    // a stored position outside a slider's range is clamped by the slider.
    QSettings settings;
    settings.beginGroup("HoleDetect");
    m_EnableCB->setChecked(settings.value("Enabled", true).toBool());
    m_FreezeHoleColor->setChecked(settings.value("FreezeCenterColor", false).toBool());
    m_ThresholdSlider->setValue(settings.value("Threshold", 250).toInt());
    m_RoundnessSlider->setValue(settings.value("Roundness", 750).toInt());
    m_MarkerColor = StoredColor(settings.value("MarkerColor", DefaultMarkerColor));
    m_MarkerColorView->SetColor(m_MarkerColor);
    m_MarkerAlphaSlider->setValue(m_MarkerColor.alpha());
    m_MarkerWidthSlider->setValue(settings.value("MarkerWidth", 6).toInt());
    SetCenterColor(StoredColor(settings.value("CenterColor", QColor())));
    settings.endGroup();

    connect(m_CalibrateButton, &QPushButton::clicked, this, &HoleDetectWnd::SignalCalibrateCrosshair);
    connect(m_MarkerColorView, &QPushButton::clicked, this, &HoleDetectWnd::SlotMarkerColorButtonClicked);
    // Any check state other than unchecked arrives as true.
    connect(m_EnableCB, &QCheckBox::stateChanged, this, &HoleDetectWnd::SlotEnableToggled);
    connect(m_FreezeHoleColor, &QCheckBox::stateChanged, this, &HoleDetectWnd::SlotFreezeCenterColorToggled);
    connect(m_MarkerAlphaSlider, &QSlider::valueChanged, this, &HoleDetectWnd::SlotMarkerAlphaChanged);
    connect(m_MarkerWidthSlider, &QSlider::valueChanged, this, &HoleDetectWnd::SlotMarkerWidthChanged);
    connect(m_ThresholdSlider, &QSlider::valueChanged, this, &HoleDetectWnd::SlotThresholdChanged);
    connect(m_RoundnessSlider, &QSlider::valueChanged, this, &HoleDetectWnd::SlotRoundnessChanged);
}

HoleDetectWnd::~HoleDetectWnd()
{
    if (s_Instance == this)
        s_Instance = nullptr;
}

HoleDetectWnd* HoleDetectWnd::Instance()
{
    return s_Instance;
}

bool HoleDetectWnd::IsEnabled() const
{
    return m_EnableCB->isChecked();
}

bool HoleDetectWnd::IsCenterColorFrozen() const
{
    return m_FreezeHoleColor->isChecked();
}

double HoleDetectWnd::GetThreshold() const
{
    const double ratio = double(m_ThresholdSlider->value()) / double(m_ThresholdSlider->maximum());
    return ratio * ratio * 50000.0;
}

double HoleDetectWnd::GetRoundness() const
{
    return double(m_RoundnessSlider->value()) / double(m_RoundnessSlider->maximum());
}

void HoleDetectWnd::SetCenterColor(const QColor& color)
{
    m_CenterColor = color;
    m_CenterColorView->SetColor(color);
}

void HoleDetectWnd::SlotEnableToggled(bool checked)
{
    SettingsStore::Write("HoleDetect/Enabled", checked);
}

void HoleDetectWnd::SlotFreezeCenterColorToggled(bool checked)
{
    // Unfreezing keeps the colour stored by the last freeze.
    QVariantMap values{{"HoleDetect/FreezeCenterColor", checked}};
    if (checked)
        values.insert("HoleDetect/CenterColor", m_CenterColor);
    SettingsStore::Write(values);
}

void HoleDetectWnd::SlotMarkerAlphaChanged(int value)
{
    m_MarkerColor.setAlpha(value);
    SettingsStore::Write("HoleDetect/MarkerColor", m_MarkerColor);
}

void HoleDetectWnd::SlotMarkerWidthChanged(int value)
{
    SettingsStore::Write("HoleDetect/MarkerWidth", value);
}

void HoleDetectWnd::SlotThresholdChanged(int value)
{
    SettingsStore::Write("HoleDetect/Threshold", value);
}

void HoleDetectWnd::SlotRoundnessChanged(int value)
{
    SettingsStore::Write("HoleDetect/Roundness", value);
}

void HoleDetectWnd::SlotMarkerColorButtonClicked()
{
    // The dialog does not block the panel. A second click brings the open
    // dialog forward: replacing it would take a previewed colour as the one
    // to restore on cancel.
    if (m_ColorDialog) {
        m_ColorDialog->raise();
        m_ColorDialog->activateWindow();
        return;
    }
    // A dialog of the panel's window, not a window of its own: closing the
    // main window then ends the program instead of leaving it running, with
    // its camera, behind an open dialog. Shown, not opened, so that it stays
    // modeless.
    m_ColorDialog = QSharedPointer<QColorDialog>(new QColorDialog(window()), &QObject::deleteLater);
    m_PrevMarkerColor = m_MarkerColor;
    connect(m_ColorDialog.data(), &QColorDialog::currentColorChanged, this,
            &HoleDetectWnd::SlotMarkerColorDialogColorChanged);
    connect(m_ColorDialog.data(), &QDialog::finished, this, &HoleDetectWnd::SlotMarkerColorDialogFinished);
    m_ColorDialog->show();
}

void HoleDetectWnd::SlotMarkerColorDialogColorChanged(const QColor& color)
{
    ShowMarkerColor(color);
}

void HoleDetectWnd::SlotMarkerColorDialogFinished(int result)
{
    if (result == QDialog::Accepted) {
        ShowMarkerColor(m_ColorDialog->selectedColor());
        SettingsStore::Write("HoleDetect/MarkerColor", m_MarkerColor);
    } else {
        ShowMarkerColor(m_PrevMarkerColor);
    }
    m_ColorDialog.reset();
}

void HoleDetectWnd::ShowMarkerColor(const QColor& color)
{
    // The dialog's own alpha plays no part: the slider owns the alpha.
    m_MarkerColor = color;
    m_MarkerColor.setAlpha(m_MarkerAlphaSlider->value());
    m_MarkerColorView->SetColor(color);
}
