// The simulated manager as an application meets it through the loader: the
// TWAIN states (every triplet legal or refused by state), the capability
// containers, the source's events and calls that overlap.

#include "simsession.h"

#include <QtTest>

#include <atomic>
#include <thread>

namespace {

// Two small synthesised sheets; events the message way unless a test
// registers the callback.
const QByteArray kSources = R"({"sources": [
  {"productName": "Sim A", "protocol": "2.4", "sheetCount": 2, "pageSize": [1, 1],
   "capabilities": {
     "ICAP_XRESOLUTION": {"type": "FIX32", "range": {"min": 100, "max": 600, "step": 100}, "current": 100},
     "ICAP_YRESOLUTION": {"type": "FIX32", "value": 100},
     "0x8001": {"type": "UINT32", "range": {"min": 10, "max": 20, "step": 0}, "current": 12}}},
  {"productName": "Sim Old", "protocol": "1.9", "twain2": false, "sheetCount": 1, "pageSize": [1, 1],
   "settingsDialog": "cancel"},
  {"productName": "Sim Closing", "sheetCount": 1, "pageSize": [1, 1], "closeRequestAfterBatch": true}
]})";

enum Call {
    OpenDsm,
    CloseDsm,
    GetFirst,
    EntryPoint,
    OpenDs,
    CloseDs,
    CapGet,
    CapSet,
    EnableDs,
    DisableDs,
    ProcessEvent,
    RegisterCallback,
    ImageInfo,
    NativeXfer,
    ExtImageInfo,
    EndXfer,
    ResetXfers,
    StopFeeder,
    SetupMemXfer,
    UnknownTriplet,
    WrongDestination,
};

} // namespace

class SimManagerTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void stateRules_data();
    void stateRules();
    void sourcesListedAndOpenedByName();
    void brokenSourcesFileRefusesToOpen();

    void containersOfEachKind();
    void setValues_data();
    void setValues();

    void xferReadyFromTheManagersThread();
    void eventsByMessageWithoutCallback();
    void settingsDialogAnswers_data();
    void settingsDialogAnswers();
    void closeRequestAfterBatch();
    void overlappingCallsRefused();

private:
    void driveTo(int state);
    int probeState();
    TW_UINT16 send(Call call);
    std::unique_ptr<SimSession> s;
};

void SimManagerTest::init()
{
    s.reset(new SimSession);
    s->writeSources(kSources);
}

void SimManagerTest::cleanup()
{
    s.reset();
    QCOMPARE(SimSession::liveHandles(), 0);
}

