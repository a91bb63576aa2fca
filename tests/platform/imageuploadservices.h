#pragma once
// The three image stores as local services on the platform simulator (HTTPS
// with its run-time CA), for the upload tests and the upload benchmark:
//
// - LocalImageServer answers "/upload.php" (password, exam_id, file) with
//   {"code":200,"path":...} or {"code":...,"info":...};
// - BucketService takes signed PUTs at "/<bucket>/<key>" (path style, as the
//   client addresses a store on 127.0.0.1) and checks the signature with the
//   secret it issued, the date and the Content-MD5;
// - TokenService takes form uploads at "/" and checks the upload token it
//   issued (HMAC of the put policy, bucket, deadline); its region lookup
//   ("/v4/query") names the simulator itself as the bucket's upload host.
//
// Each records what it stored. The checks are written here independently of
// the clients (Qt's HMAC and hashes, not the clients' OpenSSL code), so a
// client that signs or hashes wrongly is refused.

#include "platformsimulator.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QMap>
#include <QMessageAuthenticationCode>
#include <QMutex>
#include <QMutexLocker>
#include <QString>

#include <memory>

namespace ImageUploadServices {

// State shared by a service object and its handler (which runs on the
// simulator's thread).
struct StoreState {
    mutable QMutex mutex;
    QMap<QString, QByteArray> objects; // name the store gave it -> bytes
    int delayMs = 0;                   // added to every reply
    bool forced = false;               // answer every request with `forcedReply`
    PlatformSimulator::Reply forcedReply;
    int counter = 0;
};

class ServiceBase {
public:
    // Every reply waits this long (a store's latency, or a time-out test).
    void setDelay(int ms)
    {
        QMutexLocker lock(&m_store->mutex);
        m_store->delayMs = ms;
    }
    // Answers every request with this reply, storing nothing.
    void force(const PlatformSimulator::Reply &reply)
    {
        QMutexLocker lock(&m_store->mutex);
        m_store->forced = true;
        m_store->forcedReply = reply;
    }
    void unforce()
    {
        QMutexLocker lock(&m_store->mutex);
        m_store->forced = false;
    }
    QMap<QString, QByteArray> objects() const
    {
        QMutexLocker lock(&m_store->mutex);
        return m_store->objects;
    }
    void clear()
    {
        QMutexLocker lock(&m_store->mutex);
        m_store->objects.clear();
        m_store->delayMs = 0;
        m_store->forced = false;
    }

protected:
    std::shared_ptr<StoreState> m_store = std::make_shared<StoreState>();

    // Locked: applies forcing and delay; true when `reply` is final.
    static bool forcedOrDelayed(StoreState &s, PlatformSimulator::Reply *reply)
    {
        if (s.forced) {
            *reply = s.forcedReply;
            reply->delayMs = std::max(reply->delayMs, s.delayMs);
            return true;
        }
        return false;
    }
};

// ------------------------------------------------------------------ local image server

class LocalImageServer : public ServiceBase {
public:
    explicit LocalImageServer(const QString &password = QStringLiteral("pw-1")) : m_password(password) {}
    QString password() const { return m_password; }

    void install(PlatformSimulator &sim)
    {
        const std::shared_ptr<StoreState> store = m_store;
        const QString password = m_password;
        sim.setHandler(QStringLiteral("/upload.php"), [store, password](const PlatformSimulator::Request &r) {
            QMutexLocker lock(&store->mutex);
            PlatformSimulator::Reply reply;
            if (forcedOrDelayed(*store, &reply))
                return reply;
            auto answer = [&store](const QJsonObject &object) {
                PlatformSimulator::Reply out = PlatformSimulator::json(object);
                out.delayMs = store->delayMs;
                return out;
            };
            if (r.method != "POST")
                return answer({{"code", 405}, {"info", "POST only"}});
            if (r.field(QStringLiteral("password")) != password)
                return answer({{"code", 403}, {"info", QStringLiteral("密码错误")}});
            const QString examId = r.field(QStringLiteral("exam_id"));
            if (examId.isEmpty())
                return answer({{"code", 400}, {"info", "no exam_id"}});
            const PlatformSimulator::Part *file = r.part(QStringLiteral("file"));
            if (!file || file->fileName.isEmpty() || file->body.isEmpty())
                return answer({{"code", 400}, {"info", "no file"}});
            const QString path = QStringLiteral("images/%1/%2.jpg").arg(examId).arg(++store->counter);
            store->objects.insert(path, file->body);
            return answer({{"code", 200}, {"path", path}});
        });
    }

private:
    QString m_password;
};

// ------------------------------------------------------------------ bucket service

class BucketService : public ServiceBase {
public:
    BucketService(const QString &bucket = QStringLiteral("exam-images"), const QString &keyId = QStringLiteral("KID1"),
                  const QString &secret = QStringLiteral("issued-secret-1"))
        : m_bucket(bucket), m_keyId(keyId), m_secret(secret)
    {
    }
    QString bucket() const { return m_bucket; }
    QString keyId() const { return m_keyId; }
    QString secret() const { return m_secret; }

