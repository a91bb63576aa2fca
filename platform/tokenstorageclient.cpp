#include "tokenstorageclient.h"

#include "curlglobal.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QUrl>
#include <QWaitCondition>

#include <curl/curl.h>
#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <memory>

const char *const TokenStorageClient::kDefaultQueryHost = "uc.qiniuapi.com";
const char *const TokenStorageClient::kQueryHostVariable = "VOSTRA_TOKEN_QUERY_HOST";

namespace {

struct Transfer {
    QByteArray reply;
    const std::atomic<bool> *cancel = nullptr;
};

constexpr int kMaxReplyBytes = 1 << 20;
constexpr int kBlockSize = 4 * 1024 * 1024;
// Longer than any ttl the service hands out; keeps the expiry arithmetic sane.
constexpr qint64 kMaxTtlSeconds = 30LL * 24 * 3600;

size_t writeReply(char *data, size_t size, size_t count, void *user)
{
    auto *t = static_cast<Transfer *>(user);
    const size_t n = size * count;
    if (t->reply.size() < kMaxReplyBytes)
        t->reply.append(data, int(std::min<size_t>(n, size_t(kMaxReplyBytes - t->reply.size()))));
    return n;
}

int progress(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto *t = static_cast<Transfer *>(user);
    return t->cancel && t->cancel->load() ? 1 : 0;
}

QByteArray sha1(const char *data, size_t size)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data, size, digest, &length, EVP_sha1(), nullptr);
    return QByteArray(reinterpret_cast<const char *>(digest), int(length));
}

bool isHostPort(const QString &text)
{
    static const QRegularExpression hostPort(QStringLiteral("^[A-Za-z0-9.-]+(:[0-9]{1,5})?$"));
    return hostPort.match(text).hasMatch();
}

QString lookupFailed(const QString &bucket, const QString &detail)
{
    return QStringLiteral("查询存储空间“%1”的上传地址失败：%2").arg(bucket, detail);
}

// "https://host[:port]" of the region lookup, or false with the reason. A
// plain-HTTP lookup could be answered by anyone on the way and send the
// images elsewhere, so only HTTPS is taken.
bool queryBaseUrl(QByteArray *url, QString *error)
{
    const QString value = qEnvironmentVariable(TokenStorageClient::kQueryHostVariable).trimmed();
    if (value.isEmpty()) {
        *url = QByteArray("https://") + TokenStorageClient::kDefaultQueryHost;
        return true;
    }
    QString host = value;
    if (host.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
        host = host.mid(8);
    } else if (host.contains(QLatin1String("://"))) {
        *error = QStringLiteral("区域查询地址不是 HTTPS，已拒绝：%1").arg(value);
        return false;
    }
    if (host.endsWith(QLatin1Char('/')))
        host.chop(1);
    if (!isHostPort(host)) {
        *error = QStringLiteral("区域查询地址无效：%1").arg(value);
        return false;
    }
    *url = "https://" + host.toLatin1();
    return true;
}

// Process-wide answers of the region lookup, one per query host, access key
// and bucket. Only one lookup per bucket runs at a time: the upload threads
// of a pool that start together wait for it and share its answer, failed or
// not, instead of asking the service once each.
struct RegionCache {
    struct Kept {
        QStringList hosts;
        qint64 expiresMs = 0;
    };
    struct Flight {
        bool done = false;
        TokenStorageClient::Hosts result;
    };
    QMutex mutex;
    QWaitCondition finished;
    QHash<QString, Kept> kept;
    QHash<QString, std::shared_ptr<Flight>> flights;
    std::function<qint64()> clock;

