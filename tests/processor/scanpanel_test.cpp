// The main window's scan panel against the simulated scanner: refusals before
// a batch, whole batches written to disk (names, numbering, rotation by page
// side), scan-and-process hand-over of complete sheets, a page that cannot be
// written, and the commands refused while a batch runs. The panel's buttons
// stay unconnected in the program, so the tests call its slots and wire its
// signals the way a visible panel would.

#include "dialogscanandprocesstips.h"
#include "dsmlibrary.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "mytablewidgetimage.h"
#include "omrresources.h"
#include "simsession.h"
#include "twainsim.h"
#include "widgettestutil.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <memory>

namespace {

// A page with a dark block in its top-left corner; the back pages are wider,
// so every file tells which side it came from and how it was turned.
QImage markedPage(int width)
{
    QImage page(width, 60, QImage::Format_Grayscale8);
    page.fill(255);
    for (int y = 2; y < 14; ++y)
        for (int x = 2; x < 14; ++x)
            page.setPixel(x, y, qRgb(0, 0, 0));
    return page;
}

// Size and the corner the dark block sits in: "40x60 TL".
QString pageLook(const QString &path)
{
    QImage image(path);
    if (image.isNull())
        return QStringLiteral("unreadable");
    image = image.convertToFormat(QImage::Format_Grayscale8);
    long sx = 0, sy = 0, n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 100)
                sx += x, sy += y, ++n;
    if (n == 0)
        return QStringLiteral("%1x%2 blank").arg(image.width()).arg(image.height());
    const bool top = sy / n < image.height() / 2;
    const bool left = sx / n < image.width() / 2;
    return QStringLiteral("%1x%2 %3%4")
        .arg(image.width())
        .arg(image.height())
        .arg(top ? QLatin1Char('T') : QLatin1Char('B'))
        .arg(left ? QLatin1Char('L') : QLatin1Char('R'));
}

QByteArray sourcesJson()
{
    const QByteArray duplexSheets = R"([{"front": "front.png", "back": "back.png"},
        {"front": "front.png", "back": "back.png"}, {"front": "front.png", "back": "back.png"}])";
    QByteArray nine = "[";
    for (int i = 0; i < 9; ++i)
        nine += QByteArray(i ? "," : "") + R"({"front": "front.png"})";
    nine += "]";
    auto duplex = [&](const char *name, int pixelType, bool pageSide) {
        return QByteArray(R"({"productName": ")") + name + R"(", "twain2": true, "pageSide": )"
               + (pageSide ? "true" : "false")
               + R"(, "capabilities": {"CAP_DUPLEXENABLED": {"type": "BOOL", "value": true},
                   "ICAP_PIXELTYPE": {"type": "UINT16", "enumeration": [0, 1, 2], "current": )"
               + QByteArray::number(pixelType) + R"(}}, "sheets": )" + duplexSheets + "}";
    };
    // A driver that breaks the standard in one way, nine sheets of one side.
    auto hostile = [&](const char *name, const char *faults) {
        return QByteArray(R"({"productName": ")") + name + R"(", "twain2": true, "sheets": )" + nine
               + R"(, "faults": {)" + faults + "}}";
    };
    return "{\"sources\": [" + duplex("Duplex Gray", TWPT_GRAY, true) + "," + duplex("Duplex BW", TWPT_BW, true)
           + "," + duplex("Duplex Colour", TWPT_RGB, true) + "," + duplex("No Side", TWPT_GRAY, false) + ","
           + R"({"productName": "Simplex Nine", "twain2": false, "sheets": )" + nine + "},"
           + R"({"productName": "Empty Feeder", "twain2": true, "sheets": []},)"
           + R"({"productName": "Stalls", "twain2": true, "sheets": )" + nine
           + R"(, "faults": {"stallAtPage": 2}},)" + hostile("Fails At Three", R"("failAtPage": 3)") + ","
           + hostile("Lying Height", R"("sizeUntold": true, "malformedAtPage": 2, "malformed": "heightLie")") + ","
           + hostile("Lying Size", R"("sizeUntold": true, "malformedAtPage": 2, "malformed": "sizeImageSmall")")
           + "," + hostile("Lying Info", R"("sizeUntold": true, "extInfoLie": "nullHandle")") + ","
           + hostile("Handles Kept", R"("sizeUntold": true, "handlesAtPage": 2)") + ","
           + hostile("Never Ready", R"("neverReady": true)") + ","
           + R"({"productName": "Short Camera Text", "twain2": true, "cameraUnterminated": true, "sheets": )"
           + duplexSheets + R"(, "capabilities": {"CAP_DUPLEXENABLED": {"type": "BOOL", "value": true}},)"
           + R"( "faults": {"sizeUntold": true}}]})";
}

} // namespace

class ScanPanelTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startScanRefusals_data();
    void startScanRefusals();
    void scanOnlyBatch_data();
    void scanOnlyBatch();
    void scanAndProcessHandsOverCompleteSheets_data();
    void scanAndProcessHandsOverCompleteSheets();
    void failedWriteStopsTheBatch();
    void stalledSourceEndsTheBatch();
    void hostileSources_data();
    void hostileSources();
    void sourceThatNeverSendsAPage();
    void commandsRefusedDuringABatch();
    void sourceSettingsDialogEndsAtItsMessage_data();
    void sourceSettingsDialogEndsAtItsMessage();
    void emptyFeederIsReported();
    void dialogKeepsItsChoices();

private:
    template <typename T>
    T *widget(const char *name) const
    {
        T *w = m_window->findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("no widget %s", name);
        return w;
    }
    // The panel's fields, then the named source connected.
    void prepare(const QString &source, const QString &prefix, int number, const QString &length,
                 const QString &format, int rotateTop = 0, int rotateBottom = 0);
    bool batchEnded() const { return m_window->state() == 4 && !m_window->transferRunning(); }
    QString log() const { return m_window->textEditLog->toPlainText(); }
    QStringList savedFiles() const { return QDir(m_images->path()).entryList(QDir::Files, QDir::Name); }

    QTemporaryDir m_simDir;
    std::unique_ptr<QTemporaryDir> m_images;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    std::unique_ptr<MainWindow> m_window;
    QList<QStringList> m_received;
};

void ScanPanelTest::initTestCase()
{
    // The window checks the platform account when it is built: keep any such
    // request on this machine (nothing listens on port 1).
    qputenv("VOSTRA_PLATFORM_HOST", "127.0.0.1:1");
    initOmrResources();
    QVERIFY(m_simDir.isValid());
    QVERIFY(markedPage(40).save(m_simDir.filePath(QStringLiteral("front.png"))));
    QVERIFY(markedPage(44).save(m_simDir.filePath(QStringLiteral("back.png"))));
    SimSession::useSimulatedManager(m_simDir.path(), sourcesJson());
}

void ScanPanelTest::init()
{
    m_images = std::make_unique<QTemporaryDir>();
    QVERIFY(m_images->isValid());
    m_boxes = std::make_unique<MessageBoxRecorder>();
    m_window = std::make_unique<MainWindow>();
    m_boxes->clear();
    m_window->textEditLog->clear();
    m_received.clear();
    MainWindow *w = m_window.get();
    // What a visible panel would wire.
    connect(w, &MainWindow::customDataSourceSignal, w, &MainWindow::DataSourceSignal);
    connect(w, &MainWindow::getOneImageFromScanner, w, &MainWindow::getOneImageFromScannerSlot);
    connect(w, &MainWindow::addTransferImageLog, w, &MainWindow::addTransferImageLogSlot);
    connect(w, &MainWindow::getOneImageFromScanner, this,
            [this](const QString &path, const QString &name) { m_received << QStringList{path, name}; });
}

void ScanPanelTest::cleanup()
{
    if (m_window)
        QTRY_VERIFY(!m_window->transferRunning());
    m_window.reset();
    m_boxes.reset();
    QCOMPARE(SimSession::liveHandles(), 0);
    m_images.reset();
}

