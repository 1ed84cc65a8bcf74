#include "CameraProblem.h"
#include "CameraSettings.h"
#include "CaptureThread.h"
#include "SimFrameStamp.h"

#include <QPointer>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSettings>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

namespace {

const cv::Vec4b Red(0, 0, 255, 0);

// Left half one colour, right half another; the fourth byte varies from
// pixel to pixel so that a pixel that loses it is caught.
cv::Mat MakeSplitFrame(const QColor& left, const QColor& right, int width = 64, int height = 40)
{
    cv::Mat frame(height, width, CV_8UC4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const QColor& c = x < width / 2 ? left : right;
            frame.at<cv::Vec4b>(y, x) = cv::Vec4b(uchar(c.blue()), uchar(c.green()), uchar(c.red()), uchar(x * 5 + y));
        }
    }
    return frame;
}

void Process(CaptureThread& worker, const cv::Mat& frame, qint64 captureTime)
{
    QVERIFY(QMetaObject::invokeMethod(&worker, "SlotFrameCaptured", Qt::DirectConnection, Q_ARG(cv::Mat, frame),
                                      Q_ARG(qint64, captureTime)));
}

cv::Mat EmittedFrame(const QSignalSpy& spy, int index)
{
    return spy.at(index).at(0).value<cv::Mat>();
}

qint64 EmittedCaptureTime(const QSignalSpy& spy, int index)
{
    return spy.at(index).at(1).toLongLong();
}

// The synthetic cameras the tests open, by device name.
const char* const SimCameras = "cameras=10; size=320x240; noise=0; drift=0;"
                               "1.rates=5-30,1-15;"
                               "2.rates=1-15,5-30;"
                               "3.rates=1-3.75;"
                               "4.startfail;"
                               "5.lostafter=8;"
                               "6.rates=60; 6.delivery=direct;"
                               "7.formats=bgr24; 7.padding=3;"
                               "8.rates=30,15;"
                               "9.busy;"
                               "10.unplugafter=5";

bool IsSettled(QCamera::Status status)
{
    return status != QCamera::LoadingStatus && status != QCamera::StartingStatus && status != QCamera::StoppingStatus
           && status != QCamera::UnloadingStatus;
}

QCameraInfo SimCamera(int number)
{
    return QCameraInfo("simcam" + QByteArray::number(number));
}

// The worker on its own thread, owned and ended the way the main window
// does it, with a receiver that records the frame number of every frame the
// worker hands on and, unless stalled, reports it presented. It also keeps
// the camera errors, and what came in which order.
class Pipeline : public QObject
{
public:
    Pipeline()
    {
        connect(&m_Worker, &CaptureThread::SignalFrameReady, this, [this](cv::Mat frame, qint64, qint64) {
            m_Frames.append(frame);
            const auto stamp = SimFrameStamp::Read(frame.data, frame.cols, frame.rows, int(frame.step), 4);
            m_Stamps.append(stamp ? qint64(*stamp) : -1);
            m_Arrivals.append("frame");
            if (!m_Stalled)
                m_Worker.FramePresented();
        });
        connect(&m_Worker, &CaptureThread::SignalCameraError, this, [this](const QString& message) {
            m_Errors.append(message);
            m_Arrivals.append("error");
        });
        m_Worker.BindToThread(&m_Thread);
        m_Thread.start();
    }

    ~Pipeline() override
    {
        m_Thread.quit();
        m_Thread.wait();
    }

    CaptureThread m_Worker;
    QThread m_Thread;
    QVector<cv::Mat> m_Frames;
    QVector<qint64> m_Stamps;
    QStringList m_Errors;
    QStringList m_Arrivals;
    bool m_Stalled = false;
};

} // namespace

