// One table of damaged templates, each run through the processing program's
// loader and through the designer's open and save: both programs give the
// same verdict with the same words, and nothing the designer saves is refused
// by the processing program.

#include "mainwindow.h"
#include "mytreewidget.h"
#include "messagebox.h"
#include "myscrollarea.h"
#include "omrresources.h"
#include "questionsections.h"
#include "sheetrenderer.h"
#include "templateformat.h"
#include "templateloader.h"
#include "templaterules.h"

#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QtTest>

#include <tinyxml2.h>

#include "designertestutil.h"

using namespace DesignerTest;
using tinyxml2::XMLElement;

namespace {

// The `nth` (from 0) section of kind `type` on page `page` (from 1); the
// page itself for an empty type, the root for page 0.
XMLElement *findElement(tinyxml2::XMLDocument &doc, int page, const QString &type, int nth = 0)
{
    XMLElement *root = doc.RootElement();
    if (page == 0)
        return root;
    XMLElement *p = root->FirstChildElement("Pages")->FirstChildElement();
    for (int i = 1; p && i < page; ++i)
        p = p->NextSiblingElement();
    if (!p || type.isEmpty())
        return p;
    for (XMLElement *s = p->FirstChildElement(); s; s = s->NextSiblingElement()) {
        if (QString::fromUtf8(s->Attribute("Type")) == type && nth-- == 0)
            return s;
    }
    return nullptr;
}

QByteArray print(const tinyxml2::XMLDocument &doc)
{
    tinyxml2::XMLPrinter printer;
    doc.Print(&printer);
    return QByteArray(printer.CStr(), printer.CStrSize() - 1);
}

// What one row does to the document. `child` names a child element of the
// section (A, B, PrintTextAnchor, or an option's position as a number).
struct Change {
    int page = 1;
    QString type;
    int nth = 0;
    QString child;
    QString attribute;
    QString value;          // "-" removes the attribute
};

} // namespace
Q_DECLARE_METATYPE(Change)

class TemplateRulesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void testBothProgramsAgree_data();
    void testBothProgramsAgree();
    void testScoringRowsOfChangedBlocksRefusedAtSave();

private:
    QByteArray templateXml(SheetSpec::AnchorKind anchor);
    QStringList pageFiles(SheetSpec::AnchorKind anchor);

    QTemporaryDir m_dir;
    MessageBoxRecorder m_boxes;
};

void TemplateRulesTest::initTestCase()
{
    initOmrResources();
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    MyScrollArea::setDefaultVariant(MyScrollArea::Variant::Designer);
    QVERIFY(m_dir.isValid());
}

namespace {

SheetSpec baseSpec(SheetSpec::AnchorKind anchor)
{
    SheetSpec spec = SheetSpec::standard(anchor, SheetSpec::CodeBubbles, 2, 100);
    spec.subjectConfig = {{QStringLiteral("1"), QStringLiteral("作文"), QStringLiteral("40"), QStringLiteral("2"),
                           QStringLiteral("5"), QStringLiteral("1,2"), QStringLiteral("1,2")}};
    return spec;
}

} // namespace

QByteArray TemplateRulesTest::templateXml(SheetSpec::AnchorKind anchor)
{
    return SheetRenderer(baseSpec(anchor)).templateXml();
}

QStringList TemplateRulesTest::pageFiles(SheetSpec::AnchorKind anchor)
{
    const SheetRenderer renderer(baseSpec(anchor));
    QStringList files;
    for (int i = 0; i < renderer.spec().pageCount; ++i) {
        const QString path = m_dir.filePath(QStringLiteral("page-%1-%2.png").arg(int(anchor)).arg(i + 1));
        if (!QFile::exists(path))
            SheetRenderer::writeImage(path, renderer.blankPage(i), 0);
        files << path;
    }
    return files;
}

