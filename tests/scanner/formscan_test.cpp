// The scan form against the simulated manager: the device list, connecting,
// the lists of what a source offers, the checks before a batch, whole batches
// through the buttons, and what the form refuses while a batch runs.

#include "dialogfileexist.h"
#include "dialogwait.h"
#include "formstatusbar.h"
#include "mytablewidget.h"
#include "stationfixture.h"
#include "threadscan.h"

#include "desktopopener.h"
#include "messagebox.h"
#include "simsession.h"
#include "widgettestutil.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTextBrowser>
#include <QToolButton>
#include <QSignalSpy>
#include <QThread>

#include <memory>

using namespace StationFixture;

namespace {

const QByteArray kIni = "[Main]\nNamePrefix=A\nNumberLegnth=4\n[Other]\nShowStopScanButton=1\n";

// Records whether the wait box was shown and whether its stop button was
// visible then.
class ShowRecorder : public QObject
{
public:
    explicit ShowRecorder(DialogWait *dialog) : m_dialog(dialog) { dialog->installEventFilter(this); }
    int shows = 0;
    bool stopButtonShown = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_dialog && event->type() == QEvent::Show) {
            ++shows;
            stopButtonShown = findNamed<QPushButton>(m_dialog, "pushButton")->isVisibleTo(m_dialog);
        }
        return false;
    }

private:
    DialogWait *m_dialog;
};

struct SimLog
{
    SimLog() { SimSession::setTraceSink(&SimLog::collect, this); }
    ~SimLog() { SimSession::setTraceSink(nullptr, nullptr); }
    bool contains(const QString &part) const
    {
        QMutexLocker lock(&mutex);
        for (const QString &line : lines)
            if (line.contains(part))
                return true;
        return false;
    }
    static void collect(const char *line, void *context)
    {
        auto *self = static_cast<SimLog *>(context);
        QMutexLocker lock(&self->mutex);
        self->lines << QString::fromUtf8(line);
    }
    mutable QMutex mutex;
    QStringList lines;
};

QStringList comboItems(const QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

} // namespace

class FormScanTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sourceListAndDefault();
    void noSource();
    void connectDisconnectReconnect();
    void offeredLists_data();
    void offeredLists();
    void refusedBatchStarts_data();
    void refusedBatchStarts();
    void existingFirstFile();
    void wholeBatch_data();
    void wholeBatch();
    void controlsRefusedDuringBatch();
    void closeRequestBeforeAnyPage_data();
    void closeRequestBeforeAnyPage();
    void closeDuringBatch();
    void sourceNeverReady_data();
    void sourceNeverReady();
    void refusedDisableIsSaid_data();
    void refusedDisableIsSaid();
    void untrustedManagerIsSaid();
    void negotiatedSettings_data();
    void negotiatedSettings();
    void settingsDialog_data();
    void settingsDialog();
    void stopFeederOnlyWhileTransferring();
    void formatAndQualityWidgets();
    void saveFolderButtons();

private:
    std::unique_ptr<MainWindow> station(const QList<QByteArray> &list, const QByteArray &ini = kIni);
    template <typename T>
    T *child(const char *name) const
    {
        return findNamed<T>(m_window->formScan, name);
    }
    void connectSource(int index = 0);
    void scanAndWait();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    std::unique_ptr<MainWindow> m_window;
    QString m_saveFolder;
};

void FormScanTest::initTestCase()
{
    useSimulatedManager();
    SimSession::library();
}

void FormScanTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_saveFolder = m_dir->filePath(QStringLiteral("pages"));
    QVERIFY(QDir().mkpath(m_saveFolder));
    m_boxes = std::make_unique<MessageBoxRecorder>();
}

void FormScanTest::cleanup()
{
    if (m_window) {
        m_window->formScan->stopBatchAndWait();
        m_window.reset();
    }
    QCOMPARE(SimSession::liveHandles(), 0);
    m_boxes.reset();
    m_dir.reset();
}

std::unique_ptr<MainWindow> FormScanTest::station(const QList<QByteArray> &list, const QByteArray &ini)
{
    prepare(*m_dir, sources(list), ini + "[Main]\nSavePath=" + m_saveFolder.toUtf8() + "\n");
    return std::make_unique<MainWindow>();
}

void FormScanTest::connectSource(int index)
{
    child<QComboBox>("comboBoxDataSource")->setCurrentIndex(index);
    child<QPushButton>("pushButtonLoadDS")->click();
    QCOMPARE(int(m_window->formScan->m_DSMState), 4);
}

