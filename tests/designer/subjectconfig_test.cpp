// The subjective scoring configuration: the block tree of the template, the
// block groups ticked and their picture, the question form's checks, the
// deletions, and the save that asks for it.

#include "designertestutil.h"
#include "dialogsubjectconfig.h"
#include "dialogsubjectconfigtip.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "mytreewidget.h"
#include "sheetrenderer.h"
#include "templateformat.h"
#include "widgettestutil.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTreeWidget>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>

using DesignerTest::child;

namespace {

SubjectItemRow row(const QString &id, const QString &alias, const QString &score, const QString &marks,
                   const QString &margin, const QString &pages, const QString &sections)
{
    return SubjectItemRow{id, alias, score, marks, margin, pages, sections};
}

// A two-page template from the sheet renderer, open in the designer: page 1
// holds subjective block 1, page 2 blocks 1 and 2 and the optional blocks 5
// and 6.
struct Scene {
    // Without the scoring step unless asked: a save then asks nothing.
    explicit Scene(bool scoringStep = false)
        : spec(SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 2, 150))
        , renderer(spec)
    {
        ok = DesignerTest::writeRendered(renderer, dir.path(), &rendered);
        if (!scoringStep)
            window.subjectConfigStep = nullptr;
        window.loadTemplate(spec.name, rendered.pages, true, rendered.file);
    }

    QTemporaryDir dir;
    SheetSpec spec;
    SheetRenderer renderer;
    DesignerTest::RenderedTemplate rendered;
    bool ok = false;
    MainWindow window;
};

// The editor over a scene, with its form's widgets at hand.
struct Editor {
    explicit Editor(Scene &scene, const QVector<SubjectItemRow> &rows = {})
        : dialog(&scene.window)
    {
        dialog.rows = rows;
        dialog.show();
        tree = child<QTreeWidget>(&dialog, "treeWidget");
        table = child<QTableWidget>(&dialog, "tableWidget");
        alias = child<QTextEdit>(&dialog, "textEditItemAlias");
        score = child<QComboBox>(&dialog, "comboBoxScore");
        markCount = child<QComboBox>(&dialog, "comboBoxMarkCount");
        margin = child<QLineEdit>(&dialog, "lineEditErrorMargin");
        itemPages = child<QLineEdit>(&dialog, "lineEditItemPageID");
        itemSections = child<QLineEdit>(&dialog, "lineEditItemSectionID");
        pages = child<QLineEdit>(&dialog, "lineEditPageID");
        sections = child<QLineEdit>(&dialog, "lineEditSectionID");
        count = child<QLineEdit>(&dialog, "lineEditItemCount");
        total = child<QLineEdit>(&dialog, "lineEditTotalScore");
        picture = child<MyLabelForSubjectConfig>(&dialog, "labelImage");
    }

    QTreeWidgetItem *block(int page, int section) const
    {
        for (int p = 0; p < tree->topLevelItemCount(); ++p) {
            for (int c = 0; c < tree->topLevelItem(p)->childCount(); ++c) {
                QTreeWidgetItem *item = tree->topLevelItem(p)->child(c);
                const auto d = item->data(0, SubjectConfigDataRole).value<TreeItemDataForSubjectConfig>();
                if (d.page == page && d.section == section)
                    return item;
            }
        }
        qFatal("no block %d-%d", page, section);
        return nullptr;
    }
    void tick(int page, int section, Qt::CheckState state = Qt::Checked)
    {
        block(page, section)->setCheckState(0, state);
    }
    void fill(const QString &name, const QString &scoreText, const QString &marks, const QString &marginText)
    {
        alias->setPlainText(name);
        score->setCurrentText(scoreText);
        markCount->setCurrentText(marks);
        margin->setText(marginText);
    }
    QStringList column(int c) const
    {
        QStringList texts;
        for (int r = 0; r < table->rowCount(); ++r)
            texts << table->item(r, c)->text();
        return texts;
    }

    DialogSubjectConfig dialog;
    QTreeWidget *tree;
    QTableWidget *table;
    QTextEdit *alias;
    QComboBox *score, *markCount;
    QLineEdit *margin, *itemPages, *itemSections, *pages, *sections, *count, *total;
    MyLabelForSubjectConfig *picture;
};

} // namespace

