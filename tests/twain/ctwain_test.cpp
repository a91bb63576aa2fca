// The processing program's TWAIN layer against the simulated manager, loaded
// through the binding's own loader.

#include "ctwain.h"
#include "dsmlibrary.h"
#include "twainapp.h"
#include "twainmemory.h"
#include "simsession.h"
#include "twainsim.h"

#include <QFile>
#include <QMutex>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstring>

namespace {

// Two sources share a product name; "Plain" is a TWAIN 1.x source that
// cannot tell the page side and cannot run without its dialog.
const QByteArray kSources = R"({"sources": [
  {"productName": "Alpha", "protocol": "2.4", "twain2": true, "pageSize": [1.0, 1.4],
   "capabilities": {"CAP_DUPLEXENABLED": {"type": "BOOL", "value": true}},
   "sheets": [{}, {}, {}]},
  {"productName": "Alpha", "protocol": "2.3", "twain2": true, "pageSize": [1.0, 1.4], "sheets": [{}]},
  {"productName": "Plain", "protocol": "1.9", "twain2": false, "pageSide": false, "pageSize": [1.0, 1.4],
   "capabilities": {"CAP_UICONTROLLABLE": {"type": "BOOL", "value": false, "readOnly": true},
                    "CAP_FEEDERENABLED": {"type": "BOOL", "value": false, "readOnly": true}},
   "sheets": [{}, {}]}
]})";

std::atomic<int> g_managerCalls{0};

void countCall(TW_UINT32, TW_UINT16, TW_UINT16, void *)
{
    ++g_managerCalls;
}

// The layer with the owner's parts recorded.
class Probe : public CTwain
{
public:
    void startNativeTransfer() override { ++transfersStarted; }
    bool saveTwainImage(TW_HANDLE *, QString, int) override { return true; }
    bool nativeEvent(const QByteArray &, void *, long *) override { return false; }
    void sourceMessage(int msg) override
    {
        QMutexLocker lock(&mutex);
        messages << msg;
    }
    QList<int> received()
    {
        QMutexLocker lock(&mutex);
        return messages;
    }
    TW_UINT16 raw(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) { return call(dg, dat, msg, data, true); }

    // Opens the named source (the first one of that name and protocol minor).
    bool open(const char *name, int minor = -1)
    {
        if (!loadDSM())
            return false;
        const auto sources = getSources();
        for (auto it = sources.cbegin(); it != sources.cend(); ++it)
            if (it.value().startsWith(QLatin1String(name) + QLatin1Char('('))
                && (minor < 0 || it.value().endsWith(QStringLiteral(".%1)").arg(minor))))
                return selectSourceById(it.key()) && openDS();
        return false;
    }
    // One native page: its side as pageSide tells it, the page's block freed.
    bool transferPage(int *side, bool *sideFailed, TW_UINT16 *remaining)
    {
        TW_HANDLE dib = nullptr;
        if (raw(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib) != TWRC_XFERDONE)
            return false;
        *side = 1;
        *sideFailed = pageSide(side);
        dsmMemFree(dib);
        TW_PENDINGXFERS pending = {};
        if (raw(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending) != TWRC_SUCCESS)
            return false;
        *remaining = pending.Count;
        return true;
    }
    void shutdown()
    {
        // An enabled source announces its pages from its own thread, so it
        // may go on to state 6 between the reset and the disable: then both
        // again.
        for (int attempt = 0; attempt < 3 && state() >= 5; ++attempt) {
            TW_PENDINGXFERS pending = {};
            raw(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
            setState(5);
            if (disableDS() == TWRC_SUCCESS)
                break;
        }
        closeDS();
        closeDSM();
    }

    std::atomic<int> transfersStarted{0};

private:
    QMutex mutex;
    QList<int> messages;
};

enum Op { LoadDSM, GetSources, CloseDSM, OpenDS, CloseDS, EnableDS, DisableDS, ShowSourceUI };

} // namespace

class CTwainTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void stateMachine_data();
    void stateMachine();
    void sourcesWithTheSameName();
    void messagesByCallbackOrByEvent_data();
    void messagesByCallbackOrByEvent();
    void callbackRefusedOnceTheSourceIsClosed();
    void enableNegotiatesTheBatch();
    void pageSideFromTheSource_data();
    void pageSideFromTheSource();
    void stopFeederEndsTheBatch();
    void managerRefusedByTheTrustCheckIsNotLoaded();

private:
    QTemporaryDir m_dir;
};

void CTwainTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    SimSession::useSimulatedManager(m_dir.path(), kSources);
}

void CTwainTest::init()
{
    g_managerCalls = 0;
    SimSession::setCallHook(countCall, nullptr);
}

