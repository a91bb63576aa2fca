// Image uploads of the result table against the three stores running
// locally over HTTPS: the local image server, the bucket service (signed PUT)
// and the token service (form upload, after its region lookup). What is posted, what the cells say
// afterwards, the failure texts, a pool of several threads, the hand-off with
// the recognition workers, a cell that changes under an upload, the stop
// entry, the commands refused while a pool runs, and a window that goes away
// under a running pool.

#include "bucketstorageclient.h"
#include "imageuploadservices.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "myupload.h"
#include "mytablewidgetresult.h"
#include "omrresources.h"
#include "platformfixture.h"
#include "settingsfile.h"
#include "tokenstorageclient.h"
#include "uploadsubjectimagethread.h"

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QRandomGenerator>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <memory>
#include "testutil.h"

using namespace ImageUploadServices;

namespace {

const QString kPending = QStringLiteral("×");
const QString kDone = QStringLiteral("√");
const QString kTokenDomain = QStringLiteral("https://img.example/t");
const QString kBucketDomain = QStringLiteral("https://img.example/b");

enum class Store { Local, Token, Bucket };

QString storeName(Store s)
{
    switch (s) {
    case Store::Local: return QStringLiteral("local");
    case Store::Token: return QStringLiteral("token");
    case Store::Bucket: return QStringLiteral("bucket");
    }
    return QString();
}

// A small JPEG whose bytes differ with the seed.
QByteArray jpegBytes(quint32 seed)
{
    QImage image(240, 80, QImage::Format_Grayscale8);
    QRandomGenerator random(seed);
    for (int y = 0; y < image.height(); ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x)
            line[x] = uchar(200 + random.bounded(56));
    }
    QPainter painter(&image);
    painter.drawText(10, 40, QString::number(seed));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 80);
    return bytes;
}

using TestUtil::fileBytes;

QString logText(MainWindow &w)
{
    return w.textEditLog->toPlainText();
}

// "127.0.0.1:<port>" where nothing listens: a connection there is refused.
QString deadHost()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost))
        return QString();
    const quint16 port = server.serverPort();
    server.close();
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

} // namespace

Q_DECLARE_METATYPE(Store)

class ImageUploadTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void testProtocolPieces();
    void testObjectKey();
    void testStoredPathRule_data();
    void testStoredPathRule();
    void testPendingCellsUploaded_data();
    void testPendingCellsUploaded();
    void testFailuresKeepCell_data();
    void testFailuresKeepCell();
    void testUnreadableFilesNeverSent_data();
    void testUnreadableFilesNeverSent();
    void testCertificateChecked_data();
    void testCertificateChecked();
    void testRegionHostsInOrder();
    void testRegionLookupKeptPerBucket();
    void testRegionLookupFailures_data();
    void testRegionLookupFailures();
    void testEveryFileOnce_data();
    void testEveryFileOnce();
    void testRecognitionHandOff();
    void testCellChangedUnderUpload();
    void testStopEntry();
    void testCommandsRefusedWhileUploading();
    void testWindowGoesAwayUnderPool();

private:
    // A window whose result table is filled by hand and pointed at one store.
    struct Env {
        MessageBoxRecorder boxes;
        MainWindow w;
        MyTableWidgetResult *t = nullptr;
        Env() : t(w.tableWidgetResults) {}
        ~Env()
        {
            // Never leave a pool behind for the next test.
            (void)QTest::qWaitFor([this] { return t->uploadThreads.isEmpty(); }, 30000);
        }
    };

    void configure(MainWindow &w, Store store);
    void setColumns(MainWindow &w, const QStringList &keys);
    QString writeImage(const QString &name, quint32 seed);
    QTableWidgetItem *pendingCell(const QString &path);
    int addRow(MainWindow &w, const QString &code, const QMap<QString, QTableWidgetItem *> &cells);
    QList<PlatformSimulator::Request> posts(Store store) const;
    // Region lookups the token service was asked for.
    QList<PlatformSimulator::Request> lookups() const { return m_sim.requestsTo(QStringLiteral("/v4/query")); }
    // True when the server path names an object of `store` holding `bytes`.
    bool storedAt(Store store, const QString &examId, const QString &serverPath, const QString &localPath) const;
    static bool waitPoolEnd(MyTableWidgetResult *t, int ms = 30000)
    {
        return QTest::qWaitFor([t] { return !t->uploading && t->uploadThreads.isEmpty(); }, ms);
    }

    QTemporaryDir m_dir;
    PlatformSimulator m_sim;
    LocalImageServer m_local;
    TokenService m_token;
    BucketService m_bucket;
    int m_serial = 0;
    quint32 m_seed = 1;
};

void ImageUploadTest::initTestCase()
{
    initOmrResources();
    QVERIFY(m_dir.isValid());
    QString error;
    QVERIFY2(PlatformTest::startTrusted(m_sim, &error), qPrintable(error));
    const QString ini = m_dir.filePath(QStringLiteral("Ardentiq.ini"));
    PlatformTest::writeIni(ini, {{"Account/CustomerType", "school"},
                                 {"Account/CustomerCode", "S01"},
                                 {"Account/DataKey", "k1"}});
    setSettingsFilePathForTesting(ini);
}

void ImageUploadTest::init()
{
    // The token service's region lookup goes to the simulator, and nothing
    // a previous test looked up is still known.
    qputenv(TokenStorageClient::kQueryHostVariable, m_sim.host().toUtf8());
    TokenStorageClient::clearRegionCache();
    TokenStorageClient::setClockForTesting({});
    m_sim.clearReplies();
    m_sim.setReply(QStringLiteral("/school/S01/client/key-check"),
                   PlatformSimulator::json(QJsonObject{{"code", 200}, {"message", "1001"}}));
    m_sim.setReply(QStringLiteral("/school/S01/client/version-check"),
                   PlatformSimulator::json(QJsonObject{{"code", 200}, {"message", "ok"}}));
    for (ServiceBase *s : std::initializer_list<ServiceBase *>{&m_local, &m_token, &m_bucket})
        s->clear();
    m_local.install(m_sim);
    m_token.install(m_sim);
    m_bucket.install(m_sim);
    m_sim.clearRequests();
}

void ImageUploadTest::cleanupTestCase()
{
    setSettingsFilePathForTesting(QString());
}

void ImageUploadTest::configure(MainWindow &w, Store store)
{
    // Tests of the processing program share the application folder.
    w.examId = QStringLiteral("IMGUP%1").arg(++m_serial);
    w.localServer = store == Store::Local;
    w.localServerAddress = m_sim.baseUrl();
    w.localServerPassword = m_local.password();
    w.sheetUploadTimeout = 5;
    MyUpload &u = w.myUpload;
    u.storageTimeoutSeconds = 10;
    if (store == Store::Token) {
        u.cloudServer = 0;
        u.qiniuBucketName = m_token.bucket();
        u.uploadToken = m_token.issueToken();
        u.qiniuDomain = kTokenDomain;
    } else if (store == Store::Bucket) {
        u.cloudServer = 1;
        u.ossBucketName = m_bucket.bucket();
        u.accessKeyId = m_bucket.keyId();
        u.accessKeySecret = m_bucket.secret();
        u.endpoint = m_sim.host();
        u.ossDomain = kBucketDomain;
    }
}

