// The platform account: the account dialog's key check and save, the
// start-up key check of the main window with its question, and the account
// command, against a local HTTPS platform and an ini file of the test's own.

#include "dialogaccount.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "mytablewidgetresult.h"
#include "omrresources.h"
#include "platformfixture.h"
#include "settingsfile.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <atomic>
#include <memory>

Q_DECLARE_METATYPE(PlatformSimulator::Reply)

namespace {

const QString kKeyCheckSchool = QStringLiteral("/school/c1/client/key-check");
const QString kKeyCheckUnion = QStringLiteral("/union/u1/client/key-check");

PlatformSimulator::Reply keyReply(int code, const QString &message)
{
    return PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), code}, {QStringLiteral("message"), message}});
}

PlatformSimulator::Reply rawReply(int status, const QByteArray &body, bool drop = false)
{
    PlatformSimulator::Reply reply;
    reply.status = status;
    reply.body = body;
    reply.dropConnection = drop;
    return reply;
}

template <class T>
T *child(QWidget *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("missing child %s", name);
    return widget;
}

} // namespace

class AccountTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void testLoad_data();
    void testLoad();
    void testVerifyRequest_data();
    void testVerifyRequest();
    void testVerifyOutcomes_data();
    void testVerifyOutcomes();
    void testVerifyUntrustedPlatform();
    void testOkNeedsVerify();
    void testSave();
    void testCustomerCodeMustNameAFile();
    void testSaveFailureKeepsDialogOpen();

    void testStartupCheck_data();
    void testStartupCheck();
    void testStartupCheckWithoutAccount();
    void testStartupCheckSchoolName_data();
    void testStartupCheckSchoolName();
    void testStartupQuestionOpensDialog_data();
    void testStartupQuestionOpensDialog();

    void testAccountCommand();
    void testAccountCommandRefusals();

private:
    void writeAccount(const QString &type, const QString &code, const QString &key, const QString &schoolName,
                      const QString &schoolId = QString());

    PlatformSimulator m_sim;
    QString m_host;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_ini;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
};

void AccountTest::initTestCase()
{
    initOmrResources();
    QString error;
    QVERIFY2(PlatformTest::startTrusted(m_sim, &error), qPrintable(error));
    m_host = m_sim.host();
}

void AccountTest::init()
{
    m_sim.clearReplies();
    m_sim.clearRequests();
    qputenv("VOSTRA_PLATFORM_HOST", m_host.toUtf8());
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_ini = m_dir->filePath(QStringLiteral("Ardentiq.ini"));
    setSettingsFilePathForTesting(m_ini);
    m_boxes = std::make_unique<MessageBoxRecorder>();
}

void AccountTest::cleanup()
{
    m_boxes.reset();
    setSettingsFilePathForTesting(QString());
    m_dir.reset();
}

void AccountTest::writeAccount(const QString &type, const QString &code, const QString &key,
                               const QString &schoolName, const QString &schoolId)
{
    QMap<QString, QString> values{{QStringLiteral("Account/CustomerType"), type},
                                  {QStringLiteral("Account/CustomerCode"), code},
                                  {QStringLiteral("Account/DataKey"), key},
                                  {QStringLiteral("Account/SchoolName"), schoolName}};
    if (!schoolId.isNull())
        values.insert(QStringLiteral("Account/SchoolID"), schoolId);
    PlatformTest::writeIni(m_ini, values);
}

// ---------------------------------------------------------------- dialog

void AccountTest::testLoad_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("shownType");
    QTest::addColumn<bool>("nameRow");
    QTest::newRow("school") << QStringLiteral("school") << QStringLiteral("school") << false;
    QTest::newRow("union") << QStringLiteral("union") << QStringLiteral("union") << true;
    QTest::newRow("unknown type") << QStringLiteral("district") << QStringLiteral("school") << false;
    QTest::newRow("absent") << QString() << QStringLiteral("school") << false;
}

