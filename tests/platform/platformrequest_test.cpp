// The request layer against a local HTTPS platform: where requests go, what
// arrives of form, query and multipart values, how replies and failures are
// read, that a wait ends on its own reply only, and the reply time-out guard.

#include "myreplytimeout.h"
#include "platformfixture.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QtTest>

using Request = PlatformSimulator::Request;

class PlatformRequestTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void testHost_data();
    void testHost();
    void testUrls();

    void testFormArrivesIntact_data();
    void testFormArrivesIntact();
    void testMultipartArrivesIntact();
    void testMissingFilePart();

    void testReplies_data();
    void testReplies();
    void testReplySizeLimit_data();
    void testReplySizeLimit();
    void testFailureTexts();
    void testUntrustedCertificate();
    void testRedirects();

    void testWaitEndsOnOwnReply();
    void testReplyTimeout();
    void testReplyTimeoutLeavesFinishedReply();

    void testInstallExtraCa();

private:
    PlatformSimulator m_sim;
    QString m_host;
};

void PlatformRequestTest::initTestCase()
{
    qRegisterMetaType<QNetworkReply *>();
    qRegisterMetaType<QList<QSslError>>();
    QString error;
    QVERIFY2(PlatformTest::startTrusted(m_sim, &error), qPrintable(error));
    m_host = m_sim.host();
}

void PlatformRequestTest::init()
{
    m_sim.clearReplies();
    m_sim.clearRequests();
    qputenv("VOSTRA_PLATFORM_HOST", m_host.toUtf8());
}

// ---------------------------------------------------------------- URLs

void PlatformRequestTest::testHost_data()
{
    QTest::addColumn<QByteArray>("env");
    QTest::addColumn<QString>("host");
    const QString builtIn = QString::fromLatin1(PlatformRequest::kDefaultHost);
    QTest::newRow("unset") << QByteArray() << builtIn;
    QTest::newRow("blank") << QByteArray("  ") << builtIn;
    QTest::newRow("host:port") << QByteArray("127.0.0.1:8443") << QStringLiteral("127.0.0.1:8443");
    QTest::newRow("name") << QByteArray("localhost") << QStringLiteral("localhost");
    QTest::newRow("ipv6") << QByteArray("[::1]:443") << QStringLiteral("[::1]:443");
    QTest::newRow("with path") << QByteArray("127.0.0.1/evil") << builtIn;
    QTest::newRow("user info") << QByteArray("me@127.0.0.1") << builtIn;
    QTest::newRow("with query") << QByteArray("127.0.0.1?a=b") << builtIn;
}

void PlatformRequestTest::testHost()
{
    QFETCH(QByteArray, env);
    QFETCH(QString, host);
    if (env.isNull())
        qunsetenv("VOSTRA_PLATFORM_HOST");
    else
        qputenv("VOSTRA_PLATFORM_HOST", env);
    if (host == QLatin1String(PlatformRequest::kDefaultHost) && !env.trimmed().isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("VOSTRA_PLATFORM_HOST")));
    QCOMPARE(PlatformRequest::host(), host);
}

void PlatformRequestTest::testUrls()
{
    qputenv("VOSTRA_PLATFORM_HOST", "127.0.0.1:8443");
    PlatformForm query;
    query.add(QStringLiteral("grade_id"), QStringLiteral("7"));
    query.add(QStringLiteral("school_id"), QStringLiteral("a+b&c"));
    QCOMPARE(PlatformRequest::customerUrl(QStringLiteral("union"), QStringLiteral("u1"),
                                          QStringLiteral("/client/student"), query)
                 .toEncoded(),
             QByteArray("https://127.0.0.1:8443/union/u1/client/student?grade_id=7&school_id=a%2Bb%26c"));
    QCOMPARE(PlatformRequest::customerUrl(QStringLiteral("school"), QStringLiteral("s1"),
                                          QStringLiteral("/client/key-check"))
                 .toEncoded(),
             QByteArray("https://127.0.0.1:8443/school/s1/client/key-check"));
    // A code cannot step out of its path segment.
    QCOMPARE(PlatformRequest::customerUrl(QStringLiteral("school"), QStringLiteral("../x"),
                                          QStringLiteral("/client/key-check"))
                 .toEncoded(),
             QByteArray("https://127.0.0.1:8443/school/..%2Fx/client/key-check"));
    QCOMPARE(PlatformRequest::upgradeUrl(QStringLiteral("Ardentiq")).toEncoded(),
             QByteArray("https://127.0.0.1:8443/upgrade/online/ardentiq"));
}

