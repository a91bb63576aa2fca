// The result table in the real main window: its menu per state, delete with
// the image list put back to unprocessed, the abnormal-row filter, code
// search, the jump to a sheet's page, the answer editor, the upload hand-off
// and the table that ignores double clicks.

#include "dialogeditobjectanswer.h"
#include "dialogsearchbycode.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "myimage.h"
#include "mylabel.h"
#include "mystatusbar.h"
#include "mytablewidgetimage.h"
#include "mytablewidgetresult.h"
#include "omrresources.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include "widgettestutil.h"

#include <functional>
#include <memory>

namespace {

using WidgetTest::WhenShown;
using WidgetTest::popupTexts;

QString text(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QString();
}

// The main window with both tables filled by hand.
struct Workspace {
    Workspace()
    {
        results = w.tableWidgetResults;
        images = w.tableWidgetImages;
        if (images->columnCount() < ImageListColumn::Count)
            images->setColumnCount(ImageListColumn::Count);
    }
    ~Workspace() { w.processWorkers.clear(); }

    void setResultKeys(const QStringList &keys)
    {
        w.resultHeaders = keys;
        results->setColumnCount(keys.size());
        results->setHorizontalHeaderLabels(keys);
    }

    int addResultRow(const QString &code, const QMap<QString, QString> &cells = {})
    {
        const int row = results->rowCount();
        results->insertRow(row);
        auto *codeItem = new QTableWidgetItem(code);
        codeItem->setData(ResultSheetStateRole, false);
        results->setItem(row, 0, codeItem);
        for (auto it = cells.cbegin(); it != cells.cend(); ++it)
            results->setItem(row, w.resultColumnOf(it.key()), new QTableWidgetItem(it.value()));
        return row;
    }

    // A recognised sheet: `pages` image rows, the code on the first.
    int addSheet(const QString &code, int pages)
    {
        const int first = images->rowCount();
        for (int p = 0; p < pages; ++p) {
            const int row = images->rowCount();
            const QString path = dir.filePath(QStringLiteral("%1-%2.png").arg(code).arg(p + 1));
            QImage page(60 + p, 40, QImage::Format_Grayscale8);
            page.fill(200);
            page.save(path);
            images->insertRow(row);
            for (int c = 0; c < ImageListColumn::Count; ++c)
                images->setItem(row, c, new QTableWidgetItem);
            images->item(row, ImageListColumn::Path)->setText(QFileInfo(path).fileName());
            images->item(row, ImageListColumn::Path)->setData(ImageListColumn::FilePathRole, path);
            images->item(row, ImageListColumn::Code)->setText(p == 0 ? code : QString());
            images->item(row, ImageListColumn::AnchorA)->setText(QStringLiteral("100,100"));
            images->item(row, ImageListColumn::Result)->setText(QStringLiteral("√"));
            images->item(row, ImageListColumn::CornerCheck)->setText(QStringLiteral("√"));
        }
        return first;
    }

    QString imagePath(int row) const
    {
        return images->item(row, ImageListColumn::Path)->data(ImageListColumn::FilePathRole).toString();
    }

    void selectResultCell(int row, int column)
    {
        results->selectionModel()->select(results->model()->index(row, column), QItemSelectionModel::Select);
    }

    QStringList resultCodes() const
    {
        QStringList codes;
        for (int r = 0; r < results->rowCount(); ++r)
            codes << text(results, r, 0);
        return codes;
    }

    void releaseOver(int row, int column, Qt::MouseButton button = Qt::LeftButton)
    {
        const QPoint at = results->visualRect(results->model()->index(row, column)).center();
        QTest::mouseRelease(results->viewport(), button, Qt::NoModifier, at);
    }

    QTemporaryDir dir;
    MainWindow w;
    MyTableWidgetResult *results = nullptr;
    MyTableWidgetImage *images = nullptr;
};

QString successCount(const Workspace &ws)
{
    return ws.w.myStatusBar->findChild<QLabel *>(QStringLiteral("labelSuccessCount"))->text();
}

} // namespace

class ResultTableTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void testMenuPerState_data();
    void testMenuPerState();
    void testDeleteUnprocessesSheets();
    void testDeleteEveryOtherSheetOfTheCode();
    void testDeleteCancelledOrRefused();
    void testFilter_data();
    void testFilter();
    void testSearchByCode_data();
    void testSearchByCode();
    void testJumpToPage_data();
    void testJumpToPage();
    void testJumpNeedsLeftButtonAndKnownSheet();
    void testEditAnswerOpens();
    void testUploadHandOff();
    void testDisableDoubleClick();

