#pragma once
// Posts the zipped results data file to the platform with libcurl, on the
// upload dialog's second thread. The form values are copied on the GUI
// thread by prepare, so the transfer reads no widget and no window member.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <curl/curl.h>

#include <atomic>

class DialogUploadData;
class ExamSession;

class ThreadUploadData : public QObject {
    Q_OBJECT
public:
    // Values of requestResponse's status.
    enum Status { Waiting = 0, Success = 1, Failure = 2 };

    explicit ThreadUploadData(QObject *parent = nullptr);

    // GUI thread, before each run: the target, the zip to send, and the text
    // parts in their order (key, code, exam_id, school_id, student_count,
    // version, and student_ids_need_delete when the dialog has ids to delete).
    void prepare(ExamSession *window, DialogUploadData *uploadDialog, const QString &url, const QString &zip);
    // Any thread: a running post ends at its next progress report.
    void cancel() { m_cancelled = true; }

    static constexpr const char *kUserAgent = "Ardentiq/Talvenir";
    static constexpr long kTimeoutSeconds = 3600;

    ExamSession *mainWindow = nullptr;
    DialogUploadData *dialog = nullptr;
    QString uploadUrl;
    QString zipPath;

signals:
    void uploadProgress(int ulnow, int ultotal);
    void uploadFileFinished();
    void finishedUpload();
    void requestResponse(int status, QString msg);

public slots:
    void upload();

private:
    static int progressCallback(void *self, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal, curl_off_t ulnow);
    static size_t writeCallback(char *data, size_t size, size_t count, void *buffer);
    // Runs the post; returns the status and fills `message`.
    int post(QString &message);

    QList<QPair<QByteArray, QByteArray>> m_fields;
    bool m_fileSent = false;
    std::atomic<bool> m_cancelled{false};
};
