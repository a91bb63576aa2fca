// Whole batches from the simulated scanner through the station: native and
// memory transfers at every depth, duplex sides told by the source (or not),
// rotation and numbering; every page on disk once, in order, upright and with
// its own pixels. Then what stops a batch: cancel, failures, corrupt pages,
// a page that cannot be written; nothing overwritten, no memory left behind.

#include "formstatusbar.h"
#include "mytablewidget.h"
#include "stationfixture.h"
#include "threadscan.h"

#include "messagebox.h"
#include "simsession.h"
#include "twainmemory.h"

#include <QComboBox>
#include <QImageReader>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QThread>

#include <memory>
#include "testutil.h"

using namespace StationFixture;

namespace {

constexpr int kWidth = 24;
constexpr int kHeight = 16;

// The page of sheet s (from 0), side back: a black mark at the top-left
// corner, the page's identity in a row of cells, a red and a blue patch; no
// two pages and no two orientations look alike.
QImage fixturePage(int sheet, bool back)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB888);
    image.fill(Qt::white);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            image.setPixel(x, y, qRgb(0, 0, 0));
    const int id = sheet * 2 + (back ? 1 : 0) + 1;
    for (int bit = 0; bit < 6; ++bit)
        if ((id >> bit) & 1)
            for (int y = 9; y < 11; ++y)
                for (int x = 2 + 3 * bit; x < 4 + 3 * bit; ++x)
                    image.setPixel(x, y, qRgb(0, 0, 0));
    for (int y = 1; y < 4; ++y)
        for (int x = 0; x < 3; ++x) {
            image.setPixel(15 + x, y, qRgb(230, 20, 10));
            image.setPixel(20 + x, y, qRgb(10, 30, 220));
        }
    return image;
}

// What the scanner delivers of that page at a depth, as the source reads it.
QImage atDepth(const QString &pngPath, int bits)
{
    QImage loaded(pngPath);
    if (bits == 24)
        return loaded.convertToFormat(QImage::Format_RGB888);
    QImage grey = loaded.convertToFormat(QImage::Format_Grayscale8);
    if (bits == 1)
        for (int y = 0; y < grey.height(); ++y)
            for (int x = 0; x < grey.width(); ++x)
                grey.scanLine(y)[x] = grey.scanLine(y)[x] >= 128 ? 255 : 0;
    return grey;
}

// The pixel at (x, y) of the page turned by flag, read from the upright one.
QRgb turnedPixel(const QImage &upright, int flag, int x, int y)
{
    const int w = upright.width(), h = upright.height();
    switch (flag) {
    case 1:
        return upright.pixel(y, h - 1 - x);
    case 2:
        return upright.pixel(w - 1 - y, x);
    case 3:
        return upright.pixel(w - 1 - x, h - 1 - y);
    default:
        return upright.pixel(x, y);
    }
}

// Empty when the file shows the upright page turned by flag.
QString compareFile(const QString &file, const QImage &upright, int flag, int bits, bool lossy)
{
    QImage got(file);
    if (got.isNull())
        return QStringLiteral("%1 does not read").arg(file);
    const bool sideways = flag == 1 || flag == 2;
    const QSize size = sideways ? upright.size().transposed() : upright.size();
    if (got.size() != size)
        return QStringLiteral("%1 is %2x%3").arg(file).arg(got.width()).arg(got.height());
    long difference = 0;
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x) {
            const QRgb want = turnedPixel(upright, flag, x, y);
            const QRgb have = got.pixel(x, y);
            const int d = bits == 24 ? std::abs(qRed(want) - qRed(have)) + std::abs(qGreen(want) - qGreen(have))
                                           + std::abs(qBlue(want) - qBlue(have))
                                     : std::abs(qGray(want) - qGray(have));
            if (!lossy && d != 0)
                return QStringLiteral("%1: pixel %2,%3 is %4, not %5")
                    .arg(file)
                    .arg(x)
                    .arg(y)
                    .arg(have, 8, 16)
                    .arg(want, 8, 16);
            difference += d;
        }
    if (lossy && difference / (got.width() * got.height()) > 24)
        return QStringLiteral("%1 differs by %2 on average").arg(file).arg(difference / (got.width() * got.height()));
    return QString();
}

