#include "platformrequest.h"

#include <QFile>
#include <QFutureWatcher>
#include <QHttpMultiPart>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QtConcurrent>
#include <QtGlobal>

// ---------------------------------------------------------------- bodies

PlatformForm &PlatformForm::add(const QString &name, const QString &value)
{
    return addBytes(name, value.toUtf8());
}

PlatformForm &PlatformForm::addBytes(const QString &name, const QByteArray &value)
{
    m_fields.append({name, value});
    return *this;
}

QByteArray PlatformForm::encoded() const
{
    QByteArray out;
    for (const auto &field : m_fields) {
        if (!out.isEmpty())
            out += '&';
        out += PlatformRequest::percentEncode(field.first.toUtf8());
        out += '=';
        out += PlatformRequest::percentEncode(field.second);
    }
    return out;
}

PlatformMultipart &PlatformMultipart::add(const QString &name, const QString &value)
{
    return addBytes(name, value.toLocal8Bit());
}

PlatformMultipart &PlatformMultipart::addBytes(const QString &name, const QByteArray &value)
{
    Part part;
    part.name = name;
    part.value = value;
    m_parts.append(part);
    return *this;
}

PlatformMultipart &PlatformMultipart::addFile(const QString &name, const QString &fileName,
                                              const QString &localPath)
{
    Part part;
    part.name = name;
    part.fileName = fileName;
    part.localPath = localPath;
    part.isFile = true;
    m_parts.append(part);
    return *this;
}

namespace {

// A name inside the quotes of a Content-Disposition header.
QByteArray quoted(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    bytes.replace('\\', "\\\\");
    bytes.replace('"', "\\\"");
    bytes.replace('\r', ' ');
    bytes.replace('\n', ' ');
    return '"' + bytes + '"';
}

} // namespace

QHttpMultiPart *PlatformMultipart::build(QString *error) const
{
    auto *body = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    for (const Part &p : m_parts) {
        QHttpPart part;
        if (p.isFile) {
            auto *file = new QFile(p.localPath, body);
            if (!file->open(QIODevice::ReadOnly)) {
                if (error)
                    *error = file->errorString();
                delete body;
                return nullptr;
            }
            part.setHeader(QNetworkRequest::ContentDispositionHeader,
                           QByteArray("form-data; name=") + quoted(p.name) + ";filename=" + quoted(p.fileName));
            part.setBodyDevice(file);
        } else {
            part.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("text/plain"));
            part.setHeader(QNetworkRequest::ContentDispositionHeader,
                           QByteArray("form-data; name=") + quoted(p.name));
            part.setBody(p.value);
        }
        body->append(part);
    }
    return body;
}

// ---------------------------------------------------------------- replies

namespace {

// Dynamic properties of a reply under the size limit.
const char *const kSizeLimited = "omrSizeLimited";
const char *const kTooLarge = "omrReplyTooLarge";

} // namespace

PlatformReply PlatformReply::read(QNetworkReply *reply)
{
    PlatformReply out = readUnparsed(reply);
    out.parseBody();
    return out;
}

PlatformReply PlatformReply::readUnparsed(QNetworkReply *reply)
{
    PlatformReply out;
    if (!reply) {
        out.failed = true;
        out.errorText = QStringLiteral("网络请求已被取消");
        return out;
    }
    out.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // A reply that finished before anyone watched it is checked here.
    if (reply->property(kTooLarge).toBool() || reply->bytesAvailable() > PlatformRequest::kMaxReplyBytes) {
        out.failed = true;
        out.errorText = PlatformRequest::replyTooLargeText();
        return out;
    }
    // Redirects are followed only when asked, and never to plain HTTP;
    // one that was not followed is no answer to the request.
    const bool redirected = out.httpStatus >= 300 && out.httpStatus < 400;
    if (reply->error() == QNetworkReply::InsecureRedirectError || (redirected && reply->error() == QNetworkReply::NoError)) {
        out.failed = true;
        out.errorText = PlatformRequest::redirectRefusedText(
            QString::fromUtf8(reply->rawHeader(QByteArrayLiteral("Location"))));
        return out;
    }
    if (reply->error() != QNetworkReply::NoError) {
        out.failed = true;
        out.errorText = reply->errorString();
        return out;
    }
    out.body = reply->readAll();
    return out;
}

PlatformReply PlatformReply::fromBody(int httpStatus, const QByteArray &body)
{
    PlatformReply out;
    out.httpStatus = httpStatus;
    out.body = body;
    out.parseBody();
    return out;
}

void PlatformReply::parseBody()
{
    if (failed)
        return;
    // The body is UTF-8 text; broken sequences become U+FFFD, not a refusal.
    QJsonParseError parseError;
    document = QJsonDocument::fromJson(QString::fromUtf8(body).toUtf8(), &parseError);
    json = parseError.error == QJsonParseError::NoError;
}

