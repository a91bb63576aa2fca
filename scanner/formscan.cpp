#include "formscan.h"

#include "desktopopener.h"
#include "dialogfileexist.h"
#include "dialogwait.h"
#include "folderchooser.h"
#include "formimage.h"
#include "formstatusbar.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "mylabel.h"
#include "mytablewidget.h"
#include "pagefile.h"
#include "threadscan.h"
#include "ui_formscan.h"

#include <QDebug>
#include <QEventLoop>
#include <QFileInfo>
#include <QIntValidator>
#include <QThread>
#include <QTimer>

#include <cstring>

FormScan *gFormScan = nullptr;

namespace {

const QString kTitle = QStringLiteral("提示");
const QString kOk = QStringLiteral("确定");

// Sources without a callback leave their events to be fetched; this is how
// often the form asks while a source is enabled.
constexpr int kEventPollMs = 20;

bool isSourceEvent(TW_UINT16 message)
{
    return message == MSG_NULL || message == MSG_XFERREADY || message == MSG_CLOSEDSREQ || message == MSG_CLOSEDSOK;
}

} // namespace

FormScan::FormScan(QWidget *parent) : QWidget(parent), ui(new Ui::FormScan)
{
    ui->setupUi(this);
    mainWindow = parent;
    ui->horizontalSliderQuality->setRange(0, 100);
    ui->horizontalSliderQuality->setPageStep(5);

    connect(ui->comboBoxFormat, &QComboBox::currentTextChanged, this, &FormScan::formatChange);
    connect(ui->horizontalSliderQuality, &QSlider::valueChanged, this, &FormScan::sliderChange);
    connect(ui->toolButtonChangeImageSavePath, &QToolButton::clicked, this, &FormScan::changeImageSavePath);
    connect(ui->toolButtonOpenImageSaveFolder, &QToolButton::clicked, this, &FormScan::openImageSavePath);
    connect(ui->pushButtonShow, &QPushButton::clicked, this, [this] {
        ui->widget_2->hide();
        ui->widgetMain->show();
        ui->pushButtonHide->show();
    });
    connect(ui->pushButtonHide, &QPushButton::clicked, this, [this] {
        ui->pushButtonHide->hide();
        ui->widgetMain->hide();
        ui->widget_2->show();
    });
    connect(ui->pushButtonLoadDS, &QPushButton::clicked, this, &FormScan::btnLoadDS);
    connect(ui->pushButtonUnloadDS, &QPushButton::clicked, this, &FormScan::btnUnloadDS);
    connect(ui->pushButtonDSSetting, &QPushButton::clicked, this, &FormScan::DSSetting);
    connect(ui->pushButtonGoScan, &QPushButton::clicked, this, &FormScan::goScan);

    ui->lineEditStartNumber->setValidator(new QIntValidator(1, 999999, this));
    ui->lineEditStartNumber->setText(QStringLiteral("1"));

    loadSettings();
    ui->tableWidget->initTable(uploadSetting);

    gFormScan = this;
    m_parentWindow = mainWindow ? reinterpret_cast<TW_HANDLE>(mainWindow->winId()) : nullptr;
    m_callback = &FormScan::dsmCallback;
    fillIdentity(m_appIdentity);
    openDSM();

    ui->comboBoxDataSource->clear();
    for (const TW_IDENTITY &source : m_sources) {
        char name[sizeof source.ProductName + 1] = {};
        std::memcpy(name, source.ProductName, sizeof source.ProductName);
        ui->comboBoxDataSource->addItem(QStringLiteral("%1（%2.%3）")
                                            .arg(QString::fromUtf8(name))
                                            .arg(source.ProtocolMajor)
                                            .arg(source.ProtocolMinor),
                                        QVariant(uint(source.Id)));
    }
    if (ui->comboBoxDataSource->count() > 0) {
        int current = 0;
        if (m_DSMState >= 3) {
            if (pTW_IDENTITY def = getDefaultDataSource()) {
                const int found = ui->comboBoxDataSource->findData(QVariant(uint(def->Id)));
                if (found >= 0)
                    current = found;
            }
        }
        ui->comboBoxDataSource->setCurrentIndex(current);
    }

    // Queued even from the GUI thread: a source may call back inside one of
    // our own calls, and the event is then handled after that call returned.
    connect(this, &FormScan::customDataSourceSignal, this, &FormScan::DataSourceSignal, Qt::QueuedConnection);

    dialogWait = new DialogWait(mainWindow);
    dialogWait->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);

    scanThread = new QThread(this);
    threadScan = new ThreadScan();
    threadScan->formScan = this;
    threadScan->moveToThread(scanThread);
    connect(this, &FormScan::xferData, threadScan, &ThreadScan::xferData);
    connect(threadScan, &ThreadScan::finished, this, &FormScan::xferDataFinished);
    connect(this, &FormScan::updateStartNumber, this, &FormScan::slotUpdateStartNumber);
    connect(threadScan, &ThreadScan::signalDisableDS, this, &FormScan::slotDisableDS);

    eventPump = new QTimer(this);
    eventPump->setInterval(kEventPollMs);
    connect(eventPump, &QTimer::timeout, this, &FormScan::pollSourceEvents);

    ui->widgetDSLoaded->hide();
    updateControls();
    // Without a manager the device list stays empty; the operator is told
    // why once the window is up.
    if (m_DSMState < 3)
        tellOperator(QStringLiteral("无法打开扫描仪管理程序，没有可用的扫描设备：\n%1")
                         .arg(dsmLoadError().isEmpty() ? QStringLiteral("未知原因") : dsmLoadError()));
}

