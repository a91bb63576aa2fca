// The processing window's share of one worker's run: the same sheets through
// the engine alone and through the main window, with the GUI thread's own
// processor time per sheet (what the receivers, the log, the tables and the
// preview cost while the worker waits on them), split by the kind of event
// the GUI thread spent it in, and the time one blocking round trip from a
// worker to the GUI thread takes on its own.

#include "benchreport.h"
#include "benchwindow.h"
#include "unattended.h"
#include "inifile.h"
#include "mainwindow.h"
#include "mytablewidgetresult.h"
#include "omrresources.h"
#include "pipelinefixture.h"
#include "recordingsink.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace {

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double monotonicSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// The GUI thread's processor time per kind of event it handles, counted at
// the outermost event only (what a handler sends on is its own cost).
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;

    enum Kind { Receivers, Repaints, Timers, Other, KindCount };
    bool timing = false;
    double ms[KindCount] = {};
    int metaCalls = 0;

    void reset()
    {
        std::fill(std::begin(ms), std::end(ms), 0.0);
        metaCalls = 0;
    }

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (!timing || m_depth > 0 || QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        const QEvent::Type type = event->type();
        ++m_depth;
        const double start = threadCpuMs();
        const bool result = QApplication::notify(receiver, event);
        const double spent = threadCpuMs() - start;
        --m_depth;
        Kind kind = Other;
        if (type == QEvent::MetaCall) {
            kind = Receivers;
            ++metaCalls;
        } else if (type == QEvent::UpdateRequest || type == QEvent::Paint || type == QEvent::UpdateLater) {
            kind = Repaints;
        } else if (type == QEvent::Timer) {
            kind = Timers;
        }
        ms[kind] += spent;
        return result;
    }

private:
    int m_depth = 0;
};

// One blocking queued call from a worker thread to an empty receiver on the
// GUI thread, timed from the worker, while the GUI thread only waits for it.
std::vector<double> roundTripsUs(QObject *guiObject, int count)
{
    std::vector<double> us;
    us.reserve(count);
    std::atomic<bool> done{false};
    QThread *thread = QThread::create([&] {
        for (int i = 0; i < count; ++i) {
            const auto start = std::chrono::steady_clock::now();
            QMetaObject::invokeMethod(guiObject, [] {}, Qt::BlockingQueuedConnection);
            us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        }
        done = true;
    });
    thread->start();
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    thread->wait();
    delete thread;
    std::sort(us.begin(), us.end());
    return us;
}

} // namespace

