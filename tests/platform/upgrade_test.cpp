// The online upgrade check of the three programs and the hand-off to the
// updater: the dialog's views, its time-out, the updater's argument decoded
// back to its JSON, and the refusals, against a local HTTPS platform and a
// stand-in "Upgrade.exe" in a temporary program folder.

#include "dialogupgradeinfo.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "mytablewidgetresult.h"
#include "omrresources.h"
#include "platformfixture.h"
#include "settingsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtEndian>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(PlatformSimulator::Reply)
Q_DECLARE_METATYPE(DialogUpgradeInfo::Program)

namespace {

PlatformSimulator::Reply codeReply(int code, const QJsonValue &message, int delayMs = 0)
{
    PlatformSimulator::Reply reply =
        PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), code}, {QStringLiteral("message"), message}});
    reply.delayMs = delayMs;
    return reply;
}

PlatformSimulator::Reply raw(int status, const QByteArray &body, bool drop = false)
{
    PlatformSimulator::Reply reply;
    reply.status = status;
    reply.body = body;
    reply.dropConnection = drop;
    return reply;
}

QJsonObject release(const QString &created)
{
    return QJsonObject{{QStringLiteral("version_name"), QStringLiteral("4.3")},
                       {QStringLiteral("version_code"), QStringLiteral("2025090100")},
                       {QStringLiteral("created_at"), created},
                       {QStringLiteral("info"), QStringLiteral("<p>新增<b>批量</b>识别 &amp; 修复</p>")},
                       {QStringLiteral("url"), QStringLiteral("https://127.0.0.1/pkg/4.3.zip")}};
}

template <class T>
T *child(QWidget *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("missing child %s", name);
    return widget;
}

// What the dialog showed when it came up.
struct View {
    bool shown = false;
    QString now;
    QString newest;
    QString info;
    bool okVisible = false;
    bool cancelVisible = false;
};

View capture(DialogUpgradeInfo *d)
{
    View v;
    v.shown = true;
    v.now = child<QLabel>(d, "labelVersionNameNow")->text();
    v.newest = child<QLabel>(d, "labelVersionNameUpgrade")->text();
    v.info = child<QTextEdit>(d, "textEditInfo")->toPlainText();
    v.okVisible = child<QPushButton>(d, "pushButtonOK")->isVisible();
    v.cancelVisible = child<QPushButton>(d, "pushButtonCancel")->isVisible();
    return v;
}

// A stand-in updater: writes its one argument beside itself.
const QByteArray kUpdaterScript = "#!/bin/sh\n"
                                  "d=$(dirname \"$0\")\n"
                                  "printf '%s' \"$1\" > \"$d/argument.tmp\" && mv \"$d/argument.tmp\" \"$d/argument.txt\"\n";

bool writeFile(const QString &path, const QByteArray &data, bool executable)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size())
        return false;
    f.close();
    if (executable)
        return f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ReadOwner);
    return true;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Answers the next upgrade dialog that comes up with `action`; stops looking
// once *active is cleared, so a dialog that never came up leaves no poll
// behind for a later test.
void pollUpgradeDialog(std::shared_ptr<bool> active, std::function<void(DialogUpgradeInfo *)> action, int tries)
{
    QTimer::singleShot(20, [active, action, tries] {
        if (!*active)
            return;
        if (auto *d = qobject_cast<DialogUpgradeInfo *>(QApplication::activeModalWidget())) {
            *active = false;
            action(d);
        } else if (tries > 0) {
            pollUpgradeDialog(active, action, tries - 1);
        }
    });
}

std::shared_ptr<bool> answerUpgradeDialog(std::function<void(DialogUpgradeInfo *)> action)
{
    auto active = std::make_shared<bool>(true);
    pollUpgradeDialog(active, std::move(action), 500);
    return active;
}

} // namespace

class UpgradeTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void testViews_data();
    void testViews();
    void testTimeout_data();
    void testTimeout();
    void testHandOff();
    void testHandOffFailures_data();
    void testHandOffFailures();
    void testMainWindowRefusesWhileBusy_data();
    void testMainWindowRefusesWhileBusy();

private:
    // Runs a check whose dialog is answered by `action` (after its view is captured).
    View runCheck(DialogUpgradeInfo &dialog, std::function<void(DialogUpgradeInfo *)> action = {});

    PlatformSimulator m_sim;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
};

void UpgradeTest::initTestCase()
{
    initOmrResources();
    QString error;
    QVERIFY2(PlatformTest::startTrusted(m_sim, &error), qPrintable(error));
}

void UpgradeTest::init()
{
    m_sim.clearReplies();
    m_sim.clearRequests();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_boxes = std::make_unique<MessageBoxRecorder>();
}

void UpgradeTest::cleanup()
{
    m_boxes.reset();
    m_dir.reset();
}

