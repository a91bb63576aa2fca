// What the section widgets draw and how they name and describe themselves.

#include "anchorsections.h"
#include "questionsections.h"
#include "sectiondrawing.h"
#include "sectiontestevents.h"
#include "testsectionhost.h"

#include <QtTest>

#include <climits>
#include <memory>

using namespace SectionTest;

using Ints = QVector<int>;
Q_DECLARE_METATYPE(Ints)

namespace {

Ints distinct(const QVector<QRect> &rects, bool xs)
{
    Ints values;
    for (const QRect &r : rects) {
        const int v = xs ? r.x() : r.y();
        if (!values.contains(v))
            values.append(v);
    }
    std::sort(values.begin(), values.end());
    return values;
}

// Bubbles all of one size, the grid of every x with every y.
void verifyGrid(const QVector<QRect> &rects, const QSize &bubble, const Ints &xs, const Ints &ys)
{
    QCOMPARE(distinct(rects, true), xs);
    QCOMPARE(distinct(rects, false), ys);
    QCOMPARE(rects.size(), xs.size() * ys.size());
    for (const QRect &r : rects)
        QCOMPARE(r.size(), bubble);
}

} // namespace

class SectionLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void objectGrid_data();
    void objectGrid();
    void codeGrid_data();
    void codeGrid();
    void optionalItemRow();
    void paintedBubblesMatchLayout();
    void codeAreaColours();
    void resizeHandleOnlyWhileUnlocked();
    void subjectLabel_data();
    void subjectLabel();
    void degenerateCounts_data();
    void degenerateCounts();
    void names_data();
    void names();
    void infoBoxes_data();
    void infoBoxes();

private:
    TestSectionHost host;
};

void SectionLayoutTest::objectGrid_data()
{
    QTest::addColumn<bool>("optionalBlock");
    QTest::addColumn<int>("itemStart");
    QTest::addColumn<int>("itemEnd");
    QTest::addColumn<int>("direction");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<Ints>("xs");
    QTest::addColumn<Ints>("ys");

    QTest::newRow("five questions across") << false << 1 << 5 << 0 << QSize(200, 90) << Ints{0, 60, 120, 180}
                                           << Ints{0, 20, 40, 60, 80};
    QTest::newRow("five questions down") << false << 1 << 5 << 1 << QSize(120, 70) << Ints{0, 25, 50, 75, 100}
                                         << Ints{0, 20, 40, 60};
    QTest::newRow("one question is one row") << false << 12 << 12 << 0 << QSize(200, 90) << Ints{0, 60, 120, 180}
                                             << Ints{0};
    QTest::newRow("one question is one column") << false << 12 << 12 << 1 << QSize(120, 70) << Ints{0}
                                                << Ints{0, 20, 40, 60};
    QTest::newRow("optional block, same grid") << true << 1 << 5 << 0 << QSize(200, 90) << Ints{0, 60, 120, 180}
                                               << Ints{0, 20, 40, 60, 80};
}

void SectionLayoutTest::objectGrid()
{
    QFETCH(bool, optionalBlock);
    QFETCH(int, itemStart);
    QFETCH(int, itemEnd);
    QFETCH(int, direction);
    QFETCH(QSize, area);
    QFETCH(Ints, xs);
    QFETCH(Ints, ys);

    host.scale = 1.0f;
    QVector<QRect> rects;
    if (optionalBlock) {
        MySectionObjectOptional block(1, &host, 23, itemStart, itemEnd, direction, 4, 20, 10);
        block.resize(area);
        rects = block.bubbleRects();
    } else {
        MySectionObject block(1, &host, itemStart, itemEnd, direction, 4, 20, 10);
        block.resize(area);
        rects = block.bubbleRects();
    }
    verifyGrid(rects, QSize(20, 10), xs, ys);
}