    static QByteArray errorXml(const QString &code, const QString &message, const QString &requestId)
    {
        return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error>\n  <Code>%1</Code>\n"
                              "  <Message>%2</Message>\n  <RequestId>%3</RequestId>\n  <HostId>127.0.0.1</HostId>\n"
                              "</Error>\n")
            .arg(code, message, requestId)
            .toUtf8();
    }

    // Bucket paths go to the fallback handler (object keys vary).
    void install(PlatformSimulator &sim)
    {
        const std::shared_ptr<StoreState> store = m_store;
        const QString bucket = m_bucket, keyId = m_keyId, secret = m_secret;
        sim.setFallbackHandler([store, bucket, keyId, secret](const PlatformSimulator::Request &r) {
            QMutexLocker lock(&store->mutex);
            PlatformSimulator::Reply reply;
            if (forcedOrDelayed(*store, &reply))
                return reply;
            const QString requestId = QStringLiteral("REQ%1").arg(++store->counter, 6, 10, QLatin1Char('0'));
            auto error = [&](int status, const QString &code, const QString &message) {
                PlatformSimulator::Reply out;
                out.status = status;
                out.contentType = "application/xml";
                out.body = errorXml(code, message, requestId);
                out.headers = {{"x-oss-request-id", requestId.toLatin1()}};
                out.delayMs = store->delayMs;
                return out;
            };
            const QString prefix = QLatin1Char('/') + bucket + QLatin1Char('/');
            if (!r.path.startsWith(prefix) || r.path.size() == prefix.size())
                return error(404, QStringLiteral("NoSuchBucket"), QStringLiteral("The specified bucket does not exist."));
            const QString key = r.path.mid(prefix.size());
            if (r.method != "PUT")
                return error(405, QStringLiteral("MethodNotAllowed"), QStringLiteral("PUT only"));

            const QByteArray auth = r.headers.value("authorization");
            if (!auth.startsWith("OSS ") || auth.indexOf(':') < 0)
                return error(403, QStringLiteral("AccessDenied"), QStringLiteral("Authorization missing."));
            const QByteArray credential = auth.mid(4);
            const QByteArray givenId = credential.left(credential.indexOf(':'));
            const QByteArray givenSignature = credential.mid(credential.indexOf(':') + 1);
            if (QString::fromUtf8(givenId) != keyId)
                return error(403, QStringLiteral("InvalidAccessKeyId"),
                             QStringLiteral("The access key id you provided does not exist."));

            const QByteArray date = r.headers.value("date");
            const QDateTime sent = QLocale::c().toDateTime(QString::fromLatin1(date),
                                                           QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
            QDateTime sentUtc = sent;
            sentUtc.setTimeSpec(Qt::UTC);
            if (!sent.isValid() || qAbs(sentUtc.secsTo(QDateTime::currentDateTimeUtc())) > 15 * 60)
                return error(403, QStringLiteral("RequestTimeTooSkewed"),
                             QStringLiteral("The difference between the request time and the current time is too large."));

            // Service headers, lower case, sorted, "name:value\n" each.
            QByteArray canonical;
            for (auto it = r.headers.cbegin(); it != r.headers.cend(); ++it) {
                if (it.key().startsWith("x-oss-"))
                    canonical += it.key() + ':' + it.value().trimmed() + '\n';
            }
            const QByteArray md5 = r.headers.value("content-md5");
            const QByteArray text = "PUT\n" + md5 + '\n' + r.headers.value("content-type") + '\n' + date + '\n'
                + canonical + '/' + bucket.toUtf8() + '/' + key.toUtf8();
            const QByteArray expected =
                QMessageAuthenticationCode::hash(text, secret.toUtf8(), QCryptographicHash::Sha1).toBase64();
            if (givenSignature != expected)
                return error(403, QStringLiteral("SignatureDoesNotMatch"),
                             QStringLiteral("The request signature we calculated does not match the signature you provided."));
            if (!md5.isEmpty() && md5 != QCryptographicHash::hash(r.body, QCryptographicHash::Md5).toBase64())
                return error(400, QStringLiteral("InvalidDigest"),
                             QStringLiteral("The Content-MD5 you specified was invalid."));

            store->objects.insert(key, r.body);
            PlatformSimulator::Reply ok;
            ok.status = 200;
            ok.contentType = QByteArray();
            ok.headers = {{"ETag", '"' + QCryptographicHash::hash(r.body, QCryptographicHash::Md5).toHex().toUpper() + '"'},
                          {"x-oss-request-id", requestId.toLatin1()}};
            ok.delayMs = store->delayMs;
            return ok;
        });
    }

private:
    QString m_bucket, m_keyId, m_secret;
};

// ------------------------------------------------------------------ token service

class TokenService : public ServiceBase {
public:
    TokenService(const QString &bucket = QStringLiteral("exam-forms"), const QString &accessKey = QStringLiteral("AK1"),
                 const QString &secret = QStringLiteral("token-secret-1"))
        : m_bucket(bucket), m_accessKey(accessKey), m_secret(secret)
    {
    }
    QString bucket() const { return m_bucket; }
    QString accessKey() const { return m_accessKey; }
    QString secret() const { return m_secret; }

