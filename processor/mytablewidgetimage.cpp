#include "mytablewidgetimage.h"

#include "dialogaddimages.h"
#include "dialogdeletespecifiedsheetindex.h"
#include "dialogimagedelete.h"
#include "dialogrotate.h"
#include "dialogsearchsheetimagetip.h"
#include "dialogsetcode.h"
#include "desktopopener.h"
#include "dialogsort.h"
#include "imagefile.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "multipleselect.h"
#include "myimage.h"
#include "mytablewidgetresult.h"

#include <QContextMenuEvent>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <set>

using namespace ImageListColumn;

bool headerSortAscending = true;

namespace {

const QString kDone = QStringLiteral("√");

QIcon icon(const char *name)
{
    return QIcon(QStringLiteral(":/image/res/images/") + QLatin1String(name));
}

bool plainRename(const QString &from, const QString &to)
{
    return QFile::rename(from, to);
}

bool isDecimalDigits(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

} // namespace

bool (*MyTableWidgetImage::renameFile)(const QString &from, const QString &to) = plainRename;

MyTableWidgetImage::MyTableWidgetImage(QWidget *parent) : QTableWidget(parent)
{
    mainWindow = qobject_cast<MainWindow *>(window());

    setColumnCount(Count);
    setHorizontalHeaderLabels({QStringLiteral("图片路径"), QStringLiteral("考号"), QStringLiteral("文本定位点"),
                               QStringLiteral("定位点A"), QStringLiteral("定位点B"), QStringLiteral("处理结果"),
                               QStringLiteral("图片名称"), QStringLiteral("图片名称-过滤后"),
                               QStringLiteral("创建时间"), QStringLiteral("修改时间"), QStringLiteral("边角检测"),
                               QStringLiteral("文本定位点搜索区域"), QStringLiteral("定位点A搜索区域"),
                               QStringLiteral("定位点B搜索区域"), QStringLiteral("定位点A"),
                               QStringLiteral("定位点B")});
    for (int c = BaseName; c < Count; ++c)
        setColumnHidden(c, true);
    verticalHeader()->setVisible(true);
    // The style's minimum would otherwise stretch rows beyond their 20 pixels.
    verticalHeader()->setMinimumSectionSize(20);
    verticalHeader()->setDefaultSectionSize(20);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(true);
    setStyleSheet(QStringLiteral("selection-background-color: rgb(255, 0, 0);"));
    setSortingEnabled(false);
    // Cells feed recognition and file names; they change only through the menu.
    setEditTriggers(QAbstractItemView::NoEditTriggers);

    contextMenu = new QMenu(this);
    rotateMenu = new QMenu(QStringLiteral("旋转"), this);
    rotateMenu->setIcon(icon("rotate.png"));
    rotateCurrentMenu = rotateMenu->addMenu(icon("image.png"), QStringLiteral("当前"));
    connect(rotateCurrentMenu->addAction(icon("clockwise.png"), QStringLiteral("顺时针90度")), &QAction::triggered,
            this, [this] { rotateRowImageFile(0); });
    connect(rotateCurrentMenu->addAction(icon("anti-clockwise.png"), QStringLiteral("逆时针90度")),
            &QAction::triggered, this, [this] { rotateRowImageFile(2); });
    connect(rotateCurrentMenu->addAction(icon("180.png"), QStringLiteral("180度")), &QAction::triggered, this,
            [this] { rotateRowImageFile(1); });
    connect(rotateMenu->addAction(icon("files.png"), QStringLiteral("批量")), &QAction::triggered, this,
            &MyTableWidgetImage::rotateBatch);

    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &MyTableWidgetImage::slotHeaderClicked);
    connect(this, &QAbstractItemView::clicked, this, &MyTableWidgetImage::showRowImage);
    // A caller on another thread waits until the rows are in; a caller on the
    // list's own thread is served directly (a blocking queued call to the
    // own thread would wait forever).
    connect(
        this, &MyTableWidgetImage::signalGetImagesFromDir, this,
        [this](QString path) {
            if (QThread::currentThread() == thread())
                addImagesOfDir(path);
            else
                QMetaObject::invokeMethod(this, [this, path] { addImagesOfDir(path); },
                                          Qt::BlockingQueuedConnection);
        },
        Qt::DirectConnection);
}

QString MyTableWidgetImage::cellText(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return QString();
    const QTableWidgetItem *cell = item(row, column);
    return cell ? cell->text() : QString();
}

