// The scan panel of the main window: finding and connecting a scanner,
// starting a batch, and the transfer loop that writes every page to a
// numbered file and, in scan-and-process mode, hands each complete sheet to
// recognition. The panel is built but kept out of reach: only the show and
// hide buttons are connected.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "desktopopener.h"
#include "dialogscanandprocesstips.h"
#include "folderchooser.h"
#include "messagebox.h"
#include "myimage.h"
#include "mytablewidgetimage.h"
#include "pagefile.h"
#include "twainapp.h"

#include <QFileInfo>
#include <QIcon>
#include <QMutex>
#include <QSemaphore>
#include <QSettings>
#include <QThread>
#include <QTimer>
#include <QtConcurrent>
#include <QtDebug>

#include <memory>

namespace {

const QString kScanBusy = QStringLiteral("扫描中，不能完成本操作");
const QString kStopping = QStringLiteral("正在停止扫描，可能会有些许延迟，请稍候");
const QString kDone = QStringLiteral("√");
constexpr int kResultColumn = 5;

// A source that keeps answering a native transfer with an unexpected code is
// given up after this many answers in a row.
constexpr int kMaxUnexpectedAnswers = 20;
// Recognition of one sheet takes seconds; this long means it hangs.
constexpr int kMaxRecognitionWaitMs = 10 * 60 * 1000;
constexpr int kRecognitionPollMs = 50;
// How often a source without callbacks is asked for its messages.
constexpr int kSourceEventIntervalMs = 20;

QIcon panelIcon(const char *name)
{
    return QIcon(QStringLiteral(":/image/res/images/") + QLatin1String(name));
}

} // namespace

// ---------------------------------------------------------------- panel

void MainWindow::setScanModuleShown(bool shown)
{
    ui->widgetScan->setVisible(shown);
    ui->pushButtonScanHide->setVisible(shown);
    ui->pushButtonScanShow->setVisible(!shown);
    QSettings settings(iniPath(), QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    settings.setValue(QStringLiteral("Scan/ModuleShow"), shown ? QStringLiteral("1") : QStringLiteral("0"));
}

void MainWindow::setScanButtonIdle(bool idle)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this, idle] { setScanButtonIdle(idle); }, Qt::QueuedConnection);
        return;
    }
    ui->pushButtonScan->setText(idle ? QStringLiteral("扫描") : QStringLiteral("接收图像中..."));
    ui->pushButtonScan->setIcon(panelIcon(idle ? "scan.png" : "accept.png"));
}

void MainWindow::findScanners()
{
    ui->comboBoxDataSource->clear();
    if (!parentWindow)
        parentWindow = reinterpret_cast<TW_HANDLE>(winId());
    if (!loadDSM())
        return;
    const QMap<TW_UINT32, QString> sources = getSources();
    for (auto it = sources.cbegin(); it != sources.cend(); ++it)
        ui->comboBoxDataSource->addItem(it.value(), QVariant::fromValue<uint>(it.key()));
    ui->pushButtonConnectScanner->setEnabled(!sources.isEmpty());
}

bool MainWindow::connectScanner()
{
    if (ui->comboBoxDataSource->currentIndex() < 0 || state() > 3)
        return false;
    const auto id = TW_UINT32(ui->comboBoxDataSource->currentData().toUInt());
    const bool opened = selectSourceById(id) && openDS();
    ui->pushButtonScannerSetting->setEnabled(opened);
    ui->pushButtonDisconnectScanner->setEnabled(opened);
    ui->pushButtonScan->setEnabled(opened);
    ui->pushButtonConnectScanner->setEnabled(!opened);
    if (!opened)
        return false;
    setScanButtonIdle(true);
    ui->comboBoxDataSource->setEnabled(false);
    if (!usesCallback()) {
        // No callback: the source's messages wait until they are asked for.
        if (!m_sourceEventTimer) {
            m_sourceEventTimer = new QTimer(this);
            m_sourceEventTimer->setInterval(kSourceEventIntervalMs);
            connect(m_sourceEventTimer, &QTimer::timeout, this, [this] {
                if (state() >= 4 && !transferRunning())
                    processSourceEvent(nullptr);
            });
        }
        m_sourceEventTimer->start();
    }
    return true;
}

