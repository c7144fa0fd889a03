#include "playback/next_entry.h"

#include <algorithm>
#include <cmath>

int randomEntryIndex(int count, double r) {
    if (count <= 0)
        return -1;
    const int idx = static_cast<int>(std::floor(count * r));
    // Guards a generator that returns 1.0 or a rounding that lands on count.
    return std::clamp(idx, 0, count - 1);
}

int nextEntryIndex(int count, int selected) {
    const int next = selected < 0 ? 0 : selected + 1;
    return next < count ? next : -1;
}

int maxConsecutiveFailures(int count) {
    // Enough to walk past a run of broken files, few enough that a list of dead entries
    // cannot keep the player busy.
    constexpr int cap = 10;
    return std::clamp(count, 1, cap);
}

TrackEndStep trackEndStep(PlayMode mode, const QStringList& entries, int selected, int failures,
                          const std::function<double()>& random) {
    const int count = static_cast<int>(entries.size());
    if (mode == PlayMode::None || failures >= maxConsecutiveFailures(count))
        return {};
    const bool pick = mode == PlayMode::Random;
    const int index = pick ? randomEntryIndex(count, random()) : nextEntryIndex(count, selected);
    if (index < 0)
        return {};
    // Resume passes an empty entry on to the engine like any other; a random pick says so.
    if (pick && entries.at(index).isEmpty())
        return {TrackEndStep::Action::NoFileToPlay, index};
    return {TrackEndStep::Action::Start, index};
}
