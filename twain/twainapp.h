#pragma once
// The TWAIN application: the one process-wide binding to the data source
// manager, and TwainApp, which keeps the application's identity, the TWAIN
// state, the list of sources and the open source, and wraps every triplet
// the station sends. Progress and refusals go to the console trace (standard
// output, errors on standard error); nothing here shows a window.

#include "dsmlibrary.h"
#include "twain.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

// ---- the process-wide binding -------------------------------------------------

// Every triplet passes through here; the manager is bound on first use. Calls
// from several threads never overlap (a callback the source runs inside a
// call may call again on the same thread).
TW_UINT16 callDSMEntry(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dataGroup, TW_UINT16 dataArgType,
                       TW_UINT16 message, TW_MEMREF data);

// Binds the manager at fullPath, or, when empty, the one DsmLibrary::locate
// finds. True when bound now or before. The library is checked by
// verifyDSMSignature, by its full path, before it is loaded.
bool loadDSMLib(const QString &fullPath = QString());
// Frees the library and forgets the entry point and the manager's memory
// functions (which would point into the freed code).
void unloadDSMLib();
bool isDSMLibLoaded();
// Why the manager could not be bound the last time (not found, refused by
// the trust check with its reason, not loadable); empty once bound.
QString dsmLoadError();
// True when the library at that full path may be loaded; a refusal is
// written to standard error with its reason.
bool verifyDSMSignature(const QString &path);
// The check verifyDSMSignature runs; the station may put one that asks the
// operator. Null restores the default check.
void setDsmTrustCheck(DsmTrustCheck check);

// Takes the memory functions of a TW_ENTRYPOINT the manager filled (all four
// or none: false, and nothing changes, when one is missing).
bool useDSMEntryPoint(const TW_ENTRYPOINT &entry);
// The manager's memory functions once DAT_ENTRYPOINT filled them, else the
// process's own handle table.
TW_HANDLE dsmMemAllocate(TW_UINT32 size);
void dsmMemFree(TW_HANDLE handle);
TW_MEMREF dsmMemLock(TW_HANDLE handle);
void dsmMemUnlock(TW_HANDLE handle);
// Bytes of a block, so a native image can be checked against its block; 0
// when not known: a manager whose memory functions are in use but that does
// not export kDsmMemSizeSymbol cannot tell.
std::size_t dsmMemSize(TW_HANDLE handle);
// The bytes of a source's block that may be read: at most wanted, and never
// past the block when its size is known.
std::size_t readableBytes(TW_HANDLE handle, std::size_t wanted);
// The optional export of a manager: the size of one of its blocks, 0 for a
// handle it does not know.
constexpr const char *kDsmMemSizeSymbol = "DSM_MemSize";
extern "C" typedef TW_UINT32 (*DsmMemSizeProc)(TW_HANDLE handle);

// Set when the open source accepted the manager's callback; cleared when the
// source is closed, so a later source without callbacks gets its events the
// message way again.
extern bool gUseCallbacks;

