#include "dialogupgradeinfo.h"
#include "ui_dialogupgradeinfo.h"

#include "messagebox.h"
#include "myreplytimeout.h"
#include "platformrequest.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QThread>

#include <cstdio>
#include <cstdlib>

DialogUpgradeInfo::Program DialogUpgradeInfo::ardentiq()
{
    return {QStringLiteral("ardentiq"), QStringLiteral("4.2"), 5000, true};
}

DialogUpgradeInfo::Program DialogUpgradeInfo::lumbrisk()
{
    return {QStringLiteral("lumbrisk"), QStringLiteral("4.1"), 5000, false};
}

DialogUpgradeInfo::Program DialogUpgradeInfo::pellwyn()
{
    return {QStringLiteral("pellwyn"), QStringLiteral("1.0"), 0, false};
}

QString DialogUpgradeInfo::versionCode()
{
    return QStringLiteral("2025052800");
}

DialogUpgradeInfo::DialogUpgradeInfo(const Program &program, QWidget *parent)
    : QDialog(parent), ui(new Ui::DialogUpgradeInfo), m_program(program)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    m_manager = new QNetworkAccessManager(this);
    ui->labelVersionNameNow->setText(m_program.versionName);
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogUpgradeInfo::accept);
    connect(ui->pushButtonCancel, &QPushButton::clicked, this, &DialogUpgradeInfo::reject);
    ui->pushButtonOK->hide();
    ui->pushButtonCancel->hide();

    applicationDir = QCoreApplication::applicationDirPath();
    mainExe = QCoreApplication::applicationFilePath();
    exitProgram = [](int code) {
        // No clean-up: the updater is about to replace this program's files.
        std::fflush(nullptr);
        std::_Exit(code);
    };
}

DialogUpgradeInfo::~DialogUpgradeInfo()
{
    delete ui;
}

void DialogUpgradeInfo::checkUpgrade()
{
    m_timedOut = false;
    m_upgrade = QJsonObject();
    PlatformForm form;
    form.add(QStringLiteral("version_code"), versionCode());
    form.add(QStringLiteral("version_name"), m_program.versionName);
    QNetworkReply *reply = PlatformRequest::postForm(m_manager, PlatformRequest::upgradeUrl(m_program.word), form);
    if (m_program.timeoutMs > 0) {
        auto *guard = new MyReplyTimeout(reply, m_program.timeoutMs);
        connect(guard, &MyReplyTimeout::timeout, this, &DialogUpgradeInfo::recordTimeout);
    }
    // User input waits too, so no second check starts from this window.
    const PlatformReply result = PlatformRequest::waitAndRead(reply, QEventLoop::ExcludeUserInputEvents);

    if (result.failed) {
        MessageBox::information(nullptr, QStringLiteral("提示"),
                                m_timedOut ? QStringLiteral("请求超时。") : result.codeFailureText());
        return;
    }
    if (m_program.debugReply)
        qDebug() << "get finished ! " << QString::fromUtf8(result.body);
    if (!result.json) {
        MessageBox::information(nullptr, QStringLiteral("提示"), QStringLiteral("远程服务器错误。"));
        return;
    }
    const Reply answer = readReply(result);
    if (answer.code == 200) {
        m_upgrade = answer.upgrade;
        if (answer.createdAt.isValid()) {
            ui->labelVersionNameUpgrade->setText(QStringLiteral("%1（发布于 %2）")
                                                     .arg(answer.versionName,
                                                          answer.createdAt.toString(QStringLiteral("yyyy/MM/dd"))));
        } else {
            ui->labelVersionNameUpgrade->setText(answer.versionName);
        }
        ui->textEditInfo->setHtml(answer.info);
        ui->pushButtonOK->show();
        ui->pushButtonCancel->show();
        exec();
    } else if (answer.code == 201) {
        ui->labelVersionNameUpgrade->setText(m_program.versionName);
        ui->textEditInfo->setPlainText(answer.message);
        ui->pushButtonOK->hide();
        ui->pushButtonCancel->show();
        exec();
    } else {
        close();
    }
}

DialogUpgradeInfo::Reply DialogUpgradeInfo::readReply(const PlatformReply &reply)
{
    Reply out;
    const QJsonObject object = reply.object();
    out.code = PlatformReply::intValue(object, QStringLiteral("code"));
    if (out.code == 200) {
        out.upgrade = PlatformReply::objectValue(object, QStringLiteral("message"));
        out.versionName = PlatformReply::textValue(out.upgrade, QStringLiteral("version_name"));
        out.createdAt = QDateTime::fromString(PlatformReply::textValue(out.upgrade, QStringLiteral("created_at")),
                                              QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        out.info = PlatformReply::textValue(out.upgrade, QStringLiteral("info"));
    } else if (out.code == 201) {
        out.message = PlatformReply::textValue(object, QStringLiteral("message"));
    }
    return out;
}

QString DialogUpgradeInfo::updaterArgument() const
{
    QJsonObject object;
    object.insert(QStringLiteral("version_code_now"), versionCode());
    object.insert(QStringLiteral("version_name_now"), m_program.versionName);
    object.insert(QStringLiteral("main_exe"), QFileInfo(mainExe).absoluteFilePath());
    object.insert(QStringLiteral("upgrade"), m_upgrade);
    const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return QString::fromLatin1(qCompress(json, 9).toBase64());
}

bool DialogUpgradeInfo::startUpdater()
{
    const QDir dir(applicationDir);
    const QString updater = dir.filePath(QStringLiteral("Upgrade.exe"));
    const QString copy = dir.filePath(QStringLiteral("Upgrade_temp.exe"));
    // The updater replaces itself too, so it runs from a copy.
    if (QFile::exists(copy) && !QFile::remove(copy))
        return false;
    if (!QFile::copy(updater, copy))
        return false;
    return QProcess::startDetached(copy, {updaterArgument()}, dir.absolutePath());
}

void DialogUpgradeInfo::accept()
{
    if (busyReason) {
        const QString reason = busyReason();
        if (!reason.isEmpty()) {
            MessageBox::information(this, QStringLiteral("提示"), reason);
            return;
        }
    }
    if (!startUpdater()) {
        MessageBox::information(this, QStringLiteral("提示"), QStringLiteral("启动升级程序失败"));
        return;
    }
    QThread::msleep(500);
    exitProgram(0);
    // Only reached when the exit step was replaced.
    QDialog::accept();
}

void DialogUpgradeInfo::reject()
{
    QDialog::reject();
}