void ImageUploadTest::setColumns(MainWindow &w, const QStringList &keys)
{
    w.resultHeaders = keys;
    w.tableWidgetResults->setColumnCount(keys.size());
    w.tableWidgetResults->setHorizontalHeaderLabels(keys);
}

QString ImageUploadTest::writeImage(const QString &name, quint32 seed)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(jpegBytes(seed)) <= 0)
        return QString();
    return path;
}

QTableWidgetItem *ImageUploadTest::pendingCell(const QString &path)
{
    auto *item = new QTableWidgetItem(kPending);
    item->setData(ResultLocalPathRole, path);
    item->setForeground(QColor(255, 0, 0));
    item->setBackground(QColor(230, 230, 230));
    return item;
}

int ImageUploadTest::addRow(MainWindow &w, const QString &code, const QMap<QString, QTableWidgetItem *> &cells)
{
    MyTableWidgetResult *t = w.tableWidgetResults;
    const int row = t->rowCount();
    t->insertRow(row);
    t->setItem(row, 0, new QTableWidgetItem(code));
    for (auto it = cells.cbegin(); it != cells.cend(); ++it)
        t->setItem(row, w.resultColumnOf(it.key()), it.value());
    return row;
}

QList<PlatformSimulator::Request> ImageUploadTest::posts(Store store) const
{
    switch (store) {
    case Store::Local: return m_sim.requestsTo(QStringLiteral("/upload.php"));
    case Store::Token: return m_sim.requestsTo(QStringLiteral("/"));
    case Store::Bucket: {
        QList<PlatformSimulator::Request> out;
        for (const PlatformSimulator::Request &r : m_sim.requests()) {
            if (r.path.startsWith(QLatin1Char('/') + m_bucket.bucket() + QLatin1Char('/')))
                out << r;
        }
        return out;
    }
    }
    return {};
}

bool ImageUploadTest::storedAt(Store store, const QString &examId, const QString &serverPath,
                               const QString &localPath) const
{
    const QByteArray bytes = fileBytes(localPath);
    switch (store) {
    case Store::Local: {
        const QString prefix = m_sim.baseUrl() + QLatin1Char('/');
        return serverPath.startsWith(prefix) && m_local.objects().value(serverPath.mid(prefix.size())) == bytes;
    }
    case Store::Token: {
        const QString hash = TokenService::contentHash(bytes);
        return serverPath == kTokenDomain + QLatin1Char('/') + hash && m_token.objects().value(hash) == bytes;
    }
    case Store::Bucket: {
        const QString key = MyUpload::makeObjectKey(examId, localPath);
        return serverPath == kBucketDomain + QLatin1Char('/') + key && m_bucket.objects().value(key) == bytes;
    }
    }
    return false;
}

// ---------------------------------------------------------------- protocol pieces

void ImageUploadTest::testProtocolPieces()
{
    // HMAC-SHA1 (RFC 2202, case 2) and the HTTP date (RFC 7231's example).
    QCOMPARE(BucketStorageClient::sign("Jefe", "what do ya want for nothing?"),
             QByteArray::fromHex("effcdf6ae5eb2fa2d27416d5f184df9c259a7c79").toBase64());
    QCOMPARE(BucketStorageClient::httpDate(QDateTime(QDate(1994, 11, 6), QTime(8, 49, 37), Qt::UTC)),
             QByteArray("Sun, 06 Nov 1994 08:49:37 GMT"));
    QCOMPARE(BucketStorageClient::stringToSign("PUT", "md5", "image/jpeg", "D", "x-h:1\n", "/b/k"),
             QByteArray("PUT\nmd5\nimage/jpeg\nD\nx-h:1\n/b/k"));

    // Content hash against the service's own computation, across the 4 MiB block edge.
    for (int size : {1, 1000, 4 * 1024 * 1024, 4 * 1024 * 1024 + 1, 9 * 1024 * 1024}) {
        QByteArray data(size, '\0');
        for (int i = 0; i < size; i += 4093)
            data[i] = char(i * 31);
        QCOMPARE(TokenStorageClient::contentHash(data), TokenService::contentHash(data));
    }

    // A named host carries the bucket; an IP address or localhost cannot.
    struct UrlCase { const char *endpoint; const char *url; };
    const UrlCase cases[] = {
        {"store.example.com", "https://b1.store.example.com/ab%20c/d.jpg"},
        {"https://store.example.com", "https://b1.store.example.com/ab%20c/d.jpg"},
        {"http://store.example.com/", "https://b1.store.example.com/ab%20c/d.jpg"},
        {"127.0.0.1:8443", "https://127.0.0.1:8443/b1/ab%20c/d.jpg"},
        {"localhost:99", "https://localhost:99/b1/ab%20c/d.jpg"},
    };
    for (const UrlCase &c : cases) {
        BucketStorageClient client(QLatin1String(c.endpoint), QStringLiteral("id"), QStringLiteral("secret"));
        QCOMPARE(client.objectUrl(QStringLiteral("b1"), QStringLiteral("ab c/d.jpg")), QByteArray(c.url));
    }

    // An endpoint or bucket that would turn part of itself into user info,
    // a path or another host is refused before anything is sent.
    const int before = m_sim.requests().size();
    for (const auto &bad : {qMakePair(QStringLiteral("a.example.com@") + m_sim.host(), QStringLiteral("b1")),
                            qMakePair(m_sim.host(), QStringLiteral("b1/../x")),
                            qMakePair(m_sim.host() + QStringLiteral(" x"), QStringLiteral("b1"))}) {
        BucketStorageClient client(bad.first, m_bucket.keyId(), m_bucket.secret());
        const BucketStorageClient::Result r = client.putObject(bad.second, QStringLiteral("k.jpg"), "data", "image/jpeg");
        QVERIFY(!r.ok);
        QCOMPARE(r.message, QStringLiteral("invalid endpoint or bucket name"));
    }
    QCOMPARE(m_sim.requests().size(), before);
}

void ImageUploadTest::testObjectKey()
{
    const QString path = writeImage(QStringLiteral("key sample.jpg"), 77);
    const QByteArray bytes = fileBytes(path);
    const QString key = MyUpload::makeObjectKey(QStringLiteral("E9"), path);
    const QRegularExpression shape(QStringLiteral("^([0-9a-f]{16})-E9-([0-9]{1,3})-([0-9]+)\\.jpg$"));
    const QRegularExpressionMatch m = shape.match(key);
    QVERIFY2(m.hasMatch(), qPrintable(key));
    QCOMPARE(m.captured(1), QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().left(16)));
    QCOMPARE(m.captured(3).toInt(), bytes.size());
    QCOMPARE(MyUpload::makeObjectKey(QStringLiteral("E9"), m_dir.filePath(QStringLiteral("missing.jpg"))),
             QStringLiteral("failed"));
}

