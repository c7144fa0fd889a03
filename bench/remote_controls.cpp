#include "bench/remote_controls.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QUrl>

#include <chrono>
#include <random>
#include <utility>

namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.marrowtune");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
// Long enough that a window held for seconds shows its whole hold.
constexpr int kAnswerTimeoutMs = 10'000;

QDBusMessage playerCall(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kPlayer, method);
}

QDBusMessage question(const QString& property) {
    QDBusMessage m =
        QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
    m << kPlayer << property;
    return m;
}

} // namespace

RemoteControls::RemoteControls(QStringList files, std::uint32_t seed,
                               std::function<void(const QString&)> note)
    : files_(std::move(files)), seed_(seed), note_(std::move(note)) {}

RemoteControls::~RemoteControls() {
    stop();
}

void RemoteControls::start() {
    thread_ = std::jthread([this](const std::stop_token& stop) { run(stop); });
}

void RemoteControls::stop() {
    if (!thread_.joinable())
        return;
    thread_.request_stop();
    thread_.join();
}

RemoteControls::Figures RemoteControls::figures() const {
    const std::scoped_lock lock(mutex_);
    return figures_;
}

void RemoteControls::run(const std::stop_token& stop) {
    const QString name = QStringLiteral("monkey-remote");
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        std::mt19937 random(seed_);
        auto below = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
        QString trackId = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
        while (!stop.stop_requested() && bus.isConnected()) {
            if (held_) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                continue;
            }
            QDBusMessage call;
            switch (below(12)) {
            case 0:
                call = playerCall(QStringLiteral("Play"));
                break;
            case 1:
                call = playerCall(QStringLiteral("Pause"));
                break;
            case 2:
                call = playerCall(QStringLiteral("PlayPause"));
                break;
            case 3:
                call = playerCall(QStringLiteral("Stop"));
                break;
            case 4:
                call = playerCall(QStringLiteral("Next"));
                break;
            case 5:
                call = playerCall(QStringLiteral("Previous"));
                break;
            case 6:
                call = playerCall(QStringLiteral("Seek"));
                call << qlonglong(below(20'000'001) - 10'000'000);
                break;
            case 7:
                call = playerCall(QStringLiteral("SetPosition"));
                call << QVariant::fromValue(QDBusObjectPath(trackId))
                     << qlonglong(below(8'000'000));
                break;
            case 8:
                call = QDBusMessage::createMethodCall(kService, kPath, kProperties,
                                                      QStringLiteral("Set"));
                call << kPlayer << QStringLiteral("Volume")
                     << QVariant::fromValue(QDBusVariant(below(121) / 100.0));
                break;
            case 9:
                if (files_.isEmpty())
                    continue;
                call = playerCall(QStringLiteral("OpenUri"));
                call << QUrl::fromLocalFile(files_[below(int(files_.size()))]).toString();
                break;
            case 10:
                call = question(QStringLiteral("Metadata"));
                break;
            default:
                call = question(QStringLiteral("PlaybackStatus"));
                break;
            }
            QStringList said;
            for (const QVariant& a : call.arguments())
                said << (a.canConvert<QDBusVariant>() ? a.value<QDBusVariant>().variant() : a)
                            .toString();
            note_(QStringLiteral("media controls: %1(%2)")
                      .arg(call.member(), said.join(QStringLiteral(", "))));
            QElapsedTimer wait;
            wait.start();
            const QDBusMessage answer = bus.call(call, QDBus::Block, kAnswerTimeoutMs);
            const double ms = double(wait.nsecsElapsed()) / 1e6;
            // The track's id, for a SetPosition that the player takes.
            if (call.member() == QLatin1String("Get") &&
                answer.type() == QDBusMessage::ReplyMessage &&
                call.arguments().value(1).toString() == QLatin1String("Metadata")) {
                const QVariantMap map = qdbus_cast<QVariantMap>(
                    answer.arguments().value(0).value<QDBusVariant>().variant());
                const auto id = map.value(QStringLiteral("mpris:trackid"));
                if (id.canConvert<QDBusObjectPath>())
                    trackId = id.value<QDBusObjectPath>().path();
            }
            {
                const std::scoped_lock lock(mutex_);
                ++figures_.calls;
                if (answer.type() != QDBusMessage::ReplyMessage) {
                    ++figures_.unanswered;
                    if (figures_.firstError.isEmpty())
                        figures_.firstError = answer.errorName() + QLatin1Char(' ') + call.member();
                }
                if (ms > figures_.longestMs) {
                    figures_.longestMs = ms;
                    figures_.longestCall = call.member();
                }
            }
            // A person presses a media key now and then; a desktop widget asks a few times a
            // second.
            std::this_thread::sleep_for(std::chrono::milliseconds(50 + below(700)));
        }
    }
    QDBusConnection::disconnectFromBus(name);
}