void SimManagerTest::driveTo(int state)
{
    if (state >= 3)
        QVERIFY(s->openManager());
    if (state >= 4)
        QVERIFY(s->openSource("Sim A"));
    if (state >= 5)
        QVERIFY(s->enable());
    if (state >= 6)
        QVERIFY(s->fetchXferReady());
    if (state >= 7) {
        TW_HANDLE dib = nullptr;
        QCOMPARE(s->ds(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TW_UINT16(TWRC_XFERDONE));
        s->entry.DSM_MemFree(dib);
    }
}

// Finds the state with calls that change nothing a test looks at.
int SimManagerTest::probeState()
{
    TW_IDENTITY id = {};
    if (s->dsm(DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &id) != TWRC_SUCCESS)
        return 2;
    TW_PENDINGXFERS pending = {};
    if (s->ds(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending) != TWRC_SUCCESS)
        return 3;
    TW_IMAGEINFO info = {};
    if (s->ds(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info) != TWRC_SUCCESS) {
        TW_CAPABILITY cap = {ICAP_UNITS, TWON_DONTCARE16, nullptr};
        const bool four = s->ds(DG_CONTROL, DAT_CAPABILITY, MSG_RESET, &cap) == TWRC_SUCCESS;
        if (cap.hContainer)
            s->entry.DSM_MemFree(cap.hContainer);
        return four ? 4 : 5;
    }
    TW_SETUPMEMXFER setup = {};
    return s->ds(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup) == TWRC_SUCCESS ? 6 : 7;
}

TW_UINT16 SimManagerTest::send(Call call)
{
    TW_PENDINGXFERS pending = {};
    TW_USERINTERFACE ui = {};
    TW_CAPABILITY cap = {ICAP_PIXELTYPE, TWON_DONTCARE16, nullptr};
    TW_IDENTITY id = s->source;
    TW_UINT16 rc = TWRC_FAILURE;
    switch (call) {
    case OpenDsm:
        return s->dsm(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &s->parent);
    case CloseDsm:
        return s->dsm(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &s->parent);
    case GetFirst:
        return s->dsm(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &id);
    case EntryPoint: {
        TW_ENTRYPOINT entry = {};
        entry.Size = sizeof entry;
        return s->dsm(DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entry);
    }
    case OpenDs:
        id = {};
        std::strcpy(id.ProductName, "Sim A");
        rc = s->dsm(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &id);
        if (rc == TWRC_SUCCESS)
            s->source = id;
        return rc;
    case CloseDs:
        return s->dsm(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &id);
    case CapGet:
        rc = s->ds(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap);
        if (cap.hContainer)
            s->entry.DSM_MemFree(cap.hContainer);
        return rc;
    case CapSet:
        s->setOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB, &rc);
        return rc;
    case EnableDs:
        return s->ds(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    case DisableDs:
        return s->ds(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
    case ProcessEvent: {
        TW_EVENT event = {};
        return s->ds(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
    }
    case RegisterCallback: {
        TW_CALLBACK2 callback = {reinterpret_cast<TW_MEMREF>(+[](pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16,
                                                                  TW_UINT16, TW_MEMREF) -> TW_UINT16 { return 0; }),
                                 0, 0};
        return s->ds(DG_CONTROL, DAT_CALLBACK2, MSG_REGISTER_CALLBACK, &callback);
    }
    case ImageInfo: {
        TW_IMAGEINFO info = {};
        return s->ds(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
    }
    case NativeXfer: {
        TW_HANDLE dib = nullptr;
        rc = s->ds(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
        if (dib)
            s->entry.DSM_MemFree(dib);
        return rc;
    }
    case ExtImageInfo: {
        TW_EXTIMAGEINFO ext = {};
        ext.NumInfos = 1;
        ext.Info[0].InfoID = TWEI_PAGENUMBER;
        return s->ds(DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, &ext);
    }
    case EndXfer:
        return s->ds(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    case ResetXfers:
        return s->ds(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
    case StopFeeder:
        return s->ds(DG_CONTROL, DAT_PENDINGXFERS, MSG_STOPFEEDER, &pending);
    case SetupMemXfer: {
        TW_SETUPMEMXFER setup = {};
        return s->ds(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
    }
    case UnknownTriplet: {
        char record[64] = {};
        return s->ds(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, record);
    }
    case WrongDestination: {
        TW_IDENTITY other = s->source;
        other.Id += 7;
        return s->library().entry()(&s->app, &other, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap);
    }
    }
    return rc;
}

void SimManagerTest::stateRules_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("call");
    QTest::addColumn<int>("rc");
    QTest::addColumn<int>("condition");
    QTest::addColumn<int>("after");
    const int ok = TWRC_SUCCESS, no = TWRC_FAILURE, seq = TWCC_SEQERROR, none = TWCC_SUCCESS;
    struct Row
    {
        const char *name;
        int state, call, rc, condition, after;
    };
    const Row rows[] = {
        {"2 open manager", 2, OpenDsm, ok, none, 3},
        {"2 close manager", 2, CloseDsm, no, seq, 2},
        {"2 list sources", 2, GetFirst, no, seq, 2},
        {"2 entry point", 2, EntryPoint, no, seq, 2},
        {"2 open source", 2, OpenDs, no, seq, 2},
        {"3 open manager again", 3, OpenDsm, no, seq, 3},
        {"3 list sources", 3, GetFirst, ok, none, 3},
        {"3 open source", 3, OpenDs, ok, none, 4},
        {"3 close source", 3, CloseDs, no, seq, 3},
        {"3 capability", 3, CapGet, no, seq, 3},
        {"3 enable", 3, EnableDs, no, seq, 3},
        {"3 close manager", 3, CloseDsm, ok, none, 2},
        {"4 close manager", 4, CloseDsm, no, seq, 4},
        {"4 open second source", 4, OpenDs, no, seq, 4},
        {"4 get capability", 4, CapGet, ok, none, 4},
        {"4 set capability", 4, CapSet, ok, none, 4},
        {"4 register callback", 4, RegisterCallback, ok, none, 4},
        {"4 pump a window message", 4, ProcessEvent, TWRC_NOTDSEVENT, none, 4},
        {"4 disable", 4, DisableDs, no, seq, 4},
        {"4 image info", 4, ImageInfo, no, seq, 4},
        {"4 native transfer", 4, NativeXfer, no, seq, 4},
        {"4 end transfer", 4, EndXfer, no, seq, 4},
        {"4 unknown triplet", 4, UnknownTriplet, no, TWCC_BADPROTOCOL, 4},
        {"4 another source's Id", 4, WrongDestination, no, TWCC_BADDEST, 4},
        {"4 enable", 4, EnableDs, ok, none, 5},
        {"4 close source", 4, CloseDs, ok, none, 3},
        {"5 set capability", 5, CapSet, no, seq, 5},
        {"5 get capability", 5, CapGet, ok, none, 5},
        {"5 enable again", 5, EnableDs, no, seq, 5},
        {"5 close source", 5, CloseDs, no, seq, 5},
        {"5 native transfer before the event", 5, NativeXfer, no, seq, 5},
        {"5 end transfer", 5, EndXfer, no, seq, 5},
        {"5 register callback", 5, RegisterCallback, no, seq, 5},
        {"5 transfer-ready event", 5, ProcessEvent, TWRC_DSEVENT, none, 6},
        {"5 disable", 5, DisableDs, ok, none, 4},
        {"6 disable", 6, DisableDs, no, seq, 6},
        {"6 set capability", 6, CapSet, no, seq, 6},
        {"6 close manager", 6, CloseDsm, no, seq, 6},
        {"6 extended image info before a page", 6, ExtImageInfo, no, seq, 6},
        {"6 image info", 6, ImageInfo, ok, none, 6},
        {"6 buffer sizes", 6, SetupMemXfer, ok, none, 6},
        {"6 stop feeder", 6, StopFeeder, ok, none, 6},
        {"6 native transfer", 6, NativeXfer, TWRC_XFERDONE, none, 7},
        {"6 end transfer", 6, EndXfer, ok, none, 6},
        {"6 reset transfers", 6, ResetXfers, ok, none, 5},
        {"7 second native transfer", 7, NativeXfer, no, seq, 7},
        {"7 reset transfers", 7, ResetXfers, no, seq, 7},
        {"7 disable", 7, DisableDs, no, seq, 7},
        {"7 close source", 7, CloseDs, no, seq, 7},
        {"7 buffer sizes", 7, SetupMemXfer, no, seq, 7},
        {"7 extended image info", 7, ExtImageInfo, ok, none, 7},
        {"7 end transfer", 7, EndXfer, ok, none, 6},
    };
    for (const Row &r : rows)
        QTest::newRow(r.name) << r.state << r.call << r.rc << r.condition << r.after;
}

void SimManagerTest::stateRules()
{
    QFETCH(int, state);
    QFETCH(int, call);
    QFETCH(int, rc);
    QFETCH(int, condition);
    QFETCH(int, after);
    driveTo(state);
    QCOMPARE(int(send(Call(call))), rc);
    if (rc == TWRC_FAILURE) {
        const bool toSource = state >= 4 && call != CloseDsm && call != OpenDs && call != CloseDs && call != OpenDsm;
        QCOMPARE(int(s->condition(toSource)), condition);
        // Loud: the refusal names the triplet, the state and the condition.
        QVERIFY2(s->traced(QStringLiteral("in state %1").arg(state)), qPrintable(s->trace().join('\n')));
    }
    QCOMPARE(probeState(), after);
}

void SimManagerTest::sourcesListedAndOpenedByName()
{
    QVERIFY(s->openManager());
    QVERIFY(s->app.SupportedGroups & DF_DSM2);
    QVERIFY(s->app.Id != 0);
    QStringList names;
    TW_IDENTITY id = {};
    for (TW_UINT16 msg = MSG_GETFIRST; s->dsm(DG_CONTROL, DAT_IDENTITY, msg, &id) == TWRC_SUCCESS; msg = MSG_GETNEXT)
        names << QString::fromLatin1(id.ProductName) + QStringLiteral("(%1.%2)").arg(id.ProtocolMajor).arg(id.ProtocolMinor);
    QCOMPARE(names, QStringList({"Sim A(2.4)", "Sim Old(1.9)", "Sim Closing(2.4)"}));
    QCOMPARE(s->dsm(DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &id), TW_UINT16(TWRC_ENDOFLIST));

    QVERIFY(s->openSource("Sim Old"));
    QCOMPARE(QString::fromLatin1(s->source.ProductName), QStringLiteral("Sim Old"));
    QCOMPARE(s->source.SupportedGroups & DF_DS2, 0u);
    QVERIFY(s->dsm(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &s->source) == TWRC_SUCCESS);

    // Id 0 and no name: the default source, which MSG_SET chooses.
    TW_IDENTITY closing = {};
    std::strcpy(closing.ProductName, "Sim Closing");
    QCOMPARE(s->dsm(DG_CONTROL, DAT_IDENTITY, MSG_SET, &closing), TW_UINT16(TWRC_SUCCESS));
    QVERIFY(s->openSource());
    QCOMPARE(QString::fromLatin1(s->source.ProductName), QStringLiteral("Sim Closing"));
}

void SimManagerTest::brokenSourcesFileRefusesToOpen()
{
    s->writeSources(R"({"sources": [{"productName": "X", "capabilities": {"ICAP_NOSUCH": {}}}]})");
    QVERIFY(!s->openManager());
    QVERIFY(s->traced(QStringLiteral("unknown capability ICAP_NOSUCH")));
    s->writeSources(R"({"sources": [{"productName": "X", "sheets": [{"front": "missing.png"}]}]})");
    QVERIFY(!s->openManager());
    QVERIFY(s->traced(QStringLiteral("missing.png does not exist")));
}

void SimManagerTest::containersOfEachKind()
{
    driveTo(4);
    auto get = [&](TW_UINT16 id, TW_UINT16 msg, TW_UINT16 conType) {
        TW_CAPABILITY cap = {id, TWON_DONTCARE16, nullptr};
        if (s->ds(DG_CONTROL, DAT_CAPABILITY, msg, &cap) != TWRC_SUCCESS || cap.ConType != conType)
            qFatal("capability 0x%x: no container of type %d", id, conType);
        return cap.hContainer;
    };
    {  // one value
        TW_HANDLE h = get(CAP_INDICATORS, MSG_GET, TWON_ONEVALUE);
        auto *one = static_cast<TW_ONEVALUE *>(s->entry.DSM_MemLock(h));
        QCOMPARE(int(one->ItemType), TWTY_BOOL);
        QCOMPARE(one->Item & 0xffff, 1u);
        s->entry.DSM_MemUnlock(h);
        s->entry.DSM_MemFree(h);
    }
    {  // enumeration, and its current value alone
        TW_HANDLE h = get(ICAP_PIXELTYPE, MSG_GET, TWON_ENUMERATION);
        auto *e = static_cast<TW_ENUMERATION *>(s->entry.DSM_MemLock(h));
        QCOMPARE(int(e->ItemType), TWTY_UINT16);
        QCOMPARE(e->NumItems, 3u);
        QCOMPARE(e->CurrentIndex, 1u);
        QCOMPARE(e->DefaultIndex, 1u);
        TW_UINT16 items[3];
        std::memcpy(items, e->ItemList, sizeof items);
        QCOMPARE(items[0], TW_UINT16(TWPT_BW));
        QCOMPARE(items[2], TW_UINT16(TWPT_RGB));
        s->entry.DSM_MemUnlock(h);
        s->entry.DSM_MemFree(h);
        h = get(ICAP_PIXELTYPE, MSG_GETCURRENT, TWON_ONEVALUE);
        QCOMPARE(static_cast<TW_ONEVALUE *>(s->entry.DSM_MemLock(h))->Item & 0xffff, TW_UINT32(TWPT_GRAY));
        s->entry.DSM_MemFree(h);
    }
    {  // range of FIX32 values: 100.0 is Whole 100, Frac 0
        TW_HANDLE h = get(ICAP_XRESOLUTION, MSG_GET, TWON_RANGE);
        auto *r = static_cast<TW_RANGE *>(s->entry.DSM_MemLock(h));
        QCOMPARE(int(r->ItemType), TWTY_FIX32);
        QCOMPARE(r->MinValue, 100u);
        QCOMPARE(r->MaxValue, 600u);
        QCOMPARE(r->StepSize, 100u);
        QCOMPARE(r->CurrentValue, 100u);
        s->entry.DSM_MemFree(h);
    }
    {  // a range without a step
        TW_HANDLE h = get(0x8001, MSG_GET, TWON_RANGE);
        auto *r = static_cast<TW_RANGE *>(s->entry.DSM_MemLock(h));
        QCOMPARE(r->StepSize, 0u);
        QCOMPARE(r->MinValue, 10u);
        QCOMPARE(r->MaxValue, 20u);
        QCOMPARE(r->CurrentValue, 12u);
        s->entry.DSM_MemFree(h);
    }
    {  // array: what extended image information the source knows
        TW_HANDLE h = get(ICAP_SUPPORTEDEXTIMAGEINFO, MSG_GET, TWON_ARRAY);
        auto *a = static_cast<TW_ARRAY *>(s->entry.DSM_MemLock(h));
        QCOMPARE(int(a->ItemType), TWTY_UINT16);
        QVector<TW_UINT16> ids(int(a->NumItems));
        std::memcpy(ids.data(), a->ItemList, a->NumItems * 2);
        QVERIFY(ids.contains(TWEI_PAGESIDE) && ids.contains(TWEI_BARCODETEXT) && ids.contains(TWEI_CAMERA));
        s->entry.DSM_MemFree(h);
    }
    TW_CAPABILITY unknown = {0x9999, TWON_DONTCARE16, nullptr};
    QCOMPARE(s->ds(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &unknown), TW_UINT16(TWRC_FAILURE));
    QCOMPARE(s->condition(true), TW_UINT16(TWCC_CAPUNSUPPORTED));
    QVERIFY(!unknown.hContainer);
}

void SimManagerTest::setValues_data()
{
    QTest::addColumn<int>("cap");
    QTest::addColumn<int>("type");
    QTest::addColumn<uint>("value");
    QTest::addColumn<int>("rc");
    QTest::addColumn<int>("condition");
    QTest::addColumn<uint>("current");
    const int ok = TWRC_SUCCESS, no = TWRC_FAILURE;
    QTest::newRow("one value") << CAP_INDICATORS << TWTY_BOOL << 0u << ok << int(TWCC_SUCCESS) << 0u;
    QTest::newRow("read-only one value") << CAP_DUPLEX << TWTY_UINT16 << 0u << no << int(TWCC_CAPBADOPERATION) << 1u;
    QTest::newRow("enumeration item") << ICAP_PIXELTYPE << TWTY_UINT16 << uint(TWPT_RGB) << ok << int(TWCC_SUCCESS) << uint(TWPT_RGB);
    QTest::newRow("not an enumeration item") << ICAP_PIXELTYPE << TWTY_UINT16 << 7u << no << int(TWCC_BADVALUE) << uint(TWPT_GRAY);
    QTest::newRow("wrong item type") << ICAP_PIXELTYPE << TWTY_UINT32 << uint(TWPT_RGB) << no << int(TWCC_BADVALUE) << uint(TWPT_GRAY);
    QTest::newRow("range, on the grid") << ICAP_XRESOLUTION << TWTY_FIX32 << 300u << ok << int(TWCC_SUCCESS) << 300u;
    QTest::newRow("range, off the grid") << ICAP_XRESOLUTION << TWTY_FIX32 << 250u << int(TWRC_CHECKSTATUS)
                                         << int(TWCC_SUCCESS) << 200u;
    QTest::newRow("range, above") << ICAP_XRESOLUTION << TWTY_FIX32 << 700u << no << int(TWCC_BADVALUE) << 100u;
    QTest::newRow("step 0, inside") << 0x8001 << TWTY_UINT32 << 17u << ok << int(TWCC_SUCCESS) << 17u;
    QTest::newRow("step 0, outside") << 0x8001 << TWTY_UINT32 << 21u << no << int(TWCC_BADVALUE) << 12u;
    QTest::newRow("array") << ICAP_SUPPORTEDEXTIMAGEINFO << TWTY_UINT16 << uint(TWEI_PAGESIDE) << no
                           << int(TWCC_CAPBADOPERATION) << 0u;
}

void SimManagerTest::setValues()
{
    QFETCH(int, cap);
    QFETCH(int, type);
    QFETCH(uint, value);
    QFETCH(int, rc);
    QFETCH(int, condition);
    QFETCH(uint, current);
    driveTo(4);
    TW_UINT16 result = 0;
    s->setOneValue(TW_UINT16(cap), TW_UINT16(type), value, &result);
    QCOMPARE(int(result), rc);
    QCOMPARE(int(s->condition(true)), condition);
    if (cap == ICAP_SUPPORTEDEXTIMAGEINFO)
        return;
    TW_CAPABILITY c = {TW_UINT16(cap), TWON_DONTCARE16, nullptr};
    QCOMPARE(s->ds(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &c), TW_UINT16(TWRC_SUCCESS));
    TW_UINT32 item = static_cast<TW_ONEVALUE *>(s->entry.DSM_MemLock(c.hContainer))->Item;
    if (type == TWTY_BOOL || cap == CAP_DUPLEX || cap == ICAP_PIXELTYPE)
        item &= 0xffff;
    QCOMPARE(uint(item), current);
    s->entry.DSM_MemFree(c.hContainer);
    // MSG_RESET brings the default back.
    TW_CAPABILITY r = {TW_UINT16(cap), TWON_DONTCARE16, nullptr};
    if (s->ds(DG_CONTROL, DAT_CAPABILITY, MSG_RESET, &r) == TWRC_SUCCESS)
        s->entry.DSM_MemFree(r.hContainer);
}

namespace {

struct Received
{
    std::atomic<int> message{-1};
    std::atomic<bool> otherThread{false};
    std::atomic<TW_UINT32> origin{0};
    std::thread::id caller;
};
Received *received = nullptr;

TW_UINT16 recordEvent(pTW_IDENTITY origin, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16 msg, TW_MEMREF)
{
    received->origin = origin ? origin->Id : 0;
    received->otherThread = std::this_thread::get_id() != received->caller;
    received->message = msg;
    return TWRC_SUCCESS;
}

} // namespace

void SimManagerTest::xferReadyFromTheManagersThread()
{
    Received r;
    r.caller = std::this_thread::get_id();
    received = &r;
    driveTo(4);
    TW_CALLBACK2 callback = {reinterpret_cast<TW_MEMREF>(&recordEvent), 0, 0};
    QCOMPARE(s->ds(DG_CONTROL, DAT_CALLBACK2, MSG_REGISTER_CALLBACK, &callback), TW_UINT16(TWRC_SUCCESS));
    QVERIFY(s->enable());
    QTRY_COMPARE(r.message.load(), MSG_XFERREADY);
    QVERIFY(r.otherThread.load());
    QCOMPARE(r.origin.load(), s->source.Id);
    // With the callback, the window-message way stays quiet, and the source
    // is already in state 6 when the application hears of it.
    TW_EVENT event = {};
    QCOMPARE(s->ds(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TW_UINT16(TWRC_NOTDSEVENT));
    QCOMPARE(probeState(), 6);

    // A source closed and opened again has forgotten the callback.
    s->shutdown();
    r.message = -1;
    driveTo(5);
    QVERIFY(s->fetchXferReady());
    QCOMPARE(r.message.load(), -1);
    received = nullptr;

    // A TWAIN 1.x source takes no callback.
    s->shutdown();
    QVERIFY(s->openManager());
    QVERIFY(s->openSource("Sim Old"));
    QCOMPARE(s->ds(DG_CONTROL, DAT_CALLBACK2, MSG_REGISTER_CALLBACK, &callback), TW_UINT16(TWRC_FAILURE));
    QCOMPARE(s->condition(true), TW_UINT16(TWCC_BADPROTOCOL));
}

void SimManagerTest::eventsByMessageWithoutCallback()
{
    driveTo(4);
    TW_EVENT event = {};
    event.TWMessage = 0x7777;
    QCOMPARE(s->ds(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TW_UINT16(TWRC_NOTDSEVENT));
    QCOMPARE(event.TWMessage, TW_UINT16(MSG_NULL));
    QVERIFY(s->enable());
    QCOMPARE(probeState(), 5);
    QCOMPARE(s->ds(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TW_UINT16(TWRC_DSEVENT));
    QCOMPARE(event.TWMessage, TW_UINT16(MSG_XFERREADY));
    QCOMPARE(s->ds(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TW_UINT16(TWRC_NOTDSEVENT));
}

void SimManagerTest::settingsDialogAnswers_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<int>("message");
    QTest::newRow("ok") << QByteArray("Sim A") << MSG_CLOSEDSOK;
    QTest::newRow("cancel") << QByteArray("Sim Old") << MSG_CLOSEDSREQ;
}

void SimManagerTest::settingsDialogAnswers()
{
    QFETCH(QByteArray, source);
    QFETCH(int, message);
    QVERIFY(s->openManager());
    QVERIFY(s->openSource(source.constData()));
    TW_USERINTERFACE ui = {TWAIN_TRUE, TWAIN_TRUE, nullptr};
    QCOMPARE(s->ds(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, &ui), TW_UINT16(TWRC_SUCCESS));
    TW_EVENT event = {};
    QCOMPARE(s->ds(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TW_UINT16(TWRC_DSEVENT));
    QCOMPARE(int(event.TWMessage), message);
    QCOMPARE(s->ds(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TW_UINT16(TWRC_SUCCESS));
}

void SimManagerTest::closeRequestAfterBatch()
{
    QVERIFY(s->openManager());
    QVERIFY(s->openSource("Sim Closing"));
    QVERIFY(s->enable());
    QVERIFY(s->fetchXferReady());
    QCOMPARE(send(NativeXfer), TW_UINT16(TWRC_XFERDONE));
    TW_UINT16 count = 1;
    QCOMPARE(s->endTransfer(&count), TW_UINT16(TWRC_SUCCESS));
    QCOMPARE(count, TW_UINT16(0));
    TW_EVENT event = {};
    QCOMPARE(s->ds(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TW_UINT16(TWRC_DSEVENT));
    QCOMPARE(event.TWMessage, TW_UINT16(MSG_CLOSEDSREQ));
}

namespace {

struct Overlap
{
    SimSession *session = nullptr;
    TW_UINT16 dat = 0;
    std::atomic<int> secondResult{-1};
    bool armed = true;
};

// Runs inside the first call: a second thread calls in meanwhile.
void callFromAnotherThread(TW_UINT32, TW_UINT16 dat, TW_UINT16, void *context)
{
    auto *o = static_cast<Overlap *>(context);
    if (!o->armed || dat != o->dat)
        return;
    o->armed = false;
    std::thread second([o] {
        TW_EVENT event = {};
        o->secondResult = o->session->ds(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
    });
    second.join();
}

} // namespace

void SimManagerTest::overlappingCallsRefused()
{
    driveTo(6);
    Overlap overlap;
    overlap.session = s.get();
    overlap.dat = DAT_IMAGENATIVEXFER;
    SimSession::setCallHook(&callFromAnotherThread, &overlap);
    const TW_UINT16 first = send(NativeXfer);
    SimSession::setCallHook(nullptr, nullptr);
    QCOMPARE(overlap.secondResult.load(), int(TWRC_FAILURE));
    QVERIFY(s->traced(QStringLiteral("must not overlap")));
    // The call that was inside is not disturbed.
    QCOMPARE(first, TW_UINT16(TWRC_XFERDONE));
    QCOMPARE(probeState(), 7);
}

QTEST_GUILESS_MAIN(SimManagerTest)
#include "simmanager_test.moc"
