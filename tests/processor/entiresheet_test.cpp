// Whole-sheet images in the real main window: the binarised PNGs and their
// "e-%1" cells for one student, the columns that come and go with the
// setting, the preparation of existing rows behind the progress tip, and the
// pages, codes and writes that must not turn into files or cells.

#include "dialoginitforentiresheetuploadtip.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "mytablewidgetresult.h"
#include "omrresources.h"
#include "pipelinefixture.h"
#include "processthread.h"
#include "settingsfile.h"
#include "testutil.h"
#include "threadinitforentiresheetupload.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QtTest>

namespace {

QString cell(const QTableWidget *t, int row, int column)
{
    const QTableWidgetItem *item = t->item(row, column);
    return item ? item->text() : QString();
}

// A scan-like page: a grey gradient with dark strokes and noise, in colour so
// the grey conversion is exercised too.
void writePage(const QString &path, int variant)
{
    cv::Mat page(420, 300, CV_8UC3);
    cv::RNG rng(quint64(variant) + 1);
    for (int y = 0; y < page.rows; ++y)
        for (int x = 0; x < page.cols; ++x) {
            const int v = 170 + (x + y) % 60 + rng.uniform(-12, 12);
            page.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(v), uchar(v - 5), uchar(v + 5));
        }
    for (int i = 0; i < 12; ++i)
        cv::rectangle(page, cv::Rect(20 + 20 * i, 30 + 25 * (i + variant) % 300, 14, 18), cv::Scalar(40, 40, 40),
                      cv::FILLED);
    cv::putText(page, "A B C 123", cv::Point(30, 380), cv::FONT_HERSHEY_SIMPLEX, 1.0, cv::Scalar(20, 20, 20), 2);
    QVERIFY(cv::imwrite(QFile::encodeName(path).toStdString(), page));
}

// What the PNG of a page must hold: its grey image binarised with Otsu.
cv::Mat expectedBinary(const QString &pagePath)
{
    cv::Mat grey = TestUtil::readGrey(pagePath);
    cv::threshold(grey, grey, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    return grey;
}

using TestUtil::fileBytes;

} // namespace

class EntireSheetTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void testOneStudent();
    void testPagesAndCodesThatMakeNoFile_data();
    void testPagesAndCodesThatMakeNoFile();
    void testRunAgainReplacesCells();
    void testSwitchingOnPreparesEveryRow();
    void testSwitchingOnWithoutRows();
    void testPreparationRefusedWhileWorkersRun_data();
    void testPreparationRefusedWhileWorkersRun();
    void testTipForm();
    void testRecognitionRunMakesImages();

private:
    void writeIni(bool entireSheetUpload, int level = 4);
    // A window with an exam of `pages` pages open (no template content) and
    // the whole-sheet setting read from the ini file.
    void openExam(MainWindow &w, int pages);
    // A result row as recognition leaves it; returns the row.
    int addStudent(MainWindow &w, const QString &code, const QStringList &pages);
    QString pagePath(const QString &name) const { return m_dir.filePath(QStringLiteral("pages/") + name); }
    QString entires(const MainWindow &w) const { return w.examFolder() + QStringLiteral("/entires"); }
    // Runs the modal preparation with a watchdog, so a tip that never closes
    // fails the test instead of hanging it.
    void runUpdateColumns(MainWindow &w, bool *timedOut);

    QTemporaryDir m_dir;
    std::unique_ptr<MessageBoxRecorder> m_recorder;
    QStringList m_examIds;
    int m_nextExam = 0;
};

void EntireSheetTest::initTestCase()
{
    // The window checks the platform account when built; nothing listens on port 1.
    qputenv("VOSTRA_PLATFORM_HOST", "127.0.0.1:1");
    initOmrResources();
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("pages"))));
    setSettingsFilePathForTesting(m_dir.filePath(QStringLiteral("Ardentiq.ini")));
    m_recorder.reset(new MessageBoxRecorder);
    for (int i = 0; i < 4; ++i)
        writePage(pagePath(QStringLiteral("p%1.png").arg(i)), i);
    // A JPEG page as scanners deliver them.
    writePage(pagePath(QStringLiteral("p4.jpg")), 4);
    QFile garbage(pagePath(QStringLiteral("garbage.png")));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write("not an image at all");
}

void EntireSheetTest::cleanupTestCase()
{
    for (const QString &id : qAsConst(m_examIds))
        QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/sheets/") + id).removeRecursively();
    setSettingsFilePathForTesting(QString());
}

