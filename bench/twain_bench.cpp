// The simulated duplex scanner through the TWAIN layer: 400 A4 pages at
// 300 dpi, grey and colour, by native and by memory transfer. Pages per second
// from the transfer call to a page image in memory (writing the files belongs
// to the station and is not measured here), and whether memory stays flat
// over the batch: resident memory after the first 50 pages against the end.

#include "benchreport.h"
#include "pagememory.h"
#include "simsession.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const TW_INT16 kDpi = 300;

struct Run
{
    double pagesPerSecond = 0;
    double growthMiB = 0;
    int pages = 0;
    bool ok = false;
};

// A TW_FIX32 as the four bytes of a one-value container's item: Whole, then Frac.
TW_UINT32 fix32Item(TW_INT16 whole)
{
    const TW_FIX32 fix = {whole, 0};
    TW_UINT32 item = 0;
    static_assert(sizeof fix == sizeof item, "a FIX32 fills the item");
    std::memcpy(&item, &fix, sizeof item);
    return item;
}

// A refused step leaves the batch measuring something else (another
// resolution, another transfer): the benchmark stops there.
[[noreturn]] void refused(SimSession &s, const char *step)
{
    std::fprintf(stderr, "twain_bench: the source refused %s (condition code %u); stopping\n", step,
                 unsigned(s.condition(true)));
    std::exit(2);
}

void require(SimSession &s, bool ok, const char *step)
{
    if (!ok)
        refused(s, step);
}

// One batch; every page is turned into an image the way the station will
// (DIB rows bottom-up, or strips into place) and then dropped.
Run scan(SimSession &s, TW_UINT16 pixelType, TW_UINT16 mechanism, int sheets)
{
    Run run;
    s.writeSources(QByteArray("{\"sources\": [{\"productName\": \"Bench\", \"sheetCount\": ")
                   + QByteArray::number(sheets) + ", \"pageSize\": [8.27, 11.69], \"preferredBufferSize\": 1048576}]}");
    require(s, s.openManager(), "opening the manager");
    require(s, s.openSource(), "opening the source");
    require(s, s.setOneValue(ICAP_PIXELTYPE, TWTY_UINT16, pixelType), "the pixel type");
    require(s, s.setOneValue(ICAP_XFERMECH, TWTY_UINT16, mechanism), "the transfer mechanism");
    require(s, s.setOneValue(CAP_DUPLEXENABLED, TWTY_BOOL, 1), "duplex");
    require(s, s.setOneValue(ICAP_XRESOLUTION, TWTY_FIX32, fix32Item(kDpi)), "300 dpi across");
    require(s, s.setOneValue(ICAP_YRESOLUTION, TWTY_FIX32, fix32Item(kDpi)), "300 dpi down");
    require(s, s.enable(), "enabling the source");
    require(s, s.fetchXferReady(), "the transfer");
    // An A4 page is 8.27 inches wide: the pages must come at the resolution asked for.
    const int expectedWidth = int(std::lround(8.27 * kDpi));
    double afterWarmUp = 0;
    QElapsedTimer clock;
    clock.start();
    for (TW_UINT16 count = 1; count != 0;) {
        int strips = 0;
        const QImage page = mechanism == TWSX_NATIVE ? s.nativePage() : s.memoryPage(1 << 20, false, &strips);
        require(s, !page.isNull(), "a page transfer");
        require(s, s.endTransfer(&count) == TWRC_SUCCESS, "ending a transfer");
        if (std::abs(page.width() - expectedWidth) > 2) {
            std::fprintf(stderr, "twain_bench: a page is %d pixels wide, not %d as at %d dpi; stopping\n",
                         page.width(), expectedWidth, kDpi);
            std::exit(2);
        }
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
    // Every native page is a new block of 9 MB (grey) to 26 MB (colour),
    // kept on the heap as the scanning station does.
    keepPageBlocksOnHeap();
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    QCommandLineOption pagesOption(QStringLiteral("pages"), QStringLiteral("Pages per batch (even)."),
                                   QStringLiteral("count"), QStringLiteral("400"));
    parser.addOption(pagesOption);
    parser.addHelpOption();
    parser.process(app);
    const int sheets = std::max(26, parser.value(pagesOption).toInt() / 2);

    SimSession session;
    std::printf("Simulated duplex source, %d A4 pages at %d dpi a batch (large blocks on the heap)\n", 2 * sheets, kDpi);
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
            std::printf("  %s: the batch left memory handles behind\n", c.name);
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