class tst_CaptureThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void processing_data();
    void processing();
    void followsOverlaySwitch();
    void oneFrameOutstandingTowardsWindow();
    void chooseFrameRate_data();
    void chooseFrameRate();
    void cameraAskedForFastestRate_data();
    void cameraAskedForFastestRate();
    void describesCameraProblems_data();
    void describesCameraProblems();
    void framesReachReceiver_data();
    void framesReachReceiver();
    void stalledWorkerGetsNewestFrame();
    void stalledReceiverGetsNewestFrame_data();
    void stalledReceiverGetsNewestFrame();
    void slowReceiverCostsNoWork_data();
    void slowReceiverCostsNoWork();
    void cameraFailureReportedOnce_data();
    void cameraFailureReportedOnce();
    void noFrameOfALostCameraAfterItsError();
    void restartReplacesCamera();
    void failedStartTriedAFewTimes();
    void shutdownWithFramesInFlight_data();
    void shutdownWithFramesInFlight();

private:
    QScopedPointer<CameraSettings> m_Settings;
};

void tst_CaptureThread::initTestCase()
{
    // Read when the camera plugin first loads, which constructing the
    // settings already does.
    qputenv("LENTAVIO_SIMCAM", SimCameras);
    RegisterFrameType();
    QSettings().clear();
    m_Settings.reset(new CameraSettings);
}

void tst_CaptureThread::init()
{
    m_Settings->SetEdgeDetectEnabled(true);
    m_Settings->SetEdgeDetectColor(Qt::red);
    m_Settings->SetEdgeDetectMinThreshold(80);
    m_Settings->SetEdgeDetectMaxThreshold(80);
}

void tst_CaptureThread::processing_data()
{
    QTest::addColumn<QColor>("left");
    QTest::addColumn<QColor>("right");
    QTest::addColumn<bool>("overlay");
    QTest::addColumn<bool>("expectEdges");

    QTest::newRow("overlay off keeps pixels") << QColor(Qt::black) << QColor(Qt::white) << false << false;
    QTest::newRow("uniform frame has no edges") << QColor(90, 120, 200) << QColor(90, 120, 200) << true << false;
    QTest::newRow("black to white edge painted red") << QColor(Qt::black) << QColor(Qt::white) << true << true;
    // Grey weights red as blue and blue as red: blue against green is a small
    // step, red against green a large one.
    QTest::newRow("blue to green below threshold") << QColor(Qt::blue) << QColor(Qt::green) << true << false;
    QTest::newRow("red to green above threshold") << QColor(Qt::red) << QColor(Qt::green) << true << true;
}

void tst_CaptureThread::processing()
{
    QFETCH(QColor, left);
    QFETCH(QColor, right);
    QFETCH(bool, overlay);
    QFETCH(bool, expectEdges);

    m_Settings->SetEdgeDetectEnabled(overlay);
    const cv::Mat input = MakeSplitFrame(left, right);
    const cv::Mat original = input.clone();

    CaptureThread worker;
    QSignalSpy spy(&worker, &CaptureThread::SignalFrameReady);
    Process(worker, input, 4711);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(EmittedCaptureTime(spy, 0), qint64(4711));
    QVERIFY(spy.first().at(2).toLongLong() >= 0);

    const cv::Mat output = EmittedFrame(spy, 0);
    QCOMPARE(output.type(), CV_8UC4);
    QCOMPARE(output.rows, input.rows);
    QCOMPARE(output.cols, input.cols);
    QVERIFY(output.isContinuous());
    QVERIFY(cv::countNonZero(input.reshape(1) != original.reshape(1)) == 0);

    int edgePixels = 0;
    for (int y = 0; y < output.rows; ++y) {
        for (int x = 0; x < output.cols; ++x) {
            const cv::Vec4b& pixel = output.at<cv::Vec4b>(y, x);
            if (pixel == original.at<cv::Vec4b>(y, x))
                continue;
            QCOMPARE(pixel, Red);
            QVERIFY2(qAbs(x - input.cols / 2) <= 8, qPrintable(QStringLiteral("edge at column %1").arg(x)));
            ++edgePixels;
        }
    }
    QCOMPARE(edgePixels > 0, expectEdges);
}

