#include "dialogsetcode.h"
#include "ui_dialogsetcode.h"

#include <QRegularExpressionValidator>

DialogSetCode::DialogSetCode(QWidget *parent, bool autoStart) : QDialog(parent), ui(new Ui::DialogSetCode)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    // The code becomes part of file names: digits only.
    ui->lineEditCode->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{1,20}")), ui->lineEditCode));
    ui->checkBoxAutoStartProcess->setChecked(autoStart);
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogSetCode::accept);
}

DialogSetCode::~DialogSetCode()
{
    delete ui;
}

void DialogSetCode::showEvent(QShowEvent *event)
{
    ui->lineEditCode->setText(code);
    QDialog::showEvent(event);
}

void DialogSetCode::accept()
{
    // A preset that is no plain code (set before the field checked input)
    // stays until the operator corrects it.
    const QString typed = ui->lineEditCode->text();
    if (typed.isEmpty() || !ui->lineEditCode->hasAcceptableInput())
        return;
    code = typed;
    autoStartProcess = ui->checkBoxAutoStartProcess->isChecked();
    QDialog::accept();
}
