#include "dialogsectionsubject.h"

#include "sectiondialogcommon.h"
#include "ui_dialogsectionsubject.h"

#include <QShowEvent>

DialogSectionSubject::DialogSectionSubject(QWidget *parent) : QDialog(parent), ui(new Ui::DialogSectionSubject)
{
    SectionDialogs::setUpSubjectDialog(this);
}

DialogSectionSubject::~DialogSectionSubject()
{
    delete ui;
}

bool DialogSectionSubject::edit(QWidget *canvas, int &blockPage, int &number)
{
    DialogSectionSubject dialog(canvas);
    dialog.page = blockPage;
    dialog.blockNumber = number;
    dialog.editing = 1;
    if (dialog.exec() != QDialog::Accepted)
        return false;
    blockPage = dialog.page;
    number = dialog.blockNumber;
    return true;
}

void DialogSectionSubject::fillExistingBlocks()
{
    SectionDialogs::fillBlocks(ui->listWidget, SectionDialogs::sections(this), page);
}

void DialogSectionSubject::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    fillExistingBlocks();
    SectionDialogs::prepareSubjectDialog(this);
}

void DialogSectionSubject::accept()
{
    // The block number changes only on success: while the dialog is open it
    // still names the block being edited.
    const int typed = SectionDialogs::number(ui->lineEditSectionID->text());
    if (!SectionDialogs::blockNumberFree(this, typed))
        return;
    blockNumber = typed;
    QDialog::accept();
}
