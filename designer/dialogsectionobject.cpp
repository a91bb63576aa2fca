#include "dialogsectionobject.h"

#include "sectiondialogcommon.h"
#include "ui_dialogsectionobject.h"

#include <QShowEvent>

DialogSectionObject::DialogSectionObject(bool irregular, QWidget *parent)
    : QDialog(parent), ui(new Ui::DialogSectionObject)
{
    SectionDialogs::setUpObjectDialog(this, irregular);
}

DialogSectionObject::~DialogSectionObject()
{
    delete ui;
}

int DialogSectionObject::fillExistingItems()
{
    return SectionDialogs::fillQuestionTable(ui->tableWidget, SectionDialogs::sections(this), false);
}

void DialogSectionObject::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    SectionDialogs::prepareObjectDialog(this, fillExistingItems());
}

void DialogSectionObject::accept()
{
    SectionDialogs::readObjectForm(this);
    if (SectionDialogs::objectNumbersFree(this))
        QDialog::accept();
}