using TestUtil::fileBytes;

} // namespace

class TransferTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void batches_data();
    void batches();
    void stops_data();
    void stops();
    void failedWriteStopsBatch_data();
    void failedWriteStopsBatch();
    void startOutsideState6();

private:
    // The sources file of a source with fixture pages; extra adds members.
    QByteArray fixtureSource(int sheets, const char *protocol, bool twain2, bool memory, const QByteArray &extra);
    void startStation(const QByteArray &sourceJson, int bits, bool duplex);
    void scanAndWait();
    template <typename T>
    T *child(const char *name) const
    {
        return findNamed<T>(m_window->formScan, name);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    std::unique_ptr<MainWindow> m_window;
    QString m_saveFolder;
};

void TransferTest::initTestCase()
{
    useSimulatedManager();
    SimSession::library();
}

void TransferTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_saveFolder = m_dir->filePath(QStringLiteral("pages"));
    QVERIFY(QDir().mkpath(m_saveFolder));
    m_boxes = std::make_unique<MessageBoxRecorder>();
}

void TransferTest::cleanup()
{
    if (m_window) {
        m_window->formScan->stopBatchAndWait();
        m_window.reset();
    }
    // Every block of the manager's memory and of our own went back.
    QCOMPARE(SimSession::liveHandles(), 0);
    QCOMPARE(TwainMemory::process().liveHandles(), 0);
    m_boxes.reset();
    m_dir.reset();
}

QByteArray TransferTest::fixtureSource(int sheets, const char *protocol, bool twain2, bool memory,
                                       const QByteArray &extra)
{
    QByteArray list;
    for (int s = 0; s < sheets; ++s) {
        const QString front = QStringLiteral("sheet%1-front.png").arg(s);
        const QString back = QStringLiteral("sheet%1-back.png").arg(s);
        fixturePage(s, false).save(m_dir->filePath(front));
        fixturePage(s, true).save(m_dir->filePath(back));
        list += QStringLiteral("%1{\"front\": \"%2\", \"back\": \"%3\"}").arg(s ? ", " : "", front, back).toUtf8();
    }
    QByteArray caps = "\"capabilities\": {\"CAP_DUPLEXENABLED\": {\"type\": \"BOOL\", \"value\": false}";
    if (memory)
        caps += ", \"ICAP_XFERMECH\": {\"type\": \"UINT16\", \"enumeration\": [0, 2], \"current\": 2, \"default\": 2}";
    caps += "}";
    return QByteArray("{\"productName\": \"Fixture\", \"manufacturer\": \"Lab\", \"productFamily\": \"Sim\", ")
           + "\"protocol\": \"" + protocol + "\", \"twain2\": " + (twain2 ? "true" : "false") + ", " + caps
           + ", \"sheets\": [" + list + "], \"preferredBufferSize\": 200"
           + (extra.isEmpty() ? QByteArray() : ", " + extra) + "}";
}

void TransferTest::startStation(const QByteArray &sourceJson, int bits, bool duplex)
{
    prepare(*m_dir, sources({sourceJson}), "[Main]\nSavePath=" + m_saveFolder.toUtf8() + "\n");
    m_window = std::make_unique<MainWindow>();
    child<QComboBox>("comboBoxDataSource")->setCurrentIndex(0);
    child<QPushButton>("pushButtonLoadDS")->click();
    QCOMPARE(int(m_window->formScan->m_DSMState), 4);
    const QString pixel = bits == 1 ? QStringLiteral("黑白") : bits == 8 ? QStringLiteral("灰度") : QStringLiteral("彩色");
    child<QComboBox>("comboBoxPixelType")->setCurrentText(pixel);
    QCOMPARE(child<QComboBox>("comboBoxPixelType")->currentText(), pixel);
    const QString side = duplex ? QStringLiteral("双面") : QStringLiteral("单面");
    child<QComboBox>("comboBoxDuplex")->setCurrentText(side);
    QCOMPARE(child<QComboBox>("comboBoxDuplex")->currentText(), side);
}

