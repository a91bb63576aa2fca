#include "templateloader.h"
#include "templateformat.h"

#include <QRegularExpression>
#include <QtTest>
#include <tinyxml2.h>


namespace {

// Small XML builders: a document is a root with Pages; a default page holds a
// rectangle anchor and, on the first page, a bubble-grid code section.

QString rectAnchor(QPoint a = QPoint(100, 100), QPoint b = QPoint(2300, 100),
                   const QString &extraAttrs = QStringLiteral(" AnchorType=\"BlackRectangle\" AngleAB=\"3.1416\""))
{
    auto block = [](const char *tag, QPoint c, int sx) {
        return QStringLiteral("<%1 X=\"%2\" Y=\"%3\" Width=\"200\" Height=\"150\" AnchorPointX=\"5\" AnchorPointY=\"6\""
                              " AnchorPointWidth=\"40\" AnchorPointHeight=\"30\" CenterX=\"%4\" CenterY=\"%5\"/>")
            .arg(QLatin1String(tag)).arg(sx).arg(c.y() - 60).arg(c.x()).arg(c.y());
    };
    return QStringLiteral("<Section Type=\"AnchorPoint\"") + extraAttrs + QStringLiteral(">")
           + block("A", a, a.x() - 80) + block("B", b, b.x() - 90) + QStringLiteral("</Section>");
}

QString printTextAnchor(const QString &matAttrs)
{
    return QStringLiteral("<Section Type=\"AnchorPoint\" AnchorType=\"PrintText\" AngleAB=\"1.5\">"
                          "<PrintTextAnchor X=\"500\" Y=\"40\" Width=\"600\" Height=\"200\" CenterX=\"760\" CenterY=\"130\""
                          " MatX=\"20\" MatY=\"30\" ")
           + matAttrs + QStringLiteral("/></Section>");
}

const char *const kBubbleCode =
    "<Section Type=\"Code\" CodeType=\"0\" CodeLength=\"8\" NumberDirection=\"1\" MarkPointWidth=\"22\""
    " MarkPointHeight=\"14\" X=\"300\" Y=\"400\" Width=\"500\" Height=\"320\"/>";
const char *const kBarCode =
    "<Section Type=\"Code\" CodeType=\"1\" BarDirection=\"1\" X=\"310\" Y=\"410\" Width=\"520\" Height=\"120\"/>";
// An optional group with candidates 21 and 22, for the blocks that belong to one.
const QString kGroup21 = QStringLiteral("<Section Type=\"Optional\" Items=\"21,22\" DefaultItem=\"21\" MustDoItemCount=\"1\""
                                        " X=\"1000\" Y=\"100\" Width=\"200\" Height=\"40\" MarkPointWidth=\"24\" MarkPointHeight=\"18\"/>");
const char *const kAbsentMark = "<Section Type=\"AbsentMark\" X=\"900\" Y=\"420\" Width=\"40\" Height=\"25\"/>";

QString pageXml(const QString &id, const QString &sections)
{
    return QStringLiteral("<Page ID=\"%1\" Width=\"2480\" Height=\"3508\">").arg(id) + sections + QStringLiteral("</Page>");
}

QString firstPage(const QString &more = QString())
{
    return pageXml(QStringLiteral("1"), rectAnchor() + QLatin1String(kBubbleCode) + more);
}

QByteArray docXml(const QString &pages, const QString &rootAttrs = QStringLiteral("Name=\"期中 &amp; 数学\" Version=\"4.1\""))
{
    return (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Lumbrisk ") + rootAttrs
            + QStringLiteral(">\n<Pages>") + pages + QStringLiteral("</Pages>\n</Lumbrisk>\n"))
        .toUtf8();
}

// A model that holds something everywhere, to see what a load keeps.
TemplateModel earlierModel()
{
    TemplateModel m;
    m.name = QStringLiteral("旧模板");
    m.version = QStringLiteral("4.1");
    m.templatePages.append(TemplatePage());
    m.templatePages[0].id = 1;
    m.pagesPerSheet = 1;
    m.cornerChecks.append(CornerCheckArea());
    m.codeType = 1;
    m.barDirection = 1;
    m.codeLength = 9;
    m.numberDirection = 1;
    m.codeMarkPointWidth = 11;
    m.codeMarkPointHeight = 12;
    m.codeRect = QRect(1, 2, 3, 4);
    m.hasAbsentMark = true;
    m.absentMarkRect = QRect(5, 6, 7, 8);
    m.objectItems.append(ObjectItem());
    m.subjectSections.append(SubjectSection());
    m.optionalGroups.append(OptionalGroup());
    m.optionalObjectItems.append(OptionalObjectItem());
    m.optionalSubjectSections.append(OptionalSubjectSection());
    return m;
}

void verifyEmpty(const TemplateModel &m)
{
    QVERIFY(m.name.isEmpty());
    QVERIFY(m.version.isEmpty());
    QVERIFY(m.templatePages.isEmpty());
    QCOMPARE(m.pagesPerSheet, 0);
    QVERIFY(m.cornerChecks.isEmpty());
    QCOMPARE(m.codeType, 0);
    QCOMPARE(m.barDirection, 0);
    QCOMPARE(m.codeLength, 0);
    QCOMPARE(m.numberDirection, 0);
    QCOMPARE(m.codeMarkPointWidth, 0);
    QCOMPARE(m.codeMarkPointHeight, 0);
    QVERIFY(m.codeRect.isNull());
    QVERIFY(!m.hasAbsentMark);
    QVERIFY(m.absentMarkRect.isNull());
    QVERIFY(m.objectItems.isEmpty());
    QVERIFY(m.subjectSections.isEmpty());
    QVERIFY(m.optionalGroups.isEmpty());
    QVERIFY(m.optionalObjectItems.isEmpty());
    QVERIFY(m.optionalSubjectSections.isEmpty());
}

QVector<QRect> rectsOf(const QVector<ObjectItem> &items)
{
    QVector<QRect> r;
    for (const ObjectItem &i : items)
        r << i.rect;
    return r;
}

} // namespace