void FormScanTest::scanAndWait()
{
    FormScan *form = m_window->formScan;
    QSignalSpy ended(form, &FormScan::batchEnded);
    child<QPushButton>("pushButtonGoScan")->click();
    QVERIFY(form->batchRunning());
    QVERIFY(ended.wait(20000));
    QVERIFY(!form->batchRunning());
    QTRY_VERIFY(!form->scanThread->isRunning());
    QCOMPARE(int(form->m_DSMState), 4);
}

void FormScanTest::sourceListAndDefault()
{
    m_window = station({source("Alpha", true, 1), source("Beta", false, 1, QByteArray(), "1.9")});
    QCOMPARE(comboItems(child<QComboBox>("comboBoxDataSource")), (QStringList{"Alpha（2.4）", "Beta（1.9）"}));
    FormScan *form = m_window->formScan;
    QCOMPARE(child<QComboBox>("comboBoxDataSource")->itemData(0).toUInt(), uint(form->m_sources[0].Id));
    QCOMPARE(child<QComboBox>("comboBoxDataSource")->itemData(1).toUInt(), uint(form->m_sources[1].Id));
    const pTW_IDENTITY def = form->getDefaultDataSource();
    QVERIFY(def);
    QCOMPARE(child<QComboBox>("comboBoxDataSource")->currentData().toUInt(), uint(def->Id));
    QVERIFY(child<QPushButton>("pushButtonLoadDS")->isEnabled());
    QVERIFY(!child<QPushButton>("pushButtonUnloadDS")->isEnabled());
    QVERIFY(!child<QPushButton>("pushButtonDSSetting")->isEnabled());
    QVERIFY(!child<QPushButton>("pushButtonGoScan")->isEnabled());
    QVERIFY(!child<QWidget>("widgetDSLoaded")->isVisibleTo(form));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("答卷扫描 Pellwyn 版本 1.0"));
}

void FormScanTest::noSource()
{
    m_window = station({});
    QCOMPARE(child<QComboBox>("comboBoxDataSource")->count(), 0);
    QVERIFY(!child<QPushButton>("pushButtonLoadDS")->isEnabled());
    QVERIFY(!child<QPushButton>("pushButtonUnloadDS")->isEnabled());
    QVERIFY(!child<QPushButton>("pushButtonDSSetting")->isEnabled());
    QVERIFY(!child<QPushButton>("pushButtonGoScan")->isEnabled());
    child<QPushButton>("pushButtonLoadDS")->click();  // disabled: nothing happens
    QCOMPARE(m_boxes->count(), 0);
}

void FormScanTest::connectDisconnectReconnect()
{
    m_window = station({source("Alpha", true, 1, R"("capabilities": {"ICAP_XRESOLUTION": {"type": "FIX32",
        "range": {"min": 100, "max": 600, "step": 100}, "current": 200}})")});
    FormScan *form = m_window->formScan;
    connectSource();
    QVERIFY(child<QWidget>("widgetDSLoaded")->isVisibleTo(form));
    QVERIFY(!child<QComboBox>("comboBoxDataSource")->isEnabled());
    for (QPushButton *b : {child<QPushButton>("pushButtonLoadDS"), child<QPushButton>("pushButtonUnloadDS"), child<QPushButton>("pushButtonDSSetting"),
                           child<QPushButton>("pushButtonGoScan")})
        QVERIFY(b->isEnabled());
    QCOMPARE(child<QComboBox>("comboBoxResolution")->currentText(), QStringLiteral("200"));

    // "连接" again with the source open reads the source afresh.
    QCOMPARE(form->setCapabilityOneValueFix32(ICAP_XRESOLUTION, FloatToFIX32(400)), TW_UINT16(TWRC_SUCCESS));
    child<QPushButton>("pushButtonLoadDS")->click();
    QCOMPARE(int(form->m_DSMState), 4);
    QCOMPARE(child<QComboBox>("comboBoxResolution")->currentText(), QStringLiteral("400"));

    child<QPushButton>("pushButtonUnloadDS")->click();
    QCOMPARE(int(form->m_DSMState), 3);
    QVERIFY(!form->m_currentSource);
    QVERIFY(!child<QWidget>("widgetDSLoaded")->isVisibleTo(form));
    QVERIFY(child<QComboBox>("comboBoxDataSource")->isEnabled());
    QVERIFY(child<QPushButton>("pushButtonLoadDS")->isEnabled());
    QVERIFY(!child<QPushButton>("pushButtonGoScan")->isEnabled());
    QVERIFY(!form->m_ICAP_XRESOLUTIONs.hContainer);

    connectSource();
    QVERIFY(child<QWidget>("widgetDSLoaded")->isVisibleTo(form));
    QCOMPARE(m_boxes->count(), 0);
}