// ---------------------------------------------------------------- bodies

void PlatformRequestTest::testFormArrivesIntact_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << QStringLiteral("abc123") << QStringLiteral("School");
    QTest::newRow("reserved") << QStringLiteral("a+b&c=d%e f/g?h#i") << QStringLiteral("x=y&z");
    QTest::newRow("non-ascii") << QStringLiteral("k~-._") << QStringLiteral("第一中学（高中部）");
    QTest::newRow("empty") << QString() << QString();
}

void PlatformRequestTest::testFormArrivesIntact()
{
    QFETCH(QString, key);
    QFETCH(QString, name);
    m_sim.setReply(QStringLiteral("/school/s1/client/key-check"),
                   PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 200}}));

    PlatformForm query;
    query.add(QStringLiteral("key"), key);
    PlatformForm form;
    form.add(QStringLiteral("key"), key);
    form.add(QStringLiteral("school_name"), name);
    QNetworkAccessManager manager;
    const PlatformReply reply = PlatformRequest::postAndRead(
        &manager,
        PlatformRequest::customerUrl(QStringLiteral("school"), QStringLiteral("s1"),
                                     QStringLiteral("/client/key-check"), query),
        form);
    QVERIFY2(!reply.failed, qPrintable(reply.errorText));

    QCOMPARE(m_sim.requests().size(), 1);
    const Request r = m_sim.requests().first();
    QCOMPARE(r.method, QByteArray("POST"));
    QCOMPARE(r.path, QStringLiteral("/school/s1/client/key-check"));
    const QList<QPair<QString, QString>> expectedQuery{{QStringLiteral("key"), key}};
    QCOMPARE(r.queryItems, expectedQuery);
    QCOMPARE(r.headers.value("content-type"), QByteArray("application/x-www-form-urlencoded"));
    QCOMPARE(r.headers.value("content-length"), QByteArray::number(r.body.size()));
    const QList<QPair<QString, QString>> expectedForm{{QStringLiteral("key"), key},
                                                      {QStringLiteral("school_name"), name}};
    QCOMPARE(r.formFields, expectedForm);
    // No '+' for spaces: the body is unambiguous for any form decoder.
    QVERIFY(!r.body.contains('+'));
}

void PlatformRequestTest::testMultipartArrivesIntact()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("sheet 1.png"));
    QByteArray bytes;
    for (int i = 0; i < 70000; ++i)
        bytes.append(char(i * 7 % 256));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    m_sim.setReply(QStringLiteral("/union/u1/client/upload-token"),
                   PlatformSimulator::json(QJsonObject{{QStringLiteral("cloud_server"), 0}}));

    PlatformMultipart parts;
    parts.add(QStringLiteral("key"), QStringLiteral("a+b&c=d%e"));
    parts.add(QStringLiteral("school_name"), QStringLiteral("第一中学"));
    parts.add(QStringLiteral("bucket_name"), QString());
    parts.addFile(QStringLiteral("file"), QStringLiteral("temp.jpg"), path);
    QNetworkAccessManager manager;
    const PlatformReply reply = PlatformRequest::postAndRead(
        &manager,
        PlatformRequest::customerUrl(QStringLiteral("union"), QStringLiteral("u1"), QStringLiteral("/client/upload-token")),
        parts);
    QVERIFY2(!reply.failed, qPrintable(reply.errorText));

    QCOMPARE(m_sim.requests().size(), 1);
    const Request r = m_sim.requests().first();
    QCOMPARE(r.path, QStringLiteral("/union/u1/client/upload-token"));
    QVERIFY(r.query.isEmpty());
    QVERIFY(r.headers.value("content-type").startsWith("multipart/form-data; boundary="));
    QCOMPARE(r.parts.size(), 4);
    const QStringList names{QStringLiteral("key"), QStringLiteral("school_name"), QStringLiteral("bucket_name"),
                            QStringLiteral("file")};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(r.parts.at(i).name, names.at(i));
        QCOMPARE(r.parts.at(i).contentType, QByteArray("text/plain"));
        QVERIFY(r.parts.at(i).fileName.isEmpty());
    }
    QCOMPARE(r.parts.at(0).text(), QStringLiteral("a+b&c=d%e"));
    QCOMPARE(r.parts.at(1).text(), QStringLiteral("第一中学"));
    QCOMPARE(r.parts.at(2).body, QByteArray());
    QCOMPARE(r.parts.at(3).name, QStringLiteral("file"));
    QCOMPARE(r.parts.at(3).fileName, QStringLiteral("temp.jpg"));
    QVERIFY(r.parts.at(3).contentType.isEmpty());
    QCOMPARE(r.parts.at(3).body, bytes);
}

