// The region detectors: the marks they pick on drawn pages, and the canvas
// cutting the page under the selection at any zoom, at the page edges and
// when the file is no longer what the canvas shows.

#include "canvasfixture.h"
#include "designertestutil.h"
#include "detectors.h"
#include "messagebox.h"
#include "omrresources.h"

#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <functional>
#include <memory>

namespace {

using Draw = std::function<void(cv::Mat &)>;

const cv::Scalar kInk(0, 0, 0);

// White colour paper with whatever `draw` puts on it.
cv::Mat paper(int width, int height, const Draw &draw)
{
    cv::Mat page(height, width, CV_8UC3, cv::Scalar(255, 255, 255));
    if (draw)
        draw(page);
    return page;
}

Draw box(int x, int y, int w, int h)
{
    return [=](cv::Mat &page) { page(cv::Rect(x, y, w, h)).setTo(kInk); };
}

Draw both(Draw first, Draw second)
{
    return [=](cv::Mat &page) {
        first(page);
        second(page);
    };
}

// A solid box with its top-right corner cut away.
Draw notched(int x, int y, int w, int h, int notchW, int notchH)
{
    return [=](cv::Mat &page) {
        page(cv::Rect(x, y, w, h)).setTo(kInk);
        page(cv::Rect(x + w - notchW, y, notchW, notchH)).setTo(cv::Scalar(255, 255, 255));
    };
}

Draw frame(int x, int y, int w, int h, int thickness)
{
    return [=](cv::Mat &page) {
        page(cv::Rect(x, y, w, h)).setTo(kInk);
        page(cv::Rect(x + thickness, y + thickness, w - 2 * thickness, h - 2 * thickness))
            .setTo(cv::Scalar(255, 255, 255));
    };
}

// A filled square of side `side` turned by 45 degrees around (cx, cy).
Draw diamond(int cx, int cy, int side)
{
    return [=](cv::Mat &page) {
        const int r = int(side / 1.4142);
        std::vector<cv::Point> p{{cx, cy - r}, {cx + r, cy}, {cx, cy + r}, {cx - r, cy}};
        cv::fillConvexPoly(page, p, kInk);
    };
}

// Bubble outlines `cols` x `rows` of size w x h, the first at (x, y).
Draw rings(int x, int y, int w, int h, int cols, int rows, int pitchX, int pitchY)
{
    return [=](cv::Mat &page) {
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) {
                const cv::Point centre(x + c * pitchX + w / 2, y + r * pitchY + h / 2);
                cv::ellipse(page, centre, cv::Size(w / 2, h / 2), 0, 0, 360, kInk, 2, cv::LINE_8);
            }
    };
}

Draw grey(int x, int y, int w, int h, int level)
{
    return [=](cv::Mat &page) { page(cv::Rect(x, y, w, h)).setTo(cv::Scalar(level, level, level)); };
}

} // namespace

Q_DECLARE_METATYPE(Draw)
Q_DECLARE_METATYPE(cv::Rect)
Q_DECLARE_METATYPE(cv::Point)
Q_DECLARE_METATYPE(cv::Mat)

class DetectorsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void blackRectangle_data();
    void blackRectangle();
    void bubbleArea_data();
    void bubbleArea();
    void largestMark_data();
    void largestMark();
    void blankPaperFindsNothing_data();
    void blankPaperFindsNothing();

    void pageRegion_data();
    void pageRegion();

    void canvasCutsTheSelection_data();
    void canvasCutsTheSelection();
    void selectionOffThePageIsNotFound_data();
    void selectionOffThePageIsNotFound();
    void fileSmallerThanTheShownPage();
    void unreadableFileIsAMessage();
    void noSelectionRectangle();
    void renderedBlankPage_data();
    void renderedBlankPage();
};

void DetectorsTest::initTestCase()
{
    initOmrResources();
}

// Expected box, or an empty rect for "not found".
static void runFinder(RegionDetectors::Finder find, const cv::Mat &page, const cv::Rect &expected)
{
    cv::Rect found(-1, -1, -1, -1);
    const bool ok = find(page, &found);
    QCOMPARE(ok, !expected.empty());
    if (ok)
        QCOMPARE(found, expected);
    else
        QCOMPARE(found, cv::Rect(-1, -1, -1, -1)); // the out-rectangle stays untouched
}