void FormScanTest::offeredLists_data()
{
    QTest::addColumn<QByteArray>("caps");
    QTest::addColumn<QStringList>("resolutions");
    QTest::addColumn<QString>("resolution");
    QTest::addColumn<QStringList>("pixelTypes");
    QTest::addColumn<QString>("pixelType");
    QTest::addColumn<QStringList>("sides");
    QTest::addColumn<QString>("side");

    const QStringList bgc{"黑白", "灰度", "彩色"};
    QTest::newRow("range 75..600 by 75, current 75")
        << QByteArray(R"("ICAP_XRESOLUTION": {"type": "FIX32", "range": {"min": 75, "max": 600, "step": 75}, "current": 75})")
        << QStringList{"150", "300", "600", "75"} << "75" << bgc << "灰度" << QStringList{"单面", "双面"} << "单面";
    QTest::newRow("range with step 0 ends")
        << QByteArray(R"("ICAP_XRESOLUTION": {"type": "FIX32", "range": {"min": 100, "max": 600, "step": 0}, "current": 100})")
        << QStringList{"100"} << "100" << bgc << "灰度" << QStringList{"单面", "双面"} << "单面";
    QTest::newRow("enumeration with a fraction")
        << QByteArray(R"("ICAP_XRESOLUTION": {"type": "FIX32", "enumeration": [150.5, 300], "current": 150.5})")
        << QStringList{"150.5", "300"} << "150.5" << bgc << "灰度" << QStringList{"单面", "双面"} << "单面";
    QTest::newRow("pixel type CMY selects grey")
        << QByteArray(R"("ICAP_PIXELTYPE": {"type": "UINT16", "enumeration": [0, 1, 2, 4], "current": 4})")
        << QStringList{"100", "150", "200", "300", "400", "600"} << "200" << bgc << "灰度"
        << QStringList{"单面", "双面"} << "单面";
    QTest::newRow("colour only, duplex on")
        << QByteArray(R"("ICAP_PIXELTYPE": {"type": "UINT16", "enumeration": [2], "current": 2},
                         "CAP_DUPLEXENABLED": {"type": "BOOL", "value": true})")
        << QStringList{"100", "150", "200", "300", "400", "600"} << "200" << QStringList{"彩色"} << "彩色"
        << QStringList{"单面", "双面"} << "双面";
    QTest::newRow("two-pass duplex offers one side")
        << QByteArray(R"("CAP_DUPLEX": {"type": "UINT16", "value": 2, "readOnly": true})")
        << QStringList{"100", "150", "200", "300", "400", "600"} << "200" << bgc << "灰度" << QStringList{"单面"}
        << "单面";
    QTest::newRow("no duplex")
        << QByteArray(R"("CAP_DUPLEX": {"type": "UINT16", "value": 0, "readOnly": true})")
        << QStringList{"100", "150", "200", "300", "400", "600"} << "200" << bgc << "灰度" << QStringList{"单面"}
        << "单面";
}

void FormScanTest::offeredLists()
{
    QFETCH(QByteArray, caps);
    m_window = station({source("Alpha", true, 1, "\"capabilities\": {" + caps + "}")});
    connectSource();
    QTEST(comboItems(child<QComboBox>("comboBoxResolution")), "resolutions");
    QTEST(child<QComboBox>("comboBoxResolution")->currentText(), "resolution");
    QTEST(comboItems(child<QComboBox>("comboBoxPixelType")), "pixelTypes");
    QTEST(child<QComboBox>("comboBoxPixelType")->currentText(), "pixelType");
    QTEST(comboItems(child<QComboBox>("comboBoxDuplex")), "sides");
    QTEST(child<QComboBox>("comboBoxDuplex")->currentText(), "side");
}

void FormScanTest::refusedBatchStarts_data()
{
    QTest::addColumn<QString>("folder");  // "" keeps the good one
    QTest::addColumn<QString>("startNumber");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing folder") << "missing" << "1" << "保存路径不合法";
    QTest::newRow("empty folder") << "<empty>" << "1" << "保存路径不合法";
    QTest::newRow("folder is a file") << "file" << "1" << "保存路径不合法";
    QTest::newRow("start 0") << "" << "0" << "起始编号范围为1-999999";
    QTest::newRow("start empty") << "" << "" << "起始编号范围为1-999999";
    QTest::newRow("start not a number") << "" << "x1" << "起始编号范围为1-999999";
    QTest::newRow("start past the last") << "" << "1000000" << "起始编号范围为1-999999";
}

