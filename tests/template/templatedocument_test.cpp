// The designer's template document: the exact text the writer produces, the
// section readers, what they do with documents the writer never produces,
// and the stored (complemented) file.

#include "templatedocumentfixture.h"
#include "templateformat.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>

using namespace TemplateDocument;

namespace {

QString packText(const QByteArray &text)
{
    return QString::fromLatin1(qCompress(text).toBase64());
}

// A one-page (or more) document around the given Section elements.
QByteArray page1(const QString &sections, int extraPages = 0)
{
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<Lumbrisk Name=\"t\" Version=\"4.1\"><Pages><Page ID=\"1\" Width=\"1000\" Height=\"1400\">")
        + sections + QStringLiteral("</Page>");
    for (int i = 0; i < extraPages; ++i)
        xml += QStringLiteral("<Page ID=\"%1\"><Section Type=\"Subject\" SubjectSectionID=\"1\" X=\"1\" Y=\"2\" "
                              "Width=\"3\" Height=\"4\"/></Page>").arg(i + 2);
    return (xml + QStringLiteral("</Pages></Lumbrisk>")).toUtf8();
}

QString bubbles(int count, int index = -1)
{
    QString xml;
    for (int i = 0; i < count; ++i)
        xml += QStringLiteral("<Option Index=\"%1\" X=\"%2\" Y=\"505\" Width=\"30\" Height=\"20\"/>")
                   .arg(index < 0 ? i : index).arg(300 + 40 * i);
    return xml;
}

QString bubbleLines(int count)
{
    QString d;
    for (int i = 0; i < count; ++i)
        d += QStringLiteral(" %1%2@%3,505,30,20/%4,5").arg(QChar('A' + i)).arg(i).arg(300 + 40 * i).arg(40 * i);
    return d;
}

QStringList attributeNames(const tinyxml2::XMLElement *e)
{
    QStringList names;
    for (const tinyxml2::XMLAttribute *a = e->FirstAttribute(); a; a = a->Next())
        names << QString::fromUtf8(a->Name());
    return names;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// Adds a section to the canvas list the way a reader or creator would.
template <typename S>
S *add(DocumentFixture &fx, S *s, int x, int y, int w, int h)
{
    s->X = x;
    s->Y = y;
    s->Width = w;
    s->Height = h;
    fx.canvas.sections.append(s);
    return s;
}

} // namespace

class TemplateDocumentTest : public QObject {
    Q_OBJECT

private slots:
    void testWriterText();
    void testWriterAngle_data();
    void testWriterAngle();
    void testWriterCodeAttributes_data();
    void testWriterCodeAttributes();
    void testWriterWritesOnlyExistingBubbles();
    void testReaders_data();
    void testReaders();
    void testReadDocument();
    void testRobustness_data();
    void testRobustness();
    void testReaderWithoutCanvasOrPage();
    void testParseStored_data();
    void testParseStored();
    void testWriteStoredFile();
};

