#pragma once
// A pipeline receiver for tests and the benchmark: it keeps the two tables the
// way the main window would (image rows and result rows) and records every
// call in order. Calls from several worker threads are serialised, as the
// blocking queued signals serialise them on the GUI thread.

#include "sheetpipeline.h"

#include <QMap>
#include <QMutex>
#include <QStringList>
#include <QVector>

class RecordingSink : public PipelineSink {
public:
    struct ImageRow {
        QString path;
        QString code;              // student-code cell
        QString result;            // process-result cell
        QString anchorA, anchorB, printText;
        bool cornerCheck = false;
        QString printTextArea, anchorAArea, anchorBArea;
    };
    struct Objective {
        QString marks;
        int optionCount = 0;
        int chooseType = 0;
        float score = 0;
        float fullScore = 0;
    };
    struct ResultRow {
        QString code;
        int studentId = 0;
        bool dropped = false;
        QMap<int, Objective> objectives;      // by question number (last write wins)
        float total = 0;
        QMap<QString, QString> subjects;      // "page-block" -> path
        QStringList optionals;                // "o-N" in order
        QStringList pagePaths;                // set when the sheet completed
    };

    explicit RecordingSink(const QStringList &paths = {});

    // Events as "name(args)" in call order, e.g. "setProcessResult(0,√)".
    QStringList events() const;
    QStringList names() const;             // just the operation names
    QVector<ImageRow> imageRows() const;
    QVector<ResultRow> results() const;    // dropped rows included (flagged)
    QStringList logLines() const;
    // The live result row of a code, or null.
    const ResultRow *resultFor(const QString &code) const;
    int finishedCount() const;
    void setImageRow(int row, const ImageRow &value);

    // Whether the upload pool reports itself running, and how many requests
    // it refuses before accepting one.
    // The first `refusals` requests to start the upload pool are refused as if
    // another worker had just started it; that pool then runs for
    // `pollsPerRun` polls of uploadPoolRunning().
    void setUploadBehaviour(int refusals, int pollsPerRun = 0)
    {
        m_refusals = refusals;
        m_pollsPerRun = pollsPerRun;
    }
    // Requests made while a pool was still running.
    int uploadRequestsWhileRunning() const
    {
        QMutexLocker lock(&m_mutex);
        return m_requestsWhileRunning;
    }

    void finished(QString str) override;
    void setAnchorPointData(int row, QString ab, QString xy) override;
    void setProcessResult(int row, QString str) override;
    void setCode(int row, QString code, int studentID, int *resultRowIndex) override;
    void object(int resultRowIndex, int item_id, QString mar, int optionCount, int chooseType, float score,
                float fullScore) override;
    void objectTotalScore(int resultRowIndex, float score) override;
    void addLog(QString str) override;
    void setUnprocessed(int start, int end) override;
    void subjectSection(int resultRowIndex, QString pageSection, QString localPath, int studentID) override;
    void deleteResultByCode(QString codeValue) override;
    void optionalItem(int resultRowIndex, QString optionalItem) override;
    void loadImage(QString filePath) override;
    void startUpload(int rowIndex, int startCellIndex, bool *startUpload) override;
    void processForOneStudentSuccessed(int start, int end, int resultRowIndex,
                                       QStringList originalSheetLocalPath) override;
    QVector<PageRowInput> sheetRows(int firstRow, int count) override;
    bool uploadPoolRunning() override;

private:
    void record(const QString &name, const QStringList &args);
    ResultRow *row(int index);

    mutable QMutex m_mutex;
    QStringList m_events;
    QStringList m_log;
    QVector<ImageRow> m_images;
    QVector<ResultRow> m_results;
    int m_finished = 0;
    int m_refusals = 0;
    int m_pollsPerRun = 0;
    int m_pollsLeft = 0;
    int m_requestsWhileRunning = 0;
};
