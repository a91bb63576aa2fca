#include "objectivecorrection.h"

#include "answers.h"
#include "messagebox.h"

#include <QBrush>
#include <QColor>
#include <QTableWidget>

namespace {

// Roles of an objective cell and of the "考号" cell (column 0).
constexpr int kScoreRole = Qt::UserRole + 1;
constexpr int kSheetStateRole = Qt::UserRole + 2;

QString twoDecimals(float value)
{
    return QString::number(value, 'f', 2);
}

// Results of a code dropped as a duplicate stay in the table (hidden) until
// the run ends; they are no longer the student's.
bool isLiveRowOf(const QTableWidget *table, int row, const QString &code)
{
    const QTableWidgetItem *codeItem = table->item(row, 0);
    if (!codeItem || codeItem->text() != code)
        return false;
    const QVariant state = codeItem->data(kSheetStateRole);
    return !(state.type() == QVariant::Bool && state.toBool());
}

} // namespace

MarkScore scoreMark(const QString &mark, int itemId, const QVector<AnswerSetting> &objectiveKeys,
                    const QVector<AnswerSetting> &optionalKeys)
{
    const AnswerSetting *key = findAnswerSetting(objectiveKeys, itemId);
    if (!key)
        key = findAnswerSetting(optionalKeys, itemId);
    if (!key)
        return {};
    return {scoreObjectiveItem(mark, key->answer, key->multiple, key->score, key->compareType, key->partScore),
            key->multiple};
}

void writeObjectiveCell(QTableWidgetItem *cell, const QString &mark, float score, bool multiple)
{
    cell->setText(mark);
    cell->setData(kScoreRole, twoDecimals(score));
    cell->setBackground(isAbnormalAnswer(mark, multiple) ? QBrush(QColor(255, 192, 203)) : QBrush());
}

int findStudentRow(const QTableWidget *table, int row, const QString &code)
{
    if (!table || code.isEmpty())
        return -1;
    if (row >= 0 && row < table->rowCount() && isLiveRowOf(table, row, code))
        return row;
    for (int r = 0; r < table->rowCount(); ++r) {
        if (isLiveRowOf(table, r, code))
            return r;
    }
    return -1;
}

int findResultColumn(const QTableWidget *table, const QString &key)
{
    for (int c = 0; c < table->columnCount(); ++c) {
        const QTableWidgetItem *header = table->horizontalHeaderItem(c);
        if (header && header->text() == key)
            return c;
    }
    return -1;
}

bool writeBackObjectiveMark(QTableWidget *table, int row, const QString &code, const QString &key,
                            const QString &mark, const QVector<AnswerSetting> &objectiveKeys,
                            const QVector<AnswerSetting> &optionalKeys)
{
    const int at = findStudentRow(table, row, code);
    const int column = at < 0 ? -1 : findResultColumn(table, key);
    QTableWidgetItem *cell = column < 0 ? nullptr : table->item(at, column);
    if (!cell || table->columnCount() < 2)
        return false;

    QTableWidgetItem *total = table->item(at, 1);
    const float oldTotal = total ? total->text().toFloat() : 0.0f;
    const float oldScore = cell->data(kScoreRole).toString().toFloat();
    const MarkScore now = scoreMark(mark, key.toInt(), objectiveKeys, optionalKeys);
    writeObjectiveCell(cell, mark, now.score, now.multiple);
    if (!total) {
        total = new QTableWidgetItem;
        table->setItem(at, 1, total);
    }
    total->setText(twoDecimals(oldTotal - oldScore + now.score));
    return true;
}

void reportCorrectionNotWritten(QWidget *parent, const QString &code)
{
    MessageBox::warning(parent, QStringLiteral("提示"),
                        QStringLiteral("考号 %1 的结果已不在结果表中（可能已被删除），修改没有写入").arg(code));
}
