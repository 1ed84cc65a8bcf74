#pragma once

#include <QColor>
#include <QVariant>

// A colour read back from the settings store: the stored colour as it is, or
// anything else converted to a colour, or the invalid colour when it does not
// convert. A damaged store can deliver a colour whose internal colour model is
// out of range; that counts as not a colour rather than being copied.
QColor StoredColor(const QVariant& value);
