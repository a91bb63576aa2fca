#include "sheetrenderer.h"
#include "codereader.h"
#include "templateformat.h"
#include "templateloader.h"
#include "testutil.h"

#include <QtTest>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>
#include <tinyxml2.h>

#include <cmath>

namespace {

using tinyxml2::XMLElement;

QString attr(const XMLElement *e, const char *name)
{
    const char *v = e ? e->Attribute(name) : nullptr;
    return v ? QString::fromUtf8(v) : QString();
}

QStringList attrNames(const XMLElement *e)
{
    QStringList out;
    for (const tinyxml2::XMLAttribute *a = e->FirstAttribute(); a; a = a->Next())
        out << QString::fromUtf8(a->Name());
    return out;
}

QStringList split(const char *names) { return QString::fromLatin1(names).split(QLatin1Char(' ')); }

// Attribute order of every element the document holds, by element kind.
QStringList expectedAttrs(const XMLElement *e)
{
    const QString tag = QString::fromUtf8(e->Name());
    const QString type = attr(e, "Type");
    const bool irregular = attr(e, "Abnormal") == QLatin1String("1");
    if (tag == QLatin1String("Lumbrisk")) return split("Name Version");
    if (tag == QLatin1String("Pages")) return {};
    if (tag == QLatin1String("Page")) return split("ID Width Height");
    if (tag == QLatin1String("A") || tag == QLatin1String("B"))
        return split("X Y Width Height AnchorPointX AnchorPointY AnchorPointWidth AnchorPointHeight CenterX CenterY");
    if (tag == QLatin1String("PrintTextAnchor"))
        return split("X Y Width Height CenterX CenterY MatX MatY MatRows MatCols MatData");
    if (tag == QLatin1String("Option")) return split("Index Option X Y Width Height");
    if (tag == QLatin1String("SubjectConfig")) return split("UpdateType");
    if (tag == QLatin1String("Item")) return split("ItemID Alias Score MarkCount ErrorMargin Pages Sections");
    if (type == QLatin1String("AnchorPoint"))
        return attr(e, "AnchorType") == QLatin1String("PrintText") ? split("Type AnchorType")
                                                                    : split("Type AnchorType AngleAB");
    if (type == QLatin1String("CornerCheck"))
        return split("Type Name X Y Width Height AnchorPointX AnchorPointY AnchorPointWidth AnchorPointHeight");
    if (type == QLatin1String("Code"))
        return attr(e, "CodeType") == QLatin1String("1")
                   ? split("Type CodeType BarDirection X Y Width Height")
                   : split("Type CodeType CodeLength NumberDirection MarkPointWidth MarkPointHeight X Y Width Height");
    if (type == QLatin1String("AbsentMark")) return split("Type X Y Width Height");
    if (type == QLatin1String("Object"))
        return irregular ? split("Type Abnormal Item OptionCount X Y Width Height")
                         : split("Type Abnormal ItemStart ItemEnd OptionDirection OptionCount MarkPointWidth "
                                 "MarkPointHeight X Y Width Height");
    if (type == QLatin1String("OptionalObject"))
        return irregular ? split("Type Abnormal Optional Item OptionCount X Y Width Height")
                         : split("Type Abnormal Optional ItemStart ItemEnd OptionDirection OptionCount "
                                 "MarkPointWidth MarkPointHeight X Y Width Height");
    if (type == QLatin1String("Optional"))
        return split("Type Items DefaultItem MustDoItemCount X Y Width Height MarkPointWidth MarkPointHeight");
    if (type == QLatin1String("Subject")) return split("Type SubjectSectionID X Y Width Height");
    if (type == QLatin1String("OptionalSubject")) return split("Type Optional SubjectSectionID X Y Width Height");
    return {QStringLiteral("<unknown element %1 %2>").arg(tag, type)};
}

void checkAttrOrder(const XMLElement *e)
{
    QCOMPARE(attrNames(e), expectedAttrs(e));
    for (const XMLElement *c = e->FirstChildElement(); c; c = c->NextSiblingElement()) {
        checkAttrOrder(c);
        if (QTest::currentTestFailed())
            return;
    }
}

QRect rectOf(const XMLElement *e)
{
    return QRect(e->IntAttribute("X"), e->IntAttribute("Y"), e->IntAttribute("Width"), e->IntAttribute("Height"));
}

SheetSpec specFor(int variant)
{
    switch (variant) {
    case 0: return SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 1, 150, 0);
    case 1: return SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBarcode, 2, 150, 1);
    case 2: return SheetSpec::standard(SheetSpec::PrintedText, SheetSpec::CodeBubbles, 3, 150, 1);
    case 3: return SheetSpec::standard(SheetSpec::PrintedText, SheetSpec::CodeBarcode, 2, 150, 0);
    default: return SheetSpec::benchmark(SheetSpec::BlackRectangles, 300);
    }
}

void addVariantRows(bool withBenchmark)
{
    QTest::addColumn<int>("variant");
    QTest::newRow("rectangles, bubble code across, 1 page") << 0;
    QTest::newRow("rectangles, turned barcode, 2 pages") << 1;
    QTest::newRow("printed text, bubble code downwards, 3 pages") << 2;
    QTest::newRow("printed text, barcode, 2 pages") << 3;
    if (withBenchmark)
        QTest::newRow("benchmark sheet, 300 dpi") << 4;
}

cv::Mat redChannel(const cv::Mat &bgr)
{
    cv::Mat red;
    cv::extractChannel(bgr, red, 2);
    return red;
}

// What the mark readers do: Otsu over the area, then the dark share of a
// bubble box (area coordinates) over its nominal size.
struct Binarised {
    cv::Mat bin;
    QRect area;
    Binarised(const cv::Mat &grey, const QRect &r) : area(r)
    {
        cv::threshold(grey(cv::Rect(r.x(), r.y(), r.width(), r.height())), bin, 0, 255,
                      cv::THRESH_BINARY | cv::THRESH_OTSU);
    }
    double fill(const QRect &pageBox) const
    {
        const QRect b = pageBox.translated(-area.topLeft()).intersected(QRect(0, 0, bin.cols, bin.rows));
        const cv::Mat dark = bin(cv::Rect(b.x(), b.y(), b.width(), b.height())) < 128;
        return double(cv::countNonZero(dark)) / (double(pageBox.width()) * pageBox.height());
    }
};

