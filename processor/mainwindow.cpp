#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "answers.h"
#include "dialogabout.h"
#include "dialogdebug.h"
#include "curlglobal.h"
#include "dialogexam.h"
#include "dialoginitforentiresheetuploadtip.h"
#include "dialogrecordconfirm.h"
#include "dialogsearchsheetimagetip.h"
#include "dialogsetting.h"
#include "dialoguploaddata.h"
#include "featurealign.h"
#include "findimagesfromfolderthread.h"
#include "messagebox.h"
#include "myimage.h"
#include "mylabel.h"
#include "mystatusbar.h"
#include "mytablewidgetimage.h"
#include "mytablewidgetresult.h"
#include "processthread.h"
#include "templateloader.h"
#include "threadinitforentiresheetupload.h"

#include <QCloseEvent>
#include <QFutureWatcher>
#include <QtConcurrent>
#include <QRegularExpression>
#include <QCoreApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <QScrollBar>
#include <QSet>
#include <QSettings>
#include <QNetworkReply>
#include <QScopedValueRollback>
#include <QScopeGuard>
#include <QSplitter>
#include <QStatusBar>
#include <QTextEdit>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

MainWindow *currentMainWindow = nullptr;

namespace {

const char *const kVersionName = "4.2";

// Image-list columns that the window writes.
enum ImageColumn {
    ColumnPath = 0,
    ColumnCode = 1,
    ColumnPrintText = 2,
    ColumnAnchorA = 3,
    ColumnAnchorB = 4,
    ColumnResult = 5,
    ColumnCornerCheck = 10,
    ColumnPrintTextArea = 11,
    ColumnAnchorAArea = 12,
    ColumnAnchorBArea = 13,
};

QString cellText(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QString();
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    currentMainWindow = this;
    ui->menuBar->hide();
    setWindowTitle(QStringLiteral("Ardentiq V %1 - Vostra答卷图片识别处理软件").arg(QLatin1String(kVersionName)));

    // Folder search: one worker for the window's life, on its own thread.
    searchSheetImageTip = new DialogSearchSheetImageTip(this);
    imageFinder = new FindImagesFromFolderThread;
    imageFinderThread = new QThread(this);
    imageFinderThread->setObjectName(QStringLiteral("图片搜索线程"));
    imageFinder->moveToThread(imageFinderThread);
    qRegisterMetaType<QFileInfo>("QFileInfo");
    connect(imageFinder, &FindImagesFromFolderThread::addOneImage, this, &MainWindow::addOneImage);
    connect(imageFinder, &FindImagesFromFolderThread::skippedEntry, this, &MainWindow::skippedImageEntry);
    connect(this, &MainWindow::findThreadRun, imageFinder, &FindImagesFromFolderThread::run);
    connect(imageFinder, &FindImagesFromFolderThread::findImagesFinished, this, &MainWindow::findImagesFinished);
    connect(imageFinder, &FindImagesFromFolderThread::timeElapsed, this, &MainWindow::timeElapsed);
    connect(imageFinder, &FindImagesFromFolderThread::updateInfo, searchSheetImageTip,
            &DialogSearchSheetImageTip::updateInfo);
    // The search thread runs for the window's life, so a later search always
    // finds its worker.
    imageFinderThread->start();

    networkManager = new QNetworkAccessManager(this);

    m_previewPool = new QThreadPool(this);
    m_previewPool->setMaxThreadCount(1);

    m_runPaintTimer = new QTimer(this);
    m_runPaintTimer->setSingleShot(true);
    connect(m_runPaintTimer, &QTimer::timeout, this, [this] {
        m_lastRunPaint.start();
        showRunProgress();
        QEvent update(QEvent::UpdateRequest);
        QMainWindow::event(&update);
    });

    tableWidgetImages = ui->tableWidgetImages;
    tableWidgetImages->mainWindow = this;
    tableWidgetResults = ui->tableWidgetResults;
    tableWidgetResults->mainWindow = this;
    textEditLog = ui->textEditLog;
    textEditLog->setReadOnly(true);
    // Nobody undoes log lines; recording each one would only cost time and memory.
    textEditLog->setUndoRedoEnabled(false);

    // Layout: image list | (image view | log) over the result table.
    auto *outer = new QSplitter(Qt::Horizontal);
    auto *right = new QSplitter(Qt::Vertical);
    auto *top = new QSplitter(Qt::Horizontal);
    myImage = new MyImage(this);
    myImage->imageLabel->releasePool = m_previewPool;
    for (QSplitter *s : {outer, right, top})
        s->setHandleWidth(0);
    ui->widgetImageListAndScan->hide();
    textEditLog->hide();
    tableWidgetResults->hide();
    top->addWidget(myImage);
    top->addWidget(textEditLog);
    right->addWidget(top);
    right->addWidget(tableWidgetResults);
    outer->addWidget(ui->widgetImageListAndScan);
    outer->addWidget(right);
    outer->setStretchFactor(0, 2);
    outer->setStretchFactor(1, 8);
    right->setStretchFactor(0, 2);
    right->setStretchFactor(1, 1);
    top->setStretchFactor(0, 4);
    top->setStretchFactor(1, 1);
    QWidget *oldCentral = centralWidget();
    setCentralWidget(outer);
    delete oldCentral;
    ui->widgetImageListAndScan->show();
    textEditLog->show();
    tableWidgetResults->show();

    auto *bar = new QStatusBar(this);
    myStatusBar = new MyStatusBar(bar);
    bar->addWidget(myStatusBar, 0);
    setStatusBar(bar);

    showMaximized();

    connect(ui->actionExam, &QAction::triggered, this, &MainWindow::exam);
    connect(ui->actionSetting, &QAction::triggered, this, &MainWindow::setting);
    connect(ui->actionAccount, &QAction::triggered, this, &MainWindow::account);
    connect(ui->actionProcess, &QAction::triggered, this, &MainWindow::startProcess);
    connect(ui->actionUpload, &QAction::triggered, this, &MainWindow::uploadData);
    connect(ui->actionUpgrade, &QAction::triggered, this, &MainWindow::upgrade);
    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::about);
    connect(this, &MainWindow::stop, this, &MainWindow::stopProcess);

