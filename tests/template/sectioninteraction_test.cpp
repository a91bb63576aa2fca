// Dragging, resizing, the context menu, hiding and the end of a section.

#include "anchorsections.h"
#include "omrresources.h"
#include "questionsections.h"
#include "sectiontestevents.h"
#include "testsectionhost.h"
#include "widgettestutil.h"

#include <QPointer>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace SectionTest;

namespace {

QAction *entry(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

void choose(MySectionBase *section, const QString &text)
{
    std::unique_ptr<QMenu> menu(section->buildContextMenu());
    QVERIFY(menu);
    QAction *action = entry(menu.get(), text);
    QVERIFY2(action, qPrintable(text));
    action->trigger();
}

} // namespace

class SectionInteractionTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void drag_data();
    void drag();
    void lockedSectionStays();
    void resize_data();
    void resize();
    void lockedBlockDragsSelection();
    void unlockedBlockMovesItself();
    void contextMenuEntries();
    void rightPressOpensMenu();
    void unlockRefusal_data();
    void unlockRefusal();
    void lockAndUnlock();
    void deleteAsksFirst();
    void hideStaysHiddenAcrossPages();
    void subjectShownOnItsOwnPage();
    void enterAndLeaveShowName();
    void destructorLeavesListAndTree();
    void editDialogsRenameTreeItem();
    void withoutCanvas();

private:
    std::unique_ptr<TestSectionHost> host;
};

void SectionInteractionTest::initTestCase()
{
    initOmrResources();
}

void SectionInteractionTest::init()
{
    host = std::make_unique<TestSectionHost>();
    host->shownSize = QSize(1000, 800);
    host->resize(1000, 800);   // a smaller window is quicker to expose
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host.get()));
}

void SectionInteractionTest::cleanup()
{
    host.reset();
}

void SectionInteractionTest::drag_data()
{
    QTest::addColumn<float>("zoom");
    QTest::addColumn<QPoint>("start");   // widget position, canvas pixels
    QTest::addColumn<QPoint>("delta");
    QTest::addColumn<QPoint>("end");     // widget position after the drag
    QTest::addColumn<QPoint>("field");   // X, Y after the drag

    QTest::newRow("zoom 1") << 1.0f << QPoint(100, 100) << QPoint(30, -20) << QPoint(130, 80) << QPoint(130, 80);
    QTest::newRow("zoom 2 rounds half up") << 2.0f << QPoint(100, 100) << QPoint(1, 1) << QPoint(101, 101)
                                           << QPoint(51, 51);
    QTest::newRow("zoom 2 half below") << 2.0f << QPoint(100, 100) << QPoint(-1, -1) << QPoint(99, 99)
                                       << QPoint(50, 50);
    QTest::newRow("zoom 3") << 3.0f << QPoint(99, 99) << QPoint(1, 2) << QPoint(100, 101) << QPoint(33, 34);
    QTest::newRow("stops at left and top") << 1.0f << QPoint(100, 100) << QPoint(-500, -500) << QPoint(0, 0)
                                           << QPoint(0, 0);
    QTest::newRow("stops at right and bottom") << 1.0f << QPoint(900, 700) << QPoint(500, 500) << QPoint(950, 760)
                                               << QPoint(950, 760);
    QTest::newRow("zoom 2 stops at image edge") << 2.0f << QPoint(900, 700) << QPoint(500, 500)
                                                << QPoint(950, 760) << QPoint(475, 380);
}

void SectionInteractionTest::drag()
{
    QFETCH(float, zoom);
    QFETCH(QPoint, start);
    QFETCH(QPoint, delta);
    QFETCH(QPoint, end);
    QFETCH(QPoint, field);

    host->scale = zoom;
    auto *mark = new MySectionAbsentMark(1, host.get());
    mark->setGeometry(QRect(start, QSize(50, 40)));
    mark->setLock(false);
    SectionTest::drag(mark, QPoint(20, 20), delta);
    QCOMPARE(mark->pos(), end);
    QCOMPARE(QPoint(mark->X, mark->Y), field);
    QVERIFY(!mark->resizing);
}

