// Black-block search, corner checks and page rotation on drawn pages.

#include "anchors.h"
#include "testutil.h"

#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <vector>

Q_DECLARE_METATYPE(QList<QRect>)
Q_DECLARE_METATYPE(QVector<CornerCheckArea>)

namespace {

cv::Rect toCv(const QRect &r)
{
    return cv::Rect(r.x(), r.y(), r.width(), r.height());
}

QRect toQt(const cv::Rect &r)
{
    return QRect(r.x, r.y, r.width, r.height);
}

// A white page with solid black blocks.
cv::Mat pageWithBlocks(const QSize &size, const QList<QRect> &blocks)
{
    cv::Mat page(size.height(), size.width(), CV_8UC1, cv::Scalar(255));
    for (const QRect &b : blocks)
        page(toCv(b)).setTo(0);
    return page;
}

// Centroid of the dark pixels.
cv::Point2d darkCentroid(const cv::Mat &image)
{
    const cv::Moments m = cv::moments(image < 128, true);
    return m.m00 > 0 ? cv::Point2d(m.m10 / m.m00, m.m01 / m.m00) : cv::Point2d(-1, -1);
}

CornerCheckArea corner(int page, const QString &name, const QRect &rect, int w, int h)
{
    CornerCheckArea a;
    a.page = page;
    a.name = name;
    a.rect = rect;
    a.anchorPointWidth = w;
    a.anchorPointHeight = h;
    return a;
}

} // namespace

class AnchorsTest : public QObject
{
    Q_OBJECT

private slots:
    void testFindAnchorBlock_data();
    void testFindAnchorBlock();
    void testSearchedAreaIsLeftBinarisedAndInverted();
    void testEqualAreasFirstListedWins();
    void testEmptyImage();
    void testCheckCorners_data();
    void testCheckCorners();
    void testFindCornerPoints_data();
    void testFindCornerPoints();
    void testRotateZeroKeepsImage();
    void testRotateNinetyKeepsSizeWithWhiteCorners();
    void testRotateDirection_data();
    void testRotateDirection();
    void testRotateEmptyImage();
};

void AnchorsTest::testFindAnchorBlock_data()
{
    QTest::addColumn<QSize>("pageSize");
    QTest::addColumn<QList<QRect>>("blocks");
    QTest::addColumn<QRect>("search");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QRect>("block");   // relative to the clipped search area

    const QSize page(200, 200);
    const QRect search(20, 20, 100, 100);
    const QRect none(0, 0, 0, 0);

    QTest::newRow("11x11 has area 100, never chosen")
        << page << QList<QRect>{QRect(50, 50, 11, 11)} << search << false << none;
    QTest::newRow("12x12 found")
        << page << QList<QRect>{QRect(50, 50, 12, 12)} << search << true << QRect(30, 30, 12, 12);
    QTest::newRow("largest qualifying block wins")
        << page << QList<QRect>{QRect(30, 30, 12, 12), QRect(70, 70, 20, 20)} << search << true
        << QRect(50, 50, 20, 20);
    QTest::newRow("blank area")
        << page << QList<QRect>{} << search << false << none;
    QTest::newRow("touches left edge: rectangle still returned")
        << page << QList<QRect>{QRect(20, 60, 30, 12)} << search << false << QRect(0, 40, 30, 12);
    QTest::newRow("touches top edge: rectangle still returned")
        << page << QList<QRect>{QRect(60, 20, 12, 30)} << search << false << QRect(40, 0, 12, 30);
    QTest::newRow("touches right edge of a search inside the image")
        << page << QList<QRect>{QRect(100, 60, 20, 12)} << search << false << QRect(80, 40, 20, 12);
    QTest::newRow("touches bottom edge of a search inside the image")
        << page << QList<QRect>{QRect(60, 100, 12, 20)} << search << false << QRect(40, 80, 12, 20);
    // Clipped at column 0 without shortening: the area spans columns 0..99,
    // so a block ending at column 96 lies inside it.
    QTest::newRow("negative x clipped at 0, width kept")
        << page << QList<QRect>{QRect(85, 50, 12, 12)} << QRect(-10, 20, 100, 100) << true
        << QRect(85, 30, 12, 12);
    QTest::newRow("negative y clipped at 0, height kept")
        << page << QList<QRect>{QRect(50, 85, 12, 12)} << QRect(20, -10, 100, 100) << true
        << QRect(30, 85, 12, 12);
    QTest::newRow("starts at right edge")
        << page << QList<QRect>{QRect(50, 50, 12, 12)} << QRect(200, 20, 50, 50) << false << none;
    QTest::newRow("starts beyond right edge")
        << page << QList<QRect>{QRect(50, 50, 12, 12)} << QRect(260, 20, 50, 50) << false << none;
    QTest::newRow("starts beyond bottom edge")
        << page << QList<QRect>{QRect(50, 50, 12, 12)} << QRect(20, 230, 50, 50) << false << none;
    QTest::newRow("zero width requested")
        << page << QList<QRect>{QRect(50, 50, 12, 12)} << QRect(20, 20, 0, 100) << false << none;
    QTest::newRow("negative height requested")
        << page << QList<QRect>{QRect(50, 50, 12, 12)} << QRect(20, 20, 100, -5) << false << none;
    // Right edge measured against the requested width, not the clipped one.
    QTest::newRow("search past right edge, block at image edge counts as inside")
        << page << QList<QRect>{QRect(185, 80, 15, 12)} << QRect(150, 50, 100, 100) << true
        << QRect(35, 30, 15, 12);
    QTest::newRow("search past bottom edge, block at image edge counts as inside")
        << page << QList<QRect>{QRect(80, 185, 12, 15)} << QRect(50, 150, 100, 100) << true
        << QRect(30, 35, 12, 15);
    QTest::newRow("aspect exactly 5.0 passes")
        << page << QList<QRect>{QRect(30, 50, 60, 12)} << search << true << QRect(10, 30, 60, 12);
    QTest::newRow("aspect above 5.0 fails")
        << page << QList<QRect>{QRect(30, 50, 61, 12)} << search << false << none;
    QTest::newRow("aspect exactly 0.2 passes")
        << page << QList<QRect>{QRect(50, 30, 12, 60)} << search << true << QRect(30, 10, 12, 60);
    QTest::newRow("aspect below 0.2 fails")
        << page << QList<QRect>{QRect(50, 30, 12, 61)} << search << false << none;
    // An L: 20x10 box with an 8x5 corner notch, ink 160 of 200 = fill 0.8.
    QTest::newRow("fill exactly 0.8 passes")
        << page << QList<QRect>{QRect(50, 55, 20, 5), QRect(50, 50, 12, 5)} << search << true
        << QRect(30, 30, 20, 10);
    // A 9x5 notch: ink 155 of 200 = 0.775.
    QTest::newRow("fill below 0.8 fails")
        << page << QList<QRect>{QRect(50, 55, 20, 5), QRect(50, 50, 11, 5)} << search << false << none;
}

