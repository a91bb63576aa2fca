#include "barcodeimage.h"
#include "codereader.h"
#include "testutil.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

const QString kAbsentInvalid = QStringLiteral("缺考标记区域不合法！可能是定位异常导致此原因。请检查答卷图片是否异常。");

// A student-code grid as printed: every bubble outlined, the marked ones filled.
// marks[p] holds the digits filled at position p ("" for none).
struct CodeGrid {
    int direction = 0;           // 1: positions run down, digits across
    int count = 0;
    int bubbleWidth = 20;
    int bubbleHeight = 14;
    int pitchX = 28;
    int pitchY = 22;
    QStringList marks;

    cv::Mat render() const
    {
        const int columnsOfBubbles = direction == 1 ? 10 : count;
        const int rowsOfBubbles = direction == 1 ? count : 10;
        cv::Mat area(bubbleHeight + (rowsOfBubbles - 1) * pitchY,
                     bubbleWidth + (columnsOfBubbles - 1) * pitchX, CV_8UC1, cv::Scalar(235));
        for (int p = 0; p < count; ++p) {
            for (int d = 0; d < 10; ++d) {
                const int col = direction == 1 ? d : p;
                const int row = direction == 1 ? p : d;
                const cv::Rect box(col * pitchX, row * pitchY, bubbleWidth, bubbleHeight);
                cv::rectangle(area, box, cv::Scalar(120), 1);
                if (marks.value(p).contains(QString::number(d)))
                    cv::rectangle(area, box, cv::Scalar(25), cv::FILLED);
            }
        }
        // Scanner noise.
        cv::Mat noise(area.size(), CV_8SC1);
        cv::randn(noise, 0, 6);
        cv::Mat noisy;
        area.convertTo(noisy, CV_16SC1);
        cv::add(noisy, noise, noisy, cv::noArray(), CV_16SC1);
        noisy.convertTo(area, CV_8UC1);
        return area;
    }
};

QStringList marksOf(const QString &digits)
{
    QStringList marks;
    for (const QChar c : digits)
        marks << (c == QLatin1Char('X') ? QString() : QString(c));
    return marks;
}

cv::Mat onWhite(const cv::Mat &symbol, int width, int height, int x, int y)
{
    cv::Mat canvas(height, width, CV_8UC1, cv::Scalar(255));
    symbol.copyTo(canvas(cv::Rect(x, y, symbol.cols, symbol.rows)));
    return canvas;
}

} // namespace

class CodeReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void testAbsentMark_data();
    void testAbsentMark();
    void testAbsentMarkBinarisesInPlace();

    void testCodeBubbles_data();
    void testCodeBubbles();
    void testCodeBubblesRefused_data();
    void testCodeBubblesRefused();

    void testBarcode_data();
    void testBarcode();
    void testBarcodeFailure_data();
    void testBarcodeFailure();

    void testBinaryImage_data();
    void testBinaryImage();
    void testBinaryImageFromFile_data();
    void testBinaryImageFromFile();
};

void CodeReaderTest::testAbsentMark_data()
{
    QTest::addColumn<QRect>("box");
    QTest::addColumn<QPoint>("origin");
    QTest::addColumn<int>("darkColumns");   // of the box, from its left edge
    QTest::addColumn<bool>("expectOk");
    QTest::addColumn<bool>("expectAbsent");

    // The page is 200 x 100; the box 40 x 20.
    QTest::newRow("inside, clean") << QRect(40, 20, 40, 20) << QPoint(10, 10) << 0 << true << false;
    QTest::newRow("inside, filled") << QRect(40, 20, 40, 20) << QPoint(10, 10) << 40 << true << true;
    QTest::newRow("exactly half dark") << QRect(40, 20, 40, 20) << QPoint(10, 10) << 20 << true << true;
    QTest::newRow("just under half") << QRect(40, 20, 40, 20) << QPoint(10, 10) << 19 << true << false;
    QTest::newRow("right edge on border") << QRect(150, 20, 40, 20) << QPoint(10, 10) << 40 << true << true;
    QTest::newRow("right edge one further") << QRect(151, 20, 40, 20) << QPoint(10, 10) << 40 << false << false;
    QTest::newRow("bottom edge on border") << QRect(40, 70, 40, 20) << QPoint(10, 10) << 40 << true << true;
    QTest::newRow("bottom edge one further") << QRect(40, 71, 40, 20) << QPoint(10, 10) << 40 << false << false;
    QTest::newRow("left of page") << QRect(-11, 20, 40, 20) << QPoint(10, 10) << 0 << false << false;
    QTest::newRow("at the page corner") << QRect(-10, -10, 40, 20) << QPoint(10, 10) << 0 << true << false;
    QTest::newRow("above page") << QRect(40, -11, 40, 20) << QPoint(10, 10) << 0 << false << false;
    QTest::newRow("empty box") << QRect(40, 20, 0, 20) << QPoint(10, 10) << 0 << false << false;
}

