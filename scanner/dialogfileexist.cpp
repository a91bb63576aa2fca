#include "dialogfileexist.h"

#include "desktopopener.h"
#include "folderchooser.h"
#include "ui_dialogfileexist.h"

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
    const QString chosen = chooseFolder(this, QStringLiteral("指定文件保存路径"), ui->textBrowser->toPlainText());
    if (!chosen.isEmpty())
        ui->textBrowser->setPlainText(chosen);
}

void DialogFileExist::openFolder()
{
    DesktopOpener::openLocalPath(ui->textBrowser->toPlainText());
}
