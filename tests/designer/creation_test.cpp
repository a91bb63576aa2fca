// Section creation from the selection: where each kind goes in the page
// tree, its page-pixel geometry at zoom 1 and 2, the size checks of the
// objective kinds, the irregular bubble layout, the detectors' part (anchors,
// corner checks, smart mode) and what the dialogs' answers become.

#include "anchorsections.h"
#include "dialogcornercheckname.h"
#include "dialogprinttextanchor.h"
#include "dialogsectioncode.h"
#include "dialogsectionobject.h"
#include "dialogsectionobjectoptional.h"
#include "dialogsectionoptionalitem.h"
#include "dialogsectionsubject.h"
#include "dialogsectionsubjectoptional.h"
#include "messagebox.h"
#include "myscrollarea.h"
#include "omrresources.h"
#include "questionsections.h"
#include "selectionfixture.h"
#include "widgettestutil.h"

#include <QtTest>

using namespace SelectionTest;

namespace {

// A page with black squares for anchors and corner checks.
const QRect kBlockA(40, 40, 30, 30);
const QRect kBlockB(520, 40, 30, 30);
const QRect kCorner(40, 720, 24, 24);

cv::Mat markedPage()
{
    cv::Mat page = whitePage(600, 800);
    for (const QRect &r : {kBlockA, kBlockB, kCorner})
        cv::rectangle(page, cv::Rect(r.x(), r.y(), r.width(), r.height()), cv::Scalar(0), cv::FILLED);
    return page;
}

// A selection around a block, `margin` pixels on each side (zoom 1).
QRect around(const QRect &block, int margin)
{
    return block.adjusted(-margin, -margin, margin, margin);
}

using Answer = std::function<void(QDialog *)>;

template <typename Dialog>
void fillObjectAnswer(Dialog *o, int start, int end, int item, int direction, int count)
{
    o->itemStart = start;
    o->itemEnd = end;
    o->item = item;
    o->optionDirection = direction;
    o->optionCount = count;
    o->lastOptionCountIndex = count - 2;
    o->lastOptionDirectionIndex = direction;
}

// Fills either objective dialog; other dialogs are left alone.
void fillObject(QDialog *d, int start, int end, int item, int direction, int count, int group = 0)
{
    if (auto *o = qobject_cast<DialogSectionObject *>(d)) {
        fillObjectAnswer(o, start, end, item, direction, count);
    } else if (auto *o = qobject_cast<DialogSectionObjectOptional *>(d)) {
        fillObjectAnswer(o, start, end, item, direction, count);
        o->group = group;
    }
}

// Answers whatever modal dialog shows next: `fill` then accept, or reject
// without one. `seen` tells whether one showed.
class AnyDialog {
public:
    explicit AnyDialog(Answer fill)
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this, fill] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            m_timer.stop();
            seen = dialog->metaObject()->className();
            if (fill) {
                fill(dialog);
                dialog->done(QDialog::Accepted);
            } else {
                dialog->reject();
            }
        });
        m_timer.start();
    }
    QString seen;

private:
    QTimer m_timer;
};

} // namespace

class CreationTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initOmrResources();
        MyScrollArea::setDefaultVariant(MyScrollArea::Variant::Designer);
    }

    void anchorsAndTreePlaces();
    void geometryAtZoom_data();
    void geometryAtZoom();
    void objectiveSizeChecks_data();
    void objectiveSizeChecks();
    void irregularBubbleLayout_data();
    void irregularBubbleLayout();
    void rememberedOptionChoices();
    void cancelledDialogsCreateNothing_data();
    void cancelledDialogsCreateNothing();
    void detectorNotFound_data();
    void detectorNotFound();
    void cornerCheck();
    void studentCode_data();
    void studentCode();
    void optionalGroupAndSubjectiveBlocks();
    void smartModeFitsTheBubbles_data();
    void smartModeFitsTheBubbles();
    void printTextSizeChecks_data();
    void printTextSizeChecks();
    void printTextAnchorFromTheDialog();
};