void AccountTest::testLoad()
{
    QFETCH(QString, type);
    QFETCH(QString, shownType);
    QFETCH(bool, nameRow);
    if (type.isNull())
        PlatformTest::writeIni(m_ini, {});
    else
        writeAccount(type, QStringLiteral("c1"), QStringLiteral("k+1"), QStringLiteral("第一中学"));

    DialogAccount dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("帐号设置"));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    auto *combo = child<QComboBox>(&dialog, "comboBoxCustomerType");
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->currentText(), shownType);
    QCOMPARE(!child<QLabel>(&dialog, "labelSchoolName")->isHidden(), nameRow);
    QCOMPARE(!child<QLineEdit>(&dialog, "lineEditSchoolName")->isHidden(), nameRow);
    QCOMPARE(dialog.customerType(), type.isNull() ? QString() : type);
    const QString code = type.isNull() ? QString() : QStringLiteral("c1");
    QCOMPARE(child<QLineEdit>(&dialog, "lineEditCustomerCode")->text(), code);
    QCOMPARE(child<QLineEdit>(&dialog, "lineEditDataKey")->text(), type.isNull() ? QString() : QStringLiteral("k+1"));
    QCOMPARE(child<QLineEdit>(&dialog, "lineEditSchoolName")->text(),
             type.isNull() ? QString() : QStringLiteral("第一中学"));
    QVERIFY(!dialog.isVerified());
    QVERIFY(dialog.schoolID().isEmpty());

    // The row follows the combo box both ways.
    combo->setCurrentText(QStringLiteral("union"));
    QVERIFY(!child<QLabel>(&dialog, "labelSchoolName")->isHidden());
    combo->setCurrentText(QStringLiteral("school"));
    QVERIFY(child<QLineEdit>(&dialog, "lineEditSchoolName")->isHidden());
}

void AccountTest::testVerifyRequest_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("sendsName");
    // A school customer never sends its name, even when one is stored.
    QTest::newRow("school") << QStringLiteral("school") << QStringLiteral("c1") << QStringLiteral("key1")
                            << QStringLiteral("第一中学") << false;
    QTest::newRow("union") << QStringLiteral("union") << QStringLiteral("u1") << QStringLiteral("key1")
                           << QStringLiteral("第一中学（初中部）") << true;
    QTest::newRow("reserved key") << QStringLiteral("union") << QStringLiteral("u1")
                                  << QStringLiteral("a+b&c=d%2F e") << QStringLiteral("A&B=C+D") << true;
}

void AccountTest::testVerifyRequest()
{
    QFETCH(QString, type);
    QFETCH(QString, code);
    QFETCH(QString, key);
    QFETCH(QString, name);
    QFETCH(bool, sendsName);
    PlatformTest::writeIni(m_ini, {});
    const QString path = QStringLiteral("/%1/%2/client/key-check").arg(type, code);
    m_sim.setReply(path, keyReply(200, QStringLiteral("S1")));

    DialogAccount dialog;
    child<QComboBox>(&dialog, "comboBoxCustomerType")->setCurrentText(type);
    child<QLineEdit>(&dialog, "lineEditCustomerCode")->setText(code);
    child<QLineEdit>(&dialog, "lineEditDataKey")->setText(key);
    child<QLineEdit>(&dialog, "lineEditSchoolName")->setText(name);
    QTest::mouseClick(child<QPushButton>(&dialog, "pushButtonVerify"), Qt::LeftButton);

    QCOMPARE(m_sim.requests().size(), 1);
    const PlatformSimulator::Request r = m_sim.requests().first();
    QCOMPARE(r.method, QByteArray("POST"));
    QCOMPARE(r.path, path);
    const QList<QPair<QString, QString>> query{{QStringLiteral("key"), key}};
    QCOMPARE(r.queryItems, query);
    QCOMPARE(r.headers.value("content-type"), QByteArray("application/x-www-form-urlencoded"));
    QList<QPair<QString, QString>> fields{{QStringLiteral("key"), key}};
    if (sendsName)
        fields.append({QStringLiteral("school_name"), name});
    QCOMPARE(r.formFields, fields);
    QVERIFY(dialog.isVerified());
}