QString MyTableWidgetImage::rowFilePath(int row) const
{
    if (row < 0 || row >= rowCount())
        return QString();
    const QTableWidgetItem *cell = item(row, Path);
    return cell ? cell->data(FilePathRole).toString() : QString();
}

bool MyTableWidgetImage::processing() const
{
    return mainWindow && mainWindow->isProcessing();
}

bool MyTableWidgetImage::refuseWhileProcessing()
{
    if (!processing())
        return false;
    addLog(QStringLiteral("正在识别处理，不能完成本操作"));
    return true;
}

void MyTableWidgetImage::addLog(const QString &line)
{
    if (mainWindow)
        mainWindow->addLog(line);
}

void MyTableWidgetImage::refreshSheetCount()
{
    if (mainWindow)
        mainWindow->refreshSheetCount();
}

int MyTableWidgetImage::pagesPerSheet() const
{
    return mainWindow ? std::max(mainWindow->pagesPerSheet, 0) : 0;
}

void MyTableWidgetImage::addImageRow(QFileInfo file, int row)
{
    const int r = (row < 0 || row > rowCount()) ? rowCount() : row;
    insertRow(r);

    auto *pathItem = new QTableWidgetItem(file.fileName());
    pathItem->setData(FileNameRole, file.fileName());
    pathItem->setData(FilePathRole, QDir::toNativeSeparators(file.absoluteFilePath()));
    setItem(r, Path, pathItem);
    for (int c = Code; c <= Result; ++c)
        setItem(r, c, new QTableWidgetItem());
    setItem(r, BaseName, new QTableWidgetItem(file.baseName()));
    setItem(r, SortKey, new QTableWidgetItem());
    // Not every file system records a birth time; the modification time is
    // the closest stand-in.
    QDateTime born = file.birthTime();
    if (!born.isValid())
        born = file.lastModified();
    setItem(r, Created, new QTableWidgetItem(QString::number(born.toMSecsSinceEpoch())));
    setItem(r, Modified, new QTableWidgetItem(QString::number(file.lastModified().toMSecsSinceEpoch())));
    setItem(r, CornerCheck, new QTableWidgetItem(kDone));
    for (int c = TextAnchorArea; c < Count; ++c)
        setItem(r, c, new QTableWidgetItem());

    setRowHeight(r, 20);
    scrollToBottom();
}

void MyTableWidgetImage::contextMenuEvent(QContextMenuEvent *event)
{
    fillContextMenu(event->pos());
    contextMenu->exec(event->globalPos());
}

