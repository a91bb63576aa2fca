#include "curlglobal.h"

#include <algorithm>

#include "platformrequest.h"

#include <QFile>
#include <QFileInfo>

#include <mutex>

namespace CurlGlobal {

bool ensure()
{
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK; });
    return ready;
}

bool applyTls(CURL *handle, QString *error)
{
    auto refuse = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    if (curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L) != CURLE_OK
        || curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L) != CURLE_OK)
        return refuse(QStringLiteral("libcurl refused certificate verification"));
    const QString extra = PlatformRequest::extraCaPath();
    if (extra.isEmpty())
        return true;
    if (!QFileInfo(extra).isReadable())
        return refuse(QStringLiteral("%1: CA file not readable").arg(extra));
    // CAINFO replaces the built-in bundle file; the built-in CA folder
    // (libcurl's CAPATH) stays in force, so the system's CAs remain trusted.
    // libcurl copies the string.
    if (curl_easy_setopt(handle, CURLOPT_CAINFO, QFile::encodeName(extra).constData()) != CURLE_OK)
        return refuse(QStringLiteral("%1: CA file refused by libcurl").arg(extra));
    return true;
}

void applyTransferDefaults(CURL *curl, int timeoutSeconds)
{
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Ardentiq/4.2");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(std::max(1, std::min(timeoutSeconds, 30))));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, long(std::max(1, timeoutSeconds)));
}

namespace {

size_t collect(char *data, size_t size, size_t count, void *user)
{
    auto *buffer = static_cast<ReplyBuffer *>(user);
    const size_t n = size * count;
    if (qint64(n) > buffer->limit - buffer->data.size()) {
        buffer->overflowed = true;
        return 0; // anything but n ends the transfer
    }
    buffer->data.append(data, int(n));
    return n;
}

} // namespace

ReplyBuffer::ReplyBuffer(qint64 limit) : limit(limit) {}

void ReplyBuffer::attach(CURL *curl)
{
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(limit));
}

bool ReplyBuffer::exceeded(CURLcode result) const
{
    return result == CURLE_FILESIZE_EXCEEDED || (result == CURLE_WRITE_ERROR && overflowed);
}

} // namespace CurlGlobal