void FormScanTest::refusedBatchStarts()
{
    QFETCH(QString, folder);
    QFETCH(QString, startNumber);
    m_window = station({source("Alpha", true, 2)});
    connectSource();
    const QString ini = FormScan::settingsFilePath();
    QFile before(ini);
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray iniBefore = before.readAll();
    before.close();

    if (folder == QLatin1String("missing"))
        child<QLineEdit>("lineEditImageSavePath")->setText(m_dir->filePath(QStringLiteral("nowhere")));
    else if (folder == QLatin1String("<empty>"))
        child<QLineEdit>("lineEditImageSavePath")->clear();
    else if (folder == QLatin1String("file")) {
        QVERIFY(writeFile(m_dir->filePath(QStringLiteral("plain")), "x"));
        child<QLineEdit>("lineEditImageSavePath")->setText(m_dir->filePath(QStringLiteral("plain")));
    }
    child<QLineEdit>("lineEditStartNumber")->setText(startNumber);
    child<QPushButton>("pushButtonGoScan")->click();

    QCOMPARE(m_boxes->count(), 1);
    QTEST(m_boxes->last().text, "message");
    QCOMPARE(m_boxes->last().title, QStringLiteral("提示"));
    QCOMPARE(m_boxes->last().buttonText(QMessageBox::Ok), QStringLiteral("确定"));
    QVERIFY(!m_window->formScan->batchRunning());
    QCOMPARE(int(m_window->formScan->m_DSMState), 4);
    QVERIFY(filesIn(m_saveFolder).isEmpty());
    QFile after(ini);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), iniBefore);  // a refused start writes no settings
}

void FormScanTest::existingFirstFile()
{
    m_window = station({source("Alpha", true, 1)});
    FormScan *form = m_window->formScan;
    connectSource();
    const QString existing = QDir(m_saveFolder).filePath(QStringLiteral("A0007.jpg"));
    QVERIFY(writeFile(existing, "old"));
    child<QLineEdit>("lineEditStartNumber")->setText(QStringLiteral("7"));

    // Closed without a choice: nothing changes and no batch starts.
    {
        QString info;
        WidgetTest::WhenShown<DialogFileExist> answer([&info](DialogFileExist *d) {
            info = findNamed<QLabel>(d, "labelInfo")->text();
            d->reject();
        });
        child<QPushButton>("pushButtonGoScan")->click();
        QVERIFY(answer.seen);
        QCOMPARE(info, QStringLiteral("文件【%1】 已经存在,无法覆盖保存。").arg(QDir::toNativeSeparators(existing)));
    }
    QCOMPARE(child<QLineEdit>("lineEditImageSavePath")->text(), m_saveFolder);
    QVERIFY(!form->batchRunning());

    // Accepted with another folder: the field takes it, still no batch.
    const QString other = m_dir->filePath(QStringLiteral("other"));
    QVERIFY(QDir().mkpath(other));
    {
        WidgetTest::WhenShown<DialogFileExist> answer([&other](DialogFileExist *d) {
            findNamed<QTextBrowser>(d, "textBrowser")->setPlainText(QDir::toNativeSeparators(other));
            findNamed<QDialogButtonBox>(d, "buttonBox")->button(QDialogButtonBox::Ok)->click();
        });
        child<QPushButton>("pushButtonGoScan")->click();
        QVERIFY(answer.seen);
    }
    QCOMPARE(child<QLineEdit>("lineEditImageSavePath")->text(), QDir::toNativeSeparators(other));
    QVERIFY(!form->batchRunning());
    QCOMPARE(int(form->m_DSMState), 4);
    QFile old(existing);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old"));

    // The next press starts the batch in the new folder.
    scanAndWait();
    QCOMPARE(filesIn(other), QStringList{"A0007.jpg"});
    QCOMPARE(m_boxes->count(), 0);
}

void FormScanTest::wholeBatch_data()
{
    QTest::addColumn<bool>("callbacks");
    QTest::addColumn<QString>("side");
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("second");
    QTest::newRow("callbacks, duplex")
        << true << "双面" << QStringList{"A0001.jpg", "A0002.jpg", "A0003.jpg", "A0004.jpg", "A0005.jpg", "A0006.jpg"}
        << QStringList{"A0007.jpg", "A0008.jpg", "A0009.jpg", "A0010.jpg", "A0011.jpg", "A0012.jpg"};
    QTest::newRow("events fetched, one side")
        << false << "单面" << QStringList{"A0001.jpg", "A0002.jpg", "A0003.jpg"}
        << QStringList{"A0004.jpg", "A0005.jpg", "A0006.jpg"};
}

