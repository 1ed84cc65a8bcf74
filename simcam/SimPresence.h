#pragma once

#include <QByteArray>

// Which synthetic cameras are plugged in, for the whole process: the plugin
// lists only those, and one started while unplugged fails. Any thread; the
// plugin asks often, so the answer costs a lock and a lookup, no I/O.
class SimPresence
{
public:
    // Unplugs the device, to be listed again replugAfterMs later (0: never).
    // A device is unplugged only once per process; false when it was before.
    static bool Unplug(const QByteArray& device, int replugAfterMs);
    // Gone and back count times in all, a change every periodMs, from now.
    static void Flap(const QByteArray& device, int count, int periodMs);
    static bool IsPresent(const QByteArray& device);
    static bool WasUnplugged(const QByteArray& device);
};
