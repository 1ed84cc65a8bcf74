#include "SimCameraSession.h"

#include "SimFramePool.h"
#include "SimFrameProducer.h"
#include "SimFrameRenderer.h"
#include "SimFrameSink.h"
#include "SimHoleScene.h"
#include "SimImageAdjust.h"
#include "SimImageScene.h"
#include "SimPresence.h"

#include <QAbstractVideoSurface>

namespace {

// How long stopping waits for a present() under way in the program.
constexpr int StopWaitMs = 500;
constexpr qreal RateTolerance = 0.01;

int BytesPerPixel(QVideoFrame::PixelFormat format)
{
    return format == QVideoFrame::Format_RGB32 ? 4 : 3;
}

}  // namespace

SimCameraSession::SimCameraSession(const QVector<SimCameraSetup>& cameras, QObject* parent)
    : QObject(parent)
    , m_Cameras(cameras)
    , m_Adjust(std::make_shared<SimImageAdjust>())
{
    // Connected once here rather than posted as lambdas from the producer
    // thread: a lambda built there reaches this thread through Qt's event
    // queue, an ordering ThreadSanitizer cannot see in Debian's Qt.
    connect(this, &SimCameraSession::SignalProducerStarted, this, &SimCameraSession::SlotStarted,
            Qt::QueuedConnection);
    connect(this, &SimCameraSession::SignalProducerLost, this, &SimCameraSession::SlotLost, Qt::QueuedConnection);
    connect(this, &SimCameraSession::SignalFrameWaiting, this, &SimCameraSession::SlotFrameWaiting,
            Qt::QueuedConnection);
    SelectCamera(0);
}

SimCameraSession::~SimCameraSession()
{
    StopDelivery();
}

const QVector<SimCameraSetup>& SimCameraSession::Cameras() const
{
    return m_Cameras;
}

int SimCameraSession::SelectedCamera() const
{
    return m_Selected;
}

void SimCameraSession::SelectCamera(int index)
{
    if (index < 0 || index >= m_Cameras.size() || m_State == QCamera::ActiveState)
        return;
    m_Selected = index;
    m_Rate = Setup().Rates.isEmpty() ? 30 : Setup().Rates.first().Max;
    m_PreferredFormat = QVideoFrame::Format_Invalid;
    m_Renderer.reset();
    m_Pool.reset();
    m_NextFrameNumber->store(0);
}

const SimCameraSetup& SimCameraSession::Setup() const
{
    return m_Cameras.at(m_Selected);
}

QCamera::State SimCameraSession::State() const
{
    return m_State;
}

QCamera::Status SimCameraSession::Status() const
{
    return m_Status;
}

void SimCameraSession::SetState(QCamera::State state)
{
    if (state == m_State)
        return;
    if (m_Cameras.isEmpty()) {
        emit SignalError(QCamera::ServiceMissingError, QStringLiteral("no synthetic camera is configured"));
        return;
    }
    if (state == QCamera::ActiveState) {
        Start();
        return;
    }
    StopDelivery();
    SetStateAndStatus(state, state == QCamera::LoadedState ? QCamera::LoadedStatus : QCamera::UnloadedStatus);
}

void SimCameraSession::Start()
{
    if (Setup().StartFails) {
        emit SignalError(QCamera::CameraError, QStringLiteral("the synthetic camera was told not to start"));
        return;
    }
    if (!SimPresence::IsPresent(Setup().DeviceName)) {
        emit SignalError(QCamera::CameraError, QStringLiteral("the synthetic camera is not plugged in"));
        return;
    }
    // The wording GStreamer's camera source uses for a device held elsewhere.
    if (Setup().Busy) {
        emit SignalError(QCamera::CameraError,
                         QStringLiteral("Device '%1' is busy").arg(QString::fromUtf8(Setup().DeviceName)));
        return;
    }
    // Through loading, later, as a real camera goes: only a loaded camera
    // knows its modes, and a program may choose one there before frames flow.
    if (m_Status == QCamera::UnloadedStatus) {
        SetStateAndStatus(QCamera::ActiveState, QCamera::LoadingStatus);
        const int generation = ++m_Generation;
        QMetaObject::invokeMethod(this, [this, generation] { SlotLoaded(generation); }, Qt::QueuedConnection);
        return;
    }
    Run();
}

void SimCameraSession::SlotLoaded(int generation)
{
    if (generation != m_Generation || m_State != QCamera::ActiveState)
        return;
    SetStateAndStatus(QCamera::ActiveState, QCamera::LoadedStatus);
    // Unless stopped or started from the status change.
    if (generation == m_Generation && m_State == QCamera::ActiveState && !m_Producer)
        Run();
}

void SimCameraSession::Run()
{
    SetStateAndStatus(QCamera::ActiveState, QCamera::StartingStatus);
    QString error;
    if (!m_Surface)
        SetStateAndStatus(QCamera::ActiveState, QCamera::ActiveStatus);
    else if (!StartDelivery(&error))
        Fail(error, QCamera::LoadedState);
}

QAbstractVideoSurface* SimCameraSession::Surface() const
{
    return m_Surface;
}

