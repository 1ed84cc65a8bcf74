#include "CameraControlsWnd.h"

#include <QCameraImageProcessing>
#include <QCameraImageProcessingControl>
#include <QMediaService>
#include <QSignalBlocker>
#include <QTimer>

#include <linux/videodev2.h>

#include <algorithm>

namespace {

// Sliders run from -100 to 100 for Qt's adjustments from -1 to 1.
constexpr qreal SliderScale = 100.0;

// Qt's real back-end may neither run with a size or rate its camera refuses
// nor report it: a camera not running again by then has refused it. Cameras
// restart in well under this.
constexpr int ViewfinderRefusalMs = 5000;

struct WhiteBalanceEntry
{
    QCameraImageProcessing::WhiteBalanceMode Mode;
    const char* Text;
};

const WhiteBalanceEntry WhiteBalanceEntries[] = {
    {QCameraImageProcessing::WhiteBalanceAuto, QT_TRANSLATE_NOOP("CameraControlsWnd", "Automatic")},
    {QCameraImageProcessing::WhiteBalanceManual, QT_TRANSLATE_NOOP("CameraControlsWnd", "Manual (temperature)")},
    {QCameraImageProcessing::WhiteBalanceSunlight, QT_TRANSLATE_NOOP("CameraControlsWnd", "Sunlight")},
    {QCameraImageProcessing::WhiteBalanceCloudy, QT_TRANSLATE_NOOP("CameraControlsWnd", "Cloudy")},
    {QCameraImageProcessing::WhiteBalanceShade, QT_TRANSLATE_NOOP("CameraControlsWnd", "Shade")},
    {QCameraImageProcessing::WhiteBalanceTungsten, QT_TRANSLATE_NOOP("CameraControlsWnd", "Tungsten")},
    {QCameraImageProcessing::WhiteBalanceFluorescent, QT_TRANSLATE_NOOP("CameraControlsWnd", "Fluorescent")},
    {QCameraImageProcessing::WhiteBalanceFlash, QT_TRANSLATE_NOOP("CameraControlsWnd", "Flash")},
    {QCameraImageProcessing::WhiteBalanceSunset, QT_TRANSLATE_NOOP("CameraControlsWnd", "Sunset")},
};

// Loaded or further: the camera's own lists and controls can be read.
bool IsReady(QCamera::Status status)
{
    switch (status) {
    case QCamera::LoadedStatus:
    case QCamera::StandbyStatus:
    case QCamera::StartingStatus:
    case QCamera::StoppingStatus:
    case QCamera::ActiveStatus:
        return true;
    default:
        return false;
    }
}

QCameraImageProcessingControl::ProcessingParameter ParameterOf(int adjustment)
{
    static const QCameraImageProcessingControl::ProcessingParameter parameters[] = {
        QCameraImageProcessingControl::BrightnessAdjustment, QCameraImageProcessingControl::ContrastAdjustment,
        QCameraImageProcessingControl::SaturationAdjustment, QCameraImageProcessingControl::SharpeningAdjustment};
    return parameters[adjustment];
}

qreal GetAdjustment(const QCameraImageProcessing* processing, int adjustment)
{
    switch (adjustment) {
    case 0:
        return processing->brightness();
    case 1:
        return processing->contrast();
    case 2:
        return processing->saturation();
    default:
        return processing->sharpeningLevel();
    }
}

void SetAdjustmentOn(QCameraImageProcessing* processing, int adjustment, qreal value)
{
    switch (adjustment) {
    case 0:
        processing->setBrightness(value);
        break;
    case 1:
        processing->setContrast(value);
        break;
    case 2:
        processing->setSaturation(value);
        break;
    default:
        processing->setSharpeningLevel(value);
        break;
    }
}

std::optional<qreal>& StoredAdjustment(CameraControlValues& values, int adjustment)
{
    std::optional<qreal>* fields[] = {&values.Brightness, &values.Contrast, &values.Saturation, &values.Sharpness};
    return *fields[adjustment];
}

}  // namespace

