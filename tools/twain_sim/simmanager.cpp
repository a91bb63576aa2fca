#include "simmanager.h"

#include "simtrace.h"
#include "twainmemory.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <dlfcn.h>

extern "C" TW_UINT16 DSM_Entry(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF);

namespace {

struct Rule
{
    TW_UINT32 dg;
    TW_UINT16 dat;
    TW_UINT16 msg;
    int minState, maxState;
    bool toSource;
};

// Where each triplet is allowed: 2 is the manager loaded but closed, 3 open,
// 4 to 7 the states of the open source.
const Rule kRules[] = {
    {DG_CONTROL, DAT_PARENT, MSG_OPENDSM, 2, 2, false},
    {DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, 3, 3, false},
    {DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, 3, 7, false},
    {DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, 3, 7, false},
    {DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, 3, 7, false},
    {DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, 3, 7, false},
    {DG_CONTROL, DAT_IDENTITY, MSG_SET, 3, 3, false},
    {DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, 3, 3, false},
    {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, 3, 3, false},
    {DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, 4, 4, false},
    {DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, 4, 4, true},
    {DG_CONTROL, DAT_CALLBACK2, MSG_REGISTER_CALLBACK, 4, 4, true},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GET, 4, 7, true},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, 4, 7, true},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETDEFAULT, 4, 7, true},
    {DG_CONTROL, DAT_CAPABILITY, MSG_QUERYSUPPORT, 4, 7, true},
    {DG_CONTROL, DAT_CAPABILITY, MSG_SET, 4, 4, true},
    {DG_CONTROL, DAT_CAPABILITY, MSG_RESET, 4, 4, true},
    {DG_CONTROL, DAT_CAPABILITY, MSG_RESETALL, 4, 4, true},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, 4, 4, true},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, 4, 4, true},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, 5, 5, true},
    // A window-message pump offers its messages from state 4 on; there is
    // nothing for it before the source is enabled, which is no error.
    {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, 4, 7, true},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, 4, 7, true},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, 6, 7, true},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, 6, 6, true},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_STOPFEEDER, 6, 7, true},
    {DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, 4, 6, true},
    {DG_CONTROL, DAT_DEVICEEVENT, MSG_GET, 4, 7, true},
    {DG_CONTROL, DAT_XFERGROUP, MSG_GET, 4, 7, true},
    {DG_IMAGE, DAT_IMAGEINFO, MSG_GET, 6, 7, true},
    {DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, 6, 6, true},
    {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, 6, 7, true},
    {DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, 7, 7, true},
};

void copyText(char *to, const QString &text)
{
    const QByteArray bytes = text.toUtf8().left(33);
    std::memset(to, 0, 34);
    std::memcpy(to, bytes.constData(), std::size_t(bytes.size()));
}

QString sourcesFile()
{
    if (!qEnvironmentVariableIsEmpty("VOSTRA_TWAIN_SIM_SOURCES"))
        return qEnvironmentVariable("VOSTRA_TWAIN_SIM_SOURCES");
    Dl_info info = {};
    if (::dladdr(reinterpret_cast<void *>(&DSM_Entry), &info) && info.dli_fname)
        return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absoluteDir().filePath(QStringLiteral("twainsim.json"));
    return QStringLiteral("twainsim.json");
}

const TW_UINT16 kExtImageInfo[] = {
    TWEI_BARCODECOUNT,   TWEI_BARCODETYPE,     TWEI_BARCODETEXTLENGTH, TWEI_BARCODETEXT,
    TWEI_BARCODEX,       TWEI_BARCODEY,        TWEI_BARCODEROTATION,   TWEI_BARCODECONFIDENCE,
    TWEI_PAGESIDE,       TWEI_CAMERA,          TWEI_PAGENUMBER,        TWEI_DOCUMENTNUMBER,
    TWEI_PIXELFLAVOR,
};

} // namespace

SimManager::~SimManager()
{
    stopEventThread();
}

int SimManager::stateLocked() const
{
    if (!m_open)
        return 2;
    return m_source < 0 ? 3 : m_state;
}

TW_UINT16 SimManager::fail(bool toSource, TW_UINT16 condition, const QString &why, TW_UINT32 dg, TW_UINT16 dat,
                           TW_UINT16 msg)
{
    (toSource ? m_sourceCondition : m_managerCondition) = condition;
    simTrace(QStringLiteral("%1 failed in state %2: %3 (%4)")
                 .arg(simTripletName(dg, dat, msg))
                 .arg(stateLocked())
                 .arg(why, simConditionName(condition)));
    return TWRC_FAILURE;
}

TW_UINT16 SimManager::succeed(bool toSource, TW_UINT16 rc)
{
    (toSource ? m_sourceCondition : m_managerCondition) = TWCC_SUCCESS;
    return rc;
}

