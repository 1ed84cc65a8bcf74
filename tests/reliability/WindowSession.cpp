#include "WindowSession.h"

#include "CameraSelectWnd.h"
#include "CameraSettings.h"
#include "EdgeDetectWnd.h"
#include "HoleDetectWnd.h"
#include "Lentavio.h"
#include "StoreKeys.h"
#include "StoreLock.h"
#include "StoreScrub.h"
#include "VideoView.h"

#include <QMenu>
#include <QStatusBar>
#include <QTest>

namespace
{
QString Line(const QString& name, const QVariant& value)
{
    return name + '\t' + StoreKeys::Text(StoreKeys::Find(name)->Type, value);
}

QString SliderLine(const QString& name, const QSlider* slider)
{
    return Line(name, slider->value()) + QString("\t%1\t%2").arg(slider->minimum()).arg(slider->maximum());
}
} // namespace

WindowSession::WindowSession()
{
    StoreLock::RemoveUnowned();
    StoreScrub::RemoveUnsafeValues();
    m_Settings = std::make_unique<CameraSettings>();
    m_Window = std::make_unique<Lentavio>();
    m_Window->show();
}

// The window goes before the settings object it reads, as in main().
WindowSession::~WindowSession()
{
    m_Window.reset();
    m_Settings.reset();
}

Lentavio& WindowSession::Window()
{
    return *m_Window;
}

bool WindowSession::WaitForFrame(int timeoutMs)
{
    const VideoView* view = m_Window->findChild<VideoView*>("m_VideoView");
    return QTest::qWaitFor([view] { return !view->pixmap(Qt::ReturnByValue).isNull(); }, timeoutMs);
}

QString WindowSession::StatusMessage() const
{
    return m_Window->findChild<QStatusBar*>("m_StatusBar")->currentMessage();
}

void WindowSession::ClearStatusMessage()
{
    m_Window->findChild<QStatusBar*>("m_StatusBar")->clearMessage();
}

QStringList WindowSession::ValuesInUse() const
{
    const HoleDetectWnd* hole = m_Window->findChild<HoleDetectWnd*>();
    return {
        Line("Camera/device", m_Settings->GetSelectedCamera().deviceName()),
        Line("Camera/invertH", m_Settings->IsInvertH()),
        Line("Camera/invertV", m_Settings->IsInvertV()),
        Line("Filters/EdgeDetect/enabled", m_Settings->IsEdgeDetectEnabled()),
        Line("Filters/EdgeDetect/min_threshold", m_Settings->GetEdgeDetectMinThreshold()),
        Line("Filters/EdgeDetect/max_threshold", m_Settings->GetEdgeDetectMaxThreshold()),
        Line("Filters/EdgeDetect/color", m_Settings->GetEdgeDetectColor()),
        Line("HoleDetect/Enabled", hole->IsEnabled()),
        Line("HoleDetect/FreezeCenterColor", hole->IsCenterColorFrozen()),
        SliderLine("HoleDetect/Threshold", hole->m_ThresholdSlider),
        SliderLine("HoleDetect/Roundness", hole->m_RoundnessSlider),
        Line("HoleDetect/MarkerColor", hole->m_MarkerColor),
        SliderLine("HoleDetect/MarkerWidth", hole->m_MarkerWidthSlider),
    };
}

QStringList WindowSession::ChangeSettings(int step)
{
    CameraSelectWnd* camera = m_Window->findChild<CameraSelectWnd*>();
    HoleDetectWnd* hole = m_Window->findChild<HoleDetectWnd*>();
    EdgeDetectWnd* edge = m_Window->findChild<EdgeDetectWnd*>();

    camera->m_FlipHorizontally->toggle();
    hole->m_ThresholdSlider->setValue((hole->m_ThresholdSlider->value() + 37 + step) % 1001);
    hole->m_MarkerAlphaSlider->setValue((hole->m_MarkerAlphaSlider->value() + 23) % 256);
    // The upper threshold follows the lower one up, so both are written.
    edge->m_SliderEdgeDetectMinThres->setValue((edge->m_SliderEdgeDetectMinThres->value() + 17) % 256);

    return {
        Line("Camera/invertH", m_Settings->IsInvertH()),
        Line("HoleDetect/Threshold", hole->m_ThresholdSlider->value()),
        Line("HoleDetect/MarkerColor", hole->m_MarkerColor),
        Line("Filters/EdgeDetect/min_threshold", m_Settings->GetEdgeDetectMinThreshold()),
    };
}
