#include "StoredColor.h"

#include <cstring>

QColor StoredColor(const QVariant& value)
{
    if (value.userType() == QMetaType::QColor) {
        // QColor keeps its colour model first; a truncated "@Variant(" record
        // leaves garbage there, and copying such a colour is undefined.
        int model = 0;
        std::memcpy(&model, value.constData(), sizeof model);
        if (model < QColor::Invalid || model > QColor::ExtendedRgb)
            return QColor();
        return value.value<QColor>();
    }
    QVariant converted = value;
    return converted.convert(QMetaType::QColor) ? converted.value<QColor>() : QColor();
}
