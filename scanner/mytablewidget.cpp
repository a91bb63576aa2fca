#include "mytablewidget.h"

#include "dialogimagedelete.h"
#include "dialogrotate.h"
#include "formimage.h"
#include "formscan.h"
#include "formstatusbar.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "mylabel.h"
#include "platformrequest.h"

#include <QContextMenuEvent>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QThread>

#include <algorithm>
#include <exception>

MyTableWidget::MyTableWidget(QWidget *parent) : QTableWidget(parent)
{
    uploadUrl = QStringLiteral("https://") + PlatformRequest::host() + QStringLiteral("/index/upload");
    connect(this, &QTableWidget::clicked, this, &MyTableWidget::showCurrentRow);
    // Rows are 20 pixels high, lower than some styles allow by default.
    verticalHeader()->setMinimumSectionSize(qMin(verticalHeader()->minimumSectionSize(), 20));

    contextMenu = new QMenu(this);
    rotateMenu = new QMenu(QStringLiteral("旋转"), this);
    rotateMenu->setIcon(QIcon(QStringLiteral(":/image/res/images/rotate.png")));
    currentMenu = rotateMenu->addMenu(QIcon(QStringLiteral(":/image/res/images/image.png")), QStringLiteral("当前"));
    const struct {
        const char *icon;
        QString text;
        int angle;
    } turns[] = {
        {"clockwise.png", QStringLiteral("顺时针90度"), 90},
        {"anti-clockwise.png", QStringLiteral("逆时针90度"), 270},
        {"180.png", QStringLiteral("180度"), 180},
    };
    for (const auto &turn : turns) {
        QAction *action = currentMenu->addAction(
            QIcon(QStringLiteral(":/image/res/images/") + QLatin1String(turn.icon)), turn.text);
        const int angle = turn.angle;
        connect(action, &QAction::triggered, this, [this, angle] { rotateCurrent(angle); });
    }
    QAction *batch = rotateMenu->addAction(QIcon(QStringLiteral(":/image/res/images/files.png")), QStringLiteral("批量"));
    connect(batch, &QAction::triggered, this, &MyTableWidget::openBatchRotation);
}

MyTableWidget::~MyTableWidget()
{
    stopUpload();
    qDeleteAll(m_statusItems);
}

void MyTableWidget::initTable(bool)
{
    setColumnCount(1);
    setHorizontalHeaderLabels({QStringLiteral("图片")});
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setVisible(false);
    // The station never uploads, whatever the setting says.
    uploadEnabled = false;
}

QTableWidgetItem *MyTableWidget::statusItem(int row) const
{
    return m_statusItems.value(row, nullptr);
}

void MyTableWidget::addRow(const QString &filePath)
{
    const QString name = QFileInfo(QDir::fromNativeSeparators(filePath)).fileName();
    auto *item = new QTableWidgetItem(name);
    item->setData(FileNameRole, name);
    item->setData(FilePathRole, filePath);
    auto *status = new QTableWidgetItem(m_waitingIcon, QString());

    const int row = rowCount();
    insertRow(row);
    setItem(row, 0, item);
    m_statusItems.append(status);
    setRowHeight(row, 20);
    scrollToBottom();

    if (uploadEnabled) {
        uploadList.append(filePath, status);
        startUpload();
    }
}

void MyTableWidget::startUpload()
{
    if (!uploadThread) {
        uploadThread = new QThread(this);
        uploadThread->start(QThread::InheritPriority);
    }
    if (!uploadWorker) {
        uploadWorker = new ThreadUpload;
        uploadWorker->moveToThread(uploadThread);
        uploadWorker->setOwner(this, uploadUrl);
        connect(uploadWorker, &ThreadUpload::updateUploadProgress, this, &MyTableWidget::updateUploadProgress);
        connect(uploadWorker, &ThreadUpload::uploadFinished, this, &MyTableWidget::uploadFinished);
        connect(this, &MyTableWidget::upload, uploadWorker, &ThreadUpload::upload);
    }
    if (!uploadWorker->busy)
        emit upload();
}

void MyTableWidget::stopUpload()
{
    if (uploadWorker)
        uploadWorker->stopRequested = true;
    if (uploadThread) {
        uploadThread->quit();
        uploadThread->wait();
    }
    delete uploadWorker;
    uploadWorker = nullptr;
    delete uploadThread;
    uploadThread = nullptr;
}

