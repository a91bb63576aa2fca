#pragma once
// What the benchmarks print: the median of repeated runs, each against its
// target with the ratio, and the number of runs taken from "--rounds".

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

// Parses the command line (with --help) and returns the runs of each
// measurement, at least 1.
inline int benchRounds(const QCoreApplication &app, const QString &description, int defaultRounds = 7)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    const QCommandLineOption roundsOption(QStringLiteral("rounds"), QStringLiteral("Runs of each measurement."),
                                          QStringLiteral("n"), QString::number(defaultRounds));
    parser.addOption(roundsOption);
    parser.process(app);
    return std::max(1, parser.value(roundsOption).toInt());
}

inline double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

inline double timeMs(const std::function<void()> &work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return clock.nsecsElapsed() / 1e6;
}

inline double medianMs(int rounds, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r)
        times.push_back(timeMs(work));
    return medianOf(times);
}

// One line: the time, and with a positive target the target and the ratio.
inline void reportMs(const char *what, double ms, double targetMs, int width = 34)
{
    if (targetMs <= 0) {
        std::printf("  %-*s %8.1f ms\n", width, what, ms);
        return;
    }
    const double ratio = ms / targetMs;
    std::printf("  %-*s %8.1f ms   target < %.0f ms: ratio %.2f %s\n", width, what, ms, targetMs, ratio,
                ratio < 1.0 ? "(met)" : "(NOT MET)");
}

// A memory figure of this process from /proc/self/status ("VmRSS:" resident
// now, "VmHWM:" its peak so far), in MiB; 0 when it cannot be read.
inline double residentMiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

// One line: a figure against its target, at least or at most, with the ratio.
inline void reportTarget(const char *what, double value, double target, bool atLeast, const char *unit)
{
    const bool met = atLeast ? value >= target : value <= target;
    std::printf("  %-46s %8.2f %-8s target %s %6.1f %-8s ratio %.2f %s\n", what, value, unit, atLeast ? ">=" : "<=",
                target, unit, target != 0 ? value / target : 0.0, met ? "ok" : "MISSED");
}

// One line: the machine's load averages (1, 5 and 15 minutes) and its cores,
// since wall-clock figures move with what else runs.
inline void reportMachineLoad()
{
    double load[3] = {0, 0, 0};
    if (std::FILE *f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf %lf %lf", &load[0], &load[1], &load[2]) != 3)
            load[0] = load[1] = load[2] = 0;
        std::fclose(f);
    }
    std::printf("Machine load (1, 5, 15 min): %.2f %.2f %.2f\n", load[0], load[1], load[2]);
}
