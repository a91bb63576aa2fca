#include "platformsimulator.h"

#include "dataformatthread.h"
#include "datauploadfixture.h"
#include "dialogdatauploadduplicatecheck.h"
#include "dialoguploaddata.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "mytablewidgetresult.h"
#include "omrresources.h"
#include "platformfixture.h"
#include "platformstore.h"
#include "resultitemrole.h"
#include "settingsfile.h"

#include <QBuffer>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHttpMultiPart>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QPushButton>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <memory>
#include "testutil.h"

namespace {

constexpr int kWaitMs = 10000;

struct Result {
    bool finished = false;
    int status = 0; // 0: no HTTP response
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QString errorString;
    QByteArray body;
    QByteArray contentType;
    bool sslErrors = false;
    qint64 elapsedMs = 0;
};

QSslConfiguration trusting(const QList<QSslCertificate> &cas)
{
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setCaCertificates(cas); // only these: the system store is left out
    return conf;
}

// Waits in a local event loop, bounded in time, as the platform client does.
Result waitFor(QNetworkReply *reply)
{
    Result r;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(reply, &QNetworkReply::sslErrors, [&r](const QList<QSslError> &) { r.sslErrors = true; });
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    r.finished = reply->isFinished();
    if (!r.finished)
        reply->abort();
    r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    r.error = reply->error();
    r.errorString = reply->errorString();
    r.body = reply->readAll();
    r.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    r.elapsedMs = clock.elapsed();
    reply->deleteLater();
    return r;
}

QNetworkRequest makeRequest(const QString &url, const QList<QSslCertificate> &cas)
{
    QNetworkRequest request{QUrl(url)};
    request.setSslConfiguration(trusting(cas));
    return request;
}

Result postForm(QNetworkAccessManager &nam, const QString &url, const QList<QSslCertificate> &cas,
                const QByteArray &body = QByteArray("key=k1"))
{
    QNetworkRequest request = makeRequest(url, cas);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
    return waitFor(nam.post(request, body));
}

QList<QPair<QString, QString>> pairs(const QStringList &flat)
{
    QList<QPair<QString, QString>> out;
    for (int i = 0; i + 1 < flat.size(); i += 2)
        out.append({flat[i], flat[i + 1]});
    return out;
}

using TestUtil::fileBytes;
using TestUtil::writeFile;

// Sends raw bytes over TLS and reads until the server closes or the time runs out.
QByteArray rawExchange(quint16 port, const QList<QSslCertificate> &cas, const QByteArray &request)
{
    QSslSocket socket;
    socket.setSslConfiguration(trusting(cas));
    socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForEncrypted(kWaitMs))
        return "handshake failed: " + socket.errorString().toUtf8();
    socket.write(request);
    QByteArray in;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kWaitMs) {
        if (socket.waitForReadyRead(200))
            in += socket.readAll();
        else if (socket.state() != QAbstractSocket::ConnectedState)
            break;
    }
    in += socket.readAll();
    return in;
}

// A multipart post: text parts, then a file part when fileName is not empty.
Result postParts(QNetworkAccessManager &nam, const QString &url, const QList<QSslCertificate> &cas,
                 const QList<QPair<QString, QString>> &fields, const QString &fileName = QString(),
                 const QByteArray &fileBody = QByteArray())
{
    auto *multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    for (const auto &field : fields) {
        QHttpPart text;
        text.setHeader(QNetworkRequest::ContentDispositionHeader,
                       QVariant(QStringLiteral("form-data; name=\"%1\"").arg(field.first)));
        text.setBody(field.second.toUtf8());
        multi->append(text);
    }
    if (!fileName.isEmpty()) {
        QHttpPart file;
        file.setHeader(QNetworkRequest::ContentDispositionHeader,
                       QVariant(QStringLiteral("form-data; name=\"file\";filename=\"%1\"").arg(fileName)));
        file.setBody(fileBody);
        multi->append(file);
    }
    QNetworkReply *reply = nam.post(makeRequest(url, cas), multi);
    multi->setParent(reply);
    return waitFor(reply);
}

// A small image in the given format ("JPG", "PNG"), different per seed.
QByteArray imageBytes(const char *format, int seed)
{
    QImage image(40, 24, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(seed * 47 % 360, 200, 220));
    image.setPixel(seed % 40, seed % 24, qRgb(0, 0, 0));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return buffer.data();
}

// A results zip as the client makes it: one text file of JSON lines.
QByteArray resultsZip(const QString &entryName, const QByteArray &lines)
{
    QBuffer buffer;
    QuaZip archive(&buffer);
    if (!archive.open(QuaZip::mdCreate))
        return {};
    QuaZipFile entry(&archive);
    if (!entry.open(QIODevice::WriteOnly, QuaZipNewInfo(entryName)))
        return {};
    entry.write(lines);
    entry.close();
    archive.close();
    return buffer.data();
}

// Every file under the folder, relative to it.
QStringList filesUnder(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

// The platform's records of one exam and school: student id -> record.
QMap<QString, QJsonObject> keptRecords(const QString &folder)
{
    QMap<QString, QJsonObject> records;
    for (const QByteArray &line : fileBytes(folder + QStringLiteral("/records.txt")).split('\n')) {
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        if (!record.isEmpty())
            records.insert(record.value(QStringLiteral("student_id")).toString(), record);
    }
    return records;
}

} // namespace

class PlatformSimulatorTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void scriptedReplyOverHttps();
    void handlerAndDefault();
    void formFieldsDecoded_data();
    void formFieldsDecoded();
    void queryItemsDecoded();
    void multipartRecordedPartByPart();
    void chunkedAndKeepAlive();
    void statusCodes_data();
    void statusCodes();
    void delayDoesNotBlockOthers();
    void droppedConnectionHasNoStatus();
    void trustIsChecked_data();
    void trustIsChecked();
    void servesClientThatBlocksTestThread();
    void waitForRequestsTimesOut();
    void stopWithPendingReply();
    void exportEnvironment();
    void standaloneServesDataFolder();
    void storeRefusesNamesLeavingTheFolder_data();
    void storeRefusesNamesLeavingTheFolder();
    // Last: they make the Qt side trust the simulator for the rest of the run.
    void storeKeepsWhatTheClientUploads_data();
    void storeKeepsWhatTheClientUploads();

