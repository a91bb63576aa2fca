#include "dialogsubjectconfigtip.h"
#include "ui_dialogsubjectconfigtip.h"

DialogSubjectConfigTip::DialogSubjectConfigTip(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::DialogSubjectConfigTip)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

DialogSubjectConfigTip::~DialogSubjectConfigTip()
{
    delete ui;
}