class TemplateLoaderTest : public QObject
{
    Q_OBJECT

private slots:
    void testWholeDocument();
    void testVersionGate_data();
    void testVersionGate();
    void testRefused_data();
    void testRefused();
    void testRegularStrips_data();
    void testRegularStrips();
    void testIrregularOptions_data();
    void testIrregularOptions();
    void testOptionalItems_data();
    void testOptionalItems();
    void testAnchorKinds_data();
    void testAnchorKinds();
    void testUnusablePatch_data();
    void testUnusablePatch();
    void testApplyPageOrigins();
    void testPageLookup();
    void testSecondLoadResetsCode_data();
    void testSecondLoadResetsCode();
};

void TemplateLoaderTest::testWholeDocument()
{
    const QString page1 = firstPage(
        QStringLiteral("<Section Type=\"CornerCheck\" Name=\"左上 &quot;角&quot;\" X=\"10\" Y=\"20\" Width=\"60\" Height=\"50\""
                       " AnchorPointX=\"3\" AnchorPointY=\"4\" AnchorPointWidth=\"18\" AnchorPointHeight=\"16\"/>")
        + QLatin1String(kAbsentMark)
        + QStringLiteral("<Section Type=\"Object\" Abnormal=\"0\" ItemStart=\"1\" ItemEnd=\"5\" OptionDirection=\"0\" OptionCount=\"4\""
                         " MarkPointWidth=\"24\" MarkPointHeight=\"20\" X=\"100\" Y=\"200\" Width=\"300\" Height=\"260\"/>")
        + QStringLiteral("<Section Type=\"Subject\" SubjectSectionID=\"3\" X=\"100\" Y=\"900\" Width=\"800\" Height=\"400\"/>")
        + QStringLiteral("<Section Type=\"Mystery\" X=\"1\"/>")
        // A later anchor section on the same page is not the page's anchor.
        + rectAnchor(QPoint(7, 7), QPoint(9, 9)));
    const QString page2 = pageXml(QStringLiteral("2"),
        rectAnchor(QPoint(150, 120), QPoint(2200, 130))
        + QStringLiteral("<Section Type=\"CornerCheck\" Name=\"右下\" X=\"2300\" Y=\"3300\" Width=\"80\" Height=\"70\""
                         " AnchorPointWidth=\"20\" AnchorPointHeight=\"22\"/>")
        + QStringLiteral("<Section Type=\"Optional\" Items=\"21,22\" DefaultItem=\"21\" MustDoItemCount=\"1\""
                         " X=\"100\" Y=\"100\" Width=\"200\" Height=\"40\" MarkPointWidth=\"24\" MarkPointHeight=\"18\"/>")
        + QStringLiteral("<Section Type=\"OptionalObject\" Abnormal=\"0\" Optional=\"21\" ItemStart=\"30\" ItemEnd=\"31\""
                         " OptionDirection=\"0\" OptionCount=\"4\" MarkPointWidth=\"24\" MarkPointHeight=\"20\""
                         " X=\"100\" Y=\"300\" Width=\"300\" Height=\"100\"/>")
        + QStringLiteral("<Section Type=\"OptionalObject\" Abnormal=\"1\" Optional=\"22\" Item=\"32\" OptionCount=\"2\""
                         " X=\"500\" Y=\"300\" Width=\"200\" Height=\"40\">"
                         "<Option Index=\"0\" Option=\"A\" X=\"510\" Y=\"305\" Width=\"20\" Height=\"15\"/>"
                         "<Option Index=\"1\" Option=\"B\" X=\"560\" Y=\"305\" Width=\"20\" Height=\"15\"/></Section>")
        + QStringLiteral("<Section Type=\"OptionalSubject\" Optional=\"22\" SubjectSectionID=\"4\" X=\"100\" Y=\"600\" Width=\"700\" Height=\"500\"/>")
        + QStringLiteral("<Section Type=\"Object\" Abnormal=\"1\" Item=\"6\" OptionCount=\"2\" X=\"700\" Y=\"800\" Width=\"100\" Height=\"40\">"
                         "<Option Index=\"0\" Option=\"A\" X=\"705\" Y=\"805\" Width=\"20\" Height=\"15\"/>"
                         "<Option Index=\"1\" Option=\"B\" X=\"745\" Y=\"805\" Width=\"20\" Height=\"15\"/></Section>"));
    // The subjective configuration is not the processing program's business.
    QByteArray xml = docXml(page1 + page2);
    xml.replace("</Pages>", "</Pages><SubjectConfig UpdateType=\"1\"><Item ItemID=\"1\" Alias=\"作文\" Pages=\"1\" Sections=\"3\"/></SubjectConfig>");

    TemplateModel m = earlierModel();
    QStringList log;
    QTest::ignoreMessage(QtDebugMsg, "optiona abnormal to be done ,here!!!");
    QTest::ignoreMessage(QtDebugMsg, "optiona abnormal to be done ,here!!!");
    const TemplateLoadResult r = parseTemplateText(xml, m, log);
    QVERIFY2(r.ok(), qPrintable(r.message));
    QVERIFY(r.message.isEmpty());

    QCOMPARE(log, (QStringList{QStringLiteral("模板文件名 期中 & 数学 版本 4.1"), QStringLiteral("客观题 数量 6"),
                               QStringLiteral("主观题 数量 1"), QStringLiteral("选做题 数量 1"),
                               QStringLiteral("选做题 客观题 数量 3"), QStringLiteral("选做题 主观题 数量 1")}));
    QCOMPARE(m.name, QStringLiteral("期中 & 数学"));
    QCOMPARE(m.version, QStringLiteral("4.1"));

    QCOMPARE(m.pagesPerSheet, 2);
    QCOMPARE(m.templatePages.size(), 2);
    const TemplatePage &p1 = m.templatePages[0];
    QCOMPARE(p1.id, 1);
    QCOMPARE(p1.width, 2480);
    QCOMPARE(p1.height, 3508);
    QVERIFY(p1.isRectangleAnchor);
    QCOMPARE(p1.angleAB, 3.1416f);
    QCOMPARE(p1.anchorA.centerX, 100);
    QCOMPARE(p1.anchorA.centerY, 100);
    QCOMPARE(p1.anchorA.anchorPointWidth, 40);
    QCOMPARE(p1.anchorA.anchorPointHeight, 30);
    QCOMPARE(p1.anchorA.searchRect, QRect(20, 40, 200, 150));
    QCOMPARE(p1.anchorB.centerX, 2300);
    QCOMPARE(p1.anchorB.searchRect, QRect(2210, 40, 200, 150));
    QVERIFY(!p1.featuresReady);
    QVERIFY(p1.printTextMat.empty());
    QVERIFY(p1.keyPoints.empty());
    QCOMPARE(m.templatePages[1].id, 2);

    cv::Rect sa, sb;
    float angle = 0;
    int aw = 0, ah = 0, bw = 0, bh = 0, pw = 0, ph = 0;
    p1.anchorData(sa, sb, angle, aw, ah, bw, bh, pw, ph);
    QCOMPARE(sa, cv::Rect(20, 40, 200, 150));
    QCOMPARE(sb, cv::Rect(2210, 40, 200, 150));
    QCOMPARE(angle, 3.1416f);
    QCOMPARE((QVector<int>{aw, ah, bw, bh, pw, ph}), (QVector<int>{40, 30, 40, 30, 2480, 3508}));
    pw = ph = 0;
    p1.sheetSize(pw, ph);
    QCOMPARE(pw, 2480);
    QCOMPARE(ph, 3508);

    QCOMPARE(m.cornerChecks.size(), 2);
    QCOMPARE(m.cornerChecks[0].page, 1);
    QCOMPARE(m.cornerChecks[0].name, QStringLiteral("左上 \"角\""));
    QCOMPARE(m.cornerChecks[0].rect, QRect(10, 20, 60, 50));
    QCOMPARE(m.cornerChecks[0].anchorPointWidth, 18);
    QCOMPARE(m.cornerChecks[0].anchorPointHeight, 16);
    QCOMPARE(m.cornerChecks[1].page, 2);
    QCOMPARE(m.cornerChecks[1].name, QStringLiteral("右下"));

    QCOMPARE(m.codeType, 0);
    QCOMPARE(m.codeLength, 8);
    QCOMPARE(m.numberDirection, 1);
    QCOMPARE(m.codeMarkPointWidth, 22);
    QCOMPARE(m.codeMarkPointHeight, 14);
    QCOMPARE(m.barDirection, 0);
    QCOMPARE(m.codeRect, QRect(300, 400, 500, 320));
    QVERIFY(m.hasAbsentMark);
    QCOMPARE(m.absentMarkRect, QRect(900, 420, 40, 25));

    QCOMPARE(m.objectItems.size(), 6);
    QCOMPARE(m.objectItems[0].page, 1);
    QCOMPARE(m.objectItems[4].item, 5);
    QCOMPARE(m.objectItems[5].page, 2);
    QCOMPARE(m.objectItems[5].item, 6);
    QVERIFY(m.objectItems[5].abnormal);

    QCOMPARE(m.subjectSections.size(), 1);
    QCOMPARE(m.subjectSections[0].page, 1);
    QCOMPARE(m.subjectSections[0].sectionId, 3);
    QCOMPARE(m.subjectSections[0].rect, QRect(100, 900, 800, 400));

    QCOMPARE(m.optionalGroups.size(), 1);
    const OptionalGroup &g = m.optionalGroups[0];
    QCOMPARE(g.page, 2);
    QCOMPARE(g.items, (QStringList{QStringLiteral("21"), QStringLiteral("22")}));
    QCOMPARE(g.defaultItem, QStringLiteral("21"));
    QCOMPARE(g.markPointWidth, 24);
    QCOMPARE(g.markPointHeight, 18);
    QCOMPARE(g.rect, QRect(100, 100, 200, 40));

    QCOMPARE(m.optionalObjectItems.size(), 3);
    QCOMPARE(m.optionalObjectItems[0].optional, 21);
    QCOMPARE(m.optionalObjectItems[1].optional, 21);
    QCOMPARE(m.optionalObjectItems[1].item, 31);
    QCOMPARE(m.optionalObjectItems[1].rect, QRect(100, 380, 300, 20));
    QCOMPARE(m.optionalObjectItems[2].optional, 22);
    QCOMPARE(m.optionalObjectItems[2].page, 2);
    QVERIFY(m.optionalObjectItems[2].abnormal);
    QCOMPARE(m.optionalObjectItems[2].options.size(), 2);
    QCOMPARE(m.optionalObjectItems[2].options[1].letter, QChar('B'));

    QCOMPARE(m.optionalSubjectSections.size(), 1);
    QCOMPARE(m.optionalSubjectSections[0].optional, 22);
    QCOMPARE(m.optionalSubjectSections[0].page, 2);
    QCOMPARE(m.optionalSubjectSections[0].sectionId, 4);
    QCOMPARE(m.optionalSubjectSections[0].rect, QRect(100, 600, 700, 500));
}

