#include "ColorButton.h"
#include "PanelTestSupport.h"

#include <QSignalSpy>
#include <QtTest>

class tst_ColorButton : public QObject
{
    Q_OBJECT

private slots:
    void swatch_data();
    void swatch();
    void textIsNeverDrawn();
    void pressChangesNothingButClicks();
    void partialRepaintMatchesFullRepaint();

private:
    // Renders over a green background, so a translucent swatch would show it.
    static QImage RenderOverGreen(ColorButton& button, const QRegion& region = QRegion())
    {
        QPixmap pixmap(button.size());
        pixmap.fill(Qt::green);
        // The region is rendered where it lies in the button.
        button.render(&pixmap, region.boundingRect().topLeft(), region);
        return pixmap.toImage();
    }
};

void tst_ColorButton::swatch_data()
{
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QRgb>("shown");

    QTest::newRow("opaque red") << QColor(255, 0, 0) << qRgb(255, 0, 0);
    QTest::newRow("translucent blue alpha 80 shown opaque") << QColor(0, 0, 255, 80) << qRgb(0, 0, 255);
    QTest::newRow("fully transparent yellow shown opaque") << QColor(255, 255, 0, 0) << qRgb(255, 255, 0);
    QTest::newRow("never set: invalid colour paints black") << QColor() << qRgb(0, 0, 0);
}

void tst_ColorButton::swatch()
{
    QFETCH(QColor, color);
    QFETCH(QRgb, shown);

    ColorButton button;
    button.setFixedSize(32, 20);
    if (color.isValid())
        button.SetColor(color);

    // The left column and top row carry the outline; every other pixel is the swatch.
    const QImage image = RenderOverGreen(button);
    for (int y = 1; y < image.height(); ++y)
        for (int x = 1; x < image.width(); ++x)
            QCOMPARE(image.pixel(x, y), shown);
    for (int x = 0; x < image.width(); ++x)
        QCOMPARE(qAlpha(image.pixel(x, 0)), 255);
}

void tst_ColorButton::textIsNeverDrawn()
{
    ColorButton button;
    button.setFixedSize(32, 20);
    button.SetColor(Qt::white);
    const QImage plain = RenderOverGreen(button);
    button.setText("Xy");
    QCOMPARE(RenderOverGreen(button), plain);
}

void tst_ColorButton::pressChangesNothingButClicks()
{
    ColorButton button;
    button.setFixedSize(32, 20);
    button.SetColor(Qt::red);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QSignalSpy clicked(&button, &QPushButton::clicked);

    const QImage released = RenderOverGreen(button);
    QTest::mousePress(&button, Qt::LeftButton);
    QVERIFY(button.isDown());
    QCOMPARE(RenderOverGreen(button), released);
    QTest::mouseRelease(&button, Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
}

void tst_ColorButton::partialRepaintMatchesFullRepaint()
{
    ColorButton button;
    button.setFixedSize(32, 20);
    button.SetColor(QColor(200, 100, 50, 128));
    const QImage full = RenderOverGreen(button);

    const QRect exposed(10, 5, 12, 8);
    const QImage partial = RenderOverGreen(button, exposed);
    for (int y = 0; y < full.height(); ++y) {
        for (int x = 0; x < full.width(); ++x) {
            const QRgb expected = exposed.contains(x, y) ? full.pixel(x, y) : qRgb(0, 255, 0);
            if (partial.pixel(x, y) != expected)
                QFAIL(qPrintable(QString("pixel %1,%2 is %3").arg(x).arg(y).arg(partial.pixel(x, y), 8, 16)));
        }
    }
}

QTEST_MAIN(tst_ColorButton)
#include "tst_ColorButton.moc"
