#include "ctwain.h"

#include "twainapp.h"

#include <QtDebug>

#include <cstring>

namespace {

std::atomic<CTwain *> g_callbackTarget{nullptr};

} // namespace

TW_UINT16 twainCallback(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16 msg, TW_MEMREF)
{
    CTwain *twain = CTwain::callbackTarget();
    if (!twain || twain->state() < 4)
        return TWRC_FAILURE;
    twain->sourceMessage(msg);
    return TWRC_SUCCESS;
}

CTwain::CTwain()
{
    fillAppIdentity();
    callback.CallBackProc = reinterpret_cast<TW_MEMREF>(&twainCallback);
    callback.RefCon = TW_UINTPTR(callbackRefCon);
}

CTwain::~CTwain()
{
    CTwain *self = this;
    g_callbackTarget.compare_exchange_strong(self, nullptr);
}

CTwain *CTwain::callbackTarget()
{
    return g_callbackTarget.load();
}

void CTwain::fillAppIdentity()
{
    appIdentity = {};
    appIdentity.Version.MajorNum = 2;
    appIdentity.Version.MinorNum = 0;
    appIdentity.Version.Language = TWLG_CHINESE_SIMPLIFIED;
    appIdentity.Version.Country = TWCY_CHINA;
    copyStr32(appIdentity.Version.Info, "1.0.0");
    appIdentity.ProtocolMajor = 2;
    appIdentity.ProtocolMinor = 5;
    appIdentity.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2;
    copyStr32(appIdentity.Manufacturer, "Talvenir");
    copyStr32(appIdentity.ProductFamily, "Vostra");
    copyStr32(appIdentity.ProductName, "Ardentiq");
}

void CTwain::onCloseDSRequest()
{
    disableDS();
}

void CTwain::onCloseDSOK()
{
    disableDS();
}

TW_UINT16 CTwain::call(TW_UINT32 dataGroup, TW_UINT16 dataArgType, TW_UINT16 message, TW_MEMREF data, bool toSource)
{
    if (!dsmEntry) {
        m_returnCode = TWRC_FAILURE;
        return TWRC_FAILURE;
    }
    const TW_UINT16 rc = dsmEntry(&appIdentity, toSource ? &sourceIdentity : nullptr, dataGroup, dataArgType, message,
                                  data);
    m_returnCode = rc;
    return rc;
}

