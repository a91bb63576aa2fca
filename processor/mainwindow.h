#pragma once
// The processing program's main window: owner of the opened exam (template
// model, answer keys, roster), the settings values, both tables, the image
// view, the log, and the recognition workers. The exam's state that the
// platform dialogs and workers read and write is its ExamSession part.

#include "answerkey.h"
#include "ctwain.h"
#include "examroster.h"
#include "examsession.h"
#include "myupload.h"
#include "recognitionsettings.h"
#include "sheetpipeline.h"
#include "templatemodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFuture>
#include <QFileInfo>
#include <QMainWindow>
#include <QMap>
#include <QMutex>
#include <QStringList>
#include <QVector>
#include <tinyxml2.h>

#include <atomic>
#include <functional>
#include <memory>

class QNetworkAccessManager;
class QTableWidget;
class QTextEdit;
class QThread;
class QThreadPool;
class QTimer;
class DialogInitForEntireSheetUploadTip;
class DialogSearchSheetImageTip;
class FindImagesFromFolderThread;
class MyImage;
class MyStatusBar;
class MyTableWidgetImage;
class MyTableWidgetResult;
class ProcessThread;
class ThreadInitForEntireSheetUpload;

namespace Ui { class MainWindow; }

class MainWindow : public QMainWindow, public CTwain, public ExamSession, public ExamRoster {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // --- log, counts ---
    void addLog(QString line);
    void refreshSuccessCount();
    void refreshSheetCount();

    // --- settings (ini file beside the executable) ---
    static QString iniPath();
    void readSettings();
    // The recognition values as one snapshot (taken when a run starts).
    RecognitionSettings recognitionSnapshot() const { return recognitionSettings; }

    // --- exam ---
    // What the exam command takes over from the exam dialog.
    struct ExamSelection {
        QString examId;
        QString examName;
        QString gradeName;
        QString subjectName;
        QString imageSavePath;
    };
    // Opens an exam whose answer keys, roster and template document are in
    // place: empties the tables, loads the template, builds the result columns,
    // creates the exam folder and lists the image folder. False (with the
    // reason shown) when the template or the folder cannot be used.
    // `fetchPlatformData` runs once the tables and log are emptied and the
    // names taken over (the roster and the upload credentials).
    bool openExam(const ExamSelection &selection, const std::function<void()> &fetchPlatformData = {});
    // Lists folders and files into the image list while the modal tip shows.
    void startImageSearch(const QStringList &folders, const QStringList &files);
    int resultColumnOf(const QString &key) const;
    void buildResultHeaders();
    void updateEntireSheetColumns();
    // Makes the exam folder and its sub-folders; false with a log line on failure.
    bool createExamFolder();
    QString examFolder() const;
    // Loads `templateDoc` into the model and applies the page origins. A
    // refused template leaves the model empty; a version below the minimum
    // shows the box and ends the program (unless `exitOnOldVersion` is off,
    // which tests use).
    bool parseTemplate();
    void applyPageOrigins();
    QPoint pageOrigin(int pageId) const { return templateModel.pageOrigin(pageId); }

    // --- recognition ---
    bool isProcessing() const override { return !processWorkers.isEmpty(); }
    bool checkAnswerSettings(QString &message) const;
    void startProcessThreads(int start, int end, bool singleSheet);
    void setCode(int row, QString code, int studentID, int *resultRowIndex);
    void setProcessResult(int row, QString str);
    // Image-list cell text, creating the cell when the row has none.
    void setImageCellText(int row, int column, const QString &text);
    // Snapshot of image rows for a worker (GUI thread).
    QVector<PageRowInput> sheetRows(int firstRow, int count) const;

    // --- platform client ---
    QTableWidget *resultTable() const override;
    bool imagesUploading() const override;
    // Start-up key check: sets `schoolID` from the platform, or asks whether
    // to open the account dialog when the key is refused or unreachable.
    void checkUploadKey();
    // Fills `studentMap` and `studentHash` with the grade's roster.
    void getStudentInfo(QString gradeId);
    // Fills `upload` with the exam's image-storage credentials; true only
    // when the reply named a known store with complete credentials.
    bool getUploadToken(QString customerType, QString customerCode, QString key, MyUpload *upload);
    MyUpload myUpload;

