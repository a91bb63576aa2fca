// The TWAIN application layer against the simulated manager, loaded through
// the layer's own binding.

#include "dsmlibrary.h"
#include "twainapp.h"
#include "twainmemory.h"
#include "simsession.h"
#include "twainsim.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <climits>
#include <cstring>

namespace {

const QByteArray kSources = R"({"sources": [
  {"productName": "Callback Source", "manufacturer": "Lab", "productFamily": "Sim", "twain2": true,
   "capabilities": {
     "ICAP_XRESOLUTION": {"type": "FIX32", "range": {"min": 100, "max": 600, "step": 100}, "current": 200},
     "CAP_DUPLEXENABLED": {"type": "BOOL", "value": true},
     "0x9001": {"type": "UINT16", "range": {"min": 5, "max": 10, "step": 0}, "current": 5},
     "0x9002": {"type": "INT16", "array": [3, -4, 5]}
   },
   "sheets": [{}], "countKnown": true},
  {"productName": "Message Source", "manufacturer": "Lab", "productFamily": "Sim", "twain2": false,
   "sheets": [{"frontBarcodes": [{"type": 20, "text": "S0001", "x": 120, "y": 80},
                                 {"type": 4, "text": "A-77", "x": 10, "y": 900, "rotation": 2}]},
              {}],
   "countKnown": true}
]})";

std::atomic<int> g_lastCallbackMessage{-1};

TW_UINT16 recordCallback(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16 message, TW_MEMREF)
{
    g_lastCallbackMessage = message;
    return TWRC_SUCCESS;
}

TW_UINT32 idOf(TwainApp &app, const char *productName)
{
    for (const TW_IDENTITY &source : app.m_sources)
        if (std::strcmp(source.ProductName, productName) == 0)
            return source.Id;
    return 0;
}

} // namespace

class TwainAppTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void stateMachineThroughTheLayer();
    void callbackFlagFollowsTheOpenSource();
    void refusalsOutOfOrder_data();
    void refusalsOutOfOrder();
    void closeDSMBringsAnEnabledSourceDown();

    void capabilities();
    void rangeWalksEnd_data();
    void rangeWalksEnd();
    void lyingContainers_data();
    void lyingContainers();
    void extInfoItemsWithoutTheirBlock_data();
    void extInfoItemsWithoutTheirBlock();
    void fix32_data();
    void fix32();
    void names();

    void extImageInfoWithBarcodes();
    void barcodeTextsReadWithinTheirBlock();
    void managerVerifiedBeforeLoadByFullPath();

private:
    QString log() const { return m_log.join(QString()); }
    void openAndLoad(TwainApp &app, const char *source);
    void transferOnePage(TwainApp &app);

    QTemporaryDir m_dir;
    QStringList m_log;
};

void TwainAppTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    SimSession::useSimulatedManager(m_dir.path(), kSources);
}

void TwainAppTest::init()
{
    m_log.clear();
    setTwainTraceSink([this](bool error, const char *text) {
        m_log << (error ? QStringLiteral("E:") : QString()) + QString::fromLocal8Bit(text);
    });
    g_lastCallbackMessage = -1;
}

void TwainAppTest::cleanup()
{
    setTwainTraceSink(nullptr);
    setDsmTrustCheck(nullptr);
    unloadDSMLib();
    QCOMPARE(SimSession::liveHandles(), 0);
    QCOMPARE(TwainMemory::process().liveHandles(), 0);
}

void TwainAppTest::openAndLoad(TwainApp &app, const char *source)
{
    app.m_callback = recordCallback;
    app.fillIdentity(app.m_appIdentity);
    app.openDSM();
    QCOMPARE(int(app.m_DSMState), 3);
    const TW_UINT32 id = idOf(app, source);
    QVERIFY(id != 0);
    app.loadDS(int(id));
    QCOMPARE(int(app.m_DSMState), 4);
}