TW_UINT16 SimManager::call(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat,
                           TW_UINT16 msg, TW_MEMREF data)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const int state = stateLocked();

    // The status of the manager (no destination) or of the open source.
    if (dg == DG_CONTROL && dat == DAT_STATUS && msg == MSG_GET) {
        auto *status = static_cast<pTW_STATUS>(data);
        if (!status)
            return fail(false, TWCC_BADVALUE, QStringLiteral("no TW_STATUS"), dg, dat, msg);
        const bool toSource = destination != nullptr;
        if (toSource && (m_source < 0 || destination->Id != m_identities[std::size_t(m_source)].Id))
            return fail(false, TWCC_BADDEST, QStringLiteral("no such open source"), dg, dat, msg);
        TW_UINT16 &condition = toSource ? m_sourceCondition : m_managerCondition;
        status->ConditionCode = condition;
        status->Data = 0;
        condition = TWCC_SUCCESS;
        return TWRC_SUCCESS;
    }

    const Rule *rule = nullptr;
    for (const Rule &r : kRules)
        if (r.dg == dg && r.dat == dat && r.msg == msg)
            rule = &r;
    if (!rule)
        return fail(destination != nullptr && m_source >= 0, TWCC_BADPROTOCOL,
                    QStringLiteral("the simulated manager does not know this triplet"), dg, dat, msg);
    // With no source open, the manager answers a source's triplet.
    const bool toSource = rule->toSource && m_source >= 0;
    if (msg != MSG_OPENDSM && m_open && (!origin || origin->Id != m_app.Id))
        return fail(toSource, TWCC_BADPROTOCOL, QStringLiteral("the origin is not the application that opened the manager"),
                    dg, dat, msg);
    if (state < rule->minState || state > rule->maxState)
        return fail(toSource, TWCC_SEQERROR,
                    QStringLiteral("allowed in state %1%2 only")
                        .arg(rule->minState)
                        .arg(rule->maxState > rule->minState ? QStringLiteral(" to %1").arg(rule->maxState) : QString()),
                    dg, dat, msg);
    if (toSource && (!destination || destination->Id != m_identities[std::size_t(m_source)].Id))
        return fail(true, TWCC_BADDEST, QStringLiteral("the destination is not the open source"), dg, dat, msg);
    if (!data && msg != MSG_CLOSEDSM && msg != MSG_OPENDSM)
        return fail(toSource, TWCC_BADVALUE, QStringLiteral("no data record"), dg, dat, msg);

    switch (dat) {
    case DAT_PARENT:
        if (msg == MSG_OPENDSM)
            return openManager(origin, dg, dat, msg);
        {
            // Joining the event thread must not hold the lock it needs.
            lock.unlock();
            const TW_UINT16 rc = closeManager(dg, dat, msg);
            return rc;
        }
    case DAT_ENTRYPOINT: {
        auto *entry = static_cast<pTW_ENTRYPOINT>(data);
        if (entry->Size < sizeof(TW_ENTRYPOINT))
            return fail(false, TWCC_BADVALUE, QStringLiteral("Size %1 is smaller than TW_ENTRYPOINT").arg(entry->Size), dg,
                        dat, msg);
        entry->Size = sizeof(TW_ENTRYPOINT);
        entry->DSM_Entry = reinterpret_cast<TW_MEMREF>(&DSM_Entry);
        entry->DSM_MemAllocate = twainMemAllocate;
        entry->DSM_MemFree = twainMemFree;
        entry->DSM_MemLock = twainMemLock;
        entry->DSM_MemUnlock = twainMemUnlock;
        return succeed(false);
    }
    case DAT_IDENTITY:
        return identity(msg, static_cast<pTW_IDENTITY>(data), dg, dat);
    case DAT_CALLBACK:
    case DAT_CALLBACK2: {
        if (!m_configs[m_source].twain2)
            return fail(true, TWCC_BADPROTOCOL, QStringLiteral("a TWAIN 1.x source takes no callback"), dg, dat, msg);
        TW_MEMREF proc = dat == DAT_CALLBACK ? static_cast<pTW_CALLBACK>(data)->CallBackProc
                                             : static_cast<pTW_CALLBACK2>(data)->CallBackProc;
        if (!proc)
            return fail(true, TWCC_BADVALUE, QStringLiteral("no CallBackProc"), dg, dat, msg);
        m_callback = reinterpret_cast<TWAIN_CALLBACK>(proc);
        return succeed(true);
    }
    case DAT_CAPABILITY:
        return capability(msg, static_cast<pTW_CAPABILITY>(data), dg, dat);
    case DAT_USERINTERFACE:
        return userInterface(msg, static_cast<pTW_USERINTERFACE>(data), dg, dat);
    case DAT_EVENT: {
        auto *event = static_cast<pTW_EVENT>(data);
        event->TWMessage = MSG_NULL;
        if (m_callback || m_waiting.empty())
            return succeed(true, TWRC_NOTDSEVENT);
        event->TWMessage = m_waiting.front();
        m_waiting.pop_front();
        if (event->TWMessage == MSG_XFERREADY) {
            if (m_state != 5)  // disabled before the event was fetched
                return succeed(true, TWRC_NOTDSEVENT);
            m_state = 6;
        }
        return succeed(true, TWRC_DSEVENT);
    }
    case DAT_PENDINGXFERS:
        return pendingTransfers(msg, static_cast<pTW_PENDINGXFERS>(data), dg, dat);
    case DAT_SETUPMEMXFER: {
        auto *setup = static_cast<pTW_SETUPMEMXFER>(data);
        QString why;
        const TW_UINT32 row = m_state == 6 && loadPage(&why) ? TW_UINT32(m_page.rowBytes()) : 64;
        setup->MinBufSize = row;
        setup->MaxBufSize = std::max<TW_UINT32>(row, 64u << 20);
        setup->Preferred = std::max(row, m_configs[m_source].preferredBufferSize);
        return succeed(true);
    }
    case DAT_DEVICEEVENT:
        return fail(true, TWCC_SEQERROR, QStringLiteral("no device event is waiting"), dg, dat, msg);
    case DAT_XFERGROUP:
        *static_cast<TW_UINT32 *>(data) = DG_IMAGE;
        return succeed(true);
    case DAT_IMAGEINFO:
        return imageInfo(static_cast<pTW_IMAGEINFO>(data), dg, dat, msg);
    case DAT_IMAGENATIVEXFER:
        return nativeTransfer(static_cast<TW_HANDLE *>(data), dg, dat, msg);
    case DAT_IMAGEMEMXFER:
        return memoryTransfer(static_cast<pTW_IMAGEMEMXFER>(data), dg, dat, msg);
    case DAT_EXTIMAGEINFO:
        return extImageInfo(static_cast<pTW_EXTIMAGEINFO>(data), dg, dat, msg);
    default:
        return fail(rule->toSource, TWCC_BADPROTOCOL, QStringLiteral("not handled"), dg, dat, msg);
    }
}

