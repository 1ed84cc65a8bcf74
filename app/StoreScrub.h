#pragma once

#include <QByteArray>
#include <QString>

// Values in the settings store written as "@Variant(...)" (or "@DateTime(")
// are read by Qt through QDataStream by the type number they start with.
// For many types Qt trusts the counts that follow (a polygon, a list, a map,
// an image), so a mangled value there crashes or aborts the program, and not
// only when its own key is read: the first read of a group, and every write,
// decodes all the values of the group or of the whole store.
//
// Before the store is first opened, this drops every line whose value holds
// such a variant of a type other than the plain ones Qt reads safely
// (numbers, text, bytes, points, sizes, rectangles, colours); the keys on
// them take their defaults. Every other line stays byte for byte. The file is
// replaced atomically under the store's lock; a store that cannot be written
// is left alone. User-interface thread, at start-up.
class StoreScrub
{
public:
    static void RemoveUnsafeValues();

    // The store's text without its unsafe lines; a null array when all are
    // safe.
    static QByteArray WithoutUnsafeValues(const QByteArray& store);
};