void TemplateLoaderTest::testVersionGate_data()
{
    QTest::addColumn<QString>("rootAttrs");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<QString>("message");

    const QString refused = QStringLiteral("当前模析文件版本 %1 低于Ardentiq所能加载最低版本要求 4.0\n程序将关闭");
    QTest::newRow("4.0") << QStringLiteral("Name=\"n\" Version=\"4.0\"") << true << QString();
    QTest::newRow("4.1") << QStringLiteral("Name=\"n\" Version=\"4.1\"") << true << QString();
    QTest::newRow("10") << QStringLiteral("Name=\"n\" Version=\"10\"") << true << QString();
    QTest::newRow("3.9") << QStringLiteral("Name=\"n\" Version=\"3.9\"") << false << refused.arg(QStringLiteral("3.9"));
    QTest::newRow("empty") << QStringLiteral("Name=\"n\" Version=\"\"") << false << refused.arg(QString());
    QTest::newRow("abc") << QStringLiteral("Name=\"n\" Version=\"abc\"") << false << refused.arg(QStringLiteral("abc"));
    QTest::newRow("missing") << QStringLiteral("Name=\"n\"") << false << refused.arg(QString());
    QTest::newRow("nan") << QStringLiteral("Name=\"n\" Version=\"nan\"") << false << refused.arg(QStringLiteral("nan"));
    // The version text goes into the box as it stands, markers included.
    QTest::newRow("marker in version") << QStringLiteral("Name=\"n\" Version=\"%2\"") << false
                                       << QStringLiteral("当前模析文件版本 %2 低于Ardentiq所能加载最低版本要求 4.0\n程序将关闭");
}