void ScanPanelTest::prepare(const QString &source, const QString &prefix, int number, const QString &length,
                            const QString &format, int rotateTop, int rotateBottom)
{
    widget<QLineEdit>("lineEditImageSavePath")->setText(QDir::toNativeSeparators(m_images->path()));
    widget<QLineEdit>("lineEditImageNamePrefix")->setText(prefix);
    widget<QLineEdit>("lineEditImageNumber")->setText(QString::number(number));
    widget<QComboBox>("comboBoxImageNumberLength")->setCurrentText(length);
    widget<QComboBox>("comboBoxImageFormat")->setCurrentText(format);
    widget<QComboBox>("comboBoxRotateFlagTop")->setCurrentIndex(rotateTop);
    widget<QComboBox>("comboBoxRotateFlagBottom")->setCurrentIndex(rotateBottom);
    m_window->findScanners();
    auto *sources = widget<QComboBox>("comboBoxDataSource");
    QCOMPARE(sources->count(), 14);
    QVERIFY(widget<QPushButton>("pushButtonConnectScanner")->isEnabled());
    const int index = sources->findText(source, Qt::MatchStartsWith);
    QVERIFY(index >= 0);
    sources->setCurrentIndex(index);
    QVERIFY(m_window->connectScanner());
    QCOMPARE(m_window->state(), 4);
    QVERIFY(!sources->isEnabled());
    QVERIFY(widget<QPushButton>("pushButtonScan")->isEnabled());
    QVERIFY(!widget<QPushButton>("pushButtonConnectScanner")->isEnabled());
}

void ScanPanelTest::startScanRefusals_data()
{
    QTest::addColumn<QString>("folder");  // "" empty, "missing", "ok"
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("connect");
    QTest::addColumn<QString>("existing"); // a file already in the folder
    QTest::addColumn<QString>("message");

    const QString badNumber = QStringLiteral("起始编号范围为1-999999");
    QTest::newRow("no folder") << "" << "1" << true << "" << QStringLiteral("保存路径不合法");
    QTest::newRow("missing folder") << "missing" << "1" << true << "" << QStringLiteral("保存路径不合法");
    QTest::newRow("number 0") << "ok" << "0" << true << "" << badNumber;
    QTest::newRow("empty number") << "ok" << "" << true << "" << badNumber;
    QTest::newRow("text") << "ok" << "abc" << true << "" << badNumber;
    QTest::newRow("1000000") << "ok" << "1000000" << true << "" << badNumber;
    QTest::newRow("first file exists") << "ok" << "7" << true << "S0007.jpg"
                                       << QStringLiteral("文件：%1 已经存在。\n请检查起存储路径或起始编号是否填写正确！");
    QTest::newRow("not connected") << "ok" << "7" << false << "" << QStringLiteral("请先连接扫描设备");
}

void ScanPanelTest::startScanRefusals()
{
    QFETCH(QString, folder);
    QFETCH(QString, number);
    QFETCH(bool, connect);
    QFETCH(QString, existing);
    QFETCH(QString, message);

    if (connect)
        prepare(QStringLiteral("Duplex Gray"), QStringLiteral("S"), 1, QStringLiteral("4"), QStringLiteral("jpg"));
    const QString path = folder == QLatin1String("ok")        ? m_images->path()
                         : folder == QLatin1String("missing") ? m_images->filePath(QStringLiteral("nowhere"))
                                                              : QString();
    widget<QLineEdit>("lineEditImageSavePath")->setText(QDir::toNativeSeparators(path));
    widget<QLineEdit>("lineEditImageNamePrefix")->setText(QStringLiteral("S"));
    widget<QLineEdit>("lineEditImageNumber")->setText(number);
    widget<QComboBox>("comboBoxImageNumberLength")->setCurrentText(QStringLiteral("4"));
    widget<QComboBox>("comboBoxImageFormat")->setCurrentText(QStringLiteral("jpg"));
    QString existingPath;
    if (!existing.isEmpty()) {
        existingPath = QDir::toNativeSeparators(m_images->filePath(existing));
        QFile file(existingPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("kept");
        file.close();
        message = message.arg(existingPath);
    }
    const int stateBefore = m_window->state();

    m_window->scan();

    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().icon, QMessageBox::Warning);
    QCOMPARE(m_boxes->last().title, QStringLiteral("提示"));
    QCOMPARE(m_boxes->last().text, message);
    QCOMPARE(m_window->state(), stateBefore);
    QCOMPARE(widget<QLineEdit>("lineEditImageNumber")->text(), number);
    if (!existingPath.isEmpty()) {
        QFile file(existingPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("kept"));
    }
}