void SectionLayoutTest::codeGrid_data()
{
    QTest::addColumn<float>("zoom");
    QTest::addColumn<int>("direction");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QSize>("bubble");
    QTest::addColumn<Ints>("xs");
    QTest::addColumn<Ints>("ys");

    QTest::newRow("six digits, ten down each") << 1.0f << 0 << QSize(300, 200) << QSize(20, 10)
                                               << Ints{0, 56, 112, 168, 224, 280}
                                               << Ints{0, 21, 42, 63, 84, 105, 126, 147, 168, 190};
    QTest::newRow("six digits, ten across each") << 1.0f << 1 << QSize(300, 200) << QSize(20, 10)
                                                 << Ints{0, 31, 62, 93, 124, 155, 186, 217, 248, 280}
                                                 << Ints{0, 38, 76, 114, 152, 190};
    QTest::newRow("half zoom halves the bubbles") << 0.5f << 0 << QSize(150, 100) << QSize(10, 5)
                                                  << Ints{0, 28, 56, 84, 112, 140}
                                                  << Ints{0, 10, 21, 31, 42, 52, 63, 73, 84, 95};
}

void SectionLayoutTest::codeGrid()
{
    QFETCH(float, zoom);
    QFETCH(int, direction);
    QFETCH(QSize, area);
    QFETCH(QSize, bubble);
    QFETCH(Ints, xs);
    QFETCH(Ints, ys);

    host.scale = zoom;
    MySectionCode code(1, &host, 6, direction, 20, 10);
    code.resize(area);
    verifyGrid(code.bubbleRects(), bubble, xs, ys);
}

void SectionLayoutTest::optionalItemRow()
{
    host.scale = 1.0f;
    MySectionOptionalItem group(1, &host);
    group.Items = QStringList{"22", "23", "24"};
    group.MarkPointWidth = 20;
    group.MarkPointHeight = 10;
    group.resize(100, 30);
    verifyGrid(group.bubbleRects(), QSize(20, 10), Ints{0, 40, 80}, Ints{0});
}

// The picture, not just the arithmetic: bubbles red, gaps pink.
void SectionLayoutTest::paintedBubblesMatchLayout()
{
    host.scale = 1.0f;
    host.page = 1;
    host.show();
    MySectionObject block(1, &host, 1, 5, 0, 4, 20, 10);
    block.setGeometry(0, 0, 200, 90);
    block.show();
    const QImage image = rendered(&block);
    for (const QRect &r : block.bubbleRects())
        QVERIFY2(isBubbleRed(image, r.center()), qPrintable(QString("bubble at %1,%2").arg(r.x()).arg(r.y())));
    QVERIFY(isAreaPink(image, QPoint(40, 5)));    // between options
    QVERIFY(isAreaPink(image, QPoint(10, 15)));   // between questions
    host.hide();
}

void SectionLayoutTest::codeAreaColours()
{
    host.scale = 1.0f;
    host.page = 1;
    host.show();
    MySectionCode barcode(1, &host);
    barcode.setGeometry(0, 0, 300, 200);
    barcode.show();
    QVERIFY(barcode.bubbleRects().isEmpty());
    QVERIFY(isBubbleRed(rendered(&barcode), QPoint(150, 100)));

    // A code type a file made up: pink, no bubbles, named as a bubble code.
    MySectionCode odd(1, &host, 6, 0, 20, 10);
    odd.CodeType = 2;
    odd.setGeometry(0, 0, 300, 200);
    odd.show();
    QVERIFY(odd.bubbleRects().isEmpty());
    const QImage image = rendered(&odd);
    QVERIFY(isAreaPink(image, QPoint(10, 5)));
    QCOMPARE(odd.sectionName(), QStringLiteral("涂点考号 长度 6"));
    host.hide();
}

void SectionLayoutTest::resizeHandleOnlyWhileUnlocked()
{
    host.scale = 1.0f;
    host.page = 1;
    host.show();
    MySectionAbsentMark mark(1, &host);
    mark.setGeometry(0, 0, 60, 40);
    mark.show();
    auto isHandleBlue = [](const QImage &image) {
        const QRgb p = image.pixel(56, 36);
        return qBlue(p) > 200 && qRed(p) < 60 && qGreen(p) < 60;
    };
    QVERIFY(!isHandleBlue(rendered(&mark)));
    mark.setLock(false);
    QVERIFY(isHandleBlue(rendered(&mark)));
    host.hide();
}

