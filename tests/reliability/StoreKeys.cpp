#include "StoreKeys.h"

#include "StoredColor.h"

#include <QColor>
#include <QSettings>

#include <cmath>

const QVector<StoreKeys::Key>& StoreKeys::All()
{
    static const QVector<Key> keys{
        {"Camera/device", Kind::Device, QString()},
        {"Camera/invertH", Kind::Bool, false},
        {"Camera/invertV", Kind::Bool, false},
        {"Filters/EdgeDetect/enabled", Kind::Bool, false},
        {"Filters/EdgeDetect/min_threshold", Kind::Double, 100.0},
        {"Filters/EdgeDetect/max_threshold", Kind::Double, 200.0},
        {"Filters/EdgeDetect/color", Kind::Colour, QColor(Qt::white)},
        {"HoleDetect/Enabled", Kind::Bool, true},
        {"HoleDetect/FreezeCenterColor", Kind::Bool, false},
        {"HoleDetect/Threshold", Kind::Int, 250},
        {"HoleDetect/Roundness", Kind::Int, 750},
        {"HoleDetect/MarkerColor", Kind::Colour, QColor(0, 0, 255, 80)},
        {"HoleDetect/MarkerWidth", Kind::Int, 6},
    };
    return keys;
}

const StoreKeys::Key* StoreKeys::Find(const QString& name)
{
    for (const Key& key : All())
        if (key.Name == name)
            return &key;
    return nullptr;
}

QString StoreKeys::Text(Kind kind, const QVariant& value)
{
    switch (kind) {
    case Kind::Bool:
        return value.toBool() ? "true" : "false";
    case Kind::Int:
        return QString::number(value.toInt());
    case Kind::Double:
        return QString::number(value.toDouble(), 'g', 17);
    case Kind::Colour: {
        // Through the program's own reading: copying a damaged colour record
        // as it is would be undefined.
        const QColor colour = StoredColor(value);
        return colour.isValid() ? colour.name(QColor::HexArgb) : "invalid";
    }
    case Kind::Device:
        return value.toString();
    }
    return {};
}

QStringList StoreKeys::Accepted(const Key& key, const QSettings& store, int minimum, int maximum,
                                const QString& defaultDevice)
{
    const QVariant defaultValue = key.Type == Kind::Device ? QVariant(defaultDevice) : key.Default;
    QStringList accepted{Text(key.Type, defaultValue)};
    if (!store.contains(key.Name))
        return accepted;
    const QVariant stored = store.value(key.Name);
    switch (key.Type) {
    case Kind::Int:
        accepted << Text(key.Type, qBound(minimum, stored.toInt(), maximum));
        break;
    case Kind::Double:
        // A number that is not finite must never reach the edge detector.
        if (std::isfinite(stored.toDouble()))
            accepted << Text(key.Type, stored);
        break;
    default:
        accepted << Text(key.Type, stored);
    }
    return accepted;
}
