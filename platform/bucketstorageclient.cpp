#include "bucketstorageclient.h"

#include "curlglobal.h"

#include <QHostAddress>
#include <QLocale>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>

namespace {

struct Transfer {
    const QByteArray *body = nullptr;
    qint64 sent = 0;
    QByteArray reply;
    QByteArray requestIdHeader;
    QByteArray etagHeader;
    const std::atomic<bool> *cancel = nullptr;
};

// A failed service keeps answering; cap what we collect from it.
constexpr int kMaxReplyBytes = 1 << 20;

size_t readBody(char *buffer, size_t size, size_t count, void *user)
{
    auto *t = static_cast<Transfer *>(user);
    const qint64 left = t->body->size() - t->sent;
    const qint64 n = std::min<qint64>(left, qint64(size * count));
    if (n > 0) {
        memcpy(buffer, t->body->constData() + t->sent, size_t(n));
        t->sent += n;
    }
    return size_t(n);
}

size_t writeReply(char *data, size_t size, size_t count, void *user)
{
    auto *t = static_cast<Transfer *>(user);
    const size_t n = size * count;
    if (t->reply.size() < kMaxReplyBytes)
        t->reply.append(data, int(std::min<size_t>(n, size_t(kMaxReplyBytes - t->reply.size()))));
    return n;
}

size_t readHeader(char *data, size_t size, size_t count, void *user)
{
    auto *t = static_cast<Transfer *>(user);
    const size_t n = size * count;
    const QByteArray line = QByteArray(data, int(n)).trimmed();
    const int colon = line.indexOf(':');
    if (colon > 0) {
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "x-oss-request-id")
            t->requestIdHeader = value;
        else if (name == "etag")
            t->etagHeader = value;
    }
    return n;
}

int progress(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto *t = static_cast<Transfer *>(user);
    return t->cancel && t->cancel->load() ? 1 : 0;
}

// Every byte of the key except unreserved characters and '/' as "%XX".
QByteArray encodeKey(const QString &key)
{
    return key.toUtf8().toPercentEncoding("/");
}

// <Error><Code>..</Code><Message>..</Message><RequestId>..</RequestId></Error>
void readErrorDocument(const QByteArray &xml, BucketStorageClient::Result *result)
{
    QXmlStreamReader reader(xml);
    while (reader.readNextStartElement()) {
        if (reader.name() != QLatin1String("Error"))
            return;
        while (reader.readNextStartElement()) {
            const QStringRef name = reader.name();
            if (name == QLatin1String("Code"))
                result->errorCode = reader.readElementText();
            else if (name == QLatin1String("Message"))
                result->message = reader.readElementText();
            else if (name == QLatin1String("RequestId"))
                result->requestId = reader.readElementText();
            else
                reader.skipCurrentElement();
        }
    }
}

} // namespace

BucketStorageClient::BucketStorageClient(const QString &endpoint, const QString &accessKeyId,
                                         const QString &accessKeySecret)
    : m_accessKeyId(accessKeyId.toUtf8()), m_accessKeySecret(accessKeySecret.toUtf8())
{
    QString host = endpoint.trimmed();
    host.remove(QRegularExpression(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://")));
    const int slash = host.indexOf(QLatin1Char('/'));
    if (slash >= 0)
        host.truncate(slash);
    m_host = host;
    QString name = host;
    if (name.startsWith(QLatin1Char('['))) {
        m_pathStyle = true; // IPv6 literal
    } else {
        const int colon = name.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0)
            name.truncate(colon);
        m_pathStyle = name.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0
            || !QHostAddress(name).isNull();
    }
    CurlGlobal::ensure();
    m_curl = curl_easy_init();
}

BucketStorageClient::~BucketStorageClient()
{
    if (m_curl)
        curl_easy_cleanup(static_cast<CURL *>(m_curl));
}

QByteArray BucketStorageClient::objectUrl(const QString &bucket, const QString &key) const
{
    if (m_pathStyle)
        return "https://" + m_host.toUtf8() + '/' + bucket.toUtf8() + '/' + encodeKey(key);
    return "https://" + bucket.toUtf8() + '.' + m_host.toUtf8() + '/' + encodeKey(key);
}

QByteArray BucketStorageClient::stringToSign(const QByteArray &verb, const QByteArray &contentMd5,
                                             const QByteArray &contentType, const QByteArray &date,
                                             const QByteArray &canonicalHeaders, const QByteArray &resource)
{
    return verb + '\n' + contentMd5 + '\n' + contentType + '\n' + date + '\n' + canonicalHeaders + resource;
}

QByteArray BucketStorageClient::sign(const QByteArray &secret, const QByteArray &text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!HMAC(EVP_sha1(), secret.constData(), secret.size(), reinterpret_cast<const unsigned char *>(text.constData()),
              size_t(text.size()), digest, &length))
        return QByteArray();
    return QByteArray(reinterpret_cast<const char *>(digest), int(length)).toBase64();
}