void TemplateLoaderTest::testVersionGate()
{
    QFETCH(QString, rootAttrs);
    QFETCH(bool, loads);
    QFETCH(QString, message);

    TemplateModel m = earlierModel();
    QStringList log;
    const TemplateLoadResult r = parseTemplateText(docXml(firstPage(), rootAttrs), m, log);
    QVERIFY(!log.isEmpty());
    QVERIFY(log.first().startsWith(QStringLiteral("模板文件名 n 版本 ")));
    if (loads) {
        QCOMPARE(r.status, TemplateLoadResult::Loaded);
        QCOMPARE(m.templatePages.size(), 1);
        QCOMPARE(m.name, QStringLiteral("n"));
        return;
    }
    QCOMPARE(r.status, TemplateLoadResult::VersionTooLow);
    QCOMPARE(r.message, message);
    QCOMPARE(log.size(), 1);
    // Nothing of the earlier model was touched.
    QCOMPARE(m.name, QStringLiteral("旧模板"));
    QCOMPARE(m.codeType, 1);
    QCOMPARE(m.codeLength, 9);
    QCOMPARE(m.codeRect, QRect(1, 2, 3, 4));
    QVERIFY(m.hasAbsentMark);
    QCOMPARE(m.templatePages.size(), 1);
    QCOMPARE(m.objectItems.size(), 1);
    QCOMPARE(m.optionalSubjectSections.size(), 1);
}

void TemplateLoaderTest::testRefused_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("message");

    // The rules themselves are one table shared with the designer; these rows
    // show the loader's frame around them and that a refusal keeps nothing.
    const QString refused = QStringLiteral("模板文件无法加载：");
    QTest::newRow("no root element") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- nothing -->\n")
                                     << refused + QStringLiteral("模板缺少根节点");
    QTest::newRow("no Pages element")
        << QByteArray("<?xml version=\"1.0\"?><Lumbrisk Name=\"n\" Version=\"4.1\"><SubjectConfig UpdateType=\"1\"/></Lumbrisk>")
        << refused + QStringLiteral("模板缺少 Pages 节点");
    QTest::newRow("no page") << docXml(QString()) << refused + QStringLiteral("模板不包含任何页面");
    QTest::newRow("page without anchor")
        << docXml(firstPage() + pageXml(QStringLiteral("2"), QStringLiteral("<Section Type=\"Subject\" SubjectSectionID=\"1\""
                                                                          " X=\"10\" Y=\"10\" Width=\"100\" Height=\"100\"/>")))
        << refused + QStringLiteral("第2页 缺少定位点");
    QTest::newRow("anchor without A")
        << docXml(pageXml(QStringLiteral("1"), rectAnchor().replace(QRegularExpression(QStringLiteral("<A [^>]*/>")), QString())
                                                + QLatin1String(kBubbleCode)))
        << refused + QStringLiteral("第1页 定位点：缺少 A 节点");
    QTest::newRow("printed text without its child")
        << docXml(firstPage() + pageXml(QStringLiteral("2"), QStringLiteral("<Section Type=\"AnchorPoint\" AnchorType=\"PrintText\">"
                                                                          "<A/><B/></Section>")))
        << refused + QStringLiteral("第2页 定位点：缺少 PrintTextAnchor 节点");
    QTest::newRow("page ids skip a number")
        << docXml(firstPage() + pageXml(QStringLiteral("3"), rectAnchor()))
        << refused + QStringLiteral("第2页 页号 ID 为“3”，应为 2");
    QTest::newRow("first page without code")
        << docXml(pageXml(QStringLiteral("1"), rectAnchor()) + pageXml(QStringLiteral("2"), rectAnchor() + QLatin1String(kBubbleCode)))
        << refused + QStringLiteral("第1页 缺少考号");
    QString manyBlocks;
    for (int i = 0; i < 11; ++i)
        manyBlocks += QStringLiteral("<Section Type=\"Object\" Abnormal=\"0\" ItemStart=\"%1\" ItemEnd=\"%2\" OptionDirection=\"0\""
                                     " OptionCount=\"4\" MarkPointWidth=\"20\" MarkPointHeight=\"2\""
                                     " X=\"100\" Y=\"100\" Width=\"300\" Height=\"2000\"/>")
                          .arg(i * 1000 + 1).arg(i * 1000 + 1000);
    QTest::newRow("too many questions in all")
        << docXml(firstPage(manyBlocks)) << refused + QStringLiteral("模板的客观题超过 10000 道");
    // A sound block before the broken one does not make the document loadable.
    auto regular = [](int start, int end) {
        return QStringLiteral("<Section Type=\"Object\" Abnormal=\"0\" ItemStart=\"%1\" ItemEnd=\"%2\""
                              " OptionDirection=\"0\" OptionCount=\"4\" MarkPointWidth=\"20\" MarkPointHeight=\"20\""
                              " X=\"100\" Y=\"100\" Width=\"300\" Height=\"200\"/>")
            .arg(start).arg(end);
    };
    QTest::newRow("second block broken")
        << docXml(firstPage(regular(1, 5) + regular(7, 6)))
        << refused + QStringLiteral("第1页 客观题 7-6：结束题号 6 小于起始题号 7");
    QTest::newRow("not XML")
        << QByteArray("<Lumbrisk Version=\"4.1\"><Pages></Lumbrisk>")
        << QString();   // the parser's own words follow; only the frame is fixed
}

void TemplateLoaderTest::testRefused()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, message);

    TemplateModel m = earlierModel();
    QStringList log;
    const TemplateLoadResult r = parseTemplateText(xml, m, log);
    QCOMPARE(r.status, TemplateLoadResult::Invalid);
    if (message.isEmpty()) {
        QVERIFY2(r.message.startsWith(QStringLiteral("模板文件不是有效的 XML")), qPrintable(r.message));
        QVERIFY(r.message.endsWith(QStringLiteral("无法加载。")));
    } else {
        QCOMPARE(r.message, message);
    }
    verifyEmpty(m);
}