    // --- exam selection ---
    // Asks the platform whether this version may still be used: 0 go on,
    // 1 it must be upgraded first (the upgrade check has run), -1 the check
    // failed (the reason was shown, or the reply was not understood).
    int versionCheck();
    // True from the exam command's first request until the exam is open or
    // given up; other commands that change the exam refuse meanwhile.
    bool examOpening = false;
    // The window was closed (and the close confirmed) while an opening
    // waited for the platform: the waits are ended and nothing more is done.
    bool quitRequested = false;
    // Ends the program once a close has been confirmed during an opening;
    // tests replace it.
    std::function<void()> quitApplication = [] { QCoreApplication::quit(); };
    // Refuses, with a log line, while an exam is being opened.
    bool refuseWhileOpeningExam();
    // Why the updater must not take over now (recognition or image uploads
    // run); empty when it may.
    QString upgradeBusyReason() const;

    // --- whole-sheet images ---
    // Binarised PNGs of the row's pages into the exam folder's "entires",
    // each with a "×" cell in its "e-%1" column. GUI thread.
    void saveSheetsToBinaryPNG(int row);
public slots:
    // Blocking call of the preparation worker: one row, then the progress.
    void slotSaveSheetsToBinaryPNG(int row);
    void initForEntireSheetUploadFinished();
public:
    QThread *initForEntireSheetUploadThread = nullptr;
    ThreadInitForEntireSheetUpload *initForEntireSheetUploadWorker = nullptr;   // no parent
    DialogInitForEntireSheetUploadTip *initForEntireSheetUploadTip = nullptr;   // no parent

    // --- members (GUI thread unless noted) ---
    QElapsedTimer imageSearchTimer;
    QMutex claimMutex;
    QMutex resultRowMutex;
    QMutex duplicateCodeMutex;
    QVector<ProcessThread *> processWorkers;
    QVector<QThread *> processThreads;
    FindImagesFromFolderThread *imageFinder = nullptr;
    QThread *imageFinderThread = nullptr;
    QNetworkAccessManager *networkManager = nullptr;
    MyTableWidgetImage *tableWidgetImages = nullptr;
    MyTableWidgetResult *tableWidgetResults = nullptr;
    MyImage *myImage = nullptr;
    QTextEdit *textEditLog = nullptr;
    MyStatusBar *myStatusBar = nullptr;

    // Recognition settings live in one struct; the names below refer to its fields.
    RecognitionSettings recognitionSettings;
    int &processType = recognitionSettings.processType;
    bool &ignorAbsentMark = recognitionSettings.ignorAbsentMark;
    float &anchorPointErrorMargin = recognitionSettings.anchorPointErrorMargin;
    float &sheetSizeErrorMargin = recognitionSettings.sheetSizeErrorMargin;
    int &maxObjectFeaturePointCount = recognitionSettings.maxObjectFeaturePointCount;
    int &maxSceneFeaturePointCount = recognitionSettings.maxSceneFeaturePointCount;
    int &maxFeaturePointDistance = recognitionSettings.maxFeaturePointDistance;
    int &featurePointSearchLevel = recognitionSettings.featurePointSearchLevel;
    float &featurePointSearchScale = recognitionSettings.featurePointSearchScale;
    int &miniMatchFeaturePointCount = recognitionSettings.miniMatchFeaturePointCount;
    float &matchAreaErrorMargin = recognitionSettings.matchAreaErrorMargin;
    float &coverPercentageCode = recognitionSettings.coverPercentageCode;
    float &coverPercentageAbsent = recognitionSettings.coverPercentageAbsent;
    float &coverPercentageObject = recognitionSettings.coverPercentageObject;
    float &coverPercentageOptional = recognitionSettings.coverPercentageOptional;
    bool &redFilter = recognitionSettings.redFilter;
    int &subjectImageQuality = recognitionSettings.subjectImageQuality;
    int &subjectImageFormatIndex = recognitionSettings.subjectImageFormatIndex;
    int &subjectImagePNGCompressionLevel = recognitionSettings.subjectImagePNGCompressionLevel;
    float &subjectImageScaleDown = recognitionSettings.subjectImageScaleDown;
    bool &sheetUpload = recognitionSettings.sheetUpload;
    int &markPointAlgo = recognitionSettings.markPointAlgo;
    int &threshold = recognitionSettings.threshold;