void ScanPanelTest::scanOnlyBatch_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("length");
    QTest::addColumn<int>("rotateTop");
    QTest::addColumn<int>("rotateBottom");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("looks");

    // Front pages are 40 x 60, back pages 44 x 60, both marked top left.
    QTest::newRow("grey, back turned 180")
        << "Duplex Gray" << "png" << 7 << "4" << 0 << 3
        << QStringList{"S0007.png", "S0008.png", "S0009.png", "S0010.png", "S0011.png", "S0012.png"}
        << QStringList{"40x60 TL", "44x60 BR", "40x60 TL", "44x60 BR", "40x60 TL", "44x60 BR"};
    // The camera text without its zero, in a block whose size the manager
    // cannot tell: still told apart, and not read past.
    QTest::newRow("camera text unterminated, size untold")
        << "Short Camera Text" << "png" << 7 << "4" << 0 << 3
        << QStringList{"S0007.png", "S0008.png", "S0009.png", "S0010.png", "S0011.png", "S0012.png"}
        << QStringList{"40x60 TL", "44x60 BR", "40x60 TL", "44x60 BR", "40x60 TL", "44x60 BR"};
    QTest::newRow("black and white, quarter turns")
        << "Duplex BW" << "png" << 99 << "5" << 1 << 2
        << QStringList{"S00099.png", "S00100.png", "S00101.png", "S00102.png", "S00103.png", "S00104.png"}
        << QStringList{"60x40 TR", "60x44 BL", "60x40 TR", "60x44 BL", "60x40 TR", "60x44 BL"};
    QTest::newRow("colour jpg, front turned 180")
        << "Duplex Colour" << "jpg" << 1 << "4" << 3 << 0
        << QStringList{"S0001.jpg", "S0002.jpg", "S0003.jpg", "S0004.jpg", "S0005.jpg", "S0006.jpg"}
        << QStringList{"40x60 BR", "44x60 TL", "40x60 BR", "44x60 TL", "40x60 BR", "44x60 TL"};
    // A number longer than its length is not cut.
    QTest::newRow("no page side: front rotation for all")
        << "No Side" << "png" << 123456 << "4" << 1 << 3
        << QStringList{"S123456.png", "S123457.png", "S123458.png", "S123459.png", "S123460.png", "S123461.png"}
        << QStringList{"60x40 TR", "60x44 TR", "60x40 TR", "60x44 TR", "60x40 TR", "60x44 TR"};
}