void AccountTest::testVerifyOutcomes_data()
{
    QTest::addColumn<PlatformSimulator::Reply>("reply");
    QTest::addColumn<int>("icon"); // QMessageBox::Icon; NoIcon: no box
    QTest::addColumn<QString>("text"); // the box's text, or its beginning for "code:" texts
    QTest::addColumn<QString>("schoolId");
    QTest::addColumn<bool>("verified");

    // Every row follows a successful check that left the school id "S1".
    QTest::newRow("accepted") << keyReply(200, QStringLiteral("S-2_b")) << int(QMessageBox::Information)
                              << QStringLiteral("验证成功") << QStringLiteral("S-2_b") << true;
    QTest::newRow("refused 201") << keyReply(201, QStringLiteral("bad key")) << int(QMessageBox::Information)
                                 << QStringLiteral("验证失败") << QStringLiteral("-1") << false;
    QTest::newRow("refused 500") << keyReply(500, QString()) << int(QMessageBox::Information)
                                 << QStringLiteral("验证失败") << QStringLiteral("-1") << false;
    QTest::newRow("not json") << rawReply(200, "<html/>") << int(QMessageBox::Information)
                              << QStringLiteral("未知错误，验证失败！") << QStringLiteral("-1") << false;
    // Told, not left looking like a check that never ran.
    QTest::newRow("array") << PlatformSimulator::json(QJsonArray{200}) << int(QMessageBox::Information)
                           << QStringLiteral("未知错误，验证失败！\n平台的回复无法读取（HTTP 200）：[200]")
                           << QStringLiteral("-1") << false;
    QTest::newRow("http error") << rawReply(500, "{}") << int(QMessageBox::Warning) << QStringLiteral("code:500\n")
                                << QStringLiteral("S1") << false;
    QTest::newRow("dropped") << rawReply(200, QByteArray(), true) << int(QMessageBox::Warning)
                             << QStringLiteral("code:0\n") << QStringLiteral("S1") << false;
    // A school id that could not name a file is no answer.
    QTest::newRow("unsafe school id") << keyReply(200, QStringLiteral("../etc")) << int(QMessageBox::Information)
                                      << QStringLiteral("未知错误，验证失败！") << QStringLiteral("-1") << false;
    QTest::newRow("empty school id") << keyReply(200, QString()) << int(QMessageBox::Information)
                                     << QStringLiteral("未知错误，验证失败！") << QStringLiteral("-1") << false;
}

void AccountTest::testVerifyOutcomes()
{
    QFETCH(PlatformSimulator::Reply, reply);
    QFETCH(int, icon);
    QFETCH(QString, text);
    QFETCH(QString, schoolId);
    QFETCH(bool, verified);
    writeAccount(QStringLiteral("school"), QStringLiteral("c1"), QStringLiteral("k"), QString());

    DialogAccount dialog;
    m_sim.setReply(kKeyCheckSchool, keyReply(200, QStringLiteral("S1")));
    dialog.verifyKey();
    QVERIFY(dialog.isVerified());
    QCOMPARE(dialog.schoolID(), QStringLiteral("S1"));
    m_boxes->clear();

    m_sim.setReply(kKeyCheckSchool, reply);
    dialog.verifyKey();
    QCOMPARE(dialog.isVerified(), verified);
    QCOMPARE(dialog.schoolID(), schoolId);
    if (icon == QMessageBox::NoIcon) {
        QCOMPARE(m_boxes->count(), 0);
        return;
    }
    QCOMPARE(m_boxes->count(), 1);
    const MessageBoxSpec box = m_boxes->last();
    QCOMPARE(int(box.icon), icon);
    QCOMPARE(box.title, QStringLiteral("提示"));
    QCOMPARE(box.parent.data(), static_cast<QWidget *>(&dialog));
    if (text.startsWith(QLatin1String("code:"))) {
        QVERIFY2(box.text.startsWith(text), qPrintable(box.text));
        QVERIFY(box.text.size() > text.size());
    } else {
        QCOMPARE(box.text, text);
    }
}