void TransferTest::scanAndWait()
{
    FormScan *form = m_window->formScan;
    QSignalSpy ended(form, &FormScan::batchEnded);
    child<QPushButton>("pushButtonGoScan")->click();
    QVERIFY(form->batchRunning());
    QVERIFY(ended.wait(30000));
    QTRY_VERIFY(!form->scanThread->isRunning());
    QCOMPARE(int(form->m_DSMState), 4);
}

void TransferTest::batches_data()
{
    QTest::addColumn<bool>("memory");
    QTest::addColumn<int>("bits");
    QTest::addColumn<QString>("sides");  // "2.1" page side, "1.9" camera, "none"
    QTest::addColumn<int>("rotateTop");
    QTest::addColumn<int>("rotateBottom");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<QStringList>("names");

    const QStringList a99 = {"A99.png", "A100.png", "A101.png", "A102.png"};
    const QStringList cn7 = {"语文0007.png", "语文0008.png", "语文0009.png", "语文0010.png"};
    const struct
    {
        int top, bottom;
    } rotations[] = {{1, 2}, {3, 0}, {2, 3}};
    int row = 0;
    for (const bool memory : {false, true})
        for (const int bits : {1, 8, 24})
            for (const char *sides : {"2.1", "1.9", "none"}) {
                const auto r = rotations[row % 3];
                const bool first = row % 2 == 0;
                QTest::addRow("%s %d bit, sides %s, rotate %d/%d", memory ? "memory" : "native", bits, sides, r.top,
                              r.bottom)
                    << memory << bits << QString::fromLatin1(sides) << r.top << r.bottom
                    << (first ? QStringLiteral("A") : QStringLiteral("语文")) << (first ? 99 : 7) << (first ? 2 : 4)
                    << QStringLiteral("png") << QByteArray() << (first ? a99 : cn7);
                ++row;
            }
    // The other formats, counts the source does not know, pages of unknown
    // length, native images stored top row first.
    QTest::addRow("native bmp, count unknown")
        << false << 24 << "2.1" << 1 << 2 << "B" << 1 << 3 << "bmp" << QByteArray("\"countKnown\": false")
        << QStringList{"B001.bmp", "B002.bmp", "B003.bmp", "B004.bmp"};
    QTest::addRow("native tiff, top-down images")
        << false << 8 << "2.1" << 2 << 1 << "T" << 5 << 2 << "tiff" << QByteArray("\"nativeTopDown\": true")
        << QStringList{"T05.tiff", "T06.tiff", "T07.tiff", "T08.tiff"};
    QTest::addRow("memory tiff 1 bit, length unknown")
        << true << 1 << "2.1" << 3 << 1 << "M" << 1 << 2 << "tiff" << QByteArray("\"lengthUnknown\": true")
        << QStringList{"M01.tiff", "M02.tiff", "M03.tiff", "M04.tiff"};
    QTest::addRow("memory 24 bit, length and count unknown")
        << true << 24 << "2.1" << 1 << 3 << "M" << 1 << 2 << "png"
        << QByteArray("\"lengthUnknown\": true, \"countKnown\": false")
        << QStringList{"M01.png", "M02.png", "M03.png", "M04.png"};
    // A camera text without its closing zero, in a block of its own length
    // whose size the manager cannot tell: read no further than it takes.
    QTest::addRow("native, camera text unterminated, size untold")
        << false << 8 << "1.9" << 1 << 2 << "C" << 1 << 2 << "png"
        << QByteArray("\"cameraUnterminated\": true, \"faults\": {\"sizeUntold\": true}")
        << QStringList{"C01.png", "C02.png", "C03.png", "C04.png"};
    QTest::addRow("native jpg 24 bit") << false << 24 << "1.9" << 1 << 2 << "J" << 1 << 2 << "jpg" << QByteArray()
                                       << QStringList{"J01.jpg", "J02.jpg", "J03.jpg", "J04.jpg"};
    QTest::addRow("memory jpg 8 bit") << true << 8 << "2.1" << 0 << 3 << "J" << 1 << 2 << "jpg" << QByteArray()
                                      << QStringList{"J01.jpg", "J02.jpg", "J03.jpg", "J04.jpg"};
}