void DetectorsTest::blackRectangle_data()
{
    QTest::addColumn<Draw>("draw");
    QTest::addColumn<cv::Rect>("expected");

    const cv::Rect none;
    QTest::newRow("solid 40x24") << box(30, 20, 40, 24) << cv::Rect(30, 20, 40, 24);
    QTest::newRow("at the corner") << box(0, 0, 40, 24) << cv::Rect(0, 0, 40, 24);
    // The contour of an n x m block of pixels encloses (n-1) x (m-1).
    QTest::newRow("area exactly 100") << box(30, 20, 11, 11) << none;
    QTest::newRow("area 110") << box(30, 20, 12, 11) << cv::Rect(30, 20, 12, 11);
    QTest::newRow("ratio 0.2") << box(30, 20, 10, 50) << cv::Rect(30, 20, 10, 50);
    QTest::newRow("ratio 5.0") << box(30, 20, 50, 10) << cv::Rect(30, 20, 50, 10);
    QTest::newRow("ratio below 0.2") << box(30, 20, 9, 50) << none;
    QTest::newRow("ratio above 5.0") << box(30, 20, 51, 10) << none;
    QTest::newRow("fill 0.8") << notched(30, 20, 50, 20, 20, 10) << cv::Rect(30, 20, 50, 20);
    QTest::newRow("fill 0.79") << notched(30, 20, 50, 20, 21, 10) << none;
    QTest::newRow("ring") << frame(30, 20, 60, 60, 6) << none;
    QTest::newRow("turned square") << diamond(80, 60, 50) << none;
    QTest::newRow("larger of two") << both(box(10, 10, 20, 20), box(60, 40, 30, 30)) << cv::Rect(60, 40, 30, 30);
    // A ring bigger than the block does not hide it.
    QTest::newRow("block beside a ring") << both(frame(5, 5, 90, 90, 4), box(110, 30, 20, 20))
                                         << cv::Rect(110, 30, 20, 20);
    // Grey print is ink too once Otsu splits it from the paper.
    QTest::newRow("dark grey") << grey(30, 20, 40, 24, 90) << cv::Rect(30, 20, 40, 24);
}

void DetectorsTest::blackRectangle()
{
    QFETCH(Draw, draw);
    QFETCH(cv::Rect, expected);
    runFinder(RegionDetectors::findBlackRectangle, paper(160, 120, draw), expected);
}

void DetectorsTest::bubbleArea_data()
{
    QTest::addColumn<Draw>("draw");
    QTest::addColumn<cv::Rect>("expected");

    const cv::Rect none;
    // Ellipses of axes (10, 6) and thickness 2 reach one pixel past them.
    QTest::newRow("grid of rings") << rings(20, 10, 20, 12, 4, 3, 30, 20) << cv::Rect(19, 9, 113, 55);
    QTest::newRow("one ring") << rings(20, 10, 20, 12, 1, 1, 30, 20) << cv::Rect(19, 9, 23, 15);
    QTest::newRow("specks left out") << both(rings(40, 40, 20, 12, 2, 1, 30, 20), box(5, 5, 4, 4))
                                     << cv::Rect(39, 39, 53, 15);
    QTest::newRow("a rule left out") << both(rings(40, 40, 20, 12, 2, 1, 30, 20), box(5, 100, 150, 3))
                                     << cv::Rect(39, 39, 53, 15);
    QTest::newRow("area exactly 100 counts") << both(box(10, 10, 11, 11), box(100, 80, 11, 11))
                                             << cv::Rect(10, 10, 101, 81);
    QTest::newRow("filled blocks count") << both(box(10, 10, 20, 20), box(60, 70, 30, 30))
                                         << cv::Rect(10, 10, 80, 90);
    QTest::newRow("only specks") << both(box(10, 10, 5, 5), box(100, 80, 9, 9)) << none;
    QTest::newRow("only rules") << both(box(5, 10, 150, 3), box(10, 20, 3, 90)) << none;
}

void DetectorsTest::bubbleArea()
{
    QFETCH(Draw, draw);
    QFETCH(cv::Rect, expected);
    runFinder(RegionDetectors::findBubbleArea, paper(160, 120, draw), expected);
}