void PlatformRequestTest::testMissingFilePart()
{
    PlatformMultipart parts;
    parts.add(QStringLiteral("password"), QStringLiteral("p"));
    parts.addFile(QStringLiteral("file"), QStringLiteral("temp.jpg"), QStringLiteral("/nonexistent/x.jpg"));
    QNetworkAccessManager manager;
    const PlatformReply reply = PlatformRequest::postAndRead(
        &manager, PlatformRequest::customerUrl(QStringLiteral("school"), QStringLiteral("s1"), QStringLiteral("/client/x")),
        parts);
    QVERIFY(reply.failed);
    QCOMPARE(reply.httpStatus, 0);
    QVERIFY(!reply.errorText.isEmpty());
    QVERIFY(m_sim.requests().isEmpty());
}

// ---------------------------------------------------------------- replies

void PlatformRequestTest::testReplies_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("drop");
    QTest::addColumn<bool>("failed");
    QTest::addColumn<int>("readStatus");
    QTest::addColumn<QString>("shape"); // "object", "array", "none" (not JSON), "" (failed)

    QTest::newRow("object") << 200 << QByteArray(R"({"code":200,"message":"S1"})") << false << false << 200
                            << QStringLiteral("object");
    QTest::newRow("array") << 200 << QByteArray(R"([{"id":"1"}])") << false << false << 200 << QStringLiteral("array");
    QTest::newRow("not json") << 200 << QByteArray("<html>busy</html>") << false << false << 200
                              << QStringLiteral("none");
    QTest::newRow("empty body") << 200 << QByteArray() << false << false << 200 << QStringLiteral("none");
    QTest::newRow("truncated json") << 200 << QByteArray(R"({"code":200,)") << false << false << 200
                                    << QStringLiteral("none");
    QTest::newRow("not found") << 404 << QByteArray(R"({"code":404})") << false << true << 404 << QString();
    QTest::newRow("server error") << 500 << QByteArray("oops") << false << true << 500 << QString();
    QTest::newRow("dropped") << 200 << QByteArray() << true << true << 0 << QString();
}

void PlatformRequestTest::testReplies()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, drop);
    QFETCH(bool, failed);
    QFETCH(int, readStatus);
    QFETCH(QString, shape);

    PlatformSimulator::Reply scripted;
    scripted.status = status;
    scripted.body = body;
    scripted.dropConnection = drop;
    m_sim.setReply(QStringLiteral("/school/s1/client/exam-info"), scripted);

    PlatformForm form;
    form.add(QStringLiteral("key"), QStringLiteral("k"));
    QNetworkAccessManager manager;
    const PlatformReply reply = PlatformRequest::postAndRead(
        &manager,
        PlatformRequest::customerUrl(QStringLiteral("school"), QStringLiteral("s1"), QStringLiteral("/client/exam-info")),
        form);
    QCOMPARE(reply.failed, failed);
    QCOMPARE(reply.httpStatus, readStatus);
    if (failed) {
        QVERIFY(!reply.errorText.isEmpty());
        QVERIFY(!reply.json);
        return;
    }
    QCOMPARE(reply.body, body);
    QCOMPARE(reply.isObject(), shape == QLatin1String("object"));
    QCOMPARE(reply.isArray(), shape == QLatin1String("array"));
    QCOMPARE(reply.json, shape != QLatin1String("none"));
}

// A JSON array [1, 2] padded with spaces to exactly `size` bytes.
static QByteArray paddedArray(qint64 size)
{
    return QByteArray("[1,") + QByteArray(int(size - 5), ' ') + QByteArray("2]");
}