CameraControlsWnd::CameraControlsWnd(QWidget* parent)
    : QDockWidget(parent)
{
    setupUi(this);
    // Automatic settings come before the values they govern, so that a
    // manual value is written only once its automatic setting is off.
    m_DeviceRows = {
        {V4L2_CID_EXPOSURE_AUTO, EditorKind::Toggle, nullptr, m_ExposureAutoCheckBox, 0},
        {V4L2_CID_EXPOSURE_ABSOLUTE, EditorKind::Slider, m_ExposureLabel, m_ExposureSlider, V4L2_CID_EXPOSURE_AUTO},
        {V4L2_CID_GAIN, EditorKind::Slider, m_GainLabel, m_GainSlider, 0},
        {V4L2_CID_FOCUS_AUTO, EditorKind::Toggle, nullptr, m_FocusAutoCheckBox, 0},
        {V4L2_CID_FOCUS_ABSOLUTE, EditorKind::Slider, m_FocusLabel, m_FocusSlider, V4L2_CID_FOCUS_AUTO},
        {V4L2_CID_POWER_LINE_FREQUENCY, EditorKind::Menu, m_PowerLineLabel, m_PowerLineComboBox, 0},
    };
    for (const DeviceRow& row : qAsConst(m_DeviceRows)) {
        ShowDeviceRow(row, std::nullopt);
        ConnectDeviceRow(row);
    }
    for (const auto& entry : AdjustmentSliders())
        ConnectAdjustment(entry.second, entry.first);
    connect(m_ViewfinderComboBox, QOverload<int>::of(&QComboBox::activated), this,
            &CameraControlsWnd::SlotViewfinderChosen);
    connect(m_WhiteBalanceComboBox, QOverload<int>::of(&QComboBox::activated), this,
            &CameraControlsWnd::SlotWhiteBalanceChosen);
    connect(m_ColorTemperatureSpinBox, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &CameraControlsWnd::SlotColorTemperatureChanged);
    connect(m_ResetButton, &QPushButton::clicked, this, &CameraControlsWnd::SlotResetClicked);
    SetControlsEnabled(false);
}

CameraControlsWnd::~CameraControlsWnd() = default;

QVector<QPair<CameraControlsWnd::Adjustment, QSlider*>> CameraControlsWnd::AdjustmentSliders() const
{
    return {{Adjustment::Brightness, m_BrightnessSlider},
            {Adjustment::Contrast, m_ContrastSlider},
            {Adjustment::Saturation, m_SaturationSlider},
            {Adjustment::Sharpness, m_SharpnessSlider}};
}

void CameraControlsWnd::ConnectAdjustment(QSlider* slider, Adjustment adjustment)
{
    connect(slider, &QSlider::valueChanged, this,
            [this, adjustment](int value) { SetAdjustment(adjustment, value); });
}

void CameraControlsWnd::ConnectDeviceRow(const DeviceRow& row)
{
    switch (row.Kind) {
    case EditorKind::Toggle:
        connect(static_cast<QCheckBox*>(row.Editor), &QCheckBox::toggled, this,
                [this, row](bool checked) { SetDeviceControl(row, checked ? 1 : 0); });
        break;
    case EditorKind::Slider:
        connect(static_cast<QSlider*>(row.Editor), &QSlider::valueChanged, this,
                [this, row](int value) { SetDeviceControl(row, value); });
        break;
    case EditorKind::Menu: {
        auto* combo = static_cast<QComboBox*>(row.Editor);
        connect(combo, QOverload<int>::of(&QComboBox::activated), this,
                [this, row, combo](int index) { SetDeviceControl(row, combo->itemData(index).toInt()); });
        break;
    }
    }
}

void CameraControlsWnd::SetCamera(QCamera* camera, const QCameraInfo& cameraInfo)
{
    // Followed already: its own status says when it comes back.
    if (camera == m_Camera && cameraInfo == m_CameraInfo)
        return;
    if (m_Camera)
        disconnect(m_Camera, nullptr, this, nullptr);
    // A refused stored choice stays refused for its device: the fresh start
    // that follows a refusal must not try it again.
    if (cameraInfo.deviceName() != m_CameraInfo.deviceName())
        m_StoredViewfinderRefused = false;
    m_Camera = camera;
    m_CameraInfo = cameraInfo;
    m_Values = CameraControlSettings::Load(cameraInfo.deviceName());
    m_Device.reset();
    ++m_ReadyGeneration;
    m_Ready = false;
    m_ReadyQueued = false;
    m_PendingViewfinder.reset();
    m_ViewfinderApplied = false;
    m_ViewfinderChoices.clear();
    m_ViewfinderIndex = 0;
    SetControlsEnabled(false);
    m_MessageLabel->clear();
    if (!m_Camera)
        return;
    connect(m_Camera, &QCamera::statusChanged, this, &CameraControlsWnd::SlotCameraStatusChanged);
    connect(m_Camera, &QCamera::errorOccurred, this, &CameraControlsWnd::SlotCameraError);
    SlotCameraStatusChanged(m_Camera->status());
}