TW_UINT16 CTwain::conditionCode()
{
    TW_STATUS status = {};
    if (!dsmEntry)
        return TWCC_SUCCESS;
    const bool sourceOpen = state() >= 4;
    dsmEntry(&appIdentity, sourceOpen ? &sourceIdentity : nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    return status.ConditionCode;
}

void CTwain::traceFailure(const char *what)
{
    const TW_UINT16 rc = lastReturnCode();
    qDebug("%s failed: return code %u, condition code %u", what, unsigned(rc), unsigned(conditionCode()));
}

// ---- manager -----------------------------------------------------------------------------

bool CTwain::loadDSM()
{
    const int s = state();
    if (s > 3)
        return false;
    // Already open: opening again would be refused and leave the count wrong.
    if (s == 3)
        return true;
    // The binding checks the library by its full path before loading it.
    if (!loadDSMLib()) {
        qDebug("the data source manager could not be loaded");
        return false;
    }
    dsmEntry = &callDSMEntry;
    setState(2);
    if (call(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parentWindow, false) != TWRC_SUCCESS) {
        traceFailure("DG_CONTROL / DAT_PARENT / MSG_OPENDSM");
        return false;
    }
    setState(3);
    return true;
}

bool CTwain::closeDSM()
{
    const int s = state();
    if (s > 3)
        return false;
    if (s == 1)
        return true;
    if (s == 2) {
        // Loaded but never opened: nothing to close at the manager.
        dsmEntry = nullptr;
        setState(1);
        return true;
    }
    if (call(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parentWindow, false) != TWRC_SUCCESS) {
        traceFailure("DG_CONTROL / DAT_PARENT / MSG_CLOSEDSM");
        return false;
    }
    dsmEntry = nullptr;
    entryPoint = {};
    setState(1);
    return true;
}

QMap<TW_UINT32, QString> CTwain::getSources()
{
    QMap<TW_UINT32, QString> sources;
    if (state() != 3)
        return sources;
    sourceIdentity = {};
    if (call(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &sourceIdentity, false) != TWRC_SUCCESS)
        return sources;
    // A manager never lists more sources than this; the bound keeps a broken
    // one from holding the window.
    constexpr int kMaxSources = 1000;
    for (int i = 0; i < kMaxSources; ++i) {
        TW_STR32 name;
        std::memcpy(name, sourceIdentity.ProductName, sizeof name);
        name[sizeof name - 1] = '\0';
        sources.insert(sourceIdentity.Id, QStringLiteral("%1(%2.%3)")
                                              .arg(QString::fromLocal8Bit(name))
                                              .arg(sourceIdentity.ProtocolMajor)
                                              .arg(sourceIdentity.ProtocolMinor));
        if (call(DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &sourceIdentity, false) != TWRC_SUCCESS)
            break;
    }
    return sources;
}

bool CTwain::selectSourceById(TW_UINT32 id)
{
    if (state() < 3)
        return false;
    sourceIdentity = {};
    if (call(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &sourceIdentity, false) != TWRC_SUCCESS)
        return false;
    constexpr int kMaxSources = 1000;
    for (int i = 0; i < kMaxSources && sourceIdentity.Id != id; ++i)
        if (call(DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &sourceIdentity, false) != TWRC_SUCCESS)
            return false;
    return sourceIdentity.Id == id;
}

// ---- source -------------------------------------------------------------------------------

bool CTwain::openDS()
{
    if (state() != 3)
        return false;
    if (call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &sourceIdentity, false) != TWRC_SUCCESS) {
        traceFailure("DG_CONTROL / DAT_IDENTITY / MSG_OPENDS");
        return false;
    }
    setState(4);
    if (appIdentity.SupportedGroups & DF_DSM2) {
        TW_ENTRYPOINT entry = {};
        entry.Size = sizeof entry;
        if (call(DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entry, false) != TWRC_SUCCESS) {
            traceFailure("DG_CONTROL / DAT_ENTRYPOINT / MSG_GET");
            return false;
        }
        entryPoint = entry;
        // Containers and images then travel in the manager's own blocks.
        useDSMEntryPoint(entryPoint);
    }
    if ((appIdentity.SupportedGroups & DF_DSM2) && (sourceIdentity.SupportedGroups & DF_DS2)) {
        callback.CallBackProc = reinterpret_cast<TW_MEMREF>(&twainCallback);
        callback.RefCon = TW_UINTPTR(callbackRefCon);
        callback.Message = 0;
        // Messages may arrive as soon as the source has the callback.
        g_callbackTarget = this;
        if (call(DG_CONTROL, DAT_CALLBACK2, MSG_REGISTER_CALLBACK, &callback, true) == TWRC_SUCCESS) {
            m_usesCallback = true;
        } else {
            CTwain *self = this;
            g_callbackTarget.compare_exchange_strong(self, nullptr);
            traceFailure("DG_CONTROL / DAT_CALLBACK2 / MSG_REGISTER_CALLBACK");
        }
    }
    return true;
}

bool CTwain::closeDS()
{
    const int s = state();
    if (s <= 3)
        return true;
    if (s > 4)
        return false;  // still enabled: disable first
    if (call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &sourceIdentity, false) != TWRC_SUCCESS) {
        traceFailure("DG_CONTROL / DAT_IDENTITY / MSG_CLOSEDS");
        return false;
    }
    // The next source may take no callback: its events must come the message way.
    m_usesCallback = false;
    m_settingsShown = false;
    CTwain *self = this;
    g_callbackTarget.compare_exchange_strong(self, nullptr);
    setState(3);
    return true;
}