FormScan::~FormScan()
{
    stopBatchAndWait();
    eventPump->stop();
    if (settingsLoop)
        settingsLoop->quit();
    releaseCaps();
    closeDSM();
    if (gFormScan == this)
        gFormScan = nullptr;
    // The worker has no parent: it goes once its thread has ended.
    if (scanThread->isRunning()) {
        scanThread->quit();
        scanThread->wait();
    }
    delete threadScan;
    threadScan = nullptr;
    delete ui;
}

void FormScan::fillIdentity(TW_IDENTITY &identity)
{
    TwainApp::fillIdentity(identity);
    identity.Id = 0;
    identity.Version.MajorNum = 1;
    identity.Version.MinorNum = 0;
    identity.Version.Language = TWLG_CHINESE_SIMPLIFIED;
    identity.Version.Country = TWCY_CHINA;
    copyStr32(identity.Version.Info, "1.0");
    identity.ProtocolMajor = 2;
    identity.ProtocolMinor = 5;
    identity.SupportedGroups = DF_APP2 | DG_IMAGE | DG_CONTROL;
    copyStr32(identity.Manufacturer, "Talvenir");
    copyStr32(identity.ProductFamily, "Vostra");
    copyStr32(identity.ProductName, "Pellwyn");
}

QString FormScan::numberText(int number, int length)
{
    return pageNumberText(number, length);
}

bool FormScan::batchRunning() const
{
    return batchActive;
}

// ---- controls -----------------------------------------------------------------

void FormScan::updateControls()
{
    const bool sourceOpen = m_currentSource && m_DSMState >= 4;
    // A source left enabled (it refused to be disabled) can only be closed.
    const bool sourceReady = m_currentSource && m_DSMState == 4;
    const bool idle = !batchActive && !inSettingsLoop;
    ui->comboBoxDataSource->setEnabled(!sourceOpen && idle && m_DSMState >= 3);
    ui->pushButtonLoadDS->setEnabled(idle && ui->comboBoxDataSource->count() > 0 && m_DSMState >= 3
                                     && (!sourceOpen || sourceReady));
    ui->pushButtonUnloadDS->setEnabled(idle && sourceOpen);
    ui->pushButtonDSSetting->setEnabled(idle && sourceReady);
    ui->pushButtonGoScan->setEnabled(idle && sourceReady);
}

