// Choosing an exam: the version check that comes first, the exam dialog from
// the project list to an accepted exam against a local HTTPS platform, and
// what reaches the main window (only an accepted choice does).

#include "answerparsing.h"
#include "dialogexam.h"
#include "dialogupgradeinfo.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "omrresources.h"
#include "platformfixture.h"
#include "settingsfile.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(PlatformSimulator::Reply)

namespace {

// Reserved URL and form characters and a non-ASCII letter: the key must
// arrive exactly as stored.
const QString kKey = QStringLiteral("k+1&x=%2F 键?#");
const QString kUnionSchool = QStringLiteral("第一中学（初中部）");
const QString kProject = QStringLiteral("2025春季期中考试");
const QByteArray kTemplate =
    R"(<?xml version="1.0" encoding="UTF-8"?><Template name="期中 &amp; 数学"><Page id="1"/></Template>)";

QString prefixOf(const QString &type)
{
    return type == QLatin1String("union") ? QStringLiteral("/union/u1") : QStringLiteral("/school/c1");
}

PlatformSimulator::Reply raw(int status, const QByteArray &body, bool drop = false, int delayMs = 0)
{
    PlatformSimulator::Reply reply;
    reply.status = status;
    reply.body = body;
    reply.dropConnection = drop;
    reply.delayMs = delayMs;
    return reply;
}

PlatformSimulator::Reply codeReply(int code, const QJsonValue &message)
{
    return PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), code}, {QStringLiteral("message"), message}});
}

// `changes` adds or replaces keys; a null value removes the key.
QJsonObject changed(QJsonObject base, const QJsonObject &changes)
{
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        if (it.value().isNull())
            base.remove(it.key());
        else
            base.insert(it.key(), it.value());
    }
    return base;
}

QJsonObject examObject(const QString &id, const QString &subject, const QJsonObject &changes = {})
{
    const QJsonObject base{
        {QStringLiteral("id"), id},
        {QStringLiteral("grade_id"), QStringLiteral("g7")},
        {QStringLiteral("grade"), QStringLiteral("七年级")},
        {QStringLiteral("subject"), subject},
        {QStringLiteral("object_answer_ok"), QStringLiteral("1")},
        {QStringLiteral("optional_object_answer_ok"), QStringLiteral("1")},
        {QStringLiteral("sheet_template_ok"), QStringLiteral("1")},
        {QStringLiteral("sheet_ok"), 0},
        {QStringLiteral("data_upload_ok"), QStringLiteral("0")},
        {QStringLiteral("allow_upload_more"), QStringLiteral("0")},
        {QStringLiteral("data_upload_ok_exam_school"), QStringLiteral("0")},
    };
    return changed(base, changes);
}

QJsonObject answerItem(int id, const QString &type, const QString &answer, double score, const QString &compare,
                       double partScore)
{
    return QJsonObject{{QStringLiteral("item_id"), id},       {QStringLiteral("type"), type},
                       {QStringLiteral("optioncount"), 4},    {QStringLiteral("answer"), answer},
                       {QStringLiteral("score"), score},      {QStringLiteral("comparetype"), compare},
                       {QStringLiteral("partscore"), partScore}};
}