void CreationTest::anchorsAndTreePlaces()
{
    PageScene scene;
    scene.redraw(2, markedPage());
    scene.redraw(1, markedPage());
    MyLabel *canvas = scene.canvas;
    // The tree's current item on another page does not decide where items go.
    scene.window.tree->setCurrentItem(scene.pageItem(2));
    MessageBoxRecorder boxes;

    scene.select(QRect(300, 300, 50, 30));
    canvas->addAbsentMark();
    scene.select(around(kBlockB, 10));
    canvas->addAnchorPointB();   // no anchor A yet: first
    QCOMPARE(scene.treeTexts(1), (QStringList{QStringLiteral("定位点B"), QStringLiteral("缺考标记")}));
    scene.select(around(kBlockA, 10));
    canvas->addAnchorPointA();
    QCOMPARE(scene.treeTexts(1),
             (QStringList{QStringLiteral("定位点A"), QStringLiteral("定位点B"), QStringLiteral("缺考标记")}));
    QCOMPARE(boxes.count(), 0);

    // Anchor B made again after A (the first one deleted) goes right below A,
    // even with other items after A.
    delete scene.sections().at(1);
    QCOMPARE(scene.treeTexts(1), (QStringList{QStringLiteral("定位点A"), QStringLiteral("缺考标记")}));
    scene.select(around(kBlockB, 12));
    canvas->addAnchorPointB();
    QCOMPARE(scene.treeTexts(1),
             (QStringList{QStringLiteral("定位点A"), QStringLiteral("定位点B"), QStringLiteral("缺考标记")}));
    QVERIFY(scene.treeTexts(2).isEmpty());

    auto *a = qobject_cast<MySectionAnchorPointA *>(scene.sections().at(1));
    auto *b = qobject_cast<MySectionAnchorPointB *>(scene.sections().at(2));
    QVERIFY(a && b);
    QCOMPARE(a->anchorRect, QRect(10, 10, 30, 30));
    QCOMPARE(QPoint(a->CenterX, a->CenterY), QPoint(30 + 10 + 15, 30 + 10 + 15));
    QCOMPARE(b->anchorRect, QRect(12, 12, 30, 30));
    QCOMPARE(QPoint(b->CenterX, b->CenterY), kBlockB.topLeft() + QPoint(15, 15));
    QCOMPARE(a->treeItem->data(0, TreeItemTypeRole).value<TreeItemType>(), TreeItemTypeAnchorPointA);
    QCOMPARE(b->treeItem->data(0, TreeItemTypeRole).value<TreeItemType>(), TreeItemTypeAnchorPointB);
    QCOMPARE(a->treeItem->data(0, TreeItemDataRole).value<QObject *>(), a);
    QCOMPARE(scene.sections().at(0)->treeItem->data(0, TreeItemTypeRole).value<TreeItemType>(),
             TreeItemTypeAbsentMark);
    QVERIFY(!canvas->rubberBand->isVisible());

    // Page 2 keeps its own order.
    scene.show(2);
    scene.select(around(kBlockA, 10));
    canvas->addAnchorPointA();
    QCOMPARE(scene.treeTexts(2), QStringList{QStringLiteral("定位点A")});
    QCOMPARE(scene.sections().last()->page, 2);
}

void CreationTest::geometryAtZoom_data()
{
    QTest::addColumn<float>("zoom");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QRect>("selection");
    QTest::addColumn<QRect>("page");

    const QRect odd(101, 61, 181, 83);
    QTest::newRow("absent mark, zoom 1") << 1.0f << "absent" << odd << odd;
    QTest::newRow("absent mark, zoom 2") << 2.0f << "absent" << odd << QRect(50, 30, 90, 41);
    QTest::newRow("subjective, zoom 2") << 2.0f << "subject" << odd << QRect(50, 30, 90, 41);
    QTest::newRow("objective, zoom 2") << 2.0f << "object" << odd << QRect(50, 30, 90, 41);
    // The optional objective kinds round instead of truncating.
    QTest::newRow("optional objective, zoom 2") << 2.0f << "optional object" << odd << QRect(51, 31, 91, 42);
    QTest::newRow("optional objective, zoom 1") << 1.0f << "optional object" << odd << odd;
    QTest::newRow("optional irregular, zoom 2") << 2.0f << "optional irregular" << odd << QRect(51, 31, 91, 42);
}