void FormScan::formatChange(const QString &format)
{
    ui->widgetQuality->setVisible(format == QLatin1String("jpg"));
    ui->widgetTIFFCompression->setVisible(format == QLatin1String("tiff"));
}

void FormScan::sliderChange(int value)
{
    ui->labelQuality->setText(QString::number(value));
}

void FormScan::changeImageSavePath()
{
    const QString chosen = chooseFolder(this, QStringLiteral("指定文件保存路径"), ui->lineEditImageSavePath->text());
    if (!chosen.isEmpty())
        ui->lineEditImageSavePath->setText(chosen);
}

void FormScan::openImageSavePath()
{
    DesktopOpener::openLocalPath(ui->lineEditImageSavePath->text());
}

void FormScan::addOneImage(QString filePath)
{
    ui->tableWidget->addRow(filePath);
    auto *window = qobject_cast<MainWindow *>(mainWindow);
    if (!window)
        return;
    if (window->formImage && window->formImage->label)
        window->formImage->label->loadImage(filePath);
    if (window->formStatusBar) {
        window->formStatusBar->setCount(ui->tableWidget->rowCount());
        window->formStatusBar->setFilePath(filePath);
    }
}

void FormScan::warn(const QString &text)
{
    MessageBox::withButtonTexts(this, QMessageBox::Warning, kTitle, text, {{QMessageBox::Ok, kOk}});
}

void FormScan::showMsg(QString message)
{
    warn(message);
}

void FormScan::slotUpdateStartNumber(QString number)
{
    ui->lineEditStartNumber->setText(number);
}

// ---- the source ---------------------------------------------------------------

TW_UINT16 FormScan::readCap(TW_CAPABILITY &cap, TW_UINT16 capId)
{
    cap.Cap = capId;
    return getCap(cap, MSG_GET);
}

void FormScan::initCaps()
{
    if (m_DSMState < 3) {
        printLog("The DSM needs to be opened first.\n");
        return;
    }
    if (m_DSMState < 4) {
        printLog("A Data Source needs to be opened first.\n");
        return;
    }
    readCap(m_CAP_XFERCOUNT, CAP_XFERCOUNT);
    readCap(m_ICAP_PIXELTYPE, ICAP_PIXELTYPE);
    readCap(m_ICAP_XFERMECH, ICAP_XFERMECH);
    readCap(m_ICAP_IMAGEFILEFORMAT, ICAP_IMAGEFILEFORMAT);
    readCap(m_ICAP_COMPRESSION, ICAP_COMPRESSION);
    readCap(m_ICAP_UNITS, ICAP_UNITS);
    readCap(m_ICAP_BITDEPTH, ICAP_BITDEPTH);
    readCap(m_ICAP_XRESOLUTION, ICAP_XRESOLUTION);
    readCap(m_ICAP_YRESOLUTION, ICAP_YRESOLUTION);
    readCap(m_ICAP_FRAMES, ICAP_FRAMES);
    readCap(m_CAP_AUTOSCAN, CAP_AUTOSCAN);
    readCap(m_CAP_AUTOFEED, CAP_AUTOFEED);
    readCap(m_CAP_INDICATORS, CAP_INDICATORS);
    readCap(m_ICAP_XRESOLUTIONs, ICAP_XRESOLUTION);
    readCap(m_ICAP_PIXELTYPEs, ICAP_PIXELTYPE);
    readCap(m_CAP_DUPLEX, CAP_DUPLEX);
    readCap(m_CAP_DUPLEXENABLED, CAP_DUPLEXENABLED);
    m_CAP_FEEDERLOADED.Cap = CAP_FEEDERLOADED;
}

