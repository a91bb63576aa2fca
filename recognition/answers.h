#pragma once
// Answer evaluation, callable from any thread. An answer is a text of option
// letters in ascending order; "X" means nothing is marked.

#include "answerkey.h"
#include <QChar>
#include <QString>

float scoreObjectiveItem(QString answer, QString key, bool multiple, float fullScore, int compareType, float partScore);
int compareAnswerLetters(QString answer, QString key);
bool isAbnormalAnswer(QString answer, bool multiple);
// Options are named A to P; optionLetter wraps after them.
constexpr int kOptionLetterCount = 16;
QChar optionLetter(int index);
QString normalizeAnswer(QString answer, int optionCount);
int findStudentIndex(QString code, const StudentHash &roster);

// The first key entry for that question number, or null.
const AnswerSetting *findAnswerSetting(const QVector<AnswerSetting> &keys, int itemId);