void CreationTest::geometryAtZoom()
{
    QFETCH(float, zoom);
    QFETCH(QString, kind);
    QFETCH(QRect, selection);
    QFETCH(QRect, page);
    PageScene scene;
    scene.show(1);
    scene.setZoom(zoom);
    scene.select(selection);
    MyLabel *canvas = scene.canvas;
    MessageBoxRecorder boxes;
    AnyDialog answer([](QDialog *d) {
        fillObject(d, 1, 2, 1, 0, 4, 22);
        if (auto *s = qobject_cast<DialogSectionSubject *>(d))
            s->blockNumber = 1;
    });
    if (kind == QLatin1String("absent"))
        canvas->addAbsentMark();
    else if (kind == QLatin1String("subject"))
        canvas->addSubjectSection();
    else if (kind == QLatin1String("object"))
        canvas->addObjectSection(10, 8, false);
    else if (kind == QLatin1String("optional object"))
        canvas->addObjectOptionalSection(10, 8, false);
    else
        canvas->addObjectOptionalSection(10, 8, true);
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(scene.sections().size(), 1);
    MySectionBase *s = scene.sections().first();
    QCOMPARE(QRect(s->X, s->Y, s->Width, s->Height), page);
    // The widget covers the selection exactly.
    QCOMPARE(s->geometry(), selection);
    QCOMPARE(s->page, 1);
    QVERIFY(s->isVisible());
}

void CreationTest::objectiveSizeChecks_data()
{
    QTest::addColumn<bool>("optional");
    QTest::addColumn<bool>("irregular");
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("items");
    QTest::addColumn<int>("options");
    QTest::addColumn<QSize>("bubble");
    QTest::addColumn<QSize>("selection");
    QTest::addColumn<QString>("message");   // empty: created
    QTest::addColumn<QSize>("sectionBubble");

    const QSize b(20, 20);
    const QString w = QStringLiteral("区域宽度 %1 设置偏小，应大于等于 涂点宽度 * %2（%3*%4=%5）。");
    const QString h = QStringLiteral("区域高度 %1 设置偏小，应大于等于 涂点高度 * %2（%3*%4=%5）。");
    const QString items = QStringLiteral("题目个数");
    const QString options = QStringLiteral("选项个数");

    // One question drawn lower than a bubble takes the height drawn.
    QTest::newRow("one question across, 0.8 high") << false << false << 0 << 1 << 4 << b << QSize(80, 16)
                                                   << QString() << QSize(20, 16);
    QTest::newRow("one question across, 0.6 high")
        << false << false << 0 << 1 << 4 << b << QSize(80, 12) << h.arg(12).arg(items).arg(20).arg(1).arg(20)
        << QSize();
    QTest::newRow("five of four across, narrow")
        << false << false << 0 << 5 << 4 << b << QSize(79, 100) << w.arg(79).arg(options).arg(20).arg(4).arg(80)
        << QSize();
    QTest::newRow("five of four across, low")
        << false << false << 0 << 5 << 4 << b << QSize(80, 99) << h.arg(99).arg(items).arg(20).arg(5).arg(100)
        << QSize();
    QTest::newRow("five of four across, fits") << false << false << 0 << 5 << 4 << b << QSize(80, 100) << QString()
                                               << QSize(20, 20);
    QTest::newRow("one question down, 0.7 wide") << false << false << 1 << 1 << 4 << b << QSize(14, 80)
                                                 << QString() << QSize(14, 20);
    QTest::newRow("one question down, too narrow")
        << false << false << 1 << 1 << 4 << b << QSize(13, 80) << w.arg(13).arg(items).arg(20).arg(1).arg(20)
        << QSize();
    QTest::newRow("three down, narrow")
        << false << false << 1 << 3 << 4 << b << QSize(59, 80) << w.arg(59).arg(items).arg(20).arg(3).arg(60)
        << QSize();
    QTest::newRow("three down, low")
        << false << false << 1 << 3 << 4 << b << QSize(60, 79) << h.arg(79).arg(options).arg(20).arg(4).arg(80)
        << QSize();
    QTest::newRow("optional, three down, low")
        << true << false << 1 << 3 << 4 << b << QSize(60, 79) << h.arg(79).arg(options).arg(20).arg(4).arg(80)
        << QSize();
    QTest::newRow("optional, five across, fits") << true << false << 0 << 5 << 4 << b << QSize(80, 100)
                                                 << QString() << QSize(20, 20);

    const QSize ib(30, 20);
    QTest::newRow("irregular, area too small") << false << true << 0 << 1 << 5 << ib << QSize(100, 29)
                                               << QStringLiteral("区域设置偏小") << QSize();
    QTest::newRow("irregular, too narrow") << false << true << 0 << 1 << 5 << ib << QSize(29, 200)
                                           << QStringLiteral("区域宽度设置偏小") << QSize();
    QTest::newRow("irregular, too low") << true << true << 0 << 1 << 5 << ib << QSize(200, 19)
                                        << QStringLiteral("区域高度设置偏小") << QSize();
    QTest::newRow("irregular, fits") << false << true << 0 << 1 << 5 << ib << QSize(100, 30) << QString()
                                     << QSize(30, 20);
}