void tst_CaptureThread::followsOverlaySwitch()
{
    const cv::Mat input = MakeSplitFrame(Qt::black, Qt::white);
    CaptureThread worker;
    QSignalSpy spy(&worker, &CaptureThread::SignalFrameReady);

    Process(worker, input, 1);
    m_Settings->SetEdgeDetectEnabled(false);
    worker.FramePresented();
    Process(worker, input, 2);
    QTRY_COMPARE(spy.count(), 2);

    const auto differs = [&](int index) { return cv::countNonZero(EmittedFrame(spy, index).reshape(1) != input.reshape(1)) > 0; };
    QVERIFY(differs(0));
    QVERIFY(!differs(1));
}

// A window that has not presented its frame yet gets no other; meanwhile
// the processed frame waits, and it follows once presented.
void tst_CaptureThread::oneFrameOutstandingTowardsWindow()
{
    m_Settings->SetEdgeDetectEnabled(false);
    const cv::Mat input(4, 4, CV_8UC4, cv::Scalar(1, 2, 3, 4));
    CaptureThread worker;
    QSignalSpy spy(&worker, &CaptureThread::SignalFrameReady);

    Process(worker, input, 1);
    Process(worker, input, 2);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(EmittedCaptureTime(spy, 0), qint64(1));
    QCOMPARE(worker.GetProcessedFrames(), quint64(2));

    worker.FramePresented();
    QTRY_COMPARE(spy.count(), 2);
    QCOMPARE(EmittedCaptureTime(spy, 1), qint64(2));

    // Nothing waits any more: the presented frame frees the way at once.
    worker.FramePresented();
    QCoreApplication::sendPostedEvents(&worker, QEvent::MetaCall);
    QCOMPARE(spy.count(), 2);
    Process(worker, input, 3);
    QCOMPARE(spy.count(), 3);
    QCOMPARE(EmittedCaptureTime(spy, 2), qint64(3));
}

void tst_CaptureThread::chooseFrameRate_data()
{
    QTest::addColumn<QList<QPointF>>("ranges");
    QTest::addColumn<qreal>("expected");

    QTest::newRow("5-30 and 1-15") << QList<QPointF>{{5, 30}, {1, 15}} << qreal(30);
    QTest::newRow("fastest listed last") << QList<QPointF>{{1, 15}, {5, 30}, {2, 24}} << qreal(30);
    // Never a rate the camera does not offer: 5 would fail to negotiate.
    QTest::newRow("largest maximum 3.75: the fastest offered") << QList<QPointF>{{1, 3.75}, {1, 2}} << qreal(3.75);
    QTest::newRow("fixed rates only") << QList<QPointF>{{30, 30}, {15, 15}} << qreal(30);
    QTest::newRow("no ranges: the camera keeps its own") << QList<QPointF>{} << qreal(0);
    QTest::newRow("fractional above 5") << QList<QPointF>{{7.5, 7.5}} << qreal(7.5);
}

void tst_CaptureThread::chooseFrameRate()
{
    QFETCH(QList<QPointF>, ranges);
    QFETCH(qreal, expected);

    QList<QCamera::FrameRateRange> frameRateRanges;
    for (const QPointF& range : ranges)
        frameRateRanges.append(QCamera::FrameRateRange(range.x(), range.y()));
    QCOMPARE(CaptureThread::ChooseFrameRate(frameRateRanges), expected);
}

// The cameras list their rates only once loaded, as real ones do.
void tst_CaptureThread::cameraAskedForFastestRate_data()
{
    QTest::addColumn<int>("camera");
    QTest::addColumn<qreal>("rate");
    QTest::newRow("5-30 and 1-15") << 1 << qreal(30);
    QTest::newRow("fastest listed last") << 2 << qreal(30);
    QTest::newRow("all below 5") << 3 << qreal(3.75);
    QTest::newRow("fixed 30 and 15 only") << 8 << qreal(30);
}