class SubjectConfigTest : public QObject {
    Q_OBJECT
private slots:
    void blockTree();
    void tickedGroupAndPicture();
    void pictureOfUnreadablePage();
    void addQuestionChecks_data();
    void addQuestionChecks();
    void untickDeletesQuestionsOfBlock();
    void resetStartsOver();
    void deletions();
    void totalsAndRowsRoundTrip();
    void pictureZoom();
    void saveRunsConfiguration();
};

void SubjectConfigTest::blockTree()
{
    Scene scene;
    QVERIFY(scene.ok);
    Editor e(scene);

    QCOMPARE(e.tree->headerItem()->text(0), scene.spec.name);
    QCOMPARE(e.tree->topLevelItemCount(), 2);
    QCOMPARE(e.tree->topLevelItem(0)->text(0), QStringLiteral("第1页"));
    QCOMPARE(e.tree->topLevelItem(1)->text(0), QStringLiteral("第2页"));
    // Exactly the subjective blocks, plain and optional, each with its place.
    int blocks = 0;
    for (const SheetSpec::SubjectBlock &b : scene.spec.subjectBlocks) {
        QTreeWidgetItem *item = e.block(b.page, b.sectionId);
        QCOMPARE(item->parent(), e.tree->topLevelItem(b.page - 1));
        QCOMPARE(item->data(0, SubjectConfigDataRole).value<TreeItemDataForSubjectConfig>().rect, b.rect);
        QCOMPARE(item->checkState(0), Qt::Unchecked);
        QVERIFY(item->flags() & Qt::ItemIsUserCheckable);
        QVERIFY(item->isExpanded() || item->parent()->isExpanded());
        ++blocks;
    }
    QCOMPARE(e.tree->topLevelItem(0)->childCount() + e.tree->topLevelItem(1)->childCount(), blocks);
    QCOMPARE(e.block(2, 1)->text(0), QStringLiteral("主观题 2-1"));
}

void SubjectConfigTest::tickedGroupAndPicture()
{
    Scene scene;
    QVERIFY(scene.ok);
    Editor e(scene);

    e.tick(2, 5);
    e.tick(1, 1);
    e.tick(2, 5);       // ticked twice: one entry
    QCOMPARE(e.pages->text(), QStringLiteral("2,1"));
    QCOMPARE(e.sections->text(), QStringLiteral("5,1"));
    QCOMPARE(e.dialog.tickedBlocks.size(), 2);

    child<QPushButton>(&e.dialog, "pushButtonPageSectionAdd")->click();
    QCOMPARE(e.itemPages->text(), QStringLiteral("2,1"));
    QCOMPARE(e.itemSections->text(), QStringLiteral("5,1"));
    QVERIFY(e.pages->text().isEmpty());
    QVERIFY(e.sections->text().isEmpty());
    QVERIFY(e.dialog.tickedBlocks.isEmpty());
    QCOMPARE(e.block(2, 5)->checkState(0), Qt::Checked);

    // Block 5 of page 2 above block 1 of page 1, left aligned on white as
    // wide as the wider block.
    const QRect top = scene.spec.subjectBlock(2, 5)->rect;
    const QRect bottom = scene.spec.subjectBlock(1, 1)->rect;
    QVERIFY(top.width() < bottom.width());
    const cv::Mat page1 = cv::imread(QFile::encodeName(scene.rendered.pages.at(0)).toStdString(), cv::IMREAD_COLOR);
    const cv::Mat page2 = cv::imread(QFile::encodeName(scene.rendered.pages.at(1)).toStdString(), cv::IMREAD_COLOR);
    cv::Mat expected(top.height() + bottom.height(), bottom.width(), CV_8UC3, cv::Scalar(255, 255, 255));
    page2(cv::Rect(top.x(), top.y(), top.width(), top.height()))
        .copyTo(expected(cv::Rect(0, 0, top.width(), top.height())));
    page1(cv::Rect(bottom.x(), bottom.y(), bottom.width(), bottom.height()))
        .copyTo(expected(cv::Rect(0, top.height(), bottom.width(), bottom.height())));
    const cv::Mat &shown = e.picture->image;
    QCOMPARE(shown.size(), expected.size());
    QCOMPARE(cv::norm(shown, expected, cv::NORM_INF), 0.0);
    QVERIFY(!e.picture->fullImage.isNull());
    QCOMPARE(e.picture->fullImage.size(), QSize(bottom.width(), top.height() + bottom.height()));

    // Nothing ticked any more: the button does nothing.
    e.itemPages->setText(QStringLiteral("kept"));
    child<QPushButton>(&e.dialog, "pushButtonPageSectionAdd")->click();
    QCOMPARE(e.itemPages->text(), QStringLiteral("kept"));
}