void CreationTest::objectiveSizeChecks()
{
    QFETCH(bool, optional);
    QFETCH(bool, irregular);
    QFETCH(int, direction);
    QFETCH(int, items);
    QFETCH(int, options);
    QFETCH(QSize, bubble);
    QFETCH(QSize, selection);
    QFETCH(QString, message);
    QFETCH(QSize, sectionBubble);

    PageScene scene;
    scene.show(1);
    scene.select(QRect(QPoint(100, 100), selection));
    MessageBoxRecorder boxes;
    AnyDialog answer([=](QDialog *d) { fillObject(d, 7, 7 + items - 1, 7, direction, options, 22); });
    if (optional)
        scene.canvas->addObjectOptionalSection(bubble.width(), bubble.height(), irregular);
    else
        scene.canvas->addObjectSection(bubble.width(), bubble.height(), irregular);

    if (!message.isEmpty()) {
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().text, message);
        QCOMPARE(boxes.last().title, QStringLiteral("提示"));
        QCOMPARE(boxes.last().icon, QMessageBox::Information);
        QCOMPARE(boxes.last().buttons, QMessageBox::StandardButtons(QMessageBox::Yes));
        QVERIFY(scene.canvas->sectionList().isEmpty());
        QVERIFY(scene.canvas->rubberBand->isVisible());
        return;
    }
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(scene.sections().size(), 1);
    MySectionBase *s = scene.sections().first();
    QCOMPARE(s->treeItem->data(0, TreeItemTypeRole).value<TreeItemType>(),
             optional ? TreeItemTypeObjectOptional : TreeItemTypeObject);
    QSize made;
    if (auto *o = qobject_cast<MySectionObject *>(s)) {
        made = QSize(o->MarkPointWidth, o->MarkPointHeight);
        QCOMPARE(QPoint(o->ItemStart, o->ItemEnd), QPoint(7, 7 + items - 1));
        QCOMPARE(o->OptionDirection, direction);
        QCOMPARE(o->OptionCount, options);
    } else if (auto *o = qobject_cast<MySectionObjectOptional *>(s)) {
        made = QSize(o->MarkPointWidth, o->MarkPointHeight);
        QCOMPARE(o->Optional, 22);
        QCOMPARE(QPoint(o->ItemStart, o->ItemEnd), QPoint(7, 7 + items - 1));
    } else if (auto *o = qobject_cast<MySectionObjectAbnormal *>(s)) {
        made = QSize(o->options.first()->Width, o->options.first()->Height);
    }
    QCOMPARE(made, sectionBubble);
}

void CreationTest::irregularBubbleLayout_data()
{
    QTest::addColumn<float>("zoom");
    QTest::addColumn<bool>("optional");
    QTest::newRow("zoom 1") << 1.0f << false;
    QTest::newRow("zoom 2, optional group") << 2.0f << true;
}

void CreationTest::irregularBubbleLayout()
{
    QFETCH(float, zoom);
    QFETCH(bool, optional);
    PageScene scene;
    scene.show(1);
    scene.setZoom(zoom);
    // Page (50, 40) 100 x 60.
    scene.select(QRect(int(50 * zoom), int(40 * zoom), int(100 * zoom), int(60 * zoom)));
    MessageBoxRecorder boxes;
    AnyDialog answer([](QDialog *d) { fillObject(d, 0, 0, 9, 0, 5, 23); });
    if (optional)
        scene.canvas->addObjectOptionalSection(30, 20, true);
    else
        scene.canvas->addObjectSection(30, 20, true);
    QCOMPARE(boxes.count(), 0);

    const QList<MySectionBase *> &list = scene.canvas->sectionList();
    QCOMPARE(list.size(), 6);
    auto *q = qobject_cast<MySectionObjectAbnormal *>(list.first());
    QVERIFY(q);
    QCOMPARE(q->Item, 9);
    QCOMPARE(q->OptionCount, 5);
    QCOMPARE(q->isOptional, optional);
    QCOMPARE(q->Optional, optional ? 23 : 0);
    QCOMPARE(scene.treeTexts(1), QStringList{q->sectionName()});
    // Three bubbles fit in a row of 100; the rest go to the next row.
    const QVector<QPoint> expected = {{50, 40}, {80, 40}, {110, 40}, {50, 60}, {80, 60}};
    QCOMPARE(q->options.size(), 5);
    for (int i = 0; i < 5; ++i) {
        ObjectAbnormalOption *b = q->options.at(i);
        QCOMPARE(list.at(i + 1), b);
        QCOMPARE(b->index, i);
        QCOMPARE(b->item, 9);
        QCOMPARE(b->parentSection.data(), q);
        QCOMPARE(QPoint(b->X, b->Y), expected.at(i));
        QCOMPARE(QSize(b->Width, b->Height), QSize(30, 20));
        QCOMPARE(QPoint(b->offsetX, b->offsetY), expected.at(i) - QPoint(50, 40));
        QCOMPARE(b->geometry(), QRect(expected.at(i) * zoom, QSize(30, 20) * zoom));
        QVERIFY(b->isVisible());
    }
}