void MyTableWidget::updateUploadProgress(QTableWidgetItem *item, QString info)
{
    // A row deleted since the report was sent takes its status item along.
    if (!item || !m_statusItems.contains(item))
        return;
    try {
        if (info != QLatin1String("100%")) {
            item->setIcon(QIcon());
            item->setText(info);
        } else {
            item->setText(QString());
            item->setIcon(QIcon(QStringLiteral(":/image/res/images/yes.png")));
        }
    } catch (const std::exception &e) {
        qDebug() << "it is not valid!!!" << e.what();
    }
}

void MyTableWidget::uploadFinished()
{
    // A finish queued by a worker already replaced is not this worker's.
    if (!uploadWorker || (sender() && sender() != uploadWorker))
        return;
    stopUpload();
    // A file queued while the drain was ending would otherwise wait for the next one.
    if (uploadEnabled && !uploadList.isEmpty())
        startUpload();
}

FormImage *MyTableWidget::preview() const
{
    if (previewForm)
        return previewForm();
    auto *main = qobject_cast<MainWindow *>(window());
    return main ? main->formImage : nullptr;
}

FormStatusBar *MyTableWidget::statusBar() const
{
    if (statusBarForm)
        return statusBarForm();
    auto *main = qobject_cast<MainWindow *>(window());
    return main ? main->formStatusBar : nullptr;
}

int MyTableWidget::quality() const
{
    if (imageQuality)
        return imageQuality();
    auto *main = qobject_cast<MainWindow *>(window());
    return main && main->formScan ? main->formScan->imageQuality : -1;
}

void MyTableWidget::showCurrentRow()
{
    currentRowIndex = currentRow();
    const QTableWidgetItem *cell = item(currentRowIndex, 0);
    if (!cell)
        return;
    const QString path = cell->data(FilePathRole).toString();
    if (FormImage *form = preview())
        form->label->loadImage(path);
    if (FormStatusBar *bar = statusBar())
        bar->setFilePath(path);
}

void MyTableWidget::rotateCurrent(int angle)
{
    const QTableWidgetItem *cell = item(currentRowIndex, 0);
    if (!cell)
        return;
    const QString path = cell->data(FilePathRole).toString();
    QString error;
    if (!rotateImageFile(path, angle, quality(), &error))
        MessageBox::warning(this, QStringLiteral("提示"), error);
    if (FormImage *form = preview())
        form->label->loadImage(path);
}

void MyTableWidget::openBatchRotation()
{
    DialogRotate dialog(this, DialogRotate::pellwyn([this] { return quality(); }));
    dialog.imageTable = this;
    dialog.filePathRole = FilePathRole;
    dialog.exec();
}

void MyTableWidget::deleteSelectedRows()
{
    if (!uploadList.isEmpty()) {
        MessageBox::warning(this, QStringLiteral("提示"), QStringLiteral("上传中，无法进行删除操作"));
        return;
    }
    DialogImageDelete dialog(this, DialogImageDelete::Form::FileList);
    if (dialog.exec() != QDialog::Accepted)
        return;

    QList<int> rows;
    for (const QModelIndex &index : selectionModel()->selectedIndexes())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());

    QStringList kept;
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        const int row = *it;
        if (dialog.deleteLocalFile) {
            if (const QTableWidgetItem *cell = item(row, 0)) {
                const QString path = cell->data(FilePathRole).toString();
                if (QFileInfo::exists(path) && !QFile::remove(path))
                    kept << path;
            }
        }
        removeRow(row);
        delete m_statusItems.takeAt(row);
    }
    if (FormStatusBar *bar = statusBar())
        bar->setCount(rowCount());
    if (!kept.isEmpty())
        MessageBox::warning(this, QStringLiteral("提示"),
                            QStringLiteral("以下文件未能删除：\n") + kept.join(QLatin1Char('\n')));
}

void MyTableWidget::resizeEvent(QResizeEvent *event)
{
    QTableWidget::resizeEvent(event);
    setColumnWidth(0, width());
}

void MyTableWidget::contextMenuEvent(QContextMenuEvent *event)
{
    contextMenu->clear();
    if (itemAt(event->pos())) {
        QAction *remove = contextMenu->addAction(QIcon(QStringLiteral(":/image/res/images/no.png")),
                                                 QStringLiteral("删除(&D)"));
        connect(remove, &QAction::triggered, this, &MyTableWidget::deleteSelectedRows);
        if (rowCount() > 0)
            contextMenu->addMenu(rotateMenu);
        showCurrentRow();
        if (!contextMenu->isEmpty())
            contextMenu->exec(event->globalPos());
    }
    QTableWidget::contextMenuEvent(event);
}
