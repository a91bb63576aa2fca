// The upload worker against the local HTTPS stand-in of the platform: the
// multipart form, the verdict on every kind of reply, certificates it must
// refuse, a capped reply body, and the file list's queue filled on the GUI
// thread while the worker drains it on its own.

#include "mytablewidget.h"
#include "omrresources.h"
#include "platformsimulator.h"
#include "testutil.h"
#include "threadupload.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTableWidgetItem>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <thread>

namespace {

const QString kPath = QStringLiteral("/index/upload");

// A worker on its own thread draining a bare queue.
struct Worker {
    explicit Worker(const QString &url)
    {
        worker = new ThreadUpload;
        worker->moveToThread(&thread);
        worker->setQueue(&queue, url);
        thread.start();
    }
    ~Worker()
    {
        worker->stopRequested = true;
        thread.quit();
        thread.wait();
        delete worker;
    }
    void start() { QMetaObject::invokeMethod(worker, &ThreadUpload::upload, Qt::QueuedConnection); }

    UploadQueue queue;
    QThread thread;
    ThreadUpload *worker = nullptr;
};

QString iconKey(const QIcon &icon)
{
    const QImage image = icon.pixmap(16, 16).toImage();
    return QString::number(qHashBits(image.constBits(), size_t(image.sizeInBytes())));
}

} // namespace

using Response = QPair<int, QString>;
Q_DECLARE_METATYPE(Response)

class UploadTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void testJudgeReply_data();
    void testJudgeReply();
    void testProgressText_data();
    void testProgressText();
    void testUpload();
    void testFailuresDoNotStopTheDrain();
    void testRefusedCertificate_data();
    void testRefusedCertificate();
    void testReplyBodyCapped();
    void testQueueFromTwoThreads();
    void testListQueueWhileDraining();
    void testListClosedDuringUpload();

private:
    QString file(const QString &name, const QByteArray &bytes);
    void watch(ThreadUpload *worker);
    // One page through a fresh worker; its single response.
    Response uploadOnePage();

    std::unique_ptr<PlatformSimulator> m_sim;
    std::unique_ptr<QTemporaryDir> m_dir;
    QList<Response> m_responses;
    QList<QPair<QTableWidgetItem *, QString>> m_progress;
    int m_finished = 0;
};

void UploadTest::initTestCase()
{
    initOmrResources();
    qRegisterMetaType<QTableWidgetItem *>("QTableWidgetItem*");
}

void UploadTest::init()
{
    m_sim = std::make_unique<PlatformSimulator>();
    QString error;
    QVERIFY2(m_sim->start(&error), qPrintable(error));
    m_sim->exportEnvironment();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_responses.clear();
    m_progress.clear();
    m_finished = 0;
}

void UploadTest::cleanup()
{
    m_sim.reset();
    m_dir.reset();
    qunsetenv("VOSTRA_EXTRA_CA");
    qunsetenv("VOSTRA_PLATFORM_HOST");
}

QString UploadTest::file(const QString &name, const QByteArray &bytes)
{
    const QString path = QDir::toNativeSeparators(m_dir->filePath(name));
    if (!TestUtil::writeFile(path, bytes))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

Response UploadTest::uploadOnePage()
{
    Worker w(m_sim->baseUrl() + kPath);
    watch(w.worker);
    QTableWidgetItem item;
    w.queue.append(file(QStringLiteral("page.jpg"), "bytes"), &item);
    w.start();
    if (!QTest::qWaitFor([this] { return m_finished == 1; }, 30000) || m_responses.size() != 1)
        return Response(-1, QStringLiteral("the worker gave %1 responses").arg(m_responses.size()));
    return m_responses[0];
}

void UploadTest::watch(ThreadUpload *worker)
{
    // Queued onto this thread: the lists are only touched here.
    connect(worker, &ThreadUpload::requestResponse, this,
            [this](int code, const QString &message) { m_responses << Response(code, message); });
    connect(worker, &ThreadUpload::updateUploadProgress, this,
            [this](QTableWidgetItem *item, const QString &text) { m_progress << qMakePair(item, text); });
    connect(worker, &ThreadUpload::uploadFinished, this, [this] { ++m_finished; });
}

void UploadTest::testJudgeReply_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("failed");
    QTest::newRow("libcurl error") << int(CURLE_COULDNT_CONNECT) << 0 << QByteArray() << 500
                                   << "code:7 info:Could not connect" << true;
    QTest::newRow("empty body") << 0 << 200 << QByteArray() << 500 << "未知错误!" << true;
    QTest::newRow("not json") << 0 << 200 << QByteArray("<html>") << 500 << "未知错误！\n<html>" << true;
    QTest::newRow("json array") << 0 << 200 << QByteArray("[1,2]") << 500 << "上传失败，原因未知。" << true;
    QTest::newRow("object, code 0") << 0 << 200 << QByteArray(R"({"code":0,"msg":"ok"})") << 0 << "0:ok" << false;
    QTest::newRow("object, code passed on") << 0 << 200 << QByteArray(R"({"code":403,"msg":"密钥无效"})") << 403
                                            << "403:密钥无效" << false;
    // An error status is a failure even when the body claims success.
    QTest::newRow("error status, object") << 0 << 500 << QByteArray(R"({"code":0,"msg":"ok"})") << 500 << "500:ok"
                                          << true;
    QTest::newRow("error status, text") << 0 << 502 << QByteArray("bad gateway") << 502
                                        << "未知错误！\nbad gateway" << true;
}