void AccountTest::testVerifyUntrustedPlatform()
{
    PlatformSimulator stranger;
    QString error;
    QVERIFY2(stranger.start(&error), qPrintable(error));
    stranger.setReply(kKeyCheckSchool, keyReply(200, QStringLiteral("S1")));
    qputenv("VOSTRA_PLATFORM_HOST", stranger.host().toUtf8());
    writeAccount(QStringLiteral("school"), QStringLiteral("c1"), QStringLiteral("k"), QString());

    DialogAccount dialog;
    QTest::ignoreMessage(QtDebugMsg, "handleSslErrors");
    dialog.verifyKey();
    QVERIFY(!dialog.isVerified());
    QVERIFY(dialog.schoolID().isEmpty());
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().icon, QMessageBox::Warning);
    QVERIFY(m_boxes->last().text.startsWith(QStringLiteral("code:0\n")));
    QVERIFY(stranger.requests().isEmpty());
}

void AccountTest::testOkNeedsVerify()
{
    writeAccount(QStringLiteral("school"), QStringLiteral("c1"), QStringLiteral("k"), QString(), QStringLiteral("S0"));
    const QByteArray before = [this] {
        QFile f(m_ini);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();

    // Never checked, then checked and refused: OK refuses both times.
    m_sim.setReply(kKeyCheckSchool, keyReply(201, QString()));
    DialogAccount dialog;
    dialog.show();
    for (int round = 0; round < 2; ++round) {
        if (round == 1)
            dialog.verifyKey();
        m_boxes->clear();
        QTest::mouseClick(child<QPushButton>(&dialog, "pushButtonOK"), Qt::LeftButton);
        QCOMPARE(m_boxes->count(), 1);
        QCOMPARE(m_boxes->last().icon, QMessageBox::Warning);
        QCOMPARE(m_boxes->last().title, QStringLiteral("提示"));
        QCOMPARE(m_boxes->last().text, QStringLiteral("验证未通过"));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
    QFile f(m_ini);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
}

void AccountTest::testSave()
{
    writeAccount(QStringLiteral("union"), QStringLiteral("u1"), QStringLiteral("old"), QStringLiteral("旧校名"),
                 QStringLiteral("S0"));
    m_sim.setReply(kKeyCheckUnion, keyReply(200, QStringLiteral("S5")));

    DialogAccount dialog;
    dialog.show();
    QVERIFY(!child<QLabel>(&dialog, "labelSchoolName")->isHidden());
    child<QLineEdit>(&dialog, "lineEditDataKey")->setText(QStringLiteral("k&=+%"));
    QTest::mouseClick(child<QPushButton>(&dialog, "pushButtonVerify"), Qt::LeftButton);
    QVERIFY(dialog.isVerified());

    // Edits after a successful check are saved with that check's school id;
    // the hidden school name is saved as well.
    child<QComboBox>(&dialog, "comboBoxCustomerType")->setCurrentText(QStringLiteral("school"));
    QVERIFY(child<QLineEdit>(&dialog, "lineEditSchoolName")->isHidden());
    child<QLineEdit>(&dialog, "lineEditCustomerCode")->setText(QStringLiteral("c-2_x"));
    child<QLineEdit>(&dialog, "lineEditSchoolName")->setText(QStringLiteral("第二中学"));
    m_boxes->clear();
    QTest::mouseClick(child<QPushButton>(&dialog, "pushButtonOK"), Qt::LeftButton);
    QCOMPARE(m_boxes->count(), 0);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());

    QCOMPARE(PlatformTest::iniValue(m_ini, QStringLiteral("Account/CustomerType")), QStringLiteral("school"));
    QCOMPARE(PlatformTest::iniValue(m_ini, QStringLiteral("Account/CustomerCode")), QStringLiteral("c-2_x"));
    QCOMPARE(PlatformTest::iniValue(m_ini, QStringLiteral("Account/DataKey")), QStringLiteral("k&=+%"));
    QCOMPARE(PlatformTest::iniValue(m_ini, QStringLiteral("Account/SchoolName")), QStringLiteral("第二中学"));
    QCOMPARE(PlatformTest::iniValue(m_ini, QStringLiteral("Account/SchoolID")), QStringLiteral("S5"));
    QCOMPARE(dialog.customerCode(), QStringLiteral("c-2_x"));

    // What the main window reads back.
    ProcessorSettings values;
    QVERIFY(readSettingsFile(m_ini, values));
    QCOMPARE(values.dataKey, QStringLiteral("k&=+%"));
    QCOMPARE(values.schoolID, QStringLiteral("S5"));
}

void AccountTest::testCustomerCodeMustNameAFile()
{
    writeAccount(QStringLiteral("school"), QStringLiteral("c1"), QStringLiteral("k"), QString(), QStringLiteral("S0"));
    m_sim.setReply(kKeyCheckSchool, keyReply(200, QStringLiteral("S1")));
    DialogAccount dialog;
    dialog.show();

    // The code becomes part of the results file's name: refused before any request.
    child<QLineEdit>(&dialog, "lineEditCustomerCode")->setText(QStringLiteral("../c1"));
    dialog.verifyKey();
    QVERIFY(!dialog.isVerified());
    QVERIFY(m_sim.requests().isEmpty());
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().icon, QMessageBox::Warning);

    // Verified with a good code, then edited: OK refuses and saves nothing.
    child<QLineEdit>(&dialog, "lineEditCustomerCode")->setText(QStringLiteral("c1"));
    dialog.verifyKey();
    QVERIFY(dialog.isVerified());
    child<QLineEdit>(&dialog, "lineEditCustomerCode")->setText(QStringLiteral("c1/x"));
    m_boxes->clear();
    dialog.accept();
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().icon, QMessageBox::Warning);
    QVERIFY(dialog.isVisible());
    QCOMPARE(PlatformTest::iniValue(m_ini, QStringLiteral("Account/CustomerCode")), QStringLiteral("c1"));
    QCOMPARE(PlatformTest::iniValue(m_ini, QStringLiteral("Account/SchoolID")), QStringLiteral("S0"));
}