TW_UINT16 SimManager::openManager(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg)
{
    if (!origin)
        return fail(false, TWCC_BADVALUE, QStringLiteral("no application identity"), dg, dat, msg);
    const QString file = sourcesFile();
    QString error;
    QVector<SimSourceConfig> configs;
    if (!readSimSources(file, &configs, &error))
        return fail(false, TWCC_BUMMER, error, dg, dat, msg);
    m_configs = configs;
    m_identities.clear();
    for (int i = 0; i < m_configs.size(); ++i) {
        const SimSourceConfig &c = m_configs[i];
        TW_IDENTITY id = {};
        id.Id = TW_UINT32(101 + i);
        id.Version.MajorNum = 1;
        id.Version.Language = TWLG_ENGLISH;
        id.Version.Country = TWCY_USA;
        copyText(id.Version.Info, QStringLiteral("simulated"));
        id.ProtocolMajor = c.protocolMajor;
        id.ProtocolMinor = c.protocolMinor;
        id.SupportedGroups = DG_CONTROL | DG_IMAGE | (c.twain2 ? DF_DS2 : 0);
        copyText(id.Manufacturer, c.manufacturer);
        copyText(id.ProductFamily, c.productFamily);
        copyText(id.ProductName, c.productName);
        m_identities.push_back(id);
    }
    m_default = 0;
    m_listed = 0;
    origin->Id = 1;
    if (origin->SupportedGroups & DF_APP2)
        origin->SupportedGroups |= DF_DSM2;
    m_app = *origin;
    m_open = true;
    m_source = -1;
    m_quit = false;
    m_thread = std::thread([this] { eventLoop(); });
    simTrace(QStringLiteral("manager opened with %1 source(s) from %2").arg(m_configs.size()).arg(file));
    return succeed(false);
}

TW_UINT16 SimManager::closeManager(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg)
{
    if (std::this_thread::get_id() == m_thread.get_id()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return fail(false, TWCC_SEQERROR, QStringLiteral("the manager cannot be closed from its own callback"), dg, dat, msg);
    }
    stopEventThread();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_open = false;
    m_configs.clear();
    m_identities.clear();
    return succeed(false);
}

void SimManager::stopEventThread()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
        m_outgoing.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

TW_UINT16 SimManager::identity(TW_UINT16 msg, pTW_IDENTITY data, TW_UINT32 dg, TW_UINT16 dat)
{
    switch (msg) {
    case MSG_GETFIRST:
        m_listed = 0;
        [[fallthrough]];
    case MSG_GETNEXT:
        if (m_listed >= m_identities.size())
            return succeed(false, TWRC_ENDOFLIST);
        *data = m_identities[m_listed++];
        return succeed(false);
    case MSG_GETDEFAULT:
    case MSG_USERSELECT:
        if (m_identities.empty())
            return fail(false, TWCC_NODS, QStringLiteral("there is no source"), dg, dat, msg);
        *data = m_identities[m_default];
        return succeed(false);
    case MSG_SET:
    case MSG_OPENDS: {
        std::size_t found = m_identities.size();
        const bool byDefault = msg == MSG_OPENDS && data->Id == 0 && data->ProductName[0] == 0;
        for (std::size_t i = 0; i < m_identities.size() && !byDefault; ++i)
            if (data->Id != 0 ? m_identities[i].Id == data->Id
                              : std::strncmp(m_identities[i].ProductName, data->ProductName, 34) == 0)
                found = i;
        if (byDefault && !m_identities.empty())
            found = m_default;
        if (found == m_identities.size())
            return fail(false, TWCC_NODS, QStringLiteral("no source with Id %1").arg(data->Id), dg, dat, msg);
        if (msg == MSG_SET) {
            m_default = found;
            return succeed(false);
        }
        *data = m_identities[found];
        m_source = int(found);
        m_state = 4;
        m_disableRefusals = 0;
        m_endXferRefused = 0;
        simSetSizeUntold(m_configs[m_source].faults.sizeUntold);
        m_caps = m_configs[m_source].capabilities;
        m_callback = nullptr;
        m_waiting.clear();
        m_batch.clear();
        m_sourceCondition = TWCC_SUCCESS;
        return succeed(false);
    }
    case MSG_CLOSEDS:
        if (data->Id != m_identities[std::size_t(m_source)].Id)
            return fail(false, TWCC_NODS, QStringLiteral("source %1 is not open").arg(data->Id), dg, dat, msg);
        m_source = -1;
        m_callback = nullptr;
        m_waiting.clear();
        m_outgoing.clear();
        m_batch.clear();
        simSetSizeUntold(false);
        return succeed(false);
    default:
        return fail(false, TWCC_BADPROTOCOL, QStringLiteral("not handled"), dg, dat, msg);
    }
}

const SimCapability *SimManager::lookup(TW_UINT16 id, SimCapability *scratch) const
{
    const SimSourceConfig &config = m_configs[m_source];
    scratch->id = id;
    scratch->readOnly = true;
    scratch->items.clear();
    switch (id) {
    case ICAP_BITDEPTH: {
        const CapValue bits = simBitsForPixelType(int(capValue(ICAP_PIXELTYPE, TWPT_GRAY)));
        scratch->itemType = TWTY_UINT16;
        scratch->kind = SimCapability::Enumeration;
        scratch->items = {bits};
        scratch->current = scratch->defaultValue = bits;
        scratch->readOnly = false;  // may be set to the one depth there is
        return scratch;
    }
    case CAP_FEEDERLOADED:
        scratch->itemType = TWTY_BOOL;
        scratch->kind = SimCapability::OneValue;
        scratch->current = scratch->defaultValue = config.sheets.isEmpty() ? 0 : 1;
        return scratch;
    case ICAP_SUPPORTEDEXTIMAGEINFO:
        scratch->itemType = TWTY_UINT16;
        scratch->kind = SimCapability::Array;
        for (TW_UINT16 info : kExtImageInfo)
            if (config.pageSide || (info != TWEI_PAGESIDE && info != TWEI_CAMERA))
                scratch->items.push_back(info);
        if (config.faults.extInfoLie == QLatin1String("longFrame"))
            scratch->items.push_back(TWEI_FRAME);
        return scratch;
    case CAP_SUPPORTEDCAPS:
        scratch->itemType = TWTY_UINT16;
        scratch->kind = SimCapability::Array;
        for (const auto &cap : m_caps)
            scratch->items.push_back(cap.first);
        for (TW_UINT16 derived : {ICAP_BITDEPTH, CAP_FEEDERLOADED, ICAP_SUPPORTEDEXTIMAGEINFO, CAP_SUPPORTEDCAPS})
            scratch->items.push_back(derived);
        return scratch;
    default: {
        auto it = m_caps.find(id);
        return it == m_caps.end() ? nullptr : &it->second;
    }
    }
}

