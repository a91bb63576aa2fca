// The student roster and the image-storage credentials of the main window,
// against a local HTTPS platform: requests, how replies fill the roster and
// `MyUpload`, and the refusal of incomplete credentials.

#include "mainwindow.h"
#include "messagebox.h"
#include "omrresources.h"
#include "platformfixture.h"
#include "settingsfile.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(PlatformSimulator::Reply)

using IniValues = QMap<QString, QString>;

namespace {

QJsonObject student(const QString &name, const QString &code, const QString &className, const QJsonValue &id)
{
    return QJsonObject{{QStringLiteral("realname"), name},
                       {QStringLiteral("code"), code},
                       {QStringLiteral("class"), className},
                       {QStringLiteral("id"), id}};
}

PlatformSimulator::Reply rawReply(int status, const QByteArray &body, bool drop = false)
{
    PlatformSimulator::Reply reply;
    reply.status = status;
    reply.body = body;
    reply.dropConnection = drop;
    return reply;
}

// A `MyUpload` as text, for whole-object comparisons.
QStringList fieldsOf(const MyUpload &u)
{
    return {QString::number(u.cloudServer), u.qiniuBucketName, u.uploadToken, u.qiniuDomain, u.ossBucketName,
            u.accessKeyId,  u.accessKeySecret, u.endpoint, u.ossDomain};
}

} // namespace

class RosterTokenTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void testRosterRequest_data();
    void testRosterRequest();
    void testRosterContents();
    void testRosterFailures_data();
    void testRosterFailures();

    void testTokenRequest_data();
    void testTokenRequest();
    void testToken_data();
    void testToken();
    void testTokenKeepsOtherKind();
    void testTokenNetworkFailure();

private:
    // A window whose start-up check passed, with this account.
    void openWindow(const QString &type, const QString &code, const QString &key,
                    const QMap<QString, QString> &extra = {});
    QString log() const { return m_window->textEditLog->toPlainText(); }

    PlatformSimulator m_sim;
    QString m_host;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_ini;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    std::unique_ptr<MainWindow> m_window;
};

void RosterTokenTest::initTestCase()
{
    initOmrResources();
    QString error;
    QVERIFY2(PlatformTest::startTrusted(m_sim, &error), qPrintable(error));
    m_host = m_sim.host();
}

void RosterTokenTest::init()
{
    m_sim.clearReplies();
    m_sim.clearRequests();
    qputenv("VOSTRA_PLATFORM_HOST", m_host.toUtf8());
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_ini = m_dir->filePath(QStringLiteral("Ardentiq.ini"));
    setSettingsFilePathForTesting(m_ini);
    m_boxes = std::make_unique<MessageBoxRecorder>();
}

void RosterTokenTest::cleanup()
{
    m_window.reset();
    m_boxes.reset();
    setSettingsFilePathForTesting(QString());
    m_dir.reset();
}

void RosterTokenTest::openWindow(const QString &type, const QString &code, const QString &key,
                                 const QMap<QString, QString> &extra)
{
    QMap<QString, QString> values{{QStringLiteral("Account/CustomerType"), type},
                                  {QStringLiteral("Account/CustomerCode"), code},
                                  {QStringLiteral("Account/DataKey"), key},
                                  {QStringLiteral("Account/SchoolName"), QStringLiteral("某校")}};
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        values.insert(it.key(), it.value());
    PlatformTest::writeIni(m_ini, values);
    m_sim.setReply(QStringLiteral("/%1/%2/client/key-check").arg(type, code),
                   PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 200},
                                                       {QStringLiteral("message"), QStringLiteral("S-42")}}));
    m_window = std::make_unique<MainWindow>();
    QCOMPARE(m_window->schoolID, QStringLiteral("S-42"));
    QCOMPARE(m_boxes->count(), 0);
    m_sim.clearRequests();
}

// ---------------------------------------------------------------- roster

void RosterTokenTest::testRosterRequest_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("gradeId");
    QTest::addColumn<bool>("sendsSchool");
    QTest::newRow("school") << QStringLiteral("school") << QStringLiteral("c1") << QStringLiteral("12") << false;
    QTest::newRow("union") << QStringLiteral("union") << QStringLiteral("u1") << QStringLiteral("12") << true;
    // Anything but "school" sends the school id.
    QTest::newRow("other type") << QStringLiteral("district") << QStringLiteral("d1") << QStringLiteral("12") << true;
    QTest::newRow("reserved grade") << QStringLiteral("union") << QStringLiteral("u1") << QStringLiteral("1&x=2+3")
                                    << true;
}

