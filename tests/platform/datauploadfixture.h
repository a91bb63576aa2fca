#pragma once
// Helpers of the results upload tests: zips read in memory, a stand-in for
// the platform's upload record and data store on the simulator, and an exam
// laid out in a real main window.

#include "mainwindow.h"
#include "mytablewidgetresult.h"
#include "platformsimulator.h"

#include <JlCompress.h>
#include <quazip.h>
#include <quazipfile.h>

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QMutex>
#include <QMutexLocker>

#include <memory>
#include <optional>

namespace UploadFixture {

struct ZipEntry {
    QString name;
    QByteArray content;
};

// Every entry of a zip held in memory; empty when it is no zip.
inline QList<ZipEntry> zipEntries(const QByteArray &zip)
{
    QList<ZipEntry> entries;
    QBuffer buffer;
    buffer.setData(zip);
    QuaZip archive(&buffer);
    if (!archive.open(QuaZip::mdUnzip))
        return entries;
    for (bool more = archive.goToFirstFile(); more; more = archive.goToNextFile()) {
        QuaZipFile file(&archive);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        entries.append({archive.getCurrentFileName(), file.readAll()});
    }
    return entries;
}

inline QList<ZipEntry> zipEntriesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return zipEntries(file.readAll());
}

// The platform's side of one exam: the records uploaded so far, answered
// through "/<type>/<code>/client/upload-record" and stored by
// "/<type>/<code>/client/data" the way a platform would. Replies can be
// scripted instead; the handlers run on the simulator's thread.
class RecordPlatform {
public:
    struct Post {
        QList<PlatformSimulator::Part> parts;
        QByteArray userAgent;
        QList<ZipEntry> entries; // of the "file" part
    };

    RecordPlatform(PlatformSimulator &sim, const QString &type, const QString &code)
        : m_state(std::make_shared<State>())
    {
        recordPath = QStringLiteral("/%1/%2/client/upload-record").arg(type, code);
        dataPath = QStringLiteral("/%1/%2/client/data").arg(type, code);
        const std::shared_ptr<State> state = m_state;
        sim.setHandler(recordPath, [state](const PlatformSimulator::Request &) {
            QMutexLocker lock(&state->mutex);
            if (state->recordReply)
                return *state->recordReply;
            if (state->locked) {
                return PlatformSimulator::json(QJsonObject{
                    {QStringLiteral("code"), 500},
                    {QStringLiteral("message"), QJsonObject{{QStringLiteral("ip"), QStringLiteral("10.0.0.8")},
                                                            {QStringLiteral("created_at"),
                                                             QStringLiteral("2025-06-01 08:30:00")}}}});
            }
            if (!state->records.isEmpty()) {
                return PlatformSimulator::json(QJsonObject{
                    {QStringLiteral("code"), 201},
                    {QStringLiteral("message"),
                     QStringLiteral("[%1]").arg(QStringList(state->records.keys()).join(QLatin1Char(',')))}});
            }
            return PlatformSimulator::json(
                QJsonObject{{QStringLiteral("code"), 200}, {QStringLiteral("message"), QStringLiteral("ok")}});
        });
        sim.setHandler(dataPath, [state](const PlatformSimulator::Request &request) {
            Post post;
            post.parts = request.parts;
            post.userAgent = request.headers.value("user-agent");
            const PlatformSimulator::Part *file = request.part(QStringLiteral("file"));
            if (file)
                post.entries = zipEntries(file->body);
            QMutexLocker lock(&state->mutex);
            state->posts.append(post);
            if (state->dataReply)
                return *state->dataReply;
            if (post.entries.size() != 1) {
                return PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 422},
                                                           {QStringLiteral("msg"), QStringLiteral("one file please")}});
            }
            const QString remove = request.field(QStringLiteral("student_ids_need_delete"));
            if (!remove.isEmpty()) {
                for (const QString &id : remove.split(QLatin1Char(',')))
                    state->records.remove(id);
            }
            for (const QByteArray &line : post.entries.first().content.split('\n')) {
                if (line.isEmpty())
                    continue;
                const QJsonObject record = QJsonDocument::fromJson(line).object();
                state->records.insert(record.value(QStringLiteral("student_id")).toString(), record);
            }
            return PlatformSimulator::json(
                QJsonObject{{QStringLiteral("code"), 200}, {QStringLiteral("msg"), QStringLiteral("ok")}});
        });
    }

    void scriptRecordReply(const PlatformSimulator::Reply &reply)
    {
        QMutexLocker lock(&m_state->mutex);
        m_state->recordReply = reply;
    }
    void scriptDataReply(const PlatformSimulator::Reply &reply)
    {
        QMutexLocker lock(&m_state->mutex);
        m_state->dataReply = reply;
    }
    // Another client has uploaded this exam.
    void lock()
    {
        QMutexLocker lock(&m_state->mutex);
        m_state->locked = true;
    }
    void storeRecord(const QString &studentId, const QJsonObject &record = {})
    {
        QMutexLocker lock(&m_state->mutex);
        m_state->records.insert(studentId, record);
    }
    QMap<QString, QJsonObject> records() const
    {
        QMutexLocker lock(&m_state->mutex);
        return m_state->records;
    }
    QList<Post> posts() const
    {
        QMutexLocker lock(&m_state->mutex);
        return m_state->posts;
    }

    QString recordPath;
    QString dataPath;