CapValue SimManager::capValue(TW_UINT16 id, CapValue fallback) const
{
    auto it = m_caps.find(id);
    return it == m_caps.end() ? fallback : it->second.current;
}

TW_UINT16 SimManager::capability(TW_UINT16 msg, pTW_CAPABILITY cap, TW_UINT32 dg, TW_UINT16 dat)
{
    if (msg == MSG_RESETALL) {
        for (auto &c : m_caps)
            c.second.reset();
        return succeed(true);
    }
    SimCapability scratch;
    const SimCapability *found = lookup(cap->Cap, &scratch);
    if (!found)
        return fail(true, TWCC_CAPUNSUPPORTED, QStringLiteral("capability 0x%1 is not supported").arg(cap->Cap, 4, 16, QLatin1Char('0')),
                    dg, dat, msg);
    TwainMemory &memory = TwainMemory::process();
    switch (msg) {
    case MSG_QUERYSUPPORT: {
        TW_INT32 support = TWQC_GET | TWQC_GETCURRENT | TWQC_GETDEFAULT;
        if (!found->readOnly)
            support |= TWQC_SET | TWQC_RESET;
        SimCapability answer;
        answer.itemType = TWTY_INT32;
        answer.current = support;
        cap->ConType = TWON_ONEVALUE;
        cap->hContainer = answer.container(MSG_GET, memory);
        return cap->hContainer ? succeed(true) : fail(true, TWCC_LOWMEMORY, QStringLiteral("out of memory"), dg, dat, msg);
    }
    case MSG_SET: {
        auto *bytes = static_cast<const unsigned char *>(memory.lock(cap->hContainer));
        if (!bytes)
            return fail(true, TWCC_BADVALUE, QStringLiteral("the container is not a live handle of the manager's memory"), dg,
                        dat, msg);
        if (cap->ConType != TWON_ONEVALUE) {
            memory.unlock(cap->hContainer);
            return fail(true, TWCC_BADVALUE, QStringLiteral("only one-value containers are set here"), dg, dat, msg);
        }
        TW_UINT16 condition = TWCC_SUCCESS;
        QString why;
        SimCapability *target = found == &scratch ? nullptr : &m_caps[cap->Cap];
        TW_UINT16 rc;
        if (target) {
            rc = target->set(bytes, memory.size(cap->hContainer), &condition, &why);
        } else {
            // A derived capability accepts only the value it already has.
            SimCapability copy = scratch;
            rc = copy.set(bytes, memory.size(cap->hContainer), &condition, &why);
        }
        memory.unlock(cap->hContainer);
        if (rc == TWRC_FAILURE)
            return fail(true, condition, why, dg, dat, msg);
        return succeed(true, rc);
    }
    case MSG_RESET:
        if (found->readOnly)
            return fail(true, TWCC_CAPBADOPERATION, QStringLiteral("the capability cannot be reset"), dg, dat, msg);
        if (found != &scratch)
            m_caps[cap->Cap].reset();
        found = lookup(cap->Cap, &scratch);
        [[fallthrough]];  // answer with the container after the reset
    default: {
        const SimFaults &faults = m_configs[m_source].faults;
        if (cap->Cap == faults.containerLieCap && !faults.containerLie.isEmpty()
            && (msg == MSG_GET || msg == MSG_GETCURRENT))
            return lyingContainer(cap, faults.containerLie, memory);
        cap->ConType = msg == MSG_GET || msg == MSG_RESET ? found->conType() : TW_UINT16(TWON_ONEVALUE);
        cap->hContainer = found->container(msg, memory);
        if (!cap->hContainer)
            return fail(true, TWCC_LOWMEMORY, QStringLiteral("out of memory"), dg, dat, msg);
        return succeed(true);
    }
    }
}

TW_UINT16 SimManager::lyingContainer(pTW_CAPABILITY cap, const QString &kind, TwainMemory &memory)
{
    // Every lie is a block whose own fields claim more than it holds.
    auto put = [](unsigned char *at, auto value) { std::memcpy(at, &value, sizeof value); };
    const auto dpi200 = TW_UINT32(simFix32(200)), dpi300 = TW_UINT32(simFix32(300));
    TW_HANDLE handle = nullptr;
    unsigned char *p = nullptr;
    auto take = [&](TW_UINT32 size) {
        handle = memory.allocate(size);
        p = static_cast<unsigned char *>(memory.lock(handle));
        return p != nullptr;
    };
    if (kind == QLatin1String("hugeCount") || kind == QLatin1String("indexPastCount")) {
        const bool huge = kind == QLatin1String("hugeCount");
        if (!take(22))
            return TWRC_FAILURE;
        put(p + offsetof(TW_ENUMERATION, ItemType), TW_UINT16(TWTY_FIX32));
        put(p + offsetof(TW_ENUMERATION, NumItems), TW_UINT32(huge ? 50000000u : 2u));
        put(p + offsetof(TW_ENUMERATION, CurrentIndex), TW_UINT32(huge ? 0u : 7u));
        put(p + offsetof(TW_ENUMERATION, DefaultIndex), TW_UINT32(huge ? 0u : 9u));
        put(p + 14, dpi200);
        put(p + 18, dpi300);
        cap->ConType = TWON_ENUMERATION;
    } else if (kind == QLatin1String("arrayCountLies")) {
        if (!take(14))
            return TWRC_FAILURE;
        put(p + offsetof(TW_ARRAY, ItemType), TW_UINT16(TWTY_FIX32));
        put(p + offsetof(TW_ARRAY, NumItems), TW_UINT32(1000));
        put(p + 6, dpi200);
        put(p + 10, dpi300);
        cap->ConType = TWON_ARRAY;
    } else {  // shortOneValue
        if (!take(4))
            return TWRC_FAILURE;
        put(p, TW_UINT16(TWTY_FIX32));
        put(p + 2, TW_UINT16(200));
        cap->ConType = TWON_ONEVALUE;
    }
    memory.unlock(handle);
    cap->hContainer = handle;
    simTrace(QStringLiteral("capability 0x%1 answered with a lying container (%2)").arg(cap->Cap, 4, 16, QLatin1Char('0')).arg(kind));
    return succeed(true);
}