QString jsonText(const QJsonArray &array)
{
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

QJsonObject infoObject(const QJsonArray &objectAnswer, const QJsonArray &optionalAnswer = {},
                       const QByteArray &xml = kTemplate)
{
    QJsonObject info{{QStringLiteral("object_answer"), jsonText(objectAnswer)},
                     {QStringLiteral("optional_object_answer"), jsonText(optionalAnswer)}};
    if (!xml.isNull())
        info.insert(QStringLiteral("sheet_template"), QString::fromUtf8(xml));
    return info;
}

const QJsonArray kAnswersA{answerItem(1, QStringLiteral("S"), QStringLiteral("A"), 2, QStringLiteral("SC"), 0),
                           answerItem(2, QStringLiteral("M"), QStringLiteral("BD"), 3, QStringLiteral("MA"), 1.5)};
const QJsonArray kOptionalA{answerItem(21, QStringLiteral("S"), QStringLiteral("C"), 5, QStringLiteral("SC"), 0)};
const QJsonArray kAnswersB{answerItem(7, QStringLiteral("S"), QStringLiteral("D"), 1, QStringLiteral("SC"), 0)};

template <class T>
T *child(QWidget *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("missing child %s", name);
    return widget;
}

void clickItem(QListWidget *list, int row, bool twice = false)
{
    QListWidgetItem *item = list->item(row);
    if (!item) {
        QTest::qFail("no such list row", __FILE__, __LINE__);
        return;
    }
    list->scrollToItem(item);
    const QPoint at = list->visualItemRect(item).center();
    // A double click is a click followed by the second press.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    if (twice)
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

// Runs `action` once `ready` holds, polling every 20 ms for up to 10 s.
void whenReady(QObject *context, std::function<bool()> ready, std::function<void()> action, int tries = 500)
{
    QTimer::singleShot(20, context, [=] {
        if (ready())
            action();
        else if (tries > 0)
            whenReady(context, ready, action, tries - 1);
    });
}

void pressOk(DialogExam &dialog)
{
    QTest::mouseClick(child<QDialogButtonBox>(&dialog, "buttonBoxOK")->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

QString cell(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QString();
}

QStringList texts(const QList<MessageBoxSpec> &boxes)
{
    QStringList out;
    for (const MessageBoxSpec &box : boxes)
        out << box.text;
    return out;
}

} // namespace

class ExamTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void testVersionCheck_data();
    void testVersionCheck();

    void testProjects_data();
    void testProjects();
    void testProjectFailures_data();
    void testProjectFailures();
    void testExams();
    void testExamFailures_data();
    void testExamFailures();
    void testManyExamsShareBadges();
    void testStatusFlags_data();
    void testStatusFlags();

    void testAcceptHandsExamToMainWindow_data();
    void testAcceptHandsExamToMainWindow();
    void testCompareTypes();
    void testAnswerTextShapes();
    void testAcceptRefusals_data();
    void testAcceptRefusals();
    void testUnchosenExamLeavesMainWindow_data();
    void testUnchosenExamLeavesMainWindow();
    void testLaterExamReplacesEarlier();
    void testReplyOfEarlierClickIsDropped();

private:
    // Account in the ini file, the key check answered, then the window.
    std::unique_ptr<MainWindow> openWindow(const QString &type = QStringLiteral("school"));
    // One project (id 12) with exams E-1_a (数学) and E2 (英语) and their information.
    void serveStandardExam(const QString &type, const QJsonObject &examChanges = {},
                           const PlatformSimulator::Reply &infoA = PlatformSimulator::json(infoObject(kAnswersA,
                                                                                                     kOptionalA)));
    void serveExams(const QString &type, const QJsonArray &exams);
    void serveInfos(const QString &type, const QMap<QString, PlatformSimulator::Reply> &infos);
    // Shows the dialog and picks the first project and the given exam.
    void pick(DialogExam &dialog, int examRow);

    PlatformSimulator m_sim;
    QString m_host;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_ini;
    QString m_scans;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
};

void ExamTest::initTestCase()
{
    initOmrResources();
    QString error;
    QVERIFY2(PlatformTest::startTrusted(m_sim, &error), qPrintable(error));
    m_host = m_sim.host();
}

void ExamTest::init()
{
    m_sim.clearReplies();
    m_sim.clearRequests();
    qputenv("VOSTRA_PLATFORM_HOST", m_host.toUtf8());
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_ini = m_dir->filePath(QStringLiteral("Ardentiq.ini"));
    m_scans = m_dir->filePath(QStringLiteral("扫描 图片"));
    QVERIFY(QDir().mkpath(m_scans));
    setSettingsFilePathForTesting(m_ini);
    m_boxes = std::make_unique<MessageBoxRecorder>();
}

void ExamTest::cleanup()
{
    m_boxes.reset();
    setSettingsFilePathForTesting(QString());
    m_dir.reset();
}

std::unique_ptr<MainWindow> ExamTest::openWindow(const QString &type)
{
    const bool isUnion = type == QLatin1String("union");
    PlatformTest::writeIni(m_ini, {{QStringLiteral("Account/CustomerType"), type},
                                   {QStringLiteral("Account/CustomerCode"), isUnion ? QStringLiteral("u1") : QStringLiteral("c1")},
                                   {QStringLiteral("Account/DataKey"), kKey},
                                   {QStringLiteral("Account/SchoolName"), isUnion ? kUnionSchool : QString()},
                                   {QStringLiteral("Account/SchoolID"), QStringLiteral("S9")},
                                   {QStringLiteral("Scan/SavePath"), m_scans}});
    m_sim.setReply(prefixOf(type) + QStringLiteral("/client/key-check"), codeReply(200, QStringLiteral("S9")));
    auto window = std::make_unique<MainWindow>();
    m_sim.clearRequests();
    m_boxes->clear();
    return window;
}

void ExamTest::serveExams(const QString &type, const QJsonArray &exams)
{
    m_sim.setHandler(prefixOf(type) + QStringLiteral("/client/exams"), [exams](const PlatformSimulator::Request &r) {
        if (r.queryValue(QStringLiteral("project_id")) == QLatin1String("12"))
            return PlatformSimulator::json(exams);
        return PlatformSimulator::json(QJsonArray());
    });
}

void ExamTest::serveInfos(const QString &type, const QMap<QString, PlatformSimulator::Reply> &infos)
{
    m_sim.setHandler(prefixOf(type) + QStringLiteral("/client/exam-info"), [infos](const PlatformSimulator::Request &r) {
        return infos.value(r.queryValue(QStringLiteral("exam_id")), raw(404, "{}"));
    });
}

void ExamTest::serveStandardExam(const QString &type, const QJsonObject &examChanges,
                                 const PlatformSimulator::Reply &infoA)
{
    const QJsonArray projects{QJsonObject{{QStringLiteral("project"), kProject}, {QStringLiteral("id"), QStringLiteral("12")}}};
    m_sim.setReply(prefixOf(type) + QStringLiteral("/client/projects"),
                   codeReply(200, QJsonObject{{QStringLiteral("projects"), projects}}));
    serveExams(type, {examObject(QStringLiteral("E-1_a"), QStringLiteral("数学"), examChanges),
                      examObject(QStringLiteral("E2"), QStringLiteral("英语"))});
    serveInfos(type, {{QStringLiteral("E-1_a"), infoA},
                      {QStringLiteral("E2"), PlatformSimulator::json(infoObject(kAnswersB))}});
}

void ExamTest::pick(DialogExam &dialog, int examRow)
{
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *projects = child<QListWidget>(&dialog, "listWidgetExamName");
    QVERIFY(projects->count() > 0);
    clickItem(projects, 0, true);
    QCOMPARE(child<QStackedWidget>(&dialog, "stackedWidget")->currentIndex(), 1);
    clickItem(child<QListWidget>(&dialog, "listWidgetExam"), examRow);
}

// ---------------------------------------------------------------- version check

void ExamTest::testVersionCheck_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<PlatformSimulator::Reply>("reply");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("box");        // text, or its start when it ends in "*"
    QTest::addColumn<bool>("upgradeDialog"); // the upgrade check ran and its dialog was answered

    QTest::newRow("200") << "school" << codeReply(200, QStringLiteral("ok")) << 0 << QString() << false;
    QTest::newRow("200 union") << "union" << codeReply(200, QStringLiteral("ok")) << 0 << QString() << false;
    QTest::newRow("500 must upgrade") << "school" << codeReply(500, QStringLiteral("此版本已停用，请升级"))
                                      << 1 << QStringLiteral("此版本已停用，请升级") << true;
    QTest::newRow("other code") << "school" << codeReply(300, QStringLiteral("?")) << -1 << QString() << false;
    QTest::newRow("array") << "school" << PlatformSimulator::json(QJsonArray{1}) << -1 << QString() << false;
    QTest::newRow("not JSON") << "school" << raw(200, "<html>busy</html>") << -1 << QStringLiteral("版本检查失败！")
                              << false;
    QTest::newRow("no response") << "school" << raw(200, QByteArray(), true) << -1 << QStringLiteral("code:0\n*")
                                 << false;
    QTest::newRow("HTTP 502") << "school" << raw(502, "{}") << -1 << QStringLiteral("code:502\n*") << false;
}

void ExamTest::testVersionCheck()
{
    QFETCH(QString, type);
    QFETCH(PlatformSimulator::Reply, reply);
    QFETCH(int, result);
    QFETCH(QString, box);
    QFETCH(bool, upgradeDialog);

    auto w = openWindow(type);
    m_sim.setReply(prefixOf(type) + QStringLiteral("/client/version-check"), reply);
    m_sim.setReply(QStringLiteral("/upgrade/online/ardentiq"), codeReply(201, QStringLiteral("已是最新版本")));
    bool answered = false;
    if (upgradeDialog) {
        PlatformTest::answerModal<DialogUpgradeInfo>([&answered](DialogUpgradeInfo *d) {
            answered = true;
            d->reject();
        });
    }

    QCOMPARE(w->versionCheck(), result);

    const auto requests = m_sim.requestsTo(prefixOf(type) + QStringLiteral("/client/version-check"));
    QVERIFY(!requests.isEmpty());
    const PlatformSimulator::Request &r = requests.first();
    QCOMPARE(r.method, QByteArray("POST"));
    QVERIFY(r.headers.value("content-type").startsWith("multipart/form-data"));
    QCOMPARE(r.part(QStringLiteral("key"))->text(), kKey);
    QCOMPARE(r.part(QStringLiteral("key"))->contentType, QByteArray("text/plain"));
    QCOMPARE(r.part(QStringLiteral("version_code"))->text(), QStringLiteral("2025052800"));
    QCOMPARE(r.part(QStringLiteral("version_name"))->text(), QStringLiteral("4.2"));
    if (type == QLatin1String("union"))
        QCOMPARE(r.part(QStringLiteral("school_id"))->text(), QStringLiteral("S9"));
    else
        QVERIFY(!r.part(QStringLiteral("school_id")));

    if (box.isEmpty()) {
        QCOMPARE(m_boxes->count(), 0);
    } else {
        QCOMPARE(m_boxes->count(), 1);
        const MessageBoxSpec shown = m_boxes->boxes().first();
        QCOMPARE(shown.title, QStringLiteral("提示"));
        if (box.endsWith(QLatin1Char('*'))) {
            QVERIFY2(shown.text.startsWith(box.chopped(1)), qPrintable(shown.text));
            QVERIFY(shown.text.size() > box.size()); // the error text follows
            QCOMPARE(shown.icon, QMessageBox::Warning);
        } else {
            QCOMPARE(shown.text, box);
            QCOMPARE(shown.icon, QMessageBox::Information);
        }
    }
    QCOMPARE(answered, upgradeDialog);
    QCOMPARE(m_sim.requestsTo(QStringLiteral("/upgrade/online/ardentiq")).size(), upgradeDialog ? 1 : 0);
}

// ---------------------------------------------------------------- projects and exams

void ExamTest::testProjects_data()
{
    QTest::addColumn<QString>("type");
    QTest::newRow("school") << "school";
    QTest::newRow("union") << "union";
}

void ExamTest::testProjects()
{
    QFETCH(QString, type);
    const bool isUnion = type == QLatin1String("union");
    auto w = openWindow(type);
    const QJsonArray projects{
        QJsonObject{{QStringLiteral("project"), kProject}, {QStringLiteral("id"), QStringLiteral("12")}},
        QJsonObject{{QStringLiteral("project"), QStringLiteral("坏编号")}, {QStringLiteral("id"), QStringLiteral("1 OR 1")}},
        QJsonObject{{QStringLiteral("project"), QStringLiteral("第二次月考")}, {QStringLiteral("id"), QStringLiteral("7")}},
        QJsonObject{{QStringLiteral("project"), QStringLiteral("空编号")}, {QStringLiteral("id"), QString()}},
    };
    const QJsonObject upgrade{{QStringLiteral("upgrade"), 1},
                              {QStringLiteral("version_name_now"), QStringLiteral("4.2")},
                              {QStringLiteral("version_name_new"), QStringLiteral("4.3")}};
    m_sim.setReply(prefixOf(type) + QStringLiteral("/client/projects"),
                   codeReply(200, QJsonObject{{QStringLiteral("projects"), projects},
                                              {QStringLiteral("upgrade"), upgrade}}));

    DialogExam dialog(w.get());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("考试"));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QCOMPARE(child<QDialogButtonBox>(&dialog, "buttonBoxOK")->button(QDialogButtonBox::Ok)->text(),
             QStringLiteral("确定"));

    const auto requests = m_sim.requestsTo(prefixOf(type) + QStringLiteral("/client/projects"));
    QCOMPARE(requests.size(), 1);
    const PlatformSimulator::Request &r = requests.first();
    QCOMPARE(r.part(QStringLiteral("key"))->text(), kKey);
    QCOMPARE(r.part(QStringLiteral("version_code"))->text(), QStringLiteral("2025052800"));
    QCOMPARE(r.part(QStringLiteral("version_name"))->text(), QStringLiteral("4.2"));
    QCOMPARE(r.part(QStringLiteral("school_id")) != nullptr, isUnion);

    // Only projects whose id is a number are listed; the others are named in one warning.
    auto *list = child<QListWidget>(&dialog, "listWidgetExamName");
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), kProject);
    QCOMPARE(list->item(0)->data(Qt::UserRole), QVariant(12));
    QCOMPARE(list->item(1)->data(Qt::UserRole), QVariant(7));
    QVERIFY(list->selectedItems().isEmpty());
    QCOMPARE(m_boxes->count(), 1);
    QVERIFY(m_boxes->last().text.contains(QStringLiteral("坏编号")));
    QVERIFY(m_boxes->last().text.contains(QStringLiteral("空编号")));

    QVERIFY(!child<QWidget>(&dialog, "widgetUpgrade")->isHidden());
    QCOMPARE(child<QLabel>(&dialog, "labelUpgrade")->text(), QStringLiteral("发现新版本：4.2 => 4.3"));
    QCOMPARE(child<QStackedWidget>(&dialog, "stackedWidget")->currentIndex(), 0);
    QVERIFY(child<QCheckBox>(&dialog, "checkBoxAllowUploadMore")->isHidden());
    QCOMPARE(child<QLineEdit>(&dialog, "lineEditImageSavePath")->text(), m_scans);
    // The school name of a union customer, not the school id.
    QCOMPARE(child<QLabel>(&dialog, "labelSchoolName")->isHidden(), !isUnion);
    QCOMPARE(child<QLabel>(&dialog, "labelSchoolName")->text(), isUnion ? kUnionSchool : QString());
    QCOMPARE(child<QCheckBox>(&dialog, "checkBoxSheetUploadSchool")->isHidden(), !isUnion);

    // Refresh asks again and comes back to the first page.
    m_boxes->clear();
    QTest::mouseClick(child<QPushButton>(&dialog, "pushButtonRefresh"), Qt::LeftButton);
    QCOMPARE(m_sim.requestsTo(prefixOf(type) + QStringLiteral("/client/projects")).size(), 2);
    QCOMPARE(list->count(), 2);
}

