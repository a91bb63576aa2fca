#include "markreader.h"
#include "testutil.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <limits>

namespace {

const QPoint kOrigin(37, 52);            // where alignment found the page origin
const QString kCode = QStringLiteral("20240101");

cv::Mat blankPage()
{
    return cv::Mat(480, 640, CV_8UC1, cv::Scalar(235));
}

void addNoise(cv::Mat &page)
{
    cv::Mat noise(page.size(), CV_16SC1);
    cv::randn(noise, 0, 6);
    cv::Mat wide;
    page.convertTo(wide, CV_16SC1);
    wide += noise;
    wide.convertTo(page, CV_8UC1);
}

// A printed bubble (outline) and, when marked, the pencil filling it.
void drawBubble(cv::Mat &page, const cv::Rect &box, bool marked)
{
    cv::rectangle(page, box, cv::Scalar(120), 1);
    if (marked)
        cv::rectangle(page, box, cv::Scalar(25), cv::FILLED);
}

// Bubble i of a regular question in page coordinates, placed the way the
// printed sheet spaces them: the first at the strip's start, the last at its end.
cv::Rect regularBubble(const ObjectItem &item, int i)
{
    const int n = item.optionCount;
    const int x0 = item.rect.x() + kOrigin.x();
    const int y0 = item.rect.y() + kOrigin.y();
    if (item.optionDirection == 0) {
        const float step = n > 1 ? float(item.rect.width() - item.markPointWidth) / float(n - 1) : 0.0f;
        return cv::Rect(x0 + int(float(i) * step), y0, item.markPointWidth, item.markPointHeight);
    }
    const float step = n > 1 ? float(item.rect.height() - item.markPointHeight) / float(n - 1) : 0.0f;
    return cv::Rect(x0, y0 + int(float(i) * step), item.markPointWidth, item.markPointHeight);
}

ObjectItem regularItem(int number, int optionCount, int direction, QRect rect)
{
    ObjectItem item;
    item.page = 1;
    item.item = number;
    item.optionCount = optionCount;
    item.optionDirection = direction;
    item.markPointWidth = 20;
    item.markPointHeight = 14;
    item.rect = rect;
    return item;
}

ObjectItem irregularItem(int number, int optionCount, const QVector<QRect> &boxes)
{
    ObjectItem item;
    item.page = 1;
    item.item = number;
    item.optionCount = optionCount;
    item.abnormal = true;
    item.rect = QRect(200, 100, 180, 90);
    for (int i = 0; i < boxes.size(); ++i) {
        OptionBox box;
        box.index = i;
        box.letter = QChar('A' + i);
        box.x = boxes[i].x();
        box.y = boxes[i].y();
        box.width = boxes[i].width();
        box.height = boxes[i].height();
        item.options << box;
    }
    return item;
}

cv::Rect onPage(const OptionBox &box)
{
    return cv::Rect(box.x + kOrigin.x(), box.y + kOrigin.y(), box.width, box.height);
}

QStringList filesIn(const QTemporaryDir &dir)
{
    QStringList files = QDir(dir.path()).entryList(QDir::Files);
    files.sort();
    return files;
}

OptionalGroup optionalGroup(const QStringList &items, const QString &defaultItem)
{
    OptionalGroup group;
    group.page = 1;
    group.items = items;
    group.defaultItem = defaultItem;
    group.markPointWidth = 22;
    group.markPointHeight = 16;
    group.rect = QRect(300, 250, 22 + (items.size() - 1) * 45, 30);
    return group;
}

cv::Rect optionalBubble(const OptionalGroup &group, int i)
{
    const int n = group.items.size();
    const float step = n > 1 ? float(group.rect.width() - group.markPointWidth) / float(n - 1) : 0.0f;
    return cv::Rect(group.rect.x() + kOrigin.x() + int(float(i) * step), group.rect.y() + kOrigin.y(),
                    group.markPointWidth, group.markPointHeight);
}

} // namespace

Q_DECLARE_METATYPE(ObjectItem)

class MarkReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void testRegular_data();
    void testRegular();
    void testIrregular_data();
    void testIrregular();
    void testFillAtCoverShare_data();
    void testFillAtCoverShare();
    void testBubblesAtAreaEdge();
    void testObjectiveRefused_data();
    void testObjectiveRefused();

    void testOptional_data();
    void testOptional();
    void testOptionalRefused_data();
    void testOptionalRefused();
    void testOptionalUnsafeName();
};

