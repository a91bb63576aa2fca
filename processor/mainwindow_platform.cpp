// The main window's platform requests: the start-up key check, the account
// command, the student roster and the image-storage credentials.

#include "mainwindow.h"

#include "dialogaccount.h"
#include "messagebox.h"
#include "mytablewidgetresult.h"
#include "platformreplies.h"
#include "platformrequest.h"
#include "settingsfile.h"

#include <QNetworkAccessManager>
#include <QSettings>

namespace {

const QString kSchool = QStringLiteral("school");

} // namespace

QTableWidget *MainWindow::resultTable() const
{
    return tableWidgetResults;
}

bool MainWindow::imagesUploading() const
{
    return tableWidgetResults && tableWidgetResults->uploading;
}

void MainWindow::checkUploadKey()
{
    bool ask = false;
    // A customer code that cannot name the data file is no account; the
    // platform would refuse it as well.
    if (!PlatformRequest::isSafeIdentifier(customerCode)) {
        ask = true;
    } else {
        auto *manager = new QNetworkAccessManager(this);
        PlatformForm form;
        form.add(QStringLiteral("key"), dataKey);
        if (customerType != kSchool)
            form.addBytes(QStringLiteral("school_name"), schoolName.toLocal8Bit());
        const PlatformReply reply = PlatformRequest::postAndRead(
            manager, PlatformRequest::customerUrl(customerType, customerCode, QStringLiteral("/client/key-check")),
            form);
        manager->deleteLater();

        if (reply.failed) {
            ask = true;
        } else {
            const PlatformReplies::KeyCheck check = PlatformReplies::readKeyCheck(reply);
            switch (check.outcome) {
            case PlatformReplies::KeyCheck::Refused:
                schoolID = QStringLiteral("-1");
                ask = true;
                break;
            case PlatformReplies::KeyCheck::Verified:
                schoolID = check.schoolId;
                break;
            case PlatformReplies::KeyCheck::BadSchoolId:
                // Unusable as a school id: keep the stored one, as for an unreadable reply.
                addLog(QStringLiteral("考试平台返回的学校编号无效：%1").arg(check.message));
                break;
            case PlatformReplies::KeyCheck::NotJson:
            case PlatformReplies::KeyCheck::NotObject:
                break;
            }
        }
    }
    if (!ask)
        return;

    const auto answer = MessageBox::withButtonTexts(
        nullptr, QMessageBox::Warning, QStringLiteral("提示"),
        QStringLiteral("发现还没有正确设置上传密钥，是否立即设置？"),
        {{QMessageBox::Yes, QStringLiteral("是")}, {QMessageBox::No, QStringLiteral("不")}});
    if (answer != QMessageBox::Yes)
        return;
    DialogAccount dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        readSettings();
}

void MainWindow::account()
{
    if (refuseWhileOpeningExam())
        return;
    // Settings members must not change under running workers.
    if (isProcessing()) {
        addLog(QStringLiteral("正在识别处理，不能完成本操作"));
        return;
    }
    if (tableWidgetResults->uploading) {
        addLog(QStringLiteral("正在上传图片，不能完成本操作"));
        return;
    }
    DialogAccount dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        readSettings();
}

void MainWindow::getStudentInfo(QString gradeId)
{
    addLog(QStringLiteral("开始获取学生信息..."));
    studentMap.clear();
    studentHash.clear();

    PlatformForm query;
    query.add(QStringLiteral("grade_id"), gradeId);
    if (customerType != kSchool)
        query.add(QStringLiteral("school_id"), schoolID);
    PlatformForm form;
    form.add(QStringLiteral("key"), dataKey);
    const PlatformReply reply = PlatformRequest::postAndRead(
        networkManager, PlatformRequest::customerUrl(customerType, customerCode, QStringLiteral("/client/student"), query),
        form);
    if (reply.failed) {
        if (!quitRequested) // the window was closed: no box for the ended wait
            MessageBox::warning(this, QStringLiteral("提示"), reply.bareFailureText());
        return;
    }

    for (const StudentInfo &student : PlatformReplies::readRoster(reply)) {
        studentMap.insert(student.code, student);
        studentHash.insert(student.code, student);
    }
    addLog(QStringLiteral("获取学生信息成功。数量：") + QString::number(studentHash.size()));
}

bool MainWindow::getUploadToken(QString customerType, QString customerCode, QString key, MyUpload *upload)
{
    if (!upload)
        return false;
    QString server;
    QString bucket;
    {
        const auto settings = openSettingsFile();
        server = settingText(*settings, SettingKeys::CloudStorageServer);
        bucket = settingText(*settings, SettingKeys::BucketName);
    }

    PlatformMultipart parts;
    parts.add(QStringLiteral("key"), key);
    parts.add(QStringLiteral("cloud_storage_server"), server);
    parts.add(QStringLiteral("bucket_name"), bucket);
    const PlatformReply reply = PlatformRequest::postAndRead(
        networkManager, PlatformRequest::customerUrl(customerType, customerCode, QStringLiteral("/client/upload-token")),
        parts);
    if (reply.failed) {
        if (!quitRequested) // the window was closed: no box for the ended wait
            MessageBox::warning(this, QStringLiteral("提示"), reply.bareFailureText());
        return false;
    }
    const PlatformReplies::UploadToken token = PlatformReplies::readUploadToken(reply);
    switch (token.status) {
    case PlatformReplies::UploadToken::Unreadable:
        addLog(QStringLiteral("上传令牌的回复无法识别"));
        return false;
    case PlatformReplies::UploadToken::UnknownKind:
        addLog(QStringLiteral("上传令牌的存储类型未知：%1").arg(token.cloudServer));
        return false;
    case PlatformReplies::UploadToken::Incomplete:
        addLog(QStringLiteral("上传令牌不完整或无效：%1").arg(token.missing.join(QStringLiteral(", "))));
        return false;
    case PlatformReplies::UploadToken::Complete:
        break;
    }
    upload->cloudServer = token.cloudServer;
    if (token.cloudServer == 0) {
        upload->uploadToken = token.uploadToken;
        upload->qiniuBucketName = token.bucketName;
        upload->qiniuDomain = token.domain;
    } else {
        upload->ossBucketName = token.bucketName;
        upload->accessKeyId = token.accessKeyId;
        upload->accessKeySecret = token.accessKeySecret;
        upload->endpoint = token.endpoint;
        upload->ossDomain = token.domain;
    }
    return true;
}