private:
    // A demo data folder: the account check names school "S1"; the exam
    // list of project 7 holds E1 (more uploads allowed or not) and E2.
    static void writeDemoData(const QString &folder, bool allowMore);
    PlatformSimulator m_sim;
    QNetworkAccessManager *m_nam = nullptr;
};

void PlatformSimulatorTest::initTestCase()
{
    QString error;
    QVERIFY2(m_sim.start(&error), qPrintable(error));
    QVERIFY(m_sim.port() != 0);
    QVERIFY(QFile::exists(m_sim.caPemPath()));
    QCOMPARE(m_sim.caCertificates().size(), 1);
}

void PlatformSimulatorTest::init()
{
    m_sim.clearReplies();
    m_sim.clearRequests();
    // A fresh manager per case: no kept-alive connection carries over.
    delete m_nam;
    m_nam = new QNetworkAccessManager(this);
}

void PlatformSimulatorTest::scriptedReplyOverHttps()
{
    const QString path = QStringLiteral("/school/s1/client/exam-info");
    const QJsonObject info{{QStringLiteral("exam_name"), QStringLiteral("期中考试·数学")},
                           {QStringLiteral("grade_id"), QStringLiteral("12")}};
    m_sim.setReply(path, PlatformSimulator::json(info));

    const Result r = postForm(*m_nam, m_sim.baseUrl() + path + QStringLiteral("?exam_id=42"), m_sim.caCertificates());
    QVERIFY2(r.finished && r.error == QNetworkReply::NoError, qPrintable(r.errorString));
    QCOMPARE(r.status, 200);
    QCOMPARE(r.contentType, QByteArray("application/json; charset=utf-8"));
    QCOMPARE(QJsonDocument::fromJson(r.body).object(), info);

    const auto requests = m_sim.requests();
    QCOMPARE(requests.size(), 1);
    const PlatformSimulator::Request &req = requests.first();
    QCOMPARE(req.method, QByteArray("POST"));
    QCOMPARE(req.path, path);
    QCOMPARE(req.query, QStringLiteral("exam_id=42"));
    QCOMPARE(req.queryValue(QStringLiteral("exam_id")), QStringLiteral("42"));
    QCOMPARE(req.headers.value("content-type"), QByteArray("application/x-www-form-urlencoded"));
    QCOMPARE(req.headers.value("content-length"), QByteArray("6"));
    QCOMPARE(req.body, QByteArray("key=k1"));
    QCOMPARE(req.formValue(QStringLiteral("key")), QStringLiteral("k1"));
    QCOMPARE(req.field(QStringLiteral("exam_id")), QStringLiteral("42"));
}

void PlatformSimulatorTest::handlerAndDefault()
{
    const QString path = QStringLiteral("/school/s1/client/key-check");
    QThread *testThread = QThread::currentThread();
    std::atomic<bool> onServerThread{false};
    m_sim.setReply(path, PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 500}}));
    // The handler wins over the fixed reply and sees the decoded request.
    m_sim.setHandler(path, [&](const PlatformSimulator::Request &req) {
        onServerThread = QThread::currentThread() != testThread;
        return PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 200},
                                                   {QStringLiteral("message"), req.formValue(QStringLiteral("school_name"))}});
    });

    Result r = postForm(*m_nam, m_sim.baseUrl() + path, m_sim.caCertificates(),
                        "key=k1&school_name=" + QStringLiteral("第一中学").toUtf8().toPercentEncoding());
    QVERIFY2(r.error == QNetworkReply::NoError, qPrintable(r.errorString));
    const QJsonObject reply = QJsonDocument::fromJson(r.body).object();
    QCOMPARE(reply.value(QStringLiteral("code")).toInt(), 200);
    QCOMPARE(reply.value(QStringLiteral("message")).toString(), QStringLiteral("第一中学"));
    QVERIFY(onServerThread);

    // Unknown path: 404 with a JSON body.
    r = postForm(*m_nam, m_sim.baseUrl() + QStringLiteral("/nowhere"), m_sim.caCertificates());
    QCOMPARE(r.status, 404);
    QCOMPARE(r.error, QNetworkReply::ContentNotFoundError);
    QCOMPARE(QJsonDocument::fromJson(r.body).object().value(QStringLiteral("code")).toInt(), 404);

    // A fallback takes the unknown paths; clearReplies() removes everything.
    m_sim.setFallbackHandler([](const PlatformSimulator::Request &req) {
        return PlatformSimulator::json(QJsonArray{req.path});
    });
    r = postForm(*m_nam, m_sim.baseUrl() + QStringLiteral("/nowhere"), m_sim.caCertificates());
    QCOMPARE(r.status, 200);
    QCOMPARE(r.body, QByteArray(R"(["/nowhere"])"));
    m_sim.clearReplies();
    r = postForm(*m_nam, m_sim.baseUrl() + path, m_sim.caCertificates());
    QCOMPARE(r.status, 404);
    QCOMPARE(m_sim.requestsTo(path).size(), 2);
}

