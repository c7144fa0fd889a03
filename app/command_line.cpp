#include "app/command_line.h"

#include "playlist/list_formats.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTextStream>
#include <QUrl>

namespace {
// Exit code for a command line the program does not understand, as for other tools.
constexpr int kUsageError = 2;
const char* const kProgram = "marrowtune";

// A letter, then letters, digits, '+', '.' or '-' up to the colon. Checked by hand: a
// regular expression here would keep its engine resident for a launch from a file manager.
bool startsWithScheme(const QString& text) {
    const auto isAlpha = [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    };
    if (text.isEmpty() || !isAlpha(text.front()))
        return false;
    for (const QChar c : text.sliced(1)) {
        if (c == u':')
            return true;
        if (!isAlpha(c) && !(c >= u'0' && c <= u'9') && c != u'+' && c != u'.' && c != u'-')
            return false;
    }
    return false;
}
} // namespace

CommandLine::CommandLine()
    : enqueue_({QStringLiteral("e"), QStringLiteral("enqueue")},
               QStringLiteral("Add to the play list without playing.")),
      remember_(QStringLiteral("remember"),
                QStringLiteral("Keep the play list and the settings (mode, volume, balance, "
                               "mute, keep on top, window place) until the next start with "
                               "--remember, in ~/.local/share/Marrowtune and "
                               "~/.config/Marrowtune.")) {
    QStringList lists;
    for (const ListFormat& format : listFormats())
        lists << QStringLiteral(".") + format.suffix;
    parser_.setApplicationDescription(
        QStringLiteral("Plays MP3 files. Files, folders (their MP3 files) and play lists (%1) "
                       "given are added to the play list, and the first one plays.")
            .arg(lists.join(QStringLiteral(", "))));
    parser_.addHelpOption();
    parser_.addVersionOption();
    parser_.addOption(enqueue_);
    parser_.addOption(remember_);
    parser_.addPositionalArgument(QStringLiteral("paths"),
                                  QStringLiteral("Files, folders, play lists or file:// URIs."),
                                  QStringLiteral("[PATH...]"));
}

std::optional<int> CommandLine::parse(const QStringList& arguments, QTextStream& out,
                                      QTextStream& err) {
    if (!parser_.parse(arguments)) {
        err << kProgram << ": " << parser_.errorText() << "\n\n" << parser_.helpText();
        err.flush();
        return kUsageError;
    }
    if (parser_.isSet(QStringLiteral("help")) || parser_.isSet(QStringLiteral("help-all"))) {
        out << helpText();
        out.flush();
        return 0;
    }
    if (parser_.isSet(QStringLiteral("version"))) {
        out << kProgram << ' ' << QCoreApplication::applicationVersion() << '\n';
        out.flush();
        return 0;
    }
    return std::nullopt;
}

// The command people type, whatever the file was started as (and before Qt knows it).
QString CommandLine::helpText() const {
    static const QRegularExpression usage(QStringLiteral("^Usage: \\S+"));
    return parser_.helpText().replace(usage, QStringLiteral("Usage: ") + QLatin1String(kProgram));
}

QStringList CommandLine::paths(const QString& currentFolder) const {
    QStringList result;
    for (const QString& argument : parser_.positionalArguments())
        result << launchPath(argument, currentFolder);
    return result;
}

bool CommandLine::enqueue() const {
    return parser_.isSet(enqueue_);
}

bool CommandLine::remember() const {
    return parser_.isSet(remember_);
}

QString launchPath(const QString& argument, const QString& currentFolder) {
    // "scheme://..." is a URI; anything else is a path, colons and all.
    if (argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const QUrl url(argument);
        if (url.isLocalFile())
            return QDir::cleanPath(url.toLocalFile());
    }
    if (startsWithScheme(argument) && argument.contains(QLatin1String("://")))
        return argument;
    // Joined by hand: QDir would take a name starting with ':' for a built-in resource.
    if (argument.startsWith(u'/'))
        return QDir::cleanPath(argument);
    return QDir::cleanPath(currentFolder + u'/' + argument);
}