void FormScan::releaseCaps()
{
    TW_CAPABILITY *caps[] = {&m_CAP_XFERCOUNT,      &m_ICAP_XFERMECH,  &m_ICAP_IMAGEFILEFORMAT, &m_ICAP_COMPRESSION,
                             &m_ICAP_UNITS,         &m_ICAP_PIXELTYPE, &m_ICAP_BITDEPTH,        &m_ICAP_XRESOLUTION,
                             &m_ICAP_YRESOLUTION,   &m_ICAP_FRAMES,    &m_CAP_AUTOSCAN,         &m_CAP_AUTOFEED,
                             &m_CAP_INDICATORS,     &m_ICAP_XRESOLUTIONs, &m_ICAP_PIXELTYPEs,   &m_CAP_DUPLEX,
                             &m_CAP_DUPLEXENABLED,  &m_CAP_FEEDERLOADED};
    for (TW_CAPABILITY *cap : caps) {
        if (cap->hContainer)
            dsmMemFree(cap->hContainer);
        cap->hContainer = nullptr;
        cap->ConType = TWON_DONTCARE16;
    }
}

void FormScan::fillResolutionCombo()
{
    QComboBox *combo = ui->comboBoxResolution;
    combo->clear();
    const TW_CAPABILITY &list = m_ICAP_XRESOLUTIONs;
    if (list.hContainer && list.ConType == TWON_RANGE) {
        static const TW_UINT32 kOffered[] = {100, 150, 200, 300, 400, 600};
        std::vector<TW_UINT32> values;
        GetRangeValues(list, values);
        for (TW_UINT32 value : values)
            for (TW_UINT32 offered : kOffered)
                if (value == offered)
                    combo->addItem(QString::number(value));
    } else if (list.hContainer && list.ConType == TWON_ENUMERATION) {
        for (TW_UINT32 i = 0; i < kMaxContainerItems; ++i) {
            TW_FIX32 dpi = {};
            if (!GetItemFix32(list, i, dpi)) {
                // Past the last item as well as a damaged one.
                TW_UINT32 plain = 0;
                if (GetItem(list, i, plain) || i == 0 || !GetItemFix32(list, i - 1, dpi))
                    qDebug() << "GetItem(&m_ICAP_XRESOLUTIONs, i, oneDpi) failed";
                break;
            }
            combo->addItem(QString::number(FIX32ToFloat(dpi), 'g', 6));
        }
    }
    TW_FIX32 current = {};
    if (GetCurrentFix32(m_ICAP_XRESOLUTION, current)) {
        const QString text = QString::number(FIX32ToFloat(current), 'g', 6);
        if (combo->findText(text) < 0)
            combo->addItem(text);
        combo->setCurrentText(text);
    }
}

void FormScan::fillPixelTypeCombo()
{
    QComboBox *combo = ui->comboBoxPixelType;
    combo->clear();
    const TW_CAPABILITY &list = m_ICAP_PIXELTYPEs;
    if (list.hContainer && list.ConType != TWON_ONEVALUE) {
        // GetItem refuses the index past the last item.
        for (TW_UINT32 i = 0; i < kMaxContainerItems; ++i) {
            TW_UINT32 type = 0;
            if (!GetItem(list, i, type))
                break;
            if (type == TWPT_BW)
                combo->addItem(QStringLiteral("黑白"));
            else if (type == TWPT_GRAY)
                combo->addItem(QStringLiteral("灰度"));
            else if (type == TWPT_RGB)
                combo->addItem(QStringLiteral("彩色"));
        }
    }
    TW_UINT32 current = 0;
    if (GetCurrent(m_ICAP_PIXELTYPE, current)) {
        const QString text = current == TWPT_BW    ? QStringLiteral("黑白")
                             : current == TWPT_RGB ? QStringLiteral("彩色")
                                                   : QStringLiteral("灰度");
        const int index = combo->findText(text);
        combo->setCurrentIndex(index >= 0 ? index : 0);
    }
}

void FormScan::fillDuplexCombo()
{
    QComboBox *combo = ui->comboBoxDuplex;
    combo->clear();
    TW_UINT32 duplex = 0;
    if (GetCurrent(m_CAP_DUPLEX, duplex) && duplex == TWDX_1PASSDUPLEX) {
        combo->addItem(QStringLiteral("单面"));
        combo->addItem(QStringLiteral("双面"));
        TW_UINT32 enabled = 0;
        combo->setCurrentIndex(GetCurrent(m_CAP_DUPLEXENABLED, enabled) && enabled == 1 ? 1 : 0);
    } else {
        combo->addItem(QStringLiteral("单面"));
    }
}

