#include "app/command_line.h"

#include <QTextStream>
#include <QtTest>

// What the launch command line opens.
class TstCommandLine : public QObject {
    Q_OBJECT
private slots:
    void paths_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<bool>("enqueue");
        QTest::newRow("paths in order, made absolute")
            << QStringList{"b.mp3", "/m/x", "sub/../a.mlt", "./dir/"}
            << QStringList{"/cwd/b.mp3", "/m/x", "/cwd/a.mlt", "/cwd/dir"} << false;
        QTest::newRow("file URIs decoded")
            << QStringList{"file:///m/a%20b%C3%A9.mp3", "FILE:///m/c.mp3"}
            << QStringList{u"/m/a bé.mp3"_qs, "/m/c.mp3"} << false;
        QTest::newRow("other URIs left as given")
            << QStringList{"http://h/x.mp3"} << QStringList{"http://h/x.mp3"} << false;
        QTest::newRow("no scheme before the ://, a leading colon")
            << QStringList{"1x://a.mp3", "a b://c.mp3", "://d.mp3"}
            << QStringList{"/cwd/1x:/a.mp3", "/cwd/a b:/c.mp3", "/cwd/:/d.mp3"} << false;
        QTest::newRow("a colon in a file name")
            << QStringList{"a: b.mp3"} << QStringList{"/cwd/a: b.mp3"} << false;
        QTest::newRow("-e and --enqueue, before and after a path")
            << QStringList{"-e", "a.mp3", "--enqueue"} << QStringList{"/cwd/a.mp3"} << true;
    }

    void paths() {
        QFETCH(QStringList, arguments);
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        CommandLine commandLine;
        QCOMPARE(commandLine.parse(QStringList{"marrowtune"} + arguments, outStream, errStream),
                 std::nullopt);
        QTEST(commandLine.paths(QStringLiteral("/cwd")), "paths");
        QTEST(commandLine.enqueue(), "enqueue");
    }
};

QTEST_GUILESS_MAIN(TstCommandLine)
#include "tst_command_line.moc"