void MyTableWidgetImage::fillContextMenu(const QPoint &pos)
{
    contextMenu->clear();

    auto addAppend = [this] {
        connect(contextMenu->addAction(icon("add.png"), QStringLiteral("追加(&A)")), &QAction::triggered, this,
                &MyTableWidgetImage::addImages);
    };
    auto addExceptionEntry = [this] {
        QAction *a = exceptionMode ? contextMenu->addAction(icon("delete.png"), QStringLiteral("关闭异常处理模式"))
                                   : contextMenu->addAction(icon("error.png"), QStringLiteral("打开异常处理模式"));
        connect(a, &QAction::triggered, this, [this] { setExceptionMode(!exceptionMode); });
    };

    // Workers address rows by index: while they run, nothing but stopping.
    if (processing()) {
        connect(contextMenu->addAction(icon("stop.png"), QStringLiteral("停止识别处理(&S)")), &QAction::triggered,
                this, [this] {
                    if (mainWindow)
                        emit mainWindow->stop();
                });
        return;
    }
    const QTableWidgetItem *under = rowCount() > 0 ? itemAt(pos) : nullptr;
    if (!under) {
        addAppend();
        addExceptionEntry();
        return;
    }

    contextRow = under->row();
    const int r = contextRow;
    const int pages = pagesPerSheet();

    if (pages > 0 && r % pages == 0 && r + pages <= rowCount()) {
        connect(contextMenu->addAction(icon("start.png"), QStringLiteral("处理本份答卷(&P)")), &QAction::triggered,
                this, [this, r, pages] {
                    if (!refuseWhileProcessing() && mainWindow && r + pages <= rowCount())
                        mainWindow->startProcessThreads(r, r + pages - 1, true);
                });
    }
    if (pages > 0)
        connect(contextMenu->addAction(icon("code.png"), QStringLiteral("设定考号(&C)")), &QAction::triggered, this,
                &MyTableWidgetImage::setSheetCode);
    connect(contextMenu->addAction(icon("locate.png"), QStringLiteral("定位到失败行(&L)")), &QAction::triggered, this,
            &MyTableWidgetImage::locateFailedRow);
    contextMenu->addSeparator();
    connect(contextMenu->addAction(icon("no.png"), QStringLiteral("删除(&D)")), &QAction::triggered, this,
            &MyTableWidgetImage::deleteSelectedRows);
    contextMenu->addMenu(rotateMenu);
    connect(contextMenu->addAction(icon("up.png"), QStringLiteral("上移(&U)")), &QAction::triggered, this,
            &MyTableWidgetImage::moveImageRowUp);
    addAppend();
    QAction *pathToggle = showFullPath ? contextMenu->addAction(icon("name.png"), QStringLiteral("显示文件名"))
                                       : contextMenu->addAction(icon("path.png"), QStringLiteral("显示文件完整路径"));
    connect(pathToggle, &QAction::triggered, this, &MyTableWidgetImage::toggleFullPath);
    contextMenu->addSeparator();
    QAction *corner = cellText(r, CornerCheck) == kDone
                          ? contextMenu->addAction(icon("rectangle.png"), QStringLiteral("忽略边角检测(&I)"))
                          : contextMenu->addAction(icon("rectangle.png"), QStringLiteral("开启边角检测"));
    connect(corner, &QAction::triggered, this, [this, r] { toggleCornerCheck(r); });
    contextMenu->addSeparator();
    connect(contextMenu->addAction(icon("sort.png"), QStringLiteral("排序(&S)")), &QAction::triggered, this,
            &MyTableWidgetImage::sortImageRows);
    QAction *columns = sortableColumnsHidden
                           ? contextMenu->addAction(icon("show.png"), QStringLiteral("显示可排序列"))
                           : contextMenu->addAction(icon("hide.png"), QStringLiteral("隐藏可排序列"));
    connect(columns, &QAction::triggered, this, &MyTableWidgetImage::toggleSortableColumns);
    contextMenu->addSeparator();
    connect(contextMenu->addAction(icon("images.png"), QStringLiteral("打开文件(&O)")), &QAction::triggered, this,
            &MyTableWidgetImage::openCurrentFile);
    connect(contextMenu->addAction(icon("folder.png"), QStringLiteral("打开目录(&F)")), &QAction::triggered, this,
            &MyTableWidgetImage::openCurrentFolder);
    contextMenu->addSeparator();
    connect(contextMenu->addAction(icon("no.png"), QStringLiteral("删除页序图片")), &QAction::triggered, this,
            &MyTableWidgetImage::deletePageIndexRows);
    contextMenu->addSeparator();
    addExceptionEntry();
}

void MyTableWidgetImage::setSheetCode()
{
    if (refuseWhileProcessing() || !mainWindow)
        return;
    const int pages = mainWindow->templatePages.size();
    const int r = contextRow;
    if (pages <= 0 || r < 0 || r >= rowCount())
        return;
    const int first = r - r % pages;

    DialogSetCode dialog(this, autoStartProcess);
    dialog.code = cellText(first, Code);
    if (dialog.exec() != QDialog::Accepted || first >= rowCount())
        return;
    QTableWidgetItem *cell = item(first, Code);
    if (!cell) {
        cell = new QTableWidgetItem();
        setItem(first, Code, cell);
    }
    cell->setText(dialog.code);
    autoStartProcess = dialog.autoStartProcess;
    if (!autoStartProcess || refuseWhileProcessing())
        return;
    if (first + pages > rowCount()) {
        addLog(QStringLiteral("本份答卷的图片不全，不能开始处理"));
        return;
    }
    mainWindow->startProcessThreads(first, first + pages - 1, true);
}

void MyTableWidgetImage::selectOnlyRow(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    clearSelection();
    setCurrentCell(row, Path, QItemSelectionModel::NoUpdate);
    selectRow(row);
    if (QTableWidgetItem *cell = item(row, Path))
        scrollToItem(cell);
}

void MyTableWidgetImage::locateFailedRow()
{
    for (int r = std::max(contextRow, 0); r < rowCount(); ++r) {
        const QString result = cellText(r, Result);
        if (!result.isEmpty() && result != kDone) {
            selectOnlyRow(r);
            return;
        }
    }
    MessageBox::information(this, QStringLiteral("提示"), QStringLiteral("未发现"));
}