void FormScan::btnLoadDS()
{
    if (batchActive || inSettingsLoop)
        return;
    const int index = ui->comboBoxDataSource->currentIndex();
    if (index < 0)
        return;
    // A second press with the source open only reads its capabilities again.
    if (m_DSMState < 4) {
        selectDataSource(TW_UINT32(index));
        loadDS(int(ui->comboBoxDataSource->itemData(index).toUInt()));
    }
    if (m_currentSource && m_DSMState == 4) {
        if (!gUseCallbacks)
            winId();
        releaseCaps();
        initCaps();
        fillResolutionCombo();
        fillPixelTypeCombo();
        fillDuplexCombo();
        ui->widgetDSLoaded->show();
        updateControls();
        return;
    }
    ui->widgetDSLoaded->hide();
    updateControls();
    if (m_DSMState < 4)
        warn(QStringLiteral("打开设备失败"));
}

void FormScan::btnUnloadDS()
{
    if (batchActive || inSettingsLoop)
        return;
    // A source still enabled is disabled first; it cannot be closed so.
    if (m_DSMState >= 5)
        disableUntransferred();
    unloadDS();
    if (!m_currentSource && m_DSMState == 3) {
        releaseCaps();
        ui->widgetDSLoaded->hide();
    } else {
        warn(QStringLiteral("无法断开扫描设备，请重新启动扫描仪和本程序。"));
    }
    updateControls();
}

void FormScan::DSSetting()
{
    if (batchActive || inSettingsLoop)
        return;
    if (!enableDSUIOnly(m_parentWindow)) {
        MessageBox::warning(this, kTitle, QStringLiteral("操作失败"), QMessageBox::Ok);
        return;
    }
    m_lastDSMessage = 0xFFFF;
    inSettingsLoop = true;
    updateControls();
    startEventPump();
    QEventLoop loop;
    settingsLoop = &loop;
    if (m_lastDSMessage == 0xFFFF)
        loop.exec();
    settingsLoop = nullptr;
    inSettingsLoop = false;
    if (m_lastDSMessage == MSG_CLOSEDSOK) {
        releaseCaps();
        initCaps();
        fillResolutionCombo();
        fillPixelTypeCombo();
        fillDuplexCombo();
    }
    disableDS();
    if (m_DSMState != 4)
        warn(disableFailedText());
    stopEventPump();
    updateControls();
}

// ---- a batch ------------------------------------------------------------------

void FormScan::setBoolCapAndLog(TW_CAPABILITY &cap, TW_UINT16 capId, const char *name, bool value)
{
    setCapabilityOneValue(capId, value ? TWAIN_TRUE : TWAIN_FALSE, TWTY_BOOL);
    const QString label = QString::fromLatin1(name);
    if (readCap(cap, capId) != TWCC_SUCCESS) {
        qDebug().noquote() << label + QStringLiteral(" 设置失败 ");
        return;
    }
    TW_UINT32 current = 0;
    const bool read = GetCurrent(cap, current);
    if (read && (current != 0) == value)
        qDebug().noquote() << label + QStringLiteral(" successfully set! ") << value;
    else
        qDebug().noquote() << label + QStringLiteral(" 设置失败 aaa") << current;
}

void FormScan::setResolution(TW_UINT16 capId, float value)
{
    if (capId != ICAP_XRESOLUTION && capId != ICAP_YRESOLUTION) {
        printError(m_currentSource, QStringLiteral("Invalid resolution passed in! Resolution set failed."));
        return;
    }
    setCapabilityOneValueFix32(capId, FloatToFIX32(value));
    readCap(m_ICAP_XRESOLUTION, ICAP_XRESOLUTION);
    readCap(m_ICAP_YRESOLUTION, ICAP_YRESOLUTION);
    TW_FIX32 current = {};
    const TW_CAPABILITY &cap = capId == ICAP_XRESOLUTION ? m_ICAP_XRESOLUTION : m_ICAP_YRESOLUTION;
    if (GetCurrentFix32(cap, current) && FIX32ToFloat(current) == FIX32ToFloat(FloatToFIX32(value)))
        printLog("Resolution successfully set!\n");
}