void DetectorsTest::largestMark_data()
{
    QTest::addColumn<Draw>("draw");
    QTest::addColumn<cv::Rect>("expected");

    const cv::Rect none;
    QTest::newRow("one ring") << rings(20, 10, 20, 12, 1, 1, 30, 20) << cv::Rect(19, 9, 23, 15);
    QTest::newRow("largest of a grid") << both(rings(20, 10, 20, 12, 3, 1, 30, 20), rings(30, 60, 30, 18, 1, 1, 0, 0))
                                       << cv::Rect(29, 59, 33, 21);
    // Unlike the black rectangle, a ring is a mark.
    QTest::newRow("hollow frame") << frame(30, 20, 60, 40, 3) << cv::Rect(30, 20, 60, 40);
    QTest::newRow("area exactly 100") << box(30, 20, 11, 11) << none;
    QTest::newRow("ratio 5.0") << box(30, 20, 50, 10) << cv::Rect(30, 20, 50, 10);
    QTest::newRow("ratio above 5.0") << box(30, 20, 51, 10) << none;
}

void DetectorsTest::largestMark()
{
    QFETCH(Draw, draw);
    QFETCH(cv::Rect, expected);
    runFinder(RegionDetectors::findLargestMark, paper(160, 120, draw), expected);
}

void DetectorsTest::blankPaperFindsNothing_data()
{
    QTest::addColumn<cv::Mat>("page");

    QTest::newRow("white") << paper(160, 120, {});
    QTest::newRow("tinted paper") << cv::Mat(120, 160, CV_8UC3, cv::Scalar(200, 220, 230));
    QTest::newRow("one pixel") << paper(1, 1, {});
    QTest::newRow("empty") << cv::Mat();
}

// A selection over plain paper must not come back as one big black box.
void DetectorsTest::blankPaperFindsNothing()
{
    QFETCH(cv::Mat, page);
    for (RegionDetectors::Finder find : {RegionDetectors::findBlackRectangle, RegionDetectors::findBubbleArea,
                        RegionDetectors::findLargestMark})
        runFinder(find, page, cv::Rect());
}

void DetectorsTest::pageRegion_data()
{
    QTest::addColumn<cv::Rect>("selection");
    QTest::addColumn<float>("zoom");
    QTest::addColumn<bool>("truncate");
    QTest::addColumn<cv::Rect>("region");
    QTest::addColumn<cv::Point>("origin");

    // Page 400 x 300, shown at the zoom.
    QTest::newRow("zoom 1") << cv::Rect(10, 20, 100, 50) << 1.0f << true << cv::Rect(10, 20, 100, 50)
                            << cv::Point(10, 20);
    QTest::newRow("zoom 2: halved") << cv::Rect(400, 100, 200, 60) << 2.0f << false << cv::Rect(200, 50, 100, 30)
                                    << cv::Point(200, 50);
    QTest::newRow("zoom 2, odd: truncated") << cv::Rect(21, 21, 41, 41) << 2.0f << true
                                            << cv::Rect(10, 10, 20, 20) << cv::Point(10, 10);
    QTest::newRow("zoom 2, odd: rounded") << cv::Rect(21, 21, 41, 41) << 2.0f << false
                                          << cv::Rect(11, 11, 21, 21) << cv::Point(11, 11);
    QTest::newRow("zoom 0.5: doubled") << cv::Rect(50, 40, 30, 20) << 0.5f << true << cv::Rect(100, 80, 60, 40)
                                       << cv::Point(100, 80);
    QTest::newRow("past the right edge") << cv::Rect(350, 10, 100, 50) << 1.0f << true
                                         << cv::Rect(350, 10, 50, 50) << cv::Point(350, 10);
    QTest::newRow("past the bottom at zoom 2") << cv::Rect(100, 560, 100, 100) << 2.0f << false
                                               << cv::Rect(50, 280, 50, 20) << cv::Point(50, 280);
    QTest::newRow("before the left edge") << cv::Rect(-20, 10, 100, 50) << 1.0f << true
                                          << cv::Rect(0, 10, 80, 50) << cv::Point(-20, 10);
    QTest::newRow("wholly outside") << cv::Rect(500, 10, 100, 50) << 1.0f << true << cv::Rect()
                                    << cv::Point(500, 10);
    QTest::newRow("zero width") << cv::Rect(10, 10, 0, 50) << 1.0f << true << cv::Rect() << cv::Point(10, 10);
}

