// A template with every section kind, as the sheet renderer writes it: opened
// in the designer, saved, and read back by the processing program's loader.

#include "dialogsubjectconfigtip.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "myscrollarea.h"
#include "omrresources.h"
#include "templateloader.h"
#include "widgettestutil.h"

#include <QTemporaryDir>
#include <QtTest>

#include "designertestutil.h"

using namespace DesignerTest;

class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initOmrResources();
        MyScrollArea::setDefaultVariant(MyScrollArea::Variant::Designer);
    }
    void testOpenSaveLoad_data();
    void testOpenSaveLoad();
};

void EndToEndTest::testOpenSaveLoad_data()
{
    QTest::addColumn<int>("anchorKind");
    QTest::addColumn<int>("codeKind");
    QTest::newRow("rectangles, bubble code") << int(SheetSpec::BlackRectangles) << int(SheetSpec::CodeBubbles);
    QTest::newRow("printed text, barcode") << int(SheetSpec::PrintedText) << int(SheetSpec::CodeBarcode);
}

void EndToEndTest::testOpenSaveLoad()
{
    QFETCH(int, anchorKind);
    QFETCH(int, codeKind);
    SheetSpec spec = SheetSpec::standard(SheetSpec::AnchorKind(anchorKind), SheetSpec::CodeKind(codeKind), 2, 150);
    spec.subjectConfig << SheetSpec::SubjectConfigRow{QStringLiteral("1"), QStringLiteral("解答题"),
                                                      QStringLiteral("12"), QStringLiteral("2"), QStringLiteral("3"),
                                                      QStringLiteral("1,2"), QStringLiteral("1,1")};
    const SheetRenderer renderer(spec);
    QTemporaryDir dir;
    RenderedTemplate t;
    QVERIFY(writeRendered(renderer, dir.path(), &t));

    MessageBoxRecorder boxes;
    MainWindow w;
    w.loadTemplate(spec.name, t.pages, true, t.file);
    const QString saved = dir.filePath(QStringLiteral("saved.tpl"));
    w.chooseSaveFile = [&saved](QWidget *, const QString &) { return saved; };
    WidgetTest::WhenShown<DialogSubjectConfigTip> noScoring([](DialogSubjectConfigTip *tip) { tip->reject(); });
    w.saveFile();
    QVERIFY(noScoring.seen);
    QCOMPARE(boxes.count(), 0);

    const QByteArray text = TemplateFormat::complementBytes(fileBytes(saved));
    QCOMPARE(text, t.xml);

    TemplateModel model;
    QStringList log;
    const TemplateLoadResult result = parseTemplateText(text, model, log);
    QVERIFY2(result.ok(), qPrintable(result.message + log.join(QLatin1Char('\n'))));
    QCOMPARE(model.name, spec.name);
    QCOMPARE(model.templatePages.size(), spec.pageCount);
    QCOMPARE(model.cornerChecks.size(), spec.cornerChecks.size());
    QCOMPARE(model.codeType, codeKind == SheetSpec::CodeBarcode ? 1 : 0);
    QCOMPARE(model.hasAbsentMark, spec.hasAbsentMark);
    int plainItems = 0;
    int optionalItems = 0;
    for (int item : spec.objectiveItems())
        (spec.isOptionalItem(item) ? optionalItems : plainItems)++;
    QCOMPARE(model.objectItems.size(), plainItems);
    QCOMPARE(model.optionalObjectItems.size(), optionalItems);
    QCOMPARE(model.optionalGroups.size(), spec.optionalGroups.size());
    int plainBlocks = 0;
    for (const SheetSpec::SubjectBlock &block : spec.subjectBlocks)
        plainBlocks += block.optional == 0;
    QCOMPARE(model.subjectSections.size(), plainBlocks);
    QCOMPARE(model.optionalSubjectSections.size(), spec.subjectBlocks.size() - plainBlocks);
    for (const ObjectItem &item : model.objectItems)
        QCOMPARE(item.optionCount, spec.optionCount(item.item));
}

QTEST_MAIN(EndToEndTest)
#include "endtoend_test.moc"