void SectionInteractionTest::lockedSectionStays()
{
    auto *mark = place(*host, new MySectionAbsentMark(1, host.get()), QRect(100, 100, 50, 40));
    press(mark, QPoint(47, 37));   // the handle corner
    QVERIFY(!mark->resizing);
    moveTo(mark, QPoint(90, 90));
    release(mark, QPoint(90, 90));
    QCOMPARE(mark->geometry(), QRect(100, 100, 50, 40));
    QCOMPARE(QRect(mark->X, mark->Y, mark->Width, mark->Height), QRect(100, 100, 50, 40));
}

void SectionInteractionTest::resize_data()
{
    QTest::addColumn<float>("zoom");
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<QSize>("widget");
    QTest::addColumn<QSize>("field");

    // Press at (97, 77) on a 100 x 80 widget: the corner stays 3 px away.
    QTest::newRow("zoom 1") << 1.0f << QPoint(150, 120) << QSize(153, 123) << QSize(153, 123);
    QTest::newRow("zoom 2 rounds half up") << 2.0f << QPoint(150, 120) << QSize(153, 123) << QSize(77, 62);
    QTest::newRow("pointer at x 10 changes nothing") << 1.0f << QPoint(10, 50) << QSize(100, 80) << QSize(50, 40);
    QTest::newRow("pointer at y 10 changes nothing") << 1.0f << QPoint(50, 10) << QSize(100, 80) << QSize(50, 40);
    QTest::newRow("shrinks above 10") << 1.0f << QPoint(11, 11) << QSize(14, 14) << QSize(14, 14);
}

void SectionInteractionTest::resize()
{
    QFETCH(float, zoom);
    QFETCH(QPoint, pointer);
    QFETCH(QSize, widget);
    QFETCH(QSize, field);

    host->scale = zoom;
    auto *code = new MySectionCode(1, host.get(), 6, 0, 20, 10);
    code->setGeometry(0, 0, 100, 80);
    code->Width = 50;
    code->Height = 40;
    code->setLock(false);
    press(code, QPoint(97, 77));
    QVERIFY(code->resizing);
    QCOMPARE(code->resizeOffset, QPoint(-3, -3));
    moveTo(code, pointer);
    QCOMPARE(code->size(), widget);
    QCOMPARE(QSize(code->Width, code->Height), field);
    release(code, pointer);
    QVERIFY(!code->resizing);
}

void SectionInteractionTest::lockedBlockDragsSelection()
{
    auto *block = place(*host, new MySectionObject(1, host.get(), 1, 5, 0, 4, 20, 10), QRect(100, 100, 200, 90));
    SectionTest::drag(block, QPoint(10, 10), QPoint(20, 15));
    QVERIFY(host->selectionShown);
    QCOMPARE(host->selection, QRect(120, 115, 200, 90));
    QCOMPARE(block->geometry(), QRect(100, 100, 200, 90));

    auto *optional = place(*host, new MySectionObjectOptional(1, host.get(), 23, 1, 5, 0, 4, 20, 10),
                           QRect(400, 300, 200, 90));
    SectionTest::drag(optional, QPoint(5, 5), QPoint(-10, 30));
    QCOMPARE(host->selection, QRect(390, 330, 200, 90));
    QCOMPARE(optional->pos(), QPoint(400, 300));
}

void SectionInteractionTest::unlockedBlockMovesItself()
{
    auto *block = place(*host, new MySectionObject(1, host.get(), 1, 5, 0, 4, 20, 10), QRect(100, 100, 200, 90));
    block->setLock(false);
    SectionTest::drag(block, QPoint(10, 10), QPoint(20, 15));
    QVERIFY(!host->selectionShown);
    QCOMPARE(block->pos(), QPoint(120, 115));
    QCOMPARE(QPoint(block->X, block->Y), QPoint(120, 115));
}

