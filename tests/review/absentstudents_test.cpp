// Absent-student statistics: the roster against the result table, the class
// tabs, and the exported list's bytes.

#include "dialogabsentstudentstat.h"
#include "examroster.h"
#include "messagebox.h"
#include "omrresources.h"

#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include "widgettestutil.h"

#include <memory>
#include "testutil.h"

using WidgetTest::WhenShown;

namespace {

// Roster entries as "code:name:class".
using Roster = QStringList;
// A tab as its title and its rows "class|name|code".
using Tab = QPair<QString, QStringList>;

// A window holding the exam's roster and its result table, as the
// processing window does.
class ExamWindow : public QWidget, public ExamRoster {
public:
    ExamWindow(const Roster &roster, const QStringList &resultCodes)
    {
        for (const QString &entry : roster) {
            const QStringList parts = entry.split(QLatin1Char(':'));
            StudentInfo student;
            student.code = parts.value(0);
            student.realname = parts.value(1);
            student.className = parts.value(2);
            students.insert(student.code, student);
        }
        results = new QTableWidget(resultCodes.size(), 2, this);
        for (int row = 0; row < resultCodes.size(); ++row)
            results->setItem(row, 0, new QTableWidgetItem(resultCodes[row]));
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(results);
    }
    const QMap<QString, StudentInfo> &rosterByCode() const override { return students; }
    QString rosterGradeName() const override { return QStringLiteral("高一"); }
    QString rosterSubjectName() const override { return QStringLiteral("数学"); }

    QMap<QString, StudentInfo> students;
    QTableWidget *results = nullptr;
};

QList<Tab> tabsOf(const DialogAbsentStudentStat &dialog)
{
    QList<Tab> tabs;
    auto *tabWidget = dialog.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    for (int i = 0; i < tabWidget->count(); ++i) {
        auto *table = qobject_cast<QTableWidget *>(tabWidget->widget(i));
        QStringList rows;
        for (int r = 0; table && r < table->rowCount(); ++r)
            rows << QStringList{table->item(r, 0)->text(), table->item(r, 1)->text(), table->item(r, 2)->text()}.join(
                QLatin1Char('|'));
        tabs << Tab{tabWidget->tabText(i), rows};
    }
    return tabs;
}

using TestUtil::fileBytes;

} // namespace

Q_DECLARE_METATYPE(QList<Tab>)

class AbsentStudentsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initOmrResources(); }
    void testTabs_data();
    void testTabs();
    void testFormAndTables();
    void testWithoutRoster();
    void testExport();
    void testExportFailure();

private:
    // Chooses `path` in the save-file chooser that the export opens (an
    // empty path cancels it) and returns the chooser's title and suggestion.
    QStringList exportTo(DialogAbsentStudentStat &dialog, const QString &path);
};

void AbsentStudentsTest::testTabs_data()
{
    QTest::addColumn<Roster>("roster");
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<QList<Tab>>("tabs");

    const Roster fourInTwoClasses{"1001:甲:一班", "1002:乙:一班", "1003:丙:一班", "1004:丁:二班"};
    QTest::newRow("two recorded") << fourInTwoClasses << QStringList{"1002", "1004"}
                                  << QList<Tab>{{"全部-2", {"一班|甲|1001", "一班|丙|1003"}},
                                                {"一班-2", {"一班|甲|1001", "一班|丙|1003"}}};
    QTest::newRow("record outside the roster") << fourInTwoClasses << QStringList{"9999"}
                                               << QList<Tab>{{"全部-4", {"一班|甲|1001", "一班|乙|1002", "一班|丙|1003",
                                                                         "二班|丁|1004"}},
                                                             {"一班-3", {"一班|甲|1001", "一班|乙|1002", "一班|丙|1003"}},
                                                             {"二班-1", {"二班|丁|1004"}}};
    QTest::newRow("codes compare as text") << Roster{"01001:零:一班", "1001:一:一班"} << QStringList{"1001"}
                                           << QList<Tab>{{"全部-1", {"一班|零|01001"}}, {"一班-1", {"一班|零|01001"}}};
    // Classes come in the order of their smallest absent code; the tab of
    // all groups by class.
    QTest::newRow("class order") << Roster{"1003:c:乙班", "1001:a:乙班", "1002:b:甲班", "1004:d:甲班"}
                                 << QStringList{"1004"}
                                 << QList<Tab>{{"全部-3", {"乙班|a|1001", "乙班|c|1003", "甲班|b|1002"}},
                                               {"乙班-2", {"乙班|a|1001", "乙班|c|1003"}},
                                               {"甲班-1", {"甲班|b|1002"}}};
    QTest::newRow("everyone recorded") << Roster{"1001:a:一班"} << QStringList{"1001", "1001"}
                                       << QList<Tab>{{"全部-0", {}}};
    QTest::newRow("empty roster") << Roster{} << QStringList{"1001"} << QList<Tab>{{"全部-0", {}}};
}

