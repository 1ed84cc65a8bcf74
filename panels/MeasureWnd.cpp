#include "MeasureWnd.h"

#include "CameraSettings.h"
#include "MeasureSettings.h"
#include "SnapshotWriter.h"

#include <QDateTime>
#include <QFileDialog>
#include <QImage>
#include <QInputDialog>
#include <QLocale>

#include <cmath>

namespace
{
constexpr int kRefreshMs = 100;
constexpr int kMillimetreUnit = 1;
const char* const kAlignedStyle = "background-color: #1b8a2e; color: white; font-weight: bold;";

// The user's own number format first, then the C one ("0.05" in any locale).
bool ParseNumber(const QString& text, double* value)
{
    bool ok = false;
    *value = QLocale().toDouble(text.trimmed(), &ok);
    if (!ok)
        *value = QLocale::c().toDouble(text.trimmed(), &ok);
    return ok && std::isfinite(*value);
}

QString Signed(double value, int decimals)
{
    return (value >= 0.0 ? QStringLiteral("+") : QString()) + QString::number(value, 'f', decimals);
}
} // namespace

MeasureWnd::MeasureWnd(QWidget* parent)
    : QDockWidget(parent)
{
    setupUi(this);

    // Loaded before the connections, so nothing is written back.
    m_ToleranceSpinBox->setValue(MeasureSettings::GetTolerance());
    m_ToleranceUnitComboBox->setCurrentIndex(MeasureSettings::IsToleranceInMillimetres() ? kMillimetreUnit : 0);
    m_SaveFrameCheckBox->setChecked(MeasureSettings::IsFrameSaved());
    m_SnapshotFolderButton->setToolTip(MeasureSettings::GetSnapshotFolder());

    CameraSettings* cameraSettings = CameraSettings::Instance();
    m_Device = cameraSettings->GetSelectedCamera().deviceName();
    connect(cameraSettings, &CameraSettings::SignalSelectedCameraChanged, this,
            &MeasureWnd::SlotSelectedCameraChanged);

    connect(m_SetFromHoleButton, &QPushButton::clicked, this, &MeasureWnd::SlotSetFromHoleClicked);
    connect(m_ApplyScaleButton, &QPushButton::clicked, this, &MeasureWnd::SlotApplyScaleClicked);
    connect(m_ScaleEdit, &QLineEdit::returnPressed, this, &MeasureWnd::SlotApplyScaleClicked);
    connect(m_ClearScaleButton, &QPushButton::clicked, this, &MeasureWnd::SlotClearScaleClicked);
    connect(m_ToleranceSpinBox, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &MeasureWnd::SlotToleranceChanged);
    connect(m_ToleranceUnitComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &MeasureWnd::SlotToleranceUnitChanged);
    connect(m_SaveSnapshotButton, &QPushButton::clicked, this, &MeasureWnd::SignalSaveSnapshot);
    connect(m_SnapshotFolderButton, &QPushButton::clicked, this, &MeasureWnd::SlotSnapshotFolderClicked);
    connect(m_SaveFrameCheckBox, &QCheckBox::toggled, this, &MeasureWnd::SlotSaveFrameToggled);
    connect(&m_RefreshTimer, &QTimer::timeout, this, &MeasureWnd::SlotRefresh);

    m_Clock.start();
    m_RefreshTimer.start(kRefreshMs);
    SlotRefresh();
}

MeasureWnd::~MeasureWnd() = default;

bool MeasureWnd::IsFrameSaved() const
{
    return m_SaveFrameCheckBox->isChecked();
}

void MeasureWnd::SlotHoleMeasured(const HoleMeasurement& measurement)
{
    m_Measurement = measurement;
    if (measurement.FrameSize != m_FrameSize)
    {
        m_FrameSize = measurement.FrameSize;
        LoadScale();
    }
    m_Tracker.AddSample(m_Clock.elapsed(), measurement.Found, measurement.Offset, ToleranceInPixels());
}