void CameraControlsWnd::SlotCameraStatusChanged(QCamera::Status status)
{
    if (!IsReady(status)) {
        // Gone or unloaded: whatever comes back is read afresh, the device
        // node included, since a camera plugged in again is a new device.
        ++m_ReadyGeneration;
        m_Ready = false;
        m_ReadyQueued = false;
        m_Device.reset();
        SetControlsEnabled(false);
        return;
    }
    if (status == QCamera::ActiveStatus)
        m_PendingViewfinder.reset();
    if (m_Ready) {
        ApplyStoredViewfinder();
        return;
    }
    if (m_ReadyQueued)
        return;
    // Queued behind the back-end's own handling of this status, in which
    // it may only now learn what the device supports.
    m_ReadyQueued = true;
    const int generation = m_ReadyGeneration;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation == m_ReadyGeneration && m_Camera)
                ApplyOnReady();
        },
        Qt::QueuedConnection);
}

void CameraControlsWnd::ApplyOnReady()
{
    m_Ready = true;
    m_ReadyQueued = false;
    m_ViewfinderApplied = false;
    SetControlsEnabled(true);
    ApplyImageProcessing();
    ApplyDeviceControls(false);
    ApplyStoredViewfinder();
}

void CameraControlsWnd::SetControlsEnabled(bool enabled)
{
    const QList<QWidget*> editors = {m_ViewfinderComboBox, m_BrightnessSlider,     m_ContrastSlider,
                                     m_SaturationSlider,   m_SharpnessSlider,      m_WhiteBalanceComboBox,
                                     m_ColorTemperatureSpinBox, m_ExposureAutoCheckBox, m_ExposureSlider,
                                     m_GainSlider,         m_FocusAutoCheckBox,    m_FocusSlider,
                                     m_PowerLineComboBox,  m_ResetButton};
    for (QWidget* editor : editors)
        editor->setEnabled(enabled);
}

void CameraControlsWnd::Report(const QString& message)
{
    m_MessageLabel->setText(message);
    emit SignalMessage(message);
}

// Queued: the camera may be in the middle of a call into this panel, and
// the restart replaces it.
void CameraControlsWnd::RequestRestart()
{
    const QCameraInfo cameraInfo = m_CameraInfo;
    QMetaObject::invokeMethod(this, [this, cameraInfo] { emit SignalRestartCamera(cameraInfo); }, Qt::QueuedConnection);
}

void CameraControlsWnd::Save()
{
    if (!m_CameraInfo.isNull())
        CameraControlSettings::Save(m_CameraInfo.deviceName(), m_Values);
}

// Picture size and rate.

void CameraControlsWnd::FillViewfinderChoices()
{
    m_ViewfinderChoices.clear();
    for (const QCameraViewfinderSettings& settings : m_Camera->supportedViewfinderSettings()) {
        const ViewfinderChoice choice{settings.resolution(), settings.maximumFrameRate()};
        if (choice.Resolution.isEmpty() || choice.FrameRate <= 0)
            continue;
        const bool known = std::any_of(m_ViewfinderChoices.cbegin(), m_ViewfinderChoices.cend(),
                                       [&choice](const ViewfinderChoice& other) {
                                           return other.Resolution == choice.Resolution
                                                  && qFuzzyCompare(other.FrameRate, choice.FrameRate);
                                       });
        if (!known)
            m_ViewfinderChoices.append(choice);
    }
    // Largest picture first, fastest rate first within a size.
    std::sort(m_ViewfinderChoices.begin(), m_ViewfinderChoices.end(),
              [](const ViewfinderChoice& a, const ViewfinderChoice& b) {
                  const qint64 areaA = qint64(a.Resolution.width()) * a.Resolution.height();
                  const qint64 areaB = qint64(b.Resolution.width()) * b.Resolution.height();
                  return areaA != areaB ? areaA > areaB : a.FrameRate > b.FrameRate;
              });
    const QSignalBlocker blocker(m_ViewfinderComboBox);
    m_ViewfinderComboBox->clear();
    m_ViewfinderComboBox->addItem(tr("Camera default"));
    for (int i = 0; i < m_ViewfinderChoices.size(); ++i)
        m_ViewfinderComboBox->addItem(ViewfinderText(i + 1));
    m_ViewfinderComboBox->setCurrentIndex(m_ViewfinderIndex);
}

