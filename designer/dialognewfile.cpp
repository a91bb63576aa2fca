#include "dialognewfile.h"

#include "ui_dialognewfile.h"

DialogNewFile::DialogNewFile(QWidget *parent) : QDialog(parent), ui(new Ui::DialogNewFile)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    connect(ui->pushButtonLoadImages, &QPushButton::clicked, this, &DialogNewFile::onLoadImages);
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogNewFile::accept);
}

DialogNewFile::~DialogNewFile()
{
    delete ui;
}

void DialogNewFile::onLoadImages()
{
    imageList = chooseImages(this);
    FileChoosers::showImages(ui->listWidget, imageList);
}

void DialogNewFile::accept()
{
    templateName = ui->lineEditFileName->text().trimmed();
    if (templateName.isEmpty())
        return;
    imageList = FileChoosers::listedImages(ui->listWidget);
    if (imageList.isEmpty())
        return;
    QDialog::accept();
}
