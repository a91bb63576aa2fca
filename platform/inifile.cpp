#include "inifile.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QStringList>
#include <QVariant>

namespace {

QString &testPathOverride()
{
    static QString path;
    return path;
}

} // namespace

QString settingsFilePath()
{
    if (!testPathOverride().isEmpty())
        return testPathOverride();
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Ardentiq.ini");
}

void setSettingsFilePathForTesting(const QString &path)
{
    testPathOverride() = path;
}

QString settingText(const QSettings &settings, const SettingKey &key, bool dialogDefault)
{
    const QVariant value = settings.value(QLatin1String(key.path),
                                          QString::fromUtf8(dialogDefault ? key.dialogDefault : key.readDefault));
    // An unquoted value with commas, typed by hand into the file, comes back
    // as a list; keep it as the one text it was.
    if (value.type() == QVariant::StringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

std::unique_ptr<QSettings> openSettingsFile(const QString &path)
{
    auto settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    settings->setIniCodec("UTF-8");
    return settings;
}

QString settingsWriteFailedMessage(const QString &path)
{
    return QStringLiteral("参数保存失败，无法写入配置文件：%1").arg(QDir::toNativeSeparators(path));
}
