// The results upload against a local HTTPS platform: the upload-record check
// and its outcomes, the duplicate-record choice, the libcurl post of the zip
// and every kind of reply, certificate trust, the refusals while recognition
// or image uploads run, and the whole upload command of the main window.

#include "dataformatthread.h"
#include "datauploadfixture.h"
#include "dialogdatauploadduplicatecheck.h"
#include "dialogrecordconfirm.h"
#include "dialoguploaddata.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "mytablewidgetimage.h"
#include "omrresources.h"
#include "platformfixture.h"
#include "settingsfile.h"
#include "threaduploaddata.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <curl/curl.h>

#include <memory>

Q_DECLARE_METATYPE(PlatformSimulator::Reply)

using namespace UploadFixture;

namespace {

const QString kType = QStringLiteral("school");
const QString kCode = QStringLiteral("c9up");
// Multipart values travel as they are: nothing here may be encoded.
const QString kKey = QStringLiteral("k 1+&=%");
const QString kSchool = QStringLiteral("S-77");

PlatformSimulator::Reply rawReply(int status, const QByteArray &body, bool drop = false)
{
    PlatformSimulator::Reply reply;
    reply.status = status;
    reply.body = body;
    reply.contentType = "text/plain";
    reply.dropConnection = drop;
    return reply;
}

PlatformSimulator::Reply codeReply(int code, const QJsonValue &message, const QString &messageKey = "message")
{
    return PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), code}, {messageKey, message}});
}

QStringList partNames(const QList<PlatformSimulator::Part> &parts)
{
    QStringList names;
    for (const PlatformSimulator::Part &p : parts)
        names << p.name;
    return names;
}

QStringList studentIdsOf(const QByteArray &content)
{
    QStringList ids;
    for (const QByteArray &line : content.split('\n')) {
        if (!line.isEmpty())
            ids << QJsonDocument::fromJson(line).object().value(QStringLiteral("student_id")).toString();
    }
    return ids;
}

QStringList boxTexts(const MessageBoxRecorder &boxes)
{
    QStringList texts;
    for (const MessageBoxSpec &box : boxes.boxes())
        texts << box.text;
    return texts;
}

// What the operator chooses in the duplicate dialog.
enum class Choice { KeepLocal, KeepUploadedFirst, KeepUploadedAll, CancelNoThenOk, CancelYes };

} // namespace

Q_DECLARE_METATYPE(Choice)

class DataUploadTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void testRecordCheck_data();
    void testRecordCheck();
    void testDataPost();
    void testReplyOutcomes_data();
    void testReplyOutcomes();
    void testDuplicates_data();
    void testDuplicates();
    void testEveryStudentKeptOnPlatform();
    void testClosingWhileBusy();
    void testCancel_data();
    void testCancel();
    void testStalledUploadEnds();
    void testFailedDataFileIsNotPosted();
    void testDestroyedWhilePosting();
    void testRefusalsWhileWorkersRun();
    void testUploadCommand_data();
    void testUploadCommand();
    void testUploadCommandWithoutResultsSaysWhy();
    // Last: it makes the Qt side trust a second platform for the rest of the run.
    void testUntrustedCertificate_data();
    void testUntrustedCertificate();

private:
    // A window with three recognised students 1001..1003 (ids 501..503).
    void openExam(const QString &examId);
    // Presses Start and waits until no step runs any more.
    bool pressStart(DialogUploadData &dialog);

    PlatformSimulator m_sim;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<RecordPlatform> m_platform;
};

void DataUploadTest::initTestCase()
{
    initOmrResources();
    QString error;
    QVERIFY2(PlatformTest::startTrusted(m_sim, &error), qPrintable(error));
}

void DataUploadTest::init()
{
    m_sim.clearReplies();
    m_sim.clearRequests();
    m_sim.exportEnvironment();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const QString ini = m_dir->filePath(QStringLiteral("Ardentiq.ini"));
    setSettingsFilePathForTesting(ini);
    DataFormatThread::setDataFolderForTesting(m_dir->filePath(QStringLiteral("data")));
    PlatformTest::writeIni(ini, {{QStringLiteral("Account/CustomerType"), kType},
                                 {QStringLiteral("Account/CustomerCode"), kCode},
                                 {QStringLiteral("Account/DataKey"), kKey}});
    m_sim.setReply(QStringLiteral("/%1/%2/client/key-check").arg(kType, kCode), codeReply(200, kSchool));
    m_boxes = std::make_unique<MessageBoxRecorder>();
    m_window = std::make_unique<MainWindow>();
    QCOMPARE(m_window->schoolID, kSchool);
    m_platform = std::make_unique<RecordPlatform>(m_sim, kType, kCode);
    m_sim.clearRequests();
}

void DataUploadTest::cleanup()
{
    m_window.reset();
    m_boxes.reset();
    m_platform.reset();
    DataFormatThread::setDataFolderForTesting(QString());
    setSettingsFilePathForTesting(QString());
    m_dir.reset();
}