private:
    // Any box a test does not expect is answered rather than left waiting.
    MessageBoxRecorder m_otherBoxes;
};

void ResultTableTest::initTestCase()
{
    // The window checks the platform account when it is built: keep any such
    // request on this machine (nothing listens on port 1).
    qputenv("VOSTRA_PLATFORM_HOST", "127.0.0.1:1");
    initOmrResources();
}

void ResultTableTest::testMenuPerState_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("entries");
    const QStringList idle = {QStringLiteral("上传主观题图片(&U)"), QStringLiteral("考号查找(&C)"),
                              QStringLiteral("修改客观题填涂(&M)"), QStringLiteral("仅显示客观题异常行(&E)"),
                              QStringLiteral("删除(&D)"), QStringLiteral("自动调整表格列宽(&A)"),
                              QStringLiteral("缺考统计(&S)")};
    QStringList filtered = idle;
    filtered[3] = QStringLiteral("显示所有行（正常）");
    QTest::newRow("idle") << "idle" << idle;
    QTest::newRow("filter on") << "filtered" << filtered;
    QTest::newRow("uploading") << "uploading" << QStringList{QStringLiteral("停止上传主观题图片(&S)")};
    QTest::newRow("recognition running") << "processing" << QStringList();
}

void ResultTableTest::testMenuPerState()
{
    QFETCH(QString, state);
    QFETCH(QStringList, entries);
    Workspace ws;
    ws.setResultKeys({QStringLiteral("考号"), QStringLiteral("客观题总分")});
    ws.addResultRow(QStringLiteral("1001"));
    if (state == QLatin1String("filtered"))
        ws.results->filterRows(true);
    else if (state == QLatin1String("uploading"))
        ws.results->uploading = true;
    else if (state == QLatin1String("processing"))
        ws.w.processWorkers.append(nullptr);

    // Through the real event path: a right click on the table's viewport.
    const QPoint at = ws.results->viewport()->rect().center();
    const QStringList shown = popupTexts([&] {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, ws.results->viewport()->mapToGlobal(at));
        QApplication::sendEvent(ws.results->viewport(), &event);
    });
    QCOMPARE(shown, entries);
}

void ResultTableTest::testDeleteUnprocessesSheets()
{
    Workspace ws;
    ws.w.pagesPerSheet = 2;
    ws.setResultKeys({QStringLiteral("考号"), QStringLiteral("客观题总分")});
    for (int s = 0; s < 6; ++s) {
        ws.addSheet(QStringLiteral("C%1").arg(s), 2);
        ws.addResultRow(QStringLiteral("C%1").arg(s));
    }
    ws.selectResultCell(2, 1);
    ws.selectResultCell(5, 0);

    MessageBoxRecorder boxes;
    boxes.queueAnswer(QMessageBox::Ok);
    ws.results->fillContextMenu();
    QAction *remove = nullptr;
    for (QAction *action : ws.results->contextMenu->actions()) {
        if (action->text() == QStringLiteral("删除(&D)"))
            remove = action;
    }
    QVERIFY(remove);
    remove->trigger();

    QCOMPARE(boxes.count(), 1);
    const MessageBoxSpec box = boxes.last();
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.title, QStringLiteral("提示"));
    QCOMPARE(box.text, QStringLiteral("删除操作会同时将相应的答卷图片置为未处理状态"));
    QCOMPARE(box.buttonText(QMessageBox::Ok), QStringLiteral("确 定"));
    QCOMPARE(box.buttonText(QMessageBox::Cancel), QStringLiteral("取 消"));
    QCOMPARE(box.windowIconPath, QStringLiteral(":/image/res/images/no.png"));

    // Removed from the highest row down: removing row 2 first would have
    // shifted C5 out of reach.
    QCOMPARE(ws.resultCodes(), (QStringList{"C0", "C1", "C3", "C4"}));
    for (int row = 0; row < ws.images->rowCount(); ++row) {
        const int sheet = row / 2;
        const bool dropped = sheet == 2 || sheet == 5;
        QCOMPARE(text(ws.images, row, ImageListColumn::Result), dropped ? QString() : QStringLiteral("√"));
        QCOMPARE(text(ws.images, row, ImageListColumn::AnchorA), dropped ? QString() : QStringLiteral("100,100"));
        if (row % 2 == 0)
            QCOMPARE(text(ws.images, row, ImageListColumn::Code), dropped ? QString() : QStringLiteral("C%1").arg(sheet));
    }
    QCOMPARE(successCount(ws), QStringLiteral("4"));
}

