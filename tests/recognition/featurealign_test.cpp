// Printed-text alignment on drawn pages: shifted, turned and noisy scans.

#include "anchors.h"
#include "featurealign.h"

#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <vector>

namespace {

// Settings defaults of the processing program.
const int kObjectFeatures = 1500;
const int kSceneFeatures = 3000;
const float kScale = 1.05f;
const int kLevels = 2;
const int kMaxDistance = 50;
const int kMinMatches = 10;
const float kAreaMargin = 0.25f;

const char *const kTooFewMatches = "匹配特征点数小于 10，定位失败";
const char *const kTooSteep = "纠偏角度大于 15，定位失败";

// The turn is fitted as y on x over a block of several text lines, which
// falls short of the true turn by about (line block height / width)^2, under
// a tenth here. Allow that much, plus a little measuring noise.
float angleTolerance(float turn)
{
    return 0.1f * std::fabs(turn) + 0.05f;
}

// A printed page: a block of text lines (the anchor text) and some other
// print further down. Binarised, as a scanner's black-and-white mode gives.
struct PrintedPage {
    cv::Mat image;
    cv::Rect patch;     // the designer's text rectangle
    cv::Rect search;    // the designer's search area around it
};

PrintedPage renderPage(bool upright)
{
    cv::Mat page(1000, 820, CV_8UC1, cv::Scalar(255));
    const char *lines[] = {
        "Midterm Examination 2024  Grade 8",
        "Mathematics Paper II  (120 minutes)",
        "Write your name, class and number",
        "clearly in the boxes on the right.",
    };
    for (int i = 0; i < 4; ++i)
        cv::putText(page, lines[i], cv::Point(90, 150 + 42 * i), i == 0 ? cv::FONT_HERSHEY_DUPLEX
                                                                          : cv::FONT_HERSHEY_SIMPLEX,
                    0.95, cv::Scalar(0), 2, cv::LINE_AA);
    const char *other[] = {"1. Solve for x: 3x + 7 = 22", "2. Factorise x^2 - 5x + 6",
                           "3. Draw the graph of y = 2x - 1"};
    for (int i = 0; i < 3; ++i)
        cv::putText(page, other[i], cv::Point(90, 520 + 60 * i), cv::FONT_HERSHEY_COMPLEX, 0.9,
                    cv::Scalar(0), 2, cv::LINE_AA);
    cv::rectangle(page, cv::Rect(60, 720, 700, 220), cv::Scalar(0), 3);
    cv::threshold(page, page, 128, 255, cv::THRESH_BINARY);

    cv::Mat ink = page(cv::Rect(0, 0, page.cols, 400)) < 128;
    std::vector<cv::Point> points;
    cv::findNonZero(ink, points);
    cv::Rect patch = cv::boundingRect(points);
    patch.x -= 6;
    patch.y -= 6;
    patch.width += 12;
    patch.height += 12;

    if (upright) {
        // A column of text printed along the page edge: turn page and patch.
        cv::Mat turned;
        cv::rotate(page, turned, cv::ROTATE_90_CLOCKWISE);
        patch = cv::Rect(page.rows - (patch.y + patch.height), patch.x, patch.height, patch.width);
        page = turned;
    }
    const cv::Rect search(patch.x - 50, patch.y - 50, patch.width + 100, patch.height + 100);
    return PrintedPage{page, patch, search};
}

TemplatePage templateFor(const PrintedPage &p)
{
    TemplatePage t;
    t.id = 1;
    t.width = p.image.cols;
    t.height = p.image.rows;
    t.isRectangleAnchor = false;
    t.printTextMat = p.image(p.patch).clone();
    t.printTextSearchRect = QRect(p.search.x, p.search.y, p.search.width, p.search.height);
    t.printTextCenterX = p.patch.x + p.patch.width / 2;
    t.printTextCenterY = p.patch.y + p.patch.height / 2;
    return t;
}

TemplatePage preparedTemplate(const PrintedPage &p)
{
    TemplatePage t = templateFor(p);
    bool ok = false;
    QString text;
    prepareTemplateFeatures(t, kObjectFeatures, kScale, kLevels, ok, text);
    if (!ok)
        qFatal("template patch not prepared: %s", qPrintable(text));
    return t;
}

cv::Mat toAffine3(const cv::Mat &m)
{
    cv::Mat h = cv::Mat::eye(3, 3, CV_64F);
    m.copyTo(h(cv::Rect(0, 0, 3, 2)));
    return h;
}

cv::Point2d apply(const cv::Mat &m, const cv::Point2d &p)
{
    return cv::Point2d(m.at<double>(0, 0) * p.x + m.at<double>(0, 1) * p.y + m.at<double>(0, 2),
                       m.at<double>(1, 0) * p.x + m.at<double>(1, 1) * p.y + m.at<double>(1, 2));
}

// The scan: the page turned about its centre (positive: counter-clockwise),
// shifted and with grey noise. `transform` maps page to scan pixels.
cv::Mat scanOf(const cv::Mat &page, float angle, int dx, int dy, double noise, cv::Mat &transform)
{
    transform = cv::getRotationMatrix2D(cv::Point2f(page.cols * 0.5f, page.rows * 0.5f), angle, 1.0);
    transform.at<double>(0, 2) += dx;
    transform.at<double>(1, 2) += dy;
    cv::Mat scan;
    cv::warpAffine(page, scan, transform, page.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                   cv::Scalar(255));
    if (noise > 0) {
        cv::Mat n(scan.size(), CV_16SC1);
        cv::RNG rng(12345);
        rng.fill(n, cv::RNG::NORMAL, 0, noise);
        cv::Mat s16;
        scan.convertTo(s16, CV_16SC1);
        s16 += n;
        s16.convertTo(scan, CV_8UC1);
    }
    return scan;
}

struct Located {
    bool found = false;
    cv::Point offset{-1, -1};
    float angle = 999.0f;
    QString error;
};

Located locate(const TemplatePage &t, const cv::Mat &scan, const cv::Rect *override = nullptr,
               float areaMargin = kAreaMargin)
{
    Located r;
    r.found = true;
    locateByFeatures(t, scan, kSceneFeatures, kMaxDistance, kScale, kLevels, kMinMatches, areaMargin,
                     r.found, r.offset, r.angle, r.error, override);
    return r;
}

QString describe(const Located &r)
{
    return QString("found=%1 offset=(%2, %3) angle=%4 error=%5")
        .arg(r.found).arg(r.offset.x).arg(r.offset.y).arg(r.angle).arg(r.error);
}

} // namespace

