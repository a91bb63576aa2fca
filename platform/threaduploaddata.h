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
    // Any thread: a running post ends at its next progress report (libcurl
    // reports at least once a second, also while it waits for the reply); a
    // post not yet begun is not made. Either way the run ends with Failure
    // and cancelledText.
    void cancel() { m_cancelled = true; }
    // GUI thread, before a new run: forget a cancel of an earlier run.
    void clearCancel() { m_cancelled = false; }
    bool cancelRequested() const { return m_cancelled; }

    // "上传已取消，数据未上传。", or, when the whole file had gone out, a
    // warning that the platform may have it.
    static QString cancelledText(bool fileSent);

    static constexpr const char *kUserAgent = "Ardentiq/Talvenir";
    static constexpr long kTimeoutSeconds = 3600;
    // A post that moves less than a byte a second for this long has
    // stalled and ends; the total limit alone would hold the operator for an
    // hour.
    static constexpr long kStallSeconds = 60;
    long stallSeconds = kStallSeconds;

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
    // Runs the post; returns the status and fills `message`.
    int post(QString &message);

    QList<QPair<QByteArray, QByteArray>> m_fields;
    std::atomic<bool> m_fileSent{false};
    std::atomic<bool> m_cancelled{false};
};