void PlatformSimulatorTest::formFieldsDecoded_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("expected"); // name, value, name, value, ...

    QTest::newRow("plain") << QByteArray("key=abc&school_id=7") << QStringList{"key", "abc", "school_id", "7"};
    QTest::newRow("utf-8 percent-encoded")
        << QByteArray("key=k&school_name=") + QStringLiteral("实验中学（南校区）").toUtf8().toPercentEncoding()
        << QStringList{"key", "k", "school_name", QStringLiteral("实验中学（南校区）")};
    QTest::newRow("reserved characters")
        << QByteArray("v=%26%3D%2B%25%2F%3F%23") << QStringList{"v", "&=+%/?#"};
    QTest::newRow("plus is a space") << QByteArray("name=Li+Lei&x=a%2Bb") << QStringList{"name", "Li Lei", "x", "a+b"};
    QTest::newRow("empty and bare") << QByteArray("a=&b&c=1") << QStringList{"a", "", "b", "", "c", "1"};
    QTest::newRow("repeats keep order") << QByteArray("z=1&a=2&z=3") << QStringList{"z", "1", "a", "2", "z", "3"};
    QTest::newRow("encoded name") << QByteArray("%E5%90%8D=%E5%80%BC") << QStringList{QStringLiteral("名"), QStringLiteral("值")};
}

void PlatformSimulatorTest::formFieldsDecoded()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, expected);
    const Result r = postForm(*m_nam, m_sim.baseUrl() + QStringLiteral("/form"), m_sim.caCertificates(), body);
    QVERIFY(r.finished);
    QVERIFY(m_sim.waitForRequests(1, kWaitMs));
    const PlatformSimulator::Request req = m_sim.requests().first();
    QCOMPARE(req.body, body);
    QCOMPARE(req.formFields, pairs(expected));
}

void PlatformSimulatorTest::queryItemsDecoded()
{
    // The platform client appends ids as they are; a percent-encoded value is decoded, '+' kept.
    const QString url = m_sim.baseUrl()
        + QStringLiteral("/school/s1/client/student?grade_id=3&school_id=12&name=%E5%BC%A0+%26");
    const Result r = postForm(*m_nam, url, m_sim.caCertificates());
    QVERIFY(r.finished);
    const PlatformSimulator::Request req = m_sim.requests().value(0);
    QCOMPARE(req.path, QStringLiteral("/school/s1/client/student"));
    QCOMPARE(req.queryItems, pairs({"grade_id", "3", "school_id", "12", "name", QStringLiteral("张+&")}));
}

void PlatformSimulatorTest::multipartRecordedPartByPart()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Bytes that look like line ends and delimiters must survive as they are.
    static const char head[] = "\xff\xd8\xff\xe0\r\n--\r\n\r\n--boundary\0tail";
    QByteArray image(head, sizeof head - 1);
    image += QByteArray(70000, '\x5a');
    const QString imagePath = dir.filePath(QStringLiteral("答题卡.jpg"));
    QVERIFY(writeFile(imagePath, image));

    auto *multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart text;
    text.setHeader(QNetworkRequest::ContentTypeHeader, QVariant(QStringLiteral("text/plain")));
    text.setHeader(QNetworkRequest::ContentDispositionHeader, QVariant(QStringLiteral("form-data; name=\"exam_id\"")));
    text.setBody(QStringLiteral("考试 7").toUtf8());
    multi->append(text);
    QHttpPart file;
    file.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QVariant(QStringLiteral("form-data; name=\"file\";filename=\"temp.jpg\"")));
    auto *in = new QFile(imagePath, multi);
    QVERIFY(in->open(QIODevice::ReadOnly));
    file.setBodyDevice(in);
    multi->append(file);

    const QString path = QStringLiteral("/upload.php");
    m_sim.setReply(path, PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 200},
                                                            {QStringLiteral("path"), QStringLiteral("a/b.jpg")}}));
    QNetworkReply *reply = m_nam->post(makeRequest(m_sim.baseUrl() + path, m_sim.caCertificates()), multi);
    multi->setParent(reply);
    const Result r = waitFor(reply);
    QVERIFY2(r.error == QNetworkReply::NoError, qPrintable(r.errorString));

    const PlatformSimulator::Request req = m_sim.requests().value(0);
    QVERIFY(req.headers.value("content-type").startsWith("multipart/form-data; boundary="));
    QCOMPARE(req.parts.size(), 2);
    const PlatformSimulator::Part &p0 = req.parts[0];
    QCOMPARE(p0.name, QStringLiteral("exam_id"));
    QVERIFY(p0.fileName.isEmpty());
    QCOMPARE(p0.contentType, QByteArray("text/plain"));
    QCOMPARE(p0.text(), QStringLiteral("考试 7"));
    QCOMPARE(req.field(QStringLiteral("exam_id")), QStringLiteral("考试 7"));
    const PlatformSimulator::Part &p1 = req.parts[1];
    QCOMPARE(p1.name, QStringLiteral("file"));
    QCOMPARE(p1.fileName, QStringLiteral("temp.jpg"));
    QVERIFY(p1.contentType.isEmpty());
    QCOMPARE(p1.body.size(), image.size());
    QVERIFY(p1.body == image);
    QCOMPARE(p1.headers.value(0).first, QByteArray("content-disposition"));
    QVERIFY(req.formFields.isEmpty());
}

void PlatformSimulatorTest::chunkedAndKeepAlive()
{
    m_sim.setHandler(QStringLiteral("/echo"), [](const PlatformSimulator::Request &req) {
        PlatformSimulator::Reply reply;
        reply.contentType = "text/plain";
        reply.body = req.body;
        return reply;
    });
    // Two pipelined requests on one connection: a chunked one with a
    // trailer and an Expect header, then a plain one asking to close.
    const QByteArray wire =
        "POST /echo HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n"
        "Content-Type: application/x-www-form-urlencoded\r\nExpect: 100-continue\r\n\r\n"
        "4\r\nkey=\r\n9;ext=1\r\n%E4%B8%AD\r\n0\r\nX-Trailer: 1\r\n\r\n"
        "POST /echo?n=2 HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 3\r\nConnection: close\r\n\r\nabc";
    const QByteArray in = rawExchange(m_sim.port(), m_sim.caCertificates(), wire);

    QVERIFY2(in.startsWith("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n"), in.constData());
    QVERIFY2(in.contains("Connection: keep-alive\r\n\r\nkey=%E4%B8%AD"), in.constData());
    QVERIFY2(in.endsWith("Connection: close\r\n\r\nabc"), in.constData());

    QVERIFY(m_sim.waitForRequests(2, kWaitMs));
    const auto requests = m_sim.requests();
    QCOMPARE(requests[0].body, QByteArray("key=%E4%B8%AD"));
    QCOMPARE(requests[0].formFields, pairs({"key", QStringLiteral("中")}));
    QCOMPARE(requests[1].queryValue(QStringLiteral("n")), QStringLiteral("2"));
    QCOMPARE(requests[1].body, QByteArray("abc"));
}