View UpgradeTest::runCheck(DialogUpgradeInfo &dialog, std::function<void(DialogUpgradeInfo *)> action)
{
    View view;
    const auto active = answerUpgradeDialog([&view, action](DialogUpgradeInfo *d) {
        view = capture(d);
        if (action)
            action(d);
        else
            d->reject();
    });
    dialog.checkUpgrade();
    *active = false;
    return view;
}

// ---------------------------------------------------------------- the check

void UpgradeTest::testViews_data()
{
    QTest::addColumn<DialogUpgradeInfo::Program>("program");
    QTest::addColumn<PlatformSimulator::Reply>("reply");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("newest");
    QTest::addColumn<QString>("info");
    QTest::addColumn<bool>("okVisible");
    QTest::addColumn<QString>("box"); // text, or its start when it ends in "*"

    const auto ardentiq = DialogUpgradeInfo::ardentiq();
    QTest::newRow("newer, dated") << ardentiq << codeReply(200, release(QStringLiteral("2025-09-01 08:30:00"))) << true
                                  << QStringLiteral("4.3（发布于 2025/09/01）") << QStringLiteral("新增批量识别 & 修复")
                                  << true << QString();
    QTest::newRow("newer, date unreadable")
        << ardentiq << codeReply(200, release(QStringLiteral("2025/09/01"))) << true << QStringLiteral("4.3")
        << QStringLiteral("新增批量识别 & 修复") << true << QString();
    QTest::newRow("newest already") << ardentiq << codeReply(201, QStringLiteral("当前已是最新版本 <b>4.2</b>")) << true
                                    << QStringLiteral("4.2") << QStringLiteral("当前已是最新版本 <b>4.2</b>") << false
                                    << QString();
    QTest::newRow("designer newest") << DialogUpgradeInfo::lumbrisk() << codeReply(201, QStringLiteral("最新")) << true
                                     << QStringLiteral("4.1") << QStringLiteral("最新") << false << QString();
    QTest::newRow("station newer") << DialogUpgradeInfo::pellwyn()
                                   << codeReply(200, release(QStringLiteral("2025-09-01 08:30:00"))) << true
                                   << QStringLiteral("4.3（发布于 2025/09/01）") << QStringLiteral("新增批量识别 & 修复")
                                   << true << QString();
    QTest::newRow("other code") << ardentiq << codeReply(500, QStringLiteral("维护中")) << false << QString() << QString()
                                << false << QString();
    QTest::newRow("not JSON") << ardentiq << raw(200, "<html/>") << false << QString() << QString() << false
                              << QStringLiteral("远程服务器错误。");
    QTest::newRow("no response") << ardentiq << raw(200, QByteArray(), true) << false << QString() << QString() << false
                                 << QStringLiteral("code:0\n*");
    QTest::newRow("HTTP 404") << ardentiq << raw(404, "{}") << false << QString() << QString() << false
                              << QStringLiteral("code:404\n*");
}

void UpgradeTest::testViews()
{
    QFETCH(DialogUpgradeInfo::Program, program);
    QFETCH(PlatformSimulator::Reply, reply);
    QFETCH(bool, shown);
    QFETCH(QString, newest);
    QFETCH(QString, info);
    QFETCH(bool, okVisible);
    QFETCH(QString, box);

    const QString path = QStringLiteral("/upgrade/online/") + program.word;
    m_sim.setReply(path, reply);
    DialogUpgradeInfo dialog(program);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("检查更新"));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(child<QPushButton>(&dialog, "pushButtonOK")->isHidden());
    QVERIFY(child<QPushButton>(&dialog, "pushButtonCancel")->isHidden());
    QCOMPARE(child<QLabel>(&dialog, "labelVersionNameUpgrade")->text(), QStringLiteral("x"));

    const View view = runCheck(dialog);

    const auto requests = m_sim.requestsTo(path);
    QVERIFY(!requests.isEmpty());
    const PlatformSimulator::Request &r = requests.first();
    QCOMPARE(r.method, QByteArray("POST"));
    QCOMPARE(r.headers.value("content-type"), QByteArray("application/x-www-form-urlencoded"));
    QCOMPARE(r.body, QByteArray("version_code=2025052800&version_name=") + program.versionName.toUtf8());
    QVERIFY(r.formValue(QStringLiteral("key")).isNull());

    QCOMPARE(view.shown, shown);
    if (shown) {
        QCOMPARE(view.now, program.versionName);
        QCOMPARE(view.newest, newest);
        QCOMPARE(view.info, info);
        QCOMPARE(view.okVisible, okVisible);
        QVERIFY(view.cancelVisible);
    }
    QCOMPARE(dialog.upgrade().isEmpty(), !okVisible);
    if (box.isEmpty()) {
        QCOMPARE(m_boxes->count(), 0);
    } else {
        QCOMPARE(m_boxes->count(), 1);
        QCOMPARE(m_boxes->last().title, QStringLiteral("提示"));
        QCOMPARE(m_boxes->last().icon, QMessageBox::Information);
        if (box.endsWith(QLatin1Char('*')))
            QVERIFY2(m_boxes->last().text.startsWith(box.chopped(1)), qPrintable(m_boxes->last().text));
        else
            QCOMPARE(m_boxes->last().text, box);
    }
}