bool CTwain::enableDS()
{
    stopScan = false;
    if (state() != 4)
        return false;
    // A source without a feeder or without auto-scan is still enabled: the
    // results of these settings do not stop the sequence.
    setCapabilityBool(CAP_AUTOSCAN, true);
    if (isFeederEnabled())
        setCapabilityBool(CAP_AUTOFEED, true);
    setCapabilityBool(CAP_AUTOSCAN, true);
    setCapabilityBool(CAP_INDICATORS, false);

    TW_UINT16 value = 0;
    for (TW_UINT16 cap : {TW_UINT16(CAP_DUPLEXENABLED), TW_UINT16(CAP_FEEDERLOADED), TW_UINT16(CAP_PAPERDETECTABLE)})
        if (!getCapabilityCurrent(cap, TWON_ONEVALUE, &value))
            qDebug("capability 0x%04x: %u", unsigned(cap), unsigned(value));

    userInterface.ShowUI = TWAIN_FALSE;
    userInterface.ModalUI = TWAIN_FALSE;
    if (!getCapabilityCurrent(CAP_UICONTROLLABLE, TWON_ONEVALUE, &value) && value == TWAIN_FALSE) {
        // The source cannot scan without its own dialog.
        userInterface.ShowUI = TWAIN_TRUE;
        userInterface.ModalUI = TWAIN_TRUE;
    }
    userInterface.hParent = parentWindow;
    if (call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &userInterface, true) != TWRC_SUCCESS) {
        traceFailure("DG_CONTROL / DAT_USERINTERFACE / MSG_ENABLEDS");
        return false;
    }
    setState(5);
    stopScan = false;
    return true;
}

TW_UINT16 CTwain::disableDS()
{
    if (state() < 4)
        return TWRC_FAILURE;
    const TW_UINT16 rc = call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &userInterface, true);
    if (rc != TWRC_SUCCESS) {
        traceFailure("DG_CONTROL / DAT_USERINTERFACE / MSG_DISABLEDS");
        return rc;
    }
    setState(4);
    m_settingsShown = false;
    return 0;
}

void CTwain::showSourceUI(TW_HANDLE parent)
{
    if (state() < 4)
        return;
    userInterface.ShowUI = TWAIN_FALSE;
    userInterface.ModalUI = TWAIN_TRUE;
    userInterface.hParent = parent;
    if (call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, &userInterface, true) != TWRC_SUCCESS) {
        traceFailure("DG_CONTROL / DAT_USERINTERFACE / MSG_ENABLEDSUIONLY");
        return;
    }
    // Open and not scanning while the source's own dialog shows.
    setState(4);
    m_settingsShown = true;
}

bool CTwain::stopFeeder()
{
    TW_UINT32 autoScan = 0;
    if (!readCurrent(CAP_AUTOSCAN, TWON_ONEVALUE, &autoScan) || autoScan == 0)
        return false;
    TW_PENDINGXFERS pending = {};
    if (call(DG_CONTROL, DAT_PENDINGXFERS, MSG_STOPFEEDER, &pending, true) != TWRC_SUCCESS) {
        traceFailure("DG_CONTROL / DAT_PENDINGXFERS / MSG_STOPFEEDER");
        return false;
    }
    return true;
}