void TemplateLoaderTest::testRegularStrips_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("attrs");
    QTest::addColumn<int>("firstItem");
    QTest::addColumn<QVector<QRect>>("rects");

    const QString horizontal = QStringLiteral("ItemStart=\"1\" ItemEnd=\"5\" OptionDirection=\"0\" OptionCount=\"4\""
                                              " MarkPointWidth=\"25\" MarkPointHeight=\"20\" X=\"100\" Y=\"200\" Width=\"300\" Height=\"260\"");
    const QVector<QRect> horizontalRects{QRect(100, 200, 300, 20), QRect(100, 260, 300, 20), QRect(100, 320, 300, 20),
                                         QRect(100, 380, 300, 20), QRect(100, 440, 300, 20)};
    const QString vertical = QStringLiteral("ItemStart=\"11\" ItemEnd=\"15\" OptionDirection=\"1\" OptionCount=\"4\""
                                            " MarkPointWidth=\"30\" MarkPointHeight=\"18\" X=\"100\" Y=\"200\" Width=\"250\" Height=\"120\"");
    const QVector<QRect> verticalRects{QRect(100, 200, 30, 120), QRect(155, 200, 30, 120), QRect(210, 200, 30, 120),
                                       QRect(265, 200, 30, 120), QRect(320, 200, 30, 120)};

    QTest::newRow("horizontal strips") << "Object" << horizontal << 1 << horizontalRects;
    QTest::newRow("vertical strips") << "Object" << vertical << 11 << verticalRects;
    QTest::newRow("optional vertical strips") << "OptionalObject" << vertical << 11 << verticalRects;
    QTest::newRow("optional horizontal strips") << "OptionalObject" << horizontal << 1 << horizontalRects;
    // 80 / 3 = 26.666...: each offset truncated, the last one ends at the edge.
    QTest::newRow("fractional step")
        << "Object"
        << QStringLiteral("ItemStart=\"7\" ItemEnd=\"10\" OptionDirection=\"1\" OptionCount=\"5\" MarkPointWidth=\"20\""
                          " MarkPointHeight=\"10\" X=\"10\" Y=\"50\" Width=\"100\" Height=\"90\"")
        << 7 << QVector<QRect>{QRect(10, 50, 20, 90), QRect(36, 50, 20, 90), QRect(63, 50, 20, 90), QRect(90, 50, 20, 90)};
    QTest::newRow("fractional step downwards")
        << "Object"
        << QStringLiteral("ItemStart=\"1\" ItemEnd=\"4\" OptionDirection=\"0\" OptionCount=\"4\" MarkPointWidth=\"20\""
                          " MarkPointHeight=\"20\" X=\"10\" Y=\"50\" Width=\"90\" Height=\"100\"")
        << 1 << QVector<QRect>{QRect(10, 50, 90, 20), QRect(10, 76, 90, 20), QRect(10, 103, 90, 20), QRect(10, 130, 90, 20)};
    QTest::newRow("one question")
        << "Object"
        << QStringLiteral("ItemStart=\"9\" ItemEnd=\"9\" OptionDirection=\"1\" OptionCount=\"4\" MarkPointWidth=\"30\""
                          " MarkPointHeight=\"18\" X=\"40\" Y=\"60\" Width=\"250\" Height=\"120\"")
        << 9 << QVector<QRect>{QRect(40, 60, 30, 120)};
}

void TemplateLoaderTest::testRegularStrips()
{
    QFETCH(QString, kind);
    QFETCH(QString, attrs);
    QFETCH(int, firstItem);
    QFETCH(QVector<QRect>, rects);

    const bool optional = kind == QLatin1String("OptionalObject");
    const QString section = QStringLiteral("<Section Type=\"%1\" Abnormal=\"0\" Optional=\"21\" ").arg(kind) + attrs + QStringLiteral("/>");
    TemplateModel m;
    QStringList log;
    if (optional)
        QTest::ignoreMessage(QtDebugMsg, "optiona abnormal to be done ,here!!!");
    const TemplateLoadResult r = parseTemplateText(docXml(firstPage() + pageXml(QStringLiteral("2"), rectAnchor() + kGroup21 + section)), m, log);
    QVERIFY2(r.ok(), qPrintable(r.message));

    QVector<ObjectItem> items;
    if (optional) {
        QVERIFY(m.objectItems.isEmpty());
        for (const OptionalObjectItem &o : m.optionalObjectItems) {
            QCOMPARE(o.optional, 21);
            items << o;
        }
    } else {
        QVERIFY(m.optionalObjectItems.isEmpty());
        items = m.objectItems;
    }
    QCOMPARE(rectsOf(items), rects);
    QVERIFY(log.contains(QStringLiteral("客观题 数量 ") + QString::number(optional ? 0 : rects.size())));
    QVERIFY(log.contains(QStringLiteral("选做题 客观题 数量 ") + QString::number(optional ? rects.size() : 0)));

    tinyxml2::XMLDocument doc;
    QCOMPARE(doc.Parse(section.toUtf8().constData()), tinyxml2::XML_SUCCESS);
    const tinyxml2::XMLElement *e = doc.RootElement();
    for (int k = 0; k < items.size(); ++k) {
        const ObjectItem &q = items[k];
        QCOMPARE(q.page, 2);
        QCOMPARE(q.item, firstItem + k);
        QCOMPARE(q.optionCount, e->IntAttribute("OptionCount"));
        QCOMPARE(q.optionDirection, e->IntAttribute("OptionDirection"));
        QCOMPARE(q.markPointWidth, e->IntAttribute("MarkPointWidth"));
        QCOMPARE(q.markPointHeight, e->IntAttribute("MarkPointHeight"));
        QVERIFY(!q.abnormal);
        QVERIFY(q.options.isEmpty());
    }
}

void TemplateLoaderTest::testIrregularOptions_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("optionCount");
    QTest::addColumn<int>("children");
    QTest::addColumn<QString>("letters");

    QTest::newRow("three options") << "Object" << 3 << 3 << QStringLiteral("ABC");
    QTest::newRow("sixteen options") << "Object" << 16 << 16 << QStringLiteral("ABCDEFGHIJKLMNOP");
    QTest::newRow("optional group question") << "OptionalObject" << 4 << 4 << QStringLiteral("ABCD");
    QTest::newRow("two options") << "Object" << 2 << 2 << QStringLiteral("AB");
}

