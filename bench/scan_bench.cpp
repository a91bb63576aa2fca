// The scanning station end to end: a simulated duplex source of 400 A4 pages
// at 300 dpi, grey and colour, by native and by memory transfer, through the
// station's own window, scan form and scan thread. Pages per second from the
// start of the batch to the last file on disk (listed and previewed as the
// operator sees them), and memory over the batch: resident memory every 25
// pages from page 51 on. The growth per page is the median over those spans,
// so a leak shows in it and a single step of the heap does not; the whole
// growth from page 51 to the end and the peak are printed beside it.
//
// Then a long batch of 2,000 small pages, the file list included: the growth
// per page from page 200 to page 2,000, counted when the list holds those
// rows, as heap in use (resident memory is printed beside it; it can hide a
// leak behind the freed page blocks the allocator keeps). The program loads
// the station's pictures as Pellwyn does: without them every icon is empty,
// which is how a 64 KiB decoded icon per listed row once measured "0 KiB per
// page".

#include "formscan.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "omrresources.h"
#include "twainapp.h"
#include "benchreport.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <memory>
#include <mutex>
#include <vector>

namespace {

template <typename T>
T *named(QObject *root, const char *name)
{
    return root->findChild<T *>(QString::fromLatin1(name));
}

struct Case
{
    const char *name;
    const char *pixel;  // the form's colour item
    bool memory;
    int formatIndex;  // 0 jpg, 1 png, 2 bmp, 3 tiff
    double target;    // pages per second; 0: none
};

// Bytes the allocator has handed out and not had back.
double heapInUseKiB()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / 1024.0;
}

struct Run
{
    double listGrowthPerPageKiB = 0;  // heap in use, row 200 to the last row
    double listGrowthRssPerPageKiB = 0;
    int files = 0;
    int boxes = 0;
    double pagesPerSecond = 0;
    double growthPerPageKiB = 0;
    double growthMiB = 0;  // page 51 to the end
    bool ok = false;
};