void EntireSheetTest::init()
{
    m_recorder->clear();
}

void EntireSheetTest::writeIni(bool entireSheetUpload, int level)
{
    const QString path = m_dir.filePath(QStringLiteral("Ardentiq.ini"));
    QFile::remove(path);
    QFile touch(path);
    QVERIFY(touch.open(QIODevice::WriteOnly));
    touch.close();
    QSettings s(path, QSettings::IniFormat);
    s.setIniCodec("UTF-8");
    s.setValue(QStringLiteral("SettingSheetUpload/EntireSheetUpload"), entireSheetUpload ? "1" : "0");
    s.setValue(QStringLiteral("SettingSheetUpload/EntrieSheetPNGCompressionLevel"), QString::number(level));
}

void EntireSheetTest::openExam(MainWindow &w, int pages)
{
    const QString id = QStringLiteral("entire-%1-%2").arg(QCoreApplication::applicationPid()).arg(m_nextExam++);
    m_examIds << id;
    w.readSettings();
    w.examId = id;
    w.pagesPerSheet = pages;
    w.buildResultHeaders();
    QVERIFY(w.createExamFolder());
}

int EntireSheetTest::addStudent(MainWindow &w, const QString &code, const QStringList &pages)
{
    int row = -1;
    w.setCode(-1, code, 7, &row);
    w.processForOneStudentSuccessed(-1, -1, row, pages);
    return row;
}

void EntireSheetTest::runUpdateColumns(MainWindow &w, bool *timedOut)
{
    *timedOut = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, w.initForEntireSheetUploadTip, [&] {
        *timedOut = true;
        w.initForEntireSheetUploadTip->done(QDialog::Rejected);
    });
    watchdog.start(60000);
    w.updateEntireSheetColumns();
}

void EntireSheetTest::testOneStudent()
{
    writeIni(true, 9);
    MainWindow w;
    openExam(w, 2);
    QCOMPARE(w.resultHeaders, (QStringList{QStringLiteral("考号"), QStringLiteral("客观题总分"),
                                           QStringLiteral("e-1"), QStringLiteral("e-2")}));
    const QStringList pages{pagePath(QStringLiteral("p4.jpg")), pagePath(QStringLiteral("p1.png"))};
    const int row = addStudent(w, QStringLiteral("123"), pages);

    // sheets/<exam id>/entires/123-1.png and 123-2.png under the program's folder.
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/sheets/") + w.examId
                           + QStringLiteral("/entires");
    for (int page = 1; page <= 2; ++page) {
        const QString file = folder + QStringLiteral("/123-%1.png").arg(page);
        QVERIFY2(QFile::exists(file), qPrintable(file));
        const cv::Mat png = cv::imread(QFile::encodeName(file).toStdString(), cv::IMREAD_UNCHANGED);
        QCOMPARE(png.type(), CV_8UC1);
        // Two grey levels only, both present, and exactly the Otsu image of the page.
        QCOMPARE(cv::countNonZero(png == 0) + cv::countNonZero(png == 255), int(png.total()));
        QVERIFY(cv::countNonZero(png == 0) > 0);
        QVERIFY(cv::countNonZero(png == 255) > 0);
        QCOMPARE(TestUtil::differingPixels(png, expectedBinary(pages.at(page - 1))), 0);

        const QTableWidgetItem *item = w.tableWidgetResults->item(row, w.resultColumnOf(QStringLiteral("e-%1").arg(page)));
        QVERIFY(item);
        QCOMPARE(item->text(), QStringLiteral("×"));
        QCOMPARE(item->foreground().color(), QColor(255, 0, 0));
        QCOMPARE(item->background().color(), QColor(230, 230, 230));
        QCOMPARE(item->data(Qt::UserRole + 1).toString(), file);
    }
    // The page paths stay where the data file reads them, and nothing else landed in the folder.
    QCOMPARE(w.tableWidgetResults->item(row, 0)->data(Qt::UserRole + 2).toStringList(), pages);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             (QStringList{QStringLiteral("123-1.png"), QStringLiteral("123-2.png")}));
    QVERIFY(!w.tableWidgetResults->item(row, 1));
}

