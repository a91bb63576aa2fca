#include "dialogscanandprocesstips.h"
#include "ui_dialogscanandprocesstips.h"

#include "mainwindow.h"

#include <QFileInfo>
#include <QSettings>

DialogScanAndProcessTips::DialogScanAndProcessTips(QWidget *parent, int pagesPerSheet)
    : QDialog(parent), ui(new Ui::DialogScanAndProcessTips)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    if (pagesPerSheet != 0)
        ui->spinBox->setRange(0, pagesPerSheet - 1);
    connect(ui->comboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) { ui->widget->setVisible(index == 1); });
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogScanAndProcessTips::accept);

    ui->widget->hide();
    const QString ini = MainWindow::iniPath();
    if (QFileInfo::exists(ini)) {
        QSettings settings(ini, QSettings::IniFormat);
        settings.setIniCodec("UTF-8");
        scanType = settings.value(QStringLiteral("Scan/Type"), QStringLiteral("0")).toInt();
        ui->comboBox->setCurrentIndex(scanType != 0 ? 1 : 0);
        ui->widget->setVisible(scanType != 0);
        stopFeederOnFailure = settings.value(QStringLiteral("Scan/ProcessFailedThenStopFeeder"), QStringLiteral("0")).toInt();
        ui->checkBoxProcessFailedThenStopFeeder->setChecked(stopFeederOnFailure == 1);
    }
}

DialogScanAndProcessTips::~DialogScanAndProcessTips()
{
    delete ui;
}

void DialogScanAndProcessTips::accept()
{
    scanType = ui->comboBox->currentIndex();
    skipPageCount = ui->spinBox->value();
    stopFeederOnFailure = ui->checkBoxProcessFailedThenStopFeeder->isChecked() ? 1 : 0;
    QSettings settings(MainWindow::iniPath(), QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    settings.setValue(QStringLiteral("Scan/Type"), scanType);
    settings.setValue(QStringLiteral("Scan/ProcessFailedThenStopFeeder"), stopFeederOnFailure);
    QDialog::accept();
}