QByteArray BucketStorageClient::httpDate(const QDateTime &time)
{
    return QLocale::c().toString(time.toUTC(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'")).toLatin1();
}

QByteArray BucketStorageClient::contentMd5(const QByteArray &content)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(content.constData(), size_t(content.size()), digest, &length, EVP_md5(), nullptr);
    return QByteArray(reinterpret_cast<const char *>(digest), int(length)).toBase64();
}

QByteArray BucketStorageClient::contentTypeForSuffix(const QString &suffix)
{
    const QString s = suffix.toLower();
    if (s == QLatin1String("jpg") || s == QLatin1String("jpeg"))
        return "image/jpeg";
    if (s == QLatin1String("png"))
        return "image/png";
    if (s == QLatin1String("bmp"))
        return "image/bmp";
    if (s == QLatin1String("tif") || s == QLatin1String("tiff"))
        return "image/tiff";
    return "application/octet-stream";
}

BucketStorageClient::Result BucketStorageClient::putObject(const QString &bucket, const QString &key,
                                                           const QByteArray &content, const QByteArray &contentType)
{
    Result result;
    CURL *curl = static_cast<CURL *>(m_curl);
    if (!curl || !CurlGlobal::ensure()) {
        result.errorCode = QStringLiteral("ClientError");
        result.message = QStringLiteral("libcurl unavailable");
        return result;
    }
    // Both come from the platform's reply and end up in the URL: a stray
    // '@', '/' or space would send the request (and its signature) elsewhere.
    static const QRegularExpression hostPort(QStringLiteral("^[A-Za-z0-9.-]+(:[0-9]{1,5})?$|^\\[[0-9A-Fa-f:.]+\\](:[0-9]{1,5})?$"));
    static const QRegularExpression bucketName(QStringLiteral("^[A-Za-z0-9_-]+$"));
    if (!hostPort.match(m_host).hasMatch() || !bucketName.match(bucket).hasMatch()) {
        result.errorCode = QStringLiteral("ClientError");
        result.message = QStringLiteral("invalid endpoint or bucket name");
        return result;
    }
    curl_easy_reset(curl); // keeps the connection cache

    const QByteArray md5 = contentMd5(content);
    const QByteArray date = httpDate(QDateTime::currentDateTimeUtc());
    const QByteArray resource = '/' + bucket.toUtf8() + '/' + key.toUtf8();
    const QByteArray signature =
        sign(m_accessKeySecret, stringToSign("PUT", md5, contentType, date, QByteArray(), resource));

    curl_slist *headers = nullptr;
    headers = curl_slist_append(headers, ("Date: " + date).constData());
    headers = curl_slist_append(headers, ("Content-Type: " + contentType).constData());
    headers = curl_slist_append(headers, ("Content-MD5: " + md5).constData());
    headers = curl_slist_append(headers, ("Authorization: OSS " + m_accessKeyId + ':' + signature).constData());
    // The whole body is in memory; waiting for "100 Continue" only costs time.
    headers = curl_slist_append(headers, "Expect:");

    Transfer t;
    t.body = &content;
    t.cancel = m_cancel;
    char errorBuffer[CURL_ERROR_SIZE] = {0};
    const QByteArray url = objectUrl(bucket, key);

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(content.size()));
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readBody);
    curl_easy_setopt(curl, CURLOPT_READDATA, &t);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeReply);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, readHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    CurlGlobal::applyTransferDefaults(curl, m_timeoutSeconds);

    QString tlsError;
    if (!CurlGlobal::applyTls(curl, &tlsError)) {
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
        curl_slist_free_all(headers);
        result.errorCode = QStringLiteral("ClientError");
        result.message = tlsError;
        return result;
    }
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    const CURLcode code = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.httpStatus);
    // The handle keeps the pointers until the next reset; drop them now.
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);

    result.requestId = QString::fromLatin1(t.requestIdHeader);
    if (code != CURLE_OK) {
        result.errorCode = QStringLiteral("ClientError:%1").arg(int(code));
        result.message = QString::fromLocal8Bit(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code));
        return result;
    }
    if (result.httpStatus >= 200 && result.httpStatus < 300) {
        result.ok = true;
        result.etag = QString::fromLatin1(t.etagHeader);
        return result;
    }
    readErrorDocument(t.reply, &result);
    if (result.requestId.isEmpty())
        result.requestId = QString::fromLatin1(t.requestIdHeader);
    if (result.errorCode.isEmpty())
        result.errorCode = QStringLiteral("HTTP%1").arg(result.httpStatus);
    if (result.message.isEmpty())
        result.message = QString::fromUtf8(t.reply.left(200)).simplified();
    return result;
}