void EntireSheetTest::testPagesAndCodesThatMakeNoFile_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QStringList>("pages");       // names under pages/, "" for an empty list
    QTest::addColumn<QString>("written");         // one flag per page: 1 file and cell, 0 neither
    QTest::addColumn<QString>("log");

    QTest::newRow("missing page") << "S-001" << QStringList{"p0.png", "gone.png"} << "10"
                                  << QStringLiteral("整卷图片读取失败，已跳过：") + pagePath("gone.png");
    QTest::newRow("not an image") << "S_002" << QStringList{"garbage.png", "p2.png"} << "01"
                                  << QStringLiteral("整卷图片读取失败，已跳过：") + pagePath("garbage.png");
    QTest::newRow("no pages") << "S003" << QStringList{} << "00" << QString();
    QTest::newRow("code leads out of the folder")
        << "../../x" << QStringList{"p0.png", "p1.png"} << "00"
        << QStringLiteral("考号“../../x”含有不能用于文件名的字符，没有生成整卷图片");
    QTest::newRow("code with a space") << "12 3" << QStringList{"p0.png", "p1.png"} << "00"
                                       << QStringLiteral("考号“12 3”含有不能用于文件名的字符");
    QTest::newRow("empty code") << "" << QStringList{"p0.png", "p1.png"} << "00"
                                << QStringLiteral("考号“”含有不能用于文件名的字符");
}

void EntireSheetTest::testPagesAndCodesThatMakeNoFile()
{
    QFETCH(QString, code);
    QFETCH(QStringList, pages);
    QFETCH(QString, written);
    QFETCH(QString, log);
    writeIni(true);
    MainWindow w;
    openExam(w, 2);
    // Where a code leading out of the folder would write.
    const QString escaped = QCoreApplication::applicationDirPath() + QStringLiteral("/sheets/x-1.png");
    QFile::remove(escaped);
    QStringList paths;
    for (const QString &p : qAsConst(pages))
        paths << pagePath(p);
    const int row = addStudent(w, code, paths);

    QStringList expectedFiles;
    for (int page = 1; page <= 2; ++page) {
        const bool made = written.at(page - 1) == QLatin1Char('1');
        const QString file = entires(w) + QStringLiteral("/%1-%2.png").arg(code).arg(page);
        if (made)
            expectedFiles << QFileInfo(file).fileName();
        const QTableWidgetItem *item = w.tableWidgetResults->item(row, w.resultColumnOf(QStringLiteral("e-%1").arg(page)));
        QCOMPARE(item != nullptr, made);
        if (made)
            QCOMPARE(item->data(Qt::UserRole + 1).toString(), file);
    }
    // No empty, broken or stray file, and nothing outside the folder.
    QCOMPARE(QDir(entires(w)).entryList(QDir::Files | QDir::Hidden), expectedFiles);
    QVERIFY(!QFile::exists(escaped));
    if (!log.isEmpty())
        QVERIFY2(w.textEditLog->toPlainText().contains(log), qPrintable(w.textEditLog->toPlainText()));
}

void EntireSheetTest::testRunAgainReplacesCells()
{
    writeIni(true);
    MainWindow w;
    openExam(w, 2);
    const QString page1 = pagePath(QStringLiteral("again-1.png"));
    const QString page2 = pagePath(QStringLiteral("again-2.png"));
    writePage(page1, 11);
    writePage(page2, 12);
    const int row = addStudent(w, QStringLiteral("777"), {page1, page2});
    const int e1 = w.resultColumnOf(QStringLiteral("e-1"));
    const int e2 = w.resultColumnOf(QStringLiteral("e-2"));
    const QString file1 = entires(w) + QStringLiteral("/777-1.png");
    const QString file2 = entires(w) + QStringLiteral("/777-2.png");

    // Page 1 was uploaded meanwhile; page 2 is then deleted from the disk.
    w.tableWidgetResults->setServerPath(w.tableWidgetResults->item(row, e1), QStringLiteral("https://store/777-1.png"));
    QCOMPARE(cell(w.tableWidgetResults, row, e1), QStringLiteral("√"));
    const QByteArray before2 = fileBytes(file2);
    writePage(page1, 13);
    QVERIFY(QFile::remove(page2));

    w.saveSheetsToBinaryPNG(row);
    // Page 1: a new "×" cell and the new image; page 2: the last good file and cell stay.
    QCOMPARE(cell(w.tableWidgetResults, row, e1), QStringLiteral("×"));
    QVERIFY(w.tableWidgetResults->item(row, e1)->data(Qt::UserRole + 2).isNull());
    const cv::Mat png1 = cv::imread(QFile::encodeName(file1).toStdString(), cv::IMREAD_UNCHANGED);
    QCOMPARE(TestUtil::differingPixels(png1, expectedBinary(page1)), 0);
    QCOMPARE(fileBytes(file2), before2);
    QCOMPARE(w.tableWidgetResults->item(row, e2)->data(Qt::UserRole + 1).toString(), file2);
    QVERIFY(w.textEditLog->toPlainText().contains(QStringLiteral("整卷图片读取失败，已跳过：") + page2));

    // A write that cannot land (the name is taken by a folder) is reported and leaves no cell or temp file.
    QVERIFY(QFile::remove(file1));
    QVERIFY(QDir().mkdir(file1));
    delete w.tableWidgetResults->takeItem(row, e1);
    writePage(page2, 12);
    w.saveSheetsToBinaryPNG(row);
    QVERIFY(!w.tableWidgetResults->item(row, e1));
    QVERIFY(w.textEditLog->toPlainText().contains(QStringLiteral("整卷图片保存失败：") + file1));
    QCOMPARE(QDir(entires(w)).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("777-2.png")});
    QVERIFY(QDir(file1).removeRecursively());
}