QString CameraControlsWnd::ViewfinderText(int index) const
{
    const ViewfinderChoice& choice = m_ViewfinderChoices.at(index - 1);
    return tr("%1 x %2 at %3 fps")
        .arg(choice.Resolution.width())
        .arg(choice.Resolution.height())
        .arg(choice.FrameRate, 0, 'g', 4);
}

// Some back-ends list sizes and rates only once loaded or running: tried
// on every status until the list is there, then once.
void CameraControlsWnd::ApplyStoredViewfinder()
{
    if (m_ViewfinderApplied)
        return;
    FillViewfinderChoices();
    if (m_ViewfinderChoices.isEmpty())
        return;
    m_ViewfinderApplied = true;
    if (m_Values.Resolution.isEmpty() || m_StoredViewfinderRefused)
        return;
    for (int i = 0; i < m_ViewfinderChoices.size(); ++i) {
        const ViewfinderChoice& choice = m_ViewfinderChoices.at(i);
        if (choice.Resolution == m_Values.Resolution && qFuzzyCompare(choice.FrameRate, m_Values.FrameRate)) {
            ApplyViewfinder(i + 1, {0, m_Camera->viewfinderSettings(), m_Values.Resolution, m_Values.FrameRate, true});
            return;
        }
    }
    // Kept in the store: the camera may offer it again another time.
    Report(tr("The camera does not offer %1 x %2 at %3 fps now; it runs at its own setting")
               .arg(m_Values.Resolution.width())
               .arg(m_Values.Resolution.height())
               .arg(m_Values.FrameRate, 0, 'g', 4));
}

void CameraControlsWnd::SlotViewfinderChosen(int index)
{
    if (!m_Camera || index == m_ViewfinderIndex || index < 0 || index > m_ViewfinderChoices.size())
        return;
    if (index == 0) {
        m_Values.Resolution = QSize();
        m_Values.FrameRate = 0;
        Save();
        m_ViewfinderIndex = 0;
        RequestRestart();
        return;
    }
    const PendingViewfinder previous{m_ViewfinderIndex, m_Camera->viewfinderSettings(), m_Values.Resolution,
                                     m_Values.FrameRate, false};
    m_Values.Resolution = m_ViewfinderChoices.at(index - 1).Resolution;
    m_Values.FrameRate = m_ViewfinderChoices.at(index - 1).FrameRate;
    Save();
    m_StoredViewfinderRefused = false;
    ApplyViewfinder(index, previous);
}

void CameraControlsWnd::ApplyViewfinder(int index, const PendingViewfinder& previous)
{
    const ViewfinderChoice& choice = m_ViewfinderChoices.at(index - 1);
    QCameraViewfinderSettings settings = previous.Settings;
    settings.setResolution(choice.Resolution);
    settings.setMinimumFrameRate(choice.FrameRate);
    settings.setMaximumFrameRate(choice.FrameRate);
    m_PendingViewfinder = previous;
    m_ViewfinderIndex = index;
    {
        const QSignalBlocker blocker(m_ViewfinderComboBox);
        m_ViewfinderComboBox->setCurrentIndex(index);
    }
    // The camera restarts with it; a refusal comes back as a camera error,
    // possibly from within this call, or as a start that never ends.
    const int serial = ++m_ViewfinderSerial;
    m_Camera->setViewfinderSettings(settings);
    QTimer::singleShot(ViewfinderRefusalMs, this, [this, serial] {
        if (serial == m_ViewfinderSerial)
            SlotCameraError();
    });
}