void MyTableWidgetImage::deleteSelectedRows()
{
    if (refuseWhileProcessing())
        return;
    DialogImageDelete dialog(this);
    if (dialog.exec() != QDialog::Accepted || refuseWhileProcessing())
        return;

    std::set<int> rows;
    for (const QModelIndex &index : selectedIndexes())
        if (index.row() >= 0 && index.row() < rowCount())
            rows.insert(index.row());
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        const int r = *it;
        if (cellText(r, Result) == kDone)
            continue;
        const QString path = rowFilePath(r);
        if (dialog.deleteLocalFile && !path.isEmpty() && QFile::exists(path) && !QFile::remove(path))
            addLog(QStringLiteral("删除文件失败：") + path);
        removeRow(r);
    }
    if (contextRow >= rowCount())
        contextRow = -1;
    refreshSheetCount();
}

void MyTableWidgetImage::deletePageIndexRows()
{
    if (rowCount() == 0 || refuseWhileProcessing())
        return;
    DialogDeleteSpecifiedSheetIndex dialog(this);
    if (dialog.exec() != QDialog::Accepted || refuseWhileProcessing())
        return;
    const int k = dialog.pageIndex;
    if (k < 1)
        return;
    for (int r = rowCount() - 1; r >= 0; --r) {
        if (cellText(r, Result) == kDone || (r + 1) % k != 0)
            continue;
        const QString path = rowFilePath(r);
        if (dialog.deleteLocalFile && !path.isEmpty() && QFile::exists(path) && !QFile::remove(path))
            addLog(QStringLiteral("删除文件失败：") + path);
        removeRow(r);
    }
    if (contextRow >= rowCount())
        contextRow = -1;
    refreshSheetCount();
}

void MyTableWidgetImage::moveImageRowUp()
{
    if (refuseWhileProcessing())
        return;
    const int r = currentRow();
    if (r < 1 || r >= rowCount())
        return;
    if (cellText(r, Result) == kDone || cellText(r - 1, Result) == kDone)
        return;

    insertRow(r - 1);
    setRowHeight(r - 1, 20);
    for (int c = 0; c < columnCount(); ++c)
        setItem(r - 1, c, takeItem(r + 1, c));
    removeRow(r + 1);

    if (mainWindow && mainWindow->exchangeNameWhenRowsExchange)
        swapImageFileNames(r, r - 1);
    selectOnlyRow(r - 1);
    showRowImage();
}

bool MyTableWidgetImage::exchangeFileNames(const QString &a, const QString &b, QString *error)
{
    auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    const QFileInfo infoB(b);
    const QString digest = QString::fromLatin1(
        QCryptographicHash::hash(infoB.absoluteFilePath().toUtf8(), QCryptographicHash::Md5).toHex());
    // The temporary name never replaces an existing file, such as one left
    // behind by an earlier interrupted exchange.
    QString temp = QStringLiteral("%1/%2.%3").arg(infoB.absolutePath(), digest, infoB.suffix());
    for (int n = 1; QFileInfo::exists(temp); ++n)
        temp = QStringLiteral("%1/%2-%3.%4").arg(infoB.absolutePath(), digest).arg(n).arg(infoB.suffix());

    if (!renameFile(b, temp))
        return fail(QStringLiteral("交换文件名失败：%1 无法改名").arg(b));
    if (!renameFile(a, b)) {
        if (!renameFile(temp, b))
            return fail(QStringLiteral("交换文件名失败：%1 现名为 %2").arg(b, temp));
        return fail(QStringLiteral("交换文件名失败：%1 无法改名").arg(a));
    }
    if (!renameFile(temp, a)) {
        const bool backA = renameFile(b, a);
        const bool backB = backA && renameFile(temp, b);
        if (!backA)
            return fail(QStringLiteral("交换文件名失败：%1 现名为 %2，%3 现名为 %4").arg(a, b, b, temp));
        if (!backB)
            return fail(QStringLiteral("交换文件名失败：%1 现名为 %2").arg(b, temp));
        return fail(QStringLiteral("交换文件名失败：%1 无法改名").arg(temp));
    }
    return true;
}