void CTwainTest::cleanup()
{
    SimSession::setCallHook(nullptr, nullptr);
    setDsmTrustCheck(nullptr);
    unloadDSMLib();
    QCOMPARE(SimSession::liveHandles(), 0);
    QCOMPARE(TwainMemory::process().liveHandles(), 0);
}

void CTwainTest::stateMachine_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("result");  // 1 true / 0 false; for getSources, the count; for disableDS, 0 ok, 1 refused
    QTest::addColumn<int>("after");
    QTest::addColumn<bool>("callsManager");

    QTest::newRow("1: sources without a manager") << 1 << int(GetSources) << 0 << 1 << false;
    QTest::newRow("1: close manager") << 1 << int(CloseDSM) << 1 << 1 << false;
    QTest::newRow("1: close source") << 1 << int(CloseDS) << 1 << 1 << false;
    QTest::newRow("1: open source") << 1 << int(OpenDS) << 0 << 1 << false;
    QTest::newRow("1: enable") << 1 << int(EnableDS) << 0 << 1 << false;
    QTest::newRow("1: load") << 1 << int(LoadDSM) << 1 << 3 << true;
    QTest::newRow("3: load again") << 3 << int(LoadDSM) << 1 << 3 << false;
    QTest::newRow("3: sources") << 3 << int(GetSources) << 3 << 3 << true;
    QTest::newRow("3: enable without a source") << 3 << int(EnableDS) << 0 << 3 << false;
    QTest::newRow("3: close manager") << 3 << int(CloseDSM) << 1 << 1 << true;
    QTest::newRow("3: settings without a source") << 3 << int(ShowSourceUI) << 0 << 3 << false;
    QTest::newRow("4: open twice") << 4 << int(OpenDS) << 0 << 4 << false;
    QTest::newRow("4: load") << 4 << int(LoadDSM) << 0 << 4 << false;
    QTest::newRow("4: sources") << 4 << int(GetSources) << 0 << 4 << false;
    QTest::newRow("4: close manager with a source open") << 4 << int(CloseDSM) << 0 << 4 << false;
    QTest::newRow("4: disable what is not enabled") << 4 << int(DisableDS) << 1 << 4 << true;
    QTest::newRow("4: enable") << 4 << int(EnableDS) << 1 << 5 << true;
    QTest::newRow("4: settings dialog keeps 4") << 4 << int(ShowSourceUI) << 1 << 4 << true;
    QTest::newRow("4: close source") << 4 << int(CloseDS) << 1 << 3 << true;
    QTest::newRow("5: enable twice") << 5 << int(EnableDS) << 0 << 5 << false;
    QTest::newRow("5: close an enabled source") << 5 << int(CloseDS) << 0 << 5 << false;
    QTest::newRow("5: close manager") << 5 << int(CloseDSM) << 0 << 5 << false;
    QTest::newRow("5: disable") << 5 << int(DisableDS) << 0 << 4 << true;
}

void CTwainTest::stateMachine()
{
    QFETCH(int, from);
    QFETCH(int, op);
    QFETCH(int, result);
    QFETCH(int, after);
    QFETCH(bool, callsManager);

    // The source without callbacks: its events wait until asked for, so the
    // states stay where the table puts them.
    Probe twain;
    QCOMPARE(twain.state(), 1);
    if (from >= 3)
        QVERIFY(twain.loadDSM());
    if (from >= 4)
        QVERIFY(twain.open("Plain"));
    if (from >= 5)
        QVERIFY(twain.enableDS());
    QCOMPARE(twain.state(), from);

    g_managerCalls = 0;
    int got = -1;
    switch (Op(op)) {
    case LoadDSM: got = twain.loadDSM(); break;
    case GetSources: got = twain.getSources().size(); break;
    case CloseDSM: got = twain.closeDSM(); break;
    case OpenDS: got = twain.openDS(); break;
    case CloseDS: got = twain.closeDS(); break;
    case EnableDS: got = twain.enableDS(); break;
    case DisableDS: got = twain.disableDS() != 0; break;
    case ShowSourceUI:
        twain.showSourceUI(nullptr);
        got = twain.lastReturnCode() == TWRC_SUCCESS && g_managerCalls > 0;
        break;
    }
    QCOMPARE(got, result);
    QCOMPARE(twain.state(), after);
    QCOMPARE(g_managerCalls > 0, callsManager);
    if (Op(op) == ShowSourceUI && got) {
        // The source's dialog ends with its message; the default answer
        // disables the source again.
        QVERIFY(twain.settingsDialogShown());
        QVERIFY(twain.processSourceEvent());
        QCOMPARE(twain.received(), QList<int>{MSG_CLOSEDSOK});
        twain.onCloseDSOK();
        QVERIFY(!twain.settingsDialogShown());
        QCOMPARE(twain.lastReturnCode(), TW_UINT16(TWRC_SUCCESS));
        QCOMPARE(twain.state(), 4);
    }
    twain.shutdown();
    QCOMPARE(twain.state(), 1);
}

