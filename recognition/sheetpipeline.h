#pragma once
// Recognition of one answer sheet (the pages of one student).

#include "answerkey.h"
#include "coderegistry.h"
#include "recognitionsettings.h"
#include "templatemodel.h"

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QVector>
#include <atomic>
#include <memory>
#include <vector>

// What the pipeline needs of one image-list row, taken on the GUI thread when
// the sheet is claimed.
struct PageRowInput {
    QString path;                 // native file path
    bool processed = false;       // process-result cell reads "√"
    QString typedCode;            // student-code cell
    bool cornerCheck = false;     // corner-check cell reads "√"
    QString printTextArea;        // "%1,%2,%3,%4" overrides, or empty
    QString anchorAArea;
    QString anchorBArea;
};

// Receives every result of a run. The operations carry the worker signals'
// names, order and arguments; a Qt worker forwards each as a blocking queued
// signal, so the receiver has run before the pipeline goes on.
class PipelineSink {
public:
    virtual ~PipelineSink() = default;
    virtual void finished(QString str) = 0;
    virtual void setAnchorPointData(int row, QString ab, QString xy) = 0;
    virtual void setProcessResult(int row, QString str) = 0;
    virtual void setCode(int row, QString code, int studentID, int *resultRowIndex) = 0;
    virtual void object(int resultRowIndex, int item_id, QString mar, int optionCount, int chooseType,
                        float score, float fullScore) = 0;
    virtual void objectTotalScore(int resultRowIndex, float score) = 0;
    virtual void addLog(QString str) = 0;
    virtual void setUnprocessed(int start, int end) = 0;
    virtual void subjectSection(int resultRowIndex, QString pageSection, QString localPath, int studentID) = 0;
    virtual void deleteResultByCode(QString codeValue) = 0;
    virtual void optionalItem(int resultRowIndex, QString optionalItem) = 0;
    virtual void loadImage(QString filePath) = 0;
    virtual void startUpload(int rowIndex, int startCellIndex, bool *startUpload) = 0;
    virtual void processForOneStudentSuccessed(int start, int end, int resultRowIndex,
                                               QStringList originalSheetLocalPath) = 0;

    // Snapshot of image rows firstRow .. firstRow + count - 1 (GUI thread).
    virtual QVector<PageRowInput> sheetRows(int firstRow, int count) = 0;
    // Whether the result table's image upload pool runs (polled, no lock).
    virtual bool uploadPoolRunning() = 0;
};

// State shared by the workers of one run.
class RecognitionRun {
public:
    // The cursor and its mutex belong to the owner (the main window), which
    // sets the cursor to the first row before any worker runs.
    RecognitionRun(QMutex &claimMutex, int &processNextRow, int workerCount);

    QMutex &claimMutex;           // guards processNextRow; never held with another lock
    int &processNextRow;
    CodeRegistry codes;

    // First row of the sheet each worker holds (-1 when none or finished),
    // and whether it is waiting for another sheet's worker (duplicate code).
    std::atomic<int> &currentRow(int worker) { return m_rows[size_t(worker)]; }
    std::atomic<bool> &waiting(int worker) { return m_waiting[size_t(worker)]; }
    int workerCount() const { return m_count; }

private:
    int m_count;
    std::unique_ptr<std::atomic<int>[]> m_rows;
    std::unique_ptr<std::atomic<bool>[]> m_waiting;
};

// Where the time of the pages went, summed over all workers (nanoseconds).
// Filled only when a context points at one; the benchmark reads it.
struct PipelineTimings {
    std::atomic<long long> decode{0};      // reading the page file
    std::atomic<long long> alignment{0};   // corner checks, size check, anchors, deskew
    std::atomic<long long> marks{0};       // absent mark, code, objective and optional reading
    std::atomic<long long> writing{0};     // cutting and writing subjective images
    std::atomic<int> pages{0};
};

// Everything a worker reads, as snapshots that stay unchanged during the run.
struct PipelineContext {
    const TemplateModel *model = nullptr;
    RecognitionSettings settings;
    QVector<AnswerSetting> answerSettings;
    QVector<AnswerSetting> optionalAnswerSettings;
    StudentHash studentHash;
    QString sheetDir;             // <app dir>/sheets/<exam id>
    int imageRowCount = 0;        // rows of the image list when the run started
    int resultCols = 0;           // result-table columns when the run started
    PipelineTimings *timings = nullptr;
};

// Per-worker state that survives from sheet to sheet.
struct WorkerState {
    int index = 0;                       // 0-based; the name uses index + 1
    QString name;                        // "识别处理线程 N"
    bool classifyImageModeOnce = false;
    bool classifyDone = false;
    bool adviceNotYetLogged = true;
    std::vector<int> imwriteParams;
    QString extension;
    int jpegQuality = 75;
    int pngCompressionLevel = 3;

    // Fills extension, quality, level and write parameters from the settings.
    void configure(const RecognitionSettings &settings);
};

// One sheet: pages firstRow .. firstRow + pagesPerSheet - 1. Never throws:
// an unexpected error fails the sheet with a message.
void processStudent(const PipelineContext &ctx, RecognitionRun &run, WorkerState &worker,
                    int firstRow, const QVector<PageRowInput> &rows, PipelineSink &sink);

// "%1,%2,%3,%4" -> rectangle; missing or non-numeric pieces read 0.
cv::Rect parseRect(const QString &text);
// "<dir>/<code>-o.jpg" at JPEG quality 30; the result is returned.
bool saveOriginalJpg(const cv::Mat &image, const QString &code, const QString &dir);
