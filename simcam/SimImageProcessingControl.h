#pragma once

#include <QCameraImageProcessingControl>

#include <memory>

class SimImageAdjust;

// QCameraImageProcessing for a synthetic camera: brightness, contrast and
// saturation, which its frames show. Lives on the QCamera's thread, owned by
// the service.
class SimImageProcessingControl : public QCameraImageProcessingControl
{
    Q_OBJECT

public:
    explicit SimImageProcessingControl(std::shared_ptr<SimImageAdjust> adjust, QObject* parent = nullptr);

    bool isParameterSupported(ProcessingParameter parameter) const override;
    bool isParameterValueSupported(ProcessingParameter parameter, const QVariant& value) const override;
    QVariant parameter(ProcessingParameter parameter) const override;
    void setParameter(ProcessingParameter parameter, const QVariant& value) override;

private:
    std::shared_ptr<SimImageAdjust> m_Adjust;
};