    int sheetUploadTimeout = 5;
    QString localServerAddress;
    QString localServerPassword;
    bool localServer = false;
    int entrieSheetPNGCompressionLevel = 4;
    bool exchangeNameWhenRowsExchange = true;
    int imageEditColor = 255;
    int imageEditWidth = 25;

    QString examName;
    QString subjectName;
    QString gradeName;

    // The template model's fields (ExamSession::templateModel).
    QVector<TemplatePage> &templatePages = templateModel.templatePages;
    int &pagesPerSheet = templateModel.pagesPerSheet;
    bool &hasAbsentMark = templateModel.hasAbsentMark;
    QRect &absentMarkRect = templateModel.absentMarkRect;
    QRect &codeRect = templateModel.codeRect;
    int &codeType = templateModel.codeType;
    int &codeLength = templateModel.codeLength;
    int &barDirection = templateModel.barDirection;
    int &numberDirection = templateModel.numberDirection;
    int &codeMarkPointWidth = templateModel.codeMarkPointWidth;
    int &codeMarkPointHeight = templateModel.codeMarkPointHeight;
    QVector<CornerCheckArea> &cornerChecks = templateModel.cornerChecks;
    QVector<ObjectItem> &objectItems = templateModel.objectItems;
    QVector<SubjectSection> &subjectSections = templateModel.subjectSections;
    QVector<OptionalGroup> &optionalGroups = templateModel.optionalGroups;
    QVector<OptionalObjectItem> &optionalObjectItems = templateModel.optionalObjectItems;
    QVector<OptionalSubjectSection> &optionalSubjectSections = templateModel.optionalSubjectSections;

    QMap<QString, StudentInfo> studentMap;
    // The roster as the review dialogs read it.
    const QMap<QString, StudentInfo> &rosterByCode() const override { return studentMap; }
    QString rosterGradeName() const override { return gradeName; }
    QString rosterSubjectName() const override { return subjectName; }

    DialogSearchSheetImageTip *searchSheetImageTip = nullptr;
    int processNextRow = 0;
    QString imageSavePath;

    // --- scan panel (kept out of reach; see mainwindow_scan.cpp) ---
    int scanType = 0;           // 0 scan only, 1 scan and process
    int scanSkipPageCount = 0;  // pages before the first complete sheet
    QString imageNamePrefix;
    QString imageFormat;
    std::atomic<int> imageNumber{1};   // next file's number; the transfer loop advances it
    int imageNumberLength = 4;
    int rotateFlagTop = 0;
    int rotateFlagBottom = 0;
    std::atomic<int> transferredImageCount{0};
    bool stopFeederOnFailure = false;

    void startScan();
    void saveScanSettings();
    void setScanButtonIdle(bool idle);
    // CTwain: the transfers of a batch run on the global pool.
    void startNativeTransfer() override;
    bool saveTwainImage(TW_HANDLE *dib, QString path, int rotation) override;
    void sourceMessage(int msg) override;
    // The batch's pages to files; on a pool thread, never touching widgets.
    void transferLoop();
    // True while a transfer loop runs.
    bool transferRunning() const { return m_transferActive.load(); }
    // Ends a running batch and waits for its loop (the window is going away).
    void stopTransferAndWait();