void PlatformSimulatorTest::statusCodes_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("error"); // QNetworkReply::NetworkError

    QTest::newRow("201") << 201 << int(QNetworkReply::NoError);
    QTest::newRow("302 not followed") << 302 << int(QNetworkReply::NoError);
    QTest::newRow("403") << 403 << int(QNetworkReply::ContentAccessDenied);
    QTest::newRow("500") << 500 << int(QNetworkReply::InternalServerError);
    QTest::newRow("503") << 503 << int(QNetworkReply::ServiceUnavailableError);
}

void PlatformSimulatorTest::statusCodes()
{
    QFETCH(int, status);
    QFETCH(int, error);
    PlatformSimulator::Reply reply = PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), status}}, status);
    reply.headers.append(qMakePair(QByteArray("X-Sim"), QByteArray("1")));
    m_sim.setReply(QStringLiteral("/s"), reply);

    QNetworkRequest request = makeRequest(m_sim.baseUrl() + QStringLiteral("/s"), m_sim.caCertificates());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply *raw = m_nam->get(request);
    QByteArray extra;
    connect(raw, &QNetworkReply::metaDataChanged, this, [&] { extra = raw->rawHeader("X-Sim"); });
    const Result r = waitFor(raw);
    QCOMPARE(r.status, status);
    QCOMPARE(int(r.error), error);
    QCOMPARE(QJsonDocument::fromJson(r.body).object().value(QStringLiteral("code")).toInt(), status);
    QCOMPARE(extra, QByteArray("1"));
}

void PlatformSimulatorTest::delayDoesNotBlockOthers()
{
    PlatformSimulator::Reply slow = PlatformSimulator::json(QJsonObject{{QStringLiteral("r"), 1}});
    slow.delayMs = 1500;
    m_sim.setReply(QStringLiteral("/slow"), slow);
    m_sim.setReply(QStringLiteral("/fast"), PlatformSimulator::json(QJsonObject{{QStringLiteral("r"), 2}}));

    QElapsedTimer clock;
    clock.start();
    QStringList order;
    QNetworkAccessManager other; // its own connection, as another dialog would have
    QNetworkReply *slowReply = m_nam->get(makeRequest(m_sim.baseUrl() + QStringLiteral("/slow"), m_sim.caCertificates()));
    connect(slowReply, &QNetworkReply::finished, this, [&] { order << QStringLiteral("slow"); });
    QVERIFY(m_sim.waitForRequests(1, kWaitMs));
    const Result fast = waitFor(other.get(makeRequest(m_sim.baseUrl() + QStringLiteral("/fast"), m_sim.caCertificates())));
    order << QStringLiteral("fast");
    QCOMPARE(fast.status, 200);
    QVERIFY(slowReply->isRunning());

    const Result s = waitFor(slowReply);
    QCOMPARE(s.status, 200);
    QVERIFY2(clock.elapsed() >= 1500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(order, (QStringList{QStringLiteral("fast"), QStringLiteral("slow")}));
}

void PlatformSimulatorTest::droppedConnectionHasNoStatus()
{
    PlatformSimulator::Reply drop;
    drop.dropConnection = true;
    drop.delayMs = 100; // a drop may also come late
    m_sim.setReply(QStringLiteral("/drop"), drop);

    const Result r = postForm(*m_nam, m_sim.baseUrl() + QStringLiteral("/drop"), m_sim.caCertificates());
    QVERIFY(r.finished);
    QCOMPARE(r.status, 0);
    QVERIFY(r.error != QNetworkReply::NoError);
    QVERIFY(r.body.isEmpty());
    // Qt resends on a fresh connection before giving up; each try is recorded.
    QVERIFY(m_sim.requestsTo(QStringLiteral("/drop")).size() >= 1);

    // The server is fine afterwards.
    m_sim.setReply(QStringLiteral("/ok"), PlatformSimulator::json(QJsonObject{}));
    QCOMPARE(postForm(*m_nam, m_sim.baseUrl() + QStringLiteral("/ok"), m_sim.caCertificates()).status, 200);
}

void PlatformSimulatorTest::trustIsChecked_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("trustCa");
    QTest::addColumn<bool>("ok");

    QTest::newRow("IP, CA trusted") << QStringLiteral("127.0.0.1") << true << true;
    QTest::newRow("localhost, CA trusted") << QStringLiteral("localhost") << true << true;
    QTest::newRow("system store only") << QStringLiteral("127.0.0.1") << false << false;
}

void PlatformSimulatorTest::trustIsChecked()
{
    QFETCH(QString, host);
    QFETCH(bool, trustCa);
    QFETCH(bool, ok);
    m_sim.setReply(QStringLiteral("/t"), PlatformSimulator::json(QJsonObject{}));

    const QString url = QStringLiteral("https://%1:%2/t").arg(host).arg(m_sim.port());
    QNetworkRequest request{QUrl(url)};
    if (trustCa)
        request.setSslConfiguration(trusting(m_sim.caCertificates()));
    const Result r = waitFor(m_nam->get(request));
    QVERIFY(r.finished);
    if (ok) {
        QVERIFY2(r.error == QNetworkReply::NoError, qPrintable(r.errorString));
        QCOMPARE(r.status, 200);
        QCOMPARE(m_sim.requests().size(), 1);
    } else {
        QCOMPARE(r.error, QNetworkReply::SslHandshakeFailedError);
        QVERIFY(r.sslErrors);
        QCOMPARE(r.status, 0);
        QVERIFY(m_sim.requests().isEmpty());
    }
}