void DataUploadTest::openExam(const QString &examId)
{
    MainWindow &w = *m_window;
    w.examId = examId;
    layOutExam(w, false);
    const QList<StudentInfo> roster{student(QStringLiteral("1001"), QStringLiteral("张三"), QStringLiteral("一班"), 501),
                                    student(QStringLiteral("1002"), QStringLiteral("李四"), QStringLiteral("一班"), 502),
                                    student(QStringLiteral("1003"), QStringLiteral("王五"), QStringLiteral("二班"), 503)};
    for (const StudentInfo &s : roster) {
        w.studentHash.insert(s.code, s);
        w.studentMap.insert(s.code, s);
        addResultRow(w, s.code, s.id,
                     {{QStringLiteral("客观题总分"), {QStringLiteral("5.00")}},
                      {QStringLiteral("1"), {QStringLiteral("A"), QStringLiteral("2.00"), QStringLiteral("2.00")}},
                      {QStringLiteral("1-1"), {QStringLiteral("√"), QStringLiteral("/l.jpg"), QStringLiteral("s/") + s.code}}});
    }
}

bool DataUploadTest::pressStart(DialogUploadData &dialog)
{
    dialog.pushButtonStart->click();
    QElapsedTimer clock;
    clock.start();
    while ((dialog.busy() || !dialog.pushButtonStart->isEnabled()) && clock.elapsed() < 30000)
        QTest::qWait(20);
    return !dialog.busy() && dialog.pushButtonStart->isEnabled();
}

// ---------------------------------------------------------------- record check

void DataUploadTest::testRecordCheck_data()
{
    QTest::addColumn<PlatformSimulator::Reply>("reply");
    QTest::addColumn<bool>("posts");
    QTest::addColumn<QString>("boxPattern"); // the box before any post; empty: none

    QTest::newRow("200") << codeReply(200, QStringLiteral("ok")) << true << QString();
    QTest::newRow("201 naming none of ours") << codeReply(201, QStringLiteral("[900,,9501]")) << true << QString();
    // Going on is what the platform's older servers need.
    QTest::newRow("not json") << rawReply(200, "<html>busy</html>") << true << QString();
    // Every stop says why: the platform's code and message, or what came instead.
    QTest::newRow("json array") << PlatformSimulator::json(QJsonArray{1}) << false
                                << QStringLiteral("^数据未上传。\n平台的回复无法读取（HTTP 200）：\\[1\\]$");
    QTest::newRow("unknown code") << codeReply(404, QStringLiteral("?")) << false
                                  << QStringLiteral("^数据未上传。\n404:\\?$");
    QTest::newRow("wrong data key") << codeReply(403, QStringLiteral("数据密钥错误")) << false
                                    << QStringLiteral("^数据未上传。\n403:数据密钥错误$");
    QTest::newRow("code as text, message a number")
        << PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), QStringLiteral("200")}, {QStringLiteral("message"), 7}})
        << false << QStringLiteral("^数据未上传。\n平台的回复无法读取（HTTP 200）：\\{\"code\":\"200\",\"message\":7\\}$");
    QTest::newRow("redirect") << PlatformTest::redirectReply(QStringLiteral("http://127.0.0.1:9/school/c9up/client/upload-record"))
                              << false
                              << QStringLiteral("^code:302 \ninfo:平台要求转到另一地址（http://127\\.0\\.0\\.1:9/school/"
                                                "c9up/client/upload-record），已拒绝跟随，请求未完成\n检查之前是否有过数据上传失败$");
    QTest::newRow("500") << PlatformSimulator::Reply() << false
                         << QRegularExpression::escape(
                                QStringLiteral("IP：10.0.0.8 的客户端于 2025-06-01 08:30:00 上传过数据了。\n"
                                               "如果要重新上传考试数据：管理员登录平台-》考试管理-》数据和答卷上传信息-》"
                                               "删除由Ardentiq上传的数据\n"
                                               "如果要追加上传数据：管理员登录平台-》考试管理-》数据和答卷上传信息-》"
                                               "设置为【允许】追加上传"));
    QTest::newRow("http error") << rawReply(503, "down") << false
                                << QStringLiteral("^code:503 \ninfo:.+\n检查之前是否有过数据上传失败$");
    QTest::newRow("dropped") << rawReply(200, QByteArray(), true) << false
                             << QStringLiteral("^code:0 \ninfo:.+\n检查之前是否有过数据上传失败$");
}