// Every pixel inside is black and a ring two pixels wide around it is white.
bool solidBlock(const cv::Mat &grey, const QRect &r)
{
    const cv::Rect in(r.x(), r.y(), r.width(), r.height());
    double maxIn = 0;
    cv::minMaxLoc(grey(in), nullptr, &maxIn);
    const cv::Rect out(r.x() - 2, r.y() - 2, r.width() + 4, r.height() + 4);
    cv::Mat ring = grey(out).clone();
    ring(cv::Rect(2, 2, r.width(), r.height())).setTo(255);
    double minRing = 0;
    cv::minMaxLoc(ring, &minRing);
    return maxIn < 1 && minRing > 250;
}

// Centre of the dark pixels in a window.
QPointF darkCentroid(const cv::Mat &grey, const QRect &window)
{
    const cv::Mat w = grey(cv::Rect(window.x(), window.y(), window.width(), window.height()));
    const cv::Moments m = cv::moments(w < 128, true);
    if (m.m00 <= 0)
        return QPointF(-1, -1);
    return QPointF(window.x() + m.m10 / m.m00, window.y() + m.m01 / m.m00);
}

} // namespace

class SheetRendererTest : public QObject {
    Q_OBJECT

private slots:
    void testFactoryLayout_data() { addVariantRows(true); }
    void testFactoryLayout();
    void testXmlDocument_data() { addVariantRows(true); }
    void testXmlDocument();
    void testXmlAnchorValues_data() { addVariantRows(false); }
    void testXmlAnchorValues();
    void testXmlFreeTextAndSubjectConfig();
    void testLoadsIntoModel_data() { addVariantRows(true); }
    void testLoadsIntoModel();
    void testExpectations_data();
    void testExpectations();
    void testRenderedMarks_data();
    void testRenderedMarks();
    void testRedPrint_data() { addVariantRows(false); }
    void testRedPrint();
    void testDistortion_data();
    void testDistortion();
    void testWriteFiles();
    void testBarcodeReadsBack_data();
    void testBarcodeReadsBack();
};

void SheetRendererTest::testFactoryLayout()
{
    QFETCH(int, variant);
    const SheetSpec s = specFor(variant);
    const QRect page(QPoint(0, 0), s.pageSize);
    QCOMPARE(s.pageSize, SheetSpec::a4(s.dpi));
    QCOMPARE(s.anchors.size(), s.pageCount);

    // Every area a reader or the cutter uses, per page; none may overlap
    // another or leave the page.
    QMap<int, QVector<QPair<QString, QRect>>> areas;
    for (int p = 1; p <= s.pageCount; ++p) {
        const SheetSpec::PageAnchor &a = s.anchors.at(p - 1);
        if (s.anchorKind == SheetSpec::BlackRectangles) {
            for (const auto &pair : {qMakePair(a.blockA, a.searchA), qMakePair(a.blockB, a.searchB)}) {
                // The block lies strictly inside its search area.
                QVERIFY(pair.second.adjusted(1, 1, -1, -1).contains(pair.first));
                QVERIFY(pair.first.width() * pair.first.height() > 100);
                areas[p] << qMakePair(QStringLiteral("anchor search"), pair.second);
            }
        } else {
            QVERIFY(a.textSearch.contains(a.textRect));
            QVERIFY(a.textRect.width() >= 200 && a.textRect.height() >= 25);
            QVERIFY(a.textSearch.width() >= a.textRect.width() * 1.5);
            areas[p] << qMakePair(QStringLiteral("text search"), a.textSearch);
        }
    }
    for (const SheetSpec::CornerCheck &c : s.cornerChecks) {
        QVERIFY(c.search.adjusted(1, 1, -1, -1).contains(c.block));
        areas[c.page] << qMakePair(QStringLiteral("corner ") + c.name, c.search);
    }
    areas[1] << qMakePair(QStringLiteral("code"), s.code.area);
    if (s.hasAbsentMark)
        areas[1] << qMakePair(QStringLiteral("absent"), s.absentMark);
    for (const SheetSpec::ObjectBlock &b : s.objectBlocks)
        areas[b.page] << qMakePair(QStringLiteral("block %1").arg(b.itemStart), b.area);
    for (const SheetSpec::IrregularQuestion &q : s.irregularQuestions) {
        for (const QRect &o : q.options)
            QVERIFY(q.area.contains(o));
        areas[q.page] << qMakePair(QStringLiteral("question %1").arg(q.item), q.area);
    }
    for (const SheetSpec::OptionalGroup &g : s.optionalGroups)
        areas[g.page] << qMakePair(QStringLiteral("group"), g.area);
    QSet<QPair<int, int>> blockIds;
    for (const SheetSpec::SubjectBlock &b : s.subjectBlocks) {
        QVERIFY2(!blockIds.contains(qMakePair(b.page, b.sectionId)), "block numbers repeat on a page");
        blockIds.insert(qMakePair(b.page, b.sectionId));
        areas[b.page] << qMakePair(QStringLiteral("subject %1").arg(b.sectionId), b.rect);
    }
    for (auto it = areas.constBegin(); it != areas.constEnd(); ++it) {
        QVERIFY(it.key() >= 1 && it.key() <= s.pageCount);
        const auto &list = it.value();
        for (int i = 0; i < list.size(); ++i) {
            QVERIFY2(page.contains(list[i].second), qPrintable(list[i].first));
            for (int j = i + 1; j < list.size(); ++j)
                QVERIFY2(!list[i].second.intersects(list[j].second),
                         qPrintable(list[i].first + QStringLiteral(" overlaps ") + list[j].first));
        }
    }

    // Question numbers are unique and every bubble lies inside its strip.
    const QVector<int> items = s.objectiveItems();
    QCOMPARE(QSet<int>(items.begin(), items.end()).size(), items.size());
    for (int item : items)
        for (int o = 0; o < s.optionCount(item); ++o)
            QVERIFY(s.itemArea(item).contains(s.bubbleRect(item, o)));
    if (variant == 4) {
        QCOMPARE(s.pageCount, 2);
        QCOMPARE(items.size(), 60);
        for (int item : items)
            QCOMPARE(s.itemPage(item), 1);
        QCOMPARE(s.code.kind, SheetSpec::CodeBubbles);
        QCOMPARE(s.code.length, 10);
        QVERIFY(s.hasAbsentMark);
        QVector<int> subjectsPerPage(3, 0);
        for (const SheetSpec::SubjectBlock &b : s.subjectBlocks)
            ++subjectsPerPage[b.page];
        QCOMPARE(subjectsPerPage[1], 2);
        QCOMPARE(subjectsPerPage[2], 4);
    }
}

