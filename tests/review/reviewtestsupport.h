#pragma once
// Shared by the review tests: a result table for the review dialogs without
// the main window (the result-table layout "考号", "客观题总分", then the
// question keys, with the cell roles the recognition writes and the answer
// keys it was scored with), and readers of an option panel.

#include "answers.h"
#include "checkboxoption.h"
#include "resultreviewhost.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QMap>
#include <QStringList>
#include <QTableWidget>

class ReviewTestTable : public QTableWidget, public ResultReviewHost {
public:
    explicit ReviewTestTable(const QStringList &questionKeys = {})
    {
        QStringList keys{QStringLiteral("考号"), QStringLiteral("客观题总分")};
        keys << questionKeys;
        setColumnCount(keys.size());
        setHorizontalHeaderLabels(keys);
    }

    QTableWidget *reviewTable() override { return this; }
    const QVector<AnswerSetting> &objectiveKeys() const override { return objective; }
    const QVector<AnswerSetting> &optionalKeys() const override { return optional; }

    static AnswerSetting key(int itemId, const QString &answer, bool multiple, CompareType type, float full,
                             float part)
    {
        AnswerSetting k;
        k.itemId = itemId;
        k.answer = answer;
        k.multiple = multiple;
        k.compareType = type;
        k.score = full;
        k.partScore = part;
        return k;
    }

    int column(const QString &key) const
    {
        for (int c = 0; c < columnCount(); ++c) {
            if (horizontalHeaderItem(c)->text() == key)
                return c;
        }
        return -1;
    }

    // A student's row as the recognition leaves it: every mark scored with
    // the keys (options per question from `optionCounts`, 4 by default) and
    // the total of the scores.
    int addStudent(const QString &code, const QMap<QString, QString> &marks,
                   const QMap<QString, int> &optionCounts = {})
    {
        const int row = rowCount();
        insertRow(row);
        auto *codeItem = new QTableWidgetItem(code);
        codeItem->setData(Qt::UserRole + 2, false);
        setItem(row, 0, codeItem);
        float total = 0.0f;
        for (auto it = marks.cbegin(); it != marks.cend(); ++it) {
            const int itemId = it.key().toInt();
            const AnswerSetting *k = findAnswerSetting(objective, itemId);
            if (!k)
                k = findAnswerSetting(optional, itemId);
            const float score =
                k ? scoreObjectiveItem(it.value(), k->answer, k->multiple, k->score, k->compareType, k->partScore)
                  : 0.0f;
            total += score;
            auto *cell = new QTableWidgetItem(it.value());
            cell->setData(Qt::UserRole + 1, QString::number(score, 'f', 2));
            cell->setData(Qt::UserRole + 2, QString::number(k ? k->score : 0.0f, 'f', 2));
            cell->setData(Qt::UserRole + 3, QString::number(optionCounts.value(it.key(), 4)));
            if (isAbnormalAnswer(it.value(), k && k->multiple))
                cell->setBackground(QColor(255, 192, 203));
            setItem(row, column(it.key()), cell);
        }
        setItem(row, 1, new QTableWidgetItem(QString::number(total, 'f', 2)));
        return row;
    }

    QString text(int row, const QString &key) const
    {
        const QTableWidgetItem *cell = item(row, column(key));
        return cell ? cell->text() : QString();
    }
    QString score(int row, const QString &key) const
    {
        const QTableWidgetItem *cell = item(row, column(key));
        return cell ? cell->data(Qt::UserRole + 1).toString() : QString();
    }
    bool pink(int row, const QString &key) const
    {
        const QTableWidgetItem *cell = item(row, column(key));
        return cell && cell->background().color() == QColor(255, 192, 203)
               && cell->background().style() != Qt::NoBrush;
    }
    QString total(int row) const
    {
        const QTableWidgetItem *cell = item(row, 1);
        return cell ? cell->text() : QString();
    }

    QVector<AnswerSetting> objective;
    QVector<AnswerSetting> optional;
};

namespace ReviewTest {

// The letters of the checked toggles, in option order.
inline QString checkedLetters(const QList<CheckBoxOption *> &boxes)
{
    QString letters;
    for (const CheckBoxOption *box : boxes)
        letters += box->isChecked() ? box->objectName() : QString();
    return letters;
}

// Where each toggle stands in the panel's grid: "row,column" per option.
inline QStringList gridPositions(const QList<CheckBoxOption *> &boxes, QGridLayout *grid)
{
    QStringList out;
    for (CheckBoxOption *box : boxes) {
        int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(grid->indexOf(box), &row, &column, &rowSpan, &columnSpan);
        out << QStringLiteral("%1,%2").arg(row).arg(column);
    }
    return out;
}

} // namespace ReviewTest