void MarkReaderTest::testRegular_data()
{
    QTest::addColumn<ObjectItem>("item");
    QTest::addColumn<QString>("marked");
    QTest::addColumn<int>("algo");

    // Strip widths that do not divide evenly exercise the truncated pitch.
    const ObjectItem across = regularItem(7, 4, 0, QRect(150, 120, 151, 14));
    const ObjectItem down = regularItem(12, 5, 1, QRect(420, 40, 20, 137));
    const ObjectItem sixteen = regularItem(3, 16, 0, QRect(20, 300, 20 + 15 * 33, 14));
    QTest::newRow("side by side") << across << "AC" << 0;
    QTest::newRow("side by side, last") << across << "D" << 0;
    QTest::newRow("side by side, nothing") << across << "" << 0;
    QTest::newRow("one below the other") << down << "BD" << 0;
    QTest::newRow("one below the other, first and last") << down << "AE" << 0;
    QTest::newRow("one below the other, nothing") << down << "" << 0;
    QTest::newRow("sixteen options all") << sixteen << "ABCDEFGHIJKLMNOP" << 0;
    QTest::newRow("sixteen options some") << sixteen << "BHP" << 0;
    QTest::newRow("fixed threshold") << across << "BC" << 1;
    // One option: no pitch, the bubble sits at the strip's start.
    QTest::newRow("single option") << regularItem(9, 1, 0, QRect(100, 200, 40, 14)) << "A" << 0;
    QTest::newRow("single option, down") << regularItem(9, 1, 1, QRect(100, 200, 20, 30)) << "A" << 0;
    QTest::newRow("single option, nothing") << regularItem(9, 1, 0, QRect(100, 200, 40, 14)) << "" << 0;
}

void MarkReaderTest::testRegular()
{
    QFETCH(ObjectItem, item);
    QFETCH(QString, marked);
    QFETCH(int, algo);

    cv::Mat page = blankPage();
    // Print and mark other questions around it: they must not leak in.
    cv::rectangle(page, cv::Rect(0, 0, 640, 30), cv::Scalar(20), cv::FILLED);
    for (int i = 0; i < item.optionCount; ++i)
        drawBubble(page, regularBubble(item, i), marked.contains(QChar('A' + i)));
    addNoise(page);
    const cv::Mat before = page.clone();

    QTemporaryDir dir;
    QString error;
    const QString answer = readObjectiveItem(page, item, 0.5f, kOrigin.x(), kOrigin.y(), algo, 128,
                                             dir.path(), kCode, &error);
    QCOMPARE(answer, marked.isEmpty() ? QStringLiteral("X") : marked);
    QVERIFY(error.isEmpty());
    QCOMPARE(TestUtil::differingPixels(page, before), 0);

    const QString base = QStringLiteral("%1-%2").arg(kCode).arg(item.item);
    QCOMPARE(filesIn(dir), QStringList() << base + "-b.png" << base + "-o.jpg");
    const cv::Mat bin = TestUtil::readGrey(dir.filePath(base + "-b.png"));
    QCOMPARE(bin.cols, item.rect.width());
    QCOMPARE(bin.rows, item.rect.height());
    QCOMPARE(cv::countNonZero((bin != 0) & (bin != 255)), 0);
    QCOMPARE(TestUtil::readGrey(dir.filePath(base + "-o.jpg")).size(), bin.size());
}

void MarkReaderTest::testIrregular_data()
{
    QTest::addColumn<ObjectItem>("item");
    QTest::addColumn<QString>("marked");     // letters by list position
    QTest::addColumn<QString>("expected");

    // Relative to the origin, scattered inside the question area (200, 100, 180, 90).
    const QVector<QRect> boxes = {QRect(210, 110, 24, 16), QRect(330, 105, 20, 20),
                                  QRect(205, 160, 30, 14), QRect(300, 150, 18, 24)};
    QTest::newRow("two marked") << irregularItem(31, 4, boxes) << "BD" << "BD";
    QTest::newRow("first only") << irregularItem(31, 4, boxes) << "A" << "A";
    QTest::newRow("nothing") << irregularItem(31, 4, boxes) << "" << "X";
    QTest::newRow("option count beyond the list") << irregularItem(32, 6, boxes) << "AC" << "AC";
    // The list decides: a mark on a bubble past the option count still counts.
    QTest::newRow("list beyond the option count") << irregularItem(33, 2, boxes) << "BD" << "BD";
    QTest::newRow("option count zero") << irregularItem(34, 0, boxes) << "ABCD" << "ABCD";
}