void MeasureWnd::SlotSelectedCameraChanged(QCameraInfo cameraInfo)
{
    m_Device = cameraInfo.deviceName();
    LoadScale();
}

void MeasureWnd::LoadScale()
{
    m_Scale = MeasureSettings::GetScale(m_Device, m_FrameSize);
    ShowScale();
}

void MeasureWnd::ShowScale()
{
    m_ScaleEdit->setText(m_Scale > 0.0 ? QLocale().toString(m_Scale, 'g', 6) : QString());
}

// The diameter is the one measured when the button was pressed: the hole
// may drift or vanish while the user types.
void MeasureWnd::SlotSetFromHoleClicked()
{
    const HoleMeasurement atPress = m_Measurement;
    if (!atPress.Found || atPress.Diameter <= 0.0)
    {
        emit SignalNotice(tr("Scale not set: no hole detected"));
        return;
    }
    bool accepted = false;
    const QString text = QInputDialog::getText(
        this, tr("Set from hole"),
        tr("The hole measures %1 px. Its diameter in mm:").arg(atPress.Diameter, 0, 'f', 1), QLineEdit::Normal,
        QString(), &accepted);
    if (!accepted)
        return;
    double diameter = 0.0;
    if (!ParseNumber(text, &diameter) || diameter <= 0.0)
    {
        emit SignalNotice(tr("Scale not set: \"%1\" is not a diameter in mm").arg(text));
        return;
    }
    ApplyScale(diameter / atPress.Diameter, tr("the diameter %1 mm").arg(text.trimmed()));
}

void MeasureWnd::SlotApplyScaleClicked()
{
    double scale = 0.0;
    if (!ParseNumber(m_ScaleEdit->text(), &scale))
    {
        emit SignalNotice(tr("Scale not set: \"%1\" is not a number").arg(m_ScaleEdit->text()));
        ShowScale();
        return;
    }
    ApplyScale(scale, tr("%1 mm/px").arg(m_ScaleEdit->text().trimmed()));
}

void MeasureWnd::ApplyScale(double millimetresPerPixel, const QString& what)
{
    if (m_FrameSize.isEmpty())
        emit SignalNotice(tr("Scale not set: no picture yet"));
    else if (!MeasureSettings::IsUsableScale(millimetresPerPixel))
        emit SignalNotice(tr("Scale not set: %1 gives %2 mm/px, out of range").arg(what).arg(millimetresPerPixel));
    else
    {
        m_Scale = millimetresPerPixel;
        MeasureSettings::SetScale(m_Device, m_FrameSize, m_Scale);
        emit SignalNotice(tr("Scale set: %1 mm/px").arg(m_Scale, 0, 'g', 6));
    }
    ShowScale();
}

void MeasureWnd::SlotClearScaleClicked()
{
    MeasureSettings::ClearScale(m_Device, m_FrameSize);
    m_Scale = 0.0;
    ShowScale();
}

void MeasureWnd::SlotToleranceChanged(double tolerance)
{
    MeasureSettings::SetTolerance(tolerance);
}

void MeasureWnd::SlotToleranceUnitChanged(int index)
{
    MeasureSettings::SetToleranceInMillimetres(index == kMillimetreUnit);
}

void MeasureWnd::SlotSaveFrameToggled(bool checked)
{
    MeasureSettings::SetFrameSaved(checked);
}

double MeasureWnd::ToleranceInPixels() const
{
    const double tolerance = m_ToleranceSpinBox->value();
    if (m_ToleranceUnitComboBox->currentIndex() != kMillimetreUnit)
        return tolerance;
    return m_Scale > 0.0 ? tolerance / m_Scale : -1.0;
}

void MeasureWnd::SlotRefresh()
{
    // Hidden, nobody reads it; a snapshot formats its own copy.
    if (!isVisible())
        return;
    m_ReadoutLabel->setText(ReadoutText());
    m_AlignedLabel->setText(AlignmentText());
    // Setting a style sheet restyles the label even when it is the same.
    const QString style = m_Tracker.IsAligned(m_Clock.elapsed()) ? kAlignedStyle : "";
    if (m_AlignedLabel->styleSheet() != style)
        m_AlignedLabel->setStyleSheet(style);
}

