#include "StoreScrub.h"

#include <QColor>
#include <QPointF>
#include <QRect>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// Lines whose value Qt would decode as a variant of a type it cannot read
// safely go; every other line stays as it was, and what is left reads back
// without trouble.
class tst_StoreScrub : public QObject
{
    Q_OBJECT

private slots:
    void storesQtWritesStayAsTheyAre();
    void unsafeLinesGo_data();
    void unsafeLinesGo();
    void theStoreFileIsReplaced();
};

namespace
{
const QByteArray kBefore = "[Group]\nfirst=1\n";
const QByteArray kAfter = "last=@Variant(\\0\\0\\0\\x43\\x1\\xff\\xff\\n\\n\\xc8\\xc8\\x1e\\x1e\\0\\0)\nend=2\n";

// Every value of the store read through QSettings, so that a variant left
// behind would be decoded here.
QVariantMap ReadBack(const QByteArray& store)
{
    QTemporaryDir folder;
    QFile file(folder.filePath("store.conf"));
    if (!file.open(QIODevice::WriteOnly) || file.write(store) != store.size())
        return {};
    file.close();
    QSettings settings(file.fileName(), QSettings::IniFormat);
    QVariantMap values;
    for (const QString& key : settings.allKeys())
        values.insert(key, settings.value(key));
    return values;
}
} // namespace

void tst_StoreScrub::storesQtWritesStayAsTheyAre()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("store.conf");
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue("Colour/plain", QColor(10, 200, 30));
        settings.setValue("Colour/translucent", QColor(200, 10, 10, 120));
        settings.setValue("Point/position", QPointF(0.4, 0.6));
        settings.setValue("Bytes/layout", QByteArray::fromHex("000000ff00fd0000"));
        settings.setValue("Number/double", 155.25);
        settings.setValue("Number/int", 420);
        settings.setValue("Flag/on", true);
        settings.setValue("Text/name", QString("a, \"quoted\" list\\ of words"));
        settings.setValue("Shape/size", QSize(3, 4));
        settings.setValue("Shape/rect", QRect(1, 2, 3, 4));
        settings.setValue("Shape/rectF", QRectF(1.5, 2, 3, 4));
        settings.setValue("Number/float", 1.5f);
        settings.setValue("Number/big", Q_INT64_C(1) << 40);
        settings.setValue("Text/char", QChar(0x263a));
        settings.setValue("Text/escaped", QString("@Variant(not one)"));
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray store = file.readAll();
    QVERIFY(store.contains("@Variant("));
    QVERIFY(StoreScrub::WithoutUnsafeValues(store).isNull());
}

void tst_StoreScrub::unsafeLinesGo_data()
{
    QTest::addColumn<QByteArray>("unsafe");

    // Type 71, a polygon: its count of points is taken as it stands.
    QTest::newRow("polygon") << QByteArray("bad=@Variant(\\0\\0\\0G\\0\\0\\0\\xff\\xff\\xff\\xff)\n");
    QTest::newRow("flipped colour") << QByteArray("MarkerColor=@Variant(\\0\\0\\0Gx43\\x1xx\\xc8\\xc8\\n\\n\\n\\n\\0\\0)\n");
    QTest::newRow("flipped point") << QByteArray(
        "position=@Variant(\\0\\0\\0\\^1a?\\xd9\\x99\\x99\\x99\\x99\\x99\\x9a?\\xe3\\x33\\x33\\x33\\x33\\x33\\x33)\n");
    QTest::newRow("type as hex") << QByteArray("bad=@Variant(\\x0\\0\\0\\x47\\0\\0\\0\\xff\\xff\\xff\\xff)\n");
    QTest::newRow("type as octal") << QByteArray("bad=@Variant(\\0\\0\\0\\107\\0\\0\\0\\xff\\xff\\xff\\xff)\n");
    QTest::newRow("list of variants") << QByteArray("bad=@Variant(\\0\\0\\0\\t\\0\\xff\\xff\\xff\\xff)\n");
    QTest::newRow("string list") << QByteArray("bad=@Variant(\\0\\0\\0\\v\\0\\x7f\\xff\\xff\\xff)\n");
    QTest::newRow("user type") << QByteArray("bad=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\0\\x6QFont\\0)\n");
    QTest::newRow("date and time") << QByteArray("bad=@DateTime(\\0\\0\\0G\\0\\0\\0\\xff\\xff\\xff\\xff)\n");
    QTest::newRow("in quotes") << QByteArray("bad=\"@Variant(\\0\\0\\0G\\0\\0\\0\\xff\\xff\\xff\\xff)\"\n");
    QTest::newRow("quotes inside") << QByteArray("bad=\"@Var\"iant(\\0\\0\\0G\\0\\0\\0\\xff\\xff\\xff\\xff)\n");
    QTest::newRow("an item of a list") << QByteArray("bad=a, @Variant(\\0\\0\\0G\\0\\0\\0\\xff\\xff\\xff\\xff)\n");
    QTest::newRow("spaces around") << QByteArray("bad =  @Variant(\\0\\0\\0G\\0\\0\\0\\xff\\xff\\xff\\xff)  \n");
    QTest::newRow("carried on to the next line")
        << QByteArray("bad=@Variant(\\0\\0\\\n\\0G\\0\\0\\0\\xff\\xff\\xff\\xff)\n");
    QTest::newRow("beyond Latin-1 read as a question mark")
        << QByteArray("bad=@Variant(\\0\\0\\0\\x1047\\0\\0\\0\\xff\\xff\\xff\\xff)\n");
    QTest::newRow("CRLF") << QByteArray("bad=@Variant(\\0\\0\\0G\\0\\0\\0\\xff\\xff\\xff\\xff)\r\n");
}

void tst_StoreScrub::unsafeLinesGo()
{
    QFETCH(QByteArray, unsafe);
    const QByteArray kept = StoreScrub::WithoutUnsafeValues(kBefore + unsafe + kAfter);
    QCOMPARE(kept, kBefore + kAfter);
    const QVariantMap values = ReadBack(kept);
    QCOMPARE(values.value("Group/first").toInt(), 1);
    QCOMPARE(values.value("Group/last").value<QColor>(), QColor(10, 200, 30));
    QCOMPARE(values.value("Group/end").toInt(), 2);
    QCOMPARE(values.size(), 3);
}

void tst_StoreScrub::theStoreFileIsReplaced()
{
    // The test's own throw-away store.
    const QString path = QSettings().fileName();
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    const QByteArray unsafe = "bad=@Variant(\\0\\0\\0G\\0\\0\\0\\xff\\xff\\xff\\xff)\n";
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kBefore + unsafe + kAfter);
    }
    StoreScrub::RemoveUnsafeValues();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), kBefore + kAfter);
    QVERIFY(!QFile::exists(path + ".lock"));
    QVERIFY(file.remove());
}

QTEST_MAIN(tst_StoreScrub)
#include "tst_StoreScrub.moc"