void AbsentStudentsTest::testTabs()
{
    QFETCH(Roster, roster);
    QFETCH(QStringList, results);
    QFETCH(QList<Tab>, tabs);
    ExamWindow window(roster, results);
    DialogAbsentStudentStat dialog(&window, window.results);
    QCOMPARE(tabsOf(dialog), tabs);
}

void AbsentStudentsTest::testFormAndTables()
{
    ExamWindow window({"1001:甲:一班", "1002:乙:一班"}, {"1002"});
    window.results->setRowHidden(0, true); // hidden records count as well
    window.results->insertRow(1);          // a row without a code cell is no record
    DialogAbsentStudentStat dialog(window.results, window.results);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("缺考统计"));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QCOMPARE(dialog.absentStudents.keys(), QStringList{"1001"});
    QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("pushButtonExport"))->text(), QStringLiteral("导出"));
    QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("pushButtonOK"))->text(), QStringLiteral("关闭"));

    auto *tabs = dialog.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    QCOMPARE(tabs->count(), 2);
    for (int i = 0; i < tabs->count(); ++i) {
        auto *table = qobject_cast<QTableWidget *>(tabs->widget(i));
        QVERIFY(table);
        QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("班级"));
        QCOMPARE(table->horizontalHeaderItem(1)->text(), QStringLiteral("姓名"));
        QCOMPARE(table->horizontalHeaderItem(2)->text(), QStringLiteral("考号"));
        QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
    }
    // Nothing in the result table changed.
    QCOMPARE(window.results->rowCount(), 2);
    QCOMPARE(window.results->item(0, 0)->text(), QStringLiteral("1002"));
}

void AbsentStudentsTest::testWithoutRoster()
{
    // A result table outside an exam window: no roster, nobody absent.
    QTableWidget results(1, 1);
    results.setItem(0, 0, new QTableWidgetItem(QStringLiteral("1001")));
    DialogAbsentStudentStat dialog(nullptr, &results);
    QCOMPARE(tabsOf(dialog), (QList<Tab>{{"全部-0", {}}}));
}

QStringList AbsentStudentsTest::exportTo(DialogAbsentStudentStat &dialog, const QString &path)
{
    QStringList seen;
    WhenShown<QFileDialog> choose([&](QFileDialog *chooser) {
        auto *name = chooser->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        seen << chooser->windowTitle() << (name ? name->text() : QString()) << chooser->directory().absolutePath();
        if (path.isEmpty()) {
            chooser->reject();
            return;
        }
        name->setText(path);
        QMetaObject::invokeMethod(chooser, "accept");
    });
    dialog.findChild<QPushButton *>(QStringLiteral("pushButtonExport"))->click();
    return seen;
}

void AbsentStudentsTest::testExport()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("缺考.txt"));
    // Three absent students whose classes come in another order than their codes.
    ExamWindow window({"3003:王五:二班", "1001:张三:三班", "2002:李四:一班", "4004:赵六:一班"}, {"4004"});
    DialogAbsentStudentStat dialog(&window, window.results);
    MessageBoxRecorder boxes;

    QCOMPARE(exportTo(dialog, QString()),
             (QStringList{"保存缺考名单", "高一_数学_缺考名单", QStringLiteral("/")}));
    QCOMPARE(boxes.count(), 0);
    QVERIFY(!QFile::exists(path));

    exportTo(dialog, path);
    const QString expected = QStringLiteral("三班\t张三\t1001\n一班\t李四\t2002\n二班\t王五\t3003\n");
    QCOMPARE(fileBytes(path), expected.toLocal8Bit());
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QStringLiteral("提示"));
    QCOMPARE(boxes.last().icon, QMessageBox::Information);
    QCOMPARE(boxes.last().text, QStringLiteral("已保存至：") + path);

    // Saving again replaces the list; nothing else is left in the folder.
    window.results->setRowCount(0);
    DialogAbsentStudentStat all(&window, window.results);
    QVERIFY(all.saveAbsentList(path));
    QCOMPARE(fileBytes(path).count('\n'), 4);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("缺考.txt")});
}

void AbsentStudentsTest::testExportFailure()
{
    QTemporaryDir dir;
    // A "folder" that is a file: the list cannot be created there.
    const QString notAFolder = dir.filePath(QStringLiteral("file"));
    QFile plain(notAFolder);
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString path = notAFolder + QStringLiteral("/缺考.txt");

    ExamWindow window({"1001:张三:一班"}, {});
    DialogAbsentStudentStat dialog(&window, window.results);
    MessageBoxRecorder boxes;
    exportTo(dialog, path);

    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().icon, QMessageBox::Warning);
    QVERIFY2(boxes.last().text.startsWith(QStringLiteral("保存缺考名单失败：") + path + QStringLiteral("\n")),
             qPrintable(boxes.last().text));
    QVERIFY(!boxes.last().text.contains(QStringLiteral("已保存至")));
    QString error;
    QVERIFY(!dialog.saveAbsentList(path, &error));
    QVERIFY(!error.isEmpty());
}

QTEST_MAIN(AbsentStudentsTest)
#include "absentstudents_test.moc"