void TwainAppTest::transferOnePage(TwainApp &app)
{
    QVERIFY(app.enableDS(nullptr, TWAIN_FALSE));
    QCOMPARE(int(app.m_DSMState), 5);
    // Polled the message way; once seen, the event is not asked for again.
    bool ready = false;
    auto poll = [&] {
        TW_EVENT event = {};
        return callDSMEntry(app.getAppIdentity(), app.m_currentSource, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event)
                   == TWRC_DSEVENT
               && event.TWMessage == MSG_XFERREADY;
    };
    QTRY_VERIFY(ready || (ready = poll()));
    app.m_DSMState = 6;
    QVERIFY(app.getImageInfo());
    QVERIFY(app.m_imageInfo.ImageWidth > 0);
    TW_HANDLE dib = nullptr;
    QCOMPARE(app.dsmCall(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TW_UINT16(TWRC_XFERDONE));
    QVERIFY(dib);
    dsmMemFree(dib);
    app.m_DSMState = 7;
}

void TwainAppTest::stateMachineThroughTheLayer()
{
    TwainApp app;
    QCOMPARE(int(app.m_DSMState), 1);
    app.fillIdentity(app.m_appIdentity);
    app.openDSM();
    QCOMPARE(int(app.m_DSMState), 3);
    QVERIFY(app.m_appIdentity.Id != 0);  // given by the manager
    QVERIFY(app.m_appIdentity.SupportedGroups & DF_DSM2);
    QCOMPARE(int(app.m_sources.size()), 2);
    QVERIFY(log().contains(QStringLiteral("Successfully opened the DSM\n")));

    pTW_IDENTITY selected = app.selectDataSource(1);
    QCOMPARE(selected, &app.m_sources[1]);
    QCOMPARE(app.getDefaultDataSource()->Id, app.m_sources[1].Id);  // the selection is the manager's default now
    QCOMPARE(app.selectDataSource(2), nullptr);

    app.loadDS(int(selected->Id));
    QCOMPARE(int(app.m_DSMState), 4);
    QCOMPARE(app.getDataSourceIdentity(-1), selected);
    QVERIFY(app.enableDS(nullptr, TWAIN_FALSE));
    QCOMPARE(int(app.m_DSMState), 5);
    QCOMPARE(int(app.m_userInterface.ModalUI), TWAIN_FALSE);
    app.disableDS();
    QCOMPARE(int(app.m_DSMState), 4);
    QVERIFY(app.enableDSUIOnly(nullptr));
    QCOMPARE(int(app.m_userInterface.ShowUI), TWAIN_TRUE);
    app.disableDS();
    app.unloadDS();
    QCOMPARE(int(app.m_DSMState), 3);
    QCOMPARE(app.m_currentSource, nullptr);

    app.loadDS(0);  // the manager's default source
    QCOMPARE(int(app.m_DSMState), 4);
    QCOMPARE(QByteArray(app.m_currentSource->ProductName), QByteArray("Message Source"));
    app.unloadDS();
    app.closeDSM();
    QCOMPARE(int(app.m_DSMState), 2);
    QVERIFY(log().contains(QStringLiteral("Successfully closed the DSM\n")));
    QVERIFY2(!log().contains(QStringLiteral("E:")), qPrintable(log()));
}

void TwainAppTest::callbackFlagFollowsTheOpenSource()
{
    TwainApp app;
    openAndLoad(app, "Callback Source");
    QVERIFY(gUseCallbacks);
    QVERIFY(app.enableDS(nullptr, TWAIN_FALSE));
    QTRY_COMPARE(g_lastCallbackMessage.load(), int(MSG_XFERREADY));  // events come by the callback
    app.m_DSMState = 6;
    app.stopPendingTransfers();
    app.m_DSMState = 5;
    app.disableDS();
    app.unloadDS();
    QVERIFY(!gUseCallbacks);

    // A source without callbacks opened next gets its events the message way.
    app.loadDS(int(idOf(app, "Message Source")));
    QCOMPARE(int(app.m_DSMState), 4);
    QVERIFY(!gUseCallbacks);
    QVERIFY(log().contains(QStringLiteral("DG_CONTROL / DAT_CALLBACK / MSG_REGISTER_CALLBACK not supported\n")));
    app.closeDSM();
    QCOMPARE(int(app.m_DSMState), 2);
}

void TwainAppTest::refusalsOutOfOrder_data()
{
    QTest::addColumn<int>("state");  // 1: nothing open, 3: manager open, 4: source open
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("list before open") << 1 << "getDataSources" << "You need to open the DSM first.\n";
    QTest::newRow("default before open") << 1 << "getDefaultDataSource" << "You need to open the DSM first.\n";
    QTest::newRow("select before open") << 1 << "selectDataSource" << "You need to open the DSM first.\n";
    QTest::newRow("load before open") << 1 << "loadDS" << "The DSM needs to be opened first.\n";
    QTest::newRow("unload without source") << 3 << "unloadDS" << "You need to open a data source first.\n";
    QTest::newRow("enable without source") << 3 << "enableDS" << "You need to open the data source first.\n";
    QTest::newRow("disable without source") << 3 << "disableDS" << "You need to enable the data source first.\n";
    QTest::newRow("cap without source") << 3 << "getCap" << "You need to open a data source first.\n";
    QTest::newRow("unknown source") << 3 << "loadDS 9999" << "Data source with id: [9999] can not be found\n";
    QTest::newRow("second source") << 4 << "loadDS" << "A source has already been opened, please close it first\n";
    QTest::newRow("select while open") << 4 << "selectDataSource"
                                       << "A source has already been opened, please close it first\n";
    QTest::newRow("open twice") << 4 << "openDSM" << "The DSM has already been opened, close it first\n";
    QTest::newRow("disable not enabled") << 4 << "disableDS" << "You need to enable the data source first.\n";
}

void TwainAppTest::refusalsOutOfOrder()
{
    QFETCH(int, state);
    QFETCH(QString, call);
    QFETCH(QString, refusal);
    TwainApp app;
    app.fillIdentity(app.m_appIdentity);
    if (state >= 3) {
        app.openDSM();
        QCOMPARE(int(app.m_DSMState), 3);
    }
    if (state >= 4) {
        app.loadDS(int(idOf(app, "Message Source")));
        QCOMPARE(int(app.m_DSMState), 4);
    }
    pTW_IDENTITY before = app.m_currentSource;
    m_log.clear();

    bool refused = true;
    if (call == QLatin1String("getDataSources"))
        app.getDataSources();
    else if (call == QLatin1String("getDefaultDataSource"))
        refused = app.getDefaultDataSource() == nullptr;
    else if (call == QLatin1String("selectDataSource"))
        refused = app.selectDataSource(0) == nullptr;
    else if (call == QLatin1String("loadDS"))
        app.loadDS(int(idOf(app, "Callback Source")));
    else if (call == QLatin1String("loadDS 9999"))
        app.loadDS(9999);
    else if (call == QLatin1String("unloadDS"))
        app.unloadDS();
    else if (call == QLatin1String("enableDS"))
        refused = !app.enableDS(nullptr, TWAIN_FALSE);
    else if (call == QLatin1String("disableDS"))
        app.disableDS();
    else if (call == QLatin1String("openDSM"))
        app.openDSM();
    else if (call == QLatin1String("getCap")) {
        TW_CAPABILITY cap = {ICAP_PIXELTYPE, TWON_DONTCARE16, nullptr};
        refused = app.getCap(cap) == TWCC_SEQERROR && !cap.hContainer;
    }
    QVERIFY(refused);
    QCOMPARE(log(), refusal);  // the refusal and nothing the manager said
    QCOMPARE(int(app.m_DSMState), state);
    if (call != QLatin1String("loadDS 9999"))
        QCOMPARE(app.m_currentSource, before);
    app.closeDSM();
}

void TwainAppTest::closeDSMBringsAnEnabledSourceDown()
{
    TwainApp app;
    openAndLoad(app, "Message Source");
    QVERIFY(app.enableDS(nullptr, TWAIN_FALSE));
    app.closeDSM();
    QCOMPARE(int(app.m_DSMState), 2);
    QCOMPARE(app.m_currentSource, nullptr);
    QVERIFY(log().contains(QStringLiteral("Data source successfully closed\n")));
    QVERIFY2(!log().contains(QStringLiteral("E:")), qPrintable(log()));
}

void TwainAppTest::capabilities()
{
    TwainApp app;
    openAndLoad(app, "Callback Source");
    TW_UINT32 value = 0;
    TW_FIX32 fix = {};

    // One value: set, then read back.
    TW_CAPABILITY duplex = {CAP_DUPLEXENABLED, 0, nullptr};
    QCOMPARE(app.setCapabilityOneValue(CAP_DUPLEXENABLED, TWAIN_FALSE, TWTY_BOOL), TW_UINT16(TWRC_SUCCESS));
    QCOMPARE(app.getCap(duplex, MSG_GETCURRENT), TW_UINT16(TWCC_SUCCESS));
    QCOMPARE(duplex.ConType, TW_UINT16(TWON_ONEVALUE));
    QVERIFY(GetCurrent(duplex, value));
    QCOMPARE(value, TW_UINT32(0));
    QVERIFY(!GetItem(duplex, 0, value));

    // Enumeration: the current item follows a set; an index at NumItems is refused.
    TW_CAPABILITY pixel = {ICAP_PIXELTYPE, 0, nullptr};
    QCOMPARE(app.setCapabilityOneValue(ICAP_PIXELTYPE, TWPT_RGB, TWTY_UINT16), TW_UINT16(TWRC_SUCCESS));
    QCOMPARE(app.getCap(pixel), TW_UINT16(TWCC_SUCCESS));
    QCOMPARE(pixel.ConType, TW_UINT16(TWON_ENUMERATION));
    QVERIFY(GetCurrent(pixel, value));
    QCOMPARE(value, TW_UINT32(TWPT_RGB));
    QVERIFY(GetItem(pixel, 2, value));
    QCOMPARE(value, TW_UINT32(TWPT_RGB));
    QVERIFY(!GetItem(pixel, 3, value));
    QVERIFY(!GetCurrentFix32(pixel, fix));  // not of FIX32 items

    // Range of FIX32 items: read, and a second read frees the first container.
    TW_CAPABILITY resolution = {ICAP_XRESOLUTION, 0, nullptr};
    QCOMPARE(app.getCap(resolution), TW_UINT16(TWCC_SUCCESS));
    QCOMPARE(app.getCap(resolution), TW_UINT16(TWCC_SUCCESS));
    QCOMPARE(resolution.ConType, TW_UINT16(TWON_RANGE));
    QVERIFY(GetCurrentFix32(resolution, fix));
    QCOMPARE(int(fix.Whole), 200);
    QCOMPARE(int(fix.Frac), 0);
    // A resolution set as FIX32 is the one the source then reports.
    QCOMPARE(app.setCapabilityOneValueFix32(ICAP_XRESOLUTION, FloatToFIX32(300.0f)), TW_UINT16(TWRC_SUCCESS));
    QCOMPARE(app.getCap(resolution), TW_UINT16(TWCC_SUCCESS));
    QVERIFY(GetCurrentFix32(resolution, fix));
    QCOMPARE(int(fix.Whole), 300);
    std::vector<TW_UINT32> walk;
    QVERIFY(GetRangeValues(resolution, walk));
    QCOMPARE(int(walk.size()), 6);
    QVERIFY(!GetCurrent(resolution, value));  // an integer reader refuses FIX32

    // Range with step 0: the walk ends at its first value.
    TW_CAPABILITY stepless = {0x9001, 0, nullptr};
    QCOMPARE(app.getCap(stepless), TW_UINT16(TWCC_SUCCESS));
    QVERIFY(GetRangeValues(stepless, walk));
    QCOMPARE(walk, std::vector<TW_UINT32>{5});

    // Array of signed items: sign-extended; it has no current value.
    TW_CAPABILITY list = {0x9002, 0, nullptr};
    QCOMPARE(app.getCap(list), TW_UINT16(TWCC_SUCCESS));
    QCOMPARE(list.ConType, TW_UINT16(TWON_ARRAY));
    QVERIFY(GetItem(list, 1, value));
    QCOMPARE(TW_INT32(value), -4);
    QVERIFY(!GetCurrent(list, value));
    QVERIFY(!GetRangeValues(list, walk));

    // Refused messages and refused sets.
    QCOMPARE(app.getCap(list, MSG_SET), TW_UINT16(TWCC_BUMMER));
    QVERIFY(log().contains(QStringLiteral("Bad Message.\n")));
    QCOMPARE(app.setCapabilityOneValue(CAP_DEVICEONLINE, TWAIN_FALSE, TWTY_BOOL), TW_UINT16(TWRC_FAILURE));
    QVERIFY(log().contains(QStringLiteral("E:app: Could not set capability")));
    TW_CAPABILITY unknown = {0x9999, 0, nullptr};
    QVERIFY(app.getCap(unknown) != TWCC_SUCCESS);
    QCOMPARE(unknown.hContainer, nullptr);
    QVERIFY(log().contains(QStringLiteral("Failed to get the capability: [Custom CAP 0x:9999]")));

    for (TW_CAPABILITY *cap : {&duplex, &pixel, &resolution, &stepless, &list})
        dsmMemFree(cap->hContainer);
    app.closeDSM();
}

void TwainAppTest::rangeWalksEnd_data()
{
    QTest::addColumn<uint>("minValue");
    QTest::addColumn<uint>("maxValue");
    QTest::addColumn<uint>("step");
    QTest::addColumn<int>("count");
    QTest::addColumn<uint>("last");
    QTest::newRow("whole steps") << 75u << 600u << 75u << 8 << 600u;
    QTest::newRow("step past max") << 100u << 250u << 100u << 2 << 200u;
    QTest::newRow("step 0") << 7u << 9u << 0u << 1 << 7u;
    QTest::newRow("at the top of 32 bits") << 0xFFFFFFF0u << 0xFFFFFFFFu << 8u << 2 << 0xFFFFFFF8u;
    QTest::newRow("step 1 over all values") << 0u << 0xFFFFFFFFu << 1u << 4096 << 4095u;
    QTest::newRow("min above max") << 10u << 5u << 1u << 0 << 0u;
}

void TwainAppTest::rangeWalksEnd()
{
    QFETCH(uint, minValue);
    QFETCH(uint, maxValue);
    QFETCH(uint, step);
    QFETCH(int, count);
    QFETCH(uint, last);
    TW_CAPABILITY cap = {0x9000, TWON_RANGE, dsmMemAllocate(sizeof(TW_RANGE))};
    auto *range = static_cast<pTW_RANGE>(dsmMemLock(cap.hContainer));
    range->ItemType = TWTY_UINT32;
    range->MinValue = minValue;
    range->MaxValue = maxValue;
    range->StepSize = step;
    range->CurrentValue = minValue;
    dsmMemUnlock(cap.hContainer);
    std::vector<TW_UINT32> walk;
    QVERIFY(GetRangeValues(cap, walk));
    QCOMPARE(int(walk.size()), count);
    if (count > 0)
        QCOMPARE(uint(walk.back()), last);
    TW_UINT32 current = 1;
    QVERIFY(GetCurrent(cap, current));
    QCOMPARE(uint(current), minValue);
    QCOMPARE(TwainMemory::process().lockCount(cap.hContainer), 0);  // every reader unlocks
    dsmMemFree(cap.hContainer);
}

void TwainAppTest::lyingContainers_data()
{
    // A block exactly as large as the bytes given, from our memory layer,
    // which knows its size; the fields claim what the bytes say.
    QTest::addColumn<int>("conType");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<int>("items");         // items GetItem/GetItemFix32 give before refusing
    QTest::addColumn<bool>("currentRead");  // GetCurrent or GetCurrentFix32 answers
    auto u16 = [](quint16 v) { return QByteArray(reinterpret_cast<const char *>(&v), 2); };
    auto u32 = [](quint32 v) { return QByteArray(reinterpret_cast<const char *>(&v), 4); };
    const QByteArray two = u32(200u << 16) + u32(300u << 16);
    QTest::newRow("enumeration of 22 bytes claiming 50,000,000 items")
        << int(TWON_ENUMERATION) << u16(TWTY_FIX32) + u32(50000000) + u32(0) + u32(0) + two << 2 << true;
    QTest::newRow("current index past the count")
        << int(TWON_ENUMERATION) << u16(TWTY_FIX32) + u32(2) + u32(2) + u32(0) + two << 2 << false;
    QTest::newRow("current index far past the block")
        << int(TWON_ENUMERATION) << u16(TWTY_FIX32) + u32(0x7FFFFFFF) + u32(0x40000000) + u32(0) + two << 2 << false;
    QTest::newRow("array whose count lies") << int(TWON_ARRAY) << u16(TWTY_FIX32) + u32(1000) + two << 2 << false;
    QTest::newRow("enumeration header cut short") << int(TWON_ENUMERATION) << u16(TWTY_FIX32) + u32(5) << 0 << false;
    QTest::newRow("one value shorter than its type") << int(TWON_ONEVALUE) << u16(TWTY_FIX32) + u16(200) << 0 << false;
    QTest::newRow("one value of its type") << int(TWON_ONEVALUE) << u16(TWTY_FIX32) + u32(200u << 16) << 0 << true;
    QTest::newRow("range cut short") << int(TWON_RANGE) << u16(TWTY_FIX32) + u32(100u << 16) + u32(600u << 16) << 0
                                     << false;
}

void TwainAppTest::lyingContainers()
{
    QFETCH(int, conType);
    QFETCH(QByteArray, block);
    QFETCH(int, items);
    QFETCH(bool, currentRead);
    TW_CAPABILITY cap = {ICAP_XRESOLUTION, TW_UINT16(conType), dsmMemAllocate(TW_UINT32(block.size()))};
    std::memcpy(dsmMemLock(cap.hContainer), block.constData(), std::size_t(block.size()));
    dsmMemUnlock(cap.hContainer);
    QCOMPARE(int(TwainMemory::process().size(cap.hContainer)), block.size());
    TW_UINT32 count = 0;
    TW_FIX32 value = {};
    while (count <= kMaxContainerItems && GetItemFix32(cap, count, value))
        ++count;
    QCOMPARE(int(count), items);
    QCOMPARE(GetCurrentFix32(cap, value), currentRead);
    std::vector<TW_UINT32> walk;
    GetRangeValues(cap, walk);
    QVERIFY(walk.empty());
    QCOMPARE(TwainMemory::process().lockCount(cap.hContainer), 0);
    dsmMemFree(cap.hContainer);
}

void TwainAppTest::extInfoItemsWithoutTheirBlock_data()
{
    QTest::addColumn<int>("itemType");
    QTest::addColumn<int>("numItems");
    QTest::addColumn<QByteArray>("block");  // empty: Item is 0
    QTest::addColumn<QString>("text");
    QTest::newRow("text type with no block") << int(TWTY_STR255) << 1 << QByteArray() << "Data Not Available";
    QTest::newRow("long list with no block") << int(TWTY_UINT32) << 60000 << QByteArray() << "Data Not Available";
    QTest::newRow("text filling its type, no closing zero")
        << int(TWTY_STR32) << 1 << QByteArray(34, 'x') << QString(34, QLatin1Char('x'));
    QTest::newRow("frames claiming more than their block")
        << int(TWTY_FRAME) << 50000 << QByteArray(16, '\0') << "0.00  0.00  0.00  0.00";
}

void TwainAppTest::extInfoItemsWithoutTheirBlock()
{
    QFETCH(int, itemType);
    QFETCH(int, numItems);
    QFETCH(QByteArray, block);
    QFETCH(QString, text);
    TW_INFO info = {};
    info.InfoID = TWEI_CAMERA;
    info.ItemType = TW_UINT16(itemType);
    info.NumItems = TW_UINT16(numItems);
    info.ReturnCode = TWRC_SUCCESS;
    TW_HANDLE handle = nullptr;
    if (!block.isEmpty()) {
        handle = dsmMemAllocate(TW_UINT32(block.size()));
        std::memcpy(dsmMemLock(handle), block.constData(), std::size_t(block.size()));
        dsmMemUnlock(handle);
        info.Item = reinterpret_cast<TW_UINTPTR>(handle);
    }
    QCOMPARE(ExtImageInfoItemToString(info).trimmed(), text);
    if (handle) {
        QCOMPARE(TwainMemory::process().lockCount(handle), 0);
        dsmMemFree(handle);
    }
}

void TwainAppTest::fix32_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<int>("whole");
    QTest::addColumn<uint>("frac");
    QTest::newRow("negative half") << -1.5f << -2 << 0x8000u;
    QTest::newRow("whole") << 300.0f << 300 << 0u;
    QTest::newRow("half up") << 0.5f << 0 << 0x8000u;
    QTest::newRow("small") << 1.0f / 65536.0f << 0 << 1u;
}

