// The play list at scale, in the real main window on Qt's offscreen platform: loading, saving,
// importing a folder, Remove All, and the memory a long list costs. Each figure is printed next
// to its floor, the same work done with nothing but plain Qt containers and files, measured in
// the same run. Output: one tab-separated line per figure (figure, measured, floor, target,
// verdict), read by bench/run.
//
// usage: bench_list_scale
//        bench_list_scale --rss window|floor LISTFILE   (internal: prints KiB added by LISTFILE)

#include "app/form1.h"
#include "bench/null_engine.h"
#include "bench/paint_watcher.h"
#include "bench/resident_memory.h"
#include "player/player.h"
#include "playlist/folder_listing.h"
#include "playlist/list_file.h"
#include "playlist/list_file_store.h"
#include "playlist/list_readers.h"
#include "playlist/play_list_model.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr double kFloorFactor = 5.0;

QString entryText(int i) {
    // Twelve tracks to an album, ten albums to an artist: paths as deep and long as a real
    // music folder's.
    return QStringLiteral("/home/user/Music/Artist Name %1/Album Title %2/%3 Track title %4.mp3")
        .arg(i / 120, 5, 10, QLatin1Char('0'))
        .arg(i / 12 % 10)
        .arg(i % 12 + 1, 2, 10, QLatin1Char('0'))
        .arg(i);
}

void writeListFile(const QString& path, int count) {
    QByteArray bytes;
    bytes.reserve(qsizetype(count) * 80);
    for (int i = 0; i < count; ++i) {
        bytes += entryText(i).toUtf8();
        bytes += "\r\n";
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Runs `prepare` (untimed) then `work` (timed) `repeats` times; the median in milliseconds.
double medianMs(int repeats, const std::function<void()>& prepare,
                const std::function<void()>& work) {
    QList<double> ms;
    for (int i = 0; i < repeats; ++i) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        work();
        ms << timer.nsecsElapsed() / 1e6;
    }
    return median(ms);
}

QStringList plainRead(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

void plainWrite(const QString& path, const QStringList& entries) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    const QByteArray bytes =
        (entries.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
    file.write(bytes);
}

void printRow(const QString& figure, const QString& measured, const QString& reference,
              const QString& target, bool ok) {
    std::printf("%s\t%s\t%s\t%s\t%s\n", qPrintable(figure), qPrintable(measured),
                qPrintable(reference), qPrintable(target), ok ? "ok" : "missed");
    std::fflush(stdout);
}

QString ms(double value) {
    return QString::number(value, 'f', 1) + QStringLiteral(" ms");
}

// A time against its floor, and against an absolute limit when there is one (limitMs > 0).
void printTimeRow(const QString& figure, double measured, double floor, double limitMs) {
    QString target = QStringLiteral("<= %1 x ref").arg(kFloorFactor);
    bool ok = measured <= kFloorFactor * floor;
    if (limitMs > 0) {
        target = QStringLiteral("< %1 ms, ").arg(limitMs) + target;
        ok = ok && measured < limitMs;
    }
    printRow(figure, ms(measured), ms(floor), target, ok);
}

void note(const char* text) {
    std::fprintf(stderr, "list scale: %s\n", text);
    std::fflush(stderr);
}

// Lets pending layout, timers and paints run so that the next figure starts from quiet.
void settle(PaintWatcher& watcher) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 150)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    watcher.waitForPaint(0);
}

struct Window {
    Player player{new NullEngine};
    Form1 form{&player};
    PaintWatcher* watcher = nullptr;

    Window() {
        form.show();
        auto* list = form.findChild<QListView*>(QStringLiteral("List1"));
        if (!list)
            qFatal("the main window has no List1");
        watcher = new PaintWatcher(list->viewport());
        watcher->waitForPaint();
        settle(*watcher);
    }

    // What the window's list load does, then until the list shows the result.
    void load(const QString& path) {
        const LoadedListFile loaded = loadListFile(path);
        if (!loaded.ok)
            qFatal("cannot load %s", qPrintable(path));
        player.list()->append(loaded.entries);
        painted();
    }

    void painted() {
        if (!watcher->waitForPaint())
            qFatal("the play list was not painted");
    }

    void clear() {
        form.CmdClear_Click();
        painted();
        settle(*watcher);
    }
};