void RosterTokenTest::testRosterRequest()
{
    QFETCH(QString, type);
    QFETCH(QString, code);
    QFETCH(QString, gradeId);
    QFETCH(bool, sendsSchool);
    openWindow(type, code, QStringLiteral("k+&="));
    const QString path = QStringLiteral("/%1/%2/client/student").arg(type, code);
    m_sim.setReply(path, PlatformSimulator::json(QJsonArray{}));

    m_window->getStudentInfo(gradeId);
    QCOMPARE(m_sim.requests().size(), 1);
    const PlatformSimulator::Request r = m_sim.requests().first();
    QCOMPARE(r.method, QByteArray("POST"));
    QCOMPARE(r.path, path);
    QList<QPair<QString, QString>> query{{QStringLiteral("grade_id"), gradeId}};
    if (sendsSchool)
        query.append({QStringLiteral("school_id"), QStringLiteral("S-42")});
    QCOMPARE(r.queryItems, query);
    QCOMPARE(r.headers.value("content-type"), QByteArray("application/x-www-form-urlencoded"));
    const QList<QPair<QString, QString>> fields{{QStringLiteral("key"), QStringLiteral("k+&=")}};
    QCOMPARE(r.formFields, fields);
}

void RosterTokenTest::testRosterContents()
{
    openWindow(QStringLiteral("school"), QStringLiteral("c1"), QStringLiteral("k"));
    const QJsonArray roster{
        student(QStringLiteral("张三"), QStringLiteral("1001"), QStringLiteral("一班"), QStringLiteral("501")),
        student(QStringLiteral("李四"), QStringLiteral("1002"), QStringLiteral("二班"), QStringLiteral("x7")),
        // Same code again: the later entry wins in both containers.
        student(QStringLiteral("王五"), QStringLiteral("1001"), QStringLiteral("三班"), QStringLiteral("503")),
        // An id sent as a number is not a decimal text.
        student(QStringLiteral("赵六"), QStringLiteral("1004"), QStringLiteral("一班"), 504),
        // Entries no sheet can ever match.
        student(QStringLiteral("无号"), QString(), QStringLiteral("一班"), QStringLiteral("505")),
        QStringLiteral("not a student"),
        QJsonArray{},
    };
    m_sim.setReply(QStringLiteral("/school/c1/client/student"), PlatformSimulator::json(roster));
    // Left over from an earlier exam: must be gone.
    m_window->studentHash.insert(QStringLiteral("9999"), StudentInfo());
    m_window->studentMap.insert(QStringLiteral("9999"), StudentInfo());

    m_window->getStudentInfo(QStringLiteral("3"));
    QCOMPARE(m_boxes->count(), 0);
    QCOMPARE(m_window->studentHash.size(), 3);
    QCOMPARE(m_window->studentMap.keys(), (QList<QString>{QStringLiteral("1001"), QStringLiteral("1002"),
                                                         QStringLiteral("1004")}));
    const StudentInfo a = m_window->studentHash.value(QStringLiteral("1001"));
    QCOMPARE(a.realname, QStringLiteral("王五"));
    QCOMPARE(a.className, QStringLiteral("三班"));
    QCOMPARE(a.code, QStringLiteral("1001"));
    QCOMPARE(a.id, 503);
    QCOMPARE(m_window->studentHash.value(QStringLiteral("1002")).id, 0);
    QCOMPARE(m_window->studentHash.value(QStringLiteral("1004")).id, 0);
    for (const QString &code : m_window->studentMap.keys()) {
        const StudentInfo m = m_window->studentMap.value(code);
        const StudentInfo h = m_window->studentHash.value(code);
        QCOMPARE(m.realname, h.realname);
        QCOMPARE(m.className, h.className);
        QCOMPARE(m.id, h.id);
    }
    const QString text = log();
    QVERIFY(text.contains(QStringLiteral("开始获取学生信息...\n")));
    QVERIFY(text.contains(QStringLiteral("获取学生信息成功。数量：3\n")));
    QVERIFY(text.indexOf(QStringLiteral("开始获取学生信息")) < text.indexOf(QStringLiteral("获取学生信息成功")));
}

void RosterTokenTest::testRosterFailures_data()
{
    QTest::addColumn<PlatformSimulator::Reply>("reply");
    QTest::addColumn<bool>("box");
    QTest::newRow("not json") << rawReply(200, "<html/>") << false;
    QTest::newRow("object") << PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 500}}) << false;
    QTest::newRow("http error") << rawReply(500, "[]") << true;
    QTest::newRow("dropped") << rawReply(200, QByteArray(), true) << true;
}

