#include "recordingsink.h"

#include <QMutexLocker>

RecordingSink::RecordingSink(const QStringList &paths)
{
    for (const QString &p : paths) {
        ImageRow r;
        r.path = p;
        m_images << r;
    }
}

QStringList RecordingSink::events() const
{
    QMutexLocker lock(&m_mutex);
    return m_events;
}

QStringList RecordingSink::names() const
{
    QStringList out;
    for (const QString &e : events())
        out << e.left(e.indexOf(QLatin1Char('(')));
    return out;
}

QVector<RecordingSink::ImageRow> RecordingSink::imageRows() const
{
    QMutexLocker lock(&m_mutex);
    return m_images;
}

QVector<RecordingSink::ResultRow> RecordingSink::results() const
{
    QMutexLocker lock(&m_mutex);
    return m_results;
}

QStringList RecordingSink::logLines() const
{
    QMutexLocker lock(&m_mutex);
    return m_log;
}

const RecordingSink::ResultRow *RecordingSink::resultFor(const QString &code) const
{
    QMutexLocker lock(&m_mutex);
    for (const ResultRow &r : m_results) {
        if (!r.dropped && r.code == code)
            return &r;
    }
    return nullptr;
}

int RecordingSink::finishedCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_finished;
}

void RecordingSink::setImageRow(int row, const ImageRow &value)
{
    QMutexLocker lock(&m_mutex);
    if (row >= m_images.size())
        m_images.resize(row + 1);
    m_images[row] = value;
}

void RecordingSink::record(const QString &name, const QStringList &args)
{
    m_events << name + QLatin1Char('(') + args.join(QLatin1Char(',')) + QLatin1Char(')');
}

RecordingSink::ResultRow *RecordingSink::row(int index)
{
    return index >= 0 && index < m_results.size() ? &m_results[index] : nullptr;
}

void RecordingSink::finished(QString str)
{
    QMutexLocker lock(&m_mutex);
    record(QStringLiteral("finished"), {str});
    ++m_finished;
}

void RecordingSink::setAnchorPointData(int r, QString ab, QString xy)
{
    QMutexLocker lock(&m_mutex);
    record(QStringLiteral("setAnchorPointData"), {QString::number(r), ab, xy});
    if (r < 0 || r >= m_images.size())
        return;
    if (ab == QLatin1String("A"))
        m_images[r].anchorA = xy;
    else if (ab == QLatin1String("B"))
        m_images[r].anchorB = xy;
    else
        m_images[r].printText = xy;
}

void RecordingSink::setProcessResult(int r, QString str)
{
    QMutexLocker lock(&m_mutex);
    record(QStringLiteral("setProcessResult"), {QString::number(r), str});
    if (r >= 0 && r < m_images.size())
        m_images[r].result = str;
}

void RecordingSink::setCode(int r, QString code, int studentID, int *resultRowIndex)
{
    QMutexLocker lock(&m_mutex);
    record(QStringLiteral("setCode"), {QString::number(r), code, QString::number(studentID)});
    if (r >= 0 && r < m_images.size())
        m_images[r].code = code;
    ResultRow result;
    result.code = code;
    result.studentId = studentID;
    m_results << result;
    *resultRowIndex = m_results.size() - 1;
}

void RecordingSink::object(int resultRowIndex, int item_id, QString mar, int optionCount, int chooseType,
                           float score, float fullScore)
{
    QMutexLocker lock(&m_mutex);
    record(QStringLiteral("object"), {QString::number(resultRowIndex), QString::number(item_id), mar});
    if (ResultRow *r = row(resultRowIndex))
        r->objectives[item_id] = Objective{mar, optionCount, chooseType, score, fullScore};
}

void RecordingSink::objectTotalScore(int resultRowIndex, float score)
{
    QMutexLocker lock(&m_mutex);
    record(QStringLiteral("objectTotalScore"), {QString::number(resultRowIndex), QString::number(score)});
    if (ResultRow *r = row(resultRowIndex))
        r->total = score;
}

