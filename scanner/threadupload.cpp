#include "threadupload.h"

#include "curlglobal.h"
#include "mytablewidget.h"
#include "platformrequest.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QTableWidgetItem>

#include <cmath>
#include <mutex>

namespace {

constexpr int kTimeoutSeconds = 3600;

} // namespace

void UploadQueue::append(const QString &filePath, QTableWidgetItem *item)
{
    QMutexLocker lock(&m_mutex);
    m_entries.append({filePath, item});
}

bool UploadQueue::first(Entry *entry) const
{
    QMutexLocker lock(&m_mutex);
    if (m_entries.isEmpty())
        return false;
    *entry = m_entries.first();
    return true;
}

void UploadQueue::removeFirst()
{
    QMutexLocker lock(&m_mutex);
    if (!m_entries.isEmpty())
        m_entries.removeFirst();
}

bool UploadQueue::isEmpty() const
{
    QMutexLocker lock(&m_mutex);
    return m_entries.isEmpty();
}

int UploadQueue::size() const
{
    QMutexLocker lock(&m_mutex);
    return m_entries.size();
}

bool UploadQueue::contains(const QTableWidgetItem *item) const
{
    QMutexLocker lock(&m_mutex);
    for (const Entry &entry : m_entries) {
        if (entry.item == item)
            return true;
    }
    return false;
}

void UploadQueue::clear()
{
    QMutexLocker lock(&m_mutex);
    m_entries.clear();
}

ThreadUpload::ThreadUpload(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<QTableWidgetItem *>("QTableWidgetItem*");
    if (CurlGlobal::ensure())
        curl = curl_easy_init();
}

ThreadUpload::~ThreadUpload()
{
    if (curl)
        curl_easy_cleanup(curl);
}

void ThreadUpload::setOwner(MyTableWidget *list, const QString &url)
{
    owner = list;
    setQueue(list ? &list->uploadList : nullptr, url);
}

void ThreadUpload::setQueue(UploadQueue *uploadQueue, const QString &url)
{
    queue = uploadQueue;
    uploadUrl = url;
}

void ThreadUpload::upload()
{
    busy = true;
    UploadQueue::Entry entry;
    while (queue && !stopRequested && queue->first(&entry)) {
        currentItem = entry.item;
        curlUpload(entry.filePath);
        // Removed only after the transfer, so the list refuses to delete
        // rows while a file is still on its way.
        queue->removeFirst();
    }
    currentItem = nullptr;
    busy = false;
    emit uploadFinished();
}

QString ThreadUpload::progressText(curl_off_t total, curl_off_t now)
{
    if (total <= 0)
        return QString();
    const float ratio = float(now) / float(total);
    const float rounded = std::round(ratio * 100.0f) / 100.0f;
    return QStringLiteral("%1%").arg(qRound(rounded * 100.0f));
}

int ThreadUpload::progressCallback(void *clientp, curl_off_t, curl_off_t, curl_off_t ultotal, curl_off_t ulnow)
{
    auto *self = static_cast<ThreadUpload *>(clientp);
    const QString text = progressText(ultotal, ulnow);
    if (!text.isEmpty() && text != self->m_lastProgress) {
        self->m_lastProgress = text;
        emit self->updateUploadProgress(self->currentItem, text);
    }
    // Non-zero aborts the transfer.
    return self->stopRequested ? 1 : 0;
}

ThreadUpload::Verdict ThreadUpload::judgeReply(CURLcode result, const QString &curlError, long httpStatus,
                                               const QByteArray &body)
{
    Verdict verdict;
    if (result != CURLE_OK) {
        verdict.message = QStringLiteral("code:%1 info:%2").arg(int(result)).arg(curlError);
        return verdict;
    }
    const bool statusOk = httpStatus >= 200 && httpStatus < 300;
    if (body.isEmpty()) {
        verdict.message = QStringLiteral("未知错误!");
        if (!statusOk)
            verdict.code = int(httpStatus);
        return verdict;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        verdict.message = QStringLiteral("未知错误！\n") + QString::fromUtf8(body);
        if (!statusOk)
            verdict.code = int(httpStatus);
        return verdict;
    }
    if (!document.isObject()) {
        verdict.message = QStringLiteral("上传失败，原因未知。");
        if (!statusOk)
            verdict.code = int(httpStatus);
        return verdict;
    }
    const QJsonObject object = document.object();
    verdict.code = object.value(QStringLiteral("code")).toInt();
    verdict.message = QStringLiteral("%1:%2").arg(verdict.code).arg(object.value(QStringLiteral("msg")).toString());
    verdict.failed = !statusOk;
    if (!statusOk) {
        // The server refused the file, whatever code its body carries.
        verdict.code = int(httpStatus);
        verdict.message = QStringLiteral("%1:%2").arg(httpStatus).arg(object.value(QStringLiteral("msg")).toString());
    }
    return verdict;
}

void ThreadUpload::curlUpload(const QString &filePath)
{
    m_lastProgress.clear();
    auto report = [this](const Verdict &verdict) {
        if (verdict.failed)
            emit updateUploadProgress(currentItem, failedText());
        emit requestResponse(verdict.code, verdict.message);
    };
    if (!curl) {
        report({500, QStringLiteral("code:%1 info:%2").arg(int(CURLE_FAILED_INIT)).arg(curl_easy_strerror(CURLE_FAILED_INIT)), true});
        return;
    }

    curl_easy_reset(curl);
    const QByteArray url = uploadUrl.toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    CurlGlobal::applyTransferDefaults(curl, kTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Pellwyn/Talvenir");
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPIDLE, 60L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPINTVL, 60L);

    // The server's certificate and name are always checked; the PEM file
    // named by VOSTRA_EXTRA_CA is trusted besides the system's CAs.
    QString tlsError;
    if (!CurlGlobal::applyTls(curl, &tlsError)) {
        report({500, QStringLiteral("code:%1 info:%2").arg(int(CURLE_SSL_CACERT_BADFILE)).arg(tlsError), true});
        return;
    }

    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &ThreadUpload::progressCallback);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    CurlGlobal::ReplyBuffer reply(kMaxReplyBytes);
    reply.attach(curl);
    char errorBuffer[CURL_ERROR_SIZE] = {0};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);

    curl_mime *form = curl_mime_init(curl);
    auto addText = [form](const char *name, const QString &value) {
        curl_mimepart *part = curl_mime_addpart(form);
        curl_mime_name(part, name);
        curl_mime_data(part, value.toLocal8Bit().constData(), CURL_ZERO_TERMINATED);
    };
    addText("key", QStringLiteral("plume-harbor"));
    addText("exam_id", QStringLiteral("100"));
    addText("version", QStringLiteral("1.0"));
    curl_mimepart *filePart = curl_mime_addpart(form);
    curl_mime_name(filePart, "file");
    const CURLcode fileSet = curl_mime_filedata(filePart, QFile::encodeName(filePath).constData());
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, form);

    CURLcode result = fileSet;
    if (result == CURLE_OK)
        result = curl_easy_perform(curl);
    long httpStatus = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &httpStatus);
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, nullptr);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    curl_mime_free(form);

    QString curlError = QString::fromLocal8Bit(errorBuffer);
    if (curlError.isEmpty())
        curlError = QString::fromUtf8(curl_easy_strerror(result));
    report(judgeReply(result, curlError, httpStatus, reply.data));
}