void EntireSheetTest::testSwitchingOnPreparesEveryRow()
{
    writeIni(false);
    MainWindow w;
    openExam(w, 2);
    QCOMPARE(w.resultHeaders, (QStringList{QStringLiteral("考号"), QStringLiteral("客观题总分")}));
    const int students = 5;
    QVector<QStringList> pages;
    for (int s = 0; s < students; ++s) {
        pages << QStringList{pagePath(QStringLiteral("p%1.png").arg(s % 4)), pagePath(QStringLiteral("p%1.png").arg((s + 1) % 4))};
        addStudent(w, QStringLiteral("20%1").arg(s), pages.last());
    }
    QVERIFY(QDir(entires(w)).entryList(QDir::Files).isEmpty());

    // Progress as the tip shows it, and whether the tip was up meanwhile.
    auto *bar = w.initForEntireSheetUploadTip->findChild<QProgressBar *>();
    QVERIFY(bar);
    QVector<int> values;
    QVector<bool> tipShown;
    QVector<bool> onGuiThread;
    connect(bar, &QProgressBar::valueChanged, this, [&](int v) {
        if (v == 0) // the reset before each preparation
            return;
        values << v;
        tipShown << w.initForEntireSheetUploadTip->isVisible();
        onGuiThread << (QThread::currentThread() == qApp->thread());
    });

    writeIni(true);
    w.readSettings();
    bool timedOut = false;
    runUpdateColumns(w, &timedOut);
    QVERIFY(!timedOut);

    QCOMPARE(w.resultHeaders, (QStringList{QStringLiteral("考号"), QStringLiteral("客观题总分"),
                                           QStringLiteral("e-1"), QStringLiteral("e-2")}));
    QCOMPARE(w.tableWidgetResults->columnCount(), 4);
    QCOMPARE(w.tableWidgetResults->horizontalHeaderItem(3)->text(), QStringLiteral("e-2"));
    QCOMPARE(bar->maximum(), students);
    QCOMPARE(values, (QVector<int>{1, 2, 3, 4, 5}));
    QVERIFY(!tipShown.contains(false));
    QVERIFY(!onGuiThread.contains(false));
    QVERIFY(!w.initForEntireSheetUploadTip->isVisible());
    QVERIFY(!w.initForEntireSheetUploadThread->isRunning());
    QCOMPARE(w.initForEntireSheetUploadWorker->thread(), w.initForEntireSheetUploadThread);
    for (int r = 0; r < students; ++r) {
        for (int page = 1; page <= 2; ++page) {
            const QString file = entires(w) + QStringLiteral("/20%1-%2.png").arg(r).arg(page);
            QCOMPARE(cell(w.tableWidgetResults, r, 1 + page), QStringLiteral("×"));
            QCOMPARE(w.tableWidgetResults->item(r, 1 + page)->data(Qt::UserRole + 1).toString(), file);
            const cv::Mat png = cv::imread(QFile::encodeName(file).toStdString(), cv::IMREAD_UNCHANGED);
            QCOMPARE(TestUtil::differingPixels(png, expectedBinary(pages[r][page - 1])), 0);
        }
    }

    // Switching off removes the two columns and only them; on again prepares
    // again at once (the thread was stopped for good in between).
    writeIni(false);
    w.readSettings();
    w.updateEntireSheetColumns();
    QCOMPARE(w.resultHeaders, (QStringList{QStringLiteral("考号"), QStringLiteral("客观题总分")}));
    QCOMPARE(w.tableWidgetResults->columnCount(), 2);
    QCOMPARE(cell(w.tableWidgetResults, 4, 0), QStringLiteral("204"));
    values.clear();
    writeIni(true);
    w.readSettings();
    runUpdateColumns(w, &timedOut);
    QVERIFY(!timedOut);
    QCOMPARE(values, (QVector<int>{1, 2, 3, 4, 5}));
    QCOMPARE(cell(w.tableWidgetResults, 4, 3), QStringLiteral("×"));

    // With the columns already there nothing is prepared again.
    values.clear();
    runUpdateColumns(w, &timedOut);
    QVERIFY(values.isEmpty());
    QCOMPARE(w.tableWidgetResults->columnCount(), 4);
}