class FeatureAlignTest : public QObject
{
    Q_OBJECT

private slots:
    void testPrepare();
    void testPrepareLeavesPreparedPageAlone();
    void testPrepareFailures_data();
    void testPrepareFailures();
    void testAlignedPageGivesPatchCentre();
    void testLocate_data();
    void testLocate();
    void testLocateFailures_data();
    void testLocateFailures();
    void testProcessingErrorsBecomeFailures_data();
    void testProcessingErrorsBecomeFailures();
    void testSearchAreaOutsideLeavesTextUnchanged_data();
    void testSearchAreaOutsideLeavesTextUnchanged();
    void testAreaMarginText();
    void testFitLineAngle_data();
    void testFitLineAngle();
};

void FeatureAlignTest::testPrepare()
{
    const PrintedPage p = renderPage(false);
    TemplatePage t = templateFor(p);
    bool ok = false;
    QString text = QStringLiteral("unchanged");
    prepareTemplateFeatures(t, kObjectFeatures, kScale, kLevels, ok, text);
    QVERIFY(ok);
    QVERIFY(t.featuresReady);
    QVERIFY(t.keyPoints.size() >= 10);
    QCOMPARE(t.descriptors.rows, int(t.keyPoints.size()));
    QCOMPARE(text, QStringLiteral("unchanged"));
}

void FeatureAlignTest::testPrepareLeavesPreparedPageAlone()
{
    const PrintedPage p = renderPage(false);
    TemplatePage t = preparedTemplate(p);
    const size_t count = t.keyPoints.size();
    t.printTextMat = cv::Mat();   // would fail if it were looked at again
    bool ok = false;
    QString text = QStringLiteral("unchanged");
    prepareTemplateFeatures(t, kObjectFeatures, kScale, kLevels, ok, text);
    QVERIFY(!ok);
    QCOMPARE(text, QStringLiteral("unchanged"));
    QCOMPARE(t.keyPoints.size(), count);
    QVERIFY(t.featuresReady);
}

