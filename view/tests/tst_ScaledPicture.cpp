// The picture the view shows against the one the obvious code makes,
// QPixmap::fromImage(frame).transformed(scale(±s, ±s), smooth): the same
// size to the pixel, the same mirroring, colours within a small tolerance.

#include "CameraSettings.h"
#include "HoleDetectWnd.h"
#include "VideoView.h"

#include <QPixmap>
#include <QSettings>
#include <QTransform>
#include <QtTest>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace
{
const QRgb kMarker = qRgb(0, 0, 255);

// Smooth but not flat: a wave of period 64 x 48 pixels in red over
// gradients in green and blue, so a picture off by a pixel shows.
QImage Waves(const QSize& size)
{
    QImage frame(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(frame.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const double wave = std::sin(2 * M_PI * x / 64.0) * std::cos(2 * M_PI * y / 48.0);
            row[x] = qRgb(int(128 + 100 * wave), 255 * x / size.width(), 255 * y / size.height());
        }
    }
    return frame;
}

// The frame's first pixel, in memory order, in the middle of a block of
// marker colour large enough to survive any shrinking.
QImage MarkedCorner(const QSize& size)
{
    QImage frame(size, QImage::Format_RGB32);
    frame.fill(qRgb(200, 200, 200));
    for (int y = 0; y < size.height() / 8; ++y)
        for (int x = 0; x < size.width() / 8; ++x)
            frame.setPixel(x, y, kMarker);
    return frame;
}

double Scale(const QSize& frame, const QSize& view)
{
    const double scaleX = double(view.width()) / frame.width();
    const double scaleY = double(view.height()) / frame.height();
    return scaleX <= scaleY ? scaleX : scaleY;
}

QImage Obvious(const QImage& frame, double scale, bool flipH, bool flipV)
{
    const QTransform transform = QTransform::fromScale(flipH ? -scale : scale, flipV ? scale : -scale);
    return QPixmap::fromImage(frame).transformed(transform, Qt::SmoothTransformation).toImage().convertToFormat(
        QImage::Format_RGB32);
}

// Mean and largest difference of any colour channel over the picture.
void Difference(const QImage& a, const QImage& b, double* mean, int* largest)
{
    qint64 sum = 0;
    *largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb* rowA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const QRgb* rowB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            for (const int d : {qRed(rowA[x]) - qRed(rowB[x]), qGreen(rowA[x]) - qGreen(rowB[x]),
                                qBlue(rowA[x]) - qBlue(rowB[x])}) {
                sum += std::abs(d);
                *largest = std::max(*largest, std::abs(d));
            }
        }
    }
    *mean = double(sum) / (3.0 * a.width() * a.height());
}
}

class tst_ScaledPicture : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sameAsObvious_data();
    void sameAsObvious();

private:
    // Shows frame in a view of the given size and returns what it shows.
    QImage Show(const QImage& frame, const QSize& viewSize, bool flipH, bool flipV);

    std::unique_ptr<CameraSettings> m_Settings;
    std::unique_ptr<HoleDetectWnd> m_Panel;
};

void tst_ScaledPicture::init()
{
    QSettings().clear();
    // Far outside the picture: crosshair and circles draw nothing on it.
    QSettings().setValue("Crosshair/position", QPointF(50.0, 50.0));
    m_Settings = std::make_unique<CameraSettings>();
    m_Panel = std::make_unique<HoleDetectWnd>();
}

void tst_ScaledPicture::cleanup()
{
    m_Panel.reset();
    m_Settings.reset();
}

QImage tst_ScaledPicture::Show(const QImage& frame, const QSize& viewSize, bool flipH, bool flipV)
{
    m_Settings->SetInvertH(flipH);
    m_Settings->SetInvertV(flipV);
    VideoView view;
    view.resize(viewSize);
    view.SetImage(frame, false, false, 3125.0, 0.75);
    return view.pixmap(Qt::ReturnByValue).toImage().convertToFormat(QImage::Format_RGB32);
}

void tst_ScaledPicture::sameAsObvious_data()
{
    QTest::addColumn<QSize>("frameSize");
    QTest::addColumn<QSize>("viewSize");
    QTest::addColumn<bool>("flipH");
    QTest::addColumn<bool>("flipV");

    const struct
    {
        const char* name;
        QSize frame;
        QSize view;
    } sizes[] = {
        {"640x480 enlarged 1.25", {640, 480}, {800, 600}},
        {"1920x1080 shrunk 1.5", {1920, 1080}, {1280, 720}},
        {"3840x2160 shrunk 3", {3840, 2160}, {1280, 720}},
        {"1000x700 in 333x250: height rounded up, not to nearest", {1000, 700}, {333, 250}},
        {"odd 641x481 shrunk 3.2", {641, 481}, {200, 300}},
    };
    for (const auto& size : sizes) {
        for (const bool flipH : {false, true}) {
            for (const bool flipV : {false, true}) {
                const QString name = QString("%1, %2, %3")
                                         .arg(size.name, flipH ? "flipH" : "no flipH", flipV ? "flipV" : "no flipV");
                QTest::newRow(qPrintable(name)) << size.frame << size.view << flipH << flipV;
            }
        }
    }
}

void tst_ScaledPicture::sameAsObvious()
{
    QFETCH(QSize, frameSize);
    QFETCH(QSize, viewSize);
    QFETCH(bool, flipH);
    QFETCH(bool, flipV);
    const double scale = Scale(frameSize, viewSize);

    const QImage waves = Waves(frameSize);
    const QImage shown = Show(waves, viewSize, flipH, flipV);
    const QImage expected = Obvious(waves, scale, flipH, flipV);
    QCOMPARE(shown.size(), expected.size());
    double mean = 0.0;
    int largest = 0;
    Difference(shown, expected, &mean, &largest);
    // Filters differ in detail (Qt's samples are not pixel-centred, an odd
    // size loses its last column to 2 x 2 averaging); a pixel's shift or a
    // wrong mirroring costs tens of levels on these waves.
    QVERIFY2(mean <= 2.0 && largest <= 16,
             qPrintable(QString("mean difference %1, largest %2").arg(mean).arg(largest)));

    // Without the vertical flip the frame's row 0 is at the bottom.
    const QImage marked = Show(MarkedCorner(frameSize), viewSize, flipH, flipV);
    const int right = marked.width() - 1;
    const int bottom = marked.height() - 1;
    const QPoint corner(flipH ? right : 0, flipV ? 0 : bottom);
    QCOMPARE(Obvious(MarkedCorner(frameSize), scale, flipH, flipV).pixel(corner), kMarker);
    for (const QPoint& other : {QPoint(0, 0), QPoint(right, 0), QPoint(0, bottom), QPoint(right, bottom)}) {
        if (other == corner)
            QCOMPARE(marked.pixel(other), kMarker);
        else
            QVERIFY2(marked.pixel(other) != kMarker, qPrintable(QString("marker at %1, %2").arg(other.x()).arg(other.y())));
    }
}

QTEST_MAIN(tst_ScaledPicture)
#include "tst_ScaledPicture.moc"
