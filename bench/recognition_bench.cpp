// Recognition throughput: renders two-page A4 answer sheets as JPEG scans,
// runs the recognition workers over them with 1 to N workers and prints
// sheets per second, where the time of a page goes, and peak memory.

#include "benchwindow.h"
#include "mainwindow.h"
#include "markreader.h"
#include "mytablewidgetimage.h"
#include "mytablewidgetresult.h"
#include "omrresources.h"
#include "pageimage.h"
#include "pagememory.h"
#include "pipelinefixture.h"
#include "settingsfile.h"
#include "unattended.h"

#include <QApplication>
#include <QDir>
#include <QMap>
#include <QSettings>

#include <QFile>
#include <opencv2/imgcodecs.hpp>

#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QProcess>
#include <QProcessEnvironment>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QtConcurrent>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <numeric>
#include <memory>
#include <thread>

namespace {

long peakMemoryMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024; // kilobytes on Linux
}

double ms(long long ns, int pages)
{
    return pages > 0 ? double(ns) / 1e6 / pages : 0.0;
}

struct ItemFile {
    QByteArray path;   // local 8-bit, as the engine hands it to OpenCV
    QByteArray bytes;
};

// The objective item images the engine wrote, as they are on disk, grouped
// by sheet (the student code starts every name).
QVector<QVector<ItemFile>> itemFilesBySheet(const QString &folder)
{
    QMap<QString, QVector<ItemFile>> bySheet;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        bySheet[name.section(QLatin1Char('-'), 0, 0)].append({QFile::encodeName(f.fileName()), f.readAll()});
    }
    return bySheet.values().toVector();
}

// Sheets per second of a plain loop that rewrites those files in place, one
// sheet per claim, as the workers do: open, write, close, nothing else.
double writeLoopRate(const QVector<QVector<ItemFile>> &sheets, int threads)
{
    std::atomic<int> next {0};
    std::atomic<int> failed {0};
    auto work = [&] {
        for (int s = next++; s < sheets.size(); s = next++) {
            for (const ItemFile &file : sheets.at(s)) {
                std::FILE *out = std::fopen(file.path.constData(), "wb");
                const bool ok = out && std::fwrite(file.bytes.constData(), 1, size_t(file.bytes.size()), out)
                                           == size_t(file.bytes.size());
                if (!out || std::fclose(out) != 0 || !ok)
                    ++failed;
            }
        }
    };
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back(work);
    for (std::thread &t : pool)
        t.join();
    const double seconds = clock.nsecsElapsed() / 1e9;
    return failed ? 0.0 : sheets.size() / seconds;
}

// "1.23 0.98 0.75": the machine's load averages over 1, 5 and 15 minutes.
QString machineLoad()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2);
}

// What the engine made of the sheets: the rows, the results and every file
// in the exam folder's output folders, as one digest.
QByteArray resultDigest(const RecordingSink &sink, const QString &examDir)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const RecordingSink::ImageRow &row : sink.imageRows())
        hash.addData(QStringList{row.path, row.code, row.result, row.anchorA, row.anchorB, row.printText}
                         .join(QLatin1Char('|')).toUtf8());
    for (const RecordingSink::ResultRow &r : sink.results()) {
        QStringList fields{r.code, QString::number(r.total), r.optionals.join(QLatin1Char(','))};
        for (auto o = r.objectives.cbegin(); o != r.objectives.cend(); ++o)
            fields << QStringLiteral("%1:%2:%3").arg(o.key()).arg(o->marks).arg(o->score);
        for (auto j = r.subjects.cbegin(); j != r.subjects.cend(); ++j)
            fields << j.key() + QLatin1Char('=') + j.value();
        hash.addData(fields.join(QLatin1Char('|')).toUtf8());
    }
    for (const char *sub : {"codes", "objects", "subjects", "optionals"}) {
        const QDir dir(examDir + QLatin1Char('/') + QLatin1String(sub));
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
            QFile f(dir.filePath(name));
            if (f.open(QIODevice::ReadOnly)) {
                hash.addData(name.toUtf8());
                hash.addData(f.readAll());
            }
        }
    }
    return hash.result().toHex().left(12);
}

// The page memory figures of one fresh process.
struct PageMemoryFigures {
    double single = 0;     // sheets/s, one worker
    double several = 0;    // sheets/s, the most workers
    double faults = 0;     // minor page faults per page, one worker
    double faultsSeveral = 0;
    QByteArray digest;
};

