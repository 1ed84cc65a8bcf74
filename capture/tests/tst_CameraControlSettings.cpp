#include "CameraControlSettings.h"

#include <QSettings>
#include <QtTest>

// Per-camera controls in a throw-away store: every device name keeps a
// group of its own and reads back unchanged.
class tst_CameraControlSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void roundTrip_data();
    void roundTrip();
    void namesThatLookAlikeStayApart();
};

void tst_CameraControlSettings::init()
{
    QSettings().clear();
}

void tst_CameraControlSettings::roundTrip_data()
{
    QTest::addColumn<QString>("deviceName");
    QTest::newRow("device node path") << "/dev/video0";
    QTest::newRow("backslash and space") << "usb\\cam 2";
    QTest::newRow("percent and escapes") << "a%2Fb/%25\\x";
    QTest::newRow("non-ASCII") << QString::fromUtf8("Kamera \xc3\xbc/\xe2\x82\xac");
    QTest::newRow("empty") << QString();
    QTest::newRow("store syntax") << "[General]=;#,\"";
}

void tst_CameraControlSettings::roundTrip()
{
    QFETCH(QString, deviceName);
    CameraControlValues values;
    values.Resolution = QSize(1280, 720);
    values.FrameRate = 7.5;
    values.Brightness = -0.25;
    values.Saturation = 1.0;
    values.WhiteBalanceMode = 1;
    values.ColorTemperature = 5600;
    values.DeviceControls = {{0x009a0901, 1}, {0x009a0902, 250}, {0x00980913, -3}};
    CameraControlSettings::Save(deviceName, values);
    QVERIFY(CameraControlSettings::Load(deviceName) == values);
    QVERIFY(CameraControlSettings::Load(deviceName + "x") == CameraControlValues());

    // Clearing a choice removes it rather than keeping the old value.
    values.Brightness.reset();
    values.DeviceControls.remove(0x009a0902);
    CameraControlSettings::Save(deviceName, values);
    QVERIFY(CameraControlSettings::Load(deviceName) == values);

    CameraControlSettings::Remove(deviceName);
    QVERIFY(CameraControlSettings::Load(deviceName) == CameraControlValues());
}

void tst_CameraControlSettings::namesThatLookAlikeStayApart()
{
    const QStringList names{"a/b", "a\\b", "a%2Fb", "a", "a/b/c"};
    for (int i = 0; i < names.size(); ++i) {
        CameraControlValues values;
        values.DeviceControls.insert(1, i);
        CameraControlSettings::Save(names.at(i), values);
    }
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(CameraControlSettings::Load(names.at(i)).DeviceControls.value(1, -1), i);
}

QTEST_GUILESS_MAIN(tst_CameraControlSettings)
#include "tst_CameraControlSettings.moc"