QString MeasureWnd::ReadoutText() const
{
    if (!m_Measurement.Found)
        return tr("No hole");
    const auto line = [this](const QString& name, double pixels, bool signedValue) {
        QString text = QStringLiteral("%1 %2 px").arg(name, signedValue ? Signed(pixels, 1)
                                                                          : QString::number(pixels, 'f', 1));
        if (m_Scale > 0.0)
        {
            const double mm = pixels * m_Scale;
            text += QStringLiteral("  (%1 mm)").arg(signedValue ? Signed(mm, 3) : QString::number(mm, 'f', 3));
        }
        return text;
    };
    QStringList lines{line(tr("dx"), m_Measurement.Offset.x(), true),
                      line(tr("dy"), m_Measurement.Offset.y(), true),
                      line(tr("diameter"), m_Measurement.Diameter, false)};
    if (m_Scale > 0.0)
        lines << tr("circles %1 mm, %2 mm")
                     .arg(m_Measurement.InnerCircleDiameter * m_Scale, 0, 'f', 3)
                     .arg(m_Measurement.OuterCircleDiameter * m_Scale, 0, 'f', 3);
    return lines.join('\n');
}

QString MeasureWnd::AlignmentText() const
{
    if (!m_Measurement.Found)
        return QString();
    if (ToleranceInPixels() < 0.0)
        return tr("A tolerance in mm needs a scale");
    const qint64 now = m_Clock.elapsed();
    const double jitter = m_Tracker.GetJitter(now);
    QString text = (m_Tracker.IsAligned(now) ? tr("Aligned") : tr("Not aligned"))
                   + tr("   jitter %1 px").arg(jitter, 0, 'f', 2);
    if (m_Scale > 0.0)
        text += QStringLiteral(" (%1 mm)").arg(jitter * m_Scale, 0, 'f', 3);
    return text;
}

QString MeasureWnd::ChooseSnapshotFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Snapshot folder"),
                                                             MeasureSettings::GetSnapshotFolder());
    if (!folder.isEmpty())
    {
        MeasureSettings::SetSnapshotFolder(folder);
        m_SnapshotFolderButton->setToolTip(folder);
    }
    return folder;
}

void MeasureWnd::SlotSnapshotFolderClicked()
{
    ChooseSnapshotFolder();
}

void MeasureWnd::SaveSnapshot(const QImage& picture, const QImage& frame)
{
    QString folder = MeasureSettings::GetSnapshotFolder();
    if (folder.isEmpty())
        folder = ChooseSnapshotFolder();
    if (folder.isEmpty())
    {
        emit SignalNotice(tr("Snapshot not saved: no folder chosen"));
        return;
    }

    const QDateTime now = QDateTime::currentDateTime();
    const QString alignment = AlignmentText();
    // Qt folds keys with spaces into one "Description" field: none here.
    const SnapshotWriter::TextFields texts{
        {QStringLiteral("Software"), QStringLiteral("Lentavio")},
        {QStringLiteral("Time"), now.toString(Qt::ISODateWithMs)},
        {QStringLiteral("Camera"), m_Device},
        {QStringLiteral("FrameSize"), QStringLiteral("%1x%2").arg(m_FrameSize.width()).arg(m_FrameSize.height())},
        {QStringLiteral("Readout"), alignment.isEmpty() ? ReadoutText() : ReadoutText() + '\n' + alignment},
        {QStringLiteral("Scale"), m_Scale > 0.0 ? QStringLiteral("%1 mm/px").arg(m_Scale, 0, 'g', 10)
                                                : QStringLiteral("none")},
    };
    QString error;
    const QString path = SnapshotWriter::Save(folder, now, picture, frame, texts, &error);
    emit SignalNotice(path.isEmpty() ? error : tr("Snapshot saved: %1").arg(path));
}