void PlatformRequestTest::testReplySizeLimit_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("chunked");
    QTest::addColumn<QString>("via"); // "form", "multipart", or "own post" (only the wait limits it)
    const qint64 limit = PlatformRequest::kMaxReplyBytes;
    const qint64 past = limit + 4 * 1024 * 1024;
    QTest::newRow("announced past the limit") << past << false << QStringLiteral("form");
    QTest::newRow("chunked past the limit") << past << true << QStringLiteral("multipart");
    QTest::newRow("own post, chunked past the limit") << past << true << QStringLiteral("own post");
    QTest::newRow("announced at the limit") << limit << false << QStringLiteral("form");
    QTest::newRow("chunked at the limit") << limit << true << QStringLiteral("multipart");
}

void PlatformRequestTest::testReplySizeLimit()
{
    QFETCH(qint64, size);
    QFETCH(bool, chunked);
    QFETCH(QString, via);
    PlatformSimulator::Reply scripted;
    scripted.body = paddedArray(size);
    scripted.chunked = chunked;
    // A chunked reply past the limit never ends: only a client that stops
    // reading by itself gets an answer.
    scripted.holdOpen = chunked && size > PlatformRequest::kMaxReplyBytes;
    const QString path = QStringLiteral("/school/s1/client/student");
    m_sim.setReply(path, scripted);
    scripted.body.clear();

    const QUrl url = PlatformRequest::customerUrl(QStringLiteral("school"), QStringLiteral("s1"),
                                                  QStringLiteral("/client/student"));
    QNetworkAccessManager manager;
    QNetworkReply *posted = nullptr;
    if (via == QLatin1String("form"))
        posted = PlatformRequest::postForm(&manager, url, PlatformForm().add(QStringLiteral("key"), QStringLiteral("k")));
    else if (via == QLatin1String("multipart"))
        posted = PlatformRequest::postMultipart(&manager, url, PlatformMultipart().add(QStringLiteral("key"), QStringLiteral("k")));
    else
        posted = manager.post(QNetworkRequest(url), QByteArray("key=k"));
    const PlatformReply reply = PlatformRequest::waitAndRead(posted);

    QVERIFY2(reply.httpStatus == 200, qPrintable(reply.errorText));
    QCOMPARE(m_sim.requestsTo(path).size(), 1);
    if (size > PlatformRequest::kMaxReplyBytes) {
        QVERIFY(reply.failed);
        QCOMPARE(reply.errorText, QStringLiteral("平台回复过大（超过 32 MiB），已中止"));
        QVERIFY(reply.body.isEmpty());
        QVERIFY(!reply.json);
    } else {
        QVERIFY2(!reply.failed, qPrintable(reply.errorText));
        QCOMPARE(reply.body.size(), int(size));
        QVERIFY(reply.isArray());
        QCOMPARE(reply.array(), (QJsonArray{1, 2}));
    }
}