void tst_CaptureThread::cameraAskedForFastestRate()
{
    QFETCH(int, camera);
    QFETCH(qreal, rate);

    Pipeline pipeline;
    QSignalSpy started(&pipeline.m_Worker, &CaptureThread::SignalCameraStarted);
    pipeline.m_Worker.StartCamera(SimCamera(camera));
    QTRY_VERIFY(pipeline.m_Stamps.size() >= 2);
    const QCameraViewfinderSettings settings = pipeline.m_Worker.GetCamera()->viewfinderSettings();
    QCOMPARE(settings.minimumFrameRate(), rate);
    QCOMPARE(settings.maximumFrameRate(), rate);
    QVERIFY(pipeline.m_Errors.isEmpty());
    QVERIFY(started.count() >= 1);
    QCOMPARE(started.first().first().value<QCameraInfo>().deviceName(), SimCamera(camera).deviceName());
}

void tst_CaptureThread::describesCameraProblems_data()
{
    using Kind = CameraProblem::Kind;
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("errorString");
    QTest::addColumn<bool>("named");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<bool>("hasRun");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("says");
    const int serviceMissing = QCamera::ServiceMissingError;
    const int cameraError = QCamera::CameraError;
    const QString missing = "The camera service is missing";
    QTest::newRow("no camera at all") << serviceMissing << missing << false << false << false << int(Kind::NoCamera)
                                      << "No camera found";
    QTest::newRow("listed, no service: the package to install")
        << serviceMissing << missing << true << true << false << int(Kind::BackendMissing)
        << "gstreamer1.0-plugins-bad";
    QTest::newRow("not listed any more") << cameraError << "Could not read" << true << false << true
                                         << int(Kind::NotConnected) << "is not connected";
    QTest::newRow("not listed, no service") << serviceMissing << missing << true << false << false
                                            << int(Kind::NotConnected) << "is not connected";
    QTest::newRow("busy") << cameraError << "Device '/dev/video0' is busy" << true << true << false
                          << int(Kind::Busy) << "in use by another program";
    QTest::newRow("failed to start, with the reason")
        << cameraError << "Internal data stream error." << true << true << false << int(Kind::FailedToStart)
        << "failed to start (Internal data stream error.)";
    QTest::newRow("stopped after running") << cameraError << "Internal data stream error." << true << true << true
                                           << int(Kind::Stopped) << "stopped (Internal data stream error.)";
}

void tst_CaptureThread::describesCameraProblems()
{
    QFETCH(int, error);
    QFETCH(QString, errorString);
    QFETCH(bool, named);
    QFETCH(bool, listed);
    QFETCH(bool, hasRun);
    QFETCH(int, kind);
    QFETCH(QString, says);

    const CameraProblem::Kind found =
        CameraProblem::Classify(QCamera::Error(error), errorString, named, listed, hasRun);
    QCOMPARE(int(found), kind);
    const QString message = CameraProblem::Message(found, "Bench cam", errorString);
    QVERIFY2(message.contains(says), qPrintable(message));
    QCOMPARE(message.contains("Bench cam"), found != CameraProblem::Kind::NoCamera);
    const bool fatal = found == CameraProblem::Kind::NoCamera || found == CameraProblem::Kind::BackendMissing
                       || found == CameraProblem::Kind::FailedToStart;
    QCOMPARE(CameraProblem::IsWorthRetrying(found), !fatal);
}

void tst_CaptureThread::framesReachReceiver_data()
{
    QTest::addColumn<int>("camera");
    QTest::newRow("rgb32 on the ui thread") << 1;
    QTest::newRow("rgb32 from a producer thread") << 6;
    QTest::newRow("bgr24 padded rows") << 7;
}

