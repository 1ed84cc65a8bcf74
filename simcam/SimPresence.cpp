#include "SimPresence.h"

#include <QDeadlineTimer>
#include <QHash>

#include <mutex>

namespace {

struct Unplugged
{
    std::mutex Mutex;
    // Until when each device that was ever unplugged stays away.
    QHash<QByteArray, QDeadlineTimer> Until;
};

Unplugged& State()
{
    static Unplugged state;
    return state;
}

}  // namespace

bool SimPresence::Unplug(const QByteArray& device, int replugAfterMs)
{
    Unplugged& state = State();
    std::lock_guard<std::mutex> lock(state.Mutex);
    if (state.Until.contains(device))
        return false;
    state.Until.insert(device, replugAfterMs > 0 ? QDeadlineTimer(replugAfterMs)
                                                 : QDeadlineTimer(QDeadlineTimer::Forever));
    return true;
}

bool SimPresence::IsPresent(const QByteArray& device)
{
    Unplugged& state = State();
    std::lock_guard<std::mutex> lock(state.Mutex);
    const auto it = state.Until.constFind(device);
    return it == state.Until.constEnd() || it->hasExpired();
}

bool SimPresence::WasUnplugged(const QByteArray& device)
{
    Unplugged& state = State();
    std::lock_guard<std::mutex> lock(state.Mutex);
    return state.Until.contains(device);
}