void UploadTest::testJudgeReply()
{
    QFETCH(int, result);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(bool, failed);
    const auto verdict =
        ThreadUpload::judgeReply(CURLcode(result), QStringLiteral("Could not connect"), status, body);
    QCOMPARE(verdict.code, code);
    QCOMPARE(verdict.message, message);
    QCOMPARE(verdict.failed, failed);
}

void UploadTest::testProgressText_data()
{
    QTest::addColumn<qint64>("total");
    QTest::addColumn<qint64>("now");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing yet") << qint64(0) << qint64(0) << "";
    QTest::newRow("no total") << qint64(0) << qint64(10) << "";
    QTest::newRow("start") << qint64(1000) << qint64(0) << "0%";
    QTest::newRow("rounded up") << qint64(1000) << qint64(456) << "46%";
    QTest::newRow("rounded down") << qint64(1000) << qint64(454) << "45%";
    QTest::newRow("done") << qint64(1000) << qint64(1000) << "100%";
}

void UploadTest::testProgressText()
{
    QFETCH(qint64, total);
    QFETCH(qint64, now);
    QFETCH(QString, text);
    QCOMPARE(ThreadUpload::progressText(total, now), text);
}

void UploadTest::testUpload()
{
    m_sim->setReply(kPath, PlatformSimulator::json(QJsonObject{{"code", 0}, {"msg", "ok"}}));
    const QByteArray first(300000, 'a'), second("\xff\xd8 page two");
    Worker w(m_sim->baseUrl() + kPath);
    watch(w.worker);
    QTableWidgetItem one, two;
    w.queue.append(file(QStringLiteral("page 0001.jpg"), first), &one);
    w.queue.append(file(QStringLiteral("page0002.jpg"), second), &two);
    w.start();
    QTRY_COMPARE_WITH_TIMEOUT(m_finished, 1, 30000);

    QCOMPARE(m_responses, (QList<Response>{{0, "0:ok"}, {0, "0:ok"}}));
    QVERIFY(w.queue.isEmpty());
    QVERIFY(!w.worker->busy);
    const auto requests = m_sim->requests();
    QCOMPARE(requests.size(), 2);
    const QList<QPair<QString, QByteArray>> files{{"page 0001.jpg", first}, {"page0002.jpg", second}};
    for (int i = 0; i < 2; ++i) {
        const auto &r = requests[i];
        QCOMPARE(r.method, QByteArray("POST"));
        QCOMPARE(r.path, kPath);
        QCOMPARE(r.headers.value("user-agent"), QByteArray("Pellwyn/Talvenir"));
        QStringList names;
        for (const auto &part : r.parts)
            names << part.name;
        QCOMPARE(names, (QStringList{"key", "exam_id", "version", "file"}));
        QCOMPARE(r.field("key"), QStringLiteral("plume-harbor"));
        QCOMPARE(r.field("exam_id"), QStringLiteral("100"));
        QCOMPARE(r.field("version"), QStringLiteral("1.0"));
        QCOMPARE(r.part("file")->fileName, files[i].first);
        QCOMPARE(r.part("file")->body, files[i].second);
    }
    // Each item hears its own progress, ending at 100%.
    QList<QTableWidgetItem *> done;
    for (const auto &p : m_progress) {
        QVERIFY(p.first == &one || p.first == &two);
        if (p.second == QLatin1String("100%"))
            done << p.first;
    }
    QCOMPARE(done, (QList<QTableWidgetItem *>{&one, &two}));
}