void DataUploadTest::testRecordCheck()
{
    QFETCH(PlatformSimulator::Reply, reply);
    QFETCH(bool, posts);
    QFETCH(QString, boxPattern);
    openExam(QStringLiteral("du-record"));
    if (QByteArray(QTest::currentDataTag()) == "500")
        m_platform->lock();
    else
        m_platform->scriptRecordReply(reply);

    DialogUploadData dialog(m_window.get());
    QVERIFY(pressStart(dialog));

    const QList<PlatformSimulator::Request> checks = m_sim.requestsTo(m_platform->recordPath);
    QVERIFY(!checks.isEmpty());
    QCOMPARE(partNames(checks.first().parts),
             (QStringList{QStringLiteral("key"), QStringLiteral("exam_id"), QStringLiteral("school_id")}));
    QCOMPARE(checks.first().field(QStringLiteral("key")), kKey);
    QCOMPARE(checks.first().field(QStringLiteral("exam_id")), QStringLiteral("du-record"));
    // Sent for a "school" customer too.
    QCOMPARE(checks.first().field(QStringLiteral("school_id")), kSchool);

    QCOMPARE(m_platform->posts().size(), posts ? 1 : 0);
    QStringList expectedBoxes;
    if (!boxPattern.isEmpty()) {
        QVERIFY(m_boxes->count() >= 1);
        const MessageBoxSpec box = m_boxes->boxes().first();
        QCOMPARE(box.title, QStringLiteral("提示"));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QVERIFY2(QRegularExpression(boxPattern).match(box.text).hasMatch(), qPrintable(box.text));
        QCOMPARE(m_boxes->count(), 1);
    } else if (posts) {
        QCOMPARE(boxTexts(*m_boxes), QStringList{QStringLiteral("200:ok")});
    } else {
        QCOMPARE(m_boxes->count(), 0);
    }
    // A stopped check leaves the first page and Start as they were.
    if (!posts) {
        QCOMPARE(dialog.stackedWidget->currentIndex(), 0);
        QCOMPARE(dialog.pushButtonStart->text(), QStringLiteral("开始"));
        QCOMPARE(dialog.progressBarDataFormat->value(), 0);
    }
}

// ---------------------------------------------------------------- the post

void DataUploadTest::testDataPost()
{
    openExam(QStringLiteral("du-post"));
    DialogUploadData dialog(m_window.get());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("数据上传"));
    QCOMPARE(dialog.size(), QSize(590, 139));
    QVERIFY(dialog.pushButtonBack->isHidden());
    QVERIFY(dialog.pushButtonClose->isHidden());
    QVERIFY(pressStart(dialog));

    const QList<RecordPlatform::Post> posts = m_platform->posts();
    QCOMPARE(posts.size(), 1);
    const RecordPlatform::Post &post = posts.first();
    QCOMPARE(partNames(post.parts),
             (QStringList{QStringLiteral("key"), QStringLiteral("code"), QStringLiteral("exam_id"),
                          QStringLiteral("school_id"), QStringLiteral("student_count"), QStringLiteral("version"),
                          QStringLiteral("file")}));
    const QStringList values{kKey, kCode, QStringLiteral("du-post"), kSchool, QStringLiteral("3"), QStringLiteral("4.2")};
    for (int i = 0; i < values.size(); ++i) {
        QCOMPARE(post.parts.at(i).body, values.at(i).toUtf8());
        QVERIFY(post.parts.at(i).fileName.isEmpty());
    }
    QCOMPARE(post.parts.last().fileName, QStringLiteral("c9up-du-post.zip"));
    QCOMPARE(post.userAgent, QByteArray("Ardentiq/Talvenir"));
    QCOMPARE(post.entries.size(), 1);
    QCOMPARE(post.entries.first().name, QStringLiteral("c9up-du-post.txt"));
    QCOMPARE(studentIdsOf(post.entries.first().content),
             (QStringList{QStringLiteral("501"), QStringLiteral("502"), QStringLiteral("503")}));
    QCOMPARE(m_platform->records().keys(),
             (QList<QString>{QStringLiteral("501"), QStringLiteral("502"), QStringLiteral("503")}));

    // The answer page, and the zip gone.
    QCOMPARE(dialog.stackedWidget->currentIndex(), 1);
    QCOMPARE(dialog.labelInfo->text(), QStringLiteral("200:ok"));
    QVERIFY(dialog.pushButtonBack->isHidden());
    QVERIFY(!dialog.pushButtonClose->isHidden());
    QCOMPARE(dialog.progressBarDataFormat->value(), 3);
    QVERIFY(dialog.progressBarUpload->maximum() > 0);
    QCOMPARE(dialog.progressBarUpload->value(), dialog.progressBarUpload->maximum());
    QCOMPARE(dialog.pushButtonStart->text(), QStringLiteral("开始"));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("data/c9up-du-post.zip"))));
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().icon, QMessageBox::Information);
    QCOMPARE(m_boxes->last().title, QStringLiteral("提示"));
    QCOMPARE(m_boxes->last().text, QStringLiteral("200:ok"));

    // Close ends the dialog once nothing runs.
    dialog.show();
    dialog.pushButtonClose->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void DataUploadTest::testReplyOutcomes_data()
{
    QTest::addColumn<PlatformSimulator::Reply>("reply");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("success");
    auto exact = [](const QString &text) { return QLatin1Char('^') + QRegularExpression::escape(text) + '$'; };
    QTest::newRow("200 ok") << codeReply(200, QStringLiteral("ok"), QStringLiteral("msg")) << exact(QStringLiteral("200:ok"))
                            << true;
    QTest::newRow("200 without msg") << PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 200}})
                                     << exact(QStringLiteral("200:")) << true;
    QTest::newRow("refused") << codeReply(500, QStringLiteral("考试已锁定"), QStringLiteral("msg"))
                             << exact(QStringLiteral("500:考试已锁定")) << false;
    QTest::newRow("empty body") << rawReply(200, QByteArray()) << exact(QStringLiteral("未知错误！")) << false;
    QTest::newRow("not json") << rawReply(502, "Bad gateway") << exact(QStringLiteral("未知错误！\nBad gateway")) << false;
    QTest::newRow("json array") << PlatformSimulator::json(QJsonArray{1, 2}) << exact(QStringLiteral("上传失败，原因未知。"))
                                << false;
    QTest::newRow("json without code")
        << PlatformSimulator::json(QJsonObject{{QStringLiteral("msg"), QStringLiteral("x")}})
        << exact(QStringLiteral("上传失败，原因未知。\n平台的回复无法读取（HTTP 200）：{\"msg\":\"x\"}")) << false;
    // Never followed down to plain HTTP, and said so.
    QTest::newRow("redirect to http")
        << PlatformTest::redirectReply(QStringLiteral("http://127.0.0.1:9/school/c9up/client/data"))
        << exact(QStringLiteral("code:302 info:平台要求转到另一地址（http://127.0.0.1:9/school/c9up/client/data），"
                                "已拒绝跟随，请求未完成"))
        << false;
    // The reply buffer stops at the limit, whether the length is announced or not.
    PlatformSimulator::Reply tooLarge = rawReply(200, "{\"code\":200,\"msg\":\"" + QByteArray(int(PlatformRequest::kMaxReplyBytes), 'x') + "\"}");
    QTest::newRow("too large, announced") << tooLarge << exact(QStringLiteral("平台回复过大（超过 32 MiB），已中止")) << false;
    tooLarge.chunked = true;
    QTest::newRow("too large, chunked") << tooLarge << exact(QStringLiteral("平台回复过大（超过 32 MiB），已中止")) << false;
    // Dropped after the whole file went out: the platform may have it.
    QTest::newRow("dropped") << rawReply(200, QByteArray(), true)
                             << QStringLiteral("^code:[1-9][0-9]* info:[^\n]+(\n数据文件已全部发出，平台可能已经收到[^\n]*)?$")
                             << false;
}