void ExamTest::testProjectFailures_data()
{
    QTest::addColumn<PlatformSimulator::Reply>("reply");
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("upgradeDialog");
    QTest::newRow("no response") << raw(200, QByteArray(), true) << QStringLiteral("code:0\n*") << false;
    QTest::newRow("not JSON") << raw(200, "projects") << QStringLiteral("未知错误！\n平台的回复无法读取（HTTP 200）：projects")
                              << false;
    QTest::newRow("empty body") << raw(200, QByteArray()) << QStringLiteral("未知错误！\n平台的回复为空（HTTP 200）") << false;
    // Each says what really came: a code as text is no code.
    QTest::newRow("flipped types")
        << PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), QStringLiteral("200")},
                                               {QStringLiteral("message"), QJsonArray{QStringLiteral("x")}}})
        << QStringLiteral("平台的回复无法读取（HTTP 200）：{\"code\":\"200\",\"message\":[\"x\"]}") << false;
    QTest::newRow("projects not a list")
        << PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 200},
                                               {QStringLiteral("message"), QJsonObject{{QStringLiteral("projects"), 5}}}})
        << QStringLiteral("平台的回复无法读取（HTTP 200）：*") << false;
    QTest::newRow("redirect to http")
        << PlatformTest::redirectReply(QStringLiteral("http://127.0.0.1:9/school/c1/client/projects"))
        << QStringLiteral("code:302\n平台要求转到另一地址（http://127.0.0.1:9/school/c1/client/projects），已拒绝跟随，请求未完成")
        << false;
    QTest::newRow("501 too old") << codeReply(501, QStringLiteral("版本过旧，请升级后使用")) << QStringLiteral("版本过旧，请升级后使用")
                                 << true;
    QTest::newRow("other code") << codeReply(404, QStringLiteral("无")) << QStringLiteral("404:无") << false;
}