void CreationTest::rememberedOptionChoices()
{
    PageScene scene;
    scene.show(1);
    MyLabel *canvas = scene.canvas;
    MessageBoxRecorder boxes;
    scene.select(QRect(10, 10, 200, 200));
    int countIndexShown = -2;
    int directionShown = -2;
    {
        AnyDialog cancel(nullptr);
        canvas->addObjectSection(10, 10, false);
        QCOMPARE(cancel.seen, QStringLiteral("DialogSectionObject"));
    }
    QCOMPARE(canvas->lastOptionCountIndex, -1);
    QCOMPARE(canvas->lastDirectionIndex, -1);
    {
        AnyDialog accept([](QDialog *d) { fillObject(d, 1, 2, 0, 1, 6); });
        canvas->addObjectSection(10, 10, false);
    }
    QCOMPARE(canvas->lastOptionCountIndex, 4);
    QCOMPARE(canvas->lastDirectionIndex, 1);
    // The next objective dialog of the other kind opens with them; cancelling
    // it keeps them.
    scene.select(QRect(300, 10, 200, 200));
    {
        WidgetTest::WhenShown<DialogSectionObjectOptional> cancel([&](DialogSectionObjectOptional *o) {
            countIndexShown = o->lastOptionCountIndex;
            directionShown = o->lastOptionDirectionIndex;
            o->reject();
        });
        canvas->addObjectOptionalSection(10, 10, true);
        QVERIFY(cancel.seen);
    }
    QCOMPARE(countIndexShown, 4);
    QCOMPARE(directionShown, 1);
    QCOMPARE(canvas->lastOptionCountIndex, 4);
    QCOMPARE(scene.sections().size(), 1);
}

void CreationTest::cancelledDialogsCreateNothing_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QString>("dialog");
    QTest::newRow("code") << QByteArray("setSectionCode") << "DialogSectionCode";
    QTest::newRow("objective") << QByteArray("setSectionObject") << "DialogSectionObject";
    QTest::newRow("irregular") << QByteArray("setSectionObjectAbnormal") << "DialogSectionObject";
    QTest::newRow("optional objective") << QByteArray("setSectionObjectOptional") << "DialogSectionObjectOptional";
    QTest::newRow("candidates") << QByteArray("setSectionOptionalItem") << "DialogSectionOptionalItem";
    QTest::newRow("subjective") << QByteArray("setSectionSubject") << "DialogSectionSubject";
    QTest::newRow("optional subjective") << QByteArray("setSectionSubjectOptional") << "DialogSectionSubjectOptional";
    QTest::newRow("corner check") << QByteArray("setSectionCornerCheck") << "DialogCornerCheckName";
    QTest::newRow("printed text") << QByteArray("setPrintTextAnchor") << "DialogPrintTextAnchor";
}

void CreationTest::cancelledDialogsCreateNothing()
{
    QFETCH(QByteArray, slot);
    QFETCH(QString, dialog);
    PageScene scene;
    scene.redraw(1, markedPage());
    MyRubberBandContainer *band = scene.canvas->rubberBand;
    band->markPointWidth = 10;
    band->markPointHeight = 10;
    // Over the corner block and big enough for the printed-text check.
    const QRect selection(20, 500, 300, 250);
    scene.select(selection);
    MessageBoxRecorder boxes;
    AnyDialog cancel(nullptr);
    QVERIFY(QMetaObject::invokeMethod(band, slot.constData()));
    QCOMPARE(cancel.seen, dialog);
    QCOMPARE(boxes.count(), 0);
    QVERIFY(scene.canvas->sectionList().isEmpty());
    QVERIFY(band->isVisible());
    QCOMPARE(band->geometry(), selection);
    QCOMPARE(scene.pageItem(1)->childCount(), 0);
}