void TemplateDocumentTest::testWriterText()
{
    DocumentFixture fx(2);

    // Page 1: rectangle anchors, a corner check, the code, the absent mark
    // and four question kinds in a tree order that is not the list order.
    auto *a = add(fx, new MySectionAnchorPointA(1, &fx.canvas), 10, 20, 100, 80);
    a->anchorRect = QRect(30, 25, 40, 30);
    a->CenterX = 60;
    a->CenterY = 60;
    auto *b = add(fx, new MySectionAnchorPointB(1, &fx.canvas), 800, 20, 100, 80);
    b->anchorRect = QRect(40, 25, 40, 30);
    b->CenterX = 860;
    b->CenterY = 60;
    auto *corner = add(fx, new MySectionCornerCheck(1, &fx.canvas), 10, 1300, 90, 90);
    corner->anchorRect = QRect(20, 20, 40, 40);
    corner->Name = QStringLiteral("左下角 \"a\" & <b> 'c'");
    auto *object = add(fx, new MySectionObject(1, &fx.canvas, 1, 5, 0, 4, 20, 16), 50, 400, 200, 150);
    auto *code = add(fx, new MySectionCode(1, &fx.canvas, 4, 1, 20, 16), 200, 100, 300, 200);
    auto *absent = add(fx, new MySectionAbsentMark(1, &fx.canvas), 600, 100, 40, 20);
    auto *subject = add(fx, new MySectionSubject(1, &fx.canvas), 50, 900, 900, 300);
    subject->SubjectSectionID = 1;
    auto *irregular = add(fx, new MySectionObjectAbnormal(1, &fx.canvas, false, 0, 7, 2), 300, 500, 120, 40);
    for (int i = 0; i < 2; ++i) {
        auto *o = add(fx, new ObjectAbnormalOption(1, 7, i, irregular, &fx.canvas), 305 + 40 * i, 505, 30, 20);
        irregular->options << o;
    }
    // Measured bubble wider than the section: the section's width is written.
    auto *group = add(fx, new MySectionOptionalItem(1, &fx.canvas), 600, 400, 40, 30);
    group->Items = QStringList{QStringLiteral("22"), QStringLiteral("23")};
    group->DefaultItem = QStringLiteral("22");
    group->MarkPointWidth = 50;
    group->MarkPointHeight = 18;

    // Page 2: printed-text anchor with a 2 x 3 patch, optional-group kinds.
    auto *text = add(fx, new MySectionPrintTextAnchor(2, &fx.canvas), 50, 60, 400, 100);
    text->textRect = QRect(10, 20, 3, 2);
    text->CenterX = 61;
    text->CenterY = 81;
    text->patch = (cv::Mat_<uchar>(2, 3) << 0, 255, 255, 255, 0, 0);
    auto *objectOptional = add(fx, new MySectionObjectOptional(2, &fx.canvas, 22, 30, 31, 1, 3, 20, 16), 100, 300, 100, 80);
    auto *irregularOptional = add(fx, new MySectionObjectAbnormal(2, &fx.canvas, true, 23, 32, 1), 300, 300, 50, 30);
    irregularOptional->options << add(fx, new ObjectAbnormalOption(2, 32, 0, irregularOptional, &fx.canvas), 310, 305, 30, 20);
    auto *subjectOptional = add(fx, new MySectionSubjectOptional(2, &fx.canvas), 50, 500, 800, 200);
    subjectOptional->Optional = 23;
    subjectOptional->SubjectSectionID = 2;

    QVector<PageOut> pages(2);
    pages[0] = {1, 1000, 1400, {a, b, corner, code, absent, subject, irregular, object, group}};
    // A page image that could not be read comes with size 0 from the caller.
    pages[1] = {2, 0, 0, {text, objectOptional, irregularOptional, subjectOptional}};
    const QVector<SubjectItemRow> rows{{QStringLiteral("1"), QStringLiteral("作文 & 阅读"), QStringLiteral("60"),
                                        QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("1,2"),
                                        QStringLiteral("1,2")}};

    const QByteArray written = writeXml(QStringLiteral("期末 \"数学\" & <物理> '卷'"), pages, fx.canvas.sections, rows);
    const QByteArray expected = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<Lumbrisk Name=\"期末 &quot;数学&quot; &amp; &lt;物理&gt; &apos;卷&apos;\" Version=\"4.1\">\n"
        "    <Pages>\n"
        "        <Page ID=\"1\" Width=\"1000\" Height=\"1400\">\n"
        "            <Section Type=\"AnchorPoint\" AnchorType=\"BlackRectangle\" AngleAB=\"3.1416\">\n"
        "                <A X=\"10\" Y=\"20\" Width=\"100\" Height=\"80\" AnchorPointX=\"30\" AnchorPointY=\"25\" AnchorPointWidth=\"40\" AnchorPointHeight=\"30\" CenterX=\"60\" CenterY=\"60\"/>\n"
        "                <B X=\"800\" Y=\"20\" Width=\"100\" Height=\"80\" AnchorPointX=\"40\" AnchorPointY=\"25\" AnchorPointWidth=\"40\" AnchorPointHeight=\"30\" CenterX=\"860\" CenterY=\"60\"/>\n"
        "            </Section>\n"
        "            <Section Type=\"CornerCheck\" Name=\"左下角 &quot;a&quot; &amp; &lt;b&gt; &apos;c&apos;\" X=\"10\" Y=\"1300\" Width=\"90\" Height=\"90\" AnchorPointX=\"20\" AnchorPointY=\"20\" AnchorPointWidth=\"40\" AnchorPointHeight=\"40\"/>\n"
        "            <Section Type=\"Code\" CodeType=\"0\" CodeLength=\"4\" NumberDirection=\"1\" MarkPointWidth=\"20\" MarkPointHeight=\"16\" X=\"200\" Y=\"100\" Width=\"300\" Height=\"200\"/>\n"
        "            <Section Type=\"AbsentMark\" X=\"600\" Y=\"100\" Width=\"40\" Height=\"20\"/>\n"
        "            <Section Type=\"Subject\" SubjectSectionID=\"1\" X=\"50\" Y=\"900\" Width=\"900\" Height=\"300\"/>\n"
        "            <Section Type=\"Object\" Abnormal=\"1\" Item=\"7\" OptionCount=\"2\" X=\"300\" Y=\"500\" Width=\"120\" Height=\"40\">\n"
        "                <Option Index=\"0\" Option=\"A\" X=\"305\" Y=\"505\" Width=\"30\" Height=\"20\"/>\n"
        "                <Option Index=\"1\" Option=\"B\" X=\"345\" Y=\"505\" Width=\"30\" Height=\"20\"/>\n"
        "            </Section>\n"
        "            <Section Type=\"Object\" Abnormal=\"0\" ItemStart=\"1\" ItemEnd=\"5\" OptionDirection=\"0\" OptionCount=\"4\" MarkPointWidth=\"20\" MarkPointHeight=\"16\" X=\"50\" Y=\"400\" Width=\"200\" Height=\"150\"/>\n"
        "            <Section Type=\"Optional\" Items=\"22,23\" DefaultItem=\"22\" MustDoItemCount=\"1\" X=\"600\" Y=\"400\" Width=\"40\" Height=\"30\" MarkPointWidth=\"40\" MarkPointHeight=\"18\"/>\n"
        "        </Page>\n"
        "        <Page ID=\"2\" Width=\"0\" Height=\"0\">\n"
        "            <Section Type=\"AnchorPoint\" AnchorType=\"PrintText\">\n"
        "                <PrintTextAnchor X=\"50\" Y=\"60\" Width=\"400\" Height=\"100\" CenterX=\"61\" CenterY=\"81\" MatX=\"10\" MatY=\"20\" MatRows=\"2\" MatCols=\"3\" MatData=\"%1\"/>\n"
        "            </Section>\n"
        "            <Section Type=\"OptionalObject\" Abnormal=\"0\" Optional=\"22\" ItemStart=\"30\" ItemEnd=\"31\" OptionDirection=\"1\" OptionCount=\"3\" MarkPointWidth=\"20\" MarkPointHeight=\"16\" X=\"100\" Y=\"300\" Width=\"100\" Height=\"80\"/>\n"
        "            <Section Type=\"OptionalObject\" Abnormal=\"1\" Optional=\"23\" Item=\"32\" OptionCount=\"1\" X=\"300\" Y=\"300\" Width=\"50\" Height=\"30\">\n"
        "                <Option Index=\"0\" Option=\"A\" X=\"310\" Y=\"305\" Width=\"30\" Height=\"20\"/>\n"
        "            </Section>\n"
        "            <Section Type=\"OptionalSubject\" Optional=\"23\" SubjectSectionID=\"2\" X=\"50\" Y=\"500\" Width=\"800\" Height=\"200\"/>\n"
        "        </Page>\n"
        "    </Pages>\n"
        "    <SubjectConfig UpdateType=\"1\">\n"
        "        <Item ItemID=\"1\" Alias=\"作文 &amp; 阅读\" Score=\"60\" MarkCount=\"2\" ErrorMargin=\"5\" Pages=\"1,2\" Sections=\"1,2\"/>\n"
        "    </SubjectConfig>\n"
        "</Lumbrisk>\n").arg(packText("0,255,255,255,0,0")).toUtf8();
    QCOMPARE(QString::fromUtf8(written), QString::fromUtf8(expected));
    QVERIFY(!written.contains('\r'));

    // Without subjective rows the root holds Pages only.
    tinyxml2::XMLDocument doc;
    const QByteArray plain = writeXml(QStringLiteral("t"), pages, fx.canvas.sections, {});
    QCOMPARE(doc.Parse(plain.constData(), size_t(plain.size())), tinyxml2::XML_SUCCESS);
    QVERIFY(doc.RootElement()->FirstChildElement("Pages"));
    QVERIFY(!doc.RootElement()->FirstChildElement("Pages")->NextSiblingElement());
}