    readSettings();

    // The scan panel is built but kept out of reach.
    connect(ui->pushButtonScanHide, &QPushButton::clicked, this, [this] { setScanModuleShown(false); });
    connect(ui->pushButtonScanShow, &QPushButton::clicked, this, [this] { setScanModuleShown(true); });
    setScanModuleShown(false);
    ui->pushButtonScanShow->hide();

    // libcurl serves the storage uploads and the results upload.
    CurlGlobal::ensure();
    pagesPerSheet = 0;

    // Whole-sheet preparation: the worker only paces the rows; each row's
    // images are made on this thread through the blocking call.
    initForEntireSheetUploadTip = new DialogInitForEntireSheetUploadTip;
    initForEntireSheetUploadWorker = new ThreadInitForEntireSheetUpload;
    initForEntireSheetUploadThread = new QThread(this);
    initForEntireSheetUploadThread->setObjectName(QStringLiteral("整卷数据整理线程"));
    initForEntireSheetUploadWorker->moveToThread(initForEntireSheetUploadThread);
    connect(this, &MainWindow::beginInitForEntireSheetUpload, initForEntireSheetUploadWorker,
            &ThreadInitForEntireSheetUpload::run);
    connect(initForEntireSheetUploadWorker, &ThreadInitForEntireSheetUpload::initForEntireSheetUploadFinished, this,
            &MainWindow::initForEntireSheetUploadFinished);
    connect(initForEntireSheetUploadWorker, &ThreadInitForEntireSheetUpload::saveSheetsToBinaryPNG, this,
            &MainWindow::slotSaveSheetsToBinaryPNG, Qt::BlockingQueuedConnection);

    checkUploadKey();
}

MainWindow::~MainWindow()
{
    stopTransferAndWait();
    imageFinderThread->quit();
    imageFinderThread->wait();
    delete imageFinder;
    initForEntireSheetUploadThread->quit();
    initForEntireSheetUploadThread->wait();
    delete initForEntireSheetUploadWorker;
    delete initForEntireSheetUploadTip;
    // The result table ends its upload pool while the window's mutexes still exist.
    delete tableWidgetResults;
    tableWidgetResults = nullptr;
    delete ui;
    if (currentMainWindow == this)
        currentMainWindow = nullptr;
}

namespace {
// While workers run, the tables change hundreds of times a second, and every
// change would repaint and scroll before the GUI thread takes the next
// worker's call: the window is painted and scrolled this often at most instead.
constexpr int kRunPaintIntervalMs = 100;
} // namespace

bool MainWindow::event(QEvent *event)
{
    // Every repaint of the window starts with this request; a held-back
    // request leaves the changed areas marked, and the timer paints them all.
    if (event->type() == QEvent::UpdateRequest && isProcessing()) {
        const qint64 since = m_lastRunPaint.isValid() ? m_lastRunPaint.elapsed() : kRunPaintIntervalMs;
        if (since < kRunPaintIntervalMs) {
            if (!m_runPaintTimer->isActive())
                m_runPaintTimer->start(int(kRunPaintIntervalMs - since));
            return true;
        }
        m_lastRunPaint.start();
        showRunProgress();
    }
    return QMainWindow::event(event);
}

void MainWindow::showRunProgress()
{
    if (std::exchange(m_logToEnd, false))
        scrollLogToEnd();
    if (std::exchange(m_resultsToBottom, false))
        tableWidgetResults->scrollToBottom();
    if (const int row = std::exchange(m_imageRowToShow, -1); row >= 0) {
        if (QTableWidgetItem *item = tableWidgetImages->item(row, ColumnPath))
            tableWidgetImages->scrollToItem(item);
    }
}

void MainWindow::scrollLogToEnd()
{
    QTextCursor cursor = textEditLog->textCursor();
    cursor.movePosition(QTextCursor::End);
    textEditLog->setTextCursor(cursor);
}