void DetectorsTest::pageRegion()
{
    QFETCH(cv::Rect, selection);
    QFETCH(float, zoom);
    QFETCH(bool, truncate);
    QFETCH(cv::Rect, region);
    QFETCH(cv::Point, origin);

    const cv::Size shown(int(400 * zoom), int(300 * zoom));
    const auto r = RegionDetectors::pageRegion(selection, shown, zoom,
                                               truncate ? RegionDetectors::Rounding::Truncate
                                                        : RegionDetectors::Rounding::Nearest,
                                               cv::Size(400, 300));
    QCOMPARE(r.region, region);
    if (!region.empty())
        QCOMPARE(r.origin, origin);
}

// What the three canvas detectors answer for one selection.
struct CanvasAnswers {
    bool black = false;
    QRect blackBox;
    bool area = false;
    QRect areaBox;
    bool mark = false;
    QRect markBox;
};

static CanvasAnswers askCanvas(MyLabel *canvas)
{
    CanvasAnswers a;
    a.blackBox = canvas->detectBlackRectangle(a.black);
    a.areaBox = QRect(-1, -1, -1, -1);
    a.area = canvas->detectBubbleArea(a.areaBox);
    a.markBox = QRect(-1, -1, -1, -1);
    a.mark = canvas->measureMarkPoint(a.markBox);
    return a;
}

// A scene showing `page` at `zoom`.
static std::unique_ptr<CanvasScene> showAt(const cv::Mat &page, float zoom)
{
    auto scene = std::make_unique<CanvasScene>();
    scene->canvas->scale = zoom;
    scene->canvas->loadImage(scene->write(QStringLiteral("页面.png"), page), 1);
    return scene;
}

void DetectorsTest::canvasCutsTheSelection_data()
{
    QTest::addColumn<float>("zoom");
    QTest::addColumn<QPoint>("block");         // a solid 40 x 30 block on a 400 x 300 page
    QTest::addColumn<QRect>("selection");      // canvas pixels
    QTest::addColumn<QRect>("expected");       // page pixels from the selection's top-left

    // Every detector finds the block. At (350, 250) it reaches the page's
    // bottom-right corner, at (5, 5) nearly its top-left one.
    const QPoint corner(350, 250);
    const QPoint start(5, 5);
    QTest::newRow("zoom 1 inside") << 1.0f << corner << QRect(300, 200, 100, 100) << QRect(50, 50, 40, 30);
    QTest::newRow("zoom 1 past the corner") << 1.0f << corner << QRect(340, 240, 200, 200) << QRect(10, 10, 40, 30);
    QTest::newRow("zoom 2 inside") << 2.0f << corner << QRect(600, 400, 200, 200) << QRect(50, 50, 40, 30);
    QTest::newRow("zoom 2 past the corner") << 2.0f << corner << QRect(680, 480, 400, 400) << QRect(10, 10, 40, 30);
    QTest::newRow("zoom 0.5 inside") << 0.5f << corner << QRect(150, 100, 50, 50) << QRect(50, 50, 40, 30);
    QTest::newRow("zoom 0.5 past the corner") << 0.5f << corner << QRect(170, 120, 100, 100)
                                              << QRect(10, 10, 40, 30);
    QTest::newRow("mark at the selection's corner") << 1.0f << corner << QRect(350, 250, 50, 50)
                                                    << QRect(0, 0, 40, 30);
    // Measured from where the selection starts, off the page.
    QTest::newRow("zoom 1 before the top-left") << 1.0f << start << QRect(-20, -10, 100, 100) << QRect(25, 15, 40, 30);
    QTest::newRow("zoom 2 before the top-left") << 2.0f << start << QRect(-40, -20, 200, 200) << QRect(25, 15, 40, 30);
    QTest::newRow("zoom 0.5 before the left") << 0.5f << start << QRect(-10, 0, 50, 50) << QRect(25, 5, 40, 30);
}