void UploadTest::testFailuresDoNotStopTheDrain()
{
    int calls = 0;
    QMutex mutex;
    m_sim->setHandler(kPath, [&](const PlatformSimulator::Request &) {
        QMutexLocker lock(&mutex);
        switch (calls++) {
        case 0: {
            PlatformSimulator::Reply reply;
            reply.dropConnection = true;
            return reply;
        }
        case 1:
            return PlatformSimulator::json(QJsonObject{{"code", 500}, {"msg", "内部错误"}}, 500);
        default:
            return PlatformSimulator::json(QJsonObject{{"code", 0}, {"msg", "ok"}});
        }
    });
    Worker w(m_sim->baseUrl() + kPath);
    watch(w.worker);
    QTableWidgetItem items[4];
    for (int i = 0; i < 3; ++i)
        w.queue.append(file(QStringLiteral("%1.jpg").arg(i), QByteArray(100, char('0' + i))), &items[i]);
    // A file gone before its turn is reported like any failure.
    w.queue.append(m_dir->filePath(QStringLiteral("gone.jpg")), &items[3]);
    w.start();
    QTRY_COMPARE_WITH_TIMEOUT(m_finished, 1, 60000);

    QCOMPARE(m_responses.size(), 4);
    QCOMPARE(m_responses[0].first, 500);
    QVERIFY2(m_responses[0].second.startsWith(QStringLiteral("code:")), qPrintable(m_responses[0].second));
    QCOMPARE(m_responses[1], Response(500, QStringLiteral("500:内部错误")));
    QCOMPARE(m_responses[2], Response(0, QStringLiteral("0:ok")));
    QCOMPARE(m_responses[3].first, 500);
    QVERIFY2(m_responses[3].second.startsWith(QStringLiteral("code:")), qPrintable(m_responses[3].second));
    // A file that did not arrive never ends on the tick.
    QHash<QTableWidgetItem *, QString> last;
    for (const auto &p : m_progress)
        last[p.first] = p.second;
    QCOMPARE(last.value(&items[0]), ThreadUpload::failedText());
    QCOMPARE(last.value(&items[1]), ThreadUpload::failedText());
    QCOMPARE(last.value(&items[2]), QStringLiteral("100%"));
    QCOMPARE(last.value(&items[3]), ThreadUpload::failedText());
    QVERIFY(w.queue.isEmpty());
}

void UploadTest::testRefusedCertificate_data()
{
    QTest::addColumn<QString>("trust");
    QTest::newRow("another CA") << "other";
    QTest::newRow("system CAs only") << "none";
    QTest::newRow("named CA file missing") << "missing";
}

void UploadTest::testRefusedCertificate()
{
    QFETCH(QString, trust);
    PlatformSimulator other;
    QString error;
    QVERIFY2(other.start(&error), qPrintable(error));
    if (trust == QLatin1String("other"))
        qputenv("VOSTRA_EXTRA_CA", QFile::encodeName(other.caPemPath()));
    else if (trust == QLatin1String("none"))
        qunsetenv("VOSTRA_EXTRA_CA");
    else
        qputenv("VOSTRA_EXTRA_CA", QFile::encodeName(m_dir->filePath(QStringLiteral("absent.pem"))));
    m_sim->setReply(kPath, PlatformSimulator::json(QJsonObject{{"code", 0}, {"msg", "ok"}}));

    const Response response = uploadOnePage();
    QCOMPARE(response.first, 500);
    QVERIFY2(response.second.startsWith(QStringLiteral("code:")), qPrintable(response.second));
    if (trust != QLatin1String("missing"))
        QVERIFY2(response.second.startsWith(QStringLiteral("code:%1 ").arg(int(CURLE_PEER_FAILED_VERIFICATION))),
                 qPrintable(response.second));
    // Nothing reached the server.
    QCOMPARE(m_sim->requests().size(), 0);
    QCOMPARE(m_progress.last().second, ThreadUpload::failedText());
}

void UploadTest::testReplyBodyCapped()
{
    PlatformSimulator::Reply huge;
    huge.body = "{\"code\":0,\"msg\":\"" + QByteArray(int(ThreadUpload::kMaxReplyBytes) + 4096, 'x') + "\"}";
    huge.chunked = true;
    m_sim->setReply(kPath, huge);
    const Response response = uploadOnePage();
    QCOMPARE(response.first, 500);
    QVERIFY2(response.second.startsWith(QStringLiteral("code:%1 ").arg(int(CURLE_WRITE_ERROR))),
             qPrintable(response.second));
}