void SimCameraSession::SetSurface(QAbstractVideoSurface* surface)
{
    if (surface == m_Surface)
        return;
    StopDelivery();
    if (m_Surface)
        disconnect(m_Surface, &QObject::destroyed, this, nullptr);
    m_Surface = surface;
    if (m_Surface)
        connect(m_Surface, &QObject::destroyed, this, &SimCameraSession::SlotSurfaceDestroyed);
    // Still loading: the run starts once loaded.
    if (m_State != QCamera::ActiveState || m_Status == QCamera::LoadingStatus)
        return;
    QString error;
    if (!m_Surface)
        SetStateAndStatus(QCamera::ActiveState, QCamera::ActiveStatus);
    else if (!StartDelivery(&error))
        Fail(error, QCamera::LoadedState);
}

void SimCameraSession::SlotSurfaceDestroyed()
{
    // Too late to stop() a surface that is going away; just let go of it.
    m_SurfaceStarted = false;
    StopDelivery();
    m_Surface = nullptr;
}

const std::shared_ptr<SimImageAdjust>& SimCameraSession::Adjust() const
{
    return m_Adjust;
}

QList<QCameraViewfinderSettings> SimCameraSession::SupportedSettings() const
{
    QList<QCameraViewfinderSettings> supported;
    // Like a real camera, its modes are known only once it is loaded.
    const bool loaded = m_Status == QCamera::LoadedStatus || m_Status == QCamera::StartingStatus
                        || m_Status == QCamera::ActiveStatus;
    if (m_Cameras.isEmpty() || !loaded)
        return supported;
    for (const QVideoFrame::PixelFormat format : Setup().Formats) {
        for (const SimCameraSetup::RateRange& range : Setup().Rates) {
            QCameraViewfinderSettings settings;
            settings.setResolution(Setup().Size);
            settings.setMinimumFrameRate(range.Min);
            settings.setMaximumFrameRate(range.Max);
            settings.setPixelFormat(format);
            settings.setPixelAspectRatio(1, 1);
            supported.append(settings);
        }
    }
    return supported;
}

QCameraViewfinderSettings SimCameraSession::Settings() const
{
    QCameraViewfinderSettings settings;
    if (m_Cameras.isEmpty())
        return settings;
    settings.setResolution(Setup().Size);
    settings.setMinimumFrameRate(m_Rate);
    settings.setMaximumFrameRate(m_Rate);
    settings.setPixelFormat(m_Format != QVideoFrame::Format_Invalid ? m_Format : m_PreferredFormat);
    settings.setPixelAspectRatio(1, 1);
    return settings;
}

void SimCameraSession::SetSettings(const QCameraViewfinderSettings& settings)
{
    if (m_Cameras.isEmpty())
        return;
    const qreal rate = settings.maximumFrameRate() > 0 ? settings.maximumFrameRate() : settings.minimumFrameRate();
    bool rateSupported = rate <= 0;
    for (const SimCameraSetup::RateRange& range : Setup().Rates)
        rateSupported = rateSupported || (rate >= range.Min - RateTolerance && rate <= range.Max + RateTolerance);
    const bool sizeSupported = settings.resolution().isEmpty() || settings.resolution() == Setup().Size;
    const bool formatSupported = settings.pixelFormat() == QVideoFrame::Format_Invalid
                                 || Setup().Formats.contains(settings.pixelFormat());
    if (!rateSupported || !sizeSupported || !formatSupported) {
        emit SignalError(QCamera::CameraError,
                         QStringLiteral("the synthetic camera cannot give %1x%2 at %3 fps")
                             .arg(settings.resolution().width())
                             .arg(settings.resolution().height())
                             .arg(rate));
        return;
    }
    if (rate > 0)
        m_Rate = rate;
    m_PreferredFormat = settings.pixelFormat();
    // Chosen while loading: the run about to start takes it.
    if (m_State != QCamera::ActiveState || !m_Surface || !m_Producer)
        return;
    StopDelivery();
    SetStateAndStatus(QCamera::ActiveState, QCamera::StartingStatus);
    QString error;
    if (!StartDelivery(&error))
        Fail(error, QCamera::LoadedState);
}

QVideoFrame::PixelFormat SimCameraSession::ChooseFormat() const
{
    const QList<QVideoFrame::PixelFormat> offered = m_Surface->supportedPixelFormats(QAbstractVideoBuffer::NoHandle);
    QVector<QVideoFrame::PixelFormat> candidates = Setup().Formats;
    if (m_PreferredFormat != QVideoFrame::Format_Invalid)
        candidates.prepend(m_PreferredFormat);
    for (const QVideoFrame::PixelFormat format : candidates) {
        // start() does not check the format; a surface says what it takes here.
        if (offered.contains(format) && m_Surface->isFormatSupported(QVideoSurfaceFormat(Setup().Size, format)))
            return format;
    }
    return QVideoFrame::Format_Invalid;
}