TW_UINT16 SimManager::userInterface(TW_UINT16 msg, pTW_USERINTERFACE ui, TW_UINT32 dg, TW_UINT16 dat)
{
    const SimSourceConfig &config = m_configs[m_source];
    if (msg == MSG_DISABLEDS) {
        if (m_disableRefusals++ < config.faults.disableFails)
            return fail(true, TWCC_BUMMER, QStringLiteral("the source refuses to be disabled"), dg, dat, msg);
        m_state = 4;
        m_waiting.clear();
        m_outgoing.clear();
        m_batch.clear();
        return succeed(true);
    }
    if (msg == MSG_ENABLEDSUIONLY) {
        m_state = 5;
        post(config.settingsOk ? MSG_CLOSEDSOK : MSG_CLOSEDSREQ);
        return succeed(true);
    }
    // MSG_ENABLEDS: the sheets in the feeder become the batch (the stack is
    // put back for every batch, so a demo can scan again and again).
    m_batch.clear();
    const bool duplex = capValue(CAP_DUPLEXENABLED, 0) != 0;
    for (int sheet = 0; sheet < config.sheets.size(); ++sheet) {
        m_batch.push_back({sheet, false});
        if (duplex)
            m_batch.push_back({sheet, true});
    }
    const CapValue count = capValue(CAP_XFERCOUNT, -1);
    if (count > 0 && std::size_t(count) < m_batch.size())
        m_batch.resize(std::size_t(count));
    if (m_batch.empty())
        return fail(true, TWCC_NOMEDIA, QStringLiteral("the feeder is empty"), dg, dat, msg);
    m_current = 0;
    m_pageLoaded = m_pageDone = false;
    m_stopFeeder = false;
    m_state = 5;
    (void)ui;
    for (int i = 0; i < config.faults.floodCallbacks && m_callback; ++i)
        post(MSG_NULL);
    if (!config.faults.neverReady)
        post(MSG_XFERREADY);
    return succeed(true);
}

void SimManager::post(TW_UINT16 message)
{
    if (m_callback) {
        m_outgoing.push_back(message);
        m_wake.notify_all();
    } else {
        m_waiting.push_back(message);
    }
}

void SimManager::eventLoop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || !m_outgoing.empty(); });
        if (m_quit)
            return;
        const TW_UINT16 message = m_outgoing.front();
        m_outgoing.pop_front();
        if (m_source < 0 || !m_callback)
            continue;
        if (message == MSG_XFERREADY) {
            if (m_state != 5)
                continue;
            m_state = 6;  // the source is ready before the application hears it
        }
        TW_IDENTITY source = m_identities[std::size_t(m_source)];
        TW_IDENTITY app = m_app;
        TWAIN_CALLBACK callback = m_callback;
        lock.unlock();
        callback(&source, &app, DG_CONTROL, DAT_NULL, message, nullptr);
        lock.lock();
    }
}

bool SimManager::loadPage(QString *why)
{
    if (m_pageLoaded)
        return true;
    if (m_current >= m_batch.size()) {
        *why = QStringLiteral("no page is pending");
        return false;
    }
    const SimSourceConfig &config = m_configs[m_source];
    const PageRef ref = m_batch[m_current];
    const SimSheet &sheet = config.sheets[ref.sheet];
    const int bits = simBitsForPixelType(int(capValue(ICAP_PIXELTYPE, TWPT_GRAY)));
    const double dpiX = simFix32ToDouble(capValue(ICAP_XRESOLUTION, simFix32(200)));
    const double dpiY = simFix32ToDouble(capValue(ICAP_YRESOLUTION, simFix32(200)));
    if (!simMakePage(ref.back ? sheet.back.file : sheet.front.file, bits, dpiX, dpiY, config.pageWidth,
                     config.pageHeight, int(m_current) + 1, ref.back, &m_page, why))
        return false;
    m_pageLoaded = true;
    m_pageDone = false;
    m_strips = 0;
    m_rowsSent = 0;
    return true;
}

TW_UINT16 SimManager::remaining() const
{
    if (m_state < 6 || m_current >= m_batch.size())
        return 0;
    if (!m_configs[m_source].countKnown)
        return 0xffff;
    return TW_UINT16(std::min<std::size_t>(m_batch.size() - m_current, 0xfffe));
}

void SimManager::finishPage()
{
    m_page.rows.clear();  // keeps its memory for the next page
    m_pageLoaded = m_pageDone = false;
    ++m_current;
    if (m_stopFeeder)
        m_batch.resize(std::min(m_batch.size(), m_current));
    if (m_current >= m_batch.size()) {
        m_batch.clear();
        m_current = 0;
        m_state = 5;
        if (m_configs[m_source].closeRequestAfterBatch)
            post(MSG_CLOSEDSREQ);
    } else {
        m_state = 6;
    }
}

TW_UINT16 SimManager::pendingTransfers(TW_UINT16 msg, pTW_PENDINGXFERS pending, TW_UINT32 dg, TW_UINT16 dat)
{
    pending->EOJ = 0;
    switch (msg) {
    case MSG_GET:
        pending->Count = remaining();
        return succeed(true);
    case MSG_ENDXFER:
        // Fails once; asked again, the source ends the page.
        if (m_configs[m_source].faults.endXferFailAtPage == int(m_current) + 1 && !m_endXferRefused++)
            return fail(true, TWCC_OPERATIONERROR, QStringLiteral("simulated failure to end page %1").arg(m_current + 1),
                        dg, dat, msg);
        finishPage();
        pending->Count = remaining();
        return succeed(true);
    case MSG_RESET:
        m_batch.clear();
        m_current = 0;
        m_page.rows.clear();
        m_pageLoaded = m_pageDone = false;
        m_state = 5;
        pending->Count = 0;
        return succeed(true);
    case MSG_STOPFEEDER:
        m_stopFeeder = true;
        simTrace(QStringLiteral("MSG_STOPFEEDER: the feeder stops after page %1 of %2").arg(m_current + 1).arg(m_batch.size()));
        pending->Count = remaining();
        return succeed(true);
    default:
        return fail(true, TWCC_BADPROTOCOL, QStringLiteral("not handled"), dg, dat, msg);
    }
}