void MainWindow::addLog(QString line)
{
    // Every line ends with a line break, so the last block is the empty one after it.
    if (textEditLog->document()->blockCount() - 1 > 3000)
        textEditLog->clear();
    QTextCursor cursor(textEditLog->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(line + QStringLiteral("\n"));
    if (isProcessing())
        m_logToEnd = true;
    else
        scrollLogToEnd();
}

void MainWindow::refreshSuccessCount()
{
    myStatusBar->setSuccessCount(tableWidgetResults->rowCount());
}

void MainWindow::refreshSheetCount()
{
    myStatusBar->setTotalSheetCount(tableWidgetImages->rowCount());
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!processThreads.isEmpty()) {
        addLog(QStringLiteral("识别线程未结束，不能退出程序"));
        event->ignore();
        return;
    }
    if (tableWidgetResults->uploading) {
        addLog(QStringLiteral("上传线程未结束，不能退出程序"));
        event->ignore();
        return;
    }
    if (MessageBox::question(this, QStringLiteral("提示"), QStringLiteral("确定退出程序吗？"),
                             QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes) {
        event->ignore();
        return;
    }
    if (state() > 4 || transferRunning()) {
        addLog(QStringLiteral("扫描中，不能完成本操作"));
        event->ignore();
        return;
    }
    closeDS();
    closeDSM();
    event->accept();
    if (examOpening) {
        // An opening waits for the platform in a local event loop: end its
        // requests so it gives up, and quit once it has unwound.
        quitRequested = true;
        const auto replies = networkManager->findChildren<QNetworkReply *>();
        for (QNetworkReply *reply : replies)
            reply->abort();
    }
}

void MainWindow::about()
{
    DialogAbout::Program program = DialogAbout::ardentiq();
    program.hiddenTool = [](QWidget *) {
        DialogDebug debug;
        debug.exec();
    };
    program.checkUpgrade = [this] { upgrade(); };
    DialogAbout dialog(program, this);
    dialog.exec();
}

bool MainWindow::refuseWhileOpeningExam()
{
    if (!examOpening)
        return false;
    addLog(QStringLiteral("正在打开考试，不能完成本操作"));
    return true;
}

void MainWindow::exam()
{
    // Every request below waits in a local event loop, where the operator can
    // press the command again: a second opening would list every image twice.
    if (refuseWhileOpeningExam())
        return;
    QScopedValueRollback<bool> opening(examOpening, true);
    const auto quitIfClosed = qScopeGuard([this] {
        if (quitRequested)
            quitApplication();
    });
    if (versionCheck() != 0 || quitRequested)
        return;
    if (isProcessing())
        return;
    if (tableWidgetResults->uploading) {
        addLog(QStringLiteral("正在上传图片，不能完成本操作"));
        return;
    }
    DialogExam dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    ExamSelection selection;
    selection.examId = dialog.examId;
    selection.examName = dialog.examName;
    selection.gradeName = dialog.grade;
    selection.subjectName = dialog.subject;
    selection.imageSavePath = dialog.imageSavePath;
    const QString gradeId = dialog.gradeId;
    openExam(selection, [this, gradeId] {
        getStudentInfo(gradeId);
        if (quitRequested)
            return;
        addLog(QStringLiteral("开始获取上传令牌..."));
        if (getUploadToken(customerType, customerCode, dataKey, &myUpload))
            addLog(QStringLiteral("获取上传令牌成功！"));
        else
            addLog(QStringLiteral("获取上传令牌失败，可能无法正常上传！"));
    });
}

// ---------------------------------------------------------------- exam

QString MainWindow::examFolder() const
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/sheets/") + examId;
}

bool MainWindow::createExamFolder()
{
    for (const char *name : {"codes", "objects", "subjects", "optionals", "entires"}) {
        const QString path = examFolder() + QLatin1Char('/') + QLatin1String(name);
        if (!QDir(path).exists() && !QDir().mkpath(path)) {
            MessageBox::warning(this, QStringLiteral("提示"), QStringLiteral("创建文件夹失败，请检查\n") + path);
            return false;
        }
    }
    return true;
}

bool MainWindow::parseTemplate()
{
    QStringList log;
    const TemplateLoadResult result = ::parseTemplate(templateDoc, templateModel, log);
    for (const QString &line : log)
        addLog(line);
    if (result.status == TemplateLoadResult::VersionTooLow) {
        MessageBox::warning(this, QStringLiteral("提示"), result.message);
        if (exitOnOldVersion)
            ::exit(0);
        return false;
    }
    if (!result.ok()) {
        addLog(result.message);
        MessageBox::warning(this, QStringLiteral("提示"), result.message);
        return false;
    }
    return true;
}

void MainWindow::applyPageOrigins()
{
    ::applyPageOrigins(templateModel);
}