void TransferTest::batches()
{
    QFETCH(bool, memory);
    QFETCH(int, bits);
    QFETCH(QString, sides);
    QFETCH(int, rotateTop);
    QFETCH(int, rotateBottom);
    QFETCH(QString, prefix);
    QFETCH(int, start);
    QFETCH(int, length);
    QFETCH(QString, format);
    QFETCH(QByteArray, extra);
    QFETCH(QStringList, names);

    const bool twain21 = sides != QLatin1String("1.9");
    QByteArray more = extra;
    if (sides == QLatin1String("none"))
        more += QByteArray(more.isEmpty() ? "" : ", ") + "\"pageSide\": false";
    startStation(fixtureSource(2, twain21 ? "2.1" : "1.9", twain21, memory, more), bits, true);
    child<QLineEdit>("lineEditNamePrefix")->setText(prefix);
    child<QLineEdit>("lineEditStartNumber")->setText(QString::number(start));
    child<QComboBox>("comboBoxLength")->setCurrentText(QString::number(length));
    child<QComboBox>("comboBoxFormat")->setCurrentText(format);
    child<QComboBox>("comboBoxRotateFlagTop")->setCurrentIndex(rotateTop);
    child<QComboBox>("comboBoxRotateFlagBottom")->setCurrentIndex(rotateBottom);

    scanAndWait();
    QCOMPARE(m_boxes->count(), 0);
    QStringList expected = names;
    expected.sort();
    QCOMPARE(filesIn(m_saveFolder), expected);
    // Listed in the order scanned: front, back, front, back.
    MyTableWidget *table = child<MyTableWidget>("tableWidget");
    QCOMPARE(table->rowCount(), names.size());
    for (int i = 0; i < names.size(); ++i) {
        const QString path = QDir::toNativeSeparators(QDir(m_saveFolder).filePath(names[i]));
        QVERIFY2(table->item(i, 0) && table->item(i, 0)->text().contains(names[i]),
                 qPrintable(table->item(i, 0) ? table->item(i, 0)->text() : QStringLiteral("no row")));
        const bool back = i % 2 == 1;
        const int flag = sides == QLatin1String("none") ? 0 : back ? rotateBottom : rotateTop;
        const QImage upright = atDepth(m_dir->filePath(QStringLiteral("sheet%1-%2.png").arg(i / 2).arg(back ? "back" : "front")), bits);
        const QString mismatch = compareFile(path, upright, flag, bits, format == QLatin1String("jpg"));
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }
    QCOMPARE(child<QLineEdit>("lineEditStartNumber")->text(), QString::number(start + names.size()));
    if (format == QLatin1String("tiff"))
        QCOMPARE(QImageReader(QDir(m_saveFolder).filePath(names[0])).format(), QByteArray("tiff"));
}

