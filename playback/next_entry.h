#pragma once

// Which entry plays when a track ends. Indexes are 0-based; -1 means "none to play".

// Random mode: floor(count * r) for r uniform in [0, 1); -1 for an empty list.
int randomEntryIndex(int count, double r);

// Resume mode: the entry after the selected one (the first with no selection); -1 when the
// selection is the last entry or the list is empty.
int nextEntryIndex(int count, int selected);

// How many automatic starts in a row may fail before the player gives up and stops.
int maxConsecutiveFailures(int count);