void AccountTest::testSaveFailureKeepsDialogOpen()
{
    // A path under a plain file can never be written, even by root.
    const QString blocker = m_dir->filePath(QStringLiteral("not-a-folder"));
    {
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString unwritable = blocker + QStringLiteral("/Ardentiq.ini");
    setSettingsFilePathForTesting(unwritable);
    m_sim.setReply(kKeyCheckSchool, keyReply(200, QStringLiteral("S1")));

    DialogAccount dialog;
    dialog.show();
    child<QLineEdit>(&dialog, "lineEditCustomerCode")->setText(QStringLiteral("c1"));
    dialog.verifyKey();
    QVERIFY(dialog.isVerified());
    m_boxes->clear();
    QTest::mouseClick(child<QPushButton>(&dialog, "pushButtonOK"), Qt::LeftButton);
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().text, settingsWriteFailedMessage(unwritable));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

// ---------------------------------------------------------------- start-up check

void AccountTest::testStartupCheck_data()
{
    QTest::addColumn<PlatformSimulator::Reply>("reply");
    QTest::addColumn<QString>("schoolId");
    QTest::addColumn<bool>("asks");

    // The ini holds the school id "S0".
    QTest::newRow("accepted") << keyReply(200, QStringLiteral("S7")) << QStringLiteral("S7") << false;
    QTest::newRow("refused") << keyReply(201, QString()) << QStringLiteral("-1") << true;
    QTest::newRow("unknown code") << keyReply(0, QString()) << QStringLiteral("-1") << true;
    QTest::newRow("not json") << rawReply(200, "busy") << QStringLiteral("S0") << false;
    QTest::newRow("array") << PlatformSimulator::json(QJsonArray{}) << QStringLiteral("S0") << false;
    QTest::newRow("http error") << rawReply(404, "{}") << QStringLiteral("S0") << true;
    QTest::newRow("dropped") << rawReply(200, QByteArray(), true) << QStringLiteral("S0") << true;
    QTest::newRow("unsafe school id") << keyReply(200, QStringLiteral("a/b")) << QStringLiteral("S0") << false;
}

void AccountTest::testStartupCheck()
{
    QFETCH(PlatformSimulator::Reply, reply);
    QFETCH(QString, schoolId);
    QFETCH(bool, asks);
    writeAccount(QStringLiteral("school"), QStringLiteral("c1"), QStringLiteral("key+1"), QStringLiteral("某校"),
                 QStringLiteral("S0"));
    m_sim.setReply(kKeyCheckSchool, reply);

    MainWindow w;
    QVERIFY(m_sim.requests().size() >= 1);
    const PlatformSimulator::Request r = m_sim.requests().first();
    QCOMPARE(r.path, kKeyCheckSchool);
    QVERIFY(r.query.isEmpty());
    const QList<QPair<QString, QString>> fields{{QStringLiteral("key"), QStringLiteral("key+1")}};
    QCOMPARE(r.formFields, fields);
    QCOMPARE(w.schoolID, schoolId);

    if (!asks) {
        QCOMPARE(m_boxes->count(), 0);
        return;
    }
    QCOMPARE(m_boxes->count(), 1);
    const MessageBoxSpec box = m_boxes->last();
    QCOMPARE(box.icon, QMessageBox::Warning);
    QVERIFY(box.parent.isNull());
    QCOMPARE(box.title, QStringLiteral("提示"));
    QCOMPARE(box.text, QStringLiteral("发现还没有正确设置上传密钥，是否立即设置？"));
    QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.buttonText(QMessageBox::Yes), QStringLiteral("是"));
    QCOMPARE(box.buttonText(QMessageBox::No), QStringLiteral("不"));
    // The recorder said No: no dialog, the window goes on.
    QCOMPARE(m_boxes->answers().last(), QMessageBox::No);
}

