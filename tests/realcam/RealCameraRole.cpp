#include "RealCameraRole.h"

#include "ChildRoles.h"
#include "HoleDetectWnd.h"
#include "Lentavio.h"
#include "VideoView.h"
#include "WindowSession.h"

#include <QCameraInfo>
#include <QFile>
#include <QMenu>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStatusBar>
#include <QTest>

#include <algorithm>

namespace
{
const QString kTimingPrefix = "Scale time:";
// The back-end's first start loads GStreamer's registry: slow under a sanitizer.
constexpr int kFirstStatusMs = 30000;
constexpr int kSwitchMs = 15000;
constexpr int kMessageMs = 10000;
// Long enough for a few dozen frames at any rate offered.
constexpr int kRateWindowMs = 2500;
// Past the program's camera polling and Qt's half-second list cache.
constexpr int kGoneMs = 1500;
constexpr int kResumeMs = 8000;
constexpr int kFloodEvents = 100;
constexpr int kFloodStepMs = 30;
// Unlike the plate, the disc and the crosshair.
const QColor kMarker(255, 0, 255);

// The box of the marker's pixels in the picture, in fractions.
QRectF MarkerBox(const QImage& picture)
{
    int left = picture.width(), top = picture.height(), right = -1, bottom = -1;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QColor pixel = picture.pixelColor(x, y);
            if (pixel.red() > 200 && pixel.green() < 80 && pixel.blue() > 200) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    if (right < 0)
        return {};
    return QRectF(double(left) / picture.width(), double(top) / picture.height(),
                  double(right - left + 1) / picture.width(), double(bottom - top + 1) / picture.height());
}
} // namespace

RealCameraRole::RealCameraRole(const QString& scenario)
    : m_Scenario(scenario)
{
    QFile file(qEnvironmentVariable("LENTAVIO_STANDINS"));
    if (file.open(QIODevice::ReadOnly))
        m_Standins = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

bool RealCameraRole::WriteStandins(const QString& path, const QStringList& lines)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write((lines.join('\n') + '\n').toUtf8()) > 0 && file.commit();
}

int RealCameraRole::Run()
{
    m_Clock.start();
    WindowSession session;
    connect(session.Window().findChild<QStatusBar*>("m_StatusBar"), &QStatusBar::messageChanged, this,
            &RealCameraRole::SlotStatusMessage);
    for (const QCameraInfo& camera : QCameraInfo::availableCameras())
        ChildRoles::Print("camera\t" + camera.deviceName() + '\t' + camera.description());
    for (const QAction* action : session.Window().findChild<QMenu*>("m_MenuCamera")->actions())
        ChildRoles::Print("menu\t" + action->text());

    if (m_Scenario == "fault") {
        WaitForMessage(kFirstStatusMs);
        // A frame that was on its way may not hide the message.
        QTest::qWait(300);
    } else if (WaitForTiming(kFirstStatusMs)) {
        if (m_Scenario == "picture")
            PrintPicture(session);
        else if (m_Scenario == "switch")
            Switch(session);
        else if (m_Scenario == "replug")
            Replug();
        else if (m_Scenario == "flood")
            Flood();
    }
    ChildRoles::Print("status\t" + session.StatusMessage());
    // Closed like a user would, with frames in flight.
    ChildRoles::Print("closing");
    session.Window().close();
    return 0;
}

void RealCameraRole::SlotStatusMessage(const QString& message)
{
    if (!message.startsWith(kTimingPrefix)) {
        if (!message.isEmpty()) {
            ++m_Messages;
            ChildRoles::Print("message\t" + message);
        }
        return;
    }
    // "Scale time: t (fps), c, p"
    const QRegularExpressionMatch rate = QRegularExpression(R"(\(([0-9.]+)\))").match(message);
    if (rate.hasMatch())
        m_Rates << rate.captured(1).toDouble();
}

bool RealCameraRole::WaitForTiming(int timeoutMs)
{
    const int seen = m_Rates.size();
    return QTest::qWaitFor([this, seen] { return m_Rates.size() > seen; }, timeoutMs);
}

bool RealCameraRole::WaitForMessage(int timeoutMs)
{
    const int seen = m_Messages;
    return QTest::qWaitFor([this, seen] { return m_Messages > seen; }, timeoutMs);
}

void RealCameraRole::PrintPicture(WindowSession& session)
{
    HoleDetectWnd* hole = session.Window().findChild<HoleDetectWnd*>();
    hole->m_MarkerColor = kMarker;
    hole->m_MarkerAlphaSlider->setValue(hole->m_MarkerAlphaSlider->maximum());
    hole->m_EnableCB->setChecked(true);

    m_Rates.clear();
    QTest::qWait(kRateWindowMs);
    QList<double> rates = m_Rates;
    std::sort(rates.begin(), rates.end());
    ChildRoles::Print(QString("fps\t%1").arg(rates.isEmpty() ? 0.0 : rates.at(rates.size() / 2)));

    const QImage picture = session.Window().findChild<VideoView*>("m_VideoView")->pixmap(Qt::ReturnByValue).toImage();
    const QColor plate = picture.pixelColor(picture.width() / 20, picture.height() / 20);
    ChildRoles::Print(QString("plate\t%1\t%2\t%3").arg(plate.red()).arg(plate.green()).arg(plate.blue()));
    const QRectF box = MarkerBox(picture);
    ChildRoles::Print(QString("hole\t%1\t%2\t%3").arg(box.center().x()).arg(box.center().y()).arg(box.height() / 2));
}

void RealCameraRole::Switch(WindowSession& session)
{
    const QList<QAction*> entries = session.Window().findChild<QMenu*>("m_MenuCamera")->actions();
    if (entries.size() < 2)
        return;
    QElapsedTimer clock;
    clock.start();
    m_Rates.clear();
    session.ClearStatusMessage();
    entries.at(1)->trigger();
    // The first frame after the switch could still be the old camera's:
    // the second one is the new camera's.
    const bool switched = QTest::qWaitFor([this] { return m_Rates.size() >= 2; }, kSwitchMs);
    ChildRoles::Print(QString("switched\t%1").arg(switched ? clock.elapsed() : -1));
}

void RealCameraRole::SetFirstPlugged(bool plugged)
{
    QStringList lines = m_Standins;
    if (!plugged && !lines.isEmpty())
        lines[0] += ";gone=on";
    WriteStandins(qEnvironmentVariable("LENTAVIO_STANDINS"), lines);
}

void RealCameraRole::Replug()
{
    SetFirstPlugged(false);
    WaitForMessage(kGoneMs * 4);
    QTest::qWait(kGoneMs);
    QElapsedTimer clock;
    clock.start();
    m_Rates.clear();
    SetFirstPlugged(true);
    const bool resumed = WaitForTiming(kResumeMs);
    ChildRoles::Print(QString("resumed\t%1").arg(resumed ? clock.elapsed() : -1));
}

void RealCameraRole::Flood()
{
    for (int i = 0; i < kFloodEvents; ++i) {
        SetFirstPlugged(i % 2 == 1);
        QTest::qWait(kFloodStepMs);
    }
    SetFirstPlugged(true);
    QElapsedTimer clock;
    clock.start();
    m_Rates.clear();
    const bool resumed = WaitForTiming(kResumeMs);
    ChildRoles::Print(QString("resumed\t%1").arg(resumed ? clock.elapsed() : -1));
}
