#pragma once
// Client of the bucket storage service: one signed HTTP PUT per object
// ("Authorization: OSS <key id>:<signature>", the signature an HMAC-SHA1 of
// the request's verb, Content-MD5, Content-Type, Date, service headers and
// "/bucket/key", keyed with the access key secret).
//
// One client keeps one libcurl handle, so consecutive objects reuse the TLS
// connection. A client belongs to one thread at a time.

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <atomic>

class BucketStorageClient {
public:
    struct Result {
        bool ok = false;
        long httpStatus = 0;   // 0 when no HTTP response arrived
        QString errorCode;     // the service's error code, or the transfer's failure kind
        QString message;
        QString requestId;
        QString etag;
    };

    // `endpoint`: host[:port], optionally with "https://" or "http://" in
    // front; the request always goes over HTTPS.
    BucketStorageClient(const QString &endpoint, const QString &accessKeyId, const QString &accessKeySecret);
    ~BucketStorageClient();
    BucketStorageClient(const BucketStorageClient &) = delete;
    BucketStorageClient &operator=(const BucketStorageClient &) = delete;

    // Whole transfer time limit (connecting included).
    void setTimeoutSeconds(int seconds) { m_timeoutSeconds = seconds; }
    // When the flag turns true the running transfer is abandoned.
    void setCancelFlag(const std::atomic<bool> *flag) { m_cancel = flag; }

    // Stores `content` under `key`. Success only for an HTTP 2xx answer.
    Result putObject(const QString &bucket, const QString &key, const QByteArray &content,
                     const QByteArray &contentType);

    // The object's address: virtual-hosted ("https://bucket.endpoint/key")
    // for a host name, path style ("https://endpoint/bucket/key") for an IP
    // address or localhost, which cannot carry a bucket label.
    QByteArray objectUrl(const QString &bucket, const QString &key) const;

    // Protocol pieces, kept public so the test service can be checked against them.
    static QByteArray stringToSign(const QByteArray &verb, const QByteArray &contentMd5,
                                   const QByteArray &contentType, const QByteArray &date,
                                   const QByteArray &canonicalHeaders, const QByteArray &resource);
    // Base64 of HMAC-SHA1(secret, text).
    static QByteArray sign(const QByteArray &secret, const QByteArray &text);
    // RFC 1123 date in GMT, English names whatever the locale.
    static QByteArray httpDate(const QDateTime &time);
    // Base64 of the MD5 digest.
    static QByteArray contentMd5(const QByteArray &content);
    static QByteArray contentTypeForSuffix(const QString &suffix);

private:
    QString m_host;          // host[:port]
    bool m_pathStyle = false;
    QByteArray m_accessKeyId;
    QByteArray m_accessKeySecret;
    int m_timeoutSeconds = 60;
    const std::atomic<bool> *m_cancel = nullptr;
    void *m_curl = nullptr;
};
