#include "processthread.h"

#include "mainwindow.h"
#include "mytablewidgetresult.h"
#include "recognitionworker.h"

#include <QMetaObject>

#include <utility>

// Turns the pipeline's calls into the worker's signals. Reads of the tables
// and of the upload state go to the GUI thread and wait for the answer, so the
// worker never touches a widget itself.
class ProcessThread::Sink : public PipelineSink {
public:
    explicit Sink(ProcessThread *owner)
        : m_owner(owner), m_apart(qEnvironmentVariableIsSet("OMR_RESULT_SIGNALS_APART"))
    {
    }

    void finished(QString str) override
    {
        sendHeldQuestion();
        emit m_owner->finished(str);
    }
    void setAnchorPointData(int row, QString ab, QString xy) override
    {
        sendHeldQuestion();
        emit m_owner->setAnchorPointData(row, ab, xy);
    }
    void setProcessResult(int row, QString str) override
    {
        sendHeldQuestion();
        emit m_owner->setProcessResult(row, str);
    }
    void setCode(int row, QString code, int studentID, int *resultRowIndex) override
    {
        sendHeldQuestion();
        emit m_owner->setCode(row, code, studentID, resultRowIndex);
    }
    // A question's result is held until its running total, which the
    // pipeline reports next with nothing but the addition in between, and
    // both go in one blocking call: the round trip to the GUI thread costs
    // more than either receiver. Whatever else comes first sends the
    // question alone. OMR_RESULT_SIGNALS_APART sends every result on its
    // own, for measurements.
    void object(int resultRowIndex, int item_id, QString mar, int optionCount, int chooseType, float score,
                float fullScore) override
    {
        sendHeldQuestion();
        if (m_apart) {
            emit m_owner->object(resultRowIndex, item_id, mar, optionCount, chooseType, score, fullScore);
            return;
        }
        m_held = HeldQuestion{resultRowIndex, item_id, mar, optionCount, chooseType, score, fullScore};
        m_holding = true;
    }
    void objectTotalScore(int resultRowIndex, float score) override
    {
        if (!m_holding) {
            emit m_owner->objectTotalScore(resultRowIndex, score);
            return;
        }
        m_holding = false;
        const HeldQuestion q = std::move(m_held);
        emit m_owner->objectAndTotal(q.row, q.item, q.marks, q.optionCount, q.chooseType, q.score, q.fullScore,
                                     resultRowIndex, score);
    }
    void addLog(QString str) override
    {
        sendHeldQuestion();
        emit m_owner->addLog(str);
    }
    void setUnprocessed(int start, int end) override
    {
        sendHeldQuestion();
        emit m_owner->setUnprocessed(start, end);
    }
    void subjectSection(int resultRowIndex, QString pageSection, QString localPath, int studentID) override
    {
        sendHeldQuestion();
        emit m_owner->subjectSection(resultRowIndex, pageSection, localPath, studentID);
    }
    void deleteResultByCode(QString codeValue) override
    {
        sendHeldQuestion();
        emit m_owner->deleteResultByCode(codeValue);
    }
    void optionalItem(int resultRowIndex, QString optionalItem) override
    {
        sendHeldQuestion();
        emit m_owner->optionalItem(resultRowIndex, optionalItem);
    }
    void loadImage(QString filePath) override
    {
        sendHeldQuestion();
        emit m_owner->loadImage(filePath);
    }
    void startUpload(int rowIndex, int startCellIndex, bool *startUpload) override
    {
        sendHeldQuestion();
        emit m_owner->startUpload(rowIndex, startCellIndex, startUpload);
    }
    void processForOneStudentSuccessed(int start, int end, int resultRowIndex, QStringList paths) override
    {
        sendHeldQuestion();
        emit m_owner->processForOneStudentSuccessed(start, end, resultRowIndex, paths);
    }

    QVector<PageRowInput> sheetRows(int firstRow, int count) override
    {
        sendHeldQuestion();
        QVector<PageRowInput> rows;
        MainWindow *window = m_owner->mainWindow;
        QMetaObject::invokeMethod(
            window, [&] { rows = window->sheetRows(firstRow, count); }, Qt::BlockingQueuedConnection);
        return rows;
    }

    bool uploadPoolRunning() override
    {
        sendHeldQuestion();
        // The flag is atomic and the table outlives the run; polled every millisecond.
        const MyTableWidgetResult *table = m_owner->mainWindow->tableWidgetResults;
        return table && table->uploading;
    }

private:
    struct HeldQuestion {
        int row = -1;
        int item = 0;
        QString marks;
        int optionCount = 0;
        int chooseType = 0;
        float score = 0;
        float fullScore = 0;
    };

    void sendHeldQuestion()
    {
        if (!m_holding)
            return;
        m_holding = false;
        const HeldQuestion q = std::move(m_held);
        emit m_owner->object(q.row, q.item, q.marks, q.optionCount, q.chooseType, q.score, q.fullScore);
    }

    ProcessThread *m_owner;
    const bool m_apart;
    bool m_holding = false;
    HeldQuestion m_held;
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