// ---------------------------------------------------------------- one pool per store

void ImageUploadTest::testStoredPathRule_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("problem");
    QTest::newRow("folder and name") << "E1/2026/0001-1-2.jpg" << QString();
    QTest::newRow("dots inside a name") << "E1/a..b.jpg" << QString();
    QTest::newRow("content hash") << "FnQ-9zJ_kE4cD7cP1-w3u1cBqz2a" << QString();
    QTest::newRow("space encoded") << "E1/a%20b.jpg" << QString();
    QTest::newRow("empty") << "" << "路径为空";
    QTest::newRow("up") << "../x.jpg" << "指向图片文件夹之外";
    QTest::newRow("up inside") << "E1/../../x.jpg" << "指向图片文件夹之外";
    QTest::newRow("dot") << "./x.jpg" << "指向图片文件夹之外";
    QTest::newRow("encoded up") << "%2e%2e/x.jpg" << "指向图片文件夹之外";
    QTest::newRow("encoded twice") << "%252e%252e/x.jpg" << "指向图片文件夹之外";
    QTest::newRow("encoded slash") << "..%2fx.jpg" << "指向图片文件夹之外";
    QTest::newRow("absolute") << "/etc/passwd" << "是绝对路径";
    QTest::newRow("encoded absolute") << "%2fetc/passwd" << "是绝对路径";
    QTest::newRow("network path") << "//elsewhere.example/x.jpg" << "是绝对路径";
    QTest::newRow("scheme") << "https://elsewhere.example/x.jpg" << "是完整地址";
    QTest::newRow("other scheme") << "javascript:alert(1)" << "是完整地址";
    QTest::newRow("backslash") << "E1\\x.jpg" << "含有不允许的字符";
    QTest::newRow("encoded backslash") << "E1%5cx.jpg" << "含有不允许的字符";
    QTest::newRow("line break") << "E1/x.jpg\nfoo" << "含有不允许的字符";
}

void ImageUploadTest::testStoredPathRule()
{
    QFETCH(QString, path);
    QFETCH(QString, problem);
    QCOMPARE(MyUpload::storedPathProblem(path), problem);
}

void ImageUploadTest::testPendingCellsUploaded_data()
{
    QTest::addColumn<Store>("store");
    for (Store s : {Store::Local, Store::Token, Store::Bucket})
        QTest::newRow(qPrintable(storeName(s))) << s;
}

void ImageUploadTest::testPendingCellsUploaded()
{
    QFETCH(Store, store);
    Env env;
    configure(env.w, store);
    setColumns(env.w, {QStringLiteral("考号"), QStringLiteral("客观题总分"), QStringLiteral("1"),
                       QStringLiteral("1-1"), QStringLiteral("1-2"), QStringLiteral("e-1")});
    const QString a = writeImage(QStringLiteral("a.jpg"), m_seed++);
    const QString b = writeImage(QStringLiteral("b.jpg"), m_seed++);
    const QString c = writeImage(QStringLiteral("c.png"), m_seed++);
    const QString d = writeImage(QStringLiteral("d.jpg"), m_seed++);

    auto *done = new QTableWidgetItem(kDone);
    done->setData(ResultLocalPathRole, b);
    done->setData(ResultServerPathRole, QStringLiteral("https://before/b"));
    auto *blank = new QTableWidgetItem(QString());
    blank->setData(ResultLocalPathRole, b);
    addRow(env.w, QStringLiteral("1001"),
           {{QStringLiteral("客观题总分"), new QTableWidgetItem(QStringLiteral("3.00"))},
            {QStringLiteral("1"), new QTableWidgetItem(QStringLiteral("X"))},
            {QStringLiteral("1-1"), pendingCell(a)},
            {QStringLiteral("1-2"), done},
            {QStringLiteral("e-1"), pendingCell(c)}});
    addRow(env.w, QStringLiteral("1002"),
           {{QStringLiteral("1"), new QTableWidgetItem(QStringLiteral("A"))},
            {QStringLiteral("1-2"), pendingCell(d)},
            {QStringLiteral("e-1"), blank}});

    env.t->startUpload(false, 0, 0);
    QVERIFY(env.t->uploading);
    const int expectedThreads = std::min(8, std::max(4, QThread::idealThreadCount()));
    QCOMPARE(env.t->uploadThreads.size(), expectedThreads);
    for (int k = 1; k <= expectedThreads; ++k) {
        const QString name = QStringLiteral("上传线程 %1").arg(k);
        QVERIFY(env.t->uploadThreads.contains(name));
        QCOMPARE(env.t->uploadThreads.value(name)->objectName(), name);
        QCOMPARE(env.t->uploadWorkers.value(name)->objectName(), name);
    }
    QVERIFY(waitPoolEnd(env.t));
    QVERIFY(env.t->uploadWorkers.isEmpty());

    // Exactly the three "×" cells were posted; the threads of the pool
    // asked for the token bucket's upload hosts once between them.
    QCOMPARE(posts(store).size(), 3);
    QCOMPARE(lookups().size(), store == Store::Token ? 1 : 0);
    const QList<QPair<QTableWidgetItem *, QString>> uploaded = {
        {env.t->item(0, 3), a}, {env.t->item(0, 5), c}, {env.t->item(1, 4), d}};
    for (const auto &cell : uploaded) {
        QCOMPARE(cell.first->text(), kDone);
        QVERIFY2(storedAt(store, env.w.examId, cell.first->data(ResultServerPathRole).toString(), cell.second),
                 qPrintable(cell.first->data(ResultServerPathRole).toString()));
        QVERIFY(logText(env.w).contains(QStringLiteral("上传成功：") + QFileInfo(cell.second).fileName()));
    }
    QCOMPARE(env.t->item(0, 4)->data(ResultServerPathRole).toString(), QStringLiteral("https://before/b"));
    QCOMPARE(env.t->item(0, 2)->text(), QStringLiteral("X"));
    QCOMPARE(env.t->item(1, 5)->text(), QString());
    QVERIFY(logText(env.w).contains(QStringLiteral("上传线程 1 结束")));

    if (store == Store::Local) {
        // Every post carries the password and exam id, and the file as "temp.jpg" (the PNG too).
        for (const PlatformSimulator::Request &r : posts(store)) {
            QCOMPARE(r.field(QStringLiteral("password")), m_local.password());
            QCOMPARE(r.field(QStringLiteral("exam_id")), env.w.examId);
            QCOMPARE(r.part(QStringLiteral("file"))->fileName, QStringLiteral("temp.jpg"));
        }
    }
    QVERIFY(env.boxes.boxes().isEmpty());
}

