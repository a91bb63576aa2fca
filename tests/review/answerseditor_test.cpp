// The objective answers editor: which questions it lists, the option panel,
// typed marks, a keyboard edit of a row other than the clicked one, the
// rescoring and new total on OK, a student row that changed or went away,
// and the remembered scroll position and geometry.

#include "checkboxoption.h"
#include "dialogeditobjectanswer.h"
#include "messagebox.h"
#include "omrresources.h"
#include "reviewtestsupport.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

namespace {

QString checkedLetters(const DialogEditObjectAnswer &editor)
{
    return ReviewTest::checkedLetters(editor.optionBoxes);
}

int editorRowOf(const DialogEditObjectAnswer &editor, const QString &question)
{
    for (int r = 0; r < editor.tableWidget->rowCount(); ++r) {
        if (editor.tableWidget->item(r, 0)->text() == question)
            return r;
    }
    return -1;
}

QString editorMark(const DialogEditObjectAnswer &editor, const QString &question)
{
    return editor.tableWidget->item(editorRowOf(editor, question), 1)->text();
}

void click(DialogEditObjectAnswer &editor, const QString &question)
{
    QTableWidget *t = editor.tableWidget;
    const int row = editorRowOf(editor, question);
    t->scrollToItem(t->item(row, 0));
    QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, t->visualItemRect(t->item(row, 0)).center());
}

// Types a mark into a row's cell the way an operator does: edit, type, Enter.
void typeMark(DialogEditObjectAnswer &editor, const QString &question, const QString &typed)
{
    QTableWidget *t = editor.tableWidget;
    QTableWidgetItem *item = t->item(editorRowOf(editor, question), 1);
    t->setCurrentItem(item);
    t->editItem(item);
    QPointer<QLineEdit> input = t->viewport()->findChild<QLineEdit *>();
    QVERIFY(input);
    QTest::keyClick(input, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(input, Qt::Key_Delete);
    QTest::keyClicks(input, typed);
    QTest::keyClick(input, Qt::Key_Return);
    // The view commits the text and closes the input once the key has been handled.
    QTRY_VERIFY(input.isNull() || !input->isVisible());
}

// A student with questions 1..count, four options each, marks cycling over
// A, B, C, D, AB; `blank` questions have no mark at all.
QMap<QString, QString> marks(int count, const QSet<int> &blank = {})
{
    static const QStringList cycle{"A", "B", "C", "D", "AB"};
    QMap<QString, QString> m;
    for (int q = 1; q <= count; ++q) {
        if (!blank.contains(q))
            m.insert(QString::number(q), cycle[q % cycle.size()]);
    }
    return m;
}

QStringList numbers(int count)
{
    QStringList keys;
    for (int q = 1; q <= count; ++q)
        keys << QString::number(q);
    return keys;
}

} // namespace

class AnswersEditorTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initOmrResources(); }
    void testListsMarkedQuestionsOnly();
    void testPanelColumns_data();
    void testPanelColumns();
    void testTypedMarks_data();
    void testTypedMarks();
    void testKeyboardEditOfAnotherRow();
    void testAcceptRescores_data();
    void testAcceptRescores();
    void testStudentRowChanged_data();
    void testStudentRowChanged();
    void testScrollMemory_data();
    void testScrollMemory();
    void testGeometryMemory();
    void testClosedWithItsTableWhileTyping();

private:
    DialogEditObjectAnswer *open(ReviewTestTable &table, int row);
};

DialogEditObjectAnswer *AnswersEditorTest::open(ReviewTestTable &table, int row)
{
    table.setCurrentCell(row, 0);
    auto *editor = new DialogEditObjectAnswer(&table);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    editor->resultRow = row;
    editor->code = table.item(row, 0)->text();
    editor->show();
    return editor;
}