void AnchorsTest::testFindAnchorBlock()
{
    QFETCH(QSize, pageSize);
    QFETCH(QList<QRect>, blocks);
    QFETCH(QRect, search);
    QFETCH(bool, found);
    QFETCH(QRect, block);

    cv::Mat page = pageWithBlocks(pageSize, blocks);
    bool isFound = !found;
    const cv::Rect r = findAnchorBlock(page, toCv(search), isFound);
    QCOMPARE(isFound, found);
    QCOMPARE(toQt(r), block);
}

void AnchorsTest::testSearchedAreaIsLeftBinarisedAndInverted()
{
    cv::Mat page = pageWithBlocks(QSize(200, 200), {QRect(50, 50, 12, 12), QRect(150, 150, 20, 20)});
    bool found = false;
    findAnchorBlock(page, cv::Rect(20, 20, 100, 100), found);
    QVERIFY(found);
    // Inside the area ink became 255 and paper 0; outside nothing changed.
    QCOMPARE(int(page.at<uchar>(55, 55)), 255);
    QCOMPARE(int(page.at<uchar>(30, 30)), 0);
    QCOMPARE(int(page.at<uchar>(155, 155)), 0);
    QCOMPARE(int(page.at<uchar>(10, 10)), 255);
    QCOMPARE(int(page.at<uchar>(125, 125)), 255);
}

