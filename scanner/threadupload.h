#pragma once
// Posts queued image files one by one to the platform's upload service as a
// multipart form, on a thread of its own. The server's certificate is always
// verified (the PEM file named by VOSTRA_EXTRA_CA is trusted in addition to
// the system's CAs).

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QString>

#include <atomic>

#include <curl/curl.h>

class MyTableWidget;
class QTableWidgetItem;

// The files waiting for upload, in order of addition: appended on the GUI
// thread, read and shortened on the upload thread, hence the lock. The status
// items are only carried back to the GUI thread, never touched here.
class UploadQueue {
public:
    struct Entry {
        QString filePath;
        QTableWidgetItem *item = nullptr;
    };

    void append(const QString &filePath, QTableWidgetItem *item);
    // The first entry without removing it; false when empty.
    bool first(Entry *entry) const;
    void removeFirst();
    bool isEmpty() const;
    int size() const;
    bool contains(const QTableWidgetItem *item) const;
    void clear();

private:
    mutable QMutex m_mutex;
    QList<Entry> m_entries;
};

class ThreadUpload : public QObject {
    Q_OBJECT
public:
    explicit ThreadUpload(QObject *parent = nullptr);
    ~ThreadUpload() override;

    // The list whose queue is drained and the URL posted to.
    void setOwner(MyTableWidget *owner, const QString &url);
    // The same with a bare queue (the list's own one, or another).
    void setQueue(UploadQueue *queue, const QString &url);

    // Reply bodies longer than this end the transfer with an error.
    static constexpr qint64 kMaxReplyBytes = 1 << 20;

    CURL *curl = nullptr;
    MyTableWidget *owner = nullptr;
    UploadQueue *queue = nullptr;
    QString uploadUrl;
    QTableWidgetItem *currentItem = nullptr;
    std::atomic<bool> busy{false};
    // Set from any thread: the drain stops after the current file and a
    // running transfer is aborted.
    std::atomic<bool> stopRequested{false};

    static int progressCallback(void *clientp, curl_off_t dltotal, curl_off_t dlnow,
                                curl_off_t ultotal, curl_off_t ulnow);

    // "46%" for 0.456; empty when there is nothing to report.
    static QString progressText(curl_off_t total, curl_off_t now);
    // The verdict on a finished request: code and message. A libcurl error or
    // an HTTP status outside 2xx is a failure whatever the body says.
    struct Verdict {
        int code = 500;
        QString message;
        bool failed = true;
    };
    static Verdict judgeReply(CURLcode result, const QString &curlError, long httpStatus,
                              const QByteArray &body);
    // Shown in the status item instead of the tick when a file did not arrive.
    static QString failedText() { return QStringLiteral("失败"); }

public slots:
    void upload();
    void curlUpload(const QString &filePath);

signals:
    void updateUploadProgress(QTableWidgetItem *item, QString info);
    void uploadFinished();
    void requestResponse(int code, QString message);

private:
    QString m_lastProgress; // of the current request: only changes are reported
};