void FormScan::logVendorCapability()
{
    TW_CAPABILITY cap = {};
    cap.Cap = 0x9292;
    if (getCap(cap, MSG_GETCURRENT) == TWCC_SUCCESS && cap.hContainer) {
        TW_UINT32 value = 0;
        const bool read = GetCurrent(cap, value);
        const auto *one = static_cast<const TW_ONEVALUE *>(dsmMemLock(cap.hContainer));
        const int itemType = one && cap.ConType == TWON_ONEVALUE ? one->ItemType : -1;
        dsmMemUnlock(cap.hContainer);
        qDebug() << "0x9292 get 成功" << itemType << (read ? qint64(value) : -1);
    } else {
        qDebug() << "0x9292 get 失败";
    }
    if (cap.hContainer)
        dsmMemFree(cap.hContainer);
}

void FormScan::goScan()
{
    if (batchActive || inSettingsLoop || !m_currentSource || m_DSMState != 4)
        return;
    savePath = ui->lineEditImageSavePath->text();
    if (savePath.isEmpty() || !QFileInfo(savePath).isDir()) {
        warn(QStringLiteral("保存路径不合法"));
        return;
    }
    namePrefix = ui->lineEditNamePrefix->text();
    imageFormat = ui->comboBoxFormat->currentText();
    imageQuality = ui->labelQuality->text().toInt();
    numberLength = ui->comboBoxLength->currentText().toInt();
    startNumber = ui->lineEditStartNumber->text().toInt();
    if (startNumber < 1 || startNumber > 999999) {
        warn(QStringLiteral("起始编号范围为1-999999"));
        return;
    }
    const QString first = scanFileName(savePath, namePrefix, startNumber, numberLength, imageFormat);
    if (QFileInfo::exists(first)) {
        DialogFileExist dialog(this, QStringLiteral("文件【%1】 已经存在,无法覆盖保存。").arg(first), savePath);
        if (dialog.exec() == QDialog::Accepted)
            ui->lineEditImageSavePath->setText(dialog.savePath);
        return;
    }
    rotateTop = ui->comboBoxRotateFlagTop->currentIndex();
    rotateBottom = ui->comboBoxRotateFlagBottom->currentIndex();
    isTiff = imageFormat == QLatin1String("tiff");
    tiffLzw = ui->checkBoxTIFFLZW->isChecked();
    saveSettings();

    setBoolCapAndLog(m_CAP_INDICATORS, CAP_INDICATORS, "CAP_INDICATORS", false);
    setBoolCapAndLog(m_CAP_AUTOSCAN, CAP_AUTOSCAN, "CAP_AUTOSCAN", true);

    const QString pixelText = ui->comboBoxPixelType->currentText();
    int pixelType = -1;
    if (pixelText == QStringLiteral("黑白"))
        pixelType = TWPT_BW;
    else if (pixelText == QStringLiteral("灰度"))
        pixelType = TWPT_GRAY;
    else if (pixelText == QStringLiteral("彩色"))
        pixelType = TWPT_RGB;
    if (pixelType >= 0) {
        setCapabilityOneValue(ICAP_PIXELTYPE, TW_UINT32(pixelType), TWTY_UINT16);
        readCap(m_ICAP_PIXELTYPE, ICAP_PIXELTYPE);
        TW_UINT32 current = 0;
        if (m_ICAP_PIXELTYPE.ConType == TWON_ENUMERATION && GetCurrent(m_ICAP_PIXELTYPE, current)
            && current == TW_UINT32(pixelType))
            printLog("Capability successfully set!\n");
        readCap(m_ICAP_BITDEPTH, ICAP_BITDEPTH);
    }

    const float dpi = ui->comboBoxResolution->currentText().toFloat();
    setResolution(ICAP_XRESOLUTION, dpi);
    setResolution(ICAP_YRESOLUTION, dpi);

    setBoolCapAndLog(m_CAP_DUPLEXENABLED, CAP_DUPLEXENABLED, "CAP_DUPLEXENABLED",
                     ui->comboBoxDuplex->currentText() == QStringLiteral("双面"));

    if (isAvision) {
        logVendorCapability();
        TW_CAPABILITY cap = {0x9292, TWON_ONEVALUE, dsmMemAllocate(6)};
        if (cap.hContainer) {
            if (auto *bytes = static_cast<unsigned char *>(dsmMemLock(cap.hContainer))) {
                const TW_UINT16 type = TWTY_BOOL;
                const TW_UINT32 value = TWAIN_TRUE;
                std::memcpy(bytes, &type, 2);
                std::memcpy(bytes + 2, &value, 4);
                dsmMemUnlock(cap.hContainer);
            }
            const TW_UINT16 rc = dsmCall(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap);
            if (rc == TWRC_SUCCESS)
                qDebug() << "setAvisionSAVEALLCAPS ok";
            else if (rc == TWRC_FAILURE || rc == TWRC_CHECKSTATUS)
                qDebug() << "setAvisionSAVEALLCAPS failed";
            dsmMemFree(cap.hContainer);
        }
        logVendorCapability();
    }

    if (!enableDS(m_parentWindow, TWAIN_FALSE)) {
        warn(QStringLiteral("Enable Data Source Failed!"));
        return;
    }
    // The last batch's thread was asked to end; it is not started while it
    // still runs.
    if (scanThread->isRunning())
        scanThread->wait();
    batchActive = true;
    transferStarted = false;
    updateControls();
    scanThread->start();
    startEventPump();
    // Armed, no page yet: the wait box's stop is the way out of a source
    // that never reports a page.
    if (dialogWait) {
        dialogWait->setStopButtonVisible(true);
        dialogWait->show();
    }
}