void AnchorsTest::testEqualAreasFirstListedWins()
{
    // Two equal blocks: the one that the contour search lists first wins.
    const QList<QRect> blocks{QRect(30, 40, 14, 14), QRect(80, 90, 14, 14)};
    cv::Mat page = pageWithBlocks(QSize(200, 200), blocks);
    const cv::Rect search(10, 10, 150, 150);

    cv::Mat ink;
    cv::threshold(page(search), ink, 128, 255, cv::THRESH_BINARY_INV);
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(ink, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    QCOMPARE(int(contours.size()), 2);
    const cv::Rect first = cv::boundingRect(contours[0]);

    bool found = false;
    const cv::Rect r = findAnchorBlock(page, search, found);
    QVERIFY(found);
    QCOMPARE(toQt(r), toQt(first));
}

void AnchorsTest::testEmptyImage()
{
    bool found = true;
    const cv::Rect r = findAnchorBlock(cv::Mat(), cv::Rect(0, 0, 50, 50), found);
    QVERIFY(!found);
    QCOMPARE(toQt(r), QRect(0, 0, 0, 0));

    // A two-channel image cannot be made grey; the failure stays inside.
    cv::Mat odd(100, 100, CV_8UC2, cv::Scalar(255, 255));
    found = true;
    findAnchorBlock(odd, cv::Rect(0, 0, 50, 50), found);
    QVERIFY(!found);
}

void AnchorsTest::testCheckCorners_data()
{
    QTest::addColumn<QVector<CornerCheckArea>>("areas");
    QTest::addColumn<int>("pageId");
    QTest::addColumn<float>("margin");
    QTest::addColumn<bool>("passed");
    QTest::addColumn<QString>("errorText");

    const QString unchanged = QStringLiteral("unchanged");
    const QRect topLeft(20, 20, 60, 60);       // holds a 20x20 block
    const QRect bottomRight(220, 220, 60, 60); // holds a 20x20 block
    const QRect blank(120, 20, 60, 60);

    QTest::newRow("no areas on this page")
        << QVector<CornerCheckArea>{corner(2, "左上", blank, 20, 20)} << 1 << 0.2f << true << unchanged;
    QTest::newRow("empty list") << QVector<CornerCheckArea>{} << 1 << 0.2f << true << unchanged;
    QTest::newRow("all pass")
        << QVector<CornerCheckArea>{corner(1, "左上", topLeft, 20, 20), corner(1, "右下", bottomRight, 22, 18)}
        << 1 << 0.2f << true << unchanged;
    QTest::newRow("within margin: |20-24|/24 = 0.167")
        << QVector<CornerCheckArea>{corner(1, "左上", topLeft, 24, 24)} << 1 << 0.2f << true << unchanged;
    QTest::newRow("not found")
        << QVector<CornerCheckArea>{corner(1, "右上", blank, 20, 20)} << 1 << 0.2f << false
        << QStringLiteral("边角检测【右上】失败：未发现检测点。");
    QTest::newRow("too small: |20-30|/30 = 0.33")
        << QVector<CornerCheckArea>{corner(1, "右下", bottomRight, 30, 20)} << 1 << 0.2f << false
        << QStringLiteral("边角检测【右下】失败：检测点大小超出允许误差");
    QTest::newRow("height too large")
        << QVector<CornerCheckArea>{corner(1, "右下", bottomRight, 20, 15)} << 1 << 0.2f << false
        << QStringLiteral("边角检测【右下】失败：检测点大小超出允许误差");
    QTest::newRow("zero expected width always fails")
        << QVector<CornerCheckArea>{corner(1, "左上", topLeft, 0, 20)} << 1 << 10.0f << false
        << QStringLiteral("边角检测【左上】失败：检测点大小超出允许误差");
    QTest::newRow("zero expected height always fails")
        << QVector<CornerCheckArea>{corner(1, "左上", topLeft, 20, 0)} << 1 << 10.0f << false
        << QStringLiteral("边角检测【左上】失败：检测点大小超出允许误差");
    QTest::newRow("stops at the first failing area")
        << QVector<CornerCheckArea>{corner(1, "左上", topLeft, 20, 20), corner(1, "右上", blank, 20, 20),
                                    corner(1, "右下", bottomRight, 40, 40)}
        << 1 << 0.2f << false << QStringLiteral("边角检测【右上】失败：未发现检测点。");
    QTest::newRow("other pages skipped")
        << QVector<CornerCheckArea>{corner(1, "右上", blank, 20, 20), corner(2, "左上", topLeft, 20, 20)}
        << 2 << 0.2f << true << unchanged;
}

void AnchorsTest::testCheckCorners()
{
    QFETCH(QVector<CornerCheckArea>, areas);
    QFETCH(int, pageId);
    QFETCH(float, margin);
    QFETCH(bool, passed);
    QFETCH(QString, errorText);

    cv::Mat page = pageWithBlocks(QSize(300, 300), {QRect(40, 40, 20, 20), QRect(240, 240, 20, 20)});
    QString text = QStringLiteral("unchanged");
    QCOMPARE(checkCorners(areas, pageId, page, text, margin), passed);
    QCOMPARE(text, errorText);
}

void AnchorsTest::testFindCornerPoints_data()
{
    QTest::addColumn<QPoint>("moved");        // where the point is drawn, off its place
    QTest::addColumn<double>("reach");
    QTest::addColumn<bool>("found");

    QTest::newRow("in its area") << QPoint(0, 0) << 0.0 << true;
    QTest::newRow("out of its area, not looked for further") << QPoint(0, 70) << 0.0 << false;
    QTest::newRow("out of its area, within reach") << QPoint(0, 70) << 0.12 << true;
    QTest::newRow("beyond reach") << QPoint(0, -160) << 0.12 << false;
}

// Points are measured on copies: the page keeps its pixels, and a point is
// found where it is, also outside its area when it may be looked for there.
void AnchorsTest::testFindCornerPoints()
{
    QFETCH(QPoint, moved);
    QFETCH(double, reach);
    QFETCH(bool, found);

    const QRect area(40, 1500, 200, 130);
    const QRect point = QRect(120, 1550, 24, 24).translated(moved);
    const cv::Mat page = pageWithBlocks(QSize(1240, 1754), {point, QRect(1000, 1550, 24, 24)});
    const cv::Mat before = page.clone();
    const QVector<CornerCheckArea> areas{corner(1, "左下角", area, 24, 24),
                                         corner(1, "右下角", QRect(940, 1500, 200, 130), 24, 24),
                                         corner(2, "左下角", area, 24, 24)};
    const QVector<FoundCornerPoint> points = findCornerPoints(areas, 1, page, 0.2f, reach);
    QCOMPARE(cv::countNonZero(page != before), 0);
    QCOMPARE(points.size(), found ? 2 : 1);
    QCOMPARE(points.last().area, 1);
    QCOMPARE(points.last().centre, cv::Point(1012, 1562));
    if (found) {
        QCOMPARE(points.first().area, 0);
        QCOMPARE(points.first().centre, cv::Point(point.x() + 12, point.y() + 12));
    }

    // checkCorners reports the same centres for the areas that pass.
    if (moved.isNull()) {
        cv::Mat work = page.clone();
        QString error;
        QVector<FoundCornerPoint> checked;
        QVERIFY(checkCorners(areas, 1, work, error, 0.2f, &checked));
        QCOMPARE(checked.size(), 2);
        QCOMPARE(checked.first().centre, points.first().centre);
    }
}

void AnchorsTest::testRotateZeroKeepsImage()
{
    cv::Mat page(240, 320, CV_8UC1, cv::Scalar(255));
    cv::putText(page, "ABC 123", cv::Point(20, 120), cv::FONT_HERSHEY_SIMPLEX, 1.5, cv::Scalar(0), 3, cv::LINE_AA);
    cv::circle(page, cv::Point(250, 60), 20, cv::Scalar(90), cv::FILLED);
    const cv::Mat before = page.clone();
    rotateImage(page, 0.0f, cv::INTER_LINEAR);
    QCOMPARE(page.size(), before.size());
    QCOMPARE(TestUtil::differingPixels(page, before, 1), 0);
}

void AnchorsTest::testRotateNinetyKeepsSizeWithWhiteCorners()
{
    // All black, wider than high: after a quarter turn only a centred
    // 200-wide band stays black, the sides come in white.
    cv::Mat page(200, 300, CV_8UC1, cv::Scalar(0));
    const cv::Mat alias = page;   // shares the pixels, as the pipeline's headers do
    rotateImage(page, 90.0f, cv::INTER_LINEAR);
    QCOMPARE(page.cols, 300);
    QCOMPARE(page.rows, 200);
    QCOMPARE(int(page.at<uchar>(0, 0)), 255);
    QCOMPARE(int(page.at<uchar>(199, 299)), 255);
    QCOMPARE(int(page.at<uchar>(100, 20)), 255);
    QCOMPARE(int(page.at<uchar>(100, 280)), 255);
    QCOMPARE(int(page.at<uchar>(100, 150)), 0);
    QCOMPARE(int(page.at<uchar>(0, 150)), 0);
    QCOMPARE(int(page.at<uchar>(100, 60)), 0);
    QVERIFY(alias.data == page.data);
}

void AnchorsTest::testRotateDirection_data()
{
    QTest::addColumn<float>("angle");
    QTest::newRow("+90") << 90.0f;
    QTest::newRow("+30") << 30.0f;
    QTest::newRow("-30") << -30.0f;
    QTest::newRow("+2.5") << 2.5f;
}

void AnchorsTest::testRotateDirection()
{
    QFETCH(float, angle);
    // A dot right of the centre; a positive angle moves it up (counter-clockwise on screen).
    cv::Mat page(400, 400, CV_8UC1, cv::Scalar(255));
    const cv::Point2d centre(200, 200);
    const double radius = 120;
    cv::circle(page, cv::Point(int(centre.x + radius), int(centre.y)), 6, cv::Scalar(0), cv::FILLED);
    rotateImage(page, angle, cv::INTER_LINEAR);

    const double a = angle * CV_PI / 180.0;
    const cv::Point2d expected(centre.x + radius * std::cos(a), centre.y - radius * std::sin(a));
    const cv::Point2d got = darkCentroid(page);
    QVERIFY2(cv::norm(got - expected) < 1.5,
             qPrintable(QString("dot at (%1, %2), expected (%3, %4)")
                            .arg(got.x).arg(got.y).arg(expected.x).arg(expected.y)));
}

void AnchorsTest::testRotateEmptyImage()
{
    cv::Mat empty;
    rotateImage(empty, 10.0f, cv::INTER_LINEAR);
    QVERIFY(empty.empty());
}

QTEST_APPLESS_MAIN(AnchorsTest)
#include "anchors_test.moc"