void ExamTest::testProjectFailures()
{
    QFETCH(PlatformSimulator::Reply, reply);
    QFETCH(QString, box);
    QFETCH(bool, upgradeDialog);
    auto w = openWindow();
    m_sim.setReply(QStringLiteral("/school/c1/client/projects"), reply);
    m_sim.setReply(QStringLiteral("/upgrade/online/ardentiq"), codeReply(201, QStringLiteral("已是最新版本")));
    bool answered = false;
    if (upgradeDialog) {
        PlatformTest::answerModal<DialogUpgradeInfo>([&answered](DialogUpgradeInfo *d) {
            answered = true;
            d->reject();
        });
    }

    DialogExam dialog(w.get());
    QCOMPARE(child<QListWidget>(&dialog, "listWidgetExamName")->count(), 0);
    QCOMPARE(answered, upgradeDialog);
    if (box.isEmpty()) {
        QCOMPARE(m_boxes->count(), 0);
        return;
    }
    QCOMPARE(m_boxes->count(), 1);
    if (box.endsWith(QLatin1Char('*')))
        QVERIFY2(m_boxes->last().text.startsWith(box.chopped(1)), qPrintable(m_boxes->last().text));
    else
        QCOMPARE(m_boxes->last().text, box);
}

void ExamTest::testExams()
{
    auto w = openWindow();
    serveStandardExam(QStringLiteral("school"));
    serveExams(QStringLiteral("school"), {examObject(QStringLiteral("E-1_a"), QStringLiteral("数学")),
                                          examObject(QStringLiteral("E9"), QStringLiteral("Zoology")),
                                          examObject(QStringLiteral("E10"), QString())});
    DialogExam dialog(w.get());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    m_sim.clearRequests();
    clickItem(child<QListWidget>(&dialog, "listWidgetExamName"), 0, true);

    const auto requests = m_sim.requestsTo(QStringLiteral("/school/c1/client/exams"));
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().query, QStringLiteral("project_id=12"));
    QCOMPARE(requests.first().formFields, (QList<QPair<QString, QString>>{{QStringLiteral("key"), kKey}}));

    QCOMPARE(child<QStackedWidget>(&dialog, "stackedWidget")->currentIndex(), 1);
    QCOMPARE(child<QLabel>(&dialog, "labelExamName")->text(), kProject);
    auto *exams = child<QListWidget>(&dialog, "listWidgetExam");
    QCOMPARE(exams->count(), 3);
    QCOMPARE(exams->item(0)->text(), QStringLiteral("七年级 \n 数学"));
    QVERIFY(exams->selectedItems().isEmpty());
    const auto image = [](const QIcon &icon) { return icon.pixmap(32, 32).toImage(); };
    const QImage math = image(QIcon(QStringLiteral(":/image/res/images/subjects/数.png")));
    const QImage fallback = image(QIcon(QStringLiteral(":/image/res/images/subjects/考.png")));
    QVERIFY(!math.isNull() && !fallback.isNull() && math != fallback);
    QCOMPARE(image(exams->item(0)->icon()), math);
    QCOMPARE(image(exams->item(1)->icon()), fallback);
    QCOMPARE(image(exams->item(2)->icon()), fallback);
    QCOMPARE(exams->item(0)->data(Qt::UserRole).toJsonObject().value(QStringLiteral("id")).toString(),
             QStringLiteral("E-1_a"));

    // Back: first page, exams gone, lamps off.
    clickItem(exams, 0);
    QVERIFY(child<QCheckBox>(&dialog, "checkBoxLumbrisk")->isChecked());
    QTest::mouseClick(child<QWidget>(&dialog, "toolButtonBack"), Qt::LeftButton);
    QCOMPARE(child<QStackedWidget>(&dialog, "stackedWidget")->currentIndex(), 0);
    QCOMPARE(exams->count(), 0);
    for (const char *name : {"checkBoxObjectAnswer", "checkBoxOptionalObjectAnswer", "checkBoxLumbrisk",
                             "checkBoxSheetUpload"})
        QVERIFY2(!child<QCheckBox>(&dialog, name)->isChecked(), name);
    QVERIFY(dialog.examId.isEmpty());
    QVERIFY(!dialog.examInfoLoaded);
    QCOMPARE(m_boxes->count(), 0);
}

void ExamTest::testExamFailures_data()
{
    QTest::addColumn<PlatformSimulator::Reply>("reply");
    QTest::addColumn<bool>("networkError");
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("page");
    QTest::newRow("no response") << raw(200, QByteArray(), true) << true << QString() << 0;
    PlatformSimulator::Reply tooLarge = raw(200, "[" + QByteArray(int(PlatformRequest::kMaxReplyBytes), ' ') + "]");
    tooLarge.chunked = true;
    QTest::newRow("too large") << tooLarge << true << QStringLiteral("平台回复过大（超过 32 MiB），已中止") << 0;
    QTest::newRow("not JSON") << raw(200, "[oops") << false
                              << QStringLiteral("未知错误！\n平台的回复无法读取（HTTP 200）：[oops") << 1;
    QTest::newRow("empty body") << raw(200, QByteArray()) << false << QStringLiteral("未知错误！\n平台的回复为空（HTTP 200）")
                                << 1;
    QTest::newRow("refusal") << PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 500},
                                                                    {QStringLiteral("message"), QStringLiteral("无权限")}})
                             << false << QStringLiteral("500:无权限") << 1;
    QTest::newRow("redirect to http")
        << PlatformTest::redirectReply(QStringLiteral("http://127.0.0.1:9/school/c1/client/exams")) << true
        << QStringLiteral("平台要求转到另一地址（http://127.0.0.1:9/school/c1/client/exams），已拒绝跟随，请求未完成") << 0;
}