// ---------------------------------------------------------------- failures

void ImageUploadTest::testFailuresKeepCell_data()
{
    QTest::addColumn<Store>("store");
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QStringList>("reason"); // fragments of the logged reason, in order

    QTest::newRow("local refused") << Store::Local << "refused" << QStringList{"code:500:info:磁盘已满"};
    QTest::newRow("local wrong password") << Store::Local << "password" << QStringList{"code:403:info:密码错误"};
    QTest::newRow("local not json") << Store::Local << "notjson" << QStringList{"未知错误"};
    QTest::newRow("local http error") << Store::Local << "http500" << QStringList{"code:500:"};
    QTest::newRow("local time-out") << Store::Local << "timeout" << QStringList{"网络链接超时"};
    QTest::newRow("local zero time-out") << Store::Local << "zero" << QStringList{"网络链接超时"};
    // A path that would make the link point elsewhere fails that image.
    const QString unusable = QStringLiteral("图片存储返回的路径不可用（%1）：%2");
    QTest::newRow("local path leaves the folder")
        << Store::Local << "path:../../../etc/passwd"
        << QStringList{unusable.arg(QStringLiteral("指向图片文件夹之外"), QStringLiteral("../../../etc/passwd"))};
    QTest::newRow("local path encoded")
        << Store::Local << "path:a/%2e%2E/%2e%2e/x.jpg"
        << QStringList{unusable.arg(QStringLiteral("指向图片文件夹之外"), QStringLiteral("a/%2e%2E/%2e%2e/x.jpg"))};
    QTest::newRow("local path absolute")
        << Store::Local << "path:/etc/passwd" << QStringList{unusable.arg(QStringLiteral("是绝对路径"), QStringLiteral("/etc/passwd"))};
    QTest::newRow("local path with scheme")
        << Store::Local << "path:https://elsewhere.example/x.jpg"
        << QStringList{unusable.arg(QStringLiteral("是完整地址"), QStringLiteral("https://elsewhere.example/x.jpg"))};
    QTest::newRow("local path with backslashes")
        << Store::Local << "path:img\\..\\x.jpg"
        << QStringList{unusable.arg(QStringLiteral("含有不允许的字符"), QStringLiteral("img\\..\\x.jpg"))};
    QTest::newRow("token bad token") << Store::Token << "badtoken" << QStringList{"原因：bad token"};
    QTest::newRow("token expired") << Store::Token << "expired" << QStringList{"原因：expired token"};
    QTest::newRow("token refused") << Store::Token << "refused" << QStringList{"原因：service unavailable"};
    QTest::newRow("token time-out") << Store::Token << "timeout" << QStringList{"原因：", "timed out"};
    QTest::newRow("token lookup refused") << Store::Token << "lookup"
                                          << QStringList{"原因：查询存储空间“exam-forms”的上传地址失败", "no such bucket"};
    QTest::newRow("bucket bad signature") << Store::Bucket << "badsignature"
                                          << QStringList{"原因：SignatureDoesNotMatchThe request signature"};
    QTest::newRow("bucket unknown key id") << Store::Bucket << "keyid" << QStringList{"原因：InvalidAccessKeyId"};
    QTest::newRow("bucket refused") << Store::Bucket << "refused" << QStringList{"原因：AccessDeniedbucket closed"};
    QTest::newRow("bucket time-out") << Store::Bucket << "timeout" << QStringList{"原因：ClientError:28", "timed out"};
}

void ImageUploadTest::testFailuresKeepCell()
{
    QFETCH(Store, store);
    QFETCH(QString, scenario);
    QFETCH(QStringList, reason);
    Env env;
    configure(env.w, store);
    MyUpload &u = env.w.myUpload;
    ServiceBase &service = store == Store::Local ? static_cast<ServiceBase &>(m_local)
        : store == Store::Token ? static_cast<ServiceBase &>(m_token) : static_cast<ServiceBase &>(m_bucket);

    if (scenario == QLatin1String("refused")) {
        if (store == Store::Local) {
            service.force(PlatformSimulator::json(QJsonObject{{"code", 500}, {"info", QStringLiteral("磁盘已满")}}));
        } else if (store == Store::Token) {
            service.force(PlatformSimulator::json(QJsonObject{{"error", "service unavailable"}}, 503));
        } else {
            PlatformSimulator::Reply reply;
            reply.status = 403;
            reply.contentType = "application/xml";
            reply.body = BucketService::errorXml(QStringLiteral("AccessDenied"), QStringLiteral("bucket closed"),
                                                 QStringLiteral("R1"));
            service.force(reply);
        }
    } else if (scenario.startsWith(QLatin1String("path:"))) {
        service.force(PlatformSimulator::json(QJsonObject{{"code", 200}, {"path", scenario.mid(5)}}));
    } else if (scenario == QLatin1String("password")) {
        env.w.localServerPassword = QStringLiteral("wrong");
    } else if (scenario == QLatin1String("notjson")) {
        PlatformSimulator::Reply reply;
        reply.contentType = "text/html";
        reply.body = "<html>ok</html>";
        service.force(reply);
    } else if (scenario == QLatin1String("http500")) {
        PlatformSimulator::Reply reply;
        reply.status = 500;
        reply.body = "{}";
        service.force(reply);
    } else if (scenario == QLatin1String("timeout")) {
        env.w.sheetUploadTimeout = 1;
        u.storageTimeoutSeconds = 1;
        service.setDelay(3000);
    } else if (scenario == QLatin1String("zero")) {
        env.w.sheetUploadTimeout = 0;
    } else if (scenario == QLatin1String("badtoken")) {
        u.uploadToken = TokenService::makeToken(QStringLiteral("AK1"), QStringLiteral("not the issued secret"),
                                                m_token.bucket(), QDateTime::currentSecsSinceEpoch() + 3600);
    } else if (scenario == QLatin1String("expired")) {
        u.uploadToken = m_token.issueToken(-60);
    } else if (scenario == QLatin1String("badsignature")) {
        u.accessKeySecret = QStringLiteral("not the issued secret");
    } else if (scenario == QLatin1String("keyid")) {
        u.accessKeyId = QStringLiteral("nobody");
    } else if (scenario == QLatin1String("lookup")) {
        m_sim.setHandler(QStringLiteral("/v4/query"), [](const PlatformSimulator::Request &) {
            return PlatformSimulator::json(QJsonObject{{"error", "no such bucket"}}, 631);
        });
    }

    setColumns(env.w, {QStringLiteral("考号"), QStringLiteral("1-1")});
    const QString path = writeImage(QStringLiteral("fail-%1.jpg").arg(m_seed), m_seed);
    ++m_seed;
    addRow(env.w, QStringLiteral("2001"), {{QStringLiteral("1-1"), pendingCell(path)}});

    QElapsedTimer clock;
    clock.start();
    env.t->startUpload(false, 0, 0);
    QVERIFY(waitPoolEnd(env.t));
    if (scenario == QLatin1String("timeout"))
        QVERIFY2(clock.elapsed() < 2900, "the time limit did not end the upload");

    QTableWidgetItem *cell = env.t->item(0, 1);
    QCOMPARE(cell->text(), kPending);
    QVERIFY(cell->data(ResultServerPathRole).toString().isEmpty());
    QCOMPARE(cell->foreground().color(), QColor(255, 0, 0));
    const QString log = logText(env.w);
    const QString head = QStringLiteral("上传失败：") + QFileInfo(path).fileName() + QStringLiteral("\n");
    const int at = log.indexOf(head);
    QVERIFY2(at >= 0, qPrintable(log));
    int from = at + head.size();
    for (const QString &fragment : reason) {
        const int found = log.indexOf(fragment, from);
        QVERIFY2(found >= 0, qPrintable(QStringLiteral("missing \"%1\" in:\n%2").arg(fragment, log)));
        from = found + fragment.size();
    }
    QVERIFY(!log.contains(QStringLiteral("上传成功")));
    if (scenario == QLatin1String("lookup"))
        QVERIFY(posts(store).isEmpty());
    else
        QVERIFY(posts(store).size() >= 1 || scenario == QLatin1String("zero"));
}