void MyTableWidgetImage::swapImageFileNames(int a, int b)
{
    if (refuseWhileProcessing() || a < 0 || b < 0 || a >= rowCount() || b >= rowCount() || a == b)
        return;
    const QString pathA = rowFilePath(a);
    const QString pathB = rowFilePath(b);
    const QFileInfo infoA(pathA), infoB(pathB);
    if (pathA.isEmpty() || pathB.isEmpty() || infoA.absolutePath() != infoB.absolutePath() || !infoA.exists()
        || !infoB.exists() || infoA.absoluteFilePath() == infoB.absoluteFilePath())
        return;

    QString error;
    if (!exchangeFileNames(pathA, pathB, &error)) {
        // The rows have moved but every file kept its name: the list still
        // points at the right files.
        addLog(error);
        return;
    }
    removeRow(a);
    addImageRow(QFileInfo(pathB), a);
    removeRow(b);
    addImageRow(QFileInfo(pathA), b);
}

void MyTableWidgetImage::sortByColumn(int column, Qt::SortOrder order, bool showIndicator)
{
    // Sorting stays switched off, so rows added later go to the end.
    horizontalHeader()->setSortIndicatorShown(showIndicator);
    if (showIndicator)
        horizontalHeader()->setSortIndicator(column, order);
    sortItems(column, order);
    if (exceptionMode)
        for (int r = 0; r < rowCount(); ++r)
            setRowHidden(r, cellText(r, Result) == kDone);
}

void MyTableWidgetImage::sortImageRows()
{
    if (rowCount() == 0 || refuseWhileProcessing())
        return;
    DialogSort dialog(this);
    if (dialog.exec() != QDialog::Accepted || refuseWhileProcessing())
        return;

    QString filter = dialog.filterText;
    filter.replace(QStringLiteral("，"), QStringLiteral(","));
    const QStringList parts = filter.split(QLatin1Char(','));
    for (int r = 0; r < rowCount(); ++r) {
        QString key = cellText(r, BaseName);
        if (!filter.isEmpty())
            for (const QString &part : parts)
                if (!part.isEmpty())
                    key.remove(part, Qt::CaseSensitive);
        QTableWidgetItem *cell = item(r, SortKey);
        if (!cell) {
            cell = new QTableWidgetItem();
            setItem(r, SortKey, cell);
        }
        if (isDecimalDigits(key)) {
            bool ok = false;
            const int value = key.toInt(&ok);
            cell->setData(Qt::DisplayRole, ok ? value : 0);
        } else {
            cell->setData(Qt::DisplayRole, key);
        }
    }
    const int column = SortKey + std::clamp(dialog.sortBy, 0, 2);
    sortByColumn(column, dialog.sortOrder == 1 ? Qt::DescendingOrder : Qt::AscendingOrder, false);
}

void MyTableWidgetImage::slotHeaderClicked(int index)
{
    if (index < BaseName || index > Modified || processing()) {
        setSortingEnabled(false);
        horizontalHeader()->setSortIndicatorShown(false);
        return;
    }
    sortByColumn(index, headerSortAscending ? Qt::AscendingOrder : Qt::DescendingOrder, true);
    headerSortAscending = !headerSortAscending;
}

void MyTableWidgetImage::showRowImage()
{
    const int r = currentRow();
    if (r < 0 || r >= rowCount())
        return;
    contextRow = r;
    if (mainWindow && mainWindow->myImage)
        mainWindow->myImage->loadImage(rowFilePath(r));

    const int pages = pagesPerSheet();
    if (pages <= 0 || cellText(r, Result) != kDone || !mainWindow || !mainWindow->tableWidgetResults)
        return;
    const QString code = cellText(r - r % pages, Code);
    if (code.isEmpty())
        return;
    QTableWidget *results = mainWindow->tableWidgetResults;
    for (int i = 0; i < results->rowCount(); ++i) {
        const QTableWidgetItem *cell = results->item(i, 0);
        if (cell && cell->text() == code) {
            // Selecting the row's first cell works in every selection mode.
            results->setCurrentCell(i, 0);
            results->selectRow(i);
            results->scrollToItem(cell);
            return;
        }
    }
}

void MyTableWidgetImage::rotateRowImageFile(int mode)
{
    if (!item(contextRow, Path) || refuseWhileProcessing())
        return;
    const QString path = rowFilePath(contextRow);
    QString error;
    if (!ImageFile::rotate(path, mode, -1, &error)) {
        addLog(error);
        return;
    }
    if (mainWindow && mainWindow->myImage)
        mainWindow->myImage->loadImage(path);
}