void SubjectConfigTest::pictureOfUnreadablePage()
{
    Scene scene;
    QVERIFY(scene.ok);
    Editor e(scene);
    QVERIFY(QFile::remove(scene.rendered.pages.at(1)));
    MessageBoxRecorder boxes;
    e.tick(2, 1);
    e.tick(1, 1);
    child<QPushButton>(&e.dialog, "pushButtonPageSectionAdd")->click();

    // The group is taken; the picture shows what can be read, the rest white.
    QCOMPARE(e.itemPages->text(), QStringLiteral("2,1"));
    QCOMPARE(boxes.count(), 1);
    QVERIFY2(boxes.last().text.contains(QStringLiteral("第2页的图片无法读取")), qPrintable(boxes.last().text));
    const QRect top = scene.spec.subjectBlock(2, 1)->rect;
    const cv::Mat &shown = e.picture->image;
    QCOMPARE(shown.rows, top.height() + scene.spec.subjectBlock(1, 1)->rect.height());
    QCOMPARE(cv::countNonZero(shown(cv::Rect(0, 0, top.width(), top.height())).reshape(1) != 255), 0);
    QVERIFY(cv::countNonZero(shown.rowRange(top.height(), shown.rows).reshape(1) != 255) > 0);
}

void SubjectConfigTest::addQuestionChecks_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("score");
    QTest::addColumn<QString>("marks");
    QTest::addColumn<QString>("margin");
    QTest::addColumn<QString>("pages");
    QTest::addColumn<QString>("sections");
    QTest::addColumn<int>("answer");        // to the mark-count question
    QTest::addColumn<QStringList>("boxes"); // texts of the boxes shown
    QTest::addColumn<bool>("added");

    const QString twoMarkers = QStringLiteral("确定 评分次数为 2 且 允许误差值 为 0 吗？\n通常情况下 允许误差值 大于 0。");
    const int none = int(QMessageBox::NoButton);
    // The table holds "作文" (1,1 with two markers) and "Essay".
    QTest::newRow("accepted") << "阅读" << "10" << "2" << "3" << "1" << "1" << none << QStringList() << true;
    QTest::newRow("empty name") << "" << "10" << "2" << "3" << "1" << "1" << none
                                << QStringList{QStringLiteral("题目名称不能为空！")} << false;
    QTest::newRow("name taken") << "Essay" << "10" << "2" << "3" << "1" << "1" << none
                                << QStringList{QStringLiteral("题名 Essay 已存在，行 2")} << false;
    QTest::newRow("name differing by case") << "essay" << "10" << "2" << "3" << "1" << "1" << none << QStringList()
                                            << true;
    QTest::newRow("margin equal to score") << "阅读" << "3" << "2" << "3" << "1" << "1" << none
                                           << QStringList{QStringLiteral("允许误差值 不能大于等于 题目分值")} << false;
    QTest::newRow("one marker, score 0.5") << "选择" << "0.5" << "1" << "0" << "2" << "1" << none << QStringList()
                                           << true;
    QTest::newRow("one marker, empty score") << "选择" << "" << "1" << "0" << "2" << "1" << none
                                             << QStringList{QStringLiteral("允许误差值 不能大于等于 题目分值")} << false;
    QTest::newRow("no pages") << "阅读" << "10" << "1" << "0" << "" << "" << none
                              << QStringList{QStringLiteral("所属页号 不能为空")} << false;
    QTest::newRow("no blocks") << "阅读" << "10" << "1" << "0" << "1" << "" << none
                               << QStringList{QStringLiteral("所属块号 不能为空")} << false;
    QTest::newRow("same group, other marker count")
        << "阅读" << "10" << "1" << "0" << "1" << "1" << none
        << QStringList{QStringLiteral("同一个（组）页块上的题目评分次数必须相同。\n页号：1\n块号：1")} << false;
    QTest::newRow("other group, other marker count") << "阅读" << "10" << "1" << "0" << "1,2" << "1,1" << none
                                                     << QStringList() << true;
    QTest::newRow("two markers no margin, change it") << "阅读" << "10" << "2" << "0" << "1" << "1"
                                                      << int(QMessageBox::No) << QStringList{twoMarkers} << false;
    QTest::newRow("two markers no margin, confirmed") << "阅读" << "10" << "2" << "0" << "1" << "1"
                                                      << int(QMessageBox::Yes) << QStringList{twoMarkers} << true;
    QTest::newRow("two markers no margin, confirmed, no score")
        << "阅读" << "0" << "2" << "0" << "1" << "1" << int(QMessageBox::Yes)
        << QStringList{twoMarkers, QStringLiteral("允许误差值 不能大于等于 题目分值")} << false;
}