TW_UINT16 SimManager::imageInfo(pTW_IMAGEINFO info, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg)
{
    QString why;
    const SimFaults &faults = m_configs[m_source].faults;
    if (faults.imageInfoFailAtPage == int(m_current) + 1)
        return fail(true, TWCC_OPERATIONERROR, QStringLiteral("simulated failure to describe page %1").arg(m_current + 1),
                    dg, dat, msg);
    if (!loadPage(&why))
        return fail(true, TWCC_OPERATIONERROR, why, dg, dat, msg);
    std::memset(info, 0, sizeof *info);
    const CapValue x = capValue(ICAP_XRESOLUTION, simFix32(200));
    const CapValue y = capValue(ICAP_YRESOLUTION, simFix32(200));
    info->XResolution.Whole = TW_INT16(std::int32_t(x) >> 16);
    info->XResolution.Frac = TW_UINT16(x & 0xffff);
    info->YResolution.Whole = TW_INT16(std::int32_t(y) >> 16);
    info->YResolution.Frac = TW_UINT16(y & 0xffff);
    info->ImageWidth = m_page.width;
    info->ImageLength = m_configs[m_source].lengthUnknown ? -1 : m_page.height;
    info->SamplesPerPixel = m_page.bitsPerPixel == 24 ? 3 : 1;
    for (int i = 0; i < info->SamplesPerPixel; ++i)
        info->BitsPerSample[i] = TW_INT16(m_page.bitsPerPixel == 1 ? 1 : 8);
    info->BitsPerPixel = TW_INT16(m_page.bitsPerPixel);
    info->Planar = TWAIN_FALSE;
    info->PixelType = TW_INT16(capValue(ICAP_PIXELTYPE, TWPT_GRAY));
    info->Compression = TWCP_NONE;
    if (faults.hugePageAtPage == int(m_current) + 1) {
        info->ImageWidth = info->ImageLength = 65535;
        info->BitsPerPixel = 24;
        info->SamplesPerPixel = 3;
    }
    return succeed(true);
}

TW_UINT16 SimManager::nativeTransfer(TW_HANDLE *handle, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg)
{
    *handle = nullptr;
    if (capValue(ICAP_XFERMECH, TWSX_NATIVE) != TWSX_NATIVE)
        return fail(true, TWCC_SEQERROR, QStringLiteral("the transfer mechanism is not TWSX_NATIVE"), dg, dat, msg);
    const SimFaults &faults = m_configs[m_source].faults;
    const int page = int(m_current) + 1;
    if (faults.failAtPage == page)
        return fail(true, TWCC_OPERATIONERROR, QStringLiteral("simulated device failure on page %1").arg(page), dg, dat, msg);
    if (faults.stallAtPage == page)
        return succeed(true, TWRC_CHECKSTATUS);
    if (faults.handlesAtPage == page) {
        // A success that is no page, with a block the application now owns.
        *handle = TwainMemory::process().allocate(64 * 1024);
        return succeed(true, TWRC_SUCCESS);
    }
    if (faults.cancelAtPage == page) {
        simTrace(QStringLiteral("page %1 cancelled by the simulated operator").arg(page));
        m_state = 7;
        return succeed(true, TWRC_CANCEL);
    }
    QString why;
    if (!loadPage(&why))
        return fail(true, TWCC_OPERATIONERROR, why, dg, dat, msg);
    const double dpiX = simFix32ToDouble(capValue(ICAP_XRESOLUTION, simFix32(200)));
    const double dpiY = simFix32ToDouble(capValue(ICAP_YRESOLUTION, simFix32(200)));
    if (faults.nullImageAtPage == page) {
        simTrace(QStringLiteral("page %1 transferred without an image").arg(page));
        m_state = 7;
        m_pageDone = true;
        return succeed(true, TWRC_XFERDONE);
    }
    const SimSourceConfig &config = m_configs[m_source];
    *handle = simMakeDib(m_page, dpiX, dpiY, TwainMemory::process(), config.nativeTopDown,
                         faults.malformedAtPage == page ? faults.malformed : QString());
    if (!*handle)
        return fail(true, TWCC_LOWMEMORY, QStringLiteral("no memory for the page"), dg, dat, msg);
    m_state = 7;
    m_pageDone = true;
    return succeed(true, TWRC_XFERDONE);
}

