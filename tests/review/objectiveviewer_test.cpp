// The objective question viewer: its option panel, the mark it shows and
// returns, the option toggles, and the write-back that scores a correction
// with the exam's key and adjusts the student's total, including a student
// whose row changed or went away while the viewer was open.

#include "checkboxoption.h"
#include "dialogobjectimageshow.h"
#include "objectivecorrection.h"
#include "omrresources.h"
#include "reviewtestsupport.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

using ReviewTest::gridPositions;

QString checkedLetters(const DialogObjectImageShow &viewer)
{
    return ReviewTest::checkedLetters(viewer.optionBoxes);
}

QStringList grid(const QVector<QPoint> &cells)
{
    QStringList out;
    for (const QPoint &p : cells)
        out << QStringLiteral("%1,%2").arg(p.x()).arg(p.y());
    return out;
}

} // namespace

class ObjectiveViewerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initOmrResources(); }
    void testPanelLayout_data();
    void testPanelLayout();
    void testMarkShownAndReturned_data();
    void testMarkShownAndReturned();
    void testTogglesChangeTheMark();
    void testOptionToggle();
    void testWriteBackRescores_data();
    void testWriteBackRescores();
    void testWriteBackFindsTheStudent_data();
    void testWriteBackFindsTheStudent();
};

void ObjectiveViewerTest::testPanelLayout_data()
{
    QTest::addColumn<int>("options");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("two") << 2 << grid({{0, 0}, {0, 1}});
    QTest::newRow("five in one row") << 5 << grid({{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}});
    QTest::newRow("six in rows of four") << 6 << grid({{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0}, {1, 1}});
    QVector<QPoint> sixteen;
    for (int i = 0; i < 16; ++i)
        sixteen << QPoint(i / 4, i % 4);
    QTest::newRow("sixteen in four rows") << 16 << grid(sixteen);
}

void ObjectiveViewerTest::testPanelLayout()
{
    QFETCH(int, options);
    QFETCH(QStringList, expected);
    DialogObjectImageShow viewer;
    viewer.optionCount = options;
    viewer.mark = QStringLiteral("X");
    viewer.show();
    QCOMPARE(viewer.optionBoxes.size(), options);
    QCOMPARE(gridPositions(viewer.optionBoxes, viewer.gridLayout), expected);
    QCOMPARE(viewer.optionBoxes.last()->text(), QString(QChar('A' + options - 1)));
}

void ObjectiveViewerTest::testMarkShownAndReturned_data()
{
    QTest::addColumn<QString>("mark");
    QTest::addColumn<int>("options");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("checked");
    QTest::newRow("letters put in option order") << "BA" << 4 << "AB" << "AB";
    QTest::newRow("nothing marked") << "X" << 4 << "X" << "";
    QTest::newRow("no letter names a toggle") << "Z" << 4 << "Z" << "";
    QTest::newRow("letter beyond the options dropped") << "AE" << 4 << "A" << "A";
    // Questions may have up to sixteen options: a long mark is never cut.
    QTest::newRow("nine letters") << "ABCDEFGHI" << 10 << "ABCDEFGHI" << "ABCDEFGHI";
    QTest::newRow("sixteen letters") << "ABCDEFGHIJKLMNOP" << 16 << "ABCDEFGHIJKLMNOP" << "ABCDEFGHIJKLMNOP";
}

void ObjectiveViewerTest::testMarkShownAndReturned()
{
    QFETCH(QString, mark);
    QFETCH(int, options);
    QFETCH(QString, shown);
    QFETCH(QString, checked);
    DialogObjectImageShow viewer;
    viewer.code = QStringLiteral("2026001");
    viewer.itemId = QStringLiteral("7");
    viewer.mark = mark;
    viewer.optionCount = options;
    viewer.show();
    QCOMPARE(viewer.windowTitle(), QStringLiteral("客观题图片：2026001-7"));
    QCOMPARE(viewer.lineEditMark->text(), shown);
    QCOMPARE(checkedLetters(viewer), checked);
    QVERIFY(viewer.lineEditMark->isReadOnly());
    // OK on an unchanged mark returns what is shown, whole.
    viewer.pushButtonOK->click();
    QCOMPARE(viewer.result(), int(QDialog::Accepted));
    QCOMPARE(viewer.mark, shown);
}

