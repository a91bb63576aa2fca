#include "mystatusbar.h"
#include "ui_mystatusbar.h"

MyStatusBar::MyStatusBar(QWidget *parent) : QWidget(parent), ui(new Ui::MyStatusBar)
{
    ui->setupUi(this);
    ui->labelSuccessCount->setMargin(3);
}

MyStatusBar::~MyStatusBar()
{
    delete ui;
}

void MyStatusBar::setExamName(QString text)
{
    ui->labelExamName->setText(text);
}

void MyStatusBar::setGrade(QString text)
{
    ui->labelGrade->setText(text);
}

void MyStatusBar::setSubject(QString text)
{
    ui->labelSubject->setText(text);
}

void MyStatusBar::setTemplateInfo(QString text)
{
    ui->labelTplFileInfo->setText(text);
}

void MyStatusBar::setTotalSheetCount(int n)
{
    ui->labelTotalSheetCount->setText(QString::number(n));
}

void MyStatusBar::setSuccessCount(int n)
{
    ui->labelSuccessCount->setText(QString::number(n));
}
