#pragma once
// Client of the token storage service: a multipart form POST to the upload
// host with the parts "token" (the upload token the platform issued), "key"
// (only when one is asked for; without it the service names the object by its
// content hash) and "file". The service answers {"hash": ..., "key": ...} on
// success and {"error": ...} otherwise.
//
// One client keeps one libcurl handle, so consecutive files reuse the TLS
// connection. A client belongs to one thread at a time.

#include <QByteArray>
#include <QString>

#include <atomic>

class TokenStorageClient {
public:
    // The upload host of the deployment; VOSTRA_TOKEN_UPLOAD_HOST ("host" or
    // "host:port") replaces it.
    static const char *const kDefaultUploadHost;
    static QString uploadHost();

    struct Result {
        bool ok = false;
        long httpStatus = 0; // 0 when no HTTP response arrived
        QString hash;
        QString key;
        QString error;       // the service's or the transfer's error text
    };

    // An empty host means uploadHost().
    explicit TokenStorageClient(const QString &host = QString());
    ~TokenStorageClient();
    TokenStorageClient(const TokenStorageClient &) = delete;
    TokenStorageClient &operator=(const TokenStorageClient &) = delete;

    void setTimeoutSeconds(int seconds) { m_timeoutSeconds = seconds; }
    void setCancelFlag(const std::atomic<bool> *flag) { m_cancel = flag; }
    QString host() const { return m_host; }

    // Success only for HTTP 200 with a "hash" equal to the content hash of
    // what was sent: anything else means the stored object is not our file.
    Result putFile(const QString &token, const QString &key, const QByteArray &content, const QString &fileName);

    // The service's content hash: files up to 4 MiB 0x16 + SHA-1 of the
    // bytes, larger ones 0x96 + SHA-1 of the SHA-1s of the 4 MiB blocks, in
    // URL-safe Base64.
    static QString contentHash(const QByteArray &content);

private:
    QString m_host;
    int m_timeoutSeconds = 60;
    const std::atomic<bool> *m_cancel = nullptr;
    void *m_curl = nullptr;
};