void SheetRendererTest::testXmlDocument()
{
    QFETCH(int, variant);
    const SheetSpec s = specFor(variant);
    const SheetRenderer r(s);
    const QByteArray xml = r.templateXml();

    // Stored text form: declaration first, LF only, 4-space indentation, LF at the end.
    QVERIFY(xml.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Lumbrisk "));
    QVERIFY(!xml.contains('\r'));
    QVERIFY(xml.endsWith("</Lumbrisk>\n"));
    for (const QByteArray &line : xml.split('\n')) {
        int spaces = 0;
        while (spaces < line.size() && line[spaces] == ' ')
            ++spaces;
        QVERIFY2(spaces % 4 == 0, line.constData());
    }

    tinyxml2::XMLDocument doc;
    QCOMPARE(doc.Parse(xml.constData(), size_t(xml.size())), tinyxml2::XML_SUCCESS);
    const XMLElement *root = doc.RootElement();
    QCOMPARE(QString::fromUtf8(root->Name()), QStringLiteral("Lumbrisk"));
    QCOMPARE(attr(root, "Name"), s.name);
    QCOMPARE(attr(root, "Version"), QStringLiteral("4.1"));
    QCOMPARE(QString::fromUtf8(root->FirstChildElement()->Name()), QStringLiteral("Pages"));
    QVERIFY(!root->FirstChildElement("SubjectConfig"));
    checkAttrOrder(root);

    // Section order on each page: anchor, corner checks, code and absent mark
    // (page 1), then the question sections, as many of each kind as the sheet has.
    int p = 0;
    for (const XMLElement *page = root->FirstChildElement("Pages")->FirstChildElement(); page;
         page = page->NextSiblingElement(), ++p) {
        const int pageNo = p + 1;
        QCOMPARE(page->IntAttribute("ID"), pageNo);
        QCOMPARE(page->IntAttribute("Width"), s.pageSize.width());
        QCOMPARE(page->IntAttribute("Height"), s.pageSize.height());
        QStringList types;
        for (const XMLElement *sec = page->FirstChildElement(); sec; sec = sec->NextSiblingElement())
            types << attr(sec, "Type");
        QStringList head{QStringLiteral("AnchorPoint")};
        for (const SheetSpec::CornerCheck &c : s.cornerChecks)
            if (c.page == pageNo)
                head << QStringLiteral("CornerCheck");
        if (pageNo == 1) {
            head << QStringLiteral("Code");
            if (s.hasAbsentMark)
                head << QStringLiteral("AbsentMark");
        }
        QCOMPARE(types.mid(0, head.size()), head);
        QMap<QString, int> want;
        for (const SheetSpec::ObjectBlock &b : s.objectBlocks)
            if (b.page == pageNo)
                ++want[b.optional ? QStringLiteral("OptionalObject") : QStringLiteral("Object")];
        for (const SheetSpec::IrregularQuestion &q : s.irregularQuestions)
            if (q.page == pageNo)
                ++want[q.optional ? QStringLiteral("OptionalObject") : QStringLiteral("Object")];
        for (const SheetSpec::OptionalGroup &g : s.optionalGroups)
            if (g.page == pageNo)
                ++want[QStringLiteral("Optional")];
        for (const SheetSpec::SubjectBlock &b : s.subjectBlocks)
            if (b.page == pageNo)
                ++want[b.optional ? QStringLiteral("OptionalSubject") : QStringLiteral("Subject")];
        QMap<QString, int> got;
        for (const QString &t : types.mid(head.size()))
            ++got[t];
        QCOMPARE(got, want);

        // Irregular questions: Option children with running indexes and letters.
        for (const XMLElement *sec = page->FirstChildElement(); sec; sec = sec->NextSiblingElement()) {
            if (attr(sec, "Abnormal") != QLatin1String("1"))
                continue;
            int i = 0;
            for (const XMLElement *o = sec->FirstChildElement(); o; o = o->NextSiblingElement(), ++i) {
                QCOMPARE(QString::fromUtf8(o->Name()), QStringLiteral("Option"));
                QCOMPARE(o->IntAttribute("Index"), i);
                QCOMPARE(attr(o, "Option"), QString(QChar('A' + i)));
                QCOMPARE(rectOf(o), s.bubbleRect(sec->IntAttribute("Item"), i));
            }
            QCOMPARE(sec->IntAttribute("OptionCount"), i);
        }
    }
    QCOMPARE(p, s.pageCount);
}

void SheetRendererTest::testXmlAnchorValues()
{
    QFETCH(int, variant);
    const SheetSpec s = specFor(variant);
    const SheetRenderer r(s);
    const QByteArray xml = r.templateXml();
    tinyxml2::XMLDocument doc;
    QCOMPARE(doc.Parse(xml.constData(), size_t(xml.size())), tinyxml2::XML_SUCCESS);
    int p = 0;
    for (const XMLElement *page = doc.RootElement()->FirstChildElement("Pages")->FirstChildElement(); page;
         page = page->NextSiblingElement(), ++p) {
        const XMLElement *anchor = page->FirstChildElement("Section");
        const cv::Mat blank = r.blankPage(p);
        if (s.anchorKind == SheetSpec::BlackRectangles) {
            // A left of B at the same height: the line from B to A points left.
            QCOMPARE(attr(anchor, "AngleAB"), QStringLiteral("3.1416"));
            for (const char *name : {"A", "B"}) {
                const XMLElement *e = anchor->FirstChildElement(name);
                const QRect block(e->IntAttribute("X") + e->IntAttribute("AnchorPointX"),
                                  e->IntAttribute("Y") + e->IntAttribute("AnchorPointY"),
                                  e->IntAttribute("AnchorPointWidth"), e->IntAttribute("AnchorPointHeight"));
                QCOMPARE(e->IntAttribute("CenterX"), block.x() + block.width() / 2);
                QCOMPARE(e->IntAttribute("CenterY"), block.y() + block.height() / 2);
                QVERIFY2(solidBlock(blank, block), name);
            }
        } else {
            const XMLElement *t = anchor->FirstChildElement("PrintTextAnchor");
            QVERIFY(t);
            const int rows = t->IntAttribute("MatRows");
            const int cols = t->IntAttribute("MatCols");
            const QRect patchRect(t->IntAttribute("X") + t->IntAttribute("MatX"),
                                  t->IntAttribute("Y") + t->IntAttribute("MatY"), cols, rows);
            QCOMPARE(t->IntAttribute("CenterX"), patchRect.x() + cols / 2);
            QCOMPARE(t->IntAttribute("CenterY"), patchRect.y() + rows / 2);
            QVERIFY(rectOf(t).contains(patchRect));
            cv::Mat patch;
            QString error;
            QVERIFY2(TemplateFormat::decodeMatData(attr(t, "MatData"), rows, cols, patch, &error), qPrintable(error));
            QCOMPARE(TestUtil::differingPixels(patch, r.textPatch(p)), 0);
            // The patch is the text cut from the blank page, cut at one grey level.
            const cv::Mat cut = blank(cv::Rect(patchRect.x(), patchRect.y(), cols, rows));
            QCOMPARE(cv::countNonZero(patch == 255) + cv::countNonZero(patch == 0), rows * cols);
            double darkestPaper = 0, lightestInk = 0;
            cv::minMaxLoc(cut, &darkestPaper, nullptr, nullptr, nullptr, patch == 255);
            cv::minMaxLoc(cut, nullptr, &lightestInk, nullptr, nullptr, patch == 0);
            QVERIFY(lightestInk < darkestPaper);
            const double ink = double(cv::countNonZero(patch == 0)) / (rows * cols);
            QVERIFY2(ink > 0.05 && ink < 0.5, qPrintable(QString::number(ink)));
            // Enough corners for the alignment's feature search (its default detector).
            auto orb = cv::ORB::create(1500, 1.05f, 2, 3, 0, 2, cv::ORB::HARRIS_SCORE, 31, 20);
            std::vector<cv::KeyPoint> points;
            cv::Mat descriptors;
            orb->detectAndCompute(patch, cv::noArray(), points, descriptors);
            QVERIFY2(points.size() >= 100, qPrintable(QString::number(points.size())));
        }
    }
}

void SheetRendererTest::testXmlFreeTextAndSubjectConfig()
{
    SheetSpec s = SheetSpec::minimal(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 1, 150);
    s.name = QStringLiteral("期中 \"A&B\" <卷> 'x'");
    s.cornerChecks[0].name = QStringLiteral("左下 & \"角\"");
    s.subjectConfig << SheetSpec::SubjectConfigRow{QStringLiteral("1"), QStringLiteral("作文 \"<1>\""),
                                                   QStringLiteral("50"), QStringLiteral("2"), QStringLiteral("5"),
                                                   QStringLiteral("1,2"), QStringLiteral("1,3")}
                    << SheetSpec::SubjectConfigRow{QStringLiteral("2"), QString(), QStringLiteral("10"),
                                                   QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("2"),
                                                   QStringLiteral("2")};
    const QByteArray xml = SheetRenderer(s).templateXml();
    QVERIFY(xml.contains("&quot;A&amp;B&quot; &lt;卷&gt; &apos;x&apos;"));
    tinyxml2::XMLDocument doc;
    QCOMPARE(doc.Parse(xml.constData(), size_t(xml.size())), tinyxml2::XML_SUCCESS);
    const XMLElement *root = doc.RootElement();
    QCOMPARE(attr(root, "Name"), s.name);
    const XMLElement *corner = root->FirstChildElement("Pages")->FirstChildElement("Page")->FirstChildElement("Section")
                                   ->NextSiblingElement();
    QCOMPARE(attr(corner, "Name"), s.cornerChecks[0].name);

    const XMLElement *config = root->FirstChildElement()->NextSiblingElement();
    QVERIFY(config);
    QCOMPARE(QString::fromUtf8(config->Name()), QStringLiteral("SubjectConfig"));
    QCOMPARE(attr(config, "UpdateType"), QStringLiteral("1"));
    QVERIFY(!config->NextSiblingElement());
    checkAttrOrder(root);
    const XMLElement *item = config->FirstChildElement("Item");
    QCOMPARE(attr(item, "Alias"), s.subjectConfig[0].alias);
    QCOMPARE(attr(item, "Pages"), QStringLiteral("1,2"));
    QCOMPARE(attr(item, "Sections"), QStringLiteral("1,3"));
    item = item->NextSiblingElement();
    QCOMPARE(attr(item, "ItemID"), QStringLiteral("2"));
    QCOMPARE(attr(item, "Alias"), QString());
    QVERIFY(!item->NextSiblingElement());
}

void SheetRendererTest::testLoadsIntoModel()
{
    QFETCH(int, variant);
    const SheetSpec s = specFor(variant);
    const SheetRenderer r(s);
    TemplateModel m;
    QStringList log;
    const TemplateLoadResult result = parseTemplateText(r.templateXml(), m, log);
    QVERIFY2(result.ok(), qPrintable(result.message));

    QCOMPARE(m.name, s.name);
    QCOMPARE(m.pagesPerSheet, s.pageCount);
    QCOMPARE(m.templatePages.size(), s.pageCount);
    for (int p = 0; p < s.pageCount; ++p) {
        const TemplatePage &tp = m.templatePages.at(p);
        const SheetSpec::PageAnchor &a = s.anchors.at(p);
        QCOMPARE(tp.id, p + 1);
        QCOMPARE(QSize(tp.width, tp.height), s.pageSize);
        QCOMPARE(tp.isRectangleAnchor, s.anchorKind == SheetSpec::BlackRectangles);
        if (tp.isRectangleAnchor) {
            QCOMPARE(tp.anchorA.searchRect, a.searchA);
            QCOMPARE(tp.anchorB.searchRect, a.searchB);
            QCOMPARE(QPoint(tp.anchorA.centerX, tp.anchorA.centerY), s.anchorCenterA(p + 1));
            QCOMPARE(QPoint(tp.anchorB.centerX, tp.anchorB.centerY), s.anchorCenterB(p + 1));
            QCOMPARE(QSize(tp.anchorA.anchorPointWidth, tp.anchorA.anchorPointHeight), a.blockA.size());
            QCOMPARE(QSize(tp.anchorB.anchorPointWidth, tp.anchorB.anchorPointHeight), a.blockB.size());
            QVERIFY(qAbs(tp.angleAB - 3.1416f) < 1e-4f);
        } else {
            QCOMPARE(tp.printTextSearchRect, a.textSearch);
            QCOMPARE(QPoint(tp.printTextCenterX, tp.printTextCenterY), s.textCenter(p + 1));
            QCOMPARE(TestUtil::differingPixels(tp.printTextMat, r.textPatch(p)), 0);
        }
        QCOMPARE(m.pageOrigin(p + 1), s.pageOrigin(p + 1));
    }

    QCOMPARE(m.cornerChecks.size(), s.cornerChecks.size());
    for (int i = 0; i < s.cornerChecks.size(); ++i) {
        QCOMPARE(m.cornerChecks[i].page, s.cornerChecks[i].page);
        QCOMPARE(m.cornerChecks[i].name, s.cornerChecks[i].name);
        QCOMPARE(m.cornerChecks[i].rect, s.cornerChecks[i].search);
        QCOMPARE(QSize(m.cornerChecks[i].anchorPointWidth, m.cornerChecks[i].anchorPointHeight),
                 s.cornerChecks[i].block.size());
    }

    QCOMPARE(m.codeType, s.code.kind == SheetSpec::CodeBarcode ? 1 : 0);
    QCOMPARE(m.codeRect, s.code.area);
    if (s.code.kind == SheetSpec::CodeBarcode) {
        QCOMPARE(m.barDirection, s.code.direction);
    } else {
        QCOMPARE(m.codeLength, s.code.length);
        QCOMPARE(m.numberDirection, s.code.direction);
        QCOMPARE(QSize(m.codeMarkPointWidth, m.codeMarkPointHeight), s.code.bubble);
    }
    QCOMPARE(m.hasAbsentMark, s.hasAbsentMark);
    if (s.hasAbsentMark)
        QCOMPARE(m.absentMarkRect, s.absentMark);

    // Questions: the same numbers, and every strip and bubble where the sheet has it.
    auto checkItem = [&s](const ObjectItem &o) {
        QCOMPARE(o.page, s.itemPage(o.item));
        QCOMPARE(o.optionCount, s.optionCount(o.item));
        QCOMPARE(o.rect, s.itemArea(o.item));
        if (o.abnormal) {
            QCOMPARE(o.options.size(), o.optionCount);
            for (int i = 0; i < o.options.size(); ++i)
                QCOMPARE(QRect(o.options[i].x, o.options[i].y, o.options[i].width, o.options[i].height),
                         s.bubbleRect(o.item, i));
        } else {
            QCOMPARE(QSize(o.markPointWidth, o.markPointHeight), s.bubbleRect(o.item, 0).size());
        }
    };
    QVector<int> plain, optional;
    for (int item : s.objectiveItems())
        (s.isOptionalItem(item) ? optional : plain) << item;
    QVector<int> loaded;
    for (const ObjectItem &o : m.objectItems) {
        loaded << o.item;
        checkItem(o);
        if (QTest::currentTestFailed())
            return;
    }
    std::sort(loaded.begin(), loaded.end());
    std::sort(plain.begin(), plain.end());
    QCOMPARE(loaded, plain);
    loaded.clear();
    for (const OptionalObjectItem &o : m.optionalObjectItems) {
        loaded << o.item;
        checkItem(o);
        if (QTest::currentTestFailed())
            return;
        bool found = false;
        for (const SheetSpec::ObjectBlock &b : s.objectBlocks)
            found = found || (b.contains(o.item) && b.optional == o.optional);
        for (const SheetSpec::IrregularQuestion &q : s.irregularQuestions)
            found = found || (q.item == o.item && q.optional == o.optional);
        QVERIFY(found);
    }
    std::sort(loaded.begin(), loaded.end());
    std::sort(optional.begin(), optional.end());
    QCOMPARE(loaded, optional);

    QCOMPARE(m.optionalGroups.size(), s.optionalGroups.size());
    for (int g = 0; g < s.optionalGroups.size(); ++g) {
        const SheetSpec::OptionalGroup &sg = s.optionalGroups[g];
        QStringList items;
        for (int c : sg.candidates)
            items << QString::number(c);
        QCOMPARE(m.optionalGroups[g].items, items);
        QCOMPARE(m.optionalGroups[g].defaultItem, QString::number(sg.defaultCandidate));
        QCOMPARE(m.optionalGroups[g].rect, sg.area);
        QCOMPARE(QSize(m.optionalGroups[g].markPointWidth, m.optionalGroups[g].markPointHeight),
                 sg.bubbleRect(0).size());
    }
    int plainBlocks = 0;
    for (const SheetSpec::SubjectBlock &b : s.subjectBlocks) {
        if (b.optional) {
            bool found = false;
            for (const OptionalSubjectSection &o : m.optionalSubjectSections)
                found = found || (o.page == b.page && o.sectionId == b.sectionId && o.rect == b.rect
                                  && o.optional == b.optional);
            QVERIFY(found);
        } else {
            ++plainBlocks;
            bool found = false;
            for (const SubjectSection &o : m.subjectSections)
                found = found || (o.page == b.page && o.sectionId == b.sectionId && o.rect == b.rect);
            QVERIFY(found);
        }
    }
    QCOMPARE(m.subjectSections.size(), plainBlocks);
    QCOMPARE(m.optionalSubjectSections.size(), s.subjectBlocks.size() - plainBlocks);
}

void SheetRendererTest::testExpectations_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("marked");
    QTest::addColumn<QString>("answer");
    // Item 1 has 4 options, item 21 (irregular) 5, item 25 16.
    QTest::newRow("nothing") << 1 << QString() << "X";
    QTest::newRow("one letter") << 1 << "C" << "C";
    QTest::newRow("unsorted, repeated") << 1 << "DBB" << "BD";
    QTest::newRow("letter beyond the options is not printed") << 1 << "AE" << "A";
    QTest::newRow("only letters beyond the options") << 1 << "E" << "X";
    QTest::newRow("irregular, last option") << 21 << "E" << "E";
    QTest::newRow("sixteen options, last") << 25 << "PA" << "AP";
}

