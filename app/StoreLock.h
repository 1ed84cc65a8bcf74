#pragma once

// The settings store's lock file, as QSettings leaves it behind. A process
// killed between creating the lock and naming itself in it leaves an empty
// file, which QSettings calls stale only after 30 s: every write of the next
// start would freeze the window until then. User-interface thread, once at
// start-up before the first write.
class StoreLock
{
public:
    // Removes a lock that names no owner and stays so for a moment; a lock
    // naming its owner is left to QSettings, which sees a dead owner at once.
    static void RemoveUnowned();
};