bool SimCameraSession::PrepareRenderer(QVideoFrame::PixelFormat format, QString* error)
{
    if (m_Renderer && format == m_RendererFormat)
        return true;
    m_Renderer.reset();
    m_Pool.reset();
    std::unique_ptr<SimScene> scene;
    if (Setup().ImagePath.isEmpty())
        scene = std::make_unique<SimHoleScene>(Setup().Drift);
    else
        scene = std::make_unique<SimImageScene>(Setup().ImagePath);
    auto renderer = std::make_shared<SimFrameRenderer>(std::move(scene), Setup().Noise);
    if (!renderer->Prepare(Setup().Size, BytesPerPixel(format), error))
        return false;
    renderer->SetAdjust(m_Adjust);
    m_Renderer = renderer;
    m_RendererFormat = format;
    const int bytesPerLine = Setup().Size.width() * BytesPerPixel(format) + Setup().Padding;
    // Delivered queued, a frame is rendered while the one before waits for
    // the receiver and the one before that is still being read.
    m_Pool = std::make_shared<SimFramePool>(bytesPerLine * Setup().Size.height(), 3);
    return true;
}

bool SimCameraSession::StartDelivery(QString* error)
{
    const QVideoFrame::PixelFormat format = ChooseFormat();
    if (format == QVideoFrame::Format_Invalid) {
        *error = QStringLiteral("the viewfinder takes none of the synthetic camera's pixel formats");
        return false;
    }
    if (!PrepareRenderer(format, error))
        return false;
    m_Format = format;
    QVideoSurfaceFormat surfaceFormat(Setup().Size, format);
    surfaceFormat.setFrameRate(m_Rate);
    if (!m_Surface->start(surfaceFormat)) {
        *error = QStringLiteral("the viewfinder refused to start");
        return false;
    }
    m_SurfaceStarted = true;
    const int generation = ++m_Generation;
    m_Sink = std::make_shared<SimFrameSink>(m_Surface, Setup().Delivery,
                                            [this, generation] { emit SignalFrameWaiting(generation); });

    SimFrameProducer::Setup setup;
    setup.Setup = Setup();
    // The run ends in an unplug only while the camera has never been
    // unplugged; once back it stays.
    const int unplugAfter = SimPresence::WasUnplugged(Setup().DeviceName) ? 0 : Setup().UnplugAfter;
    m_RunUnplugs = unplugAfter > 0 && (Setup().LostAfter == 0 || unplugAfter < Setup().LostAfter);
    if (m_RunUnplugs)
        setup.Setup.LostAfter = unplugAfter;
    setup.Format = surfaceFormat;
    setup.BytesPerLine = Setup().Size.width() * BytesPerPixel(format) + Setup().Padding;
    setup.Rate = m_Rate;
    setup.Renderer = m_Renderer;
    setup.Pool = m_Pool;
    setup.Sink = m_Sink;
    setup.NextFrameNumber = m_NextFrameNumber;
    setup.Started = [this, generation] { emit SignalProducerStarted(generation); };
    setup.Lost = [this, generation] { emit SignalProducerLost(generation); };
    m_Producer = std::make_unique<SimFrameProducer>(setup);
    return true;
}

void SimCameraSession::StopDelivery()
{
    ++m_Generation;
    // Close first: from here on no present() starts, whatever the producer does.
    if (m_Sink)
        m_Sink->Close(StopWaitMs);
    if (m_Producer)
        m_Producer->Stop(StopWaitMs);
    m_Producer.reset();
    m_Sink.reset();
    if (m_SurfaceStarted && m_Surface)
        m_Surface->stop();
    m_SurfaceStarted = false;
    m_Format = QVideoFrame::Format_Invalid;
}

void SimCameraSession::Fail(const QString& message, QCamera::State state)
{
    StopDelivery();
    SetStateAndStatus(state, state == QCamera::LoadedState ? QCamera::LoadedStatus : QCamera::UnloadedStatus);
    emit SignalError(QCamera::CameraError, message);
}

void SimCameraSession::SetStateAndStatus(QCamera::State state, QCamera::Status status)
{
    const bool stateChanged = state != m_State;
    const bool statusChanged = status != m_Status;
    m_State = state;
    m_Status = status;
    if (stateChanged)
        emit SignalStateChanged(state);
    if (statusChanged)
        emit SignalStatusChanged(status);
}

void SimCameraSession::SlotStarted(int generation)
{
    if (generation == m_Generation)
        SetStateAndStatus(QCamera::ActiveState, QCamera::ActiveStatus);
}

void SimCameraSession::SlotFrameWaiting(int generation)
{
    if (generation != m_Generation || !m_Sink)
        return;
    // Held: a surface that stops the camera from present() ends the run.
    const std::shared_ptr<SimFrameSink> sink = m_Sink;
    sink->PresentWaiting();
}

void SimCameraSession::SlotLost(int generation)
{
    if (generation != m_Generation)
        return;
    const bool unplugged = (m_RunUnplugs && SimPresence::Unplug(Setup().DeviceName, Setup().ReplugAfterMs))
                           || !SimPresence::IsPresent(Setup().DeviceName);
    Fail(unplugged ? QStringLiteral("the synthetic camera was unplugged") : QStringLiteral("the synthetic camera was lost"),
         QCamera::UnloadedState);
}
