#include "sectiondialogcommon.h"

#include "formsize.h"
#include "messagebox.h"
#include "questionsections.h"
#include "sectionhost.h"

#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QListWidget>
#include <QTableWidget>

namespace SectionDialogs {

QList<MySectionBase *> sections(const QWidget *dialog)
{
    auto *host = dynamic_cast<SectionHost *>(dialog->parentWidget());
    return host ? host->sectionList() : QList<MySectionBase *>();
}

void refuse(QWidget *dialog, const QString &text)
{
    MessageBox::warning(dialog, QStringLiteral("提示"), text, QMessageBox::Ok);
}

int number(const QString &text)
{
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    return ok ? n : 0;
}

void fixFrame(QDialog *dialog)
{
    dialog->setWindowFlags(dialog->windowFlags() & ~Qt::WindowContextHelpButtonHint);
    FormSize::fixAtLeastLayout(dialog);
}

void fillOptionCounts(QComboBox *box)
{
    static const char *const texts[] = {"2(A|B)", "3(A|B|C)", "4(A|B|C|D)", "5(A|B|C|D|E)", "6(A|B|C|D|E|F)",
                                        "7(A|B|C|D|E|F|G)", "8(A|B|C|D|E|F|G|H)", "9(A-I)", "10(A-J)", "11(A-K)",
                                        "12(A-L)", "13(A-M)", "14(A-N)", "15(A-O)", "16(A-P)"};
    box->clear();
    for (int count = 2; count <= 16; ++count)
        box->addItem(QString::fromLatin1(texts[count - 2]), count);
    box->setCurrentIndex(2);
}

namespace {

void addQuestionRow(QTableWidget *table, int item, const QString &direction, int optionCount,
                    const QString &group)
{
    const int row = table->rowCount();
    table->insertRow(row);
    auto *number = new QTableWidgetItem;
    number->setData(Qt::DisplayRole, item);   // an integer, so rows sort as numbers
    table->setItem(row, 0, number);
    table->setItem(row, 1, new QTableWidgetItem(direction));
    table->setItem(row, 2, new QTableWidgetItem(QString::number(optionCount)));
    if (table->columnCount() > 3)
        table->setItem(row, 3, new QTableWidgetItem(group));
}

QString directionText(int optionDirection)
{
    return optionDirection ? QStringLiteral("竖排") : QStringLiteral("横排");
}

} // namespace

int fillQuestionTable(QTableWidget *table, const QList<MySectionBase *> &sections, bool withGroup)
{
    QStringList headers{QStringLiteral("题号"), QStringLiteral("选项排列"), QStringLiteral("选项个数")};
    if (withGroup)
        headers << QStringLiteral("所属备选题");
    table->setSortingEnabled(false);
    table->clear();
    table->setRowCount(0);
    table->setColumnCount(headers.size());
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->hide();

    int largest = 0;
    auto add = [&](int item, const QString &direction, int optionCount, const QString &group) {
        addQuestionRow(table, item, direction, optionCount, group);
        largest = qMax(largest, item);
    };
    for (MySectionBase *section : sections) {
        if (auto *plain = qobject_cast<MySectionObject *>(section)) {
            for (int n = plain->ItemStart; n <= plain->ItemEnd; ++n)
                add(n, directionText(plain->OptionDirection), plain->OptionCount, QString());
        } else if (auto *optional = qobject_cast<MySectionObjectOptional *>(section)) {
            for (int n = optional->ItemStart; n <= optional->ItemEnd; ++n)
                add(n, directionText(optional->OptionDirection), optional->OptionCount,
                    QString::number(optional->Optional));
        } else if (auto *irregular = qobject_cast<MySectionObjectAbnormal *>(section)) {
            add(irregular->Item, QStringLiteral("-"), irregular->OptionCount,
                irregular->isOptional ? QString::number(irregular->Optional) : QString());
        }
    }
    table->setSortingEnabled(true);
    table->sortItems(0, Qt::AscendingOrder);
    table->scrollToBottom();
    return largest;
}

void fillCandidates(QComboBox *box, const QList<MySectionBase *> &sections)
{
    box->clear();
    for (MySectionBase *section : sections) {
        if (auto *group = qobject_cast<MySectionOptionalItem *>(section)) {
            for (const QString &candidate : group->Items)
                box->addItem(candidate, number(candidate));
        }
    }
}

int firstTakenQuestion(const QTableWidget *table, int first, int last)
{
    int smallest = 0;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *cell = table->item(row, 0);
        const int n = cell ? cell->data(Qt::DisplayRole).toInt() : 0;
        if (n >= first && n <= last && (smallest == 0 || n < smallest))
            smallest = n;
    }
    return smallest;
}

void fillBlocks(QListWidget *list, const QList<MySectionBase *> &sections, int page)
{
    list->setSortingEnabled(false);
    list->clear();
    for (MySectionBase *section : sections) {
        int blockPage = 0;
        int blockNumber = 0;
        if (auto *plain = qobject_cast<MySectionSubject *>(section)) {
            blockPage = plain->subjectPage;
            blockNumber = plain->SubjectSectionID;
        } else if (auto *optional = qobject_cast<MySectionSubjectOptional *>(section)) {
            blockPage = optional->page;
            blockNumber = optional->SubjectSectionID;
        } else {
            continue;
        }
        if (blockPage != page)
            continue;
        auto *item = new QListWidgetItem;
        item->setData(Qt::DisplayRole, blockNumber);
        list->addItem(item);
    }
    list->setSortingEnabled(true);
    list->sortItems(Qt::AscendingOrder);
}

int blockUses(const QListWidget *list, int blockNumber)
{
    int uses = 0;
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->data(Qt::DisplayRole).toInt() == blockNumber)
            ++uses;
    }
    return uses;
}

} // namespace SectionDialogs
