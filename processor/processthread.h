#pragma once
// One recognition worker: lives in a thread of its own, claims whole sheets
// and reports every result as a signal that the main window handles (blocking
// queued) before the worker goes on.

#include "sheetpipeline.h"

#include <QObject>
#include <QStringList>
#include <atomic>
#include <memory>

class MainWindow;

class ProcessThread : public QObject {
    Q_OBJECT
public:
    explicit ProcessThread(QObject *parent = nullptr);
    ~ProcessThread() override;

    MainWindow *mainWindow = nullptr;
    // Worker state kept from sheet to sheet; the names below refer to its fields.
    WorkerState worker;
    bool &classifyImageModeOnce = worker.classifyImageModeOnce;
    bool &classifyDone = worker.classifyDone;
    bool &adviceNotYetLogged = worker.adviceNotYetLogged;
    std::vector<int> &imwriteParams = worker.imwriteParams;
    std::atomic<bool> stop{false};
    QString &extension = worker.extension;
    int &jpegQuality = worker.jpegQuality;
    int &pngCompressionLevel = worker.pngCompressionLevel;
    int threadCount = 0;
    bool uploadFinished = true;

    // Set by the starter on the GUI thread before the run: what the worker
    // reads (snapshots) and the state shared with the other workers.
    PipelineContext context;
    RecognitionRun *recognitionRun = nullptr;

    // First row of the sheet this worker holds, -1 when none.
    int currentRow() const;

signals:
    void finished(QString str);
    void setAnchorPointData(int row, QString ab, QString xy);
    void setProcessResult(int row, QString str);
    void setCode(int row, QString code, int studentID, int *resultRowIndex);
    void object(int resultRowIndex, int item_id, QString mar, int optionCount, int chooseType, float score,
                float fullScore);
    void objectTotalScore(int resultRowIndex, float score);
    // One objective question and the running total that follows it, in one
    // blocking call: the receiver runs object's receiver, then
    // objectTotalScore's.
    void objectAndTotal(int resultRowIndex, int item_id, QString mar, int optionCount, int chooseType, float score,
                        float fullScore, int totalRowIndex, float total);
    void addLog(QString str);
    void setUnprocessed(int start, int end);
    void subjectSection(int resultRowIndex, QString pageSection, QString localPath, int studentID);
    void deleteResultByCode(QString codeValue);
    void optionalItem(int resultRowIndex, QString optionalItem);
    void loadImage(QString filePath);
    void startUpload(int rowIndex, int startCellIndex, bool *startUpload);
    void processForOneStudentSuccessed(int start, int end, int resultRowIndex, QStringList originalSheetLocalPath);

public slots:
    void run(int start, int end);
    void allUploadThreadFinished();

private:
    class Sink;
    std::unique_ptr<Sink> m_sink;
};
