#pragma once

#include "common/fake_engine.h"
#include "player/player.h"
#include "playlist/list_file_store.h"
#include "playlist/play_list_model.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTest>
#include <sys/stat.h>

// Runs scenario steps against the player on the scripted engine. A step is a verb and its
// arguments.
//
// Acting:  add ENTRY... (- for an empty one) | select ROW | remove ROW | restore ROW
//   SECONDS | play | pause (the Pause button) | stop | mode none|resume|random | soon (the track
//   is about to end) | end | broke | lost (the sound output fails) | length SECONDS|none | fail
//   play|balance|queue | hold (starts wait) | reply (the held start is answered) | random R |
//   file NAME=CONTENT | fifo NAME | biglist N | load PATH | open PATH... | enqueue PATH... |
//   loaded (the loads are done) | cancel | close (the program closes)
// Checking:  calls CALL... (the engine calls since the last check) | last CALL | plays N |
//   told NOTICE;... (what the player said since the last check) | state Stopped|Starting|
//   Playing|Paused | current TEXT | selected ROW | playing ROW | entries ENTRY... | paused 0|1 |
//   offered 0|1 | cut 0|1 (the list was cut short by closing) | song N | stoppedbefore N
// $T stands for a temporary folder, $F for the test fixtures' folder.
class PlayerScript {
public:
    FakeEngine* engine = new FakeEngine;
    Player player{engine};
    QString tmp;
    QStringList told;

    PlayerScript() {
        QObject::connect(&player, &Player::noFileToPlay, [this] { told << "no file"; });
        QObject::connect(
            &player, &Player::startRefused,
            [this](const QString& f, const QString& r) { told << "refused " + f + ": " + r; });
        QObject::connect(&player, &Player::outputLost,
                         [this](bool still) { told << (still ? "still lost" : "lost"); });
        QObject::connect(&player, &Player::listNotRead, [this] { told << "not read"; });
        QObject::connect(&player, &Player::pathsUnreadable,
                         [this](const QStringList& p) { told << "unreadable " + p.join(' '); });
        QObject::connect(&player, &Player::foldersWithoutFiles, [this] { told << "no files"; });
        QObject::connect(&player, &Player::placeNotRestored, [this](const QString& f, auto& r) {
            told << "not restored " + f + ": " + r;
        });
        QObject::connect(&player, &Player::entriesLeftOut,
                         [this](int n) { told << QString("left out %1").arg(n); });
    }

    QString expand(QString arg) const {
        return arg.replace("$T", tmp).replace("$F", QStringLiteral(MT_FIXTURES));
    }

    // Lets the engine's answers come in, and what the player does on them.
    void settle() {
        for (int i = 0;
             i < 100 && engine->state() == Player::PlayState::Starting && !engine->holding; ++i)
            QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    void run(const QString& verb, const QString& arg) {
        QStringList args = arg.split(' ', Qt::SkipEmptyParts);
        const QString key = arg.section('=', 0, 0), value = arg.section('=', 1);
        QStringList& calls = engine->calls;
        if (verb == "add") {
            player.addEntries(args.replaceInStrings(QRegularExpression("^-$"), ""));
        } else if (verb == "select" || verb == "remove") {
            verb == "select" ? player.select(arg.toInt()) : player.removeAt(arg.toInt());
        } else if (verb == "restore") { // ROW SECONDS
            player.restorePlace(args[0].toInt(), args[1].toDouble());
        } else if (verb == "play" || verb == "pause" || verb == "stop") {
            verb == "play" ? player.play() : verb == "stop" ? player.stop() : player.togglePause();
        } else if (verb == "mode") {
            player.setMode(arg == "random"   ? PlayMode::Random
                           : arg == "resume" ? PlayMode::Resume
                                             : PlayMode::None);
        } else if (verb == "soon") {
            emit engine->aboutToFinish();
        } else if (verb == "end" || verb == "broke") {
            engine->finishTrack(verb == "broke");
        } else if (verb == "lost") {
            engine->loseOutput();
        } else if (verb == "length") {
            engine->trackLength = arg == "none" ? std::nullopt : std::optional(arg.toDouble());
        } else if (verb == "fail") {
            engine->failing << arg;
        } else if (verb == "hold" || verb == "reply") {
            engine->holding = verb == "hold";
            engine->answerStart();
        } else if (verb == "random") {
            player.setRandomSource([r = arg.toDouble()] { return r; });
        } else if (verb == "file") {
            QDir().mkpath(QFileInfo(key).path());
            QFile f(key);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(value.toUtf8());
        } else if (verb == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(arg).constData(), 0600), 0);
        } else if (verb == "biglist") { // N entries in $T/big.mlt
            QStringList big;
            for (int i = 0; i < arg.toInt(); ++i)
                big << QStringLiteral("/music/%1.mp3").arg(i);
            QVERIFY(saveListFile(tmp + "/big.mlt", big).ok);
        } else if (verb == "load") {
            player.loadList(arg);
        } else if (verb == "open" || verb == "enqueue") {
            player.openPaths(args, verb == "enqueue");
        } else if (verb == "loaded") {
            QTRY_VERIFY_WITH_TIMEOUT(!player.loading(), 10000);
            settle();
        } else if (verb == "cancel" || verb == "close") {
            player.cancelLoading(verb == "close");
        } else if (verb == "calls") {
            QCOMPARE(std::exchange(calls, {}).join(' '), arg);
        } else if (verb == "last") {
            QCOMPARE(calls.last(), arg);
        } else if (verb == "plays") {
            QCOMPARE(std::exchange(calls, {}).count("play"), arg.toInt());
        } else if (verb == "told") {
            QCOMPARE(std::exchange(told, {}).join(';'), arg);
        } else if (verb == "state") {
            const char* names[] = {"Stopped", "Starting", "Playing", "Paused"};
            QCOMPARE(QString(names[int(player.state())]), arg);
        } else if (verb == "current") {
            QCOMPARE(player.currentFile(), arg);
        } else if (verb == "selected" || verb == "playing") {
            QCOMPARE(verb == "selected" ? player.selected() : player.playing(), arg.toInt());
            const auto told = player.list()->match(player.list()->index(0),
                                                   Qt::AccessibleDescriptionRole, "playing");
            QVERIFY(verb == "selected" || told.value(0).row() == arg.toInt()); // screen readers
        } else if (verb == "entries") {
            QCOMPARE(player.list()->entries().join(' '), args.join(' '));
        } else if (verb == "paused" || verb == "offered" || verb == "cut") {
            QCOMPARE(int(verb == "paused"    ? player.pausedByUser()
                         : verb == "offered" ? player.pauseOffered()
                                             : player.listCutShort()),
                     arg.toInt());
        } else if (verb == "song") {
            QCOMPARE(player.songNumber(), arg.toULongLong());
        } else if (verb == "stoppedbefore") { // a long load was cut short, keeping what it added
            const int count = player.list()->count();
            QVERIFY2(count < arg.toInt(), qPrintable(QString::number(count)));
        } else {
            QFAIL(qPrintable("unknown step: " + verb));
        }
    }
};