void SubjectConfigTest::addQuestionChecks()
{
    QFETCH(QString, name);
    QFETCH(QString, score);
    QFETCH(QString, marks);
    QFETCH(QString, margin);
    QFETCH(QString, pages);
    QFETCH(QString, sections);
    QFETCH(int, answer);
    QFETCH(QStringList, boxes);
    QFETCH(bool, added);

    Scene scene;
    QVERIFY(scene.ok);
    Editor e(scene, {row("1", "作文", "20", "2", "5", "1", "1"), row("2", "Essay", "8", "1", "0", "2", "1")});
    QCOMPARE(e.table->rowCount(), 2);
    e.fill(name, score, marks, margin);
    e.itemPages->setText(pages);
    e.itemSections->setText(sections);

    MessageBoxRecorder recorder;
    if (answer != int(QMessageBox::NoButton))
        recorder.queueAnswer(QMessageBox::StandardButton(answer));
    child<QPushButton>(&e.dialog, "pushButtonItemAdd")->click();

    QStringList texts;
    for (const MessageBoxSpec &box : recorder.boxes()) {
        texts << box.text;
        QCOMPARE(box.title, QStringLiteral("提示"));
    }
    QCOMPARE(texts, boxes);
    if (!boxes.isEmpty() && boxes.first().startsWith(QStringLiteral("确定 评分次数"))) {
        const MessageBoxSpec &q = recorder.boxes().first();
        QCOMPARE(q.icon, QMessageBox::Question);
        QCOMPARE(q.buttonText(QMessageBox::Yes), QStringLiteral("确定"));
        QCOMPARE(q.buttonText(QMessageBox::No), QStringLiteral("修改"));
        QCOMPARE(q.defaultButton, QMessageBox::No);
        if (!added && boxes.size() == 1)
            QCOMPARE(e.dialog.focusWidget(), e.margin);
    }
    QCOMPARE(e.table->rowCount(), added ? 3 : 2);
    if (added) {
        QCOMPARE(e.table->item(2, 0)->text(), name);
        QCOMPARE(e.table->item(2, 1)->text(), score);
        QCOMPARE(e.table->item(2, 2)->text(), marks);
        QCOMPARE(e.table->item(2, 3)->text(), margin);
        QCOMPARE(e.table->item(2, 4)->text(), pages);
        QCOMPARE(e.table->item(2, 5)->text(), sections);
        QCOMPARE(e.count->text(), QStringLiteral("3"));
        // The form keeps its values for the next question of the group.
        QCOMPARE(e.alias->toPlainText(), name);
        QCOMPARE(e.itemPages->text(), pages);
    } else {
        QCOMPARE(e.count->text(), QStringLiteral("2"));
    }
}

