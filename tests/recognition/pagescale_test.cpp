// Measuring a page's scale from the marks alignment finds, and placing the
// sections at that scale.

#include "pagescale.h"

#include <QtTest>
#include <cmath>

Q_DECLARE_METATYPE(QVector<ScaleMark>)
Q_DECLARE_METATYPE(ScaleMark)

namespace {

const QSize kPage(1240, 1754);
const cv::Point2d kCentre(620, 877);
const cv::Point2d kA(120, 97);
const cv::Point2d kB(1120, 97);
const cv::Point2d kLeftCorner(120, 1657);
const cv::Point2d kRightCorner(1120, 1657);

// Where a template point lands on a page scaled (sx, sy) about its centre,
// then turned by `degrees` (as atan2 grows) and shifted.
cv::Point2d onPage(cv::Point2d p, double sx, double sy, double degrees)
{
    const double t = degrees * CV_PI / 180.0;
    const cv::Point2d d((p.x - kCentre.x) * sx, (p.y - kCentre.y) * sy);
    return kCentre + cv::Point2d(std::cos(t) * d.x - std::sin(t) * d.y, std::sin(t) * d.x + std::cos(t) * d.y)
           + cv::Point2d(7, -4);
}

ScaleMark mark(cv::Point2d p, double sx, double sy, double degrees)
{
    return ScaleMark{p, onPage(p, sx, sy, degrees)};
}

} // namespace

class PageScaleTest : public QObject {
    Q_OBJECT
private slots:
    void testMeasure_data();
    void testMeasure();
    void testScaledSections();
    void testLineTurn();
};

void PageScaleTest::testMeasure_data()
{
    QTest::addColumn<double>("sx");
    QTest::addColumn<double>("sy");
    QTest::addColumn<bool>("corners");       // the two lower corner points besides A and B
    QTest::addColumn<int>("textSpanY");      // printed text instead of A and B: its matched height; 0: none
    QTest::addColumn<double>("textScaleY");  // what the match says along y
    QTest::addColumn<double>("wantX");
    QTest::addColumn<double>("wantY");       // NaN: unknown
    const double unknown = std::numeric_limits<double>::quiet_NaN();

    QTest::newRow("printed smaller, anchors and corners") << 0.97 << 0.97 << true << 0 << 0.0 << 0.97 << 0.97;
    QTest::newRow("feed slipped") << 1.0 << 1.02 << true << 0 << 0.0 << 1.0 << 1.02;
    QTest::newRow("within the noise band") << 1.003 << 0.9965 << true << 0 << 0.0 << 1.0 << 1.0;
    QTest::newRow("just outside the band") << 1.005 << 1.0 << true << 0 << 0.0 << 1.005 << 1.0;
    QTest::newRow("anchors on one row, unscaled across") << 1.0 << 1.02 << false << 0 << 0.0 << 1.0 << 1.0;
    QTest::newRow("anchors on one row, scaled across") << 0.97 << 0.97 << false << 0 << 0.0 << 0.97 << unknown;
    QTest::newRow("text: rough height agrees with printing smaller") << 0.97 << 0.97 << false << 100 << 0.974
                                                                     << 0.97 << 0.97;
    QTest::newRow("text: rough height says unscaled") << 0.97 << 1.0 << false << 100 << 1.004 << 0.97 << 1.0;
    QTest::newRow("text: rough height cannot tell") << 0.99 << 0.99 << false << 100 << 0.994 << 0.99 << unknown;
    QTest::newRow("text: rough height far from both") << 1.0 << 0.95 << false << 100 << 0.953 << 1.0 << 0.953;
    QTest::newRow("text: tall match measures height") << 1.0 << 0.97 << false << 500 << 0.97 << 1.0 << 0.97;
    QTest::newRow("text and corners") << 1.0 << 1.02 << true << 100 << 1.004 << 1.0 << 1.02;
}