void AccountTest::testStartupCheckWithoutAccount()
{
    // A fresh installation: no account, so the question comes without asking
    // the platform anything.
    PlatformTest::writeIni(m_ini, {});
    MainWindow w;
    QVERIFY(m_sim.requests().isEmpty());
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().text, QStringLiteral("发现还没有正确设置上传密钥，是否立即设置？"));
    QVERIFY(w.schoolID.isEmpty());
}

void AccountTest::testStartupCheckSchoolName_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("sendsName");
    QTest::newRow("school") << QStringLiteral("school") << QStringLiteral("c1") << false;
    QTest::newRow("union") << QStringLiteral("union") << QStringLiteral("u1") << true;
}

void AccountTest::testStartupCheckSchoolName()
{
    QFETCH(QString, type);
    QFETCH(QString, code);
    QFETCH(bool, sendsName);
    const QString name = QStringLiteral("第一中学 A&B=C+D");
    writeAccount(type, code, QStringLiteral("k%1"), name, QStringLiteral("S0"));
    const QString path = QStringLiteral("/%1/%2/client/key-check").arg(type, code);
    m_sim.setReply(path, keyReply(200, QStringLiteral("S8")));

    MainWindow w;
    QCOMPARE(m_sim.requests().size(), 1);
    const PlatformSimulator::Request r = m_sim.requests().first();
    QCOMPARE(r.path, path);
    QList<QPair<QString, QString>> fields{{QStringLiteral("key"), QStringLiteral("k%1")}};
    // The local 8-bit code page is UTF-8 here, so the name arrives as typed.
    if (sendsName)
        fields.append({QStringLiteral("school_name"), name});
    QCOMPARE(r.formFields, fields);
    QCOMPARE(w.schoolID, QStringLiteral("S8"));
    QCOMPARE(m_boxes->count(), 0);
}

