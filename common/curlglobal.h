#pragma once
// libcurl's process-wide state and the TLS trust every libcurl transfer of a
// program uses: the results upload, the image uploads and the station's file
// uploads all go through here, so curl_global_init runs exactly once and no
// transfer skips the certificate check.

#include <QByteArray>
#include <QString>

#include <curl/curl.h>

namespace CurlGlobal {

// Initialises libcurl for the whole process on the first call (thread-safe,
// any thread); later calls only report the first result. libcurl is never
// cleaned up globally while the program runs: a cleanup would pull the
// ground from under a transfer on another thread.
bool ensure();

// Makes `handle` verify the server's certificate chain and its host name.
// The PEM file named by VOSTRA_EXTRA_CA is trusted in addition to the system
// store; without it the system store alone is used. False with `error` set
// when the extra CA file is named but unreadable, or libcurl refuses an
// option: the transfer must not start then.
bool applyTls(CURL *handle, QString *error = nullptr);
// The transfer options every upload of the program shares: HTTPS only, no
// redirects, no signals, the program's user agent and the time limits.
void applyTransferDefaults(CURL *curl, int timeoutSeconds);

// Collects a reply body up to `limit` bytes. A reply that announces a longer
// body, or sends one, ends the transfer (CURLE_FILESIZE_EXCEEDED or
// CURLE_WRITE_ERROR) with `overflowed` set, instead of growing without bound.
struct ReplyBuffer {
    explicit ReplyBuffer(qint64 limit);
    // Installs the write callback and the announced-length check on `curl`.
    void attach(CURL *curl);
    // True when the transfer ended because of the limit.
    bool exceeded(CURLcode result) const;

    QByteArray data;
    qint64 limit;
    bool overflowed = false;
};

} // namespace CurlGlobal