void ResultTableTest::testDeleteEveryOtherSheetOfTheCode()
{
    // Two sheets carry the same code. Deleting its result drops every result
    // row of that code, so both sheets must be recognised again; a sheet left
    // at "√" would be skipped by every later run.
    Workspace ws;
    ws.w.pagesPerSheet = 2;
    ws.setResultKeys({QStringLiteral("考号")});
    const QStringList codes = {"C0", "C1", "C2", "C1"};
    for (const QString &code : codes) {
        ws.addSheet(code, 2);
        ws.addResultRow(code);
    }
    // The last page row of the list is missing: the sheet is clamped to the list.
    ws.images->removeRow(ws.images->rowCount() - 1);
    ws.selectResultCell(1, 0);

    MessageBoxRecorder boxes;
    boxes.queueAnswer(QMessageBox::Ok);
    ws.results->deleteResultRows();

    QCOMPARE(ws.resultCodes(), (QStringList{"C0", "C2", "C1"}));
    QVERIFY(ws.results->isRowHidden(2));
    QVERIFY(MyTableWidgetResult::isDropped(ws.results->item(2, 0)));
    for (int row : {2, 3, 6})
        QCOMPARE(text(ws.images, row, ImageListColumn::Result), QString());
    for (int row : {0, 1, 4, 5})
        QCOMPARE(text(ws.images, row, ImageListColumn::Result), QStringLiteral("√"));
    QCOMPARE(successCount(ws), QStringLiteral("3"));
}

void ResultTableTest::testDeleteCancelledOrRefused()
{
    Workspace ws;
    ws.w.pagesPerSheet = 1;
    ws.setResultKeys({QStringLiteral("考号")});
    ws.addSheet(QStringLiteral("C0"), 1);
    ws.addResultRow(QStringLiteral("C0"));
    ws.selectResultCell(0, 0);

    MessageBoxRecorder boxes;
    boxes.queueAnswer(QMessageBox::Cancel);
    ws.results->deleteResultRows();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(ws.results->rowCount(), 1);
    QCOMPARE(text(ws.images, 0, ImageListColumn::Result), QStringLiteral("√"));

    // While recognition or an upload runs, rows are addressed by index from
    // other threads: no box, no change.
    for (bool processing : {true, false}) {
        ws.w.processWorkers.clear();
        ws.results->uploading = !processing;
        if (processing)
            ws.w.processWorkers.append(nullptr);
        ws.results->deleteResultRows();
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(ws.results->rowCount(), 1);
    }
}

void ResultTableTest::testFilter_data()
{
    // Columns: 1 single choice, 2 multiple choice, 3 an optional question
    // with single choice. Cells not given are missing.
    QTest::addColumn<QStringList>("marks");
    QTest::addColumn<bool>("shown");
    QTest::newRow("all normal") << QStringList{"A", "AB", "C"} << false;
    QTest::newRow("several on multiple") << QStringList{"B", "ABC", ""} << false;
    QTest::newRow("several on single") << QStringList{"AB", "A", ""} << true;
    QTest::newRow("nothing on multiple") << QStringList{"A", "X", "C"} << true;
    QTest::newRow("nothing on single") << QStringList{"X", "A", "C"} << true;
    QTest::newRow("optional judged as single") << QStringList{"A", "A", "CD"} << true;
    QTest::newRow("optional nothing marked") << QStringList{"A", "A", "X"} << true;
    QTest::newRow("no cells") << QStringList{"", "", ""} << false;
}

void ResultTableTest::testFilter()
{
    QFETCH(QStringList, marks);
    QFETCH(bool, shown);
    Workspace ws;
    ws.setResultKeys({QStringLiteral("考号"), QStringLiteral("客观题总分"), QStringLiteral("1"), QStringLiteral("2"),
                      QStringLiteral("3")});
    AnswerSetting single;
    single.itemId = 1;
    AnswerSetting multiple;
    multiple.itemId = 2;
    multiple.multiple = true;
    AnswerSetting notInTable;
    notInTable.itemId = 9;
    AnswerSetting optional;
    optional.itemId = 3;
    ws.w.answerSettings = {single, multiple, notInTable};
    ws.w.optionalAnswerSettings = {optional};

    QMap<QString, QString> cells;
    for (int i = 0; i < marks.size(); ++i) {
        if (!marks.at(i).isEmpty())
            cells.insert(QString::number(i + 1), marks.at(i));
    }
    ws.addResultRow(QStringLiteral("normal"), {{"1", "A"}, {"2", "B"}});
    ws.addResultRow(QStringLiteral("case"), cells);

    ws.results->filterRows(true);
    QVERIFY(ws.results->abnormalRowsOnly);
    QVERIFY(ws.results->isRowHidden(0));
    QCOMPARE(!ws.results->isRowHidden(1), shown);

    ws.results->filterRows(false);
    QVERIFY(!ws.results->abnormalRowsOnly);
    QVERIFY(!ws.results->isRowHidden(0));
    QVERIFY(!ws.results->isRowHidden(1));
}

