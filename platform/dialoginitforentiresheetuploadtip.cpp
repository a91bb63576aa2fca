#include "dialoginitforentiresheetuploadtip.h"
#include "ui_dialoginitforentiresheetuploadtip.h"

DialogInitForEntireSheetUploadTip::DialogInitForEntireSheetUploadTip(QWidget *parent)
    : QDialog(parent), ui(new Ui::DialogInitForEntireSheetUploadTip)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
}

DialogInitForEntireSheetUploadTip::~DialogInitForEntireSheetUploadTip()
{
    delete ui;
}

void DialogInitForEntireSheetUploadTip::setMaximum(int maximum)
{
    ui->progressBar->setMaximum(maximum);
}

void DialogInitForEntireSheetUploadTip::setValue(int value)
{
    ui->progressBar->setValue(value);
}

int DialogInitForEntireSheetUploadTip::maximum() const
{
    return ui->progressBar->maximum();
}

int DialogInitForEntireSheetUploadTip::value() const
{
    return ui->progressBar->value();
}

void DialogInitForEntireSheetUploadTip::reset()
{
    ui->progressBar->setValue(0);
    m_finished = false;
}

void DialogInitForEntireSheetUploadTip::accept()
{
    m_finished = true;
    QDialog::accept();
}

int DialogInitForEntireSheetUploadTip::exec()
{
    if (m_finished) {
        m_finished = false;
        setResult(QDialog::Accepted);
        return QDialog::Accepted;
    }
    const int result = QDialog::exec();
    m_finished = false;
    return result;
}
