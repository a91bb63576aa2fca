#include "processthread.h"

#include "mainwindow.h"
#include "mytablewidgetresult.h"
#include "recognitionworker.h"

#include <QMetaObject>

// Turns the pipeline's calls into the worker's signals. Reads of the tables
// and of the upload state go to the GUI thread and wait for the answer, so the
// worker never touches a widget itself.
class ProcessThread::Sink : public PipelineSink {
public:
    explicit Sink(ProcessThread *owner) : m_owner(owner) {}

    void finished(QString str) override { emit m_owner->finished(str); }
    void setAnchorPointData(int row, QString ab, QString xy) override { emit m_owner->setAnchorPointData(row, ab, xy); }
    void setProcessResult(int row, QString str) override { emit m_owner->setProcessResult(row, str); }
    void setCode(int row, QString code, int studentID, int *resultRowIndex) override
    {
        emit m_owner->setCode(row, code, studentID, resultRowIndex);
    }
    void object(int resultRowIndex, int item_id, QString mar, int optionCount, int chooseType, float score,
                float fullScore) override
    {
        emit m_owner->object(resultRowIndex, item_id, mar, optionCount, chooseType, score, fullScore);
    }
    void objectTotalScore(int resultRowIndex, float score) override { emit m_owner->objectTotalScore(resultRowIndex, score); }
    void addLog(QString str) override { emit m_owner->addLog(str); }
    void setUnprocessed(int start, int end) override { emit m_owner->setUnprocessed(start, end); }
    void subjectSection(int resultRowIndex, QString pageSection, QString localPath, int studentID) override
    {
        emit m_owner->subjectSection(resultRowIndex, pageSection, localPath, studentID);
    }
    void deleteResultByCode(QString codeValue) override { emit m_owner->deleteResultByCode(codeValue); }
    void optionalItem(int resultRowIndex, QString optionalItem) override
    {
        emit m_owner->optionalItem(resultRowIndex, optionalItem);
    }
    void loadImage(QString filePath) override { emit m_owner->loadImage(filePath); }
    void startUpload(int rowIndex, int startCellIndex, bool *startUpload) override
    {
        emit m_owner->startUpload(rowIndex, startCellIndex, startUpload);
    }
    void processForOneStudentSuccessed(int start, int end, int resultRowIndex, QStringList paths) override
    {
        emit m_owner->processForOneStudentSuccessed(start, end, resultRowIndex, paths);
    }

    QVector<PageRowInput> sheetRows(int firstRow, int count) override
    {
        QVector<PageRowInput> rows;
        MainWindow *window = m_owner->mainWindow;
        QMetaObject::invokeMethod(
            window, [&] { rows = window->sheetRows(firstRow, count); }, Qt::BlockingQueuedConnection);
        return rows;
    }

    bool uploadPoolRunning() override
    {
        // The flag is atomic and the table outlives the run; polled every millisecond.
        const MyTableWidgetResult *table = m_owner->mainWindow->tableWidgetResults;
        return table && table->uploading;
    }

private:
    ProcessThread *m_owner;
};

ProcessThread::ProcessThread(QObject *parent) : QObject(parent), m_sink(new Sink(this)) {}

ProcessThread::~ProcessThread() = default;

int ProcessThread::currentRow() const
{
    return recognitionRun ? recognitionRun->currentRow(worker.index).load() : -1;
}

void ProcessThread::run(int start, int end)
{
    worker.name = objectName();
    if (!recognitionRun) {
        emit finished(objectName());
        return;
    }
    runRecognitionWorker(context, *recognitionRun, worker, start, end, stop, *m_sink);
}

void ProcessThread::allUploadThreadFinished()
{
    uploadFinished = true;
}
