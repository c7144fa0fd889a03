#pragma once

#include <QStringList>
#include <functional>

// Which entry plays when a track ends. Indexes are 0-based; -1 means "none to play".

// Random mode: floor(count * r) for r uniform in [0, 1); -1 for an empty list.
int randomEntryIndex(int count, double r);

// Resume mode: the entry after the selected one (the first with no selection); -1 when the
// selection is the last entry or the list is empty.
int nextEntryIndex(int count, int selected);

// How many automatic starts in a row may fail before the player gives up and stops.
int maxConsecutiveFailures(int count);

// What the option buttons say happens when a track ends.
enum class PlayMode { None, Resume, Random };

// One step of what the player does when a track ends, or shortly before, to queue what
// follows without a gap.
struct TrackEndStep {
    enum class Action {
        Stop,         // stop, as in mode none
        Start,        // select `entry`, pass its path to the engine and start it
        NoFileToPlay, // select `entry` (an empty one), pass the empty name on and say so
    };
    Action action = Action::Stop;
    int entry = -1;
};

// `entries` is the play list, `selected` the selected entry (-1 for none), `failures` the
// automatic starts that failed in a row (a track that broke off counts as one). `random` is
// drawn from in random mode only.
TrackEndStep trackEndStep(PlayMode mode, const QStringList& entries, int selected, int failures,
                          const std::function<double()>& random);
