// The simulated duplex scanner through the TWAIN layer: 400 A4 pages at
// 300 dpi, grey and colour, by native and by memory transfer. Pages per second
// from the transfer call to a page image in memory (writing the files belongs
// to the station and is not measured here), and whether memory stays flat
// over the batch: resident memory after the first 50 pages against the end.

#include "benchreport.h"
#include "simsession.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <malloc.h>

namespace {

struct Run
{
    double pagesPerSecond = 0;
    double growthMiB = 0;
    int pages = 0;
    bool ok = false;
};

// One batch; every page is turned into an image the way the station will
// (DIB rows bottom-up, or strips into place) and then dropped.
Run scan(SimSession &s, TW_UINT16 pixelType, TW_UINT16 mechanism, int sheets)
{
    Run run;
    s.writeSources(QByteArray("{\"sources\": [{\"productName\": \"Bench\", \"sheetCount\": ")
                   + QByteArray::number(sheets) + ", \"pageSize\": [8.27, 11.69], \"preferredBufferSize\": 1048576}]}");
    if (!s.openManager() || !s.openSource() || !s.setOneValue(ICAP_PIXELTYPE, TWTY_UINT16, pixelType)
        || !s.setOneValue(ICAP_XFERMECH, TWTY_UINT16, mechanism) || !s.setOneValue(CAP_DUPLEXENABLED, TWTY_BOOL, 1))
        return run;
    s.setOneValue(ICAP_XRESOLUTION, TWTY_FIX32, 300u << 16);
    s.setOneValue(ICAP_YRESOLUTION, TWTY_FIX32, 300u << 16);
    if (!s.enable() || !s.fetchXferReady())
        return run;
    double afterWarmUp = 0;
    QElapsedTimer clock;
    clock.start();
    for (TW_UINT16 count = 1; count != 0;) {
        int strips = 0;
        const QImage page = mechanism == TWSX_NATIVE ? s.nativePage() : s.memoryPage(1 << 20, false, &strips);
        if (page.isNull() || s.endTransfer(&count) != TWRC_SUCCESS)
            return run;
        if (++run.pages == 50)
            afterWarmUp = residentMiB("VmRSS:");
    }
    run.pagesPerSecond = run.pages / (clock.nsecsElapsed() / 1e9);
    run.growthMiB = residentMiB("VmRSS:") - afterWarmUp;
    s.shutdown();
    run.ok = SimSession::liveHandles() == 0;
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    // Every native page is a new block of 9 MB (grey) to 26 MB (colour). With
    // glibc's moving mmap threshold each one would be mapped afresh and every
    // page faulted in again, which costs more than the transfer itself; a
    // scanning program keeps such blocks on its heap.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    QCommandLineOption pagesOption(QStringLiteral("pages"), QStringLiteral("Pages per batch (even)."),
                                   QStringLiteral("count"), QStringLiteral("400"));
    parser.addOption(pagesOption);
    parser.addHelpOption();
    parser.process(app);
    const int sheets = std::max(26, parser.value(pagesOption).toInt() / 2);

    SimSession session;
    std::printf("Simulated duplex source, %d A4 pages at 300 dpi a batch (large blocks on the heap)\n", 2 * sheets);
    bool allMet = true;
    struct Case
    {
        const char *name;
        TW_UINT16 pixelType, mechanism;
        double target;
    };
    // A fast production scanner delivers about 3 pages a second; grey must
    // keep far ahead of it. Colour pages are three times the bytes and have
    // no target of their own.
    const Case cases[] = {
        {"grey, native", TWPT_GRAY, TWSX_NATIVE, 20},
        {"grey, memory", TWPT_GRAY, TWSX_MEMORY, 20},
        {"colour, native", TWPT_RGB, TWSX_NATIVE, 0},
        {"colour, memory", TWPT_RGB, TWSX_MEMORY, 0},
    };
    for (const Case &c : cases) {
        const Run run = scan(session, c.pixelType, c.mechanism, sheets);
        if (!run.ok) {
            std::printf("  %s: the batch failed or left memory behind\n", c.name);
            allMet = false;
            continue;
        }
        std::printf("%s: %d pages\n", c.name, run.pages);
        if (c.target > 0)
            reportTarget("pages per second", run.pagesPerSecond, c.target, true, "pages/s");
        else
            std::printf("  %-46s %8.1f pages/s\n", "pages per second", run.pagesPerSecond);
        reportTarget("resident memory growth after page 50", run.growthMiB, 64, false, "MiB");
        allMet = allMet && run.pagesPerSecond >= c.target && run.growthMiB <= 64;
    }
    std::printf("  %-46s %8.1f MiB\n", "peak resident memory", residentMiB("VmHWM:"));
    std::printf("\nAll scanner targets: %s\n", allMet ? "met" : "missed");
    return allMet ? 0 : 1;
}
