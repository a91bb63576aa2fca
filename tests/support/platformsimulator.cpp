#include "platformsimulator.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

// ---------------------------------------------------------------------------
// Throw-away certificates

namespace {

struct FreeKey { void operator()(EVP_PKEY *p) const { EVP_PKEY_free(p); } };
struct FreeCert { void operator()(X509 *p) const { X509_free(p); } };
struct FreeBio { void operator()(BIO *p) const { BIO_free(p); } };
using KeyPtr = std::unique_ptr<EVP_PKEY, FreeKey>;
using CertPtr = std::unique_ptr<X509, FreeCert>;
using BioPtr = std::unique_ptr<BIO, FreeBio>;

QString opensslError(const char *what)
{
    QString text = QString::fromLatin1(what);
    unsigned long code;
    while ((code = ERR_get_error()) != 0) {
        char buf[256];
        ERR_error_string_n(code, buf, sizeof buf);
        text += QLatin1String(": ") + QString::fromLatin1(buf);
    }
    return text;
}

// P-256: made in well under a millisecond, where an RSA key takes a few
// hundred, and every test that starts a simulator pays for two keys.
KeyPtr makeKey()
{
    return KeyPtr(EVP_EC_gen("P-256"));
}

bool addExtension(X509 *cert, X509 *issuer, int nid, const char *value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION *ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        return false;
    const bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

// A certificate for subject CN `commonName`, signed by issuerKey; self-signed
// when issuer is null.
CertPtr makeCert(EVP_PKEY *key, const char *commonName, X509 *issuer, EVP_PKEY *issuerKey,
                 const QList<QPair<int, const char *>> &extensions)
{
    CertPtr cert(X509_new());
    if (!cert)
        return nullptr;
    X509_set_version(cert.get(), 2);

    // Random serial: a client that caches a CA by issuer and serial must not
    // mistake one run's CA for another's.
    unsigned char serialBytes[16];
    if (RAND_bytes(serialBytes, sizeof serialBytes) != 1)
        return nullptr;
    serialBytes[0] &= 0x7f;
    BIGNUM *serial = BN_bin2bn(serialBytes, sizeof serialBytes, nullptr);
    ASN1_INTEGER *asn1Serial = BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(cert.get()));
    BN_free(serial);
    if (!asn1Serial)
        return nullptr;

    // Back-dated an hour against clock skew; long enough for a demo session.
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 60L * 60 * 24 * 30);

    X509_NAME *name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char *>("Vostra test"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char *>(commonName), -1, -1, 0);
    X509_set_issuer_name(cert.get(), issuer ? X509_get_subject_name(issuer) : name);
    if (X509_set_pubkey(cert.get(), key) != 1)
        return nullptr;

    X509 *issuerCert = issuer ? issuer : cert.get();
    for (const auto &ext : extensions) {
        if (!addExtension(cert.get(), issuerCert, ext.first, ext.second))
            return nullptr;
    }
    if (X509_sign(cert.get(), issuerKey ? issuerKey : key, EVP_sha256()) == 0)
        return nullptr;
    return cert;
}

QByteArray certPem(X509 *cert)
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_X509(bio.get(), cert) != 1)
        return {};
    char *data = nullptr;
    const long len = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, int(len));
}

QByteArray keyPem(EVP_PKEY *key)
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    // Traditional "EC PRIVATE KEY" form: what QSslKey reads most reliably.
    if (!bio || PEM_write_bio_PrivateKey_traditional(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return {};
    char *data = nullptr;
    const long len = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, int(len));
}

struct Credentials {
    QByteArray caPem;
    QByteArray serverPem;
    QByteArray serverKeyPem;
};