void PageScaleTest::testMeasure()
{
    QFETCH(double, sx);
    QFETCH(double, sy);
    QFETCH(bool, corners);
    QFETCH(int, textSpanY);
    QFETCH(double, textScaleY);
    QFETCH(double, wantX);
    QFETCH(double, wantY);

    const double turn = 1.7;
    QVector<ScaleMark> marks;
    if (corners)
        marks << mark(kLeftCorner, sx, sy, turn) << mark(kRightCorner, sx, sy, turn);
    FeatureMatchGeometry text;
    ScaleMark origin;
    if (textSpanY) {
        origin = mark(cv::Point2d(620, 110), sx, sy, turn);
        text.scaleX = sx;
        text.scaleY = textScaleY;
        text.spanX = 420;
        text.spanY = textSpanY;
    } else {
        origin = mark(kA, sx, sy, turn);
        marks << mark(kB, sx, sy, turn);
    }
    const PageScale s = measurePageScale(origin, marks, float(turn), kPage, textSpanY ? &text : nullptr);
    QVERIFY2(std::fabs(s.x - wantX) < 1e-4, qPrintable(QString::number(s.x)));
    if (std::isnan(wantY)) {
        QCOMPARE(s.unknownAxis, 'y');
        QVERIFY(!s.readable());
        QVERIFY(!s.isUnit());
        const QString text = scaleOutOfRangeText(2, s);
        QVERIFY2(text.startsWith(QStringLiteral("第 2 页答卷图片的大小横向是模板的 %1%").arg(wantX * 100, 0, 'f', 1)),
                 qPrintable(text));
    } else {
        QCOMPARE(s.unknownAxis, char(0));
        QVERIFY2(std::fabs(s.y - wantY) < 1e-4, qPrintable(QString::number(s.y)));
        QVERIFY(s.readable());
    }
}

void PageScaleTest::testScaledSections()
{
    TemplateModel m;
    m.codeRect = QRect(100, -50, 40, 20);
    m.codeMarkPointWidth = 20;
    m.codeMarkPointHeight = 10;
    m.hasAbsentMark = true;
    m.absentMarkRect = QRect(300, 0, 60, 30);
    ObjectItem regular;
    regular.page = 1;
    regular.rect = QRect(-200, 400, 120, 18);
    regular.markPointWidth = 32;
    regular.markPointHeight = 18;
    ObjectItem irregular = regular;
    irregular.abnormal = true;
    irregular.options << OptionBox{0, QChar('A'), -180, 402, 30, 18};
    ObjectItem elsewhere = regular;
    elsewhere.page = 2;
    m.objectItems << regular << irregular << elsewhere;
    m.subjectSections << SubjectSection{1, 1, QRect(0, 1000, 1040, 220)} << SubjectSection{2, 1, QRect(0, 1000, 1040, 220)};
    OptionalGroup g;
    g.page = 1;
    g.rect = QRect(60, 600, 120, 18);
    g.markPointWidth = 30;
    g.markPointHeight = 18;
    m.optionalGroups << g;

    PageScale s;
    s.x = 0.95;
    s.y = 1.02;
    const TemplateModel out = scaledSections(m, 1, s);
    // Both edges are scaled: x 95 .. 133, y -51 .. -31 (rounded).
    QCOMPARE(out.codeRect, QRect(95, -51, 38, 20));
    QCOMPARE(QSize(out.codeMarkPointWidth, out.codeMarkPointHeight), QSize(19, 10));
    QCOMPARE(out.absentMarkRect, QRect(285, 0, 57, 31));
    QCOMPARE(out.objectItems[0].rect, QRect(-190, 408, 114, 18));
    QCOMPARE(QSize(out.objectItems[0].markPointWidth, out.objectItems[0].markPointHeight), QSize(30, 18));
    const OptionBox &box = out.objectItems[1].options[0];
    QCOMPARE(QRect(box.x, box.y, box.width, box.height), QRect(-171, 410, 28, 18));
    QCOMPARE(out.objectItems[2].rect, regular.rect);
    QCOMPARE(out.subjectSections[0].rect, QRect(0, 1020, 988, 224));
    QCOMPARE(out.subjectSections[1].rect, QRect(0, 1000, 1040, 220));
    QCOMPARE(out.optionalGroups[0].rect, QRect(57, 612, 114, 18));
    // The code and the absent mark belong to the first page only.
    const TemplateModel second = scaledSections(m, 2, s);
    QCOMPARE(second.codeRect, m.codeRect);
    QCOMPARE(second.objectItems[2].rect, QRect(-190, 408, 114, 18));
}

void PageScaleTest::testLineTurn()
{
    PageScale s;
    s.y = 1.02;
    // A diagonal tilts, a line along either axis does not.
    QVERIFY(std::fabs(lineTurnByScale(cv::Point2d(1, 1), s) - (std::atan2(1.02, 1.0) * 180.0 / CV_PI - 45.0)) < 1e-9);
    QCOMPARE(lineTurnByScale(cv::Point2d(-1000, 0), s), 0.0);
    QCOMPARE(lineTurnByScale(cv::Point2d(0, 300), s), 0.0);
    s.x = 1.02;
    QVERIFY(std::fabs(lineTurnByScale(cv::Point2d(3, -2), s)) < 1e-9);
}

QTEST_GUILESS_MAIN(PageScaleTest)
#include "pagescale_test.moc"
