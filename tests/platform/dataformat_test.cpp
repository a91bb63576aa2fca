// The results data file over a result table in the real main window: the
// exact JSON Lines text, the zip around it, students left out, the full
// objective score, and every way the file can fail to come about.

#include "dataformatthread.h"
#include "datauploadfixture.h"
#include "dialoguploaddata.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "omrresources.h"
#include "platformfixture.h"
#include "settingsfile.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace UploadFixture;

namespace {

const QString kCode = QStringLiteral("c9du");

// The three students of the golden table, as the platform must receive them.
const QByteArray kLine1 =
    R"({"entire_sheet":[{"page":1,"path":"e/1001-1.png"}],)"
    R"("object":[{"answer":"A","full_score":"2.00","id":1,"mark":"A","score":"2.00"},)"
    R"({"answer":"BD","full_score":"3.00","id":2,"mark":"BC","score":"0.00"},)"
    R"({"answer":"D","full_score":"4.00","id":31,"mark":"D","score":"4.00"}],)"
    R"("object_total_score":{"object_total_full_score":"14.00","object_total_score":"8.00"},)"
    R"("optional":["21"],"student_id":"501",)"
    R"("subject":[{"page":1,"path":"https://img.example/数学/a.jpg","section":1},)"
    R"({"page":2,"path":"x/b.jpg","section":3}]})";
const QByteArray kLine2 =
    R"({"entire_sheet":[],"object":[],)"
    R"("object_total_score":{"object_total_full_score":"14.00","object_total_score":""},)"
    R"("optional":[],"student_id":"502","subject":[]})";
const QByteArray kLine3 =
    R"({"entire_sheet":[{"page":2,"path":"e/1003-2.png"}],)"
    R"("object":[{"answer":"C","full_score":"5.00","id":3,"mark":"X","score":"0.00"},)"
    R"({"answer":"AB","full_score":"6.00","id":32,"mark":"AB","score":"6.00"}],)"
    R"("object_total_score":{"object_total_full_score":"14.00","object_total_score":"3.50"},)"
    R"("optional":["22"],"student_id":"503",)"
    R"("subject":[{"page":2,"path":"opt/c.jpg","section":5}]})";

// Student 1001 answered and chose candidate 21, 1002 has nothing but its
// code, 1003 chose 22; the whole-sheet page 2 of 1001 is not uploaded.
void fillGoldenTable(MainWindow &w)
{
    addResultRow(w, QStringLiteral("1001"), 501,
                 {{QStringLiteral("客观题总分"), {QStringLiteral("8.00")}},
                  {QStringLiteral("1"), {QStringLiteral("A"), QStringLiteral("2.00"), QStringLiteral("2.00")}},
                  {QStringLiteral("2"), {QStringLiteral("BC"), QStringLiteral("0.00"), QStringLiteral("3.00")}},
                  {QStringLiteral("1-1"),
                   {QStringLiteral("√"), QStringLiteral("/l/1.jpg"), QStringLiteral("https://img.example/数学/a.jpg")}},
                  {QStringLiteral("2-3"), {QStringLiteral("√"), QStringLiteral("/l/2.jpg"), QStringLiteral("x/b.jpg")}},
                  {QStringLiteral("o-21"), {QStringLiteral("√")}},
                  {QStringLiteral("31"), {QStringLiteral("D"), QStringLiteral("4.00"), QStringLiteral("4.00")}},
                  {QStringLiteral("e-1"), {QStringLiteral("√"), QStringLiteral("/l/e1.png"), QStringLiteral("e/1001-1.png")}},
                  {QStringLiteral("e-2"), {QStringLiteral("×"), QStringLiteral("/l/e2.png"), QVariant()}}});
    addResultRow(w, QStringLiteral("1002"), 502);
    addResultRow(w, QStringLiteral("1003"), 503,
                 {{QStringLiteral("客观题总分"), {QStringLiteral("3.50")}},
                  {QStringLiteral("3"), {QStringLiteral("X"), QStringLiteral("0.00"), QStringLiteral("5.00")}},
                  {QStringLiteral("o-22"), {QStringLiteral("√")}},
                  {QStringLiteral("32"), {QStringLiteral("AB"), QStringLiteral("6.00"), QStringLiteral("6.00")}},
                  {QStringLiteral("2-5"), {QStringLiteral("√"), QStringLiteral("/l/c.jpg"), QStringLiteral("opt/c.jpg")}},
                  {QStringLiteral("e-2"), {QStringLiteral("√"), QStringLiteral("/l/e.png"), QStringLiteral("e/1003-2.png")}}});
}

QList<int> progressValues(const QSignalSpy &spy)
{
    QList<int> values;
    for (const QList<QVariant> &args : spy)
        values.append(args.at(0).toInt());
    return values;
}

} // namespace

class DataFormatTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void testGoldenFile();
    void testLeftOutStudents_data();
    void testLeftOutStudents();
    void testMembersFollowTheExam_data();
    void testMembersFollowTheExam();
    void testFullScoreCountsDefaultCandidate_data();
    void testFullScoreCountsDefaultCandidate();
    void testMissingDataFolderIsCreated();
    void testFailuresAreReported_data();
    void testFailuresAreReported();
    void testLinksLeavingTheImageFolderRefused_data();
    void testLinksLeavingTheImageFolderRefused();

private:
    // Runs the worker on this thread over the window's table; returns the zip path.
    QString run(const QStringList &leaveOut = {});
    QString folder() const { return m_dir->filePath(QStringLiteral("data")); }

    PlatformSimulator m_sim;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<QSignalSpy> m_progress;
    std::unique_ptr<QSignalSpy> m_failed;
};

void DataFormatTest::initTestCase()
{
    initOmrResources();
    QString error;
    QVERIFY2(PlatformTest::startTrusted(m_sim, &error), qPrintable(error));
}

void DataFormatTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const QString ini = m_dir->filePath(QStringLiteral("Ardentiq.ini"));
    setSettingsFilePathForTesting(ini);
    DataFormatThread::setDataFolderForTesting(folder());
    PlatformTest::writeIni(ini, {{QStringLiteral("Account/CustomerType"), QStringLiteral("school")},
                                 {QStringLiteral("Account/CustomerCode"), kCode},
                                 {QStringLiteral("Account/DataKey"), QStringLiteral("k")}});
    m_sim.setReply(QStringLiteral("/school/%1/client/key-check").arg(kCode),
                   PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 200},
                                                       {QStringLiteral("message"), QStringLiteral("S-1")}}));
    m_boxes = std::make_unique<MessageBoxRecorder>();
    m_window = std::make_unique<MainWindow>();
    m_window->examId = QStringLiteral("du-format");
}

void DataFormatTest::cleanup()
{
    m_progress.reset();
    m_failed.reset();
    m_window.reset();
    m_boxes.reset();
    DataFormatThread::setDataFolderForTesting(QString());
    setSettingsFilePathForTesting(QString());
    m_dir.reset();
}

QString DataFormatTest::run(const QStringList &leaveOut)
{
    DialogUploadData dialog(m_window.get());
    dialog.idsToLeaveOut = leaveOut;
    DataFormatThread worker;
    worker.setSources(m_window.get(), &dialog);
    m_progress = std::make_unique<QSignalSpy>(&worker, &DataFormatThread::setDataFormatProgress);
    m_failed = std::make_unique<QSignalSpy>(&worker, &DataFormatThread::failedDataFormat);
    QSignalSpy finished(&worker, &DataFormatThread::finishedDataFormat);
    worker.runDataFormat();
    if (finished.size() != 1)
        return QStringLiteral("<finishedDataFormat emitted %1 times>").arg(finished.size());
    return finished.first().at(0).toString();
}