void tst_CaptureThread::framesReachReceiver()
{
    QFETCH(int, camera);
    m_Settings->SetEdgeDetectEnabled(false);

    Pipeline pipeline;
    pipeline.m_Worker.StartCamera(SimCamera(camera));
    QTRY_VERIFY(pipeline.m_Stamps.size() >= 5);

    // Setting the rate restarts the camera once; its frames stay numbered
    // in the order they were made.
    for (int i = 0; i < pipeline.m_Frames.size(); ++i) {
        const cv::Mat& frame = pipeline.m_Frames.at(i);
        QCOMPARE(frame.type(), CV_8UC4);
        QCOMPARE(frame.cols, 320);
        QCOMPARE(frame.rows, 240);
        QVERIFY(pipeline.m_Stamps.at(i) >= 0);
        if (i > 0)
            QVERIFY(pipeline.m_Stamps.at(i) > pipeline.m_Stamps.at(i - 1));
    }
    QVERIFY(pipeline.m_Errors.isEmpty());
}

// A worker busy for many camera frames continues with the newest one, not
// with a backlog.
void tst_CaptureThread::stalledWorkerGetsNewestFrame()
{
    m_Settings->SetEdgeDetectEnabled(false);
    Pipeline pipeline;
    pipeline.m_Worker.StartCamera(SimCamera(6));
    QTRY_VERIFY(!pipeline.m_Stamps.isEmpty());

    QSemaphore blocked;
    QSemaphore gate;
    QMetaObject::invokeMethod(
        &pipeline.m_Worker,
        [&] {
            blocked.release();
            gate.acquire();
        },
        Qt::QueuedConnection);
    // Let the worker go also when a check below fails, or the thread
    // never ends.
    auto releaseGate = qScopeGuard([&] { gate.release(); });
    QVERIFY(blocked.tryAcquire(1, 10000));
    const int receivedBefore = pipeline.m_Stamps.size();
    const qint64 lastBefore = pipeline.m_Stamps.last();
    const quint64 droppedBefore = pipeline.m_Worker.GetDroppedCapturedFrames();

    QTRY_VERIFY(pipeline.m_Worker.GetDroppedCapturedFrames() >= droppedBefore + 10);
    releaseGate.dismiss();
    gate.release();

    const auto fresh = [&] {
        for (int i = receivedBefore; i < pipeline.m_Stamps.size(); ++i) {
            if (pipeline.m_Stamps.at(i) >= lastBefore + 10)
                return i;
        }
        return -1;
    };
    QTRY_VERIFY(fresh() >= 0);
    // Only the frames already past the worker when it stalled come first:
    // the one being presented and the one waiting for it.
    QVERIFY(fresh() <= receivedBefore + 2);
}

void tst_CaptureThread::stalledReceiverGetsNewestFrame_data()
{
    QTest::addColumn<int>("camera");
    QTest::newRow("ui thread delivery") << 1;
    QTest::newRow("producer thread delivery") << 6;
}

// A receiver that has not presented its frame gets no other. The worker
// processes one more frame, which waits, and then nothing while the camera
// runs on; once the receiver presents, the waiting frame follows and then
// the newest one.
void tst_CaptureThread::stalledReceiverGetsNewestFrame()
{
    QFETCH(int, camera);
    // The overlay would paint over the frame numbers.
    m_Settings->SetEdgeDetectEnabled(false);
    Pipeline pipeline;
    pipeline.m_Stalled = true;
    pipeline.m_Worker.StartCamera(SimCamera(camera));
    QTRY_COMPARE(pipeline.m_Worker.GetProcessedFrames(), quint64(2));
    const quint64 droppedBefore = pipeline.m_Worker.GetDroppedCapturedFrames();
    QTRY_VERIFY(pipeline.m_Worker.GetDroppedCapturedFrames() >= droppedBefore + 10);
    QCOMPARE(pipeline.m_Worker.GetProcessedFrames(), quint64(2));
    QCOMPARE(pipeline.m_Stamps.size(), 1);

    pipeline.m_Stalled = false;
    pipeline.m_Worker.FramePresented();
    QTRY_VERIFY(pipeline.m_Stamps.size() >= 3);
    QVERIFY(pipeline.m_Stamps.at(1) > pipeline.m_Stamps.at(0));
    QVERIFY(pipeline.m_Stamps.at(2) >= pipeline.m_Stamps.at(1) + 10);
}

