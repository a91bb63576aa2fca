#include "dataformatthread.h"

#include "dialoguploaddata.h"
#include "examsession.h"
#include "myupload.h"
#include "platformrequest.h"

#include <JlCompress.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTableWidget>

// ---------------------------------------------------------------- input

DataFormatInput DataFormatInput::take(const ExamSession &window, const QStringList &idsToLeaveOut)
{
    DataFormatInput in;
    in.dataFolder = DataFormatThread::dataFolder();
    in.customerCode = window.customerCode;
    in.examId = window.examId;
    in.answerSettings = window.answerSettings;
    in.optionalAnswerSettings = window.optionalAnswerSettings;
    in.subjectSections = window.templateModel.subjectSections;
    in.optionalSubjectSections = window.templateModel.optionalSubjectSections;
    in.optionalGroups = window.templateModel.optionalGroups;
    in.optionalObjectItems = window.templateModel.optionalObjectItems;
    in.entireSheetUpload = window.entireSheetUpload;
    in.pagesPerSheet = window.templateModel.pagesPerSheet;
    in.columnKeys = window.resultHeaders;
    in.idsToLeaveOut = idsToLeaveOut;

    const QTableWidget *table = window.resultTable();
    in.rows.resize(table->rowCount());
    for (int r = 0; r < table->rowCount(); ++r) {
        QVector<Cell> &row = in.rows[r];
        row.resize(table->columnCount());
        for (int c = 0; c < table->columnCount(); ++c) {
            const QTableWidgetItem *item = table->item(r, c);
            if (!item)
                continue;
            row[c].present = true;
            row[c].text = item->text();
            row[c].data1 = item->data(Qt::UserRole + 1);
            row[c].data2 = item->data(Qt::UserRole + 2);
        }
    }
    return in;
}

const DataFormatInput::Cell *DataFormatInput::cell(int row, const QString &key) const
{
    const int column = columnOf(key);
    if (row < 0 || row >= rows.size() || column < 0 || column >= rows[row].size())
        return nullptr;
    const Cell &c = rows[row][column];
    return c.present ? &c : nullptr;
}

QString DataFormatInput::studentIdOf(int row) const
{
    if (row < 0 || row >= rows.size() || rows[row].isEmpty() || !rows[row][0].present)
        return QString();
    return rows[row][0].data1.toString();
}

float DataFormatInput::objectTotalFullScore() const
{
    float sum = 0.0f;
    for (const AnswerSetting &setting : answerSettings)
        sum += setting.score;
    for (const OptionalGroup &group : optionalGroups) {
        const int defaultItem = group.defaultItem.toInt();
        for (const OptionalObjectItem &item : optionalObjectItems) {
            if (item.optional != defaultItem)
                continue;
            for (const AnswerSetting &setting : optionalAnswerSettings) {
                if (setting.itemId == item.item)
                    sum += setting.score;
            }
        }
    }
    return sum;
}

