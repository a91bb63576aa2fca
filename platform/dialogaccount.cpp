#include "dialogaccount.h"
#include "ui_dialogaccount.h"

#include "inifile.h"
#include "messagebox.h"
#include "platformreplies.h"
#include "platformrequest.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSettings>

namespace {

const QString kUnion = QStringLiteral("union");
const QString kSchool = QStringLiteral("school");

// The customer code names the results data file, so it must be usable as
// part of a file name.
QString customerCodeRefusal()
{
    return QStringLiteral("用户编码只能由字母、数字、“-”和“_”组成");
}

} // namespace

DialogAccount::DialogAccount(QWidget *parent)
    : QDialog(parent), ui(new Ui::DialogAccount)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    showSchoolName(false);
    m_verified = false;
    loadSettings();
    connect(ui->comboBoxCustomerType, &QComboBox::currentTextChanged, this,
            [this](const QString &text) { showSchoolName(text == kUnion); });
    connect(ui->pushButtonVerify, &QPushButton::clicked, this, &DialogAccount::verifyKey);
}

DialogAccount::~DialogAccount()
{
    delete ui;
}

void DialogAccount::showSchoolName(bool shown)
{
    ui->labelSchoolName->setVisible(shown);
    ui->lineEditSchoolName->setVisible(shown);
}

void DialogAccount::loadSettings()
{
    const auto settings = openSettingsFile();
    m_customerType = settingText(*settings, SettingKeys::CustomerType);
    const int index = ui->comboBoxCustomerType->findText(m_customerType);
    if (index >= 0)
        ui->comboBoxCustomerType->setCurrentIndex(index);
    if (m_customerType == kUnion)
        showSchoolName(true);
    m_customerCode = settingText(*settings, SettingKeys::CustomerCode);
    m_dataKey = settingText(*settings, SettingKeys::DataKey);
    m_schoolName = settingText(*settings, SettingKeys::SchoolName);
    ui->lineEditCustomerCode->setText(m_customerCode);
    ui->lineEditDataKey->setText(m_dataKey);
    ui->lineEditSchoolName->setText(m_schoolName);
}

bool DialogAccount::saveSettings()
{
    m_customerType = ui->comboBoxCustomerType->currentText();
    m_customerCode = ui->lineEditCustomerCode->text();
    m_dataKey = ui->lineEditDataKey->text();
    m_schoolName = ui->lineEditSchoolName->text();

    const auto settings = openSettingsFile();
    settings->setValue(QLatin1String(SettingKeys::CustomerType.path), m_customerType);
    settings->setValue(QLatin1String(SettingKeys::CustomerCode.path), m_customerCode);
    settings->setValue(QLatin1String(SettingKeys::DataKey.path), m_dataKey);
    settings->setValue(QLatin1String(SettingKeys::SchoolName.path), m_schoolName);
    settings->setValue(QLatin1String(SettingKeys::SchoolID.path), m_schoolID);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

void DialogAccount::verifyKey()
{
    m_verified = false;

    const QString type = ui->comboBoxCustomerType->currentText();
    const QString code = ui->lineEditCustomerCode->text();
    const QString key = ui->lineEditDataKey->text();
    const QString name = ui->lineEditSchoolName->text();
    if (!PlatformRequest::isSafeIdentifier(code)) {
        MessageBox::warning(this, QStringLiteral("提示"), customerCodeRefusal());
        return;
    }

    auto *manager = new QNetworkAccessManager(this);
    connect(manager, &QNetworkAccessManager::sslErrors, this, &DialogAccount::handleSslErrors);

    PlatformForm query;
    query.add(QStringLiteral("key"), key);
    PlatformForm form;
    form.add(QStringLiteral("key"), key);
    if (type != kSchool)
        form.add(QStringLiteral("school_name"), name);

    // One check at a time: the wait below lets the button be pressed again.
    ui->pushButtonVerify->setEnabled(false);
    const PlatformReply reply = PlatformRequest::postAndRead(
        manager, PlatformRequest::customerUrl(type, code, QStringLiteral("/client/key-check"), query), form, true);
    ui->pushButtonVerify->setEnabled(true);
    manager->deleteLater();

    if (reply.failed) {
        MessageBox::warning(this, QStringLiteral("提示"), reply.codeFailureText());
        return;
    }
    const PlatformReplies::KeyCheck check = PlatformReplies::readKeyCheck(reply);
    switch (check.outcome) {
    case PlatformReplies::KeyCheck::NotObject:
        // Checked or not, the operator must learn it was not.
        MessageBox::information(this, QStringLiteral("提示"),
                                QStringLiteral("未知错误，验证失败！\n") + reply.unreadableText());
        m_schoolID = QStringLiteral("-1");
        return;
    case PlatformReplies::KeyCheck::Verified:
        MessageBox::information(this, QStringLiteral("提示"), QStringLiteral("验证成功"));
        m_schoolID = check.schoolId;
        m_verified = true;
        return;
    case PlatformReplies::KeyCheck::NotJson:
    case PlatformReplies::KeyCheck::BadSchoolId:
        // A school id that cannot go into requests and file names is no answer.
        MessageBox::information(this, QStringLiteral("提示"), QStringLiteral("未知错误，验证失败！"));
        m_schoolID = QStringLiteral("-1");
        return;
    case PlatformReplies::KeyCheck::Refused:
        MessageBox::information(this, QStringLiteral("提示"), QStringLiteral("验证失败"));
        m_schoolID = QStringLiteral("-1");
        return;
    }
}

void DialogAccount::accept()
{
    if (!m_verified) {
        MessageBox::warning(this, QStringLiteral("提示"), QStringLiteral("验证未通过"));
        return;
    }
    // The code may have been edited after the check.
    if (!PlatformRequest::isSafeIdentifier(ui->lineEditCustomerCode->text())) {
        MessageBox::warning(this, QStringLiteral("提示"), customerCodeRefusal());
        return;
    }
    if (!saveSettings()) {
        MessageBox::warning(this, QStringLiteral("提示"), settingsWriteFailedMessage(settingsFilePath()));
        return;
    }
    QDialog::accept();
}

void DialogAccount::handleSslErrors(QNetworkReply *reply, const QList<QSslError> &errors)
{
    Q_UNUSED(reply)
    Q_UNUSED(errors)
    qDebug() << "handleSslErrors";
}