void SectionInteractionTest::contextMenuEntries()
{
    MySectionAbsentMark mark(1, host.get());
    std::unique_ptr<QMenu> menu(mark.buildContextMenu());
    QCOMPARE(menu->title(), QStringLiteral("this is title"));
    QStringList texts;
    for (QAction *a : menu->actions()) {
        texts << a->text();
        QVERIFY2(!a->icon().pixmap(16).isNull(), qPrintable(a->text()));
        QVERIFY(a->shortcut().isEmpty());
    }
    QCOMPARE(texts, (QStringList{"当前状态：锁定", "解锁(&U)", "信息(&I)", "不可见(&H)", "删除(&D)"}));
    QVERIFY(!menu->actions().at(0)->isEnabled());
    for (int i = 1; i < 5; ++i)
        QVERIFY(menu->actions().at(i)->isEnabled());

    mark.setLock(false);
    menu.reset(mark.buildContextMenu());
    QCOMPARE(menu->actions().at(0)->text(), QStringLiteral("当前状态：未锁定"));
    QCOMPARE(menu->actions().at(1)->text(), QStringLiteral("锁定(&L)"));

    ObjectAbnormalOption bubble(1, 12, 0, nullptr, host.get());
    QVERIFY(!bubble.buildContextMenu());
}

void SectionInteractionTest::rightPressOpensMenu()
{
    auto *mark = place(*host, new MySectionAbsentMark(1, host.get()), QRect(10, 10, 50, 40));
    const QStringList texts = WidgetTest::popupTexts([&] { press(mark, QPoint(5, 5), Qt::RightButton); });
    QCOMPARE(texts, (QStringList{"当前状态：锁定", "解锁(&U)", "信息(&I)", "不可见(&H)", "删除(&D)"}));

    MySectionObjectAbnormal question(1, host.get(), false, 0, 12, 4);
    auto *bubble = place(*host, new ObjectAbnormalOption(1, 12, 0, &question, host.get()), QRect(100, 100, 30, 20));
    QVERIFY(WidgetTest::popupTexts([&] { press(bubble, QPoint(5, 5), Qt::RightButton); }).isEmpty());
}

void SectionInteractionTest::unlockRefusal_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("anchor A") << 0 << "定位点设置后不可进行任何更改";
    QTest::newRow("anchor B") << 1 << "定位点设置后不可进行任何更改";
    QTest::newRow("printed-text anchor") << 2 << "印刷体文字定位点设置后不可进行任何更改";
    QTest::newRow("corner check") << 3 << "边角检测设置后不可进行任何更改";
}

