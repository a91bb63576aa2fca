// Image upload throughput of the result table's pool: 200 subjective block
// images of a 300 dpi scan (about 1200 x 400 pixels, JPEG) go to the local
// image server, the token service and the bucket service, all on 127.0.0.1
// over HTTPS, with 1 to 8 upload threads. Prints images per second and how
// well the pool keeps its threads busy: the rate with N threads against N
// times the single-thread rate (target 80%).
//
// Each store is measured twice: as it answers on loopback (no latency), and
// with a fixed latency per request, which stands in for a store across a
// network. Only the second says whether the pool keeps N transfers going;
// the first is bounded by whatever serialises (the one-threaded local
// service, the GUI thread's bookkeeping).

#include "imageuploadservices.h"
#include "mainwindow.h"
#include "mytablewidgetresult.h"
#include "omrresources.h"
#include "platformrequest.h"
#include "settingsfile.h"
#include "unattended.h"

#include <QApplication>
#include <QBuffer>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThread>
#include <QTimer>

#include <cstdio>

using namespace ImageUploadServices;

namespace {

// A cut answer block: off-white paper with scanner noise, the printed frame,
// and a few lines of pen strokes.
QByteArray answerBlockJpeg(quint32 seed, int quality)
{
    QImage image(1200, 400, QImage::Format_Grayscale8);
    QRandomGenerator random(seed);
    for (int y = 0; y < image.height(); ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x)
            line[x] = uchar(236 + random.bounded(14));
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(90, 90, 90), 3));
    painter.drawRect(4, 4, image.width() - 9, image.height() - 9);
    painter.drawText(20, 36, QStringLiteral("%1.").arg(seed % 30 + 1));
    for (int row = 0; row < 4; ++row) {
        double x = 60 + random.bounded(40);
        const double baseline = 80 + row * 80;
        while (x < 1100) {
            QPainterPath stroke;
            stroke.moveTo(x, baseline + random.bounded(20) - 10);
            for (int k = 0; k < 4; ++k) {
                const double nx = x + 6 + random.bounded(14);
                stroke.cubicTo(x + random.bounded(20), baseline - 30 + random.bounded(60), nx - random.bounded(10),
                               baseline - 30 + random.bounded(60), nx, baseline + random.bounded(24) - 12);
                x = nx;
            }
            painter.setPen(QPen(QColor(25 + int(random.bounded(40)), 25, 25), 2 + random.bounded(2.0)));
            painter.drawPath(stroke);
            x += 8 + random.bounded(18);
        }
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", quality);
    return bytes;
}

// Runs the event loop until `done` holds or the time is up.
template <class Predicate>
bool waitUntil(Predicate done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > timeoutMs)
            loop.quit();
    });
    poll.start(2);
    if (!done())
        loop.exec();
    return done();
}

enum class Store { Local, Token, Bucket };

const char *storeLabel(Store s)
{
    switch (s) {
    case Store::Local: return "local image server";
    case Store::Token: return "token service";
    case Store::Bucket: return "bucket service";
    }
    return "";
}

} // namespace

