#include "dialogbarcodecheck.h"
#include "ui_dialogbarcodecheck.h"

DialogBarCodeCheck::DialogBarCodeCheck(QWidget *parent) : QDialog(parent), ui(new Ui::DialogBarCodeCheck)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    connect(ui->pushButtonHor, &QPushButton::clicked, this, [this] {
        direction = 0;
        accept();
    });
    connect(ui->pushButtonVer, &QPushButton::clicked, this, [this] {
        direction = 1;
        accept();
    });
}

DialogBarCodeCheck::~DialogBarCodeCheck()
{
    delete ui;
}