int main(int argc, char **argv)
{
    preferOffscreen();
    TimedApplication app(argc, argv);
    initOmrResources();
    useUnreachablePlatform();
    UnattendedBoxes boxes;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Processing window share benchmark"));
    parser.addHelpOption();
    const QCommandLineOption sheetsOption(QStringLiteral("sheets"), QStringLiteral("Answer sheets."),
                                          QStringLiteral("n"), QStringLiteral("16"));
    const QCommandLineOption roundsOption(QStringLiteral("rounds"), QStringLiteral("Pairs of runs."),
                                          QStringLiteral("n"), QStringLiteral("3"));
    parser.addOptions({sheetsOption, roundsOption});
    parser.process(app);
    const int sheets = std::max(1, parser.value(sheetsOption).toInt());
    const int rounds = std::max(1, parser.value(roundsOption).toInt());

    QTemporaryDir dir;
    RecognitionSettings settings;
    settings.subjectImageFormatIndex = 0;
    PipelineFixture fx(SheetSpec::benchmark(SheetSpec::BlackRectangles, 300), dir.filePath(QStringLiteral("exam")),
                       settings);
    if (!fx.ok())
        return 1;
    QStringList paths;
    for (int s = 0; s < sheets; ++s) {
        StudentMarks marks = StudentMarks::random(fx.spec(), quint32(s + 1));
        marks.code = QStringLiteral("%1").arg(2026000000 + s);
        marks.scribbles = true;
        fx.addStudent(marks.code, s + 1);
        Distortion d;
        d.rotationDegrees = (s % 5 - 2) * 0.6;
        d.noiseSigma = 2;
        d.noiseVariant = quint32(s);
        d.jpegQuality = 85;
        paths << fx.writeStudent(marks, d, s);
    }
    const QString ini = dir.filePath(QStringLiteral("Ardentiq.ini"));
    {
        QSettings s(ini, QSettings::IniFormat);
        s.setValue(QStringLiteral("SettingAnchorAndProcess/ProcessType"), 0);
        s.setValue(QStringLiteral("SettingImage/SubjectImageFormatIndex"), 0);
    }
    setSettingsFilePathForTesting(ini);
    {
        RecordingSink warmUp(paths);
        fx.run(warmUp, paths.size(), 1, &settings);
    }

    reportMachineLoad();
    std::printf("%d sheets, one worker; each round runs the engine alone, then the window as it was (before:\n"
                "every result in a blocking call of its own, OMR_RESULT_SIGNALS_APART, and the preview's old\n"
                "page freed on the GUI thread, OMR_PREVIEW_FREED_HERE) and as it is (after), in turns;\n"
                "\"window from\" is the monotonic clock at the window run's start\n",
                sheets);
    std::printf("%6s %7s %10s %10s %7s %10s %13s   GUI ms/sheet in: receivers (calls) repaints timers other\n",
                "round", "window", "engine/s", "window/s", "ratio", "GUI ms/sh", "window from s");
    std::vector<double> ratios[2];
    for (int r = 0; r < rounds; ++r) {
        ::sync();
        RecordingSink sink(paths);
        QElapsedTimer clock;
        clock.start();
        fx.run(sink, paths.size(), 1, &settings);
        const double engine = sheets / (clock.nsecsElapsed() / 1e9);
        // The order alternates from round to round, so that neither side
        // always runs on the warmer machine.
        const bool order[2] = {r % 2 == 0, r % 2 != 0};
        for (const bool apart : order) {
            ::sync();
            for (const char *name : {"OMR_RESULT_SIGNALS_APART", "OMR_PREVIEW_FREED_HERE"}) {
                if (apart)
                    qputenv(name, "1");
                else
                    qunsetenv(name);
            }
            MainWindow window;
            if (!openFixtureExam(window, fx, QStringLiteral("bench")))
                return 1;
            window.show();
            QCoreApplication::processEvents();
            const double from = monotonicSeconds();
            const double cpu0 = threadCpuMs();
            app.reset();
            app.timing = true;
            clock.start();
            window.startProcess();
            while (window.isProcessing())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            const double rate = sheets / (clock.nsecsElapsed() / 1e9);
            const double cpu = threadCpuMs() - cpu0;
            app.timing = false;
            qunsetenv("OMR_RESULT_SIGNALS_APART");
            qunsetenv("OMR_PREVIEW_FREED_HERE");
            ratios[apart ? 0 : 1].push_back(rate / engine);
            std::printf("%6d %7s %10.2f %10.2f %7.2f %10.1f %13.3f   %.2f (%.1f) %.2f %.2f %.2f\n", r + 1,
                        apart ? "before" : "after", engine, rate, rate / engine, cpu / sheets, from,
                        app.ms[TimedApplication::Receivers] / sheets, double(app.metaCalls) / sheets,
                        app.ms[TimedApplication::Repaints] / sheets, app.ms[TimedApplication::Timers] / sheets,
                        app.ms[TimedApplication::Other] / sheets);
            std::fflush(stdout);
            if (window.tableWidgetResults->rowCount() != sheets)
                std::printf("  %d result rows instead of %d\n", window.tableWidgetResults->rowCount(), sheets);
            QDir(window.examFolder()).removeRecursively();
        }
    }
    for (int i = 0; i < 2; ++i) {
        std::vector<double> &v = ratios[i];
        std::sort(v.begin(), v.end());
        std::printf("window/engine %s: min %.2f median %.2f max %.2f\n", i == 0 ? "before" : "after", v.front(),
                    v[v.size() / 2], v.back());
    }
    const std::vector<double> trips = roundTripsUs(&app, 2000);
    std::printf("one blocking round trip to an idle GUI thread: median %.1f us, 90%% %.1f us, max %.1f us\n",
                trips[trips.size() / 2], trips[trips.size() * 9 / 10], trips.back());
    setSettingsFilePathForTesting(QString());
    return 0;
}
