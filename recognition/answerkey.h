#pragma once
// Answer key and roster records that the platform fills and recognition reads.

#include <QHash>
#include <QString>
#include <QVector>

enum CompareType {
    SC = 0,
    MA = 1,
    TYPE1 = 2,
    TYPE2 = 3,
    TYPE3 = 4,
};

struct AnswerSetting {
    int itemId = 0;
    QString answer;
    bool multiple = false;
    float score = 0.0f;
    CompareType compareType = SC;
    float partScore = 0.0f;
};

struct StudentInfo {
    QString realname;
    QString code;
    QString className;
    int id = 0;
};

using StudentHash = QHash<QString, StudentInfo>;
