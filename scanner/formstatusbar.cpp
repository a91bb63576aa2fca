#include "formstatusbar.h"
#include "ui_formstatusbar.h"

FormStatusBar::FormStatusBar(QWidget *parent) : QWidget(parent), ui(new Ui::FormStatusBar)
{
    ui->setupUi(this);
    labelCount = ui->labelCount;
    labelFilePath = ui->labelFilePath;
    labelWidth = ui->labelWidth;
    labelHeight = ui->labelHeight;
    labelSize = ui->labelSize;
}

FormStatusBar::~FormStatusBar()
{
    delete ui;
}

QString FormStatusBar::sizeText(qint64 size)
{
    if (size < 1024)
        return QStringLiteral("%1 Byte").arg(size);
    if (size < 1048576)
        return QStringLiteral("%1 Kb").arg(size / 1024);
    return QStringLiteral("%1 Mb").arg(double(float(size) * (1.0f / 1048576.0f)), 0, 'f', 3);
}

void FormStatusBar::setCount(int count)
{
    labelCount->setText(QString::number(count));
}

void FormStatusBar::setFilePath(const QString &filePath)
{
    labelFilePath->setText(filePath);
}

void FormStatusBar::setFileInfo(int width, int height, int size)
{
    labelWidth->setText(QString::number(width));
    labelHeight->setText(QString::number(height));
    labelSize->setText(sizeText(size));
}