int rssMode(const QString& mode, const QString& path) {
    if (mode == QLatin1String("floor")) {
        const qint64 before = residentKiB();
        const QStringList entries = plainRead(path);
        std::printf("%lld\n", static_cast<long long>(residentKiB() - before));
        return entries.isEmpty();
    }
    Window window;
    const qint64 before = residentKiB();
    window.load(path);
    settle(*window.watcher);
    std::printf("%lld\n", static_cast<long long>(residentKiB() - before));
    return 0;
}

qint64 childRss(const QString& mode, const QString& path) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--rss"), mode, path});
    if (!child.waitForFinished(120000) || child.exitCode() != 0)
        qFatal("memory run (%s) failed", qPrintable(mode));
    return child.readAllStandardOutput().trimmed().toLongLong();
}

void listFigures(const QString& dir, int count, int repeats, double loadLimitMs, double saveLimitMs,
                 Window& window) {
    const QString label = QLocale(QLocale::English).toString(count);
    const QString path = dir + QStringLiteral("/list_%1.mlt").arg(count);
    writeListFile(path, count);

    const double load = medianMs(
        repeats, [&] { window.clear(); }, [&] { window.load(path); });
    QStringList floorList;
    const double loadFloor = medianMs(
        repeats, [&] { floorList.clear(); }, [&] { floorList = plainRead(path); });
    printTimeRow(QStringLiteral("load %1-entry list").arg(label), load, loadFloor, loadLimitMs);

    // The window still holds the list from the last load.
    const QString saved = dir + QStringLiteral("/saved_%1.mlt").arg(count);
    const double save = medianMs(
        repeats, [] {},
        [&] {
            if (!saveListFile(saved, window.player.list()->entries()).ok)
                qFatal("cannot save %s", qPrintable(saved));
        });
    const QString plain = dir + QStringLiteral("/plain_%1.mlt").arg(count);
    const double saveFloor = medianMs(
        repeats, [] {}, [&] { plainWrite(plain, floorList); });
    printTimeRow(QStringLiteral("save %1-entry list").arg(label), save, saveFloor, saveLimitMs);
    window.clear();
}

// Loads `path` as a person does, through "l()ad lizt" and its file dialog. From the moment the
// dialog closes: the time until the whole list shows, and the longest time the window's
// event loop did not answer (a 1 ms timer that cannot fire).
struct WindowLoad {
    double usableMs = 0;
    double longestStallMs = 0;
};

WindowLoad loadThroughWindow(Window& window, const QString& path) {
    QElapsedTimer clock;
    bool loading = false;
    qint64 last = 0;
    double longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (loading)
            longest = std::max(longest, (now - last) / 1e6);
        last = now;
    });
    // Answers the file dialog only; the progress box that a long load shows stays open.
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
        loading = true;
        clock.start();
        last = 0;
        static_cast<QDialog*>(dialog)->accept();
    });
    answerer.start(5);
    ticker.start();
    window.form.CmdLoadList_Click();
    while (window.player.loading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    window.painted();
    WindowLoad result{clock.nsecsElapsed() / 1e6, longest};
    if (!loading)
        qFatal("the load dialog was not answered");
    return result;
}

void stallFigures(const QString& dir, int count, double usableLimitMs, Window& window) {
    const QString label = QLocale(QLocale::English).toString(count);
    const QString path = dir + QStringLiteral("/list_%1.mlt").arg(count);
    if (!QFile::exists(path))
        writeListFile(path, count);
    window.clear();
    const WindowLoad load = loadThroughWindow(window, path);
    QElapsedTimer plain;
    plain.start();
    const qsizetype entries = plainRead(path).size();
    const double floor = plain.nsecsElapsed() / 1e6;
    if (window.player.list()->count() != entries)
        qFatal("the window loaded %d of %lld entries", window.player.list()->count(),
               static_cast<long long>(entries));
    printTimeRow(QStringLiteral("%1-entry list usable after").arg(label), load.usableMs, floor,
                 usableLimitMs);
    printRow(QStringLiteral("longest stall loading %1 entries").arg(label), ms(load.longestStallMs),
             QStringLiteral("-"), QStringLiteral("< 100 ms"), load.longestStallMs < 100);
    window.clear();
}