void DataUploadTest::testReplyOutcomes()
{
    QFETCH(PlatformSimulator::Reply, reply);
    QFETCH(QString, pattern);
    QFETCH(bool, success);
    openExam(QStringLiteral("du-reply"));
    m_platform->scriptDataReply(reply);
    DialogUploadData dialog(m_window.get());
    QVERIFY(pressStart(dialog));

    QVERIFY(!m_platform->posts().isEmpty());
    const QString text = dialog.labelInfo->text();
    QVERIFY2(QRegularExpression(pattern).match(text).hasMatch(), qPrintable(text));
    // Every outcome is told once, in an information box.
    QCOMPARE(boxTexts(*m_boxes), QStringList{text});
    QCOMPARE(m_boxes->last().icon, QMessageBox::Information);
    QCOMPARE(dialog.pushButtonBack->isHidden(), success);
    QVERIFY(!dialog.pushButtonClose->isHidden());
    // Whatever came back, the zip is gone and Start works again.
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("data/c9up-du-reply.zip"))));
    QVERIFY(dialog.pushButtonStart->isEnabled());
    QCOMPARE(dialog.pushButtonStart->text(), QStringLiteral("开始"));

    if (!success) {
        // Back leads to another try, which posts again.
        dialog.pushButtonBack->click();
        QCOMPARE(dialog.stackedWidget->currentIndex(), 0);
        const int before = m_platform->posts().size();
        QVERIFY(pressStart(dialog));
        QVERIFY(m_platform->posts().size() > before);
    }
}

// ---------------------------------------------------------------- duplicates

void DataUploadTest::testDuplicates_data()
{
    QTest::addColumn<Choice>("choice");
    QTest::addColumn<bool>("posts");
    QTest::addColumn<QString>("needDelete"); // null: the part is absent
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<int>("progress"); // the last written row + 1
    const QStringList all{QStringLiteral("501"), QStringLiteral("502"), QStringLiteral("503")};
    QTest::newRow("keep local") << Choice::KeepLocal << true << QStringLiteral("501,503") << all << 3;
    QTest::newRow("keep first uploaded") << Choice::KeepUploadedFirst << true << QStringLiteral("503")
                                         << QStringList{QStringLiteral("502"), QStringLiteral("503")} << 3;
    QTest::newRow("keep all uploaded") << Choice::KeepUploadedAll << true << QString()
                                       << QStringList{QStringLiteral("502")} << 2;
    QTest::newRow("cancel, then no, then OK") << Choice::CancelNoThenOk << true << QStringLiteral("501,503") << all << 3;
    QTest::newRow("cancel") << Choice::CancelYes << false << QString() << QStringList() << 0;
}