void TemplateRulesTest::testBothProgramsAgree_data()
{
    QTest::addColumn<int>("anchor");
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("rule");      // in the message of both; empty: a good template
    QTest::addColumn<bool>("keptByDesigner");   // the designer's sections still break the rule

    const int R = SheetSpec::BlackRectangles;
    const int T = SheetSpec::PrintedText;
    auto c = [](int page, const char *type, const char *attribute, const char *value, int nth = 0,
                const char *child = "") {
        Change x;
        x.page = page;
        x.type = QString::fromLatin1(type);
        x.nth = nth;
        x.child = QString::fromLatin1(child);
        x.attribute = QString::fromLatin1(attribute);
        x.value = QString::fromUtf8(value);
        return x;
    };

    QTest::newRow("as designed") << R << Change() << QString() << false;
    QTest::newRow("printed text as designed") << T << Change() << QString() << false;
    // Lenient readings the processing program always had.
    QTest::newRow("version read as a number") << R << c(0, "", "Version", "1e9") << QString() << false;
    QTest::newRow("anchor kind unknown: black rectangles")
        << R << c(1, "AnchorPoint", "AnchorType", "Circle") << QString() << false;

    QTest::newRow("old version") << R << c(0, "", "Version", "3.9") << QStringLiteral("模板版本 3.9 低于") << false;
    QTest::newRow("page id 0") << R << c(1, "", "ID", "0") << QStringLiteral("第1页 页号 ID 为“0”，应为 1") << false;
    QTest::newRow("page id repeated") << R << c(2, "", "ID", "1") << QStringLiteral("第2页 页号 ID 为“1”，应为 2") << false;
    QTest::newRow("page id negative") << R << c(2, "", "ID", "-2") << QStringLiteral("页号 ID 为“-2”") << false;
    QTest::newRow("page width 0") << R << c(1, "", "Width", "0") << QStringLiteral("第1页 页面宽度为 0") << false;
    QTest::newRow("page height huge") << R << c(2, "", "Height", "100000") << QStringLiteral("页面高度为 100000") << false;

    QTest::newRow("option count 1") << R << c(1, "Object", "OptionCount", "1")
                                    << QStringLiteral("选项数为 1，应为 2 至 16") << true;
    QTest::newRow("option count 100") << R << c(1, "Object", "OptionCount", "100")
                                      << QStringLiteral("选项数为 100，应为 2 至 16") << true;
    QTest::newRow("option count with a blank") << R << c(1, "Object", "OptionCount", " 7")
                                               << QStringLiteral("属性 OptionCount=“ 7” 不是整数") << false;
    QTest::newRow("option direction 2") << R << c(1, "Object", "OptionDirection", "2")
                                        << QStringLiteral("选项方向为 2，应为 0 或 1") << true;
    QTest::newRow("bubble wider than its block") << R << c(1, "Object", "MarkPointWidth", "5000")
                                                 << QStringLiteral("涂点大小 5000×") << true;
    QTest::newRow("irregular count disagrees") << R << c(1, "Object", "OptionCount", "3", 0, "")
                                               << QString() << false;   // replaced below
    QTest::newRow("code length 0") << R << c(1, "Code", "CodeLength", "0")
                                   << QStringLiteral("第1页 考号区域：考号位数为 0，应为 2 至 50") << true;
    QTest::newRow("code length 1") << R << c(1, "Code", "CodeLength", "1")
                                   << QStringLiteral("考号位数为 1，应为 2 至 50") << true;
    QTest::newRow("code length 1000") << R << c(1, "Code", "CodeLength", "1000")
                                      << QStringLiteral("考号位数为 1000，应为 2 至 50") << true;
    QTest::newRow("code length 2000000000") << R << c(1, "Code", "CodeLength", "2000000000")
                                            << QStringLiteral("考号位数为 2000000000") << true;
    QTest::newRow("code type unknown") << R << c(1, "Code", "CodeType", "3")
                                       << QStringLiteral("考号类型为 3，应为 0（填涂）或 1（条形码）") << true;
    QTest::newRow("code off the page") << R << c(1, "Code", "X", "5000") << QStringLiteral("超出页面") << true;
    QTest::newRow("subjective block beyond the page") << R << c(1, "Subject", "X", "3114")
                                                      << QStringLiteral("第1页 主观题块 1：区域（X=3114") << true;
    QTest::newRow("subjective block of no width") << R << c(1, "Subject", "Width", "0")
                                                  << QStringLiteral("第1页 主观题块 1：区域大小为 0×") << true;
    QTest::newRow("subjective block number repeated") << R << c(2, "Subject", "SubjectSectionID", "1", 1)
                                                      << QStringLiteral("第2页 主观题块 1：块号 1 在本页重复") << true;
    QTest::newRow("no candidates") << R << c(2, "Optional", "Items", "")
                                   << QStringLiteral("候选题号“”不是正整数") << true;
    QTest::newRow("only commas") << R << c(2, "Optional", "Items", ",,")
                                 << QStringLiteral("候选题号“”不是正整数") << true;
    QTest::newRow("one candidate") << R << c(2, "Optional", "Items", "22")
                                   << QStringLiteral("只有 1 个候选题号，至少应有 2 个") << true;
    QTest::newRow("default not a candidate") << R << c(2, "Optional", "DefaultItem", "9")
                                             << QStringLiteral("默认题号“9”不在候选题号 22,23 中") << true;
    QTest::newRow("member of no candidate") << R << c(2, "OptionalSubject", "Optional", "99")
                                            << QStringLiteral("所属选做题 99 不是任何选做题的候选题号") << true;
    QTest::newRow("anchor block of no size") << R << c(1, "AnchorPoint", "AnchorPointWidth", "0", 0, "A")
                                             << QStringLiteral("第1页 定位点：A 的黑块大小 0×") << true;
    QTest::newRow("anchor angle no number") << R << c(2, "AnchorPoint", "AngleAB", "abc")
                                            << QStringLiteral("第2页 定位点：属性 AngleAB=“abc” 不是数值") << false;
    QTest::newRow("corner check off the page") << R << c(2, "CornerCheck", "Y", "-5")
                                               << QStringLiteral("超出页面") << true;
    QTest::newRow("corner point outside its area") << R << c(2, "CornerCheck", "AnchorPointX", "5000")
                                                   << QStringLiteral("校验点黑块（X=5000") << true;
    QTest::newRow("printed text patch unreadable") << T << c(1, "AnchorPoint", "MatData", "!!!", 0, "PrintTextAnchor")
                                                   << QStringLiteral("印刷文字定位数据无法使用") << true;
    QTest::newRow("scoring item names no block") << R << c(0, "SubjectConfig", "Sections", "1,9")
                                                 << QStringLiteral("主观题评分设置第 1 题（作文）：第2页没有块号为 9 的主观题")
                                                 << true;
}

