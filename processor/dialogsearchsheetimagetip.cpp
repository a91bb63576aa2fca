#include "dialogsearchsheetimagetip.h"
#include "ui_dialogsearchsheetimagetip.h"

DialogSearchSheetImageTip::DialogSearchSheetImageTip(QWidget *parent)
    : QDialog(parent), ui(new Ui::DialogSearchSheetImageTip)
{
    ui->setupUi(this);
    setWindowFlags((windowFlags() | Qt::FramelessWindowHint) & ~Qt::WindowContextHelpButtonHint);
    ui->labelCount->hide();
    ui->labelPath->hide();
}

DialogSearchSheetImageTip::~DialogSearchSheetImageTip()
{
    delete ui;
}

void DialogSearchSheetImageTip::reset()
{
    ui->labelCount->setText(QStringLiteral("0"));
    ui->labelPath->setText(QString());
    m_searching = true;
    m_finished = false;
}

void DialogSearchSheetImageTip::updateInfo(int totalCount, QString filePath)
{
    ui->labelCount->setText(QString::number(totalCount));
    ui->labelPath->setText(filePath);
}

void DialogSearchSheetImageTip::accept()
{
    m_searching = false;
    m_finished = true;
    QDialog::accept();
}

int DialogSearchSheetImageTip::exec()
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
