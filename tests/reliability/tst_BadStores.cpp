#include "ChildProcess.h"
#include "ChildRoles.h"
#include "ReliabilityRun.h"
#include "StoreKeys.h"
#include "StoreScrub.h"

#include <QApplication>
#include <QCameraInfo>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QPointF>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

// Settings stores that a user, a crash or another program has mangled, and
// stores that cannot be written. Each case starts the whole window in a
// child process on its own store and shows a frame; the child must not
// crash or trip a sanitizer, every value it uses must be the stored one (as
// the program converts it) or the default, and its next change must be in
// use and, where the store is writable, written.
class tst_BadStores : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void handMadeStores_data();
    void handMadeStores();
    void truncatedAndFlippedStores();
    void unwritableStores_data();
    void unwritableStores();

private:
    enum class Shape { File, Directory, FileForFolder, ReadOnlyFolder };

    // Writes the store, runs one child on it and returns what went wrong,
    // or an empty string.
    QString RunCase(const QByteArray& content, const QVariantMap& values, Shape shape);

    QString m_DefaultDevice;
    int m_Cases = 0;
    int m_Crashes = 0;
    int m_Reports = 0;
    int m_WrongValues = 0;
    int m_LostChanges = 0;
    qint64 m_SlowestMs = 0;
};