void SubjectConfigTest::untickDeletesQuestionsOfBlock()
{
    Scene scene;
    QVERIFY(scene.ok);
    // Block 1 of page 2 alone, and in a group with block 2; block 2 alone;
    // a row from a file whose lists differ in length.
    Editor e(scene, {row("1", "甲", "5", "1", "0", "2", "1"), row("2", "乙", "5", "2", "1", "2,2", "2,1"),
                     row("3", "丙", "5", "1", "0", "2", "2"), row("4", "丁", "5", "1", "0", "2,2", "2")});
    e.tick(2, 1);
    e.tick(2, 2);
    QCOMPARE(e.dialog.tickedBlocks.size(), 2);

    MessageBoxRecorder boxes;
    boxes.queueAnswer(QMessageBox::No);
    e.tick(2, 1, Qt::Unchecked);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().text, QStringLiteral("确定取消当前页块的相关主观题题目设置吗？"));
    QCOMPARE(boxes.last().buttons, QMessageBox::StandardButtons(QMessageBox::Yes | QMessageBox::No));
    QCOMPARE(boxes.last().defaultButton, QMessageBox::NoButton);
    QCOMPARE(e.block(2, 1)->checkState(0), Qt::Checked);
    QCOMPARE(e.table->rowCount(), 4);
    QCOMPARE(e.dialog.tickedBlocks.size(), 2);

    boxes.queueAnswer(QMessageBox::Yes);
    e.tick(2, 1, Qt::Unchecked);
    QCOMPARE(e.column(0), (QStringList{QStringLiteral("丙"), QStringLiteral("丁")}));
    QCOMPARE(e.count->text(), QStringLiteral("2"));
    QCOMPARE(e.pages->text(), QStringLiteral("2"));
    QCOMPARE(e.sections->text(), QStringLiteral("2"));

    // The shorter list of "丁" pairs page 2 with block 2 only.
    boxes.queueAnswer(QMessageBox::Yes);
    e.tick(2, 2, Qt::Unchecked);
    QCOMPARE(e.table->rowCount(), 0);
    QCOMPARE(e.total->text(), QStringLiteral("0"));
}

void SubjectConfigTest::resetStartsOver()
{
    Scene scene;
    QVERIFY(scene.ok);
    Editor e(scene, {row("1", "甲", "5", "1", "0", "1", "1")});
    e.tick(1, 1);
    child<QPushButton>(&e.dialog, "pushButtonPageSectionAdd")->click();
    e.tick(2, 2);
    e.fill(QStringLiteral("乙"), QStringLiteral("4"), QStringLiteral("1"), QStringLiteral("0"));

    MessageBoxRecorder boxes;
    boxes.queueAnswer(QMessageBox::No);
    child<QPushButton>(&e.dialog, "pushButtonReset")->click();
    QCOMPARE(e.table->rowCount(), 1);
    QCOMPARE(e.block(1, 1)->checkState(0), Qt::Checked);

    boxes.queueAnswer(QMessageBox::Yes);
    child<QPushButton>(&e.dialog, "pushButtonReset")->click();
    QCOMPARE(boxes.count(), 2);     // no question per block
    QCOMPARE(boxes.last().text, QStringLiteral("确定删除已经配置好的题目，并重新开始配置吗？"));
    QCOMPARE(e.table->rowCount(), 0);
    QVERIFY(e.dialog.tickedBlocks.isEmpty());
    QVERIFY(!e.dialog.quietUncheck);
    QCOMPARE(e.block(1, 1)->checkState(0), Qt::Unchecked);
    QCOMPARE(e.block(2, 2)->checkState(0), Qt::Unchecked);
    QVERIFY(e.itemPages->text().isEmpty());
    QVERIFY(e.pages->text().isEmpty());
    QCOMPARE(e.count->text(), QStringLiteral("0"));
    // The form keeps its contents, the picture too.
    QCOMPARE(e.alias->toPlainText(), QStringLiteral("乙"));
    QVERIFY(!e.picture->fullImage.isNull());
}