void CreationTest::detectorNotFound_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("anchor A") << 0 << QStringLiteral("设置定位点失败，请检查");
    QTest::newRow("anchor B") << 1 << QStringLiteral("设置定位点失败，请检查");
    QTest::newRow("corner check") << 2 << QStringLiteral("设置边角检测点失败，请检查");
}

void CreationTest::detectorNotFound()
{
    QFETCH(int, kind);
    QFETCH(QString, message);
    PageScene scene;
    scene.redraw(1, markedPage());
    // Beside the blocks: white paper only.
    scene.select(QRect(200, 200, 120, 80));
    MessageBoxRecorder boxes;
    AnyDialog never(nullptr);
    if (kind == 0)
        scene.canvas->addAnchorPointA();
    else if (kind == 1)
        scene.canvas->addAnchorPointB();
    else
        scene.canvas->addCornerCheck();
    QVERIFY(never.seen.isEmpty());
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().text, message);
    QCOMPARE(boxes.last().title, QStringLiteral("提示"));
    QCOMPARE(boxes.last().icon, QMessageBox::Warning);
    QCOMPARE(boxes.last().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(scene.canvas->sectionList().isEmpty());
    QVERIFY(scene.canvas->rubberBand->isVisible());
}

void CreationTest::cornerCheck()
{
    PageScene scene;
    scene.redraw(1, markedPage());
    MyLabel *canvas = scene.canvas;
    scene.select(QRect(300, 300, 40, 40));
    canvas->addAbsentMark();
    scene.setZoom(2.0f);
    scene.select(QRect(2 * 30, 2 * 700, 2 * 50, 2 * 50));
    MessageBoxRecorder boxes;
    AnyDialog answer([](QDialog *d) { qobject_cast<DialogCornerCheckName *>(d)->name = QStringLiteral("左下"); });
    canvas->addCornerCheck();
    QCOMPARE(boxes.count(), 0);
    auto *c = qobject_cast<MySectionCornerCheck *>(scene.sections().last());
    QVERIFY(c);
    QCOMPARE(c->Name, QStringLiteral("左下"));
    QCOMPARE(c->anchorRect, QRect(10, 20, 24, 24));
    QCOMPARE(QRect(c->X, c->Y, c->Width, c->Height), QRect(30, 700, 50, 50));
    QCOMPARE(scene.treeTexts(1), (QStringList{QStringLiteral("缺考标记"), QStringLiteral("边角检测 左下")}));
    QCOMPARE(c->treeItem->data(0, TreeItemTypeRole).value<TreeItemType>(), TreeItemTypeCornerCheck);
}

void CreationTest::studentCode_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("direction");
    QTest::addColumn<QString>("tree");
    QTest::newRow("barcode, vertical") << 1 << 1 << QStringLiteral("条形码考号 垂直");
    QTest::newRow("bubbles, digits across") << 0 << 1 << QString();
}

void CreationTest::studentCode()
{
    QFETCH(int, type);
    QFETCH(int, direction);
    QFETCH(QString, tree);
    PageScene scene;
    scene.show(1);
    MyRubberBandContainer *band = scene.canvas->rubberBand;
    band->markPointWidth = 18;
    band->markPointHeight = 12;
    scene.select(QRect(60, 80, 300, 200));
    MessageBoxRecorder boxes;
    int widthGiven = 0;
    AnyDialog answer([&](QDialog *d) {
        auto *c = qobject_cast<DialogSectionCode *>(d);
        widthGiven = c->markPointWidth;
        c->codeType = type;
        c->codeLength = 8;
        c->numberDirection = direction;
        c->barDirection = direction;
    });
    band->setSectionCode();
    QCOMPARE(answer.seen, QStringLiteral("DialogSectionCode"));
    QCOMPARE(widthGiven, 18);
    QCOMPARE(boxes.count(), 0);
    auto *code = qobject_cast<MySectionCode *>(scene.sections().value(0));
    QVERIFY(code);
    QCOMPARE(code->CodeType, type);
    QCOMPARE(QRect(code->X, code->Y, code->Width, code->Height), QRect(60, 80, 300, 200));
    if (type == 1) {
        QCOMPARE(code->BarDirection, direction);
        QCOMPARE(scene.treeTexts(1), QStringList{tree});
    } else {
        QCOMPARE(code->CodeLength, 8);
        QCOMPARE(code->NumberDirection, direction);
        QCOMPARE(QSize(code->MarkPointWidth, code->MarkPointHeight), QSize(18, 12));
        QCOMPARE(scene.treeTexts(1), QStringList{code->sectionName()});
    }
    QCOMPARE(code->treeItem->data(0, TreeItemTypeRole).value<TreeItemType>(), TreeItemTypeCode);
}