void TemplateDocumentTest::testWriterAngle_data()
{
    QTest::addColumn<QPoint>("centerA");
    QTest::addColumn<QPoint>("centerB");
    QTest::addColumn<QString>("angle");
    QTest::newRow("A left of B") << QPoint(60, 60) << QPoint(860, 60) << QStringLiteral("3.1416");
    QTest::newRow("A right of B") << QPoint(860, 60) << QPoint(60, 60) << QStringLiteral("0.0000");
    QTest::newRow("A above B") << QPoint(60, 60) << QPoint(60, 1000) << QStringLiteral("-1.5708");
}

void TemplateDocumentTest::testWriterAngle()
{
    QFETCH(QPoint, centerA);
    QFETCH(QPoint, centerB);
    QFETCH(QString, angle);
    DocumentFixture fx(1);
    auto *a = add(fx, new MySectionAnchorPointA(1, &fx.canvas), 0, 0, 10, 10);
    a->CenterX = centerA.x();
    a->CenterY = centerA.y();
    auto *b = add(fx, new MySectionAnchorPointB(1, &fx.canvas), 0, 0, 10, 10);
    b->CenterX = centerB.x();
    b->CenterY = centerB.y();
    tinyxml2::XMLDocument doc;
    const QByteArray xml = fx.write(QStringLiteral("t"), QSize(100, 100));
    QCOMPARE(doc.Parse(xml.constData(), size_t(xml.size())), tinyxml2::XML_SUCCESS);
    const tinyxml2::XMLElement *anchor = doc.RootElement()->FirstChildElement("Pages")->FirstChildElement("Page")->FirstChildElement("Section");
    QCOMPARE(QString::fromUtf8(anchor->Attribute("AngleAB")), angle);
}

void TemplateDocumentTest::testWriterCodeAttributes_data()
{
    QTest::addColumn<int>("codeType");
    QTest::addColumn<QString>("attributes");
    const QString barcode = QStringLiteral("Type CodeType BarDirection X Y Width Height");
    QTest::newRow("bubbles") << 0 << QStringLiteral("Type CodeType CodeLength NumberDirection MarkPointWidth MarkPointHeight X Y Width Height");
    QTest::newRow("barcode") << 1 << barcode;
    QTest::newRow("code type 2 stays a barcode") << 2 << barcode;
}

void TemplateDocumentTest::testWriterCodeAttributes()
{
    QFETCH(int, codeType);
    QFETCH(QString, attributes);
    DocumentFixture fx(1);
    auto *code = add(fx, new MySectionCode(1, &fx.canvas), 1, 2, 3, 4);
    code->CodeType = codeType;
    tinyxml2::XMLDocument doc;
    const QByteArray xml = fx.write(QStringLiteral("t"), QSize(100, 100));
    QCOMPARE(doc.Parse(xml.constData(), size_t(xml.size())), tinyxml2::XML_SUCCESS);
    const tinyxml2::XMLElement *section = doc.RootElement()->FirstChildElement("Pages")->FirstChildElement("Page")
                                              ->FirstChildElement("Section")->NextSiblingElement("Section");
    QVERIFY(section);
    QCOMPARE(attributeNames(section).join(QLatin1Char(' ')), attributes);
}