void FormScanTest::wholeBatch()
{
    QFETCH(bool, callbacks);
    QFETCH(QString, side);
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);
    m_window = station({source("Alpha", callbacks, 3)});
    FormScan *form = m_window->formScan;
    connectSource();
    child<QComboBox>("comboBoxDuplex")->setCurrentText(side);
    QCOMPARE(child<QComboBox>("comboBoxDuplex")->currentText(), side);
    ShowRecorder shown(form->dialogWait);
    SimLog simLog;

    scanAndWait();
    QCOMPARE(filesIn(m_saveFolder), first);
    QCOMPARE(shown.shows, 1);
    QVERIFY(shown.stopButtonShown);  // auto-scan and auto-feed on, and the ini asks for it
    QVERIFY(!form->dialogWait->isVisible());
    QCOMPARE(child<QLineEdit>("lineEditStartNumber")->text(), QString::number(first.size() + 1));
    QCOMPARE(child<MyTableWidget>("tableWidget")->rowCount(), first.size());
    QCOMPARE(m_window->formStatusBar->labelCount->text().contains(QString::number(first.size())), true);
    for (QPushButton *b : {child<QPushButton>("pushButtonLoadDS"), child<QPushButton>("pushButtonUnloadDS"), child<QPushButton>("pushButtonDSSetting"),
                           child<QPushButton>("pushButtonGoScan")})
        QVERIFY(b->isEnabled());

    // The next batch goes on from the number the field shows.
    scanAndWait();
    QCOMPARE(filesIn(m_saveFolder), first + second);
    QCOMPARE(shown.shows, 2);
    QCOMPARE(child<MyTableWidget>("tableWidget")->rowCount(), first.size() + second.size());
    QCOMPARE(m_boxes->count(), 0);
    QVERIFY(!simLog.contains(QStringLiteral("overlap")));
    QVERIFY(!simLog.contains(QStringLiteral("failed in state")));
}

void FormScanTest::controlsRefusedDuringBatch()
{
    m_window = station({source("Alpha", true, 2)});
    FormScan *form = m_window->formScan;
    connectSource();
    QSignalSpy ended(form, &FormScan::batchEnded);
    child<QPushButton>("pushButtonGoScan")->click();
    QVERIFY(form->batchRunning());
    QVERIFY(!child<QComboBox>("comboBoxDataSource")->isEnabled());
    for (QPushButton *b : {child<QPushButton>("pushButtonLoadDS"), child<QPushButton>("pushButtonUnloadDS"), child<QPushButton>("pushButtonDSSetting"),
                           child<QPushButton>("pushButtonGoScan")})
        QVERIFY2(!b->isEnabled(), qPrintable(b->text()));
    // Reached some other way, the actions are refused as well.
    for (const char *slot : {"btnUnloadDS", "DSSetting", "goScan", "btnLoadDS"})
        QVERIFY(QMetaObject::invokeMethod(form, slot));
    QVERIFY(form->m_DSMState >= 5);
    QVERIFY(form->m_currentSource);
    QVERIFY(ended.wait(20000));
    QTRY_VERIFY(!form->scanThread->isRunning());
    QCOMPARE(filesIn(m_saveFolder), (QStringList{"A0001.jpg", "A0002.jpg"}));
    QCOMPARE(int(form->m_DSMState), 4);
    QVERIFY(child<QPushButton>("pushButtonGoScan")->isEnabled());
    QCOMPARE(m_boxes->count(), 0);
}

void FormScanTest::closeRequestBeforeAnyPage_data()
{
    QTest::addColumn<bool>("callbacks");
    QTest::newRow("callbacks") << true;
    QTest::newRow("events fetched") << false;
}

void FormScanTest::closeRequestBeforeAnyPage()
{
    QFETCH(bool, callbacks);
    m_window = station({source("Alpha", callbacks, 2)});
    FormScan *form = m_window->formScan;
    connectSource();
    child<QPushButton>("pushButtonGoScan")->click();
    QCOMPARE(int(form->m_DSMState), 5);
    // Before any event is handled, the source asks to be closed: it is
    // disabled, and the transfer it had announced never starts.
    QVERIFY(QMetaObject::invokeMethod(form, "DataSourceSignal", Qt::DirectConnection, Q_ARG(int, MSG_CLOSEDSREQ)));
    QCOMPARE(int(form->m_DSMState), 4);
    QVERIFY(!form->batchRunning());
    QVERIFY(child<QPushButton>("pushButtonGoScan")->isEnabled());
    QTRY_VERIFY(!form->scanThread->isRunning());
    QCoreApplication::processEvents();
    QVERIFY(filesIn(m_saveFolder).isEmpty());
    QCOMPARE(int(form->m_DSMState), 4);

    // The source scans again afterwards.
    scanAndWait();
    QCOMPARE(filesIn(m_saveFolder), (QStringList{"A0001.jpg", "A0002.jpg"}));
}