void SheetRendererTest::testExpectations()
{
    QFETCH(int, item);
    QFETCH(QString, marked);
    QFETCH(QString, answer);
    const SheetSpec s = SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 2);
    StudentMarks m;
    m.answers.insert(item, marked);
    QCOMPARE(s.expectedAnswer(m, item), answer);

    // Optional choice: one mark wins, none or several give the default.
    QCOMPARE(s.expectedOptionalChoice(m, 0), QStringLiteral("22"));
    m.optionalChoices.insert(0, {23});
    QCOMPARE(s.expectedOptionalChoice(m, 0), QStringLiteral("23"));
    m.optionalChoices.insert(0, {23, 22});
    QCOMPARE(s.expectedOptionalChoice(m, 0), QStringLiteral("22"));
    m.optionalChoices.insert(0, {23, 99});
    QCOMPARE(s.expectedOptionalChoice(m, 0), QStringLiteral("23"));

    // Code: a position without a digit reads X; the code is cut at its length.
    m.code = QStringLiteral("12 45678901234");
    QCOMPARE(s.expectedCode(m), QStringLiteral("12X4567890"));
    m.code = QStringLiteral("123");
    QCOMPARE(s.expectedCode(m), QStringLiteral("123XXXXXXX"));
}

void SheetRendererTest::testRenderedMarks_data()
{
    QTest::addColumn<int>("variant");
    QTest::addColumn<bool>("blankStudent");
    QTest::newRow("rectangles, random student") << 0 << false;
    QTest::newRow("rectangles, nothing marked") << 0 << true;
    QTest::newRow("barcode, random student") << 1 << false;
    QTest::newRow("printed text, code downwards, random student") << 2 << false;
}

