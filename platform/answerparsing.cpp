#include "answerparsing.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QLocale>

namespace AnswerParsing {

namespace {

struct CompareCode {
    const char *code;
    CompareType type;
    const char *text;
};

const CompareCode kCompareCodes[] = {
    {"SC", SC, "严格判断"},
    {"MA", MA, "允许漏选"},
    {"TYPE1", TYPE1, "类型1"},
    {"TYPE2", TYPE2, "类型2"},
    {"TYPE3", TYPE3, "类型3"},
};

// Numbers as the platform sends them; a number in a string is taken too.
double number(const QJsonValue &value)
{
    if (value.isString())
        return value.toString().toDouble();
    return value.toDouble();
}

QString shortest(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

CompareType compareTypeFromCode(const QString &code)
{
    for (const CompareCode &c : kCompareCodes) {
        if (code == QLatin1String(c.code))
            return c.type;
    }
    return SC;
}

QString compareTypeText(const QString &code)
{
    for (const CompareCode &c : kCompareCodes) {
        if (code == QLatin1String(c.code))
            return QString::fromUtf8(c.text);
    }
    return QString();
}

AnswerRow rowFromItem(const QJsonObject &item)
{
    AnswerRow row;
    AnswerSetting &s = row.setting;
    const QJsonValue id = item.value(QStringLiteral("item_id"));
    s.itemId = id.isString() ? id.toString().toInt() : id.toInt();
    const QString type = item.value(QStringLiteral("type")).toString();
    s.multiple = type != QLatin1String("S");
    s.answer = item.value(QStringLiteral("answer")).toString();
    const double score = number(item.value(QStringLiteral("score")));
    const double partScore = number(item.value(QStringLiteral("partscore")));
    s.score = float(score);
    s.partScore = float(partScore);
    const QString compare = item.value(QStringLiteral("comparetype")).toString();
    s.compareType = compareTypeFromCode(compare);

    QString typeText;
    if (type == QLatin1String("S"))
        typeText = QStringLiteral("单选");
    else if (type == QLatin1String("M"))
        typeText = QStringLiteral("多选");
    row.cells << QString::number(s.itemId) << typeText << s.answer << shortest(score)
              << compareTypeText(compare) << shortest(partScore);
    return row;
}

QVector<AnswerRow> parseAnswerText(const QString &text, bool *isArray)
{
    QVector<AnswerRow> rows;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    if (isArray)
        *isArray = doc.isArray();
    if (!doc.isArray())
        return rows;
    for (const QJsonValue &v : doc.array()) {
        if (v.isObject())
            rows.append(rowFromItem(v.toObject()));
    }
    return rows;
}

} // namespace AnswerParsing
