#pragma once

#include <QtGlobal>
#include <optional>

// Where playback stands between readings of the sound output's own position: run on with the
// monotonic clock while the output runs with it, held otherwise. Pure: the time comes in, in
// microseconds, so its rules hold without a pipeline, a thread or a real clock.
//
// Every reset starts an epoch. A reading taken for an older one (a worker that still holds a
// position from before a seek or stop) never overwrites what was set since.
class PositionClock {
public:
    struct Reading {
        bool jumped = false; // moved the shown position by more than a display step
        bool steady = false; // ran on with the clock long enough for readings to be rare
    };

    // Shows `seconds` at once, held until a reading for the returned epoch runs it on.
    quint64 reset(double seconds, qint64 nowUs);
    // Stops the position where it is now (on pause; a reading corrects it later).
    void hold(qint64 nowUs);
    double at(qint64 nowUs) const;
    std::optional<double> length() const;
    void setLength(std::optional<double> seconds) { length_ = seconds.value_or(-1.0); }

    // The position at `nowUs` from the pipeline, if `epoch` is still the current one; true
    // when it jumped.
    bool store(quint64 epoch, double seconds, bool running, qint64 nowUs);
    // A reading of the output's position (empty while it does not know it) while `playing`
    // or not, stored for `epoch`: it runs on only once the output was seen to run.
    Reading read(quint64 epoch, std::optional<double> seconds, bool playing, qint64 nowUs);
    // The output stopped or went away: the next reading starts a new run.
    void forgetReadings();

private:
    quint64 epoch_ = 0;
    double seconds_ = 0; // where the position was at `atUs_`
    qint64 atUs_ = 0;
    bool running_ = false;
    double length_ = -1.0;
    double lastReading_ = -1.0; // while playing; -1: none
    qint64 lastReadingUs_ = 0;
    qint64 runningSinceUs_ = -1; // since the output ran on with the clock; -1: it does not
};