void DataUploadTest::testDuplicates()
{
    QFETCH(Choice, choice);
    QFETCH(bool, posts);
    QFETCH(QString, needDelete);
    QFETCH(QStringList, written);
    QFETCH(int, progress);
    openExam(QStringLiteral("du-dup"));
    m_platform->storeRecord(QStringLiteral("503"));
    m_platform->storeRecord(QStringLiteral("501"));
    if (choice == Choice::CancelNoThenOk)
        m_boxes->queueAnswer(QMessageBox::No);
    if (choice == Choice::CancelYes)
        m_boxes->queueAnswer(QMessageBox::Yes);

    QStringList shown;
    bool stayedOpen = false;
    PlatformTest::answerModal<DialogDataUploadDuplicateCheck>([&](DialogDataUploadDuplicateCheck *check) {
        const QTableWidget *table = check->tableForm->tableWidget;
        for (int row = 0; row < table->rowCount(); ++row)
            shown << table->item(row, 0)->text();
        switch (choice) {
        case Choice::KeepLocal:
            break;
        case Choice::KeepUploadedFirst:
            check->tableForm->itemPressed(table->item(0, FormDuplicateCheckTable::ColumnUploaded));
            break;
        case Choice::KeepUploadedAll:
            check->tableForm->pushButtonSelectAllUploaded->click();
            break;
        case Choice::CancelNoThenOk:
            check->pushButtonCancel->click();
            stayedOpen = check->isVisible();
            break;
        case Choice::CancelYes:
            check->pushButtonCancel->click();
            return;
        }
        check->pushButtonOK->click();
    });
    DialogUploadData dialog(m_window.get());
    QVERIFY(pressStart(dialog));

    // Only the students the platform already has, in table order.
    QCOMPARE(shown, (QStringList{QStringLiteral("1001-张三-一班"), QStringLiteral("1003-王五-二班")}));
    if (choice == Choice::CancelNoThenOk)
        QVERIFY(stayedOpen);
    if (choice == Choice::CancelNoThenOk || choice == Choice::CancelYes) {
        QCOMPARE(m_boxes->boxes().first().text, QStringLiteral("确定取消本次上传吗？"));
        QCOMPARE(m_boxes->boxes().first().buttonText(QMessageBox::Yes), QStringLiteral("是"));
        QCOMPARE(m_boxes->boxes().first().buttonText(QMessageBox::No), QStringLiteral("否"));
    }
    const QList<RecordPlatform::Post> sent = m_platform->posts();
    QCOMPARE(sent.size(), posts ? 1 : 0);
    if (!posts)
        return;
    const PlatformSimulator::Request request = m_sim.requestsTo(m_platform->dataPath).first();
    QCOMPARE(request.field(QStringLiteral("student_ids_need_delete")), needDelete);
    if (!needDelete.isNull()) {
        QCOMPARE(partNames(request.parts).indexOf(QStringLiteral("student_ids_need_delete")), 6);
    }
    // The counted students are the table's rows, whatever was left out.
    QCOMPARE(request.field(QStringLiteral("student_count")), QStringLiteral("3"));
    QCOMPARE(studentIdsOf(sent.first().entries.first().content), written);
    QCOMPARE(dialog.progressBarDataFormat->value(), progress);
    // The platform now holds every student once.
    QCOMPARE(m_platform->records().size(), 3);
}

void DataUploadTest::testEveryStudentKeptOnPlatform()
{
    openExam(QStringLiteral("du-keepall"));
    for (const char *id : {"501", "502", "503"})
        m_platform->storeRecord(QString::fromLatin1(id));
    PlatformTest::answerModal<DialogDataUploadDuplicateCheck>([](DialogDataUploadDuplicateCheck *check) {
        check->tableForm->pushButtonSelectAllUploaded->click();
        check->pushButtonOK->click();
    });
    DialogUploadData dialog(m_window.get());
    QVERIFY(pressStart(dialog));
    QCOMPARE(boxTexts(*m_boxes), QStringList{QStringLiteral("上传记录为零，无需上传。")});
    QCOMPARE(m_platform->posts().size(), 0);
    QCOMPARE(dialog.idsToLeaveOut.size(), 3);
    QVERIFY(QDir(m_dir->filePath(QStringLiteral("data"))).entryList(QDir::Files).isEmpty());
}

// ---------------------------------------------------------------- closing, failures, refusals