void DetectorsTest::canvasCutsTheSelection()
{
    QFETCH(float, zoom);
    QFETCH(QPoint, block);
    QFETCH(QRect, selection);
    QFETCH(QRect, expected);

    const auto scene = showAt(paper(400, 300, box(block.x(), block.y(), 40, 30)), zoom);
    scene->canvas->rubberBand->setGeometry(selection);
    MessageBoxRecorder boxes;
    const CanvasAnswers a = askCanvas(scene->canvas);
    QCOMPARE(boxes.count(), 0);
    QVERIFY(a.black);
    QCOMPARE(a.blackBox, expected);
    QVERIFY(a.area);
    QCOMPARE(a.areaBox, expected);
    QVERIFY(a.mark);
    QCOMPARE(a.markBox, expected);
}

void DetectorsTest::selectionOffThePageIsNotFound_data()
{
    QTest::addColumn<float>("zoom");
    QTest::addColumn<QRect>("selection");

    QTest::newRow("right of the page, zoom 1") << 1.0f << QRect(420, 10, 50, 50);
    QTest::newRow("below the page, zoom 2") << 2.0f << QRect(10, 620, 100, 100);
    QTest::newRow("left of the page, zoom 0.5") << 0.5f << QRect(-80, 10, 60, 60);
    QTest::newRow("one pixel wide") << 1.0f << QRect(100, 100, 1, 50);
    QTest::newRow("zero size") << 2.0f << QRect(100, 100, 0, 0);
}

// Nothing to examine: "not found", quietly, and the out-rectangles untouched.
void DetectorsTest::selectionOffThePageIsNotFound()
{
    QFETCH(float, zoom);
    QFETCH(QRect, selection);

    const auto scene = showAt(paper(400, 300, box(100, 100, 40, 30)), zoom);
    scene->canvas->rubberBand->setGeometry(selection);
    MessageBoxRecorder boxes;
    const CanvasAnswers a = askCanvas(scene->canvas);
    QCOMPARE(boxes.count(), 0);
    QVERIFY(!a.black);
    QCOMPARE(a.blackBox, QRect(0, 0, 0, 0));
    QVERIFY(!a.area);
    QCOMPARE(a.areaBox, QRect(-1, -1, -1, -1));
    QVERIFY(!a.mark);
    QCOMPARE(a.markBox, QRect(-1, -1, -1, -1));
}

// The file was replaced by a smaller image after it was shown: the page
// limits of the shown image reach past it, the file's own size cuts them.
void DetectorsTest::fileSmallerThanTheShownPage()
{
    const auto scene = showAt(paper(400, 300, {}), 2.0f);
    scene->write(QStringLiteral("页面.png"), paper(200, 150, box(170, 120, 30, 30)));
    scene->canvas->rubberBand->setGeometry(QRect(300, 200, 400, 300));   // page (150, 100) to (350, 250)
    MessageBoxRecorder boxes;
    const CanvasAnswers a = askCanvas(scene->canvas);
    QCOMPARE(boxes.count(), 0);
    QVERIFY(a.black);
    QCOMPARE(a.blackBox, QRect(20, 20, 30, 30));
    QCOMPARE(a.areaBox, QRect(20, 20, 30, 30));
    QCOMPARE(a.markBox, QRect(20, 20, 30, 30));

    // Wholly in the part the file no longer has.
    scene->canvas->rubberBand->setGeometry(QRect(500, 400, 100, 100));
    const CanvasAnswers outside = askCanvas(scene->canvas);
    QCOMPARE(boxes.count(), 0);
    QVERIFY(!outside.black && !outside.area && !outside.mark);
}

void DetectorsTest::unreadableFileIsAMessage()
{
    const auto scene = showAt(paper(400, 300, box(100, 100, 40, 30)), 1.0f);
    const QString path = scene->canvas->imagePath;
    QVERIFY(DesignerTest::writeFile(path, "not an image"));
    scene->canvas->rubberBand->setGeometry(QRect(50, 50, 200, 200));

    MessageBoxRecorder boxes;
    const CanvasAnswers a = askCanvas(scene->canvas);
    QVERIFY(!a.black && !a.area && !a.mark);
    QCOMPARE(a.blackBox, QRect(0, 0, 0, 0));
    QCOMPARE(a.areaBox, QRect(-1, -1, -1, -1));
    QCOMPARE(boxes.count(), 3);
    for (const MessageBoxSpec &spec : boxes.boxes()) {
        QCOMPARE(spec.title, QStringLiteral("提示"));
        QVERIFY2(spec.text.contains(path), qPrintable(spec.text));
    }

    QVERIFY(QFile::remove(path));
    boxes.clear();
    bool found = true;
    scene->canvas->detectBlackRectangle(found);
    QVERIFY(!found);
    QCOMPARE(boxes.count(), 1);
}