void SectionLayoutTest::subjectLabel_data()
{
    QTest::addColumn<bool>("optionalBlock");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("pixelSize");

    QTest::newRow("width decides") << false << QSize(300, 200) << "1-2" << 100;
    QTest::newRow("height caps it") << false << QSize(300, 60) << "1-2" << 60;
    QTest::newRow("optional block label") << true << QSize(350, 200) << "2-3(23)" << 50;
}

void SectionLayoutTest::subjectLabel()
{
    QFETCH(bool, optionalBlock);
    QFETCH(QSize, area);
    QFETCH(QString, label);
    QFETCH(int, pixelSize);

    std::unique_ptr<MySectionBase> block;
    QString text;
    if (optionalBlock) {
        auto *s = new MySectionSubjectOptional(&host, 2, 3, 23);
        text = s->label();
        block.reset(s);
    } else {
        auto *s = new MySectionSubject(&host, 1, 2);
        text = s->label();
        block.reset(s);
    }
    QCOMPARE(text, label);
    const QFont font = SectionDrawing::labelFont(text, area);
    QCOMPARE(font.family(), QStringLiteral("宋体"));
    QCOMPARE(font.weight(), int(QFont::Bold));
    QVERIFY(!font.italic());
    QCOMPARE(font.pixelSize(), pixelSize);
}

// Whatever a file says, painting ends, divides by nothing and stays inside.
void SectionLayoutTest::degenerateCounts_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<Ints>("values");   // kind-specific, see degenerateCounts()
    QTest::addColumn<QSize>("area");
    QTest::addColumn<int>("bubbles");   // -1: any number, as long as it is bounded

    // object: itemStart, itemEnd, direction, optionCount, bubble width, bubble height
    QTest::newRow("no options") << "object" << Ints{1, 5, 0, 0, 20, 10} << QSize(200, 90) << 0;
    QTest::newRow("one option: one column") << "object" << Ints{1, 5, 0, 1, 20, 10} << QSize(200, 90) << 5;
    QTest::newRow("one option down: one row") << "object" << Ints{1, 5, 1, 1, 20, 10} << QSize(200, 90) << 5;
    QTest::newRow("one option, one question") << "object" << Ints{3, 3, 1, 1, 20, 10} << QSize(200, 90) << 1;
    QTest::newRow("items backwards") << "object" << Ints{10, 1, 0, 4, 20, 10} << QSize(200, 90) << 0;
    QTest::newRow("items over the whole int range") << "object" << Ints{INT_MIN, INT_MAX, 0, 4, 20, 10}
                                                    << QSize(200, 90) << 0;
    QTest::newRow("a billion options") << "object" << Ints{1, 5, 0, 1000000000, 20, 10} << QSize(200, 90) << 0;
    QTest::newRow("a million questions of one pixel") << "object" << Ints{1, 1000000, 0, 4, 1, 1}
                                                      << QSize(4000, 6000) << 0;
    QTest::newRow("zero bubble size") << "object" << Ints{1, 5, 0, 4, 0, 0} << QSize(200, 90) << 0;
    QTest::newRow("negative bubble size") << "object" << Ints{1, 5, 0, 4, -20, -10} << QSize(200, 90) << 0;
    QTest::newRow("bubble larger than the area") << "object" << Ints{1, 1, 0, 4, 300, 10} << QSize(200, 90) << 0;
    QTest::newRow("huge bubble size") << "object" << Ints{1, 5, 0, 4, INT_MAX, INT_MAX} << QSize(200, 90) << 0;
    QTest::newRow("empty widget") << "object" << Ints{1, 5, 0, 4, 20, 10} << QSize(0, 0) << 0;
    QTest::newRow("dense but distinct") << "object" << Ints{1, 100, 0, 4, 1, 1} << QSize(200, 100) << -1;

    // code: length, number direction, bubble width, bubble height
    QTest::newRow("code length 0") << "code" << Ints{0, 0, 20, 10} << QSize(300, 200) << 0;
    QTest::newRow("code length 1") << "code" << Ints{1, 0, 20, 10} << QSize(300, 200) << 10;
    QTest::newRow("code length negative") << "code" << Ints{-6, 1, 20, 10} << QSize(300, 200) << 0;
    QTest::newRow("code length huge") << "code" << Ints{INT_MAX, 0, 20, 10} << QSize(300, 200) << 0;
    QTest::newRow("code bubble taller than its area") << "code" << Ints{6, 0, 20, 250} << QSize(300, 200) << 0;

    // optional group: number of candidates, bubble width, bubble height
    QTest::newRow("group without candidates") << "group" << Ints{0, 20, 10} << QSize(100, 30) << 0;
    QTest::newRow("group of one candidate") << "group" << Ints{1, 20, 10} << QSize(100, 30) << 1;
    QTest::newRow("group bubble too tall") << "group" << Ints{3, 20, 40} << QSize(100, 30) << 0;
}