void CreationTest::optionalGroupAndSubjectiveBlocks()
{
    PageScene scene;
    scene.show(2);
    MyLabel *canvas = scene.canvas;
    MessageBoxRecorder boxes;

    scene.select(QRect(10, 10, 120, 30));
    {
        AnyDialog answer([](QDialog *d) {
            auto *o = qobject_cast<DialogSectionOptionalItem *>(d);
            o->items = QStringList{QStringLiteral("22"), QStringLiteral("23")};
            o->defaultItem = QStringLiteral("23");
        });
        canvas->addOptionalItemSection(16, 11);
    }
    scene.select(QRect(10, 100, 300, 200));
    int pageGiven = 0;
    {
        AnyDialog answer([&](QDialog *d) {
            auto *s = qobject_cast<DialogSectionSubject *>(d);
            pageGiven = s->page;
            s->blockNumber = 3;
        });
        canvas->addSubjectSection();
    }
    scene.select(QRect(10, 400, 300, 200));
    {
        AnyDialog answer([](QDialog *d) {
            auto *s = qobject_cast<DialogSectionSubjectOptional *>(d);
            s->blockNumber = 4;
            s->group = 23;
        });
        canvas->addSubjectOptionalSection();
    }
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(pageGiven, 2);
    const QList<MySectionBase *> made = scene.sections();
    QCOMPARE(made.size(), 3);
    auto *group = qobject_cast<MySectionOptionalItem *>(made.at(0));
    auto *subject = qobject_cast<MySectionSubject *>(made.at(1));
    auto *optional = qobject_cast<MySectionSubjectOptional *>(made.at(2));
    QVERIFY(group && subject && optional);
    QCOMPARE(group->Items, (QStringList{QStringLiteral("22"), QStringLiteral("23")}));
    QCOMPARE(group->DefaultItem, QStringLiteral("23"));
    QCOMPARE(QSize(group->MarkPointWidth, group->MarkPointHeight), QSize(16, 11));
    QCOMPARE(subject->SubjectSectionID, 3);
    QCOMPARE(subject->subjectPage, 2);
    QCOMPARE(optional->SubjectSectionID, 4);
    QCOMPARE(optional->Optional, 23);
    for (MySectionBase *s : made)
        QCOMPARE(s->page, 2);
    QCOMPARE(scene.treeTexts(2),
             (QStringList{group->sectionName(), subject->sectionName(), optional->sectionName()}));
    QCOMPARE(optional->treeItem->data(0, TreeItemTypeRole).value<TreeItemType>(), TreeItemTypeSubjectOptional);
    QCOMPARE(group->treeItem->data(0, TreeItemTypeRole).value<TreeItemType>(), TreeItemTypeOptional);
}

void CreationTest::smartModeFitsTheBubbles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("bubbles");
    QTest::newRow("bubble code") << "code" << true;
    QTest::newRow("objective block") << "object" << true;
    QTest::newRow("candidates") << "group" << true;
    QTest::newRow("bubble code, nothing there") << "code" << false;
    QTest::newRow("objective block, nothing there") << "object" << false;
}