void SheetRendererTest::testRenderedMarks()
{
    QFETCH(int, variant);
    QFETCH(bool, blankStudent);
    const SheetSpec s = specFor(variant);
    const SheetRenderer r(s);
    StudentMarks marks;
    if (!blankStudent) {
        marks = StudentMarks::random(s, 11 + variant);
        marks.code[3] = QLatin1Char(' ');       // one empty code position
        marks.absent = true;
        marks.answers[1] = QStringLiteral("BD"); // a double mark
        marks.answers[2] = QString();            // nothing
        marks.optionalChoices[0] = {22, 23};     // an ambiguous choice
    }
    const double markedMin = 0.6, unmarkedMax = 0.3;

    for (int p = 0; p < s.pageCount; ++p) {
        const int pageNo = p + 1;
        const cv::Mat page = r.renderPage(p, marks);
        const cv::Mat blank = r.blankPage(p);
        QCOMPARE(page.type(), CV_8UC1);
        QCOMPARE(QSize(page.cols, page.rows), s.pageSize);

        // Solid anchors and corner points where the template says.
        if (s.anchorKind == SheetSpec::BlackRectangles) {
            QVERIFY(solidBlock(page, s.anchors[p].blockA));
            QVERIFY(solidBlock(page, s.anchors[p].blockB));
        }
        for (const SheetSpec::CornerCheck &c : s.cornerChecks)
            if (c.page == pageNo)
                QVERIFY(solidBlock(page, c.block));

        // Where ink may differ from the blank page: the marked boxes (with a
        // little pencil overrun), the barcode label and the subjective blocks.
        cv::Mat allowed(page.size(), CV_8U, cv::Scalar(0));
        auto allow = [&allowed](const QRect &rr, int grow) {
            const QRect g = rr.adjusted(-grow, -grow, grow, grow).intersected(QRect(0, 0, allowed.cols, allowed.rows));
            allowed(cv::Rect(g.x(), g.y(), g.width(), g.height())).setTo(255);
        };
        const int overrun = std::max(2, s.px(0.03));

        for (int item : s.objectiveItems()) {
            if (s.itemPage(item) != pageNo)
                continue;
            const Binarised area(page, s.itemArea(item));
            const QString expected = s.expectedAnswer(marks, item);
            for (int o = 0; o < s.optionCount(item); ++o) {
                const QRect box = s.bubbleRect(item, o);
                const double fill = area.fill(box);
                const bool on = expected.contains(QChar('A' + o));
                QVERIFY2(on ? fill >= markedMin : fill <= unmarkedMax,
                         qPrintable(QStringLiteral("item %1 option %2 fill %3").arg(item).arg(o).arg(fill)));
                if (on) {
                    allow(box, overrun);
                    // Pencil grey, not printer black.
                    const cv::Mat b = page(cv::Rect(box.x(), box.y(), box.width(), box.height()));
                    const double mean = cv::mean(b, b < 128)[0];
                    QVERIFY2(mean >= 15 && mean <= 75, qPrintable(QString::number(mean)));
                }
            }
        }
        for (int g = 0; g < s.optionalGroups.size(); ++g) {
            const SheetSpec::OptionalGroup &grp = s.optionalGroups[g];
            if (grp.page != pageNo)
                continue;
            const Binarised area(page, grp.area);
            const QVector<int> chosen = marks.optionalChoices.value(g);
            for (int i = 0; i < grp.candidates.size(); ++i) {
                const bool on = chosen.contains(grp.candidates[i]);
                const double fill = area.fill(grp.bubbleRect(i));
                QVERIFY2(on ? fill >= markedMin : fill <= unmarkedMax, qPrintable(QString::number(fill)));
                if (on)
                    allow(grp.bubbleRect(i), overrun);
            }
        }
        if (pageNo == 1) {
            if (s.code.kind == SheetSpec::CodeBubbles) {
                const Binarised area(page, s.code.area);
                const QString code = s.expectedCode(marks);
                for (int pos = 0; pos < s.code.length; ++pos)
                    for (int d = 0; d < 10; ++d) {
                        const bool on = code[pos] == QChar('0' + d);
                        const double fill = area.fill(s.code.bubbleRect(pos, d));
                        QVERIFY2(on ? fill >= markedMin : fill <= unmarkedMax,
                                 qPrintable(QStringLiteral("position %1 digit %2 fill %3").arg(pos).arg(d).arg(fill)));
                        if (on)
                            allow(s.code.bubbleRect(pos, d), overrun);
                    }
            } else {
                allow(s.code.area, 0);
            }
            // The absent box is read at the fixed threshold 150.
            const cv::Mat box = page(cv::Rect(s.absentMark.x(), s.absentMark.y(), s.absentMark.width(),
                                              s.absentMark.height()));
            const double share = double(cv::countNonZero(box <= 150)) / box.total();
            QVERIFY2(marks.absent ? share >= markedMin : share <= unmarkedMax, qPrintable(QString::number(share)));
            if (marks.absent)
                allow(s.absentMark, 0);
        }
        for (const SheetSpec::SubjectBlock &b : s.subjectBlocks)
            if (b.page == pageNo && marks.scribbles)
                allow(b.rect, 0);

        cv::Mat changed = page != blank;
        changed.setTo(0, allowed);
        QCOMPARE(cv::countNonZero(changed), 0);
        if (blankStudent)
            QCOMPARE(TestUtil::differingPixels(page, blank), 0);
        else if (pageNo == 1)
            QVERIFY(TestUtil::differingPixels(page, blank) > 0);
    }
}