void CodeReaderTest::testAbsentMark()
{
    QFETCH(QRect, box);
    QFETCH(QPoint, origin);
    QFETCH(int, darkColumns);
    QFETCH(bool, expectOk);
    QFETCH(bool, expectAbsent);

    cv::Mat page(100, 200, CV_8UC1, cv::Scalar(230));
    const cv::Rect onPage = cv::Rect(box.x() + origin.x(), box.y() + origin.y(), darkColumns, box.height())
                            & cv::Rect(0, 0, page.cols, page.rows);
    if (!onPage.empty())
        page(onPage).setTo(cv::Scalar(140));   // at most 150: ink for this reader

    bool ok = !expectOk;
    QString error = QStringLiteral("untouched");
    bool absent = true;                    // sentinel: must stay when the box is refused
    checkAbsentMark(page, box, 0.5f, origin.x(), origin.y(), ok, error, absent);

    QCOMPARE(ok, expectOk);
    if (expectOk) {
        QCOMPARE(absent, expectAbsent);
        QCOMPARE(error, QStringLiteral("untouched"));
    } else {
        QCOMPARE(error, kAbsentInvalid);
        QCOMPARE(absent, true);
    }
}

void CodeReaderTest::testAbsentMarkBinarisesInPlace()
{
    cv::Mat page(60, 80, CV_8UC1, cv::Scalar(151));
    page.at<uchar>(15, 15) = 150;
    page.at<uchar>(5, 5) = 150;           // outside the box
    bool ok = false;
    QString error;
    bool absent = true;
    checkAbsentMark(page, QRect(0, 0, 20, 20), 0.5f, 10, 10, ok, error, absent);

    QVERIFY(ok);
    QVERIFY(!absent);
    QCOMPARE(int(page.at<uchar>(15, 15)), 0);
    QCOMPARE(int(page.at<uchar>(16, 16)), 255);
    QCOMPARE(int(page.at<uchar>(5, 5)), 150);
    QCOMPARE(int(page.at<uchar>(40, 40)), 151);
}

void CodeReaderTest::testCodeBubbles_data()
{
    QTest::addColumn<int>("direction");
    QTest::addColumn<QStringList>("marks");
    QTest::addColumn<int>("algo");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("expected");

    QTest::newRow("positions across") << 0 << marksOf("12045") << 0 << QString() << "12045";
    QTest::newRow("positions down") << 1 << marksOf("907531") << 0 << QString() << "907531";
    QTest::newRow("every digit across") << 0 << marksOf("0123456789") << 0 << QString() << "0123456789";
    QTest::newRow("fixed threshold") << 1 << marksOf("4682") << 1 << QString() << "4682";
    QTest::newRow("two equal fills, lower digit") << 0 << (QStringList() << "1" << "37" << "5") << 0
                                                  << QString() << "135";
    QTest::newRow("two equal fills, positions down") << 1 << (QStringList() << "90" << "2") << 0
                                                     << QString() << "02";
    QTest::newRow("one empty position") << 0 << marksOf("12X45") << 0 << QString() << "12X45";
    QTest::newRow("empty position down") << 1 << marksOf("X8") << 0 << QString() << "X8";
    QTest::newRow("single position across") << 0 << marksOf("6") << 0 << QString() << "6";
    QTest::newRow("single position down") << 1 << marksOf("3") << 0 << QString() << "3";
    QTest::newRow("appends to the given text") << 0 << marksOf("77") << 0 << "5" << "577";
    QTest::newRow("other direction reads like 0") << 2 << marksOf("314") << 0 << QString() << "314";
}