void TemplateLoaderTest::testIrregularOptions()
{
    QFETCH(QString, kind);
    QFETCH(int, optionCount);
    QFETCH(int, children);
    QFETCH(QString, letters);

    QString section = kGroup21 + QStringLiteral("<Section Type=\"%1\" Abnormal=\"1\" Optional=\"21\" Item=\"42\" OptionCount=\"%2\""
                                     " X=\"300\" Y=\"700\" Width=\"900\" Height=\"50\" OptionDirection=\"1\" MarkPointWidth=\"9\">")
                          .arg(kind).arg(optionCount);
    for (int i = 0; i < children; ++i) {
        // Misleading Index and letter attributes and odd element names: the
        // position of the child decides.
        section += QStringLiteral("<%1 Index=\"%2\" Option=\"Z\" X=\"%3\" Y=\"710\" Width=\"20\" Height=\"%4\"/>")
                       .arg(i % 2 ? QStringLiteral("Bubble") : QStringLiteral("Option"))
                       .arg(children - i)
                       .arg(310 + 40 * i)
                       .arg(15 + i);
    }
    section += QStringLiteral("</Section>");

    TemplateModel m;
    QStringList log;
    const bool optional = kind == QLatin1String("OptionalObject");
    if (optional)
        QTest::ignoreMessage(QtDebugMsg, "optiona abnormal to be done ,here!!!");
    const TemplateLoadResult r = parseTemplateText(docXml(firstPage(section)), m, log);
    QVERIFY2(r.ok(), qPrintable(r.message));

    ObjectItem q;
    if (optional) {
        QCOMPARE(m.optionalObjectItems.size(), 1);
        QCOMPARE(m.optionalObjectItems[0].optional, 21);
        q = m.optionalObjectItems[0];
    } else {
        QCOMPARE(m.objectItems.size(), 1);
        q = m.objectItems[0];
    }
    QCOMPARE(q.page, 1);
    QCOMPARE(q.item, 42);
    QCOMPARE(q.optionCount, children);
    QVERIFY(q.abnormal);
    QCOMPARE(q.rect, QRect(300, 700, 900, 50));
    // Direction and bubble size belong to regular blocks only.
    QCOMPARE(q.optionDirection, 0);
    QCOMPARE(q.markPointWidth, 0);
    QCOMPARE(q.options.size(), children);
    QString got;
    for (int i = 0; i < q.options.size(); ++i) {
        const OptionBox &b = q.options[i];
        QCOMPARE(b.index, i);
        QCOMPARE(b.x, 310 + 40 * i);
        QCOMPARE(b.y, 710);
        QCOMPARE(b.width, 20);
        QCOMPARE(b.height, 15 + i);
        got += b.letter;
    }
    QCOMPARE(got, letters);
}

void TemplateLoaderTest::testOptionalItems_data()
{
    QTest::addColumn<QString>("itemsAttr");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("two numbers") << QStringLiteral("Items=\"3,4\"") << QStringList{"3", "4"};
    QTest::newRow("three numbers") << QStringLiteral("Items=\"5,3,4\"") << QStringList{"5", "3", "4"};
}

void TemplateLoaderTest::testOptionalItems()
{
    QFETCH(QString, itemsAttr);
    QFETCH(QStringList, items);

    TemplateModel m;
    QStringList log;
    const QString section = QStringLiteral("<Section Type=\"Optional\" ") + itemsAttr
                            + QStringLiteral(" DefaultItem=\"3\" X=\"1\" Y=\"2\" Width=\"30\" Height=\"40\""
                                             " MarkPointWidth=\"10\" MarkPointHeight=\"10\"/>");
    const TemplateLoadResult r = parseTemplateText(docXml(firstPage(section)), m, log);
    QVERIFY2(r.ok(), qPrintable(r.message));
    QCOMPARE(m.optionalGroups.size(), 1);
    QCOMPARE(m.optionalGroups[0].items, items);
    QCOMPARE(m.optionalGroups[0].defaultItem, QStringLiteral("3"));
}

void TemplateLoaderTest::testAnchorKinds_data()
{
    QTest::addColumn<QString>("anchor");
    QTest::addColumn<bool>("rectangle");
    QTest::addColumn<float>("angle");

    const QString patch = QStringLiteral("MatRows=\"2\" MatCols=\"3\" MatData=\"%1\"")
                              .arg(TemplateFormat::encodeMatData((cv::Mat_<uchar>(2, 3) << 0, 255, 255, 255, 0, 0)));
    QTest::newRow("printed text ignores its angle") << printTextAnchor(patch) << false << 0.0f;
    QTest::newRow("missing type is a rectangle page")
        << rectAnchor(QPoint(100, 100), QPoint(2300, 100), QStringLiteral(" AngleAB=\"-0.0125\"")) << true << -0.0125f;
    QTest::newRow("unknown type is a rectangle page")
        << rectAnchor(QPoint(100, 100), QPoint(2300, 100), QStringLiteral(" AnchorType=\"Circle\" AngleAB=\"0.5\"")) << true << 0.5f;
    QTest::newRow("black rectangles") << rectAnchor() << true << 3.1416f;
}

void TemplateLoaderTest::testAnchorKinds()
{
    QFETCH(QString, anchor);
    QFETCH(bool, rectangle);
    QFETCH(float, angle);

    TemplateModel m;
    QStringList log;
    const TemplateLoadResult r = parseTemplateText(
        docXml(pageXml(QStringLiteral("1"), anchor + QLatin1String(kBubbleCode))), m, log);
    QVERIFY2(r.ok(), qPrintable(r.message));
    const TemplatePage &p = m.templatePages[0];
    QCOMPARE(p.isRectangleAnchor, rectangle);
    QCOMPARE(p.angleAB, angle);
    if (rectangle) {
        QCOMPARE(p.anchorA.centerX, 100);
        QCOMPARE(p.anchorB.centerX, 2300);
        QVERIFY(p.printTextMat.empty());
        QCOMPARE(m.pageOrigin(1), QPoint(100, 100));
        return;
    }
    QCOMPARE(p.printTextSearchRect, QRect(500, 40, 600, 200));
    QCOMPARE(p.printTextCenterX, 760);
    QCOMPARE(p.printTextCenterY, 130);
    QCOMPARE(p.anchorA.centerX, 0);
    QCOMPARE(p.printTextMat.type(), CV_8UC1);
    QCOMPARE(p.printTextMat.rows, 2);
    QCOMPARE(p.printTextMat.cols, 3);
    QCOMPARE(int(p.printTextMat.at<uchar>(1, 0)), 255);
    QCOMPARE(int(p.printTextMat.at<uchar>(1, 1)), 0);
    QCOMPARE(m.pageOrigin(1), QPoint(760, 130));
}