void ImageUploadTest::testUnreadableFilesNeverSent_data()
{
    testPendingCellsUploaded_data();
}

void ImageUploadTest::testUnreadableFilesNeverSent()
{
    QFETCH(Store, store);
    Env env;
    configure(env.w, store);
    setColumns(env.w, {QStringLiteral("考号"), QStringLiteral("1-1"), QStringLiteral("1-2"), QStringLiteral("1-3"),
                       QStringLiteral("1-4")});
    const QString missing = m_dir.filePath(QStringLiteral("gone.jpg"));
    const QString empty = m_dir.filePath(QStringLiteral("empty.jpg"));
    QFile(empty).open(QIODevice::WriteOnly);
    const QString folder = m_dir.filePath(QStringLiteral("folder.jpg"));
    QVERIFY(QDir().mkpath(folder));
    const QString good = writeImage(QStringLiteral("good.jpg"), m_seed++);
    addRow(env.w, QStringLiteral("3001"),
           {{QStringLiteral("1-1"), pendingCell(missing)},
            {QStringLiteral("1-2"), pendingCell(empty)},
            {QStringLiteral("1-3"), pendingCell(folder)},
            {QStringLiteral("1-4"), pendingCell(good)}});

    env.t->startUpload(false, 0, 0);
    QVERIFY(waitPoolEnd(env.t));

    // Only the readable file went out; nothing is stored under a key made
    // from a failed read.
    QCOMPARE(posts(store).size(), 1);
    QCOMPARE(env.t->item(0, 4)->text(), kDone);
    for (int column = 1; column <= 3; ++column) {
        QCOMPARE(env.t->item(0, column)->text(), kPending);
        const QString name = QFileInfo(env.t->item(0, column)->data(ResultLocalPathRole).toString()).fileName();
        QVERIFY(logText(env.w).contains(QStringLiteral("上传失败：") + name));
    }
    QVERIFY(!m_bucket.objects().contains(QStringLiteral("failed")));
    for (const QByteArray &bytes : m_bucket.objects())
        QVERIFY(!bytes.isEmpty());
}

void ImageUploadTest::testCertificateChecked_data()
{
    QTest::addColumn<Store>("store");
    QTest::newRow("token") << Store::Token;
    QTest::newRow("bucket") << Store::Bucket;
}

void ImageUploadTest::testCertificateChecked()
{
    // Without the test CA the local stores' certificates are not trusted, and
    // the storage clients refuse them.
    QFETCH(Store, store);
    const QByteArray ca = qgetenv("VOSTRA_EXTRA_CA");
    qunsetenv("VOSTRA_EXTRA_CA");
    {
        Env env;
        configure(env.w, store);
        setColumns(env.w, {QStringLiteral("考号"), QStringLiteral("1-1")});
        addRow(env.w, QStringLiteral("4001"),
               {{QStringLiteral("1-1"), pendingCell(writeImage(QStringLiteral("tls.jpg"), m_seed++))}});
        env.t->startUpload(false, 0, 0);
        QVERIFY(waitPoolEnd(env.t));
        QCOMPARE(env.t->item(0, 1)->text(), kPending);
        QVERIFY(logText(env.w).contains(QStringLiteral("上传失败：tls.jpg\n原因：")));
        QVERIFY(logText(env.w).contains(QStringLiteral("certificate"), Qt::CaseInsensitive));
    }
    qputenv("VOSTRA_EXTRA_CA", ca);
    QVERIFY(posts(store).isEmpty());
}

// ---------------------------------------------------------------- token region lookup

void ImageUploadTest::testRegionHostsInOrder()
{
    // The bucket's own region comes first in the reply and lists its upload
    // hosts, then older ones; a replica region after it is not used. The
    // lookup takes "https://" hosts too; schemes are dropped (the transfer is
    // HTTPS anyway), repeats and malformed names skipped.
    qputenv(TokenStorageClient::kQueryHostVariable, "https://" + m_sim.host().toUtf8() + '/');
    const QString dead = deadHost();
    QVERIFY(!dead.isEmpty());
    const QString host = m_sim.host();
    m_sim.setHandler(QStringLiteral("/v4/query"), [dead, host](const PlatformSimulator::Request &) {
        const QJsonObject own{{"region", "z1"},
                              {"ttl", 600},
                              {"up", QJsonObject{{"domains", QJsonArray{QStringLiteral("https://") + dead, host}},
                                                 {"old", QJsonArray{host, "bad host/x", "old.example"}}}}};
        const QJsonObject replica{{"region", "z2"}, {"ttl", 600}, {"up", QJsonObject{{"domains", QJsonArray{"replica.example"}}}}};
        return PlatformSimulator::json(QJsonObject{{"hosts", QJsonArray{own, replica}}});
    });

    TokenStorageClient client;
    client.setTimeoutSeconds(10);
    const QString token = m_token.issueToken();
    const TokenStorageClient::Hosts hosts = client.uploadHosts(token);
    QVERIFY2(hosts.ok, qPrintable(hosts.error));
    QCOMPARE(hosts.hosts, QStringList({dead, host, QStringLiteral("old.example")}));

    // The lookup is a GET with the token's access key and bucket.
    QCOMPARE(lookups().size(), 1);
    const PlatformSimulator::Request query = lookups().first();
    QCOMPARE(query.method, QByteArray("GET"));
    QCOMPARE(query.queryValue(QStringLiteral("ak")), m_token.accessKey());
    QCOMPARE(query.queryValue(QStringLiteral("bucket")), m_token.bucket());

    // The first host refuses the connection; the file goes to the next one
    // and nowhere else.
    const QByteArray bytes = jpegBytes(m_seed++);
    const TokenStorageClient::Result result = client.putFile(token, QString(), bytes, QStringLiteral("order.jpg"));
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.hash, TokenService::contentHash(bytes));
    QCOMPARE(posts(Store::Token).size(), 1);
    QCOMPARE(m_token.objects().value(result.hash), bytes);
    QCOMPARE(lookups().size(), 1);

    // A host that answers, even with a refusal, is the answer: the next
    // host is not tried.
    m_token.force(PlatformSimulator::json(QJsonObject{{"error", "service unavailable"}}, 503));
    m_sim.clearRequests();
    const TokenStorageClient::Result refused = client.putFile(token, QString(), bytes, QStringLiteral("order.jpg"));
    QVERIFY(!refused.ok);
    QCOMPARE(refused.httpStatus, 503L);
    QCOMPARE(refused.error, QStringLiteral("service unavailable"));
    QCOMPARE(posts(Store::Token).size(), 1);
}

