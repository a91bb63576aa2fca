#include "myupload.h"

#include "bucketstorageclient.h"
#include "curlglobal.h"
#include "myreplytimeout.h"
#include "platformrequest.h"
#include "tokenstorageclient.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QUrl>
#include <QTimer>

#include <cstdio>
#include <memory>

MyUpload::MyUpload(QObject *parent)
    : QObject(parent)
{
}

MyUpload::~MyUpload()
{
    if (cloudServer == 1)
        shutdownOss();
}

void MyUpload::copyCredentialsFrom(const MyUpload &other)
{
    cloudServer = other.cloudServer;
    qiniuBucketName = other.qiniuBucketName;
    uploadToken = other.uploadToken;
    qiniuDomain = other.qiniuDomain;
    ossBucketName = other.ossBucketName;
    accessKeyId = other.accessKeyId;
    accessKeySecret = other.accessKeySecret;
    endpoint = other.endpoint;
    ossDomain = other.ossDomain;
    storageTimeoutSeconds = other.storageTimeoutSeconds;
}

void MyUpload::initOss()
{
    m_ossReady = CurlGlobal::ensure();
}

void MyUpload::shutdownOss()
{
    // libcurl stays initialised for the process (another thread may be
    // transferring); there is nothing else to release.
    m_ossReady = false;
}

bool MyUpload::readImageFile(const QString &localPath, QByteArray *content, QString *reason)
{
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly)) {
        *reason = QStringLiteral("无法读取文件：%1").arg(file.errorString());
        return false;
    }
    const qint64 expected = file.size();
    *content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *reason = QStringLiteral("无法读取文件：%1").arg(file.errorString());
        return false;
    }
    if (content->isEmpty()) {
        *reason = QStringLiteral("文件为空");
        return false;
    }
    if (content->size() != expected) {
        *reason = QStringLiteral("文件读取不完整");
        return false;
    }
    return true;
}

QString MyUpload::objectKeyFor(const QString &examId, const QString &localPath, const QByteArray &content)
{
    const QFileInfo info(localPath);
    QDateTime created = info.birthTime();
    if (!created.isValid())
        created = info.metadataChangeTime();
    if (!created.isValid())
        created = info.lastModified();
    const QString digest =
        QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex().left(16));
    const int millisecond = created.isValid() ? created.time().msec() : 0;
    return QStringLiteral("%1-%2-%3-%4.%5")
        .arg(digest, examId)
        .arg(millisecond)
        .arg(content.size())
        .arg(info.suffix());
}

QString MyUpload::makeObjectKey(QString examId, QString localPath)
{
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("failed");
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("failed");
    return objectKeyFor(examId, localPath, content);
}

void MyUpload::uploadFileToServer(QString url, QString password, QString examId, int timeoutSeconds,
                                  QString localPath, bool *ok, QString *result)
{
    *ok = false;
    QByteArray content;
    QString reason;
    if (!readImageFile(localPath, &content, &reason)) {
        *result = reason;
        return;
    }

    PlatformMultipart fields;
    fields.add(QStringLiteral("password"), password);
    fields.add(QStringLiteral("exam_id"), examId);
    QHttpMultiPart *body = fields.build();
    // The bytes checked above are the bytes sent; the server always sees "temp.jpg".
    QHttpPart filePart;
    filePart.setHeader(QNetworkRequest::ContentDispositionHeader,
                       QByteArray("form-data; name=\"file\";filename=\"temp.jpg\""));
    filePart.setBody(content);
    body->append(filePart);

    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // Backstop for a guard that cannot fire (the configured limit rules).
    request.setTransferTimeout(PlatformRequest::kTransferTimeoutMs);
    QNetworkReply *reply = manager.post(request, body);
    body->setParent(reply);

    bool timedOut = false;
    auto *guard = new MyReplyTimeout(reply, std::max(0, timeoutSeconds) * 1000);
    QObject::connect(guard, &MyReplyTimeout::timeout, [&timedOut] { timedOut = true; });
    // The pool going away abandons the transfer rather than waiting for it.
    QTimer cancelWatch;
    if (cancel) {
        QPointer<QNetworkReply> watched(reply);
        const std::atomic<bool> *flag = cancel;
        QObject::connect(&cancelWatch, &QTimer::timeout, [watched, flag] {
            if (watched && flag->load() && watched->isRunning())
                watched->abort();
        });
        cancelWatch.start(50);
    }

    QPointer<QNetworkReply> alive(reply);
    PlatformRequest::waitForReply(reply);
    cancelWatch.stop();
    if (timedOut) {
        *result = QStringLiteral("网络链接超时");
        return;
    }
    const PlatformReply answer = PlatformReply::read(alive.data());
    if (alive)
        alive->deleteLater();
    if (answer.failed) {
        *result = answer.localServerFailureText();
        return;
    }
    if (!answer.json) {
        *result = QStringLiteral("未知错误");
        return;
    }
    if (!answer.isObject()) {
        *result = QStringLiteral("未知错误");
        return;
    }
    const QJsonObject object = answer.object();
    const int code = PlatformReply::intValue(object, QStringLiteral("code"));
    if (code != 200) {
        const QString infoText = PlatformReply::anyText(object.value(QStringLiteral("info")));
        *result = QStringLiteral("code:%1:info:%2").arg(code).arg(infoText);
        return;
    }
    const QString path = PlatformReply::textValue(object, QStringLiteral("path"));
    // A success without a path names no stored image.
    if (path.isEmpty()) {
        *result = QStringLiteral("未知错误");
        return;
    }
    *ok = true;
    *result = path;
}

