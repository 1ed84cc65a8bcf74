#include "SimPresence.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>

#include <mutex>

namespace {

struct Unplugged
{
    std::mutex Mutex;
    // Until when each device that was ever unplugged stays away.
    QHash<QByteArray, QDeadlineTimer> Until;
    struct Flapping
    {
        QElapsedTimer Since;
        int Count = 0;
        int PeriodMs = 1;
    };
    QHash<QByteArray, Flapping> Flaps;
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

void SimPresence::Flap(const QByteArray& device, int count, int periodMs)
{
    Unplugged& state = State();
    std::lock_guard<std::mutex> lock(state.Mutex);
    Unplugged::Flapping& flapping = state.Flaps[device];
    flapping.Since.start();
    flapping.Count = count;
    flapping.PeriodMs = qMax(1, periodMs);
}

bool SimPresence::IsPresent(const QByteArray& device)
{
    Unplugged& state = State();
    std::lock_guard<std::mutex> lock(state.Mutex);
    const auto flapping = state.Flaps.constFind(device);
    if (flapping != state.Flaps.constEnd()) {
        // Present first; each change flips it, so odd ones take it away.
        const qint64 changes = flapping->Since.elapsed() / flapping->PeriodMs;
        if (changes < flapping->Count && changes % 2 == 1)
            return false;
    }
    const auto it = state.Until.constFind(device);
    return it == state.Until.constEnd() || it->hasExpired();
}

bool SimPresence::WasUnplugged(const QByteArray& device)
{
    Unplugged& state = State();
    std::lock_guard<std::mutex> lock(state.Mutex);
    return state.Until.contains(device);
}
