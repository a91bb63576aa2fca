// DSM_Entry of the simulated manager and the hooks that tests use.

#include "simmanager.h"
#include "simtrace.h"
#include "twainmemory.h"
#include "twainsim.h"

#include <QStringList>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <thread>

#define TWAINSIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex traceMutex;
TwainSimTraceSink traceSink = nullptr;
void *traceContext = nullptr;
std::atomic<TwainSimCallHook> callHook{nullptr};
std::atomic<void *> callHookContext{nullptr};

// Only one call may be inside the manager at a time; a second one, from any
// thread, is refused instead of waiting, because an application that lets
// two threads talk to TWAIN at once has a fault that must show.
std::atomic<bool> inside{false};
std::atomic<bool> sizeUntold{false};

SimManager &manager()
{
    static SimManager instance;
    return instance;
}

struct Name
{
    unsigned value;
    const char *name;
};

const Name kDats[] = {
    {DAT_NULL, "DAT_NULL"},
    {DAT_CAPABILITY, "DAT_CAPABILITY"},
    {DAT_EVENT, "DAT_EVENT"},
    {DAT_IDENTITY, "DAT_IDENTITY"},
    {DAT_PARENT, "DAT_PARENT"},
    {DAT_PENDINGXFERS, "DAT_PENDINGXFERS"},
    {DAT_SETUPMEMXFER, "DAT_SETUPMEMXFER"},
    {DAT_STATUS, "DAT_STATUS"},
    {DAT_USERINTERFACE, "DAT_USERINTERFACE"},
    {DAT_XFERGROUP, "DAT_XFERGROUP"},
    {DAT_DEVICEEVENT, "DAT_DEVICEEVENT"},
    {DAT_CALLBACK, "DAT_CALLBACK"},
    {DAT_CALLBACK2, "DAT_CALLBACK2"},
    {DAT_IMAGEINFO, "DAT_IMAGEINFO"},
    {DAT_IMAGEMEMXFER, "DAT_IMAGEMEMXFER"},
    {DAT_IMAGENATIVEXFER, "DAT_IMAGENATIVEXFER"},
    {DAT_EXTIMAGEINFO, "DAT_EXTIMAGEINFO"},
    {DAT_ENTRYPOINT, "DAT_ENTRYPOINT"},
};

const Name kMessages[] = {
    {MSG_NULL, "MSG_NULL"},
    {MSG_GET, "MSG_GET"},
    {MSG_GETCURRENT, "MSG_GETCURRENT"},
    {MSG_GETDEFAULT, "MSG_GETDEFAULT"},
    {MSG_GETFIRST, "MSG_GETFIRST"},
    {MSG_GETNEXT, "MSG_GETNEXT"},
    {MSG_SET, "MSG_SET"},
    {MSG_RESET, "MSG_RESET"},
    {MSG_QUERYSUPPORT, "MSG_QUERYSUPPORT"},
    {MSG_XFERREADY, "MSG_XFERREADY"},
    {MSG_CLOSEDSREQ, "MSG_CLOSEDSREQ"},
    {MSG_CLOSEDSOK, "MSG_CLOSEDSOK"},
    {MSG_OPENDSM, "MSG_OPENDSM"},
    {MSG_CLOSEDSM, "MSG_CLOSEDSM"},
    {MSG_OPENDS, "MSG_OPENDS"},
    {MSG_CLOSEDS, "MSG_CLOSEDS"},
    {MSG_USERSELECT, "MSG_USERSELECT"},
    {MSG_DISABLEDS, "MSG_DISABLEDS"},
    {MSG_ENABLEDS, "MSG_ENABLEDS"},
    {MSG_ENABLEDSUIONLY, "MSG_ENABLEDSUIONLY"},
    {MSG_PROCESSEVENT, "MSG_PROCESSEVENT"},
    {MSG_ENDXFER, "MSG_ENDXFER"},
    {MSG_STOPFEEDER, "MSG_STOPFEEDER"},
    {MSG_REGISTER_CALLBACK, "MSG_REGISTER_CALLBACK"},
    {MSG_RESETALL, "MSG_RESETALL"},
};

template <std::size_t N>
QString nameOf(const Name (&names)[N], unsigned value)
{
    for (const Name &n : names)
        if (n.value == value)
            return QLatin1String(n.name);
    return QStringLiteral("0x%1").arg(value, 4, 16, QLatin1Char('0'));
}

} // namespace

