#include "StoredColor.h"

#include <cstring>

QColor StoredColor(const QVariant& value)
{
    if (value.userType() == QMetaType::QColor) {
        // QColor keeps its spec first; a truncated "@Variant(" record leaves
        // garbage there, and copying such a colour is undefined.
        int spec = 0;
        std::memcpy(&spec, value.constData(), sizeof spec);
        if (spec < QColor::Invalid || spec > QColor::ExtendedRgb)
            return QColor();
        return value.value<QColor>();
    }
    QVariant converted = value;
    return converted.convert(QMetaType::QColor) ? converted.value<QColor>() : QColor();
}
