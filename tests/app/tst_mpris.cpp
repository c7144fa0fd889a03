#include "app/mpris_service.h"
#include "form1_fixture.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QProcess>
#include <QRadioButton>
#include <QStandardPaths>

namespace {
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
} // namespace

// The window on a bus of its own, driven as the desktop drives it: calls and properties go
// through a second connection, and changes are read from PropertiesChanged.
class TstMpris : public QObject {
    Q_OBJECT

    QProcess daemon_;
    QString address_;
    int connections_ = 0;
    QList<QVariantMap> changes_;

    // A player published on the test's bus, and a client connection to reach it.
    struct Session {
        Form1Fixture f;
        QString serverName, clientName;
        QDBusConnection client{QString()};
        QString service;
    };

    std::unique_ptr<Session> session_;

    // Publishes a window with three entries, the first selected; cleanup() takes it down.
    Session& open() {
        session_ = std::make_unique<Session>();
        Session& s = *session_;
        const int n = ++connections_;
        s.serverName = QStringLiteral("player%1").arg(n);
        s.clientName = QStringLiteral("client%1").arg(n);
        auto* mpris = new MprisService(s.f.form.get());
        mpris->publish(QDBusConnection::connectToBus(address_, s.serverName));
        s.client = QDBusConnection::connectToBus(address_, s.clientName);
        s.client.connect(QString(), kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                         SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
        if (!QTest::qWaitFor([mpris] { return !mpris->serviceName().isEmpty(); }, 5000))
            qWarning("the player got no name on the bus");
        s.service = mpris->serviceName();
        s.f.engine->trackLength = 187.5;
        s.f.add({"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"});
        s.f.select(0);
        changes_.clear();
        return s;
    }

    // A blocking call would wait for the window's own thread: wait for the answer here.
    static QDBusMessage call(const Session& s, const QString& method, const QVariantList& args = {},
                             const QString& interface = kPlayer) {
        QDBusMessage m = QDBusMessage::createMethodCall(s.service, kPath, interface, method);
        m.setArguments(args);
        const QDBusPendingCall pending = s.client.asyncCall(m, 5000);
        if (!QTest::qWaitFor([&pending] { return pending.isFinished(); }, 6000))
            qWarning("no answer to %s", qPrintable(method));
        return pending.reply();
    }
    static QVariant property(const Session& s, const QString& name) {
        return call(s, QStringLiteral("Get"), {kPlayer, name}, kProperties)
            .arguments()
            .value(0)
            .value<QDBusVariant>()
            .variant();
    }
    static QVariantMap metadata(const Session& s) {
        return qdbus_cast<QVariantMap>(property(s, QStringLiteral("Metadata")));
    }
    QStringList statuses() const {
        QStringList out;
        for (const QVariantMap& c : changes_)
            if (c.contains(QStringLiteral("PlaybackStatus")))
                out << c.value(QStringLiteral("PlaybackStatus")).toString();
        return out;
    }
    QStringList titlesSent() const {
        QStringList out;
        for (const QVariantMap& c : changes_)
            if (c.contains(QStringLiteral("Metadata")))
                out << qdbus_cast<QVariantMap>(c.value(QStringLiteral("Metadata")))
                           .value(QStringLiteral("xesam:title"))
                           .toString();
        return out;
    }

public slots:
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList&) {
        if (interface == kPlayer)
            changes_ << changed;
    }

private slots:
    void initTestCase() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            QSKIP("dbus-daemon is not installed (Debian package dbus)");
        daemon_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                               QStringLiteral("--print-address")});
        QVERIFY(daemon_.waitForReadyRead(10000));
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        QVERIFY(!address_.isEmpty());
    }
    void cleanup() {
        if (!session_)
            return;
        const QString server = session_->serverName, client = session_->clientName;
        session_.reset();
        QDBusConnection::disconnectFromBus(client);
        QDBusConnection::disconnectFromBus(server);
    }
    void cleanupTestCase() {
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }

    void controlsRunTheWindowsHandlers() {
        Session& s = open();
        QVERIFY(!s.service.isEmpty());
        Form1Fixture& f = s.f;
        QPushButton* pause = f.button("CmdPause");

        call(s, QStringLiteral("Pause")); // nothing plays: nothing to do
        QVERIFY(f.engine->calls.isEmpty());

        call(s, QStringLiteral("PlayPause"));
        QCOMPARE(f.engine->calls, QStringList({"file:/m/a.mp3", "play"}));
        QCOMPARE(f.Text1()->text(), QStringLiteral("/m/a.mp3"));
        QTRY_COMPARE(statuses(), QStringList({"Playing"}));
        QCOMPARE(property(s, QStringLiteral("PlaybackStatus")).toString(), "Playing");
        QVariantMap m = metadata(s);
        QCOMPARE(m.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("a.mp3"));
        QCOMPARE(m.value(QStringLiteral("xesam:url")).toString(),
                 QStringLiteral("file:///m/a.mp3"));
        QCOMPARE(m.value(QStringLiteral("mpris:length")).toLongLong(), 187'500'000);
        const auto track = m.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>();
        QVERIFY(!track.path().isEmpty());

        // Seeking only in the track the caller means.
        f.engine->calls.clear();
        call(s, QStringLiteral("SetPosition"),
             {QVariant::fromValue(QDBusObjectPath(QStringLiteral("/old/track"))),
              qlonglong(3'000'000)});
        call(s, QStringLiteral("SetPosition"), {QVariant::fromValue(track), qlonglong(3'000'000)});
        call(s, QStringLiteral("Seek"), {qlonglong(1'500'000)});
        QCOMPARE(f.engine->calls, QStringList({"seek:3", "seek:4.5"}));
        QCOMPARE(property(s, QStringLiteral("Position")).toLongLong(), 4'500'000);

        // Paused, stopped and played again: the Pause button says "Resume" although the
        // track plays, and Pause must pause all the same.
        call(s, QStringLiteral("PlayPause"));
        QCOMPARE(pause->text(), QStringLiteral("Resume"));
        call(s, QStringLiteral("Stop"));
        QVERIFY(!pause->isEnabled());
        call(s, QStringLiteral("Play"));
        call(s, QStringLiteral("Pause"));
        QCOMPARE(f.engine->state(), MediaEngine::PlayState::Paused);
        call(s, QStringLiteral("Play"));
        QCOMPARE(pause->text(), QStringLiteral("Pause"));
        QTRY_COMPARE(statuses(),
                     QStringList({"Playing", "Paused", "Stopped", "Playing", "Paused", "Playing"}));

        f.engine->calls.clear();
        call(s, QStringLiteral("Next"));
        QCOMPARE(f.engine->calls, QStringList({"file:/m/b.mp3", "play"}));
        QCOMPARE(f.selected(), 1);
        call(s, QStringLiteral("Previous"));
        QCOMPARE(f.selected(), 0);
        QCOMPARE(property(s, QStringLiteral("CanGoPrevious")).toBool(), false);
        QTRY_COMPARE(titlesSent().mid(titlesSent().size() - 2), QStringList({"b.mp3", "a.mp3"}));

        // The volume moves the slider, whose handler sets the label and the engine.
        call(s, QStringLiteral("Set"),
             {kPlayer, QStringLiteral("Volume"), QVariant::fromValue(QDBusVariant(0.5))},
             kProperties);
        QCOMPARE(f.slider("Slider3")->value(), 1250);
        QCOMPARE(f.get<QLabel>("Label2")->text(), QStringLiteral("50 %"));
        QCOMPARE(f.engine->vol, -1250);
        QTRY_VERIFY(!changes_.isEmpty() &&
                    changes_.last().value(QStringLiteral("Volume")).toDouble() == 0.5);

        call(s, QStringLiteral("Stop"));
        QTRY_COMPARE(statuses().last(), QStringLiteral("Stopped"));
        QVERIFY(metadata(s).isEmpty());
    }

    void statusFollowsTheEndOfATrack() {
        Session& s = open();
        QVERIFY(!s.service.isEmpty());
        call(s, QStringLiteral("Play"));
        QTRY_COMPARE(statuses(), QStringList({"Playing"}));
        s.f.engine->finishTrack(); // mode n()ne
        QTRY_COMPARE(statuses(), QStringList({"Playing", "Stopped"}));

        // In mode rezume the next entry follows as one change, with no Stopped between.
        s.f.get<QRadioButton>("OptRes")->setChecked(true);
        call(s, QStringLiteral("Play"));
        QTRY_COMPARE(statuses().size(), 3);
        s.f.engine->finishTrack();
        QTRY_COMPARE(titlesSent(), QStringList({"a.mp3", "", "a.mp3", "b.mp3"}));
        QCOMPARE(statuses(), QStringList({"Playing", "Stopped", "Playing"}));
        QCOMPARE(property(s, QStringLiteral("PlaybackStatus")).toString(), "Playing");
    }
};

QTEST_MAIN(TstMpris)
#include "tst_mpris.moc"