void FeatureAlignTest::testPrepareFailures_data()
{
    QTest::addColumn<int>("kind");       // 0 blank patch, 1 no image data, 2 bad pyramid
    QTest::addColumn<QString>("errorStart");
    QTest::newRow("blank patch")
        << 0 << QStringLiteral("目标特征点数小于 10。可能是设置的印刷体文字区域包含的内容不够丰富，不够多。");
    QTest::newRow("unusable image data") << 1 << QStringLiteral("印刷体定位区域的图像数据无效，请重新制作模板。");
    QTest::newRow("image processing error") << 2 << QStringLiteral("计算印刷体定位区域的特征点出错：");
}

void FeatureAlignTest::testPrepareFailures()
{
    QFETCH(int, kind);
    QFETCH(QString, errorStart);
    TemplatePage t;
    t.isRectangleAnchor = false;
    float scale = kScale;
    if (kind == 0)
        t.printTextMat = cv::Mat(80, 300, CV_8UC1, cv::Scalar(255));
    else if (kind == 2) {
        t.printTextMat = renderPage(false).image(cv::Rect(0, 0, 600, 300)).clone();
        t.printTextMat.convertTo(t.printTextMat, CV_32F);   // ORB needs 8-bit pixels
    }
    bool ok = true;
    QString text;
    prepareTemplateFeatures(t, kObjectFeatures, scale, kLevels, ok, text);
    QVERIFY(!ok);
    QVERIFY(!t.featuresReady);
    QVERIFY2(text.startsWith(errorStart), qPrintable(text));
    if (kind == 0)
        QCOMPARE(text, errorStart);
}

void FeatureAlignTest::testAlignedPageGivesPatchCentre()
{
    // The search area placed exactly on the designer's patch of the blank page.
    const PrintedPage p = renderPage(false);
    const TemplatePage t = preparedTemplate(p);
    const Located r = locate(t, p.image, &p.patch);
    QVERIFY2(r.found, qPrintable(describe(r)));
    QCOMPARE(r.offset, cv::Point(p.patch.width / 2, p.patch.height / 2));
    QVERIFY2(std::fabs(r.angle) < 0.05f, qPrintable(describe(r)));

    // With the designer's wider search area the centre sits 50 pixels further in.
    const Located wide = locate(t, p.image);
    QVERIFY2(wide.found, qPrintable(describe(wide)));
    QVERIFY2(std::abs(wide.offset.x - (50 + p.patch.width / 2)) <= 1
                 && std::abs(wide.offset.y - (50 + p.patch.height / 2)) <= 1,
             qPrintable(describe(wide)));
}

void FeatureAlignTest::testLocate_data()
{
    QTest::addColumn<bool>("upright");
    QTest::addColumn<float>("angle");
    QTest::addColumn<int>("dx");
    QTest::addColumn<int>("dy");
    QTest::addColumn<double>("noise");

    QTest::newRow("shifted") << false << 0.0f << 17 << -11 << 0.0;
    QTest::newRow("shifted, noisy") << false << 0.0f << -23 << 14 << 12.0;
    QTest::newRow("+1 degree") << false << 1.0f << 8 << 5 << 8.0;
    QTest::newRow("-2 degrees") << false << -2.0f << -12 << 9 << 8.0;
    QTest::newRow("+3 degrees") << false << 3.0f << 20 << 20 << 10.0;
    QTest::newRow("-3 degrees, noisy") << false << -3.0f << 5 << -15 << 15.0;
    QTest::newRow("upright text, +2 degrees") << true << 2.0f << 10 << -6 << 8.0;
    QTest::newRow("upright text, -3 degrees") << true << -3.0f << -9 << 12 << 8.0;
}