void ImageUploadTest::testRegionLookupKeptPerBucket()
{
    qint64 now = 5000000;
    TokenStorageClient::setClockForTesting([&now] { return now; });
    const auto realClock = qScopeGuard([] { TokenStorageClient::setClockForTesting({}); });
    // Every bucket lives here for 100 s, except "no-ttl", whose answer
    // carries no ttl and so serves one upload only.
    const QString host = m_sim.host();
    m_sim.setHandler(QStringLiteral("/v4/query"), [host](const PlatformSimulator::Request &r) {
        if (r.queryValue(QStringLiteral("bucket")) == QLatin1String("no-ttl"))
            return PlatformSimulator::json(QJsonObject{
                {"hosts", QJsonArray{QJsonObject{{"up", QJsonObject{{"domains", QJsonArray{host}}}}}}}});
        return PlatformSimulator::storageRegion({host}, {}, 100);
    });
    auto tokenFor = [this](const QString &bucket) {
        return TokenService::makeToken(m_token.accessKey(), m_token.secret(), bucket,
                                       QDateTime::currentSecsSinceEpoch() + 3600);
    };
    auto askedFor = [this] {
        QStringList buckets;
        for (const PlatformSimulator::Request &r : lookups())
            buckets << r.queryValue(QStringLiteral("bucket"));
        return buckets;
    };
    const QString own = m_token.bucket();

    // Two uploads to one bucket, from two clients (two upload threads), ask once.
    TokenStorageClient first, second;
    const TokenStorageClient::Result a = first.putFile(tokenFor(own), QString(), jpegBytes(m_seed++), QStringLiteral("a.jpg"));
    QVERIFY2(a.ok, qPrintable(a.error));
    const TokenStorageClient::Result b = second.putFile(tokenFor(own), QString(), jpegBytes(m_seed++), QStringLiteral("b.jpg"));
    QVERIFY2(b.ok, qPrintable(b.error));
    QCOMPARE(posts(Store::Token).size(), 2);
    QCOMPARE(askedFor(), QStringList({own}));

    // Another bucket asks again; the first one's answer still holds.
    QVERIFY(first.uploadHosts(tokenFor(QStringLiteral("other"))).ok);
    QVERIFY(second.uploadHosts(tokenFor(own)).ok);
    QCOMPARE(askedFor(), QStringList({own, QStringLiteral("other")}));

    // Until the ttl runs out.
    now += 99 * 1000;
    QVERIFY(first.uploadHosts(tokenFor(own)).ok);
    QCOMPARE(lookups().size(), 2);
    now += 2 * 1000;
    QVERIFY(first.uploadHosts(tokenFor(own)).ok);
    QVERIFY(first.uploadHosts(tokenFor(own)).ok);
    QCOMPARE(askedFor(), QStringList({own, QStringLiteral("other"), own}));

    // Without a ttl nothing is kept.
    QVERIFY(first.uploadHosts(tokenFor(QStringLiteral("no-ttl"))).ok);
    QVERIFY(first.uploadHosts(tokenFor(QStringLiteral("no-ttl"))).ok);
    QCOMPARE(askedFor().count(QStringLiteral("no-ttl")), 2);
}

void ImageUploadTest::testRegionLookupFailures_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QStringList>("reason"); // fragments of the error, in order
    QTest::addColumn<int>("asked");          // lookups made
    QTest::addColumn<bool>("retry");         // the same token works once the lookup is mended

    const QString failed = QStringLiteral("查询存储空间“exam-forms”的上传地址失败：");
    QTest::newRow("unknown bucket") << "elsewhere" << QStringList{"查询存储空间“elsewhere”的上传地址失败：HTTP 631 no such bucket"}
                                    << 1 << false;
    QTest::newRow("server error") << "http500" << QStringList{failed + "HTTP 500"} << 1 << true;
    QTest::newRow("not json") << "notjson" << QStringList{failed + "应答不是 JSON 对象"} << 1 << true;
    QTest::newRow("no region") << "empty" << QStringList{failed + "应答中没有上传地址"} << 1 << true;
    QTest::newRow("no usable host") << "badhosts" << QStringList{failed + "应答中没有上传地址"} << 1 << true;
    QTest::newRow("dropped connection") << "dropped" << QStringList{failed} << -1 << true;
    QTest::newRow("plain http query host") << "plainhttp" << QStringList{failed + "区域查询地址不是 HTTPS，已拒绝：http://"}
                                           << 0 << true;
    QTest::newRow("unreadable token") << "badtoken" << QStringList{"上传凭证无法读取"} << 0 << false;
    QTest::newRow("token without scope") << "noscope" << QStringList{"上传凭证无法读取"} << 0 << false;
}

