// platform_sim: the local platform for the demo.
//
//   platform_sim --data <dir> [--port N] [--ready-file F]
//
// Answers every request from a JSON file under <dir> and keeps the uploads
// there (see platformstore.h for the layout):
//   /<type>/<code>/client/exam-info  ->  <dir>/client/exam-info.json
//   /upgrade/online/ardentiq         ->  <dir>/upgrade/online/ardentiq.json
// A request value may pick a variant file "<name>@<key>=<value>.json" when one
// exists (query items first, then form fields, then text parts), e.g.
// "/school/s1/client/exams?project_id=7" -> <dir>/client/exams@project_id=7.json.
// A missing file is answered 404 with a JSON body.
// The token storage service's region lookup ("/v4/query") is answered with
// this server as the upload host of every bucket.
//
// Once listening it prints, and writes to the ready file when given:
//   VOSTRA_PLATFORM_HOST=127.0.0.1:<port>
//   VOSTRA_EXTRA_CA=<path of the CA PEM>
//   VOSTRA_TOKEN_QUERY_HOST=127.0.0.1:<port>
// and then one line per request; it runs until killed (SIGINT/SIGTERM end
// it cleanly, removing the CA).

#include "platformsimulator.h"
#include "platformstore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSaveFile>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalFd[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalFd[0], &byte, 1);
}

QMutex g_outMutex;

void printLine(const QString &line)
{
    QMutexLocker lock(&g_outMutex);
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("platform_sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Local HTTPS platform for the demo; answers from JSON files and keeps the uploads."));
    parser.addHelpOption();
    const QCommandLineOption dataOption(QStringLiteral("data"), QStringLiteral("Folder of reply files."), QStringLiteral("dir"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port on 127.0.0.1 (default: any free one)."), QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption readyOption(QStringLiteral("ready-file"), QStringLiteral("Written once listening: host and CA path."), QStringLiteral("F"));
    parser.addOption(dataOption);
    parser.addOption(portOption);
    parser.addOption(readyOption);
    parser.process(app);

    if (!parser.isSet(dataOption)) {
        std::fprintf(stderr, "platform_sim: --data <dir> is required\n");
        return 2;
    }
    const QDir data(QFileInfo(parser.value(dataOption)).absoluteFilePath());
    if (!data.exists()) {
        std::fprintf(stderr, "platform_sim: no folder %s\n", qPrintable(data.path()));
        return 2;
    }
    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        std::fprintf(stderr, "platform_sim: bad port %s\n", qPrintable(parser.value(portOption)));
        return 2;
    }

    // Signals end the event loop, so the temporary CA folder is removed.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalFd) != 0) {
        std::perror("platform_sim: socketpair");
        return 1;
    }
    QSocketNotifier signalNotifier(g_signalFd[1], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    PlatformStore store(data.path());
    PlatformSimulator sim;
    sim.setHandler(QStringLiteral("/v4/query"), [&sim](const PlatformSimulator::Request &request) {
        const PlatformSimulator::Reply reply = PlatformSimulator::storageRegion({sim.host()});
        printLine(QStringLiteral("%1 %2?%3 -> %4 %5")
                      .arg(QString::fromLatin1(request.method), request.path, request.query, sim.host())
                      .arg(reply.status));
        return reply;
    });
    sim.setFallbackHandler([&store](const PlatformSimulator::Request &request) {
        QString note;
        const PlatformSimulator::Reply reply = store.reply(request, &note);
        printLine(QStringLiteral("%1 %2%3 -> %4 %5")
                      .arg(QString::fromLatin1(request.method), request.path,
                           request.query.isEmpty() ? QString() : QLatin1Char('?') + request.query, note)
                      .arg(reply.status));
        return reply;
    });

    QString error;
    if (!sim.start(&error, quint16(port))) {
        std::fprintf(stderr, "platform_sim: %s\n", qPrintable(error));
        return 1;
    }

    const QByteArray ready = "VOSTRA_PLATFORM_HOST=" + sim.host().toUtf8() + '\n'
        + "VOSTRA_EXTRA_CA=" + QFile::encodeName(sim.caPemPath()) + '\n'
        + "VOSTRA_TOKEN_QUERY_HOST=" + sim.host().toUtf8() + '\n';
    if (parser.isSet(readyOption)) {
        // Written whole or not at all: a poller never reads half a file.
        QSaveFile out(parser.value(readyOption));
        if (!out.open(QIODevice::WriteOnly) || out.write(ready) != ready.size() || !out.commit()) {
            std::fprintf(stderr, "platform_sim: cannot write %s\n", qPrintable(parser.value(readyOption)));
            return 1;
        }
    }
    {
        QMutexLocker lock(&g_outMutex);
        std::fwrite(ready.constData(), 1, size_t(ready.size()), stdout);
        std::fflush(stdout);
    }

    const int rc = app.exec();
    sim.stop();
    return rc;
}