void RosterTokenTest::testRosterFailures()
{
    QFETCH(PlatformSimulator::Reply, reply);
    QFETCH(bool, box);
    openWindow(QStringLiteral("union"), QStringLiteral("u1"), QStringLiteral("k"));
    m_sim.setReply(QStringLiteral("/union/u1/client/student"), reply);
    m_window->studentHash.insert(QStringLiteral("9999"), StudentInfo());
    m_window->studentMap.insert(QStringLiteral("9999"), StudentInfo());

    m_window->getStudentInfo(QStringLiteral("3"));
    QVERIFY(m_window->studentHash.isEmpty());
    QVERIFY(m_window->studentMap.isEmpty());
    QVERIFY(log().contains(QStringLiteral("开始获取学生信息...")));
    if (!box) {
        QCOMPARE(m_boxes->count(), 0);
        QVERIFY(log().contains(QStringLiteral("获取学生信息成功。数量：0")));
        return;
    }
    // The error text alone, and no success line.
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().icon, QMessageBox::Warning);
    QCOMPARE(m_boxes->last().title, QStringLiteral("提示"));
    QVERIFY(!m_boxes->last().text.isEmpty());
    QVERIFY(!m_boxes->last().text.startsWith(QStringLiteral("code:")));
    QVERIFY(!log().contains(QStringLiteral("获取学生信息成功")));
}

// ---------------------------------------------------------------- credentials

void RosterTokenTest::testTokenRequest_data()
{
    QTest::addColumn<IniValues>("ini");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("bucket");
    QTest::newRow("defaults") << IniValues() << QStringLiteral("-1") << QString();
    QTest::newRow("stored") << IniValues{{QStringLiteral("CloudStorage/CloudStorageServer"),
                                                       QStringLiteral("1")},
                                                      {QStringLiteral("CloudStorage/BucketName"),
                                                       QStringLiteral("桶 a+b&c")}}
                            << QStringLiteral("1") << QStringLiteral("桶 a+b&c");
}

void RosterTokenTest::testTokenRequest()
{
    QFETCH(IniValues, ini);
    QFETCH(QString, server);
    QFETCH(QString, bucket);
    openWindow(QStringLiteral("school"), QStringLiteral("c1"), QStringLiteral("ini-key"), ini);
    const QString path = QStringLiteral("/union/u9/client/upload-token");
    m_sim.setReply(path, PlatformSimulator::json(QJsonObject{{QStringLiteral("cloud_server"), 7}}));

    // The account comes from the arguments, not from the window.
    MyUpload upload;
    QVERIFY(!m_window->getUploadToken(QStringLiteral("union"), QStringLiteral("u9"), QStringLiteral("a+b&c=d"), &upload));
    QCOMPARE(m_sim.requests().size(), 1);
    const PlatformSimulator::Request r = m_sim.requests().first();
    QCOMPARE(r.method, QByteArray("POST"));
    QCOMPARE(r.path, path);
    QVERIFY(r.query.isEmpty());
    QVERIFY(r.headers.value("content-type").startsWith("multipart/form-data"));
    QCOMPARE(r.parts.size(), 3);
    const QStringList names{QStringLiteral("key"), QStringLiteral("cloud_storage_server"), QStringLiteral("bucket_name")};
    const QStringList values{QStringLiteral("a+b&c=d"), server, bucket};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(r.parts.at(i).name, names.at(i));
        QCOMPARE(r.parts.at(i).contentType, QByteArray("text/plain"));
        QCOMPARE(r.parts.at(i).text(), values.at(i));
    }
}

