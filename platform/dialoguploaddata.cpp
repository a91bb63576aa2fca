#include "dialoguploaddata.h"

#include "dataformatthread.h"
#include "dialogdatauploadduplicatecheck.h"
#include "examsession.h"
#include "formsize.h"
#include "messagebox.h"
#include "platformreplies.h"
#include "platformrequest.h"
#include "threaduploaddata.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

namespace {

const char *const kWaitingText = "等待服务器响应，请稍候……";

// A worker that has emitted its last signal ends its thread at once.
void endThread(QThread *thread)
{
    thread->quit();
    thread->wait(5000);
}

} // namespace

DialogUploadData::DialogUploadData(QWidget *parent)
    : QDialog(parent), mainWindow(dynamic_cast<ExamSession *>(parent))
{
    buildForm();
    FormSize::fixAtLeastLayout(this);

    dataThread = new QThread(this);
    dataWorker = new DataFormatThread;
    dataWorker->moveToThread(dataThread);
    uploadThread = new QThread(this);
    uploadWorker = new ThreadUploadData;
    uploadWorker->moveToThread(uploadThread);

    connect(this, &DialogUploadData::startDataFormat, dataWorker, &DataFormatThread::runDataFormat);
    connect(dataWorker, &DataFormatThread::setDataFormatProgress, this, &DialogUploadData::setDataFormatProgress);
    connect(dataWorker, &DataFormatThread::failedDataFormat, this, &DialogUploadData::dataFormatFailed);
    connect(dataWorker, &DataFormatThread::finishedDataFormat, this, &DialogUploadData::finishedDataFormat);
    connect(this, &DialogUploadData::startUploadDataFile, uploadWorker, &ThreadUploadData::upload);
    // The libcurl callback waits until the bar shows its value.
    connect(uploadWorker, &ThreadUploadData::uploadProgress, this, &DialogUploadData::setUploadProgress,
            Qt::BlockingQueuedConnection);
    connect(uploadWorker, &ThreadUploadData::uploadFileFinished, this, &DialogUploadData::uploadFileFinished);
    connect(uploadWorker, &ThreadUploadData::requestResponse, this, &DialogUploadData::requestResponse);
    connect(uploadWorker, &ThreadUploadData::finishedUpload, this, &DialogUploadData::finishedUpload);

    networkManager = new QNetworkAccessManager(this);
    if (mainWindow) {
        uploadUrl = QString::fromUtf8(
            PlatformRequest::customerUrl(mainWindow->customerType, mainWindow->customerCode, QStringLiteral("/client/data"))
                .toEncoded());
    }

    resetForm();
    pushButtonBack->hide();
    pushButtonClose->hide();
    connect(pushButtonStart, &QPushButton::clicked, this, &DialogUploadData::start);
    connect(pushButtonBack, &QPushButton::clicked, this, [this] { stackedWidget->setCurrentIndex(0); });
    connect(pushButtonClose, &QPushButton::clicked, this, &DialogUploadData::accept);
    connect(pushButtonOK, &QPushButton::clicked, this, &DialogUploadData::accept);
}

DialogUploadData::~DialogUploadData()
{
    // Closing is refused while a step runs. Should the dialog go anyway, the
    // post is cancelled and the threads get a bounded time to end. Nothing
    // the workers still report reaches this half-destroyed dialog (no box
    // pops up now); a progress report already waiting for it is dropped,
    // which lets the worker go on.
    disconnect(dataWorker, nullptr, this, nullptr);
    disconnect(uploadWorker, nullptr, this, nullptr);
    uploadWorker->cancel();
    dataThread->quit();
    uploadThread->quit();
    QElapsedTimer clock;
    clock.start();
    while ((dataThread->isRunning() || uploadThread->isRunning()) && clock.elapsed() < 10000) {
        QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
        dataThread->wait(20);
        uploadThread->wait(20);
    }
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    for (QThread *thread : {dataThread, uploadThread}) {
        QObject *worker = thread == dataThread ? static_cast<QObject *>(dataWorker) : uploadWorker;
        if (thread->isRunning()) {
            // Still busy: both go when the thread ends, not under its feet.
            qWarning("DialogUploadData: a worker thread outlives its dialog");
            thread->setParent(nullptr);
            connect(thread, &QThread::finished, worker, &QObject::deleteLater);
            connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        } else {
            delete worker;
        }
    }
}