void ExamTest::testExamFailures()
{
    QFETCH(PlatformSimulator::Reply, reply);
    QFETCH(bool, networkError);
    QFETCH(QString, box);
    QFETCH(int, page);
    auto w = openWindow();
    serveStandardExam(QStringLiteral("school"));
    m_sim.setHandler(QStringLiteral("/school/c1/client/exams"), [reply](const PlatformSimulator::Request &) { return reply; });
    DialogExam dialog(w.get());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    clickItem(child<QListWidget>(&dialog, "listWidgetExamName"), 0, true);

    QCOMPARE(child<QListWidget>(&dialog, "listWidgetExam")->count(), 0);
    QCOMPARE(child<QStackedWidget>(&dialog, "stackedWidget")->currentIndex(), page);
    if (networkError) {
        // The exam list shows the error text alone.
        QCOMPARE(m_boxes->count(), 1);
        QCOMPARE(m_boxes->last().icon, QMessageBox::Warning);
        QVERIFY(!m_boxes->last().text.isEmpty());
        QVERIFY2(!m_boxes->last().text.startsWith(QStringLiteral("code:")), qPrintable(m_boxes->last().text));
        if (!box.isEmpty())
            QCOMPARE(m_boxes->last().text, box);
    } else if (box.isEmpty()) {
        QCOMPARE(m_boxes->count(), 0);
    } else {
        QCOMPARE(texts(m_boxes->boxes()), QStringList{box});
    }
}

void ExamTest::testManyExamsShareBadges()
{
    // Thousands of exams of a few subjects, two of them without a badge of
    // their own: one decoded picture per badge serves them all.
    const QStringList subjects{QStringLiteral("数学"), QStringLiteral("英语"), QStringLiteral("物理"),
                               QStringLiteral("Zoology"), QString()};
    QJsonArray many;
    for (int i = 0; i < 3000; ++i)
        many.append(examObject(QStringLiteral("E%1").arg(i), subjects.at(i % subjects.size())));
    auto w = openWindow();
    serveStandardExam(QStringLiteral("school"));
    serveExams(QStringLiteral("school"), many);
    DialogExam dialog(w.get());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    clickItem(child<QListWidget>(&dialog, "listWidgetExamName"), 0, true);

    auto *exams = child<QListWidget>(&dialog, "listWidgetExam");
    QCOMPARE(exams->count(), many.size());
    QMap<QString, QSet<qint64>> badgesBySubject;
    QSet<qint64> badges;
    for (int i = 0; i < exams->count(); ++i) {
        const QJsonObject exam = exams->item(i)->data(Qt::UserRole).toJsonObject();
        QCOMPARE(exam.value(QStringLiteral("id")).toString(), QStringLiteral("E%1").arg(i));
        const qint64 key = exams->item(i)->icon().cacheKey();
        badgesBySubject[exam.value(QStringLiteral("subject")).toString()].insert(key);
        badges.insert(key);
    }
    for (const QString &subject : subjects)
        QCOMPARE(badgesBySubject.value(subject).size(), 1);
    // 数, 英, 物 and the shared fallback.
    QCOMPARE(badges.size(), 4);
    QCOMPARE(*badgesBySubject.value(QStringLiteral("Zoology")).begin(), *badgesBySubject.value(QString()).begin());
    const QImage math = QIcon(QStringLiteral(":/image/res/images/subjects/数.png")).pixmap(32, 32).toImage();
    QCOMPARE(exams->item(0)->icon().pixmap(32, 32).toImage(), math);
    QCOMPARE(m_boxes->count(), 0);
}

void ExamTest::testStatusFlags_data()
{
    QTest::addColumn<QJsonObject>("changes");
    QTest::addColumn<QString>("expected"); // object, optional, template, upload, allow shown, allow, school: 0/1

    QTest::newRow("texts \"1\"") << QJsonObject{{QStringLiteral("data_upload_ok_exam_school"), QStringLiteral("1")}}
                               << "1110001";
    // Only the text "1" sets a lamp, except "sheet_ok", which is a number.
    QTest::newRow("numbers 1") << QJsonObject{{QStringLiteral("object_answer_ok"), 1},
                                              {QStringLiteral("optional_object_answer_ok"), 1},
                                              {QStringLiteral("sheet_template_ok"), 1},
                                              {QStringLiteral("data_upload_ok_exam_school"), 1},
                                              {QStringLiteral("sheet_ok"), 1},
                                              {QStringLiteral("data_upload_ok"), QJsonValue::Null}}
                               << "0001000";
    QTest::newRow("sheet_ok as text") << QJsonObject{{QStringLiteral("sheet_ok"), QStringLiteral("1")},
                                                     {QStringLiteral("data_upload_ok"), QJsonValue::Null}}
                                      << "1110000";
    QTest::newRow("data_upload_ok decides") << QJsonObject{{QStringLiteral("sheet_ok"), 1}} << "1110000";
    QTest::newRow("uploaded, more allowed") << QJsonObject{{QStringLiteral("data_upload_ok"), QStringLiteral("1")},
                                                           {QStringLiteral("allow_upload_more"), QStringLiteral("1")}}
                                            << "1111110";
    QTest::newRow("uploaded, no more") << QJsonObject{{QStringLiteral("data_upload_ok"), QStringLiteral("1")}}
                                       << "1111100";
    QTest::newRow("uploaded, allow absent") << QJsonObject{{QStringLiteral("data_upload_ok"), QStringLiteral("1")},
                                                           {QStringLiteral("allow_upload_more"), QJsonValue::Null}}
                                            << "1111000";
    // Lamps of the exam clicked before never stay lit for keys left out.
    QTest::newRow("keys absent") << QJsonObject{{QStringLiteral("object_answer_ok"), QJsonValue::Null},
                                                {QStringLiteral("optional_object_answer_ok"), QJsonValue::Null},
                                                {QStringLiteral("sheet_template_ok"), QJsonValue::Null},
                                                {QStringLiteral("sheet_ok"), QJsonValue::Null},
                                                {QStringLiteral("data_upload_ok"), QJsonValue::Null},
                                                {QStringLiteral("allow_upload_more"), QJsonValue::Null},
                                                {QStringLiteral("data_upload_ok_exam_school"), QJsonValue::Null}}
                                 << "0000000";
}

void ExamTest::testStatusFlags()
{
    QFETCH(QJsonObject, changes);
    QFETCH(QString, expected);
    auto w = openWindow(QStringLiteral("union"));
    serveStandardExam(QStringLiteral("union"));
    // First an exam with every lamp lit, then the exam under test.
    const QJsonObject allLit{{QStringLiteral("data_upload_ok"), QStringLiteral("1")},
                             {QStringLiteral("allow_upload_more"), QStringLiteral("1")},
                             {QStringLiteral("data_upload_ok_exam_school"), QStringLiteral("1")}};
    serveExams(QStringLiteral("union"), {examObject(QStringLiteral("E2"), QStringLiteral("英语"), allLit),
                                         examObject(QStringLiteral("E-1_a"), QStringLiteral("数学"), changes)});
    DialogExam dialog(w.get());
    pick(dialog, 0);
    QCOMPARE(child<QCheckBox>(&dialog, "checkBoxSheetUploadSchool")->isChecked(), true);
    clickItem(child<QListWidget>(&dialog, "listWidgetExam"), 1);

    QString actual;
    for (const char *name : {"checkBoxObjectAnswer", "checkBoxOptionalObjectAnswer", "checkBoxLumbrisk",
                             "checkBoxSheetUpload"})
        actual += child<QCheckBox>(&dialog, name)->isChecked() ? QLatin1Char('1') : QLatin1Char('0');
    auto *allow = child<QCheckBox>(&dialog, "checkBoxAllowUploadMore");
    actual += allow->isHidden() ? QLatin1Char('0') : QLatin1Char('1');
    actual += allow->isChecked() ? QLatin1Char('1') : QLatin1Char('0');
    actual += child<QCheckBox>(&dialog, "checkBoxSheetUploadSchool")->isChecked() ? QLatin1Char('1') : QLatin1Char('0');
    QCOMPARE(actual, expected);
    for (const char *name : {"checkBoxObjectAnswer", "checkBoxLumbrisk", "checkBoxSheetUpload",
                             "checkBoxAllowUploadMore", "checkBoxSheetUploadSchool"})
        QVERIFY2(!child<QCheckBox>(&dialog, name)->isEnabled(), name);
}