void TwainAppTest::fix32()
{
    QFETCH(float, value);
    QFETCH(int, whole);
    QFETCH(uint, frac);
    const TW_FIX32 fix = FloatToFIX32(value);
    QCOMPARE(int(fix.Whole), whole);
    QCOMPARE(uint(fix.Frac), frac);
    QCOMPARE(FIX32ToFloat(fix), value);
}

void TwainAppTest::names()
{
    QCOMPARE(QByteArray(CapabilityToString(ICAP_XRESOLUTION)), QByteArray("ICAP_XRESOLUTION"));
    QCOMPARE(QByteArray(CapabilityToString(0x8000)), QByteArray("CAP_CUSTOMBASE"));
    QCOMPARE(QByteArray(CapabilityToString(0x8001)), QByteArray("Custom CAP 0x:8001"));
    QCOMPARE(QByteArray(CapabilityToString(0x0555)), QByteArray("Unknown CAP 0x:0555"));
    QCOMPARE(QByteArray(ConditionCodeToString(7)), QByteArray("ConditionCode 0x:0007"));
    QCOMPARE(QByteArray(ConditionCodeToString(TWCC_NOMEDIA)), QByteArray("TWCC_NOMEDIA"));
    QCOMPARE(QByteArray(ExtImageInfoToString(TWEI_PAGESIDE)), QByteArray("TWEI_PAGESIDE"));
    QCOMPARE(QByteArray(ExtImageInfoToString(TWEI_BARCODETEXTLENGTH)), QByteArray("TWEI_BARCODETEXTLENGTH"));
    QCOMPARE(QByteArray(ExtImageInfoToString(TWEI_DESKEWSTATUS)), QByteArray("TWEI_DESKEWSTATUS"));
    const TW_UINT16 rgb = TWPT_RGB, odd = 0x77;
    QCOMPARE(QByteArray(CapabilityValueToString(ICAP_PIXELTYPE, TWTY_UINT16, &rgb)), QByteArray("TWPT_RGB"));
    QCOMPARE(QByteArray(CapabilityValueToString(ICAP_PIXELTYPE, TWTY_UINT16, &odd)), QByteArray("0x0077"));
    QCOMPARE(QByteArray(CapabilityValueToString(0x9292, TWTY_UINT16, &odd)),
             QByteArray("Un-recognized Capability 0x9292"));
    // The fallbacks rotate through three buffers: the fourth reuses the first.
    const char *first = CapabilityToString(0x8101);
    CapabilityToString(0x8102);
    CapabilityToString(0x8103);
    CapabilityToString(0x8104);
    QCOMPARE(QByteArray(first), QByteArray("Custom CAP 0x:8104"));
}