QString PlatformReply::codeFailureText() const
{
    return QStringLiteral("code:%1\n%2").arg(httpStatus).arg(errorText);
}

QString PlatformReply::uploadRecordFailureText() const
{
    return QStringLiteral("code:%1 \ninfo:%2").arg(httpStatus).arg(errorText) + QStringLiteral("\n")
        + QStringLiteral("检查之前是否有过数据上传失败");
}

QString PlatformReply::localServerFailureText() const
{
    return QStringLiteral("code:%1:%2").arg(httpStatus).arg(errorText);
}

QString PlatformReply::unreadableText() const
{
    const QString text = QString::fromUtf8(body).trimmed();
    if (text.isEmpty())
        return QStringLiteral("平台的回复为空（HTTP %1）").arg(httpStatus);
    // Enough of the body to recognise it, not a whole page in a box.
    constexpr int kShown = 200;
    return QStringLiteral("平台的回复无法读取（HTTP %1）：").arg(httpStatus)
        + (text.size() > kShown ? text.left(kShown) + QStringLiteral("……") : text);
}

QString PlatformReply::anyText(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isUndefined() || value.isNull())
        return QString();
    if (value.isDouble()) {
        const double number = value.toDouble();
        // Whole numbers without a fraction or exponent: 403, not 403.0.
        if (qAbs(number) < 1e15 && number == double(qint64(number)))
            return QString::number(qint64(number));
        return QString::number(number);
    }
    if (value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    const QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return QString::fromUtf8(document.toJson(QJsonDocument::Compact));
}

int PlatformReply::intValue(const QJsonObject &object, const QString &key)
{
    return object.value(key).toInt(0);
}

QString PlatformReply::textValue(const QJsonObject &object, const QString &key)
{
    return object.value(key).toString();
}

QJsonObject PlatformReply::objectValue(const QJsonObject &object, const QString &key)
{
    return object.value(key).toObject();
}

QJsonArray PlatformReply::arrayValue(const QJsonObject &object, const QString &key)
{
    return object.value(key).toArray();
}

// ---------------------------------------------------------------- host, TLS, URLs

const char *const PlatformRequest::kDefaultHost = "platform.vostra.example";

QString PlatformRequest::host()
{
    const QString value = qEnvironmentVariable("VOSTRA_PLATFORM_HOST").trimmed();
    if (value.isEmpty())
        return QString::fromLatin1(kDefaultHost);
    // A host name or address, optionally ":port"; nothing that would change
    // the URL's meaning (user info, path, query).
    static const QRegularExpression wellFormed(
        QStringLiteral("^([A-Za-z0-9.-]+|\\[[0-9A-Fa-f:.]+\\])(:[0-9]{1,5})?$"));
    if (!wellFormed.match(value).hasMatch()) {
        qWarning("VOSTRA_PLATFORM_HOST is not a host or host:port; using the built-in host");
        return QString::fromLatin1(kDefaultHost);
    }
    return value;
}

QString PlatformRequest::extraCaPath()
{
    return qEnvironmentVariable("VOSTRA_EXTRA_CA");
}

bool PlatformRequest::installExtraCa(QString *error)
{
    const QString path = extraCaPath();
    if (path.isEmpty())
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    const QList<QSslCertificate> extra = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
    if (extra.isEmpty()) {
        if (error)
            *error = QStringLiteral("%1: no PEM certificate").arg(path);
        return false;
    }
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    QList<QSslCertificate> cas = config.caCertificates();
    // With on-demand loading the default list is empty; setting a list ends
    // on-demand loading, so the system's CAs go in explicitly.
    if (cas.isEmpty())
        cas = QSslConfiguration::systemCaCertificates();
    bool added = false;
    for (const QSslCertificate &cert : extra) {
        if (!cas.contains(cert)) {
            cas.append(cert);
            added = true;
        }
    }
    if (added) {
        config.setCaCertificates(cas);
        QSslConfiguration::setDefaultConfiguration(config);
    }
    return true;
}

QByteArray PlatformRequest::percentEncode(const QByteArray &bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(bytes.size() * 3);
    for (const char ch : bytes) {
        const uchar c = uchar(ch);
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
            || c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0f];
        }
    }
    return out;
}

bool PlatformRequest::isSafeIdentifier(const QString &text)
{
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9_-]+$"));
    return safe.match(text).hasMatch();
}

QUrl PlatformRequest::customerUrl(const QString &customerType, const QString &customerCode, const QString &path,
                                  const PlatformForm &query)
{
    QByteArray url = "https://" + host().toUtf8() + '/' + percentEncode(customerType.toUtf8()) + '/'
        + percentEncode(customerCode.toUtf8()) + path.toUtf8();
    if (!query.isEmpty())
        url += '?' + query.encoded();
    return QUrl::fromEncoded(url, QUrl::StrictMode);
}