void PlatformSimulatorTest::servesClientThatBlocksTestThread()
{
    m_sim.setReply(QStringLiteral("/b"), PlatformSimulator::json(QJsonObject{{QStringLiteral("v"), 5}}));
    // The test thread blocks without running its event loop while a client
    // on another thread waits for its reply: only a server on its own thread
    // can answer.
    int status = -1;
    const QString url = m_sim.baseUrl() + QStringLiteral("/b");
    const auto cas = m_sim.caCertificates();
    std::unique_ptr<QThread> client(QThread::create([&] {
        QNetworkAccessManager nam;
        status = postForm(nam, url, cas).status;
    }));
    client->start();
    QVERIFY(client->wait(kWaitMs + 2000));
    QCOMPARE(status, 200);
}

void PlatformSimulatorTest::waitForRequestsTimesOut()
{
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!m_sim.waitForRequests(1, 200));
    QVERIFY(clock.elapsed() >= 190);
    QVERIFY(m_sim.waitForRequests(0, 0));
}

void PlatformSimulatorTest::stopWithPendingReply()
{
    PlatformSimulator sim;
    QString error;
    QVERIFY2(sim.start(&error), qPrintable(error));
    PlatformSimulator::Reply late = PlatformSimulator::json(QJsonObject{});
    late.delayMs = 60000;
    sim.setReply(QStringLiteral("/late"), late);
    QNetworkReply *reply = m_nam->get(makeRequest(sim.baseUrl() + QStringLiteral("/late"), sim.caCertificates()));
    QVERIFY(sim.waitForRequests(1, kWaitMs));
    const QList<QSslCertificate> oldCa = sim.caCertificates();

    QElapsedTimer clock;
    clock.start();
    sim.stop();
    QVERIFY(clock.elapsed() < 2000);
    QVERIFY(!sim.isRunning());
    const Result r = waitFor(reply);
    QVERIFY(r.finished);
    QCOMPARE(r.status, 0);
    QVERIFY(r.error != QNetworkReply::NoError);

    // A restart brings a new CA; the old requests stay until cleared.
    QVERIFY2(sim.start(&error), qPrintable(error));
    QVERIFY(sim.caCertificates() != oldCa);
    QVERIFY(sim.requests().size() >= 1);
}

void PlatformSimulatorTest::exportEnvironment()
{
    m_sim.exportEnvironment();
    QCOMPARE(qEnvironmentVariable("VOSTRA_PLATFORM_HOST"), QStringLiteral("127.0.0.1:%1").arg(m_sim.port()));
    QCOMPARE(qEnvironmentVariable("VOSTRA_EXTRA_CA"), m_sim.caPemPath());
    QFile ca(m_sim.caPemPath());
    QVERIFY(ca.open(QIODevice::ReadOnly));
    const auto certs = QSslCertificate::fromData(ca.readAll());
    QCOMPARE(certs, m_sim.caCertificates());
}