void DataFormatTest::testGoldenFile()
{
    layOutExam(*m_window, true);
    fillGoldenTable(*m_window);
    // A zip of an earlier run must not survive into this one.
    QVERIFY(QDir().mkpath(folder()));
    const QString zipPath = folder() + QStringLiteral("/c9du-du-format.zip");
    QFile stale(zipPath);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("not a zip");
    stale.close();

    QCOMPARE(run(), zipPath);
    QCOMPARE(progressValues(*m_progress), (QList<int>{1, 2, 3}));
    QCOMPARE(m_failed->size(), 0);
    const QList<ZipEntry> entries = zipEntriesOf(zipPath);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.first().name, QStringLiteral("c9du-du-format.txt"));
    QCOMPARE(entries.first().content, kLine1 + '\n' + kLine2 + '\n' + kLine3 + '\n');
    // Only the zip stays behind.
    QCOMPARE(QDir(folder()).entryList(QDir::Files), QStringList{QStringLiteral("c9du-du-format.zip")});
}

void DataFormatTest::testLeftOutStudents_data()
{
    QTest::addColumn<QStringList>("leaveOut");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QList<int>>("progress");
    // The first row goes, yet the full score on the others is unchanged.
    QTest::newRow("first") << QStringList{QStringLiteral("501")} << kLine2 + '\n' + kLine3 + '\n' << QList<int>{2, 3};
    QTest::newRow("first and last") << QStringList{QStringLiteral("503"), QStringLiteral("501")} << kLine2 + '\n'
                                    << QList<int>{2};
    // Ids match whole, never in part.
    QTest::newRow("no exact match") << QStringList{QStringLiteral("50"), QStringLiteral("5011"), QString()}
                                    << kLine1 + '\n' + kLine2 + '\n' + kLine3 + '\n' << QList<int>{1, 2, 3};
}

void DataFormatTest::testLeftOutStudents()
{
    QFETCH(QStringList, leaveOut);
    QFETCH(QByteArray, content);
    QFETCH(QList<int>, progress);
    layOutExam(*m_window, true);
    fillGoldenTable(*m_window);
    const QString zipPath = run(leaveOut);
    QCOMPARE(progressValues(*m_progress), progress);
    const QList<ZipEntry> entries = zipEntriesOf(zipPath);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.first().content, content);
}

void DataFormatTest::testMembersFollowTheExam_data()
{
    QTest::addColumn<bool>("keys");
    QTest::addColumn<bool>("optionalKeys");
    QTest::addColumn<bool>("subjects");
    QTest::addColumn<bool>("optionalSubjects");
    QTest::addColumn<bool>("groups");
    QTest::addColumn<QByteArray>("line");
    const QByteArray total = R"("object_total_score":{"object_total_full_score":"%1","object_total_score":"1.00"})";
    QTest::newRow("bare exam") << false << false << false << false << false
                               << R"({)" + QByteArray(total).replace("%1", "0.00") + R"(,"student_id":"7"})";
    // Groups without a marked candidate still give the (empty) array.
    QTest::newRow("groups only") << false << false << false << false << true
                                 << R"({)" + QByteArray(total).replace("%1", "0.00")
            + R"(,"optional":[],"student_id":"7"})";
    QTest::newRow("optional keys only")
        << false << true << false << false << false
        << R"({"object":[{"answer":"D","full_score":"4.00","id":31,"mark":"D","score":"4.00"}],)"
            + QByteArray(total).replace("%1", "0.00") + R"(,"student_id":"7"})";
    QTest::newRow("optional blocks only") << false << false << false << true << false
                                          << R"({)" + QByteArray(total).replace("%1", "0.00")
            + R"(,"student_id":"7","subject":[{"page":2,"path":"p/5.jpg","section":5}]})";
    QTest::newRow("keys and blocks") << true << false << true << false << false
                                     << R"({"object":[],)" + QByteArray(total).replace("%1", "10.00")
            + R"(,"student_id":"7","subject":[{"page":1,"path":"p/1.jpg","section":1}]})";
}

