#pragma once

#include <QList>
#include <QStringList>

// The desktops' own volume mixers, each a program and its arguments, in the order tried.
QList<QStringList> desktopMixers();

// Starts the first of `candidates` that is installed, without waiting for it; false when
// none could be started.
bool launchMixer(const QList<QStringList>& candidates);
