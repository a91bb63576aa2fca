#include "dialogfileexist.h"

#include "desktopopener.h"
#include "ui_dialogfileexist.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>

DialogFileExist::DialogFileExist(QWidget *parent, const QString &info, const QString &path)
    : QDialog(parent), ui(new Ui::DialogFileExist)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    ui->labelInfo->setText(info);
    ui->textBrowser->setPlainText(path);
    connect(ui->pushButtonChangeFolder, &QPushButton::clicked, this, &DialogFileExist::changeFolder);
    connect(ui->pushButtonOpenFolder, &QPushButton::clicked, this, &DialogFileExist::openFolder);
}

DialogFileExist::~DialogFileExist()
{
    delete ui;
}

void DialogFileExist::accept()
{
    savePath = ui->textBrowser->toPlainText();
    QDialog::accept();
}

void DialogFileExist::changeFolder()
{
    const QString current = ui->textBrowser->toPlainText();
    const QString start = QFileInfo(current).isDir() ? current : QString();
    const QString chosen = QDir::toNativeSeparators(QFileDialog::getExistingDirectory(
        this, QStringLiteral("指定文件保存路径"), start, QFileDialog::ShowDirsOnly));
    if (!chosen.isEmpty() && QFileInfo(chosen).isDir())
        ui->textBrowser->setPlainText(chosen);
}

void DialogFileExist::openFolder()
{
    DesktopOpener::openLocalPath(ui->textBrowser->toPlainText());
}