void DataFormatTest::testMembersFollowTheExam()
{
    QFETCH(bool, keys);
    QFETCH(bool, optionalKeys);
    QFETCH(bool, subjects);
    QFETCH(bool, optionalSubjects);
    QFETCH(bool, groups);
    QFETCH(QByteArray, line);
    MainWindow &w = *m_window;
    layOutExam(w, false);
    if (!keys)
        w.answerSettings.clear();
    if (!optionalKeys)
        w.optionalAnswerSettings.clear();
    if (!subjects)
        w.subjectSections.clear();
    if (!optionalSubjects)
        w.optionalSubjectSections.clear();
    if (!groups)
        w.optionalGroups.clear();
    // Columns of an optional group come with the group; keep them for the
    // cases that drop the group but keep its questions or blocks.
    w.buildResultHeaders();
    if (!groups) {
        w.resultHeaders << QStringLiteral("31") << QStringLiteral("2-5");
        w.tableWidgetResults->setColumnCount(w.resultHeaders.size());
    }
    addResultRow(w, QStringLiteral("0007"), 7,
                 {{QStringLiteral("客观题总分"), {QStringLiteral("1.00")}},
                  {QStringLiteral("31"), {QStringLiteral("D"), QStringLiteral("4.00"), QStringLiteral("4.00")}},
                  {QStringLiteral("1-1"), {QStringLiteral("√"), QStringLiteral("/l/1.jpg"), QStringLiteral("p/1.jpg")}},
                  {QStringLiteral("2-5"), {QStringLiteral("√"), QStringLiteral("/l/5.jpg"), QStringLiteral("p/5.jpg")}}});
    const QList<ZipEntry> entries = zipEntriesOf(run());
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.first().content, line + '\n');
}

void DataFormatTest::testFullScoreCountsDefaultCandidate_data()
{
    QTest::addColumn<QString>("defaultCandidate");
    QTest::addColumn<QString>("fullScore");
    QTest::newRow("21") << QStringLiteral("21") << QStringLiteral("14.00");
    QTest::newRow("22") << QStringLiteral("22") << QStringLiteral("16.00");
    QTest::newRow("no questions") << QStringLiteral("23") << QStringLiteral("10.00");
}

void DataFormatTest::testFullScoreCountsDefaultCandidate()
{
    QFETCH(QString, defaultCandidate);
    QFETCH(QString, fullScore);
    layOutExam(*m_window, false, defaultCandidate);
    m_window->answerSettings[0].score = 2.25f;
    addResultRow(*m_window, QStringLiteral("1001"), 501);
    addResultRow(*m_window, QStringLiteral("1002"), 502);
    const QList<ZipEntry> entries = zipEntriesOf(run());
    QCOMPARE(entries.size(), 1);
    const QList<QByteArray> lines = entries.first().content.split('\n');
    QCOMPARE(lines.size(), 3);
    const QString expected = QString::number(fullScore.toDouble() + 0.25, 'f', 2);
    for (int i = 0; i < 2; ++i) {
        const QJsonObject record = QJsonDocument::fromJson(lines.at(i)).object();
        QCOMPARE(record.value(QStringLiteral("object_total_score"))
                     .toObject()
                     .value(QStringLiteral("object_total_full_score"))
                     .toString(),
                 expected);
    }
}

void DataFormatTest::testMissingDataFolderIsCreated()
{
    layOutExam(*m_window, false);
    addResultRow(*m_window, QStringLiteral("1001"), 501);
    const QString nested = m_dir->filePath(QStringLiteral("app/data"));
    DataFormatThread::setDataFolderForTesting(nested);
    QVERIFY(!QFileInfo::exists(nested));
    const QString zipPath = run();
    QCOMPARE(zipPath, nested + QStringLiteral("/c9du-du-format.zip"));
    QCOMPARE(zipEntriesOf(zipPath).size(), 1);
}