QUrl PlatformRequest::upgradeUrl(const QString &programWord)
{
    return QUrl::fromEncoded("https://" + host().toUtf8() + "/upgrade/online/"
                                 + percentEncode(programWord.toLower().toUtf8()),
                             QUrl::StrictMode);
}

// ---------------------------------------------------------------- posting and waiting

namespace {

QNetworkRequest baseRequest(const QUrl &url, bool followSafeRedirects)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         followSafeRedirects ? QNetworkRequest::NoLessSafeRedirectPolicy
                                             : QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(PlatformRequest::kTransferTimeoutMs);
    return request;
}

// Bodies from this size on are parsed on a worker thread.
constexpr int kParseInBackgroundBytes = 256 * 1024;

PlatformReply failedBeforeSending(const QString &text)
{
    PlatformReply reply;
    reply.failed = true;
    reply.errorText = text;
    return reply;
}

} // namespace

QNetworkReply *PlatformRequest::postForm(QNetworkAccessManager *manager, const QUrl &url, const PlatformForm &form,
                                         bool followSafeRedirects)
{
    QNetworkRequest request = baseRequest(url, followSafeRedirects);
    const QByteArray body = form.encoded();
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
    request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
    QNetworkReply *reply = manager->post(request, body);
    limitReplySize(reply);
    return reply;
}

QNetworkReply *PlatformRequest::postMultipart(QNetworkAccessManager *manager, const QUrl &url,
                                              const PlatformMultipart &parts, QString *error)
{
    QHttpMultiPart *body = parts.build(error);
    if (!body)
        return nullptr;
    QNetworkReply *reply = manager->post(baseRequest(url, false), body);
    body->setParent(reply);
    limitReplySize(reply);
    return reply;
}

QString PlatformRequest::replyTooLargeText()
{
    return QStringLiteral("平台回复过大（超过 %1 MiB），已中止").arg(kMaxReplyBytes / (1024 * 1024));
}

QString PlatformRequest::redirectRefusedText(const QString &location)
{
    if (location.trimmed().isEmpty())
        return QStringLiteral("平台要求转到另一地址，已拒绝跟随，请求未完成");
    return QStringLiteral("平台要求转到另一地址（%1），已拒绝跟随，请求未完成").arg(location.trimmed());
}

void PlatformRequest::limitReplySize(QNetworkReply *reply)
{
    if (!reply || reply->property(kSizeLimited).toBool())
        return;
    reply->setProperty(kSizeLimited, true);
    // The announced length stops a reply before its body comes; the bytes
    // held stop a chunked or lying one within one read of the limit.
    const auto check = [reply] {
        if (!reply->isRunning())
            return;
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        if ((announced.isValid() && announced.toLongLong() > kMaxReplyBytes) || reply->bytesAvailable() > kMaxReplyBytes) {
            reply->setProperty(kTooLarge, true);
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, check);
    QObject::connect(reply, &QIODevice::readyRead, reply, check);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, check);
    check();
}

bool PlatformRequest::waitForReply(QNetworkReply *reply, QEventLoop::ProcessEventsFlags flags)
{
    if (!reply)
        return false;
    QPointer<QNetworkReply> alive(reply);
    if (reply->isFinished())
        return true;
    limitReplySize(reply);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec(flags);
    return !alive.isNull();
}

PlatformReply PlatformRequest::waitAndRead(QNetworkReply *reply, QEventLoop::ProcessEventsFlags flags)
{
    QPointer<QNetworkReply> alive(reply);
    if (!waitForReply(reply, flags) || alive.isNull())
        return PlatformReply::read(nullptr);
    PlatformReply out = PlatformReply::readUnparsed(reply);
    reply->deleteLater();
    if (out.body.size() < kParseInBackgroundBytes) {
        out.parseBody();
        return out;
    }
    // Parsing megabytes takes a while: the window keeps answering meanwhile.
    QFutureWatcher<PlatformReply> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcher<PlatformReply>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run([out]() mutable {
        out.parseBody();
        return out;
    }));
    if (!watcher.isFinished())
        loop.exec(flags);
    return watcher.result();
}

PlatformReply PlatformRequest::postAndRead(QNetworkAccessManager *manager, const QUrl &url, const PlatformForm &form,
                                           bool followSafeRedirects)
{
    return waitAndRead(postForm(manager, url, form, followSafeRedirects));
}

PlatformReply PlatformRequest::postAndRead(QNetworkAccessManager *manager, const QUrl &url,
                                           const PlatformMultipart &parts)
{
    QString error;
    QNetworkReply *reply = postMultipart(manager, url, parts, &error);
    if (!reply)
        return failedBeforeSending(error);
    return waitAndRead(reply);
}
