#include "app/mixer_launch.h"

#include <QProcess>
#include <QStandardPaths>

QList<QStringList> desktopMixers() {
    return {{QStringLiteral("pavucontrol")},
            {QStringLiteral("pavucontrol-qt")},
            {QStringLiteral("gnome-control-center"), QStringLiteral("sound")},
            {QStringLiteral("kcmshell6"), QStringLiteral("kcm_pulseaudio")},
            {QStringLiteral("kcmshell5"), QStringLiteral("kcm_pulseaudio")}};
}

bool launchMixer(const QList<QStringList>& candidates) {
    for (const QStringList& candidate : candidates) {
        if (candidate.isEmpty() || QStandardPaths::findExecutable(candidate.first()).isEmpty())
            continue;
        if (QProcess::startDetached(candidate.first(), candidate.mid(1)))
            return true;
    }
    return false;
}
