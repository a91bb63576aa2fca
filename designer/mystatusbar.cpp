#include "mystatusbar.h"

#include "ui_mystatusbar.h"

MyStatusBar::MyStatusBar(QWidget *parent) : QWidget(parent), ui(new Ui::MyStatusBar)
{
    ui->setupUi(this);
}

MyStatusBar::~MyStatusBar()
{
    delete ui;
}

void MyStatusBar::setFileName(const QString &text)
{
    ui->labelFileName->setText(text);
}

void MyStatusBar::setImageInfo(const QString &imagePath, int page, int width, int height)
{
    ui->labelImageName->setText(imagePath);
    ui->labelPage->setText(QStringLiteral("页:%1").arg(page));
    ui->labelWidth->setText(QStringLiteral("W:%1").arg(width));
    ui->labelHeight->setText(QStringLiteral("H:%1").arg(height));
}

void MyStatusBar::setSelectionInfo(int x, int y, int width, int height)
{
    ui->labelRoiX->setNum(x);
    ui->labelRoiY->setNum(y);
    ui->labelRoiWidth->setNum(width);
    ui->labelRoiHeight->setNum(height);
}

void MyStatusBar::setMousePosition(int x, int y)
{
    ui->labelX->setNum(x);
    ui->labelY->setNum(y);
}

void MyStatusBar::setSectionName(const QString &text)
{
    ui->labelSectionName->setText(text);
}