bool CTwain::pageSide(int *side)
{
    TW_EXTIMAGEINFO ext = {};
    ext.NumInfos = 1;
    ext.Info[0].InfoID = TWEI_CAMERA;
    ext.Info[0].ItemType = TWTY_STR255;
    ext.Info[0].NumItems = 1;
    ext.Info[0].ReturnCode = TWRC_SUCCESS;
    if (call(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, &ext, true) != TWRC_SUCCESS) {
        traceFailure("DG_IMAGE / DAT_EXTIMAGEINFO / MSG_GET");
        return true;
    }
    const TW_INFO &info = ext.Info[0];
    if (info.ReturnCode != TWRC_SUCCESS)
        return true;
    const bool inBlock = itemsInHandle(info);
    bool failed = false;
    if (info.InfoID == TWEI_PAGESIDE && !inBlock && isIntegerType(info.ItemType)) {
        TW_UINT16 value;
        std::memcpy(&value, &info.Item, sizeof value);
        if (value == TWCS_TOP)
            *side = 1;
        else if (value == TWCS_BOTTOM)
            *side = 2;
    } else if (inBlock) {
        // The camera text, read no further than it takes to tell.
        failed = !cameraTextSide(info, side);
    } else {
        failed = true;
    }
    if (inBlock && info.Item)
        dsmMemFree(reinterpret_cast<TW_HANDLE>(info.Item));
    return failed;
}

const TW_IMAGEINFO *CTwain::readPageLayout()
{
    m_pageLayout = {};
    m_pageLayoutKnown = call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &m_pageLayout, true) == TWRC_SUCCESS;
    return pageLayout();
}

// ---- capabilities ------------------------------------------------------------------------

bool CTwain::setCapabilityBool(TW_UINT16 cap, bool value)
{
    TW_CAPABILITY capability = {cap, TWON_ONEVALUE, dsmMemAllocate(sizeof(TW_ONEVALUE))};
    if (!capability.hContainer)
        return false;
    auto *one = static_cast<TW_ONEVALUE *>(dsmMemLock(capability.hContainer));
    if (!one) {
        dsmMemFree(capability.hContainer);
        return false;
    }
    one->ItemType = TWTY_BOOL;
    const TW_UINT32 item = value ? TWAIN_TRUE : TWAIN_FALSE;
    std::memcpy(&one->Item, &item, sizeof item);
    dsmMemUnlock(capability.hContainer);
    const TW_UINT16 rc = call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability, true);
    dsmMemFree(capability.hContainer);
    if (rc != TWRC_SUCCESS)
        qDebug("setting capability 0x%04x failed: return code %u, condition code %u", unsigned(cap), unsigned(rc),
               unsigned(conditionCode()));
    return rc == TWRC_SUCCESS;
}

// The one value of a capability; false when the call fails or the source
// answers with another container than a one-value of an integer type.
bool CTwain::readCurrent(TW_UINT16 cap, TW_UINT16 conType, TW_UINT32 *item)
{
    if (state() < 4)
        return false;
    TW_CAPABILITY capability = {cap, conType, nullptr};
    if (call(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &capability, true) != TWRC_SUCCESS)
        return false;
    const bool ok = GetCurrent(capability, *item);
    if (capability.hContainer)
        dsmMemFree(capability.hContainer);
    return ok;
}

bool CTwain::getCapabilityCurrent(TW_UINT16 cap, TW_UINT16 conType, TW_UINT16 *value)
{
    TW_UINT32 item = 0;
    if (!readCurrent(cap, conType, &item))
        return true;
    *value = TW_UINT16(item & 0xffff);
    return false;
}

bool CTwain::isFeederEnabled()
{
    TW_UINT32 item = 0;
    return readCurrent(CAP_FEEDERENABLED, TWON_ONEVALUE, &item) && item != 0;
}

bool CTwain::isFeederLoaded()
{
    TW_UINT32 item = 0;
    return readCurrent(CAP_FEEDERLOADED, TWON_ONEVALUE, &item) && item != 0;
}

// ---- events ------------------------------------------------------------------------------

bool CTwain::processSourceEvent(void *nativeMessage)
{
    if (state() < 4)
        return false;
    TW_EVENT event = {};
    event.pEvent = nativeMessage;
    if (call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event, true) != TWRC_DSEVENT)
        return false;
    switch (event.TWMessage) {
    case MSG_XFERREADY:
    case MSG_CLOSEDSREQ:
    case MSG_CLOSEDSOK:
    case MSG_DEVICEEVENT:
        sourceMessage(event.TWMessage);
        return true;
    default:
        return false;
    }
}