void AnswersEditorTest::testListsMarkedQuestionsOnly()
{
    // 40 questions (36 to 40 of an optional group), 3 without a mark, a
    // subjective block and an optional choice between them.
    QStringList keys = numbers(20);
    keys << QStringLiteral("1-1") << QStringLiteral("o-36") << numbers(40).mid(20);
    ReviewTestTable table(keys);
    const int row = table.addStudent(QStringLiteral("2026001"), marks(40, {4, 17, 39}), {{"38", 10}});
    table.setItem(row, table.column(QStringLiteral("1-1")), new QTableWidgetItem(QStringLiteral("×")));
    table.setItem(row, table.column(QStringLiteral("o-36")), new QTableWidgetItem(QStringLiteral("√")));
    table.setItem(row, table.column(QStringLiteral("17")), new QTableWidgetItem(QString()));

    QPointer<DialogEditObjectAnswer> editor = open(table, row);
    QTableWidget *t = editor->tableWidget;
    QCOMPARE(t->rowCount(), 37);
    QCOMPARE(t->horizontalHeaderItem(0)->text(), QStringLiteral("题号"));
    QCOMPARE(t->horizontalHeaderItem(1)->text(), QStringLiteral("填涂"));
    QStringList listed;
    for (int r = 0; r < t->rowCount(); ++r)
        listed << t->item(r, 0)->text();
    QStringList expected = numbers(40);
    for (const char *gone : {"4", "17", "39"})
        expected.removeOne(QLatin1String(gone));
    QCOMPARE(listed, expected);
    QCOMPARE(editorMark(*editor, QStringLiteral("24")), QStringLiteral("AB"));
    QVERIFY(!(t->item(0, 0)->flags() & Qt::ItemIsEditable));
    QVERIFY(t->item(0, 1)->flags() & Qt::ItemIsEditable);
    QCOMPARE(t->item(editorRowOf(*editor, QStringLiteral("38")), 1)->data(Qt::UserRole + 1).toInt(), 10);
    QVERIFY(editor->widget->isHidden());
    editor->close();
    QTRY_VERIFY(editor.isNull());
}

void AnswersEditorTest::testPanelColumns_data()
{
    QTest::addColumn<int>("options");
    QTest::addColumn<QStringList>("expected");
    QStringList eight, ten, sixteen;
    for (int i = 0; i < 8; ++i)
        eight << QStringLiteral("%1,0").arg(i);
    for (int i = 0; i < 10; ++i)
        ten << (i < 9 ? QStringLiteral("%1,0").arg(i) : QStringLiteral("%1,1").arg(i - 9));
    for (int i = 0; i < 16; ++i)
        sixteen << (i < 9 ? QStringLiteral("%1,0").arg(i) : QStringLiteral("%1,1").arg(i - 9));
    QTest::newRow("eight in one column") << 8 << eight;
    QTest::newRow("ten: A to I, then J") << 10 << ten;
    QTest::newRow("sixteen") << 16 << sixteen;
}

void AnswersEditorTest::testPanelColumns()
{
    QFETCH(int, options);
    QFETCH(QStringList, expected);
    ReviewTestTable table({QStringLiteral("5"), QStringLiteral("6")});
    const int row = table.addStudent(QStringLiteral("2026001"), {{"5", "A"}, {"6", "BJ"}}, {{"6", options}});
    QPointer<DialogEditObjectAnswer> editor = open(table, row);
    QVERIFY(QTest::qWaitForWindowExposed(editor));
    click(*editor, QStringLiteral("5"));
    QCOMPARE(editor->optionBoxes.size(), 4);
    click(*editor, QStringLiteral("6"));
    QVERIFY(editor->widget->isVisible());
    QCOMPARE(editor->labelItemID->text(), QStringLiteral("6"));
    QCOMPARE(editor->optionBoxes.size(), options);
    QCOMPARE(ReviewTest::gridPositions(editor->optionBoxes, editor->gridLayout), expected);
    QCOMPARE(checkedLetters(*editor), options > 9 ? QStringLiteral("BJ") : QStringLiteral("B"));
    // The first question's toggles are gone, not hidden behind.
    QCOMPARE(editor->widget->findChildren<CheckBoxOption *>().size(), options);
    editor->close();
}

void AnswersEditorTest::testTypedMarks_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("mark");
    QTest::newRow("lower case, any order") << "ba" << "AB";
    QTest::newRow("an X wins") << "ax" << "X";
    QTest::newRow("letter beyond the options") << "E" << "X";
    QTest::newRow("repeats and digits dropped") << "cc1" << "C";
    QTest::newRow("repeats in order") << "DBB" << "BD";
    QTest::newRow("empty") << "" << "X";
}

