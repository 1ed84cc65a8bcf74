#pragma once

#include <QString>
#include <QVariant>
#include <QVector>

class QSettings;

// The stored settings whose values the program keeps in use where a test can
// read them back, each with its kind and default, and one text form per kind,
// so that the values a child process uses can be held against what its store
// says.
class StoreKeys
{
public:
    enum class Kind { Bool, Int, Double, Colour, Device };

    struct Key
    {
        QString Name;
        Kind Type;
        QVariant Default;
    };

    static const QVector<Key>& All();
    static const Key* Find(const QString& name);

    static QString Text(Kind kind, const QVariant& value);
    // The texts the value in use may have: the stored value as the program
    // converts it (for an Int, clamped to [minimum, maximum] as a slider
    // does), or the default. defaultDevice stands in for a Device's default.
    static QStringList Accepted(const Key& key, const QSettings& store, int minimum, int maximum,
                                const QString& defaultDevice);
};