// ---------------------------------------------------------------- accepting

void ExamTest::testAcceptHandsExamToMainWindow_data()
{
    QTest::addColumn<QString>("type");
    QTest::newRow("school") << "school";
    QTest::newRow("union") << "union";
}

void ExamTest::testAcceptHandsExamToMainWindow()
{
    QFETCH(QString, type);
    auto w = openWindow(type);
    serveStandardExam(type);
    DialogExam dialog(w.get());
    m_sim.clearRequests();
    pick(dialog, 0);

    const auto infos = m_sim.requestsTo(prefixOf(type) + QStringLiteral("/client/exam-info"));
    QCOMPARE(infos.size(), 1);
    QCOMPARE(infos.first().query, QStringLiteral("exam_id=E-1_a"));
    // The exam information is asked for with the key alone.
    QCOMPARE(infos.first().formFields, (QList<QPair<QString, QString>>{{QStringLiteral("key"), kKey}}));
    const auto exams = m_sim.requestsTo(prefixOf(type) + QStringLiteral("/client/exams"));
    QCOMPARE(exams.size(), 1);
    QCOMPARE(exams.first().formValue(QStringLiteral("school_id")),
             type == QLatin1String("union") ? QStringLiteral("S9") : QString());

    // Nothing reaches the window before OK.
    QVERIFY(w->answerSettings.isEmpty());
    QVERIFY(!w->templateDoc.RootElement());
    QCOMPARE(dialog.answerSettings.size(), 2);
    QVERIFY(dialog.templateParsed);

    auto *path = child<QLineEdit>(&dialog, "lineEditImageSavePath");
    const QString other = m_dir->filePath(QStringLiteral("其他 文件夹"));
    QVERIFY(QDir().mkpath(other));
    path->setText(other);
    pressOk(dialog);
    QCOMPARE(texts(m_boxes->boxes()), QStringList());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    QCOMPARE(dialog.examId, QStringLiteral("E-1_a"));
    QCOMPARE(dialog.examName, kProject);
    QCOMPARE(dialog.subject, QStringLiteral("数学"));
    QCOMPARE(dialog.gradeId, QStringLiteral("g7"));
    QCOMPARE(dialog.grade, QStringLiteral("七年级"));
    QCOMPARE(dialog.imageSavePath, QDir::toNativeSeparators(other));
    QCOMPARE(PlatformTest::iniValue(m_ini, QStringLiteral("Scan/SavePath")), other);

    QCOMPARE(w->answerSettings.size(), 2);
    QCOMPARE(w->answerSettings.at(1).itemId, 2);
    QCOMPARE(w->answerSettings.at(1).answer, QStringLiteral("BD"));
    QCOMPARE(w->optionalAnswerSettings.size(), 1);
    QCOMPARE(w->optionalAnswerSettings.at(0).itemId, 21);
    QVERIFY(w->templateDoc.RootElement());
    QCOMPARE(QString::fromUtf8(w->templateDoc.RootElement()->Attribute("name")), QStringLiteral("期中 & 数学"));
}

void ExamTest::testCompareTypes()
{
    struct Case {
        const char *type;
        const char *compare;
        CompareType value;
        const char *typeText;
        const char *compareText;
    };
    const Case cases[] = {
        {"S", "SC", SC, "单选", "严格判断"},  {"M", "MA", MA, "多选", "允许漏选"},
        {"M", "TYPE1", TYPE1, "多选", "类型1"}, {"M", "TYPE2", TYPE2, "多选", "类型2"},
        {"M", "TYPE3", TYPE3, "多选", "类型3"}, {"M", "ma", SC, "多选", ""},
        {"X", "", SC, "", ""},                {"s", "TYPE4", SC, "", ""},
    };
    QJsonArray items;
    int id = 1;
    for (const Case &c : cases) {
        items.append(answerItem(id, QString::fromUtf8(c.type), QStringLiteral("ABC"), 2.5, QString::fromUtf8(c.compare),
                                id == 2 ? 1 : 0.75));
        ++id;
    }
    auto w = openWindow();
    serveStandardExam(QStringLiteral("school"), {}, PlatformSimulator::json(infoObject(items)));
    DialogExam dialog(w.get());
    pick(dialog, 0);

    auto *table = child<QTableWidget>(&dialog, "tableWidget");
    QCOMPARE(table->columnCount(), 6);
    QCOMPARE(table->horizontalHeaderItem(4)->text(), QStringLiteral("判断方式"));
    QCOMPARE(table->rowCount(), int(std::size(cases)));
    for (int row = 0; row < table->rowCount(); ++row) {
        const Case &c = cases[row];
        const QByteArray what = QByteArray(c.type) + '/' + c.compare;
        QVERIFY2(cell(table, row, 0) == QString::number(row + 1), what.constData());
        QVERIFY2(cell(table, row, 1) == QString::fromUtf8(c.typeText), what.constData());
        QVERIFY2(cell(table, row, 2) == QStringLiteral("ABC"), what.constData());
        QVERIFY2(cell(table, row, 3) == QStringLiteral("2.5"), what.constData());
        QVERIFY2(cell(table, row, 4) == QString::fromUtf8(c.compareText), what.constData());
        QVERIFY2(cell(table, row, 5) == (row == 1 ? QStringLiteral("1") : QStringLiteral("0.75")), what.constData());
    }

    pressOk(dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(w->answerSettings.size(), int(std::size(cases)));
    for (int i = 0; i < w->answerSettings.size(); ++i) {
        const AnswerSetting &s = w->answerSettings.at(i);
        const QByteArray what = QByteArray(cases[i].type) + '/' + cases[i].compare;
        QVERIFY2(s.itemId == i + 1, what.constData());
        QVERIFY2(s.compareType == cases[i].value, what.constData());
        QVERIFY2(s.multiple == (QByteArray(cases[i].type) != "S"), what.constData());
        QVERIFY2(s.score == 2.5f, what.constData());
        QVERIFY2(s.partScore == (i == 1 ? 1.0f : 0.75f), what.constData());
    }
}

void ExamTest::testAnswerTextShapes()
{
    bool isArray = true;
    QVERIFY(AnswerParsing::parseAnswerText(QStringLiteral("{\"item_id\":1}"), &isArray).isEmpty());
    QVERIFY(!isArray);
    QVERIFY(AnswerParsing::parseAnswerText(QStringLiteral("not json"), &isArray).isEmpty());
    QVERIFY(!isArray);
    // Elements that are no objects are left out; the rest keep their order.
    const auto rows = AnswerParsing::parseAnswerText(
        QStringLiteral(R"([3, {"item_id":4,"type":"S","answer":"A","score":1}, "x", {"item_id":5,"type":"M"}])"), &isArray);
    QVERIFY(isArray);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).setting.itemId, 4);
    QCOMPARE(rows.at(1).setting.itemId, 5);
    QCOMPARE(rows.at(1).cells.at(3), QStringLiteral("0"));
}