void CTwainTest::sourcesWithTheSameName()
{
    Probe twain;
    QVERIFY(twain.loadDSM());
    const QMap<TW_UINT32, QString> sources = twain.getSources();
    QCOMPARE(sources.size(), 3);
    QStringList texts = sources.values();
    QCOMPARE(texts, (QStringList{QStringLiteral("Alpha(2.4)"), QStringLiteral("Alpha(2.3)"), QStringLiteral("Plain(1.9)")}));

    // Each is reached by its own Id.
    const TW_UINT32 second = sources.keys().at(1);
    QVERIFY(twain.selectSourceById(second));
    QCOMPARE(twain.sourceIdentity.Id, second);
    QCOMPARE(int(twain.sourceIdentity.ProtocolMinor), 3);
    QVERIFY(!twain.selectSourceById(0xfffffff0u));
    QVERIFY(twain.selectSourceById(second));
    QVERIFY(twain.openDS());
    QCOMPARE(twain.state(), 4);
    twain.shutdown();
}

void CTwainTest::messagesByCallbackOrByEvent_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("callback");
    QTest::newRow("TWAIN 2 source") << QStringLiteral("Alpha") << true;
    QTest::newRow("TWAIN 1 source") << QStringLiteral("Plain") << false;
}

void CTwainTest::messagesByCallbackOrByEvent()
{
    QFETCH(QString, source);
    QFETCH(bool, callback);

    Probe twain;
    QVERIFY(twain.open(source.toLatin1().constData()));
    QCOMPARE(twain.usesCallback(), callback);
    QCOMPARE(CTwain::callbackTarget(), callback ? static_cast<CTwain *>(&twain) : nullptr);
    QVERIFY(twain.enableDS());
    if (callback) {
        QTRY_COMPARE(twain.received(), QList<int>{MSG_XFERREADY});
        QVERIFY(!twain.processSourceEvent());
    } else {
        // Nothing arrives on its own: the message waits for the event call.
        QVERIFY(twain.received().isEmpty());
        QVERIFY(twain.processSourceEvent());
        QCOMPARE(twain.received(), QList<int>{MSG_XFERREADY});
        QVERIFY(!twain.processSourceEvent());
    }
    twain.shutdown();
    QVERIFY(!twain.usesCallback());
    QCOMPARE(CTwain::callbackTarget(), nullptr);
}

void CTwainTest::callbackRefusedOnceTheSourceIsClosed()
{
    Probe twain;
    QVERIFY(twain.open("Alpha", 4));
    QVERIFY(twain.usesCallback());
    QCOMPARE(twainCallback(nullptr, nullptr, DG_CONTROL, DAT_NULL, MSG_CLOSEDSREQ, nullptr), TW_UINT16(TWRC_SUCCESS));
    QVERIFY(twain.closeDS());
    QCOMPARE(twainCallback(nullptr, nullptr, DG_CONTROL, DAT_NULL, MSG_CLOSEDSREQ, nullptr), TW_UINT16(TWRC_FAILURE));
    QCOMPARE(twain.received(), QList<int>{MSG_CLOSEDSREQ});

    // The next source takes no callback: the flag of the closed one is gone.
    QVERIFY(twain.selectSourceById(twain.getSources().lastKey()));
    QVERIFY(twain.openDS());
    QVERIFY(!twain.usesCallback());
    twain.shutdown();
}

void CTwainTest::enableNegotiatesTheBatch()
{
    struct Case {
        const char *source;
        int autoFeed;     // expected CAP_AUTOFEED after enabling (-1: not set by the layer)
        bool showUI;
    };
    for (const Case &c : {Case{"Alpha", 1, false}, Case{"Plain", -1, true}}) {
        Probe twain;
        QVERIFY(twain.open(c.source));
        if (c.autoFeed >= 0)
            QVERIFY(twain.setCapabilityBool(CAP_AUTOFEED, false));
        twain.stopScan = true;
        QVERIFY(twain.enableDS());
        QVERIFY(!twain.stopScan);
        TW_UINT16 value = 0xffff;
        QVERIFY(!twain.getCapabilityCurrent(CAP_AUTOSCAN, TWON_ONEVALUE, &value));
        QCOMPARE(value, TW_UINT16(TWAIN_TRUE));
        QVERIFY(!twain.getCapabilityCurrent(CAP_INDICATORS, TWON_ONEVALUE, &value));
        QCOMPARE(value, TW_UINT16(TWAIN_FALSE));
        if (c.autoFeed >= 0) {
            QVERIFY(twain.isFeederEnabled());
            QVERIFY(!twain.getCapabilityCurrent(CAP_AUTOFEED, TWON_ONEVALUE, &value));
            QCOMPARE(int(value), c.autoFeed);
        } else {
            QVERIFY(!twain.isFeederEnabled());
        }
        QCOMPARE(twain.userInterface.ShowUI, TW_BOOL(c.showUI));
        QCOMPARE(twain.userInterface.ModalUI, TW_BOOL(c.showUI));
        // A capability the source does not have reads as failed, not as 0.
        QVERIFY(twain.getCapabilityCurrent(0x9999, TWON_ONEVALUE, &value));
        twain.shutdown();
    }
}

