// The processing window's share of one worker's run: the same sheets through
// the engine alone and through the main window, with the GUI thread's own
// processor time per sheet (what the receivers, the log, the tables and the
// preview cost while the worker waits on them).

#include "benchreport.h"
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
#include <cstdio>
#include <ctime>
#include <unistd.h>

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

} // namespace

int main(int argc, char **argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
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
    std::printf("%d sheets, one worker; \"window from\" is the monotonic clock at the window run's start\n", sheets);
    std::printf("%6s %12s %12s %8s %16s %14s\n", "round", "engine/s", "window/s", "ratio", "GUI cpu ms/sheet",
                "window from s");
    for (int r = 0; r < rounds; ++r) {
        ::sync();
        RecordingSink sink(paths);
        QElapsedTimer clock;
        clock.start();
        fx.run(sink, paths.size(), 1, &settings);
        const double engine = sheets / (clock.nsecsElapsed() / 1e9);
        ::sync();
        MainWindow window;
        window.templateDoc.Parse(fx.renderer().templateXml().constData());
        window.answerSettings = fx.answerSettings;
        window.optionalAnswerSettings = fx.optionalAnswerSettings;
        window.studentHash = fx.roster;
        MainWindow::ExamSelection exam;
        exam.examId = QStringLiteral("bench");
        exam.imageSavePath = fx.examDir() + QStringLiteral("/scans");
        if (!window.openExam(exam))
            return 1;
        window.show();
        QCoreApplication::processEvents();
        const double from = monotonicSeconds();
        const double cpu0 = threadCpuMs();
        clock.start();
        window.startProcess();
        while (window.isProcessing())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double rate = sheets / (clock.nsecsElapsed() / 1e9);
        const double cpu = threadCpuMs() - cpu0;
        std::printf("%6d %12.2f %12.2f %8.2f %16.1f %14.3f\n", r + 1, engine, rate, rate / engine, cpu / sheets, from);
        std::fflush(stdout);
        if (window.tableWidgetResults->rowCount() != sheets)
            std::printf("  %d result rows instead of %d\n", window.tableWidgetResults->rowCount(), sheets);
        if (r == rounds - 1)
            QDir(window.examFolder()).removeRecursively();
    }
    setSettingsFilePathForTesting(QString());
    return 0;
}
