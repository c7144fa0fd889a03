#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <optional>

class QTextStream;

// What the player is asked to do on its command line: `marrowtune [OPTION...] [PATH...]`.
// Every option of the program is declared here, so that all of them share one parser and one
// help text.
class CommandLine {
public:
    CommandLine();

    // Parses `arguments` (the program's name first). When the program should end at once
    // (--help, --version, an unknown option) it writes what the user asked for to `out`, or
    // the problem and the usage to `err`, and returns the exit code.
    std::optional<int> parse(const QStringList& arguments, QTextStream& out, QTextStream& err);

    // The paths given, in order, made absolute against `currentFolder` so that another
    // process can use them; file:// URIs become local paths, other URIs stay as given.
    QStringList paths(const QString& currentFolder) const;
    // Add without playing.
    bool enqueue() const;
    // Keep the list and the settings between runs.
    bool remember() const;

private:
    QString helpText() const;

    QCommandLineParser parser_;
    QCommandLineOption enqueue_;
    QCommandLineOption remember_;
};

// The launch path or URI `argument` as an absolute local path when it names one, or the
// argument itself when it is a URI of another kind (nothing to open here).
QString launchPath(const QString& argument, const QString& currentFolder);
