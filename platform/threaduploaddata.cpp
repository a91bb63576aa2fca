#include "threaduploaddata.h"

#include "curlglobal.h"
#include "dialoguploaddata.h"
#include "examsession.h"
#include "platformrequest.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QTableWidget>

#include <memory>

namespace {

const char *const kVersionName = "4.2";

QString curlFailure(CURLcode code)
{
    return QStringLiteral("code:%1 info:%2").arg(int(code)).arg(QString::fromLocal8Bit(curl_easy_strerror(code)));
}

// What a failure after the whole file went out means for the operator.
const char *const kMayHaveArrived = "数据文件已全部发出，平台可能已经收到，请先在平台上核对上传记录。";

} // namespace

QString ThreadUploadData::cancelledText(bool fileSent)
{
    return fileSent ? QStringLiteral("上传已取消。") + QString::fromUtf8(kMayHaveArrived)
                    : QStringLiteral("上传已取消，数据未上传。");
}

ThreadUploadData::ThreadUploadData(QObject *parent) : QObject(parent) {}

void ThreadUploadData::prepare(ExamSession *window, DialogUploadData *uploadDialog, const QString &url,
                               const QString &zip)
{
    mainWindow = window;
    dialog = uploadDialog;
    uploadUrl = url;
    zipPath = zip;
    // Multipart values go as they are, in the local 8-bit code page.
    m_fields = {
        {"key", window->dataKey.toLocal8Bit()},
        {"code", window->customerCode.toLocal8Bit()},
        {"exam_id", window->examId.toLocal8Bit()},
        {"school_id", window->schoolID.toLocal8Bit()},
        {"student_count", QByteArray::number(window->resultTable()->rowCount())},
        {"version", QByteArray(kVersionName)},
    };
    if (uploadDialog && !uploadDialog->idsToDelete.isEmpty())
        m_fields.append({"student_ids_need_delete", uploadDialog->idsToDelete.join(QLatin1Char(',')).toLocal8Bit()});
}

void ThreadUploadData::upload()
{
    if (zipPath.isEmpty()) {
        emit finishedUpload();
        return;
    }
    QString message;
    const int status = post(message);
    emit requestResponse(status, message);
    QFile::remove(zipPath);
    emit finishedUpload();
}

int ThreadUploadData::post(QString &message)
{
    m_fileSent = false;
    // A cancel that came before the transfer holds: nothing is sent.
    if (m_cancelled) {
        message = cancelledText(false);
        return Failure;
    }
    if (!CurlGlobal::ensure()) {
        message = curlFailure(CURLE_FAILED_INIT);
        return Failure;
    }
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), &curl_easy_cleanup);
    if (!handle) {
        message = curlFailure(CURLE_FAILED_INIT);
        return Failure;
    }
    CURL *curl = handle.get();
    std::unique_ptr<curl_mime, decltype(&curl_mime_free)> mime(curl_mime_init(curl), &curl_mime_free);
    for (const auto &field : qAsConst(m_fields)) {
        curl_mimepart *part = curl_mime_addpart(mime.get());
        curl_mime_name(part, field.first.constData());
        curl_mime_data(part, field.second.constData(), size_t(field.second.size()));
    }
    curl_mimepart *filePart = curl_mime_addpart(mime.get());
    curl_mime_name(filePart, "file");
    const CURLcode fileResult = curl_mime_filedata(filePart, QFile::encodeName(zipPath).constData());
    if (fileResult != CURLE_OK) {
        message = curlFailure(fileResult);
        return Failure;
    }
    curl_mime_filename(filePart, QFileInfo(zipPath).fileName().toLocal8Bit().constData());

    CurlGlobal::ReplyBuffer reply(PlatformRequest::kMaxReplyBytes);
    const QByteArray url = uploadUrl.toLocal8Bit();
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPIDLE, 60L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPINTVL, 60L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, stallSeconds);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &ThreadUploadData::progressCallback);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    reply.attach(curl);
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime.get());
    QString tlsError;
    if (!CurlGlobal::applyTls(curl, &tlsError)) {
        message = curlFailure(CURLE_SSL_CACERT_BADFILE) + QLatin1Char('\n') + tlsError;
        return Failure;
    }

    const CURLcode result = curl_easy_perform(curl);
    if (result == CURLE_ABORTED_BY_CALLBACK && m_cancelled) {
        message = cancelledText(m_fileSent);
        return Failure;
    }
    if (reply.exceeded(result)) {
        message = PlatformRequest::replyTooLargeText();
        return Failure;
    }
    if (result != CURLE_OK) {
        message = curlFailure(result);
        if (result == CURLE_OPERATION_TIMEDOUT)
            message += QLatin1Char('\n') + QStringLiteral("网络传输停滞或超时，上传已中止。");
        if (m_fileSent)
            message += QLatin1Char('\n') + QString::fromUtf8(kMayHaveArrived);
        return Failure;
    }
    long httpStatus = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &httpStatus);
    if (httpStatus >= 300 && httpStatus < 400) {
        // Not followed (HTTPS only): the data went nowhere it should.
        char *location = nullptr;
        curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location);
        message = QStringLiteral("code:%1 info:%2")
                      .arg(httpStatus)
                      .arg(PlatformRequest::redirectRefusedText(location ? QString::fromUtf8(location) : QString()));
        return Failure;
    }
    const QByteArray &body = reply.data;
    if (body.isEmpty()) {
        message = QStringLiteral("未知错误！");
        return Failure;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        message = QStringLiteral("未知错误！\n") + QString::fromUtf8(body);
        return Failure;
    }
    if (!document.isObject()) {
        message = QStringLiteral("上传失败，原因未知。");
        return Failure;
    }
    const QJsonObject object = document.object();
    const QJsonValue codeValue = object.value(QStringLiteral("code"));
    if (!codeValue.isDouble()) {
        message = QStringLiteral("上传失败，原因未知。\n") + PlatformReply::fromBody(int(httpStatus), body).unreadableText();
        return Failure;
    }
    const int code = codeValue.toInt(0);
    message = QStringLiteral("%1:%2").arg(code).arg(PlatformReply::anyText(object.value(QStringLiteral("msg"))));
    return code == 200 ? Success : Failure;
}

int ThreadUploadData::progressCallback(void *self, curl_off_t, curl_off_t, curl_off_t ultotal, curl_off_t ulnow)
{
    auto *worker = static_cast<ThreadUploadData *>(self);
    // Noted before a cancel is obeyed: the cancel's message depends on it.
    // libcurl keeps calling while it waits for the reply; the page turns once.
    const bool justSent = ulnow != 0 && ulnow == ultotal && !worker->m_fileSent;
    if (justSent)
        worker->m_fileSent = true;
    if (worker->m_cancelled)
        return 1;
    if (ultotal == 0 && ulnow == 0)
        return 0;
    emit worker->uploadProgress(int(ulnow), int(ultotal));
    if (justSent)
        emit worker->uploadFileFinished();
    return 0;
}
