#pragma once

#include <QObject>
#include <QString>
#include <optional>

// Everything the player asks of the thing that decodes and outputs sound. The player talks to
// this interface only; the GStreamer implementation and the test fake sit behind it.
//
// Units: seconds as double for position and length; volume and balance in hundredths of a
// decibel (volume 0 = full, -2500 = 25 dB down; balance < 0 attenuates the right channel,
// > 0 the left one, by |balance| hundredths of a decibel).
//
// No call makes the caller wait: slow work (checking and opening the file, counting its
// frames, opening the sound output, a sound server that hangs) happens elsewhere, and its
// outcome comes back as a signal on the object's thread.
class MediaEngine : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~MediaEngine() override = default;

    // Stopped: nothing loaded (after stop(), a refused start, or the end of a track).
    // Starting: play() started a file and its answer has not come yet.
    enum class PlayState { Stopped, Starting, Playing, Paused };

    // Makes `name` the file that the next play() starts from its beginning. Any text is
    // accepted, the empty one included.
    virtual bool setFileName(const QString& name) = 0;
    virtual QString fileName() const = 0;

    // After setFileName, stop() or the end of a track: starts that file from its beginning
    // and returns the start's generation at once (never 0); startAnswered() tells how it went.
    // After pause(): continues, and returns 0. After outputLost(): starts that file again from
    // the held place, as a new start; refused, state() stays Paused at the place. While
    // starting: undoes a pause() made meanwhile, and returns 0. While playing: changes nothing,
    // and returns 0.
    virtual quint64 play() = 0;
    // Holds playback where it is. While starting, the track starts paused.
    virtual bool pause() = 0;
    // Ends playback (and forgets a place held after outputLost()); a start not answered yet is
    // abandoned and never heard nor answered.
    virtual bool stop() = 0;
    virtual PlayState state() const = 0;

    // Length of the started file, valid once its start is answered; empty when unknown.
    virtual std::optional<double> length() const = 0;

    // Works at any time, also with nothing loaded (then 0). Cheap enough for a fast timer.
    virtual double position() const = 0;
    virtual bool setPosition(double seconds) = 0;

    // Makes `name` follow the playing file without a gap, in place of its end of stream.
    // Answers aboutToFinish(); an empty name drops what was queued, and so does any start or
    // stop. Returns false when nothing is about to finish. When the engine finds later that it
    // cannot play the file on without a gap (not a playable file, say), the end of stream
    // comes as if nothing was queued.
    virtual bool queueNext(const QString& name) = 0;

    virtual int volume() const = 0;
    virtual bool setVolume(int hundredthsOfDb) = 0;
    virtual int balance() const = 0;
    virtual bool setBalance(int hundredthsOfDb) = 0;
    virtual bool mute() const = 0;
    virtual bool setMute(bool on) = 0;

signals:
    // Raised on the object's thread once for each start play() made, unless stop() or a newer
    // start replaced it first. `started` true: state() is Playing (Paused when paused while
    // starting) and length() is valid. False: state() is Stopped (Paused at the held place for a
    // start after outputLost()) and `reason` says why, in words for the person who asked.
    void startAnswered(quint64 generation, bool started, const QString& reason);
    // Raised on the object's thread whenever state() changes.
    void stateChanged();
    // Raised when the length of the playing file became known more exactly after its start
    // was answered (a long file's frames are counted while it plays).
    void lengthChanged();
    // Raised on the object's thread when the position moved other than by playing on: a
    // seek, or the sound output's own position correcting the running estimate.
    void positionJumped();
    // Raised on the object's thread once per started file when playback reached the end by
    // itself, or broke off (decoding error, file gone) after it started.
    // Never raised for stop(), nor for a file that was replaced by a newer start.
    // `result` is 0 when the file played to its end and non-zero when it broke off.
    // state() is already Stopped then.
    void endOfStream(int result);
    // Raised on the object's thread once per started file, shortly before it plays to its
    // end: the moment to queueNext() what follows.
    void aboutToFinish();
    // Raised on the object's thread when a queued file takes over, as it is heard: from then
    // on fileName(), length() and position() are the new file's. The file it followed raises
    // no endOfStream; the queued one raises its own at its end.
    void queuedStarted();
    // Raised on the object's thread when the sound output failed under a started file (the
    // sound server went away, the device is gone), in place of its endOfStream: state() is
    // Paused, position() holds where the sound stopped (setPosition() moves it) and fileName()
    // is kept, so that the next play() goes on from there once an output is back.
    void outputLost();
};