void importFigures(const QString& dir, Window& window) {
    const QString folder = dir + QStringLiteral("/import");
    QDir().mkpath(folder);
    for (int i = 0; i < 10000; ++i)
        QFile(folder + QStringLiteral("/%1 Track title.mp3").arg(i, 5, 10, QLatin1Char('0')))
            .open(QIODevice::WriteOnly);
    for (int i = 0; i < 1000; ++i)
        QFile(folder + QStringLiteral("/%1 Recording.wav").arg(i, 4, 10, QLatin1Char('0')))
            .open(QIODevice::WriteOnly);

    const double import = medianMs(
        5, [&] { window.clear(); },
        [&] {
            const QStringList names = mp3FileNames(folder);
            QStringList entries;
            entries.reserve(names.size());
            for (const QString& name : names)
                entries << joinFolderAndName(folder, name);
            window.player.list()->append(entries);
            window.painted();
        });
    const double floor = medianMs(
        5, [] {},
        [&] {
            if (QDir(folder).entryList(QDir::Files).isEmpty())
                qFatal("empty import folder");
        });
    printTimeRow(QStringLiteral("import folder of 10,000 MP3s"), import, floor, 300);
    window.clear();
}

void removeAllFigures(const QString& dir, Window& window) {
    const QString path = dir + QStringLiteral("/list_100000.mlt");
    const double clear = medianMs(
        5,
        [&] {
            window.load(path);
            settle(*window.watcher);
        },
        [&] {
            window.form.CmdClear_Click();
            window.painted();
        });
    QStringList entries;
    const double floor = medianMs(
        5, [&] { entries = plainRead(path); }, [&] { entries.clear(); });
    printTimeRow(QStringLiteral("Remove All on 100,000 entries"), clear, floor, 0);
}

// A megabyte of what would make a reader that rescans take the square of its size (hours):
// linear, each is read in well under a second, whatever it holds; a megabyte of ordinary
// entries for reference.
void worstCaseFigures() {
    const auto mb = [](const QByteArray& unit) {
        return unit.repeated(1000000 / unit.size() + 1).left(1000000);
    };
    const QByteArray plain = mb("/music/track.mp3\r\n");
    const auto saved = [](const QByteArray& d) { decodeListFile(d); };
    const auto m3u = [](const QByteArray& d) { readM3u(d, QStringLiteral("/lists")); };
    const auto pls = [](const QByteArray& d) { readPls(d, QStringLiteral("/lists")); };
    const double floor = medianMs(
        3, [] {}, [&] { saved(plain); });
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"only quotes", [&] { saved(mb("\"")); }},
        {"only commas", [&] { saved(mb(",")); }},
        {"only carriage returns", [&] { saved(mb("\r")); }},
        {"one long line", [&] { saved(mb("a")); }},
        {"quotes closed and reopened", [&] { saved(mb("\"a,\"x,")); }},
        {"spaced quotes", [&] { saved(mb(" \"\r")); }},
        {"M3U of short entries", [&] { m3u(mb("a\n")); }},
        {"PLS of one key again and again", [&] { pls(mb("File1=a\n")); }},
    };
    for (const auto& [name, read] : cases) {
        const double took = medianMs(
            3, [] {}, read);
        printRow(QStringLiteral("1 MB list of %1 read").arg(name), ms(took), ms(floor),
                 QStringLiteral("< 1000 ms"), took < 1000);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--rss"))
        return rssMode(args[2], args[3]);

    QTemporaryDir dir;
    if (!dir.isValid())
        qFatal("no temporary folder");
    {
        Window window;
        note("100,000 entries");
        listFigures(dir.path(), 100000, 5, 300, 100, window);
        note("1,000,000 entries");
        listFigures(dir.path(), 1000000, 3, 0, 0, window);
        note("loading through the window");
        stallFigures(dir.path(), 100000, 300, window);
        stallFigures(dir.path(), 4000000, 0, window);
        note("folder import");
        importFigures(dir.path(), window);
        note("worst cases for the readers");
        worstCaseFigures();
        note("Remove All");
        removeAllFigures(dir.path(), window);
    }

    note("memory");
    const QString list = dir.path() + QStringLiteral("/list_100000.mlt");
    const double windowMib = childRss(QStringLiteral("window"), list) / 1024.0;
    const double floorMib = childRss(QStringLiteral("floor"), list) / 1024.0;
    printRow(QStringLiteral("memory for 100,000 entries (above empty window)"),
             QString::number(windowMib, 'f', 1) + QStringLiteral(" MiB"),
             QString::number(floorMib, 'f', 1) + QStringLiteral(" MiB"), QStringLiteral("< 50 MB"),
             windowMib * 1024 * 1024 < 50e6);
    return 0;
}