void SectionLayoutTest::degenerateCounts()
{
    QFETCH(QString, kind);
    QFETCH(Ints, values);
    QFETCH(QSize, area);
    QFETCH(int, bubbles);

    host.scale = 1.0f;
    host.page = 1;
    host.show();
    std::unique_ptr<MySectionBase> section;
    QVector<QRect> rects;
    if (kind == "object") {
        auto *s = new MySectionObject(1, &host, values[0], values[1], values[2], values[3], values[4], values[5]);
        s->resize(area);
        rects = s->bubbleRects();
        section.reset(s);
    } else if (kind == "code") {
        auto *s = new MySectionCode(1, &host, values[0], values[1], values[2], values[3]);
        s->resize(area);
        rects = s->bubbleRects();
        section.reset(s);
    } else {
        auto *s = new MySectionOptionalItem(1, &host);
        for (int i = 0; i < values[0]; ++i)
            s->Items << QString::number(20 + i);
        s->MarkPointWidth = values[1];
        s->MarkPointHeight = values[2];
        s->resize(area);
        rects = s->bubbleRects();
        section.reset(s);
    }
    if (bubbles >= 0)
        QCOMPARE(rects.size(), bubbles);
    QVERIFY(rects.size() <= SectionDrawing::maxBubbles);
    const QRect inside(QPoint(0, 0), area);
    for (const QRect &r : rects)
        QVERIFY2(inside.contains(r), qPrintable(QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height())));
    section->show();
    if (!area.isEmpty())
        rendered(section.get());   // ends, and draws the area at least
    host.hide();
}

void SectionLayoutTest::names_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");

    QTest::newRow("absent mark") << "absent" << "缺考标记";
    QTest::newRow("anchor A") << "anchorA" << "定位点A";
    QTest::newRow("anchor B") << "anchorB" << "定位点B";
    QTest::newRow("printed-text anchor") << "text" << "印刷体文字定位";
    QTest::newRow("corner check") << "corner" << "边角检测 左上";
    QTest::newRow("horizontal barcode") << "barH" << "条形码考号 水平";
    QTest::newRow("vertical barcode") << "barV" << "条形码考号 垂直";
    QTest::newRow("bubble code") << "code" << "涂点考号 长度 8";
    QTest::newRow("objective range") << "objRange" << "客观题 1-5 选项横排 4个选项";
    QTest::newRow("objective single") << "objOne" << "客观题 12 选项横排 4个选项";
    QTest::newRow("objective down") << "objDown" << "客观题 1-5 选项竖排 4个选项";
    QTest::newRow("optional objective range") << "optRange" << "备选题 23 客观题 6-9 选项竖排 5个选项";
    QTest::newRow("optional objective single") << "optOne" << "备选题 23 客观题 6 选项横排 5个选项";
    QTest::newRow("irregular") << "irregular" << "客观题-异型 12 4 个选项";
    QTest::newRow("optional irregular") << "optIrregular" << "备选题 23 客观题-异型 12 4 个选项";
    QTest::newRow("optional group") << "group" << "选做题备选题题号 22,23,24";
    QTest::newRow("subjective") << "subject" << "主观题 1-2";
    QTest::newRow("optional subjective") << "optSubject" << "备选题 23 主观题 2-3";
    QTest::newRow("bubble") << "bubble" << "客观题：12 选项：D";
}

