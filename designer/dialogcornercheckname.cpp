#include "dialogcornercheckname.h"

#include "sectiondialogcommon.h"
#include "ui_dialogcornercheckname.h"

DialogCornerCheckName::DialogCornerCheckName(QWidget *parent) : QDialog(parent), ui(new Ui::DialogCornerCheckName)
{
    ui->setupUi(this);
    SectionDialogs::fixFrame(this);
    ui->comboBoxName->setCurrentIndex(0);
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogCornerCheckName::accept);
}

DialogCornerCheckName::~DialogCornerCheckName()
{
    delete ui;
}

void DialogCornerCheckName::accept()
{
    name = ui->comboBoxName->currentText();
    if (name.isEmpty())
        return;
    QDialog::accept();
}