void DataUploadTest::testClosingWhileBusy()
{
    openExam(QStringLiteral("du-busy"));
    PlatformSimulator::Reply slowRecord = codeReply(200, QStringLiteral("ok"));
    slowRecord.delayMs = 1500;
    m_platform->scriptRecordReply(slowRecord);
    PlatformSimulator::Reply slowData = codeReply(200, QStringLiteral("ok"), QStringLiteral("msg"));
    slowData.delayMs = 1500;
    m_platform->scriptDataReply(slowData);

    DialogUploadData dialog(m_window.get());
    dialog.show();
    // While the record check waits: Close is refused with a word, Start does nothing more.
    bool triedDuringCheck = false;
    QTimer::singleShot(300, &dialog, [&] {
        triedDuringCheck = dialog.currentReply != nullptr;
        dialog.pushButtonOK->click();
        dialog.reject();
        dialog.pushButtonStart->click();
    });
    dialog.pushButtonStart->click();
    QVERIFY(triedDuringCheck);
    QCOMPARE(boxTexts(*m_boxes), (QStringList{QStringLiteral("网络请求未完成"), QStringLiteral("网络请求未完成")}));
    QVERIFY(dialog.isVisible());
    QCOMPARE(m_sim.requestsTo(m_platform->recordPath).size(), 1);

    // While the file is written or posted: closing offers to cancel; kept
    // going, the upload ends as it would have.
    QVERIFY(dialog.busy());
    m_boxes->queueAnswer(QMessageBox::No);
    dialog.pushButtonOK->click();
    dialog.reject(); // no answer queued: Escape, which is No
    QVERIFY(dialog.isVisible());
    QCOMPARE(m_boxes->count(), 4);
    for (int i : {2, 3}) {
        QCOMPARE(m_boxes->boxes().at(i).icon, QMessageBox::Question);
        QCOMPARE(m_boxes->boxes().at(i).text, QStringLiteral("正在上传数据，是否取消本次上传？"));
        QCOMPARE(m_boxes->answers().at(i), QMessageBox::No);
    }

    QTRY_VERIFY_WITH_TIMEOUT(!dialog.busy() && dialog.pushButtonStart->isEnabled(), 30000);
    QCOMPARE(m_platform->posts().size(), 1);
    QCOMPARE(dialog.labelInfo->text(), QStringLiteral("200:ok"));
    dialog.pushButtonClose->click();
    QVERIFY(!dialog.isVisible());
}

void DataUploadTest::testCancel_data()
{
    QTest::addColumn<bool>("beforePost");
    QTest::newRow("before the post") << true;
    QTest::newRow("while the platform keeps us waiting") << false;
}

void DataUploadTest::testCancel()
{
    QFETCH(bool, beforePost);
    openExam(QStringLiteral("du-cancel"));
    // Far longer than any wait below: only the cancel can end the post.
    PlatformSimulator::Reply stalled = codeReply(200, QStringLiteral("ok"), QStringLiteral("msg"));
    stalled.delayMs = 120000;
    m_platform->scriptDataReply(stalled);
    DialogUploadData dialog(m_window.get());
    dialog.show();

    dialog.pushButtonStart->click();
    // Start has checked the record and set the data file going; nothing is posted yet.
    QVERIFY(dialog.busy());
    QCOMPARE(m_boxes->count(), 0);
    if (!beforePost) {
        QTRY_COMPARE_WITH_TIMEOUT(m_platform->posts().size(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(dialog.stackedWidget->currentIndex(), 1, 10000);
    }
    // The operator closes the dialog and agrees to cancel.
    m_boxes->queueAnswer(QMessageBox::Yes);
    dialog.reject();
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().icon, QMessageBox::Question);
    QVERIFY(dialog.isVisible());
    // The upload ends long before the platform would answer.
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.busy() && dialog.pushButtonStart->isEnabled(), 20000);

    const QString told = ThreadUploadData::cancelledText(!beforePost);
    QCOMPARE(told, beforePost ? QStringLiteral("上传已取消，数据未上传。")
                              : QStringLiteral("上传已取消。数据文件已全部发出，平台可能已经收到，请先在平台上核对上传记录。"));
    QCOMPARE(m_platform->posts().size(), beforePost ? 0 : 1);
    QCOMPARE(dialog.labelInfo->text(), told);
    QCOMPARE(boxTexts(*m_boxes).mid(1), QStringList{told});
    // Told as a failure: Back offers another try.
    QVERIFY(!dialog.pushButtonBack->isHidden());
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("data/c9up-du-cancel.zip"))));

    // A new start is not cancelled by the old request.
    m_platform->scriptDataReply(codeReply(200, QStringLiteral("ok"), QStringLiteral("msg")));
    dialog.pushButtonBack->click();
    QVERIFY(pressStart(dialog));
    QCOMPARE(dialog.labelInfo->text(), QStringLiteral("200:ok"));
}