void PlatformRequestTest::testFailureTexts()
{
    PlatformSimulator::Reply dropped;
    dropped.dropConnection = true;
    m_sim.setReply(QStringLiteral("/school/s1/client/projects"), dropped);
    m_sim.setReply(QStringLiteral("/school/s1/client/exams"), PlatformSimulator::json(QJsonObject{}, 503));

    QNetworkAccessManager manager;
    PlatformForm form;
    form.add(QStringLiteral("key"), QStringLiteral("k"));
    const PlatformReply none = PlatformRequest::postAndRead(
        &manager, PlatformRequest::customerUrl(QStringLiteral("school"), QStringLiteral("s1"), QStringLiteral("/client/projects")),
        form);
    QVERIFY(none.failed);
    QVERIFY(!none.errorText.isEmpty());
    QCOMPARE(none.codeFailureText(), QStringLiteral("code:0\n") + none.errorText);
    QCOMPARE(none.bareFailureText(), none.errorText);
    QCOMPARE(none.uploadRecordFailureText(),
             QStringLiteral("code:0 \ninfo:") + none.errorText + QStringLiteral("\n检查之前是否有过数据上传失败"));
    QCOMPARE(none.localServerFailureText(), QStringLiteral("code:0:") + none.errorText);

    const PlatformReply status = PlatformRequest::postAndRead(
        &manager, PlatformRequest::customerUrl(QStringLiteral("school"), QStringLiteral("s1"), QStringLiteral("/client/exams")),
        form);
    QVERIFY(status.failed);
    QCOMPARE(status.codeFailureText(), QStringLiteral("code:503\n") + status.errorText);

    // Reading keys never fails: missing or mistyped keys give the defaults.
    const QJsonObject object{{QStringLiteral("code"), QStringLiteral("200")}, {QStringLiteral("message"), 5}};
    QCOMPARE(PlatformReply::intValue(object, QStringLiteral("code")), 0);
    QCOMPARE(PlatformReply::intValue(object, QStringLiteral("missing")), 0);
    QCOMPARE(PlatformReply::textValue(object, QStringLiteral("message")), QString());
    QVERIFY(PlatformReply::objectValue(object, QStringLiteral("message")).isEmpty());
    QVERIFY(PlatformReply::arrayValue(object, QStringLiteral("message")).isEmpty());
    // Shown to the operator, any value reads as what was sent.
    QCOMPARE(PlatformReply::anyText(object.value(QStringLiteral("code"))), QStringLiteral("200"));
    QCOMPARE(PlatformReply::anyText(object.value(QStringLiteral("message"))), QStringLiteral("5"));
    QCOMPARE(PlatformReply::anyText(QJsonValue(2.5)), QStringLiteral("2.5"));
    QCOMPARE(PlatformReply::anyText(QJsonValue(1e300)), QStringLiteral("1e+300"));
    QCOMPARE(PlatformReply::anyText(QJsonValue(true)), QStringLiteral("true"));
    QCOMPARE(PlatformReply::anyText(QJsonArray{1, QStringLiteral("a")}), QStringLiteral("[1,\"a\"]"));
    QCOMPARE(PlatformReply::anyText(QJsonValue()), QString());
    QCOMPARE(PlatformReply::fromBody(200, QByteArray(" \n")).unreadableText(), QStringLiteral("平台的回复为空（HTTP 200）"));
    QCOMPARE(PlatformReply::fromBody(200, "<html>").unreadableText(), QStringLiteral("平台的回复无法读取（HTTP 200）：<html>"));
    // A long page is cut, not shown whole.
    QCOMPARE(PlatformReply::fromBody(502, QByteArray(1000, 'x')).unreadableText(),
             QStringLiteral("平台的回复无法读取（HTTP 502）：") + QString(200, QLatin1Char('x')) + QStringLiteral("……"));
}

void PlatformRequestTest::testUntrustedCertificate()
{
    // A second platform with a CA of its own that nobody installed.
    PlatformSimulator stranger;
    QString error;
    QVERIFY2(stranger.start(&error), qPrintable(error));
    stranger.setReply(QStringLiteral("/school/s1/client/key-check"),
                      PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 200}}));
    qputenv("VOSTRA_PLATFORM_HOST", stranger.host().toUtf8());

    QNetworkAccessManager manager;
    QSignalSpy sslErrors(&manager, &QNetworkAccessManager::sslErrors);
    PlatformForm form;
    form.add(QStringLiteral("key"), QStringLiteral("k"));
    const PlatformReply reply = PlatformRequest::postAndRead(
        &manager, PlatformRequest::customerUrl(QStringLiteral("school"), QStringLiteral("s1"), QStringLiteral("/client/key-check")),
        form);
    QVERIFY(reply.failed);
    QCOMPARE(reply.httpStatus, 0);
    QVERIFY(reply.codeFailureText().startsWith(QStringLiteral("code:0\n")));
    QVERIFY(sslErrors.count() >= 1);
    QVERIFY(stranger.requests().isEmpty());
}