void CameraControlsWnd::SlotCameraError()
{
    if (!m_PendingViewfinder || !m_Camera)
        return;
    const PendingViewfinder previous = *m_PendingViewfinder;
    m_PendingViewfinder.reset();
    ++m_ViewfinderSerial;
    const QString refused = ViewfinderText(m_ViewfinderIndex);
    // A new choice is forgotten; a stored one stays stored but is not tried
    // again on this device.
    m_StoredViewfinderRefused = previous.FromStore;
    m_Values.Resolution = previous.Resolution;
    m_Values.FrameRate = previous.FrameRate;
    Save();
    m_ViewfinderIndex = previous.Index;
    {
        const QSignalBlocker blocker(m_ViewfinderComboBox);
        m_ViewfinderComboBox->setCurrentIndex(previous.Index);
    }
    // A fresh camera: Qt's real back-end, stuck starting, takes no other
    // settings, and the fresh one starts with the previous choice.
    RequestRestart();
    Report(tr("The camera refused %1; the previous setting stays").arg(refused));
}

// Qt's image adjustments.

void CameraControlsWnd::ApplyImageProcessing()
{
    QCameraImageProcessing* processing = m_Camera->imageProcessing();
    QMediaService* service = m_Camera->service();
    auto* control = service ? service->requestControl<QCameraImageProcessingControl*>() : nullptr;
    const auto supported = [processing, control](QCameraImageProcessingControl::ProcessingParameter parameter) {
        return processing->isAvailable() && control && control->isParameterSupported(parameter);
    };
    for (const auto& entry : AdjustmentSliders()) {
        const int adjustment = int(entry.first);
        QSlider* slider = entry.second;
        const bool available = supported(ParameterOf(adjustment));
        slider->setEnabled(available);
        const std::optional<qreal> stored = StoredAdjustment(m_Values, adjustment);
        if (available && stored)
            SetAdjustmentOn(processing, adjustment, *stored);
        const QSignalBlocker blocker(slider);
        slider->setValue(available ? qRound(GetAdjustment(processing, adjustment) * SliderScale) : 0);
    }

    {
        const QSignalBlocker blocker(m_WhiteBalanceComboBox);
        m_WhiteBalanceComboBox->clear();
        if (supported(QCameraImageProcessingControl::WhiteBalancePreset)) {
            for (const WhiteBalanceEntry& entry : WhiteBalanceEntries) {
                if (processing->isWhiteBalanceModeSupported(entry.Mode))
                    m_WhiteBalanceComboBox->addItem(tr(entry.Text), int(entry.Mode));
            }
        }
        const bool modes = m_WhiteBalanceComboBox->count() > 0;
        m_WhiteBalanceComboBox->setEnabled(modes);
        if (modes && m_Values.WhiteBalanceMode) {
            if (m_WhiteBalanceComboBox->findData(*m_Values.WhiteBalanceMode) >= 0)
                processing->setWhiteBalanceMode(QCameraImageProcessing::WhiteBalanceMode(*m_Values.WhiteBalanceMode));
            else
                Report(tr("The camera does not offer the stored white balance; it keeps its own"));
        }
        if (modes)
            m_WhiteBalanceComboBox->setCurrentIndex(
                m_WhiteBalanceComboBox->findData(int(processing->whiteBalanceMode())));
    }

    const bool temperature = supported(QCameraImageProcessingControl::ColorTemperature);
    m_ColorTemperatureSpinBox->setEnabled(temperature);
    if (temperature) {
        const QSignalBlocker blocker(m_ColorTemperatureSpinBox);
        if (m_Values.ColorTemperature) {
            const int kelvin = qBound(m_ColorTemperatureSpinBox->minimum(), *m_Values.ColorTemperature,
                                      m_ColorTemperatureSpinBox->maximum());
            if (kelvin != *m_Values.ColorTemperature)
                Report(tr("Stored colour temperature %1 K is out of range; using %2 K")
                           .arg(*m_Values.ColorTemperature)
                           .arg(kelvin));
            processing->setManualWhiteBalance(kelvin);
        }
        if (processing->manualWhiteBalance() > 0)
            m_ColorTemperatureSpinBox->setValue(qRound(processing->manualWhiteBalance()));
    }
    if (control)
        service->releaseControl(control);
}