void TransferTest::stops_data()
{
    QTest::addColumn<bool>("memory");
    QTest::addColumn<QByteArray>("faults");
    QTest::addColumn<int>("pagesWritten");
    QTest::addColumn<QString>("message");
    QTest::addRow("native cancel") << false << QByteArray("\"cancelAtPage\": 3") << 2 << "Canceled transfer image.";
    QTest::addRow("native failure") << false << QByteArray("\"failAtPage\": 2") << 1 << "Failed to transfer image.";
    QTest::addRow("memory cancel")
        << true << QByteArray("\"cancelAtPage\": 2") << 1
        << "Canceled transfer while trying to get a strip of data from the source!";
    QTest::addRow("memory failure") << true << QByteArray("\"failAtPage\": 1") << 0
                                    << "Error while trying to get a strip of data from the source!";
    QTest::addRow("memory strip failure")
        << true << QByteArray("\"stripFailAtPage\": 3, \"stripFailAtStrip\": 2") << 2
        << "Error while trying to get a strip of data from the source!";
    QTest::addRow("native source stalls") << false << QByteArray("\"stallAtPage\": 2") << 1 << "没有正常响应";
    QTest::addRow("memory source stalls") << true << QByteArray("\"stallAtPage\": 4") << 3 << "没有正常响应";
    QTest::addRow("no image handle") << false << QByteArray("\"nullImageAtPage\": 2") << 1 << "no image handle";
    for (const char *kind : {"headerSize", "shortBlock", "bits16", "bits32", "compressed", "hugeWidth"})
        QTest::addRow("corrupt native image: %s", kind)
            << false << QByteArray("\"malformedAtPage\": 2, \"malformed\": \"") + kind + "\"" << 1
            << "扫描仪传来的图像无法读取";

    // A driver that breaks the standard, as real ones do. "sizeUntold": the
    // manager cannot say how large its blocks are, so only what the headers
    // and the announced layout witness can be checked.
    const QByteArray untold = "\"sizeUntold\": true, ";
    for (const char *kind : {"heightLie", "sizeImageSmall", "widerThanInfo", "palette24", "headerSize", "bits32"})
        QTest::addRow("lying native header, size untold: %s", kind)
            << false << untold + "\"malformedAtPage\": 2, \"malformed\": \"" + kind + "\"" << 1
            << "扫描仪传来的图像无法读取";
    QTest::addRow("native successes with handles, never done")
        << false << untold + "\"handlesAtPage\": 2" << 1 << "没有正常响应";
    QTest::addRow("native image info fails") << false << QByteArray("\"imageInfoFailAtPage\": 3") << 2
                                             << "没有给出第 3 页的图像信息";
    QTest::addRow("native end of transfer fails") << false << QByteArray("\"endXferFailAtPage\": 2") << 2
                                                  << "未能结束第 2 页之后的传输";
    QTest::addRow("memory image info fails") << true << QByteArray("\"imageInfoFailAtPage\": 1") << 0
                                             << "没有给出第 1 页的图像信息";
    QTest::addRow("memory end of transfer fails") << true << QByteArray("\"endXferFailAtPage\": 3") << 3
                                                  << "未能结束第 3 页之后的传输";
    QTest::addRow("strips of no rows") << true << untold + "\"stripLieAtPage\": 2, \"stripLie\": \"zeroRows\""
                                       << 1 << "没有正常响应";
    QTest::addRow("strips again and again at row 0")
        << true << untold + "\"stripLieAtPage\": 2, \"stripLie\": \"repeatRowZero\"" << 1 << "没有正常响应";
    QTest::addRow("page done before its rows")
        << true << untold + "\"stripLieAtPage\": 3, \"stripLie\": \"doneEarly\"" << 2 << "rows transferred";
    QTest::addRow("page done with rows never sent")
        << true << untold + "\"stripLieAtPage\": 2, \"stripLie\": \"gap\"" << 1 << "rows transferred";
    QTest::addRow("memory page of 65535 x 65535") << true << QByteArray("\"hugePageAtPage\": 2") << 1
                                                  << "too large";
    // Lies the batch survives: every page written, nothing said.
    for (const char *kind : {"nullHandle", "longFrame", "cameraFull", "sharedHandle"})
        for (const bool sizeUntold : {false, true})
            QTest::addRow("extended image info: %s%s", kind, sizeUntold ? ", size untold" : "")
                << true << (sizeUntold ? untold : QByteArray()) + "\"extInfoLie\": \"" + kind + "\"" << 6 << "";
    for (const char *kind : {"hugeCount", "indexPastCount", "arrayCountLies", "shortOneValue"})
        QTest::addRow("resolution container: %s", kind)
            << false << QByteArray("\"containerLie\": {\"cap\": \"ICAP_XRESOLUTION\", \"kind\": \"") + kind + "\"}"
            << 6 << "";
    QTest::addRow("a flood of callbacks") << false << QByteArray("\"floodCallbacks\": 3000") << 6 << "";
}