void TemplateDocumentTest::testWriterWritesOnlyExistingBubbles()
{
    // A question whose count names more bubbles than it holds is written with
    // the bubbles it has, and the count says so.
    DocumentFixture fx(1);
    auto *q = add(fx, new MySectionObjectAbnormal(1, &fx.canvas, false, 0, 9, 4), 300, 500, 200, 40);
    for (int i = 0; i < 2; ++i)
        q->options << add(fx, new ObjectAbnormalOption(1, 9, i, q, &fx.canvas), 300 + 40 * i, 505, 30, 20);
    QVector<PageOut> pages{{1, 100, 100, {q}}};
    tinyxml2::XMLDocument doc;
    const QByteArray xml = writeXml(QStringLiteral("t"), pages, fx.canvas.sections, {});
    QCOMPARE(doc.Parse(xml.constData(), size_t(xml.size())), tinyxml2::XML_SUCCESS);
    const tinyxml2::XMLElement *section = doc.RootElement()->FirstChildElement("Pages")->FirstChildElement("Page")
                                              ->FirstChildElement("Section")->NextSiblingElement("Section");
    QCOMPARE(section->IntAttribute("OptionCount"), 2);
    int children = 0;
    for (const tinyxml2::XMLElement *c = section->FirstChildElement(); c; c = c->NextSiblingElement())
        ++children;
    QCOMPARE(children, 2);
}