void AnswersEditorTest::testTypedMarks()
{
    QFETCH(QString, typed);
    QFETCH(QString, mark);
    ReviewTestTable table({QStringLiteral("1"), QStringLiteral("2")});
    const int row = table.addStudent(QStringLiteral("2026001"), {{"1", "A"}, {"2", "C"}});
    QPointer<DialogEditObjectAnswer> editor = open(table, row);
    QVERIFY(QTest::qWaitForWindowExposed(editor));
    click(*editor, QStringLiteral("2"));
    typeMark(*editor, QStringLiteral("2"), typed);
    QCOMPARE(editorMark(*editor, QStringLiteral("2")), mark);
    // The panel shows the edited row: its toggles follow the typed mark.
    QCOMPARE(checkedLetters(*editor), mark == QLatin1String("X") ? QString() : mark);
    QCOMPARE(editorMark(*editor, QStringLiteral("1")), QStringLiteral("A"));
    editor->close();
}

void AnswersEditorTest::testKeyboardEditOfAnotherRow()
{
    ReviewTestTable table({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
    table.objective << ReviewTestTable::key(1, QStringLiteral("A"), false, SC, 2.0f, 0.0f)
                    << ReviewTestTable::key(2, QStringLiteral("B"), false, SC, 2.0f, 0.0f)
                    << ReviewTestTable::key(3, QStringLiteral("CD"), true, MA, 4.0f, 1.0f);
    const int row = table.addStudent(QStringLiteral("2026001"), {{"1", "A"}, {"2", "B"}, {"3", "AB"}});
    QPointer<DialogEditObjectAnswer> editor = open(table, row);
    QVERIFY(QTest::qWaitForWindowExposed(editor));
    click(*editor, QStringLiteral("1"));
    QCOMPARE(checkedLetters(*editor), QStringLiteral("A"));

    // Reached by keyboard, without clicking: the edit lands in its own row
    // only; the panel keeps showing (and writing) the clicked question.
    typeMark(*editor, QStringLiteral("3"), QStringLiteral("dc"));
    QCOMPARE(editorMark(*editor, QStringLiteral("3")), QStringLiteral("CD"));
    QCOMPARE(editorMark(*editor, QStringLiteral("1")), QStringLiteral("A"));
    QCOMPARE(editor->labelItemID->text(), QStringLiteral("1"));
    QCOMPARE(checkedLetters(*editor), QStringLiteral("A"));
    QTest::mouseClick(editor->optionBoxes[1], Qt::LeftButton);
    QCOMPARE(editorMark(*editor, QStringLiteral("1")), QStringLiteral("AB"));
    QCOMPARE(editorMark(*editor, QStringLiteral("3")), QStringLiteral("CD"));

    editor->pushButtonOK->click();
    QTRY_VERIFY(editor.isNull());
    QCOMPARE(table.text(row, QStringLiteral("1")), QStringLiteral("AB"));
    QCOMPARE(table.text(row, QStringLiteral("3")), QStringLiteral("CD"));
    QCOMPARE(table.total(row), QStringLiteral("6.00"));
}

void AnswersEditorTest::testAcceptRescores_data()
{
    QTest::addColumn<int>("compareType");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("score");
    QTest::addColumn<QString>("total");
    QTest::addColumn<bool>("pink");
    // Question 9 (key ABD, multiple, 6 / 1.5) is edited; 1 (2.00) stays; 2
    // has no key and counts 0. The old total (99.00) is never used.
    QTest::newRow("SC") << int(SC) << "ABD" << "6.00" << "8.00" << false;
    QTest::newRow("SC, typed out of order") << int(SC) << "dba" << "6.00" << "8.00" << false;
    QTest::newRow("MA part") << int(MA) << "ab" << "1.50" << "3.50" << false;
    QTest::newRow("TYPE1 two of three") << int(TYPE1) << "AB" << "4.00" << "6.00" << false;
    QTest::newRow("TYPE2 two letters") << int(TYPE2) << "AB" << "3.00" << "5.00" << false;
    QTest::newRow("TYPE2 four letters") << int(TYPE2) << "ABCD" << "0.00" << "2.00" << false;
    QTest::newRow("TYPE3") << int(TYPE3) << "AB" << "0.00" << "2.00" << false;
    QTest::newRow("nothing marked") << int(MA) << "x" << "0.00" << "2.00" << true;
}

void AnswersEditorTest::testAcceptRescores()
{
    QFETCH(int, compareType);
    QFETCH(QString, typed);
    QFETCH(QString, score);
    QFETCH(QString, total);
    QFETCH(bool, pink);
    ReviewTestTable table({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("9")});
    table.objective << ReviewTestTable::key(1, QStringLiteral("A"), false, SC, 2.0f, 0.0f);
    table.optional << ReviewTestTable::key(9, QStringLiteral("ABD"), true, CompareType(compareType), 6.0f, 1.5f);
    table.addStudent(QStringLiteral("2026000"), {{"1", "B"}});
    const int row = table.addStudent(QStringLiteral("2026001"), {{"1", "A"}, {"2", "C"}, {"9", "X"}});
    table.item(row, 1)->setText(QStringLiteral("99.00"));
    QPointer<DialogEditObjectAnswer> editor = open(table, row);
    QVERIFY(QTest::qWaitForWindowExposed(editor));
    typeMark(*editor, QStringLiteral("9"), typed);
    editor->pushButtonOK->click();
    QTRY_VERIFY(editor.isNull());

    QCOMPARE(table.score(row, QStringLiteral("9")), score);
    QCOMPARE(table.score(row, QStringLiteral("1")), QStringLiteral("2.00"));
    QCOMPARE(table.score(row, QStringLiteral("2")), QStringLiteral("0.00"));
    QCOMPARE(table.pink(row, QStringLiteral("9")), pink);
    // Without a key the question is judged as single choice.
    QVERIFY(!table.pink(row, QStringLiteral("2")));
    QCOMPARE(table.total(row), total);
    QCOMPARE(table.text(0, QStringLiteral("1")), QStringLiteral("B"));
    QCOMPARE(table.total(0), QStringLiteral("0.00"));
}

void AnswersEditorTest::testStudentRowChanged_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("written");
    QTest::newRow("a row above deleted") << "remove above" << true;
    QTest::newRow("the row deleted") << "remove" << false;
    QTest::newRow("results dropped as a duplicate") << "drop" << false;
    QTest::newRow("another student at that index") << "replace" << false;
}

void AnswersEditorTest::testStudentRowChanged()
{
    QFETCH(QString, change);
    QFETCH(bool, written);
    MessageBoxRecorder boxes;
    ReviewTestTable table({QStringLiteral("1")});
    table.objective << ReviewTestTable::key(1, QStringLiteral("A"), false, SC, 2.0f, 0.0f);
    table.addStudent(QStringLiteral("2026000"), {{"1", "B"}});
    const int row = table.addStudent(QStringLiteral("2026001"), {{"1", "B"}});
    table.addStudent(QStringLiteral("2026002"), {{"1", "B"}});
    QPointer<DialogEditObjectAnswer> editor = open(table, row);
    QVERIFY(QTest::qWaitForWindowExposed(editor));
    typeMark(*editor, QStringLiteral("1"), QStringLiteral("A"));

    if (change == QLatin1String("remove above"))
        table.removeRow(0);
    else if (change == QLatin1String("remove"))
        table.removeRow(row);
    else if (change == QLatin1String("drop"))
        table.item(row, 0)->setData(Qt::UserRole + 2, true);
    else if (change == QLatin1String("replace"))
        table.item(row, 0)->setText(QStringLiteral("2026009"));

    editor->pushButtonOK->click();
    QTRY_VERIFY(editor.isNull());
    int marked = 0;
    for (int r = 0; r < table.rowCount(); ++r)
        marked += table.text(r, QStringLiteral("1")) == QLatin1String("A") ? 1 : 0;
    QCOMPARE(marked, written ? 1 : 0);
    if (written) {
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(table.text(0, QStringLiteral("1")), QStringLiteral("A"));
        QCOMPARE(table.total(0), QStringLiteral("2.00"));
    } else {
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().title, QStringLiteral("提示"));
        QVERIFY(boxes.last().text.contains(QStringLiteral("2026001")));
        for (int r = 0; r < table.rowCount(); ++r)
            QCOMPARE(table.total(r), QStringLiteral("0.00"));
    }
}

