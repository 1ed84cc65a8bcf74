#include "SimImageProcessingControl.h"

#include "SimImageAdjust.h"

namespace {

bool ToSetting(QCameraImageProcessingControl::ProcessingParameter parameter, SimImageAdjust::Setting* setting)
{
    switch (parameter) {
    case QCameraImageProcessingControl::BrightnessAdjustment:
        *setting = SimImageAdjust::Brightness;
        return true;
    case QCameraImageProcessingControl::ContrastAdjustment:
        *setting = SimImageAdjust::Contrast;
        return true;
    case QCameraImageProcessingControl::SaturationAdjustment:
        *setting = SimImageAdjust::Saturation;
        return true;
    default:
        return false;
    }
}

}  // namespace

SimImageProcessingControl::SimImageProcessingControl(std::shared_ptr<SimImageAdjust> adjust, QObject* parent)
    : QCameraImageProcessingControl(parent)
    , m_Adjust(std::move(adjust))
{
}

bool SimImageProcessingControl::isParameterSupported(ProcessingParameter parameter) const
{
    SimImageAdjust::Setting setting;
    return ToSetting(parameter, &setting);
}

bool SimImageProcessingControl::isParameterValueSupported(ProcessingParameter parameter, const QVariant& value) const
{
    bool ok = false;
    const qreal number = value.toReal(&ok);
    return isParameterSupported(parameter) && ok && number >= -1 && number <= 1;
}

QVariant SimImageProcessingControl::parameter(ProcessingParameter parameter) const
{
    SimImageAdjust::Setting setting;
    if (!ToSetting(parameter, &setting))
        return QVariant();
    return m_Adjust->Get(setting);
}

void SimImageProcessingControl::setParameter(ProcessingParameter parameter, const QVariant& value)
{
    SimImageAdjust::Setting setting;
    bool ok = false;
    const qreal number = value.toReal(&ok);
    if (ToSetting(parameter, &setting) && ok)
        m_Adjust->Set(setting, number);
}