void PlatformRequestTest::testRedirects()
{
    const QString from = QStringLiteral("/school/s1/client/key-check");
    PlatformSimulator::Reply moved;
    moved.status = 302;
    moved.body = QByteArray();
    moved.headers << qMakePair(QByteArray("Location"), (m_sim.baseUrl() + QStringLiteral("/school/s1/client/moved")).toUtf8());
    m_sim.setReply(from, moved);
    m_sim.setReply(QStringLiteral("/school/s1/client/moved"),
                   PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 200}}));
    PlatformSimulator::Reply insecure = moved;
    insecure.headers = {qMakePair(QByteArray("Location"),
                                  QStringLiteral("http://127.0.0.1:%1/school/s1/client/moved").arg(m_sim.port()).toUtf8())};
    m_sim.setReply(QStringLiteral("/school/s1/client/insecure"), insecure);

    QNetworkAccessManager manager;
    PlatformForm form;
    form.add(QStringLiteral("key"), QStringLiteral("k"));
    const QUrl url = PlatformRequest::customerUrl(QStringLiteral("school"), QStringLiteral("s1"),
                                                  QStringLiteral("/client/key-check"));

    // Not followed unless asked: the redirect is a failure that says so,
    // never a reply whose body is read as the answer.
    const PlatformReply plain = PlatformRequest::postAndRead(&manager, url, form);
    QCOMPARE(plain.httpStatus, 302);
    QVERIFY(plain.failed);
    QVERIFY(!plain.isObject());
    QCOMPARE(plain.errorText,
             PlatformRequest::redirectRefusedText(m_sim.baseUrl() + QStringLiteral("/school/s1/client/moved")));
    QCOMPARE(m_sim.requests().size(), 1);

    m_sim.clearRequests();
    const PlatformReply followed = PlatformRequest::postAndRead(&manager, url, form, true);
    QVERIFY2(!followed.failed, qPrintable(followed.errorText));
    QVERIFY(followed.isObject());
    QCOMPARE(m_sim.requests().size(), 2);
    QCOMPARE(m_sim.requests().last().path, QStringLiteral("/school/s1/client/moved"));

    // Never from HTTPS down to HTTP.
    m_sim.clearRequests();
    const PlatformReply down = PlatformRequest::postAndRead(
        &manager,
        PlatformRequest::customerUrl(QStringLiteral("school"), QStringLiteral("s1"), QStringLiteral("/client/insecure")),
        form, true);
    QVERIFY(down.failed);
    QCOMPARE(down.errorText, PlatformRequest::redirectRefusedText(
                                 QStringLiteral("http://127.0.0.1:%1/school/s1/client/moved").arg(m_sim.port())));
    QCOMPARE(down.codeFailureText(),
             QStringLiteral("code:302\n平台要求转到另一地址（http://127.0.0.1:%1/school/s1/client/moved），已拒绝跟随，请求未完成")
                 .arg(m_sim.port()));
    QCOMPARE(m_sim.requests().size(), 1);
}

// ---------------------------------------------------------------- waiting

void PlatformRequestTest::testWaitEndsOnOwnReply()
{
    PlatformSimulator::Reply slow = PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 200}});
    slow.delayMs = 1200;
    m_sim.setReply(QStringLiteral("/school/s1/client/slow"), slow);
    m_sim.setReply(QStringLiteral("/school/s1/client/fast"),
                   PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 201}}));

    QNetworkAccessManager manager;
    PlatformForm form;
    form.add(QStringLiteral("key"), QStringLiteral("k"));
    auto url = [](const char *path) {
        return PlatformRequest::customerUrl(QStringLiteral("school"), QStringLiteral("s1"),
                                            QStringLiteral("/client/") + QLatin1String(path));
    };

    // Waiting on the slow reply: the fast one of the same manager finishes
    // first and must not end the wait.
    QNetworkReply *slowReply = PlatformRequest::postForm(&manager, url("slow"), form);
    QNetworkReply *fastReply = PlatformRequest::postForm(&manager, url("fast"), form);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(PlatformRequest::waitForReply(slowReply));
    QVERIFY(slowReply->isFinished());
    QVERIFY(clock.elapsed() >= 1000);
    QVERIFY(fastReply->isFinished());
    QCOMPARE(PlatformReply::read(slowReply).object().value(QStringLiteral("code")).toInt(), 200);
    slowReply->deleteLater();
    fastReply->deleteLater();

    // And the other way round: the fast wait does not sit out the slow reply.
    slowReply = PlatformRequest::postForm(&manager, url("slow"), form);
    fastReply = PlatformRequest::postForm(&manager, url("fast"), form);
    QVERIFY(PlatformRequest::waitForReply(fastReply));
    QVERIFY(fastReply->isFinished());
    QVERIFY(slowReply->isRunning());
    QVERIFY(PlatformRequest::waitForReply(slowReply));
    slowReply->deleteLater();
    fastReply->deleteLater();

    // A finished reply returns at once; a null one is no wait at all.
    QVERIFY(PlatformRequest::waitForReply(fastReply));
    QVERIFY(!PlatformRequest::waitForReply(nullptr));
}