void EntireSheetTest::testSwitchingOnWithoutRows()
{
    writeIni(false);
    MainWindow w;
    openExam(w, 3);
    writeIni(true);
    w.readSettings();
    bool timedOut = false;
    runUpdateColumns(w, &timedOut);
    QVERIFY(!timedOut);
    QCOMPARE(w.resultHeaders.mid(2), (QStringList{QStringLiteral("e-1"), QStringLiteral("e-2"), QStringLiteral("e-3")}));
    QCOMPARE(w.initForEntireSheetUploadTip->maximum(), 0);
    QVERIFY(!w.initForEntireSheetUploadTip->isVisible());
    QVERIFY(!w.initForEntireSheetUploadThread->isRunning());
    QVERIFY(QDir(entires(w)).entryList(QDir::Files).isEmpty());

    // The operator cannot close the tip: Escape leaves it open.
    DialogInitForEntireSheetUploadTip &tip = *w.initForEntireSheetUploadTip;
    tip.reset();
    bool stillOpen = false;
    QTimer::singleShot(0, &tip, [&] {
        QTest::keyClick(&tip, Qt::Key_Escape);
        stillOpen = tip.isVisible();
        tip.accept();
    });
    QTimer::singleShot(30000, &tip, [&] { tip.done(QDialog::Rejected); });
    QCOMPARE(tip.exec(), int(QDialog::Accepted));
    QVERIFY(stillOpen);
    // An end that came before the tip was shown closes it at once.
    tip.reset();
    tip.accept();
    QCOMPARE(tip.exec(), int(QDialog::Accepted));
    QVERIFY(!tip.isVisible());
}

void EntireSheetTest::testPreparationRefusedWhileWorkersRun_data()
{
    QTest::addColumn<bool>("recognition");
    QTest::addColumn<QString>("log");
    QTest::newRow("recognition runs") << true << QStringLiteral("正在识别处理，不能为上传整卷整理数据");
    QTest::newRow("images upload") << false << QStringLiteral("正在上传图片，不能为上传整卷整理数据");
}

void EntireSheetTest::testPreparationRefusedWhileWorkersRun()
{
    QFETCH(bool, recognition);
    QFETCH(QString, log);
    writeIni(false);
    MainWindow w;
    openExam(w, 2);
    addStudent(w, QStringLiteral("55"), {pagePath(QStringLiteral("p0.png")), pagePath(QStringLiteral("p1.png"))});
    ProcessThread worker;
    if (recognition)
        w.processWorkers << &worker;
    else
        w.tableWidgetResults->uploading = true;

    writeIni(true);
    w.readSettings();
    bool timedOut = false;
    runUpdateColumns(w, &timedOut);
    w.processWorkers.clear();
    w.tableWidgetResults->uploading = false;

    QVERIFY(!timedOut);
    QCOMPARE(w.resultHeaders.size(), 2);
    QCOMPARE(w.tableWidgetResults->columnCount(), 2);
    QVERIFY(!w.initForEntireSheetUploadThread->isRunning());
    QVERIFY(QDir(entires(w)).entryList(QDir::Files).isEmpty());
    QVERIFY(w.textEditLog->toPlainText().contains(log));

    // Once they have ended, the same step prepares the rows.
    runUpdateColumns(w, &timedOut);
    QVERIFY(!timedOut);
    QCOMPARE(cell(w.tableWidgetResults, 0, 3), QStringLiteral("×"));
}

