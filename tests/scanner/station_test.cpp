// The station's frame: the start-up refusal, the close question and the two
// small dialogs of the scan form.

#include "dialogfileexist.h"
#include "dialogwait.h"
#include "stationfixture.h"

#include "desktopopener.h"
#include "messagebox.h"
#include "simsession.h"
#include "widgettestutil.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QTextBrowser>

#include <memory>
#include <unistd.h>

using namespace StationFixture;

class StationTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void settingsFileRefusals_data();
    void settingsFileRefusals();
    void closeQuestion_data();
    void closeQuestion();
    void waitBox();
    void sameNameDialog();
};

void StationTest::initTestCase()
{
    useSimulatedManager();
}

void StationTest::settingsFileRefusals_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("problem");
    QTest::newRow("writable file") << "file" << "";
    QTest::newRow("missing") << "missing" << "ini配置文件不存在";
    QTest::newRow("a folder of that name") << "folder" << "ini配置文件不存在";
    QTest::newRow("read-only") << "read-only" << "ini配置文件不可写。请以【管理员】权限运行本程序。";
}

void StationTest::settingsFileRefusals()
{
    QFETCH(QString, kind);
    if (kind == QLatin1String("read-only") && ::geteuid() == 0)
        QSKIP("running as root: a read-only file is writable all the same");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString ini = dir.filePath(QStringLiteral("Pellwyn.ini"));
    if (kind == QLatin1String("file") || kind == QLatin1String("read-only"))
        QVERIFY(writeFile(ini, "[Main]\n"));
    if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(ini));
    if (kind == QLatin1String("read-only"))
        QVERIFY(QFile::setPermissions(ini, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    QTEST(MainWindow::settingsFileProblem(QDir::toNativeSeparators(ini)), "problem");
}

void StationTest::closeQuestion_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("yes") << int(QMessageBox::Yes) << true;
    QTest::newRow("no") << int(QMessageBox::No) << false;
    QTest::newRow("escape") << int(QMessageBox::NoButton) << false;
}

void StationTest::closeQuestion()
{
    QFETCH(int, answer);
    QTemporaryDir dir;
    prepare(dir, sources({}), QByteArray());
    MessageBoxRecorder boxes;
    if (answer == QMessageBox::NoButton)
        boxes.setAnswerFunction([](const MessageBoxSpec &spec) { return MessageBox::escapeAnswer(spec); });
    else
        boxes.queueAnswer(QMessageBox::StandardButton(answer));
    MainWindow window;
    QVERIFY(window.isVisible());
    QTEST(window.close(), "closes");
    QTEST(!window.isVisible(), "closes");
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QStringLiteral("提示"));
    QCOMPARE(boxes.last().text, QStringLiteral("确定退出程序吗？"));
    QCOMPARE(boxes.last().defaultButton, QMessageBox::No);
}

void StationTest::waitBox()
{
    QTemporaryDir dir;
    prepare(dir, sources({source("Alpha", true, 1)}), QByteArray());
    MessageBoxRecorder boxes;
    MainWindow window;
    DialogWait *wait = window.formScan->dialogWait;
    QCOMPARE(wait->parentWidget(), &window);
    QVERIFY(wait->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!wait->isVisible());
    auto *stop = findNamed<QPushButton>(wait, "pushButton");

    wait->setStopButtonVisible(false);
    wait->show();
    QTest::keyClick(wait, Qt::Key_Escape);
    QVERIFY(wait->isVisible());  // only the end of the batch closes it
    QVERIFY(!stop->isVisibleTo(wait));

    // The stop button below a transfer asks nothing of the source.
    wait->setStopButtonVisible(true);
    QVERIFY(stop->isVisibleTo(wait));
    struct Log {
        QStringList lines;
        static void collect(const char *line, void *context) { static_cast<Log *>(context)->lines << line; }
    } log;
    SimSession::setTraceSink(&Log::collect, &log);
    stop->click();
    SimSession::setTraceSink(nullptr, nullptr);
    QVERIFY(log.lines.filter(QStringLiteral("STOPFEEDER")).isEmpty());
    QVERIFY(wait->isVisible());
    wait->hide();
    QCOMPARE(boxes.count(), 0);
}

void StationTest::sameNameDialog()
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first"));
    const QString second = dir.filePath(QStringLiteral("second"));
    QVERIFY(QDir().mkpath(first) && QDir().mkpath(second));

    DialogFileExist dialog(nullptr, QStringLiteral("文件【x】 已经存在,无法覆盖保存。"), first);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("提示"));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    auto *browser = findNamed<QTextBrowser>(&dialog, "textBrowser");
    auto *buttons = findNamed<QDialogButtonBox>(&dialog, "buttonBox");
    QCOMPARE(buttons->button(QDialogButtonBox::Ok)->text(), QStringLiteral("确定"));
    QCOMPARE(browser->toPlainText(), first);

    DesktopOpenRecorder opened;
    findNamed<QPushButton>(&dialog, "pushButtonOpenFolder")->click();
    QCOMPARE(opened.urls, QList<QUrl>{QUrl::fromLocalFile(first)});

    // A cancelled chooser keeps the folder; a chosen one replaces it.
    {
        WidgetTest::WhenShown<QFileDialog> cancel([](QFileDialog *d) { d->reject(); });
        findNamed<QPushButton>(&dialog, "pushButtonChangeFolder")->click();
        QVERIFY(cancel.seen);
    }
    QCOMPARE(browser->toPlainText(), first);
    {
        WidgetTest::WhenShown<QFileDialog> choose([&second](QFileDialog *d) {
            d->setDirectory(second);
            QMetaObject::invokeMethod(d, "accept");
        });
        findNamed<QPushButton>(&dialog, "pushButtonChangeFolder")->click();
        QVERIFY(choose.seen);
    }
    QCOMPARE(browser->toPlainText(), QDir::toNativeSeparators(second));

    WidgetTest::WhenShown<DialogFileExist> accept([buttons](DialogFileExist *) {
        buttons->button(QDialogButtonBox::Ok)->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.savePath, QDir::toNativeSeparators(second));
}

QTEST_MAIN(StationTest)
#include "station_test.moc"
