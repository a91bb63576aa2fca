// The processing program as an operator uses it: start-up checks, an exam of
// synthetic scans opened in the real main window, recognition runs with one
// and several workers filling both tables, stop, and the refusals while
// workers run.

#include "mainwindow.h"
#include "messagebox.h"
#include "myimage.h"
#include "mylabel.h"
#include "mystatusbar.h"
#include "mytablewidgetimage.h"
#include "mytablewidgetresult.h"
#include "omrresources.h"
#include "pipelinefixture.h"
#include "processthread.h"
#include "startup.h"
#include "testutil.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

namespace {

QString iniFile()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Ardentiq.ini");
}

void writeIni(const QMap<QString, QString> &values)
{
    QFile::remove(iniFile());
    QFile touch(iniFile()); // the program needs the file even without keys
    touch.open(QIODevice::WriteOnly);
    touch.close();
    QSettings s(iniFile(), QSettings::IniFormat);
    s.setIniCodec("UTF-8");
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        s.setValue(it.key(), it.value());
}

QString cell(const QTableWidget *t, int row, int column)
{
    const QTableWidgetItem *item = t->item(row, column);
    return item ? item->text() : QString();
}

// An exam of `sheets` two-page answer sheets in a folder of scans.
struct Exam {
    Exam(const QString &root, int sheets, int failing = -1)
        : fx(SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 2, 150),
             root + QStringLiteral("/fixture"))
    {
        for (int s = 0; s < sheets; ++s) {
            StudentMarks m = StudentMarks::random(fx.spec(), quint32(40 + s));
            m.code = QStringLiteral("%1").arg(3000000000LL + s);
            marks << m;
            fx.addStudent(m.code, 500 + s);
            Distortion d;
            d.rotationDegrees = (s % 3 - 1) * 1.2;
            d.dx = s % 4;
            fx.writeStudent(m, d, s);
        }
        scans = fx.examDir() + QStringLiteral("/scans");
        if (failing >= 0) {
            // Erase anchor A of the failing sheet's first page.
            const QString path = QStringLiteral("%1/scan%2.png").arg(scans).arg(failing * 2 + 1, 6, 10, QLatin1Char('0'));
            cv::Mat page = TestUtil::readGrey(path);
            const QRect a = fx.spec().anchors.at(0).blockA;
            cv::rectangle(page, cv::Rect(a.x() - 3, a.y() - 3, a.width() + 6, a.height() + 6), cv::Scalar(255), cv::FILLED);
            cv::imwrite(QFile::encodeName(path).toStdString(), page);
        }
    }

    void loadInto(MainWindow &w) const
    {
        w.templateDoc.Parse(fx.renderer().templateXml().constData());
        w.answerSettings = fx.answerSettings;
        w.optionalAnswerSettings = fx.optionalAnswerSettings;
        w.studentHash = fx.roster;
        for (const StudentInfo &s : fx.roster)
            w.studentMap.insert(s.code, s);
    }

    PipelineFixture fx;
    QVector<StudentMarks> marks;
    QString scans;
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void testVersionThroughTheBinary();
    void testStartupRefusals_data();
    void testStartupRefusals();
    void testLogIsBounded();
    void testRun_data();
    void testRun();
    void testChangesArePaintedDuringARun();
    void testStopEndsTheRunCleanly();
    void testRefusalsWhileRunning();
    void testCloseAsks();

private:
    void openExam(MainWindow &w, const Exam &exam, const QString &id);
    void waitForRun(MainWindow &w);

    QStringList boxes() const
    {
        QStringList out;
        for (const MessageBoxSpec &b : m_recorder->boxes())
            out << b.title + QLatin1Char('|') + b.text;
        return out;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<MessageBoxRecorder> m_recorder;
};

void MainWindowTest::initTestCase()
{
    // The window checks the platform account when it is built: keep any such
    // request on this machine (nothing listens on port 1).
    qputenv("VOSTRA_PLATFORM_HOST", "127.0.0.1:1");
    initOmrResources();
    QVERIFY(m_dir.isValid());
    m_recorder.reset(new MessageBoxRecorder);
}

