#pragma once

#include <QCamera>
#include <QString>

// What went wrong with a camera, told in words a user can act on. Built
// from what the camera reported and whether it is still in the system's
// camera list. Plain functions; any thread.
class CameraProblem
{
public:
    enum class Kind
    {
        NoCamera,       // nothing to open: no camera is present
        BackendMissing, // listed, but the camera service cannot be made
        NotConnected,   // the camera is not (or no longer) listed
        Busy,           // listed, but held by another program
        FailedToStart,
        Stopped,        // failed after it had run
    };

    static Kind Classify(QCamera::Error error, const QString& errorString, bool cameraNamed, bool listed,
                         bool hasRun);
    // name: the camera's description, or its device name when it has none.
    static QString Message(Kind kind, const QString& name, const QString& errorString);
    // Worth trying again on its own once it is listed: it was unplugged,
    // another program held it, or it failed while running (an unplug the
    // list has not caught up with looks just like that).
    static bool IsWorthRetrying(Kind kind);
};