void AccountTest::testStartupQuestionOpensDialog_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("schoolId");
    QTest::newRow("dialog accepted") << true << QStringLiteral("S9");
    QTest::newRow("dialog closed") << false << QStringLiteral("-1");
}

void AccountTest::testStartupQuestionOpensDialog()
{
    QFETCH(bool, accept);
    QFETCH(QString, schoolId);
    writeAccount(QStringLiteral("school"), QStringLiteral("c1"), QStringLiteral("k"), QString(), QStringLiteral("S0"));
    // The start-up check is refused; the dialog's own check then succeeds.
    auto calls = std::make_shared<std::atomic<int>>(0);
    m_sim.setHandler(kKeyCheckSchool, [calls](const PlatformSimulator::Request &) {
        return ++*calls == 1 ? keyReply(201, QString()) : keyReply(200, QStringLiteral("S9"));
    });
    m_boxes->queueAnswer(QMessageBox::Yes);

    bool seen = false;
    PlatformTest::answerModal<DialogAccount>([&seen, accept](DialogAccount *dialog) {
        seen = true;
        QCOMPARE(dialog->parentWidget(), static_cast<QWidget *>(currentMainWindow));
        if (!accept) {
            dialog->reject();
            return;
        }
        dialog->verifyKey();
        dialog->accept();
    });
    MainWindow w;
    QVERIFY(seen);
    QCOMPARE(m_boxes->boxes().first().text, QStringLiteral("发现还没有正确设置上传密钥，是否立即设置？"));
    // Accepted: the window reads the saved account again.
    QCOMPARE(w.schoolID, schoolId);
    QCOMPARE(PlatformTest::iniValue(m_ini, QStringLiteral("Account/SchoolID")),
             accept ? QStringLiteral("S9") : QStringLiteral("S0"));
}

// ---------------------------------------------------------------- account command

void AccountTest::testAccountCommand()
{
    writeAccount(QStringLiteral("school"), QStringLiteral("c1"), QStringLiteral("k1"), QString(), QStringLiteral("S0"));
    m_sim.setReply(kKeyCheckSchool, keyReply(200, QStringLiteral("S1")));
    MainWindow w;
    QCOMPARE(w.dataKey, QStringLiteral("k1"));

    // Closed: nothing is read again.
    PlatformTest::answerModal<DialogAccount>([](DialogAccount *dialog) {
        child<QLineEdit>(dialog, "lineEditDataKey")->setText(QStringLiteral("k2"));
        dialog->reject();
    });
    w.account();
    QCOMPARE(w.dataKey, QStringLiteral("k1"));
    QCOMPARE(PlatformTest::iniValue(m_ini, QStringLiteral("Account/DataKey")), QStringLiteral("k1"));

    // Verified and accepted: the window takes the new account.
    PlatformTest::answerModal<DialogAccount>([](DialogAccount *dialog) {
        child<QLineEdit>(dialog, "lineEditDataKey")->setText(QStringLiteral("k2"));
        dialog->verifyKey();
        dialog->accept();
    });
    w.account();
    QCOMPARE(w.dataKey, QStringLiteral("k2"));
    QCOMPARE(w.schoolID, QStringLiteral("S1"));
}

void AccountTest::testAccountCommandRefusals()
{
    writeAccount(QStringLiteral("school"), QStringLiteral("c1"), QStringLiteral("k1"), QString());
    m_sim.setReply(kKeyCheckSchool, keyReply(200, QStringLiteral("S1")));
    MainWindow w;

    // While recognition or image uploads run, no dialog opens.
    w.processWorkers.append(nullptr);
    w.account();
    w.processWorkers.clear();
    QVERIFY(w.textEditLog->toPlainText().contains(QStringLiteral("正在识别处理，不能完成本操作")));
    w.tableWidgetResults->uploading = true;
    w.account();
    w.tableWidgetResults->uploading = false;
    QVERIFY(w.textEditLog->toPlainText().contains(QStringLiteral("正在上传图片，不能完成本操作")));
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

QTEST_MAIN(AccountTest)
#include "account_test.moc"
