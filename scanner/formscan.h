#pragma once
// The scan form: the left pane of the station. It lists the data sources,
// opens and closes one, shows what the open source offers, opens the
// source's own settings dialog, checks and starts a batch and receives the
// source's events. The page transfers run on the scan thread and live in
// formscantransfer.cpp.

#include "twainapp.h"

#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>


class QEventLoop;
class QThread;
class QTimer;
class DialogWait;
class MyTableWidget;
class ThreadScan;

namespace Ui
{
class FormScan;
}

class FormScan : public QWidget, public TwainApp
{
    Q_OBJECT

public:
    explicit FormScan(QWidget *parent = nullptr);
    ~FormScan() override;

    // The TWAIN callback the manager calls for a source that takes one.
    static TW_UINT16 dsmCallback(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dataGroup,
                                TW_UINT16 dataArgType, TW_UINT16 message, TW_MEMREF data);

    void fillIdentity(TW_IDENTITY &identity) override;

    void loadSettings();
    void saveSettings();
    void initCaps();
    void releaseCaps();
    void fillResolutionCombo();
    void fillPixelTypeCombo();
    void fillDuplexCombo();
    void logVendorCapability();
    // Asks the source to stop feeding (GUI thread; only from state 6 on).
    void sendStopFeeder();
    // The running number left-filled with "0" to length digits, never cut.
    static QString numberText(int number, int length);

    // True from "扫描" until the end of the batch (or until enabling failed).
    bool batchRunning() const;
    // Ends a running batch before the form goes: asks the feeder to stop and
    // waits for the scan thread. Called by the main window when it closes.
    void stopBatchAndWait();

    // The settings file; tests point it into a temporary folder.
    static QString settingsFilePath();
    static void setSettingsFilePathForTesting(const QString &path);

    Ui::FormScan *formUi() const { return ui; }

    QWidget *mainWindow = nullptr;

    // ---- transfers (scan thread) ----
public slots:
    void startScan();

public:
    void doNativeTransfer(QString savePath, QString namePrefix, QString imageFormat, int imageQuality,
                          int &startNumber, int numberLength, int rotateTop, int rotateBottom, bool isTiff,
                          bool tiffLzw);
    void doMemoryTransfer(QString savePath, QString namePrefix, QString imageFormat, int imageQuality,
                          int &startNumber, int numberLength, int rotateTop, int rotateBottom, bool isTiff,
                          bool tiffLzw);
    TW_UINT16 getPageSide(TW_UINT16 &side);
    bool saveDibToFile(TW_HANDLE dib, const QString &filePath, int rotateFlag, int imageQuality, int &startNumber,
                       bool isTiff, bool tiffLzw);
    void rotateImage(QImage &image, int rotateFlag);

private:
    // The rotation of the page just transferred, by the side it shows; none
    // when the source cannot tell the side.
    int pageRotation(int rotateTop, int rotateBottom);
    // Rotates and writes one page under the running number; on success hands
    // it to the GUI thread and advances the number. False when it could not
    // be written (the operator is told; the batch must stop).
    bool storePage(QImage &image, const QString &filePath, int rotateFlag, int imageQuality, int &startNumber,
                   bool isTiff, bool tiffLzw);
    void tellOperator(const QString &message);

public:
    // The settings of one batch, taken from the widgets by goScan.
    QString savePath;
    QString namePrefix;
    QString imageFormat;
    int imageQuality = 50;
    int startNumber = 1;
    int numberLength = 6;
    int rotateTop = 0;
    int rotateBottom = 0;
    bool isTiff = false;
    bool tiffLzw = false;
    // ---- end of transfers ----

public:
    bool isAvision = false;
    bool showStopScanButton = false;
    bool uploadSetting = false;

    QThread *scanThread = nullptr;
    ThreadScan *threadScan = nullptr;
    // Owned by the main window, which may free it before the form goes.
    QPointer<DialogWait> dialogWait;

    TW_CAPABILITY m_CAP_XFERCOUNT = {};
    TW_CAPABILITY m_ICAP_XFERMECH = {};
    TW_CAPABILITY m_ICAP_IMAGEFILEFORMAT = {};
    TW_CAPABILITY m_ICAP_COMPRESSION = {};
    TW_CAPABILITY m_ICAP_UNITS = {};
    TW_CAPABILITY m_ICAP_PIXELTYPE = {};
    TW_CAPABILITY m_ICAP_BITDEPTH = {};
    TW_CAPABILITY m_ICAP_XRESOLUTION = {};
    TW_CAPABILITY m_ICAP_YRESOLUTION = {};
    TW_CAPABILITY m_ICAP_FRAMES = {};
    TW_CAPABILITY m_CAP_AUTOSCAN = {};
    TW_CAPABILITY m_CAP_AUTOFEED = {};
    TW_CAPABILITY m_CAP_INDICATORS = {};
    TW_CAPABILITY m_ICAP_XRESOLUTIONs = {};
    TW_CAPABILITY m_ICAP_PIXELTYPEs = {};
    TW_CAPABILITY m_CAP_DUPLEX = {};
    TW_CAPABILITY m_CAP_DUPLEXENABLED = {};
    TW_CAPABILITY m_CAP_FEEDERLOADED = {};

signals:
    void customDataSourceSignal(int message);
    void xferData();
    void updateStartNumber(QString number);
    // A batch ended: the worker finished, or the source was disabled before
    // any page came.
    void batchEnded();

public slots:
    void addOneImage(QString filePath);
    void showMsg(QString message);
    void slotUpdateStartNumber(QString number);

private slots:
    void formatChange(const QString &format);
    void sliderChange(int value);
    void changeImageSavePath();
    void openImageSavePath();
    void btnLoadDS();
    void btnUnloadDS();
    void DSSetting();
    void goScan();
    void DataSourceSignal(int message);
    void slotDisableDS();
    void xferDataFinished();
    void pollSourceEvents();

protected:
    bool nativeEvent(const QByteArray &eventType, void *message, long *result) override;

private:
    TW_UINT16 readCap(TW_CAPABILITY &cap, TW_UINT16 capId);
    void setBoolCapAndLog(TW_CAPABILITY &cap, TW_UINT16 capId, const char *name, bool value);
    void setResolution(TW_UINT16 capId, float value);
    void updateControls();
    void endBatch();
    // Disables a source enabled for a batch whose transfer never started.
    void disableUntransferred();
    void warn(const QString &text);
    static QString disableFailedText();
    void startEventPump();
    void stopEventPump();

    Ui::FormScan *ui = nullptr;
    QTimer *eventPump = nullptr;
    QEventLoop *settingsLoop = nullptr;
    bool inSettingsLoop = false;
    bool batchActive = false;
    bool transferStarted = false;  // MSG_XFERREADY taken: the scan thread owns the source
};

// The form the static callback reaches.
extern FormScan *gFormScan;