void TemplateDocumentTest::testReaders_data()
{
    QTest::addColumn<QString>("sections");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("listSize");

    QTest::newRow("absent mark without Width")
        << QStringLiteral("<Section Type=\"AbsentMark\" X=\"10\" Y=\"20\" Height=\"40\"/>")
        << QStringList{QStringLiteral("k6 p1 10,20,0,40 absent")} << 1;
    QTest::newRow("rectangle anchor: A then B, centres as written, AngleAB ignored")
        << QStringLiteral("<Section Type=\"AnchorPoint\" AnchorType=\"BlackRectangle\" AngleAB=\"9.9\">"
                          "<A X=\"10\" Y=\"20\" Width=\"100\" Height=\"80\" AnchorPointX=\"30\" AnchorPointY=\"25\" "
                          "AnchorPointWidth=\"40\" AnchorPointHeight=\"30\" CenterX=\"999\" CenterY=\"60\"/>"
                          "<B X=\"800\" Y=\"20\" Width=\"100\" Height=\"80\" AnchorPointX=\"40\" AnchorPointY=\"25\" "
                          "AnchorPointWidth=\"40\" AnchorPointHeight=\"30\" CenterX=\"860\" CenterY=\"60\"/></Section>")
        << QStringList{QStringLiteral("k3 p1 10,20,100,80 A 30,25,40,30 c999,60"),
                       QStringLiteral("k4 p1 800,20,100,80 B 40,25,40,30 c860,60")}
        << 2;
    QTest::newRow("printed-text patch, 256 kept as its low bits")
        << QStringLiteral("<Section Type=\"AnchorPoint\" AnchorType=\"PrintText\"><PrintTextAnchor X=\"50\" Y=\"60\" "
                          "Width=\"400\" Height=\"100\" CenterX=\"61\" CenterY=\"81\" MatX=\"10\" MatY=\"20\" "
                          "MatRows=\"2\" MatCols=\"3\" MatData=\"%1\"/></Section>").arg(packText("0,255,256,255,0,0"))
        << QStringList{QStringLiteral("k3 p1 50,60,400,100 text 10,20,3,2 c61,81 patch 2x3[0,255,0,255,0,0]")} << 1;
    QTest::newRow("printed-text patch of no pixels")
        << QStringLiteral("<Section Type=\"AnchorPoint\" AnchorType=\"PrintText\"><PrintTextAnchor X=\"50\" Y=\"60\" "
                          "Width=\"400\" Height=\"100\" MatX=\"10\" MatY=\"20\" MatRows=\"0\" MatCols=\"3\"/></Section>")
        << QStringList{QStringLiteral("k3 p1 50,60,400,100 text 10,20,3,0 c0,0 patch 0x0")} << 1;
    QTest::newRow("corner check named in Chinese with entities")
        << QStringLiteral("<Section Type=\"CornerCheck\" Name=\"左下角 &quot;甲&quot; &amp; 乙\" X=\"10\" Y=\"1300\" "
                          "Width=\"90\" Height=\"90\" AnchorPointX=\"20\" AnchorPointY=\"20\" AnchorPointWidth=\"40\" "
                          "AnchorPointHeight=\"40\"/>")
        << QStringList{QStringLiteral("k2 p1 10,1300,90,90 corner 20,20,40,40 [左下角 \"甲\" & 乙]")} << 1;
    QTest::newRow("code type 2 is a barcode")
        << QStringLiteral("<Section Type=\"Code\" CodeType=\"2\" BarDirection=\"1\" CodeLength=\"9\" X=\"1\" Y=\"2\" "
                          "Width=\"3\" Height=\"4\"/>")
        << QStringList{QStringLiteral("k5 p1 1,2,3,4 code type2 bar1 len0 dir0 mp0x0")} << 1;
    QTest::newRow("code without CodeType is bubbles")
        << QStringLiteral("<Section Type=\"Code\" CodeLength=\"9\" NumberDirection=\"1\" MarkPointWidth=\"20\" "
                          "MarkPointHeight=\"16\" BarDirection=\"1\" X=\"1\" Y=\"2\" Width=\"3\" Height=\"4\"/>")
        << QStringList{QStringLiteral("k5 p1 1,2,3,4 code type0 bar0 len9 dir1 mp20x16")} << 1;
    QTest::newRow("barcode ignores CodeLength")
        << QStringLiteral("<Section Type=\"Code\" CodeType=\"1\" BarDirection=\"1\" CodeLength=\"9\" X=\"1\" Y=\"2\" "
                          "Width=\"3\" Height=\"4\"/>")
        << QStringList{QStringLiteral("k5 p1 1,2,3,4 code type1 bar1 len0 dir0 mp0x0")} << 1;
    QTest::newRow("regular block ignores Option children")
        << QStringLiteral("<Section Type=\"Object\" Abnormal=\"0\" ItemStart=\"1\" ItemEnd=\"5\" OptionDirection=\"1\" "
                          "OptionCount=\"4\" MarkPointWidth=\"20\" MarkPointHeight=\"16\" X=\"50\" Y=\"400\" "
                          "Width=\"200\" Height=\"150\"><Option Index=\"0\" X=\"1\" Y=\"1\" Width=\"1\" Height=\"1\"/></Section>")
        << QStringList{QStringLiteral("k7 p1 50,400,200,150 object 1-5(5) opts4 dir1 mp20x16")} << 1;
    QTest::newRow("missing and malformed numbers read 0, negatives kept")
        << QStringLiteral("<Section Type=\"Object\" X=\"12abc\" Y=\"-3\" Width=\"\"/>")
        << QStringList{QStringLiteral("k7 p1 0,-3,0,0 object 0-0(1) opts0 dir0 mp0x0")} << 1;
    QTest::newRow("irregular: any child name is a bubble, letter from the index, offsets from the question")
        << QStringLiteral("<Section Type=\"Object\" Abnormal=\"1\" Item=\"7\" OptionCount=\"3\" X=\"305\" Y=\"500\" "
                          "Width=\"120\" Height=\"40\"><Option Index=\"0\" Option=\"A\" X=\"300\" Y=\"505\" Width=\"30\" "
                          "Height=\"20\"/><Bubble Index=\"1\" Option=\"B\" X=\"340\" Y=\"505\" Width=\"30\" Height=\"20\"/>"
                          "<Option Index=\"2\" Option=\"A\" X=\"380\" Y=\"505\" Width=\"30\" Height=\"20\"/></Section>")
        << QStringList{QStringLiteral("k7 p1 305,500,120,40 irregular opt0 item7 opts3 A0@300,505,30,20/-5,5 "
                                      "B1@340,505,30,20/35,5 C2@380,505,30,20/75,5")}
        << 4;
    QTest::newRow("optional regular block")
        << QStringLiteral("<Section Type=\"OptionalObject\" Abnormal=\"0\" Optional=\"22\" ItemStart=\"30\" ItemEnd=\"31\" "
                          "OptionDirection=\"1\" OptionCount=\"3\" MarkPointWidth=\"20\" MarkPointHeight=\"16\" X=\"100\" "
                          "Y=\"300\" Width=\"100\" Height=\"80\"/>")
        << QStringList{QStringLiteral("k10 p1 100,300,100,80 object opt22 30-31(2) opts3 dir1 mp20x16")} << 1;
    QTest::newRow("optional irregular question")
        << QStringLiteral("<Section Type=\"OptionalObject\" Abnormal=\"1\" Optional=\"23\" Item=\"32\" OptionCount=\"1\" "
                          "X=\"300\" Y=\"300\" Width=\"50\" Height=\"30\"><Option Index=\"0\" Option=\"A\" X=\"310\" "
                          "Y=\"305\" Width=\"30\" Height=\"20\"/></Section>")
        << QStringList{QStringLiteral("k10 p1 300,300,50,30 irregular +opt23 item32 opts1 A0@310,305,30,20/10,5")} << 2;
    QTest::newRow("group: empty candidate kept")
        << QStringLiteral("<Section Type=\"Optional\" Items=\"3,,5\" DefaultItem=\"5\" MustDoItemCount=\"1\" X=\"1\" "
                          "Y=\"2\" Width=\"3\" Height=\"4\" MarkPointWidth=\"20\" MarkPointHeight=\"18\"/>")
        << QStringList{QStringLiteral("k9 p1 1,2,3,4 group 3[3||5] default[5] mp20x18")} << 1;
    QTest::newRow("group without Items has one empty candidate")
        << QStringLiteral("<Section Type=\"Optional\" X=\"1\" Y=\"2\" Width=\"3\" Height=\"4\"/>")
        << QStringList{QStringLiteral("k9 p1 1,2,3,4 group 1[] default[] mp0x0")} << 1;
    QTest::newRow("subjective block")
        << QStringLiteral("<Section Type=\"Subject\" SubjectSectionID=\"3\" X=\"1\" Y=\"2\" Width=\"3\" Height=\"4\"/>")
        << QStringList{QStringLiteral("k8 p1 1,2,3,4 subject 3 on1")} << 1;
    QTest::newRow("optional subjective block")
        << QStringLiteral("<Section Type=\"OptionalSubject\" Optional=\"22\" SubjectSectionID=\"4\" X=\"1\" Y=\"2\" "
                          "Width=\"3\" Height=\"4\"/>")
        << QStringList{QStringLiteral("k11 p1 1,2,3,4 subject opt22 4")} << 1;
}