void ExamTest::testAcceptRefusals_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QJsonObject>("examChanges");
    QTest::addColumn<PlatformSimulator::Reply>("info");
    QTest::addColumn<QString>("path");     // "scans", "missing", "file" or "empty"
    QTest::addColumn<bool>("chooseExam");
    QTest::addColumn<QStringList>("loadBoxes"); // shown while choosing
    QTest::addColumn<QString>("refusal");       // empty: accepted

    const PlatformSimulator::Reply good = PlatformSimulator::json(infoObject(kAnswersA, kOptionalA));
    const QString uploaded = QStringLiteral("%1\n%2\n%3").arg(
        QStringLiteral("该考试已经上传过数据了,且不允许追加上传。"),
        QStringLiteral("如果要重新上传考试数据：管理员登录平台-》该考试管理-》数据和答卷上传信息-》删除由Ardentiq上传的数据"),
        QStringLiteral("如果要追加上传数据：管理员登录平台-》该考试管理-》数据和答卷上传信息-》设置为【允许】追加上传"));
    const QString schoolUploaded =
        QStringLiteral("该考试本学校已经上传过数据了。\n如果要重新上传本次考试数据，管理员需在网页端删除本次上传数据。");

    QTest::newRow("accepted") << "school" << QJsonObject() << good << "scans" << true << QStringList() << QString();
    QTest::newRow("no exam chosen") << "school" << QJsonObject() << good << "scans" << false << QStringList()
                                    << QStringLiteral("请选择考试信息");
    QTest::newRow("template not uploaded")
        << "school" << QJsonObject{{QStringLiteral("sheet_template_ok"), QStringLiteral("0")}} << good << "scans" << true
        << QStringList() << QStringLiteral("答卷模板文件未上传。");
    QTest::newRow("exam id names no folder")
        << "school" << QJsonObject{{QStringLiteral("id"), QStringLiteral("../E1")}} << good << "scans" << true
        << QStringList{QStringLiteral("考试编号不合法：../E1")} << QStringLiteral("考试编号不合法：../E1");
    QTest::newRow("exam id a number")
        << "school" << QJsonObject{{QStringLiteral("id"), 123}} << good << "scans" << true
        << QStringList{QStringLiteral("考试编号不合法：123（平台发来的考试编号不是文本）")}
        << QStringLiteral("考试编号不合法：123（平台发来的考试编号不是文本）");
    QTest::newRow("information not an object")
        << "school" << QJsonObject() << PlatformSimulator::json(QJsonArray()) << "scans" << true
        << QStringList{QStringLiteral("考试信息未能获取：平台的回复无法读取（HTTP 200）：[]")}
        << QStringLiteral("考试信息未能获取，请重新选择考试。");
    QTest::newRow("information redirected")
        << "school" << QJsonObject() << PlatformTest::redirectReply(QStringLiteral("http://127.0.0.1:9/info"))
        << "scans" << true
        << QStringList{QStringLiteral("code:302\n平台要求转到另一地址（http://127.0.0.1:9/info），已拒绝跟随，请求未完成")}
        << QStringLiteral("考试信息未能获取，请重新选择考试。");
    QTest::newRow("information unreachable")
        << "school" << QJsonObject() << raw(200, QByteArray(), true) << "scans" << true
        << QStringList{QStringLiteral("code:0\n*")} << QStringLiteral("考试信息未能获取，请重新选择考试。");
    QTest::newRow("template missing")
        << "school" << QJsonObject() << PlatformSimulator::json(infoObject(kAnswersA, {}, QByteArray())) << "scans"
        << true << QStringList() << QStringLiteral("答卷模板文件未上传。");
    QTest::newRow("template does not parse")
        << "school" << QJsonObject() << PlatformSimulator::json(infoObject(kAnswersA, {}, "<Template><Page></Template>"))
        << "scans" << true << QStringList{QStringLiteral("解析模板文件失败")} << QStringLiteral("解析模板文件失败");
    QTest::newRow("uploaded, no more allowed")
        << "school" << QJsonObject{{QStringLiteral("data_upload_ok"), QStringLiteral("1")}} << good << "scans" << true
        << QStringList() << uploaded;
    QTest::newRow("sheets uploaded (old flag)")
        << "school" << QJsonObject{{QStringLiteral("sheet_ok"), 1}, {QStringLiteral("data_upload_ok"), QJsonValue::Null}}
        << good << "scans" << true << QStringList() << uploaded;
    QTest::newRow("uploaded, more allowed")
        << "school" << QJsonObject{{QStringLiteral("data_upload_ok"), QStringLiteral("1")},
                                   {QStringLiteral("allow_upload_more"), QStringLiteral("1")}}
        << good << "scans" << true << QStringList() << QString();
    QTest::newRow("union school uploaded")
        << "union" << QJsonObject{{QStringLiteral("data_upload_ok_exam_school"), QStringLiteral("1")}} << good << "scans"
        << true << QStringList() << schoolUploaded;
    QTest::newRow("school customer ignores school flag")
        << "school" << QJsonObject{{QStringLiteral("data_upload_ok_exam_school"), QStringLiteral("1")}} << good
        << "scans" << true << QStringList() << QString();
    QTest::newRow("folder missing") << "school" << QJsonObject() << good << "missing" << true << QStringList()
                                    << QStringLiteral("指定的路径不合法");
    QTest::newRow("folder is a file") << "school" << QJsonObject() << good << "file" << true << QStringList()
                                      << QStringLiteral("指定的路径不合法");
    QTest::newRow("folder empty") << "school" << QJsonObject() << good << "empty" << true << QStringList()
                                  << QStringLiteral("指定的路径不合法");
}