void RecordingSink::addLog(QString str)
{
    QMutexLocker lock(&m_mutex);
    record(QStringLiteral("addLog"), {str});
    m_log << str;
}

void RecordingSink::setUnprocessed(int start, int end)
{
    QMutexLocker lock(&m_mutex);
    record(QStringLiteral("setUnprocessed"), {QString::number(start), QString::number(end)});
    const QString code = start >= 0 && start < m_images.size() ? m_images[start].code : QString();
    for (int r = std::max(start, 0); r < end && r < m_images.size(); ++r) {
        m_images[r].code.clear();
        m_images[r].result.clear();
        m_images[r].anchorA.clear();
        m_images[r].anchorB.clear();
        m_images[r].printText.clear();
    }
    if (!code.isEmpty()) {
        for (ResultRow &r : m_results) {
            if (r.code == code)
                r.dropped = true;
        }
    }
}

void RecordingSink::subjectSection(int resultRowIndex, QString pageSection, QString localPath, int studentID)
{
    QMutexLocker lock(&m_mutex);
    record(QStringLiteral("subjectSection"), {QString::number(resultRowIndex), pageSection, localPath});
    if (ResultRow *r = row(resultRowIndex))
        r->subjects[pageSection] = localPath;
}

void RecordingSink::deleteResultByCode(QString codeValue)
{
    QMutexLocker lock(&m_mutex);
    record(QStringLiteral("deleteResultByCode"), {codeValue});
    for (ResultRow &r : m_results) {
        if (r.code == codeValue)
            r.dropped = true;
    }
}

void RecordingSink::optionalItem(int resultRowIndex, QString optionalItem)
{
    QMutexLocker lock(&m_mutex);
    record(QStringLiteral("optionalItem"), {QString::number(resultRowIndex), optionalItem});
    if (ResultRow *r = row(resultRowIndex))
        r->optionals << optionalItem;
}

void RecordingSink::loadImage(QString filePath)
{
    QMutexLocker lock(&m_mutex);
    record(QStringLiteral("loadImage"), {filePath});
}

void RecordingSink::startUpload(int rowIndex, int startCellIndex, bool *startUpload)
{
    QMutexLocker lock(&m_mutex);
    record(QStringLiteral("startUpload"), {QString::number(rowIndex), QString::number(startCellIndex)});
    if (m_pollsLeft > 0)
        ++m_requestsWhileRunning;
    if (m_refusals > 0) {
        --m_refusals;
        m_pollsLeft = m_pollsPerRun;
    } else {
        *startUpload = true;
    }
}

bool RecordingSink::uploadPoolRunning()
{
    QMutexLocker lock(&m_mutex);
    if (m_pollsLeft == 0)
        return false;
    --m_pollsLeft;
    return true;
}

void RecordingSink::processForOneStudentSuccessed(int start, int end, int resultRowIndex,
                                                  QStringList originalSheetLocalPath)
{
    QMutexLocker lock(&m_mutex);
    record(QStringLiteral("processForOneStudentSuccessed"),
           {QString::number(start), QString::number(end), QString::number(resultRowIndex)});
    if (ResultRow *r = row(resultRowIndex))
        r->pagePaths = originalSheetLocalPath;
}

QVector<PageRowInput> RecordingSink::sheetRows(int firstRow, int count)
{
    QMutexLocker lock(&m_mutex);
    QVector<PageRowInput> out;
    for (int r = firstRow; r < firstRow + count && r < m_images.size(); ++r) {
        const ImageRow &i = m_images[r];
        PageRowInput in;
        in.path = i.path;
        in.processed = i.result == QStringLiteral("√");
        in.typedCode = i.code;
        in.cornerCheck = i.cornerCheck;
        in.printTextArea = i.printTextArea;
        in.anchorAArea = i.anchorAArea;
        in.anchorBArea = i.anchorBArea;
        out << in;
    }
    return out;
}
