#include "dialogsectionsubjectoptional.h"

#include "sectiondialogcommon.h"
#include "ui_dialogsectionsubjectoptional.h"

#include <QShowEvent>

DialogSectionSubjectOptional::DialogSectionSubjectOptional(QWidget *parent)
    : QDialog(parent), ui(new Ui::DialogSectionSubjectOptional)
{
    SectionDialogs::setUpSubjectDialog(this);
}

DialogSectionSubjectOptional::~DialogSectionSubjectOptional()
{
    delete ui;
}

bool DialogSectionSubjectOptional::edit(QWidget *canvas, int &blockGroup, int &blockPage, int &number)
{
    DialogSectionSubjectOptional dialog(canvas);
    dialog.group = blockGroup;
    dialog.page = blockPage;
    dialog.blockNumber = number;
    dialog.editing = 1;
    if (dialog.exec() != QDialog::Accepted)
        return false;
    blockGroup = dialog.group;
    blockPage = dialog.page;
    number = dialog.blockNumber;
    return true;
}

void DialogSectionSubjectOptional::fillExistingBlocks()
{
    SectionDialogs::fillBlocks(ui->listWidget, SectionDialogs::sections(this), page);
}

void DialogSectionSubjectOptional::fillOptionalItems()
{
    SectionDialogs::fillCandidates(ui->comboBoxOptionalItem, SectionDialogs::sections(this));
}

void DialogSectionSubjectOptional::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    fillExistingBlocks();
    fillOptionalItems();
    SectionDialogs::prepareSubjectDialog(this);
    if (!editing) {
        ui->comboBoxOptionalItem->setCurrentIndex(-1);
        return;
    }
    // No candidate names the group any more: the first one stays chosen.
    const int index = ui->comboBoxOptionalItem->findText(QString::number(group));
    if (index >= 0)
        ui->comboBoxOptionalItem->setCurrentIndex(index);
}

void DialogSectionSubjectOptional::accept()
{
    const int typed = SectionDialogs::number(ui->lineEditSectionID->text());
    if (ui->comboBoxOptionalItem->currentIndex() < 0) {
        SectionDialogs::refuse(this, QStringLiteral("请选择所属备选题"));
        return;
    }
    const int chosenGroup = SectionDialogs::number(ui->comboBoxOptionalItem->currentText());
    if (!SectionDialogs::blockNumberFree(this, typed))
        return;
    group = chosenGroup;
    blockNumber = typed;
    QDialog::accept();
}