void ImageUploadTest::testRegionLookupFailures()
{
    // A lookup that fails fails the upload with a reason naming the bucket;
    // nothing is posted anywhere and the failure is not kept.
    QFETCH(QString, scenario);
    QFETCH(QStringList, reason);
    QFETCH(int, asked);
    QFETCH(bool, retry);

    QString token = m_token.issueToken();
    auto answer = [this](const PlatformSimulator::Reply &reply) {
        m_sim.setHandler(QStringLiteral("/v4/query"), [reply](const PlatformSimulator::Request &) { return reply; });
    };
    if (scenario == QLatin1String("elsewhere")) {
        token = TokenService::makeToken(m_token.accessKey(), m_token.secret(), QStringLiteral("elsewhere"),
                                        QDateTime::currentSecsSinceEpoch() + 3600);
    } else if (scenario == QLatin1String("http500")) {
        PlatformSimulator::Reply reply;
        reply.status = 500;
        reply.body = "{}";
        answer(reply);
    } else if (scenario == QLatin1String("notjson")) {
        PlatformSimulator::Reply reply;
        reply.contentType = "text/html";
        reply.body = "<html>ok</html>";
        answer(reply);
    } else if (scenario == QLatin1String("empty")) {
        answer(PlatformSimulator::json(QJsonObject{{"hosts", QJsonArray{}}}));
    } else if (scenario == QLatin1String("badhosts")) {
        answer(PlatformSimulator::storageRegion({QStringLiteral("evil.example/x@y"), QString()},
                                                {QStringLiteral("a b")}));
    } else if (scenario == QLatin1String("dropped")) {
        PlatformSimulator::Reply reply;
        reply.dropConnection = true;
        answer(reply);
    } else if (scenario == QLatin1String("plainhttp")) {
        qputenv(TokenStorageClient::kQueryHostVariable, "http://" + m_sim.host().toUtf8());
    } else if (scenario == QLatin1String("badtoken")) {
        token = QStringLiteral("demo-token");
    } else if (scenario == QLatin1String("noscope")) {
        const QByteArray policy = QByteArray(R"({"deadline":4102444800})").toBase64(QByteArray::Base64UrlEncoding);
        token = QStringLiteral("AK1:c2lnbg==:") + QString::fromLatin1(policy);
    }

    TokenStorageClient client;
    client.setTimeoutSeconds(10);
    const TokenStorageClient::Result result = client.putFile(token, QString(), jpegBytes(m_seed++), QStringLiteral("f.jpg"));
    QVERIFY(!result.ok);
    int from = 0;
    for (const QString &fragment : reason) {
        const int found = result.error.indexOf(fragment, from);
        QVERIFY2(found >= 0, qPrintable(QStringLiteral("missing \"%1\" in \"%2\"").arg(fragment, result.error)));
        from = found + fragment.size();
    }
    QVERIFY(posts(Store::Token).isEmpty());
    if (asked >= 0)
        QCOMPARE(lookups().size(), asked);

    if (!retry)
        return;
    // Once the lookup answers again, the same token asks again and uploads.
    qputenv(TokenStorageClient::kQueryHostVariable, m_sim.host().toUtf8());
    m_token.install(m_sim);
    m_sim.clearRequests();
    const TokenStorageClient::Result again = client.putFile(token, QString(), jpegBytes(m_seed++), QStringLiteral("g.jpg"));
    QVERIFY2(again.ok, qPrintable(again.error));
    QCOMPARE(lookups().size(), 1);
    QCOMPARE(posts(Store::Token).size(), 1);
}

// ---------------------------------------------------------------- several threads

void ImageUploadTest::testEveryFileOnce_data()
{
    testPendingCellsUploaded_data();
}

void ImageUploadTest::testEveryFileOnce()
{
    QFETCH(Store, store);
    Env env;
    configure(env.w, store);
    env.t->uploadThreadCount = 8;
    const int rows = 24, blocks = 5;
    QStringList keys{QStringLiteral("考号")};
    for (int b = 1; b <= blocks; ++b)
        keys << QStringLiteral("1-%1").arg(b);
    setColumns(env.w, keys);
    QHash<QString, QString> pathOf; // content hash -> local path
    for (int r = 0; r < rows; ++r) {
        QMap<QString, QTableWidgetItem *> cells;
        for (int b = 1; b <= blocks; ++b) {
            const QString path =
                writeImage(QStringLiteral("many-%1-%2-%3.jpg").arg(storeName(store)).arg(r).arg(b), m_seed++);
            pathOf.insert(TokenService::contentHash(fileBytes(path)), path);
            cells.insert(QStringLiteral("1-%1").arg(b), pendingCell(path));
        }
        addRow(env.w, QString::number(5000 + r), cells);
    }
    QCOMPARE(pathOf.size(), rows * blocks);

    env.t->startUpload(false, 0, 0);
    QCOMPARE(env.t->uploadThreads.size(), 8);
    QVERIFY(waitPoolEnd(env.t, 60000));

    // Each file went out exactly once.
    const QList<PlatformSimulator::Request> sent = posts(store);
    QCOMPARE(sent.size(), rows * blocks);
    QCOMPARE(lookups().size(), store == Store::Token ? 1 : 0);
    QSet<QString> seen;
    for (const PlatformSimulator::Request &r : sent) {
        const QByteArray body = store == Store::Bucket ? r.body : r.part(QStringLiteral("file"))->body;
        const QString hash = TokenService::contentHash(body);
        QVERIFY(pathOf.contains(hash));
        QVERIFY2(!seen.contains(hash), "a file was posted twice");
        seen.insert(hash);
    }
    for (int r = 0; r < rows; ++r) {
        for (int b = 1; b <= blocks; ++b) {
            QTableWidgetItem *cell = env.t->item(r, b);
            QCOMPARE(cell->text(), kDone);
            QVERIFY(storedAt(store, env.w.examId, cell->data(ResultServerPathRole).toString(),
                             cell->data(ResultLocalPathRole).toString()));
        }
    }
    for (int k = 1; k <= 8; ++k)
        QVERIFY(logText(env.w).contains(QStringLiteral("上传线程 %1 结束").arg(k)));
}

// ---------------------------------------------------------------- recognition hand-off

void ImageUploadTest::testRecognitionHandOff()
{
    Env env;
    configure(env.w, Store::Token);
    env.t->uploadThreadCount = 4;
    setColumns(env.w, {QStringLiteral("考号"), QStringLiteral("1-1"), QStringLiteral("1-2"), QStringLiteral("2-1")});
    for (int r = 0; r < 3; ++r) {
        addRow(env.w, QString::number(6000 + r),
               {{QStringLiteral("1-1"), pendingCell(writeImage(QStringLiteral("h%1a.jpg").arg(r), m_seed++))},
                {QStringLiteral("1-2"), pendingCell(writeImage(QStringLiteral("h%1b.jpg").arg(r), m_seed++))},
                {QStringLiteral("2-1"), pendingCell(writeImage(QStringLiteral("h%1c.jpg").arg(r), m_seed++))}});
    }
    m_token.setDelay(400);

    // A worker hands over row 1; the pool is limited to that row.
    const int columns = env.t->columnCount();
    bool ok = false;
    env.t->processThreadStartUpload(1, 1 * columns, &ok);
    QVERIFY(ok);
    QVERIFY(env.t->uploading);

    // While it runs, another worker's request and the table's own command
    // start nothing and leave the flag set.
    ok = false;
    env.t->processThreadStartUpload(2, 2 * columns, &ok);
    QVERIFY(!ok);
    env.t->startUpload(false, 0, 0);
    QVERIFY(env.t->uploading);
    QCOMPARE(env.t->uploadThreads.size(), 4);

    QVERIFY(waitPoolEnd(env.t));
    QCOMPARE(posts(Store::Token).size(), 3);
    for (int c = 1; c <= 3; ++c) {
        QCOMPARE(env.t->item(0, c)->text(), kPending);
        QCOMPARE(env.t->item(1, c)->text(), kDone);
        QCOMPARE(env.t->item(2, c)->text(), kPending);
    }
    // A pool for one student ends quietly.
    QVERIFY(!logText(env.w).contains(QStringLiteral(" 结束")));
}