void TemplateLoaderTest::testUnusablePatch_data()
{
    QTest::addColumn<QString>("matAttrs");

    const QString good = TemplateFormat::encodeMatData((cv::Mat_<uchar>(2, 3) << 0, 255, 255, 255, 0, 0));
    QTest::newRow("wrong value count") << QStringLiteral("MatRows=\"3\" MatCols=\"3\" MatData=\"%1\"").arg(good);
    QTest::newRow("bad Base64") << QStringLiteral("MatRows=\"2\" MatCols=\"3\" MatData=\"!!!\"");
    QTest::newRow("not compressed")
        << QStringLiteral("MatRows=\"2\" MatCols=\"3\" MatData=\"%1\"").arg(QString::fromLatin1(QByteArray("0,1,2,3,4,5").toBase64()));
    QTest::newRow("zero rows") << QStringLiteral("MatRows=\"0\" MatCols=\"3\" MatData=\"%1\"").arg(good);
    QTest::newRow("negative size") << QStringLiteral("MatRows=\"-2\" MatCols=\"-3\" MatData=\"%1\"").arg(good);
    QTest::newRow("absurd size") << QStringLiteral("MatRows=\"2000000000\" MatCols=\"2000000000\" MatData=\"%1\"").arg(good);
    QTest::newRow("no data") << QStringLiteral("MatRows=\"2\" MatCols=\"3\"");
}

void TemplateLoaderTest::testUnusablePatch()
{
    QFETCH(QString, matAttrs);

    TemplateModel m;
    QStringList log;
    const TemplateLoadResult r = parseTemplateText(
        docXml(firstPage() + pageXml(QStringLiteral("2"), printTextAnchor(matAttrs))), m, log);
    // A page that could never be aligned is refused with the template, not
    // sheet by sheet on exam day.
    QCOMPARE(r.status, TemplateLoadResult::Invalid);
    const QString frame = QStringLiteral("模板文件无法加载：第2页 定位点：印刷文字定位数据无法使用：");
    QVERIFY2(r.message.startsWith(frame) && r.message.size() > frame.size(), qPrintable(r.message));
    verifyEmpty(m);
}

void TemplateLoaderTest::testApplyPageOrigins()
{
    const QString page1 = pageXml(QStringLiteral("1"),
        rectAnchor(QPoint(100, 90), QPoint(2300, 95)) + QLatin1String(kBubbleCode) + QLatin1String(kAbsentMark)
        + QStringLiteral("<Section Type=\"CornerCheck\" Name=\"c1\" X=\"10\" Y=\"20\" Width=\"60\" Height=\"50\""
                       " AnchorPointWidth=\"20\" AnchorPointHeight=\"20\"/>"));
    const QString page2 = pageXml(QStringLiteral("2"),
        rectAnchor(QPoint(150, 120), QPoint(2200, 125))
        + QStringLiteral("<Section Type=\"CornerCheck\" Name=\"c2\" X=\"2300\" Y=\"3300\" Width=\"80\" Height=\"70\""
                         " AnchorPointWidth=\"20\" AnchorPointHeight=\"20\"/>")
        + QStringLiteral("<Section Type=\"Subject\" SubjectSectionID=\"1\" X=\"400\" Y=\"600\" Width=\"300\" Height=\"200\"/>")
        + QStringLiteral("<Section Type=\"Object\" Abnormal=\"1\" Item=\"3\" OptionCount=\"2\" X=\"500\" Y=\"500\" Width=\"100\" Height=\"30\">"
                         "<Option X=\"510\" Y=\"505\" Width=\"20\" Height=\"15\"/><Option X=\"550\" Y=\"506\" Width=\"20\" Height=\"15\"/></Section>")
        + QStringLiteral("<Section Type=\"OptionalObject\" Abnormal=\"0\" Optional=\"8\" ItemStart=\"8\" ItemEnd=\"8\" OptionCount=\"4\" OptionDirection=\"0\""
                         " MarkPointWidth=\"20\" MarkPointHeight=\"20\" X=\"300\" Y=\"1000\" Width=\"200\" Height=\"100\"/>")
        + QStringLiteral("<Section Type=\"Optional\" Items=\"8,9\" DefaultItem=\"8\" X=\"1000\" Y=\"1200\" Width=\"120\" Height=\"40\""
                         " MarkPointWidth=\"20\" MarkPointHeight=\"20\"/>")
        + QStringLiteral("<Section Type=\"OptionalSubject\" Optional=\"9\" SubjectSectionID=\"2\" X=\"160\" Y=\"130\" Width=\"10\" Height=\"10\"/>"));
    const QString page3 = pageXml(QStringLiteral("3"),
        printTextAnchor(QStringLiteral("MatRows=\"1\" MatCols=\"1\" MatData=\"%1\"").arg(TemplateFormat::encodeMatData(cv::Mat(1, 1, CV_8UC1, cv::Scalar(9)))))
        + QStringLiteral("<Section Type=\"Subject\" SubjectSectionID=\"1\" X=\"1000\" Y=\"1000\" Width=\"50\" Height=\"60\"/>"));

    TemplateModel m;
    QStringList log;
    QTest::ignoreMessage(QtDebugMsg, "optiona abnormal to be done ,here!!!");
    QVERIFY(parseTemplateText(docXml(page1 + page2 + page3), m, log).ok());
    const QVector<TemplatePage> pagesBefore = m.templatePages;
    applyPageOrigins(m);

    QCOMPARE(m.codeRect, QRect(200, 310, 500, 320));
    QCOMPARE(m.absentMarkRect, QRect(800, 330, 40, 25));
    QCOMPARE(m.subjectSections[0].rect, QRect(250, 480, 300, 200));
    QCOMPARE(m.subjectSections[1].rect, QRect(240, 870, 50, 60));   // printed-text origin (760, 130)
    QCOMPARE(m.objectItems[0].rect, QRect(350, 380, 100, 30));
    QCOMPARE(m.objectItems[0].options[0].x, 360);
    QCOMPARE(m.objectItems[0].options[0].y, 385);
    QCOMPARE(m.objectItems[0].options[1].x, 400);
    QCOMPARE(m.objectItems[0].options[1].y, 386);
    QCOMPARE(m.objectItems[0].options[1].width, 20);
    QCOMPARE(m.optionalObjectItems[0].rect, QRect(150, 880, 200, 20));
    QCOMPARE(m.optionalGroups[0].rect, QRect(850, 1080, 120, 40));
    QCOMPARE(m.optionalSubjectSections[0].rect, QRect(10, 10, 10, 10));

    // Corner checks and page records keep absolute coordinates.
    QCOMPARE(m.cornerChecks[0].rect, QRect(10, 20, 60, 50));
    QCOMPARE(m.cornerChecks[1].rect, QRect(2300, 3300, 80, 70));
    for (int i = 0; i < pagesBefore.size(); ++i) {
        QCOMPARE(m.templatePages[i].anchorA.searchRect, pagesBefore[i].anchorA.searchRect);
        QCOMPARE(m.templatePages[i].anchorA.centerX, pagesBefore[i].anchorA.centerX);
        QCOMPARE(m.templatePages[i].printTextSearchRect, pagesBefore[i].printTextSearchRect);
    }
}