void UpgradeTest::testTimeout_data()
{
    QTest::addColumn<DialogUpgradeInfo::Program>("program");
    QTest::addColumn<bool>("timesOut");
    // The processing program and the designer give up after 5 s.
    QTest::newRow("processing program") << DialogUpgradeInfo::ardentiq() << true;
    // The station waits for the platform as long as the network layer does.
    QTest::newRow("station") << DialogUpgradeInfo::pellwyn() << false;
}

void UpgradeTest::testTimeout()
{
    QFETCH(DialogUpgradeInfo::Program, program);
    QFETCH(bool, timesOut);
    m_sim.setReply(QStringLiteral("/upgrade/online/") + program.word,
                   codeReply(201, QStringLiteral("最新"), timesOut ? 8000 : 7000));
    DialogUpgradeInfo dialog(program);
    QElapsedTimer clock;
    clock.start();
    const View view = runCheck(dialog);
    const qint64 elapsed = clock.elapsed();

    QCOMPARE(dialog.timedOut(), timesOut);
    if (timesOut) {
        // A coarse timer may fire up to 5 % early.
        QVERIFY2(elapsed >= 4700 && elapsed < 7900, qPrintable(QString::number(elapsed)));
        QVERIFY(!view.shown);
        QCOMPARE(m_boxes->count(), 1);
        QCOMPARE(m_boxes->last().text, QStringLiteral("请求超时。"));
    } else {
        // Well past the 5 s after which the other programs give up.
        QVERIFY2(elapsed >= 5600, qPrintable(QString::number(elapsed)));
        QVERIFY(view.shown);
        QCOMPARE(m_boxes->count(), 0);
    }
}

// ---------------------------------------------------------------- the hand-off

void UpgradeTest::testHandOff()
{
    const QString appDir = m_dir->path();
    const QString updater = appDir + QStringLiteral("/Upgrade.exe");
    const QString copy = appDir + QStringLiteral("/Upgrade_temp.exe");
    QVERIFY(writeFile(updater, kUpdaterScript, true));
    // Left by an earlier run; must be replaced, not started.
    QVERIFY(writeFile(copy, "#!/bin/sh\nexit 1\n", true));

    const QJsonObject message = release(QStringLiteral("2025-09-01 08:30:00"));
    m_sim.setReply(QStringLiteral("/upgrade/online/ardentiq"), codeReply(200, message));
    DialogUpgradeInfo dialog(DialogUpgradeInfo::ardentiq());
    dialog.applicationDir = appDir;
    dialog.mainExe = appDir + QStringLiteral("/程序/Ardentiq");
    QList<int> exits;
    QElapsedTimer clock;
    qint64 exitAfter = -1;
    dialog.exitProgram = [&](int code) {
        exits << code;
        exitAfter = clock.elapsed();
    };

    const View view = runCheck(dialog, [&clock](DialogUpgradeInfo *d) {
        clock.start();
        QTest::mouseClick(child<QPushButton>(d, "pushButtonOK"), Qt::LeftButton);
    });
    QVERIFY(view.okVisible);
    QCOMPARE(m_boxes->count(), 0);
    QCOMPARE(exits, QList<int>{0});
    QVERIFY2(exitAfter >= 500, qPrintable(QString::number(exitAfter)));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(readFile(copy), kUpdaterScript);

    const QString argumentFile = appDir + QStringLiteral("/argument.txt");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(argumentFile), 10000);
    const QByteArray argument = readFile(argumentFile);
    QCOMPARE(QString::fromLatin1(argument), dialog.updaterArgument());

    // Base64, then a 4-byte big-endian length, then zlib.
    const QByteArray packed = QByteArray::fromBase64(argument, QByteArray::AbortOnBase64DecodingErrors);
    QVERIFY(packed.size() > 4);
    const QByteArray json = qUncompress(packed);
    QVERIFY(!json.isEmpty());
    QCOMPARE(qFromBigEndian<quint32>(packed.constData()), quint32(json.size()));
    QVERIFY2(!json.contains('\n') && !json.contains(": "), json.constData()); // compact
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(json, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(object.size(), 4);
    QVERIFY(object.value(QStringLiteral("version_code_now")).isString());
    QCOMPARE(object.value(QStringLiteral("version_code_now")).toString(), QStringLiteral("2025052800"));
    QCOMPARE(object.value(QStringLiteral("version_name_now")).toString(), QStringLiteral("4.2"));
    QCOMPARE(object.value(QStringLiteral("main_exe")).toString(), appDir + QStringLiteral("/程序/Ardentiq"));
    QCOMPARE(object.value(QStringLiteral("upgrade")).toObject(), message);
}