bool MainWindow::disconnectScanner()
{
    if (state() >= 5 || transferRunning()) {
        addLog(kScanBusy);
        return false;
    }
    if (!closeDS() || !closeDSM())
        return false;
    if (m_sourceEventTimer)
        m_sourceEventTimer->stop();
    ui->pushButtonScannerSetting->setEnabled(false);
    ui->pushButtonDisconnectScanner->setEnabled(false);
    ui->pushButtonConnectScanner->setEnabled(false);
    ui->pushButtonScan->setEnabled(false);
    setScanButtonIdle(true);
    ui->comboBoxDataSource->setEnabled(true);
    ui->comboBoxDataSource->clear();
    findScanners();
    return true;
}

void MainWindow::scannerSetting()
{
    if (state() == 4 && !transferRunning())
        showSourceUI(reinterpret_cast<TW_HANDLE>(winId()));
}

void MainWindow::scan()
{
    if (state() < 5 && !transferRunning()) {
        startScan();
        return;
    }
    if (state() == 5 && !transferRunning()) {
        // Enabled, and no page has come: nothing runs that could stop, so
        // the source is disabled here, or the panel would wait for ever.
        if (disableDS() == 0)
            addLog(QStringLiteral("扫描仪没有送来图像，扫描已停止"));
        else
            addLog(QStringLiteral("扫描仪未能停用，请断开后重新连接"));
        setScanButtonIdle(true);
        return;
    }
    addLog(kStopping);
    stopScan = true;
}

void MainWindow::startScan()
{
    auto refuse = [this](const QString &text) {
        MessageBox::warning(this, QStringLiteral("提示"), text, QMessageBox::Ok);
    };
    if (transferRunning()) {
        addLog(kScanBusy);
        return;
    }
    imageSavePath = ui->lineEditImageSavePath->text();
    if (imageSavePath.isEmpty() || !QFileInfo(imageSavePath).isDir()) {
        refuse(QStringLiteral("保存路径不合法"));
        return;
    }
    imageNamePrefix = ui->lineEditImageNamePrefix->text();
    imageFormat = ui->comboBoxImageFormat->currentText();
    imageNumberLength = ui->comboBoxImageNumberLength->currentText().toInt();
    bool isNumber = false;
    int number = ui->lineEditImageNumber->text().toInt(&isNumber);
    if (!isNumber)
        number = 0;
    if (number < 1 || number > 999999) {
        refuse(QStringLiteral("起始编号范围为1-999999"));
        return;
    }
    imageNumber = number;
    const QString first = scanFileName(imageSavePath, imageNamePrefix, number, imageNumberLength, imageFormat);
    if (QFileInfo::exists(first)) {
        refuse(QStringLiteral("文件：%1 已经存在。\n请检查起存储路径或起始编号是否填写正确！").arg(first));
        return;
    }
    rotateFlagTop = ui->comboBoxRotateFlagTop->currentIndex();
    rotateFlagBottom = ui->comboBoxRotateFlagBottom->currentIndex();
    if (state() < 4) {
        refuse(QStringLiteral("请先连接扫描设备"));
        return;
    }
    saveScanSettings();
    if (pagesPerSheet > 0) {
        DialogScanAndProcessTips dialog(this, pagesPerSheet);
        if (dialog.exec() != QDialog::Accepted)
            return;
        scanType = dialog.scanType;
        scanSkipPageCount = dialog.skipPageCount;
        stopFeederOnFailure = dialog.stopFeederOnFailure != 0;
    } else {
        scanType = 0;
    }
    // The operator would otherwise wait for pages that never come.
    if (!enableDS())
        addLog(QStringLiteral("扫描仪未能开始扫描，请检查扫描设备和纸张"));
}