void FormScan::DataSourceSignal(int message)
{
    m_lastDSMessage = TW_UINT16(message);
    if (inSettingsLoop) {
        if (message == MSG_XFERREADY)
            qDebug() << "Error - MSG_XFERREADY in MSG_PROCESSEVENT loop for Show UI Only";
        else if (settingsLoop)
            settingsLoop->quit();
        return;
    }
    if (message == MSG_CLOSEDSREQ) {
        // The source wants to be closed. A transfer running ends by itself
        // and disables it; otherwise nothing else will.
        if (batchActive && !transferStarted) {
            disableUntransferred();
            endBatch();
        } else if (!batchActive && m_DSMState >= 5) {
            disableDS();
            updateControls();
        }
        return;
    }
    if (message != MSG_XFERREADY)
        return;
    // An event left over from a batch that has ended is not a new batch.
    if (!batchActive || transferStarted || m_DSMState != 5)
        return;
    transferStarted = true;
    m_DSMState = 6;
    emit xferData();
    TW_UINT32 autoScan = 0, autoFeed = 0;
    const bool stopButton = GetCurrent(m_CAP_AUTOSCAN, autoScan) && autoScan != 0
                            && GetCurrent(m_CAP_AUTOFEED, autoFeed) && autoFeed != 0 && showStopScanButton;
    if (dialogWait) {
        dialogWait->setStopButtonVisible(stopButton);
        dialogWait->show();
    }
}