void ExamTest::testAcceptRefusals()
{
    QFETCH(QString, type);
    QFETCH(QJsonObject, examChanges);
    QFETCH(PlatformSimulator::Reply, info);
    QFETCH(QString, path);
    QFETCH(bool, chooseExam);
    QFETCH(QStringList, loadBoxes);
    QFETCH(QString, refusal);

    auto w = openWindow(type);
    serveStandardExam(type, examChanges, info);
    DialogExam dialog(w.get());
    if (chooseExam) {
        pick(dialog, 0);
    } else {
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    }
    QCOMPARE(m_boxes->count(), loadBoxes.size());
    for (int i = 0; i < loadBoxes.size(); ++i) {
        const QString &expected = loadBoxes.at(i);
        const QString shown = m_boxes->boxes().at(i).text;
        if (expected.endsWith(QLatin1Char('*')))
            QVERIFY2(shown.startsWith(expected.chopped(1)), qPrintable(shown));
        else
            QCOMPARE(shown, expected);
    }
    m_boxes->clear();

    QString folder = m_scans;
    if (path == QLatin1String("missing")) {
        folder = m_dir->filePath(QStringLiteral("不存在"));
    } else if (path == QLatin1String("file")) {
        folder = m_dir->filePath(QStringLiteral("a-file"));
        QFile f(folder);
        QVERIFY(f.open(QIODevice::WriteOnly));
    } else if (path == QLatin1String("empty")) {
        folder.clear();
    }
    child<QLineEdit>(&dialog, "lineEditImageSavePath")->setText(folder);
    PlatformTest::writeIni(m_ini, {{QStringLiteral("Scan/SavePath"), QStringLiteral("unchanged")}});

    pressOk(dialog);
    if (refusal.isEmpty()) {
        QCOMPARE(texts(m_boxes->boxes()), QStringList());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(w->answerSettings.size(), kAnswersA.size());
        QCOMPARE(PlatformTest::iniValue(m_ini, QStringLiteral("Scan/SavePath")), folder);
        return;
    }
    QCOMPARE(texts(m_boxes->boxes()), QStringList{refusal});
    QCOMPARE(m_boxes->last().title, QStringLiteral("提示"));
    QCOMPARE(m_boxes->last().icon, QMessageBox::Warning);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    // A refused choice changes nothing outside the dialog.
    QVERIFY(w->answerSettings.isEmpty());
    QVERIFY(w->optionalAnswerSettings.isEmpty());
    QVERIFY(!w->templateDoc.RootElement());
    QCOMPARE(PlatformTest::iniValue(m_ini, QStringLiteral("Scan/SavePath")), QStringLiteral("unchanged"));
}

void ExamTest::testUnchosenExamLeavesMainWindow_data()
{
    QTest::addColumn<PlatformSimulator::Reply>("info");
    QTest::addColumn<int>("delayMs"); // > 0: close while the information is on its way
    QTest::newRow("cancelled after choosing") << PlatformSimulator::json(infoObject(kAnswersA, kOptionalA)) << 0;
    QTest::newRow("cancelled after a broken template")
        << PlatformSimulator::json(infoObject(kAnswersA, kOptionalA, "<Template>")) << 0;
    QTest::newRow("closed while loading") << PlatformSimulator::json(infoObject(kAnswersA, kOptionalA)) << 1500;
}

void ExamTest::testUnchosenExamLeavesMainWindow()
{
    QFETCH(PlatformSimulator::Reply, info);
    QFETCH(int, delayMs);
    auto w = openWindow();
    // The exam that is open now.
    AnswerSetting open;
    open.itemId = 99;
    open.answer = QStringLiteral("Z");
    w->answerSettings = {open};
    w->optionalAnswerSettings = {open, open};
    QCOMPARE(w->templateDoc.Parse("<Old page=\"1\"/>"), tinyxml2::XML_SUCCESS);

    info.delayMs = delayMs;
    serveStandardExam(QStringLiteral("school"), {}, info);
    DialogExam dialog(w.get());
    int refusedWhileLoading = 0;
    if (delayMs > 0) {
        // Both ways out are refused while the reply runs.
        whenReady(&dialog, [this] { return !m_sim.requestsTo(QStringLiteral("/school/c1/client/exam-info")).isEmpty(); },
                  [&] {
            QVERIFY(dialog.requestRunning());
            dialog.accept();
            dialog.reject();
            refusedWhileLoading = m_boxes->count();
                  });
    }
    pick(dialog, 0);
    if (delayMs > 0) {
        QCOMPARE(refusedWhileLoading, 2);
        QCOMPARE(texts(m_boxes->boxes()).mid(0, 2),
                 (QStringList{QStringLiteral("网络请求未完成"), QStringLiteral("网络请求未完成")}));
        QVERIFY(dialog.isVisible());
    }
    QVERIFY(!dialog.requestRunning());
    dialog.reject();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));

    QCOMPARE(w->answerSettings.size(), 1);
    QCOMPARE(w->answerSettings.first().itemId, 99);
    QCOMPARE(w->optionalAnswerSettings.size(), 2);
    QVERIFY(w->templateDoc.RootElement());
    QCOMPARE(QByteArray(w->templateDoc.RootElement()->Name()), QByteArray("Old"));
}

void ExamTest::testLaterExamReplacesEarlier()
{
    auto w = openWindow();
    serveStandardExam(QStringLiteral("school"));
    DialogExam dialog(w.get());
    pick(dialog, 0);
    auto *table = child<QTableWidget>(&dialog, "tableWidget");
    QCOMPARE(table->rowCount(), 3);
    clickItem(child<QListWidget>(&dialog, "listWidgetExam"), 1);
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(cell(table, 0, 0), QStringLiteral("7"));
    QCOMPARE(dialog.examId, QStringLiteral("E2"));

    pressOk(dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(w->answerSettings.size(), 1);
    QCOMPARE(w->answerSettings.first().itemId, 7);
    QVERIFY(w->optionalAnswerSettings.isEmpty());
}

void ExamTest::testReplyOfEarlierClickIsDropped()
{
    auto w = openWindow();
    PlatformSimulator::Reply slowA = PlatformSimulator::json(infoObject(kAnswersA, kOptionalA));
    slowA.delayMs = 1500;
    serveStandardExam(QStringLiteral("school"), {}, slowA);
    DialogExam dialog(w.get());
    // While exam A's information is on its way, the operator clicks exam B.
    whenReady(&dialog, [this] { return !m_sim.requestsTo(QStringLiteral("/school/c1/client/exam-info")).isEmpty(); },
              [&dialog] { clickItem(child<QListWidget>(&dialog, "listWidgetExam"), 1); });
    pick(dialog, 0);
    QVERIFY(!dialog.requestRunning());
    QCOMPARE(m_sim.requestsTo(QStringLiteral("/school/c1/client/exam-info")).size(), 2);

    auto *table = child<QTableWidget>(&dialog, "tableWidget");
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(cell(table, 0, 0), QStringLiteral("7"));
    QCOMPARE(dialog.examId, QStringLiteral("E2"));
    QCOMPARE(dialog.answerSettings.size(), 1);
    QVERIFY(dialog.optionalAnswerSettings.isEmpty());
    pressOk(dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(w->answerSettings.size(), 1);
    QCOMPARE(w->answerSettings.first().itemId, 7);
}

QTEST_MAIN(ExamTest)
#include "examdialog_test.moc"