int main(int argc, char **argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    initOmrResources();
    UnattendedBoxes boxes;

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Image upload pool benchmark"));
    parser.addHelpOption();
    const QCommandLineOption imagesOption(QStringLiteral("images"), QStringLiteral("Images per run."),
                                          QStringLiteral("n"), QStringLiteral("200"));
    const QCommandLineOption latencyOption(QStringLiteral("latency"),
                                           QStringLiteral("Store latency per request for the second series (ms)."),
                                           QStringLiteral("ms"), QStringLiteral("20"));
    parser.addOption(imagesOption);
    parser.addOption(latencyOption);
    parser.process(app);
    const int columns = 4;
    const int rows = std::max(1, parser.value(imagesOption).toInt() / columns);
    const int images = rows * columns;
    const int latencyMs = std::max(1, parser.value(latencyOption).toInt());

    QTemporaryDir dir;
    PlatformSimulator sim;
    QString error;
    if (!dir.isValid() || !startLocalPlatform(sim, &error)) {
        fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    qputenv("VOSTRA_TOKEN_QUERY_HOST", sim.host().toUtf8());
    sim.setReply(QStringLiteral("/school/S01/client/key-check"),
                 PlatformSimulator::json(QJsonObject{{"code", 200}, {"message", "1001"}}));
    const QString ini = dir.filePath(QStringLiteral("Ardentiq.ini"));
    {
        QSettings settings(ini, QSettings::IniFormat);
        settings.setIniCodec("UTF-8");
        settings.setValue(QStringLiteral("Account/CustomerType"), QStringLiteral("school"));
        settings.setValue(QStringLiteral("Account/CustomerCode"), QStringLiteral("S01"));
        settings.setValue(QStringLiteral("Account/DataKey"), QStringLiteral("k1"));
    }
    setSettingsFilePathForTesting(ini);

    LocalImageServer local;
    TokenService token;
    BucketService bucket;
    local.install(sim);
    token.install(sim);
    bucket.install(sim);

    // The images, as the recognition workers would have cut them.
    QStringList paths;
    qint64 totalBytes = 0;
    for (int i = 0; i < images; ++i) {
        const QByteArray bytes = answerBlockJpeg(quint32(1000 + i), 75);
        const QString path = dir.filePath(QStringLiteral("block-%1.jpg").arg(i));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        totalBytes += bytes.size();
        paths << path;
    }
    printf("%d images of 1200x400, JPEG quality 75, %.1f KiB each on average; %d upload threads by default here\n",
           images, double(totalBytes) / images / 1024.0, std::min(8, std::max(4, QThread::idealThreadCount())));

    MainWindow w;
    MyTableWidgetResult *t = w.tableWidgetResults;
    w.examId = QStringLiteral("BENCH1");
    QStringList keys{QStringLiteral("考号")};
    for (int c = 1; c <= columns; ++c)
        keys << QStringLiteral("1-%1").arg(c);
    w.resultHeaders = keys;
    t->setColumnCount(keys.size());
    t->setHorizontalHeaderLabels(keys);
    t->setRowCount(rows);
    for (int r = 0; r < rows; ++r)
        t->setItem(r, 0, new QTableWidgetItem(QString::number(100000 + r)));

    const int threadCounts[] = {1, 4, 6, 8};
    bool allStored = true;
    bool allBusy = true;
    for (Store store : {Store::Local, Store::Token, Store::Bucket}) {
        w.localServer = store == Store::Local;
        w.localServerAddress = sim.baseUrl();
        w.localServerPassword = local.password();
        w.sheetUploadTimeout = 10;
        w.myUpload.storageTimeoutSeconds = 30;
        if (store == Store::Token) {
            w.myUpload.cloudServer = 0;
            w.myUpload.uploadToken = token.issueToken();
            w.myUpload.qiniuDomain = QStringLiteral("https://img.example/t");
        } else if (store == Store::Bucket) {
            w.myUpload.cloudServer = 1;
            w.myUpload.ossBucketName = bucket.bucket();
            w.myUpload.accessKeyId = bucket.keyId();
            w.myUpload.accessKeySecret = bucket.secret();
            w.myUpload.endpoint = sim.host();
            w.myUpload.ossDomain = QStringLiteral("https://img.example/b");
        }
        ServiceBase &service = store == Store::Local ? static_cast<ServiceBase &>(local)
            : store == Store::Token ? static_cast<ServiceBase &>(token) : static_cast<ServiceBase &>(bucket);

        for (int latency : {0, latencyMs}) {
            printf("\n%s, %d ms store latency\n", storeLabel(store), latency);
            printf("  threads   seconds   images/s   vs threads x single   busy\n");
            double single = 0;
            for (int threads : threadCounts) {
                service.clear();
                service.setDelay(latency);
                sim.clearRequests();
                w.textEditLog->clear();
                for (int i = 0; i < images; ++i) {
                    auto *cell = new QTableWidgetItem(QStringLiteral("×"));
                    cell->setData(ResultLocalPathRole, paths[i]);
                    t->setItem(i / columns, 1 + i % columns, cell);
                }
                t->uploadThreadCount = threads;
                QElapsedTimer clock;
                clock.start();
                t->startUpload(false, 0, 0);
                const bool ended = waitUntil([t] { return !t->uploading && t->uploadThreads.isEmpty(); }, 600000);
                const double seconds = clock.nsecsElapsed() / 1e9;

                int uploaded = 0;
                for (int i = 0; i < images; ++i)
                    uploaded += t->item(i / columns, 1 + i % columns)->text() == QStringLiteral("√") ? 1 : 0;
                const bool complete = ended && uploaded == images && service.objects().size() == images;
                allStored = allStored && complete;
                const double rate = images / seconds;
                if (threads == 1) {
                    single = rate;
                    printf("  %7d   %7.2f   %8.1f   %19s   %s\n", threads, seconds, rate, "(reference)",
                           complete ? "" : "INCOMPLETE");
                } else {
                    const double efficiency = rate / (threads * single);
                    const bool busy = efficiency >= 0.8;
                    if (latency > 0)
                        allBusy = allBusy && busy;
                    printf("  %7d   %7.2f   %8.1f   %18.0f%%   %s%s\n", threads, seconds, rate, efficiency * 100,
                           busy ? "yes" : "no", complete ? "" : "  INCOMPLETE");
                }
                fflush(stdout);
            }
        }
    }
    printf("\nevery image stored once per run: %s\n", allStored ? "yes" : "NO");
    printf("pool keeps every thread busy with store latency (>= 80%% of threads x single): %s\n",
           allBusy ? "yes" : "no");
    setSettingsFilePathForTesting(QString());
    return allStored ? 0 : 1;
}
