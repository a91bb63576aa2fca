#pragma once
// Image storage of the opened exam: which store the platform named and its
// credentials, filled by the upload-credential request, and the per-file
// uploads to the stores and to the local image server.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>

class BucketStorageClient;
class TokenStorageClient;

class MyUpload : public QObject {
    Q_OBJECT
public:
    explicit MyUpload(QObject *parent = nullptr);
    ~MyUpload() override;

    // 0: the token storage service (form upload), 1: the bucket storage
    // service (signed PUT).
    int cloudServer = 0;

    QString qiniuBucketName;
    QString uploadToken;
    QString qiniuDomain;

    QString ossBucketName;
    QString accessKeyId;
    QString accessKeySecret;
    QString endpoint;
    QString ossDomain;

    // Time limit of one object store transfer.
    int storageTimeoutSeconds = 60;
    // When set and true, running transfers are abandoned (the pool is going away).
    const std::atomic<bool> *cancel = nullptr;

    // Kind and credentials of `other` (an upload thread works on its own copy).
    void copyCredentialsFrom(const MyUpload &other);

    // Posts the file to the local image server ("/upload.php" under the
    // server address is `url`): ok with the server's "path" in `result`, or
    // not ok with the reason in `result`.
    void uploadFileToServer(QString url, QString password, QString examId, int timeoutSeconds, QString localPath,
                            bool *ok, QString *result);
    // Form upload with the upload token and the given key (empty: the service
    // names the object). True with the returned hash in `result`; false with
    // "原因：%1".
    bool putFileToQiniu(TokenStorageClient *client, QString key, QString localPath, QString *result);
    // Stores the file under makeObjectKey's key. True with the key in
    // `result`; false with "原因：%1%2". A `client` made for the current
    // endpoint and keys may be passed in to keep its connection; without one
    // a client is made for this call.
    bool putObjectToOss(QString localPath, QString examId, QString *result, BucketStorageClient *client = nullptr);
    // "%1-%2-%3-%4.%5": 16 hex digits of the content's MD5, exam id, the
    // millisecond part of the file's creation time, size, suffix. "failed"
    // when the file cannot be read.
    static QString makeObjectKey(QString examId, QString localPath);
    // The same key for bytes already read from `localPath`.
    static QString objectKeyFor(const QString &examId, const QString &localPath, const QByteArray &content);

    // What is wrong with a stored image's path as a store returned it, to be
    // put after the store's address; empty when it is usable. A path that is
    // absolute, carries a scheme or leaves the image folder ("..", "\\",
    // also percent-encoded) would send the markers' browsers elsewhere.
    static QString storedPathProblem(const QString &path);
    // The same for a whole link ("https://server/folder/path"): its path on
    // the server must stay where it points.
    static QString linkProblem(const QString &link);

    // Reads the whole file; false with the reason when it cannot be opened,
    // is empty, or reading ends short. An image is never uploaded from a
    // partial read.
    static bool readImageFile(const QString &localPath, QByteArray *content, QString *reason);

    void initOss();
    void shutdownOss();

private:
    bool m_ossReady = false;
};