void MyTableWidgetImage::rotateBatch()
{
    if (refuseWhileProcessing())
        return;
    DialogRotate dialog(this);
    dialog.imageTable = this;
    dialog.exec();
}

void MyTableWidgetImage::setExceptionMode(bool on)
{
    if (on)
        addLog(QStringLiteral("异常处理模式已打开。答卷图片列表仅显示识别处理失败的记录。"));
    else
        addLog(QStringLiteral("异常处理模式已关闭。答卷图片列表已显示全部记录。"));
    exceptionMode = on;
    for (int r = 0; r < rowCount(); ++r) {
        if (!on)
            showRow(r);
        else if (cellText(r, Result) == kDone)
            hideRow(r);
    }
}

void MyTableWidgetImage::toggleFullPath()
{
    showFullPath = !showFullPath;
    const int role = showFullPath ? FilePathRole : FileNameRole;
    for (int r = 0; r < rowCount(); ++r)
        if (QTableWidgetItem *cell = item(r, Path))
            cell->setText(cell->data(role).toString());
}

void MyTableWidgetImage::toggleCornerCheck(int row)
{
    if (row < 0 || row >= rowCount() || refuseWhileProcessing())
        return;
    QTableWidgetItem *cell = item(row, CornerCheck);
    if (!cell) {
        cell = new QTableWidgetItem();
        setItem(row, CornerCheck, cell);
    }
    cell->setText(cell->text() == kDone ? QStringLiteral("×") : kDone);
}

void MyTableWidgetImage::toggleSortableColumns()
{
    sortableColumnsHidden = !sortableColumnsHidden;
    for (int c = BaseName; c <= Modified; ++c)
        setColumnHidden(c, sortableColumnsHidden);
}

void MyTableWidgetImage::openCurrentFile()
{
    const QString path = rowFilePath(currentRow());
    if (!path.isEmpty())
        DesktopOpener::openUrl(QUrl::fromLocalFile(path));
}

void MyTableWidgetImage::openCurrentFolder()
{
    const QString path = rowFilePath(currentRow());
    if (!path.isEmpty())
        DesktopOpener::showFile(path);
}

void MyTableWidgetImage::addImagesOfDir(QString path)
{
    QDir dir(path);
    if (path.isEmpty() || !dir.exists())
        return;
    const QFileInfoList entries = dir.entryInfoList({QStringLiteral("*.jpg"), QStringLiteral("*.png"),
                                                     QStringLiteral("*.tif"), QStringLiteral("*.tiff")},
                                                    QDir::Files | QDir::NoSymLinks, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &entry : entries)
        if (entry.isFile())
            addImageRow(entry);
}

void MyTableWidgetImage::addImages()
{
    if (refuseWhileProcessing())
        return;
    DialogSearchSheetImageTip *tip = mainWindow ? mainWindow->searchSheetImageTip : nullptr;
    if (tip && tip->searching()) {
        MessageBox::information(this, QStringLiteral("提示"), QStringLiteral("正在查找图片，请等本次查找结束后再追加。"));
        return;
    }

    DialogAddImages chooseMode;
    if (chooseMode.exec() != QDialog::Accepted || refuseWhileProcessing())
        return;

    if (chooseMode.mode == QLatin1String("folder")) {
        auto *chooser = new MultipleSelect(this);
        QStringList folders, files;
        if (chooser->exec() == QDialog::Accepted) {
            for (const QString &entry : chooser->selectedFiles()) {
                const QFileInfo info(entry);
                if (info.isDir())
                    folders << entry;
                else if (info.isFile())
                    files << entry;
            }
        }
        // Each chooser watches its folders; one left per use would pile up.
        chooser->deleteLater();
        if ((!folders.isEmpty() || !files.isEmpty()) && mainWindow && !refuseWhileProcessing()) {
            if (tip && tip->searching())
                MessageBox::information(this, QStringLiteral("提示"), QStringLiteral("正在查找图片，请等本次查找结束后再追加。"));
            else
                mainWindow->startImageSearch(folders, files);
        }
    } else if (chooseMode.mode == QLatin1String("file")) {
        const QStringList chosen = QFileDialog::getOpenFileNames(
            this, QStringLiteral("指定文件"), QString(), QStringLiteral("Images (*.png *.jpg *.tif *.tiff)"));
        for (const QString &file : chosen)
            addImageRow(QFileInfo(file));
    }
    refreshSheetCount();
}
