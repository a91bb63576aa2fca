// The main window's side of choosing an exam: the version check that comes
// first, and the online upgrade command.

#include "mainwindow.h"

#include "dialogupgradeinfo.h"
#include "messagebox.h"
#include "mytablewidgetresult.h"
#include "platformrequest.h"

#include <QNetworkAccessManager>

int MainWindow::versionCheck()
{
    PlatformMultipart parts;
    parts.add(QStringLiteral("key"), dataKey);
    parts.add(QStringLiteral("version_code"), DialogUpgradeInfo::versionCode());
    parts.add(QStringLiteral("version_name"), DialogUpgradeInfo::ardentiq().versionName);
    if (customerType == QLatin1String("union"))
        parts.add(QStringLiteral("school_id"), schoolID);
    const PlatformReply reply = PlatformRequest::postAndRead(
        networkManager,
        PlatformRequest::customerUrl(customerType, customerCode, QStringLiteral("/client/version-check")), parts);

    if (reply.failed) {
        if (!quitRequested) // the window was closed: no box for the ended wait
            MessageBox::warning(this, QStringLiteral("提示"), reply.codeFailureText());
        return -1;
    }
    if (!reply.json) {
        MessageBox::information(this, QStringLiteral("提示"), QStringLiteral("版本检查失败！"));
        return -1;
    }
    const QJsonObject object = reply.object();
    switch (PlatformReply::intValue(object, QStringLiteral("code"))) {
    case 200:
        return 0;
    case 500:
        MessageBox::information(this, QStringLiteral("提示"), PlatformReply::textValue(object, QStringLiteral("message")));
        upgrade();
        return 1;
    default:
        // Not understood (another code, or JSON that is no object): do not go on.
        return -1;
    }
}

QString MainWindow::upgradeBusyReason() const
{
    if (isProcessing() || !processThreads.isEmpty())
        return QStringLiteral("正在识别处理，请先停止识别再升级。");
    if (tableWidgetResults && tableWidgetResults->uploading)
        return QStringLiteral("正在上传图片，请等待上传结束再升级。");
    return QString();
}

void MainWindow::upgrade()
{
    DialogUpgradeInfo dialog(DialogUpgradeInfo::ardentiq());
    dialog.busyReason = [this] { return upgradeBusyReason(); };
    dialog.checkUpgrade();
}
