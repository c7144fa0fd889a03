#pragma once

#include <QDBusMessage>
#include <QString>

// The names this program holds on the session bus, shared by the media controls and the
// launch hand-over.

// The name of the session's first player: org.mpris.MediaPlayer2.marrowtune.
QString playerBusName();
// Whether there is a session bus to use, without starting one.
bool sessionBusKnown();
// The bus's RequestName call for `name`, not queueing behind its owner, and whether an
// answer to it means the name is ours.
QDBusMessage requestNameCall(const QString& name);
bool nameGranted(uint answer);