void CameraControlsWnd::SetAdjustment(Adjustment adjustment, int sliderValue)
{
    if (!m_Camera || !m_Ready)
        return;
    const qreal value = sliderValue / SliderScale;
    SetAdjustmentOn(m_Camera->imageProcessing(), int(adjustment), value);
    StoredAdjustment(m_Values, int(adjustment)) = value;
    Save();
}

void CameraControlsWnd::SlotWhiteBalanceChosen(int index)
{
    if (!m_Camera || !m_Ready || index < 0)
        return;
    const int mode = m_WhiteBalanceComboBox->itemData(index).toInt();
    m_Camera->imageProcessing()->setWhiteBalanceMode(QCameraImageProcessing::WhiteBalanceMode(mode));
    m_Values.WhiteBalanceMode = mode;
    Save();
}

void CameraControlsWnd::SlotColorTemperatureChanged(int kelvin)
{
    if (!m_Camera || !m_Ready)
        return;
    QCameraImageProcessing* processing = m_Camera->imageProcessing();
    processing->setManualWhiteBalance(kelvin);
    m_Values.ColorTemperature = kelvin;
    // A temperature means nothing to the automatic white balance.
    const int manual = m_WhiteBalanceComboBox->findData(int(QCameraImageProcessing::WhiteBalanceManual));
    if (manual >= 0 && m_WhiteBalanceComboBox->currentIndex() != manual) {
        processing->setWhiteBalanceMode(QCameraImageProcessing::WhiteBalanceManual);
        m_Values.WhiteBalanceMode = int(QCameraImageProcessing::WhiteBalanceManual);
        const QSignalBlocker blocker(m_WhiteBalanceComboBox);
        m_WhiteBalanceComboBox->setCurrentIndex(manual);
    }
    Save();
}

// Device controls.

void CameraControlsWnd::ApplyDeviceControls(bool toDefaults)
{
    m_Device = std::make_unique<V4l2Controls>(m_CameraInfo.deviceName());
    for (const DeviceRow& row : qAsConst(m_DeviceRows)) {
        const std::optional<V4l2Control> control = m_Device->IsOpen() ? m_Device->Query(row.Id) : std::nullopt;
        ShowDeviceRow(row, control);
        if (!control)
            continue;
        const auto stored = m_Values.DeviceControls.constFind(row.Id);
        const bool wanted = toDefaults || stored != m_Values.DeviceControls.cend();
        if (wanted && !(row.AutoId != 0 && IsAutomatic(row.AutoId))) {
            const qint64 target = toDefaults ? control->Default : *stored;
            const qint32 value = control->Nearest(target);
            if (value != target)
                Report(tr("Stored %1 %2 is outside what the camera takes now; using %3")
                           .arg(control->Name)
                           .arg(target)
                           .arg(value));
            WriteDeviceControl(*control, value);
        }
        ShowDeviceValue(row, *control, m_Device->Get(row.Id).value_or(control->Default));
    }
    UpdateManualRows();
}

bool CameraControlsWnd::IsAutomatic(quint32 id) const
{
    if (!m_Device)
        return false;
    const std::optional<V4l2Control> control = m_Device->Query(id);
    const std::optional<qint32> value = m_Device->Get(id);
    if (!control || !value)
        return false;
    return control->IsMenu ? *value != V4L2_EXPOSURE_MANUAL : *value != 0;
}

QString CameraControlsWnd::RowName(const DeviceRow& row) const
{
    return row.Label ? row.Label->text() : static_cast<QCheckBox*>(row.Editor)->text();
}