void PlatformRequestTest::testReplyTimeout()
{
    PlatformSimulator::Reply late = PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 200}});
    late.delayMs = 3000;
    m_sim.setReply(QStringLiteral("/upgrade/online/ardentiq"), late);

    QNetworkAccessManager manager;
    PlatformForm form;
    form.add(QStringLiteral("version_code"), QStringLiteral("2025052800"));
    QNetworkReply *reply = PlatformRequest::postForm(&manager, PlatformRequest::upgradeUrl(QStringLiteral("Ardentiq")), form);
    QPointer<QNetworkReply> alive(reply);
    auto *guard = new MyReplyTimeout(reply, 200);
    QCOMPARE(guard->parent(), reply);
    bool timedOut = false;
    connect(guard, &MyReplyTimeout::timeout, this, [&timedOut] { timedOut = true; });

    QElapsedTimer clock;
    clock.start();
    QVERIFY(PlatformRequest::waitForReply(reply, QEventLoop::ExcludeUserInputEvents));
    QVERIFY(clock.elapsed() < 2500);
    QVERIFY(timedOut);
    // The caller can still read the aborted reply before its deletion runs.
    QVERIFY(!alive.isNull());
    const PlatformReply read = PlatformReply::read(reply);
    QVERIFY(read.failed);
    QCOMPARE(read.httpStatus, 0);
    QCOMPARE(reply->error(), QNetworkReply::OperationCanceledError);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(alive.isNull());
}

void PlatformRequestTest::testReplyTimeoutLeavesFinishedReply()
{
    m_sim.setReply(QStringLiteral("/upgrade/online/ardentiq"),
                   PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 201}}));
    QNetworkAccessManager manager;
    PlatformForm form;
    form.add(QStringLiteral("version_code"), QStringLiteral("2025052800"));
    QNetworkReply *reply = PlatformRequest::postForm(&manager, PlatformRequest::upgradeUrl(QStringLiteral("Ardentiq")), form);
    QPointer<QNetworkReply> alive(reply);
    auto *guard = new MyReplyTimeout(reply, 300);
    QSignalSpy fired(guard, &MyReplyTimeout::timeout);
    QVERIFY(PlatformRequest::waitForReply(reply));
    // The timer fires after the reply finished: nothing happens.
    QTest::qWait(500);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(fired.count(), 0);
    QVERIFY(!alive.isNull());
    QCOMPARE(PlatformReply::read(reply).object().value(QStringLiteral("code")).toInt(), 201);

    // A guard made for a finished reply arms nothing; both die with the reply.
    QPointer<MyReplyTimeout> late = new MyReplyTimeout(reply, 0);
    QSignalSpy lateFired(late.data(), &MyReplyTimeout::timeout);
    QTest::qWait(50);
    QCOMPARE(lateFired.count(), 0);
    delete reply;
    QVERIFY(late.isNull());
}

// ---------------------------------------------------------------- CA

void PlatformRequestTest::testInstallExtraCa()
{
    const int before = QSslConfiguration::defaultConfiguration().caCertificates().size();
    QVERIFY(before > 0);
    QVERIFY(QSslConfiguration::defaultConfiguration().caCertificates().contains(m_sim.caCertificates().first()));

    // Again with the same file: nothing is added twice.
    QString error;
    QVERIFY(PlatformRequest::installExtraCa(&error));
    QCOMPARE(QSslConfiguration::defaultConfiguration().caCertificates().size(), before);

    const QByteArray saved = qgetenv("VOSTRA_EXTRA_CA");
    qputenv("VOSTRA_EXTRA_CA", "/nonexistent/ca.pem");
    QVERIFY(!PlatformRequest::installExtraCa(&error));
    QVERIFY(error.contains(QStringLiteral("/nonexistent/ca.pem")));

    QTemporaryDir dir;
    const QString junk = dir.filePath(QStringLiteral("junk.pem"));
    {
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a certificate\n");
    }
    qputenv("VOSTRA_EXTRA_CA", QFile::encodeName(junk));
    QVERIFY(!PlatformRequest::installExtraCa(&error));

    qunsetenv("VOSTRA_EXTRA_CA");
    QVERIFY(PlatformRequest::installExtraCa(&error));
    QCOMPARE(QSslConfiguration::defaultConfiguration().caCertificates().size(), before);
    qputenv("VOSTRA_EXTRA_CA", saved);
}

QTEST_MAIN(PlatformRequestTest)
#include "platformrequest_test.moc"