bool MainWindow::openExam(const ExamSelection &selection, const std::function<void()> &fetchPlatformData)
{
    if (isProcessing())
        return false;
    // Exam ids name a folder: nothing may lead out of "sheets".
    static const QRegularExpression safeId(QStringLiteral("^[A-Za-z0-9_-]+$"));
    if (!safeId.match(selection.examId).hasMatch()) {
        MessageBox::warning(this, QStringLiteral("提示"),
                            QStringLiteral("考试编号“%1”含有不能用于文件夹名的字符。").arg(selection.examId));
        return false;
    }

    tableWidgetImages->clearContents();
    tableWidgetImages->setRowCount(0);
    tableWidgetResults->clear();
    tableWidgetResults->setColumnCount(0);
    tableWidgetResults->setRowCount(0);
    myStatusBar->setTotalSheetCount(0);
    myStatusBar->setSuccessCount(0);
    textEditLog->clear();

    examName = selection.examName;
    gradeName = selection.gradeName;
    subjectName = selection.subjectName;
    imageSavePath = selection.imageSavePath;
    ui->lineEditImageSavePath->setText(imageSavePath);
    myStatusBar->setExamName(examName);
    myStatusBar->setGrade(gradeName);
    myStatusBar->setSubject(subjectName);

    if (fetchPlatformData)
        fetchPlatformData();
    if (quitRequested)
        return false;

    const bool loaded = parseTemplate();
    if (!loaded) {
        resultHeaders.clear();
        return false;
    }

    // Summary: pages, objective questions, subjective blocks (per page when
    // there are several pages), optional groups.
    QString blocks = QString::number(subjectSections.size());
    if (templatePages.size() >= 2) {
        QStringList perPage;
        for (const TemplatePage &page : qAsConst(templatePages)) {
            int n = 0;
            for (const SubjectSection &s : qAsConst(subjectSections))
                n += s.page == page.id ? 1 : 0;
            perPage << QString::number(n);
        }
        blocks += QLatin1Char('(') + perPage.join(QLatin1Char(',')) + QLatin1Char(')');
    }
    QString summary = QStringLiteral("模板页数：%1 客观题数：%2 主观题页块数：%3")
                          .arg(templatePages.size())
                          .arg(objectItems.size())
                          .arg(blocks);
    if (!optionalGroups.isEmpty())
        summary += QStringLiteral(" 选做题数：%1").arg(optionalGroups.size());
    myStatusBar->setTemplateInfo(summary);

    applyPageOrigins();

    for (int column : {ColumnPrintText, ColumnAnchorA, ColumnAnchorB})
        tableWidgetImages->setColumnHidden(column, true);
    for (const TemplatePage &page : qAsConst(templatePages)) {
        if (page.isRectangleAnchor) {
            tableWidgetImages->setColumnHidden(ColumnAnchorA, false);
            tableWidgetImages->setColumnHidden(ColumnAnchorB, false);
        } else {
            tableWidgetImages->setColumnHidden(ColumnPrintText, false);
        }
    }

    buildResultHeaders();
    examId = selection.examId;
    if (!createExamFolder())
        return false;

    startImageSearch({imageSavePath}, {});
    return true;
}

void MainWindow::startImageSearch(const QStringList &folders, const QStringList &files)
{
    imageSearchTimer.restart();
    if (!imageFinderThread->isRunning())
        imageFinderThread->start();
    m_skippedImageEntries.clear();
    emit findThreadRun(folders, files);
    addLog(QStringLiteral("开始从以下路径寻找图片...\n") + folders.join(QLatin1Char('\n')));
    searchSheetImageTip->reset();
    searchSheetImageTip->exec();
    refreshSheetCount();
}

void MainWindow::addOneImage(QFileInfo mfi)
{
    tableWidgetImages->addImageRow(mfi, -1);
}

void MainWindow::skippedImageEntry(QString path, QString kind)
{
    const QString shown = QDir::toNativeSeparators(path);
    m_skippedImageEntries << QStringLiteral("%1（%2）").arg(shown, kind);
    addLog(QStringLiteral("已跳过：%1（%2），未加入图片列表").arg(shown, kind));
}

void MainWindow::findImagesFinished(int count)
{
    addLog(QStringLiteral("找到图片数量：") + QString::number(count));
    const qint64 t = imageSearchTimer.isValid() ? imageSearchTimer.elapsed() : 0;
    QString text;
    if (t < 1000)
        text = QStringLiteral("%1 毫秒").arg(t);
    else if (t < 60000)
        text = QStringLiteral("%1 秒").arg(t / 1000.0, 0, 'f', 2);
    else if (t < 3600000)
        text = QStringLiteral("%1 分钟").arg(t / 60000.0, 0, 'f', 2);
    else
        text = QStringLiteral("%1 小时").arg(t / 3600000.0, 0, 'f', 2);
    addLog(QStringLiteral("耗时：") + text);
    refreshSheetCount();
    searchSheetImageTip->accept();
}

void MainWindow::timeElapsed(int t)
{
    addLog(QStringLiteral("耗时ms：") + QString::number(t));
}

int MainWindow::resultColumnOf(const QString &key) const
{
    return resultHeaders.indexOf(key);
}

void MainWindow::buildResultHeaders()
{
    resultHeaders.clear();
    resultHeaders << QStringLiteral("考号") << QStringLiteral("客观题总分");
    for (const ObjectItem &item : qAsConst(objectItems))
        resultHeaders << QString::number(item.item);
    for (const SubjectSection &s : qAsConst(subjectSections))
        resultHeaders << QStringLiteral("%1-%2").arg(s.page).arg(s.sectionId);
    for (const OptionalGroup &group : qAsConst(optionalGroups)) {
        for (const QString &c : group.items)
            resultHeaders << QStringLiteral("o-") + c;
        for (const QString &c : group.items) {
            for (const OptionalObjectItem &item : qAsConst(optionalObjectItems)) {
                if (QString::number(item.optional) == c)
                    resultHeaders << QString::number(item.item);
            }
        }
        for (const QString &c : group.items) {
            for (const OptionalSubjectSection &s : qAsConst(optionalSubjectSections)) {
                if (QString::number(s.optional) == c)
                    resultHeaders << QStringLiteral("%1-%2").arg(s.page).arg(s.sectionId);
            }
        }
    }
    if (entireSheetUpload) {
        for (int page = 1; page <= pagesPerSheet; ++page)
            resultHeaders << QStringLiteral("e-%1").arg(page);
    }
    tableWidgetResults->setColumnCount(resultHeaders.size());
    tableWidgetResults->setHorizontalHeaderLabels(resultHeaders);
    tableWidgetResults->resizeColumnsToContents();
}