TW_UINT16 SimManager::memoryTransfer(pTW_IMAGEMEMXFER xfer, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg)
{
    if (capValue(ICAP_XFERMECH, TWSX_NATIVE) != TWSX_MEMORY)
        return fail(true, TWCC_SEQERROR, QStringLiteral("the transfer mechanism is not TWSX_MEMORY"), dg, dat, msg);
    if (m_pageDone || (m_state == 7 && m_strips == 0))
        return fail(true, TWCC_SEQERROR, QStringLiteral("the page is already transferred; end it first"), dg, dat, msg);
    QString why;
    if (!loadPage(&why))
        return fail(true, TWCC_OPERATIONERROR, why, dg, dat, msg);
    const SimFaults &faults = m_configs[m_source].faults;
    const int page = int(m_current) + 1;
    if (m_strips == 0 && faults.stallAtPage == page)
        return succeed(true, TWRC_CHECKSTATUS);
    if (m_strips == 0 && faults.cancelAtPage == page) {
        simTrace(QStringLiteral("page %1 cancelled by the simulated operator").arg(page));
        m_state = 7;
        return succeed(true, TWRC_CANCEL);
    }
    if (m_strips == 0 && faults.failAtPage == page)
        return fail(true, TWCC_OPERATIONERROR, QStringLiteral("simulated device failure on page %1").arg(page), dg, dat, msg);
    if (faults.stripFailAtPage == page && faults.stripFailAtStrip == m_strips + 1)
        return fail(true, TWCC_OPERATIONERROR,
                    QStringLiteral("simulated failure of strip %1 of page %2").arg(m_strips + 1).arg(page), dg, dat, msg);

    const TW_UINT32 rowBytes = TW_UINT32(m_page.rowBytes());
    const TW_UINT32 flags = xfer->Memory.Flags;
    if (!(flags & TWMF_APPOWNS) || !(flags & (TWMF_POINTER | TWMF_HANDLE)))
        return fail(true, TWCC_BADVALUE, QStringLiteral("the buffer must be the application's, by pointer or handle"), dg,
                    dat, msg);
    TwainMemory &memory = TwainMemory::process();
    unsigned char *buffer = nullptr;
    std::size_t length = xfer->Memory.Length;
    if (flags & TWMF_HANDLE) {
        buffer = static_cast<unsigned char *>(memory.lock(xfer->Memory.TheMem));
        length = std::min(length, memory.size(xfer->Memory.TheMem));
    } else {
        buffer = static_cast<unsigned char *>(xfer->Memory.TheMem);
    }
    if (!buffer || length < rowBytes) {
        if (buffer && (flags & TWMF_HANDLE))
            memory.unlock(xfer->Memory.TheMem);
        return fail(true, TWCC_BADVALUE,
                    QStringLiteral("a buffer of %1 bytes cannot hold a row of %2 bytes").arg(length).arg(rowBytes), dg, dat,
                    msg);
    }
    const QString lie = faults.stripLieAtPage == page ? faults.stripLie : QString();
    if (lie == QLatin1String("gap") && m_strips == 1 && m_page.height - m_rowsSent > 1)
        m_rowsSent += std::max(1, std::min(int(length / rowBytes), m_page.height - m_rowsSent - 1) / 2);
    if (lie == QLatin1String("repeatRowZero"))
        m_rowsSent = 0;
    int rows = int(std::min<std::size_t>(length / rowBytes, std::size_t(m_page.height - m_rowsSent)));
    if (lie == QLatin1String("zeroRows"))
        rows = 0;
    std::memcpy(buffer, m_page.row(m_rowsSent), std::size_t(rows) * rowBytes);
    if (flags & TWMF_HANDLE)
        memory.unlock(xfer->Memory.TheMem);
    xfer->Compression = TWCP_NONE;
    xfer->BytesPerRow = rowBytes;
    xfer->Columns = TW_UINT32(m_page.width);
    xfer->Rows = TW_UINT32(rows);
    xfer->XOffset = 0;
    xfer->YOffset = TW_UINT32(m_rowsSent);
    xfer->BytesWritten = TW_UINT32(rows) * rowBytes;
    m_rowsSent += rows;
    ++m_strips;
    m_state = 7;
    if (lie == QLatin1String("zeroRows") || lie == QLatin1String("repeatRowZero"))
        return succeed(true);
    if (m_rowsSent < m_page.height && lie != QLatin1String("doneEarly"))
        return succeed(true);
    m_pageDone = true;
    return succeed(true, TWRC_XFERDONE);
}