void TemplateDocumentTest::testReaders()
{
    QFETCH(QString, sections);
    QFETCH(QStringList, expected);
    QFETCH(int, listSize);
    DocumentFixture fx(1);
    QStringList warnings;
    QVERIFY(fx.read(page1(sections), nullptr, &warnings));
    QCOMPARE(fx.describe(), expected);
    QCOMPARE(fx.canvas.sections.size(), listSize);
    QCOMPARE(fx.treeFaults(), QString());
    QCOMPARE(warnings, QStringList());
    // Every section and bubble starts locked and not hidden.
    for (const MySectionBase *s : fx.canvas.sections)
        QVERIFY(s->locked && !s->hidden);
}

void TemplateDocumentTest::testReadDocument()
{
    // The page children come back in document order; the subjective rows
    // start at the first Item and take every following element.
    const QByteArray xml = page1(QStringLiteral(
        "<Section Type=\"AnchorPoint\" AnchorType=\"BlackRectangle\"><A/><B/></Section>"
        "<Section Type=\"CornerCheck\" Name=\"c\"/><Section Type=\"Code\"/><Section Type=\"AbsentMark\"/>"
        "<Section Type=\"Subject\" SubjectSectionID=\"1\"/><Section Type=\"Object\" Abnormal=\"1\"/>"
        "<Section Type=\"Object\" Abnormal=\"0\"/>"), 1)
        .replace("</Pages>", "</Pages><SubjectConfig UpdateType=\"1\"><Note/>"
                             "<Item ItemID=\"1\" Alias=\"作文\" Score=\"60\" MarkCount=\"2\" ErrorMargin=\"5\" Pages=\"1\" Sections=\"1\"/>"
                             "<Other ItemID=\"2\" Score=\"10\"/></SubjectConfig>")
        .replace("Name=\"t\"", "Name=\"期末 数学\"");
    DocumentFixture fx(2);
    DocumentInfo info;
    QStringList warnings;
    QVERIFY(fx.read(xml, &info, &warnings));
    QVERIFY(info.hasRoot);
    QCOMPARE(info.name, QStringLiteral("期末 数学"));
    QCOMPARE(info.rows.size(), 2);
    QCOMPARE(info.rows.at(0), (SubjectItemRow{QStringLiteral("1"), QStringLiteral("作文"), QStringLiteral("60"),
                                              QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("1"),
                                              QStringLiteral("1")}));
    QCOMPARE(info.rows.at(1), (SubjectItemRow{QStringLiteral("2"), QString(), QStringLiteral("10"), QString(),
                                              QString(), QString(), QString()}));

    QStringList kinds;
    for (const MySectionBase *s : DocumentFixture::treeSections(fx.tree.topLevelItem(0)))
        kinds << QString::number(s->treeItem->data(0, TreeItemTypeRole).toInt());
    QCOMPARE(kinds.join(QLatin1Char(' ')), QStringLiteral("3 4 2 5 6 8 7 7"));
    QCOMPARE(fx.tree.topLevelItem(1)->childCount(), 1);
    QCOMPARE(fx.describe().last(), QStringLiteral("k8 p2 1,2,3,4 subject 1 on2"));
    QCOMPARE(fx.treeFaults(), QString());
    QCOMPARE(warnings, QStringList());
}