void tst_CaptureThread::slowReceiverCostsNoWork_data()
{
    QTest::addColumn<bool>("overlay");
    QTest::newRow("overlay off") << false;
    QTest::newRow("overlay on") << true;
}

// A receiver slower than the camera: every frame the worker processes is
// handed on, none is processed only to be replaced.
void tst_CaptureThread::slowReceiverCostsNoWork()
{
    QFETCH(bool, overlay);
    m_Settings->SetEdgeDetectEnabled(overlay);
    Pipeline pipeline;
    // Direct delivery: the camera's frames do not queue behind the
    // receiver on this thread.
    pipeline.m_Worker.StartCamera(SimCamera(6));
    QTRY_VERIFY(!pipeline.m_Stamps.isEmpty());
    pipeline.m_Stalled = true;
    for (int shown = 0; shown < 8; ++shown) {
        QTRY_COMPARE(pipeline.m_Worker.GetProcessedFrames(), quint64(pipeline.m_Stamps.size() + 1));
        // Presenting takes several camera frames.
        QTest::qWait(50);
        QCOMPARE(pipeline.m_Worker.GetProcessedFrames(), quint64(pipeline.m_Stamps.size() + 1));
        const int received = pipeline.m_Stamps.size();
        pipeline.m_Worker.FramePresented();
        QTRY_COMPARE(pipeline.m_Stamps.size(), received + 1);
    }
    QVERIFY(pipeline.m_Worker.GetDroppedCapturedFrames() >= 8);
}

void tst_CaptureThread::cameraFailureReportedOnce_data()
{
    QTest::addColumn<int>("camera");
    QTest::addColumn<QString>("says");
    QTest::addColumn<bool>("retried");
    QTest::newRow("fails to start") << 4 << "failed to start" << true;
    QTest::newRow("lost after frames") << 5 << "stopped" << true;
    QTest::newRow("held by another program") << 9 << "in use by another program" << true;
    QTest::newRow("unplugged after frames") << 10 << "is not connected" << true;
}

void tst_CaptureThread::cameraFailureReportedOnce()
{
    QFETCH(int, camera);
    QFETCH(QString, says);
    QFETCH(bool, retried);

    Pipeline pipeline;
    QSignalSpy retrySpy(&pipeline.m_Worker, &CaptureThread::SignalCameraRetry);
    const QStringList& errors = pipeline.m_Errors;
    pipeline.m_Worker.StartCamera(SimCamera(camera));
    QTRY_COMPARE(errors.count(), 1);
    // Backends repeat a failure in several signals; it is told once.
    QTest::qWait(200);
    QTRY_VERIFY(IsSettled(pipeline.m_Worker.GetCamera()->status()));
    QCOMPARE(errors.count(), 1);
    QVERIFY2(errors.first().contains(says), qPrintable(errors.first()));
    QCOMPARE(retrySpy.count(), retried ? 1 : 0);

    // The same again, and once the camera has run again a new failure is
    // told again.
    auto* failed = const_cast<QCamera*>(pipeline.m_Worker.GetCamera());
    emit failed->statusChanged(QCamera::ActiveStatus);
    emit failed->errorOccurred(QCamera::CameraError);
    emit failed->statusChanged(QCamera::UnavailableStatus);
    QTRY_COMPARE(errors.count(), 2);
    emit failed->statusChanged(QCamera::ActiveStatus);
    emit failed->statusChanged(QCamera::UnavailableStatus);
    QTRY_COMPARE(errors.count(), 3);
    QTest::qWait(50);
    QCOMPARE(errors.count(), 3);

    // A working camera afterwards stays quiet.
    pipeline.m_Worker.StartCamera(SimCamera(1));
    const int received = pipeline.m_Stamps.size();
    QTRY_VERIFY(pipeline.m_Stamps.size() >= received + 3);
    QCOMPARE(errors.count(), 3);
}