void RosterTokenTest::testToken_data()
{
    QTest::addColumn<PlatformSimulator::Reply>("reply");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("fields"); // expected MyUpload afterwards (fieldsOf)
    QTest::addColumn<QString>("logged");     // a log line on refusal

    const QStringList untouched{QStringLiteral("5"), QStringLiteral("qb0"), QStringLiteral("t0"), QStringLiteral("qd0"),
                                QStringLiteral("ob0"), QStringLiteral("id0"), QStringLiteral("sec0"),
                                QStringLiteral("ep0"), QStringLiteral("od0")};
    const QJsonObject qiniu{{QStringLiteral("cloud_server"), 0},
                            {QStringLiteral("bucket_name"), QStringLiteral("sheets-1")},
                            {QStringLiteral("upload_token"), QStringLiteral("tok:en=")},
                            {QStringLiteral("domain_binded"), QStringLiteral("https://img.example")}};
    const QJsonObject oss{{QStringLiteral("cloud_server"), 1},
                          {QStringLiteral("bucket_name"), QStringLiteral("oss_b")},
                          {QStringLiteral("access_key_id"), QStringLiteral("AK")},
                          {QStringLiteral("access_key_secret"), QStringLiteral("SK/+=")},
                          {QStringLiteral("endpoint"), QStringLiteral("oss-cn.example")},
                          {QStringLiteral("domain_binded"), QStringLiteral("https://oss.example")}};

    QTest::newRow("qiniu") << PlatformSimulator::json(qiniu) << true
                           << QStringList{QStringLiteral("0"), QStringLiteral("sheets-1"), QStringLiteral("tok:en="),
                                          QStringLiteral("https://img.example"), QStringLiteral("ob0"),
                                          QStringLiteral("id0"), QStringLiteral("sec0"), QStringLiteral("ep0"),
                                          QStringLiteral("od0")}
                           << QString();
    QTest::newRow("oss") << PlatformSimulator::json(oss) << true
                         << QStringList{QStringLiteral("1"), QStringLiteral("qb0"), QStringLiteral("t0"),
                                        QStringLiteral("qd0"), QStringLiteral("oss_b"), QStringLiteral("AK"),
                                        QStringLiteral("SK/+="), QStringLiteral("oss-cn.example"),
                                        QStringLiteral("https://oss.example")}
                         << QString();
    QJsonObject noKind = qiniu;
    noKind.remove(QStringLiteral("cloud_server"));
    noKind.remove(QStringLiteral("bucket_name"));
    QTest::newRow("no kind reads as qiniu") << PlatformSimulator::json(noKind) << true
                                            << QStringList{QStringLiteral("0"), QString(), QStringLiteral("tok:en="),
                                                           QStringLiteral("https://img.example"),
                                                           QStringLiteral("ob0"), QStringLiteral("id0"),
                                                           QStringLiteral("sec0"), QStringLiteral("ep0"),
                                                           QStringLiteral("od0")}
                                            << QString();

    QJsonObject unknown = qiniu;
    unknown.insert(QStringLiteral("cloud_server"), 2);
    QTest::newRow("unknown kind") << PlatformSimulator::json(unknown) << false << untouched
                                  << QStringLiteral("上传令牌的存储类型未知：2");
    QJsonObject noToken = qiniu;
    noToken.remove(QStringLiteral("upload_token"));
    QTest::newRow("qiniu without token") << PlatformSimulator::json(noToken) << false << untouched
                                         << QStringLiteral("上传令牌不完整或无效：upload_token");
    QJsonObject noDomain = qiniu;
    noDomain.insert(QStringLiteral("domain_binded"), QStringLiteral("  "));
    QTest::newRow("qiniu blank domain") << PlatformSimulator::json(noDomain) << false << untouched
                                        << QStringLiteral("上传令牌不完整或无效：domain_binded");
    QJsonObject noSecret = oss;
    noSecret.remove(QStringLiteral("access_key_secret"));
    noSecret.remove(QStringLiteral("endpoint"));
    QTest::newRow("oss incomplete") << PlatformSimulator::json(noSecret) << false << untouched
                                    << QStringLiteral("上传令牌不完整或无效：access_key_secret, endpoint");
    QJsonObject badBucket = oss;
    badBucket.insert(QStringLiteral("bucket_name"), QStringLiteral("../b"));
    QTest::newRow("oss bucket not a name") << PlatformSimulator::json(badBucket) << false << untouched
                                           << QStringLiteral("上传令牌不完整或无效：bucket_name");
    QTest::newRow("kind only") << PlatformSimulator::json(QJsonObject{{QStringLiteral("cloud_server"), 1}}) << false
                               << untouched << QStringLiteral("上传令牌不完整或无效");
    QTest::newRow("not json") << rawReply(200, "oops") << false << untouched << QStringLiteral("上传令牌的回复无法识别");
    QTest::newRow("array") << PlatformSimulator::json(QJsonArray{qiniu}) << false << untouched
                           << QStringLiteral("上传令牌的回复无法识别");
}