void MainWindow::updateEntireSheetColumns()
{
    if (pagesPerSheet == 0)
        return;
    if (entireSheetUpload) {
        // New cells must not land under running workers: recognition writes
        // the result rows, the upload pool holds pointers to the cells.
        if (isProcessing()) {
            addLog(QStringLiteral("正在识别处理，不能为上传整卷整理数据"));
            return;
        }
        if (tableWidgetResults->uploading) {
            addLog(QStringLiteral("正在上传图片，不能为上传整卷整理数据"));
            return;
        }
        bool added = false;
        for (int page = 1; page <= pagesPerSheet; ++page) {
            const QString key = QStringLiteral("e-%1").arg(page);
            if (!resultHeaders.contains(key)) {
                resultHeaders << key;
                added = true;
            }
        }
        if (added) {
            tableWidgetResults->setColumnCount(resultHeaders.size());
            tableWidgetResults->setHorizontalHeaderLabels(resultHeaders);
            initForEntireSheetUploadThread->start();
            initForEntireSheetUploadWorker->rowCount = tableWidgetResults->rowCount();
            initForEntireSheetUploadTip->reset();
            emit beginInitForEntireSheetUpload();
            initForEntireSheetUploadTip->setMaximum(tableWidgetResults->rowCount());
            initForEntireSheetUploadTip->exec();
        }
        return;
    }
    for (int page = pagesPerSheet; page >= 1; --page) {
        const QString key = QStringLiteral("e-%1").arg(page);
        const int column = resultColumnOf(key);
        if (column >= 0) {
            tableWidgetResults->removeColumn(column);
            resultHeaders.removeAt(column);
        }
    }
}

void MainWindow::setting()
{
    if (!processThreads.isEmpty())
        return;
    if (refuseWhileOpeningExam())
        return;
    // Upload threads read the upload settings and the column layout.
    if (tableWidgetResults->uploading) {
        addLog(QStringLiteral("正在上传图片，不能完成本操作"));
        return;
    }
    {
        DialogSetting dialog(this);
        dialog.exec();
    }
    readSettings();
    updateEntireSheetColumns();
    for (TemplatePage &page : templatePages) {
        if (!page.isRectangleAnchor)
            page.featuresReady = false;
    }
}

// ---------------------------------------------------------------- recognition

bool MainWindow::checkAnswerSettings(QString &message) const
{
    auto missing = [&](const auto &items, const QVector<AnswerSetting> &keys) {
        for (const auto &item : items) {
            if (!findAnswerSetting(keys, item.item)) {
                message = QStringLiteral("没有找到题号 %1 的答案设置，请检查").arg(item.item);
                return true;
            }
        }
        return false;
    };
    return !missing(objectItems, answerSettings) && !missing(optionalObjectItems, optionalAnswerSettings);
}

void MainWindow::startProcess()
{
    if (!processThreads.isEmpty()) {
        stopProcess();
        return;
    }
    if (pagesPerSheet == 0 || refuseWhileOpeningExam())
        return;
    const int n = tableWidgetImages->rowCount();
    if (n % pagesPerSheet != 0) {
        QString text = QStringLiteral("总页数 除以 每份答卷页数 余数 不为零，可能有缺页情况，请检查");
        if (!m_skippedImageEntries.isEmpty()) {
            // Often the missing page is one of these.
            constexpr int kNamed = 10;
            text += QStringLiteral("\n\n以下项目名称像图片，但不是普通文件，已跳过：\n")
                + m_skippedImageEntries.mid(0, kNamed).join(QLatin1Char('\n'));
            if (m_skippedImageEntries.size() > kNamed)
                text += QStringLiteral("\n……共 %1 个").arg(m_skippedImageEntries.size());
        }
        MessageBox::warning(this, QStringLiteral("提示"), text);
        return;
    }
    startProcessThreads(0, n - 1, false);
}

