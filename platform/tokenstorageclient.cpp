#include "tokenstorageclient.h"

#include "curlglobal.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <curl/curl.h>
#include <openssl/evp.h>

#include <algorithm>

const char *const TokenStorageClient::kDefaultUploadHost = "upload.storage.vostra.example";

namespace {

struct Transfer {
    QByteArray reply;
    const std::atomic<bool> *cancel = nullptr;
};

constexpr int kMaxReplyBytes = 1 << 20;
constexpr int kBlockSize = 4 * 1024 * 1024;

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

} // namespace

QString TokenStorageClient::uploadHost()
{
    static const QRegularExpression hostPort(QStringLiteral("^[A-Za-z0-9.-]+(:[0-9]{1,5})?$"));
    const QString value = qEnvironmentVariable("VOSTRA_TOKEN_UPLOAD_HOST").trimmed();
    if (!value.isEmpty() && hostPort.match(value).hasMatch())
        return value;
    return QString::fromLatin1(kDefaultUploadHost);
}

TokenStorageClient::TokenStorageClient(const QString &host) : m_host(host.isEmpty() ? uploadHost() : host)
{
    CurlGlobal::ensure();
    m_curl = curl_easy_init();
}

TokenStorageClient::~TokenStorageClient()
{
    if (m_curl)
        curl_easy_cleanup(static_cast<CURL *>(m_curl));
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
    Transfer t;
    t.cancel = m_cancel;
    char errorBuffer[CURL_ERROR_SIZE] = {0};
    const QByteArray url = "https://" + m_host.toUtf8() + '/';

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeReply);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    CurlGlobal::applyTransferDefaults(curl, m_timeoutSeconds);

    QString tlsError;
    CURLcode code = CURLE_OK;
    const bool tlsReady = CurlGlobal::applyTls(curl, &tlsError);
    if (tlsReady)
        code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.httpStatus);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, nullptr);
    curl_mime_free(mime);
    curl_slist_free_all(headers);

    if (!tlsReady) {
        result.error = tlsError;
        return result;
    }
    if (code != CURLE_OK) {
        result.error = QString::fromLocal8Bit(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code));
        return result;
    }
    const QJsonDocument document = QJsonDocument::fromJson(t.reply);
    const QJsonObject object = document.object();
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