void ScanPanelTest::scanOnlyBatch()
{
    QFETCH(QString, source);
    QFETCH(QString, format);
    QFETCH(int, number);
    QFETCH(QString, length);
    QFETCH(int, rotateTop);
    QFETCH(int, rotateBottom);
    QFETCH(QStringList, names);
    QFETCH(QStringList, looks);

    prepare(source, QStringLiteral("S"), number, length, format, rotateTop, rotateBottom);
    QCOMPARE(m_window->pagesPerSheet, 0);
    m_window->scan();  // no exam: no question, only scanning
    QCOMPARE(m_boxes->count(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_received.size() == names.size() && batchEnded(), 30000);

    QCOMPARE(savedFiles(), names);
    QStringList got;
    for (const QString &name : names)
        got << pageLook(m_images->filePath(name));
    QCOMPARE(got, looks);
    // Paths in the platform's separators, in order, each in the list.
    for (int i = 0; i < names.size(); ++i) {
        QCOMPARE(m_received.at(i).at(1), names.at(i));
        QCOMPARE(m_received.at(i).at(0), QDir::toNativeSeparators(m_images->filePath(names.at(i))));
    }
    QCOMPARE(m_window->tableWidgetImages->rowCount(), names.size());
    QCOMPARE(m_window->transferredImageCount.load(), names.size());
    QCOMPARE(widget<QLineEdit>("lineEditImageNumber")->text(), QString::number(number + names.size()));
    QVERIFY(log().contains(QStringLiteral("获取图片：") + names.first()));
    QCOMPARE(widget<QPushButton>("pushButtonScan")->text(), QStringLiteral("扫描"));
    QCOMPARE(SimSession::liveHandles(), 0);

    // The fields were kept for the next start of the program.
    QSettings ini(MainWindow::iniPath(), QSettings::IniFormat);
    ini.setIniCodec("UTF-8");
    QCOMPARE(ini.value(QStringLiteral("Scan/FileNamePrefix")).toString(), QStringLiteral("S"));
    QCOMPARE(ini.value(QStringLiteral("Scan/NumberLegnth")).toString(), length);
    QCOMPARE(ini.value(QStringLiteral("Scan/RotateTop")).toInt(), rotateTop);
    QCOMPARE(ini.value(QStringLiteral("Scan/RotateBottom")).toInt(), rotateBottom);

    // The source is back to open, and can be let go.
    QVERIFY(m_window->disconnectScanner());
    QCOMPARE(m_window->state(), 3);
    QVERIFY(widget<QComboBox>("comboBoxDataSource")->isEnabled());
    QCOMPARE(widget<QComboBox>("comboBoxDataSource")->count(), 14);
}

void ScanPanelTest::scanAndProcessHandsOverCompleteSheets_data()
{
    QTest::addColumn<bool>("stopOnFailure");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QList<QList<int>>>("handedOver");  // start, end, rows when handed over

    // Two rows were in the list before; three pages a sheet, the scan
    // started at the second page of a sheet (skip 2).
    QTest::newRow("all sheets") << false << 9 << QList<QList<int>>{{4, 6, 7}, {7, 9, 10}};
    // The first sheet fails: the feeder stops, and the page under way when
    // the stop arrives is the last.
    QTest::newRow("stop when a sheet fails") << true << 6 << QList<QList<int>>{{4, 6, 7}};
}

void ScanPanelTest::scanAndProcessHandsOverCompleteSheets()
{
    QFETCH(bool, stopOnFailure);
    QFETCH(int, pages);
    QFETCH(QList<QList<int>>, handedOver);

    QTemporaryDir before;
    for (const char *name : {"old1.png", "old2.png"}) {
        const QString path = before.filePath(QLatin1String(name));
        QVERIFY(markedPage(40).save(path));
        m_window->tableWidgetImages->addImageRow(QFileInfo(path));
    }
    QList<QList<int>> got;
    connect(m_window.get(), QOverload<int, int, bool>::of(&MainWindow::scanAndProcess), this,
            [&](int start, int end, bool single) {
                QVERIFY(single);
                got << QList<int>{start, end, m_window->tableWidgetImages->rowCount()};
                // Recognition's verdict on the sheet's first page.
                m_window->setImageCellText(start, 5, stopOnFailure ? QStringLiteral("×") : QStringLiteral("√"));
            });

    prepare(QStringLiteral("Simplex Nine"), QStringLiteral("P"), 1, QStringLiteral("4"), QStringLiteral("png"));
    m_window->pagesPerSheet = 3;
    WidgetTest::WhenShown<DialogScanAndProcessTips> answer([&](DialogScanAndProcessTips *dialog) {
        auto *mode = dialog->findChild<QComboBox *>(QStringLiteral("comboBox"));
        mode->setCurrentIndex(1);
        auto *skip = dialog->findChild<QSpinBox *>(QStringLiteral("spinBox"));
        QCOMPARE(skip->maximum(), 2);
        skip->setValue(2);
        dialog->findChild<QCheckBox *>(QStringLiteral("checkBoxProcessFailedThenStopFeeder"))->setChecked(stopOnFailure);
        dialog->findChild<QPushButton *>(QStringLiteral("pushButtonOK"))->click();
    });
    m_window->scan();
    QVERIFY(answer.seen);
    QCOMPARE(m_window->scanType, 1);
    QCOMPARE(m_window->scanSkipPageCount, 2);
    QTRY_VERIFY_WITH_TIMEOUT(m_received.size() == pages && batchEnded(), 30000);

    QCOMPARE(got, handedOver);
    QCOMPARE(savedFiles().size(), pages);
    QCOMPARE(m_window->tableWidgetImages->rowCount(), 2 + pages);
    QCOMPARE(log().contains(QStringLiteral("正在停止扫描，可能会有些许延迟，请稍候")), stopOnFailure);
    QSettings ini(MainWindow::iniPath(), QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("Scan/Type")).toInt(), 1);
    QCOMPARE(ini.value(QStringLiteral("Scan/ProcessFailedThenStopFeeder")).toInt(), stopOnFailure ? 1 : 0);
}

