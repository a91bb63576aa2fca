#pragma once
// Requests to the Vostra platform, shared by the three programs: where they
// go, how their bodies are built, how the caller waits for the reply, how the
// reply is read and which failure text it gives. No widgets here; the dialogs
// decide what to show.
//
// Every request is a POST. A caller builds a form or multipart body, posts it
// with the access manager of its dialog family, waits on that one reply and
// reads it:
//
//     PlatformForm form;
//     form.add("key", dataKey);
//     const PlatformReply reply = PlatformRequest::postAndRead(
//         manager, PlatformRequest::customerUrl(type, code, "/client/exams", query), form);
//     if (reply.failed) { show(reply.bareFailureText()); return; }
//     if (reply.isArray()) ...

#include <QByteArray>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

class QHttpMultiPart;
class QNetworkAccessManager;
class QNetworkReply;
class QObject;

// Ordered name/value pairs of a URL-encoded body or of a query. Values are
// kept as the bytes that must arrive and are percent-encoded when the body or
// the URL is built, so "+", "&", "=" and "%" in a key survive the trip.
class PlatformForm {
public:
    // The value as UTF-8.
    PlatformForm &add(const QString &name, const QString &value);
    // The value as given (for a name in the local 8-bit code page, say).
    PlatformForm &addBytes(const QString &name, const QByteArray &value);

    // "name=value&name=value", every name and value percent-encoded.
    QByteArray encoded() const;
    bool isEmpty() const { return m_fields.isEmpty(); }
    const QList<QPair<QString, QByteArray>> &fields() const { return m_fields; }

private:
    QList<QPair<QString, QByteArray>> m_fields;
};

// Ordered parts of a multipart/form-data body: text parts (Content-Type
// "text/plain", the value in the local 8-bit code page) and file parts
// (no Content-Type, the file's bytes).
class PlatformMultipart {
public:
    PlatformMultipart &add(const QString &name, const QString &value);
    PlatformMultipart &addBytes(const QString &name, const QByteArray &value);
    // The file is opened when the body is built and read while it is sent;
    // `fileName` is what the part announces, whatever the file is called.
    PlatformMultipart &addFile(const QString &name, const QString &fileName, const QString &localPath);

    // A new body owning its open files; null with `error` set when a file
    // cannot be opened. The caller (or postMultipart) gives it a parent.
    QHttpMultiPart *build(QString *error = nullptr) const;

    struct Part {
        QString name;
        QByteArray value;       // text parts
        QString fileName;       // file parts: announced name
        QString localPath;      // file parts: where the bytes come from
        bool isFile = false;
    };
    const QList<Part> &parts() const { return m_parts; }

private:
    QList<Part> m_parts;
};

// What came back: either a network failure (status and error text) or a
// body, parsed as JSON when it is JSON.
struct PlatformReply {
    bool failed = false;        // the reply reported an error (no body is read)
    int httpStatus = 0;         // 0 when no HTTP response arrived
    QString errorText;          // the reply's error text on failure
    QByteArray body;
    bool json = false;          // the body parsed as one JSON document
    QJsonDocument document;

    // Reads a finished reply; a null reply (deleted while waited for) is a
    // failure with status 0, a reply stopped for its size (or holding more
    // than the limit) a failure with PlatformRequest::replyTooLargeText, and
    // a redirect that was not followed a failure with
    // PlatformRequest::redirectRefusedText.
    static PlatformReply read(QNetworkReply *reply);
    // The same without parsing the body; parseBody does that later (on any
    // thread).
    static PlatformReply readUnparsed(QNetworkReply *reply);
    void parseBody();
    // A reply that arrived with this status and body.
    static PlatformReply fromBody(int httpStatus, const QByteArray &body);

    bool isObject() const { return json && document.isObject(); }
    bool isArray() const { return json && document.isArray(); }
    QJsonObject object() const { return document.object(); }
    QJsonArray array() const { return document.array(); }

    // Failure texts, one per kind of request.
    QString codeFailureText() const;          // "code:%1\n%2"
    QString bareFailureText() const { return errorText; }
    QString uploadRecordFailureText() const;  // "code:%1 \ninfo:%2\n检查之前是否有过数据上传失败"
    QString localServerFailureText() const;   // "code:%1:%2"
    // A body that is empty or cannot be read the way the request needs:
    // "平台的回复为空（HTTP %1）" or "平台的回复无法读取（HTTP %1）：" and the
    // start of the body.
    QString unreadableText() const;