namespace {

std::unique_ptr<MySectionBase> makeKind(const QString &kind, QWidget *canvas)
{
    if (kind == "absent")
        return std::make_unique<MySectionAbsentMark>(1, canvas);
    if (kind == "anchorA")
        return std::make_unique<MySectionAnchorPointA>(1, canvas);
    if (kind == "anchorB")
        return std::make_unique<MySectionAnchorPointB>(1, canvas);
    if (kind == "text")
        return std::make_unique<MySectionPrintTextAnchor>(1, canvas);
    if (kind == "corner") {
        auto s = std::make_unique<MySectionCornerCheck>(1, canvas);
        s->Name = QStringLiteral("左上");
        return s;
    }
    if (kind == "barH" || kind == "barV") {
        auto s = std::make_unique<MySectionCode>(1, canvas);
        s->BarDirection = kind == "barH" ? 0 : 1;
        return s;
    }
    if (kind == "code")
        return std::make_unique<MySectionCode>(1, canvas, 8, 1, 20, 10);
    if (kind == "objRange")
        return std::make_unique<MySectionObject>(1, canvas, 1, 5, 0, 4, 20, 10);
    if (kind == "objOne")
        return std::make_unique<MySectionObject>(1, canvas, 12, 12, 0, 4, 20, 10);
    if (kind == "objDown")
        return std::make_unique<MySectionObject>(1, canvas, 1, 5, 1, 4, 20, 10);
    if (kind == "optRange")
        return std::make_unique<MySectionObjectOptional>(1, canvas, 23, 6, 9, 1, 5, 20, 10);
    if (kind == "optOne")
        return std::make_unique<MySectionObjectOptional>(1, canvas, 23, 6, 6, 0, 5, 20, 10);
    if (kind == "irregular")
        return std::make_unique<MySectionObjectAbnormal>(1, canvas, false, 0, 12, 4);
    if (kind == "optIrregular")
        return std::make_unique<MySectionObjectAbnormal>(1, canvas, true, 23, 12, 4);
    if (kind == "group") {
        auto s = std::make_unique<MySectionOptionalItem>(1, canvas);
        s->Items = QStringList{"22", "23", "24"};
        return s;
    }
    if (kind == "subject")
        return std::make_unique<MySectionSubject>(canvas, 1, 2);
    if (kind == "optSubject")
        return std::make_unique<MySectionSubjectOptional>(canvas, 2, 3, 23);
    if (kind == "bubble")
        return std::make_unique<ObjectAbnormalOption>(1, 12, 3, nullptr, canvas);
    return nullptr;
}

} // namespace

void SectionLayoutTest::names()
{
    QFETCH(QString, kind);
    QFETCH(QString, name);
    auto section = makeKind(kind, &host);
    QVERIFY(section);
    QCOMPARE(section->sectionName(), name);
}

void SectionLayoutTest::infoBoxes_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");

    QTest::newRow("absent mark") << "absent" << "信息-缺考标记" << "无";
    QTest::newRow("printed-text anchor") << "text" << "印刷体文字定位" << "无";
    QTest::newRow("barcode") << "barV" << "信息-考号" << "考号类型：条形码\n方向：垂直";
    QTest::newRow("bubble code across") << "code" << "信息-考号" << "考号类型：涂点\n考号长度：8\n0-9排列：横排";
    QTest::newRow("objective") << "objRange" << "信息-客观题"
                               << "起始题号：1\n结束题号：5\n选项排列：横排\n选项个数：4";
    QTest::newRow("optional objective") << "optRange" << "信息-客观题"
                                        << "起始题号：6\n结束题号：9\n选项排列：竖排\n选项个数：5\n所属备选题：23";
    QTest::newRow("irregular") << "irregular" << "信息-客观题-异型" << "题号：12\n选项个数：4";
    QTest::newRow("bubble") << "bubble" << "信息-客观题" << "客观题：12\n选项：D";
}

void SectionLayoutTest::infoBoxes()
{
    QFETCH(QString, kind);
    QFETCH(QString, title);
    QFETCH(QString, text);
    auto section = makeKind(kind, &host);
    host.boxes.clear();
    section->showInfo();
    QCOMPARE(host.boxes.size(), 1);
    const TestSectionHost::Box &box = host.boxes.first();
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.title, title);
    QCOMPARE(box.text, text);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.defaultButton, QMessageBox::NoButton);
    QCOMPARE(box.parent, static_cast<QWidget *>(section.get()));
}

QTEST_MAIN(SectionLayoutTest)
#include "sectionlayout_test.moc"