void MarkReaderTest::testIrregular()
{
    QFETCH(ObjectItem, item);
    QFETCH(QString, marked);
    QFETCH(QString, expected);

    cv::Mat page = blankPage();
    for (int i = 0; i < item.options.size(); ++i)
        drawBubble(page, onPage(item.options[i]), marked.contains(QChar('A' + i)));
    addNoise(page);

    QTemporaryDir dir;
    QString error;
    QCOMPARE(readObjectiveItem(page, item, 0.5f, kOrigin.x(), kOrigin.y(), 0, 128, dir.path(), kCode, &error),
             expected);
    QVERIFY(error.isEmpty());
    QCOMPARE(filesIn(dir).size(), 2);
}

void MarkReaderTest::testFillAtCoverShare_data()
{
    QTest::addColumn<int>("stripWidth");
    QTest::addColumn<QRect>("dark");          // area coordinates
    QTest::addColumn<int>("lighter");         // pixels of that rectangle left white
    QTest::addColumn<QString>("expected");

    // Three 20 x 14 bubbles (280 pixels); cover share 0.5 is 140 dark pixels in bubble B.
    // Strip 100: B covers columns 40 to 59.
    QTest::newRow("exactly at the share") << 100 << QRect(40, 0, 20, 7) << 0 << "B";
    QTest::newRow("one pixel under") << 100 << QRect(40, 0, 20, 7) << 1 << "X";
    QTest::newRow("next bubble's column not counted") << 100 << QRect(41, 0, 20, 7) << 0 << "X";
    // Strip 101: the pitch is 40.5, so B covers columns 40 to 60 (c < 60.5).
    QTest::newRow("fractional pitch, last column counts") << 101 << QRect(41, 0, 20, 7) << 0 << "B";
    QTest::newRow("fractional pitch, beyond the bubble") << 101 << QRect(42, 0, 20, 7) << 0 << "X";
}

void MarkReaderTest::testFillAtCoverShare()
{
    QFETCH(int, stripWidth);
    QFETCH(QRect, dark);
    QFETCH(int, lighter);
    QFETCH(QString, expected);

    const ObjectItem item = regularItem(5, 3, 0, QRect(100, 100, stripWidth, 14));
    cv::Mat page(300, 300, CV_8UC1, cv::Scalar(255));
    const cv::Rect area(item.rect.x() + kOrigin.x(), item.rect.y() + kOrigin.y(), stripWidth, 14);
    cv::Mat ink = page(area)(cv::Rect(dark.x(), dark.y(), dark.width(), dark.height()));
    ink.setTo(cv::Scalar(0));
    for (int k = 0; k < lighter; ++k)
        ink.at<uchar>(ink.rows - 1, ink.cols - 1 - k) = 255;

    QTemporaryDir dir;
    QCOMPARE(readObjectiveItem(page, item, 0.5f, kOrigin.x(), kOrigin.y(), 1, 128, dir.path(), kCode), expected);
}