namespace
{
QString StorePath(const QString& home)
{
    return home + "/Orvelta/Lentavio.conf";
}

// Every key a full store holds, each with a value other than its default.
// The layout is one the window wrote, so that cuts and flips reach deep into
// what Qt reads back.
QVariantMap FullStoreValues()
{
    return {
        {"Camera/device", "simcam2"},
        {"Camera/position", 2},
        {"Camera/invertH", true},
        {"Camera/invertV", true},
        {"Filters/EdgeDetect/enabled", true},
        {"Filters/EdgeDetect/min_threshold", 55.5},
        {"Filters/EdgeDetect/max_threshold", 155.25},
        {"Filters/EdgeDetect/color", QColor(10, 200, 30)},
        {"Crosshair/radius1", 0.02},
        {"Crosshair/radius2", 0.07},
        {"Crosshair/position", QPointF(0.4, 0.6)},
        {"HoleDetect/Enabled", false},
        {"HoleDetect/FreezeCenterColor", true},
        {"HoleDetect/Threshold", 420},
        {"HoleDetect/Roundness", 610},
        {"HoleDetect/MarkerColor", QColor(200, 10, 10, 120)},
        {"HoleDetect/MarkerWidth", 9},
        {"HoleDetect/CenterColor", QColor(40, 40, 40)},
        {"MainWindow/geometry", QByteArray::fromHex(
            "01d9d0cb000300000000001e000000280000034100000291000000200000002a0000033f0000028f0000000000000000"
            "0320000000200000002a0000033f0000028f")},
        {"MainWindow/windowState", QByteArray::fromHex(
            "000000ff00000000fd0000000100000001000000eb00000221fc0200000003fb0000001e00430061006d006500720061"
            "00530065006c0065006300740057006e0064000000002b000000670000006700000067fb0000001a0048006f006c0065"
            "0044006500740065006300740057006e00640100000098000001150000011500000115fb0000001a0045006400670065"
            "0044006500740065006300740057006e006401000001b30000009900000099000000990000022f000002210000000400"
            "0000040000000800000008fc00000001000000020000000100000016006d00610069006e0054006f006f006c00420061"
            "00720100000000ffffffff0000000000000000")},
    };
}

QByteArray WrittenStore(const QVariantMap& values)
{
    QTemporaryDir folder;
    {
        QSettings store(folder.filePath("store.conf"), QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            store.setValue(it.key(), it.value());
    }
    QFile file(folder.filePath("store.conf"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray Garbage(quint32 seed, int size, bool withNul)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (char& byte : bytes) {
        byte = char(random.bounded(256));
        if (!withNul && byte == '\0')
            byte = '\x01';
    }
    return bytes;
}

// Values of another type than each key holds: a point, a list, a number
// where a colour belongs and a colour where a number belongs, NaN.
QList<QPair<QString, QVariant>> WrongTypes(const StoreKeys::Key& key)
{
    QList<QPair<QString, QVariant>> values{{"point", QPointF(3, 4)},
                                           {"list", QStringList{"a", "b"}},
                                           {"NaN", qQNaN()}};
    if (key.Type == StoreKeys::Kind::Colour)
        values << qMakePair(QString("number"), QVariant(42));
    else
        values << qMakePair(QString("colour"), QVariant(QColor(Qt::red)));
    return values;
}
} // namespace

void tst_BadStores::initTestCase()
{
    m_DefaultDevice = QCameraInfo::defaultCamera().deviceName();
    QVERIFY(!m_DefaultDevice.isEmpty());
}

void tst_BadStores::cleanupTestCase()
{
    ReliabilityRun::Report("bad settings stores",
                           QString("cases %1, crashes %2, sanitizer reports %3, wrong values %4, lost changes %5, "
                                   "slowest case %6 ms")
                               .arg(m_Cases)
                               .arg(m_Crashes)
                               .arg(m_Reports)
                               .arg(m_WrongValues)
                               .arg(m_LostChanges)
                               .arg(m_SlowestMs));
}

QString tst_BadStores::RunCase(const QByteArray& content, const QVariantMap& values, Shape shape)
{
    ++m_Cases;
    QTemporaryDir home;
    const QString path = StorePath(home.path());
    const QString folder = QFileInfo(path).path();
    // What the child must accept is read from a copy made before it writes.
    const QString snapshot = home.filePath("before.conf");
    switch (shape) {
    case Shape::Directory:
        QDir().mkpath(path);
        break;
    case Shape::FileForFolder: {
        QFile file(folder);
        if (!file.open(QIODevice::WriteOnly))
            return "cannot put a file where the folder belongs";
        break;
    }
    case Shape::File:
    case Shape::ReadOnlyFolder: {
        QDir().mkpath(folder);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return "cannot write the store";
        file.close();
        {
            QSettings store(path, QSettings::IniFormat);
            for (auto it = values.cbegin(); it != values.cend(); ++it)
                store.setValue(it.key(), it.value());
        }
        // Lines the program drops unread count as never stored.
        QFile stored(path);
        QFile before(snapshot);
        if (!stored.open(QIODevice::ReadOnly) || !before.open(QIODevice::WriteOnly))
            return "cannot copy the store";
        const QByteArray storedBytes = stored.readAll();
        const QByteArray scrubbed = StoreScrub::WithoutUnsafeValues(storedBytes);
        before.write(scrubbed.isNull() ? storedBytes : scrubbed);
        before.close();
        if (shape == Shape::ReadOnlyFolder) {
            // Tests run as root in CI, where permissions stop nobody: the
            // child then runs as another user (see unwritableStores).
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                              | QFile::ReadOther | QFile::ExeOther);
            QFile::setPermissions(home.path(), QFile::permissions(home.path()) | QFile::ExeOther | QFile::ReadOther);
        }
        break;
    }
    }
    ChildProcess child("store", home.path());
    if (shape == Shape::ReadOnlyFolder && ::getuid() == 0) {
        const QString staging = child.RunAsUser("nobody", "nogroup", home.filePath("program"));
        if (!staging.isEmpty())
            return staging;
    }
    child.Start();
    const bool ended = child.WaitForExit(ReliabilityRun::Sanitizer().isEmpty() ? 60000 : 180000);
    // Writable again, so that the folder can be removed by its owner.
    QFile::setPermissions(folder, QFile::permissions(folder) | QFile::WriteOwner);
    m_SlowestMs = qMax(m_SlowestMs, child.ElapsedMs());
    const bool report = child.HasSanitizerReport();
    if (report)
        ++m_Reports;
    if (!ended || child.Failed()) {
        ++m_Crashes;
        return child.Describe();
    }
    if (report)
        return child.Describe();

    QStringList problems;
    const QSettings store(snapshot, QSettings::IniFormat);
    const QList<QByteArray> used = child.Lines("use\t");
    if (used.size() != StoreKeys::All().size())
        problems << QString("%1 values in use reported").arg(used.size());
    for (const QByteArray& line : used) {
        const QStringList fields = QString::fromUtf8(line).split('\t');
        const StoreKeys::Key* key = StoreKeys::Find(fields.value(0));
        if (!key) {
            problems << "unknown key " + fields.value(0);
            continue;
        }
        const QStringList allowed =
            StoreKeys::Accepted(*key, store, fields.value(2).toInt(), fields.value(3).toInt(), m_DefaultDevice);
        if (!allowed.contains(fields.value(1))) {
            ++m_WrongValues;
            problems << QString("%1 in use is %2, not one of %3").arg(key->Name, fields.value(1), allowed.join(", "));
        }
    }

    const QList<QByteArray> changes = child.Lines("change\t");
    const QList<QByteArray> memory = child.Lines("memory\t");
    const QSettings written(path, QSettings::IniFormat);
    const bool writable = shape == Shape::File;
    bool lost = changes.isEmpty();
    for (const QByteArray& line : changes) {
        const QStringList fields = QString::fromUtf8(line).split('\t');
        const StoreKeys::Key* key = StoreKeys::Find(fields.value(0));
        const bool inUse = std::any_of(memory.cbegin(), memory.cend(),
                                       [&line](const QByteArray& used) { return used.startsWith(line); });
        const QString stored = key ? StoreKeys::Text(key->Type, written.value(key->Name)) : QString();
        if (!inUse || (writable && stored != fields.value(1))) {
            lost = true;
            problems << QString("change %1 to %2: in use %3, stored %4")
                            .arg(fields.value(0), fields.value(1), inUse ? "yes" : "no", stored);
        }
    }
    if (lost)
        ++m_LostChanges;
    const QString status = QString::fromUtf8(child.Lines("status\t").value(0));
    if (status.contains(path) == writable)
        problems << QString("status line after the changes: \"%1\"").arg(status);
    return problems.join("; ");
}

void tst_BadStores::handMadeStores_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QVariantMap>("values");
    QTest::addColumn<int>("shape");
    const int file = int(Shape::File);
    const auto text = [&](const char* name, const QByteArray& content) {
        QTest::newRow(name) << content << QVariantMap() << file;
    };

    text("empty file", "");
    text("only a group header", "[HoleDetect]\n");
    text("bool as text", "[Camera]\ninvertH=maybe\ninvertV=2\n");
    text("bool as invalid", "[HoleDetect]\nEnabled=@Invalid()\nFreezeCenterColor=@Invalid(\n");
    text("thresholds NaN", "[Filters]\nEdgeDetect\\min_threshold=nan\nEdgeDetect\\max_threshold=NaN\n");
    text("thresholds inf", "[Filters]\nEdgeDetect\\min_threshold=inf\nEdgeDetect\\max_threshold=-inf\n");
    text("thresholds 1e308", "[Filters]\nEdgeDetect\\min_threshold=1e308\nEdgeDetect\\max_threshold=-1e308\n");
    text("thresholds 1e999 overflow", "[Filters]\nEdgeDetect\\min_threshold=1e999\nEdgeDetect\\max_threshold=1e-999\n");
    text("thresholds not numbers", "[Filters]\nEdgeDetect\\min_threshold=abc\nEdgeDetect\\max_threshold=\"12\n");
    text("edge colour not a colour", "[Filters]\nEdgeDetect\\color=notacolor\n");
    text("edge colour bad hex", "[Filters]\nEdgeDetect\\color=#12345\n");
    text("edge colour truncated variant", "[Filters]\nEdgeDetect\\color=@Variant(\\0\\0\\0\\x43\\0\n");
    text("edge colour truncated bytearray", "[Filters]\nEdgeDetect\\color=@ByteArray(\n");
    text("edge colour variant of unknown type", "[Filters]\nEdgeDetect\\color=@Variant(\\0\\0\\x7f\\xff\\0)\n");
    text("threshold beyond int", "[HoleDetect]\nThreshold=99999999999\nRoundness=2147483648\n");
    text("threshold negative", "[HoleDetect]\nThreshold=-5\nRoundness=-2147483649\n");
    text("threshold fraction", "[HoleDetect]\nThreshold=3.7\nRoundness=1e308\n");
    text("threshold hex and text", "[HoleDetect]\nThreshold=0x10\nRoundness=abc\n");
    text("marker width NaN", "[HoleDetect]\nMarkerWidth=nan\n");
    text("marker width huge", "[HoleDetect]\nMarkerWidth=2147483647\n");
    text("marker colour by name", "[HoleDetect]\nMarkerColor=red\n");
    text("marker colour truncated variant", "[HoleDetect]\nMarkerColor=@Variant(\\0\\0\\0\\x43)\n");
    text("marker colour truncated bytearray", "[HoleDetect]\nMarkerColor=@ByteArray(abc\n");
    text("centre colour garbage while frozen", "[HoleDetect]\nFreezeCenterColor=true\nCenterColor=@Variant(\\xff\n");
    text("crosshair radii NaN", "[Crosshair]\nradius1=nan\nradius2=-inf\n");
    text("crosshair radii 1e308", "[Crosshair]\nradius1=1e308\nradius2=-1e308\n");
    text("crosshair position garbage", "[Crosshair]\nposition=@Variant(\\0\\0\\0\\x1a\n");
    text("crosshair position as list of infinities", "[Crosshair]\nposition=inf, nan\n");
    text("layout truncated bytearray", "[MainWindow]\ngeometry=@ByteArray(\\x1\\xd9\\xd0\\xcb\\0\\x3\nwindowState=@ByteArray(\n");
    text("layout garbage", "[MainWindow]\ngeometry=@ByteArray(garbage)\nwindowState=@ByteArray(\\xff\\xff\\xff\\xff)\n");
    // One flipped byte that made the window read past its four dock areas.
    text("layout naming a dock area that does not exist",
         "[MainWindow]\nwindowState=@ByteArray(\\0\\0\\0\\xff\\0\\0\\0\\0\\xfd\\0\\0\\0\\x1\\0\\0\\0\\x\x0e"
         "\\0\\0\\x1\\x63\\0\\0\\x1\\x99\\xfc)\n");
    // Flipped bytes that turned the type of a stored value into one whose
    // counts Qt trusts.
    text("colour variant turned into a polygon",
         "[HoleDetect]\nMarkerColor=@Variant(\\0\\0\\0Gx43\\x1xx\\xc8\\xc8\\n\\n\\n\\n\\0\\0)\n");
    text("point variant turned into another type",
         "[Crosshair]\nposition=@Variant(\\0\\0\\0\\^1a?\\xd9\\x99\\x99\\x99\\x99\\x99\\x9a?\\xe3\\x33\\x33"
         "\\x33\\x33\\x33\\x33)\n");
    text("camera not present", "[Camera]\ndevice=nosuchcamera\nposition=1\n");
    text("camera position garbage", "[Camera]\ndevice=simcam2\nposition=@Variant(\\0\\0\\0\\x2\\xff\\xff\\xff\\xff)\n");
    text("camera position out of range", "[Camera]\ndevice=simcam2\nposition=99\n");
    text("camera device bytes", "[Camera]\ndevice=@ByteArray(\\xff\\xfe\\0)\n");
    text("duplicate keys", "[HoleDetect]\nThreshold=100\nThreshold=900\n[HoleDetect]\nThreshold=300\n");
    text("duplicate keys across spellings", "[HoleDetect]\nThreshold=100\n[General]\nHoleDetect\\Threshold=700\n");
    text("unterminated group", "[HoleDetect\nThreshold=100\n");
    text("continuation at end of file", "[HoleDetect]\nThreshold=\\");
    text("unterminated quote", "[HoleDetect]\nThreshold=\"123\nRoundness=\"\n");
    text("no equals sign", "[HoleDetect]\nThreshold\nRoundness 5\n");
    text("CRLF line ends", "[HoleDetect]\r\nThreshold=400\r\nEnabled=false\r\n");
    text("percent escapes in keys", "[Hole%44etect]\nThres%FFhold=1\n%U0000=2\n");
    text("invalid UTF-8", "[HoleDetect]\nMarkerColor=\xff\xfe\xfd\nThreshold=\xc3\x28\n");
    text("binary garbage", Garbage(1, 4096, false));
    text("binary garbage with NULs", Garbage(2, 4096, true));
    text("NULs only", QByteArray(1024, '\0'));
    text("20 MB line", "[HoleDetect]\nThreshold=" + QByteArray(20 << 20, '7') + "\n");
    text("20 MB line without a newline", QByteArray(20 << 20, 'x'));
    text("a million tiny keys", [] {
        QByteArray content = "[Junk]\n";
        for (int i = 0; i < 1000000; ++i)
            content += "k" + QByteArray::number(i) + "=1\n";
        return content;
    }());
    QTest::newRow("a directory where the file should be") << QByteArray() << QVariantMap() << int(Shape::Directory);

    // Every key once with each of several values of the wrong type.
    for (const StoreKeys::Key& key : StoreKeys::All())
        for (const auto& wrong : WrongTypes(key))
            QTest::newRow(qPrintable(QString("%1 as %2").arg(key.Name, wrong.first)))
                << QByteArray() << QVariantMap{{key.Name, wrong.second}} << file;
}

void tst_BadStores::handMadeStores()
{
    QFETCH(QByteArray, content);
    QFETCH(QVariantMap, values);
    QFETCH(int, shape);
    const QString failure = RunCase(content, values, Shape(shape));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

// Every cut of a full store, and seeded byte flips of it. Fast tier: a
// sample of both. The slow tier shares the cases out among several runs.
void tst_BadStores::truncatedAndFlippedStores()
{
    const QByteArray full = WrittenStore(FullStoreValues());
    QVERIFY(full.size() > 500);
    const int cutStep = ReliabilityRun::Rounds(97, 1, 7);
    const int flips = ReliabilityRun::Rounds(10, 300, 60);

    QStringList failures;
    int tried = 0;
    int round = 0;
    for (int length = 0; length < full.size(); length += cutStep) {
        if (!ReliabilityRun::IsInPart(round++))
            continue;
        ++tried;
        const QString failure = RunCase(full.left(length), {}, Shape::File);
        if (!failure.isEmpty())
            failures << QString("cut at %1: %2").arg(length).arg(failure);
    }
    QRandomGenerator random(20240611);
    for (int i = 0; i < flips; ++i) {
        // Drawn in every part, so that each flip is the same whichever part runs it.
        QByteArray flipped = full;
        const int at = int(random.bounded(quint32(full.size())));
        flipped[at] = char(flipped[at] ^ char(1 + random.bounded(255)));
        if (!ReliabilityRun::IsInPart(round++))
            continue;
        ++tried;
        const QString failure = RunCase(flipped, {}, Shape::File);
        if (!failure.isEmpty())
            failures << QString("flip %1 at %2: %3").arg(i).arg(at).arg(failure);
    }
    qInfo("%d cuts and flips of a %d-byte store tried", tried, int(full.size()));
    QVERIFY2(failures.isEmpty(), qPrintable(failures.mid(0, 5).join("\n")));
}

void tst_BadStores::unwritableStores_data()
{
    QTest::addColumn<int>("shape");
    QTest::newRow("a file where the store's folder should be") << int(Shape::FileForFolder);
    QTest::newRow("store and folder read-only to the user") << int(Shape::ReadOnlyFolder);
}

// The program runs, uses the stored values, keeps changes in memory and
// does not hang on the failing writes.
void tst_BadStores::unwritableStores()
{
    QFETCH(int, shape);
    if (Shape(shape) == Shape::ReadOnlyFolder && ::getuid() == 0 && !ChildProcess::CanRunAsUser("nobody", "nogroup"))
        QSKIP("root ignores permissions, and this process cannot start another as nobody");
    const QString failure = RunCase(WrittenStore(FullStoreValues()), {}, Shape(shape));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

int main(int argc, char** argv)
{
    return ChildRoles::Main<tst_BadStores>(argc, argv, "cameras=2;size=320x240;rates=30");
}

#include "tst_BadStores.moc"
