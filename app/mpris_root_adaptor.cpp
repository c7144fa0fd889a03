#include "app/mpris_root_adaptor.h"

#include "app/form1.h"

#include <QCoreApplication>
#include <QMetaObject>

MprisRootAdaptor::MprisRootAdaptor(QObject* parent, Form1* form)
    : QDBusAbstractAdaptor(parent), form_(form) {}

QString MprisRootAdaptor::identity() const {
    return QStringLiteral("Marrowtune");
}

// The launcher's name without ".desktop".
QString MprisRootAdaptor::desktopEntry() const {
    return QStringLiteral("marrowtune");
}

QStringList MprisRootAdaptor::supportedUriSchemes() const {
    return {QStringLiteral("file")};
}

// MP3 files under the names desktops give them, and the play lists the player reads.
QStringList MprisRootAdaptor::supportedMimeTypes() const {
    return {QStringLiteral("audio/mpeg"),    QStringLiteral("audio/mp3"),
            QStringLiteral("audio/x-mp3"),   QStringLiteral("audio/x-mpegurl"),
            QStringLiteral("audio/mpegurl"), QStringLiteral("application/vnd.apple.mpegurl"),
            QStringLiteral("audio/x-scpls"), QStringLiteral("application/x-marrowtune-list")};
}

void MprisRootAdaptor::Raise() {
    form_->bringToFront();
}

void MprisRootAdaptor::Quit() {
    // Queued, so the caller gets its answer before the program ends.
    QMetaObject::invokeMethod(
        form_,
        [form = form_] {
            form->close();
            QCoreApplication::quit();
        },
        Qt::QueuedConnection);
}