// ---------------------------------------------------------------- cells changing under a worker

void ImageUploadTest::testCellChangedUnderUpload()
{
    Env env;
    configure(env.w, Store::Local);
    env.t->uploadThreadCount = 4;
    setColumns(env.w, {QStringLiteral("考号"), QStringLiteral("1-1")});
    for (int r = 0; r < 3; ++r)
        addRow(env.w, QString::number(7000 + r),
               {{QStringLiteral("1-1"), pendingCell(writeImage(QStringLiteral("ch%1.jpg").arg(r), m_seed++))}});
    m_local.setDelay(800);

    env.t->startUpload(false, 0, 0);
    // Rows 0 and 1 are on their way; replace row 0's cell and remove row 1.
    QVERIFY(m_sim.waitForRequests(2, 10000));
    const QString replacement = writeImage(QStringLiteral("ch-new.jpg"), m_seed++);
    QTableWidgetItem *fresh = pendingCell(replacement);
    env.t->setItem(0, 1, fresh);
    env.t->removeRow(1);
    QVERIFY(waitPoolEnd(env.t));

    // Neither answer lands on a cell it does not belong to.
    QCOMPARE(env.t->item(0, 1), fresh);
    QCOMPARE(fresh->text(), kPending);
    QVERIFY(logText(env.w).contains(QStringLiteral("未标记")));
    for (int r = 0; r < env.t->rowCount(); ++r) {
        QTableWidgetItem *cell = env.t->item(r, 1);
        if (cell->text() == kDone)
            QVERIFY(storedAt(Store::Local, env.w.examId, cell->data(ResultServerPathRole).toString(),
                             cell->data(ResultLocalPathRole).toString()));
    }

    // A second pool picks up what is still pending.
    m_local.setDelay(0);
    env.t->startUpload(false, 0, 0);
    QVERIFY(waitPoolEnd(env.t));
    for (int r = 0; r < env.t->rowCount(); ++r) {
        QTableWidgetItem *cell = env.t->item(r, 1);
        QCOMPARE(cell->text(), kDone);
        QVERIFY(storedAt(Store::Local, env.w.examId, cell->data(ResultServerPathRole).toString(),
                         cell->data(ResultLocalPathRole).toString()));
    }
}

void ImageUploadTest::testStopEntry()
{
    Env env;
    configure(env.w, Store::Local);
    env.t->uploadThreadCount = 4;
    setColumns(env.w, {QStringLiteral("考号"), QStringLiteral("1-1")});
    const int rows = 30;
    for (int r = 0; r < rows; ++r)
        addRow(env.w, QString::number(8000 + r),
               {{QStringLiteral("1-1"), pendingCell(writeImage(QStringLiteral("st%1.jpg").arg(r), m_seed++))}});
    m_local.setDelay(300);

    env.t->startUpload(false, 0, 0);
    QVERIFY(m_sim.waitForRequests(1, 10000));
    // The table's menu while a pool runs holds only the stop entry.
    QVERIFY(env.t->fillContextMenu());
    const QList<QAction *> actions = env.t->contextMenu->actions();
    QCOMPARE(actions.size(), 1);
    QCOMPARE(actions.first()->text(), QStringLiteral("停止上传主观题图片(&S)"));
    actions.first()->trigger();
    QVERIFY(waitPoolEnd(env.t));

    for (int k = 1; k <= 4; ++k)
        QVERIFY(logText(env.w).contains(QStringLiteral("上传线程 %1 停止上传").arg(k)));
    int done = 0;
    for (int r = 0; r < rows; ++r)
        done += env.t->item(r, 1)->text() == kDone ? 1 : 0;
    QVERIFY2(done < rows, "the stop entry did not stop the pool");
    QCOMPARE(done, posts(Store::Local).size());
}

// ---------------------------------------------------------------- commands while a pool runs

void ImageUploadTest::testCommandsRefusedWhileUploading()
{
    Env env;
    configure(env.w, Store::Local);
    env.w.sheetUploadTimeout = 10;
    setColumns(env.w, {QStringLiteral("考号"), QStringLiteral("1-1")});
    addRow(env.w, QStringLiteral("9001"),
           {{QStringLiteral("1-1"), pendingCell(writeImage(QStringLiteral("busy.jpg"), m_seed++))}});
    m_local.setDelay(3000);
    env.t->startUpload(false, 0, 0);
    QVERIFY(m_sim.waitForRequests(1, 10000));

    // Any dialog a refused command opened would be closed here and noted.
    QStringList opened;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&opened] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            opened << QString::fromLatin1(modal->metaObject()->className());
            modal->close();
        }
    });
    watchdog.start(50);

    const QString refused = QStringLiteral("正在上传图片，不能完成本操作");
    struct Command { const char *name; std::function<void()> run; };
    const Command commands[] = {
        {"setting", [&] { env.w.setting(); }},
        {"exam", [&] { env.w.exam(); }},
        {"account", [&] { env.w.account(); }},
    };
    for (const Command &command : commands) {
        env.w.textEditLog->clear();
        command.run();
        QVERIFY2(logText(env.w).contains(refused), command.name);
    }
    env.w.textEditLog->clear();
    QVERIFY(!env.w.close());
    QVERIFY(logText(env.w).contains(QStringLiteral("上传线程未结束，不能退出程序")));
    QVERIFY(env.t->uploading);
    QVERIFY2(opened.isEmpty(), qPrintable(opened.join(QLatin1Char(','))));
    QVERIFY(env.boxes.boxes().isEmpty());
    QVERIFY(waitPoolEnd(env.t));
    QCOMPARE(env.t->item(0, 1)->text(), kDone);
}

void ImageUploadTest::testWindowGoesAwayUnderPool()
{
    // The window (and its table) is destroyed while every worker waits for
    // a slow store: the workers give up their transfers and the threads end.
    auto boxes = std::make_unique<MessageBoxRecorder>();
    auto w = std::make_unique<MainWindow>();
    configure(*w, Store::Local);
    w->sheetUploadTimeout = 10;
    w->tableWidgetResults->uploadThreadCount = 4;
    setColumns(*w, {QStringLiteral("考号"), QStringLiteral("1-1")});
    for (int r = 0; r < 6; ++r)
        addRow(*w, QString::number(9100 + r),
               {{QStringLiteral("1-1"), pendingCell(writeImage(QStringLiteral("gone%1.jpg").arg(r), m_seed++))}});
    m_local.setDelay(5000);
    w->tableWidgetResults->startUpload(false, 0, 0);
    QVERIFY(m_sim.waitForRequests(3, 10000));

    QElapsedTimer clock;
    clock.start();
    w.reset();
    QVERIFY2(clock.elapsed() < 4000, "destroying the window waited for the slow store");
}

QTEST_MAIN(ImageUploadTest)
#include "imageupload_test.moc"