void ResultTableTest::testSearchByCode_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("currentRow");
    QTest::addColumn<QString>("box");
    QTest::newRow("found") << "C3" << 3 << QString();
    QTest::newRow("first of two") << "C1" << 1 << QString();
    QTest::newRow("missing") << "Z9" << 0 << QStringLiteral("没有找到考号：Z9");
    QTest::newRow("cancelled") << QString() << 0 << QString();
}

void ResultTableTest::testSearchByCode()
{
    QFETCH(QString, code);
    QFETCH(int, currentRow);
    QFETCH(QString, box);
    Workspace ws;
    ws.setResultKeys({QStringLiteral("考号")});
    for (const char *c : {"C0", "C1", "C2", "C3", "C1"})
        ws.addResultRow(QString::fromLatin1(c));
    ws.results->setCurrentCell(0, 0);

    MessageBoxRecorder boxes;
    bool stayedOpenWhenEmpty = false;
    WhenShown<DialogSearchByCode> answer([&](DialogSearchByCode *dialog) {
        if (code.isEmpty()) {
            dialog->reject();
            return;
        }
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("lineEditCode"));
        auto *ok = dialog->findChild<QPushButton *>(QStringLiteral("pushButtonOK"));
        ok->click();
        stayedOpenWhenEmpty = dialog->isVisible();
        edit->setText(code);
        ok->click();
    });
    ws.results->searchByCode();

    QVERIFY(answer.seen);
    if (!code.isEmpty())
        QVERIFY(stayedOpenWhenEmpty);
    QCOMPARE(ws.results->currentRow(), currentRow);
    QCOMPARE(boxes.count(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty()) {
        QCOMPARE(boxes.last().title, QStringLiteral("提示"));
        QCOMPARE(boxes.last().text, box);
    }
}

void ResultTableTest::testJumpToPage_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("page");
    QTest::newRow("code column") << "考号" << 1;
    QTest::newRow("objective") << "1" << 1;
    QTest::newRow("block on page 2") << "2-7" << 2;
    QTest::newRow("block on page 3") << "3-1" << 3;
    QTest::newRow("whole sheet") << "e-3" << 1;
    QTest::newRow("block past the sheet") << "4-1" << 1;   // row 3 is the next sheet's
    QTest::newRow("block past the list") << "9-1" << 1;
}

void ResultTableTest::testJumpToPage()
{
    QFETCH(QString, key);
    QFETCH(int, page);
    Workspace ws;
    ws.w.pagesPerSheet = 3;
    ws.setResultKeys({QStringLiteral("考号"), QStringLiteral("客观题总分"), QStringLiteral("1"), QStringLiteral("2-7"),
                      QStringLiteral("3-1"), QStringLiteral("4-1"), QStringLiteral("9-1"), QStringLiteral("e-3")});
    const int first = ws.addSheet(QStringLiteral("C1"), 3);
    ws.addSheet(QStringLiteral("C0"), 3);
    ws.addResultRow(QStringLiteral("C0"));
    const int row = ws.addResultRow(QStringLiteral("C1"), {{"2-7", "×"}});
    ws.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ws.w));

    ws.releaseOver(row, ws.w.resultColumnOf(key));
    const int expected = first + page - 1;
    QCOMPARE(ws.images->currentRow(), expected);
    QVERIFY(ws.images->selectionModel()->isRowSelected(expected, QModelIndex()));
    QCOMPARE(ws.w.myImage->imageLabel->imagePath, ws.imagePath(expected));
    QVERIFY(ws.w.myImage->imageLabel->sourceImage);
}