void CodeReaderTest::testCodeBubbles()
{
    QFETCH(int, direction);
    QFETCH(QStringList, marks);
    QFETCH(int, algo);
    QFETCH(QString, prefix);
    QFETCH(QString, expected);

    CodeGrid grid;
    grid.direction = direction == 1 ? 1 : 0;
    grid.count = marks.size();
    grid.marks = marks;
    const cv::Mat area = grid.render();
    const cv::Mat before = area.clone();

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString code = prefix;
    QString error;
    const QString result = readCodeBubbles(area, dir.path(), direction, grid.count, grid.bubbleWidth,
                                           grid.bubbleHeight, 0.5f, algo, 128, code, &error);
    QCOMPARE(result, expected);
    QCOMPARE(code, expected);
    QVERIFY(error.isEmpty());
    QCOMPARE(TestUtil::differingPixels(area, before), 0);

    const QString jpg = dir.filePath(expected + QStringLiteral("-o.jpg"));
    const QString png = dir.filePath(expected + QStringLiteral("-b.png"));
    if (expected.contains(QLatin1Char('X'))) {
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    } else {
        QVERIFY(QFileInfo::exists(jpg));
        const cv::Mat written = TestUtil::readGrey(png);
        QCOMPARE(written.cols, area.cols);
        QCOMPARE(written.rows, area.rows);
        QCOMPARE(cv::countNonZero((written != 0) & (written != 255)), 0);
        QCOMPARE(TestUtil::readGrey(jpg).size(), area.size());
    }
}

void CodeReaderTest::testCodeBubblesRefused_data()
{
    QTest::addColumn<int>("areaWidth");
    QTest::addColumn<int>("areaHeight");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("bubbleWidth");
    QTest::addColumn<int>("bubbleHeight");
    QTest::addColumn<QString>("message");

    const QString tooSmall = QStringLiteral("考号区域小于一个涂点，无法识别考号。");
    QTest::newRow("narrower than a bubble") << 19 << 220 << 5 << 20 << 14 << tooSmall;
    QTest::newRow("lower than a bubble") << 200 << 13 << 5 << 20 << 14 << tooSmall;
    QTest::newRow("empty area") << 0 << 0 << 5 << 20 << 14 << tooSmall;
    QTest::newRow("zero bubble width") << 200 << 220 << 5 << 0 << 14
                                       << QStringLiteral("考号涂点大小不合法（0 x 14），无法识别考号。");
    QTest::newRow("zero positions") << 200 << 220 << 0 << 20 << 14
                                    << QStringLiteral("考号位数不合法（0），无法识别考号。");
}

void CodeReaderTest::testCodeBubblesRefused()
{
    QFETCH(int, areaWidth);
    QFETCH(int, areaHeight);
    QFETCH(int, count);
    QFETCH(int, bubbleWidth);
    QFETCH(int, bubbleHeight);
    QFETCH(QString, message);

    cv::Mat area(areaHeight, areaWidth, CV_8UC1, cv::Scalar(0));   // all ink: would read if tried
    QTemporaryDir dir;
    QString code = QStringLiteral("keep");
    QString error;
    const QString result = readCodeBubbles(area, dir.path(), 0, count, bubbleWidth, bubbleHeight,
                                           0.5f, 0, 128, code, &error);
    QVERIFY(result.isEmpty());
    QCOMPARE(code, QStringLiteral("keep"));
    QCOMPARE(error, message);
    QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());

    // Without an error text the refusal must not crash either.
    QVERIFY(readCodeBubbles(area, dir.path(), 0, count, bubbleWidth, bubbleHeight, 0.5f, 0, 128, code).isEmpty());
}

void CodeReaderTest::testBarcode_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("data");
    QTest::addColumn<bool>("vertical");     // printed turned 90 degrees counter-clockwise
    QTest::addColumn<int>("direction");
    QTest::addColumn<QString>("symbology");

    QTest::newRow("code 128") << int(BarcodeImage::Code128) << "20240617" << false << 0 << "CODE-128";
    QTest::newRow("code 39") << int(BarcodeImage::Code39) << "ABC123" << false << 0 << "CODE-39";
    QTest::newRow("qr code") << int(BarcodeImage::QrCode) << "S2024-0042" << false << 0 << "QR-Code";
    QTest::newRow("vertical code 128, direction 1") << int(BarcodeImage::Code128) << "99887766" << true << 1
                                                    << "CODE-128";
    QTest::newRow("direction 2 reads unturned") << int(BarcodeImage::Code39) << "X7Y" << false << 2 << "CODE-39";
}