void PlatformSimulatorTest::standaloneServesDataFolder()
{
#ifndef PLATFORM_SIM_BINARY
    QSKIP("platform_sim is not built");
#else
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QDir data(dir.filePath(QStringLiteral("data")));
    QVERIFY(QDir().mkpath(data.filePath(QStringLiteral("client"))));
    QVERIFY(QDir().mkpath(data.filePath(QStringLiteral("upgrade/online"))));
    QVERIFY(writeFile(data.filePath(QStringLiteral("client/exams.json")), "[]"));
    QVERIFY(writeFile(data.filePath(QStringLiteral("client/exams@project_id=7.json")),
                      QStringLiteral(R"([{"id":"31","name":"期末"}])").toUtf8()));
    QVERIFY(writeFile(data.filePath(QStringLiteral("upgrade/online/ardentiq.json")), R"({"code":201})"));
    const QString readyPath = dir.filePath(QStringLiteral("ready.txt"));

    QProcess sim;
    sim.setProgram(QStringLiteral(PLATFORM_SIM_BINARY));
    sim.setArguments({QStringLiteral("--data"), data.path(), QStringLiteral("--ready-file"), readyPath});
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start();
    QVERIFY2(sim.waitForStarted(kWaitMs), qPrintable(sim.errorString()));
    auto cleanup = qScopeGuard([&] {
        if (sim.state() != QProcess::NotRunning) {
            sim.kill();
            sim.waitForFinished(kWaitMs);
        }
    });

    QMap<QString, QString> ready;
    QElapsedTimer clock;
    clock.start();
    while (ready.size() < 3 && clock.elapsed() < kWaitMs) {
        if (!sim.canReadLine() && !sim.waitForReadyRead(200)) {
            QVERIFY2(sim.state() == QProcess::Running, "platform_sim ended early");
            continue;
        }
        while (sim.canReadLine()) {
            const QString line = QString::fromUtf8(sim.readLine()).trimmed();
            const int eq = line.indexOf(QLatin1Char('='));
            if (eq > 0)
                ready.insert(line.left(eq), line.mid(eq + 1));
        }
    }
    const QString host = ready.value(QStringLiteral("VOSTRA_PLATFORM_HOST"));
    const QString caPath = ready.value(QStringLiteral("VOSTRA_EXTRA_CA"));
    QVERIFY2(host.startsWith(QLatin1String("127.0.0.1:")), qPrintable(host));
    QFile readyFile(readyPath);
    QVERIFY(readyFile.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(readyFile.readAll()),
             QStringLiteral("VOSTRA_PLATFORM_HOST=%1\nVOSTRA_EXTRA_CA=%2\nVOSTRA_TOKEN_QUERY_HOST=%1\n").arg(host, caPath));

    QFile caFile(caPath);
    QVERIFY(caFile.open(QIODevice::ReadOnly));
    const auto cas = QSslCertificate::fromData(caFile.readAll());
    QCOMPARE(cas.size(), 1);
    const QString base = QStringLiteral("https://") + host;

    Result r = postForm(*m_nam, base + QStringLiteral("/school/s1/client/exams?project_id=7"), cas);
    QVERIFY2(r.error == QNetworkReply::NoError, qPrintable(r.errorString));
    QCOMPARE(QJsonDocument::fromJson(r.body).array().at(0).toObject().value(QStringLiteral("name")).toString(),
             QStringLiteral("期末"));
    r = postForm(*m_nam, base + QStringLiteral("/union/u9/client/exams?project_id=8"), cas);
    QCOMPARE(r.body, QByteArray("[]"));
    r = postForm(*m_nam, base + QStringLiteral("/upgrade/online/ardentiq"), cas, "version_code=1&version_name=4.2");
    QCOMPARE(QJsonDocument::fromJson(r.body).object().value(QStringLiteral("code")).toInt(), 201);
    r = postForm(*m_nam, base + QStringLiteral("/school/s1/client/exam-info?exam_id=1"), cas);
    QCOMPARE(r.status, 404);
    // Dot segments sent raw never reach a file outside the data folder.
    QVERIFY(writeFile(dir.filePath(QStringLiteral("ready.json")), "{}"));
    const QByteArray escape = rawExchange(quint16(host.section(QLatin1Char(':'), 1).toUInt()), cas,
                                          "POST /school/s1/client/../../ready HTTP/1.1\r\nHost: x\r\n"
                                          "Content-Length: 0\r\nConnection: close\r\n\r\n");
    QVERIFY2(escape.startsWith("HTTP/1.1 404 "), escape.constData());

    // Uploads are kept in the data folder.
    const QByteArray jpeg = imageBytes("JPG", 1);
    r = postParts(*m_nam, base + QStringLiteral("/upload.php"), cas,
                  {{QStringLiteral("password"), QStringLiteral("p")}, {QStringLiteral("exam_id"), QStringLiteral("31")}},
                  QStringLiteral("temp.jpg"), jpeg);
    const QString imagePath = QJsonDocument::fromJson(r.body).object().value(QStringLiteral("path")).toString();
    QVERIFY2(imagePath.startsWith(QLatin1String("images/31/")) && imagePath.endsWith(QLatin1String(".jpg")), r.body.constData());
    QCOMPARE(fileBytes(data.filePath(imagePath)), jpeg);

    // The token storage lookup names the simulator itself as the upload host.
    const QByteArray lookup = rawExchange(quint16(host.section(QLatin1Char(':'), 1).toUInt()), cas,
                                          "GET /v4/query?ak=demo-ak&bucket=demo HTTP/1.1\r\nHost: x\r\n"
                                          "Connection: close\r\n\r\n");
    QVERIFY2(lookup.startsWith("HTTP/1.1 200 "), lookup.constData());
    const QJsonObject region = QJsonDocument::fromJson(lookup.mid(lookup.indexOf("\r\n\r\n") + 4))
                                   .object().value(QStringLiteral("hosts")).toArray().at(0).toObject();
    QCOMPARE(region.value(QStringLiteral("up")).toObject().value(QStringLiteral("domains")).toArray(),
             QJsonArray{host});

    // SIGTERM ends it cleanly: the temporary CA goes with it.
    sim.terminate();
    QVERIFY(sim.waitForFinished(kWaitMs));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFile::exists(caPath));
#endif
}

void PlatformSimulatorTest::writeDemoData(const QString &folder, bool allowMore)
{
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/client")));
    QVERIFY(writeFile(folder + QStringLiteral("/client/key-check.json"), R"({"code":200,"message":"S1"})"));
    const QJsonArray exams{QJsonObject{{QStringLiteral("id"), QStringLiteral("E1")},
                                       {QStringLiteral("sheet_template_ok"), QStringLiteral("1")},
                                       {QStringLiteral("allow_upload_more"), allowMore ? QStringLiteral("1") : QStringLiteral("0")}},
                           QJsonObject{{QStringLiteral("id"), QStringLiteral("E2")},
                                       {QStringLiteral("data_upload_ok"), QStringLiteral("0")}}};
    QVERIFY(writeFile(folder + QStringLiteral("/client/exams@project_id=7.json"), QJsonDocument(exams).toJson()));
}

void PlatformSimulatorTest::storeRefusesNamesLeavingTheFolder_data()
{
    QTest::addColumn<QString>("path");     // after /school/c1/client/, or "/upload.php"
    QTest::addColumn<QString>("examId");   // "@" stands for an absolute path outside the data folder
    QTest::addColumn<QString>("schoolId");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("kept");

    const QString image = QStringLiteral("/upload.php");
    const QString data = QStringLiteral("data");
    const QString record = QStringLiteral("upload-record");
    QTest::newRow("image, plain names") << image << "E1" << "" << "temp.jpg" << true;
    QTest::newRow("image, exam id ../") << image << "../../outside" << "" << "temp.jpg" << false;
    QTest::newRow("image, exam id ..") << image << ".." << "" << "temp.jpg" << false;
    QTest::newRow("image, absolute exam id") << image << "@/outside" << "" << "temp.jpg" << false;
    QTest::newRow("image, file name ../") << image << "E1" << "" << "../../evil.jpg" << false;
    QTest::newRow("image, absolute file name") << image << "E1" << "" << "@/evil.jpg" << false;
    QTest::newRow("image, hidden file name") << image << "E1" << "" << ".evil.jpg" << false;
    QTest::newRow("data, plain names") << data << "E1" << "S1" << "c1-E1.zip" << true;
    QTest::newRow("data, exam id ../") << data << "../../outside" << "S1" << "c1-E1.zip" << false;
    QTest::newRow("data, absolute school id") << data << "E1" << "@/outside" << "c1-E1.zip" << false;
    QTest::newRow("data, file name ../") << data << "E1" << "S1" << "../../../../../evil.zip" << false;
    QTest::newRow("data, absolute file name") << data << "E1" << "S1" << "@/evil.zip" << false;
    QTest::newRow("record check, exam id ../") << record << "../E1" << "S1" << "" << false;
}

