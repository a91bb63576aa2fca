#include "dialogsearchbycode.h"
#include "ui_dialogsearchbycode.h"

DialogSearchByCode::DialogSearchByCode(QWidget *parent) : QDialog(parent), ui(new Ui::DialogSearchByCode)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogSearchByCode::accept);
}

DialogSearchByCode::~DialogSearchByCode()
{
    delete ui;
}

void DialogSearchByCode::accept()
{
    code = ui->lineEditCode->text();
    if (!code.isEmpty())
        QDialog::accept();
}
