#pragma once

#include "SimCameraSetup.h"

#include <QStringList>
#include <QVector>

// Reads the synthetic cameras from LENTAVIO_SIMCAM: a list of key=value
// entries separated by ';' or new lines, or '@' and the path of a file
// holding such a list ('#' starts a comment line there). A key applies to
// every camera, or to camera N alone when written "N.key" (N counts from 1).
// A bad entry is reported and skipped, leaving the default in place.
class SimConfig
{
public:
    static constexpr const char* EnvironmentVariable = "LENTAVIO_SIMCAM";

    static QVector<SimCameraSetup> FromEnvironment(QStringList* problems = nullptr);
    static QVector<SimCameraSetup> Parse(const QString& text, QStringList* problems = nullptr);

private:
    static bool Apply(SimCameraSetup& setup, const QString& key, const QString& value);
};