// Runs this program again over the rendered pages (listed in `listFile`),
// with page memory kept or fresh; empty figures when the run failed.
PageMemoryFigures pageMemoryRun(const QString &listFile, bool kept, int workers, int dpi)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (kept)
        env.remove(QStringLiteral("OMR_PAGE_MEMORY"));
    else
        env.insert(QStringLiteral("OMR_PAGE_MEMORY"), QStringLiteral("fresh"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--page-memory-child"), listFile, QStringLiteral("--max-workers"),
                 QString::number(workers), QStringLiteral("--dpi"), QString::number(dpi)});
    PageMemoryFigures f;
    if (!child.waitForFinished(-1) || child.exitCode() != 0)
        return f;
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 5)
        return f;
    f.single = fields[0].toDouble();
    f.several = fields[1].toDouble();
    f.faults = fields[2].toDouble();
    f.faultsSeveral = fields[3].toDouble();
    f.digest = fields[4];
    return f;
}

long minorFaults()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// The child of pageMemoryRun: as the processing program, a fresh process
// whose allocator has seen no rendering, every worker on a thread of its own.
// Prints "one-worker k-worker faults-per-page(1) faults-per-page(k) digest".
int pageMemoryChild(const QString &listFile, int workers, int dpi)
{
    QFile list(listFile);
    if (!list.open(QIODevice::ReadOnly))
        return 1;
    QStringList lines = QString::fromUtf8(list.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.size() < 3)
        return 1;
    const QString examDir = lines.takeFirst();
    const QStringList paths = lines;
    const int sheets = paths.size() / 2;
    RecognitionSettings settings;
    settings.subjectImageFormatIndex = 0;
    PipelineFixture fx(SheetSpec::benchmark(SheetSpec::BlackRectangles, dpi), examDir, settings);
    if (!fx.ok())
        return 1;
    for (int s = 0; s < sheets; ++s)
        fx.addStudent(QStringLiteral("%1").arg(2026000000 + s), s + 1);
    auto timed = [&](int k, QByteArray *digest, double *faults) {
        RecordingSink sink(paths);
        const long before = minorFaults();
        QElapsedTimer clock;
        clock.start();
        std::unique_ptr<QThread> thread(QThread::create([&] { fx.run(sink, paths.size(), k, &settings); }));
        thread->start();
        thread->wait();
        const double rate = sheets / (clock.nsecsElapsed() / 1e9);
        if (faults)
            *faults = double(minorFaults() - before) / paths.size();
        if (digest)
            *digest = resultDigest(sink, examDir);
        return rate;
    };
    QByteArray digest;
    double faults = 0;
    double faultsSeveral = 0;
    const double single = timed(1, &digest, &faults);
    const double several = workers > 1 ? timed(workers, nullptr, &faultsSeveral) : single;
    std::printf("%.3f %.3f %.1f %.1f %s\n", single, several, faults, faultsSeveral, digest.constData());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // As the processing program does, unless OMR_PAGE_MEMORY=fresh.
    if (pageMemoryKept())
        keepPageBlocksOnHeap();
    preferOffscreen();
    QApplication app(argc, argv);
    initOmrResources();
    useUnreachablePlatform();
    UnattendedBoxes boxes;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Recognition engine benchmark"));
    parser.addHelpOption();
    const QCommandLineOption sheetsOption(QStringLiteral("sheets"), QStringLiteral("Answer sheets to render."),
                                          QStringLiteral("n"), QStringLiteral("24"));
    const QCommandLineOption workersOption(QStringLiteral("max-workers"),
                                           QStringLiteral("Largest number of workers (1..6)."), QStringLiteral("k"),
                                           QStringLiteral("6"));
    const QCommandLineOption dpiOption(QStringLiteral("dpi"), QStringLiteral("Scan resolution."), QStringLiteral("dpi"),
                                       QStringLiteral("300"));
    const QCommandLineOption roundsOption(QStringLiteral("window-rounds"),
                                          QStringLiteral("Pairs of engine-only and main-window runs per worker count."),
                                          QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption memoryRoundsOption(QStringLiteral("memory-rounds"),
                                                QStringLiteral("Pairs of fresh processes, page memory fresh and kept."),
                                                QStringLiteral("n"), QStringLiteral("3"));
    const QCommandLineOption childOption(QStringLiteral("page-memory-child"),
                                         QStringLiteral("Internal: one measuring process over a list of pages."),
                                         QStringLiteral("list"));
    parser.addOptions({sheetsOption, workersOption, dpiOption, roundsOption, memoryRoundsOption, childOption});
    parser.process(app);
    if (parser.isSet(childOption))
        return pageMemoryChild(parser.value(childOption), std::clamp(parser.value(workersOption).toInt(), 1, 6),
                               std::clamp(parser.value(dpiOption).toInt(), 100, 600));
    const int memoryRounds = std::clamp(parser.value(memoryRoundsOption).toInt(), 0, 15);
    const int sheets = std::max(1, parser.value(sheetsOption).toInt());
    const int maxWorkers = std::clamp(parser.value(workersOption).toInt(), 1, 6);
    const int dpi = std::clamp(parser.value(dpiOption).toInt(), 100, 600);
    const int windowRounds = std::clamp(parser.value(roundsOption).toInt(), 1, 15);

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    RecognitionSettings settings;
    settings.subjectImageFormatIndex = 0; // JPEG cut images, as for grey scans
    PipelineFixture fx(SheetSpec::benchmark(SheetSpec::BlackRectangles, dpi), dir.filePath(QStringLiteral("exam")),
                       settings);
    if (!fx.ok()) {
        std::fprintf(stderr, "template not loaded: %s\n", qPrintable(fx.error()));
        return 1;
    }

    std::printf("Rendering %d two-page sheets at %d dpi as JPEG...\n", sheets, dpi);
    std::fflush(stdout);
    QVector<int> indexes(sheets);
    std::iota(indexes.begin(), indexes.end(), 0);
    QVector<StudentMarks> students(sheets);
    for (int s = 0; s < sheets; ++s) {
        students[s] = StudentMarks::random(fx.spec(), quint32(s + 1));
        students[s].code = QStringLiteral("%1").arg(2026000000 + s);
        students[s].scribbles = true;
        fx.addStudent(students[s].code, s + 1);
    }
    QVector<QStringList> written(sheets);
    QtConcurrent::blockingMap(indexes, [&](int s) {
        Distortion d;
        d.rotationDegrees = (s % 5 - 2) * 0.6;
        d.dx = s % 7 - 3;
        d.dy = s % 5 - 2;
        d.noiseSigma = 2;
        d.noiseVariant = quint32(s);
        d.jpegQuality = 85;
        written[s] = fx.writeStudent(students[s], d, s);
    });
    QStringList paths;
    for (const QStringList &p : written)
        paths << p;
    if (paths.size() != sheets * 2) {
        std::fprintf(stderr, "rendering failed\n");
        return 1;
    }

    // One untimed pass, so every run finds the item image files already there
    // and the page files in the cache.
    {
        RecordingSink warmUp(paths);
        fx.run(warmUp, paths.size(), std::min(maxWorkers, 4), &settings);
    }

    std::printf("Machine: %d cores; exam folder %s (set TMPDIR to move it)\n\n", QThread::idealThreadCount(),
                qPrintable(fx.examDir()));

    // Page memory. This process rendered the pages: freeing those large
    // blocks raised glibc's moving mmap and trim thresholds far above a page,
    // so here pages stay on the heap whatever the program sets. The program
    // starts with neither, so each figure comes from a fresh process reading
    // the same files, its workers on threads of their own as the window's are:
    // "fresh" as before (OMR_PAGE_MEMORY=fresh), "kept" as now. The pairs
    // alternate, so that both sides see the same load.
    if (memoryRounds > 0) {
        const QString listFile = dir.filePath(QStringLiteral("pages.txt"));
        QFile list(listFile);
        if (!list.open(QIODevice::WriteOnly) || list.write((QStringList{fx.examDir()} + paths).join(QLatin1Char('\n')).toUtf8()) < 0) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(listFile));
            return 1;
        }
        list.close();
        std::printf("Page memory, fresh processes, %d pairs (sheets/s and minor page faults per page with 1 and %d "
                    "workers):\n", memoryRounds, maxWorkers);
        std::printf("%5s %-6s %10s %10s %10s %10s %14s  %s\n", "pair", "memory", "1 worker", "k workers", "faults 1",
                    "faults k", "results", "load 1/5/15 min before");
        QVector<double> singleRatios, scalings, fresh1, kept1, keptK;
        bool identical = true;
        for (int round = 0; round < memoryRounds; ++round) {
            PageMemoryFigures pair[2];
            for (int kept = 0; kept < 2; ++kept) {
                const QString load = machineLoad();
                pair[kept] = pageMemoryRun(listFile, kept == 1, maxWorkers, dpi);
                const PageMemoryFigures &f = pair[kept];
                if (f.single <= 0) {
                    std::fprintf(stderr, "a measuring process failed\n");
                    return 1;
                }
                std::printf("%5d %-6s %10.2f %10.2f %10.0f %10.0f %14s  %s\n", round + 1, kept ? "kept" : "fresh",
                            f.single, f.several, f.faults, f.faultsSeveral, f.digest.constData(), qPrintable(load));
                std::fflush(stdout);
            }
            identical = identical && pair[0].digest == pair[1].digest;
            singleRatios << pair[1].single / pair[0].single;
            scalings << pair[1].several / pair[1].single;
            fresh1 << pair[0].single;
            kept1 << pair[1].single;
            keptK << pair[1].several;
        }
        auto spread = [](QVector<double> v) {
            std::sort(v.begin(), v.end());
            return QStringLiteral("min %1 median %2 max %3")
                .arg(v.first(), 0, 'f', 2)
                .arg(v[v.size() / 2], 0, 'f', 2)
                .arg(v.last(), 0, 'f', 2);
        };
        auto median = [](QVector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        std::printf("One worker, sheets/s: fresh %s; kept %s\n", qPrintable(spread(fresh1)), qPrintable(spread(kept1)));
        std::printf("%d workers, kept, sheets/s: %s\n", maxWorkers, qPrintable(spread(keptK)));
        const bool memoryScalingTarget = median(scalings) >= 0.7 * maxWorkers;
        std::printf("Target, results of kept and fresh page memory identical: %s\n", identical ? "met" : "MISSED");
        std::printf("Target, one worker with page memory kept at least 1.8 times fresh: %.2f (pairs: %s), %s\n",
                    median(singleRatios), qPrintable(spread(singleRatios)), median(singleRatios) >= 1.8 ? "met" : "missed");
        std::printf("Target, %d workers at least 0.7 x %d times one worker (kept): %.2f times, at least %.1f wanted (%s), %s\n"
                    "        (this needs %d free cores: compare the load above with the cores)\n",
                    maxWorkers, maxWorkers, median(scalings), 0.7 * maxWorkers, qPrintable(spread(scalings)),
                    memoryScalingTarget ? "met" : "missed", maxWorkers);
        std::printf("\n");
        std::fflush(stdout);
    }

    std::printf("%7s %10s %8s %10s %10s %10s %10s %9s %8s\n", "workers", "sheets/s", "speedup", "decode ms",
                "align ms", "marks ms", "write ms", "failed", "peak MiB");
    double single = 0.0;
    double singleMarks = 0.0;
    double singleAlign = 0.0;
    double singleDecode = 0.0;
    QString originOfSheet;
    bool alignmentTarget = true;
    bool scalingTarget = true;
    for (int k = 1; k <= maxWorkers; ++k) {
        RecordingSink sink(paths);
        PipelineTimings timings;
        QElapsedTimer clock;
        clock.start();
        fx.run(sink, paths.size(), k, &settings, &timings);
        const double seconds = clock.nsecsElapsed() / 1e9;
        int failed = 0;
        for (const RecordingSink::ImageRow &row : sink.imageRows())
            failed += row.result == QStringLiteral("√") ? 0 : 1;
        const double rate = sheets / seconds;
        if (k == 1)
            single = rate;
        const int pages = timings.pages;
        const double decode = ms(timings.decode, pages);
        const double align = ms(timings.alignment, pages);
        const double marks = ms(timings.marks, pages);
        const double write = ms(timings.writing, pages);
        std::printf("%7d %10.2f %8.2f %10.1f %10.1f %10.1f %10.1f %9d %8ld\n", k, rate, rate / single, decode, align,
                    marks, write, failed, peakMemoryMiB());
        std::fflush(stdout);
        if (k == 1) {
            singleMarks = marks;
            singleAlign = align;
            singleDecode = decode;
            originOfSheet = sink.imageRows().value(std::min(2, sheets - 1) * 2).anchorA;
        }
        if (k <= QThread::idealThreadCount() && rate < 0.7 * k * single)
            scalingTarget = false;
        if (failed)
            std::printf("        first failure: %s\n", qPrintable([&] {
                for (const RecordingSink::ImageRow &row : sink.imageRows())
                    if (row.result != QStringLiteral("√"))
                        return row.path + QStringLiteral(": ") + row.result;
                return QString();
            }()));
    }
    // Each objective question writes two small item images into one folder.
    // How far several workers can scale is bounded by how well the disk takes
    // those files from several threads, so the engine's scaling is compared
    // with that of a plain loop writing the very same files. Best of a few
    // alternating rounds, since other programs share the machine.
    bool itemImageTarget = true;
    {
        const QVector<QVector<ItemFile>> files = itemFilesBySheet(fx.examDir() + QStringLiteral("/objects"));
        int count = 0;
        qint64 bytes = 0;
        for (const QVector<ItemFile> &sheet : files) {
            count += sheet.size();
            for (const ItemFile &f : sheet)
                bytes += f.bytes.size();
        }
        double engine1 = 0.0, engineK = 0.0, loop1 = 0.0, loopK = 0.0;
        for (int round = 0; round < 3; ++round) {
            for (int k : {1, maxWorkers}) {
                RecordingSink sink(paths);
                QElapsedTimer clock;
                clock.start();
                fx.run(sink, paths.size(), k, &settings);
                double &best = k == 1 ? engine1 : engineK;
                best = std::max(best, sheets / (clock.nsecsElapsed() / 1e9));
                double &bestLoop = k == 1 ? loop1 : loopK;
                bestLoop = std::max(bestLoop, writeLoopRate(files, k));
            }
        }
        const double engineScaling = engine1 > 0 ? engineK / engine1 : 0.0;
        const double loopScaling = loop1 > 0 ? loopK / loop1 : 0.0;
        const double ratio = loopScaling > 0 ? engineScaling / loopScaling : 0.0;
        itemImageTarget = files.size() == sheets && ratio >= 0.8;
        std::printf("\nItem images: %d files of %.1f KiB on average in one folder, %d sheets\n", count,
                    count ? bytes / 1024.0 / count : 0.0, int(files.size()));
        std::printf("%-28s %10s %10s %9s\n", "sheets/s", "1", QByteArray::number(maxWorkers).constData(),
                    "scaling");
        std::printf("%-28s %10.2f %10.2f %9.2f\n", "engine (workers)", engine1, engineK, engineScaling);
        std::printf("%-28s %10.2f %10.2f %9.2f\n", "plain write loop (threads)", loop1, loopK, loopScaling);
        std::printf("Target, engine scaling (%d / 1 workers) at least 0.8 of the write loop's: %s (ratio %.2f)\n",
                    maxWorkers, itemImageTarget ? "met" : "missed", ratio);
        std::fflush(stdout);
    }

    // The same sheets through the real main window and its workers: the
    // tables, the log and the blocking signals on top of the engine. Each
    // window run is paired with an engine-only run of as many workers just
    // before it, so that a change in the machine's load moves both; the ratio
    // is the median over the pairs.
    std::printf("\nThrough the main window (offscreen), %d pairs of runs each:\n", windowRounds);
    std::printf("%7s %10s %14s %8s   %s\n", "workers", "sheets/s", "engine only", "ratio", "ratio of each pair");
    struct WindowFigure {
        int workers = 0;
        double ratio = 0.0;
    };
    QVector<WindowFigure> windowFigures;
    {
        const QString ini = dir.filePath(QStringLiteral("Ardentiq.ini"));
        setSettingsFilePathForTesting(ini);
        auto median = [](QVector<double> v) {
            std::sort(v.begin(), v.end());
            return v.isEmpty() ? 0.0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
        };
        // Sheets per second through a fresh window; 0 when the exam cannot be opened.
        auto windowRun = [&](int processType, int *workers, bool last) {
            {
                QSettings s(ini, QSettings::IniFormat);
                s.setIniCodec("UTF-8");
                s.setValue(QStringLiteral("SettingAnchorAndProcess/ProcessType"), processType);
                s.setValue(QStringLiteral("SettingImage/SubjectImageFormatIndex"), 0);
            }
            MainWindow window;
            if (!openFixtureExam(window, fx, QStringLiteral("bench")))
                return 0.0;
            QElapsedTimer clock;
            clock.start();
            window.startProcess();
            *workers = window.processWorkers.size();
            // Sleeps until the next event, as the program's own event loop does
            // (the overload with a time limit would poll without sleeping).
            while (window.isProcessing())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            const double rate = sheets / (clock.nsecsElapsed() / 1e9);
            if (window.tableWidgetResults->rowCount() != sheets)
                std::printf("        %d result rows instead of %d\n", window.tableWidgetResults->rowCount(), sheets);
            if (last)
                QDir(window.examFolder()).removeRecursively();
            return rate;
        };
        const QVector<int> processTypes = maxWorkers == 1 ? QVector<int>{0} : QVector<int>{0, 1};
        for (int t = 0; t < processTypes.size(); ++t) {
            const int processType = processTypes[t];
            // Untimed: learns the window's worker count; the first one also
            // creates the exam folder's files, which the timed runs then
            // overwrite, as in the engine-only runs.
            int workers = 0;
            if (windowRun(processType, &workers, false) <= 0) {
                std::printf("the exam could not be opened\n");
                break;
            }
            QVector<double> windowRates, engineRates, ratios;
            for (int round = 0; round < windowRounds; ++round) {
                // Each run starts without the previous run's files still being
                // written back.
                ::sync();
                RecordingSink sink(paths);
                QElapsedTimer clock;
                clock.start();
                fx.run(sink, paths.size(), workers, &settings);
                const double engine = sheets / (clock.nsecsElapsed() / 1e9);
                const bool last = t == processTypes.size() - 1 && round == windowRounds - 1;
                ::sync();
                const double rate = windowRun(processType, &workers, last);
                windowRates << rate;
                engineRates << engine;
                ratios << rate / engine;
            }
            QStringList each;
            for (double r : qAsConst(ratios))
                each << QString::number(r, 'f', 2);
            const double ratio = median(ratios);
            windowFigures.push_back({workers, ratio});
            std::printf("%7d %10.2f %14.2f %8.2f   %s\n", workers, median(windowRates), median(engineRates), ratio,
                        qPrintable(each.join(QLatin1Char(' '))));
            std::fflush(stdout);
        }
        setSettingsFilePathForTesting(QString());
    }

    // Mark reading proper, without writing the item images: the objective
    // questions of an unturned page read into a folder that does not exist,
    // so every image write fails at once.
    double readingOnly = 0.0;
    {
        const int sheet = std::min(2, sheets - 1);
        const cv::Mat page = cv::imread(QFile::encodeName(paths[sheet * 2]).toStdString(), cv::IMREAD_GRAYSCALE);
        const QStringList origin = originOfSheet.split(QLatin1Char(','));
        const int ox = origin.value(0).toInt();
        const int oy = origin.value(1).toInt();
        const int rounds = 20;
        QElapsedTimer clock;
        clock.start();
        for (int r = 0; r < rounds; ++r) {
            for (const ObjectItem &item : fx.model().objectItems) {
                if (item.page == 1)
                    readObjectiveItem(page, item, 0.5f, ox, oy, 0, 200, QStringLiteral("/nonexistent"),
                                      QStringLiteral("0"));
            }
        }
        // Page 1 holds every question; spread over both pages like the other figures.
        readingOnly = double(clock.nsecsElapsed()) / 1e6 / rounds / 2.0;
    }
    alignmentTarget = singleAlign + readingOnly < singleDecode;
    std::printf("\nOne worker, per page: decode %.1f ms, alignment %.1f ms, mark reading %.1f ms, "
                "item images %.1f ms\n",
                singleDecode, singleAlign, readingOnly, std::max(0.0, singleMarks - readingOnly));
    std::printf("Times are per page and summed over workers; \"marks\" in the table include writing the item "
                "images (two files per question) and the absent mark and code.\n");
    std::printf("Target, alignment + mark reading (without item images) below decoding (1 worker): %s\n", alignmentTarget ? "met" : "missed");
    std::printf("Target, k workers on k free cores at least 0.7 k times one worker: %s\n",
                scalingTarget ? "met" : "missed");
    for (const WindowFigure &f : qAsConst(windowFigures))
        std::printf("Target, through the main window with %d worker%s at least 0.85 of the engine-only throughput: "
                    "%.2f, %s\n",
                    f.workers, f.workers == 1 ? "" : "s", f.ratio, f.ratio >= 0.85 ? "met" : "missed");
    return 0;
}
