#include "common/player_script.h"

#include <QTemporaryDir>
#include <QTest>

// The player on the scripted engine, which answers each start later, driven by scenarios:
// each row is a list of steps (see PlayerScript), some acting as a person, the media controls
// or the engine would, some checking what the player did and says.
class TstPlayer : public QObject {
    Q_OBJECT

private slots:
    void scenario_data();
    void scenario() {
        QFETCH(QStringList, steps);
        QTemporaryDir tmp;
        PlayerScript script;
        script.tmp = tmp.path();
        for (const QString& step : std::as_const(steps)) {
            script.run(step.section(' ', 0, 0), script.expand(step.section(' ', 1)));
            if (!QTest::currentTestFailed())
                script.settle();
            if (QTest::currentTestFailed()) {
                qWarning("at step: %s", qPrintable(step));
                return;
            }
        }
        QVERIFY2(script.told.isEmpty(), qPrintable(script.told.join(';')));
    }
};

void TstPlayer::scenario_data() {
    QTest::addColumn<QStringList>("steps");
    const auto row = [](const char* name, const QString& steps) {
        QTest::newRow(name) << steps.split("; ");
    };
    // Starting, pausing, stopping (the window's table shows the plain cases).
    row("the entry playing stays the song when rows go and come",
        "add /m/a.mp3 /m/b.mp3 /m/c.mp3; select 2; play; playing 2; select 0; remove 0; playing 1; "
        "add /m/d.mp3; playing 1; pause; playing 1; select -1; play; told no file; last pause; "
        "pause; mode resume; soon; end; playing 0; stop; "
        "playing -1");
    row("a song brought back is paused at its place; one that no longer plays stays stopped",
        "add /m/a.mp3 /m/b.mp3; restore 1 5; calls file:/m/b.mp3 play pause seek:5; paused 1; "
        "offered 1; playing 1; pause; state Playing; stop; fail play; restore 0 5; "
        "told not restored /m/a.mp3: it is refused; state Stopped; paused 0; offered 0");
    row("paused while it starts: starts paused",
        "hold; add /m/a.mp3; select 0; play; state Starting; pause; reply; state Paused; "
        "offered 1; pause; state Playing");
    // The end of a track; which entry follows is the rules' table, this is what the player does.
    row("end: the mode is read when the track ends",
        "add /m/a.mp3 /m/b.mp3 /m/c.mp3; select 0; mode resume; end; calls file:/m/b.mp3 play; "
        "selected 1; current /m/b.mp3; offered 1; mode none; end; calls stop; selected 1; "
        "current /m/b.mp3; offered 1");
    row("end, random onto an empty entry says so",
        "random 0.9; add /m/a.mp3 -; mode random; end; calls file:; told no file");
    row("end: none chosen after the next was queued stops; a refused queue starts after it",
        "add /m/a.mp3 /m/b.mp3; select 0; mode resume; soon; mode none; end; "
        "calls queue:/m/b.mp3 queue: stop; selected 0; mode resume; fail queue; play; "
        "soon; end; calls file:/m/a.mp3 play queue:/m/b.mp3 file:/m/b.mp3 play; selected 1");
    row("end: a removal or a new selection makes the end decide again",
        "add /m/a.mp3 /m/b.mp3 /m/c.mp3; select 0; mode resume; play; soon; select 1; soon; "
        "calls file:/m/a.mp3 play queue:/m/b.mp3 queue: queue:/m/c.mp3");
    row("failing starts: the walk goes on the answers and gives up after ten",
        "fail play; biglist 50; load $T/big.mlt; loaded; mode random; end; last stop; plays 10; "
        "offered 0");
    row("a lost sound output pauses there, never walks on; resume starts it there, or stays",
        "add /m/a.mp3 /m/b.mp3; select 0; mode resume; play; calls file:/m/a.mp3 play; lost; "
        "told lost; calls; state Paused; paused 1; offered 1; current /m/a.mp3; selected 0; "
        "pause; calls play; state Playing; paused 0; song 1; fail play; lost; pause; "
        "told lost;still lost; state Paused; paused 1; offered 1; current /m/a.mp3");
    row("tracks that break off stop repeating",
        "add /m/a.mp3 /m/b.mp3; mode random; broke; plays 1; broke; last stop; end; plays 1");
    // Loads: read off the caller's thread, one at a time, told when done.
    row("load appends and keeps the selection; missing, a FIFO: not read",
        "file $T/l.mlt=/m/x.mp3\r\n/m/y.mp3, /m/z.mp3\r\n; add /m/a.mp3; select 0; load $T/l.mlt; "
        "load $T/gone.mlt; fifo $T/f.m3u; load $T/f.m3u; loaded; told not read;not read; "
        "entries /m/a.mp3 /m/x.mp3 /m/y.mp3 /m/z.mp3; selected 0; current /m/a.mp3");
    row("one load at a time: the second follows the first whole",
        "biglist 300000; file $T/l.mlt=/m/x.mp3\r\n; load $T/big.mlt; open $T/l.mlt; loaded; "
        "selected 300000; current /m/x.mp3; calls file:/m/x.mp3 play");
    row("cancel and closing cut a load short and drop those waiting; closing marks the list",
        "close; cut 0; biglist 2000000; file $T/l.mlt=/m/x.mp3\r\n; load $T/big.mlt; "
        "open $T/l.mlt; cancel; "
        "loaded; stoppedbefore 2000000; cut 0; load $T/big.mlt; close; loaded; cut 1; calls");
    const QString files = "file $T/one.mp3=; file $T/album/b.MP3=; file $T/album/a.mp3=; "
                          "file $T/l.mlt=/m/x.mp3\r\n; file $T/empty/c.txt=; add /m/first.mp3; ";
    row("open: file, folder, list; the first plays; what cannot be read is told",
        files + "open $T/gone.mp3 $T/one.mp3 $T/album $T/l.mlt $T/gone.mlt $T/empty; loaded; "
                "entries /m/first.mp3 $T/one.mp3 $T/album/a.mp3 $T/album/b.MP3 /m/x.mp3; "
                "selected 1; calls file:$T/one.mp3 play; "
                "told unreadable $T/gone.mp3 $T/gone.mlt;no files");
    row("enqueue adds and keeps playing", files + "select 0; play; enqueue $T/album; loaded; "
                                                  "calls file:/m/first.mp3 play; selected 0");
}

QTEST_GUILESS_MAIN(TstPlayer)
#include "tst_player.moc"
