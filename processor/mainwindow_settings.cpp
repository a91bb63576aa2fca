// The window's settings members, filled from "Ardentiq.ini".

#include "mainwindow.h"
#include "settingsfile.h"

QString MainWindow::iniPath()
{
    return settingsFilePath();
}

void MainWindow::readSettings()
{
    ProcessorSettings values;
    if (!readSettingsFile(iniPath(), values)) {
        addLog(QStringLiteral("ini配置文件不存在"));
        return;
    }

    customerType = values.customerType;
    customerCode = values.customerCode;
    dataKey = values.dataKey;
    schoolName = values.schoolName;
    schoolID = values.schoolID;

    // The reference members (processType, threshold, ...) name fields of this struct.
    recognitionSettings = values.recognition;

    sheetUploadTimeout = values.sheetUploadTimeout;
    localServerAddress = values.localServerAddress;
    localServerPassword = values.localServerPassword;
    localServer = values.localServer;
    entireSheetUpload = values.entireSheetUpload;
    entrieSheetPNGCompressionLevel = values.entrieSheetPNGCompressionLevel;
    exchangeNameWhenRowsExchange = values.exchangeNameWhenRowsExchange;
    imageEditColor = values.imageEditColor;
    imageEditWidth = values.imageEditWidth;
}