void AnswersEditorTest::testScrollMemory_data()
{
    QTest::addColumn<int>("questions");
    QTest::addColumn<int>("start");
    QTest::newRow("enough questions") << 30 << 12;
    QTest::newRow("fewer questions") << 12 << 0;
}

void AnswersEditorTest::testScrollMemory()
{
    QFETCH(int, questions);
    QFETCH(int, start);
    ReviewTestTable table(numbers(40));
    table.addStudent(QStringLiteral("2026001"), marks(40));
    table.addStudent(QStringLiteral("2026002"), marks(questions));
    QPointer<DialogEditObjectAnswer> first = open(table, 0);
    QVERIFY(QTest::qWaitForWindowExposed(first));
    QCOMPARE(first->tableWidget->verticalScrollBar()->value(), 0);
    // Dragging the bar is remembered; setting it from code is not.
    QScrollBar *bar = first->tableWidget->verticalScrollBar();
    bar->setValue(3);
    QCOMPARE(table.editAnswerScroll, 0);
    bar->setSliderDown(true);
    bar->setSliderPosition(12);
    bar->setSliderDown(false);
    QCOMPARE(table.editAnswerScroll, 12);
    first->close();

    QPointer<DialogEditObjectAnswer> second = open(table, 1);
    QVERIFY(QTest::qWaitForWindowExposed(second));
    QCOMPARE(second->tableWidget->rowCount(), questions);
    QCOMPARE(second->tableWidget->verticalScrollBar()->value(), start);
    second->close();
}

