#include "app/mpris_root_adaptor.h"

#include "app/form1.h"

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

QStringList MprisRootAdaptor::supportedMimeTypes() const {
    return {QStringLiteral("audio/mpeg")};
}

void MprisRootAdaptor::Raise() {
    form_->setWindowState(form_->windowState() & ~Qt::WindowMinimized);
    form_->show();
    form_->raise();
    form_->activateWindow();
}

void MprisRootAdaptor::Quit() {
    // Queued, so the caller gets its answer before the program ends.
    QMetaObject::invokeMethod(form_, &Form1::mnuExit_Click, Qt::QueuedConnection);
}
