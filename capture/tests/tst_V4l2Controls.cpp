#include "V4l2Controls.h"

#include <QtTest>

Q_DECLARE_METATYPE(V4l2Control)

// How a wanted value is brought within what a device control takes.
class tst_V4l2Controls : public QObject
{
    Q_OBJECT

private slots:
    void nearest_data();
    void nearest();
};

void tst_V4l2Controls::nearest_data()
{
    QTest::addColumn<V4l2Control>("control");
    QTest::addColumn<qint64>("wanted");
    QTest::addColumn<qint32>("nearest");
    V4l2Control exposure;
    exposure.Minimum = 3;
    exposure.Maximum = 2047;
    exposure.Step = 1;
    V4l2Control focus;
    focus.Minimum = 0;
    focus.Maximum = 250;
    focus.Step = 5;
    V4l2Control offGrid;
    offGrid.Minimum = 1;
    offGrid.Maximum = 10;
    offGrid.Step = 4;
    V4l2Control menu;
    menu.IsMenu = true;
    menu.Minimum = 0;
    menu.Maximum = 3;
    menu.MenuEntries = {{1, "Manual Mode"}, {3, "Aperture Priority Mode"}};
    QTest::newRow("within range") << exposure << qint64(156) << 156;
    QTest::newRow("below minimum") << exposure << qint64(0) << 3;
    QTest::newRow("above maximum") << exposure << qint64(5000) << 2047;
    QTest::newRow("beyond 32 bits") << exposure << (qint64(1) << 40) << 2047;
    QTest::newRow("between steps rounds to nearest") << focus << qint64(13) << 15;
    QTest::newRow("between steps rounds down") << focus << qint64(12) << 10;
    QTest::newRow("maximum off the step grid") << offGrid << qint64(10) << 9;
    QTest::newRow("menu gap") << menu << qint64(2) << 1;
    QTest::newRow("menu above") << menu << qint64(7) << 3;
    QTest::newRow("menu entry") << menu << qint64(3) << 3;
}

void tst_V4l2Controls::nearest()
{
    QFETCH(V4l2Control, control);
    QFETCH(qint64, wanted);
    QFETCH(qint32, nearest);
    QCOMPARE(control.Nearest(wanted), nearest);
    QCOMPARE(control.Accepts(wanted), wanted == nearest);
}

QTEST_GUILESS_MAIN(tst_V4l2Controls)
#include "tst_V4l2Controls.moc"
