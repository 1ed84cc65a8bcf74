#include "CameraFaultRole.h"

#include "CameraSettings.h"
#include "ChildRoles.h"
#include "Lentavio.h"
#include "WindowSession.h"

#include <QCameraInfo>
#include <QTest>

namespace
{
const QString kTimingPrefix = "Scale time:";
constexpr int kHeartbeatMs = 10;
constexpr int kFaultTimeoutMs = 15000;
constexpr int kResumeTimeoutMs = 15000;
// A frame already on its way when the camera failed would arrive within
// this; the fault's message must still stand after it.
constexpr int kLateFrameMs = 300;
// Between two switches: long enough for the event loop to turn, short
// enough that a camera is replaced while it is still starting.
constexpr int kSwitchTurnMs = 5;
// No camera: long enough for a first frame from any camera; none may come.
constexpr int kNoFrameMs = 1500;
} // namespace

CameraFaultRole::CameraFaultRole(bool fault, int switches, int goodCamera)
    : m_Fault(fault)
    , m_Switches(switches)
    , m_GoodCamera(goodCamera)
{
    m_Heartbeat.setInterval(kHeartbeatMs);
    connect(&m_Heartbeat, &QTimer::timeout, this, &CameraFaultRole::Beat);
}

int CameraFaultRole::Run()
{
    WindowSession session;
    m_SinceBeat.start();
    m_Heartbeat.start();

    if (m_Fault) {
        const auto faultShown = [&session] {
            const QString message = session.StatusMessage();
            return !message.isEmpty() && !message.startsWith(kTimingPrefix);
        };
        if (QTest::qWaitFor(faultShown, kFaultTimeoutMs))
            QTest::qWait(kLateFrameMs);
        ChildRoles::Print("fault\t" + session.StatusMessage());
    }

    const QList<QCameraInfo> cameras = QCameraInfo::availableCameras();
    for (int i = 0; i < m_Switches && !cameras.isEmpty(); ++i) {
        CameraSettings::Instance()->SetSelectedCamera(cameras.at(i % cameras.size()));
        QTest::qWait(kSwitchTurnMs);
    }

    if ((m_GoodCamera >= 0 && m_GoodCamera < cameras.size()) || m_GoodCamera == ComesBack) {
        // Cleared, so that only a frame from the good camera brings the line back.
        session.ClearStatusMessage();
        QElapsedTimer resume;
        resume.start();
        if (m_GoodCamera != ComesBack)
            CameraSettings::Instance()->SetSelectedCamera(cameras.at(m_GoodCamera));
        const bool resumed = QTest::qWaitFor(
            [&session] { return session.StatusMessage().startsWith(kTimingPrefix); }, kResumeTimeoutMs);
        ChildRoles::Print(QString("resumed\t%1").arg(resumed ? resume.elapsed() : -1));
    } else if (m_GoodCamera == -1) {
        ChildRoles::Print(QString("frame\t%1").arg(session.WaitForFrame(kNoFrameMs) ? "yes" : "no"));
    }

    m_Heartbeat.stop();
    ChildRoles::Print(QString("response\t%1").arg(m_LongestGapMs));
    session.Window().close();
    return 0;
}

void CameraFaultRole::Beat()
{
    m_LongestGapMs = qMax(m_LongestGapMs, m_SinceBeat.restart());
}
