#pragma once
// The processing program's TWAIN application: opens the data source manager
// through the process-wide binding (twainapp.h), lists and opens a source,
// negotiates the few capabilities a batch needs, enables and disables the
// source, shows its own settings dialog, tells the side of the page just
// transferred, stops the feeder, and hands the source's messages on. The
// window that owns it supplies the transfer, the image writer and the
// delivery of messages. No operation shows a window; diagnostics go to the
// debug output.

#include "twain.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <atomic>

class CTwain
{
public:
    CTwain();
    virtual ~CTwain();
    CTwain(const CTwain &) = delete;
    CTwain &operator=(const CTwain &) = delete;

    // ---- what the owner supplies ----
    // Starts the transfers of a batch; must return at once.
    virtual void startNativeTransfer() = 0;
    // Writes the DIB of a native transfer to path; false when nothing was written.
    virtual bool saveTwainImage(TW_HANDLE *dib, QString path, int rotation) = 0;
    // The owner's native event filter (its widget's override).
    virtual bool nativeEvent(const QByteArray &eventType, void *message, long *result) = 0;
    virtual void onCloseDSRequest();
    virtual void onCloseDSOK();
    // A message of the source (MSG_XFERREADY, MSG_CLOSEDSREQ, ...). May run on
    // the manager's own thread: the owner must only hand it on.
    virtual void sourceMessage(int msg) = 0;

    // ---- manager ----
    bool loadDSM();
    bool closeDSM();
    // Source Id -> "ProductName(Major.Minor)"; empty outside state 3.
    QMap<TW_UINT32, QString> getSources();
    bool selectSourceById(TW_UINT32 id);

    // ---- source ----
    bool openDS();
    bool closeDS();
    bool enableDS();
    // 0 on success, else the return code.
    TW_UINT16 disableDS();
    void showSourceUI(TW_HANDLE parent);
    bool stopFeeder();
    // True when the side could NOT be read; otherwise *side is 1 (front) or 2 (back).
    bool pageSide(int *side);
    // Asks the source for the layout of the page about to be transferred
    // (DAT_IMAGEINFO), so a native image can be held against it; null when
    // the source does not tell. Transfer thread only.
    const TW_IMAGEINFO *readPageLayout();
    const TW_IMAGEINFO *pageLayout() const { return m_pageLayoutKnown ? &m_pageLayout : nullptr; }

    // ---- capabilities ----
    bool setCapabilityBool(TW_UINT16 cap, bool value);
    // True when the call FAILED; otherwise *value is the low 16 bits of the one value.
    bool getCapabilityCurrent(TW_UINT16 cap, TW_UINT16 conType, TW_UINT16 *value);
    bool isFeederEnabled();
    bool isFeederLoaded();
    TW_UINT16 conditionCode();

    // ---- events the message way ----
    // Offers one event to the open source (null: just asks whether one waits,
    // the way sources without callbacks are served here). True when it was the
    // source's; its message then went to sourceMessage.
    bool processSourceEvent(void *nativeMessage = nullptr);
    // True while the open source takes the manager's callback.
    bool usesCallback() const { return m_usesCallback.load(); }
    // True from a shown settings dialog of the source until it is disabled.
    bool settingsDialogShown() const { return m_settingsShown.load(); }

    int state() const { return m_state.load(); }
    void setState(int state) { m_state.store(state); }
    TW_UINT16 lastReturnCode() const { return TW_UINT16(m_returnCode.load()); }

    // The layer a callback reaches (the one with an open source that took it).
    static CTwain *callbackTarget();

    TW_ENTRYPOINT entryPoint = {};
    DSMENTRYPROC dsmEntry = nullptr;
    TW_HANDLE parentWindow = nullptr;
    TW_IDENTITY appIdentity = {};
    TW_IDENTITY sourceIdentity = {};
    TW_USERINTERFACE userInterface = {};
    int callbackRefCon = 9999;
    TW_CALLBACK2 callback = {};
    // Written by the GUI thread and by the transfer loop, read by the loop.
    std::atomic<bool> stopScan{false};

protected:
    // One triplet; the return code is kept for lastReturnCode().
    TW_UINT16 call(TW_UINT32 dataGroup, TW_UINT16 dataArgType, TW_UINT16 message, TW_MEMREF data, bool toSource);
    // The return and condition codes of a failed call, to the debug output.
    void traceFailure(const char *what);

private:
    void fillAppIdentity();
    bool readCurrent(TW_UINT16 cap, TW_UINT16 conType, TW_UINT32 *item);

    std::atomic<int> m_state{1};
    std::atomic<unsigned> m_returnCode{TWRC_SUCCESS};
    std::atomic<bool> m_usesCallback{false};
    std::atomic<bool> m_settingsShown{false};
    TW_IMAGEINFO m_pageLayout = {};
    bool m_pageLayoutKnown = false;
};

// The callback registered with a TWAIN 2 source; runs on the manager's thread.
TW_UINT16 twainCallback(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                        TW_MEMREF data);