// Frames of a camera that went away, still on their way when it did, never
// reach the receiver after the message that says so; they would replace it.
void tst_CaptureThread::noFrameOfALostCameraAfterItsError()
{
    m_Settings->SetEdgeDetectEnabled(false);
    Pipeline pipeline;
    pipeline.m_Stalled = true;
    // Lost after 8 frames: the first is shown, the second waits for it and
    // the newest of the rest waits for the worker when the camera goes.
    pipeline.m_Worker.StartCamera(SimCamera(5));
    QTRY_COMPARE(pipeline.m_Errors.count(), 1);
    QCOMPARE(pipeline.m_Arrivals, QStringList({"frame", "error"}));
    QCOMPARE(pipeline.m_Worker.GetProcessedFrames(), quint64(2));

    pipeline.m_Stalled = false;
    pipeline.m_Worker.FramePresented();
    QTest::qWait(200);
    QCOMPARE(pipeline.m_Arrivals, QStringList({"frame", "error"}));

    // A good camera afterwards is shown again.
    pipeline.m_Worker.StartCamera(SimCamera(1));
    QTRY_VERIFY(pipeline.m_Stamps.size() >= 3);
    QCOMPARE(pipeline.m_Arrivals.mid(0, 3), QStringList({"frame", "error", "frame"}));
}

void tst_CaptureThread::restartReplacesCamera()
{
    CaptureThread worker;
    worker.StartCamera(SimCamera(1));
    QPointer<const QCamera> first = worker.GetCamera();
    QTRY_COMPARE(first->status(), QCamera::ActiveStatus);

    worker.StartCamera(SimCamera(1));
    QVERIFY(first.isNull());
    QVERIFY(worker.GetCamera());
    QTRY_COMPARE(worker.GetCamera()->status(), QCamera::ActiveStatus);
}

// A failed start is tried again a few times, as the window does once the
// camera is listed, and then left alone.
void tst_CaptureThread::failedStartTriedAFewTimes()
{
    Pipeline pipeline;
    int retries = 0;
    connect(&pipeline.m_Worker, &CaptureThread::SignalCameraRetry, &pipeline,
            [&pipeline, &retries](const QCameraInfo& camera) {
                ++retries;
                QTimer::singleShot(0, &pipeline, [&pipeline, camera] { pipeline.m_Worker.StartCamera(camera); });
            });
    pipeline.m_Worker.StartCamera(SimCamera(4));
    QTRY_COMPARE(pipeline.m_Errors.count(), 4);
    QTest::qWait(200);
    QCOMPARE(retries, 3);
    QCOMPARE(pipeline.m_Errors.count(), 4);
}

void tst_CaptureThread::shutdownWithFramesInFlight_data()
{
    QTest::addColumn<int>("camera");
    QTest::addColumn<bool>("stalled");
    QTest::newRow("ui thread delivery, receiver keeping up") << 1 << false;
    QTest::newRow("producer thread delivery, receiver keeping up") << 6 << false;
    QTest::newRow("producer thread delivery, receiver stalled") << 6 << true;
}

void tst_CaptureThread::shutdownWithFramesInFlight()
{
    QFETCH(int, camera);
    QFETCH(bool, stalled);
    m_Settings->SetEdgeDetectEnabled(true);

    for (int round = 0; round < 10; ++round) {
        Pipeline pipeline;
        pipeline.m_Stalled = stalled;
        pipeline.m_Worker.StartCamera(SimCamera(camera));
        QTRY_VERIFY(pipeline.m_Stamps.size() >= 1);
        QTRY_VERIFY(stalled ? pipeline.m_Worker.GetDroppedCapturedFrames() >= 1 : pipeline.m_Stamps.size() >= 3);
    }
}

QTEST_MAIN(tst_CaptureThread)
#include "tst_CaptureThread.moc"
