#include "CameraSettings.h"
#include "HoleDetectWnd.h"
#include "TruncToInt.h"
#include "VideoView.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QSettings>
#include <QSlider>
#include <QWheelEvent>
#include <QtTest>

#include <climits>
#include <cmath>
#include <memory>

namespace
{
const QRgb kLight = qRgb(220, 210, 200);
const QRgb kDark = qRgb(20, 30, 40);
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kGreen = QColor(Qt::green).rgb();
const QRgb kYellow = QColor(Qt::yellow).rgb();
const QRgb kRed = QColor(Qt::red).rgb();
const QRgb kBlue = QColor(Qt::blue).rgb();
constexpr double kDefaultThreshold = 3125.0;

QImage Blank()
{
    QImage frame(640, 480, QImage::Format_RGB32);
    frame.fill(kLight);
    return frame;
}

// A 640 x 480 frame with an ellipse painted over it; a pixel belongs to the
// ellipse when (dx / a)^2 + (dy / b)^2 <= 1, evaluated exactly in integers.
QImage Scene(QPoint centre, int a, int b, QRgb inside = kDark, QImage frame = Blank())
{
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
        {
            const qint64 dx = x - centre.x();
            const qint64 dy = y - centre.y();
            if (dx * dx * b * b + dy * dy * a * a <= qint64(a) * a * b * b)
                frame.setPixel(x, y, inside);
        }
    return frame;
}

QImage Shown(const VideoView& view)
{
    return view.pixmap(Qt::ReturnByValue).toImage().convertToFormat(QImage::Format_RGB32);
}

void SendMouse(QWidget* widget, QEvent::Type type, QPointF pos)
{
    QMouseEvent event(type, pos, Qt::LeftButton, type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void SendWheel(QWidget* widget, int delta, Qt::KeyboardModifiers modifiers)
{
    QWheelEvent event(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}
}

class tst_VideoView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loadCrosshair_data();
    void loadCrosshair();
    void pictureSize_data();
    void pictureSize();
    void mirroring_data();
    void mirroring();
    void drag_data();
    void drag();
    void dragRestartsOnPressAndEndsOnRelease();
    void wheel_data();
    void wheel();

    void detection_data();
    void detection();
    void threshold_data();
    void threshold();
    void smoothing_data();
    void smoothing();
    void centerColor_data();
    void centerColor();
    void calibrate_data();
    void calibrate();
    void readout_data();
    void readout();
    void unusableFrame_data();
    void unusableFrame();

    void ticks_data();
    void ticks();
    void circles_data();
    void circles();
    void marker_data();
    void marker();
    void farAwayGeometry_data();
    void farAwayGeometry();
    void truncToInt_data();
    void truncToInt();
    void paintsAsALabel_data();
    void paintsAsALabel();

private:
    // Draws the overlay on a white width x height picture with the crosshair
    // at its centre and flipV set, so normalised y maps straight to rows.
    QImage Overlay(VideoView& view, int width, int height);

    std::unique_ptr<CameraSettings> m_Settings;
    std::unique_ptr<HoleDetectWnd> m_Panel;
};

void tst_VideoView::init()
{
    qRegisterMetaType<HoleMeasurement>();
    QSettings().clear();
    m_Settings = std::make_unique<CameraSettings>();
    m_Panel = std::make_unique<HoleDetectWnd>();
}

void tst_VideoView::cleanup()
{
    m_Panel.reset();
    m_Settings.reset();
}

QImage tst_VideoView::Overlay(VideoView& view, int width, int height)
{
    view.m_FlipV = true;
    view.m_CrosshairPos = QPointF(0.5, 0.5);
    QPixmap picture(width, height);
    picture.fill(Qt::white);
    view.DrawOverlay(picture, view.MapToPixmap(width, height));
    return picture.toImage().convertToFormat(QImage::Format_RGB32);
}

void tst_VideoView::loadCrosshair_data()
{
    QTest::addColumn<QVariant>("radius1");
    QTest::addColumn<QVariant>("radius2");
    QTest::addColumn<QVariant>("position");
    QTest::addColumn<double>("expectedRadius1");
    QTest::addColumn<double>("expectedRadius2");
    QTest::addColumn<QPointF>("expectedPosition");

    const double nan = qQNaN();
    const double inf = qInf();
    QTest::newRow("empty store") << QVariant() << QVariant() << QVariant() << 0.005 << 0.01 << QPointF(0.5, 0.5);
    QTest::newRow("stored values not clamped")
        << QVariant(0.7) << QVariant(0.001) << QVariant(QPointF(2.0, -1.0)) << 0.7 << 0.001 << QPointF(2.0, -1.0);
    QTest::newRow("NaN radius in store") << QVariant(nan) << QVariant(0.2) << QVariant() << 0.005 << 0.2 << QPointF(0.5, 0.5);
    QTest::newRow("inf radius2 in store") << QVariant(0.1) << QVariant(-inf) << QVariant() << 0.1 << 0.01 << QPointF(0.5, 0.5);
    QTest::newRow("NaN position x keeps y")
        << QVariant() << QVariant() << QVariant(QPointF(nan, 0.3)) << 0.005 << 0.01 << QPointF(0.5, 0.3);
    QTest::newRow("inf position y keeps x")
        << QVariant() << QVariant() << QVariant(QPointF(0.2, inf)) << 0.005 << 0.01 << QPointF(0.2, 0.5);
    QTest::newRow("unconvertible radius gives 0")
        << QVariant("wide") << QVariant() << QVariant() << 0.0 << 0.01 << QPointF(0.5, 0.5);
}

void tst_VideoView::loadCrosshair()
{
    QFETCH(QVariant, radius1);
    QFETCH(QVariant, radius2);
    QFETCH(QVariant, position);
    {
        QSettings settings;
        if (radius1.isValid())
            settings.setValue("Crosshair/radius1", radius1);
        if (radius2.isValid())
            settings.setValue("Crosshair/radius2", radius2);
        if (position.isValid())
            settings.setValue("Crosshair/position", position);
    }

    VideoView view;

    QTEST(view.m_Radius1, "expectedRadius1");
    QTEST(view.m_Radius2, "expectedRadius2");
    QTEST(view.m_CrosshairPos, "expectedPosition");
}

void tst_VideoView::pictureSize_data()
{
    QTest::addColumn<QSize>("viewSize");
    QTest::addColumn<QSize>("pictureSize");

    QTest::newRow("640x480 in 800x600") << QSize(800, 600) << QSize(800, 600);
    QTest::newRow("640x480 in 1000x600") << QSize(1000, 600) << QSize(800, 600);
    QTest::newRow("640x480 in 320x600") << QSize(320, 600) << QSize(320, 240);
}

void tst_VideoView::pictureSize()
{
    QFETCH(QSize, viewSize);
    VideoView view;
    view.resize(viewSize);

    view.SetImage(Scene(QPoint(320, 240), 20, 20), false, false, kDefaultThreshold, 0.75);

    QTEST(Shown(view).size(), "pictureSize");
}

void tst_VideoView::mirroring_data()
{
    QTest::addColumn<bool>("flipH");
    QTest::addColumn<bool>("flipV");
    QTest::addColumn<QPoint>("firstPixelShownAt");
    QTest::addColumn<QPoint>("crosshairShownAt");
    // How the picture was made: where it is shown, or ahead by
    // PrepareFrame() for the view as it is, or for the view before the flips.
    QTest::addColumn<QString>("prepared");

    // The frame's first pixel and a crosshair at (0.25, 0.25), on an 800 x 600 picture.
    const struct
    {
        const char* Name;
        bool FlipH;
        bool FlipV;
        QPoint FirstPixel;
        QPoint Crosshair;
    } cases[] = {
        {"no flips: row 0 at the bottom", false, false, {0, 599}, {200, 450}},
        {"flipH", true, false, {799, 599}, {600, 450}},
        {"flipV: memory row order", false, true, {0, 0}, {200, 150}},
        {"both flips", true, true, {799, 0}, {600, 150}},
    };
    for (const auto& c : cases) {
        for (const char* prepared : {"no", "as shown", "before the flips"}) {
            QTest::addRow("%s, prepared %s", c.Name, prepared)
                << c.FlipH << c.FlipV << c.FirstPixel << c.Crosshair << QString(prepared);
        }
    }
}

void tst_VideoView::mirroring()
{
    QFETCH(bool, flipH);
    QFETCH(bool, flipV);
    QFETCH(QPoint, firstPixelShownAt);
    QFETCH(QPoint, crosshairShownAt);
    QFETCH(QString, prepared);
    QSettings().setValue("Crosshair/position", QPointF(0.25, 0.25));
    VideoView view;
    view.resize(800, 600);
    QImage frame = Blank();
    frame.setPixelColor(0, 0, Qt::red);
    frame.setPixelColor(1, 0, Qt::red);
    frame.setPixelColor(0, 1, Qt::red);
    frame.setPixelColor(1, 1, Qt::red);
    const cv::Mat pixels(frame.height(), frame.width(), CV_8UC4, frame.bits(), size_t(frame.bytesPerLine()));
    // Flipped after construction, so the view has to follow the signals;
    // a picture prepared before the flips was made with the others.
    const auto flip = [&](bool others) {
        m_Settings->SetInvertH(flipH != others);
        m_Settings->SetInvertV(flipV != others);
    };
    flip(prepared == "before the flips");
    if (prepared != "no") {
        // A frame shown tells the view's scaler what to prepare for.
        view.SetImage(Blank(), false, false, kDefaultThreshold, 0.75);
        view.PrepareFrame(pixels);
        // Changed behind the prepared picture's back: only a picture made
        // anew shows it.
        for (const QPoint p : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(1, 1)})
            frame.setPixelColor(p, Qt::blue);
    }
    flip(false);

    view.SetImage(frame, false, false, kDefaultThreshold, 0.75);

    const QImage shown = Shown(view);
    QCOMPARE(shown.pixel(firstPixelShownAt), prepared == "before the flips" ? kBlue : kRed);
    const QPoint c = crosshairShownAt;
    QCOMPARE(shown.pixel(c.x() - 3, c.y()), kGreen);
    QCOMPARE(shown.pixel(c.x() + 3, c.y()), kGreen);
    QCOMPARE(shown.pixel(c.x(), c.y() - 3), kGreen);
    QCOMPARE(shown.pixel(c.x(), c.y() + 3), kGreen);
    QCOMPARE(shown.pixel(c), kLight);
    QCOMPARE(view.m_CrosshairPos, QPointF(0.25, 0.25));
}

void tst_VideoView::drag_data()
{
    QTest::addColumn<bool>("flipH");
    QTest::addColumn<bool>("flipV");
    QTest::addColumn<QPointF>("move");
    QTest::addColumn<QPointF>("expectedDelta");
    QTest::addColumn<QSize>("viewSize");

    const QSize size(1000, 600);
    QTest::newRow("100 px right") << false << false << QPointF(100, 0) << QPointF(0.1, 0) << size;
    QTest::newRow("100 px right, flipH") << true << false << QPointF(100, 0) << QPointF(-0.1, 0) << size;
    QTest::newRow("60 px down") << false << false << QPointF(0, 60) << QPointF(0, -0.1) << size;
    QTest::newRow("60 px down, flipV") << false << true << QPointF(0, 60) << QPointF(0, 0.1) << size;
    QTest::newRow("diagonal, both flips") << true << true << QPointF(-50, 30) << QPointF(0.05, 0.05) << size;
    QTest::newRow("collapsed view stores no NaN") << false << false << QPointF(10, 10) << QPointF() << QSize(0, 0);
}

void tst_VideoView::drag()
{
    QFETCH(bool, flipH);
    QFETCH(bool, flipV);
    QFETCH(QPointF, move);
    QFETCH(QPointF, expectedDelta);
    QFETCH(QSize, viewSize);
    m_Settings->SetInvertH(flipH);
    m_Settings->SetInvertV(flipV);
    // A child, since a window is never smaller than 1 x 1.
    QWidget parent;
    VideoView view(&parent);
    view.resize(viewSize);
    const QPointF start(500, 300);

    SendMouse(&view, QEvent::MouseButtonPress, start);
    SendMouse(&view, QEvent::MouseMove, start + move / 2);
    SendMouse(&view, QEvent::MouseMove, start + move);

    const QPointF expected = QPointF(0.5, 0.5) + expectedDelta;
    QVERIFY(qAbs(view.m_CrosshairPos.x() - expected.x()) < 1e-12);
    QVERIFY(qAbs(view.m_CrosshairPos.y() - expected.y()) < 1e-12);
    QCOMPARE(QSettings().value("Crosshair/position", QPointF(0.5, 0.5)).toPointF(), view.m_CrosshairPos);
}

void tst_VideoView::dragRestartsOnPressAndEndsOnRelease()
{
    VideoView view;
    view.resize(1000, 600);

    SendMouse(&view, QEvent::MouseMove, QPointF(100, 100));
    QCOMPARE(view.m_CrosshairPos, QPointF(0.5, 0.5));
    SendMouse(&view, QEvent::MouseButtonPress, QPointF(100, 100));
    SendMouse(&view, QEvent::MouseButtonPress, QPointF(300, 100));
    SendMouse(&view, QEvent::MouseMove, QPointF(400, 100));
    QCOMPARE(view.m_CrosshairPos, QPointF(0.6, 0.5));
    SendMouse(&view, QEvent::MouseButtonRelease, QPointF(400, 100));
    SendMouse(&view, QEvent::MouseMove, QPointF(900, 100));
    QCOMPARE(view.m_CrosshairPos, QPointF(0.6, 0.5));
}

void tst_VideoView::wheel_data()
{
    QTest::addColumn<QVariant>("storedRadius1");
    QTest::addColumn<int>("delta");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<double>("expectedRadius1");
    QTest::addColumn<double>("expectedRadius2");

    QTest::newRow("+120 on radius1") << QVariant() << 120 << false << 0.0062 << 0.01;
    QTest::newRow("shift changes radius2") << QVariant() << 120 << true << 0.005 << 0.0112;
    QTest::newRow("-120 clamps at 0.005") << QVariant(0.0055) << -120 << false << 0.005 << 0.01;
    QTest::newRow("+120 clamps at 0.5") << QVariant(0.4995) << 120 << false << 0.5 << 0.01;
    QTest::newRow("clamped step still writes both") << QVariant() << -120 << false << 0.005 << 0.01;
}

void tst_VideoView::wheel()
{
    QFETCH(QVariant, storedRadius1);
    QFETCH(int, delta);
    QFETCH(bool, shift);
    QFETCH(double, expectedRadius1);
    QFETCH(double, expectedRadius2);
    if (storedRadius1.isValid())
        QSettings().setValue("Crosshair/radius1", storedRadius1);
    VideoView view;

    SendWheel(&view, delta, shift ? Qt::ShiftModifier : Qt::NoModifier);

    QCOMPARE(view.m_Radius1, expectedRadius1);
    QCOMPARE(view.m_Radius2, expectedRadius2);
    QSettings settings;
    QCOMPARE(settings.value("Crosshair/radius1").toDouble(), expectedRadius1);
    QCOMPARE(settings.value("Crosshair/radius2").toDouble(), expectedRadius2);
}

void tst_VideoView::detection_data()
{
    QTest::addColumn<QImage>("frame");
    QTest::addColumn<QPointF>("crosshair");
    QTest::addColumn<double>("roundness");
    QTest::addColumn<bool>("found");
    QTest::addColumn<double>("centreTolerance");
    QTest::addColumn<double>("expectedRadius");

    const QPoint middle(320, 240);
    const QPointF centred(0.5, 0.5);
    const QImage disc = Scene(middle, 20, 20);
    // The 4 diagonal rays end 14 steps out and 4 slanted ones 17 steps out;
    // the axis rays and the other slanted ones are trimmed.
    const double discRadius = (4 * 14 * std::sqrt(2.0) + 4 * 17 * std::sqrt(1.25)) / 8;
    QImage square = Blank();
    QPainter(&square).fillRect(QRect(305, 225, 31, 31), QColor(kDark));

    QTest::newRow("disc r=20 centred") << disc << centred << 0.75 << true << 0.0 << discRadius;
    QTest::newRow("disc r=20, crosshair 5 px left") << disc << QPointF(315 / 640.0, 0.5) << 0.75 << true << 1.0 << -1.0;
    QTest::newRow("disc r=1") << Scene(middle, 1, 1) << centred << 0.75 << false << 0.0 << -1.0;
    QTest::newRow("disc r=120") << Scene(middle, 120, 120) << centred << 0.75 << false << 0.0 << -1.0;
    QTest::newRow("disc 15 px from left edge")
        << Scene(QPoint(15, 240), 20, 20) << QPointF(15 / 640.0, 0.5) << 0.75 << false << 0.0 << -1.0;
    QTest::newRow("ellipse 30x10 roundness 0.75") << Scene(middle, 30, 10) << centred << 0.75 << false << 0.0 << -1.0;
    QTest::newRow("ellipse 30x10 roundness 0.5") << Scene(middle, 30, 10) << centred << 0.5 << true << 0.0 << -1.0;
    QTest::newRow("ellipse 30x10 roundness 0") << Scene(middle, 30, 10) << centred << 0.0 << true << 0.0 << -1.0;
    QTest::newRow("ellipse 20x10 roundness 0.75") << Scene(middle, 20, 10) << centred << 0.75 << true << 0.0 << -1.0;
    QTest::newRow("disc r=20 roundness 1") << disc << centred << 1.0 << false << 0.0 << -1.0;
    // Only the 8 slanted rays survive the trimming, all of one length.
    QTest::newRow("square roundness 1: equal lengths pass")
        << square << centred << 1.0 << true << 0.0 << 15 * std::sqrt(1.25);
    QTest::newRow("crosshair outside frame") << disc << QPointF(1.2, 0.5) << 0.75 << false << 0.0 << -1.0;
    QTest::newRow("crosshair beyond int range") << disc << QPointF(1e12, -1e12) << 0.75 << false << 0.0 << -1.0;
}

void tst_VideoView::detection()
{
    QFETCH(QImage, frame);
    QFETCH(QPointF, crosshair);
    QFETCH(double, roundness);
    QFETCH(bool, found);
    QFETCH(double, centreTolerance);
    QFETCH(double, expectedRadius);
    VideoView view;
    view.m_CrosshairPos = crosshair;

    view.SetImage(frame, true, false, kDefaultThreshold, roundness);

    QCOMPARE(view.m_HoleFound, found);
    if (!found)
        return;
    const QPointF centre(view.m_HoleCenter.x() * 640, view.m_HoleCenter.y() * 480);
    QVERIFY2(QLineF(centre, QPointF(320, 240)).length() <= centreTolerance,
             qPrintable(QString("centre %1, %2").arg(centre.x()).arg(centre.y())));
    QCOMPARE(view.m_HoleCenterSmoothed, view.m_HoleCenter);
    if (expectedRadius > 0)
        QVERIFY(qAbs(view.m_HoleRadius * 640 - expectedRadius) < 1e-4);
}

void tst_VideoView::threshold_data()
{
    QTest::addColumn<double>("threshold");
    QTest::addColumn<int>("boundary");

    // A disc of radius 20 inside a ring of radius 30 whose red differs by 1.
    QTest::newRow("threshold 0 stops at a 1-level step") << 0.0 << 20;
    QTest::newRow("distance equal to threshold matches") << 1.0 << 30;
    QTest::newRow("default threshold spans small steps") << kDefaultThreshold << 30;
}

void tst_VideoView::threshold()
{
    QFETCH(double, threshold);
    QFETCH(int, boundary);
    const QPoint middle(320, 240);
    const QImage frame = Scene(middle, 20, 20, kDark, Scene(middle, 30, 30, qRgb(21, 30, 40)));
    VideoView view;

    view.SetImage(frame, true, false, threshold, 0.75);

    QVERIFY(view.m_HoleFound);
    // Rays stop up to one step (at most 1.5 px) short of the boundary.
    const double radius = view.m_HoleRadius * 640;
    QVERIFY2(radius > boundary - 1.5 && radius <= boundary, qPrintable(QString::number(radius)));
}

void tst_VideoView::smoothing_data()
{
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<double>("expectedSmoothedX");

    // A number is a disc at that column with the crosshair on it; "blank"
    // is a frame without hole, "off" a frame with detection disabled.
    QTest::newRow("single success") << QStringList{"320"} << 0.5;
    QTest::newRow("consecutive successes blend 60 %") << QStringList{"320", "384"} << 0.56;
    QTest::newRow("failed frame restarts") << QStringList{"320", "blank", "384"} << 0.6;
    QTest::newRow("disabled frame restarts") << QStringList{"320", "off", "384"} << 0.6;
}

void tst_VideoView::smoothing()
{
    QFETCH(QStringList, frames);
    VideoView view;

    for (const QString& frame : frames)
    {
        bool isDisc = false;
        const int column = frame.toInt(&isDisc);
        if (isDisc)
            view.m_CrosshairPos = QPointF(column / 640.0, 0.5);
        const QImage image = isDisc ? Scene(QPoint(column, 240), 20, 20) : Blank();
        view.SetImage(image, frame != "off", false, kDefaultThreshold, 0.75);
        QCOMPARE(view.m_HoleFound, isDisc);
    }

    QFETCH(double, expectedSmoothedX);
    QVERIFY(qAbs(view.m_HoleCenterSmoothed.x() - expectedSmoothedX) < 1e-9);
    QCOMPARE(view.m_HoleCenterSmoothed.y(), 0.5);
}

void tst_VideoView::centerColor_data()
{
    QTest::addColumn<QImage>("frame");
    QTest::addColumn<QPointF>("crosshair");
    QTest::addColumn<bool>("frozen");
    QTest::addColumn<QColor>("panelColor");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QColor>("expectedPanelColor");

    const QImage disc = Scene(QPoint(320, 240), 20, 20);
    const QPointF centred(0.5, 0.5);
    QImage marked = Blank();
    marked.setPixel(320, 239, kRed);
    QTest::newRow("sampled colour shown in panel") << disc << centred << false << QColor(Qt::red) << true << QColor(kDark);
    QTest::newRow("frozen colour left alone") << disc << centred << true << QColor(kDark) << true << QColor(kDark);
    QTest::newRow("frozen background colour finds no hole")
        << disc << centred << true << QColor(kLight) << false << QColor(kLight);
    QTest::newRow("sample column rounded, row truncated")
        << marked << QPointF(319.6 / 640, 239.9 / 480) << false << QColor() << false << QColor(kRed);
}

void tst_VideoView::centerColor()
{
    QFETCH(QImage, frame);
    QFETCH(QPointF, crosshair);
    QFETCH(bool, frozen);
    QFETCH(QColor, panelColor);
    m_Panel->SetCenterColor(panelColor);
    VideoView view;
    view.m_CrosshairPos = crosshair;

    view.SetImage(frame, true, frozen, kDefaultThreshold, 0.75);

    QTEST(view.m_HoleFound, "found");
    QTEST(m_Panel->m_CenterColor, "expectedPanelColor");
}

void tst_VideoView::calibrate_data()
{
    QTest::addColumn<int>("holeColumn");

    QTest::newRow("no hole leaves the crosshair") << -1;
    QTest::newRow("hole pulls the crosshair onto it") << 325;
}

void tst_VideoView::calibrate()
{
    QFETCH(int, holeColumn);
    VideoView view;
    view.SetImage(holeColumn < 0 ? Blank() : Scene(QPoint(holeColumn, 240), 20, 20), true, false,
                  kDefaultThreshold, 0.75);

    view.CalibrateCrosshair();

    if (holeColumn < 0)
        QCOMPARE(view.m_CrosshairPos, QPointF(0.5, 0.5));
    else
        QCOMPARE(view.m_CrosshairPos, view.m_HoleCenterSmoothed);
    QVERIFY(qAbs(view.m_CrosshairPos.x() * 640 - (holeColumn < 0 ? 320 : holeColumn)) <= 1.0);
    QVERIFY(!QSettings().contains("Crosshair/position"));
}

void tst_VideoView::readout_data()
{
    QTest::addColumn<QImage>("frame");
    QTest::addColumn<bool>("detect");
    QTest::addColumn<bool>("flipH");
    QTest::addColumn<bool>("flipV");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QPointF>("offset");
    QTest::addColumn<double>("diameter");

    // Crosshair at (320, 240); the disc's centre 12 px right of it and 9 px
    // up in memory rows, farther than the drawn detection converges. Without
    // flipV row 0 is shown at the bottom, so the memory's up is the screen's
    // down.
    const QImage offCentre = Scene(QPoint(332, 231), 25, 25);
    QTest::newRow("no flips") << offCentre << true << false << false << true << QPointF(12, 9) << 50.0;
    QTest::newRow("flipH") << offCentre << true << true << false << true << QPointF(-12, 9) << 50.0;
    QTest::newRow("flipV") << offCentre << true << false << true << true << QPointF(12, -9) << 50.0;
    QTest::newRow("both flips") << offCentre << true << true << true << true << QPointF(-12, -9) << 50.0;
    QTest::newRow("disc r=20, crosshair 15 px off")
        << Scene(QPoint(335, 240), 20, 20) << true << false << true << true << QPointF(15, 0) << 40.0;
    QTest::newRow("disc r=20 centred: diameter to the boundary")
        << Scene(QPoint(320, 240), 20, 20) << true << false << false << true << QPointF() << 40.0;
    QTest::newRow("detection off") << offCentre << false << false << false << false << QPointF() << 0.0;
    QTest::newRow("no hole") << Blank() << true << false << false << false << QPointF() << 0.0;
}

void tst_VideoView::readout()
{
    QFETCH(QImage, frame);
    QFETCH(bool, detect);
    QFETCH(bool, flipH);
    QFETCH(bool, flipV);
    QFETCH(bool, found);
    QFETCH(QPointF, offset);
    QFETCH(double, diameter);
    VideoView view;
    m_Settings->SetInvertH(flipH);
    m_Settings->SetInvertV(flipV);
    QSignalSpy spy(&view, &VideoView::SignalHoleMeasured);

    view.SetImage(frame, detect, false, kDefaultThreshold, 0.75);

    QCOMPARE(spy.count(), 1);
    const auto measurement = spy.at(0).at(0).value<HoleMeasurement>();
    QCOMPARE(measurement.Found, found);
    QCOMPARE(measurement.FrameSize, QSize(640, 480));
    QCOMPARE(measurement.InnerCircleDiameter, 2 * 0.005 * 640);
    QCOMPARE(measurement.OuterCircleDiameter, 2 * 0.01 * 640);
    if (!found)
        return;
    QVERIFY2(QLineF(measurement.Offset, offset).length() <= 1.0,
             qPrintable(QString("offset %1, %2").arg(measurement.Offset.x()).arg(measurement.Offset.y())));
    QVERIFY2(qAbs(measurement.Diameter - diameter) <= 1.0, qPrintable(QString::number(measurement.Diameter)));
}

void tst_VideoView::unusableFrame_data()
{
    QTest::addColumn<QImage>("frame");
    QTest::addColumn<bool>("frozen");
    QTest::addColumn<bool>("replacesPicture");

    QTest::newRow("null image") << QImage() << false << false;
    QTest::newRow("0x0 image, frozen colour") << QImage(0, 0, QImage::Format_RGB32) << true << false;
    // Rays read 32-bit words; an 8-bit frame must not be read past its lines.
    QTest::newRow("8-bit frame") << Scene(QPoint(320, 240), 20, 20).convertToFormat(QImage::Format_Grayscale8)
                                 << false << true;
}

void tst_VideoView::unusableFrame()
{
    QFETCH(QImage, frame);
    QFETCH(bool, frozen);
    QFETCH(bool, replacesPicture);
    VideoView view;
    view.resize(800, 600);
    view.SetImage(Scene(QPoint(320, 240), 20, 20), true, false, kDefaultThreshold, 0.75);
    QVERIFY(view.m_HoleFound);
    const QImage before = Shown(view);

    view.SetImage(frame, true, frozen, kDefaultThreshold, 0.75);

    QVERIFY(!view.m_HoleFound);
    QCOMPARE(Shown(view) != before, replacesPicture);
    QCOMPARE(Shown(view).size(), QSize(800, 600));
}

void tst_VideoView::ticks_data()
{
    QTest::addColumn<QPointF>("error");
    QTest::addColumn<QRgb>("verticalColor");
    QTest::addColumn<QRgb>("horizontalColor");

    // On a 1024 x 512 picture the errors are exact in normalised form.
    QTest::newRow("2 px right, 0.5 below") << QPointF(2, 0.5) << kYellow << kGreen;
    QTest::newRow("error exactly 1: green") << QPointF(1, -1) << kGreen << kGreen;
    QTest::newRow("error exactly 3: yellow") << QPointF(-3, 3) << kYellow << kYellow;
    QTest::newRow("error 3.5: red") << QPointF(3.5, -14.5) << kRed << kRed;
    QTest::newRow("error exactly 15: no ticks") << QPointF(15, 2) << kWhite << kWhite;
    QTest::newRow("20 px right: no ticks") << QPointF(-20, 2) << kWhite << kWhite;
}

void tst_VideoView::ticks()
{
    QFETCH(QPointF, error);
    QFETCH(QRgb, verticalColor);
    QFETCH(QRgb, horizontalColor);
    VideoView view;
    const QPointF C(512, 256);
    const QPointF S = C + error;
    view.m_HoleFound = true;
    view.m_HoleCenterSmoothed = QPointF(S.x() / 1024, S.y() / 512);
    view.m_HoleCenter = QPointF(0.1, 0.1);
    // Both crosshair circles shrink into the gap between the arms.
    view.m_HoleRadius = 0.001;
    view.m_Radius2 = 0.001;

    const QImage shown = Overlay(view, 1024, 512);

    const int tickX = TruncToInt(C.x() + 3 * error.x());
    const int tickY = TruncToInt(C.y() + 3 * error.y());
    for (int side : {-1, 1})
    {
        QCOMPARE(shown.pixel(tickX, int(C.y()) + side * 3), verticalColor);
        QCOMPARE(shown.pixel(tickX, int(C.y()) + side * 15), verticalColor);
        QCOMPARE(shown.pixel(int(C.x()) + side * 3, tickY), horizontalColor);
        QCOMPARE(shown.pixel(int(C.x()) + side * 15, tickY), horizontalColor);
    }
    if (verticalColor != kGreen)
    {
        QCOMPARE(shown.pixel(tickX - 1, int(C.y()) - 3), kWhite);
        QCOMPARE(shown.pixel(tickX + 1, int(C.y()) - 3), kWhite);
    }
}

void tst_VideoView::circles_data()
{
    QTest::addColumn<bool>("holeFound");
    QTest::addColumn<int>("innerRadius");

    // Radii 0.05 and 0.1 and a hole radius of 0.03 on an 800-px picture.
    QTest::newRow("no hole: radius1 and radius2") << false << 40;
    QTest::newRow("hole: inner circle takes the hole radius") << true << 24;
}

void tst_VideoView::circles()
{
    QFETCH(bool, holeFound);
    QFETCH(int, innerRadius);
    VideoView view;
    view.m_Radius1 = 0.05;
    view.m_Radius2 = 0.1;
    view.m_HoleFound = holeFound;
    view.m_HoleRadius = 0.03;
    view.m_HoleCenter = view.m_HoleCenterSmoothed = QPointF(0.1, 0.1);

    const QImage shown = Overlay(view, 800, 600);

    // Rows through the centre belong to the arms; walk the row 10 px below.
    const int y = 310;
    QList<int> green;
    for (int x = 401; x < 800; ++x)
        if (shown.pixel(x, y) == kGreen && shown.pixel(x - 1, y) != kGreen)
            green << x - 400;
    QCOMPARE(green.size(), 2);
    QVERIFY(qAbs(green[0] - std::sqrt(innerRadius * innerRadius - 100.0)) <= 1.0);
    QVERIFY(qAbs(green[1] - std::sqrt(80 * 80 - 100.0)) <= 1.0);
    for (const QPoint& arm : {QPoint(397, 300), QPoint(403, 300), QPoint(400, 297), QPoint(400, 303),
                              QPoint(0, 300), QPoint(400, 0)})
        QCOMPARE(shown.pixel(arm), kGreen);
    for (const QPoint& gap : {QPoint(400, 300), QPoint(398, 300), QPoint(402, 300), QPoint(400, 302)})
        QCOMPARE(shown.pixel(gap), kWhite);
}

void tst_VideoView::marker_data()
{
    QTest::addColumn<bool>("flipH");
    QTest::addColumn<QColor>("markerColor");
    QTest::addColumn<int>("markerWidth");
    QTest::addColumn<QRgb>("expected");

    // Alpha 80 of blue over white.
    const QRgb translucent = qRgb(175, 175, 255);
    QTest::newRow("default translucent marker") << false << QColor() << 6 << translucent;
    QTest::newRow("marker under flipH") << true << QColor() << 6 << translucent;
    QTest::newRow("opaque red, width 10") << false << QColor(Qt::red) << 10 << kRed;
}

void tst_VideoView::marker()
{
    QFETCH(bool, flipH);
    QFETCH(QColor, markerColor);
    QFETCH(int, markerWidth);
    QFETCH(QRgb, expected);
    if (markerColor.isValid())
        m_Panel->m_MarkerColor = markerColor;
    m_Panel->m_MarkerWidthSlider->setValue(markerWidth);
    VideoView view;
    view.m_FlipH = flipH;
    view.m_HoleFound = true;
    view.m_HoleRadius = 0.05;
    view.m_HoleCenter = view.m_HoleCenterSmoothed = QPointF(0.25, 0.25);

    const QImage shown = Overlay(view, 800, 600);

    // Radius 40 around (200, 150), or (600, 150) mirrored.
    const int x = flipH ? 600 : 200;
    const int half = markerWidth / 2 - 1;
    for (int dx : {-half, 0, half})
    {
        const QColor pixel = shown.pixelColor(x + 40 + dx, 150);
        QVERIFY2(qAbs(pixel.red() - qRed(expected)) <= 1 && qAbs(pixel.green() - qGreen(expected)) <= 1
                     && pixel.blue() == qBlue(expected),
                 qPrintable(pixel.name()));
    }
    QCOMPARE(shown.pixel(x + 40 + half + 3, 150), kWhite);
    QCOMPARE(shown.pixel(800 - x + 40, 150), kWhite);
    QCOMPARE(shown.pixel(397, 300), kGreen);
}

void tst_VideoView::farAwayGeometry_data()
{
    QTest::addColumn<QPointF>("crosshair");
    QTest::addColumn<double>("radius");
    QTest::addColumn<int>("greenRow");
    QTest::addColumn<int>("greenColumn");

    QTest::newRow("crosshair far right") << QPointF(1e12, 0.5) << 0.01 << 300 << -1;
    QTest::newRow("crosshair far below") << QPointF(0.5, -1e15) << 0.01 << -1 << 400;
    QTest::newRow("crosshair beyond double range on screen") << QPointF(1e308, 1e308) << 0.01 << -1 << -1;
    QTest::newRow("huge stored radius") << QPointF(0.5, 0.5) << 1e9 << 300 << 400;
    // The painter would turn this circle into a solid row through its centre.
    QTest::newRow("absurd circle touching the picture") << QPointF(1.25e297, 0.75) << 1.25e297 << 150 << -1;
}

void tst_VideoView::farAwayGeometry()
{
    QFETCH(QPointF, crosshair);
    QFETCH(double, radius);
    QFETCH(int, greenRow);
    QFETCH(int, greenColumn);
    VideoView view;
    view.resize(800, 600);
    view.m_CrosshairPos = crosshair;
    view.m_Radius1 = view.m_Radius2 = radius;

    view.SetImage(Blank(), true, false, kDefaultThreshold, 0.75);

    QVERIFY(!view.m_HoleFound);
    const QImage shown = Shown(view);
    QCOMPARE(shown.size(), QSize(800, 600));
    int greenOnRow = 0;
    int greenOnColumn = 0;
    int greenElsewhere = 0;
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x)
        {
            if (shown.pixel(x, y) != kGreen)
                continue;
            if (y == greenRow)
                ++greenOnRow;
            else if (x == greenColumn)
                ++greenOnColumn;
            else
                ++greenElsewhere;
        }
    // Dash-dot arms never fill a whole row.
    QVERIFY(greenOnRow < 800);
    QCOMPARE(greenOnRow > 0, greenRow >= 0);
    QCOMPARE(greenOnColumn > 0, greenColumn >= 0);
    QCOMPARE(greenElsewhere, 0);
}