void CreationTest::smartModeFitsTheBubbles()
{
    QFETCH(QString, kind);
    QFETCH(bool, bubbles);
    PageScene scene;
    cv::Mat page = whitePage(600, 800);
    // A row of four dark bubbles, 16 x 10, 30 apart, from (211, 305).
    if (bubbles) {
        for (int i = 0; i < 4; ++i)
            cv::rectangle(page, cv::Rect(211 + 30 * i, 305, 16, 10), cv::Scalar(0), cv::FILLED);
    }
    scene.redraw(1, page);
    scene.setZoom(2.0f);
    MyRubberBandContainer *band = scene.canvas->rubberBand;
    band->smartMode = true;
    band->markPointWidth = 16;
    band->markPointHeight = 10;
    scene.select(QRect(400, 600, 300, 60));   // page (200, 300) 150 x 30
    MessageBoxRecorder boxes;
    AnyDialog answer([](QDialog *d) {
        fillObject(d, 1, 1, 0, 0, 4);
        if (auto *c = qobject_cast<DialogSectionCode *>(d)) {
            c->codeType = 0;
            c->codeLength = 4;
        }
        if (auto *o = qobject_cast<DialogSectionOptionalItem *>(d)) {
            o->items = QStringList{QStringLiteral("1"), QStringLiteral("2")};
            o->defaultItem = QStringLiteral("1");
        }
    });
    if (kind == QLatin1String("code"))
        band->setSectionCode();
    else if (kind == QLatin1String("object"))
        band->setSectionObject();
    else
        band->setSectionOptionalItem();

    QVERIFY(!band->isVisible());
    if (!bubbles) {
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().text, QStringLiteral("自动获取涂点区域失败"));
        QCOMPARE(boxes.last().icon, QMessageBox::Information);
        QCOMPARE(boxes.last().buttons, QMessageBox::StandardButtons(QMessageBox::Yes));
        QVERIFY(scene.canvas->sectionList().isEmpty());
        return;
    }
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(scene.sections().size(), 1);
    MySectionBase *s = scene.sections().first();
    const QRect found(211, 305, 3 * 30 + 16, 10);
    QCOMPARE(QRect(s->X, s->Y, s->Width, s->Height), found);
    QCOMPARE(s->geometry(), QRect(found.topLeft() * 2, found.size() * 2));
}

void CreationTest::printTextSizeChecks_data()
{
    QTest::addColumn<float>("zoom");
    QTest::addColumn<QSize>("selection");
    QTest::addColumn<QString>("message");   // empty: the dialog opens
    QTest::newRow("250 wide") << 1.0f << QSize(250, 150) << QStringLiteral("操作需要宽度大于250。当前值为：250");
    QTest::newRow("250.5 wide") << 2.0f << QSize(501, 300) << QString();
    QTest::newRow("251 wide, 100 high") << 1.0f << QSize(251, 100)
                                        << QStringLiteral("操作需要高度大于100。当前值为：100");
    QTest::newRow("100.5 high") << 2.0f << QSize(600, 201) << QString();
}

void CreationTest::printTextSizeChecks()
{
    QFETCH(float, zoom);
    QFETCH(QSize, selection);
    QFETCH(QString, message);
    PageScene scene;
    scene.show(1);
    scene.setZoom(zoom);
    scene.select(QRect(QPoint(10, 10), selection));
    MessageBoxRecorder boxes;
    AnyDialog cancel(nullptr);
    scene.canvas->addPrintTextAnchor();
    if (message.isEmpty()) {
        QCOMPARE(cancel.seen, QStringLiteral("DialogPrintTextAnchor"));
        QCOMPARE(boxes.count(), 0);
    } else {
        QVERIFY(cancel.seen.isEmpty());
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().text, message);
        QCOMPARE(boxes.last().icon, QMessageBox::Warning);
    }
    QVERIFY(scene.canvas->sectionList().isEmpty());
}

void CreationTest::printTextAnchorFromTheDialog()
{
    PageScene scene;
    scene.show(1);
    MyLabel *canvas = scene.canvas;
    MessageBoxRecorder boxes;
    scene.select(QRect(300, 300, 40, 40));
    canvas->addAbsentMark();
    scene.select(QRect(50, 20, 400, 150));
    const cv::Mat patch(30, 220, CV_8UC1, cv::Scalar(255));
    AnyDialog answer([&patch](QDialog *d) {
        auto *p = qobject_cast<DialogPrintTextAnchor *>(d);
        p->textRect = QRect(31, 40, 221, 30);
        p->patch = patch;
    });
    canvas->addPrintTextAnchor();
    QCOMPARE(boxes.count(), 0);
    auto *anchor = qobject_cast<MySectionPrintTextAnchor *>(scene.sections().last());
    QVERIFY(anchor);
    QCOMPARE(anchor->textRect, QRect(31, 40, 221, 30));
    QCOMPARE(anchor->patch.data, patch.data);
    QCOMPARE(QPoint(anchor->CenterX, anchor->CenterY), QPoint(50 + 31 + 110, 20 + 40 + 15));
    QCOMPARE(scene.treeTexts(1), (QStringList{anchor->sectionName(), QStringLiteral("缺考标记")}));
    QCOMPARE(anchor->treeItem->data(0, TreeItemTypeRole).value<TreeItemType>(), TreeItemTypeAnchorPointA);
}

QTEST_MAIN(CreationTest)
#include "creation_test.moc"
