#include "CameraSettings.h"
#include "CaptureThread.h"

#include <QSettings>
#include <QSignalSpy>
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

private:
    QScopedPointer<CameraSettings> m_Settings;
};

void tst_CaptureThread::initTestCase()
{
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
// only the newest processed frame waits, and it follows once presented.
void tst_CaptureThread::oneFrameOutstandingTowardsWindow()
{
    m_Settings->SetEdgeDetectEnabled(false);
    const cv::Mat input(4, 4, CV_8UC4, cv::Scalar(1, 2, 3, 4));
    CaptureThread worker;
    QSignalSpy spy(&worker, &CaptureThread::SignalFrameReady);

    for (qint64 captureTime = 1; captureTime <= 5; ++captureTime)
        Process(worker, input, captureTime);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(EmittedCaptureTime(spy, 0), qint64(1));
    QCOMPARE(worker.GetDroppedReadyFrames(), quint64(3));
    QCOMPARE(worker.GetDroppedCapturedFrames(), quint64(0));

    worker.FramePresented();
    QTRY_COMPARE(spy.count(), 2);
    QCOMPARE(EmittedCaptureTime(spy, 1), qint64(5));

    // Nothing waits any more: the presented frame frees the way at once.
    worker.FramePresented();
    QCoreApplication::sendPostedEvents(&worker, QEvent::MetaCall);
    QCOMPARE(spy.count(), 2);
    Process(worker, input, 6);
    QCOMPARE(spy.count(), 3);
    QCOMPARE(EmittedCaptureTime(spy, 2), qint64(6));
}

QTEST_GUILESS_MAIN(tst_CaptureThread)
#include "tst_CaptureThread.moc"