void SheetRendererTest::testRedPrint()
{
    QFETCH(int, variant);
    const SheetSpec s = specFor(variant);
    const SheetRenderer r(s);
    StudentMarks marks = StudentMarks::random(s, 3);
    marks.answers[1] = QStringLiteral("A");
    Distortion red;
    red.redPrint = true;
    const cv::Mat colour = r.renderPage(0, marks, red);
    QCOMPARE(colour.type(), CV_8UC3);
    QCOMPARE(QSize(colour.cols, colour.rows), s.pageSize);
    const cv::Mat grey = r.renderPage(0, marks);
    const cv::Mat redCh = redChannel(colour);

    // Black elements: anchors, corner points, the printed-text anchor, the barcode.
    cv::Mat black(grey.size(), CV_8U, cv::Scalar(0));
    auto mark = [&black](const QRect &rr) { black(cv::Rect(rr.x(), rr.y(), rr.width(), rr.height())).setTo(255); };
    if (s.anchorKind == SheetSpec::BlackRectangles) {
        mark(s.anchors[0].blockA);
        mark(s.anchors[0].blockB);
    } else {
        mark(s.patchRect(1));
    }
    for (const SheetSpec::CornerCheck &c : s.cornerChecks)
        if (c.page == 1)
            mark(c.block);
    if (s.code.kind == SheetSpec::CodeBarcode)
        mark(s.code.area);

    // Printed form: dark in the grey rendering, light in the red channel.
    const cv::Mat blankGrey = r.blankPage(0);
    const cv::Mat blankRed = r.blankPage(0, true);
    QCOMPARE(blankRed.type(), CV_8UC3);
    cv::Mat form = (blankGrey < 100) & ~black;
    QVERIFY(cv::countNonZero(form) > 1000);
    cv::Mat formInRed = form & (redChannel(blankRed) < 180);
    QCOMPARE(cv::countNonZero(formInRed), 0);
    std::vector<cv::Mat> ch;
    cv::split(blankRed, ch);
    QVERIFY(cv::mean(ch[0], form)[0] < 120 && cv::mean(ch[2], form)[0] > 200);
    cv::split(colour, ch);

    // Black stays black in the red channel; so does the pencil.
    cv::Mat blackInk = black & (blankGrey < 50);
    QVERIFY(cv::countNonZero(blackInk) > 0);
    QCOMPARE(cv::countNonZero(blackInk & (redCh > 60)), 0);
    const QRect box = s.bubbleRect(1, 0);
    const cv::Rect cvBox(box.x(), box.y(), box.width(), box.height());
    QVERIFY(cv::mean(redCh(cvBox))[0] < 110);
    // The pencil is grey: on bare paper the three channels agree.
    cv::Mat diff;
    cv::absdiff(ch[0](cvBox), ch[2](cvBox), diff);
    const cv::Mat paper = blankGrey(cvBox) == 255;
    QVERIFY(cv::countNonZero(paper & (redCh(cvBox) < 128)) > 0);
    QCOMPARE(cv::countNonZero((diff > 0) & paper), 0);

    // What the readers see in the red channel: marks only.
    const Binarised area(redCh, s.itemArea(1));
    for (int o = 0; o < s.optionCount(1); ++o) {
        const double fill = area.fill(s.bubbleRect(1, o));
        QVERIFY2(o == 0 ? fill >= 0.6 : fill <= 0.3, qPrintable(QString::number(fill)));
    }
}

