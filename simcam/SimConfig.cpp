#include "SimConfig.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

namespace {

constexpr int MaxCameras = 16;
const QSize MinSize{320, 240};
// Faster than any pipeline here, so a benchmark can find the program's own
// capacity rather than the camera's.
constexpr double MaxRate = 1000;
const QSize MaxSize{3840, 2160};

struct Entry
{
    int Camera = -1;  // -1: every camera
    QString Key;
    QString Value;
    QString Text;
};

bool ReadInt(const QString& text, int low, int high, int* result)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < low || value > high)
        return false;
    *result = value;
    return true;
}

bool ReadReal(const QString& text, qreal low, qreal high, qreal* result)
{
    bool ok = false;
    const qreal value = text.trimmed().toDouble(&ok);
    if (!ok || !(value >= low && value <= high))
        return false;
    *result = value;
    return true;
}

// A bare flag ("startfail") means on.
bool ReadFlag(const QString& text, bool* result)
{
    const QString value = text.trimmed();
    if (value.isEmpty() || value == QLatin1String("1") || value == QLatin1String("on")) {
        *result = true;
        return true;
    }
    if (value == QLatin1String("0") || value == QLatin1String("off")) {
        *result = false;
        return true;
    }
    return false;
}

bool ReadSize(const QString& text, QSize* result)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('x'));
    int width = 0;
    int height = 0;
    if (parts.size() != 2 || !ReadInt(parts[0], MinSize.width(), MaxSize.width(), &width)
        || !ReadInt(parts[1], MinSize.height(), MaxSize.height(), &height))
        return false;
    *result = QSize(width, height);
    return true;
}

bool ReadFormats(const QString& text, QVector<QVideoFrame::PixelFormat>* result)
{
    QVector<QVideoFrame::PixelFormat> formats;
    for (const QString& name : text.split(QLatin1Char(','))) {
        const QString format = name.trimmed().toLower();
        if (format == QLatin1String("rgb32"))
            formats.append(QVideoFrame::Format_RGB32);
        else if (format == QLatin1String("bgr24"))
            formats.append(QVideoFrame::Format_BGR24);
        else
            return false;
    }
    *result = formats;
    return true;
}

bool ReadRates(const QString& text, QVector<SimCameraSetup::RateRange>* result)
{
    QVector<SimCameraSetup::RateRange> rates;
    for (const QString& item : text.split(QLatin1Char(','))) {
        const QStringList bounds = item.split(QLatin1Char('-'));
        SimCameraSetup::RateRange range;
        if (bounds.size() > 2 || !ReadReal(bounds.first(), 0.5, MaxRate, &range.Min)
            || !ReadReal(bounds.last(), range.Min, MaxRate, &range.Max))
            return false;
        rates.append(range);
    }
    *result = rates;
    return true;
}

bool ReadPosition(const QString& text, QCamera::Position* result)
{
    const QString value = text.trimmed().toLower();
    if (value == QLatin1String("front"))
        *result = QCamera::FrontFace;
    else if (value == QLatin1String("back"))
        *result = QCamera::BackFace;
    else if (value == QLatin1String("unspecified"))
        *result = QCamera::UnspecifiedPosition;
    else
        return false;
    return true;
}

QVector<Entry> SplitEntries(const QString& text, QStringList* problems)
{
    static const QRegularExpression separators(QStringLiteral("[;\n]"));
    static const QRegularExpression indexed(QStringLiteral("^(\\d+)\\.(.+)$"));
    QVector<Entry> entries;
    for (const QString& raw : text.split(separators)) {
        const QString item = raw.trimmed();
        if (item.isEmpty() || item.startsWith(QLatin1Char('#')))
            continue;
        Entry entry;
        entry.Text = item;
        const int equals = item.indexOf(QLatin1Char('='));
        entry.Key = (equals < 0 ? item : item.left(equals)).trimmed().toLower();
        entry.Value = equals < 0 ? QString() : item.mid(equals + 1).trimmed();
        const QRegularExpressionMatch match = indexed.match(entry.Key);
        if (match.hasMatch()) {
            entry.Camera = match.captured(1).toInt() - 1;
            entry.Key = match.captured(2);
            if (entry.Camera < 0) {
                problems->append(item);
                continue;
            }
        }
        entries.append(entry);
    }
    return entries;
}

}  // namespace

QVector<SimCameraSetup> SimConfig::FromEnvironment(QStringList* problems)
{
    QString text = qEnvironmentVariable(EnvironmentVariable);
    QStringList ignored;
    QStringList* report = problems ? problems : &ignored;
    if (text.startsWith(QLatin1Char('@'))) {
        QFile file(text.mid(1).trimmed());
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            report->append(text);
            text.clear();
        } else {
            text = QString::fromUtf8(file.readAll());
        }
    }
    return Parse(text, report);
}