void UpgradeTest::testHandOffFailures_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("busy");
    QTest::addColumn<QString>("box");
    QTest::newRow("no updater") << "missing" << QString() << QStringLiteral("启动升级程序失败");
    QTest::newRow("updater cannot run") << "not executable" << QString() << QStringLiteral("启动升级程序失败");
    QTest::newRow("busy") << "ok" << QStringLiteral("正在上传图片，请等待上传结束再升级。")
                          << QStringLiteral("正在上传图片，请等待上传结束再升级。");
}

void UpgradeTest::testHandOffFailures()
{
    QFETCH(QString, setup);
    QFETCH(QString, busy);
    QFETCH(QString, box);
    const QString appDir = m_dir->path();
    if (setup != QLatin1String("missing"))
        QVERIFY(writeFile(appDir + QStringLiteral("/Upgrade.exe"), kUpdaterScript, setup == QLatin1String("ok")));

    m_sim.setReply(QStringLiteral("/upgrade/online/ardentiq"), codeReply(200, release(QString())));
    DialogUpgradeInfo dialog(DialogUpgradeInfo::ardentiq());
    dialog.applicationDir = appDir;
    int exits = 0;
    dialog.exitProgram = [&exits](int) { ++exits; };
    int asked = 0;
    if (!busy.isEmpty()) {
        dialog.busyReason = [&asked, busy] {
            ++asked;
            return busy;
        };
    }
    bool stillOpen = false;
    runCheck(dialog, [&stillOpen](DialogUpgradeInfo *d) {
        QTest::mouseClick(child<QPushButton>(d, "pushButtonOK"), Qt::LeftButton);
        stillOpen = d->isVisible();
        d->reject();
    });

    QCOMPARE(exits, 0);
    QVERIFY(stillOpen);
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().title, QStringLiteral("提示"));
    QCOMPARE(m_boxes->last().text, box);
    QCOMPARE(asked, busy.isEmpty() ? 0 : 1);
    if (!busy.isEmpty()) // refused before anything was copied
        QVERIFY(!QFile::exists(appDir + QStringLiteral("/Upgrade_temp.exe")));
}

void UpgradeTest::testMainWindowRefusesWhileBusy_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("box");
    QTest::newRow("uploading") << "uploading" << QStringLiteral("正在上传图片，请等待上传结束再升级。");
    QTest::newRow("recognising") << "recognising" << QStringLiteral("正在识别处理，请先停止识别再升级。");
    // Idle: the hand-off is tried (this test's program folder has no updater).
    QTest::newRow("idle") << "idle" << QStringLiteral("启动升级程序失败");
}

void UpgradeTest::testMainWindowRefusesWhileBusy()
{
    QFETCH(QString, state);
    QFETCH(QString, box);
    QVERIFY(!QFile::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/Upgrade.exe")));
    const QString ini = m_dir->filePath(QStringLiteral("Ardentiq.ini"));
    setSettingsFilePathForTesting(ini);
    PlatformTest::writeIni(ini, {{QStringLiteral("Account/CustomerType"), QStringLiteral("school")},
                                 {QStringLiteral("Account/CustomerCode"), QStringLiteral("c1")},
                                 {QStringLiteral("Account/DataKey"), QStringLiteral("k")}});
    m_sim.setReply(QStringLiteral("/school/c1/client/key-check"), codeReply(200, QStringLiteral("S1")));
    m_sim.setReply(QStringLiteral("/upgrade/online/ardentiq"), codeReply(200, release(QString())));
    {
        MainWindow w;
        m_boxes->clear();
        if (state == QLatin1String("uploading"))
            w.tableWidgetResults->uploading = true;
        else if (state == QLatin1String("recognising"))
            w.processWorkers.append(nullptr); // only its presence counts
        QCOMPARE(w.upgradeBusyReason().isEmpty(), state == QLatin1String("idle"));

        bool pressed = false;
        const auto active = answerUpgradeDialog([&pressed](DialogUpgradeInfo *d) {
            QTest::mouseClick(child<QPushButton>(d, "pushButtonOK"), Qt::LeftButton);
            pressed = true;
            d->reject();
        });
        w.upgrade();
        *active = false;
        QVERIFY(pressed);
        QCOMPARE(m_boxes->count(), 1);
        QCOMPARE(m_boxes->last().text, box);

        w.tableWidgetResults->uploading = false;
        w.processWorkers.clear();
    }
    setSettingsFilePathForTesting(QString());
}

QTEST_MAIN(UpgradeTest)
#include "upgrade_test.moc"