void ResultTableTest::testJumpNeedsLeftButtonAndKnownSheet()
{
    Workspace ws;
    ws.w.pagesPerSheet = 2;
    ws.setResultKeys({QStringLiteral("考号"), QStringLiteral("1-1")});
    ws.addSheet(QStringLiteral("C0"), 2);
    ws.addResultRow(QStringLiteral("C0"));
    ws.addResultRow(QStringLiteral("C9"));                 // no sheet in the list
    ws.addResultRow(QString());                            // empty code
    ws.results->insertRow(3);                              // no code cell at all
    ws.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ws.w));
    ws.images->setCurrentCell(1, 0);

    ws.releaseOver(0, 1, Qt::RightButton);
    for (int row : {1, 2, 3})
        ws.releaseOver(row, 1);
    QCOMPARE(ws.images->currentRow(), 1);
    QVERIFY(ws.w.myImage->imageLabel->imagePath.isEmpty());

    ws.releaseOver(0, 1);
    QCOMPARE(ws.images->currentRow(), 0);
}

void ResultTableTest::testEditAnswerOpens()
{
    Workspace ws;
    ws.setResultKeys({QStringLiteral("考号")});
    ws.addResultRow(QStringLiteral("C0"));
    ws.addResultRow(QStringLiteral("C1"));

    ws.results->openEditObjectAnswer();
    QVERIFY(!ws.results->findChild<DialogEditObjectAnswer *>());

    ws.results->editAnswerPos = QPoint(40, 30);
    ws.results->editAnswerSize = QSize(420, 310);
    ws.results->setCurrentCell(1, 0);
    ws.results->openEditObjectAnswer();
    QPointer<DialogEditObjectAnswer> dialog = ws.results->findChild<DialogEditObjectAnswer *>();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("修改客观题填涂 - C1"));
    QCOMPARE(dialog->resultRow, 1);
    QCOMPARE(dialog->code, QStringLiteral("C1"));
    QCOMPARE(dialog->size(), QSize(420, 310));
    // The table remembers where the operator leaves it.
    dialog->resize(430, 320);
    QTRY_COMPARE(ws.results->editAnswerSize, QSize(430, 320));
    dialog->close();
    QTRY_VERIFY(dialog.isNull());
}

void ResultTableTest::testUploadHandOff()
{
    Workspace ws;
    ws.setResultKeys({QStringLiteral("考号"), QStringLiteral("1-1")});
    ws.addResultRow(QStringLiteral("C0"), {{"1-1", "×"}});

    // No pool yet: a worker's request starts one for its row and is let go.
    // The cell names no file, so it fails and stays "×".
    bool ok = false;
    ws.results->processThreadStartUpload(0, 0, &ok);
    QVERIFY(ok);
    QVERIFY(ws.results->uploading);
    QTRY_VERIFY_WITH_TIMEOUT(!ws.results->uploading, 20000);
    QCOMPARE(ws.results->item(0, 1)->text(), QStringLiteral("×"));
    QVERIFY(ws.w.textEditLog->toPlainText().contains(QStringLiteral("上传失败：")));

    // While a pool runs a worker is asked to wait.
    ws.results->uploading = true;
    ok = false;
    ws.results->processThreadStartUpload(0, 0, &ok);
    QVERIFY(!ok);
    ws.results->uploading = false;

    QTableWidgetItem *cell = ws.results->item(0, 1);
    ws.results->setServerPath(cell, QStringLiteral("https://store/1.png"));
    QCOMPARE(cell->text(), QStringLiteral("√"));
    QCOMPARE(cell->data(ResultServerPathRole).toString(), QStringLiteral("https://store/1.png"));
    QCOMPARE(cell->foreground().color(), QColor(0, 0, 0));
    QCOMPARE(cell->background().color(), QColor(255, 255, 255));
}

void ResultTableTest::testDisableDoubleClick()
{
    TableWidgetDisableDoubleClick table;
    table.setRowCount(2);
    table.setColumnCount(2);
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 2; ++c)
            table.setItem(r, c, new QTableWidgetItem(QStringLiteral("%1%2").arg(r).arg(c)));
    }
    table.setEditTriggers(QAbstractItemView::DoubleClicked);
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));
    QSignalSpy doubleClicks(&table, &QTableWidget::cellDoubleClicked);

    const QPoint cell11 = table.visualItemRect(table.item(1, 1)).center();
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, cell11, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(table.viewport(), &doubleClick);
    QCOMPARE(doubleClicks.count(), 0);
    QVERIFY(!table.viewport()->findChild<QLineEdit *>());
    QVERIFY(table.currentItem() != table.item(1, 1));
    QCOMPARE(table.item(1, 1)->text(), QStringLiteral("11"));

    QTest::mouseClick(table.viewport(), Qt::LeftButton, Qt::NoModifier, cell11);
    QCOMPARE(table.currentItem(), table.item(1, 1));
}

QTEST_MAIN(ResultTableTest)
#include "resulttable_test.moc"