void SheetRendererTest::testDistortion_data()
{
    QTest::addColumn<double>("angle");
    QTest::addColumn<double>("dx");
    QTest::addColumn<double>("dy");
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("blur");
    QTest::addColumn<double>("noise");
    QTest::addColumn<double>("scaleX");
    QTest::addColumn<double>("scaleY");
    QTest::newRow("shift only") << 0.0 << 14.0 << -9.0 << 1.0 << 0 << 0.0 << 1.0 << 1.0;
    QTest::newRow("turned left, shifted, larger") << 2.5 << 12.0 << -8.0 << 1.004 << 0 << 0.0 << 1.0 << 1.0;
    QTest::newRow("turned right, shifted, smaller") << -3.0 << -20.0 << 15.0 << 0.996 << 0 << 0.0 << 1.0 << 1.0;
    QTest::newRow("turned, blurred and noisy") << 1.0 << 5.0 << 5.0 << 1.0 << 3 << 6.0 << 1.0 << 1.0;
    QTest::newRow("printed at 94%") << 0.0 << 0.0 << 0.0 << 0.94 << 0 << 0.0 << 1.0 << 1.0;
    QTest::newRow("feed slipped 3%, turned") << 1.5 << 4.0 << -3.0 << 1.0 << 0 << 0.0 << 1.0 << 1.03;
    QTest::newRow("stretched across, smaller all over") << -1.0 << 0.0 << 6.0 << 0.98 << 0 << 0.0 << 0.95 << 1.0;
}

void SheetRendererTest::testDistortion()
{
    QFETCH(double, angle);
    QFETCH(double, dx);
    QFETCH(double, dy);
    QFETCH(double, scale);
    QFETCH(int, blur);
    QFETCH(double, noise);
    QFETCH(double, scaleX);
    QFETCH(double, scaleY);
    const SheetSpec s = SheetSpec::minimal(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 1, 150);
    const SheetRenderer r(s);
    Distortion d;
    d.scaleX = scaleX;
    d.scaleY = scaleY;
    d.rotationDegrees = angle;
    d.dx = dx;
    d.dy = dy;
    d.scale = scale;
    d.blurKernel = blur;
    d.noiseSigma = noise;
    const cv::Mat page = r.renderPage(0, StudentMarks(), d);
    QCOMPARE(QSize(page.cols, page.rows), s.pageSize);

    // Every black block lands where the distortion maps its centre.
    QVector<QRect> blocks{s.anchors[0].blockA, s.anchors[0].blockB};
    for (const SheetSpec::CornerCheck &c : s.cornerChecks)
        blocks << c.block;
    QVector<QPointF> found;
    for (const QRect &b : blocks) {
        const QPointF centre(b.x() + (b.width() - 1) / 2.0, b.y() + (b.height() - 1) / 2.0);
        const QPointF want = d.map(centre, s.pageSize);
        const int half = std::max(b.width(), b.height());
        const QRect window = QRect(int(want.x()) - half, int(want.y()) - half, 2 * half, 2 * half);
        const QPointF got = darkCentroid(page, window);
        QVERIFY2(std::hypot(got.x() - want.x(), got.y() - want.y()) < 1.0,
                 qPrintable(QStringLiteral("want %1,%2 got %3,%4").arg(want.x()).arg(want.y()).arg(got.x()).arg(got.y())));
        found << got;
    }
    // The per-axis factors stretch along the page's own axes: A to B runs
    // across the page, A to the lower left corner point down it.
    const QPointF acrossT = QPointF(s.anchorCenterB(1) - s.anchorCenterA(1));
    const QPointF downT = QPointF(s.cornerChecks[0].block.center() - s.anchorCenterA(1));
    const QPointF across = found[1] - found[0];
    const QPointF down = found[2] - found[0];
    QVERIFY(std::fabs(std::hypot(across.x(), across.y()) - scale * scaleX * std::hypot(acrossT.x(), acrossT.y())) < 1.5);
    QVERIFY(std::fabs(std::hypot(down.x(), down.y()) - scale * scaleY * std::hypot(downT.x(), downT.y())) < 1.5);
    // A positive angle turns the content counter-clockwise: B (right) moves up.
    const QPointF b = d.map(QPointF(s.anchorCenterB(1)), s.pageSize);
    const QPointF a = d.map(QPointF(s.anchorCenterA(1)), s.pageSize);
    if (angle != 0.0)
        QCOMPARE(b.y() < a.y(), angle > 0);

    // Corners that came from outside the page are white, not black.
    if (noise == 0.0)
        for (const cv::Point &c : {cv::Point(0, 0), cv::Point(page.cols - 1, 0), cv::Point(0, page.rows - 1),
                                   cv::Point(page.cols - 1, page.rows - 1)})
            QCOMPARE(int(page.at<uchar>(c)), 255);
    // Noise spreads the paper's grey levels; blur softens block edges.
    const cv::Rect paper(s.px(3.0), s.px(6.0), s.px(1.0), s.px(1.0));
    cv::Scalar mean, dev;
    cv::meanStdDev(page(paper), mean, dev);
    if (noise > 0)
        QVERIFY2(dev[0] > noise * 0.3 && dev[0] < noise * 1.2, qPrintable(QString::number(dev[0])));
    else
        QCOMPARE(dev[0], 0.0);
    if (blur > 1) {
        const cv::Mat around = page(cv::Rect(s.anchors[0].searchA.x(), s.anchors[0].searchA.y(),
                                             s.anchors[0].searchA.width(), s.anchors[0].searchA.height()));
        QVERIFY(cv::countNonZero((around > 60) & (around < 190)) > 20);
    }
}