void TemplateRulesTest::testBothProgramsAgree()
{
    QFETCH(int, anchor);
    QFETCH(Change, change);
    QFETCH(QString, rule);
    QFETCH(bool, keptByDesigner);
    const auto kind = SheetSpec::AnchorKind(anchor);

    tinyxml2::XMLDocument doc;
    const QByteArray original = templateXml(kind);
    QCOMPARE(doc.Parse(original.constData(), size_t(original.size())), tinyxml2::XML_SUCCESS);
    if (QByteArray(QTest::currentDataTag()) == "irregular count disagrees") {
        // The irregular question lists five bubbles and says three.
        XMLElement *s = findElement(doc, 1, QStringLiteral("Object"));
        while (s && QByteArray(s->Attribute("Abnormal")) != "1")
            s = s->NextSiblingElement();
        QVERIFY(s);
        s->SetAttribute("OptionCount", "3");
        rule = QStringLiteral("选项数写为 3，实有 5 个选项");
        keptByDesigner = false;   // the designer keeps the bubbles and counts them
    } else if (!change.attribute.isEmpty()) {
        XMLElement *e = change.type == QLatin1String("SubjectConfig")
                            ? doc.RootElement()->FirstChildElement("SubjectConfig")->FirstChildElement("Item")
                            : findElement(doc, change.page, change.type, change.nth);
        QVERIFY(e);
        if (!change.child.isEmpty())
            e = e->FirstChildElement(change.child.toLatin1().constData());
        QVERIFY(e);
        if (change.value == QLatin1String("-"))
            e->DeleteAttribute(change.attribute.toLatin1().constData());
        else
            e->SetAttribute(change.attribute.toLatin1().constData(), change.value.toUtf8().constData());
    }
    const QByteArray xml = print(doc);

    // The processing program.
    TemplateModel model;
    QStringList log;
    const TemplateLoadResult loaded = parseTemplateText(xml, model, log);
    const QVector<TemplateRules::Problem> problems = TemplateRules::check(doc);
    if (rule.isEmpty()) {
        QVERIFY2(loaded.ok(), qPrintable(loaded.message));
        QVERIFY(problems.isEmpty());
    } else {
        QVERIFY(!loaded.ok());
        QVERIFY(!problems.isEmpty());
        QVERIFY2(problems.first().text.contains(rule), qPrintable(problems.first().text));
        if (problems.first().versionTooLow)
            QCOMPARE(loaded.status, TemplateLoadResult::VersionTooLow);
        else
            QCOMPARE(loaded.message, QStringLiteral("模板文件无法加载：") + problems.first().text);
    }

    // The designer opens it: a broken rule is said at once, in the same words.
    const QString file = m_dir.filePath(QStringLiteral("%1.tpl").arg(QString::fromUtf8(QTest::currentDataTag())));
    QVERIFY(writeStored(file, xml));
    MainWindow w;
    w.subjectConfigStep = nullptr;
    m_boxes.clear();
    w.loadTemplate(QStringLiteral("规则"), pageFiles(kind), true, file);
    if (rule.isEmpty()) {
        QCOMPARE(m_boxes.count(), 0);
    } else {
        QCOMPARE(m_boxes.count(), 1);
        QVERIFY2(m_boxes.last().text.contains(problems.first().text), qPrintable(m_boxes.last().text));
    }

    // ... and saves it: refused with the same words while its sections still
    // break the rule; whatever it does save, the processing program loads.
    const QString saved = m_dir.filePath(QStringLiteral("%1-saved.tpl").arg(QString::fromUtf8(QTest::currentDataTag())));
    w.chooseSaveFile = [&saved](QWidget *, const QString &) { return saved; };
    m_boxes.clear();
    w.saveFile();
    if (keptByDesigner) {
        QCOMPARE(m_boxes.count(), 1);
        QVERIFY2(m_boxes.last().text.contains(rule), qPrintable(m_boxes.last().text));
        QVERIFY(!QFile::exists(saved));
        // The offending section is the one shown and picked in the tree.
        const TemplateRules::Problem &problem = problems.first();
        if (problem.section > 0) {
            QTreeWidgetItem *current = w.treeWidget->currentItem();
            QVERIFY(current);
            auto *section = qobject_cast<MySectionBase *>(current->data(0, TreeItemDataRole).value<QObject *>());
            QVERIFY(section);
            QCOMPARE(section->page, problem.page);
            QCOMPARE(w.currentPage, problem.page);
            QCOMPARE(section->sectionName(), current->text(0));
        }
        return;
    }
    QVERIFY2(m_boxes.count() == 0, qPrintable(m_boxes.last().text));
    QVERIFY(QFile::exists(saved));
    TemplateModel again;
    const TemplateLoadResult reloaded =
        parseTemplateText(TemplateFormat::complementBytes(fileBytes(saved)), again, log);
    QVERIFY2(reloaded.ok(), qPrintable(reloaded.message));
}