void DataUploadTest::testStalledUploadEnds()
{
    openExam(QStringLiteral("du-stall"));
    PlatformSimulator::Reply stalled = codeReply(200, QStringLiteral("ok"), QStringLiteral("msg"));
    stalled.delayMs = 120000;
    m_platform->scriptDataReply(stalled);
    DialogUploadData dialog(m_window.get());
    QCOMPARE(dialog.uploadWorker->stallSeconds, 60L);
    dialog.uploadWorker->stallSeconds = 1;
    dialog.pushButtonStart->click();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.busy() && dialog.pushButtonStart->isEnabled(), 30000);

    QCOMPARE(m_platform->posts().size(), 1);
    const QString text = dialog.labelInfo->text();
    QVERIFY2(text.startsWith(QStringLiteral("code:%1 info:").arg(int(CURLE_OPERATION_TIMEDOUT))), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("\n网络传输停滞或超时，上传已中止。\n数据文件已全部发出")), qPrintable(text));
    QCOMPARE(boxTexts(*m_boxes), QStringList{text});
    QVERIFY(!dialog.pushButtonBack->isHidden());
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("data/c9up-du-stall.zip"))));
}

void DataUploadTest::testFailedDataFileIsNotPosted()
{
    openExam(QStringLiteral("du-nofile"));
    // The data file's place is taken by a folder.
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("data/c9up-du-nofile.txt"))));
    DialogUploadData dialog(m_window.get());
    QVERIFY(pressStart(dialog));
    QCOMPARE(m_sim.requestsTo(m_platform->recordPath).size(), 1);
    QCOMPARE(m_platform->posts().size(), 0);
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().icon, QMessageBox::Warning);
    QVERIFY2(m_boxes->last().text.startsWith(QStringLiteral("数据文件没有生成，数据未上传。\n无法写入数据文件：")),
             qPrintable(m_boxes->last().text));
    QCOMPARE(dialog.pushButtonStart->text(), QStringLiteral("开始"));
    QCOMPARE(dialog.stackedWidget->currentIndex(), 0);
}

void DataUploadTest::testDestroyedWhilePosting()
{
    openExam(QStringLiteral("du-gone"));
    PlatformSimulator::Reply slow = codeReply(200, QStringLiteral("ok"), QStringLiteral("msg"));
    slow.delayMs = 8000;
    m_platform->scriptDataReply(slow);
    auto dialog = std::make_unique<DialogUploadData>(m_window.get());
    dialog->pushButtonStart->click();
    // Wait until the file is sent and the platform keeps us waiting.
    QTRY_COMPARE_WITH_TIMEOUT(dialog->stackedWidget->currentIndex(), 1, 10000);
    QVERIFY(dialog->busy());

    QElapsedTimer clock;
    clock.start();
    dialog.reset();
    // The post was cancelled rather than waited for.
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QTRY_VERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("data/c9up-du-gone.zip"))));
    QCOMPARE(m_boxes->count(), 0);
}

void DataUploadTest::testRefusalsWhileWorkersRun()
{
    openExam(QStringLiteral("du-refuse"));
    // Any dialog that opens although it must not is recorded and closed.
    QStringList opened;
    QTimer watchdog;
    connect(&watchdog, &QTimer::timeout, [&opened] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            opened << QString::fromLatin1(modal->metaObject()->className());
            modal->close();
        }
    });
    watchdog.start(20);

    m_window->processWorkers.append(nullptr);
    m_window->uploadData();
    m_window->processWorkers.clear();
    QVERIFY(m_window->textEditLog->toPlainText().contains(QStringLiteral("正在识别处理，不能完成本操作")));

    m_window->tableWidgetResults->uploading = true;
    m_window->uploadData();
    QVERIFY(m_window->textEditLog->toPlainText().contains(QStringLiteral("图片上传未结束，不能上传数据")));

    // The dialog's Start refuses as well, before asking the platform.
    {
        DialogUploadData dialog(m_window.get());
        dialog.pushButtonStart->click();
        m_window->tableWidgetResults->uploading = false;
        m_window->processWorkers.append(nullptr);
        dialog.pushButtonStart->click();
        m_window->processWorkers.clear();
    }
    QCOMPARE(boxTexts(*m_boxes),
             (QStringList{QStringLiteral("图片上传未结束，不能上传数据"), QStringLiteral("正在识别处理，不能上传数据")}));
    QCOMPARE(m_sim.requestsTo(m_platform->recordPath).size(), 0);
    QCOMPARE(opened, QStringList());
}

// ---------------------------------------------------------------- the command

void DataUploadTest::testUploadCommand_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("confirmed") << true;
    QTest::newRow("cancelled") << false;
}