void SheetRendererTest::testWriteFiles()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const SheetSpec s = SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 3);
    const SheetRenderer r(s);
    const StudentMarks marks = StudentMarks::random(s, 5);
    const QString folder = tmp.filePath(QStringLiteral("答卷 图片"));

    QString error;
    const QStringList png = r.writeSheet(folder, marks, Distortion(), QStringLiteral("s"), 7, &error);
    QVERIFY2(png.size() == 3, qPrintable(error));
    QCOMPARE(QFileInfo(png[0]).fileName(), QStringLiteral("s000007.png"));
    QCOMPARE(QFileInfo(png[2]).fileName(), QStringLiteral("s000009.png"));
    QStringList sorted = QDir(folder).entryList(QDir::Files, QDir::Name);
    QStringList names;
    for (const QString &path : png)
        names << QFileInfo(path).fileName();
    QCOMPARE(sorted, names);
    for (int p = 0; p < png.size(); ++p)
        QCOMPARE(TestUtil::differingPixels(TestUtil::readGrey(png[p]), r.renderPage(p, marks)), 0);

    // A second student continues the numbering; JPEG pages by the distortion.
    Distortion jpeg;
    jpeg.jpegQuality = 80;
    const QStringList jpg = r.writeSheet(folder, marks, jpeg, QStringLiteral("s"), 10, &error);
    QVERIFY2(jpg.size() == 3, qPrintable(error));
    QCOMPARE(QFileInfo(jpg[0]).fileName(), QStringLiteral("s000010.jpg"));
    QFile f(jpg[1]);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.read(2) == QByteArray("\xFF\xD8"));
    const cv::Mat back = TestUtil::readGrey(jpg[1]);
    const cv::Mat orig = r.renderPage(1, marks);
    QCOMPARE(back.size(), orig.size());
    cv::Mat diff;
    cv::absdiff(back, orig, diff);
    QVERIFY(cv::mean(diff)[0] < 3.0);
    sorted = QDir(folder).entryList(QDir::Files, QDir::Name);
    QCOMPARE(sorted.size(), 6);
    QCOMPARE(sorted.last(), QStringLiteral("s000012.jpg"));

    // The template as text and as a stored (complemented) file.
    const QString xmlPath = tmp.filePath(QStringLiteral("模板.xml"));
    const QString tplPath = tmp.filePath(QStringLiteral("模板.tpl"));
    QVERIFY(r.writeTemplate(xmlPath, false, &error));
    QVERIFY(r.writeTemplate(tplPath, true, &error));
    QFile x(xmlPath), t(tplPath);
    QVERIFY(x.open(QIODevice::ReadOnly) && t.open(QIODevice::ReadOnly));
    const QByteArray text = x.readAll();
    const QByteArray stored = t.readAll();
    QCOMPARE(text, r.templateXml());
    QVERIFY(stored.startsWith(QByteArray("\xC3\xC0\x87\x92\x93")));
    QCOMPARE(TemplateFormat::complementBytes(stored), text);

    // An unwritable place is reported, not ignored.
    QVERIFY(r.writeSheet(tmp.filePath(QStringLiteral("模板.xml/sub")), marks, Distortion(), QStringLiteral("s"), 1,
                         &error)
                .isEmpty());
    QVERIFY(!error.isEmpty());
}

void SheetRendererTest::testBarcodeReadsBack_data()
{
    QTest::addColumn<int>("direction");
    QTest::addColumn<bool>("redPrint");
    QTest::newRow("bars across") << 0 << false;
    QTest::newRow("turned") << 1 << false;
    QTest::newRow("turned, red print") << 1 << true;
}

void SheetRendererTest::testBarcodeReadsBack()
{
    QFETCH(int, direction);
    QFETCH(bool, redPrint);
    const SheetSpec s = SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBarcode, 1, 150, direction);
    StudentMarks marks;
    marks.code = QStringLiteral("2024060917");
    Distortion d;
    d.redPrint = redPrint;
    cv::Mat page = SheetRenderer(s).renderPage(0, marks, d);
    if (redPrint)
        page = redChannel(page);
    const QRect a = s.code.area;
    cv::Mat area = page(cv::Rect(a.x(), a.y(), a.width(), a.height())).clone();
    QString symbology, code;
    QVERIFY(readBarcodeCode(area, direction, symbology, code));
    QCOMPARE(code, marks.code);
    QCOMPARE(symbology, QStringLiteral("CODE-128"));
}

QTEST_GUILESS_MAIN(SheetRendererTest)
#include "sheetrenderer_test.moc"