void TwainAppTest::extImageInfoWithBarcodes()
{
    TwainApp app;
    openAndLoad(app, "Message Source");
    const int before = SimSession::liveHandles();
    transferOnePage(app);
    app.getExtImageInfo();
    const QString text = app.m_extImageInfo;
    QVERIFY2(text.contains(QStringLiteral("TWEI_BARCODECOUNT:\t2 \r\n")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("TWEI_BARCODETEXT:\tS0001\r\n\tA-77\r\n")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("TWEI_BARCODETYPE:\tTWBT_QRCODE TWBT_CODE128 \r\n")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("TWEI_BARCODEROTATION:\tTWBCOR_ROT0 TWBCOR_ROT180 \r\n")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("TWEI_PAGESIDE:\tTWCS_TOP \r\n")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("TWEI_CAMERA:\tTOP\r\n")), qPrintable(text));
    // Every item the source handed out is given back, and nothing else.
    QCOMPARE(SimSession::liveHandles(), before);
    QVERIFY(!log().contains(QStringLiteral("refused")));

    // The next page has no barcodes: their entries are not available, and
    // nothing is freed that the source did not return.
    TW_PENDINGXFERS pending = {};
    QCOMPARE(app.dsmCall(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TW_UINT16(TWRC_SUCCESS));
    QCOMPARE(int(pending.Count), 1);
    app.m_DSMState = 6;
    TW_HANDLE dib = nullptr;
    QCOMPARE(app.dsmCall(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TW_UINT16(TWRC_XFERDONE));
    dsmMemFree(dib);
    app.m_DSMState = 7;
    app.getExtImageInfo();
    QVERIFY2(app.m_extImageInfo.contains(QStringLiteral("TWEI_BARCODECOUNT:\t0 \r\n")), qPrintable(app.m_extImageInfo));
    QVERIFY(!app.m_extImageInfo.contains(QStringLiteral("TWEI_BARCODETEXT")));
    QCOMPARE(SimSession::liveHandles(), before);

    app.stopPendingTransfers();
    app.m_DSMState = 5;
    app.closeDSM();
    QCOMPARE(int(app.m_DSMState), 2);
}

void TwainAppTest::barcodeTextsReadWithinTheirBlock()
{
    // The first length claims far more than the block of both texts holds:
    // the texts are read to the end of the block and no further.
    SimSession::writeSourcesFile(m_dir.path(), R"({"sources": [
      {"productName": "Overstating Source", "manufacturer": "Lab", "productFamily": "Sim", "twain2": false,
       "sheets": [{"frontBarcodes": [{"text": "S0001", "claimedLength": 4000}, {"text": "A-77"}]}],
       "countKnown": true}]})");
    struct Restore
    {
        QString folder;
        ~Restore() { SimSession::writeSourcesFile(folder, kSources); }
    } restore{m_dir.path()};
    TwainApp app;
    openAndLoad(app, "Overstating Source");
    const int before = SimSession::liveHandles();
    transferOnePage(app);
    app.getExtImageInfo();
    QVERIFY2(app.m_extImageInfo.contains(QStringLiteral("TWEI_BARCODETEXT:\tS0001A-77\r\n\t\r\n")),
             qPrintable(app.m_extImageInfo));
    QCOMPARE(SimSession::liveHandles(), before);
    app.stopPendingTransfers();
    app.m_DSMState = 5;
    app.closeDSM();
}