void MarkReaderTest::testBubblesAtAreaEdge()
{
    // The strip is lower than its bubbles: the bubbles are cut at the strip's
    // edge and still divide by their nominal size (10 x 20 of 14 x 20 dark).
    cv::Mat page = blankPage();
    ObjectItem low = regularItem(41, 3, 0, QRect(100, 100, 120, 10));
    cv::rectangle(page, regularBubble(low, 0), cv::Scalar(20), cv::FILLED);
    cv::rectangle(page, regularBubble(low, 2), cv::Scalar(20), cv::FILLED);
    QTemporaryDir dir;
    QString error;
    QCOMPARE(readObjectiveItem(page, low, 0.5f, kOrigin.x(), kOrigin.y(), 0, 128, dir.path(), kCode, &error),
             QStringLiteral("AC"));
    QCOMPARE(readObjectiveItem(page, low, 0.75f, kOrigin.x(), kOrigin.y(), 0, 128, dir.path(), kCode, &error),
             QStringLiteral("X"));
    QVERIFY(error.isEmpty());

    // An irregular box reaching out of its question area is cut at the area.
    cv::Mat page2 = blankPage();
    ObjectItem item = irregularItem(42, 2, {QRect(190, 120, 20, 20), QRect(370, 170, 20, 30)});
    // Only the parts inside the area (200, 100, 180, 90) are dark; the rest is light.
    cv::rectangle(page2, onPage(item.options[0]), cv::Scalar(20), cv::FILLED);
    cv::rectangle(page2, onPage(item.options[1]), cv::Scalar(20), cv::FILLED);
    QCOMPARE(readObjectiveItem(page2, item, 0.5f, kOrigin.x(), kOrigin.y(), 0, 128, dir.path(), kCode, &error),
             QStringLiteral("A"));      // A: 10 x 20 of 400 inside; B: 10 x 20 of 600
    QVERIFY(error.isEmpty());

    // A bubble size far beyond the strip is clamped to it and reads as unmarked.
    ObjectItem huge = regularItem(44, 3, 0, QRect(100, 100, 120, 14));
    huge.markPointWidth = std::numeric_limits<int>::max();
    QCOMPARE(readObjectiveItem(page, huge, 0.5f, kOrigin.x(), kOrigin.y(), 0, 128, dir.path(), kCode, &error),
             QStringLiteral("X"));
    QVERIFY(error.isEmpty());

    // The question's area ending exactly on the page's last column is read.
    cv::Mat page3 = blankPage();
    ObjectItem edge = regularItem(43, 4, 0, QRect(640 - kOrigin.x() - 140, 200, 140, 14));
    drawBubble(page3, regularBubble(edge, 3), true);
    QCOMPARE(regularBubble(edge, 3).br().x, 640);
    QCOMPARE(readObjectiveItem(page3, edge, 0.5f, kOrigin.x(), kOrigin.y(), 0, 128, dir.path(), kCode, &error),
             QStringLiteral("D"));
}

void MarkReaderTest::testObjectiveRefused_data()
{
    QTest::addColumn<ObjectItem>("item");
    QTest::addColumn<QPoint>("origin");
    QTest::addColumn<QString>("message");

    const QString outside = QStringLiteral("题号 %1 客观题区域超出答卷图片范围，可能是定位异常，请检查答卷图片。");
    const QString bubbleSize = QStringLiteral("题号 %1 客观题涂点大小不合法，请检查模板。");
    const ObjectItem item = regularItem(8, 4, 0, QRect(150, 120, 151, 14));
    QTest::newRow("right of the page") << item << QPoint(640 - 150 - 150, 0) << outside.arg(8);
    QTest::newRow("left of the page") << item << QPoint(-151, 0) << outside.arg(8);
    QTest::newRow("below the page") << item << QPoint(0, 480 - 120 - 13) << outside.arg(8);
    QTest::newRow("above the page") << item << QPoint(0, -121) << outside.arg(8);
    QTest::newRow("far away") << item << QPoint(100000, 100000) << outside.arg(8);
    ObjectItem empty = item;
    empty.rect.setWidth(0);
    QTest::newRow("empty area") << empty << QPoint(0, 0) << outside.arg(8);
    ObjectItem flat = item;
    flat.markPointHeight = 0;
    QTest::newRow("zero bubble height") << flat << QPoint(0, 0) << bubbleSize.arg(8);
    ObjectItem irregular = irregularItem(44, 2, {QRect(210, 110, 24, 16), QRect(330, 105, 0, 20)});
    QTest::newRow("irregular box of no width") << irregular << QPoint(0, 0) << bubbleSize.arg(44);
}

void MarkReaderTest::testObjectiveRefused()
{
    QFETCH(ObjectItem, item);
    QFETCH(QPoint, origin);
    QFETCH(QString, message);

    cv::Mat page = blankPage();
    QTemporaryDir dir;
    QString error;
    QVERIFY(readObjectiveItem(page, item, 0.5f, origin.x(), origin.y(), 0, 128, dir.path(), kCode, &error)
                .isEmpty());
    QCOMPARE(error, message);
    QVERIFY(filesIn(dir).isEmpty());
    // No error text wanted: still refused, still no crash.
    QVERIFY(readObjectiveItem(page, item, 0.5f, origin.x(), origin.y(), 0, 128, dir.path(), kCode).isEmpty());
}