void PlatformSimulatorTest::storeRefusesNamesLeavingTheFolder()
{
    QFETCH(QString, path);
    QFETCH(QString, examId);
    QFETCH(QString, schoolId);
    QFETCH(QString, fileName);
    QFETCH(bool, kept);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString outside = dir.filePath(QStringLiteral("outside"));
    examId.replace(QLatin1Char('@'), outside);
    schoolId.replace(QLatin1Char('@'), outside);
    fileName.replace(QLatin1Char('@'), outside);
    const QString folder = dir.filePath(QStringLiteral("platform"));
    writeDemoData(folder, true);
    const QStringList before = filesUnder(folder);
    PlatformStore store(folder);
    m_sim.setFallbackHandler([&store](const PlatformSimulator::Request &request) { return store.reply(request); });

    const bool isImage = path.startsWith(QLatin1Char('/'));
    const QString url = m_sim.baseUrl() + (isImage ? path : QStringLiteral("/school/c1/client/") + path);
    QList<QPair<QString, QString>> fields{{QStringLiteral("key"), QStringLiteral("k")},
                                          {QStringLiteral("exam_id"), examId}};
    if (!isImage)
        fields.append({QStringLiteral("school_id"), schoolId});
    const QByteArray body = isImage ? imageBytes("JPG", 2)
                                    : resultsZip(QStringLiteral("c1-E1.txt"), R"({"student_id":"501"})" "\n");
    const Result r = postParts(*m_nam, url, m_sim.caCertificates(), fields, fileName, body);
    QVERIFY2(r.error == QNetworkReply::NoError, qPrintable(r.errorString));
    const QJsonObject reply = QJsonDocument::fromJson(r.body).object();
    if (kept) {
        QCOMPARE(reply.value(QStringLiteral("code")).toInt(), 200);
        QVERIFY(filesUnder(folder).size() > before.size());
    } else {
        // Refused with a reason the client shows, and nothing written anywhere.
        QCOMPARE(reply.value(QStringLiteral("code")).toInt(), 400);
        const QString reason = reply.value(isImage ? QStringLiteral("info")
                                                   : path == QLatin1String("data") ? QStringLiteral("msg")
                                                                                   : QStringLiteral("message"))
                                   .toString();
        QVERIFY2(reason.contains(QStringLiteral("不合法")), qPrintable(reason));
        QCOMPARE(filesUnder(folder), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("platform")});
    }
}

void PlatformSimulatorTest::storeKeepsWhatTheClientUploads_data()
{
    QTest::addColumn<bool>("allowMore");
    QTest::newRow("more uploads allowed") << true;
    QTest::newRow("one upload only") << false;
}