void MainWindow::startProcessThreads(int start, int end, bool singleSheet)
{
    if (!processThreads.isEmpty() || pagesPerSheet <= 0)
        return;
    QString message;
    if (!checkAnswerSettings(message)) {
        MessageBox::warning(this, QStringLiteral("提示"), message);
        addLog(message);
        return;
    }
    bool ok = true;
    QString error;
    for (TemplatePage &page : templatePages) {
        if (page.isRectangleAnchor || page.featuresReady)
            continue;
        bool prepared = false;
        QString text;
        prepareTemplateFeatures(page, maxObjectFeaturePointCount, featurePointSearchScale, featurePointSearchLevel,
                                prepared, text);
        if (!prepared) {
            ok = false;
            error = text;
        }
    }
    if (!ok) {
        addLog(error);
        return;
    }

    int k = 1;
    if (!singleSheet && processType == 1) {
        const int c = QThread::idealThreadCount();
        k = c < 1 ? 2 : std::min(c, 6);
    }

    // What the workers read stays fixed for the run: they get copies taken
    // here, and the codes already in the tables seed the duplicate check.
    PipelineContext context;
    context.model = &templateModel;
    context.settings = recognitionSnapshot();
    context.answerSettings = answerSettings;
    context.optionalAnswerSettings = optionalAnswerSettings;
    context.studentHash = studentHash;
    context.sheetDir = examFolder();
    context.imageRowCount = tableWidgetImages->rowCount();
    context.resultCols = tableWidgetResults->columnCount();

    recognitionRun.reset(new RecognitionRun(claimMutex, processNextRow, k));
    QSet<QString> resultCodes;
    for (int r = 0; r < tableWidgetResults->rowCount(); ++r) {
        const QTableWidgetItem *item = tableWidgetResults->item(r, 0);
        const bool dropped = item && item->data(Qt::UserRole + 2).type() == QVariant::Bool
                             && item->data(Qt::UserRole + 2).toBool();
        if (item && !dropped)
            resultCodes.insert(item->text());
    }
    QMap<int, QString> sheetCodes;
    for (int r = 0; r < tableWidgetImages->rowCount(); r += pagesPerSheet) {
        const QString code = cellText(tableWidgetImages, r, ColumnCode);
        if (!code.isEmpty())
            sheetCodes.insert(r, code);
    }
    recognitionRun->codes.reset(resultCodes, sheetCodes);

    for (int i = 1; i <= k; ++i) {
        const QString name = QStringLiteral("识别处理线程 %1").arg(i);
        auto *thread = new QThread(this);
        auto *worker = new ProcessThread;
        thread->setObjectName(name);
        worker->setObjectName(name);
        worker->worker.index = i - 1;
        worker->classifyImageModeOnce = i == 1;
        worker->moveToThread(thread);
        processThreads << thread;
        processWorkers << worker;
    }
    processNextRow = start;
    for (ProcessThread *worker : qAsConst(processWorkers)) {
        worker->mainWindow = this;
        worker->stop = false;
        worker->threadCount = k;
        worker->context = context;
        worker->recognitionRun = recognitionRun.get();
        const auto blocking = Qt::BlockingQueuedConnection;
        connect(worker, &ProcessThread::addLog, this, &MainWindow::addLog, blocking);
        connect(worker, &ProcessThread::setUnprocessed, this, &MainWindow::setUnprocessed, blocking);
        connect(worker, &ProcessThread::setAnchorPointData, this, &MainWindow::setAnchorPointData, blocking);
        connect(worker, &ProcessThread::setCode, this, &MainWindow::setCode, blocking);
        connect(worker, &ProcessThread::setProcessResult, this, &MainWindow::setProcessResult, blocking);
        connect(worker, &ProcessThread::processForOneStudentSuccessed, this,
                &MainWindow::processForOneStudentSuccessed, blocking);
        connect(worker, &ProcessThread::finished, this, &MainWindow::processFinished);
        connect(worker, &ProcessThread::objectTotalScore, this, &MainWindow::objectTotalScore, blocking);
        connect(worker, &ProcessThread::object, this, &MainWindow::object, blocking);
        connect(worker, &ProcessThread::objectAndTotal, this, &MainWindow::objectAndTotal, blocking);
        connect(worker, &ProcessThread::subjectSection, this, &MainWindow::subjectSection, blocking);
        connect(worker, &ProcessThread::deleteResultByCode, this, &MainWindow::deleteResultByCode, blocking);
        connect(worker, &ProcessThread::optionalItem, this, &MainWindow::optionalItem, blocking);
        connect(worker, &ProcessThread::loadImage, this, &MainWindow::loadImage);
        connect(worker, &ProcessThread::startUpload, tableWidgetResults, &MyTableWidgetResult::processThreadStartUpload,
                blocking);
        connect(this, &MainWindow::startProcessThread, worker, &ProcessThread::run);
    }
    emit startProcessThread(start, end);
    for (QThread *thread : qAsConst(processThreads))
        thread->start();
    ui->actionProcess->setIcon(QIcon(QStringLiteral(":/image/res/images/stop2.png")));
    myImage->setToolsVisible(false);
}

void MainWindow::stopProcess()
{
    for (ProcessThread *worker : qAsConst(processWorkers))
        worker->stop = true;
    ui->actionProcess->setIcon(QIcon(QStringLiteral(":/image/res/images/start.png")));
}

void MainWindow::processFinished(QString str)
{
    // The worker may still be leaving its run slot on its thread: end and
    // wait for the thread before the worker goes.
    QThread *thread = nullptr;
    for (int i = 0; i < processThreads.size() && !thread; ++i) {
        if (processThreads[i]->objectName() == str)
            thread = processThreads.takeAt(i);
    }
    if (thread) {
        thread->quit();
        thread->wait();
    }
    for (int i = 0; i < processWorkers.size(); ++i) {
        if (processWorkers[i]->objectName() == str) {
            delete processWorkers.takeAt(i);
            break;
        }
    }
    delete thread;
    if (!processThreads.isEmpty())
        return;
    recognitionRun.reset();
    showRunProgress();
    ui->actionProcess->setIcon(QIcon(QStringLiteral(":/image/res/images/start.png")));
    tableWidgetResults->resizeColumnsToContents();
    myImage->setToolsVisible(true);
    for (int r = tableWidgetResults->rowCount() - 1; r >= 0; --r) {
        const QTableWidgetItem *item = tableWidgetResults->item(r, 0);
        const QVariant flag = item ? item->data(Qt::UserRole + 2) : QVariant();
        if (flag.type() == QVariant::Bool && flag.toBool())
            tableWidgetResults->removeRow(r);
    }
    refreshSuccessCount();
}

