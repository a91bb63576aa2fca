#pragma once
// What the section parameter dialogs share: the canvas's section list read
// through the dialog's parent, the refusal box, and the numbering checks of
// the objective and subjective dialogs (their two forms name their widgets
// alike, so one template serves both).

#include "formsize.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QListWidget>
#include <QPushButton>
#include <QString>
#include <QTableWidget>

class MySectionBase;
class QWidget;

namespace SectionDialogs {

// The section list of the canvas the dialog was opened on; empty when the
// parent is no canvas.
QList<MySectionBase *> sections(const QWidget *dialog);
// Warning box titled "提示" with one OK button.
void refuse(QWidget *dialog, const QString &text);
// A decimal number; 0 for an empty or non-numeric text.
int number(const QString &text);

// Common construction: no context-help button, size fixed to the form's.
void fixFrame(QDialog *dialog);

// ---- objective dialogs ----
void fillOptionCounts(QComboBox *box);
// One row per existing objective question (sorted, scrolled to the end);
// the optional dialog adds the group column. Returns the largest number.
int fillQuestionTable(QTableWidget *table, const QList<MySectionBase *> &sections, bool withGroup);
// Every candidate number of every optional group, in template order.
void fillCandidates(QComboBox *box, const QList<MySectionBase *> &sections);
// Question numbers of the table that fall in first..last; the smallest one,
// or 0 when the range is free.
int firstTakenQuestion(const QTableWidget *table, int first, int last);

// ---- subjective dialogs ----
// The block numbers of both subjective kinds on that page, ascending.
void fillBlocks(QListWidget *list, const QList<MySectionBase *> &sections, int page);
// How many blocks in the list carry that number.
int blockUses(const QListWidget *list, int blockNumber);

// ---- the steps both objective dialogs take alike ----

template <typename Dialog>
void setUpObjectDialog(Dialog *dialog, bool irregular)
{
    auto *ui = dialog->ui;
    dialog->irregular = irregular;
    ui->setupUi(dialog);
    fixFrame(dialog);
    ui->tableWidget->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ui->tableWidget->verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (QLineEdit *field : {ui->lineEditItemStart, ui->lineEditItemEnd, ui->lineEditItem})
        field->setValidator(new QIntValidator(1, 1000, dialog));
    fillOptionCounts(ui->comboBoxOptionCount);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    QObject::connect(ui->buttonBox, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(ui->buttonBox, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    ui->widgetAbnormal->setVisible(irregular);
    ui->widgetNormal->setVisible(!irregular);
}

// After the table is filled: the remembered choices and the suggested number.
template <typename Dialog>
void prepareObjectDialog(Dialog *dialog, int largest)
{
    auto *ui = dialog->ui;
    ui->labelItemIDMax->setText(QString::number(largest));
    if (dialog->lastOptionDirectionIndex >= 0)
        ui->comboBoxOptionDirection->setCurrentIndex(dialog->lastOptionDirectionIndex);
    if (dialog->lastOptionCountIndex >= 0)
        ui->comboBoxOptionCount->setCurrentIndex(dialog->lastOptionCountIndex);
    QLineEdit *field = dialog->irregular ? ui->lineEditItem : ui->lineEditItemStart;
    field->setText(QString::number(largest + 1));
    field->setFocus();
}

template <typename Dialog>
void readObjectForm(Dialog *dialog)
{
    auto *ui = dialog->ui;
    dialog->itemStart = number(ui->lineEditItemStart->text());
    dialog->itemEnd = number(ui->lineEditItemEnd->text());
    dialog->item = number(ui->lineEditItem->text());
    dialog->optionDirection = ui->comboBoxOptionDirection->currentIndex();
    dialog->lastOptionDirectionIndex = dialog->optionDirection;
    dialog->optionCount = ui->comboBoxOptionCount->currentData().toInt();
    dialog->lastOptionCountIndex = ui->comboBoxOptionCount->currentIndex();
}

// True when the numbers read are complete and none is taken; refusals are
// told, missing numbers are not.
template <typename Dialog>
bool objectNumbersFree(Dialog *dialog)
{
    int first = dialog->item;
    int last = dialog->item;
    if (!dialog->irregular) {
        if (dialog->itemEnd == 0 || dialog->itemStart == 0)
            return false;
        if (dialog->itemEnd < dialog->itemStart) {
            refuse(dialog, QStringLiteral("结束题号 不能小于 起始题号"));
            return false;
        }
        first = dialog->itemStart;
        last = dialog->itemEnd;
    } else if (dialog->item == 0) {
        return false;
    }
    const int taken = firstTakenQuestion(dialog->ui->tableWidget, first, last);
    if (taken != 0) {
        refuse(dialog, QStringLiteral("题号 %1 已存在").arg(taken));
        return false;
    }
    return true;
}

// ---- the steps both subjective dialogs take alike ----

template <typename Dialog>
void setUpSubjectDialog(Dialog *dialog)
{
    dialog->ui->setupUi(dialog);
    fixFrame(dialog);
    dialog->ui->lineEditPageID->setEnabled(false);
    dialog->ui->lineEditSectionID->setValidator(new QIntValidator(1, 100, dialog));
    QObject::connect(dialog->ui->pushButtonOk, &QPushButton::clicked, dialog, &QDialog::accept);
}

// After the block list is filled: page, and the suggestion or the block's
// own number.
template <typename Dialog>
void prepareSubjectDialog(Dialog *dialog)
{
    auto *ui = dialog->ui;
    ui->labelTips->setText(QStringLiteral("页 %1 已有块号：").arg(dialog->page));
    ui->lineEditPageID->setText(QString::number(dialog->page));
    if (dialog->editing) {
        ui->widgetSuggest->hide();
        ui->lineEditSectionID->setText(QString::number(dialog->blockNumber));
    } else {
        const int count = ui->listWidget->count();
        const int suggestion = count ? ui->listWidget->item(count - 1)->data(Qt::DisplayRole).toInt() + 1 : 1;
        ui->lineEditSectionID->setText(QString::number(suggestion));
        ui->labelSuggest->setText(QString::number(suggestion));
    }
    // The page number lengthened a text.
    FormSize::fixAtLeastLayout(dialog);
}

// True when `typed` may become the block's number: at least 1 and used by no
// other block of the page. An edited block keeps its own number, but two
// blocks of one page never share one (their images would overwrite).
template <typename Dialog>
bool blockNumberFree(Dialog *dialog, int typed)
{
    if (typed < 1)
        return false;
    int uses = blockUses(dialog->ui->listWidget, typed);
    if (dialog->editing && typed == dialog->blockNumber && uses > 0)
        --uses;   // the block being edited
    if (uses > 0) {
        refuse(dialog, QStringLiteral("块号值已存在"));
        return false;
    }
    return true;
}

} // namespace SectionDialogs