    qint64 nowMs() const
    {
        if (clock)
            return clock();
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

RegionCache &regionCache()
{
    static RegionCache cache;
    return cache;
}

} // namespace

TokenStorageClient::TokenStorageClient()
{
    CurlGlobal::ensure();
    m_curl = curl_easy_init();
}

TokenStorageClient::~TokenStorageClient()
{
    if (m_curl)
        curl_easy_cleanup(static_cast<CURL *>(m_curl));
}

void TokenStorageClient::clearRegionCache()
{
    RegionCache &cache = regionCache();
    QMutexLocker lock(&cache.mutex);
    cache.kept.clear();
}

void TokenStorageClient::setClockForTesting(std::function<qint64()> nowMs)
{
    RegionCache &cache = regionCache();
    QMutexLocker lock(&cache.mutex);
    cache.clock = std::move(nowMs);
}

bool TokenStorageClient::parseToken(const QString &token, QString *accessKey, QString *bucket)
{
    const QStringList parts = token.split(QLatin1Char(':'));
    if (parts.size() != 3 || parts[0].isEmpty() || parts[1].isEmpty() || parts[2].isEmpty())
        return false;
    const QByteArray::FromBase64Result policy = QByteArray::fromBase64Encoding(
        parts[2].toLatin1(), QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!policy)
        return false;
    const QJsonDocument document = QJsonDocument::fromJson(*policy);
    // The scope is "bucket" or "bucket:key".
    const QString name = document.object().value(QStringLiteral("scope")).toString().section(QLatin1Char(':'), 0, 0);
    if (name.isEmpty())
        return false;
    *accessKey = parts[0];
    *bucket = name;
    return true;
}

TokenStorageClient::Hosts TokenStorageClient::uploadHosts(const QString &token)
{
    Hosts result;
    QString accessKey, bucket;
    if (!parseToken(token, &accessKey, &bucket)) {
        result.error = QStringLiteral("上传凭证无法读取");
        return result;
    }
    QByteArray base;
    QString error;
    if (!queryBaseUrl(&base, &error)) {
        result.error = lookupFailed(bucket, error);
        return result;
    }

    RegionCache &cache = regionCache();
    const QString id = QString::fromLatin1(base) + QLatin1Char('\n') + accessKey + QLatin1Char('\n') + bucket;
    QMutexLocker lock(&cache.mutex);
    const auto kept = cache.kept.constFind(id);
    if (kept != cache.kept.constEnd()) {
        if (cache.nowMs() < kept->expiresMs) {
            result.ok = true;
            result.hosts = kept->hosts;
            return result;
        }
        cache.kept.remove(id);
    }
    if (const std::shared_ptr<RegionCache::Flight> flight = cache.flights.value(id)) {
        while (!flight->done) {
            if (m_cancel && m_cancel->load()) {
                result.error = lookupFailed(bucket, QStringLiteral("已取消"));
                return result;
            }
            cache.finished.wait(&cache.mutex, 200);
        }
        return flight->result;
    }
    const auto flight = std::make_shared<RegionCache::Flight>();
    cache.flights.insert(id, flight);
    lock.unlock();

    int ttlSeconds = 0;
    result = lookUp(QString::fromLatin1(base), accessKey, bucket, &ttlSeconds);

    lock.relock();
    if (result.ok && ttlSeconds > 0)
        cache.kept.insert(id, {result.hosts, cache.nowMs() + qint64(ttlSeconds) * 1000});
    flight->result = result;
    flight->done = true;
    cache.flights.remove(id);
    cache.finished.wakeAll();
    return result;
}

TokenStorageClient::Hosts TokenStorageClient::lookUp(const QString &queryHost, const QString &accessKey,
                                                     const QString &bucket, int *ttlSeconds)
{
    Hosts result;
    CURL *curl = static_cast<CURL *>(m_curl);
    if (!curl || !CurlGlobal::ensure()) {
        result.error = lookupFailed(bucket, QStringLiteral("libcurl unavailable"));
        return result;
    }
    curl_easy_reset(curl); // keeps the connection cache
    const QByteArray url = queryHost.toLatin1() + "/v4/query?ak=" + QUrl::toPercentEncoding(accessKey)
        + "&bucket=" + QUrl::toPercentEncoding(bucket);
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);

    QByteArray reply;
    long status = 0;
    QString error;
    if (!perform(&reply, &status, &error)) {
        result.error = lookupFailed(bucket, error);
        return result;
    }
    const QJsonDocument document = QJsonDocument::fromJson(reply);
    if (status != 200) {
        const QString text = document.object().value(QStringLiteral("error")).toString();
        result.error = lookupFailed(bucket, text.isEmpty() ? QStringLiteral("HTTP %1").arg(status)
                                                           : QStringLiteral("HTTP %1 %2").arg(status).arg(text));
        return result;
    }
    if (!document.isObject()) {
        result.error = lookupFailed(bucket, QStringLiteral("应答不是 JSON 对象"));
        return result;
    }
    // The first region is the bucket's own; any others are replicas the
    // form upload does not use.
    const QJsonObject region = document.object().value(QStringLiteral("hosts")).toArray().at(0).toObject();
    const QJsonObject up = region.value(QStringLiteral("up")).toObject();
    QStringList listed;
    for (const QString &group : {QStringLiteral("domains"), QStringLiteral("old")}) {
        for (const QJsonValue &value : up.value(group).toArray())
            listed << value.toString().trimmed();
    }
    for (QString host : qAsConst(listed)) {
        // The lookup names hosts; the transfer is HTTPS whatever scheme a
        // host came with.
        const int scheme = host.indexOf(QLatin1String("://"));
        if (scheme >= 0)
            host = host.mid(scheme + 3);
        if (host.endsWith(QLatin1Char('/')))
            host.chop(1);
        if (isHostPort(host) && !result.hosts.contains(host, Qt::CaseInsensitive))
            result.hosts << host;
    }
    if (result.hosts.isEmpty()) {
        result.error = lookupFailed(bucket, QStringLiteral("应答中没有上传地址"));
        return result;
    }
    // Without a ttl the answer serves this upload only.
    const QJsonValue ttl = region.value(QStringLiteral("ttl"));
    *ttlSeconds = ttl.isDouble() ? int(std::min<double>(std::max(0.0, ttl.toDouble()), double(kMaxTtlSeconds))) : 0;
    result.ok = true;
    return result;
}

