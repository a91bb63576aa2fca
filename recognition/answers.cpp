#include "answers.h"

#include <QLatin1Char>

#include <algorithm>

float scoreObjectiveItem(QString answer, QString key, bool multiple, float fullScore, int compareType, float partScore)
{
    // Single choice is scored by exact text whatever the compare type says.
    if (!multiple || compareType == SC)
        return answer == key ? fullScore : 0.0f;

    switch (compareType) {
    case MA: {
        const int relation = compareAnswerLetters(answer, key);
        if (relation == 0)
            return fullScore;
        return relation == 1 ? partScore : 0.0f;
    }
    case TYPE1: {
        const int relation = compareAnswerLetters(answer, key);
        if (relation == 0)
            return fullScore;
        // relation 1 implies a non-empty answer shorter than the key, so the key is not empty.
        if (relation == 1)
            return (fullScore / float(key.length())) * float(answer.length());
        return 0.0f;
    }
    case TYPE2: {
        if (answer.length() > 3)
            return 0.0f;
        if (answer == key)
            return fullScore;
        float score = 0.0f;
        for (const QChar letter : answer) {
            if (key.contains(letter))
                score += partScore;
        }
        return score;
    }
    default:
        // TYPE3 and unknown types have no scoring rule: nothing is awarded.
        return 0.0f;
    }
}

int compareAnswerLetters(QString answer, QString key)
{
    if (answer.isEmpty() || answer.length() > key.length())
        return -1;
    for (const QChar letter : answer) {
        if (!key.contains(letter))
            return -1;
    }
    return answer.length() < key.length() ? 1 : 0;
}

bool isAbnormalAnswer(QString answer, bool multiple)
{
    if (answer == QLatin1String("X"))
        return true;
    return !multiple && answer.length() > 1;
}

QChar optionLetter(int index)
{
    return QChar(ushort('A' + index % kOptionLetterCount));
}

QString normalizeAnswer(QString answer, int optionCount)
{
    QString letters;
    for (const QChar c : answer) {
        const int offset = int(c.unicode()) - int('A');
        if (offset >= 0 && offset < optionCount) {
            if (!letters.contains(c))
                letters.append(c);
        } else if (c == QLatin1Char('X')) {
            return QStringLiteral("X");
        }
    }
    std::sort(letters.begin(), letters.end());
    return letters.isEmpty() ? QStringLiteral("X") : letters;
}

int findStudentIndex(QString code, const StudentHash &roster)
{
    const auto it = roster.constFind(code);
    if (it == roster.constEnd())
        return -1;
    return it->id > 0 ? it->id : -1;
}

const AnswerSetting *findAnswerSetting(const QVector<AnswerSetting> &keys, int itemId)
{
    for (const AnswerSetting &setting : keys) {
        if (setting.itemId == itemId)
            return &setting;
    }
    return nullptr;
}