void MainWindowTest::cleanupTestCase()
{
    QFile::remove(iniFile());
    // Only this test's exams: other tests keep theirs in the same folder.
    const QDir sheets(QCoreApplication::applicationDirPath() + QStringLiteral("/sheets"));
    for (const QString &exam : sheets.entryList({QStringLiteral("exam-*")}, QDir::Dirs))
        QDir(sheets.filePath(exam)).removeRecursively();
}

void MainWindowTest::testVersionThroughTheBinary()
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ARDENTIQ_BINARY), {QStringLiteral("version")});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(p.readAllStandardOutput(), QByteArray(R"({"version_code":2025052800,"version_name":"4.2"})"));
}

void MainWindowTest::testStartupRefusals_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("running");
    QTest::addColumn<QString>("message");
    QTest::newRow("ini present") << "file" << 1 << QString();
    QTest::newRow("count unknown") << "file" << -1 << QString();
    QTest::newRow("missing ini") << "none" << 1 << QStringLiteral("ini配置文件不存在");
    QTest::newRow("ini is a folder") << "folder" << 1 << QStringLiteral("ini配置文件不存在");
    QTest::newRow("second instance") << "file" << 2 << QStringLiteral("程序已经在运行了！");
}

void MainWindowTest::testStartupRefusals()
{
    QFETCH(QString, setup);
    QFETCH(int, running);
    QFETCH(QString, message);
    QTemporaryDir app;
    if (setup == QLatin1String("file")) {
        QFile f(app.filePath(QStringLiteral("Ardentiq.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly));
    } else if (setup == QLatin1String("folder")) {
        QVERIFY(QDir(app.path()).mkdir(QStringLiteral("Ardentiq.ini")));
    }
    QCOMPARE(Startup::refusal(app.path(), running), message);
}

void MainWindowTest::testLogIsBounded()
{
    writeIni({});
    MainWindow w;
    w.textEditLog->clear();
    for (int i = 0; i < 3001; ++i)
        w.addLog(QStringLiteral("行 %1").arg(i));
    QCOMPARE(w.textEditLog->toPlainText().count(QLatin1Char('\n')), 3001);
    w.addLog(QStringLiteral("最后一行"));
    QCOMPARE(w.textEditLog->toPlainText(), QStringLiteral("最后一行\n"));
}

void MainWindowTest::openExam(MainWindow &w, const Exam &exam, const QString &id)
{
    exam.loadInto(w);
    MainWindow::ExamSelection selection;
    selection.examId = id;
    selection.examName = QStringLiteral("期末考试");
    selection.gradeName = QStringLiteral("七年级");
    selection.subjectName = QStringLiteral("数学");
    selection.imageSavePath = exam.scans;
    QVERIFY(w.openExam(selection));
}

void MainWindowTest::waitForRun(MainWindow &w)
{
    QTRY_VERIFY_WITH_TIMEOUT(w.processThreads.isEmpty(), 120000);
    QVERIFY(w.processWorkers.isEmpty());
}

void MainWindowTest::testRun_data()
{
    QTest::addColumn<int>("processType");
    QTest::newRow("one worker") << 0;
    QTest::newRow("several workers") << 1;
}

void MainWindowTest::testRun()
{
    QFETCH(int, processType);
    writeIni({{QStringLiteral("SettingAnchorAndProcess/ProcessType"), QString::number(processType)},
              {QStringLiteral("SettingImage/SubjectImageFormatIndex"), QStringLiteral("0")}});
    const int sheets = 5;
    const int failing = 3;
    Exam exam(m_dir.filePath(QStringLiteral("run%1").arg(processType)), sheets, failing);
    MainWindow w;
    openExam(w, exam, QStringLiteral("exam-run-%1").arg(processType));
    QCOMPARE(w.tableWidgetImages->rowCount(), sheets * 2);
    QCOMPARE(w.resultHeaders.first(), QStringLiteral("考号"));

    w.startProcess();
    QCOMPARE(w.processWorkers.size(), processType == 1 ? std::min(std::max(QThread::idealThreadCount(), 2), 6) : 1);
    QVERIFY(w.processThreads.first()->objectName() == QStringLiteral("识别处理线程 1"));
    // A worker is deleted only once its thread has ended.
    int deletedUnderRunningThread = 0;
    int deleted = 0;
    for (int i = 0; i < w.processWorkers.size(); ++i) {
        QPointer<QThread> thread = w.processThreads.at(i);
        QCOMPARE(thread->objectName(), w.processWorkers.at(i)->objectName());
        connect(w.processWorkers.at(i), &QObject::destroyed, this, [&, thread] {
            ++deleted;
            if (!thread || !thread->isFinished())
                ++deletedUnderRunningThread;
        });
    }
    const int workers = w.processWorkers.size();
    waitForRun(w);
    QCOMPARE(deleted, workers);
    QCOMPARE(deletedUnderRunningThread, 0);

    // Image list: every page "√" but the failing sheet's first page.
    for (int r = 0; r < sheets * 2; ++r) {
        const QString result = cell(w.tableWidgetImages, r, 5);
        if (r == failing * 2)
            QCOMPARE(result, QStringLiteral("定位点A查找失败"));
        else if (r == failing * 2 + 1)
            QVERIFY(result.isEmpty());
        else
            QCOMPARE(result, QStringLiteral("√"));
    }
    // Result table: one row per good sheet, with every cell the engine read.
    QCOMPARE(w.tableWidgetResults->rowCount(), sheets - 1);
    for (int r = 0; r < w.tableWidgetResults->rowCount(); ++r) {
        const QString code = cell(w.tableWidgetResults, r, 0);
        int s = -1;
        for (int i = 0; i < exam.marks.size(); ++i)
            s = exam.marks[i].code == code ? i : s;
        QVERIFY2(s >= 0 && s != failing, qPrintable(code));
        QCOMPARE(w.tableWidgetResults->item(r, 0)->data(Qt::UserRole + 1).toInt(), 500 + s);
        QCOMPARE(w.tableWidgetResults->item(r, 0)->data(Qt::UserRole + 2).toStringList().size(), 2);
        float total = 0;
        for (const ObjectItem &item : qAsConst(w.objectItems)) {
            const int column = w.resultColumnOf(QString::number(item.item));
            const QString expected = exam.fx.spec().expectedAnswer(exam.marks[s], item.item);
            QCOMPARE(cell(w.tableWidgetResults, r, column), expected);
            total += w.tableWidgetResults->item(r, column)->data(Qt::UserRole + 1).toString().toFloat();
        }
        for (const OptionalObjectItem &item : qAsConst(w.optionalObjectItems)) {
            const int column = w.resultColumnOf(QString::number(item.item));
            if (const QTableWidgetItem *c = w.tableWidgetResults->item(r, column))
                total += c->data(Qt::UserRole + 1).toString().toFloat();
        }
        QCOMPARE(cell(w.tableWidgetResults, r, 1), QString::number(total, 'f', 2));
        for (const SubjectSection &section : qAsConst(w.subjectSections)) {
            const int column = w.resultColumnOf(QStringLiteral("%1-%2").arg(section.page).arg(section.sectionId));
            QCOMPARE(cell(w.tableWidgetResults, r, column), QStringLiteral("×"));
            QVERIFY(QFile::exists(w.tableWidgetResults->item(r, column)->data(Qt::UserRole + 1).toString()));
        }
    }
    // Status bar: pages in the list, students recognised, the exam summary.
    QCOMPARE(w.myStatusBar->findChild<QLabel *>(QStringLiteral("labelTotalSheetCount"))->text(),
             QString::number(sheets * 2));
    QCOMPARE(w.myStatusBar->findChild<QLabel *>(QStringLiteral("labelSuccessCount"))->text(),
             QString::number(sheets - 1));
    QVERIFY(w.myStatusBar->findChild<QLabel *>(QStringLiteral("labelTplFileInfo"))
                ->text()
                .startsWith(QStringLiteral("模板页数：2 客观题数：%1 主观题页块数：").arg(w.objectItems.size())));
    const QString log = w.textEditLog->toPlainText();
    QVERIFY(log.contains(QStringLiteral("定位点A查找失败")));
    QVERIFY(log.contains(QStringLiteral("识别出考号:") + exam.marks[0].code));
    QVERIFY(w.recognitionRun == nullptr);
    // Pages read during the run reach the image view (read off the GUI thread).
    QTRY_VERIFY(w.myImage->imageLabel->sourceImage);
    QVERIFY(w.myImage->imageLabel->imagePath.startsWith(QDir::toNativeSeparators(exam.scans)));
}

void MainWindowTest::testChangesArePaintedDuringARun()
{
    // Repaints are held back while workers run; every change still reaches
    // the screen, however quickly the next one follows.
    writeIni({});
    MainWindow w;
    QTableWidget *t = w.tableWidgetResults;
    t->setColumnCount(2);
    t->setRowCount(1);
    int paints = 0;
    struct PaintCounter : QObject {
        int *count;
        explicit PaintCounter(int *c) : count(c) {}
        bool eventFilter(QObject *, QEvent *e) override
        {
            *count += e->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
    } counter(&paints);
    t->viewport()->installEventFilter(&counter);
    ProcessThread running;
    w.processWorkers << &running;
    QVERIFY(w.isProcessing());
    for (int i = 0; i < 3; ++i) {
        const int before = paints;
        t->setItem(0, 1, new QTableWidgetItem(QString::number(i)));
        QTRY_VERIFY(paints > before);
    }
    w.processWorkers.clear();
}

void MainWindowTest::testStopEndsTheRunCleanly()
{
    writeIni({});
    Exam exam(m_dir.filePath(QStringLiteral("stop")), 6);
    MainWindow w;
    openExam(w, exam, QStringLiteral("exam-stop"));
    w.startProcess();
    QVERIFY(w.isProcessing());
    QTRY_COMPARE_WITH_TIMEOUT(cell(w.tableWidgetImages, 0, 5), QStringLiteral("√"), 60000);
    w.startProcess(); // a second press stops after the sheet under way
    waitForRun(w);
    // The sheet under way was finished; not every sheet was started.
    int done = 0;
    for (int r = 0; r < w.tableWidgetImages->rowCount(); r += 2)
        done += cell(w.tableWidgetImages, r, 5) == QStringLiteral("√") ? 1 : 0;
    QVERIFY(done >= 1);
    QVERIFY(done < 6);
    QCOMPARE(w.tableWidgetResults->rowCount(), done);
}

void MainWindowTest::testRefusalsWhileRunning()
{
    writeIni({});
    Exam exam(m_dir.filePath(QStringLiteral("refuse")), 3);
    MainWindow w;
    openExam(w, exam, QStringLiteral("exam-refuse"));
    const QVector<AnswerSetting> keys = w.answerSettings;
    w.startProcess();
    QVERIFY(w.isProcessing());
    // Opening an exam and the settings command do nothing while workers run.
    MainWindow::ExamSelection other;
    other.examId = QStringLiteral("other");
    QVERIFY(!w.openExam(other));
    w.setting();
    w.uploadData();
    m_recorder->clear();
    QCloseEvent close;
    w.closeEvent(&close);
    QVERIFY(!close.isAccepted());
    QVERIFY(boxes().isEmpty());
    QVERIFY(w.textEditLog->toPlainText().contains(QStringLiteral("识别线程未结束，不能退出程序")));
    waitForRun(w);
    QCOMPARE(w.answerSettings.size(), keys.size());
    QCOMPARE(w.tableWidgetResults->rowCount(), 3);
}

void MainWindowTest::testCloseAsks()
{
    writeIni({});
    MainWindow w;
    m_recorder->clear();
    QCloseEvent close;
    w.closeEvent(&close);
    QCOMPARE(boxes(), QStringList{QStringLiteral("提示|确定退出程序吗？")});
    QCOMPARE(m_recorder->answers().first(), QMessageBox::No);
}

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