void FormScan::disableUntransferred()
{
    disableDS();
    if (m_DSMState < 5)
        return;
    // The source may already hold a transfer ready that the form has not
    // taken yet; it must be dropped before the source can be disabled.
    TW_PENDINGXFERS pending = {};
    dsmCall(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
    m_DSMState = 5;
    disableDS();
}

QString FormScan::disableFailedText()
{
    return QStringLiteral("扫描仪未能停用，无法开始新的扫描。请点击“断开”后重新连接。");
}

void FormScan::slotDisableDS()
{
    disableDS();
    if (m_DSMState > 4) {
        // It may still hold pages it never offered: drop them and try again.
        disableUntransferred();
    }
    if (m_DSMState > 4)
        tellOperator(disableFailedText());
    updateControls();
}

void FormScan::xferDataFinished()
{
    endBatch();
}

void FormScan::endBatch()
{
    scanThread->quit();
    if (dialogWait)
        dialogWait->hide();
    batchActive = false;
    transferStarted = false;
    stopEventPump();
    updateControls();
    emit batchEnded();
}

void FormScan::sendStopFeeder()
{
    if (batchActive && !transferStarted) {
        // Armed, no page yet: the batch ends here and the source is disabled.
        disableUntransferred();
        if (m_DSMState > 4)
            tellOperator(disableFailedText());
        endBatch();
        return;
    }
    TW_UINT32 autoScan = 0;
    if (!GetCurrent(m_CAP_AUTOSCAN, autoScan)) {
        qDebug() << "get  auto scan failed ";
        return;
    }
    qDebug() << "valAutoScan is " << autoScan;
    qDebug() << "stop feeder 111 m_DSMState is" << m_DSMState.load();
    if (m_DSMState < 6)
        return;
    TW_PENDINGXFERS pending = {};
    const TW_UINT16 rc = dsmCall(DG_CONTROL, DAT_PENDINGXFERS, MSG_STOPFEEDER, &pending);
    if (rc == TWRC_SUCCESS)
        qDebug() << "stop feeder OK";
    else
        qDebug() << "yes stop feeder Failed" << rc;
}

void FormScan::stopBatchAndWait()
{
    if (settingsLoop)
        settingsLoop->quit();
    if (!batchActive)
        return;
    if (!transferStarted) {
        // Enabled, no page yet: nothing on the scan thread to wait for.
        disableUntransferred();
        endBatch();
    } else {
        sendStopFeeder();
        // The worker ends the batch through queued calls to this thread.
        QEventLoop loop;
        connect(this, &FormScan::batchEnded, &loop, &QEventLoop::quit);
        if (batchActive)
            loop.exec();
    }
    scanThread->wait();
}

// ---- source events --------------------------------------------------------------

TW_UINT16 FormScan::dsmCallback(pTW_IDENTITY origin, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16 message,
                                TW_MEMREF)
{
    FormScan *form = gFormScan;
    if (!origin || !form || !form->m_currentSource || origin->Id != form->m_currentSource->Id)
        return TWRC_FAILURE;
    if (!isSourceEvent(message))
        return TWRC_FAILURE;
    emit form->customDataSourceSignal(message);
    return TWRC_SUCCESS;
}

bool FormScan::nativeEvent(const QByteArray &eventType, void *message, long *result)
{
    Q_UNUSED(eventType)
    Q_UNUSED(result)
    // While pages are transferred the scan thread owns the source; waiting
    // here for its calls would only stall the window.
    if (gUseCallbacks || m_DSMState < 4 || !m_currentSource || transferStarted)
        return false;
    TW_EVENT event = {};
    event.pEvent = message;
    event.TWMessage = MSG_NULL;
    if (dsmCall(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) != TWRC_DSEVENT)
        return false;
    if (isSourceEvent(event.TWMessage)) {
        m_lastDSMessage = event.TWMessage;
        emit customDataSourceSignal(event.TWMessage);
    }
    return true;
}

void FormScan::startEventPump()
{
    if (!gUseCallbacks)
        eventPump->start();
}

void FormScan::stopEventPump()
{
    eventPump->stop();
}

void FormScan::pollSourceEvents()
{
    if (gUseCallbacks || m_DSMState < 5 || !m_currentSource) {
        eventPump->stop();
        return;
    }
    // Window messages do not exist here: ask the source for what it queued.
    nativeEvent(QByteArray(), nullptr, nullptr);
}
