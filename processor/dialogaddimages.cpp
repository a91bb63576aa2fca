#include "dialogaddimages.h"
#include "ui_dialogaddimages.h"

DialogAddImages::DialogAddImages(QWidget *parent) : QDialog(parent), ui(new Ui::DialogAddImages)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    connect(ui->pushButtonFromFolder, &QPushButton::clicked, this, [this] {
        mode = QStringLiteral("folder");
        accept();
    });
    connect(ui->pushButtonFromFile, &QPushButton::clicked, this, [this] {
        mode = QStringLiteral("file");
        accept();
    });
}

DialogAddImages::~DialogAddImages()
{
    delete ui;
}

void DialogAddImages::accept()
{
    QDialog::accept();
}