void FormScanTest::closeDuringBatch()
{
    // Far more sheets than are fed before the window closes: only a feeder
    // that stopped leaves pages in it.
    constexpr int kSheets = 5000;
    SimLog log;
    m_window = station({source("Alpha", true, kSheets)});
    FormScan *form = m_window->formScan;
    connectSource();
    m_boxes->queueAnswer(QMessageBox::Yes);
    child<QPushButton>("pushButtonGoScan")->click();
    // Once pages arrive, the window is closed.
    QTRY_VERIFY(child<MyTableWidget>("tableWidget")->rowCount() >= 2);
    QVERIFY(m_window->close());
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().text, QStringLiteral("确定退出程序吗？"));
    QVERIFY(!form->batchRunning());
    QVERIFY(!form->scanThread->isRunning());
    QCOMPARE(int(form->m_DSMState), 4);
    QVERIFY(log.contains(QStringLiteral("MSG_STOPFEEDER")));
    // Whatever was fed is on disk, numbered without a gap.
    const QStringList files = filesIn(m_saveFolder);
    QVERIFY(files.size() >= 2);
    QVERIFY2(files.size() < kSheets, qPrintable(QString::number(files.size())));
    for (int i = 0; i < files.size(); ++i)
        QCOMPARE(files[i], QStringLiteral("A%1.jpg").arg(i + 1, 4, 10, QLatin1Char('0')));
    QCOMPARE(child<MyTableWidget>("tableWidget")->rowCount(), files.size());
}

void FormScanTest::sourceNeverReady_data()
{
    QTest::addColumn<bool>("callbacks");
    QTest::addColumn<bool>("stopButton");  // false: the program ends instead
    QTest::newRow("callbacks, stopped from the wait box") << true << true;
    QTest::newRow("events fetched, stopped from the wait box") << false << true;
    QTest::newRow("callbacks, program ends armed") << true << false;
    QTest::newRow("events fetched, program ends armed") << false << false;
}

void FormScanTest::sourceNeverReady()
{
    QFETCH(bool, callbacks);
    QFETCH(bool, stopButton);
    m_window = station({source("Alpha", callbacks, 3, "\"faults\": {\"neverReady\": true}")});
    FormScan *form = m_window->formScan;
    connectSource();
    child<QPushButton>("pushButtonGoScan")->click();
    QVERIFY(form->batchRunning());
    QCOMPARE(int(form->m_DSMState), 5);
    // Armed with no page: the wait box offers its stop, whatever the ini says.
    QVERIFY(form->dialogWait->isVisible());
    auto *stop = findNamed<QPushButton>(form->dialogWait, "pushButton");
    QVERIFY(stop->isVisibleTo(form->dialogWait));
    if (!stopButton) {
        // The main window frees the wait box before the form goes; nothing
        // may reach it after.
        m_window.reset();
        QCOMPARE(m_boxes->count(), 0);
        return;
    }
    stop->click();
    QVERIFY(!form->batchRunning());
    QVERIFY(!form->dialogWait->isVisible());
    QCOMPARE(int(form->m_DSMState), 4);
    QVERIFY(child<QPushButton>("pushButtonGoScan")->isEnabled());
    QVERIFY(filesIn(m_saveFolder).isEmpty());
    QCOMPARE(m_boxes->count(), 0);
}

void FormScanTest::refusedDisableIsSaid_data()
{
    QTest::addColumn<bool>("afterBatch");  // false: after the source's settings dialog
    QTest::addColumn<int>("refusals");
    // The batch's end tries three times (disable, reset, disable again).
    QTest::newRow("after a batch") << true << 3;
    QTest::newRow("after the settings dialog") << false << 1;
}