void SubjectConfigTest::deletions()
{
    Scene scene;
    QVERIFY(scene.ok);
    QVector<SubjectItemRow> five;
    for (int i = 1; i <= 5; ++i)
        five << row(QString::number(i), QStringLiteral("第%1题").arg(i), "2", "1", "0", "1", "1");
    Editor e(scene, five);
    MessageBoxRecorder boxes;

    // Selected rows 2 and 4; No first changes nothing.
    e.table->selectRow(1);
    e.table->selectionModel()->select(e.table->model()->index(3, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    boxes.queueAnswer(QMessageBox::No);
    e.dialog.onDeleteSelectedRows();
    QCOMPARE(e.table->rowCount(), 5);
    boxes.queueAnswer(QMessageBox::Yes);
    e.dialog.onDeleteSelectedRows();
    QCOMPARE(boxes.last().text, QStringLiteral("删除选中行？"));
    QCOMPARE(e.column(0), (QStringList{QStringLiteral("第1题"), QStringLiteral("第3题"), QStringLiteral("第5题")}));
    QCOMPARE(e.total->text(), QStringLiteral("6"));

    e.table->setCurrentCell(1, 0);
    boxes.queueAnswer(QMessageBox::Yes);
    e.dialog.onDeleteCurrentRow();
    QCOMPARE(boxes.last().text, QStringLiteral("删除当前行？"));
    QCOMPARE(e.column(0), (QStringList{QStringLiteral("第1题"), QStringLiteral("第5题")}));

    e.dialog.accept();
    QCOMPARE(e.dialog.rows.size(), 2);
    QCOMPARE(e.dialog.rows.at(1), row("2", "第5题", "2", "1", "0", "1", "1"));

    // The table menu: only over a table with rows.
    QCOMPARE(WidgetTest::popupTexts([&] {
                 emit e.table->customContextMenuRequested(QPoint(5, 5));
             }),
             (QStringList{QStringLiteral("删除当前行(&D)"), QStringLiteral("删除选中行(&S)"),
                          QStringLiteral("删除全部(&A)")}));
    boxes.queueAnswer(QMessageBox::Yes);
    e.dialog.onDeleteAll();
    QCOMPARE(boxes.last().text, QStringLiteral("删除全部？"));
    QCOMPARE(e.table->rowCount(), 0);
    QCOMPARE(e.count->text(), QStringLiteral("0"));
    QVERIFY(WidgetTest::popupTexts([&] { emit e.table->customContextMenuRequested(QPoint(5, 5)); }).isEmpty());
}

void SubjectConfigTest::totalsAndRowsRoundTrip()
{
    Scene scene;
    QVERIFY(scene.ok);
    {
        // Rows as read from a file, ItemIDs out of order: shown in order,
        // renumbered at OK.
        const QVector<SubjectItemRow> rows{row("7", "甲", "0.5", "1", "0", "1", "1"),
                                           row("3", "乙", "1", "2", "0.5", "2,2", "1,2"),
                                           row("9", "丙", "2", "1", "0", "2", "5")};
        Editor e(scene, rows);
        QCOMPARE(e.count->text(), QStringLiteral("3"));
        QCOMPARE(e.total->text(), QStringLiteral("3.5"));
        // Showing again adds nothing.
        e.dialog.hide();
        e.dialog.show();
        QCOMPARE(e.table->rowCount(), 3);
        e.dialog.accept();
        QCOMPARE(e.dialog.result(), int(QDialog::Accepted));
        QCOMPARE(e.dialog.rows.size(), 3);
        for (int i = 0; i < 3; ++i) {
            SubjectItemRow want = rows.at(i);
            want.ItemID = QString::number(i + 1);
            QCOMPARE(e.dialog.rows.at(i), want);
        }
    }
    {
        Editor e(scene, {row("1", "甲", "1000000", "1", "0", "1", "1"), row("2", "乙", "1000000", "1", "0", "1", "1")});
        QCOMPARE(e.total->text(), QStringLiteral("2e+06"));
        QCOMPARE(WidgetTest::popupTexts([&] {
                     emit child<QScrollArea>(&e.dialog, "scrollArea")->customContextMenuRequested(QPoint(5, 5));
                 }),
                 QStringList());    // no picture yet
    }
    {
        Editor e(scene);
        e.dialog.accept();
        QVERIFY(e.dialog.rows.isEmpty());
    }
}

void SubjectConfigTest::pictureZoom()
{
    MyLabelForSubjectConfig label;
    label.resize(400, 300);
    label.zoomIn();     // nothing to zoom
    QCOMPARE(label.scale, 1.0f);

    label.image = cv::Mat(300, 800, CV_8UC3, cv::Scalar(10, 20, 30));
    label.showImage();
    QCOMPARE(label.shownImage.width(), 400);
    QCOMPARE(label.scale, 0.5f);
    QCOMPARE(label.fullImage.pixelColor(0, 0), QColor(30, 20, 10));   // shown in RGB order

    label.fitToWidth(800);
    QCOMPARE(label.scale, 1.0f);
    int steps = 0;
    float before = -1.0f;
    while (before != label.scale) {
        before = label.scale;
        label.zoomIn();
        if (label.scale != before)
            ++steps;
    }
    QCOMPARE(steps, 7);
    QVERIFY(qAbs(label.scale - 1.9487f) < 0.001f);
    QVERIFY(qAbs(label.shownImage.width() - 1559) <= 1);  // 800 x 1.1^7

    before = -1.0f;
    while (before != label.scale) {
        before = label.scale;
        label.zoomOut();
    }
    QVERIFY(label.shownImage.width() >= 100);
    QVERIFY(int(label.scale * float(label.fullImage.width()) / 1.1f) < 100);

    // Ctrl and the wheel zoom; without Ctrl the wheel does not.
    label.fitToWidth(800);
    QWheelEvent up(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(&label, &up);
    QCOMPARE(label.scale, 1.0f);
    QTest::keyPress(&label, Qt::Key_Control);
    QVERIFY(label.ctrlDown);
    QApplication::sendEvent(&label, &up);
    QCOMPARE(label.scale, 1.1f);
    QTest::keyRelease(&label, Qt::Key_Control);
    QVERIFY(!label.ctrlDown);
}

// The save asks first; a configuration made in the editor travels into the
// template file, and a refusal at either step leaves the rows as they were.
void SubjectConfigTest::saveRunsConfiguration()
{
    Scene scene(true);
    QVERIFY(scene.ok);
    MainWindow &w = scene.window;
    QVERIFY(w.subjectConfigStep);
    const QVector<SubjectItemRow> before = w.subjectItemRows;
    const QString saved = scene.dir.filePath(QStringLiteral("saved.tpl"));
    w.chooseSaveFile = [&saved](QWidget *, const QString &) { return saved; };
    MessageBoxRecorder boxes;

    {   // No configuration.
        WidgetTest::WhenShown<DialogSubjectConfigTip> tip([](DialogSubjectConfigTip *d) {
            child<QPushButton>(d, "pushButtonNo")->click();
        });
        w.saveFile();
        QVERIFY(tip.seen);
        QCOMPARE(w.subjectItemRows, before);
    }
    {   // Configured, then the editor closed.
        WidgetTest::WhenShown<DialogSubjectConfigTip> tip([](DialogSubjectConfigTip *d) {
            child<QPushButton>(d, "pushButtonYes")->click();
        });
        WidgetTest::WhenShown<DialogSubjectConfig> config([](DialogSubjectConfig *d) {
            d->onDeleteAll();
            d->reject();
        });
        boxes.queueAnswer(QMessageBox::Yes);
        w.saveFile();
        QVERIFY(config.seen);
        QCOMPARE(w.subjectItemRows, before);
    }
    {   // Configured and accepted: one question on block 2 of page 2.
        WidgetTest::WhenShown<DialogSubjectConfigTip> tip([](DialogSubjectConfigTip *d) {
            child<QPushButton>(d, "pushButtonYes")->click();
        });
        WidgetTest::WhenShown<DialogSubjectConfig> config([](DialogSubjectConfig *d) {
            QTreeWidget *tree = child<QTreeWidget>(d, "treeWidget");
            for (int c = 0; c < tree->topLevelItem(1)->childCount(); ++c) {
                QTreeWidgetItem *item = tree->topLevelItem(1)->child(c);
                if (item->data(0, SubjectConfigDataRole).value<TreeItemDataForSubjectConfig>().section == 2)
                    item->setCheckState(0, Qt::Checked);
            }
            child<QPushButton>(d, "pushButtonPageSectionAdd")->click();
            child<QTextEdit>(d, "textEditItemAlias")->setPlainText(QStringLiteral("实验题"));
            child<QComboBox>(d, "comboBoxScore")->setCurrentText(QStringLiteral("12"));
            child<QPushButton>(d, "pushButtonItemAdd")->click();
            child<QPushButton>(d, "pushButtonOK")->click();
        });
        w.saveFile();
        QVERIFY(config.seen);
        QCOMPARE(w.subjectItemRows.size(), before.size() + 1);
        QCOMPARE(w.subjectItemRows.last(),
                 row(QString::number(before.size() + 1), "实验题", "12", "1", "0", "2", "2"));
        const QByteArray text = TemplateFormat::complementBytes(DesignerTest::fileBytes(saved));
        QVERIFY(text.contains("Alias=\"实验题\""));
    }
}

QTEST_MAIN(SubjectConfigTest)
#include "subjectconfig_test.moc"