bool makeCredentials(Credentials *out, QString *error)
{
    ERR_clear_error();
    KeyPtr caKey = makeKey();
    KeyPtr serverKey = makeKey();
    if (!caKey || !serverKey) {
        *error = opensslError("key generation failed");
        return false;
    }
    CertPtr ca = makeCert(caKey.get(), "Vostra test CA", nullptr, nullptr,
                          {{NID_basic_constraints, "critical,CA:TRUE"},
                           {NID_key_usage, "critical,keyCertSign,cRLSign"},
                           {NID_subject_key_identifier, "hash"},
                           {NID_authority_key_identifier, "keyid:always"}});
    if (!ca) {
        *error = opensslError("CA certificate failed");
        return false;
    }
    CertPtr server = makeCert(serverKey.get(), "127.0.0.1", ca.get(), caKey.get(),
                              {{NID_basic_constraints, "critical,CA:FALSE"},
                               {NID_key_usage, "critical,digitalSignature"},
                               {NID_ext_key_usage, "serverAuth"},
                               {NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"},
                               {NID_subject_key_identifier, "hash"},
                               {NID_authority_key_identifier, "keyid:always"}});
    if (!server) {
        *error = opensslError("server certificate failed");
        return false;
    }
    out->caPem = certPem(ca.get());
    out->serverPem = certPem(server.get());
    out->serverKeyPem = keyPem(serverKey.get());
    if (out->caPem.isEmpty() || out->serverPem.isEmpty() || out->serverKeyPem.isEmpty()) {
        *error = opensslError("PEM encoding failed");
        return false;
    }
    return true;
}

bool writeFile(const QString &path, const QByteArray &data, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Request parsing

QString decodePercent(QByteArray raw, bool plusIsSpace)
{
    if (plusIsSpace)
        raw.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(raw));
}

QList<QPair<QString, QString>> decodePairs(const QByteArray &text, bool plusIsSpace)
{
    QList<QPair<QString, QString>> items;
    for (const QByteArray &item : text.split('&')) {
        if (item.isEmpty())
            continue;
        const int eq = item.indexOf('=');
        const QByteArray name = eq < 0 ? item : item.left(eq);
        const QByteArray value = eq < 0 ? QByteArray() : item.mid(eq + 1);
        items.append({decodePercent(name, plusIsSpace), decodePercent(value, plusIsSpace)});
    }
    return items;
}

// Splits `type; a=b; c="d;e"` into the bare value and its parameters (names
// lower-case; quoted values unquoted, backslash escapes resolved).
QByteArray headerParams(const QByteArray &header, QMap<QByteArray, QByteArray> *params)
{
    QByteArray value;
    int i = 0;
    const int n = header.size();
    auto skipSpace = [&] { while (i < n && (header[i] == ' ' || header[i] == '\t')) ++i; };
    while (i < n && header[i] != ';')
        value += header[i++];
    while (i < n) {
        ++i; // ';'
        skipSpace();
        QByteArray name;
        while (i < n && header[i] != '=' && header[i] != ';')
            name += header[i++];
        QByteArray paramValue;
        if (i < n && header[i] == '=') {
            ++i;
            skipSpace();
            if (i < n && header[i] == '"') {
                ++i;
                while (i < n && header[i] != '"') {
                    if (header[i] == '\\' && i + 1 < n)
                        ++i;
                    paramValue += header[i++];
                }
                if (i < n)
                    ++i; // closing quote
                while (i < n && header[i] != ';')
                    ++i;
            } else {
                while (i < n && header[i] != ';')
                    paramValue += header[i++];
                paramValue = paramValue.trimmed();
            }
        }
        name = name.trimmed().toLower();
        if (!name.isEmpty() && !params->contains(name))
            params->insert(name, paramValue);
    }
    return value.trimmed();
}

QList<QPair<QByteArray, QByteArray>> parseHeaderLines(const QByteArray &block)
{
    QList<QPair<QByteArray, QByteArray>> headers;
    for (const QByteArray &line : block.split('\n')) {
        const QByteArray l = line.endsWith('\r') ? line.left(line.size() - 1) : line;
        if (l.isEmpty())
            continue;
        if ((l[0] == ' ' || l[0] == '\t') && !headers.isEmpty()) { // obsolete folding
            headers.last().second += ' ' + l.trimmed();
            continue;
        }
        const int colon = l.indexOf(':');
        if (colon <= 0)
            continue;
        headers.append({l.left(colon).trimmed().toLower(), l.mid(colon + 1).trimmed()});
    }
    return headers;
}

QList<PlatformSimulator::Part> parseMultipart(const QByteArray &body, const QByteArray &boundary)
{
    QList<PlatformSimulator::Part> parts;
    if (boundary.isEmpty())
        return parts;
    const QByteArray delimiter = "--" + boundary;
    int pos = body.indexOf(delimiter);
    while (pos >= 0) {
        pos += delimiter.size();
        if (body.mid(pos, 2) == "--")
            break; // closing delimiter
        // Rest of the delimiter line (transport padding), then CRLF.
        const int lineEnd = body.indexOf('\n', pos);
        if (lineEnd < 0)
            break;
        const int partStart = lineEnd + 1;
        const int next = body.indexOf("\r\n" + delimiter, partStart);
        if (next < 0)
            break;
        const QByteArray raw = body.mid(partStart, next - partStart);
        int headEnd = raw.indexOf("\r\n\r\n");
        int bodyStart = headEnd + 4;
        if (raw.startsWith("\r\n")) { // no headers at all
            headEnd = 0;
            bodyStart = 2;
        }
        PlatformSimulator::Part part;
        if (headEnd >= 0) {
            part.headers = parseHeaderLines(raw.left(headEnd));
            part.body = raw.mid(bodyStart);
        } else {
            part.body = raw;
        }
        for (const auto &h : qAsConst(part.headers)) {
            if (h.first == "content-disposition") {
                QMap<QByteArray, QByteArray> params;
                headerParams(h.second, &params);
                part.name = QString::fromUtf8(params.value("name"));
                part.fileName = QString::fromUtf8(params.value("filename"));
            } else if (h.first == "content-type") {
                part.contentType = h.second;
            }
        }
        parts.append(part);
        pos = next + 2;
    }
    return parts;
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 413: return "Payload Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

constexpr int kMaxHeadBytes = 64 * 1024;
constexpr qint64 kMaxBodyBytes = qint64(512) * 1024 * 1024;
constexpr int kIdleTimeoutMs = 60 * 1000;

} // namespace

// ---------------------------------------------------------------------------
// Server side, living on the simulator's thread

namespace PlatformSim {

class Connection : public QObject
{
public:
    Connection(PlatformSimulator *owner, QSslSocket *socket, QObject *parent)
        : QObject(parent), m_owner(owner), m_socket(socket)
    {
        socket->setParent(this);
        connect(socket, &QSslSocket::readyRead, this, &Connection::onReadyRead);
        connect(socket, &QSslSocket::encrypted, this, &Connection::onReadyRead);
        connect(socket, &QSslSocket::disconnected, this, &QObject::deleteLater);
        connect(socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError err) {
            // A failed handshake or a reset ends the connection; nothing to answer.
            if (err != QAbstractSocket::RemoteHostClosedError || m_socket->state() == QAbstractSocket::UnconnectedState)
                closeNow();
        });
        m_idle.setSingleShot(true);
        m_idle.setInterval(kIdleTimeoutMs);
        connect(&m_idle, &QTimer::timeout, this, &Connection::closeNow);
        m_idle.start();
    }

    void closeNow()
    {
        if (m_closing)
            return;
        m_closing = true;
        m_socket->abort();
        deleteLater();
    }

private:
    enum class State { Head, Body, Chunked, Replying };

    void onReadyRead()
    {
        if (m_closing)
            return;
        m_buffer += m_socket->readAll();
        m_idle.start();
        process();
    }

    void process()
    {
        while (!m_closing && m_state != State::Replying) {
            if (m_state == State::Head) {
                const int end = m_buffer.indexOf("\r\n\r\n");
                if (end < 0) {
                    if (m_buffer.size() > kMaxHeadBytes)
                        fail(400, "request head too large");
                    return;
                }
                const QByteArray head = m_buffer.left(end);
                m_buffer.remove(0, end + 4);
                if (!parseHead(head))
                    return;
            } else if (m_state == State::Body) {
                if (m_buffer.size() < m_remaining)
                    return;
                m_request.body += m_buffer.left(int(m_remaining));
                m_buffer.remove(0, int(m_remaining));
                finishRequest();
            } else if (m_state == State::Chunked) {
                if (!readChunks())
                    return;
                finishRequest();
            }
        }
    }

    bool parseHead(const QByteArray &head)
    {
        m_request = PlatformSimulator::Request();
        const int lineEnd = head.indexOf("\r\n");
        const QByteArray requestLine = lineEnd < 0 ? head : head.left(lineEnd);
        const QList<QByteArray> words = requestLine.split(' ');
        if (words.size() != 3 || !words[2].startsWith("HTTP/1.")) {
            fail(400, "bad request line");
            return false;
        }
        m_http10 = words[2] == "HTTP/1.0";
        m_request.method = words[0];
        QByteArray target = words[1];
        // An absolute form target ("https://host/path") is reduced to its path.
        if (!target.startsWith('/')) {
            const QUrl url = QUrl::fromEncoded(target);
            target = url.path(QUrl::FullyEncoded).toLatin1();
            if (url.hasQuery())
                target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
        }
        const int q = target.indexOf('?');
        const QByteArray rawPath = q < 0 ? target : target.left(q);
        m_request.path = QString::fromUtf8(QByteArray::fromPercentEncoding(rawPath));
        if (q >= 0) {
            const QByteArray rawQuery = target.mid(q + 1);
            m_request.query = QString::fromUtf8(rawQuery);
            m_request.queryItems = decodePairs(rawQuery, false);
        }
        const auto headers = parseHeaderLines(lineEnd < 0 ? QByteArray() : head.mid(lineEnd + 2));
        for (const auto &h : headers) {
            auto it = m_request.headers.find(h.first);
            if (it == m_request.headers.end())
                m_request.headers.insert(h.first, h.second);
            else
                it.value() += ", " + h.second;
        }

        const QByteArray transfer = m_request.headers.value("transfer-encoding").toLower();
        const bool chunked = transfer.contains("chunked");
        qint64 length = 0;
        if (!chunked && m_request.headers.contains("content-length")) {
            bool ok = false;
            length = m_request.headers.value("content-length").trimmed().toLongLong(&ok);
            if (!ok || length < 0) {
                fail(400, "bad Content-Length");
                return false;
            }
            if (length > kMaxBodyBytes) {
                fail(413, "body too large");
                return false;
            }
        }
        if ((chunked || length > 0) && m_request.headers.value("expect").toLower() == "100-continue")
            m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
        if (chunked) {
            m_state = State::Chunked;
        } else if (length > 0) {
            m_remaining = length;
            m_state = State::Body;
        } else {
            finishRequest();
        }
        return true;
    }

    // Consumes complete chunks; true when the last chunk and trailers are in.
    bool readChunks()
    {
        for (;;) {
            const int lineEnd = m_buffer.indexOf("\r\n");
            if (lineEnd < 0)
                return false;
            QByteArray sizeText = m_buffer.left(lineEnd);
            const int ext = sizeText.indexOf(';');
            if (ext >= 0)
                sizeText.truncate(ext);
            bool ok = false;
            const qint64 size = sizeText.trimmed().toLongLong(&ok, 16);
            if (!ok || size < 0 || m_request.body.size() + size > kMaxBodyBytes) {
                fail(400, "bad chunk");
                return false;
            }
            if (size == 0) {
                // Trailers end with an empty line.
                const int end = m_buffer.indexOf("\r\n\r\n", lineEnd);
                if (end == lineEnd) {
                    m_buffer.remove(0, lineEnd + 4);
                    return true;
                }
                if (end < 0)
                    return false;
                m_buffer.remove(0, end + 4);
                return true;
            }
            if (m_buffer.size() < lineEnd + 2 + size + 2)
                return false;
            m_request.body += m_buffer.mid(lineEnd + 2, int(size));
            m_buffer.remove(0, lineEnd + 2 + int(size) + 2);
        }
    }

    void finishRequest()
    {
        m_state = State::Replying;
        QMap<QByteArray, QByteArray> params;
        const QByteArray type = headerParams(m_request.headers.value("content-type"), &params).toLower();
        if (type == "application/x-www-form-urlencoded")
            m_request.formFields = decodePairs(m_request.body, true);
        else if (type == "multipart/form-data")
            m_request.parts = parseMultipart(m_request.body, params.value("boundary"));

        const QByteArray connectionHeader = m_request.headers.value("connection").toLower();
        m_closeAfter = m_http10 ? !connectionHeader.contains("keep-alive") : connectionHeader.contains("close");
        m_request.peerAddress = m_socket->peerAddress().toString();

        m_owner->record(m_request);
        const PlatformSimulator::Reply reply = m_owner->replyFor(m_request);
        if (reply.delayMs > 0) {
            m_idle.stop();
            QTimer::singleShot(reply.delayMs, this, [this, reply] { sendReply(reply); });
        } else {
            sendReply(reply);
        }
    }

    void sendReply(const PlatformSimulator::Reply &reply)
    {
        if (m_closing)
            return;
        if (reply.dropConnection) {
            closeNow();
            return;
        }
        const bool head = m_request.method == "HEAD";
        QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
        if (!reply.contentType.isEmpty())
            out += "Content-Type: " + reply.contentType + "\r\n";
        if (reply.chunked)
            out += "Transfer-Encoding: chunked\r\n";
        else
            out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
        out += m_closeAfter ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
        for (const auto &h : reply.headers)
            out += h.first + ": " + h.second + "\r\n";
        out += "\r\n";
        if (!head && reply.chunked) {
            const int chunk = 64 * 1024;
            for (int at = 0; at < reply.body.size(); at += chunk) {
                const QByteArray piece = reply.body.mid(at, chunk);
                out += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
            }
            if (reply.holdOpen) {
                m_socket->write(out);
                m_idle.start();
                return; // nothing more is read or sent on this connection
            }
            out += "0\r\n\r\n";
        } else if (!head) {
            out += reply.body;
        }
        m_socket->write(out);
        m_idle.start();
        if (m_closeAfter) {
            m_closing = true;
            m_socket->disconnectFromHost(); // flushes, then disconnected → deleteLater
            return;
        }
        m_state = State::Head;
        // Anything pipelined behind the request is already buffered.
        QTimer::singleShot(0, this, [this] { process(); });
    }

    void fail(int status, const QByteArray &why)
    {
        m_state = State::Replying;
        m_closeAfter = true;
        PlatformSimulator::Reply reply = PlatformSimulator::json(
            QJsonObject{{QStringLiteral("code"), status}, {QStringLiteral("message"), QString::fromLatin1(why)}}, status);
        sendReply(reply);
    }

    PlatformSimulator *m_owner;
    QSslSocket *m_socket;
    QByteArray m_buffer;
    State m_state = State::Head;
    qint64 m_remaining = 0;
    bool m_http10 = false;
    bool m_closeAfter = false;
    bool m_closing = false;
    PlatformSimulator::Request m_request;
    QTimer m_idle;
};

class Server : public QTcpServer
{
public:
    Server(PlatformSimulator *owner, const QSslCertificate &cert, const QSslKey &key)
        : m_owner(owner), m_cert(cert), m_key(key) {}

    void shutdown()
    {
        close();
        const auto connections = m_connections;
        m_connections.clear();
        for (const QPointer<Connection> &c : connections)
            delete c.data();
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QSslSocket;
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        socket->setLocalCertificate(m_cert);
        socket->setPrivateKey(m_key);
        socket->setPeerVerifyMode(QSslSocket::VerifyNone);
        m_connections.removeAll(nullptr);
        m_connections.append(new Connection(m_owner, socket, this));
        socket->startServerEncryption();
    }

private:
    PlatformSimulator *m_owner;
    QSslCertificate m_cert;
    QSslKey m_key;
    QList<QPointer<Connection>> m_connections;
};

} // namespace PlatformSim