// The demo's whole round: images through the upload pool, the results
// through the upload dialog, then the exam list and a second upload, all
// answered from what the store keeps.
void PlatformSimulatorTest::storeKeepsWhatTheClientUploads()
{
    QFETCH(bool, allowMore);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("platform"));
    writeDemoData(folder, allowMore);
    PlatformStore store(folder);
    m_sim.setFallbackHandler([&store](const PlatformSimulator::Request &request) { return store.reply(request); });
    m_sim.exportEnvironment();
    QString error;
    QVERIFY2(PlatformRequest::installExtraCa(&error), qPrintable(error));
    initOmrResources();
    const QString ini = dir.filePath(QStringLiteral("Ardentiq.ini"));
    PlatformTest::writeIni(ini, {{QStringLiteral("Account/CustomerType"), QStringLiteral("school")},
                                 {QStringLiteral("Account/CustomerCode"), QStringLiteral("c1")},
                                 {QStringLiteral("Account/DataKey"), QStringLiteral("k1")}});
    setSettingsFilePathForTesting(ini);
    DataFormatThread::setDataFolderForTesting(dir.filePath(QStringLiteral("data")));
    auto restore = qScopeGuard([] {
        DataFormatThread::setDataFolderForTesting(QString());
        setSettingsFilePathForTesting(QString());
    });
    MessageBoxRecorder boxes;
    MainWindow w;
    QCOMPARE(w.schoolID, QStringLiteral("S1"));

    // Three students, each with a subjective block image still to upload.
    w.examId = QStringLiteral("E1");
    UploadFixture::layOutExam(w, false);
    w.localServer = true;
    w.localServerAddress = m_sim.baseUrl();
    w.localServerPassword = QStringLiteral("demo");
    w.sheetUploadTimeout = 10;
    QMap<QString, QByteArray> images;
    for (int i = 0; i < 3; ++i) {
        const StudentInfo s = UploadFixture::student(QString::number(1001 + i), QStringLiteral("学生%1").arg(i),
                                                     QStringLiteral("一班"), 501 + i);
        w.studentHash.insert(s.code, s);
        w.studentMap.insert(s.code, s);
        const QByteArray image = imageBytes(i == 2 ? "PNG" : "JPG", 10 + i);
        const QString local = dir.filePath(QStringLiteral("block-%1.img").arg(i));
        QVERIFY(writeFile(local, image));
        images.insert(s.code, image);
        UploadFixture::addResultRow(w, s.code, s.id,
                                    {{QStringLiteral("客观题总分"), {QStringLiteral("5.00")}},
                                     {QStringLiteral("1-1"), {QStringLiteral("×"), local}}});
    }
    MyTableWidgetResult *table = w.tableWidgetResults;
    table->startUpload(false, 0, 0);
    QVERIFY(QTest::qWaitFor([table] { return !table->uploading && table->uploadThreads.isEmpty(); }, 30000));
    const int blockColumn = w.resultColumnOf(QStringLiteral("1-1"));
    QMap<QString, QString> serverPaths;
    for (int row = 0; row < 3; ++row) {
        const QTableWidgetItem *cell = table->item(row, blockColumn);
        QCOMPARE(cell->text(), QStringLiteral("√"));
        const QString serverPath = cell->data(ResultServerPathRole).toString();
        const QString prefix = m_sim.baseUrl() + QStringLiteral("/images/E1/");
        QVERIFY2(serverPath.startsWith(prefix), qPrintable(serverPath));
        // Kept under its content's name; a PNG keeps its kind though sent as temp.jpg.
        QVERIFY(serverPath.endsWith(row == 2 ? QLatin1String(".png") : QLatin1String(".jpg")));
        const QString code = table->item(row, 0)->text();
        QCOMPARE(fileBytes(store.imagesFolder(QStringLiteral("E1")) + QLatin1Char('/') + serverPath.mid(prefix.size())),
                 images.value(code));
        serverPaths.insert(QString::number(table->item(row, 0)->data(Qt::UserRole + 1).toInt()), serverPath);
    }

    // First results upload: nothing on the platform yet.
    auto pressStart = [](DialogUploadData &dialog) {
        dialog.pushButtonStart->click();
        return QTest::qWaitFor([&dialog] { return !dialog.busy() && dialog.pushButtonStart->isEnabled(); }, 30000);
    };
    const QString kept = store.resultsFolder(QStringLiteral("school"), QStringLiteral("c1"), QStringLiteral("E1"),
                                             QStringLiteral("S1"));
    {
        DialogUploadData dialog(&w);
        QVERIFY(pressStart(dialog));
        QCOMPARE(boxes.last().text, QStringLiteral("200:上传成功"));
    }
    QCOMPARE(filesUnder(kept), (QStringList{QStringLiteral("received/1-c1-E1.zip"), QStringLiteral("records.txt"),
                                            QStringLiteral("upload.json")}));
    QMap<QString, QJsonObject> records = keptRecords(kept);
    QCOMPARE(records.keys(), (QStringList{QStringLiteral("501"), QStringLiteral("502"), QStringLiteral("503")}));
    for (auto it = records.cbegin(); it != records.cend(); ++it) {
        const QJsonArray subject = it.value().value(QStringLiteral("subject")).toArray();
        QCOMPARE(subject.first().toObject().value(QStringLiteral("path")).toString(), serverPaths.value(it.key()));
    }
    const QJsonObject last = QJsonDocument::fromJson(fileBytes(kept + QStringLiteral("/upload.json"))).object();
    QCOMPARE(last.value(QStringLiteral("ip")).toString(), QStringLiteral("127.0.0.1"));

    // The exam list now shows E1 uploaded, and only E1.
    const Result list = postForm(*m_nam, m_sim.baseUrl() + QStringLiteral("/school/c1/client/exams?project_id=7"),
                                 m_sim.caCertificates());
    const QJsonArray exams = QJsonDocument::fromJson(list.body).array();
    QCOMPARE(exams.at(0).toObject().value(QStringLiteral("data_upload_ok")).toString(), QStringLiteral("1"));
    QCOMPARE(exams.at(1).toObject().value(QStringLiteral("data_upload_ok")).toString(), QStringLiteral("0"));

    // Second upload, with 1002's score changed locally.
    table->item(1, w.resultColumnOf(QStringLiteral("客观题总分")))->setText(QStringLiteral("9.00"));
    table->item(0, w.resultColumnOf(QStringLiteral("客观题总分")))->setText(QStringLiteral("9.00"));
    QStringList shown;
    if (allowMore) {
        PlatformTest::answerModal<DialogDataUploadDuplicateCheck>([&shown](DialogDataUploadDuplicateCheck *check) {
            const QTableWidget *duplicates = check->tableForm->tableWidget;
            for (int row = 0; row < duplicates->rowCount(); ++row)
                shown << duplicates->item(row, 0)->text();
            // 1001 keeps the platform's record; the others are replaced.
            check->tableForm->itemPressed(duplicates->item(0, FormDuplicateCheckTable::ColumnUploaded));
            check->accept();
        });
    }
    boxes.clear();
    {
        DialogUploadData dialog(&w);
        QVERIFY(pressStart(dialog));
    }
    records = keptRecords(kept);
    auto total = [&records](const char *id) {
        return records.value(QString::fromLatin1(id))
            .value(QStringLiteral("object_total_score")).toObject()
            .value(QStringLiteral("object_total_score")).toString();
    };
    if (allowMore) {
        QCOMPARE(shown, (QStringList{QStringLiteral("1001-学生0-一班"), QStringLiteral("1002-学生1-一班"),
                                     QStringLiteral("1003-学生2-一班")}));
        QCOMPARE(boxes.last().text, QStringLiteral("200:上传成功"));
        const QList<PlatformSimulator::Request> posts = m_sim.requestsTo(QStringLiteral("/school/c1/client/data"));
        QCOMPARE(posts.last().field(QStringLiteral("student_ids_need_delete")), QStringLiteral("502,503"));
        QVERIFY(QFile::exists(kept + QStringLiteral("/received/2-c1-E1.zip")));
        QCOMPARE(records.size(), 3);
        QCOMPARE(total("501"), QStringLiteral("5.00"));
        QCOMPARE(total("502"), QStringLiteral("9.00"));
        QCOMPARE(total("503"), QStringLiteral("5.00"));
    } else {
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.last().text.startsWith(QStringLiteral("IP：127.0.0.1 的客户端于 %1 上传过数据了。\n")
                                                  .arg(last.value(QStringLiteral("created_at")).toString())),
                 qPrintable(boxes.last().text));
        QCOMPARE(m_sim.requestsTo(QStringLiteral("/school/c1/client/data")).size(), 1);
        QVERIFY(!QFile::exists(kept + QStringLiteral("/received/2-c1-E1.zip")));
        QCOMPARE(total("501"), QStringLiteral("5.00"));
        QCOMPARE(total("502"), QStringLiteral("5.00"));
    }
}

QTEST_MAIN(PlatformSimulatorTest)
#include "platformsimulator_test.moc"