TW_UINT16 SimManager::extImageInfo(pTW_EXTIMAGEINFO ext, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg)
{
    if (!m_pageDone)
        return fail(true, TWCC_SEQERROR, QStringLiteral("no page has been transferred yet"), dg, dat, msg);
    // The record's size is not passed; a count beyond any real request is a
    // garbled record, not a reason to write over the application's memory.
    if (ext->NumInfos == 0 || ext->NumInfos > 1000)
        return fail(true, TWCC_BADVALUE, QStringLiteral("NumInfos %1 is out of reach").arg(ext->NumInfos), dg, dat, msg);
    const SimSourceConfig &config = m_configs[m_source];
    const PageRef ref = m_batch[m_current];
    const SimSide &side = ref.back ? config.sheets[ref.sheet].back : config.sheets[ref.sheet].front;
    const QVector<SimBarcode> &codes = side.barcodes;
    TwainMemory &memory = TwainMemory::process();

    // Items that fit in four bytes travel in Item, others in a handle.
    auto putValues = [&](TW_INFO &info, TW_UINT16 type, const std::vector<TW_UINT32> &values) {
        const int size = simTypeSize(type);
        info.ItemType = type;
        info.NumItems = TW_UINT16(values.size());
        info.ReturnCode = TWRC_SUCCESS;
        unsigned char *to = reinterpret_cast<unsigned char *>(&info.Item);
        TW_HANDLE handle = nullptr;
        if (values.size() * std::size_t(size) > 4) {
            handle = memory.allocate(TW_UINT32(values.size() * std::size_t(size)));
            to = static_cast<unsigned char *>(memory.lock(handle));
            if (!to) {
                info.ReturnCode = TWRC_DATANOTAVAILABLE;
                info.NumItems = 0;
                return;
            }
        }
        for (std::size_t i = 0; i < values.size(); ++i)
            simWriteItem(to + i * std::size_t(size), type, CapValue(values[i]));
        if (handle) {
            memory.unlock(handle);
            info.Item = reinterpret_cast<TW_UINTPTR>(handle);
        }
    };
    auto perCode = [&](TW_UINT32 SimBarcode::*field) {
        std::vector<TW_UINT32> values;
        for (const SimBarcode &code : codes)
            values.push_back(code.*field);
        return values;
    };

    const QString &lie = config.faults.extInfoLie;
    TW_HANDLE cameraBlock = nullptr;  // for "sharedHandle"
    for (TW_UINT32 i = 0; i < ext->NumInfos; ++i) {
        TW_INFO &info = ext->Info[i];
        info.Item = 0;
        info.NumItems = 0;
        if (lie == QLatin1String("nullHandle")
            && (info.InfoID == TWEI_CAMERA || info.InfoID == TWEI_PAGESIDE || info.InfoID == TWEI_PAGENUMBER
                || info.InfoID == TWEI_BARCODETEXT)) {
            // Types that travel in a block, returned without one.
            info.ItemType = info.InfoID == TWEI_PAGENUMBER ? TW_UINT16(TWTY_UINT32) : TW_UINT16(TWTY_STR255);
            info.NumItems = info.InfoID == TWEI_PAGENUMBER ? 200 : 1;
            info.ReturnCode = TWRC_SUCCESS;
            continue;
        }
        if (lie == QLatin1String("longFrame") && info.InfoID == TWEI_FRAME) {
            TW_HANDLE handle = memory.allocate(sizeof(TW_FRAME));
            info.ItemType = TWTY_FRAME;
            info.NumItems = 50000;
            info.ReturnCode = handle ? TWRC_SUCCESS : TWRC_DATANOTAVAILABLE;
            info.Item = reinterpret_cast<TW_UINTPTR>(handle);
            continue;
        }
        if (lie == QLatin1String("sharedHandle") && info.InfoID == TWEI_PAGENUMBER && cameraBlock) {
            info.ItemType = TWTY_STR255;
            info.NumItems = 1;
            info.ReturnCode = TWRC_SUCCESS;
            info.Item = reinterpret_cast<TW_UINTPTR>(cameraBlock);
            continue;
        }
        const bool barcodeItem = info.InfoID == TWEI_BARCODETYPE || info.InfoID == TWEI_BARCODETEXTLENGTH
                                 || info.InfoID == TWEI_BARCODETEXT || info.InfoID == TWEI_BARCODEX
                                 || info.InfoID == TWEI_BARCODEY || info.InfoID == TWEI_BARCODEROTATION
                                 || info.InfoID == TWEI_BARCODECONFIDENCE;
        if (barcodeItem && codes.isEmpty()) {
            info.ReturnCode = TWRC_DATANOTAVAILABLE;
            continue;
        }
        switch (info.InfoID) {
        case TWEI_BARCODECOUNT:
            putValues(info, TWTY_UINT32, {TW_UINT32(codes.size())});
            break;
        case TWEI_BARCODETYPE:
            putValues(info, TWTY_UINT32, perCode(&SimBarcode::type));
            break;
        case TWEI_BARCODEX:
            putValues(info, TWTY_UINT32, perCode(&SimBarcode::x));
            break;
        case TWEI_BARCODEY:
            putValues(info, TWTY_UINT32, perCode(&SimBarcode::y));
            break;
        case TWEI_BARCODEROTATION:
            putValues(info, TWTY_UINT32, perCode(&SimBarcode::rotation));
            break;
        case TWEI_BARCODECONFIDENCE:
            putValues(info, TWTY_UINT32, perCode(&SimBarcode::confidence));
            break;
        case TWEI_BARCODETEXTLENGTH: {
            std::vector<TW_UINT32> lengths;
            for (const SimBarcode &code : codes)
                lengths.push_back(TW_UINT32(code.claimedLength >= 0 ? code.claimedLength : code.text.toUtf8().size()));
            putValues(info, TWTY_UINT32, lengths);
            break;
        }
        case TWEI_BARCODETEXT: {
            // One block with every text one after the other; the lengths
            // of TWEI_BARCODETEXTLENGTH cut it apart.
            QByteArray texts;
            for (const SimBarcode &code : codes)
                texts += code.text.toUtf8();
            TW_HANDLE handle = memory.allocate(TW_UINT32(std::max(1, texts.size())));
            auto *to = static_cast<char *>(memory.lock(handle));
            if (!to) {
                info.ReturnCode = TWRC_DATANOTAVAILABLE;
                break;
            }
            std::memcpy(to, texts.constData(), std::size_t(texts.size()));
            memory.unlock(handle);
            info.ItemType = TWTY_HANDLE;
            info.NumItems = TW_UINT16(codes.size());
            info.ReturnCode = TWRC_SUCCESS;
            info.Item = reinterpret_cast<TW_UINTPTR>(handle);
            break;
        }
        case TWEI_PAGESIDE:
            if (!config.pageSide) {
                info.ReturnCode = TWRC_INFONOTSUPPORTED;
                break;
            }
            putValues(info, TWTY_UINT16, {TW_UINT32(ref.back ? TWCS_BOTTOM : TWCS_TOP)});
            break;
        case TWEI_CAMERA: {
            if (!config.pageSide) {
                info.ReturnCode = TWRC_INFONOTSUPPORTED;
                break;
            }
            const char *camera = ref.back ? "BOTTOM" : "TOP";
            TW_HANDLE handle =
                memory.allocate(config.cameraUnterminated ? TW_UINT32(std::strlen(camera)) : sizeof(TW_STR255));
            auto *to = static_cast<char *>(memory.lock(handle));
            if (!to) {
                info.ReturnCode = TWRC_DATANOTAVAILABLE;
                break;
            }
            std::memcpy(to, camera, std::strlen(camera) + (config.cameraUnterminated ? 0 : 1));
            if (lie == QLatin1String("cameraFull"))  // the whole text type, no closing zero
                std::memset(to + std::strlen(camera), ' ', sizeof(TW_STR255) - std::strlen(camera));
            memory.unlock(handle);
            cameraBlock = handle;
            info.ItemType = TWTY_STR255;
            info.NumItems = 1;
            info.ReturnCode = TWRC_SUCCESS;
            info.Item = reinterpret_cast<TW_UINTPTR>(handle);
            break;
        }
        case TWEI_PAGENUMBER:
            putValues(info, TWTY_UINT32, {TW_UINT32(m_current + 1)});
            break;
        case TWEI_DOCUMENTNUMBER:
            putValues(info, TWTY_UINT32, {TW_UINT32(ref.sheet + 1)});
            break;
        case TWEI_PIXELFLAVOR:
            putValues(info, TWTY_UINT16, {TWPF_CHOCOLATE});
            break;
        default:
            info.ReturnCode = TWRC_INFONOTSUPPORTED;
            break;
        }
    }
    return succeed(true);
}