void CameraControlsWnd::ShowDeviceRow(const DeviceRow& row, const std::optional<V4l2Control>& control)
{
    if (row.Label)
        row.Label->setVisible(bool(control));
    row.Editor->setVisible(bool(control));
    if (!control)
        return;
    const QSignalBlocker blocker(row.Editor);
    if (row.Kind == EditorKind::Slider) {
        auto* slider = static_cast<QSlider*>(row.Editor);
        slider->setRange(control->Minimum, control->Maximum);
        slider->setSingleStep(control->Step);
        const qint64 span = qint64(control->Maximum) - control->Minimum;
        slider->setPageStep(int(qMax(qint64(control->Step), span / 10)));
    } else if (row.Kind == EditorKind::Menu) {
        auto* combo = static_cast<QComboBox*>(row.Editor);
        combo->clear();
        for (const auto& entry : control->MenuEntries)
            combo->addItem(entry.second, entry.first);
    }
}

void CameraControlsWnd::ShowDeviceValue(const DeviceRow& row, const V4l2Control& control, qint32 value)
{
    const QSignalBlocker blocker(row.Editor);
    switch (row.Kind) {
    case EditorKind::Toggle:
        static_cast<QCheckBox*>(row.Editor)
            ->setChecked(control.IsMenu ? value != V4L2_EXPOSURE_MANUAL : value != 0);
        break;
    case EditorKind::Slider:
        static_cast<QSlider*>(row.Editor)->setValue(value);
        break;
    case EditorKind::Menu: {
        auto* combo = static_cast<QComboBox*>(row.Editor);
        combo->setCurrentIndex(combo->findData(value));
        break;
    }
    }
}

qint32 CameraControlsWnd::EditorToDeviceValue(const DeviceRow& row, const V4l2Control& control,
                                              qint32 editorValue) const
{
    if (row.Kind != EditorKind::Toggle || !control.IsMenu)
        return editorValue;
    if (editorValue == 0)
        return V4L2_EXPOSURE_MANUAL;
    // Automatic: the device's own automatic mode, else any it offers.
    if (control.Default != V4L2_EXPOSURE_MANUAL)
        return control.Default;
    for (const auto& entry : control.MenuEntries) {
        if (entry.first != V4L2_EXPOSURE_MANUAL)
            return entry.first;
    }
    return V4L2_EXPOSURE_MANUAL;
}

void CameraControlsWnd::SetDeviceControl(const DeviceRow& row, qint32 editorValue)
{
    if (!m_Device || !m_Ready)
        return;
    const std::optional<V4l2Control> control = m_Device->Query(row.Id);
    if (!control) {
        ShowDeviceRow(row, std::nullopt);
        Report(tr("%1 is no longer offered by the camera").arg(RowName(row)));
        return;
    }
    const qint32 value = control->Nearest(EditorToDeviceValue(row, *control, editorValue));
    if (WriteDeviceControl(*control, value)) {
        m_Values.DeviceControls.insert(row.Id, value);
        Save();
    }
    ShowDeviceValue(row, *control, m_Device->Get(row.Id).value_or(value));
    UpdateManualRows();
}

bool CameraControlsWnd::WriteDeviceControl(const V4l2Control& control, qint32 value)
{
    QString error;
    if (m_Device->Set(control.Id, value, &error))
        return true;
    Report(tr("The camera refused %1 %2: %3").arg(control.Name).arg(value).arg(error));
    return false;
}

void CameraControlsWnd::UpdateManualRows()
{
    for (const DeviceRow& row : qAsConst(m_DeviceRows)) {
        if (row.AutoId != 0)
            row.Editor->setEnabled(m_Ready && !IsAutomatic(row.AutoId));
    }
}

void CameraControlsWnd::SlotResetClicked()
{
    if (!m_Camera || !m_Ready)
        return;
    const bool restart = m_ViewfinderIndex != 0;
    m_Values = CameraControlValues();
    CameraControlSettings::Remove(m_CameraInfo.deviceName());
    QCameraImageProcessing* processing = m_Camera->imageProcessing();
    for (const auto& entry : AdjustmentSliders()) {
        if (entry.second->isEnabled())
            SetAdjustmentOn(processing, int(entry.first), 0);
    }
    if (m_WhiteBalanceComboBox->findData(int(QCameraImageProcessing::WhiteBalanceAuto)) >= 0)
        processing->setWhiteBalanceMode(QCameraImageProcessing::WhiteBalanceAuto);
    ApplyImageProcessing();
    ApplyDeviceControls(true);
    Report(tr("Camera controls are back at the camera's defaults"));
    if (restart)
        RequestRestart();
}