void DataFormatTest::testFailuresAreReported_data()
{
    QTest::addColumn<QString>("examId");
    QTest::addColumn<QString>("blocker");  // a folder made where a file must go, relative to the data folder
    QTest::addColumn<bool>("folderIsFile");
    QTest::addColumn<QString>("reasonStart");
    QTest::newRow("data file cannot be written") << QStringLiteral("du-f1") << QStringLiteral("c9du-du-f1.txt")
                                                 << false << QStringLiteral("无法写入数据文件：");
    QTest::newRow("old zip cannot go") << QStringLiteral("du-f2") << QStringLiteral("c9du-du-f2.zip") << false
                                       << QStringLiteral("无法删除旧的数据压缩文件：");
    QTest::newRow("folder cannot be made") << QStringLiteral("du-f3") << QString() << true
                                           << QStringLiteral("无法创建数据文件夹：");
    QTest::newRow("exam id leaves the folder") << QStringLiteral("../du-f4") << QString() << false
                                               << QStringLiteral("客户代码或考试编号含有不能用于文件名的字符");
}

void DataFormatTest::testFailuresAreReported()
{
    QFETCH(QString, examId);
    QFETCH(QString, blocker);
    QFETCH(bool, folderIsFile);
    QFETCH(QString, reasonStart);
    layOutExam(*m_window, false);
    addResultRow(*m_window, QStringLiteral("1001"), 501);
    m_window->examId = examId;
    if (folderIsFile) {
        QFile file(folder());
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else {
        QVERIFY(QDir().mkpath(folder()));
    }
    if (!blocker.isEmpty())
        QVERIFY(QDir(folder()).mkdir(blocker));

    QCOMPARE(run(), QString());
    QCOMPARE(m_failed->size(), 1);
    const QString reason = m_failed->first().at(0).toString();
    QVERIFY2(reason.startsWith(reasonStart), qPrintable(reason));
    QCOMPARE(m_progress->size(), 0);
    // Nothing that could be posted is left, here or above the folder.
    if (!folderIsFile)
        QCOMPARE(QDir(folder()).entryList(QDir::Files), QStringList());
    QCOMPARE(QDir(m_dir->path()).entryList({QStringLiteral("*.zip"), QStringLiteral("*.txt")}, QDir::Files),
             QStringList());
}

void DataFormatTest::testLinksLeavingTheImageFolderRefused_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("link");
    QTest::newRow("subjective block") << QStringLiteral("2-5") << QStringLiteral("https://img.example/img/../../../etc/passwd");
    QTest::newRow("encoded") << QStringLiteral("2-5") << QStringLiteral("https://img.example/img/%2E%2E/%2e%2e/x.jpg");
    QTest::newRow("whole-sheet page") << QStringLiteral("e-2") << QStringLiteral("img.example/e/..\\..\\x.png");
}

void DataFormatTest::testLinksLeavingTheImageFolderRefused()
{
    // A link kept from an earlier session, before uploads checked them.
    QFETCH(QString, column);
    QFETCH(QString, link);
    layOutExam(*m_window, true);
    fillGoldenTable(*m_window);
    addResultRow(*m_window, QStringLiteral("1004"), 504,
                 {{column, {QStringLiteral("√"), QStringLiteral("/l/d.jpg"), link}}});

    QCOMPARE(run(), QString());
    QCOMPARE(m_failed->size(), 1);
    const QString reason = m_failed->first().at(0).toString();
    QVERIFY2(reason.startsWith(QStringLiteral("第4行（考号 1004）列 %1 的图片链接不可用（").arg(column)), qPrintable(reason));
    QVERIFY2(reason.contains(link), qPrintable(reason));
    QCOMPARE(QDir(folder()).entryList(QDir::Files), QStringList());

    // Left out of the file, the row stops nothing.
    const QString zip = run({QStringLiteral("504")});
    QVERIFY(!zip.isEmpty());
    QCOMPARE(zipEntriesOf(zip).first().content, kLine1 + '\n' + kLine2 + '\n' + kLine3 + '\n');
}

QTEST_MAIN(DataFormatTest)
#include "dataformat_test.moc"