    // State shared by the workers of the current run (null when idle).
    std::unique_ptr<RecognitionRun> recognitionRun;
    // Tests answer the version gate themselves.
    bool exitOnOldVersion = true;

signals:
    void transferImageFinished();
    void getOneImageFromScanner(QString filePath, QString fileName);
    void addTransferImageLog(QString log);
    void scanAndProcess(int start, int end, bool single);
    void scanAndProcess(int start, int end);
    void customDataSourceSignal(int msg);
    void stop();
    void startProcessThread(int start, int end);
    void findThreadRun(QStringList paths, QStringList files);
    void beginInitForEntireSheetUpload();

public slots:
    void exam();
    void account();
    void setting();
    void startProcess();
    void stopProcess();
    void processFinished(QString str);
    void uploadData();
    void upgrade() override;
    void about();
    void setAnchorPointData(int row, QString ab, QString xy);
    void objectTotalScore(int rowIndex, float score);
    void object(int rowIndex, int item_id, QString mark, int optionCount, int chooseType, float score,
                float fullScore);
    void objectAndTotal(int rowIndex, int item_id, QString mark, int optionCount, int chooseType, float score,
                        float fullScore, int totalRowIndex, float total);
    void setUnprocessed(int start, int end);
    void subjectSection(int rowIndex, QString pageSection, QString localPath, int studentID);
    void processForOneStudentSuccessed(int start, int end, int resultRowIndex, QStringList originalSheetLocalPath);
    void deleteResultByCode(QString codeValue);
    void loadImage(QString filePath);
    void optionalItem(int rowIndex, QString optionalItem);
    void findImagesFinished(int count);
    void timeElapsed(int t);
    void addOneImage(QFileInfo mfi);
    void skippedImageEntry(QString path, QString kind);
    void setScanModuleShown(bool shown);

    // The scan panel's commands (its buttons stay unconnected).
    void findScanners();
    bool connectScanner();
    void scannerSetting();
    void scan();
    bool disconnectScanner();
    void changeImageSavePath();
    void openImageSavePath();
    void getOneImageFromScannerSlot(QString filePath, QString fileName);
    void addTransferImageLogSlot(QString log);
    void DataSourceSignal(int msg);

    // Refuses while workers or uploads run, then asks.
    void closeEvent(QCloseEvent *event) override;

protected:
    // Holds back repaints while workers run (see the definition).
    bool event(QEvent *event) override;
    // While a source is open its messages may come through the window's events.
    bool nativeEvent(const QByteArray &eventType, void *message, long *result) override;

private:
    // During a run: reads the newest page off the GUI thread, shows it, and
    // looks again a little later.
    void showNextPreview();
    // Scrolls the log, the result table and the image list to where the
    // run's receivers asked for; during a run this waits for the next paint.
    void showRunProgress();
    void scrollLogToEnd();

    Ui::MainWindow *ui;
    QString m_pendingImage;     // newest page waiting to be shown during a run
    QStringList m_skippedImageEntries; // named like pages but left out by the last folder search
    bool m_previewBusy = false; // a page is being read, or shown a moment ago
    QElapsedTimer m_lastRunPaint;   // when the window was last painted during a run
    QTimer *m_runPaintTimer = nullptr;
    QThreadPool *m_previewPool = nullptr;   // one thread: pages are read one at a time
    bool m_logToEnd = false;
    bool m_resultsToBottom = false;
    int m_imageRowToShow = -1;

    // --- scan ---
    // What one batch works with, taken on the GUI thread when it starts.
    struct ScanBatch {
        QString folder, prefix, format;
        int numberLength = 4;
        int rotateTop = 0, rotateBottom = 0;
        int scanType = 0, skipPages = 0, pagesPerSheet = 0;
        bool stopFeederOnFailure = false;
    };
    // Runs fn on the GUI thread and waits for it; false when the window is
    // being closed and fn may not have run.
    bool runOnGuiThread(const std::function<void()> &fn);
    // Scan and process: hands the sheet just completed to recognition and,
    // when asked, stops the feeder if it failed. False when the batch must end.
    bool handOverSheet(const ScanBatch &batch, int receivedCount);
    // Waits until no recognition worker runs; false when the wait must end.
    bool waitForRecognitionIdle();
    QFuture<void> m_transfer;
    // Set from the batch's start until its loop has nothing left to do with
    // the source (cleared before the loop's closing message is sent).
    std::atomic<bool> m_transferActive{false};
    ScanBatch m_batch;
    std::atomic<bool> m_closingScan{false};
    QTimer *m_sourceEventTimer = nullptr;   // events of a source without callbacks
};

// The one main window; set by its constructor.
extern MainWindow *currentMainWindow;