void CTwainTest::pageSideFromTheSource_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QList<int>>("sides");
    QTest::addColumn<bool>("failed");
    // Alpha is duplex: front, back of three sheets.
    QTest::newRow("duplex with page side") << QStringLiteral("Alpha") << QList<int>{1, 2, 1, 2, 1, 2} << false;
    QTest::newRow("no page side: front") << QStringLiteral("Plain") << QList<int>{1, 1} << true;
    QTest::newRow("camera text without its zero") << QStringLiteral("Tight") << QList<int>{1, 2, 1, 2} << false;
}

void CTwainTest::pageSideFromTheSource()
{
    QFETCH(QString, source);
    QFETCH(QList<int>, sides);
    QFETCH(bool, failed);

    // A source whose camera text has no closing zero is read to its block's
    // end and no further.
    struct Restore
    {
        QString folder;
        ~Restore() { SimSession::writeSourcesFile(folder, kSources); }
    } restore{m_dir.path()};
    if (source == QLatin1String("Tight"))
        SimSession::writeSourcesFile(m_dir.path(), R"({"sources": [
          {"productName": "Tight", "twain2": true, "cameraUnterminated": true, "pageSize": [1.0, 1.4],
           "capabilities": {"CAP_DUPLEXENABLED": {"type": "BOOL", "value": true}}, "sheets": [{}, {}]}]})");

    Probe twain;
    QVERIFY(twain.open(source.toLatin1().constData(), source == QLatin1String("Alpha") ? 4 : -1));
    QVERIFY(twain.enableDS());
    if (!twain.usesCallback())
        QVERIFY(twain.processSourceEvent());
    QTRY_COMPARE(twain.received(), QList<int>{MSG_XFERREADY});
    twain.setState(6);

    QList<int> got;
    TW_UINT16 remaining = 1;
    while (remaining != 0 && got.size() < 10) {
        int side = 0;
        bool sideFailed = false;
        QVERIFY(twain.transferPage(&side, &sideFailed, &remaining));
        QCOMPARE(sideFailed, failed);
        got << side;
    }
    QCOMPARE(got, sides);
    twain.setState(5);
    twain.shutdown();
}

void CTwainTest::stopFeederEndsTheBatch()
{
    Probe twain;
    QVERIFY(twain.open("Alpha", 4));
    QVERIFY(twain.enableDS());
    QTRY_COMPARE(twain.received(), QList<int>{MSG_XFERREADY});
    TW_HANDLE dib = nullptr;
    QCOMPARE(twain.raw(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TW_UINT16(TWRC_XFERDONE));
    dsmMemFree(dib);
    QVERIFY(twain.stopFeeder());
    TW_PENDINGXFERS pending = {};
    QCOMPARE(twain.raw(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TW_UINT16(TWRC_SUCCESS));
    // Six pages were in the batch; the one under way was the last.
    QCOMPARE(int(pending.Count), 0);

    // With auto-scan off there is no feeder to stop.
    QVERIFY(twain.disableDS() == 0);
    QVERIFY(twain.setCapabilityBool(CAP_AUTOSCAN, false));
    QVERIFY(!twain.stopFeeder());
    twain.shutdown();
}

void CTwainTest::managerRefusedByTheTrustCheckIsNotLoaded()
{
    QString checked;
    setDsmTrustCheck([&](const QString &path) {
        checked = path;
        return DsmTrust{false, QStringLiteral("not ours")};
    });
    Probe twain;
    QVERIFY(!twain.loadDSM());
    QCOMPARE(twain.state(), 1);
    QVERIFY(!isDSMLibLoaded());
    QCOMPARE(checked, QFileInfo(QStringLiteral(TWAIN_SIM_LIBRARY)).canonicalFilePath());
    QCOMPARE(g_managerCalls.load(), 0);

    setDsmTrustCheck(nullptr);
    QVERIFY(twain.loadDSM());
    QCOMPARE(twain.state(), 3);
    twain.shutdown();
}

QTEST_GUILESS_MAIN(CTwainTest)
#include "ctwain_test.moc"
