// A template with every section kind over two pages, as the sheet renderer
// writes it, read into the designer's widgets and written again: the text
// is stable, the stored file is the complemented text, the processing
// program's loader reads the designer's text to the same model, and the
// engine reads filled sheets with it.

#include "answers.h"
#include "pipelinefixture.h"
#include "templatedocumentfixture.h"
#include "templateformat.h"
#include "templateloader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(SheetSpec::AnchorKind)
Q_DECLARE_METATYPE(SheetSpec::CodeKind)

namespace {

SheetSpec spec(SheetSpec::AnchorKind anchor, SheetSpec::CodeKind code)
{
    SheetSpec s = SheetSpec::standard(anchor, code, 2, 150);
    s.name = QStringLiteral("期末 \"数学\" & 物理");
    s.subjectConfig << SheetSpec::SubjectConfigRow{QStringLiteral("1"), QStringLiteral("作文 & 阅读"),
                                                   QStringLiteral("60"), QStringLiteral("2"), QStringLiteral("5"),
                                                   QStringLiteral("1,2"), QStringLiteral("1,1")}
                    << SheetSpec::SubjectConfigRow{QStringLiteral("2"), QStringLiteral("证明"), QStringLiteral("12"),
                                                   QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("2"),
                                                   QStringLiteral("2")};
    return s;
}

// Reads the text into a fresh canvas and writes it again.
QByteArray readAndWrite(const QByteArray &xml, const SheetSpec &s, QStringList *warnings)
{
    DocumentFixture fx(s.pageCount);
    TemplateDocument::DocumentInfo info;
    if (!fx.read(xml, &info, warnings))
        return QByteArray("<does not parse>");
    if (!fx.treeFaults().isEmpty())
        return fx.treeFaults().toUtf8();
    return fx.write(info.name, s.pageSize, info.rows);
}

QString rect(const QRect &r)
{
    return DocumentFixture::rect(r);
}

QString patch(const cv::Mat &m)
{
    QString d = QStringLiteral("%1x%2").arg(m.rows).arg(m.cols);
    if (!m.empty())
        d += QStringLiteral(" sum%1 crc%2").arg(cv::sum(m)[0]).arg(qChecksum(
                 reinterpret_cast<const char *>(m.clone().data), uint(m.total())));
    return d;
}

QString item(const ObjectItem &o)
{
    QString d = QStringLiteral("p%1 item%2 opts%3 dir%4 mp%5x%6 %7 abnormal%8").arg(o.page).arg(o.item)
                    .arg(o.optionCount).arg(o.optionDirection).arg(o.markPointWidth).arg(o.markPointHeight)
                    .arg(rect(o.rect)).arg(o.abnormal);
    for (const OptionBox &b : o.options)
        d += QStringLiteral(" %1%2@%3,%4,%5,%6").arg(b.letter).arg(b.index).arg(b.x).arg(b.y).arg(b.width).arg(b.height);
    return d;
}

// Every field of the model, one line per record.
QStringList dump(const TemplateModel &m)
{
    QStringList d;
    d << QStringLiteral("name %1 version %2 pages %3").arg(m.name, m.version).arg(m.pagesPerSheet);
    for (const TemplatePage &p : m.templatePages) {
        d << QStringLiteral("page %1 %2x%3 rect%4 angle%5").arg(p.id).arg(p.width).arg(p.height)
                 .arg(p.isRectangleAnchor).arg(double(p.angleAB), 0, 'f', 4);
        for (const AnchorBlock *a : {&p.anchorA, &p.anchorB})
            d << QStringLiteral(" anchor c%1,%2 %3x%4 %5").arg(a->centerX).arg(a->centerY).arg(a->anchorPointWidth)
                     .arg(a->anchorPointHeight).arg(rect(a->searchRect));
        d << QStringLiteral(" text %1 c%2,%3 %4").arg(rect(p.printTextSearchRect)).arg(p.printTextCenterX)
                 .arg(p.printTextCenterY).arg(patch(p.printTextMat));
    }
    for (const CornerCheckArea &c : m.cornerChecks)
        d << QStringLiteral("corner p%1 %2 %3 %4x%5").arg(c.page).arg(c.name, rect(c.rect)).arg(c.anchorPointWidth)
                 .arg(c.anchorPointHeight);
    d << QStringLiteral("code type%1 bar%2 len%3 dir%4 mp%5x%6 %7").arg(m.codeType).arg(m.barDirection)
             .arg(m.codeLength).arg(m.numberDirection).arg(m.codeMarkPointWidth).arg(m.codeMarkPointHeight)
             .arg(rect(m.codeRect));
    d << QStringLiteral("absent %1 %2").arg(m.hasAbsentMark).arg(rect(m.absentMarkRect));
    for (const ObjectItem &o : m.objectItems)
        d << QStringLiteral("object ") + item(o);
    for (const SubjectSection &s : m.subjectSections)
        d << QStringLiteral("subject p%1 %2 %3").arg(s.page).arg(s.sectionId).arg(rect(s.rect));
    for (const OptionalGroup &g : m.optionalGroups)
        d << QStringLiteral("group p%1 [%2] %3 mp%4x%5 %6").arg(g.page).arg(g.items.join(QLatin1Char(',')), g.defaultItem)
                 .arg(g.markPointWidth).arg(g.markPointHeight).arg(rect(g.rect));
    for (const OptionalObjectItem &o : m.optionalObjectItems)
        d << QStringLiteral("optional object %1 ").arg(o.optional) + item(o);
    for (const OptionalSubjectSection &s : m.optionalSubjectSections)
        d << QStringLiteral("optional subject %1 p%2 %3 %4").arg(s.optional).arg(s.page).arg(s.sectionId).arg(rect(s.rect));
    return d;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TemplateDocumentRoundTripTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void testRoundTrip_data();
    void testRoundTrip();
    void testEngineReadsDesignerTemplate_data();
    void testEngineReadsDesignerTemplate();

private:
    QTemporaryDir m_dir;
};

void TemplateDocumentRoundTripTest::testRoundTrip_data()
{
    QTest::addColumn<SheetSpec::AnchorKind>("anchor");
    QTest::addColumn<SheetSpec::CodeKind>("code");
    QTest::newRow("rectangles, bubble code") << SheetSpec::BlackRectangles << SheetSpec::CodeBubbles;
    QTest::newRow("rectangles, barcode") << SheetSpec::BlackRectangles << SheetSpec::CodeBarcode;
    QTest::newRow("printed text, bubble code") << SheetSpec::PrintedText << SheetSpec::CodeBubbles;
    QTest::newRow("printed text, barcode") << SheetSpec::PrintedText << SheetSpec::CodeBarcode;
}

void TemplateDocumentRoundTripTest::testRoundTrip()
{
    QFETCH(SheetSpec::AnchorKind, anchor);
    QFETCH(SheetSpec::CodeKind, code);
    const SheetSpec s = spec(anchor, code);
    const QByteArray rendered = SheetRenderer(s).templateXml();

    QStringList warnings;
    const QByteArray first = readAndWrite(rendered, s, &warnings);
    QCOMPARE(warnings, QStringList());
    // The renderer writes the designer's format, so reading and writing it
    // changes nothing.
    QCOMPARE(QString::fromUtf8(first), QString::fromUtf8(rendered));
    // Write, read, write gives the first write's bytes again.
    QCOMPARE(QString::fromUtf8(readAndWrite(first, s, &warnings)), QString::fromUtf8(first));
    QCOMPARE(warnings, QStringList());

    // Stored: the complemented text, beginning with the complemented declaration.
    const QString path = m_dir.filePath(QStringLiteral("%1.tpl").arg(QTest::currentDataTag()));
    QString error;
    QVERIFY2(TemplateDocument::writeStoredFile(path, first, &error), qPrintable(error));
    const QByteArray stored = readAll(path);
    QCOMPARE(stored.left(5), QByteArray("\xC3\xC0\x87\x92\x93"));
    QCOMPARE(TemplateFormat::complementBytes(stored), first);
    tinyxml2::XMLDocument doc;
    QVERIFY2(TemplateDocument::parseStoredFile(path, doc, &error), qPrintable(error));

    // The processing program reads the designer's text to the model it reads
    // from the renderer's own text.
    TemplateModel fromDesigner, fromRenderer;
    QStringList log;
    QVERIFY(parseTemplateText(first, fromDesigner, log).ok());
    QVERIFY(parseTemplateText(rendered, fromRenderer, log).ok());
    QVERIFY(!fromDesigner.objectItems.isEmpty() && !fromDesigner.optionalObjectItems.isEmpty());
    QVERIFY(!fromDesigner.subjectSections.isEmpty() && !fromDesigner.optionalGroups.isEmpty());
    QVERIFY(!fromDesigner.optionalSubjectSections.isEmpty() && !fromDesigner.cornerChecks.isEmpty());
    QCOMPARE(dump(fromDesigner), dump(fromRenderer));
}

void TemplateDocumentRoundTripTest::testEngineReadsDesignerTemplate_data()
{
    testRoundTrip_data();
}

void TemplateDocumentRoundTripTest::testEngineReadsDesignerTemplate()
{
    QFETCH(SheetSpec::AnchorKind, anchor);
    QFETCH(SheetSpec::CodeKind, code);
    const SheetSpec s = spec(anchor, code);
    QStringList warnings;
    const QByteArray designed = readAndWrite(SheetRenderer(s).templateXml(), s, &warnings);

    RecognitionSettings settings;
    const QString exam = m_dir.filePath(QStringLiteral("exam-%1").arg(QString::fromUtf8(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_'))));
    PipelineFixture fx(s, exam, settings);
    QVERIFY2(fx.ok(), qPrintable(fx.error()));

    // The engine works from the designer's text instead of the renderer's.
    QVERIFY2(fx.loadTemplate(designed), qPrintable(fx.error()));

    QVector<StudentMarks> students;
    QStringList paths;
    for (int i = 0; i < 2; ++i) {
        const StudentMarks marks = StudentMarks::random(s, quint32(21 + i));
        students << marks;
        fx.addStudent(s.expectedCode(marks), 200 + i);
        Distortion d;
        d.rotationDegrees = i ? -1.0 : 0.8;
        d.dx = 5;
        d.dy = -4;
        paths << fx.writeStudent(marks, d, i);
    }
    RecordingSink sink(paths);
    fx.run(sink, paths.size());

    for (const RecordingSink::ImageRow &row : sink.imageRows())
        QCOMPARE(row.result, QStringLiteral("√"));
    for (const StudentMarks &marks : students) {
        const QString expectedCode = s.expectedCode(marks);
        const RecordingSink::ResultRow *result = sink.resultFor(expectedCode);
        QVERIFY2(result, qPrintable(expectedCode));
        QStringList chosen;
        for (int g = 0; g < s.optionalGroups.size(); ++g)
            chosen << QStringLiteral("o-") + s.expectedOptionalChoice(marks, g);
        QCOMPARE(result->optionals, chosen);
        for (int item : s.objectiveItems()) {
            if (!result->objectives.contains(item))
                continue;   // a question of a candidate not chosen
            QCOMPARE(result->objectives.value(item).marks, s.expectedAnswer(marks, item));
        }
        // Every plain question was read.
        for (int item : s.objectiveItems())
            QVERIFY(s.isOptionalItem(item) || result->objectives.contains(item));
    }
}

QTEST_MAIN(TemplateDocumentRoundTripTest)
#include "templatedocumentroundtrip_test.moc"