bool TokenStorageClient::perform(QByteArray *reply, long *httpStatus, QString *error)
{
    CURL *curl = static_cast<CURL *>(m_curl);
    Transfer t;
    t.cancel = m_cancel;
    char errorBuffer[CURL_ERROR_SIZE] = {0};
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeReply);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    CurlGlobal::applyTransferDefaults(curl, m_timeoutSeconds);

    *httpStatus = 0;
    if (!CurlGlobal::applyTls(curl, error)) {
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
        return false;
    }
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, httpStatus);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    if (code != CURLE_OK) {
        *error = QString::fromLocal8Bit(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code));
        return false;
    }
    *reply = t.reply;
    return true;
}

QString TokenStorageClient::contentHash(const QByteArray &content)
{
    QByteArray hash;
    if (content.size() <= kBlockSize) {
        hash = char(0x16) + sha1(content.constData(), size_t(content.size()));
    } else {
        QByteArray blocks;
        for (int offset = 0; offset < content.size(); offset += kBlockSize)
            blocks += sha1(content.constData() + offset, size_t(std::min(kBlockSize, content.size() - offset)));
        hash = char(0x96) + sha1(blocks.constData(), size_t(blocks.size()));
    }
    return QString::fromLatin1(hash.toBase64(QByteArray::Base64UrlEncoding));
}

TokenStorageClient::Result TokenStorageClient::putFile(const QString &token, const QString &key,
                                                       const QByteArray &content, const QString &fileName)
{
    Result result;
    const Hosts hosts = uploadHosts(token);
    if (!hosts.ok) {
        result.error = hosts.error;
        return result;
    }
    for (const QString &host : hosts.hosts) {
        result = postTo(host, token, key, content, fileName);
        if (result.ok || result.httpStatus != 0 || (m_cancel && m_cancel->load()))
            break;
    }
    return result;
}

TokenStorageClient::Result TokenStorageClient::postTo(const QString &host, const QString &token, const QString &key,
                                                      const QByteArray &content, const QString &fileName)
{
    Result result;
    CURL *curl = static_cast<CURL *>(m_curl);
    if (!curl || !CurlGlobal::ensure()) {
        result.error = QStringLiteral("libcurl unavailable");
        return result;
    }
    curl_easy_reset(curl); // keeps the connection cache

    curl_mime *mime = curl_mime_init(curl);
    curl_mimepart *part = curl_mime_addpart(mime);
    curl_mime_name(part, "token");
    const QByteArray tokenBytes = token.toUtf8();
    curl_mime_data(part, tokenBytes.constData(), size_t(tokenBytes.size()));
    if (!key.isEmpty()) {
        part = curl_mime_addpart(mime);
        curl_mime_name(part, "key");
        const QByteArray keyBytes = key.toUtf8();
        curl_mime_data(part, keyBytes.constData(), size_t(keyBytes.size()));
    }
    part = curl_mime_addpart(mime);
    curl_mime_name(part, "file");
    curl_mime_data(part, content.constData(), size_t(content.size())); // copied by libcurl
    curl_mime_filename(part, fileName.isEmpty() ? "file" : fileName.toUtf8().constData());
    curl_mime_type(part, "application/octet-stream");

    curl_slist *headers = curl_slist_append(nullptr, "Expect:");
    const QByteArray url = "https://" + host.toUtf8() + '/';
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);

    QByteArray reply;
    const bool done = perform(&reply, &result.httpStatus, &result.error);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, nullptr);
    curl_mime_free(mime);
    curl_slist_free_all(headers);
    if (!done)
        return result;

    const QJsonObject object = QJsonDocument::fromJson(reply).object();
    if (result.httpStatus != 200) {
        result.error = object.value(QStringLiteral("error")).toString();
        if (result.error.isEmpty())
            result.error = QStringLiteral("HTTP %1").arg(result.httpStatus);
        return result;
    }
    result.hash = object.value(QStringLiteral("hash")).toString();
    result.key = object.value(QStringLiteral("key")).toString();
    if (result.hash.isEmpty()) {
        result.error = QStringLiteral("reply without hash");
        return result;
    }
    if (result.hash != contentHash(content)) {
        result.error = QStringLiteral("hash mismatch: %1").arg(result.hash);
        return result;
    }
    result.ok = true;
    return result;
}