// ---------------------------------------------------------------------------
// Request helpers

namespace {
QString firstValue(const QList<QPair<QString, QString>> &items, const QString &name)
{
    for (const auto &item : items) {
        if (item.first == name)
            return item.second;
    }
    return QString();
}
} // namespace

QString PlatformSimulator::Request::queryValue(const QString &name) const
{
    return firstValue(queryItems, name);
}

QString PlatformSimulator::Request::formValue(const QString &name) const
{
    return firstValue(formFields, name);
}

const PlatformSimulator::Part *PlatformSimulator::Request::part(const QString &name) const
{
    for (const Part &p : parts) {
        if (p.name == name)
            return &p;
    }
    return nullptr;
}

QString PlatformSimulator::Request::field(const QString &name) const
{
    QString value = queryValue(name);
    if (value.isNull())
        value = formValue(name);
    if (value.isNull()) {
        if (const Part *p = part(name))
            value = p->body.isEmpty() ? QString(QLatin1String("")) : p->text();
    }
    return value;
}

// ---------------------------------------------------------------------------
// PlatformSimulator

PlatformSimulator::PlatformSimulator(QObject *parent) : QObject(parent) {}

PlatformSimulator::~PlatformSimulator()
{
    stop();
}

bool PlatformSimulator::start(QString *error, quint16 port)
{
    QString localError;
    if (!error)
        error = &localError;
    if (isRunning()) {
        *error = QStringLiteral("already running");
        return false;
    }
    if (!QSslSocket::supportsSsl()) {
        *error = QStringLiteral("Qt has no TLS support (OpenSSL not loaded)");
        return false;
    }

    Credentials creds;
    if (!makeCredentials(&creds, error))
        return false;
    auto dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/platformsim-XXXXXX"));
    if (!dir->isValid()) {
        *error = QStringLiteral("cannot make a temporary folder: %1").arg(dir->errorString());
        return false;
    }
    const QString caPath = dir->filePath(QStringLiteral("ca.pem"));
    if (!writeFile(caPath, creds.caPem, error)
        || !writeFile(dir->filePath(QStringLiteral("server.pem")), creds.serverPem, error)
        || !writeFile(dir->filePath(QStringLiteral("server-key.pem")), creds.serverKeyPem, error))
        return false;

    const QSslCertificate serverCert(creds.serverPem, QSsl::Pem);
    const QSslKey serverKey(creds.serverKeyPem, QSsl::Ec, QSsl::Pem, QSsl::PrivateKey);
    if (serverCert.isNull() || serverKey.isNull()) {
        *error = QStringLiteral("Qt cannot read the generated certificate or key");
        return false;
    }

    auto *thread = new QThread;
    thread->setObjectName(QStringLiteral("PlatformSimulator"));
    auto *server = new PlatformSim::Server(this, serverCert, serverKey);
    server->moveToThread(thread);
    QObject::connect(thread, &QThread::finished, server, &QObject::deleteLater);
    thread->start();

    bool listening = false;
    QString listenError;
    quint16 boundPort = 0;
    QMetaObject::invokeMethod(server, [&] {
        listening = server->listen(QHostAddress::LocalHost, port);
        if (listening)
            boundPort = server->serverPort();
        else
            listenError = server->errorString();
    }, Qt::BlockingQueuedConnection);
    if (!listening) {
        thread->quit();
        thread->wait();
        delete thread;
        *error = QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(listenError);
        return false;
    }

    m_dir = std::move(dir);
    m_thread = thread;
    m_server = server;
    m_port = boundPort;
    m_caPemPath = caPath;
    m_caCerts = QSslCertificate::fromData(creds.caPem, QSsl::Pem);
    return true;
}