void MainWindow::saveScanSettings()
{
    QSettings settings(iniPath(), QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    settings.setValue(QStringLiteral("Scan/SavePath"), ui->lineEditImageSavePath->text());
    settings.setValue(QStringLiteral("Scan/FileNamePrefix"), ui->lineEditImageNamePrefix->text());
    settings.setValue(QStringLiteral("Scan/NumberLegnth"), ui->comboBoxImageNumberLength->currentText());
    settings.setValue(QStringLiteral("Scan/ImageFormat"), ui->comboBoxImageFormat->currentIndex());
    settings.setValue(QStringLiteral("Scan/RotateTop"), ui->comboBoxRotateFlagTop->currentIndex());
    settings.setValue(QStringLiteral("Scan/RotateBottom"), ui->comboBoxRotateFlagBottom->currentIndex());
}

void MainWindow::changeImageSavePath()
{
    const QString chosen = chooseFolder(this, QStringLiteral("指定文件保存路径"), ui->lineEditImageSavePath->text());
    if (!chosen.isEmpty())
        ui->lineEditImageSavePath->setText(chosen);
}

void MainWindow::openImageSavePath()
{
    DesktopOpener::openLocalPath(ui->lineEditImageSavePath->text());
}

void MainWindow::getOneImageFromScannerSlot(QString filePath, QString fileName)
{
    ui->lineEditImageNumber->setText(QString::number(imageNumber.load()));
    myImage->loadImage(filePath);
    addLog(QStringLiteral("获取图片：") + fileName);
    tableWidgetImages->addImageRow(QFileInfo(filePath));
    refreshSheetCount();
}

void MainWindow::addTransferImageLogSlot(QString log)
{
    addLog(log);
}

// ---------------------------------------------------------------- source messages

void MainWindow::sourceMessage(int msg)
{
    // Possibly on the manager's thread: the signal carries it to receivers.
    emit customDataSourceSignal(msg);
}

bool MainWindow::nativeEvent(const QByteArray &eventType, void *message, long *result)
{
    Q_UNUSED(eventType);
    Q_UNUSED(result);
    if (state() <= 3)
        return false;
    return processSourceEvent(message);
}

void MainWindow::DataSourceSignal(int msg)
{
    switch (msg) {
    case MSG_XFERREADY:
        // A late message of a batch already running or already disabled.
        if (transferRunning() || state() < 5)
            return;
        transferredImageCount = 0;
        setState(6);
        startNativeTransfer();
        break;
    case MSG_CLOSEDSREQ:
    case MSG_CLOSEDSOK:
        // The source cannot be disabled while pages are transferred: the
        // loop stops the feeder and ends with its own close message.
        if (transferRunning()) {
            stopScan = true;
            return;
        }
        if (msg == MSG_CLOSEDSREQ)
            onCloseDSRequest();
        else
            onCloseDSOK();
        break;
    case MSG_DEVICEEVENT: {
        addLog(QStringLiteral("收到消息 MSG_DEVICEEVENT"));
        TW_DEVICEEVENT event = {};
        if (call(DG_CONTROL, DAT_DEVICEEVENT, MSG_GET, &event, true) != TWRC_SUCCESS)
            traceFailure("DG_CONTROL / DAT_DEVICEEVENT / MSG_GET");
        break;
    }
    default:
        break;
    }
}

// ---------------------------------------------------------------- transfers

void MainWindow::startNativeTransfer()
{
    if (transferRunning())
        return;
    // Everything the loop needs is taken here, so it never reads what the
    // GUI thread may change meanwhile (an exam opened during the batch).
    m_batch.folder = imageSavePath;
    m_batch.prefix = imageNamePrefix;
    m_batch.format = imageFormat;
    m_batch.numberLength = imageNumberLength;
    m_batch.rotateTop = rotateFlagTop;
    m_batch.rotateBottom = rotateFlagBottom;
    m_batch.scanType = scanType;
    m_batch.skipPages = scanSkipPageCount;
    m_batch.pagesPerSheet = pagesPerSheet;
    m_batch.stopFeederOnFailure = stopFeederOnFailure;
    // The previous loop has left the source; let it finish its last steps.
    m_transfer.waitForFinished();
    m_transferActive = true;
    m_transfer = QtConcurrent::run([this] { transferLoop(); });
}

void MainWindow::stopTransferAndWait()
{
    m_closingScan = true;
    stopScan = true;
    m_transfer.waitForFinished();
    if (m_sourceEventTimer)
        m_sourceEventTimer->stop();
    // The manager is shared by the process: leave it closed.
    if (state() >= 5) {
        TW_PENDINGXFERS pending = {};
        if (state() >= 6)
            call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending, true);
        setState(5);
        disableDS();
    } else if (state() == 4 && settingsDialogShown()) {
        disableDS();
    }
    closeDS();
    closeDSM();
}