void TemplateLoaderTest::testPageLookup()
{
    TemplateModel m;
    TemplatePage a;
    a.id = 2;
    a.anchorA.centerX = 150;
    a.anchorA.centerY = 120;
    TemplatePage b;
    b.id = 2;
    b.isRectangleAnchor = false;
    b.printTextCenterX = 7;
    b.printTextCenterY = 8;
    m.templatePages << a << b;

    // The origin comes from the first record with the id, page() gives the last.
    QCOMPARE(m.pageOrigin(2), QPoint(150, 120));
    QVERIFY(m.page(2));
    QVERIFY(!m.page(2)->isRectangleAnchor);
    QCOMPARE(m.pageOrigin(5), QPoint(0, 0));
    QVERIFY(!m.page(5));
    QVERIFY(!TemplateModel().page(1));
    QCOMPARE(TemplateModel().pageOrigin(1), QPoint(0, 0));

    // A section on a page nobody has keeps its coordinates.
    SubjectSection lost;
    lost.page = 5;
    lost.rect = QRect(400, 600, 300, 200);
    SubjectSection moved;
    moved.page = 2;
    moved.rect = QRect(400, 600, 300, 200);
    m.subjectSections << lost << moved;
    m.codeRect = QRect(40, 50, 10, 10);   // no page 1: origin (0, 0)
    applyPageOrigins(m);
    QCOMPARE(m.subjectSections[0].rect, QRect(400, 600, 300, 200));
    QCOMPARE(m.subjectSections[1].rect, QRect(250, 480, 300, 200));
    QCOMPARE(m.codeRect, QRect(40, 50, 10, 10));
}

void TemplateLoaderTest::testSecondLoadResetsCode_data()
{
    QTest::addColumn<QString>("firstCode");
    QTest::addColumn<QString>("secondCode");

    QTest::newRow("barcode then bubbles") << QString::fromLatin1(kBarCode) << QString::fromLatin1(kBubbleCode);
    QTest::newRow("bubbles then barcode") << QString::fromLatin1(kBubbleCode) << QString::fromLatin1(kBarCode);
}

void TemplateLoaderTest::testSecondLoadResetsCode()
{
    QFETCH(QString, firstCode);
    QFETCH(QString, secondCode);

    TemplateModel m;
    QStringList log;
    const QString cornerCheck = QStringLiteral("<Section Type=\"CornerCheck\" Name=\"c\" X=\"1\" Y=\"1\" Width=\"9\" Height=\"9\""
                                               " AnchorPointWidth=\"5\" AnchorPointHeight=\"5\"/>");
    QVERIFY(parseTemplateText(docXml(pageXml(QStringLiteral("1"), rectAnchor() + firstCode + QLatin1String(kAbsentMark) + cornerCheck)
                                     + pageXml(QStringLiteral("2"), rectAnchor())), m, log).ok());
    QVERIFY(m.hasAbsentMark);
    QCOMPARE(m.pagesPerSheet, 2);

    QVERIFY(parseTemplateText(docXml(pageXml(QStringLiteral("1"), rectAnchor() + secondCode),
                                     QStringLiteral("Name=\"第二\" Version=\"4.0\"")), m, log).ok());
    QCOMPARE(m.name, QStringLiteral("第二"));
    QCOMPARE(m.version, QStringLiteral("4.0"));
    QCOMPARE(m.pagesPerSheet, 1);
    QVERIFY(m.cornerChecks.isEmpty());
    QVERIFY(!m.hasAbsentMark);
    QVERIFY(m.absentMarkRect.isNull());
    if (secondCode == QLatin1String(kBarCode)) {
        QCOMPARE(m.codeType, 1);
        QCOMPARE(m.barDirection, 1);
        QCOMPARE(m.codeLength, 0);
        QCOMPARE(m.numberDirection, 0);
        QCOMPARE(m.codeMarkPointWidth, 0);
        QCOMPARE(m.codeMarkPointHeight, 0);
        QCOMPARE(m.codeRect, QRect(310, 410, 520, 120));
    } else {
        QCOMPARE(m.codeType, 0);
        QCOMPARE(m.barDirection, 0);
        QCOMPARE(m.codeLength, 8);
        QCOMPARE(m.codeRect, QRect(300, 400, 500, 320));
    }
}

QTEST_APPLESS_MAIN(TemplateLoaderTest)
#include "templateloader_test.moc"