void SectionInteractionTest::unlockRefusal()
{
    QFETCH(int, kind);
    QFETCH(QString, text);
    std::unique_ptr<MySectionBase> section;
    switch (kind) {
    case 0: section = std::make_unique<MySectionAnchorPointA>(1, host.get()); break;
    case 1: section = std::make_unique<MySectionAnchorPointB>(1, host.get()); break;
    case 2: section = std::make_unique<MySectionPrintTextAnchor>(1, host.get()); break;
    default: section = std::make_unique<MySectionCornerCheck>(1, host.get()); break;
    }
    choose(section.get(), "解锁(&U)");
    QVERIFY(section->locked);
    QCOMPARE(host->boxes.size(), 1);
    QCOMPARE(host->boxes[0].title, QStringLiteral("提示"));
    QCOMPARE(host->boxes[0].text, text);
    QCOMPARE(host->boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(host->boxes[0].parent, static_cast<QWidget *>(section.get()));
    std::unique_ptr<QMenu> menu(section->buildContextMenu());
    QCOMPARE(menu->actions().at(0)->text(), QStringLiteral("当前状态：锁定"));
}

void SectionInteractionTest::lockAndUnlock()
{
    MySectionCode code(1, host.get());
    choose(&code, "解锁(&U)");
    QVERIFY(!code.locked);
    choose(&code, "锁定(&L)");
    QVERIFY(code.locked);
    QVERIFY(host->boxes.isEmpty());
}

void SectionInteractionTest::deleteAsksFirst()
{
    QTreeWidget tree;
    auto *pageItem = new QTreeWidgetItem(&tree, QStringList{"第1页"});
    QPointer<MySectionBase> mark = place(*host, new MySectionAbsentMark(1, host.get()), QRect(10, 10, 50, 40));
    mark->treeItem = new QTreeWidgetItem(pageItem, QStringList{mark->sectionName()});

    host->answers = {QMessageBox::No};
    choose(mark, "删除(&D)");
    flushDeletes();
    QVERIFY(mark);
    QCOMPARE(host->boxes.size(), 1);
    const TestSectionHost::Box box = host->boxes[0];
    QCOMPARE(box.icon, QMessageBox::Question);
    QCOMPARE(box.title, QStringLiteral("提示"));
    QCOMPARE(box.text, QStringLiteral("确认删除吗？"));
    QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.defaultButton, QMessageBox::No);
    QCOMPARE(box.parent, static_cast<QWidget *>(mark.data()));

    host->answers = {QMessageBox::Yes};
    choose(mark, "删除(&D)");
    QVERIFY(mark);   // not inside the menu's own handler
    flushDeletes();
    QVERIFY(!mark);
    QVERIFY(host->sections.isEmpty());
    QCOMPARE(pageItem->childCount(), 0);
}

void SectionInteractionTest::hideStaysHiddenAcrossPages()
{
    auto *mark = place(*host, new MySectionAbsentMark(1, host.get()), QRect(10, 10, 50, 40));
    auto *other = place(*host, new MySectionCode(2, host.get()), QRect(10, 100, 50, 40));
    showPage(*host, 1);
    QVERIFY(mark->isVisible());
    QVERIFY(!other->isVisible());

    choose(mark, "不可见(&H)");
    QVERIFY(mark->hidden);
    QVERIFY(!mark->isVisible());
    showPage(*host, 2);
    QVERIFY(other->isVisible());
    showPage(*host, 1);
    QVERIFY(!mark->isVisible());

    mark->setHide(false);   // the page tree's "可见(&S)"
    showPage(*host, 1);
    QVERIFY(mark->isVisible());
}

void SectionInteractionTest::subjectShownOnItsOwnPage()
{
    auto *block = place(*host, new MySectionSubject(2, host.get()), QRect(10, 10, 300, 100));
    block->subjectPage = 3;
    showPage(*host, 2);
    QVERIFY(!block->isVisible());
    showPage(*host, 3);
    QVERIFY(block->isVisible());
}

void SectionInteractionTest::enterAndLeaveShowName()
{
    auto *corner = place(*host, new MySectionCornerCheck(1, host.get()), QRect(10, 10, 50, 40));
    corner->Name = QStringLiteral("左上");
    enter(corner);
    QCOMPARE(host->names.last(), QStringLiteral("边角检测 左上"));
    QCOMPARE(corner->cursor().shape(), Qt::SizeAllCursor);
    leave(corner);
    QCOMPARE(host->names.last(), QString());
    QCOMPARE(corner->cursor().shape(), Qt::ArrowCursor);
}

void SectionInteractionTest::destructorLeavesListAndTree()
{
    QTreeWidget tree;
    auto *pageItem = new QTreeWidgetItem(&tree, QStringList{"第1页"});
    auto *keep = place(*host, new MySectionAbsentMark(1, host.get()), QRect(0, 0, 10, 10));
    auto *gone = place(*host, new MySectionSubject(host.get(), 1, 1), QRect(0, 0, 10, 10));
    host->sections.append(gone);   // listed twice: both entries go
    gone->treeItem = new QTreeWidgetItem(pageItem, QStringList{gone->sectionName()});
    delete gone;
    QCOMPARE(host->sections, (QList<MySectionBase *>{keep}));
    QCOMPARE(pageItem->childCount(), 0);
}