void FormScanTest::refusedDisableIsSaid()
{
    QFETCH(bool, afterBatch);
    QFETCH(int, refusals);
    m_window = station({source("Alpha", true, 1,
                               "\"faults\": {\"disableFails\": " + QByteArray::number(refusals) + "}")});
    FormScan *form = m_window->formScan;
    connectSource();
    if (afterBatch) {
        QSignalSpy ended(form, &FormScan::batchEnded);
        child<QPushButton>("pushButtonGoScan")->click();
        QVERIFY(ended.wait(20000));
    } else {
        child<QPushButton>("pushButtonDSSetting")->click();
    }
    QTRY_COMPARE(m_boxes->count(), 1);
    QVERIFY2(m_boxes->last().text.contains(QStringLiteral("未能停用")), qPrintable(m_boxes->last().text));
    QCOMPARE(filesIn(m_saveFolder).size(), afterBatch ? 1 : 0);
    // The controls follow the source: still enabled, it can only be closed.
    QCOMPARE(int(form->m_DSMState), 5);
    QVERIFY(!child<QPushButton>("pushButtonGoScan")->isEnabled());
    QVERIFY(!child<QPushButton>("pushButtonDSSetting")->isEnabled());
    QVERIFY(child<QPushButton>("pushButtonUnloadDS")->isEnabled());
    child<QPushButton>("pushButtonUnloadDS")->click();
    QCOMPARE(int(form->m_DSMState), 3);
    QCOMPARE(m_boxes->count(), 1);
    QVERIFY(child<QPushButton>("pushButtonLoadDS")->isEnabled());
}

void FormScanTest::untrustedManagerIsSaid()
{
    setDsmTrustCheck([](const QString &) { return DsmTrust{false, QStringLiteral("signed by nobody we know")}; });
    m_window = station({source("Alpha", true, 1)});
    setDsmTrustCheck(nullptr);
    QCOMPARE(child<QComboBox>("comboBoxDataSource")->count(), 0);
    QVERIFY(!child<QPushButton>("pushButtonLoadDS")->isEnabled());
    QTRY_COMPARE(m_boxes->count(), 1);
    QVERIFY2(m_boxes->last().text.contains(QStringLiteral("signed by nobody we know")),
             qPrintable(m_boxes->last().text));
}

void FormScanTest::negotiatedSettings_data()
{
    QTest::addColumn<QByteArray>("caps");
    QTest::addColumn<QString>("resolution");
    QTest::addColumn<QString>("sides");
    QTest::addColumn<QStringList>("offeredSides");
    QTest::addColumn<bool>("duplexEnabled");
    const QByteArray quiet = "\"CAP_AUTOSCAN\": {\"type\": \"BOOL\", \"value\": false}, "
                             "\"CAP_INDICATORS\": {\"type\": \"BOOL\", \"value\": true}";
    QTest::newRow("one-pass duplex, 300 dpi") << quiet << "300" << "双面" << QStringList{"单面", "双面"} << true;
    QTest::newRow("one-pass simplex, 100 dpi") << quiet << "100" << "单面" << QStringList{"单面", "双面"} << false;
    // A two-pass duplex is not offered: pages would come back out of order.
    QTest::newRow("two-pass duplex refused")
        << quiet + ", \"CAP_DUPLEX\": {\"type\": \"UINT16\", \"value\": 2, \"readOnly\": true}" << "200"
        << "单面" << QStringList{"单面"} << false;
}

void FormScanTest::negotiatedSettings()
{
    QFETCH(QByteArray, caps);
    QFETCH(QString, resolution);
    QFETCH(QString, sides);
    QFETCH(QStringList, offeredSides);
    QFETCH(bool, duplexEnabled);
    m_window = station({source("Alpha", true, 1, "\"capabilities\": {" + caps + "}")});
    FormScan *form = m_window->formScan;
    connectSource();
    QCOMPARE(comboItems(child<QComboBox>("comboBoxDuplex")), offeredSides);
    child<QComboBox>("comboBoxResolution")->setCurrentText(resolution);
    QCOMPARE(child<QComboBox>("comboBoxResolution")->currentText(), resolution);
    child<QComboBox>("comboBoxDuplex")->setCurrentText(sides);
    scanAndWait();
    QCOMPARE(filesIn(m_saveFolder).size(), duplexEnabled ? 2 : 1);

    // What the source now holds, asked afresh.
    auto current = [form](TW_UINT16 id) {
        TW_CAPABILITY cap = {id, TWON_DONTCARE16, nullptr};
        TW_UINT32 value = 0xdead;
        if (form->getCap(cap, MSG_GETCURRENT) == TWCC_SUCCESS) {
            TW_FIX32 fix = {};
            if (id == ICAP_XRESOLUTION || id == ICAP_YRESOLUTION)
                value = GetCurrentFix32(cap, fix) ? TW_UINT32(FIX32ToFloat(fix)) : 0xbad;
            else if (!GetCurrent(cap, value))
                value = 0xbad;
        }
        if (cap.hContainer)
            dsmMemFree(cap.hContainer);
        return value;
    };
    QCOMPARE(current(ICAP_XRESOLUTION), resolution.toUInt());
    QCOMPARE(current(ICAP_YRESOLUTION), resolution.toUInt());
    QCOMPARE(current(CAP_INDICATORS), TW_UINT32(0));
    QCOMPARE(current(CAP_AUTOSCAN), TW_UINT32(1));
    QCOMPARE(current(CAP_DUPLEXENABLED), TW_UINT32(duplexEnabled ? 1 : 0));
}