    // An upload token as the platform issues it: access key, URL-safe Base64
    // of HMAC-SHA1(secret, encoded policy), encoded policy.
    static QString makeToken(const QString &accessKey, const QString &secret, const QString &scope, qint64 deadline)
    {
        const QByteArray policy =
            QJsonDocument(QJsonObject{{"scope", scope}, {"deadline", double(deadline)}}).toJson(QJsonDocument::Compact);
        const QByteArray encoded = policy.toBase64(QByteArray::Base64UrlEncoding);
        const QByteArray signature = QMessageAuthenticationCode::hash(encoded, secret.toUtf8(), QCryptographicHash::Sha1)
                                         .toBase64(QByteArray::Base64UrlEncoding);
        return accessKey + QLatin1Char(':') + QString::fromLatin1(signature) + QLatin1Char(':')
            + QString::fromLatin1(encoded);
    }
    QString issueToken(qint64 validSeconds = 3600) const
    {
        return makeToken(m_accessKey, m_secret, m_bucket, QDateTime::currentSecsSinceEpoch() + validSeconds);
    }

    // The store's content hash, computed here on its own.
    static QString contentHash(const QByteArray &data)
    {
        const int block = 4 * 1024 * 1024;
        QByteArray out;
        if (data.size() <= block) {
            out = char(0x16) + QCryptographicHash::hash(data, QCryptographicHash::Sha1);
        } else {
            QByteArray all;
            for (int i = 0; i < data.size(); i += block)
                all += QCryptographicHash::hash(data.mid(i, block), QCryptographicHash::Sha1);
            out = char(0x96) + QCryptographicHash::hash(all, QCryptographicHash::Sha1);
        }
        return QString::fromLatin1(out.toBase64(QByteArray::Base64UrlEncoding));
    }

    // The region lookup answers for this service's access key and bucket
    // only; forcing and delays apply to the uploads, not to the lookup.
    void install(PlatformSimulator &sim)
    {
        const QString host = sim.host();
        const QString queryBucket = m_bucket, queryKey = m_accessKey;
        sim.setHandler(QStringLiteral("/v4/query"), [host, queryBucket, queryKey](const PlatformSimulator::Request &r) {
            if (r.method != "GET")
                return PlatformSimulator::json(QJsonObject{{"error", "method not allowed"}}, 405);
            if (r.queryValue(QStringLiteral("ak")) != queryKey || r.queryValue(QStringLiteral("bucket")) != queryBucket)
                return PlatformSimulator::json(QJsonObject{{"error", "no such bucket"}}, 631);
            return PlatformSimulator::storageRegion({host});
        });

        const std::shared_ptr<StoreState> store = m_store;
        const QString bucket = m_bucket, accessKey = m_accessKey, secret = m_secret;
        sim.setHandler(QStringLiteral("/"), [store, bucket, accessKey, secret](const PlatformSimulator::Request &r) {
            QMutexLocker lock(&store->mutex);
            PlatformSimulator::Reply reply;
            if (forcedOrDelayed(*store, &reply))
                return reply;
            auto answer = [&store](int status, const QJsonObject &object) {
                PlatformSimulator::Reply out = PlatformSimulator::json(object, status);
                out.delayMs = store->delayMs;
                return out;
            };
            if (r.method != "POST")
                return answer(405, {{"error", "method not allowed"}});
            const QStringList token = r.field(QStringLiteral("token")).split(QLatin1Char(':'));
            if (token.size() != 3 || token[0] != accessKey)
                return answer(401, {{"error", "bad token"}});
            const QByteArray encoded = token[2].toLatin1();
            const QByteArray expected = QMessageAuthenticationCode::hash(encoded, secret.toUtf8(), QCryptographicHash::Sha1)
                                            .toBase64(QByteArray::Base64UrlEncoding);
            if (token[1].toLatin1() != expected)
                return answer(401, {{"error", "bad token"}});
            const QJsonObject policy =
                QJsonDocument::fromJson(QByteArray::fromBase64(encoded, QByteArray::Base64UrlEncoding)).object();
            if (qint64(policy.value(QStringLiteral("deadline")).toDouble()) < QDateTime::currentSecsSinceEpoch())
                return answer(401, {{"error", "expired token"}});
            if (policy.value(QStringLiteral("scope")).toString().section(QLatin1Char(':'), 0, 0) != bucket)
                return answer(401, {{"error", "incorrect bucket name"}});
            const PlatformSimulator::Part *file = r.part(QStringLiteral("file"));
            if (!file || file->body.isEmpty())
                return answer(400, {{"error", "file is empty"}});
            const QString hash = contentHash(file->body);
            const PlatformSimulator::Part *keyPart = r.part(QStringLiteral("key"));
            const QString key = keyPart ? keyPart->text() : hash;
            store->objects.insert(key, file->body);
            return answer(200, {{"hash", hash}, {"key", key}});
        });
    }

private:
    QString m_bucket, m_accessKey, m_secret;
};

} // namespace ImageUploadServices