Run scan(const Case &c, int sheets, const char *pageSize = "[8.27, 11.69]", const char *dpi = "300")
{
    Run run;
    QTemporaryDir dir;
    const QString pages = dir.filePath(QStringLiteral("pages"));
    QDir().mkpath(pages);
    QByteArray source = "{\"sources\": [{\"productName\": \"Bench\", \"protocol\": \"2.4\", \"twain2\": true, "
                        "\"pageSize\": " + QByteArray(pageSize) + ", \"preferredBufferSize\": 1048576, \"sheetCount\": "
                        + QByteArray::number(sheets);
    if (c.memory)
        source += ", \"capabilities\": {\"ICAP_XFERMECH\": {\"type\": \"UINT16\", \"enumeration\": [0, 2], "
                  "\"current\": 2, \"default\": 2}}";
    source += "}]}";
    const QByteArray ini = "[Main]\nSavePath=" + pages.toUtf8() + "\nNamePrefix=P\nNumberLegnth=4\nImageFormat="
                           + QByteArray::number(c.formatIndex) + "\nImageQuality=50\n";
    QFile sources(dir.filePath(QStringLiteral("sources.json")));
    QFile settings(dir.filePath(QStringLiteral("Pellwyn.ini")));
    if (!sources.open(QIODevice::WriteOnly) || sources.write(source) != source.size() ||
        !settings.open(QIODevice::WriteOnly) || settings.write(ini) != ini.size())
        return run;
    sources.close();
    settings.close();
    qputenv("VOSTRA_TWAIN_SIM_SOURCES", QFile::encodeName(sources.fileName()));
    FormScan::setSettingsFilePathForTesting(settings.fileName());

    MessageBoxRecorder boxes;  // a box would stop an unattended run: count them
    boxes.setAnswerFunction([](const MessageBoxSpec &spec) {
        std::fprintf(stderr, "message box: %s\n", qPrintable(spec.text));
        return QMessageBox::Ok;
    });
    auto window = std::make_unique<MainWindow>();
    FormScan *form = window->formScan;
    named<QComboBox>(form, "comboBoxDataSource")->setCurrentIndex(0);
    named<QPushButton>(form, "pushButtonLoadDS")->click();
    if (form->m_DSMState != 4)
        return run;
    named<QComboBox>(form, "comboBoxPixelType")->setCurrentText(QString::fromUtf8(c.pixel));
    named<QComboBox>(form, "comboBoxResolution")->setCurrentText(QString::fromLatin1(dpi));
    named<QComboBox>(form, "comboBoxDuplex")->setCurrentText(QStringLiteral("双面"));

    // Resident memory every kSpan pages once 50 are on disk, read on the
    // scan thread.
    constexpr int kSpan = 25;
    std::mutex samplesMutex;
    std::vector<double> samples;
    QObject::connect(
        form, &FormScan::updateStartNumber, form,
        [&samplesMutex, &samples](const QString &number) {
            const int next = number.toInt();
            if (next > 50 && (next - 51) % kSpan == 0) {
                const double mib = residentMiB("VmRSS:");
                std::lock_guard<std::mutex> lock(samplesMutex);
                samples.push_back(mib);
            }
        },
        Qt::DirectConnection);

    // Heap in use and resident memory when the file list holds row 200 and
    // when it holds the last row (the GUI thread, after the row is made).
    constexpr int kFirstListed = 200;
    double heapAtFirst = 0, rssAtFirst = 0, heapAtLast = 0, rssAtLast = 0;
    QAbstractItemModel *list = named<QTableWidget>(form, "tableWidget")->model();
    QObject::connect(list, &QAbstractItemModel::rowsInserted, form, [&, list] {
        const int rows = list->rowCount();
        if (rows == kFirstListed) {
            heapAtFirst = heapInUseKiB();
            rssAtFirst = residentMiB("VmRSS:") * 1024.0;
        } else if (rows == 2 * sheets) {
            heapAtLast = heapInUseKiB();
            rssAtLast = residentMiB("VmRSS:") * 1024.0;
        }
    });

    QEventLoop loop;
    QObject::connect(form, &FormScan::batchEnded, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    named<QPushButton>(form, "pushButtonGoScan")->click();
    if (form->batchRunning())
        loop.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;

    run.files = QDir(pages).entryList(QDir::Files).size();
    run.boxes = boxes.count();
    run.pagesPerSecond = run.files / seconds;
    {
        std::lock_guard<std::mutex> lock(samplesMutex);
        std::vector<double> spans;
        for (std::size_t i = 1; i < samples.size(); ++i)
            spans.push_back((samples[i] - samples[i - 1]) * 1024.0 / kSpan);
        run.growthPerPageKiB = medianOf(spans);
        if (samples.size() > 1)
            run.growthMiB = samples.back() - samples.front();
    }
    if (2 * sheets > kFirstListed && heapAtLast > 0) {
        run.listGrowthPerPageKiB = (heapAtLast - heapAtFirst) / (2 * sheets - kFirstListed);
        run.listGrowthRssPerPageKiB = (rssAtLast - rssAtFirst) / (2 * sheets - kFirstListed);
    }
    window.reset();
    run.ok = run.files == 2 * sheets && run.boxes == 0;
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    // Native pages are blocks of 9 MB (grey) to 26 MB (colour); kept on the
    // heap rather than mapped afresh for every page.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    // Pages are made on the scan thread; in a thread arena of its own a block
    // that large is still mapped afresh for every page. The station has few
    // threads, so one arena costs nothing.
    mallopt(M_ARENA_MAX, 1);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The station's pictures, as Pellwyn's main loads them: without them
    // every icon the window makes is empty and costs nothing.
    initOmrResources();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The scanning station against a simulated duplex scanner."));
    const QCommandLineOption pagesOption(QStringLiteral("pages"), QStringLiteral("Pages per batch (even)."),
                                         QStringLiteral("count"), QStringLiteral("400"));
    const QCommandLineOption onlyOption(QStringLiteral("only"), QStringLiteral("Only the cases whose name has this."),
                                        QStringLiteral("text"));
    parser.addOption(pagesOption);
    parser.addOption(onlyOption);
    parser.addHelpOption();
    parser.process(app);
    const int sheets = std::max(30, parser.value(pagesOption).toInt() / 2);
    qputenv("VOSTRA_TWAIN_DSM", TWAIN_SIM_LIBRARY);
    // The station's trace of every page is not what is measured.
    setTwainTraceSink([](bool, const char *) {});
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type >= QtWarningMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });

    std::printf("Scanning station, simulated duplex source: %d A4 pages at 300 dpi a batch, files written as the\n"
                "station writes them (jpg quality 50 unless named), listed and previewed\n",
                2 * sheets);
    // A fast production scanner delivers about 3 pages a second; grey must
    // keep far ahead of it. Colour has no speed target of its own.
    const Case cases[] = {
        {"grey, native, jpg", "灰度", false, 0, 20},
        {"grey, memory, jpg", "灰度", true, 0, 20},
        {"colour, native, jpg", "彩色", false, 0, 0},
        {"colour, memory, jpg", "彩色", true, 0, 0},
        {"grey, native, bmp", "灰度", false, 2, 0},
        {"black and white, native, png", "黑白", false, 1, 0},
    };
    bool allMet = true;
    const QString only = parser.value(onlyOption);
    for (const Case &c : cases) {
        if (!QString::fromUtf8(c.name).contains(only))
            continue;
        const Run run = scan(c, sheets);
        std::printf("%s: %d files\n", c.name, run.files);
        if (!run.ok) {
            std::printf("  the batch did not write every page (%d message boxes)\n", run.boxes);
            allMet = false;
            continue;
        }
        if (c.target > 0) {
            reportTarget("pages per second", run.pagesPerSecond, c.target, true, "pages/s");
            allMet = allMet && run.pagesPerSecond >= c.target;
        } else {
            std::printf("  %-40s %8.2f pages/s\n", "pages per second", run.pagesPerSecond);
        }
        // Flat: less than one page row of growth per page, at most 16 KiB.
        reportTarget("resident growth per page after page 50", run.growthPerPageKiB, 16, false, "KiB");
        std::printf("  %-40s %8.1f MiB\n", "resident growth, page 51 to the end", run.growthMiB);
        allMet = allMet && run.growthPerPageKiB <= 16;
    }
    // The long batch: small pages, so 2,000 of them take seconds; what grows
    // per page does not depend on the page's size.
    const Case longBatch = {"long batch, grey, native, jpg", "灰度", false, 0, 0};
    constexpr int kLongPages = 2000;
    constexpr double kListTargetKiB = 4;
    if (QString::fromUtf8(longBatch.name).contains(only)) {
        const Run run = scan(longBatch, kLongPages / 2, "[1.0, 1.5]", "100");
        std::printf("%s: %d files of 100 x 150 pixels, the file list included\n", longBatch.name, run.files);
        if (!run.ok) {
            std::printf("  the batch did not write every page (%d message boxes)\n", run.boxes);
            allMet = false;
        } else {
            reportTarget("heap growth per page, page 200 to 2000", run.listGrowthPerPageKiB, kListTargetKiB, false,
                         "KiB");
            std::printf("  %-40s %8.2f KiB\n", "resident growth per page, same span", run.listGrowthRssPerPageKiB);
            allMet = allMet && run.listGrowthPerPageKiB <= kListTargetKiB;
        }
    }
    std::printf("  %-40s %8.1f MiB\n", "peak resident memory", residentMiB("VmHWM:"));
    std::printf("\nAll station targets: %s\n", allMet ? "met" : "missed");
    return allMet ? 0 : 1;
}