void UploadTest::testQueueFromTwoThreads()
{
    // Two threads append while a third drains.
    UploadQueue queue;
    constexpr int kEach = 5000;
    std::atomic<int> taken{0};
    std::atomic<bool> writing{true};
    std::thread drain([&] {
        UploadQueue::Entry entry;
        while (writing || !queue.isEmpty()) {
            if (queue.first(&entry)) {
                queue.removeFirst();
                ++taken;
            }
        }
    });
    auto fill = [&queue](const QString &prefix) {
        for (int i = 0; i < kEach; ++i)
            queue.append(prefix + QString::number(i), nullptr);
    };
    std::thread other(fill, QStringLiteral("b"));
    fill(QStringLiteral("a"));
    other.join();
    writing = false;
    drain.join();
    QCOMPARE(taken.load(), 2 * kEach);
    QVERIFY(queue.isEmpty());
}

void UploadTest::testListQueueWhileDraining()
{
    // Every reply waits until the test lets it go, so files are queued
    // while the worker is busy with an earlier one.
    QMutex mutex;
    QWaitCondition released;
    bool open = false;
    m_sim->setHandler(kPath, [&](const PlatformSimulator::Request &) {
        QMutexLocker lock(&mutex);
        while (!open)
            released.wait(&mutex);
        return PlatformSimulator::json(QJsonObject{{"code", 0}, {"msg", "ok"}});
    });

    MyTableWidget list;
    list.initTable(true);
    QVERIFY(list.uploadUrl.startsWith(m_sim->baseUrl()));
    list.uploadEnabled = true;
    QStringList names;
    for (int i = 1; i <= 3; ++i) {
        names << QStringLiteral("%1.jpg").arg(i);
        list.addRow(file(names.last(), QByteArray(1000, char('0' + i))));
    }
    QVERIFY(list.uploadThread);
    QVERIFY(list.uploadWorker);
    QVERIFY(m_sim->waitForRequests(1, 30000));
    QVERIFY(list.uploadWorker->busy);
    {
        // A finish report queued by a worker the list has since replaced
        // must not stop the running one.
        QObject replaced;
        connect(&replaced, &QObject::objectNameChanged, &list, &MyTableWidget::uploadFinished);
        ThreadUpload *running = list.uploadWorker;
        replaced.setObjectName(QStringLiteral("finished"));
        QCOMPARE(list.uploadWorker, running);
        QVERIFY(list.uploadThread && list.uploadThread->isRunning());
    }
    for (int i = 4; i <= 6; ++i) {
        names << QStringLiteral("%1.jpg").arg(i);
        list.addRow(file(names.last(), QByteArray(1000, char('0' + i))));
    }
    {
        QMutexLocker lock(&mutex);
        open = true;
        released.wakeAll();
    }
    QTRY_VERIFY_WITH_TIMEOUT(!list.uploadThread && list.uploadList.isEmpty(), 60000);
    QVERIFY(!list.uploadWorker);

    QStringList sent;
    for (const auto &r : m_sim->requests())
        sent << r.part("file")->fileName;
    QCOMPARE(sent, names);
    const QString tick = iconKey(QIcon(QStringLiteral(":/image/res/images/yes.png")));
    for (int row = 0; row < 6; ++row) {
        QCOMPARE(list.statusItem(row)->text(), QString());
        QCOMPARE(iconKey(list.statusItem(row)->icon()), tick);
    }
}

void UploadTest::testListClosedDuringUpload()
{
    // The server never answers; closing the list must still end the worker.
    PlatformSimulator::Reply never;
    never.delayMs = 600000;
    m_sim->setReply(kPath, never);
    auto list = std::make_unique<MyTableWidget>();
    list->initTable(true);
    list->uploadEnabled = true;
    list->addRow(file(QStringLiteral("1.jpg"), "bytes"));
    list->addRow(file(QStringLiteral("2.jpg"), "bytes"));
    QVERIFY(m_sim->waitForRequests(1, 30000));
    list.reset();
    QCOMPARE(m_sim->requests().size(), 1);
}

QTEST_MAIN(UploadTest)
#include "upload_test.moc"