QByteArray DataFormatInput::recordOf(int row, const QString &fullScore) const
{
    QJsonObject record;
    record.insert(QStringLiteral("student_id"), studentIdOf(row));

    const Cell *total = cell(row, QStringLiteral("客观题总分"));
    record.insert(QStringLiteral("object_total_score"),
                  QJsonObject{{QStringLiteral("object_total_full_score"), fullScore},
                              {QStringLiteral("object_total_score"), total ? total->text : QString()}});

    if (!answerSettings.isEmpty() || !optionalAnswerSettings.isEmpty()) {
        QJsonArray objects;
        for (const QVector<AnswerSetting> *keys : {&answerSettings, &optionalAnswerSettings}) {
            for (const AnswerSetting &setting : *keys) {
                const Cell *c = cell(row, QString::number(setting.itemId));
                if (!c)
                    continue;
                objects.append(QJsonObject{{QStringLiteral("id"), setting.itemId},
                                           {QStringLiteral("answer"), setting.answer},
                                           {QStringLiteral("mark"), c->text},
                                           {QStringLiteral("score"), c->data1.toString()},
                                           {QStringLiteral("full_score"), c->data2.toString()}});
            }
        }
        record.insert(QStringLiteral("object"), objects);
    }

    if (!subjectSections.isEmpty() || !optionalSubjectSections.isEmpty()) {
        QJsonArray subjects;
        auto add = [&](int page, int section) {
            const Cell *c = cell(row, QStringLiteral("%1-%2").arg(page).arg(section));
            if (!c)
                return;
            subjects.append(QJsonObject{{QStringLiteral("page"), page},
                                        {QStringLiteral("section"), section},
                                        {QStringLiteral("path"), c->data2.toString()}});
        };
        for (const SubjectSection &s : subjectSections)
            add(s.page, s.sectionId);
        for (const OptionalSubjectSection &s : optionalSubjectSections)
            add(s.page, s.sectionId);
        record.insert(QStringLiteral("subject"), subjects);
    }

    if (!optionalGroups.isEmpty()) {
        QJsonArray chosen;
        for (const OptionalGroup &group : optionalGroups) {
            for (const QString &name : group.items) {
                const Cell *c = cell(row, QStringLiteral("o-") + name);
                if (c && c->text == QStringLiteral("√"))
                    chosen.append(name);
            }
        }
        record.insert(QStringLiteral("optional"), chosen);
    }

    if (entireSheetUpload) {
        QJsonArray sheets;
        for (int page = 1; page <= pagesPerSheet; ++page) {
            const Cell *c = cell(row, QStringLiteral("e-%1").arg(page));
            if (c && c->text == QStringLiteral("√"))
                sheets.append(QJsonObject{{QStringLiteral("page"), page}, {QStringLiteral("path"), c->data2.toString()}});
        }
        record.insert(QStringLiteral("entire_sheet"), sheets);
    }

    // Compact output lists the members in ascending key order.
    return QJsonDocument(record).toJson(QJsonDocument::Compact);
}

bool DataFormatInput::leftOut(int row) const
{
    return !idsToLeaveOut.isEmpty() && idsToLeaveOut.contains(studentIdOf(row));
}

QString DataFormatInput::badLinkOf(int row) const
{
    QStringList keys;
    for (const SubjectSection &s : subjectSections)
        keys << QStringLiteral("%1-%2").arg(s.page).arg(s.sectionId);
    for (const OptionalSubjectSection &s : optionalSubjectSections)
        keys << QStringLiteral("%1-%2").arg(s.page).arg(s.sectionId);
    if (entireSheetUpload) {
        for (int page = 1; page <= pagesPerSheet; ++page)
            keys << QStringLiteral("e-%1").arg(page);
    }
    for (const QString &key : qAsConst(keys)) {
        const Cell *c = cell(row, key);
        const QString link = c ? c->data2.toString() : QString();
        const QString problem = link.isEmpty() ? QString() : MyUpload::linkProblem(link);
        if (!problem.isEmpty()) {
            const Cell *code = row < rows.size() && !rows[row].isEmpty() && rows[row][0].present ? &rows[row][0] : nullptr;
            return QStringLiteral("第%1行（考号 %2）列 %3 的图片链接不可用（%4）：%5\n请重新上传该图片后再上传数据。")
                .arg(row + 1)
                .arg(code ? code->text : QString(), key, problem, link);
        }
    }
    return QString();
}

// ---------------------------------------------------------------- worker

DataFormatThread::DataFormatThread(QObject *parent) : QObject(parent) {}

void DataFormatThread::setSources(ExamSession *window, DialogUploadData *uploadDialog)
{
    mainWindow = window;
    dialog = uploadDialog;
    m_input = DataFormatInput::take(*window, uploadDialog ? uploadDialog->idsToLeaveOut : QStringList());
}