QVector<SimCameraSetup> SimConfig::Parse(const QString& text, QStringList* problems)
{
    QStringList ignored;
    QStringList* report = problems ? problems : &ignored;
    const QVector<Entry> entries = SplitEntries(text, report);

    int count = 1;
    for (const Entry& entry : entries) {
        if (entry.Key == QLatin1String("cameras")
            && (entry.Camera >= 0 || !ReadInt(entry.Value, 0, MaxCameras, &count)))
            report->append(entry.Text);
    }

    QVector<SimCameraSetup> cameras(count);
    for (int i = 0; i < count; ++i) {
        cameras[i].DeviceName = "simcam" + QByteArray::number(i + 1);
        cameras[i].Description = count == 1 ? QStringLiteral("Synthetic camera")
                                            : QStringLiteral("Synthetic camera %1").arg(i + 1);
    }
    // Shared keys first, so a camera's own entry wins wherever it stands.
    for (const bool shared : {true, false}) {
        for (const Entry& entry : entries) {
            if (entry.Key == QLatin1String("cameras") || (entry.Camera < 0) != shared)
                continue;
            if (!shared && entry.Camera >= count) {
                report->append(entry.Text);
                continue;
            }
            const int first = shared ? 0 : entry.Camera;
            const int last = shared ? count - 1 : entry.Camera;
            bool ok = true;
            for (int i = first; i <= last; ++i)
                ok = Apply(cameras[i], entry.Key, entry.Value) && ok;
            if (!ok)
                report->append(entry.Text);
        }
    }

    QSet<QByteArray> names;
    for (int i = 0; i < count; ++i) {
        if (names.contains(cameras[i].DeviceName)) {
            report->append(QStringLiteral("%1.name=%2").arg(i + 1).arg(QString::fromUtf8(cameras[i].DeviceName)));
            cameras[i].DeviceName = "simcam" + QByteArray::number(i + 1);
        }
        names.insert(cameras[i].DeviceName);
    }
    return cameras;
}

bool SimConfig::Apply(SimCameraSetup& setup, const QString& key, const QString& value)
{
    if (key == QLatin1String("name")) {
        if (value.isEmpty())
            return false;
        setup.DeviceName = value.toUtf8();
        return true;
    }
    if (key == QLatin1String("description")) {
        setup.Description = value;
        return true;
    }
    if (key == QLatin1String("position"))
        return ReadPosition(value, &setup.Position);
    if (key == QLatin1String("orientation")) {
        int degrees = 0;
        if (!ReadInt(value, 0, 270, &degrees) || degrees % 90 != 0)
            return false;
        setup.Orientation = degrees;
        return true;
    }
    if (key == QLatin1String("size"))
        return ReadSize(value, &setup.Size);
    if (key == QLatin1String("formats"))
        return ReadFormats(value, &setup.Formats);
    if (key == QLatin1String("padding"))
        return ReadInt(value, 0, 4096, &setup.Padding);
    if (key == QLatin1String("rates"))
        return ReadRates(value, &setup.Rates);
    if (key == QLatin1String("scene")) {
        if (value == QLatin1String("holes")) {
            setup.ImagePath.clear();
            return true;
        }
        if (!value.startsWith(QLatin1String("image:")) || value.size() == 6)
            return false;
        setup.ImagePath = value.mid(6);
        return true;
    }
    if (key == QLatin1String("noise"))
        return ReadInt(value, 0, 16, &setup.Noise);
    if (key == QLatin1String("drift"))
        return ReadReal(value, 0, 8, &setup.Drift);
    if (key == QLatin1String("delivery")) {
        if (value == QLatin1String("queued"))
            setup.Delivery = SimCameraSetup::DeliveryMode::Queued;
        else if (value == QLatin1String("direct"))
            setup.Delivery = SimCameraSetup::DeliveryMode::Direct;
        else
            return false;
        return true;
    }
    if (key == QLatin1String("startfail"))
        return ReadFlag(value, &setup.StartFails);
    if (key == QLatin1String("lostafter"))
        return ReadInt(value, 0, INT_MAX, &setup.LostAfter);
    if (key == QLatin1String("unplugafter"))
        return ReadInt(value, 0, INT_MAX, &setup.UnplugAfter);
    if (key == QLatin1String("replugafter"))
        return ReadInt(value, 0, 3600000, &setup.ReplugAfterMs);
    if (key == QLatin1String("flaps"))
        return ReadInt(value, 0, 100000, &setup.FlapCount);
    if (key == QLatin1String("flapms"))
        return ReadInt(value, 1, 60000, &setup.FlapMs);
    if (key == QLatin1String("busy"))
        return ReadFlag(value, &setup.Busy);
    if (key == QLatin1String("unmappable"))
        return ReadInt(value, 0, INT_MAX, &setup.UnmappableEvery);
    if (key == QLatin1String("badformat"))
        return ReadInt(value, 0, INT_MAX, &setup.BadFormatEvery);
    if (key == QLatin1String("badsize"))
        return ReadInt(value, 0, INT_MAX, &setup.BadSizeEvery);
    if (key == QLatin1String("slowstart"))
        return ReadInt(value, 0, 10000, &setup.SlowStartMs);
    return false;
}
