#pragma once
// Client of the token storage service: a multipart form POST to an upload
// host of the bucket's region with the parts "token" (the upload token the
// platform issued), "key" (only when one is asked for; without it the service
// names the object by its content hash) and "file". The service answers
// {"hash": ..., "key": ...} on success and {"error": ...} otherwise.
//
// The upload hosts come from the service's region lookup, as its own SDK
// does it: GET https://<query host>/v4/query?ak=<access key>&bucket=<bucket>
// with both values read from the upload token
// ("accessKey:encodedSign:encodedPutPolicy", the bucket in the policy's
// "scope"). The reply lists the region's upload hosts ("up" "domains", then
// "old") and how long they hold ("ttl", seconds). Answers are kept per bucket
// for the whole process; a failed lookup is not kept and fails the upload.
//
// One client keeps one libcurl handle, so consecutive files reuse the TLS
// connection. A client belongs to one thread at a time; the lookup cache is
// shared by every client and thread.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

class TokenStorageClient {
public:
    // The service's public query host.
    static const char *const kDefaultQueryHost;
    // Tests and the local demo only: VOSTRA_TOKEN_QUERY_HOST ("host",
    // "host:port" or "https://host[:port]") sends the region lookup to a
    // local stand-in. Anything that is not HTTPS is refused.
    static const char *const kQueryHostVariable;

    struct Result {
        bool ok = false;
        long httpStatus = 0; // 0 when no HTTP response arrived
        QString hash;
        QString key;
        QString error;       // the service's, the lookup's or the transfer's error text
    };

    struct Hosts {
        bool ok = false;
        QStringList hosts; // "host" or "host:port", in the order to try them
        QString error;     // names the bucket when the lookup failed
    };

    TokenStorageClient();
    ~TokenStorageClient();
    TokenStorageClient(const TokenStorageClient &) = delete;
    TokenStorageClient &operator=(const TokenStorageClient &) = delete;

    void setTimeoutSeconds(int seconds) { m_timeoutSeconds = seconds; }
    void setCancelFlag(const std::atomic<bool> *flag) { m_cancel = flag; }

    // Looks the token's bucket up (or takes the kept answer) and posts the
    // file to its upload hosts in order; the next host is tried only when
    // one gave no HTTP answer at all (the object is named by its content, so
    // sending it again is harmless). Success only for HTTP 200 with a "hash"
    // equal to the content hash of what was sent: anything else means the
    // stored object is not our file.
    Result putFile(const QString &token, const QString &key, const QByteArray &content, const QString &fileName);

    // The upload hosts of the token's bucket, from the cache or the lookup.
    Hosts uploadHosts(const QString &token);

    // Access key and bucket of an upload token; false when it cannot be read.
    static bool parseToken(const QString &token, QString *accessKey, QString *bucket);

    // The service's content hash: files up to 4 MiB 0x16 + SHA-1 of the
    // bytes, larger ones 0x96 + SHA-1 of the SHA-1s of the 4 MiB blocks, in
    // URL-safe Base64.
    static QString contentHash(const QByteArray &content);

    // Tests: forget every kept lookup; replace the clock the ttl is measured
    // with (milliseconds, any origin; empty: the monotonic clock).
    static void clearRegionCache();
    static void setClockForTesting(std::function<qint64()> nowMs);

private:
    Result postTo(const QString &host, const QString &token, const QString &key, const QByteArray &content,
                  const QString &fileName);
    Hosts lookUp(const QString &queryHost, const QString &accessKey, const QString &bucket, int *ttlSeconds);
    // Runs the prepared transfer; the reply body goes to `reply`.
    bool perform(QByteArray *reply, long *httpStatus, QString *error);

    int m_timeoutSeconds = 60;
    const std::atomic<bool> *m_cancel = nullptr;
    void *m_curl = nullptr;
};