namespace {
QString &dataFolderOverride()
{
    static QString folder;
    return folder;
}
} // namespace

QString DataFormatThread::dataFolder()
{
    if (!dataFolderOverride().isEmpty())
        return dataFolderOverride();
    return QCoreApplication::applicationDirPath() + QStringLiteral("/data");
}

void DataFormatThread::setDataFolderForTesting(const QString &folder)
{
    dataFolderOverride() = folder;
}

QString DataFormatThread::dataFilePath(const QString &folder, const QString &customerCode, const QString &examId)
{
    return folder + QStringLiteral("/%1-%2.txt").arg(customerCode, examId);
}

QString DataFormatThread::zipFilePath(const QString &folder, const QString &customerCode, const QString &examId)
{
    return folder + QStringLiteral("/%1-%2.zip").arg(customerCode, examId);
}

void DataFormatThread::runDataFormat()
{
    QString reason;
    const QString zip = writeAndZip(reason);
    if (zip.isEmpty())
        emit failedDataFormat(reason);
    emit finishedDataFormat(zip);
}

QString DataFormatThread::writeAndZip(QString &reason)
{
    const DataFormatInput &in = m_input;
    // Both values become a file name.
    if (!PlatformRequest::isSafeIdentifier(in.customerCode) || !PlatformRequest::isSafeIdentifier(in.examId)) {
        reason = QStringLiteral("客户代码或考试编号含有不能用于文件名的字符（只允许字母、数字、“-”和“_”）。");
        return QString();
    }
    if (!QDir().mkpath(in.dataFolder)) {
        reason = QStringLiteral("无法创建数据文件夹：%1").arg(QDir::toNativeSeparators(in.dataFolder));
        return QString();
    }
    const QString textPath = dataFilePath(in.dataFolder, in.customerCode, in.examId);
    const QString zipPath = zipFilePath(in.dataFolder, in.customerCode, in.examId);
    // A zip left from an earlier run must never stand in for this one.
    if (QFileInfo::exists(zipPath) && !QFile::remove(zipPath)) {
        reason = QStringLiteral("无法删除旧的数据压缩文件：%1").arg(QDir::toNativeSeparators(zipPath));
        return QString();
    }

    // A link that points elsewhere never reaches the platform.
    for (int row = 0; row < in.rows.size(); ++row) {
        if (in.leftOut(row))
            continue;
        reason = in.badLinkOf(row);
        if (!reason.isEmpty())
            return QString();
    }

    QFile file(textPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        reason = QStringLiteral("无法写入数据文件：%1\n%2").arg(QDir::toNativeSeparators(textPath), file.errorString());
        return QString();
    }
    bool fullScoreKnown = false;
    QString fullScore;
    for (int row = 0; row < in.rows.size(); ++row) {
        if (in.leftOut(row))
            continue;
        if (!fullScoreKnown) {
            fullScore = QString::number(double(in.objectTotalFullScore()), 'f', 2);
            fullScoreKnown = true;
        }
        const QByteArray line = in.recordOf(row, fullScore) + '\n';
        if (file.write(line) != line.size()) {
            reason = QStringLiteral("无法写入数据文件：%1\n%2").arg(QDir::toNativeSeparators(textPath), file.errorString());
            file.close();
            QFile::remove(textPath);
            return QString();
        }
        emit setDataFormatProgress(row + 1);
    }
    if (!file.flush()) {
        reason = QStringLiteral("无法写入数据文件：%1\n%2").arg(QDir::toNativeSeparators(textPath), file.errorString());
        file.close();
        QFile::remove(textPath);
        return QString();
    }
    file.close();

    const bool zipped = JlCompress::compressFile(zipPath, textPath);
    QFile::remove(textPath);
    if (!zipped) {
        QFile::remove(zipPath);
        reason = QStringLiteral("数据文件压缩失败：%1").arg(QDir::toNativeSeparators(zipPath));
        return QString();
    }
    return zipPath;
}