void FormScanTest::settingsDialog_data()
{
    QTest::addColumn<bool>("callbacks");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("resolution");
    QTest::newRow("callbacks, ok re-reads") << true << QByteArray("ok") << "300";
    QTest::newRow("callbacks, cancel") << true << QByteArray("cancel") << "200";
    QTest::newRow("events fetched, ok re-reads") << false << QByteArray("ok") << "300";
    QTest::newRow("events fetched, cancel") << false << QByteArray("cancel") << "200";
}

void FormScanTest::settingsDialog()
{
    QFETCH(bool, callbacks);
    QFETCH(QByteArray, answer);
    m_window = station({source("Alpha", callbacks, 1, "\"settingsDialog\": \"" + answer + "\"")});
    FormScan *form = m_window->formScan;
    connectSource();
    QCOMPARE(child<QComboBox>("comboBoxResolution")->currentText(), QStringLiteral("200"));
    // Changed behind the form's back: only an accepted dialog shows it.
    form->setCapabilityOneValueFix32(ICAP_XRESOLUTION, FloatToFIX32(300));
    child<QPushButton>("pushButtonDSSetting")->click();
    QCOMPARE(int(form->m_DSMState), 4);
    QCOMPARE(form->m_lastDSMessage, TW_UINT16(answer == "ok" ? MSG_CLOSEDSOK : MSG_CLOSEDSREQ));
    QTEST(child<QComboBox>("comboBoxResolution")->currentText(), "resolution");
    QVERIFY(child<QPushButton>("pushButtonGoScan")->isEnabled());
    QCOMPARE(m_boxes->count(), 0);
}

void FormScanTest::stopFeederOnlyWhileTransferring()
{
    m_window = station({source("Alpha", true, 2)});
    FormScan *form = m_window->formScan;
    connectSource();
    SimLog simLog;
    form->sendStopFeeder();  // state 4: nothing is sent
    QVERIFY(!simLog.contains(QStringLiteral("STOPFEEDER")));
    QCOMPARE(int(form->m_DSMState), 4);
}

void FormScanTest::formatAndQualityWidgets()
{
    m_window = station({});
    FormScan *form = m_window->formScan;
    struct Case {
        const char *format;
        bool quality, tiff;
    };
    for (const Case &c : {Case{"png", false, false}, Case{"bmp", false, false}, Case{"tiff", false, true},
                          Case{"jpg", true, false}}) {
        child<QComboBox>("comboBoxFormat")->setCurrentText(QString::fromLatin1(c.format));
        QCOMPARE(child<QWidget>("widgetQuality")->isVisibleTo(form), c.quality);
        QCOMPARE(child<QWidget>("widgetTIFFCompression")->isVisibleTo(form), c.tiff);
    }
    child<QSlider>("horizontalSliderQuality")->setValue(73);
    QCOMPARE(child<QLabel>("labelQuality")->text(), QStringLiteral("73"));

    child<QPushButton>("pushButtonHide")->click();
    QVERIFY(!child<QWidget>("widgetMain")->isVisibleTo(form));
    QVERIFY(child<QWidget>("widget_2")->isVisibleTo(form));
    QVERIFY(child<MyTableWidget>("tableWidget")->isVisibleTo(form));
    child<QPushButton>("pushButtonShow")->click();
    QVERIFY(child<QWidget>("widgetMain")->isVisibleTo(form));
    QVERIFY(!child<QWidget>("widget_2")->isVisibleTo(form));
    QVERIFY(child<QPushButton>("pushButtonHide")->isVisibleTo(form));
}

void FormScanTest::saveFolderButtons()
{
    m_window = station({});
    DesktopOpenRecorder opened;
    child<QToolButton>("toolButtonOpenImageSaveFolder")->click();
    QCOMPARE(opened.urls.size(), 1);
    QCOMPARE(opened.urls[0], QUrl::fromLocalFile(m_saveFolder));

    // A cancelled chooser leaves the field as it was.
    WidgetTest::WhenShown<QFileDialog> cancel([](QFileDialog *d) { d->reject(); });
    child<QToolButton>("toolButtonChangeImageSavePath")->click();
    QVERIFY(cancel.seen);
    QCOMPARE(child<QLineEdit>("lineEditImageSavePath")->text(), m_saveFolder);
}

QTEST_MAIN(FormScanTest)
#include "formscan_test.moc"