void CodeReaderTest::testBarcode()
{
    QFETCH(int, kind);
    QFETCH(QString, data);
    QFETCH(bool, vertical);
    QFETCH(int, direction);
    QFETCH(QString, symbology);

    const cv::Mat symbol = BarcodeImage::render(BarcodeImage::Kind(kind), data, 3, 60);
    QVERIFY(!symbol.empty());
    cv::Mat area = onWhite(symbol, symbol.cols + 40, symbol.rows + 30, 20, 15);
    if (vertical)
        cv::rotate(area, area, cv::ROTATE_90_COUNTERCLOCKWISE);
    const cv::Mat before = area.clone();

    QString readSymbology;
    QString code;
    QVERIFY(readBarcodeCode(area, direction, readSymbology, code));
    QCOMPARE(code, data);
    QCOMPARE(readSymbology, symbology);
    QCOMPARE(TestUtil::differingPixels(area, before), 0);
}

void CodeReaderTest::testBarcodeFailure_data()
{
    QTest::addColumn<QString>("scene");

    QTest::newRow("barcode and qr code") << "two";
    QTest::newRow("blank area") << "blank";
    QTest::newRow("empty image") << "empty";
    QTest::newRow("noise only") << "noise";
}

void CodeReaderTest::testBarcodeFailure()
{
    QFETCH(QString, scene);

    cv::Mat area;
    if (scene == QLatin1String("two")) {
        const cv::Mat bar = BarcodeImage::render(BarcodeImage::Code128, QStringLiteral("12345678"), 3, 60);
        const cv::Mat qr = BarcodeImage::render(BarcodeImage::QrCode, QStringLiteral("12345678"), 4);
        area = cv::Mat(std::max(bar.rows, qr.rows) + 40, bar.cols + qr.cols + 80, CV_8UC1, cv::Scalar(255));
        bar.copyTo(area(cv::Rect(20, 20, bar.cols, bar.rows)));
        qr.copyTo(area(cv::Rect(bar.cols + 60, 20, qr.cols, qr.rows)));
    } else if (scene == QLatin1String("blank")) {
        area = cv::Mat(120, 300, CV_8UC1, cv::Scalar(255));
    } else if (scene == QLatin1String("noise")) {
        area = cv::Mat(120, 300, CV_8UC1);
        cv::randu(area, 200, 255);
    }

    QString symbology = QStringLiteral("before");
    QString code = QStringLiteral("before");
    QVERIFY(!readBarcodeCode(area, 0, symbology, code));
    QVERIFY(!scanBarcode(area, symbology, code));
    QCOMPARE(symbology, QStringLiteral("before"));
    QCOMPARE(code, QStringLiteral("before"));
}

void CodeReaderTest::testBinaryImage_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("expected");

    // Black and white with one grey pixel at (1, 1), which the 150 x 150
    // nearest-neighbour sample of a 300 x 300 page skips.
    QTest::newRow("300 x 300 sampled") << 300 << 300 << true;
    QTest::newRow("299 x 300 whole") << 299 << 300 << false;
    QTest::newRow("small whole") << 40 << 30 << false;
}

void CodeReaderTest::testBinaryImage()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, expected);

    cv::Mat page(height, width, CV_8UC1, cv::Scalar(255));
    cv::rectangle(page, cv::Rect(10, 10, 20, 12), cv::Scalar(0), cv::FILLED);
    page.at<uchar>(1, 1) = 128;
    const cv::Mat before = page.clone();
    QCOMPARE(isBinaryImage(page), expected);
    QCOMPARE(TestUtil::differingPixels(page, before), 0);
}

void CodeReaderTest::testBinaryImageFromFile_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("expected");

    QTest::newRow("jpeg") << "jpg" << false;
    QTest::newRow("two-colour png") << "png" << true;
}

void CodeReaderTest::testBinaryImageFromFile()
{
    QFETCH(QString, suffix);
    QFETCH(bool, expected);

    // A small two-tone page with text and boxes, stored and read back.
    cv::Mat page(1200, 850, CV_8UC1, cv::Scalar(255));
    for (int i = 0; i < 20; ++i) {
        cv::putText(page, "Answer sheet line " + std::to_string(i), cv::Point(60, 80 + i * 50),
                    cv::FONT_HERSHEY_SIMPLEX, 1.0, cv::Scalar(0), 2, cv::LINE_8);
        cv::rectangle(page, cv::Rect(620, 55 + i * 50, 40, 30), cv::Scalar(0), 2, cv::LINE_8);
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("页面.") + suffix);
    QVERIFY(cv::imwrite(QFile::encodeName(path).toStdString(), page));
    QCOMPARE(isBinaryImage(TestUtil::readGrey(path)), expected);
}

QTEST_APPLESS_MAIN(CodeReaderTest)
#include "codereader_test.moc"