void SectionInteractionTest::editDialogsRenameTreeItem()
{
    QTreeWidget tree;
    auto *pageItem = new QTreeWidgetItem(&tree, QStringList{"第1页"});
    auto withItem = [&](MySectionBase *s) {
        s->treeItem = new QTreeWidgetItem(pageItem, QStringList{s->sectionName()});
        return s;
    };

    // Subjective block: preloaded, then taken back on OK only.
    auto *subject = new MySectionSubject(host.get(), 1, 2);
    withItem(subject);
    host->onEditSubject = [](int &p, int &block) {
        if (p != 1 || block != 2)
            return false;
        p = 3;
        block = 4;
        return true;
    };
    subject->showInfo();
    QCOMPARE(subject->subjectPage, 3);
    QCOMPARE(subject->SubjectSectionID, 4);
    QCOMPARE(subject->treeItem->text(0), QStringLiteral("主观题 3-4"));
    host->onEditSubject = [](int &p, int &block) {
        p = 9;
        block = 9;
        return false;
    };
    subject->showInfo();
    QCOMPARE(subject->subjectPage, 3);
    QCOMPARE(subject->treeItem->text(0), QStringLiteral("主观题 3-4"));

    auto *optionalSubject = new MySectionSubjectOptional(host.get(), 2, 3, 23);
    withItem(optionalSubject);
    host->onEditSubjectOptional = [](int &optional, int &p, int &block) {
        if (optional != 23 || p != 2 || block != 3)
            return false;
        optional = 24;
        p = 1;
        block = 5;
        return true;
    };
    optionalSubject->showInfo();
    QCOMPARE(optionalSubject->page, 1);
    QCOMPARE(optionalSubject->treeItem->text(0), QStringLiteral("备选题 24 主观题 1-5"));

    auto *group = new MySectionOptionalItem(1, host.get());
    group->Items = QStringList{"22", "23"};
    group->DefaultItem = "22";
    withItem(group);
    host->onEditOptionalItem = [](QStringList &items, QString &defaultItem) {
        if (items != QStringList{"22", "23"} || defaultItem != "22")
            return false;
        items << "24";
        defaultItem = "24";
        return true;
    };
    group->showInfo();
    QCOMPARE(group->DefaultItem, QStringLiteral("24"));
    QCOMPARE(group->treeItem->text(0), QStringLiteral("选做题备选题题号 22,23,24"));
    QVERIFY(host->boxes.isEmpty());
    // The sections go before the tree that holds their items.
    delete subject;
    delete optionalSubject;
    delete group;
    QCOMPARE(pageItem->childCount(), 0);
}

// A section on a plain widget has no list, zoom or page, and must not care.
void SectionInteractionTest::withoutCanvas()
{
    QWidget plain;
    plain.resize(400, 400);
    plain.show();
    auto *question = new MySectionObjectAbnormal(1, &plain, false, 0, 12, 2);
    question->setGeometry(10, 10, 200, 100);
    auto *bubble = new ObjectAbnormalOption(1, 12, 0, question, &plain);
    bubble->setGeometry(20, 20, 30, 20);
    question->options.append(bubble);
    QCOMPARE(question->zoom(), 1.0f);
    QCOMPARE(question->currentPage(), -1);
    QVERIFY(!question->host());

    question->setLock(false);
    enter(question);
    SectionTest::drag(question, QPoint(5, 5), QPoint(10, 10));
    leave(question);
    enter(bubble);
    key(bubble, Qt::Key_Right);
    leave(bubble);
    question->setHide(true);
    question->setHide(false);
    rendered(question);
    QVERIFY(!question->isVisible());   // no page is shown without a canvas

    auto *subject = new MySectionSubject(1, &plain);
    subject->showInfo();   // no dialog to reopen
    QCOMPARE(subject->SubjectSectionID, 0);
    delete question;
    delete subject;
}

QTEST_MAIN(SectionInteractionTest)
#include "sectioninteraction_test.moc"