void DataUploadTest::testUploadCommand()
{
    QFETCH(bool, confirm);
    // The real data folder beside the program.
    DataFormatThread::setDataFolderForTesting(QString());
    const QString examId = QStringLiteral("du-command");
    const QString zip = DataFormatThread::zipFilePath(DataFormatThread::dataFolder(), kCode, examId);
    QFile::remove(zip);
    openExam(examId);
    m_window->tableWidgetImages->setRowCount(7); // 7 pages of 2-page sheets: 3 expected records

    QString confirmText;
    QObject *confirmParent = nullptr;
    PlatformTest::answerModal<DialogRecordConfirm>([&](DialogRecordConfirm *d) {
        confirmText = d->label->text();
        confirmParent = d->parent();
        if (confirm)
            d->pushButtonOK->click();
        else
            d->pushButtonCancel->click();
    });
    QObject *uploadParent = nullptr;
    bool finished = false;
    if (confirm) {
        PlatformTest::answerModal<DialogUploadData>([&](DialogUploadData *d) {
            uploadParent = d->parent();
            d->pushButtonStart->click();
            // Close once every step is over; give up after 30 s.
            auto *poll = new QTimer(d);
            QElapsedTimer *clock = new QElapsedTimer;
            clock->start();
            connect(poll, &QTimer::timeout, d, [d, clock, &finished] {
                if (!d->busy() && d->pushButtonStart->isEnabled()) {
                    finished = true;
                    delete clock;
                    d->pushButtonClose->click();
                } else if (clock->elapsed() > 30000) {
                    delete clock;
                    d->done(QDialog::Rejected);
                }
            });
            poll->start(20);
        });
    }
    m_window->uploadData();

    QCOMPARE(confirmText, QStringLiteral("答卷列表中共 7 张图片，预期学生记录数为 3。\r\n实际成功的学生记录数为 3。"));
    QCOMPARE(confirmParent, m_window.get());
    if (!confirm) {
        QCOMPARE(m_sim.requestsTo(m_platform->recordPath).size(), 0);
        return;
    }
    QVERIFY(finished);
    QCOMPARE(uploadParent, m_window.get());
    QCOMPARE(m_platform->records().size(), 3);
    QCOMPARE(m_platform->posts().first().entries.first().name, QStringLiteral("c9up-du-command.txt"));
    QVERIFY(QFileInfo(DataFormatThread::dataFolder()).isDir());
    QVERIFY(!QFileInfo::exists(zip));
}

void DataUploadTest::testUploadCommandWithoutResultsSaysWhy()
{
    // Every sheet failed (a full disk, say): nothing to send, and the
    // operator is told so instead of nothing happening.
    openExam(QStringLiteral("du-empty"));
    m_window->tableWidgetResults->setRowCount(0);
    m_window->uploadData();
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().text,
             QStringLiteral("处理结果列表为空，没有可上传的数据。\n请先识别处理答卷，并查看日志中未能处理的原因。"));
    QCOMPARE(m_sim.requestsTo(m_platform->recordPath).size(), 0);
}

// ---------------------------------------------------------------- certificates

void DataUploadTest::testUntrustedCertificate_data()
{
    QTest::addColumn<QString>("curlCa"); // "other": the first platform's CA; "none"; "missing"
    QTest::addColumn<QString>("pattern");
    const QString untrusted = QStringLiteral("^code:%1 info:%2$")
                                  .arg(int(CURLE_PEER_FAILED_VERIFICATION))
                                  .arg(QRegularExpression::escape(
                                      QString::fromLatin1(curl_easy_strerror(CURLE_PEER_FAILED_VERIFICATION))));
    QTest::newRow("another CA") << QStringLiteral("other") << untrusted;
    QTest::newRow("system store only") << QStringLiteral("none") << untrusted;
    QTest::newRow("CA file missing") << QStringLiteral("missing")
                                     << QStringLiteral("^code:%1 info:.+\n.*not readable$")
                                            .arg(int(CURLE_SSL_CACERT_BADFILE));
}

void DataUploadTest::testUntrustedCertificate()
{
    QFETCH(QString, curlCa);
    QFETCH(QString, pattern);
    // A second platform that Qt trusts and libcurl does not.
    PlatformSimulator other;
    QString error;
    QVERIFY2(PlatformTest::startTrusted(other, &error), qPrintable(error));
    if (curlCa == QStringLiteral("other"))
        qputenv("VOSTRA_EXTRA_CA", QFile::encodeName(m_sim.caPemPath()));
    else if (curlCa == QStringLiteral("none"))
        qunsetenv("VOSTRA_EXTRA_CA");
    else
        qputenv("VOSTRA_EXTRA_CA", QFile::encodeName(m_dir->filePath(QStringLiteral("absent.pem"))));
    RecordPlatform platform(other, kType, kCode);

    openExam(QStringLiteral("du-untrusted"));
    DialogUploadData dialog(m_window.get());
    QVERIFY(pressStart(dialog));
    QCOMPARE(other.requestsTo(platform.recordPath).size(), 1);
    // Refused before any HTTP reached the platform.
    QCOMPARE(other.requestsTo(platform.dataPath).size(), 0);
    const QString text = dialog.labelInfo->text();
    QVERIFY2(QRegularExpression(pattern).match(text).hasMatch(), qPrintable(text));
    QCOMPARE(boxTexts(*m_boxes), QStringList{text});
    QVERIFY(!dialog.pushButtonBack->isHidden());
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("data/c9up-du-untrusted.zip"))));
}

QTEST_MAIN(DataUploadTest)
#include "dataupload_test.moc"