void tst_VideoView::truncToInt_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");

    QTest::newRow("positive truncates") << 2.9 << 2;
    QTest::newRow("negative truncates toward zero") << -0.7 << 0;
    QTest::newRow("int max + 0.5") << 2147483647.5 << INT_MAX;
    QTest::newRow("just below int min") << -2147483648.9 << INT_MIN;
    QTest::newRow("1e300") << 1e300 << INT_MAX;
    QTest::newRow("-inf") << -qInf() << INT_MIN;
    QTest::newRow("NaN") << qQNaN() << 0;
}

void tst_VideoView::truncToInt()
{
    QFETCH(double, value);
    QTEST(TruncToInt(value), "expected");
}


void tst_VideoView::paintsAsALabel_data()
{
    QTest::addColumn<QSize>("viewSize");
    QTest::addColumn<QRect>("repainted");

    QTest::newRow("picture fills the view") << QSize(800, 600) << QRect(0, 0, 800, 600);
    QTest::newRow("band beside the picture") << QSize(1000, 600) << QRect(0, 0, 1000, 600);
    QTest::newRow("bands above and below") << QSize(320, 600) << QRect(0, 0, 320, 600);
    QTest::newRow("part across the picture's edge") << QSize(1000, 600) << QRect(700, 100, 250, 80);
    QTest::newRow("part above the picture") << QSize(320, 600) << QRect(10, 20, 100, 50);
}

void tst_VideoView::paintsAsALabel()
{
    // Painted opaque when it fills its own background, the view must look
    // exactly as the label it is would paint itself.
    QFETCH(QSize, viewSize);
    QFETCH(QRect, repainted);
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(5, 10, 200));
    VideoView view;
    view.setPalette(palette);
    view.setAutoFillBackground(true);
    view.resize(viewSize);
    view.SetImage(Scene(QPoint(320, 240), 20, 20), false, false, kDefaultThreshold, 0.75);
    QVERIFY(view.testAttribute(Qt::WA_OpaquePaintEvent));
    QLabel label;
    label.setPalette(palette);
    label.setAutoFillBackground(true);
    label.resize(viewSize);
    label.setPixmap(view.pixmap(Qt::ReturnByValue));

    const QImage shown = view.grab(repainted).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage expected = label.grab(repainted).toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), repainted.size());
    QCOMPARE(shown, expected);
}

QTEST_MAIN(tst_VideoView)
#include "tst_VideoView.moc"
