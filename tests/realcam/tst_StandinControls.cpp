#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

// The stand-in devices' V4L2 control answers, which the camera-control
// tests rely on: ranges of their own, rounding to the step, refusals, a
// control that goes away, and the log of what was set. Runs the linked
// stand-in library in this process.
class tst_StandinControls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void set_data();
    void set();
    void enumeration();
    void lostControl();

private:
    QTemporaryDir m_Dir;
    QString m_Table;
    QString m_Log;
};

namespace
{
const QStringList kStandins{
    "device=/dev/video4;card=Controls;ctrl.brightness=-64,64,1,0;ctrl.gain=0,100,10,20;"
    "ctrl.exposure_auto=0,3,1,3;ctrl.focus_absolute=0,250,5,0;reject=focus_absolute",
};

bool Write(const QString& path, const QStringList& lines)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write((lines.join('\n') + '\n').toUtf8()) > 0 && file.commit();
}
} // namespace

void tst_StandinControls::initTestCase()
{
    m_Table = m_Dir.filePath("standins");
    m_Log = m_Dir.filePath("log");
    QVERIFY(Write(m_Table, kStandins));
    qputenv("LENTAVIO_STANDINS", m_Table.toUtf8());
    qputenv("LENTAVIO_STANDIN_LOG", m_Log.toUtf8());
}

void tst_StandinControls::set_data()
{
    QTest::addColumn<unsigned>("id");
    QTest::addColumn<int>("value");
    // 0, or the errno the set fails with.
    QTest::addColumn<int>("error");
    // The value read back after a set that worked.
    QTest::addColumn<int>("after");
    QTest::addColumn<QString>("logged");

    QTest::newRow("in range") << unsigned(V4L2_CID_BRIGHTNESS) << -20 << 0 << -20 << "brightness\t-20\tok";
    QTest::newRow("rounded to the step") << unsigned(V4L2_CID_GAIN) << 36 << 0 << 40 << "gain\t40\tok";
    QTest::newRow("above the range") << unsigned(V4L2_CID_GAIN) << 101 << ERANGE << 0 << "gain\t101\terange";
    QTest::newRow("below the range") << unsigned(V4L2_CID_BRIGHTNESS) << -65 << ERANGE << 0
                                     << "brightness\t-65\terange";
    QTest::newRow("refused by the device") << unsigned(V4L2_CID_FOCUS_ABSOLUTE) << 50 << EINVAL << 0
                                           << "focus_absolute\t50\teinval";
    QTest::newRow("a control it lacks") << unsigned(V4L2_CID_CONTRAST) << 1 << EINVAL << -1 << "contrast\t1\teinval";
}

void tst_StandinControls::set()
{
    QFETCH(unsigned, id);
    QFETCH(int, value);
    QFETCH(int, error);
    QFETCH(int, after);
    QFETCH(QString, logged);

    QFile::remove(m_Log);
    const int fd = open("/dev/video4", O_RDWR);
    QVERIFY(fd >= 0);
    v4l2_control before{id, 0};
    const bool present = ioctl(fd, VIDIOC_G_CTRL, &before) == 0;
    v4l2_control control{id, value};
    const int result = ioctl(fd, VIDIOC_S_CTRL, &control);
    QCOMPARE(result == 0 ? 0 : errno, error);
    // A failed set leaves the value as it was.
    v4l2_control read{id, 0};
    QCOMPARE(ioctl(fd, VIDIOC_G_CTRL, &read) == 0, present);
    if (present)
        QCOMPARE(read.value, error == 0 ? after : before.value);
    close(fd);
    QFile log(m_Log);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString line = QString::fromUtf8(log.readAll()).trimmed();
    QCOMPARE(line, "/dev/video4\t" + logged);
}

void tst_StandinControls::enumeration()
{
    const int fd = open("/dev/video4", O_RDWR);
    QVERIFY(fd >= 0);
    QList<unsigned> ids;
    v4l2_queryctrl query{};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    while (ioctl(fd, VIDIOC_QUERYCTRL, &query) == 0) {
        ids << query.id;
        if (query.id == V4L2_CID_GAIN)
            QCOMPARE(QList<int>({query.minimum, query.maximum, query.step, query.default_value}),
                     QList<int>({0, 100, 10, 20}));
        query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
    }
    QCOMPARE(ids, QList<unsigned>({V4L2_CID_BRIGHTNESS, V4L2_CID_GAIN, V4L2_CID_EXPOSURE_AUTO,
                                   V4L2_CID_FOCUS_ABSOLUTE}));
    v4l2_querymenu item{};
    item.id = V4L2_CID_EXPOSURE_AUTO;
    item.index = 1;
    QCOMPARE(ioctl(fd, VIDIOC_QUERYMENU, &item), 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(item.name)), QByteArray("Manual Mode"));

    // All or nothing: one value out of range sets none of them.
    v4l2_control before{V4L2_CID_BRIGHTNESS, 0};
    QCOMPARE(ioctl(fd, VIDIOC_G_CTRL, &before), 0);
    v4l2_ext_control pair[2] = {};
    pair[0].id = V4L2_CID_BRIGHTNESS;
    pair[0].value = before.value + 1;
    pair[1].id = V4L2_CID_GAIN;
    pair[1].value = 500;
    v4l2_ext_controls set{};
    set.which = V4L2_CTRL_WHICH_CUR_VAL;
    set.count = 2;
    set.controls = pair;
    QCOMPARE(ioctl(fd, VIDIOC_S_EXT_CTRLS, &set), -1);
    QCOMPARE(set.error_idx, 2u);
    v4l2_control brightness{V4L2_CID_BRIGHTNESS, 0};
    QCOMPARE(ioctl(fd, VIDIOC_G_CTRL, &brightness), 0);
    QCOMPARE(brightness.value, before.value);
    close(fd);
}

void tst_StandinControls::lostControl()
{
    const int fd = open("/dev/video4", O_RDWR);
    QVERIFY(fd >= 0);
    QStringList without = kStandins;
    without[0].replace("ctrl.gain=0,100,10,20;", "");
    // A new modification time even within the file system's clock tick.
    QTest::qWait(20);
    QVERIFY(Write(m_Table, without));
    v4l2_control gain{V4L2_CID_GAIN, 0};
    QCOMPARE(ioctl(fd, VIDIOC_G_CTRL, &gain), -1);
    QCOMPARE(errno, EINVAL);
    QVERIFY(Write(m_Table, QStringList{kStandins.at(0) + ";gone=on"}));
    v4l2_control brightness{V4L2_CID_BRIGHTNESS, 0};
    QCOMPARE(ioctl(fd, VIDIOC_G_CTRL, &brightness), -1);
    QCOMPARE(errno, ENODEV);
    QCOMPARE(open("/dev/video4", O_RDWR), -1);
    close(fd);
    QVERIFY(Write(m_Table, kStandins));
}

QTEST_GUILESS_MAIN(tst_StandinControls)
#include "tst_StandinControls.moc"