QVector<PageRowInput> MainWindow::sheetRows(int firstRow, int count) const
{
    QVector<PageRowInput> rows;
    const int last = std::min(firstRow + count, tableWidgetImages->rowCount());
    for (int r = std::max(firstRow, 0); r < last; ++r) {
        PageRowInput in;
        const QTableWidgetItem *path = tableWidgetImages->item(r, ColumnPath);
        in.path = path ? path->data(Qt::UserRole + 2).toString() : QString();
        in.processed = cellText(tableWidgetImages, r, ColumnResult) == QStringLiteral("√");
        in.typedCode = cellText(tableWidgetImages, r, ColumnCode);
        in.cornerCheck = cellText(tableWidgetImages, r, ColumnCornerCheck) == QStringLiteral("√");
        in.printTextArea = cellText(tableWidgetImages, r, ColumnPrintTextArea);
        in.anchorAArea = cellText(tableWidgetImages, r, ColumnAnchorAArea);
        in.anchorBArea = cellText(tableWidgetImages, r, ColumnAnchorBArea);
        rows << in;
    }
    return rows;
}

void MainWindow::setImageCellText(int row, int column, const QString &text)
{
    if (row < 0 || row >= tableWidgetImages->rowCount() || column < 0 || column >= tableWidgetImages->columnCount())
        return;
    QTableWidgetItem *item = tableWidgetImages->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        tableWidgetImages->setItem(row, column, item);
    }
    item->setText(text);
}

void MainWindow::setCode(int row, QString code, int studentID, int *resultRowIndex)
{
    addLog(QStringLiteral("识别出考号:") + code);
    setImageCellText(row, ColumnCode, code);
    const int r = tableWidgetResults->rowCount();
    *resultRowIndex = r;
    tableWidgetResults->insertRow(r);
    auto *item = new QTableWidgetItem(code);
    item->setData(Qt::UserRole + 1, studentID);
    item->setData(Qt::UserRole + 2, false);
    tableWidgetResults->setItem(r, 0, item);
    if (isProcessing())
        m_resultsToBottom = true;
    else
        tableWidgetResults->scrollToBottom();
    refreshSuccessCount();
    if (r == 0)
        tableWidgetResults->resizeColumnsToContents();
}

void MainWindow::setProcessResult(int row, QString str)
{
    setImageCellText(row, ColumnResult, str);
    if (isProcessing()) {
        m_imageRowToShow = row;
    } else if (QTableWidgetItem *item = tableWidgetImages->item(row, ColumnPath)) {
        tableWidgetImages->scrollToItem(item);
    }
}

void MainWindow::setAnchorPointData(int row, QString ab, QString xy)
{
    const int column = ab == QLatin1String("A") ? ColumnAnchorA
                       : ab == QLatin1String("B") ? ColumnAnchorB
                                                  : ColumnPrintText;
    setImageCellText(row, column, xy);
}

void MainWindow::object(int rowIndex, int item_id, QString mark, int optionCount, int chooseType, float score,
                        float fullScore)
{
    const int column = resultColumnOf(QString::number(item_id));
    if (column < 0 || rowIndex < 0 || rowIndex >= tableWidgetResults->rowCount())
        return;
    auto *item = new QTableWidgetItem(mark);
    item->setData(Qt::UserRole + 1, QString::number(score, 'f', 2));
    item->setData(Qt::UserRole + 2, QString::number(fullScore, 'f', 2));
    item->setData(Qt::UserRole + 3, QString::number(optionCount));
    if (isAbnormalAnswer(mark, chooseType != 0))
        item->setBackground(QColor(255, 192, 203));
    tableWidgetResults->setItem(rowIndex, column, item);
}

void MainWindow::objectAndTotal(int rowIndex, int item_id, QString mark, int optionCount, int chooseType, float score,
                                float fullScore, int totalRowIndex, float total)
{
    object(rowIndex, item_id, std::move(mark), optionCount, chooseType, score, fullScore);
    objectTotalScore(totalRowIndex, total);
}

void MainWindow::objectTotalScore(int rowIndex, float score)
{
    if (rowIndex < 0 || rowIndex >= tableWidgetResults->rowCount() || tableWidgetResults->columnCount() < 2)
        return;
    tableWidgetResults->setItem(rowIndex, 1, new QTableWidgetItem(QString::number(score, 'f', 2)));
}

void MainWindow::subjectSection(int rowIndex, QString pageSection, QString localPath, int studentID)
{
    Q_UNUSED(studentID);
    const int column = resultColumnOf(pageSection);
    if (column < 0 || rowIndex < 0 || rowIndex >= tableWidgetResults->rowCount())
        return;
    auto *item = new QTableWidgetItem(QStringLiteral("×"));
    item->setData(Qt::UserRole + 1, localPath);
    item->setForeground(QColor(255, 0, 0));
    item->setBackground(QColor(230, 230, 230));
    tableWidgetResults->setItem(rowIndex, column, item);
}

void MainWindow::optionalItem(int rowIndex, QString optionalItem)
{
    const int column = resultColumnOf(optionalItem);
    if (column < 0 || rowIndex < 0 || rowIndex >= tableWidgetResults->rowCount())
        return;
    tableWidgetResults->setItem(rowIndex, column, new QTableWidgetItem(QStringLiteral("√")));
}

