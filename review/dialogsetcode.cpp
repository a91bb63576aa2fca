#include "dialogsetcode.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

DialogSetCode::DialogSetCode(QWidget *parent, bool autoStart) : QDialog(parent), autoStartProcess(autoStart)
{
    setWindowTitle(QStringLiteral("设定考号"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto *layout = new QVBoxLayout(this);
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("考号："), this));
    lineEditCode = new QLineEdit(this);
    lineEditCode->setObjectName(QStringLiteral("lineEditCode"));
    // The code names files of the sheet, so only digits get through.
    lineEditCode->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{1,20}")), lineEditCode));
    row->addWidget(lineEditCode);
    layout->addLayout(row);
    auto *bottom = new QHBoxLayout;
    checkBoxAutoStartProcess = new QCheckBox(QStringLiteral("开始处理本份答卷"), this);
    checkBoxAutoStartProcess->setObjectName(QStringLiteral("checkBoxAutoStartProcess"));
    checkBoxAutoStartProcess->setChecked(autoStart);
    pushButtonOK = new QPushButton(QStringLiteral("确定"), this);
    pushButtonOK->setObjectName(QStringLiteral("pushButtonOK"));
    bottom->addWidget(checkBoxAutoStartProcess);
    bottom->addStretch();
    bottom->addWidget(pushButtonOK);
    layout->addLayout(bottom);
    connect(pushButtonOK, &QPushButton::clicked, this, &DialogSetCode::accept);
}

void DialogSetCode::showEvent(QShowEvent *event)
{
    lineEditCode->setText(code);
    lineEditCode->selectAll();
    QDialog::showEvent(event);
}

void DialogSetCode::accept()
{
    // A preset that is not a plain code stays until the operator fixes it.
    if (lineEditCode->text().isEmpty() || !lineEditCode->hasAcceptableInput())
        return;
    code = lineEditCode->text();
    autoStartProcess = checkBoxAutoStartProcess->isChecked();
    QDialog::accept();
}