void TwainAppTest::managerVerifiedBeforeLoadByFullPath()
{
    unloadDSMLib();
    QStringList checked;
    setDsmTrustCheck([&](const QString &path) {
        checked << path;
        return DsmTrust{false, QStringLiteral("not signed")};
    });
    {
        TwainApp app;
        app.fillIdentity(app.m_appIdentity);
        app.openDSM();
        QCOMPARE(int(app.m_DSMState), 1);
        QVERIFY(!isDSMLibLoaded());
        QCOMPARE(checked, QStringList{QFileInfo(QStringLiteral(TWAIN_SIM_LIBRARY)).canonicalFilePath()});
        QVERIFY(log().contains(QStringLiteral("E:signature: not signed\n")));
        QVERIFY(log().contains(QStringLiteral("The DSM could not be opened.")));
        QCOMPARE(app.getDefaultDataSource(), nullptr);
        // A call that binds on first use fails the same way.
        TW_STATUS status = {};
        QCOMPARE(callDSMEntry(app.getAppIdentity(), nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status),
                 TW_UINT16(TWRC_FAILURE));
    }

    // A name that is no full path is not looked up anywhere.
    setDsmTrustCheck(nullptr);
    checked.clear();
    qputenv("VOSTRA_TWAIN_DSM", "../" + QFileInfo(QStringLiteral(TWAIN_SIM_LIBRARY)).fileName().toLocal8Bit());
    {
        TwainApp app;
        app.openDSM();
        QCOMPARE(int(app.m_DSMState), 1);
        QVERIFY(!isDSMLibLoaded());
    }
    qputenv("VOSTRA_TWAIN_DSM", TWAIN_SIM_LIBRARY);

    // Trusted, it loads and opens.
    TwainApp app;
    app.fillIdentity(app.m_appIdentity);
    app.openDSM();
    QCOMPARE(int(app.m_DSMState), 3);
    app.closeDSM();
}

QTEST_GUILESS_MAIN(TwainAppTest)
#include "twainapp_test.moc"