QString MyUpload::storedPathProblem(const QString &path)
{
    if (path.trimmed().isEmpty())
        return QStringLiteral("路径为空");
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    // Every decoding the link may meet on its way (the web server's, the
    // browser's) is looked at, so "%2e%2e" and "%252e" count as "..".
    QString form = path;
    for (int round = 0; round < 4; ++round) {
        for (const QChar c : form) {
            if (c.category() == QChar::Other_Control || c == QLatin1Char('\\'))
                return QStringLiteral("含有不允许的字符");
        }
        if (form.startsWith(QLatin1Char('/')))
            return QStringLiteral("是绝对路径");
        if (scheme.match(form).hasMatch())
            return QStringLiteral("是完整地址");
        const QString segments = linkProblem(form);
        if (!segments.isEmpty())
            return segments;
        const QString decoded = QUrl::fromPercentEncoding(form.toUtf8());
        if (decoded == form)
            break;
        form = decoded;
    }
    return QString();
}

QString MyUpload::linkProblem(const QString &link)
{
    // Only the part after "scheme://host" is a path on the server.
    QString rest = link;
    const int authority = rest.indexOf(QStringLiteral("://"));
    if (authority >= 0) {
        const int pathStart = rest.indexOf(QLatin1Char('/'), authority + 3);
        rest = pathStart < 0 ? QString() : rest.mid(pathStart);
    }
    QString form = rest;
    for (int round = 0; round < 4; ++round) {
        if (form.contains(QLatin1Char('\\')))
            return QStringLiteral("含有不允许的字符");
        for (const QString &segment : form.split(QLatin1Char('/'))) {
            if (segment == QLatin1String("..") || segment == QLatin1String("."))
                return QStringLiteral("指向图片文件夹之外");
        }
        const QString decoded = QUrl::fromPercentEncoding(form.toUtf8());
        if (decoded == form)
            break;
        form = decoded;
    }
    return QString();
}

bool MyUpload::putFileToQiniu(TokenStorageClient *client, QString key, QString localPath, QString *result)
{
    QByteArray content;
    QString reason;
    if (!readImageFile(localPath, &content, &reason)) {
        *result = QStringLiteral("原因：%1").arg(reason);
        return false;
    }
    std::unique_ptr<TokenStorageClient> own;
    if (!client) {
        own.reset(new TokenStorageClient);
        client = own.get();
    }
    client->setTimeoutSeconds(storageTimeoutSeconds);
    client->setCancelFlag(cancel);
    const TokenStorageClient::Result answer =
        client->putFile(uploadToken, key, content, QFileInfo(localPath).fileName());
    if (!answer.ok) {
        *result = QStringLiteral("原因：%1").arg(answer.error);
        return false;
    }
    *result = answer.hash;
    return true;
}

bool MyUpload::putObjectToOss(QString localPath, QString examId, QString *result, BucketStorageClient *client)
{
    QByteArray content;
    QString reason;
    // The key comes from the same bytes that are stored, so a failed read
    // never names (or overwrites) an object.
    if (!readImageFile(localPath, &content, &reason)) {
        *result = QStringLiteral("原因：%1").arg(reason);
        return false;
    }
    const QString key = objectKeyFor(examId, localPath, content);
    std::unique_ptr<BucketStorageClient> own;
    if (!client) {
        own.reset(new BucketStorageClient(endpoint, accessKeyId, accessKeySecret));
        client = own.get();
    }
    client->setTimeoutSeconds(storageTimeoutSeconds);
    client->setCancelFlag(cancel);
    const BucketStorageClient::Result answer = client->putObject(
        ossBucketName, key, content, BucketStorageClient::contentTypeForSuffix(QFileInfo(localPath).suffix()));
    if (!answer.ok) {
        const QByteArray line = "PutObject fail,code:" + answer.errorCode.toUtf8() + ",message:"
            + answer.message.toUtf8() + ",requestId:" + answer.requestId.toUtf8() + '\n';
        fwrite(line.constData(), 1, size_t(line.size()), stdout);
        fflush(stdout);
        *result = QStringLiteral("原因：%1%2").arg(answer.errorCode, answer.message);
        return false;
    }
    *result = key;
    return true;
}