private:
    struct State {
        QMutex mutex;
        std::optional<PlatformSimulator::Reply> recordReply;
        std::optional<PlatformSimulator::Reply> dataReply;
        bool locked = false;
        QMap<QString, QJsonObject> records;
        QList<Post> posts;
    };
    std::shared_ptr<State> m_state;
};

// One result cell: its text and the two data roles.
struct CellSpec {
    QString text;
    QVariant data1;
    QVariant data2;
};

// A two-page exam: objective questions 1 to 3 (keys worth 2, 3 and 5),
// subjective blocks 1-1 and 2-3, one optional group choosing between
// candidate 21 (question 31, worth 4) and 22 (question 32, worth 6, and
// block 2-5); whole-sheet columns when asked.
inline void layOutExam(MainWindow &w, bool entireSheet, const QString &defaultCandidate = QStringLiteral("21"))
{
    w.pagesPerSheet = 2;
    w.entireSheetUpload = entireSheet;
    w.objectItems.clear();
    for (int item = 1; item <= 3; ++item) {
        ObjectItem o;
        o.page = 1;
        o.item = item;
        o.optionCount = 4;
        w.objectItems.append(o);
    }
    w.subjectSections = {SubjectSection{1, 1, QRect()}, SubjectSection{2, 3, QRect()}};
    OptionalGroup group;
    group.page = 2;
    group.items = QStringList{QStringLiteral("21"), QStringLiteral("22")};
    group.defaultItem = defaultCandidate;
    w.optionalGroups = {group};
    OptionalObjectItem q31;
    q31.page = 2;
    q31.item = 31;
    q31.optional = 21;
    OptionalObjectItem q32 = q31;
    q32.item = 32;
    q32.optional = 22;
    w.optionalObjectItems = {q31, q32};
    OptionalSubjectSection block;
    block.optional = 22;
    block.page = 2;
    block.sectionId = 5;
    w.optionalSubjectSections = {block};

    auto key = [](int item, const char *answer, float score) {
        AnswerSetting s;
        s.itemId = item;
        s.answer = QString::fromLatin1(answer);
        s.score = score;
        return s;
    };
    w.answerSettings = {key(1, "A", 2.0f), key(2, "BD", 3.0f), key(3, "C", 5.0f)};
    w.optionalAnswerSettings = {key(31, "D", 4.0f), key(32, "AB", 6.0f)};
    w.buildResultHeaders();
}

// Appends a result row: the code cell with the platform id, then the cells
// named by their column keys.
inline int addResultRow(MainWindow &w, const QString &code, int studentId, const QMap<QString, CellSpec> &cells = {},
                        const QStringList &pagePaths = {})
{
    MyTableWidgetResult *table = w.tableWidgetResults;
    const int row = table->rowCount();
    table->insertRow(row);
    auto *codeItem = new QTableWidgetItem(code);
    codeItem->setData(Qt::UserRole + 1, studentId);
    codeItem->setData(Qt::UserRole + 2, pagePaths.isEmpty() ? QVariant(false) : QVariant(pagePaths));
    table->setItem(row, 0, codeItem);
    for (auto it = cells.cbegin(); it != cells.cend(); ++it) {
        const int column = w.resultColumnOf(it.key());
        if (column < 0)
            continue;
        auto *item = new QTableWidgetItem(it.value().text);
        if (it.value().data1.isValid())
            item->setData(Qt::UserRole + 1, it.value().data1);
        if (it.value().data2.isValid())
            item->setData(Qt::UserRole + 2, it.value().data2);
        table->setItem(row, column, item);
    }
    return row;
}

inline StudentInfo student(const QString &code, const QString &name, const QString &className, int id)
{
    StudentInfo s;
    s.code = code;
    s.realname = name;
    s.className = className;
    s.id = id;
    return s;
}

} // namespace UploadFixture