void ScanPanelTest::failedWriteStopsTheBatch()
{
    // Where the third page would go stands a folder: it cannot be written.
    QVERIFY(QDir(m_images->path()).mkdir(QStringLiteral("S0003.png")));
    prepare(QStringLiteral("Duplex Gray"), QStringLiteral("S"), 1, QStringLiteral("4"), QStringLiteral("png"));
    m_window->scan();
    QTRY_VERIFY_WITH_TIMEOUT(batchEnded() && log().contains(QStringLiteral("保存失败")), 30000);
    QTRY_COMPARE(widget<QPushButton>("pushButtonScan")->text(), QStringLiteral("扫描"));

    // Two pages arrived; nothing took the failed page's number or came after.
    QCOMPARE(m_received.size(), 2);
    QCOMPARE(savedFiles(), (QStringList{"S0001.png", "S0002.png"}));
    QVERIFY(QFileInfo(m_images->filePath(QStringLiteral("S0003.png"))).isDir());
    QCOMPARE(m_window->tableWidgetImages->rowCount(), 2);
    QCOMPARE(m_window->transferredImageCount.load(), 2);
    // One failure line: the batch ended at the page that failed.
    QCOMPARE(log().count(QStringLiteral("保存失败")), 1);
    QVERIFY(log().contains(QStringLiteral("S0003.png")));
    QCOMPARE(widget<QLineEdit>("lineEditImageNumber")->text(), QStringLiteral("3"));
    QCOMPARE(SimSession::liveHandles(), 0);
}

void ScanPanelTest::stalledSourceEndsTheBatch()
{
    // From the second page on the source answers neither done, cancel nor
    // failure: the loop gives up instead of asking for ever.
    prepare(QStringLiteral("Stalls"), QStringLiteral("S"), 1, QStringLiteral("4"), QStringLiteral("png"));
    m_window->scan();
    QTRY_VERIFY_WITH_TIMEOUT(batchEnded() && log().contains(QStringLiteral("扫描仪多次返回异常结果")), 30000);
    QCOMPARE(m_received.size(), 1);
    QCOMPARE(savedFiles(), QStringList{QStringLiteral("S0001.png")});
    QCOMPARE(widget<QLineEdit>("lineEditImageNumber")->text(), QStringLiteral("2"));
    QCOMPARE(SimSession::liveHandles(), 0);
    QVERIFY(m_window->disconnectScanner());
}

void ScanPanelTest::hostileSources_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("saved");
    QTest::addColumn<QString>("logged");  // empty: the batch went through
    // A page that does not arrive ends the batch at its number, so no later
    // sheet takes it.
    QTest::newRow("transfer fails at the third sheet")
        << "Fails At Three" << QStringList{"S0001.png", "S0002.png"} << "S0003.png 传输失败";
    QTest::newRow("header claims twice the rows, size untold")
        << "Lying Height" << QStringList{"S0001.png"} << "无法转换";
    QTest::newRow("header's image size too small, size untold")
        << "Lying Size" << QStringList{"S0001.png"} << "无法转换";
    QTest::newRow("successes with handles, never a page")
        << "Handles Kept" << QStringList{"S0001.png"} << "扫描仪多次返回异常结果";
    QStringList nine;
    for (int i = 1; i <= 9; ++i)
        nine << QStringLiteral("S%1.png").arg(i, 4, 10, QLatin1Char('0'));
    QTest::newRow("camera text with no block") << "Lying Info" << nine << "";
}

void ScanPanelTest::hostileSources()
{
    QFETCH(QString, source);
    QFETCH(QStringList, saved);
    QFETCH(QString, logged);
    prepare(source, QStringLiteral("S"), 1, QStringLiteral("4"), QStringLiteral("png"));
    m_window->scan();
    QTRY_VERIFY_WITH_TIMEOUT(batchEnded(), 30000);
    QTRY_COMPARE(widget<QPushButton>("pushButtonScan")->text(), QStringLiteral("扫描"));
    QCOMPARE(savedFiles(), saved);
    QCOMPARE(m_received.size(), saved.size());
    if (!logged.isEmpty())
        QVERIFY2(log().contains(logged), qPrintable(log()));
    QCOMPARE(widget<QLineEdit>("lineEditImageNumber")->text(), QString::number(saved.size() + 1));
    QCOMPARE(SimSession::liveHandles(), 0);
    QVERIFY(m_window->disconnectScanner());
}

void ScanPanelTest::sourceThatNeverSendsAPage()
{
    // Enabled, the source never reports a page: 扫描 pressed again ends the
    // wait instead of leaving the panel armed for ever.
    prepare(QStringLiteral("Never Ready"), QStringLiteral("S"), 1, QStringLiteral("4"), QStringLiteral("png"));
    m_window->scan();
    QCOMPARE(m_window->state(), 5);
    m_window->scan();
    QCOMPARE(m_window->state(), 4);
    QVERIFY2(log().contains(QStringLiteral("扫描仪没有送来图像")), qPrintable(log()));
    QCOMPARE(widget<QPushButton>("pushButtonScan")->text(), QStringLiteral("扫描"));
    QVERIFY(savedFiles().isEmpty());
    QVERIFY(m_window->disconnectScanner());
}

