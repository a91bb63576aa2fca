// The main window's platform requests: the start-up key check, the account
// command, the student roster and the image-storage credentials.

#include "mainwindow.h"

#include "dialogaccount.h"
#include "messagebox.h"
#include "mytablewidgetresult.h"
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
        } else if (reply.isObject()) {
            const QJsonObject object = reply.object();
            const QString message = PlatformReply::textValue(object, QStringLiteral("message"));
            if (PlatformReply::intValue(object, QStringLiteral("code")) != 200) {
                schoolID = QStringLiteral("-1");
                ask = true;
            } else if (PlatformRequest::isSafeIdentifier(message)) {
                schoolID = message;
            } else {
                // Unusable as a school id: keep the stored one, as for an unreadable reply.
                addLog(QStringLiteral("考试平台返回的学校编号无效：%1").arg(message));
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

    if (reply.isArray()) {
        for (const QJsonValue &element : reply.array()) {
            // Only students with a code can ever be looked up; an empty code
            // would match every sheet whose code was not read.
            if (!element.isObject())
                continue;
            const QJsonObject object = element.toObject();
            StudentInfo student;
            student.realname = PlatformReply::textValue(object, QStringLiteral("realname"));
            student.code = PlatformReply::textValue(object, QStringLiteral("code"));
            student.className = PlatformReply::textValue(object, QStringLiteral("class"));
            bool ok = false;
            student.id = PlatformReply::textValue(object, QStringLiteral("id")).toInt(&ok, 10);
            if (!ok)
                student.id = 0;
            if (student.code.isEmpty())
                continue;
            studentMap.insert(student.code, student);
            studentHash.insert(student.code, student);
        }
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
    if (!reply.isObject()) {
        addLog(QStringLiteral("上传令牌的回复无法识别"));
        return false;
    }

    const QJsonObject object = reply.object();
    auto text = [&object](const char *name) { return PlatformReply::textValue(object, QLatin1String(name)); };
    const int kind = PlatformReply::intValue(object, QStringLiteral("cloud_server"));

    // Credentials count only when everything the store needs is there; a
    // half-filled reply would make every image upload fail later.
    QStringList missing;
    auto require = [&missing](const QString &value, const char *name) {
        if (value.trimmed().isEmpty())
            missing << QLatin1String(name);
    };
    // A bucket name becomes part of a host name or object path.
    auto checkBucket = [&missing](const QString &value) {
        if (!value.isEmpty() && !PlatformRequest::isSafeIdentifier(value))
            missing << QStringLiteral("bucket_name");
    };

    if (kind == 0) {
        const QString token = text("upload_token");
        const QString bucketName = text("bucket_name");
        const QString domain = text("domain_binded");
        require(token, "upload_token");
        require(domain, "domain_binded");
        checkBucket(bucketName);
        if (!missing.isEmpty()) {
            addLog(QStringLiteral("上传令牌不完整或无效：%1").arg(missing.join(QStringLiteral(", "))));
            return false;
        }
        upload->cloudServer = 0;
        upload->uploadToken = token;
        upload->qiniuBucketName = bucketName;
        upload->qiniuDomain = domain;
        return true;
    }
    if (kind == 1) {
        const QString bucketName = text("bucket_name");
        const QString keyId = text("access_key_id");
        const QString keySecret = text("access_key_secret");
        const QString endpoint = text("endpoint");
        const QString domain = text("domain_binded");
        require(bucketName, "bucket_name");
        require(keyId, "access_key_id");
        require(keySecret, "access_key_secret");
        require(endpoint, "endpoint");
        require(domain, "domain_binded");
        checkBucket(bucketName);
        if (!missing.isEmpty()) {
            addLog(QStringLiteral("上传令牌不完整或无效：%1").arg(missing.join(QStringLiteral(", "))));
            return false;
        }
        upload->cloudServer = 1;
        upload->ossBucketName = bucketName;
        upload->accessKeyId = keyId;
        upload->accessKeySecret = keySecret;
        upload->endpoint = endpoint;
        upload->ossDomain = domain;
        return true;
    }
    addLog(QStringLiteral("上传令牌的存储类型未知：%1").arg(kind));
    return false;
}
