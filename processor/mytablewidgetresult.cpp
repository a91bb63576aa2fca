#include "mytablewidgetresult.h"

#include "dialogabsentstudentstat.h"
#include "dialogeditobjectanswer.h"
#include "dialogsearchbycode.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "myimage.h"
#include "mytablewidgetimage.h"
#include "uploadsubjectimagethread.h"

#include <QAbstractButton>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHeaderView>
#include <QIcon>
#include <QMenu>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>

namespace {

QIcon menuIcon(const char *file)
{
    return QIcon(QStringLiteral(":/image/res/images/") + QLatin1String(file));
}

QString cellText(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *cell = table->item(row, column);
    return cell ? cell->text() : QString();
}

} // namespace

MyTableWidgetResult::MyTableWidgetResult(QWidget *parent) : QTableWidget(parent)
{
    mainWindow = findMainWindow(this);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(true);

    cornerButton = findChild<QAbstractButton *>();
    if (cornerButton)
        connect(cornerButton, &QAbstractButton::clicked, this, &QTableView::resizeColumnsToContents);
    connect(this, &QTableWidget::itemDoubleClicked, this, &MyTableWidgetResult::showCellImages);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &MyTableWidgetResult::onHeaderClicked);
}

MainWindow *MyTableWidgetResult::mainWindowNow()
{
    if (!mainWindow)
        mainWindow = findMainWindow(this);
    return mainWindow;
}

bool MyTableWidgetResult::isDropped(const QTableWidgetItem *codeItem)
{
    if (!codeItem)
        return false;
    const QVariant flag = codeItem->data(ResultSheetStateRole);
    return flag.type() == QVariant::Bool && flag.toBool();
}

void MyTableWidgetResult::collectSelectedRows()
{
    selectedRows.clear();
    for (const QModelIndex &index : selectionModel()->selectedIndexes())
        selectedRows.push_back(index.row());
    std::sort(selectedRows.begin(), selectedRows.end());
    selectedRows.erase(std::unique(selectedRows.begin(), selectedRows.end()), selectedRows.end());
}

bool MyTableWidgetResult::fillContextMenu()
{
    if (!contextMenu)
        contextMenu = new QMenu(this);
    contextMenu->clear();

    // Workers read this table without locks while they run.
    MainWindow *mw = mainWindowNow();
    if (mw && mw->isProcessing())
        return false;

    if (uploading) {
        contextMenu->addAction(menuIcon("upload.png"), QStringLiteral("停止上传主观题图片(&S)"), this,
                               &MyTableWidgetResult::stopUpload);
        return true;
    }

    contextMenu->addAction(menuIcon("upload.png"), QStringLiteral("上传主观题图片(&U)"), this, [this] {
        if (!uploading)
            startUpload(false, 0, 0);
    });
    contextMenu->addAction(menuIcon("code.png"), QStringLiteral("考号查找(&C)"), this,
                           &MyTableWidgetResult::searchByCode);
    contextMenu->addAction(menuIcon("edit.png"), QStringLiteral("修改客观题填涂(&M)"), this, [this] {
        if (rowCount() > 0)
            openEditObjectAnswer();
    });
    if (abnormalRowsOnly) {
        contextMenu->addAction(menuIcon("show.png"), QStringLiteral("显示所有行（正常）"), this, [this] {
            if (rowCount() > 0)
                filterRows(false);
        });
    } else {
        contextMenu->addAction(menuIcon("error.png"), QStringLiteral("仅显示客观题异常行(&E)"), this, [this] {
            if (rowCount() > 0)
                filterRows(true);
        });
    }
    contextMenu->addAction(menuIcon("no.png"), QStringLiteral("删除(&D)"), this,
                           &MyTableWidgetResult::deleteResultRows);
    contextMenu->addAction(menuIcon("hor.png"), QStringLiteral("自动调整表格列宽(&A)"), this,
                           &QTableView::resizeColumnsToContents);
    contextMenu->addAction(menuIcon("stat.png"), QStringLiteral("缺考统计(&S)"), this, [this] {
        DialogAbsentStudentStat dialog(this, this);
        dialog.exec();
    });
    return true;
}

void MyTableWidgetResult::contextMenuEvent(QContextMenuEvent *event)
{
    if (!fillContextMenu())
        return;
    contextMenu->exec(event->globalPos());
}

