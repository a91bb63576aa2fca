#include "dialogsectionobjectoptional.h"

#include "sectiondialogcommon.h"
#include "ui_dialogsectionobjectoptional.h"

#include <QShowEvent>

DialogSectionObjectOptional::DialogSectionObjectOptional(bool irregular, QWidget *parent)
    : QDialog(parent), ui(new Ui::DialogSectionObjectOptional)
{
    SectionDialogs::setUpObjectDialog(this, irregular);
}

DialogSectionObjectOptional::~DialogSectionObjectOptional()
{
    delete ui;
}

int DialogSectionObjectOptional::fillExistingItems()
{
    return SectionDialogs::fillQuestionTable(ui->tableWidget, SectionDialogs::sections(this), true);
}

void DialogSectionObjectOptional::fillOptionalItems()
{
    SectionDialogs::fillCandidates(ui->comboBoxOptionalItem, SectionDialogs::sections(this));
}

void DialogSectionObjectOptional::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    const int largest = fillExistingItems();
    fillOptionalItems();
    ui->comboBoxOptionalItem->setCurrentIndex(-1);
    SectionDialogs::prepareObjectDialog(this, largest);
}

void DialogSectionObjectOptional::accept()
{
    SectionDialogs::readObjectForm(this);
    group = SectionDialogs::number(ui->comboBoxOptionalItem->currentText());
    if (ui->comboBoxOptionalItem->currentIndex() < 0) {
        SectionDialogs::refuse(this, QStringLiteral("请选择所属备选题"));
        return;
    }
    if (SectionDialogs::objectNumbersFree(this))
        QDialog::accept();
}