void simTrace(const QString &line)
{
    const QByteArray text = QStringLiteral("twain-sim: %1").arg(line).toUtf8();
    std::lock_guard<std::mutex> lock(traceMutex);
    std::fprintf(stderr, "%s\n", text.constData());
    if (traceSink)
        traceSink(text.constData(), traceContext);
}

QString simTripletName(TW_UINT32 dataGroup, TW_UINT16 dataArgType, TW_UINT16 message)
{
    const QString group = dataGroup == DG_CONTROL ? QStringLiteral("DG_CONTROL")
                          : dataGroup == DG_IMAGE ? QStringLiteral("DG_IMAGE")
                                                  : QStringLiteral("DG 0x%1").arg(dataGroup, 0, 16);
    return QStringLiteral("%1 / %2 / %3").arg(group, nameOf(kDats, dataArgType), nameOf(kMessages, message));
}

QString simConditionName(TW_UINT16 condition)
{
    static const char *const names[] = {
        "TWCC_SUCCESS",        "TWCC_BUMMER",         "TWCC_LOWMEMORY",     "TWCC_NODS",          "TWCC_MAXCONNECTIONS",
        "TWCC_OPERATIONERROR", "TWCC_BADCAP",         nullptr,              nullptr,              "TWCC_BADPROTOCOL",
        "TWCC_BADVALUE",       "TWCC_SEQERROR",       "TWCC_BADDEST",       "TWCC_CAPUNSUPPORTED", "TWCC_CAPBADOPERATION",
        "TWCC_CAPSEQERROR",    "TWCC_DENIED",         "TWCC_FILEEXISTS",    "TWCC_FILENOTFOUND",  "TWCC_NOTEMPTY",
        "TWCC_PAPERJAM",       "TWCC_PAPERDOUBLEFEED", "TWCC_FILEWRITEERROR", "TWCC_CHECKDEVICEONLINE", "TWCC_INTERLOCK",
        "TWCC_DAMAGEDCORNER",  "TWCC_FOCUSERROR",     "TWCC_DOCTOOLIGHT",   "TWCC_DOCTOODARK",    "TWCC_NOMEDIA",
    };
    if (condition < sizeof names / sizeof *names && names[condition])
        return QLatin1String(names[condition]);
    return QStringLiteral("condition %1").arg(condition);
}

TWAINSIM_EXPORT TW_UINT16 DSM_Entry(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dataGroup,
                                    TW_UINT16 dataArgType, TW_UINT16 message, TW_MEMREF data)
{
    bool expected = false;
    if (!inside.compare_exchange_strong(expected, true)) {
        std::ostringstream thread;
        thread << std::this_thread::get_id();
        simTrace(QStringLiteral("%1 refused: another call is still inside the manager (this one from thread %2); "
                                "calls into TWAIN must not overlap (TWCC_SEQERROR)")
                     .arg(simTripletName(dataGroup, dataArgType, message), QString::fromStdString(thread.str())));
        return TWRC_FAILURE;
    }
    if (TwainSimCallHook hook = callHook.load())
        hook(dataGroup, dataArgType, message, callHookContext.load());
    const TW_UINT16 rc = manager().call(origin, destination, dataGroup, dataArgType, message, data);
    inside.store(false);
    return rc;
}

TWAINSIM_EXPORT int TwainSim_LiveHandles(void)
{
    return TwainMemory::process().liveHandles();
}

// Our memory layer's size function, so the application can check a native
// image against the block that holds it.
TWAINSIM_EXPORT TW_UINT32 DSM_MemSize(TW_HANDLE handle)
{
    return sizeUntold.load() ? 0 : TW_UINT32(TwainMemory::process().size(handle));
}

void simSetSizeUntold(bool untold)
{
    sizeUntold.store(untold);
}

TWAINSIM_EXPORT void TwainSim_SetTraceSink(TwainSimTraceSink sink, void *context)
{
    std::lock_guard<std::mutex> lock(traceMutex);
    traceSink = sink;
    traceContext = context;
}

TWAINSIM_EXPORT void TwainSim_SetCallHook(TwainSimCallHook hook, void *context)
{
    callHookContext.store(context);
    callHook.store(hook);
}