void MyTableWidgetResult::searchByCode()
{
    if (rowCount() == 0)
        return;
    DialogSearchByCode dialog;
    if (dialog.exec() != QDialog::Accepted)
        return;
    for (int row = 0; row < rowCount(); ++row) {
        const QTableWidgetItem *codeItem = item(row, 0);
        if (codeItem && codeItem->text() == dialog.code) {
            setCurrentCell(row, 0);
            scrollToItem(codeItem);
            return;
        }
    }
    MessageBox::warning(this, QStringLiteral("提示"), QStringLiteral("没有找到考号：") + dialog.code);
}

void MyTableWidgetResult::deleteResultRows()
{
    MainWindow *mw = mainWindowNow();
    // Rows are addressed by index by the workers and the upload pool.
    if ((mw && mw->isProcessing()) || uploading)
        return;

    const auto answer = MessageBox::withButtonTexts(
        nullptr, QMessageBox::Warning, QStringLiteral("提示"),
        QStringLiteral("删除操作会同时将相应的答卷图片置为未处理状态"),
        {{QMessageBox::Ok, QStringLiteral("确 定")}, {QMessageBox::Cancel, QStringLiteral("取 消")}},
        QMessageBox::NoButton, QStringLiteral(":/image/res/images/no.png"));
    if (answer == QMessageBox::Ok) {
        collectSelectedRows();
        MyTableWidgetImage *images = mw ? mw->tableWidgetImages : nullptr;
        const int pages = mw ? std::max(1, mw->pagesPerSheet) : 1;
        for (auto it = selectedRows.rbegin(); it != selectedRows.rend(); ++it) {
            const int row = *it;
            const QString code = cellText(this, row, 0);
            // Dropping a code drops every result row of it, so every sheet
            // that carries the code goes back to unprocessed; a sheet left
            // "√" would never be recognised again. An empty code would match
            // every unprocessed page.
            if (images && !code.isEmpty()) {
                std::vector<int> firstPages;
                for (int r = 0; r < images->rowCount(); ++r) {
                    if (cellText(images, r, ImageListColumn::Code) == code)
                        firstPages.push_back(r);
                }
                for (int first : firstPages)
                    mw->setUnprocessed(first, std::min(first + pages, images->rowCount()));
            }
            removeRow(row);
        }
    }
    if (mw)
        mw->refreshSuccessCount();
}

void MyTableWidgetResult::filterRows(bool onlyAbnormal)
{
    abnormalRowsOnly = onlyAbnormal;
    if (!onlyAbnormal) {
        for (int row = 0; row < rowCount(); ++row)
            showRow(row);
        return;
    }
    MainWindow *mw = mainWindowNow();
    for (int row = 0; row < rowCount(); ++row) {
        hideRow(row);
        if (!mw)
            continue;
        bool abnormal = false;
        for (const QVector<AnswerSetting> *keys : {&mw->answerSettings, &mw->optionalAnswerSettings}) {
            for (const AnswerSetting &key : *keys) {
                const int column = mw->resultColumnOf(QString::number(key.itemId));
                const QTableWidgetItem *cell = column >= 0 ? item(row, column) : nullptr;
                if (!cell)
                    continue;
                const QString mark = cell->text();
                if (mark == QLatin1String("X") || (!key.multiple && mark.size() > 1)) {
                    abnormal = true;
                    break;
                }
            }
            if (abnormal)
                break;
        }
        if (abnormal)
            showRow(row);
    }
}

