// Opening an exam end to end against the local platform: the key check at
// start-up, the version check, the exam dialog, roster, credentials, template,
// exam folder and the sheet search; then recognition of the listed sheets.

#include "dialogexam.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "mytablewidgetimage.h"
#include "mytablewidgetresult.h"
#include "omrresources.h"
#include "pipelinefixture.h"
#include "platformfixture.h"
#include "settingsfile.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

namespace {

QJsonObject answerItem(const AnswerSetting &key, int options)
{
    static const char *const codes[] = {"SC", "MA", "TYPE1", "TYPE2", "TYPE3"};
    return QJsonObject{{"item_id", key.itemId},
                       {"type", key.multiple ? "M" : "S"},
                       {"optioncount", options},
                       {"answer", key.answer},
                       {"score", double(key.score)},
                       {"comparetype", codes[int(key.compareType)]},
                       {"partscore", double(key.partScore)}};
}

QString compact(const QJsonArray &a)
{
    return QString::fromUtf8(QJsonDocument(a).toJson(QJsonDocument::Compact));
}

void doubleClickFirst(QListWidget *list)
{
    const QPoint at = list->visualItemRect(list->item(0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

const QString kBase = QStringLiteral("/school/S01/client/");

} // namespace

class ExamOpeningTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void testOpenAndRecognise();
    void testOpeningRefusesASecondAndCloseEndsIt();

private:
    void scriptExam(PipelineFixture &fx, int rosterDelayMs = 0);
    void pickFirstExam();

    QTemporaryDir m_dir;
    PlatformSimulator m_sim;
};

void ExamOpeningTest::initTestCase()
{
    initOmrResources();
    QVERIFY(m_dir.isValid());
    QString error;
    QVERIFY2(PlatformTest::startTrusted(m_sim, &error), qPrintable(error));
}

void ExamOpeningTest::cleanupTestCase()
{
    QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/sheets/E4001")).removeRecursively();
    setSettingsFilePathForTesting(QString());
}

// Scripts the local platform with one project and one exam of three two-page
// sheets rendered from its template, and points the program at it.
void ExamOpeningTest::scriptExam(PipelineFixture &fx, int rosterDelayMs)
{
    QVERIFY2(fx.ok(), qPrintable(fx.error()));
    QJsonArray roster;
    for (int s = 0; s < 3; ++s) {
        StudentMarks marks = StudentMarks::random(fx.spec(), quint32(70 + s));
        marks.code = QStringLiteral("%1").arg(4100000000LL + s);
        QVERIFY(!fx.writeStudent(marks, Distortion(), s).isEmpty());
        roster.append(QJsonObject{{"realname", QStringLiteral("学生%1").arg(s)},
                                  {"code", marks.code},
                                  {"class", QStringLiteral("一班")},
                                  {"id", QString::number(800 + s)}});
    }
    QJsonArray objective, optional;
    for (const AnswerSetting &k : fx.answerSettings)
        objective.append(answerItem(k, fx.spec().optionCount(k.itemId)));
    for (const AnswerSetting &k : fx.optionalAnswerSettings)
        optional.append(answerItem(k, fx.spec().optionCount(k.itemId)));

    m_sim.clearRequests();
    m_sim.setReply(kBase + "key-check", PlatformSimulator::json(QJsonObject{{"code", 200}, {"message", "1001"}}));
    m_sim.setReply(kBase + "version-check", PlatformSimulator::json(QJsonObject{{"code", 200}, {"message", "ok"}}));
    const QJsonObject project{{"project", QStringLiteral("期末")}, {"id", "7"}};
    const QJsonObject projects{{"projects", QJsonArray{project}}};
    m_sim.setReply(kBase + "projects", PlatformSimulator::json(QJsonObject{{"code", 200}, {"message", projects}}));
    m_sim.setReply(kBase + "exams", PlatformSimulator::json(QJsonArray{QJsonObject{
                                        {"id", "E4001"}, {"grade_id", "G1"}, {"grade", QStringLiteral("七年级")},
                                        {"subject", QStringLiteral("数学")}, {"object_answer_ok", "1"},
                                        {"sheet_template_ok", "1"}, {"sheet_ok", 0}}}));
    m_sim.setReply(kBase + "exam-info",
                   PlatformSimulator::json(QJsonObject{{"object_answer", compact(objective)},
                                                       {"optional_object_answer", compact(optional)},
                                                       {"sheet_template", QString::fromUtf8(fx.renderer().templateXml())}}));
    PlatformSimulator::Reply students = PlatformSimulator::json(roster);
    students.delayMs = rosterDelayMs;
    m_sim.setReply(kBase + "student", students);
    m_sim.setReply(kBase + "upload-token",
                   PlatformSimulator::json(QJsonObject{{"cloud_server", 0}, {"bucket_name", "b1"},
                                                       {"upload_token", "tok"}, {"domain_binded", "https://img/"}}));

    const QString ini = m_dir.filePath(QStringLiteral("Ardentiq.ini"));
    PlatformTest::writeIni(ini, {{"Account/CustomerType", "school"},
                                 {"Account/CustomerCode", "S01"},
                                 {"Account/DataKey", "k+&=%"},
                                 {"Scan/SavePath", fx.examDir() + QStringLiteral("/scans")},
                                 {"SettingSheetUpload/LocalServer", "1"},
                                 {"SettingSheetUpload/Address", QStringLiteral("https://") + m_sim.host()},
                                 {"SettingSheetUpload/Password", "pw"},
                                 {"SettingSheetUpload/SheetUploadTimeout", "10"}});
    m_sim.setReply(QStringLiteral("/upload.php"),
                   PlatformSimulator::json(QJsonObject{{"code", 200}, {"path", "exam/1.jpg"}}));
    setSettingsFilePathForTesting(ini);
}

// Picks the first project and exam in the exam dialog and presses OK, once
// the dialog shows.
void ExamOpeningTest::pickFirstExam()
{
    PlatformTest::answerModal<DialogExam>([](DialogExam *d) {
        auto *projects = d->findChild<QListWidget *>(QStringLiteral("listWidgetExamName"));
        QTRY_VERIFY(projects->count() > 0);
        doubleClickFirst(projects);
        auto *exams = d->findChild<QListWidget *>(QStringLiteral("listWidgetExam"));
        QTRY_VERIFY(exams->count() > 0);
        QTest::mouseClick(exams->viewport(), Qt::LeftButton, Qt::NoModifier,
                          exams->visualItemRect(exams->item(0)).center());
        QTRY_VERIFY_WITH_TIMEOUT(d->examInfoLoaded && !d->requestRunning(), 10000);
        QTest::mouseClick(d->findChild<QDialogButtonBox *>(QStringLiteral("buttonBoxOK"))->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
    });
}

void ExamOpeningTest::testOpenAndRecognise()
{
    PipelineFixture fx(SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 2, 150),
                       m_dir.filePath(QStringLiteral("fixture")));
    scriptExam(fx);
    if (QTest::currentTestFailed())
        return;
    const QString base = kBase;
    MessageBoxRecorder boxes;

    MainWindow w;
    QCOMPARE(w.schoolID, QStringLiteral("1001"));

    pickFirstExam();
    w.exam();

    QCOMPARE(w.examId, QStringLiteral("E4001"));
    QCOMPARE(w.answerSettings.size(), fx.answerSettings.size());
    QCOMPARE(w.studentHash.size(), 3);
    QCOMPARE(w.myUpload.uploadToken, QStringLiteral("tok"));
    for (const char *sub : {"codes", "objects", "subjects", "optionals", "entires"})
        QVERIFY(QDir(w.examFolder() + QLatin1Char('/') + QLatin1String(sub)).exists());
    QCOMPARE(w.tableWidgetImages->rowCount(), 6);
    const QString log = w.textEditLog->toPlainText();
    QVERIFY(log.contains(QStringLiteral("获取学生信息成功。数量：3")));
    QVERIFY(log.contains(QStringLiteral("获取上传令牌成功！")));
    QVERIFY(log.contains(QStringLiteral("找到图片数量：6")));
    // The key arrived intact in the exam information request.
    const QList<PlatformSimulator::Request> info = m_sim.requestsTo(base + "exam-info");
    QVERIFY(!info.isEmpty());
    QCOMPARE(info.last().formValue(QStringLiteral("key")), QStringLiteral("k+&=%"));
    QCOMPARE(info.last().queryValue(QStringLiteral("exam_id")), QStringLiteral("E4001"));

    w.startProcess();
    QTRY_VERIFY_WITH_TIMEOUT(!w.isProcessing(), 60000);
    QStringList results;
    for (int r = 0; r < w.tableWidgetImages->rowCount(); ++r)
        results << (w.tableWidgetImages->item(r, 5) ? w.tableWidgetImages->item(r, 5)->text() : QString());
    QVERIFY2(w.tableWidgetResults->rowCount() == 3,
             qPrintable(results.join(QLatin1Char('|')) + QLatin1Char('\n') + w.textEditLog->toPlainText()));
    QCOMPARE(w.tableWidgetResults->item(0, 0)->data(Qt::UserRole + 1).toInt() >= 800, true);

    // Every subjective image goes to the image server once and its cell turns "√".
    int pending = 0;
    for (int r = 0; r < w.tableWidgetResults->rowCount(); ++r)
        for (int c = 0; c < w.tableWidgetResults->columnCount(); ++c)
            pending += w.tableWidgetResults->item(r, c) && w.tableWidgetResults->item(r, c)->text() == QStringLiteral("×");
    QVERIFY(pending > 0);
    m_sim.clearRequests();
    w.tableWidgetResults->startUpload(false, 0, 0);
    QTRY_VERIFY_WITH_TIMEOUT(!w.tableWidgetResults->uploading, 60000);
    QCOMPARE(m_sim.requestsTo(QStringLiteral("/upload.php")).size(), pending);
    for (int r = 0; r < w.tableWidgetResults->rowCount(); ++r)
        for (int c = 0; c < w.tableWidgetResults->columnCount(); ++c)
            QVERIFY(!w.tableWidgetResults->item(r, c) || w.tableWidgetResults->item(r, c)->text() != QStringLiteral("×"));
}

void ExamOpeningTest::testOpeningRefusesASecondAndCloseEndsIt()
{
    // The roster is slow: the opening waits for it in a local event loop,
    // where the operator presses the exam command again, then closes the
    // window and confirms.
    PipelineFixture fx(SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 2, 150),
                       m_dir.filePath(QStringLiteral("slow")));
    scriptExam(fx, 120000);
    if (QTest::currentTestFailed())
        return;
    MessageBoxRecorder boxes;
    MainWindow w;
    w.show();
    int quits = 0;
    w.quitApplication = [&quits] { ++quits; };
    boxes.clear();

    bool secondReturned = false;
    bool closed = false;
    connect(&m_sim, &PlatformSimulator::requestReceived, &w, [&](const QString &path) {
        if (path != kBase + QStringLiteral("student") || secondReturned)
            return;
        w.exam(); // must refuse at once, asking the platform nothing
        secondReturned = true;
        boxes.queueAnswer(QMessageBox::Yes);
        closed = w.close();
    }, Qt::QueuedConnection);
    pickFirstExam();
    w.exam();

    QVERIFY(secondReturned);
    QVERIFY(closed);
    QVERIFY(!w.isVisible());
    QCOMPARE(quits, 1);
    QVERIFY(w.textEditLog->toPlainText().contains(QStringLiteral("正在打开考试，不能完成本操作")));
    // Only the close question was asked; the ended roster wait shows nothing.
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().text, QStringLiteral("确定退出程序吗？"));
    // One opening only, and it went no further than the roster.
    QCOMPARE(m_sim.requestsTo(kBase + "version-check").size(), 1);
    QCOMPARE(m_sim.requestsTo(kBase + "student").size(), 1);
    QVERIFY(m_sim.requestsTo(kBase + "upload-token").isEmpty());
    QCOMPARE(w.tableWidgetImages->rowCount(), 0);
    QVERIFY(w.examId.isEmpty());
    QVERIFY(!w.examOpening);
    // The commands work again once the opening has unwound.
    w.quitRequested = false;
    QVERIFY(!w.refuseWhileOpeningExam());
}

QTEST_MAIN(ExamOpeningTest)
#include "exam_test.moc"