void FeatureAlignTest::testLocate()
{
    QFETCH(bool, upright);
    QFETCH(float, angle);
    QFETCH(int, dx);
    QFETCH(int, dy);
    QFETCH(double, noise);

    const PrintedPage p = renderPage(upright);
    const TemplatePage t = preparedTemplate(p);
    cv::Mat transform;
    cv::Mat scan = scanOf(p.image, angle, dx, dy, noise, transform);
    const cv::Point2d patchCentre(p.patch.x + p.patch.width / 2, p.patch.y + p.patch.height / 2);
    const cv::Point2d searchCorner(std::max(p.search.x, 0), std::max(p.search.y, 0));

    // First search: the turn that undoes the scan's, the centre roughly.
    const Located first = locate(t, scan);
    QVERIFY2(first.found, qPrintable(describe(first)));
    QVERIFY2(std::fabs(first.angle + angle) <= angleTolerance(angle), qPrintable(describe(first)));
    const cv::Point2d expected1 = apply(transform, patchCentre) - searchCorner;
    QVERIFY2(cv::norm(cv::Point2d(first.offset) - expected1) < 5.0,
             qPrintable(describe(first) + QString(" expected (%1, %2)").arg(expected1.x).arg(expected1.y)));

    // Deskew as the page pipeline does and search again.
    if (std::fabs(first.angle) > 0.01f)
        rotateImage(scan, first.angle, cv::INTER_LINEAR);
    const cv::Mat deskew = cv::getRotationMatrix2D(cv::Point2f(scan.cols * 0.5f, scan.rows * 0.5f),
                                                   first.angle, 1.0);
    const cv::Mat total = toAffine3(deskew) * toAffine3(transform);
    const Located second = locate(t, scan);
    QVERIFY2(second.found, qPrintable(describe(second)));
    QVERIFY2(std::fabs(second.angle) <= angleTolerance(angle), qPrintable(describe(second)));
    const cv::Point2d expected2 = apply(total, patchCentre) - searchCorner;
    QVERIFY2(cv::norm(cv::Point2d(second.offset) - expected2) < 2.5,
             qPrintable(describe(second) + QString(" expected (%1, %2)").arg(expected2.x).arg(expected2.y)));
}

void FeatureAlignTest::testLocateFailures_data()
{
    QTest::addColumn<int>("kind");   // 0 blank page, 1 turned 20 degrees, 2 unprepared, 3 turned 180
    QTest::addColumn<QString>("error");

    QTest::newRow("blank page") << 0 << QStringLiteral("场景特征点数小于 10，定位失败");
    QTest::newRow("turned 20 degrees") << 1 << QString::fromUtf8(kTooSteep);
    QTest::newRow("template never prepared") << 2 << QString::fromUtf8(kTooFewMatches);
    QTest::newRow("turned 180 degrees") << 3 << QStringLiteral("图片可能180度旋转了，定位失败");
}

void FeatureAlignTest::testLocateFailures()
{
    QFETCH(int, kind);
    QFETCH(QString, error);

    const PrintedPage p = renderPage(false);
    TemplatePage t = kind == 2 ? templateFor(p) : preparedTemplate(p);
    cv::Mat scan;
    cv::Mat transform;
    cv::Rect search = p.search;
    switch (kind) {
    case 0:
        scan = cv::Mat(p.image.size(), CV_8UC1, cv::Scalar(255));
        break;
    case 1:
        scan = scanOf(p.image, 20.0f, 0, 0, 0.0, transform);
        // Widen the search so that the turned text still lies inside it.
        search = cv::Rect(p.search.x - 40, p.search.y - 120, p.search.width + 80, p.search.height + 240);
        break;
    case 2:
        scan = p.image.clone();
        break;
    case 3:
        cv::rotate(p.image, scan, cv::ROTATE_180);
        search = cv::Rect(scan.cols - (p.search.x + p.search.width), scan.rows - (p.search.y + p.search.height),
                          p.search.width, p.search.height);
        break;
    }
    const Located r = locate(t, scan, &search);
    QVERIFY2(!r.found, qPrintable(describe(r)));
    QCOMPARE(r.error, error);
}

void FeatureAlignTest::testProcessingErrorsBecomeFailures_data()
{
    QTest::addColumn<int>("kind");   // 0 float page, 1 descriptors without their keypoints
    QTest::newRow("page of float pixels") << 0;
    QTest::newRow("descriptors without keypoints") << 1;
}

void FeatureAlignTest::testProcessingErrorsBecomeFailures()
{
    QFETCH(int, kind);
    const PrintedPage p = renderPage(false);
    TemplatePage t = preparedTemplate(p);
    cv::Mat scan = p.image;
    if (kind == 0)
        p.image.convertTo(scan, CV_32F);
    else
        t.keyPoints.resize(3);
    const Located r = locate(t, scan);
    QVERIFY(!r.found);
    QVERIFY2(r.error.startsWith(QStringLiteral("印刷体定位时图像处理出错：")), qPrintable(r.error));
}