void ObjectiveViewerTest::testTogglesChangeTheMark()
{
    DialogObjectImageShow viewer;
    viewer.mark = QStringLiteral("AB");
    viewer.optionCount = 4;
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QTest::mouseClick(viewer.optionBoxes[3], Qt::LeftButton);
    QCOMPARE(viewer.lineEditMark->text(), QStringLiteral("ABD"));
    QTest::mouseClick(viewer.optionBoxes[0], Qt::LeftButton);
    QTest::mouseClick(viewer.optionBoxes[1], Qt::LeftButton);
    QTest::mouseClick(viewer.optionBoxes[3], Qt::LeftButton);
    QCOMPARE(viewer.lineEditMark->text(), QStringLiteral("X"));
    QTest::mouseClick(viewer.optionBoxes[2], Qt::LeftButton);
    viewer.reject();
    QCOMPARE(viewer.mark, QStringLiteral("AB")); // a rejected viewer returns nothing new
    viewer.accept();
    QCOMPARE(viewer.mark, QStringLiteral("C"));
}

void ObjectiveViewerTest::testOptionToggle()
{
    CheckBoxOption box(QLatin1Char('C'));
    QCOMPARE(box.objectName(), QStringLiteral("C"));
    QCOMPARE(box.text(), QStringLiteral("C"));
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QSignalSpy clicked(&box, &QAbstractButton::clicked);
    QSignalSpy toggled(&box, &QAbstractButton::toggled);
    // One press and release toggles once and reports the new state once.
    QTest::mouseClick(&box, Qt::LeftButton);
    QVERIFY(box.isChecked());
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked.first().first().toBool(), true);
    QCOMPARE(toggled.size(), 1);
    QVERIFY(!box.isDown());
    QTest::mouseClick(&box, Qt::LeftButton);
    QVERIFY(!box.isChecked());
    QCOMPARE(clicked.last().first().toBool(), false);
    // Other buttons do not toggle.
    QTest::mouseClick(&box, Qt::RightButton);
    QVERIFY(!box.isChecked());
    QCOMPARE(toggled.size(), 2);
}

void ObjectiveViewerTest::testWriteBackRescores_data()
{
    QTest::addColumn<int>("compareType");
    QTest::addColumn<bool>("multiple");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("oldMark");
    QTest::addColumn<QString>("newMark");
    QTest::addColumn<QString>("oldTotal");
    QTest::addColumn<QString>("score");
    QTest::addColumn<QString>("total");
    QTest::addColumn<bool>("pink");
    QTest::addColumn<float>("full");
    QTest::newRow("single A to B, worth 2") << int(SC) << false << "A" << "A" << "B" << "38.00" << "0.00" << "36.00"
                                            << false << 2.0f;
    // Full score 6, partial score 1.5; the row's other questions are worth 32.
    QTest::newRow("SC exact") << int(SC) << true << "ABD" << "AB" << "ABD" << "32.00" << "6.00" << "38.00" << false << 6.0f;
    QTest::newRow("SC same letters, other order") << int(SC) << true << "ABCD" << "ABCD" << "DCBA" << "38.00" << "0.00"
                                                  << "32.00" << false << 6.0f;
    QTest::newRow("MA part of the key") << int(MA) << true << "ABD" << "ABD" << "AB" << "38.00" << "1.50" << "33.50"
                                        << false << 6.0f;
    QTest::newRow("MA same letters") << int(MA) << true << "ABCD" << "AB" << "DCBA" << "33.50" << "6.00" << "38.00"
                                     << false << 6.0f;
    QTest::newRow("MA longer than the key") << int(MA) << true << "AB" << "AB" << "ABC" << "38.00" << "0.00"
                                            << "32.00" << false << 6.0f;
    QTest::newRow("TYPE1 two of three") << int(TYPE1) << true << "ABD" << "ABD" << "AB" << "38.00" << "4.00"
                                        << "36.00" << false << 6.0f;
    QTest::newRow("TYPE2 letters in the key") << int(TYPE2) << true << "ABD" << "ABD" << "AB" << "38.00" << "3.00"
                                              << "35.00" << false << 6.0f;
    QTest::newRow("TYPE2 wrong letter takes nothing") << int(TYPE2) << true << "AB" << "A" << "ABC" << "33.50"
                                                      << "3.00" << "35.00" << false << 6.0f;
    QTest::newRow("TYPE2 four letters") << int(TYPE2) << true << "ABCD" << "ABCD" << "ABCD" << "32.00" << "0.00"
                                        << "32.00" << false << 6.0f;
    QTest::newRow("TYPE3 awards nothing") << int(TYPE3) << true << "ABD" << "ABD" << "ABD" << "32.00" << "0.00"
                                          << "32.00" << false << 6.0f;
    QTest::newRow("nothing marked") << int(MA) << true << "ABD" << "ABD" << "X" << "38.00" << "0.00" << "32.00"
                                    << true << 6.0f;
    // Single choice is scored by exact text whatever the compare type.
    QTest::newRow("single AB to B loses pink") << int(MA) << false << "B" << "AB" << "B" << "32.00" << "6.00"
                                               << "38.00" << false << 6.0f;
    QTest::newRow("single B to AB") << int(TYPE2) << false << "B" << "B" << "AB" << "38.00" << "0.00" << "32.00"
                                    << true << 6.0f;
}

