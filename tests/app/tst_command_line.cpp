#include "app/command_line.h"

#include <QTextStream>
#include <QtTest>

// The launch command line: what it opens, and what it answers before any window appears.
class TstCommandLine : public QObject {
    Q_OBJECT
private slots:
    void parse_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode"); // -1: the player starts
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<bool>("enqueue");
        QTest::addColumn<QString>("printed"); // on stdout, or on stderr for an error
        auto row = [](const char* name, const QStringList& arguments, int exitCode,
                      const QStringList& paths, bool enqueue, const QString& printed = {}) {
            QTest::newRow(name) << arguments << exitCode << paths << enqueue << printed;
        };
        row("nothing given", {}, -1, {}, false);
        row("paths in order, made absolute", {"b.mp3", "/m/x", "sub/../a.mlt", "./dir/"}, -1,
            {"/cwd/b.mp3", "/m/x", "/cwd/a.mlt", "/cwd/dir"}, false);
        row("file URIs decoded", {"file:///m/a%20b%C3%A9.mp3", "FILE:///m/c.mp3"}, -1,
            {u"/m/a bé.mp3"_qs, "/m/c.mp3"}, false);
        row("other URIs left as given", {"http://h/x.mp3"}, -1, {"http://h/x.mp3"}, false);
        row("a colon in a file name", {"a: b.mp3"}, -1, {"/cwd/a: b.mp3"}, false);
        row("line break kept", {"/m/a\nb.mp3"}, -1, {"/m/a\nb.mp3"}, false);
        row("-e and --enqueue, before and after a path", {"-e", "a.mp3", "--enqueue"}, -1,
            {"/cwd/a.mp3"}, true);
        row("--help", {"--help"}, 0, {}, false, "Usage: marrowtune [options] [PATH...]");
        row("--version", {"--version"}, 0, {}, false, "marrowtune 0.1.0\n");
        row("unknown option", {"--shuffle", "a.mp3"}, 2, {}, false, "Unknown option 'shuffle'");
    }

    void parse() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QCoreApplication::setApplicationVersion(QStringLiteral("0.1.0"));
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        CommandLine commandLine;
        const auto code =
            commandLine.parse(QStringList{"marrowtune"} + arguments, outStream, errStream);
        QCOMPARE(code.value_or(-1), exitCode);
        QFETCH(QString, printed);
        if (exitCode == 2) {
            QVERIFY2(err.contains(printed) && err.contains("Usage:"), qPrintable(err));
            QVERIFY(out.isEmpty());
            return;
        }
        QVERIFY2(out.contains(printed), qPrintable(out));
        QVERIFY(err.isEmpty());
        if (code)
            return;
        QTEST(commandLine.paths(QStringLiteral("/cwd")), "paths");
        QTEST(commandLine.enqueue(), "enqueue");
    }
};

QTEST_GUILESS_MAIN(TstCommandLine)
#include "tst_command_line.moc"
