#include "TrimExtremeRays.h"

#include <QtTest>

class tst_TrimExtremeRays : public QObject
{
    Q_OBJECT

private slots:
    void trim_data();
    void trim();
};

void tst_TrimExtremeRays::trim_data()
{
    QTest::addColumn<QList<float>>("lengths");
    QTest::addColumn<QList<int>>("unset");
    QTest::addColumn<QList<int>>("mirrored");

    QTest::newRow("short ties: lower indices trimmed")
        << QList<float>{10, 11, 12, 13, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5}
        << QList<int>{0, 1, 2, 3, 4, 5, 6, 7} << QList<int>{};
    QTest::newRow("long ties: higher indices trimmed")
        << QList<float>{5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 1, 2, 3, 4}
        << QList<int>{8, 9, 10, 11, 12, 13, 14, 15} << QList<int>{};
    QTest::newRow("one of each pair trimmed: partner mirrored")
        << QList<float>{1, 51, 2, 53, 3, 55, 4, 57, 90, 59, 91, 61, 92, 63, 93, 65}
        << QList<int>{} << QList<int>{0, 2, 4, 6, 8, 10, 12, 14};
}

void tst_TrimExtremeRays::trim()
{
    QFETCH(QList<float>, lengths);
    QFETCH(QList<int>, unset);
    QFETCH(QList<int>, mirrored);
    // Alternating directions keep equal lengths exactly equal.
    RayHits original;
    for (int r = 0; r < kRayCount; ++r)
        original[r] = RayHit{r, QVector2D(r % 2 ? -lengths[r] : lengths[r], 0.0f)};

    RayHits hits = original;
    TrimExtremeRays(hits);

    for (int r = 0; r < kRayCount; ++r)
    {
        QCOMPARE(hits[r].Index, r);
        if (unset.contains(r))
            QVERIFY2(IsUnset(hits[r].Offset), qPrintable(QString::number(r)));
        else if (mirrored.contains(r))
            QCOMPARE(hits[r].Offset, -original[r ^ 1].Offset);
        else
            QCOMPARE(hits[r].Offset, original[r].Offset);
    }
}

QTEST_APPLESS_MAIN(tst_TrimExtremeRays)
#include "tst_TrimExtremeRays.moc"
