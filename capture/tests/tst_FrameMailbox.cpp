#include "FrameMailbox.h"

#include <QThread>
#include <QtTest>

class tst_FrameMailbox : public QObject
{
    Q_OBJECT

private slots:
    void keepsNewestUnderStalledConsumer();
    void concurrentProducerLosesNothingUncounted();
};

void tst_FrameMailbox::keepsNewestUnderStalledConsumer()
{
    FrameMailbox mailbox;
    QVERIFY(!mailbox.Take());

    QVERIFY(mailbox.Put({cv::Mat(2, 2, CV_8UC4, cv::Scalar::all(1)), 1, 10}));
    for (qint64 i = 2; i <= 5; ++i)
        QVERIFY(!mailbox.Put({cv::Mat(2, 2, CV_8UC4, cv::Scalar::all(double(i))), i, 10 * i}));
    QCOMPARE(mailbox.GetDroppedCount(), quint64(4));

    const std::optional<TimedFrame> newest = mailbox.Take();
    QVERIFY(newest);
    QCOMPARE(newest->CaptureTime, qint64(5));
    QCOMPARE(newest->ProcessTime, qint64(50));
    QCOMPARE(newest->Frame.at<cv::Vec4b>(1, 1), cv::Vec4b(5, 5, 5, 5));
    QVERIFY(!mailbox.Take());

    // Emptied, the next frame needs a fresh wake-up again.
    QVERIFY(mailbox.Put({cv::Mat(), 6, 0}));
    QCOMPARE(mailbox.GetDroppedCount(), quint64(4));
}

// Every frame put is either taken or counted as dropped, and a wake-up is
// asked for exactly when the consumer could otherwise miss a frame.
void tst_FrameMailbox::concurrentProducerLosesNothingUncounted()
{
    constexpr qint64 frameCount = 20000;
    FrameMailbox mailbox;
    std::atomic<int> wakeUps{0};
    QScopedPointer<QThread> producer(QThread::create([&] {
        for (qint64 i = 1; i <= frameCount; ++i) {
            if (mailbox.Put({cv::Mat(), i, 0}))
                ++wakeUps;
        }
    }));
    producer->start();

    qint64 taken = 0;
    qint64 last = 0;
    int consumedWakeUps = 0;
    while (last != frameCount) {
        if (consumedWakeUps == wakeUps) {
            QThread::yieldCurrentThread();
            continue;
        }
        ++consumedWakeUps;
        const std::optional<TimedFrame> frame = mailbox.Take();
        QVERIFY(frame);
        QVERIFY(frame->CaptureTime > last);
        last = frame->CaptureTime;
        ++taken;
    }
    QVERIFY(producer->wait(10000));
    QCOMPARE(quint64(taken) + mailbox.GetDroppedCount(), quint64(frameCount));
    QCOMPARE(consumedWakeUps, int(wakeUps));
}

QTEST_GUILESS_MAIN(tst_FrameMailbox)
#include "tst_FrameMailbox.moc"