    // Reply keys: integers default to 0, texts to "", and containers to empty.
    static int intValue(const QJsonObject &object, const QString &key);
    static QString textValue(const QJsonObject &object, const QString &key);
    static QJsonObject objectValue(const QJsonObject &object, const QString &key);
    static QJsonArray arrayValue(const QJsonObject &object, const QString &key);
    // Any value as the operator should see it: a text as it is, anything
    // else as compact JSON ("" for a missing value).
    static QString anyText(const QJsonValue &value);
};

class PlatformRequest {
public:
    // The built-in platform host; VOSTRA_PLATFORM_HOST ("host" or
    // "host:port") replaces it when set to a well-formed value.
    static const char *const kDefaultHost;
    static QString host();

    // Adds the CA certificates of the PEM file named by VOSTRA_EXTRA_CA to the
    // default TLS configuration (the system's CAs stay trusted). Certificates
    // already present are not added twice, so calling it again is harmless;
    // with the variable unset it does nothing and succeeds. Certificate
    // checking itself is never relaxed.
    static bool installExtraCa(QString *error = nullptr);
    // The PEM path from VOSTRA_EXTRA_CA, empty when unset (for libcurl users).
    static QString extraCaPath();

    // Every byte except A-Z a-z 0-9 - . _ ~ as "%XX".
    static QByteArray percentEncode(const QByteArray &bytes);
    // Letters, digits, '-' and '_' only, and not empty: what may become part
    // of a file or folder name.
    static bool isSafeIdentifier(const QString &text);

    // "https://" + host + "/" + type + "/" + code + path [+ "?" + query];
    // path begins with "/client/". Type, code and the query are
    // percent-encoded.
    static QUrl customerUrl(const QString &customerType, const QString &customerCode, const QString &path,
                            const PlatformForm &query = PlatformForm());
    // "https://" + host + "/upgrade/online/" + program word (lower case).
    static QUrl upgradeUrl(const QString &programWord);

    // How long a request may transfer nothing before the network layer gives up.
    static constexpr int kTransferTimeoutMs = 120000;

    // The largest reply body any request of the programs reads, whether Qt
    // or libcurl fetches it. A real reply (100,000 exams, a whole roster)
    // stays well below; anything bigger is a fault that would otherwise eat
    // the machine's memory.
    static constexpr qint64 kMaxReplyBytes = 32 * 1024 * 1024;
    // "平台回复过大（超过 32 MiB），已中止"
    static QString replyTooLargeText();
    // A redirect is never followed to plain HTTP, and a request that does
    // not follow redirects treats one as a failure with this text.
    static QString redirectRefusedText(const QString &location);
    // Aborts `reply` as soon as its announced length or the bytes it holds
    // pass kMaxReplyBytes; PlatformReply::read then reports it. postForm,
    // postMultipart and waitForReply do this already; a second call is
    // harmless.
    static void limitReplySize(QNetworkReply *reply);

    // Posts and returns the running reply (a child of the manager). The body
    // is sent with Content-Type "application/x-www-form-urlencoded" and its
    // byte length. Redirects are followed only when asked, and never from
    // HTTPS to HTTP.
    static QNetworkReply *postForm(QNetworkAccessManager *manager, const QUrl &url, const PlatformForm &form,
                                   bool followSafeRedirects = false);
    // Posts a multipart body; null with `error` set when a file part cannot
    // be opened. The body dies with the reply.
    static QNetworkReply *postMultipart(QNetworkAccessManager *manager, const QUrl &url,
                                        const PlatformMultipart &parts, QString *error = nullptr);

    // Runs a local event loop until this reply has finished (other replies of
    // the same manager do not end the wait), with the reply's size limited.
    // False when the reply was deleted meanwhile. `flags` can keep user input
    // out while waiting.
    static bool waitForReply(QNetworkReply *reply,
                             QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);

    // Post, wait, read, and schedule the reply's deletion.
    static PlatformReply postAndRead(QNetworkAccessManager *manager, const QUrl &url, const PlatformForm &form,
                                     bool followSafeRedirects = false);
    static PlatformReply postAndRead(QNetworkAccessManager *manager, const QUrl &url,
                                     const PlatformMultipart &parts);
    // Wait for a reply already posted, read it, and schedule its deletion.
    // A large body is parsed on a worker thread while events go on.
    static PlatformReply waitAndRead(QNetworkReply *reply,
                                     QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);
};