void DialogUploadData::buildForm()
{
    setObjectName(QStringLiteral("DialogUploadData"));
    setWindowTitle(QStringLiteral("数据上传"));
    setWindowIcon(QIcon(QStringLiteral(":/image/res/images/cloud.png")));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    QFont dialogFont = font();
    dialogFont.setPointSize(14);
    setFont(dialogFont);
    resize(590, 139);

    stackedWidget = new QStackedWidget(this);
    stackedWidget->setObjectName(QStringLiteral("stackedWidget"));

    // Page 0: the two steps.
    auto *pageFormat = new QWidget;
    pageFormat->setObjectName(QStringLiteral("page_data_format_and_upload"));
    auto *label2 = new QLabel(QStringLiteral("数据格式化"), pageFormat);
    label2->setObjectName(QStringLiteral("label_2"));
    progressBarDataFormat = new QProgressBar(pageFormat);
    progressBarDataFormat->setObjectName(QStringLiteral("progressBarDataFormat"));
    auto *label = new QLabel(QStringLiteral("      上传"), pageFormat);
    label->setObjectName(QStringLiteral("label"));
    label->setAlignment(Qt::AlignCenter);
    progressBarUpload = new QProgressBar(pageFormat);
    progressBarUpload->setObjectName(QStringLiteral("progressBarUpload"));
    pushButtonStart = new QPushButton(QStringLiteral("开始"), pageFormat);
    pushButtonStart->setObjectName(QStringLiteral("pushButtonStart"));
    QFont startFont = pushButtonStart->font();
    startFont.setPointSize(20);
    pushButtonStart->setFont(startFont);
    pushButtonOK = new QPushButton(QStringLiteral("关闭"), pageFormat);
    pushButtonOK->setObjectName(QStringLiteral("pushButtonOK"));

    auto *bars = new QGridLayout;
    bars->addWidget(label2, 0, 0);
    bars->addWidget(progressBarDataFormat, 0, 1);
    bars->addWidget(label, 1, 0);
    bars->addWidget(progressBarUpload, 1, 1);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(pushButtonStart);
    buttons->addWidget(pushButtonOK);
    auto *pageFormatLayout = new QHBoxLayout(pageFormat);
    pageFormatLayout->addLayout(bars, 1);
    pageFormatLayout->addLayout(buttons);

    // Page 1: the platform's answer.
    auto *pageWait = new QWidget;
    pageWait->setObjectName(QStringLiteral("page_wait"));
    labelImageServerResponse = new QLabel(pageWait);
    labelImageServerResponse->setObjectName(QStringLiteral("labelImageServerResponse"));
    labelImageServerResponse->setAlignment(Qt::AlignCenter);
    labelImageServerResponse->setScaledContents(false);
    labelImageServerResponse->setFixedSize(64, 64);
    labelInfo = new QLabel(QString::fromUtf8(kWaitingText), pageWait);
    labelInfo->setObjectName(QStringLiteral("labelInfo"));
    labelInfo->setAlignment(Qt::AlignCenter);
    labelInfo->setWordWrap(true);
    pushButtonBack = new QPushButton(QStringLiteral("返回"), pageWait);
    pushButtonBack->setObjectName(QStringLiteral("pushButtonBack"));
    pushButtonClose = new QPushButton(QStringLiteral("关闭"), pageWait);
    pushButtonClose->setObjectName(QStringLiteral("pushButtonClose"));
    auto *answerButtons = new QVBoxLayout;
    answerButtons->addWidget(pushButtonBack);
    answerButtons->addWidget(pushButtonClose);
    auto *pageWaitLayout = new QHBoxLayout(pageWait);
    pageWaitLayout->addWidget(labelImageServerResponse);
    pageWaitLayout->addWidget(labelInfo, 1);
    pageWaitLayout->addLayout(answerButtons);

    stackedWidget->addWidget(pageFormat);
    stackedWidget->addWidget(pageWait);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(stackedWidget);
}

