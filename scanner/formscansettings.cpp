// The station's settings file "Pellwyn.ini" beside the program: read once
// into the scan form, its Main group written back at every batch start.

#include "formscan.h"
#include "messagebox.h"
#include "ui_formscan.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

QString &settingsPathOverride()
{
    static QString path;
    return path;
}

// Integers are read as text first, so anything that is not one reads as 0.
int readInt(const QSettings &settings, const QString &key, const QString &fallback)
{
    return settings.value(key, fallback).toString().toInt();
}

} // namespace

QString FormScan::settingsFilePath()
{
    if (!settingsPathOverride().isEmpty())
        return settingsPathOverride();
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Pellwyn.ini");
}

void FormScan::setSettingsFilePathForTesting(const QString &path)
{
    settingsPathOverride() = path;
}

void FormScan::loadSettings()
{
    const QString path = QDir::toNativeSeparators(settingsFilePath());
    if (!QFileInfo(path).isFile()) {
        warn(QStringLiteral("ini配置文件不存在"));
        return;
    }
    QSettings settings(path, QSettings::IniFormat);
    if (!settings.isWritable()) {
        warn(QStringLiteral("ini配置文件不可写。请以【管理员】权限运行本程序。"));
        // Takes effect once the event loop runs; the form is built meanwhile.
        QMetaObject::invokeMethod(qApp, "exit", Qt::QueuedConnection, Q_ARG(int, 0));
    }
    settings.setIniCodec("UTF-8");

    ui->pushButtonHide->show();
    ui->widgetMain->show();
    ui->pushButtonShow->hide();
    ui->widget_2->hide();

    savePath = settings.value(QStringLiteral("Main/SavePath"), QString()).toString();
    namePrefix = settings.value(QStringLiteral("Main/NamePrefix"), QString()).toString();
    numberLength = readInt(settings, QStringLiteral("Main/NumberLegnth"), QStringLiteral("6"));
    const int lengthIndex = ui->comboBoxLength->findText(QString::number(numberLength));
    if (lengthIndex >= 0)
        ui->comboBoxLength->setCurrentIndex(lengthIndex);
    rotateTop = readInt(settings, QStringLiteral("Main/RotateTop"), QString());
    rotateBottom = readInt(settings, QStringLiteral("Main/RotateBottom"), QString());

    ui->lineEditImageSavePath->setText(savePath);
    ui->lineEditNamePrefix->setText(namePrefix);

    ui->comboBoxFormat->setCurrentIndex(readInt(settings, QStringLiteral("Main/ImageFormat"), QStringLiteral("0")));
    formatChange(ui->comboBoxFormat->currentText());
    imageFormat = ui->comboBoxFormat->currentText();

    imageQuality = readInt(settings, QStringLiteral("Main/ImageQuality"), QStringLiteral("50"));
    ui->labelQuality->setText(QString::number(imageQuality));
    ui->horizontalSliderQuality->setValue(imageQuality);

    ui->comboBoxRotateFlagTop->setCurrentIndex(rotateTop);
    ui->comboBoxRotateFlagBottom->setCurrentIndex(rotateBottom);

    tiffLzw = readInt(settings, QStringLiteral("Main/TiffLZW"), QStringLiteral("0")) != 0;
    ui->checkBoxTIFFLZW->setChecked(tiffLzw);
    isAvision = readInt(settings, QStringLiteral("Other/IsAvision"), QStringLiteral("0")) != 0;
    showStopScanButton = readInt(settings, QStringLiteral("Other/ShowStopScanButton"), QStringLiteral("0")) != 0;
    uploadSetting = readInt(settings, QStringLiteral("Other/Upload"), QStringLiteral("0")) != 0;
}

void FormScan::saveSettings()
{
    QSettings settings(settingsFilePath(), QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    settings.setValue(QStringLiteral("Main/SavePath"), ui->lineEditImageSavePath->text());
    settings.setValue(QStringLiteral("Main/NamePrefix"), ui->lineEditNamePrefix->text());
    settings.setValue(QStringLiteral("Main/NumberLegnth"), ui->comboBoxLength->currentText());
    settings.setValue(QStringLiteral("Main/ImageFormat"), ui->comboBoxFormat->currentIndex());
    settings.setValue(QStringLiteral("Main/ImageQuality"), ui->labelQuality->text());
    settings.setValue(QStringLiteral("Main/RotateTop"), ui->comboBoxRotateFlagTop->currentIndex());
    settings.setValue(QStringLiteral("Main/RotateBottom"), ui->comboBoxRotateFlagBottom->currentIndex());
    settings.setValue(QStringLiteral("Main/TiffLZW"), ui->checkBoxTIFFLZW->isChecked() ? 1 : 0);
}