void TemplateDocumentTest::testRobustness_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("warning");

    const QString irregular = QStringLiteral("<Section Type=\"Object\" Abnormal=\"1\" Item=\"7\" OptionCount=\"%1\" "
                                             "X=\"300\" Y=\"500\" Width=\"2000\" Height=\"40\">%2</Section>");
    const QString question = QStringLiteral("k7 p1 300,500,2000,40 irregular opt0 item7 opts%1");
    QTest::newRow("irregular with 20 bubbles keeps A to P")
        << page1(irregular.arg(20).arg(bubbles(20))) << 1
        << QStringList{question.arg(16) + bubbleLines(16)} << QStringLiteral("只读取前 16 个");
    QTest::newRow("irregular counting more options than bubbles")
        << page1(irregular.arg(4).arg(bubbles(2))) << 1
        << QStringList{question.arg(2) + bubbleLines(2)} << QStringLiteral("选项数 4 与选项 2 个不符");
    QTest::newRow("irregular without bubbles")
        << page1(irregular.arg(4).arg(QString())) << 1
        << QStringList{question.arg(0)} << QStringLiteral("选项数 4 与选项 0 个不符");
    QTest::newRow("irregular bubbles renumbered by position")
        << page1(irregular.arg(3).arg(bubbles(3, 5))) << 1
        << QStringList{question.arg(3) + bubbleLines(3)} << QStringLiteral("重新编号");

    QTest::newRow("no root element") << QByteArray("<?xml version=\"1.0\"?><!-- empty -->") << 1 << QStringList()
                                     << QStringLiteral("没有内容");
    QTest::newRow("no Pages") << QByteArray("<Lumbrisk Name=\"t\"><Page/></Lumbrisk>") << 1 << QStringList()
                              << QStringLiteral("没有页面");
    QTest::newRow("more pages than images")
        << page1(QStringLiteral("<Section Type=\"AbsentMark\" X=\"1\" Y=\"2\" Width=\"3\" Height=\"4\"/>"), 2) << 1
        << QStringList{QStringLiteral("k6 p1 1,2,3,4 absent")} << QStringLiteral("多 2 页");
    QTest::newRow("rectangle anchor without A")
        << page1(QStringLiteral("<Section Type=\"AnchorPoint\" AnchorType=\"BlackRectangle\"><B X=\"1\"/></Section>"))
        << 1 << QStringList() << QStringLiteral("定位点缺少 A");
    QTest::newRow("rectangle anchor without B")
        << page1(QStringLiteral("<Section Type=\"AnchorPoint\" AnchorType=\"BlackRectangle\"><A X=\"1\"/></Section>"))
        << 1 << QStringList() << QStringLiteral("定位点缺少 B");
    QTest::newRow("printed-text anchor without its element")
        << page1(QStringLiteral("<Section Type=\"AnchorPoint\" AnchorType=\"PrintText\"/>")) << 1 << QStringList()
        << QStringLiteral("印刷体文字定位缺少数据");

    const QString text = QStringLiteral("<Section Type=\"AnchorPoint\" AnchorType=\"PrintText\"><PrintTextAnchor "
                                        "X=\"50\" Y=\"60\" Width=\"400\" Height=\"100\" MatX=\"10\" MatY=\"20\" "
                                        "MatRows=\"%1\" MatCols=\"%2\" MatData=\"%3\"/></Section>");
    const QStringList refusedPatch{QStringLiteral("k3 p1 50,60,400,100 text 10,20,0,0 c0,0 patch 0x0")};
    QTest::newRow("MatData with too few values")
        << page1(text.arg(2).arg(3).arg(packText("0,255,255,255,0"))) << 1 << refusedPatch
        << QStringLiteral("图像数据无效");
    QTest::newRow("MatData not Base64") << page1(text.arg(2).arg(3).arg(QStringLiteral("!!!not base64"))) << 1
                                        << refusedPatch << QStringLiteral("图像数据无效");
    QTest::newRow("MatData that does not uncompress")
        << page1(text.arg(2).arg(3).arg(QString::fromLatin1(QByteArray("\0\0\0\x0b" "garbage!", 12).toBase64())))
        << 1 << refusedPatch << QStringLiteral("图像数据无效");
    QTest::newRow("huge MatRows and MatCols") << page1(text.arg(100000).arg(100000).arg(packText("0"))) << 1
                                              << refusedPatch << QStringLiteral("图像数据无效");
    QTest::newRow("negative MatRows") << page1(text.arg(-2).arg(3).arg(packText("0,0,0"))) << 1 << refusedPatch
                                      << QStringLiteral("尺寸 -2×3 无效");

    QTest::newRow("huge and negative geometry kept, widget clamped")
        << page1(QStringLiteral("<Section Type=\"Subject\" SubjectSectionID=\"1\" X=\"2147483647\" Y=\"-2147483648\" "
                                "Width=\"2147483647\" Height=\"-5\"/>"))
        << 1
        << QStringList{QStringLiteral("k8 p1 2147483647,-2147483648,2147483647,-5 subject 1 on1 "
                                      "widget 16777215,-16777215,16777215,0")}
        << QStringLiteral("超出范围");
    QTest::newRow("huge detected rectangle clamped")
        << page1(QStringLiteral("<Section Type=\"CornerCheck\" Name=\"c\" X=\"1\" Y=\"2\" Width=\"3\" Height=\"4\" "
                                "AnchorPointX=\"2147483647\" AnchorPointY=\"0\" AnchorPointWidth=\"2147483647\" "
                                "AnchorPointHeight=\"4\"/>"))
        << 1 << QStringList{QStringLiteral("k2 p1 1,2,3,4 corner 16777215,0,16777215,4 [c]")} << QStringLiteral("已截取");
    QTest::newRow("absurd item range kept")
        << page1(QStringLiteral("<Section Type=\"Object\" Abnormal=\"0\" ItemStart=\"1\" ItemEnd=\"20002\" "
                                "OptionCount=\"4\" X=\"1\" Y=\"2\" Width=\"3\" Height=\"4\"/>"))
        << 1 << QStringList{QStringLiteral("k7 p1 1,2,3,4 object 1-20002(20002) opts4 dir0 mp0x0")}
        << QStringLiteral("题号范围 1-20002 不合理");
    QTest::newRow("item range beyond int cut to one question")
        << page1(QStringLiteral("<Section Type=\"OptionalObject\" Abnormal=\"0\" Optional=\"3\" ItemStart=\"-2147483648\" "
                                "ItemEnd=\"2147483647\" OptionCount=\"4\" X=\"1\" Y=\"2\" Width=\"3\" Height=\"4\"/>"))
        << 1
        << QStringList{QStringLiteral("k10 p1 1,2,3,4 object opt3 -2147483648--2147483648(1) opts4 dir0 mp0x0")}
        << QStringLiteral("无法使用");
    QTest::newRow("unknown kind passed over")
        << page1(QStringLiteral("<Section Type=\"Barcode\"/>"))
        << 1 << QStringList() << QStringLiteral("不认识的区域类型 Barcode");
}