void RosterTokenTest::testToken()
{
    QFETCH(PlatformSimulator::Reply, reply);
    QFETCH(bool, ok);
    QFETCH(QStringList, fields);
    QFETCH(QString, logged);
    openWindow(QStringLiteral("school"), QStringLiteral("c1"), QStringLiteral("k"));
    m_sim.setReply(QStringLiteral("/school/c1/client/upload-token"), reply);

    MyUpload &upload = m_window->myUpload;
    upload.cloudServer = 5;
    upload.qiniuBucketName = QStringLiteral("qb0");
    upload.uploadToken = QStringLiteral("t0");
    upload.qiniuDomain = QStringLiteral("qd0");
    upload.ossBucketName = QStringLiteral("ob0");
    upload.accessKeyId = QStringLiteral("id0");
    upload.accessKeySecret = QStringLiteral("sec0");
    upload.endpoint = QStringLiteral("ep0");
    upload.ossDomain = QStringLiteral("od0");

    QCOMPARE(m_window->getUploadToken(m_window->customerType, m_window->customerCode, m_window->dataKey, &upload), ok);
    QCOMPARE(fieldsOf(upload), fields);
    QCOMPARE(m_boxes->count(), 0);
    if (!logged.isEmpty())
        QVERIFY2(log().contains(logged), qPrintable(log()));
}

void RosterTokenTest::testTokenKeepsOtherKind()
{
    openWindow(QStringLiteral("school"), QStringLiteral("c1"), QStringLiteral("k"));
    MyUpload upload;
    QCOMPARE(fieldsOf(upload), (QStringList{QStringLiteral("0"), QString(), QString(), QString(), QString(), QString(),
                                            QString(), QString(), QString()}));
    m_sim.setReply(QStringLiteral("/school/c1/client/upload-token"),
                   PlatformSimulator::json(QJsonObject{{QStringLiteral("cloud_server"), 1},
                                                       {QStringLiteral("bucket_name"), QStringLiteral("b1")},
                                                       {QStringLiteral("access_key_id"), QStringLiteral("a")},
                                                       {QStringLiteral("access_key_secret"), QStringLiteral("s")},
                                                       {QStringLiteral("endpoint"), QStringLiteral("e")},
                                                       {QStringLiteral("domain_binded"), QStringLiteral("d")}}));
    QVERIFY(m_window->getUploadToken(QStringLiteral("school"), QStringLiteral("c1"), QStringLiteral("k"), &upload));
    m_sim.setReply(QStringLiteral("/school/c1/client/upload-token"),
                   PlatformSimulator::json(QJsonObject{{QStringLiteral("cloud_server"), 0},
                                                       {QStringLiteral("upload_token"), QStringLiteral("t")},
                                                       {QStringLiteral("domain_binded"), QStringLiteral("q")}}));
    QVERIFY(m_window->getUploadToken(QStringLiteral("school"), QStringLiteral("c1"), QStringLiteral("k"), &upload));
    // The OSS values of the earlier exam stay beside the new Qiniu ones.
    QCOMPARE(fieldsOf(upload), (QStringList{QStringLiteral("0"), QString(), QStringLiteral("t"), QStringLiteral("q"),
                                            QStringLiteral("b1"), QStringLiteral("a"), QStringLiteral("s"),
                                            QStringLiteral("e"), QStringLiteral("d")}));
}

void RosterTokenTest::testTokenNetworkFailure()
{
    openWindow(QStringLiteral("school"), QStringLiteral("c1"), QStringLiteral("k"));
    m_sim.setReply(QStringLiteral("/school/c1/client/upload-token"), rawReply(200, QByteArray(), true));
    MyUpload upload;
    upload.uploadToken = QStringLiteral("keep");
    QVERIFY(!m_window->getUploadToken(QStringLiteral("school"), QStringLiteral("c1"), QStringLiteral("k"), &upload));
    QCOMPARE(upload.uploadToken, QStringLiteral("keep"));
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().icon, QMessageBox::Warning);
    QCOMPARE(m_boxes->last().title, QStringLiteral("提示"));
    QVERIFY(!m_boxes->last().text.isEmpty());
    QVERIFY(!m_boxes->last().text.startsWith(QStringLiteral("code:")));

    // No platform at all (an untrusted one): the same.
    PlatformSimulator stranger;
    QString error;
    QVERIFY2(stranger.start(&error), qPrintable(error));
    qputenv("VOSTRA_PLATFORM_HOST", stranger.host().toUtf8());
    QVERIFY(!m_window->getUploadToken(QStringLiteral("school"), QStringLiteral("c1"), QStringLiteral("k"), &upload));
    QCOMPARE(m_boxes->count(), 2);
    QVERIFY(stranger.requests().isEmpty());
}

QTEST_MAIN(RosterTokenTest)
#include "rostertoken_test.moc"