void PlatformSimulator::stop()
{
    if (!m_thread)
        return;
    Q_ASSERT_X(QThread::currentThread() != m_thread, "PlatformSimulator::stop", "called from a handler");
    PlatformSim::Server *server = m_server;
    QMetaObject::invokeMethod(server, [server] {
        server->shutdown();
        delete server;
        // OpenSSL frees a thread's random generators only as the thread
        // exits, after wait() below has returned: free them now, so a
        // process that stops the simulator and ends at once loses nothing.
        OPENSSL_thread_stop();
    }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_server = nullptr;
    m_port = 0;
    m_dir.reset();
    m_caPemPath.clear();
    m_caCerts.clear();
}

bool PlatformSimulator::isRunning() const
{
    return m_thread != nullptr;
}

QString PlatformSimulator::host() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

quint16 PlatformSimulator::port() const
{
    return m_port;
}

QString PlatformSimulator::baseUrl() const
{
    return QStringLiteral("https://") + host();
}

QString PlatformSimulator::caPemPath() const
{
    return m_caPemPath;
}

QList<QSslCertificate> PlatformSimulator::caCertificates() const
{
    return m_caCerts;
}

void PlatformSimulator::exportEnvironment() const
{
    qputenv("VOSTRA_PLATFORM_HOST", host().toUtf8());
    qputenv("VOSTRA_EXTRA_CA", QFile::encodeName(m_caPemPath));
}

void PlatformSimulator::setReply(const QString &path, const Reply &reply)
{
    QMutexLocker lock(&m_mutex);
    m_replies.insert(path, reply);
}

void PlatformSimulator::setHandler(const QString &path, Handler handler)
{
    QMutexLocker lock(&m_mutex);
    if (handler)
        m_handlers.insert(path, std::move(handler));
    else
        m_handlers.remove(path);
}

void PlatformSimulator::setFallbackHandler(Handler handler)
{
    QMutexLocker lock(&m_mutex);
    m_fallback = std::move(handler);
}

void PlatformSimulator::clearReplies()
{
    QMutexLocker lock(&m_mutex);
    m_replies.clear();
    m_handlers.clear();
    m_fallback = nullptr;
}

PlatformSimulator::Reply PlatformSimulator::storageRegion(const QStringList &up, const QStringList &old, int ttlSeconds)
{
    const QJsonObject region{{QStringLiteral("region"), QStringLiteral("z0")},
                             {QStringLiteral("ttl"), ttlSeconds},
                             {QStringLiteral("up"), QJsonObject{{QStringLiteral("domains"), QJsonArray::fromStringList(up)},
                                                                {QStringLiteral("old"), QJsonArray::fromStringList(old)}}}};
    return json(QJsonObject{{QStringLiteral("hosts"), QJsonArray{region}}});
}

PlatformSimulator::Reply PlatformSimulator::json(const QJsonValue &value, int status)
{
    Reply reply;
    reply.status = status;
    if (value.isObject())
        reply.body = QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    else if (value.isArray())
        reply.body = QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    else // a bare scalar: wrap and strip, QJsonDocument holds only containers
        reply.body = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    return reply;
}

QList<PlatformSimulator::Request> PlatformSimulator::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

QList<PlatformSimulator::Request> PlatformSimulator::requestsTo(const QString &path) const
{
    QMutexLocker lock(&m_mutex);
    QList<Request> out;
    for (const Request &r : m_requests) {
        if (r.path == path)
            out.append(r);
    }
    return out;
}

void PlatformSimulator::clearRequests()
{
    QMutexLocker lock(&m_mutex);
    m_requests.clear();
}

bool PlatformSimulator::waitForRequests(int count, int timeoutMs)
{
    QDeadlineTimer deadline(qMax(0, timeoutMs));
    const bool pumpEvents = QThread::currentThread()->eventDispatcher() != nullptr;
    for (;;) {
        {
            QMutexLocker lock(&m_mutex);
            if (m_requests.size() >= count)
                return true;
            if (deadline.hasExpired())
                return false;
            if (!pumpEvents) {
                m_recorded.wait(&m_mutex, deadline);
                continue;
            }
            // Short waits so that this thread's own clients keep running.
            m_recorded.wait(&m_mutex, qMin<qint64>(deadline.remainingTime(), 5));
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

PlatformSimulator::Reply PlatformSimulator::replyFor(const Request &request)
{
    Handler handler;
    {
        QMutexLocker lock(&m_mutex);
        auto h = m_handlers.constFind(request.path);
        if (h != m_handlers.constEnd()) {
            handler = h.value();
        } else {
            auto r = m_replies.constFind(request.path);
            if (r != m_replies.constEnd())
                return r.value();
            handler = m_fallback;
        }
    }
    if (!handler) {
        return json(QJsonObject{{QStringLiteral("code"), 404},
                                {QStringLiteral("message"), QStringLiteral("no reply for %1").arg(request.path)}},
                    404);
    }
    try {
        return handler(request);
    } catch (const std::exception &e) {
        return json(QJsonObject{{QStringLiteral("code"), 500},
                                {QStringLiteral("message"), QString::fromLocal8Bit(e.what())}}, 500);
    }
}

void PlatformSimulator::record(const Request &request)
{
    {
        QMutexLocker lock(&m_mutex);
        m_requests.append(request);
        m_recorded.wakeAll();
    }
    emit requestReceived(request.path);
}
