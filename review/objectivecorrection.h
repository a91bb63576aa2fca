#pragma once
// Writing a corrected objective mark back into the result table: the cell
// takes the mark, is scored again with the exam's answer key by the same
// functions the recognition scores with, and is coloured when abnormal.
//
// A review dialog may stay open while recognition workers change the table
// (a duplicate code drops every row of that code), so a correction finds its
// student's row again by code when it is written, and is not written into a
// row that has gone.

#include "answerkey.h"

#include <QString>
#include <QVector>

class QTableWidget;
class QTableWidgetItem;
class QWidget;

struct MarkScore {
    float score = 0.0f;
    bool multiple = false;
};

// The score of `mark` against the first key of question `itemId` in the
// objective keys, else in the optional-question keys. A question without a
// key scores 0 and counts as single choice.
MarkScore scoreMark(const QString &mark, int itemId, const QVector<AnswerSetting> &objectiveKeys,
                    const QVector<AnswerSetting> &optionalKeys);

// The objective cell's text, score (two decimals) and background for a mark.
void writeObjectiveCell(QTableWidgetItem *cell, const QString &mark, float score, bool multiple);

// The row that holds student `code` now: `row` when it still does and its
// results were not dropped, else the first other such row; -1 when none.
int findStudentRow(const QTableWidget *table, int row, const QString &code);

// The column whose header is `key`, or -1.
int findResultColumn(const QTableWidget *table, const QString &key);

// One question corrected in the objective viewer: the student's cell of
// column `key` takes the mark and its new score, and the objective total
// (column 1) changes by the difference of the scores. False, with nothing
// written, when the row or the cell is gone.
bool writeBackObjectiveMark(QTableWidget *table, int row, const QString &code, const QString &key,
                            const QString &mark, const QVector<AnswerSetting> &objectiveKeys,
                            const QVector<AnswerSetting> &optionalKeys);

// Tells the operator that a correction of student `code` was not written
// because the student's result row is gone.
void reportCorrectionNotWritten(QWidget *parent, const QString &code);