void TemplateRulesTest::testScoringRowsOfChangedBlocksRefusedAtSave()
{
    const QString file = m_dir.filePath(QStringLiteral("scoring.tpl"));
    QVERIFY(writeStored(file, templateXml(SheetSpec::BlackRectangles)));
    MainWindow w;
    m_boxes.clear();
    w.loadTemplate(QStringLiteral("评分"), pageFiles(SheetSpec::BlackRectangles), true, file);
    QCOMPARE(m_boxes.count(), 0);
    QCOMPARE(w.subjectItemRows.size(), 1);      // names block 1 of page 1 and block 2 of page 2

    auto blockOf = [&w](int page, int id) -> MySectionSubject * {
        for (MySectionBase *s : w.sectionList()) {
            auto *block = qobject_cast<MySectionSubject *>(s);
            if (block && block->page == page && block->SubjectSectionID == id)
                return block;
        }
        return nullptr;
    };
    const QString saved = m_dir.filePath(QStringLiteral("scoring-saved.tpl"));
    w.chooseSaveFile = [&saved](QWidget *, const QString &) { return saved; };
    int configSteps = 0;
    w.subjectConfigStep = [&configSteps] { ++configSteps; };

    // Renumbered: block 2 of page 2 becomes 7.
    MySectionSubject *block = blockOf(2, 2);
    QVERIFY(block);
    block->SubjectSectionID = 7;
    w.saveFile();
    QCOMPARE(configSteps, 1);       // the user had the chance to mend the rows first
    QCOMPARE(m_boxes.count(), 1);
    QVERIFY2(m_boxes.last().text.contains(QStringLiteral("主观题评分设置第 1 题（作文）：第2页没有块号为 2 的主观题")),
             qPrintable(m_boxes.last().text));
    QVERIFY(!QFile::exists(saved));

    // Deleted: block 1 of page 1.
    block->SubjectSectionID = 2;
    delete blockOf(1, 1);
    m_boxes.clear();
    w.saveFile();
    QCOMPARE(m_boxes.count(), 1);
    QVERIFY2(m_boxes.last().text.contains(QStringLiteral("第1页没有块号为 1 的主观题")), qPrintable(m_boxes.last().text));
    QVERIFY(!QFile::exists(saved));

    // Mended rows save.
    w.subjectConfigStep = [&w] { w.subjectItemRows[0].Pages = QStringLiteral("2");
                                 w.subjectItemRows[0].Sections = QStringLiteral("2"); };
    m_boxes.clear();
    w.saveFile();
    QCOMPARE(m_boxes.count(), 0);
    QVERIFY(QFile::exists(saved));
}

QTEST_MAIN(TemplateRulesTest)
#include "templaterules_test.moc"