bool MainWindow::runOnGuiThread(const std::function<void()> &fn)
{
    // The call is abandoned (and will not run) when the window is closing:
    // the GUI thread then waits for this loop and cannot serve it.
    struct Call {
        QMutex mutex;
        bool started = false;
        bool abandoned = false;
        QSemaphore done;
        std::function<void()> fn;
    };
    auto c = std::make_shared<Call>();
    c->fn = fn;
    QMetaObject::invokeMethod(
        this,
        [c] {
            {
                QMutexLocker lock(&c->mutex);
                if (c->abandoned)
                    return;
                c->started = true;
            }
            c->fn();
            c->done.release();
        },
        Qt::QueuedConnection);
    while (!c->done.tryAcquire(1, kRecognitionPollMs)) {
        if (!m_closingScan)
            continue;
        QMutexLocker lock(&c->mutex);
        if (!c->started) {
            c->abandoned = true;
            return false;
        }
    }
    return true;
}

bool MainWindow::waitForRecognitionIdle()
{
    for (int waited = 0;; waited += kRecognitionPollMs) {
        bool busy = true;
        if (!runOnGuiThread([this, &busy] { busy = isProcessing(); }))
            return false;
        if (!busy)
            return true;
        if (m_closingScan)
            return false;
        if (waited >= kMaxRecognitionWaitMs) {
            emit addTransferImageLog(QStringLiteral("等待识别处理结束超时，扫描已停止"));
            stopScan = true;
            return false;
        }
        QThread::msleep(kRecognitionPollMs);
    }
}

bool MainWindow::handOverSheet(const ScanBatch &batch, int receivedCount)
{
    const int pages = batch.pagesPerSheet;
    if (pages <= 0 || receivedCount < pages || (receivedCount - batch.skipPages) % pages != 0)
        return true;
    if (!waitForRecognitionIdle())
        return false;
    // The page rows arrive through queued signals sent before this call, so
    // they are in the list when it runs.
    int firstRow = -1;
    if (!runOnGuiThread([this, pages, &firstRow] {
            const int rows = tableWidgetImages->rowCount();
            firstRow = rows - pages;
            emit scanAndProcess(rows - pages, rows - 1, true);
        }))
        return false;
    if (stopScan || !batch.stopFeederOnFailure)
        return true;
    if (!waitForRecognitionIdle())
        return false;
    QString result;
    if (!runOnGuiThread([this, firstRow, &result] {
            const QTableWidgetItem *item =
                firstRow >= 0 ? tableWidgetImages->item(firstRow, kResultColumn) : nullptr;
            result = item ? item->text() : QString();
        }))
        return false;
    if (result != kDone) {
        emit addTransferImageLog(kStopping);
        stopScan = true;
    }
    return true;
}