void DialogUploadData::resetForm()
{
    pushButtonStart->setText(QStringLiteral("开始"));
    pushButtonStart->setEnabled(true);
    progressBarDataFormat->setRange(0, mainWindow ? mainWindow->resultTable()->rowCount() : 0);
    progressBarDataFormat->setValue(0);
    progressBarUpload->setRange(0, 100);
    progressBarUpload->setValue(0);
    showStatusPicture(ThreadUploadData::Waiting);
    labelInfo->setText(QString::fromUtf8(kWaitingText));
    stackedWidget->setCurrentIndex(0);
}

void DialogUploadData::showStatusPicture(int status)
{
    const char *path = status == ThreadUploadData::Success ? ":/image/res/images/yes.png"
        : status == ThreadUploadData::Failure              ? ":/image/res/images/no.png"
                                                           : ":/image/res/images/hold-on.png";
    const QPixmap picture(QString::fromLatin1(path));
    labelImageServerResponse->setPixmap(
        picture.scaled(labelImageServerResponse->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

bool DialogUploadData::busy() const
{
    return dataThread->isRunning() || uploadThread->isRunning() || (currentReply && currentReply->isRunning());
}

bool DialogUploadData::mayClose()
{
    if (dataThread->isRunning() || uploadThread->isRunning()) {
        // A stalled platform must not hold the operator here; the dialog
        // stays until the worker has told how the upload ended.
        if (!uploadWorker->cancelRequested()
            && MessageBox::question(this, QStringLiteral("提示"), QStringLiteral("正在上传数据，是否取消本次上传？"),
                                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                == QMessageBox::Yes)
            cancelUpload();
        return false;
    }
    if (currentReply && currentReply->isRunning()) {
        MessageBox::warning(this, QStringLiteral("提示"), QStringLiteral("网络请求未完成"));
        return false;
    }
    return true;
}

void DialogUploadData::accept()
{
    if (mayClose())
        QDialog::accept();
}

void DialogUploadData::reject()
{
    if (mayClose())
        QDialog::reject();
}

void DialogUploadData::start()
{
    // A second press while a step runs would nest another wait or run twice.
    if (!mainWindow || busy())
        return;
    // The tables must hold still while the file is written.
    if (mainWindow->isProcessing()) {
        MessageBox::warning(this, QStringLiteral("提示"), QStringLiteral("正在识别处理，不能上传数据"));
        return;
    }
    if (mainWindow->imagesUploading()) {
        MessageBox::warning(this, QStringLiteral("提示"), QStringLiteral("图片上传未结束，不能上传数据"));
        return;
    }
    if (checkUploadRecord())
        return;
    uploadWorker->clearCancel();
    resetForm();
    m_formatFailure.clear();
    dataWorker->setSources(mainWindow, this);
    dataThread->start();
    emit startDataFormat();
    pushButtonStart->setText(QStringLiteral("请稍候……"));
    pushButtonStart->setEnabled(false);
}

bool DialogUploadData::checkUploadRecord()
{
    PlatformMultipart parts;
    parts.add(QStringLiteral("key"), mainWindow->dataKey)
        .add(QStringLiteral("exam_id"), mainWindow->examId)
        .add(QStringLiteral("school_id"), mainWindow->schoolID);
    const QUrl url = PlatformRequest::customerUrl(mainWindow->customerType, mainWindow->customerCode,
                                                  QStringLiteral("/client/upload-record"));
    currentReply = PlatformRequest::postMultipart(networkManager, url, parts);
    const PlatformReply reply = PlatformRequest::waitAndRead(currentReply);
    currentReply = nullptr;

    if (reply.failed) {
        MessageBox::warning(this, QStringLiteral("提示"), reply.uploadRecordFailureText());
        return true;
    }
    const PlatformReplies::UploadRecord record = PlatformReplies::readUploadRecord(reply);
    switch (record.status) {
    case PlatformReplies::UploadRecord::NotJson:
    case PlatformReplies::UploadRecord::Clear:
        return false;
    case PlatformReplies::UploadRecord::UploadedBefore: {
        const QString who = QStringLiteral("IP：%1 的客户端于 %2 上传过数据了。").arg(record.ip, record.createdAt);
        MessageBox::warning(
            this, QStringLiteral("提示"),
            QStringLiteral("%1\n%2\n%3")
                .arg(who,
                     QStringLiteral("如果要重新上传考试数据：管理员登录平台-》考试管理-》数据和答卷上传信息-》删除由"
                                    "Ardentiq上传的数据"),
                     QStringLiteral("如果要追加上传数据：管理员登录平台-》考试管理-》数据和答卷上传信息-》设置为"
                                    "【允许】追加上传")));
        return true;
    }
    case PlatformReplies::UploadRecord::SomeUploaded: {
        const QStringList &uploaded = record.studentIds;
        const QTableWidget *table = mainWindow->resultTable();
        QList<StudentInfo> duplicates;
        for (int row = 0; row < table->rowCount(); ++row) {
            const QTableWidgetItem *codeItem = table->item(row, 0);
            const StudentInfo info = mainWindow->studentHash.value(codeItem ? codeItem->text() : QString());
            if (uploaded.contains(QString::number(info.id)))
                duplicates.append(info);
        }
        if (duplicates.isEmpty())
            return false;
        DialogDataUploadDuplicateCheck check(duplicates, mainWindow);
        if (check.exec() != QDialog::Accepted)
            return true;
        idsToDelete = check.idsToDelete;
        idsToLeaveOut = check.idsToLeaveOut;
        if (idsToLeaveOut.size() == table->rowCount()) {
            MessageBox::warning(this, QStringLiteral("提示"), QStringLiteral("上传记录为零，无需上传。"));
            return true;
        }
        return false;
    }
    case PlatformReplies::UploadRecord::NotObject:
        MessageBox::warning(this, QStringLiteral("提示"),
                            QStringLiteral("数据未上传。\n") + reply.unreadableText());
        return true;
    case PlatformReplies::UploadRecord::Other:
        // A refusal (a wrong data key, say) is the platform's word: show it.
        MessageBox::warning(this, QStringLiteral("提示"),
                            QStringLiteral("数据未上传。\n%1:%2").arg(record.codeText, record.messageText));
        return true;
    }
    return true;
}

void DialogUploadData::setDataFormatProgress(int value)
{
    progressBarDataFormat->setValue(value);
}

void DialogUploadData::dataFormatFailed(QString reason)
{
    m_formatFailure = reason;
}

void DialogUploadData::finishedDataFormat(QString zipFileName)
{
    endThread(dataThread);
    if (zipFileName.isEmpty()) {
        // Nothing was made, so nothing is sent; the operator learns why.
        finishedUpload();
        MessageBox::warning(this, QStringLiteral("提示"),
                            QStringLiteral("数据文件没有生成，数据未上传。\n") + m_formatFailure);
        return;
    }
    uploadWorker->prepare(mainWindow, this, uploadUrl, zipFileName);
    uploadThread->start();
    emit startUploadDataFile();
}

void DialogUploadData::setUploadProgress(int uploaded, int total)
{
    progressBarUpload->setMaximum(total);
    progressBarUpload->setValue(uploaded);
}

void DialogUploadData::uploadFileFinished()
{
    pushButtonBack->hide();
    pushButtonClose->hide();
    showStatusPicture(ThreadUploadData::Waiting);
    stackedWidget->setCurrentIndex(1);
}

void DialogUploadData::requestResponse(int status, QString msg)
{
    showStatusPicture(status);
    labelInfo->setText(msg);
    if (status == ThreadUploadData::Failure) {
        pushButtonBack->show();
        pushButtonClose->show();
        MessageBox::information(this, QStringLiteral("提示"), msg);
    } else if (status == ThreadUploadData::Success) {
        pushButtonBack->hide();
        pushButtonClose->show();
        MessageBox::information(this, QStringLiteral("提示"), msg);
    } else {
        pushButtonBack->hide();
        pushButtonClose->hide();
    }
}

void DialogUploadData::cancelUpload()
{
    if (dataThread->isRunning() || uploadThread->isRunning())
        uploadWorker->cancel();
}

void DialogUploadData::finishedUpload()
{
    endThread(uploadThread);
    pushButtonStart->setText(QStringLiteral("开始"));
    pushButtonStart->setEnabled(true);
}