void MainWindow::setUnprocessed(int start, int end)
{
    start = std::max(start, 0);
    end = std::min(end, tableWidgetImages->rowCount());
    if (start < end) {
        const QString code = cellText(tableWidgetImages, start, ColumnCode);
        if (!code.isEmpty())
            deleteResultByCode(code);
    }
    for (int r = start; r < end; ++r) {
        for (int c = ColumnCode; c <= ColumnResult; ++c) {
            if (QTableWidgetItem *item = tableWidgetImages->item(r, c))
                item->setText(QString());
        }
        tableWidgetImages->showRow(r);
    }
}

void MainWindow::deleteResultByCode(QString codeValue)
{
    for (int r = tableWidgetResults->rowCount() - 1; r >= 0; --r) {
        QTableWidgetItem *item = tableWidgetResults->item(r, 0);
        if (item && item->text() == codeValue) {
            item->setData(Qt::UserRole + 2, true);
            tableWidgetResults->hideRow(r);
        }
    }
    refreshSuccessCount();
}

void MainWindow::processForOneStudentSuccessed(int start, int end, int resultRowIndex,
                                               QStringList originalSheetLocalPath)
{
    if (tableWidgetImages->exceptionMode) {
        for (int r = std::max(start, 0); r <= end && r < tableWidgetImages->rowCount(); ++r)
            tableWidgetImages->hideRow(r);
    }
    if (QTableWidgetItem *item = tableWidgetResults->item(resultRowIndex, 0))
        item->setData(Qt::UserRole + 2, originalSheetLocalPath);
    if (entireSheetUpload)
        saveSheetsToBinaryPNG(resultRowIndex);
}

void MainWindow::loadImage(QString filePath)
{
    // While workers run, pages arrive faster than anyone can look at them, and
    // reading a page on this thread would hold up the workers' table writes:
    // the newest page is read on a pool thread and shown a few times a second.
    if (!isProcessing()) {
        myImage->loadImage(filePath);
        return;
    }
    m_pendingImage = filePath;
    if (!m_previewBusy)
        showNextPreview();
}

void MainWindow::showNextPreview()
{
    const QString path = std::exchange(m_pendingImage, QString());
    m_previewBusy = !path.isEmpty();
    if (!m_previewBusy)
        return;
    auto *watcher = new QFutureWatcher<MyLabel::DecodedPage>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        myImage->imageLabel->showDecodedPage(watcher->result());
        watcher->deleteLater();
        QTimer::singleShot(250, this, &MainWindow::showNextPreview);
    });
    watcher->setFuture(QtConcurrent::run(m_previewPool, &MyLabel::decodePage, path, myImage->imageLabel->scale));
}

void MainWindow::uploadData()
{
    if (isProcessing()) {
        addLog(QStringLiteral("正在识别处理，不能完成本操作"));
        return;
    }
    if (tableWidgetResults->rowCount() == 0) {
        MessageBox::information(this, QStringLiteral("提示"),
                                QStringLiteral("处理结果列表为空，没有可上传的数据。\n请先识别处理答卷，并查看日志中未能处理的原因。"));
        return;
    }
    // The data file is written from the tables; image uploads still change them.
    if (tableWidgetResults->uploading) {
        addLog(QStringLiteral("图片上传未结束，不能上传数据"));
        return;
    }
    for (int r = 0; r < tableWidgetResults->rowCount(); ++r) {
        for (int c = 1; c < tableWidgetResults->columnCount(); ++c) {
            if (cellText(tableWidgetResults, r, c) == QStringLiteral("×")) {
                const auto answer = MessageBox::withButtonTexts(
                    nullptr, QMessageBox::Warning, QStringLiteral("提示"),
                    QStringLiteral("发现还有未上传的主观题图片，请先完成图片上传\n开始上传方法：在处理结果列表中"
                                   "点击鼠标右键，选择【上传主观题图片】即可"),
                    {{QMessageBox::Ok, QStringLiteral("开始上传")}, {QMessageBox::Cancel, QStringLiteral("我知道了")}});
                if (answer == QMessageBox::Ok)
                    tableWidgetResults->startUpload(false, 0, 0);
                return;
            }
        }
    }
    QHash<QString, int> firstRow;
    for (int r = 0; r < tableWidgetResults->rowCount(); ++r) {
        const QString code = cellText(tableWidgetResults, r, 0);
        if (firstRow.contains(code)) {
            MessageBox::warning(this, QStringLiteral("提示"),
                                QStringLiteral(" type 2发现了重复考号：%1。行 %2 和 行 %3。\n通常这是软件Bug导致。"
                                               "遇此情况请将相关信息反馈给我们。")
                                    .arg(code)
                                    .arg(firstRow.value(code) + 1)
                                    .arg(r + 1));
            return;
        }
        firstRow.insert(code, r);
    }
    const int images = tableWidgetImages->rowCount();
    DialogRecordConfirm confirm(tableWidgetResults, this);
    confirm.setCounts(images, pagesPerSheet > 0 ? images / pagesPerSheet : 0, tableWidgetResults->rowCount());
    if (confirm.exec() != QDialog::Accepted)
        return;
    DialogUploadData upload(this);
    upload.exec();
}