void AnswersEditorTest::testGeometryMemory()
{
    ReviewTestTable table({QStringLiteral("1")});
    table.addStudent(QStringLiteral("2026001"), {{"1", "A"}});
    QPointer<DialogEditObjectAnswer> editor = open(table, 0);
    QVERIFY(QTest::qWaitForWindowExposed(editor));
    QCOMPARE(editor->windowTitle(), QStringLiteral("修改客观题填涂"));
    QVERIFY(!editor->isModal());
    QVERIFY(!(editor->windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(editor->windowFlags() & Qt::WindowMaximizeButtonHint);
    // Shown is remembered too, before the operator moves it.
    QCOMPARE(table.editAnswerSize, editor->size());
    editor->move(140, 90);
    editor->resize(500, 450);
    QTRY_COMPARE(table.editAnswerPos, QPoint(140, 90));
    QTRY_COMPARE(table.editAnswerSize, QSize(500, 450));
    // Esc closes without writing, and the editor deletes itself.
    QTest::keyClick(editor, Qt::Key_Escape);
    QTRY_VERIFY(editor.isNull());
    QCOMPARE(table.text(0, QStringLiteral("1")), QStringLiteral("A"));
}

void AnswersEditorTest::testClosedWithItsTableWhileTyping()
{
    // The main window closing takes the result table and an open editor with
    // it; a mark still being typed is committed while the editor goes.
    auto *table = new ReviewTestTable({QStringLiteral("1"), QStringLiteral("2")});
    table->addStudent(QStringLiteral("2026001"), {{"1", "A"}, {"2", "B"}});
    QPointer<DialogEditObjectAnswer> editor = open(*table, 0);
    editor->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(editor));
    click(*editor, QStringLiteral("1"));
    QTableWidget *t = editor->tableWidget;
    t->editItem(t->item(0, 1));
    auto *input = t->viewport()->findChild<QLineEdit *>();
    QVERIFY(input);
    QTest::keyClicks(input, QStringLiteral("cd"));
    delete table;
    QVERIFY(editor.isNull());
}

QTEST_MAIN(AnswersEditorTest)
#include "answerseditor_test.moc"