void ObjectiveViewerTest::testWriteBackRescores()
{
    QFETCH(int, compareType);
    QFETCH(bool, multiple);
    QFETCH(QString, key);
    QFETCH(QString, oldMark);
    QFETCH(QString, newMark);
    QFETCH(QString, oldTotal);
    QFETCH(QString, score);
    QFETCH(QString, total);
    QFETCH(bool, pink);
    QFETCH(float, full);
    ReviewTestTable table({QStringLiteral("7")});
    table.objective << ReviewTestTable::key(7, key, multiple, CompareType(compareType), full, 1.5f);
    const int row = table.addStudent(QStringLiteral("2026001"), {{QStringLiteral("7"), oldMark}});
    table.item(row, 1)->setText(oldTotal);

    QVERIFY(writeBackObjectiveMark(&table, row, QStringLiteral("2026001"), QStringLiteral("7"), newMark,
                                   table.objective, table.optional));
    QCOMPARE(table.text(row, QStringLiteral("7")), newMark);
    QCOMPARE(table.score(row, QStringLiteral("7")), score);
    QCOMPARE(table.total(row), total);
    QCOMPARE(table.pink(row, QStringLiteral("7")), pink);
    QCOMPARE(table.item(row, table.column(QStringLiteral("7")))->data(Qt::UserRole + 3).toString(),
             QStringLiteral("4"));
}

void ObjectiveViewerTest::testWriteBackFindsTheStudent_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("written");
    QTest::addColumn<int>("rowNow");
    QTest::newRow("row unchanged") << "none" << true << 1;
    QTest::newRow("a row above removed") << "remove above" << true << 0;
    QTest::newRow("row removed") << "remove" << false << -1;
    QTest::newRow("results dropped as a duplicate") << "drop" << false << 1;
    QTest::newRow("cell gone") << "take cell" << false << 1;
    QTest::newRow("no key: scored 0 as single choice") << "no key" << true << 1;
}

void ObjectiveViewerTest::testWriteBackFindsTheStudent()
{
    QFETCH(QString, change);
    QFETCH(bool, written);
    QFETCH(int, rowNow);
    const QString code = QStringLiteral("2026002");
    ReviewTestTable table({QStringLiteral("3"), QStringLiteral("5")});
    table.objective << ReviewTestTable::key(3, QStringLiteral("C"), false, SC, 2.0f, 0.0f)
                    << ReviewTestTable::key(5, QStringLiteral("A"), false, SC, 2.0f, 0.0f);
    // The same question in the optional keys is not the one scored.
    table.optional << ReviewTestTable::key(3, QStringLiteral("D"), false, SC, 9.0f, 0.0f);
    table.addStudent(QStringLiteral("2026001"), {{QStringLiteral("3"), QStringLiteral("C")}});
    const int row = table.addStudent(code, {{QStringLiteral("3"), QStringLiteral("D")},
                                           {QStringLiteral("5"), QStringLiteral("A")}});
    QCOMPARE(table.total(row), QStringLiteral("2.00"));

    // What happened to the table while the viewer was open.
    if (change == QLatin1String("remove above"))
        table.removeRow(0);
    else if (change == QLatin1String("remove"))
        table.removeRow(row);
    else if (change == QLatin1String("drop"))
        table.item(row, 0)->setData(Qt::UserRole + 2, true);
    else if (change == QLatin1String("take cell"))
        delete table.takeItem(row, table.column(QStringLiteral("3")));
    else if (change == QLatin1String("no key")) {
        table.objective.removeFirst();
        table.optional.clear();
    }

    const int rows = table.rowCount();
    const bool ok = writeBackObjectiveMark(&table, row, code, QStringLiteral("3"), QStringLiteral("C"),
                                           table.objective, table.optional);
    QCOMPARE(ok, written);
    QCOMPARE(table.rowCount(), rows);
    if (written) {
        QCOMPARE(table.text(rowNow, QStringLiteral("3")), QStringLiteral("C"));
        const bool keyed = change != QLatin1String("no key");
        QCOMPARE(table.score(rowNow, QStringLiteral("3")), keyed ? QStringLiteral("2.00") : QStringLiteral("0.00"));
        QCOMPARE(table.total(rowNow), keyed ? QStringLiteral("4.00") : QStringLiteral("2.00"));
    } else if (rowNow >= 0) {
        QCOMPARE(table.total(rowNow), QStringLiteral("2.00"));
        QVERIFY(table.text(rowNow, QStringLiteral("3")) != QStringLiteral("C"));
    }
    // The other student is never touched.
    if (change != QLatin1String("remove above"))
        QCOMPARE(table.text(0, QStringLiteral("3")), QStringLiteral("C"));
}

QTEST_MAIN(ObjectiveViewerTest)
#include "objectiveviewer_test.moc"
