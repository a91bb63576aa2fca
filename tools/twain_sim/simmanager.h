#pragma once
// The simulated data source manager and its sources, behind DSM_Entry. It
// keeps the TWAIN state of the application's session (2: manager closed,
// 3: open, 4 to 7: the open source's states) and refuses every triplet sent
// in a state the standard does not allow, with TWRC_FAILURE, TWCC_SEQERROR
// and a trace line. Events reach the application from the manager's own
// thread through the registered callback, or wait for MSG_PROCESSEVENT.

#include "simconfig.h"
#include "simpage.h"

#include <QString>

class TwainMemory;

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class SimManager
{
public:
    SimManager() = default;
    ~SimManager();

    TW_UINT16 call(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dataGroup, TW_UINT16 dataArgType,
                   TW_UINT16 message, TW_MEMREF data);

private:
    struct PageRef
    {
        int sheet;
        bool back;
    };

    int stateLocked() const;
    TW_UINT16 fail(bool toSource, TW_UINT16 condition, const QString &why, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg);
    TW_UINT16 succeed(bool toSource, TW_UINT16 rc = TWRC_SUCCESS);

    TW_UINT16 openManager(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg);
    TW_UINT16 closeManager(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg);
    TW_UINT16 identity(TW_UINT16 msg, pTW_IDENTITY data, TW_UINT32 dg, TW_UINT16 dat);
    TW_UINT16 capability(TW_UINT16 msg, pTW_CAPABILITY cap, TW_UINT32 dg, TW_UINT16 dat);
    TW_UINT16 userInterface(TW_UINT16 msg, pTW_USERINTERFACE ui, TW_UINT32 dg, TW_UINT16 dat);
    TW_UINT16 pendingTransfers(TW_UINT16 msg, pTW_PENDINGXFERS pending, TW_UINT32 dg, TW_UINT16 dat);
    TW_UINT16 nativeTransfer(TW_HANDLE *handle, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg);
    TW_UINT16 memoryTransfer(pTW_IMAGEMEMXFER xfer, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg);
    TW_UINT16 imageInfo(pTW_IMAGEINFO info, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg);
    TW_UINT16 extImageInfo(pTW_EXTIMAGEINFO ext, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg);
    TW_UINT16 lyingContainer(pTW_CAPABILITY cap, const QString &kind, TwainMemory &memory);

    // The capability as the source answers it now (derived ones computed),
    // or null when the source has none of that id.
    const SimCapability *lookup(TW_UINT16 id, SimCapability *scratch) const;
    CapValue capValue(TW_UINT16 id, CapValue fallback) const;
    bool loadPage(QString *why);
    TW_UINT16 remaining() const;
    void finishPage();
    void post(TW_UINT16 message);
    void eventLoop();
    void stopEventThread();

    std::mutex m_mutex;  // everything below; the event thread takes it too
    bool m_open = false;
    TW_IDENTITY m_app = {};
    QVector<SimSourceConfig> m_configs;
    std::vector<TW_IDENTITY> m_identities;
    std::size_t m_listed = 0;
    std::size_t m_default = 0;
    TW_UINT16 m_managerCondition = TWCC_SUCCESS;

    int m_source = -1;  // index of the open source
    int m_state = 3;    // 4 to 7 while a source is open
    std::map<TW_UINT16, SimCapability> m_caps;
    TW_UINT16 m_sourceCondition = TWCC_SUCCESS;
    TWAIN_CALLBACK m_callback = nullptr;
    std::deque<TW_UINT16> m_waiting;  // for MSG_PROCESSEVENT

    std::vector<PageRef> m_batch;
    std::size_t m_current = 0;
    bool m_pageLoaded = false;
    bool m_pageDone = false;
    int m_strips = 0;
    int m_rowsSent = 0;
    bool m_stopFeeder = false;
    int m_disableRefusals = 0;
    int m_endXferRefused = 0;
    SimPage m_page;

    std::thread m_thread;
    std::condition_variable m_wake;
    std::deque<TW_UINT16> m_outgoing;  // for the callback
    bool m_quit = false;
};
