#pragma once
// A local stand-in for the exam platform: HTTPS on 127.0.0.1 with a CA made at
// start-up, replies scripted per path, every request recorded.
//
// Typical use in a test:
//
//     PlatformSimulator sim;
//     QString error;
//     QVERIFY2(sim.start(&error), qPrintable(error));
//     sim.exportEnvironment();   // VOSTRA_PLATFORM_HOST, VOSTRA_EXTRA_CA
//     sim.setReply("/school/s1/client/exams", PlatformSimulator::json(QJsonArray{...}));
//     ... run the client ...
//     QVERIFY(sim.waitForRequests(1, 5000));
//     QCOMPARE(sim.requests().first().formValue("key"), QString("k1"));
//
// The server runs on a thread of its own, so a client that blocks its thread
// or waits in a local event loop is still served. The scripting and recording
// functions may be called from any thread; start() and stop() belong to the
// thread that owns the simulator.

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <QWaitCondition>

#include <functional>
#include <memory>

class QTemporaryDir;
class QThread;

namespace PlatformSim {
class Connection;
class Server;
}

class PlatformSimulator : public QObject
{
    Q_OBJECT
public:
    // One part of a multipart/form-data body.
    struct Part {
        QString name;        // from Content-Disposition name="..."
        QString fileName;    // from filename="..."; empty for a text part
        QByteArray contentType; // the part's Content-Type header, empty when absent
        QList<QPair<QByteArray, QByteArray>> headers; // as sent (names lower-case)
        QByteArray body;

        QString text() const { return QString::fromUtf8(body); }
    };

    // One request as the server received it.
    struct Request {
        QByteArray method;
        QString path;  // percent-decoded, without the query
        QString query; // raw text after '?', empty when none
        QList<QPair<QString, QString>> queryItems; // percent-decoded ('+' stays '+'), in order
        QMap<QByteArray, QByteArray> headers;      // lower-case names; repeats joined by ", "
        QByteArray body;                           // de-chunked
        // application/x-www-form-urlencoded bodies: percent-decoded, '+' is a space, in order.
        QList<QPair<QString, QString>> formFields;
        // multipart/form-data bodies, in order.
        QList<Part> parts;
        // The client's address, e.g. "127.0.0.1".
        QString peerAddress;

        // First value of a query item, form field or text part with this name
        // (query first, then form, then parts; a part's body read as UTF-8);
        // a null QString when none.
        QString queryValue(const QString &name) const;
        QString formValue(const QString &name) const;
        const Part *part(const QString &name) const;
        QString field(const QString &name) const;
    };

    struct Reply {
        int status = 200;
        QByteArray body;
        // Sent as Content-Type unless empty.
        QByteArray contentType = "application/json; charset=utf-8";
        // Waits this long before replying (or dropping); other connections go on.
        int delayMs = 0;
        // Closes the connection without any reply: the client sees an error
        // with no HTTP status. Note that a client may resend the request on a
        // new connection before it gives up, so one drop can record several
        // requests.
        bool dropConnection = false;
        // Extra reply headers, sent after the standard ones.
        QList<QPair<QByteArray, QByteArray>> headers;
        // Sends the body chunked, without Content-Length.
        bool chunked = false;
        // With chunked: never sends the last chunk and keeps the connection
        // open, so the reply only ends when the client gives up on it.
        bool holdOpen = false;
    };

    // Called on the server thread, never on the caller's: it must only touch
    // thread-safe state (or its own captured values guarded by a lock). It
    // may call requests() and the scripting functions, but not start()/stop().
    using Handler = std::function<Reply(const Request &)>;

    explicit PlatformSimulator(QObject *parent = nullptr);
    ~PlatformSimulator() override;

    // Makes a CA and a server certificate for 127.0.0.1/localhost in a
    // temporary folder and listens on 127.0.0.1 (port 0: an ephemeral port).
    bool start(QString *error = nullptr, quint16 port = 0);
    // Closes every connection and the listener; also done by the destructor.
    void stop();
    bool isRunning() const;

    QString host() const; // "127.0.0.1:<port>"
    quint16 port() const;
    QString baseUrl() const; // "https://127.0.0.1:<port>"
    QString caPemPath() const;
    QList<QSslCertificate> caCertificates() const;
    // Sets VOSTRA_PLATFORM_HOST and VOSTRA_EXTRA_CA in this process.
    void exportEnvironment() const;

    // Path matching is exact, on the path without its query. A handler wins
    // over a fixed reply for the same path; unknown paths go to the fallback
    // handler when one is set, otherwise get 404 with a JSON body.
    void setReply(const QString &path, const Reply &reply);
    void setHandler(const QString &path, Handler handler);
    void setFallbackHandler(Handler handler);
    void clearReplies(); // also clears handlers and the fallback

    static Reply json(const QJsonValue &value, int status = 200);
    // The token storage service's answer to its region lookup ("/v4/query"):
    // one region whose upload hosts are `up`, then `old`, good for `ttlSeconds`.
    static Reply storageRegion(const QStringList &up, const QStringList &old = {}, int ttlSeconds = 86400);

    QList<Request> requests() const;
    QList<Request> requestsTo(const QString &path) const;
    void clearRequests();
    // True once at least count requests are recorded (since the last
    // clearRequests()). Keeps the calling thread's events flowing while it
    // waits, so a client on that thread still makes progress.
    bool waitForRequests(int count, int timeoutMs);

signals:
    // Emitted on the server thread after a request is recorded, before it is answered.
    void requestReceived(const QString &path);

private:
    friend class PlatformSim::Connection;
    friend class PlatformSim::Server;
    Reply replyFor(const Request &request);
    void record(const Request &request);

    mutable QMutex m_mutex;
    QWaitCondition m_recorded;
    QList<Request> m_requests;
    QMap<QString, Reply> m_replies;
    QMap<QString, Handler> m_handlers;
    Handler m_fallback;

    std::unique_ptr<QTemporaryDir> m_dir;
    QThread *m_thread = nullptr;
    PlatformSim::Server *m_server = nullptr;
    quint16 m_port = 0;
    QString m_caPemPath;
    QList<QSslCertificate> m_caCerts;
};