void TransferTest::stops()
{
    QFETCH(bool, memory);
    QFETCH(QByteArray, faults);
    QFETCH(int, pagesWritten);
    QFETCH(QString, message);
    startStation(fixtureSource(3, "2.4", true, memory, "\"faults\": {" + faults + "}"), 8, true);
    child<QLineEdit>("lineEditNamePrefix")->setText(QStringLiteral("S"));
    child<QComboBox>("comboBoxLength")->setCurrentText(QStringLiteral("2"));
    child<QComboBox>("comboBoxFormat")->setCurrentText(QStringLiteral("png"));

    scanAndWait();
    QStringList expected;
    for (int i = 1; i <= pagesWritten; ++i)
        expected << QStringLiteral("S%1.png").arg(i, 2, 10, QLatin1Char('0'));
    QCOMPARE(filesIn(m_saveFolder), expected);
    QCOMPARE(child<MyTableWidget>("tableWidget")->rowCount(), pagesWritten);
    if (message.isEmpty()) {
        QVERIFY2(m_boxes->count() == 0, qPrintable(m_boxes->count() ? m_boxes->last().text : QString()));
    } else {
        QCOMPARE(m_boxes->count(), 1);
        QVERIFY2(m_boxes->last().text.contains(message), qPrintable(m_boxes->last().text));
    }
    // The next batch starts at the page that did not arrive.
    QCOMPARE(child<QLineEdit>("lineEditStartNumber")->text(), QString::number(pagesWritten + 1));
    for (int i = 0; i < pagesWritten; ++i) {
        const QString mismatch =
            compareFile(QDir(m_saveFolder).filePath(expected[i]),
                        atDepth(m_dir->filePath(QStringLiteral("sheet%1-%2.png").arg(i / 2).arg(i % 2 ? "back" : "front")), 8),
                        0, 8, false);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }
}

void TransferTest::failedWriteStopsBatch_data()
{
    QTest::addColumn<bool>("memory");
    QTest::addRow("native") << false;
    QTest::addRow("memory") << true;
}

void TransferTest::failedWriteStopsBatch()
{
    QFETCH(bool, memory);
    {
        startStation(fixtureSource(3, "2.4", true, memory, QByteArray()), 8, true);
        child<QLineEdit>("lineEditNamePrefix")->setText(QStringLiteral("W"));
        child<QComboBox>("comboBoxLength")->setCurrentText(QStringLiteral("2"));
        child<QComboBox>("comboBoxFormat")->setCurrentText(QStringLiteral("png"));
        // The third page's name is taken by a folder, the fourth by a page
        // of an earlier batch that must survive.
        QVERIFY(QDir(m_saveFolder).mkdir(QStringLiteral("W03.png")));
        const QString earlier = QDir(m_saveFolder).filePath(QStringLiteral("W04.png"));
        QVERIFY(writeFile(earlier, "earlier page"));

        scanAndWait();
        QCOMPARE(filesIn(m_saveFolder), (QStringList{"W01.png", "W02.png", "W04.png"}));
        QCOMPARE(fileBytes(earlier), QByteArray("earlier page"));
        QCOMPARE(child<MyTableWidget>("tableWidget")->rowCount(), 2);
        QCOMPARE(m_boxes->count(), 1);
        QVERIFY2(m_boxes->last().text.contains(QStringLiteral("图像文件保存失败")), qPrintable(m_boxes->last().text));
        QVERIFY2(m_boxes->last().text.contains(QStringLiteral("W03.png")), qPrintable(m_boxes->last().text));
        QCOMPARE(child<QLineEdit>("lineEditStartNumber")->text(), QStringLiteral("3"));
        // No temporary file is left beside the pages.
        QCOMPARE(QDir(m_saveFolder).entryList(QDir::Files | QDir::Hidden).size(), 3);
    }
}

void TransferTest::startOutsideState6()
{
    startStation(fixtureSource(1, "2.4", true, false, QByteArray()), 8, false);
    FormScan *form = m_window->formScan;
    QCOMPARE(int(form->m_DSMState), 4);
    form->startScan();  // as a stray transfer-ready would
    QCOMPARE(int(form->m_DSMState), 4);
    QVERIFY(filesIn(m_saveFolder).isEmpty());
    QCOMPARE(m_boxes->count(), 0);
}

QTEST_MAIN(TransferTest)
#include "transfer_test.moc"