void TemplateDocumentTest::testRobustness()
{
    QFETCH(QByteArray, xml);
    QFETCH(int, pages);
    QFETCH(QStringList, expected);
    QFETCH(QString, warning);
    DocumentFixture fx(pages);
    QStringList warnings;
    DocumentInfo info;
    QVERIFY(fx.read(xml, &info, &warnings));
    QCOMPARE(fx.describe(), expected);
    QCOMPARE(fx.treeFaults(), QString());
    QVERIFY2(warnings.join(QLatin1Char('\n')).contains(warning), qPrintable(warnings.join(QLatin1Char('\n'))));

    // What was read is written back consistently: every counted bubble
    // exists, and reading the written text again gives the same sections.
    const QByteArray written = fx.write(QStringLiteral("t"), QSize(1000, 1400), info.rows);
    DocumentFixture again(pages);
    QStringList secondWarnings;
    QVERIFY(again.read(written, nullptr, &secondWarnings));
    QCOMPARE(again.describe(), expected);
    QCOMPARE(again.write(QStringLiteral("t"), QSize(1000, 1400), info.rows), written);
}

void TemplateDocumentTest::testReaderWithoutCanvasOrPage()
{
    tinyxml2::XMLDocument doc;
    QVERIFY(doc.Parse("<Section Type=\"Subject\" X=\"1\"/>") == tinyxml2::XML_SUCCESS);
    DocumentFixture fx(1);
    QWidget plain;
    QStringList warnings;
    readSubject(1, nullptr, doc.RootElement(), &fx.canvas, &warnings);
    readSubject(1, fx.tree.topLevelItem(0), doc.RootElement(), &plain, &warnings);
    readSubject(1, fx.tree.topLevelItem(0), doc.RootElement(), nullptr, &warnings);
    QCOMPARE(warnings.size(), 3);
    QVERIFY(fx.canvas.sections.isEmpty());
    QVERIFY(plain.children().isEmpty());
    QCOMPARE(fx.tree.topLevelItem(0)->childCount(), 0);
}

void TemplateDocumentTest::testParseStored_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("parses");
    const QByteArray xml = page1(QStringLiteral("<Section Type=\"Subject\"/>"));
    QTest::newRow("template file") << TemplateFormat::complementBytes(xml) << true;
    QTest::newRow("truncated template file") << TemplateFormat::complementBytes(xml.left(xml.size() / 2)) << false;
    QTest::newRow("plain XML is not a template file") << xml << false;
    QTest::newRow("empty file") << QByteArray() << false;
}

void TemplateDocumentTest::testParseStored()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, parses);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("模板.tpl"));
    QVERIFY(writeAll(path, stored));
    const QDateTime modified = QFileInfo(path).lastModified();

    tinyxml2::XMLDocument doc;
    QString error;
    QCOMPARE(parseStoredFile(path, doc, &error), parses);
    QCOMPARE(error.isEmpty(), parses);
    if (!parses)
        QVERIFY2(error.contains(path), qPrintable(error));
    else
        QCOMPARE(QByteArray(doc.RootElement()->Name()), QByteArray("Lumbrisk"));
    // Opening never writes the user's file.
    QCOMPARE(readAll(path), stored);
    QCOMPARE(QFileInfo(path).lastModified(), modified);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("模板.tpl")});

    QVERIFY(!parseStoredFile(dir.filePath(QStringLiteral("missing.tpl")), doc, &error));
    QVERIFY(error.contains(QStringLiteral("missing.tpl")));
}

void TemplateDocumentTest::testWriteStoredFile()
{
    QTemporaryDir dir;
    const QByteArray xml = page1(QStringLiteral("<Section Type=\"Subject\"/>"));
    const QString path = dir.filePath(QStringLiteral("t.tpl"));
    QVERIFY(writeAll(path, "old content"));
    QString error;
    QVERIFY2(writeStoredFile(path, xml, &error), qPrintable(error));
    const QByteArray stored = readAll(path);
    QCOMPARE(stored.left(5), QByteArray("\xC3\xC0\x87\x92\x93"));
    QCOMPARE(TemplateFormat::complementBytes(stored), xml);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("t.tpl")});

    // A target that cannot be written is reported, and nothing is left behind.
    const QString folder = dir.filePath(QStringLiteral("sub"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(!writeStoredFile(folder, xml, &error));
    QVERIFY2(error.contains(folder), qPrintable(error));
    QVERIFY(!writeStoredFile(dir.filePath(QStringLiteral("missing/t.tpl")), xml, &error));
    QVERIFY(error.contains(QStringLiteral("missing/t.tpl")));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("t.tpl")});
}

QTEST_MAIN(TemplateDocumentTest)
#include "templatedocument_test.moc"
