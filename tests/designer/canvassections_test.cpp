// The canvas with section widgets on it: zoomed placement, showing them with
// a page, the refusal to turn a page that holds one, and tearing down a
// window whose canvas still carries sections.

#include "canvasfixture.h"
#include "messagebox.h"
#include "omrresources.h"
#include "questionsections.h"
#include "treeitems.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class CanvasSectionsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void relayoutPlacesSectionsAtTheZoom_data();
    void relayoutPlacesSectionsAtTheZoom();
    void loadingAPageShowsEverySection();
    void rotationRefusedWhileThePageHoldsASection();
    void windowWithSectionsClosesCleanly();

private:
    // A subjective block on `page` at page pixels `area`, listed on the canvas
    // and given an item under the page's tree item when there is one.
    MySectionSubject *addBlock(int page, const QRect &area);

    std::unique_ptr<CanvasScene> scene_;
    QTemporaryDir *dir_ = nullptr;
    RecordingWindow *window_ = nullptr;
    MyLabel *canvas_ = nullptr;
};

void CanvasSectionsTest::initTestCase()
{
    initOmrResources();
}

void CanvasSectionsTest::init()
{
    scene_ = std::make_unique<CanvasScene>();
    QVERIFY(scene_->dir.isValid());
    dir_ = &scene_->dir;
    window_ = &scene_->window;
    canvas_ = scene_->canvas;
}

void CanvasSectionsTest::cleanup()
{
    scene_.reset();
}

MySectionSubject *CanvasSectionsTest::addBlock(int page, const QRect &area)
{
    auto *block = new MySectionSubject(canvas_, page, canvas_->sectionList().size() + 1);
    block->X = area.x();
    block->Y = area.y();
    block->Width = area.width();
    block->Height = area.height();
    block->setGeometry(area);
    canvas_->sectionList().append(block);
    if (QTreeWidgetItem *pageItem = window_->tree->topLevelItem(page - 1)) {
        block->treeItem = new QTreeWidgetItem(pageItem, {block->sectionName()});
        block->treeItem->setData(0, TreeItemDataRole, QVariant::fromValue<QObject *>(block));
    }
    return block;
}

void CanvasSectionsTest::relayoutPlacesSectionsAtTheZoom_data()
{
    QTest::addColumn<QSize>("fitBox");
    QTest::addColumn<QRect>("expected");

    // Page 1000 x 500, block at (101, 33) size 57 x 19 page pixels.
    QTest::newRow("0.5: halves round up") << QSize(500, 250) << QRect(51, 17, 29, 10);
    QTest::newRow("2.0") << QSize(2000, 1000) << QRect(202, 66, 114, 38);
    QTest::newRow("0.3") << QSize(300, 150) << QRect(30, 10, 17, 6);
    QTest::newRow("1.0") << QSize(1000, 500) << QRect(101, 33, 57, 19);
}

void CanvasSectionsTest::relayoutPlacesSectionsAtTheZoom()
{
    QFETCH(QSize, fitBox);
    QFETCH(QRect, expected);

    canvas_->loadImage(scene_->writePage(QStringLiteral("page.png"), 1000, 500), 1);
    MySectionSubject *block = addBlock(1, QRect(101, 33, 57, 19));
    MySectionSubject *other = addBlock(2, QRect(0, 0, 10, 10));
    canvas_->fitToSize(fitBox.width(), fitBox.height());
    QCOMPARE(block->geometry(), expected);
    QCOMPARE(QRect(block->X, block->Y, block->Width, block->Height), QRect(101, 33, 57, 19));
    QCOMPARE(other->size(), QSize(qRound(10 * canvas_->scale), qRound(10 * canvas_->scale)));

    // Zoom steps relay too; back at full size everything is where it began.
    canvas_->zoomIn();
    QCOMPARE(block->x(), qRound(101.0f * canvas_->scale));
    canvas_->showFullSize();
    QCOMPARE(block->geometry(), QRect(101, 33, 57, 19));
}

void CanvasSectionsTest::loadingAPageShowsEverySection()
{
    const QString first = scene_->writePage(QStringLiteral("p1.png"), 300, 200);
    const QString second = scene_->writePage(QStringLiteral("p2.png"), 300, 200);
    MySectionSubject *onFirst = addBlock(1, QRect(10, 10, 40, 40));
    MySectionSubject *onSecond = addBlock(2, QRect(10, 10, 40, 40));
    onFirst->hide();
    onSecond->hide();

    canvas_->loadImage(first, 1);
    QVERIFY(!onFirst->isHidden());
    QVERIFY(!onSecond->isHidden());
    // Each section then keeps itself to the page shown.
    QTRY_VERIFY(onSecond->isHidden());
    QVERIFY(onFirst->isVisible());

    window_->page = 2;
    canvas_->loadImage(second, 2);
    QTRY_VERIFY(onFirst->isHidden());
    QVERIFY(onSecond->isVisible());

    // A failed load still keeps each section to the page shown.
    MessageBoxRecorder boxes;
    canvas_->loadImage(dir_->filePath(QStringLiteral("missing.png")), 2);
    QCOMPARE(boxes.count(), 1);
    QTRY_VERIFY(onFirst->isHidden());
    QVERIFY(onSecond->isVisible());
}

void CanvasSectionsTest::rotationRefusedWhileThePageHoldsASection()
{
    const QString path = scene_->writePage(QStringLiteral("page.png"), 30, 20);
    canvas_->loadImage(path, 1);
    MySectionSubject *block = addBlock(1, QRect(1, 1, 5, 5));
    addBlock(2, QRect(1, 1, 5, 5));

    MessageBoxRecorder boxes;
    for (int code = 0; code <= 2; ++code) {
        canvas_->rotatePage(code);
        QCOMPARE(boxes.count(), code + 1);
        QCOMPARE(boxes.last().title, QStringLiteral("提示"));
        QCOMPARE(boxes.last().text, QStringLiteral("当前页已经添加元素了，无法进行旋转操作了。"));
        QCOMPARE(boxes.last().icon, QMessageBox::Warning);
        QCOMPARE(canvas_->fullImage.size(), QSize(30, 20));
    }

    // A section of another page does not hold the turn back.
    delete block;
    QCOMPARE(canvas_->sectionList().size(), 1);
    boxes.clear();
    canvas_->rotatePage(0);
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(canvas_->fullImage.size(), QSize(20, 30));
}

void CanvasSectionsTest::windowWithSectionsClosesCleanly()
{
    // The page tree is destroyed before the canvas view, as in the designer.
    auto *pageItem = new QTreeWidgetItem(window_->tree, {QStringLiteral("第1页")});
    pageItem->setData(0, TreeItemDataRole, QVariant::fromValue(TreeItemPage{1, QString()}));
    auto *question = new MySectionObjectAbnormal(1, canvas_, false, 0, 3, 4);
    question->X = 5;
    question->Width = 50;
    question->Height = 20;
    canvas_->sectionList().append(question);
    question->treeItem = new QTreeWidgetItem(pageItem, {question->sectionName()});
    for (int i = 0; i < 4; ++i) {
        auto *bubble = new ObjectAbnormalOption(1, 3, i, question, canvas_);
        question->options.append(bubble);
        canvas_->sectionList().append(bubble);
    }
    addBlock(1, QRect(0, 30, 20, 20));
    QPointer<QWidget> watched = question;

    scene_.reset();
    QVERIFY(watched.isNull());
}

QTEST_MAIN(CanvasSectionsTest)
#include "canvassections_test.moc"