void MarkReaderTest::testOptional_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("marked");     // positions marked, as digits
    QTest::addColumn<QString>("expected");

    const QStringList three = {"21", "22", "23"};
    QTest::newRow("one marked") << three << "2" << "23";
    QTest::newRow("first marked") << three << "0" << "21";
    QTest::newRow("none marked, default") << three << "" << "22";
    QTest::newRow("two marked, default") << three << "02" << "22";
    QTest::newRow("all marked, default") << three << "012" << "22";
    QTest::newRow("single candidate") << QStringList{"24"} << "0" << "24";
    QTest::newRow("no candidates") << QStringList() << "" << "22";
}

void MarkReaderTest::testOptional()
{
    QFETCH(QStringList, items);
    QFETCH(QString, marked);
    QFETCH(QString, expected);

    const OptionalGroup group = optionalGroup(items.isEmpty() ? QStringList{"0"} : items, QStringLiteral("22"));
    cv::Mat page = blankPage();
    for (int i = 0; i < group.items.size(); ++i)
        drawBubble(page, optionalBubble(group, i), marked.contains(QString::number(i)));
    addNoise(page);
    const cv::Mat before = page.clone();

    OptionalGroup read = group;
    read.items = items;
    QTemporaryDir dir;
    QString error;
    QCOMPARE(readOptionalChoice(page, dir.path(), kCode, read, kOrigin.x(), kOrigin.y(), 0.5f, 0, 128, &error),
             expected);
    QVERIFY(error.isEmpty());
    QCOMPARE(TestUtil::differingPixels(page, before), 0);
    const QString base = kCode + QLatin1Char('-') + expected;
    QCOMPARE(filesIn(dir), QStringList() << base + "-b.png" << base + "-o.jpg");
}

void MarkReaderTest::testOptionalRefused_data()
{
    QTest::addColumn<QPoint>("origin");
    QTest::addColumn<int>("bubbleWidth");
    QTest::addColumn<QString>("message");

    const QString outside = QStringLiteral("选做题区域超出答卷图片范围，可能是定位异常，请检查答卷图片。");
    QTest::newRow("right of the page") << QPoint(640 - 300 - 112 + 1, 0) << 22 << outside;
    QTest::newRow("above the page") << QPoint(0, -251) << 22 << outside;
    QTest::newRow("zero bubble width") << QPoint(0, 0) << 0 << QStringLiteral("选做题涂点大小不合法，请检查模板。");
}

void MarkReaderTest::testOptionalRefused()
{
    QFETCH(QPoint, origin);
    QFETCH(int, bubbleWidth);
    QFETCH(QString, message);

    OptionalGroup group = optionalGroup({"21", "22", "23"}, QStringLiteral("22"));
    QCOMPARE(group.rect.width(), 112);
    group.markPointWidth = bubbleWidth;
    cv::Mat page = blankPage();
    QTemporaryDir dir;
    QString error;
    QVERIFY(readOptionalChoice(page, dir.path(), kCode, group, origin.x(), origin.y(), 0.5f, 0, 128, &error)
                .isEmpty());
    QCOMPARE(error, message);
    QVERIFY(filesIn(dir).isEmpty());
}

void MarkReaderTest::testOptionalUnsafeName()
{
    // Candidate texts come from the template; one that is no file name part
    // is still reported but names no file.
    const OptionalGroup group = optionalGroup({"21", "../../x", "23"}, QStringLiteral("21"));
    cv::Mat page = blankPage();
    for (int i = 0; i < 3; ++i)
        drawBubble(page, optionalBubble(group, i), i == 1);
    QTemporaryDir dir;
    QString error;
    QCOMPARE(readOptionalChoice(page, dir.path(), kCode, group, kOrigin.x(), kOrigin.y(), 0.5f, 0, 128, &error),
             QStringLiteral("../../x"));
    QCOMPARE(error, QStringLiteral("选做题选项 ../../x 不能用作文件名，未保存选做题图片。"));
    QVERIFY(filesIn(dir).isEmpty());
    QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

QTEST_APPLESS_MAIN(MarkReaderTest)
#include "markreader_test.moc"
