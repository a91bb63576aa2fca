#pragma once
// Reading the answer keys of an exam's information ("object_answer",
// "optional_object_answer": texts that hold a JSON array of answer items).

#include "answerkey.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

namespace AnswerParsing {

// "SC", "MA", "TYPE1", "TYPE2", "TYPE3" (case-sensitive); anything else is SC.
CompareType compareTypeFromCode(const QString &code);
// The judging text shown for a platform code; empty for an unknown code.
QString compareTypeText(const QString &code);

// One answer item as the exam dialog shows and keeps it.
struct AnswerRow {
    AnswerSetting setting;
    // "题号", "单/多选", "答案", "分值", "判断方式", "漏选得分"
    QStringList cells;
};

AnswerRow rowFromItem(const QJsonObject &item);

// The items of one answer text, in the platform's order. A text that is not
// a JSON array gives no rows and clears *isArray; elements that are not
// objects are skipped.
QVector<AnswerRow> parseAnswerText(const QString &text, bool *isArray = nullptr);

} // namespace AnswerParsing