void ScanPanelTest::commandsRefusedDuringABatch()
{
    // The source without callbacks: its transfer-ready message waits for
    // the window's event pump, so the batch is still at "enabled" here.
    prepare(QStringLiteral("Simplex Nine"), QStringLiteral("S"), 1, QStringLiteral("4"), QStringLiteral("png"));
    m_window->scan();
    QCOMPARE(m_window->state(), 5);
    QVERIFY(!m_window->disconnectScanner());
    QVERIFY(log().contains(QStringLiteral("扫描中，不能完成本操作")));
    QCOMPARE(m_window->state(), 5);
    m_boxes->queueAnswer(QMessageBox::Yes);
    QVERIFY(!m_window->close());
    // The scan button now stops instead of starting a batch: with no page
    // taken yet the source is disabled at once and nothing is written; once
    // the transfer runs, the feeder stops after the pages on their way.
    const bool transferring = m_window->transferRunning();
    m_window->scan();
    QTRY_VERIFY_WITH_TIMEOUT(batchEnded(), 30000);
    if (transferring)
        QVERIFY(m_window->stopScan && m_received.size() >= 1);
    else
        QCOMPARE(m_received.size(), 0);
    QCOMPARE(savedFiles().size(), m_received.size());
    QVERIFY(m_window->disconnectScanner());
}

void ScanPanelTest::sourceSettingsDialogEndsAtItsMessage_data()
{
    QTest::addColumn<QString>("source");
    QTest::newRow("by callback") << QStringLiteral("Duplex Gray");
    QTest::newRow("by the event pump") << QStringLiteral("Simplex Nine");
}

void ScanPanelTest::sourceSettingsDialogEndsAtItsMessage()
{
    QFETCH(QString, source);
    prepare(source, QStringLiteral("S"), 1, QStringLiteral("4"), QStringLiteral("png"));
    m_window->scannerSetting();
    QVERIFY(m_window->settingsDialogShown());
    QCOMPARE(m_window->state(), 4);
    // The source's dialog answers OK; its message disables it again.
    QTRY_VERIFY(!m_window->settingsDialogShown());
    QCOMPARE(m_window->state(), 4);
    // A batch still starts after it.
    m_window->scan();
    QTRY_VERIFY_WITH_TIMEOUT(!m_received.isEmpty() && batchEnded(), 30000);
    QVERIFY(m_window->disconnectScanner());
}

void ScanPanelTest::emptyFeederIsReported()
{
    prepare(QStringLiteral("Empty Feeder"), QStringLiteral("S"), 1, QStringLiteral("4"), QStringLiteral("png"));
    m_window->scan();
    QCOMPARE(m_boxes->count(), 0);
    QCOMPARE(m_window->state(), 4);
    QVERIFY(log().contains(QStringLiteral("扫描仪未能开始扫描")));
    QVERIFY(savedFiles().isEmpty());
}

void ScanPanelTest::dialogKeepsItsChoices()
{
    {
        QSettings ini(MainWindow::iniPath(), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Scan/Type"), 1);
        ini.setValue(QStringLiteral("Scan/ProcessFailedThenStopFeeder"), 1);
    }
    DialogScanAndProcessTips dialog(m_window.get(), 4);
    QCOMPARE(dialog.scanType, 1);
    auto *mode = dialog.findChild<QComboBox *>(QStringLiteral("comboBox"));
    auto *box = dialog.findChild<QWidget *>(QStringLiteral("widget"));
    QCOMPARE(mode->currentIndex(), 1);
    QVERIFY(!box->isHidden());
    QVERIFY(dialog.findChild<QCheckBox *>(QStringLiteral("checkBoxProcessFailedThenStopFeeder"))->isChecked());
    QCOMPARE(dialog.findChild<QSpinBox *>(QStringLiteral("spinBox"))->maximum(), 3);
    mode->setCurrentIndex(0);
    QVERIFY(box->isHidden());
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.scanType, 0);
    QSettings ini(MainWindow::iniPath(), QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("Scan/Type")).toInt(), 0);
}

QTEST_MAIN(ScanPanelTest)
#include "scanpanel_test.moc"