// The console trace: progress to standard output, errors to standard error.
// A test may take the lines instead; null restores the console.
using TwainTraceSink = std::function<void(bool error, const char *text)>;
void setTwainTraceSink(TwainTraceSink sink);
void printLog(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// ---- FIX32 and the container readers --------------------------------------------

float FIX32ToFloat(const TW_FIX32 &fix32);
TW_FIX32 FloatToFIX32(float value);

// The readers never read past the container's block when the memory layer
// knows its size, and never believe more than kMaxContainerItems items nor a
// current index at or past NumItems, so every walk over a list ends.
constexpr TW_UINT32 kMaxContainerItems = 4096;

bool GetItem(const TW_CAPABILITY &cap, TW_UINT32 index, TW_UINT32 &value);
bool GetItemFix32(const TW_CAPABILITY &cap, TW_UINT32 index, TW_FIX32 &value);
bool GetCurrent(const TW_CAPABILITY &cap, TW_UINT32 &value);
bool GetCurrentFix32(const TW_CAPABILITY &cap, TW_FIX32 &value);
// The values of a TWON_RANGE from MinValue by StepSize up to MaxValue, as
// their 32-bit patterns. The walk always ends: a step of 0 gives MinValue
// only, no value passes the largest 32-bit one, and at most maxCount are
// given. False for any other container.
bool GetRangeValues(const TW_CAPABILITY &cap, std::vector<TW_UINT32> &values, std::size_t maxCount = kMaxContainerItems);
int getTWTypeSize(TW_UINT16 itemType);
// Writes text into a TW_STR32, cut to fit and zero-filled.
void copyStr32(TW_STR32 to, const char *text);
// The integer item types, TWTY_INT8 to TWTY_BOOL.
bool isIntegerType(TW_UINT16 type);
// True when an extended image info entry's items travel in a block of the
// source's (a handle, or more than the four bytes of Item), which the
// application frees.
bool itemsInHandle(const TW_INFO &info);
// The side a TWEI_CAMERA text names: 2 for "BOTTOM", 1 for any other text.
// False when the entry carries no text block. The text is read one byte at
// a time and no further than it takes to tell, so a text without a closing
// zero in a block of its own length is not read past; when the block's size
// is not known, "BOTTOM" at the end of what can be read counts as bottom.
bool cameraTextSide(const TW_INFO &info, int *side);

// ---- names for the console trace -----------------------------------------------

const char *CapabilityToString(TW_UINT16 cap);
const char *ConditionCodeToString(TW_UINT16 conditionCode);
const char *ExtImageInfoToString(TW_UINT16 infoId);
const char *CapabilityValueToString(TW_UINT16 cap, TW_UINT16 itemType, const void *value);
const char *ExtImageInfoValueToString(TW_UINT16 infoId, TW_UINT32 value);
// The value text of one item of extended image information; items held in
// a handle are read through dsmMemLock, never more than they declare.
QString ExtImageInfoItemToString(const TW_INFO &info);

// ---- the application ----------------------------------------------------------

class TwainApp
{
public:
    TwainApp();
    virtual ~TwainApp();
    TwainApp(const TwainApp &) = delete;
    TwainApp &operator=(const TwainApp &) = delete;

    virtual void fillIdentity(TW_IDENTITY &identity);
    virtual void loadDS(int sourceId);
    virtual void unloadDS();
    virtual bool enableDSModal(TW_HANDLE parentWindow, TW_BOOL showUI);
    virtual bool enableDS(TW_HANDLE parentWindow, TW_BOOL showUI);
    virtual bool enableDSUIOnly(TW_HANDLE parentWindow);
    virtual void disableDS();
    virtual void getExtImageInfo();

    void openDSM();
    void closeDSM();
    void getDataSources();
    pTW_IDENTITY getDefaultDataSource();
    pTW_IDENTITY selectDataSource(TW_UINT32 index);
    pTW_IDENTITY getDataSourceIdentity(int index);
    pTW_IDENTITY getAppIdentity();

    TW_UINT16 dsmCall(TW_UINT32 dataGroup, TW_UINT16 dataArgType, TW_UINT16 message, TW_MEMREF data);
    TW_UINT16 getCap(TW_CAPABILITY &cap, TW_UINT16 message = MSG_GET);
    TW_UINT16 setCapabilityOneValue(TW_UINT16 cap, TW_UINT32 value, TW_UINT16 itemType);
    TW_UINT16 setCapabilityOneValueFix32(TW_UINT16 cap, const TW_FIX32 &value);
    bool getImageInfo();
    TW_UINT16 stopPendingTransfers();
    TW_UINT16 printError(pTW_IDENTITY destination, const QString &text);

    // The callback loadDS registers with a source that takes one; the scan
    // form puts its own before it opens a source.
    TWAIN_CALLBACK m_callback = nullptr;

    // Moved by a scan thread while the GUI thread reads it for its controls.
    std::atomic<int> m_DSMState{1};
    TW_UINT16 m_lastDSMessage = 0xFFFF;
    TW_HANDLE m_parentWindow = nullptr;  // native window, an opaque value here
    TW_IDENTITY m_appIdentity = {};
    pTW_IDENTITY m_currentSource = nullptr;
    std::vector<TW_IDENTITY> m_sources;
    TW_IMAGEINFO m_imageInfo = {};
    TW_USERINTERFACE m_userInterface = {};
    QString m_extImageInfo;

private:
    bool enable(TW_HANDLE parentWindow, TW_BOOL showUI, TW_BOOL modalUI, TW_UINT16 message);
};
