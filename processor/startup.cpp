#include "startup.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

namespace Startup {

QByteArray versionJson()
{
    QJsonObject version;
    version.insert(QStringLiteral("version_code"), 2025052800);
    version.insert(QStringLiteral("version_name"), QStringLiteral("4.2"));
    return QString::fromUtf8(QJsonDocument(version).toJson(QJsonDocument::Compact)).toLocal8Bit();
}

QString refusal(const QString &applicationDir, int runningInstances)
{
    if (runningInstances > 1)
        return QStringLiteral("程序已经在运行了！");
    const QString ini = QDir::toNativeSeparators(applicationDir + QStringLiteral("/Ardentiq.ini"));
    if (!QFileInfo(ini).isFile())
        return QStringLiteral("ini配置文件不存在");
    QSettings settings(ini, QSettings::IniFormat);
    if (!settings.isWritable())
        return QStringLiteral("ini配置文件不可写。请以【管理员】权限运行本程序。");
    return QString();
}

} // namespace Startup