void MainWindow::transferLoop()
{
    const ScanBatch batch = m_batch;
    setState(7);
    setScanButtonIdle(false);

    auto endTransfer = [this](TW_PENDINGXFERS &pending) {
        return call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending, true) == TWRC_SUCCESS;
    };
    // Discards what the source still holds; the source is back at enabled.
    auto abandonBatch = [this, &endTransfer](TW_PENDINGXFERS &pending) {
        if (call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending, true) != TWRC_SUCCESS) {
            endTransfer(pending);
            call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending, true);
        }
        pending.Count = 0;
    };

    TW_PENDINGXFERS pending = {};
    if (call(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending, true) != TWRC_SUCCESS) {
        traceFailure("DG_CONTROL / DAT_PENDINGXFERS / MSG_GET");
        abandonBatch(pending);
    }
    int unexpected = 0;
    int received = 0;
    while (pending.Count != 0) {
        if (m_closingScan) {
            abandonBatch(pending);
            break;
        }
        setState(7);
        // The layout the source announces is what the image is held to.
        readPageLayout();
        TW_HANDLE dib = nullptr;
        const TW_UINT16 rc = call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib, true);
        bool ended = true;
        const int number = imageNumber;
        const QString name = batch.prefix + pageNumberText(number, batch.numberLength) + QLatin1Char('.')
                             + batch.format;
        if (rc != TWRC_XFERDONE && dib) {
            // Not a page: whatever the source handed over goes back at once.
            dsmMemFree(dib);
            dib = nullptr;
        }
        if (rc == TWRC_FAILURE || rc == TWRC_CANCEL) {
            // The page did not arrive: the next sheet must not take its
            // number, so the batch ends here for a rescan from this page.
            emit addTransferImageLog(
                rc == TWRC_FAILURE
                    ? QStringLiteral("图像 %1 传输失败 (TWRC_FAILURE)，扫描已停止，请从这一页重新扫描").arg(name)
                    : QStringLiteral("图像 %1 的传输已取消，扫描已停止，请从这一页重新扫描").arg(name));
            stopScan = true;
            if (endTransfer(pending) && pending.Count != 0)
                abandonBatch(pending);
            pending.Count = 0;
            break;
        } else if (rc == TWRC_XFERDONE) {
            const QString path = scanFileName(batch.folder, batch.prefix, number, batch.numberLength, batch.format);
            int side = 1;
            pageSide(&side);
            const bool saved = saveTwainImage(&dib, path, side == 2 ? batch.rotateBottom : batch.rotateTop);
            if (dib)
                dsmMemFree(dib);
            setState(6);
            if (!saved) {
                // Pages behind this one must not take its number: the batch
                // ends here and the number stays for the rescan of this page.
                emit addTransferImageLog(
                    QStringLiteral("图像 %1 保存失败，扫描已停止，请从这一页重新扫描").arg(name));
                stopScan = true;
                if (endTransfer(pending) && pending.Count != 0)
                    abandonBatch(pending);
                pending.Count = 0;
                break;
            }
            ++imageNumber;
            emit getOneImageFromScanner(path, name);
            received = ++transferredImageCount;
            if (batch.scanType == 1)
                handOverSheet(batch, received);
            ended = endTransfer(pending);
        } else {
            // The count stays as it was and the source is asked again, but
            // not for ever.
            ended = false;
        }
        if (ended) {
            unexpected = 0;
        } else if (++unexpected >= kMaxUnexpectedAnswers) {
            emit addTransferImageLog(QStringLiteral("扫描仪多次返回异常结果（%1），扫描已停止").arg(rc));
            abandonBatch(pending);
            break;
        }
        if (stopScan && pending.Count != 0)
            stopFeeder();
    }
    setState(5);
    m_transferActive = false;
    emit customDataSourceSignal(MSG_CLOSEDSOK);
    setScanButtonIdle(true);
}

bool MainWindow::saveTwainImage(TW_HANDLE *dib, QString path, int rotation)
{
    if (!dib || !*dib)
        return false;
    const void *block = dsmMemLock(*dib);
    if (!block) {
        emit addTransferImageLog(QStringLiteral("无法读取扫描仪传来的图像：%1").arg(path));
        return false;
    }
    // The block's size when the manager can tell it; else only the header's
    // own arithmetic bounds the rows.
    std::size_t size = dsmMemSize(*dib);
    if (size == 0)
        size = DibView::UnknownSize;
    QString error;
    QImage image = dibBlockToImage(block, size, &error, pageLayout());
    dsmMemUnlock(*dib);
    if (image.isNull()) {
        emit addTransferImageLog(QStringLiteral("无法转换扫描仪传来的图像（%1）：%2").arg(error, path));
        return false;
    }
    rotatePageImage(image, rotation);
    if (!writePageFile(image, path, -1, false, false, &error)) {
        emit addTransferImageLog(QStringLiteral("图像文件写入失败（%1）：%2").arg(error, path));
        return false;
    }
    return true;
}