void MyTableWidgetResult::openEditObjectAnswer()
{
    const int row = currentRow();
    const QTableWidgetItem *codeItem = row >= 0 ? item(row, 0) : nullptr;
    if (!codeItem)
        return;
    auto *dialog = new DialogEditObjectAnswer(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (remembered(editAnswerPos, editAnswerSize)) {
        dialog->move(editAnswerPos);
        dialog->resize(editAnswerSize);
    }
    dialog->setWindowTitle(dialog->windowTitle() + QStringLiteral(" - ") + codeItem->text());
    dialog->resultRow = row;
    dialog->code = codeItem->text();
    dialog->show();
}

void MyTableWidgetResult::mousePressEvent(QMouseEvent *event)
{
    QTableWidget::mousePressEvent(event);
}

void MyTableWidgetResult::mouseReleaseEvent(QMouseEvent *event)
{
    QTableWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    const QModelIndex index = indexAt(event->pos());
    if (!index.isValid())
        return;
    const QTableWidgetItem *codeItem = item(index.row(), 0);
    if (!codeItem)
        return;

    int page = 1;
    const QTableWidgetItem *header = horizontalHeaderItem(index.column());
    static const QRegularExpression blockKey(QStringLiteral("^([0-9]{1,4})-[0-9]{1,4}$"));
    const QRegularExpressionMatch match = blockKey.match(header ? header->text() : QString());
    if (match.hasMatch())
        page = match.captured(1).toInt();
    showSheetPage(codeItem->text(), page);
}

void MyTableWidgetResult::showSheetPage(const QString &code, int page)
{
    MainWindow *mw = mainWindowNow();
    if (code.isEmpty() || !mw || !mw->tableWidgetImages)
        return;
    QTableWidget *images = mw->tableWidgetImages;
    int first = -1;
    for (int r = 0; r < images->rowCount() && first < 0; ++r) {
        if (cellText(images, r, ImageListColumn::Code) == code)
            first = r;
    }
    if (first < 0)
        return;
    // A block key names a page the sheet may not have (or the list may have
    // lost): fall back to the sheet's first page.
    int target = first + page - 1;
    const bool pageOutsideSheet = page < 1 || (mw->pagesPerSheet > 0 && page > mw->pagesPerSheet);
    if (pageOutsideSheet || target >= images->rowCount() || !images->item(target, ImageListColumn::Path))
        target = first;
    const QTableWidgetItem *pathItem = images->item(target, ImageListColumn::Path);
    if (!pathItem)
        return;
    images->setCurrentCell(target, 0);
    images->selectRow(target);
    if (mw->myImage)
        mw->myImage->loadImage(pathItem->data(ImageListColumn::FilePathRole).toString());
}

void MyTableWidgetResult::addLog(QString str)
{
    if (MainWindow *mw = mainWindowNow())
        mw->addLog(str);
}

void MyTableWidgetResult::onHeaderClicked(int col)
{
    Q_UNUSED(col)
}

// ---------------------------------------------------------------- upload pool

namespace {

const QString kPendingImage = QStringLiteral("×");

// Threads get this long to end once their worker has returned or been told
// to give up; a thread that does not end is left alone rather than deleted
// while it runs.
constexpr int kThreadEndMs = 30000;

// True when the thread has ended and was deleted.
bool endThread(QThread *thread)
{
    if (!thread)
        return true;
    thread->quit();
    if (thread->wait(kThreadEndMs)) {
        delete thread;
        return true;
    }
    thread->setParent(nullptr);
    qWarning("upload thread %s did not end", qPrintable(thread->objectName()));
    return false;
}

} // namespace

MyTableWidgetResult::~MyTableWidgetResult()
{
    if (uploadThreads.isEmpty())
        return;
    // The workers call back into this table through blocking calls; cut them
    // off first, then release any call already waiting, so every worker ends
    // after (or during) its current transfer.
    for (UploadSubjectImageThread *worker : qAsConst(uploadWorkers)) {
        worker->stopRequested = true;
        worker->abandoned = true;
        disconnect(worker, nullptr, this, nullptr);
        disconnect(this, nullptr, worker, nullptr);
    }
    for (QThread *thread : qAsConst(uploadThreads))
        thread->quit();
    QDeadlineTimer deadline(kThreadEndMs);
    for (auto it = uploadThreads.cbegin(); it != uploadThreads.cend(); ++it) {
        QThread *thread = it.value();
        while (!thread->wait(20) && !deadline.hasExpired())
            QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
        if (thread->isFinished()) {
            delete uploadWorkers.value(it.key());
            delete thread;
        } else {
            thread->setParent(nullptr);
            qWarning("upload thread %s did not end", qPrintable(it.key()));
        }
    }
    uploadWorkers.clear();
    uploadThreads.clear();
    uploading = false;
}

void MyTableWidgetResult::startUpload(bool limitRows, int maxRow, int startCell)
{
    // One pool at a time. The running pool keeps `uploading` set: clearing
    // it here would let the window close (or a recognition worker hand over
    // its row) under running upload threads.
    if (!uploadThreads.isEmpty())
        return;
    MainWindow *mw = mainWindowNow();
    if (!mw || columnCount() == 0)
        return;

    const int count = uploadThreadCount > 0 ? std::min(uploadThreadCount, 8)
                                            : std::min(8, std::max(4, QThread::idealThreadCount()));
    nextUploadCell = startCell;

    UploadTarget target;
    target.examId = mw->examId;
    target.localServer = mw->localServer;
    target.localServerAddress = mw->localServerAddress;
    target.localServerPassword = mw->localServerPassword;
    target.sheetUploadTimeout = mw->sheetUploadTimeout;

    for (int k = 1; k <= count; ++k) {
        const QString name = QStringLiteral("上传线程 %1").arg(k);
        auto *thread = new QThread(this);
        thread->setObjectName(name);
        auto *worker = new UploadSubjectImageThread(this, &mw->claimMutex, &nextUploadCell, columnCount(),
                                                   nextUploadCell, limitRows, maxRow);
        worker->setObjectName(name);
        worker->target = target;
        worker->upload.copyCredentialsFrom(mw->myUpload);
        worker->moveToThread(thread);
        uploadThreads.insert(name, thread);
        uploadWorkers.insert(name, worker);
        if (k != count)
            ++nextUploadCell;

        connect(this, &MyTableWidgetResult::startUploadThread, worker, &UploadSubjectImageThread::run);
        connect(worker, &UploadSubjectImageThread::finished, this, &MyTableWidgetResult::uploadFinished);
        connect(worker, &UploadSubjectImageThread::addLog, this, &MyTableWidgetResult::addLog,
                Qt::BlockingQueuedConnection);
        connect(worker, &UploadSubjectImageThread::setServerPath, this,
                &MyTableWidgetResult::setServerPathIfUnchanged, Qt::BlockingQueuedConnection);
    }

    emit startUploadThread();
    if (mw->myUpload.cloudServer == 1)
        mw->myUpload.initOss();
    for (QThread *thread : qAsConst(uploadThreads))
        thread->start();
    uploading = true;
}

void MyTableWidgetResult::processThreadStartUpload(int rowIndex, int startCellIndex, bool *startUploadOK)
{
    if (uploading)
        return;
    startUpload(true, rowIndex, startCellIndex);
    *startUploadOK = true;
}

void MyTableWidgetResult::stopUpload()
{
    for (UploadSubjectImageThread *worker : qAsConst(uploadWorkers))
        worker->stopRequested = true;
}

void MyTableWidgetResult::uploadFinished(QString str)
{
    UploadSubjectImageThread *worker = uploadWorkers.take(str);
    QThread *thread = uploadThreads.take(str);
    if (worker) {
        disconnect(worker, nullptr, this, nullptr);
        disconnect(this, nullptr, worker, nullptr);
    }
    // The worker has left its run; its thread ends at once.
    if (endThread(thread))
        delete worker;
    if (uploadThreads.isEmpty()) {
        MainWindow *mw = mainWindowNow();
        if (mw && mw->myUpload.cloudServer == 1)
            mw->myUpload.shutdownOss();
        uploading = false;
    }
}

void MyTableWidgetResult::setServerPath(QTableWidgetItem *item, QString path)
{
    if (!item)
        return;
    item->setText(QStringLiteral("√"));
    item->setData(ResultServerPathRole, path);
    item->setForeground(QColor(0, 0, 0));
    item->setBackground(QColor(255, 255, 255));
    if (item->tableWidget() == this)
        scrollToItem(item);
}

void MyTableWidgetResult::setServerPathIfUnchanged(QTableWidgetItem *item, QString path, int row, int column,
                                                   QString localPath, bool *marked)
{
    *marked = false;
    // The row may have been removed or its cell replaced while the file
    // was on its way; the pointer is only compared, never followed, until
    // the table confirms it is still there.
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return;
    QTableWidgetItem *now = this->item(row, column);
    if (!now || now != item || now->text() != kPendingImage
        || now->data(ResultLocalPathRole).toString() != localPath)
        return;
    setServerPath(now, path);
    *marked = true;
}