void FeatureAlignTest::testSearchAreaOutsideLeavesTextUnchanged_data()
{
    QTest::addColumn<QRect>("search");
    QTest::newRow("starts right of the page") << QRect(900, 100, 200, 200);
    QTest::newRow("starts below the page") << QRect(100, 1000, 200, 200);
    QTest::newRow("empty") << QRect(100, 100, 0, 0);
    QTest::newRow("negative size") << QRect(100, 100, -50, 80);
}

void FeatureAlignTest::testSearchAreaOutsideLeavesTextUnchanged()
{
    QFETCH(QRect, search);
    const PrintedPage p = renderPage(false);
    const TemplatePage t = preparedTemplate(p);
    const cv::Rect r(search.x(), search.y(), search.width(), search.height());
    Located got;
    got.found = true;
    got.error = QStringLiteral("unchanged");
    locateByFeatures(t, p.image, kSceneFeatures, kMaxDistance, kScale, kLevels, kMinMatches, kAreaMargin,
                     got.found, got.offset, got.angle, got.error, &r);
    QVERIFY(!got.found);
    QCOMPARE(got.error, QStringLiteral("unchanged"));

    // The template's own search area behaves the same.
    TemplatePage own = t;
    own.printTextSearchRect = search;
    got.found = true;
    locateByFeatures(own, p.image, kSceneFeatures, kMaxDistance, kScale, kLevels, kMinMatches, kAreaMargin,
                     got.found, got.offset, got.angle, got.error);
    QVERIFY(!got.found);
    QCOMPARE(got.error, QStringLiteral("unchanged"));
}

void FeatureAlignTest::testAreaMarginText()
{
    // A negative margin can never be met: the area check must fail and name it.
    const PrintedPage p = renderPage(false);
    const TemplatePage t = preparedTemplate(p);
    const Located r = locate(t, p.image, nullptr, -0.25f);
    QVERIFY(!r.found);
    QCOMPARE(r.error, QStringLiteral("匹配区域面积误差超过 -0.25，定位失败。"));

    cv::Mat transform;
    const cv::Mat scan = scanOf(p.image, 2.0f, 0, 0, 8.0, transform);
    const Located turned = locate(t, scan, nullptr, -0.2f);
    QVERIFY(!turned.found);
    QCOMPARE(turned.error, QStringLiteral("匹配区域面积误差超过 -0.2，定位失败。"));
}

void FeatureAlignTest::testFitLineAngle_data()
{
    QTest::addColumn<double>("slope");
    QTest::addColumn<double>("intercept");
    QTest::addColumn<bool>("sameColumn");
    QTest::addColumn<int>("count");

    QTest::newRow("slope 0.1") << 0.1 << 5.0 << false << 40;
    QTest::newRow("slope -0.2") << -0.2 << 300.0 << false << 40;
    QTest::newRow("flat") << 0.0 << 42.0 << false << 40;
    QTest::newRow("two points") << 0.05 << -7.0 << false << 2;
    // Singular: the solver leaves the zero solution.
    QTest::newRow("all points in one column") << 0.0 << 0.0 << true << 40;
    QTest::newRow("no points") << 0.0 << 0.0 << false << 0;
}

void FeatureAlignTest::testFitLineAngle()
{
    QFETCH(double, slope);
    QFETCH(double, intercept);
    QFETCH(bool, sameColumn);
    QFETCH(int, count);

    std::vector<cv::Point2f> points;
    for (int i = 0; i < count; ++i) {
        const float x = sameColumn ? 37.0f : 10.0f + 12.5f * i;
        const float y = sameColumn ? 3.0f * i : float(intercept + slope * x);
        points.emplace_back(x, y);
    }
    float gotSlope = 99, gotIntercept = 99;
    const float a = fitLineAngle(points, gotSlope, gotIntercept, 600, 400);
    QVERIFY2(std::fabs(gotSlope - slope) < 1e-4, qPrintable(QString::number(gotSlope)));
    QVERIFY2(std::fabs(gotIntercept - intercept) < 1e-2, qPrintable(QString::number(gotIntercept)));
    const double expected = std::atan(slope) * 180.0 / 3.1415926;
    QVERIFY2(std::fabs(a - expected) < 1e-4, qPrintable(QString("%1 vs %2").arg(a).arg(expected)));
}

QTEST_APPLESS_MAIN(FeatureAlignTest)
#include "featurealign_test.moc"