void EntireSheetTest::testTipForm()
{
    DialogInitForEntireSheetUploadTip tip;
    QCOMPARE(tip.size(), QSize(625, 143));
    QCOMPARE(tip.windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(tip.styleSheet(), QStringLiteral("background-color: rgb(85, 170, 255);"));
    QVERIFY(tip.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!(tip.windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(!tip.parent());
    bool textFound = false;
    bool pictureFound = false;
    for (QLabel *label : tip.findChildren<QLabel *>()) {
        if (label->text() == QStringLiteral("正在为上传整卷进行数据整理操作，请稍候……")) {
            textFound = true;
            QCOMPARE(label->font().pointSize(), 14);
        }
        if (label->pixmap() && !label->pixmap()->isNull()) {
            pictureFound = true;
            QVERIFY(label->hasScaledContents());
            QVERIFY(label->minimumSize().width() >= 48 && label->minimumSize().height() >= 48);
        }
    }
    QVERIFY(textFound);
    QVERIFY(pictureFound);
    QCOMPARE(tip.maximum(), 100);
    QCOMPARE(tip.value(), 0);
    tip.setMaximum(7);
    tip.setValue(3);
    QCOMPARE(tip.findChild<QProgressBar *>()->maximum(), 7);
    QCOMPARE(tip.findChild<QProgressBar *>()->value(), 3);
}

void EntireSheetTest::testRecognitionRunMakesImages()
{
    writeIni(true);
    {
        QSettings s(m_dir.filePath(QStringLiteral("Ardentiq.ini")), QSettings::IniFormat);
        s.setIniCodec("UTF-8");
        s.setValue(QStringLiteral("SettingImage/SubjectImageFormatIndex"), QStringLiteral("0"));
    }
    PipelineFixture fx(SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 2, 150),
                       m_dir.filePath(QStringLiteral("run")));
    QVERIFY2(fx.ok(), qPrintable(fx.error()));
    const int sheets = 2;
    QStringList codes;
    for (int s = 0; s < sheets; ++s) {
        StudentMarks m = StudentMarks::random(fx.spec(), quint32(70 + s));
        m.code = QStringLiteral("%1").arg(3100000000LL + s);
        codes << m.code;
        fx.addStudent(m.code, 600 + s);
        fx.writeStudent(m, Distortion(), s);
    }

    MainWindow w;
    w.templateDoc.Parse(fx.renderer().templateXml().constData());
    w.answerSettings = fx.answerSettings;
    w.optionalAnswerSettings = fx.optionalAnswerSettings;
    w.studentHash = fx.roster;
    MainWindow::ExamSelection selection;
    selection.examId = QStringLiteral("entire-run-%1").arg(QCoreApplication::applicationPid());
    m_examIds << selection.examId;
    selection.imageSavePath = fx.examDir() + QStringLiteral("/scans");
    QVERIFY(w.openExam(selection));
    QCOMPARE(w.resultHeaders.mid(w.resultHeaders.size() - 2), (QStringList{QStringLiteral("e-1"), QStringLiteral("e-2")}));
    w.startProcess();
    QVERIFY(w.isProcessing());
    QTRY_VERIFY_WITH_TIMEOUT(w.processThreads.isEmpty(), 120000);

    QCOMPARE(w.tableWidgetResults->rowCount(), sheets);
    for (int r = 0; r < sheets; ++r) {
        const QString code = cell(w.tableWidgetResults, r, 0);
        QVERIFY(codes.contains(code));
        const QStringList pages = w.tableWidgetResults->item(r, 0)->data(Qt::UserRole + 2).toStringList();
        QCOMPARE(pages.size(), 2);
        for (int page = 1; page <= 2; ++page) {
            const int column = w.resultColumnOf(QStringLiteral("e-%1").arg(page));
            const QString file = entires(w) + QStringLiteral("/%1-%2.png").arg(code).arg(page);
            QCOMPARE(cell(w.tableWidgetResults, r, column), QStringLiteral("×"));
            QCOMPARE(w.tableWidgetResults->item(r, column)->data(Qt::UserRole + 1).toString(), file);
            const cv::Mat png = cv::imread(QFile::encodeName(file).toStdString(), cv::IMREAD_UNCHANGED);
            QCOMPARE(TestUtil::differingPixels(png, expectedBinary(pages.at(page - 1))), 0);
        }
    }
}

QTEST_MAIN(EntireSheetTest)
#include "entiresheet_test.moc"