void DetectorsTest::noSelectionRectangle()
{
    const auto scene = showAt(paper(400, 300, box(100, 100, 40, 30)), 1.0f);
    scene->canvas->rubberBand->setGeometry(QRect(50, 50, 200, 200));
    delete scene->canvas->rubberBand;
    scene->canvas->rubberBand = nullptr;
    MessageBoxRecorder boxes;
    const CanvasAnswers a = askCanvas(scene->canvas);
    QVERIFY(!a.black && !a.area && !a.mark);
    QCOMPARE(a.blackBox, QRect(0, 0, 0, 0));
    QCOMPARE(boxes.count(), 0);
}

void DetectorsTest::renderedBlankPage_data()
{
    QTest::addColumn<float>("zoom");
    QTest::newRow("zoom 1") << 1.0f;
    QTest::newRow("zoom 0.5") << 0.5f;
    QTest::newRow("zoom 2") << 2.0f;
}

// The blank page the sheet renderer prints: its anchors, corner checks and
// code bubbles are found where the template puts them.
void DetectorsTest::renderedBlankPage()
{
    QFETCH(float, zoom);
    const SheetSpec spec = SheetSpec::minimal(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 1, 150);
    const SheetRenderer renderer(spec);
    cv::Mat page;
    cv::cvtColor(renderer.blankPage(0), page, cv::COLOR_GRAY2BGR);
    const auto scene = showAt(page, zoom);
    MyLabel *canvas = scene->canvas;
    MessageBoxRecorder boxes;

    // Canvas selection over a page rectangle, and the page point of its
    // top-left the answers are measured from (halves at zoom 0.5 come back
    // whole either way).
    auto select = [&](const QRect &r) {
        const QRect s(qRound(r.x() * zoom), qRound(r.y() * zoom), qRound(r.width() * zoom),
                      qRound(r.height() * zoom));
        canvas->rubberBand->setGeometry(s);
        return QPoint(int(float(s.x()) / zoom), int(float(s.y()) / zoom));
    };

    const SheetSpec::PageAnchor &anchor = spec.anchors.at(0);
    QVector<QPair<QRect, QRect>> blocks{{anchor.searchA, anchor.blockA}, {anchor.searchB, anchor.blockB}};
    for (const SheetSpec::CornerCheck &c : spec.cornerChecks)
        blocks.append({c.search, c.block});
    for (const auto &b : qAsConst(blocks)) {
        const QPoint origin = select(b.first);
        bool found = false;
        const QRect r = canvas->detectBlackRectangle(found);
        QVERIFY(found);
        QCOMPARE(r.translated(origin), b.second);
    }

    // The code grid: the box around its bubbles, within the ellipses' pixel.
    const QRect grid = spec.code.area;
    const QPoint origin = select(grid.adjusted(-6, -6, 6, 6));
    QRect area;
    QVERIFY(canvas->detectBubbleArea(area));
    area.translate(origin);
    QVERIFY2(qAbs(area.left() - grid.left()) <= 2 && qAbs(area.top() - grid.top()) <= 2
                 && qAbs(area.right() - grid.right()) <= 2 && qAbs(area.bottom() - grid.bottom()) <= 2,
             qPrintable(QStringLiteral("%1,%2 %3x%4").arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height())));

    // One bubble of it: its size as the template gives it.
    const QRect bubble = spec.code.bubbleRect(3, 4);
    const QPoint at = select(bubble.adjusted(-4, -4, 4, 4));
    QRect mark;
    QVERIFY(canvas->measureMarkPoint(mark));
    mark.translate(at);
    QVERIFY(bubble.contains(mark));
    QVERIFY(mark.width() >= bubble.width() - 2 && mark.height() >= bubble.height() - 2);

    // Paper between the bubbles holds nothing.
    select(QRect(grid.right() + 20, grid.top(), 60, 60));
    QVERIFY(!canvas->measureMarkPoint(mark));
    QCOMPARE(boxes.count(), 0);
}

QTEST_MAIN(DetectorsTest)
#include "detectors_test.moc"
