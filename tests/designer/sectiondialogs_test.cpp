// The section parameter dialogs: student code and corner check, objective
// blocks plain and of an optional group, optional groups and subjective
// blocks; their checks and refusals against the template on the canvas, and
// the reopening of a section's dialog from its information action.

#include "canvasfixture.h"
#include "designertestutil.h"
#include "dialogcornercheckname.h"
#include "dialogsectioncode.h"
#include "dialogsectionobject.h"
#include "dialogsectionobjectoptional.h"
#include "dialogsectionoptionalitem.h"
#include "dialogsectionsubject.h"
#include "dialogsectionsubjectoptional.h"
#include "messagebox.h"
#include "omrresources.h"
#include "questionsections.h"
#include "treeitems.h"
#include "widgettestutil.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QtTest>

#include <memory>
#include <type_traits>

using namespace DesignerTest;

namespace {

QStringList listTexts(const QListWidget *list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

QStringList comboTexts(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

QStringList column(const QTableWidget *table, int col)
{
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row)
        texts << (table->item(row, col) ? table->item(row, col)->text() : QString());
    return texts;
}

void type(QLineEdit *field, const QString &text)
{
    field->clear();
    QTest::keyClicks(field, text);
}

// A dialog's verdict on OK: closed as accepted, and the boxes it showed.
struct Verdict {
    bool accepted;
    QStringList boxes;
};

Verdict pressOk(QDialog *dialog, MessageBoxRecorder &boxes)
{
    boxes.clear();
    dialog->accept();
    Verdict verdict{dialog->result() == QDialog::Accepted && !dialog->isVisible(), {}};
    for (const MessageBoxSpec &box : boxes.boxes()) {
        // Every refusal is a warning titled "提示" with one OK button.
        if (box.title != QStringLiteral("提示") || box.buttons != QMessageBox::StandardButtons(QMessageBox::Ok)
            || box.icon != QMessageBox::Warning)
            verdict.boxes << QStringLiteral("bad box: ") + box.title;
        verdict.boxes << box.text;
    }
    return verdict;
}

} // namespace

class SectionDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void codeDialogChecks_data();
    void codeDialogChecks();
    void codeTypeButtonsSwitchPages();
    void cornerCheckName_data();
    void cornerCheckName();

    void objectDialogsListTheTemplate();
    void objectDialogsOnEmptyTemplate();
    void objectDialogChecks_data();
    void objectDialogChecks();
    void objectDialogsRememberChoices_data();
    void objectDialogsRememberChoices();

    void optionalItemAdding_data();
    void optionalItemAdding();
    void optionalItemChecks_data();
    void optionalItemChecks();
    void optionalItemContextMenu();
    void optionalItemDeletingTheEditedCandidate();

    void subjectDialogsListThePage();
    void subjectDialogChecks_data();
    void subjectDialogChecks();

    void infoActionReopensTheDialog_data();
    void infoActionReopensTheDialog();

private:
    // The template of the objective and subjective cases: questions 1-20
    // (page 1), 21-25 of group 22 (page 2), irregular 30 of group 22 and an
    // optional group 22/23; blocks 1 and 3 (of group 22) on page 2, 7 on page 1.
    void buildTemplate();
    template <typename S>
    S *add(S *section)
    {
        canvas_->sectionList().append(section);
        return section;
    }

    std::unique_ptr<CanvasScene> scene_;
    MyLabel *canvas_ = nullptr;
    MessageBoxRecorder *boxes_ = nullptr;
};

void SectionDialogsTest::initTestCase()
{
    initOmrResources();
}

void SectionDialogsTest::init()
{
    scene_ = std::make_unique<CanvasScene>();
    canvas_ = scene_->canvas;
    boxes_ = new MessageBoxRecorder;
}

void SectionDialogsTest::cleanup()
{
    delete boxes_;
    boxes_ = nullptr;
    scene_.reset();
}

void SectionDialogsTest::buildTemplate()
{
    add(new MySectionObject(1, canvas_, 1, 20, 0, 4, 20, 12));
    add(new MySectionObjectOptional(2, canvas_, 22, 21, 25, 1, 5, 20, 12));
    add(new MySectionObjectAbnormal(2, canvas_, true, 22, 30, 3));
    auto *group = add(new MySectionOptionalItem(2, canvas_));
    group->Items = QStringList{QStringLiteral("22"), QStringLiteral("23")};
    group->DefaultItem = QStringLiteral("22");
    add(new MySectionSubject(canvas_, 2, 1));
    add(new MySectionSubjectOptional(canvas_, 2, 3, 22));
    add(new MySectionSubject(canvas_, 1, 7));
}

// ---- student code ----

void SectionDialogsTest::codeDialogChecks_data()
{
    QTest::addColumn<bool>("barcode");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("numberDirection");
    QTest::addColumn<QString>("barDirection");
    QTest::addColumn<QSize>("bubble");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QVector<int>>("values");   // code type, length, number direction, bar direction

    const QSize measured(20, 12);
    const QString lengthRefusal = QStringLiteral("考号长度必须在 2 到 50 之间");
    QTest::newRow("bubble code as opened") << false << "6" << "竖排" << "水平" << measured << true << QStringList()
                                           << QVector<int>{0, 6, 0, 0};
    QTest::newRow("typed length beyond the list") << false << "35" << "横排" << "水平" << measured << true
                                                  << QStringList() << QVector<int>{0, 35, 1, 0};
    QTest::newRow("longest length") << false << "50" << "竖排" << "水平" << measured << true << QStringList()
                                    << QVector<int>{0, 50, 0, 0};
    QTest::newRow("other direction texts") << false << "8" << "横" << "斜" << measured << true << QStringList()
                                           << QVector<int>{0, 8, 0, 1};
    QTest::newRow("bubble size not measured") << false << "6" << "竖排" << "水平" << QSize(20, 0) << false
                                              << QStringList{QStringLiteral("设置涂点考号之前需要先【测量涂点大小】")}
                                              << QVector<int>();
    QTest::newRow("length 1") << false << "1" << "竖排" << "水平" << measured << false
                              << QStringList{lengthRefusal} << QVector<int>();
    QTest::newRow("empty length") << false << "" << "竖排" << "水平" << measured << false
                                  << QStringList{lengthRefusal} << QVector<int>();
    QTest::newRow("barcode whatever size and length") << true << "" << "竖排" << "垂直" << QSize() << true
                                                      << QStringList() << QVector<int>{1, 0, 0, 1};
}

void SectionDialogsTest::codeDialogChecks()
{
    QFETCH(bool, barcode);
    QFETCH(QString, length);
    QFETCH(QString, numberDirection);
    QFETCH(QString, barDirection);
    QFETCH(QSize, bubble);
    QFETCH(bool, accepted);
    QFETCH(QStringList, boxes);
    QFETCH(QVector<int>, values);

    DialogSectionCode dialog;
    dialog.markPointWidth = qMax(0, bubble.width());
    dialog.markPointHeight = qMax(0, bubble.height());
    dialog.show();
    QCOMPARE(child<QComboBox>(&dialog, "comboBoxCodeLength")->currentText(), QStringLiteral("6"));
    QCOMPARE(child<QComboBox>(&dialog, "comboBoxCodeLength")->count(), 19);
    if (barcode)
        QTest::mouseClick(child<QRadioButton>(&dialog, "radioButtonBar"), Qt::LeftButton);
    // Typed through the length list's validator, as a person would.
    type(child<QComboBox>(&dialog, "comboBoxCodeLength")->lineEdit(), length);
    QCOMPARE(child<QComboBox>(&dialog, "comboBoxCodeLength")->currentText(), length);
    child<QComboBox>(&dialog, "comboBoxCodeNumDirection")->setEditText(numberDirection);
    child<QComboBox>(&dialog, "comboBoxBarDirection")->setEditText(barDirection);

    const Verdict verdict = pressOk(&dialog, *boxes_);
    QCOMPARE(verdict.boxes, boxes);
    QCOMPARE(verdict.accepted, accepted);
    if (accepted) {
        QCOMPARE(dialog.codeType, values[0]);
        if (!barcode) {
            QCOMPARE(dialog.codeLength, values[1]);
            QCOMPARE(dialog.numberDirection, values[2]);
        }
        QCOMPARE(dialog.barDirection, values[3]);
    } else {
        QCOMPARE(child<QComboBox>(&dialog, "comboBoxCodeLength")->currentText(), length);   // input kept
    }
}

void SectionDialogsTest::codeTypeButtonsSwitchPages()
{
    DialogSectionCode dialog;
    dialog.show();
    QCOMPARE(child<QStackedWidget>(&dialog, "stackedWidget")->currentWidget(), child<QWidget>(&dialog, "page"));
    QTest::mouseClick(child<QRadioButton>(&dialog, "radioButtonBar"), Qt::LeftButton);
    QCOMPARE(child<QStackedWidget>(&dialog, "stackedWidget")->currentWidget(), child<QWidget>(&dialog, "page_2"));
    QVERIFY(!child<QRadioButton>(&dialog, "radioButtonMarkPoint")->isChecked());
    QTest::mouseClick(child<QRadioButton>(&dialog, "radioButtonMarkPoint"), Qt::LeftButton);
    QCOMPARE(child<QStackedWidget>(&dialog, "stackedWidget")->currentWidget(), child<QWidget>(&dialog, "page"));
    QVERIFY(!child<QRadioButton>(&dialog, "radioButtonBar")->isChecked());
}

void SectionDialogsTest::cornerCheckName_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("typed");   // null: leave the proposal
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("name");

    QTest::newRow("proposal as opened") << -1 << QString() << true << QStringLiteral("左上");
    QTest::newRow("another proposal") << 3 << QString() << true << QStringLiteral("右下");
    QTest::newRow("typed name wins") << 0 << QStringLiteral("中间") << true << QStringLiteral("中间");
    QTest::newRow("one blank kept as it is") << -1 << QStringLiteral(" ") << true << QStringLiteral(" ");
    QTest::newRow("empty stays open") << -1 << QStringLiteral("") << false << QString();
}

void SectionDialogsTest::cornerCheckName()
{
    QFETCH(int, index);
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(QString, name);

    DialogCornerCheckName dialog(canvas_);
    dialog.show();
    if (index >= 0)
        child<QComboBox>(&dialog, "comboBoxName")->setCurrentIndex(index);
    if (!typed.isNull())
        child<QComboBox>(&dialog, "comboBoxName")->setEditText(typed);
    const Verdict verdict = pressOk(&dialog, *boxes_);
    QCOMPARE(verdict.boxes, QStringList());
    QCOMPARE(verdict.accepted, accepted);
    if (accepted)
        QCOMPARE(dialog.name, name);
}

// ---- objective blocks ----

void SectionDialogsTest::objectDialogsListTheTemplate()
{
    buildTemplate();
    DialogSectionObject plain(false, canvas_);
    plain.show();
    QCOMPARE(child<QLabel>(&plain, "labelItemIDMax")->text(), QStringLiteral("30"));
    QCOMPARE(child<QLineEdit>(&plain, "lineEditItemStart")->text(), QStringLiteral("31"));
    QVERIFY(child<QLineEdit>(&plain, "lineEditItemEnd")->text().isEmpty());
    QCOMPARE(child<QTableWidget>(&plain, "tableWidget")->columnCount(), 3);
    QStringList numbers;
    for (int n = 1; n <= 25; ++n)
        numbers << QString::number(n);
    numbers << QStringLiteral("30");
    QCOMPARE(column(child<QTableWidget>(&plain, "tableWidget"), 0), numbers);   // as numbers: 9 before 10
    QCOMPARE(column(child<QTableWidget>(&plain, "tableWidget"), 1).mid(19, 2), (QStringList{"横排", "竖排"}));
    QCOMPARE(column(child<QTableWidget>(&plain, "tableWidget"), 2).mid(19, 2), (QStringList{"4", "5"}));
    QCOMPARE(child<QTableWidget>(&plain, "tableWidget")->item(25, 1)->text(), QStringLiteral("-"));
    QCOMPARE(child<QTableWidget>(&plain, "tableWidget")->item(25, 2)->text(), QStringLiteral("3"));

    DialogSectionObjectOptional optional(true, canvas_);
    optional.show();
    QVERIFY(child<QWidget>(&optional, "widgetAbnormal")->isVisible());
    QVERIFY(!child<QWidget>(&optional, "widgetNormal")->isVisible());
    QCOMPARE(child<QLineEdit>(&optional, "lineEditItem")->text(), QStringLiteral("31"));
    QCOMPARE(child<QTableWidget>(&optional, "tableWidget")->columnCount(), 4);
    const QStringList groups = column(child<QTableWidget>(&optional, "tableWidget"), 3);
    QCOMPARE(groups.first(), QString());
    QCOMPARE(groups.mid(20), QVector<QString>(6, QStringLiteral("22")).toList());
    QCOMPARE(comboTexts(child<QComboBox>(&optional, "comboBoxOptionalItem")), (QStringList{"22", "23"}));
    QCOMPARE(child<QComboBox>(&optional, "comboBoxOptionalItem")->currentIndex(), -1);
    QCOMPARE(child<QComboBox>(&optional, "comboBoxOptionalItem")->itemData(1).toInt(), 23);
}

void SectionDialogsTest::objectDialogsOnEmptyTemplate()
{
    DialogSectionObject plain(false, canvas_);
    plain.show();
    QCOMPARE(child<QTableWidget>(&plain, "tableWidget")->rowCount(), 0);
    QCOMPARE(child<QLabel>(&plain, "labelItemIDMax")->text(), QStringLiteral("0"));
    QCOMPARE(child<QLineEdit>(&plain, "lineEditItemStart")->text(), QStringLiteral("1"));

    // Without an optional group the optional dialog can only be closed.
    DialogSectionObjectOptional optional(false, canvas_);
    optional.show();
    QCOMPARE(child<QComboBox>(&optional, "comboBoxOptionalItem")->count(), 0);
    type(child<QLineEdit>(&optional, "lineEditItemEnd"), QStringLiteral("3"));
    const Verdict verdict = pressOk(&optional, *boxes_);
    QVERIFY(!verdict.accepted);
    QCOMPARE(verdict.boxes, QStringList{QStringLiteral("请选择所属备选题")});
}

void SectionDialogsTest::objectDialogChecks_data()
{
    QTest::addColumn<bool>("optional");
    QTest::addColumn<bool>("irregular");
    QTest::addColumn<QString>("start");   // the item field in the irregular layout
    QTest::addColumn<QString>("end");
    QTest::addColumn<int>("candidate");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("boxes");

    struct Case {
        const char *name;
        bool irregular;
        const char *start;
        const char *end;
        bool accepted;
        const char *box;
    };
    const Case cases[] = {
        {"free range", false, "31", "35", true, nullptr},
        {"one question", false, "26", "26", true, nullptr},
        {"smallest conflict named", false, "18", "22", false, "题号 18 已存在"},
        {"irregular question in range", false, "28", "31", false, "题号 30 已存在"},
        {"reversed range", false, "5", "3", false, "结束题号 不能小于 起始题号"},
        {"end missing", false, "31", "", false, nullptr},
        {"start zero", false, "0", "35", false, nullptr},
        {"irregular free", true, "26", "", true, nullptr},
        {"irregular taken", true, "21", "", false, "题号 21 已存在"},
        {"irregular missing", true, "", "", false, nullptr},
    };
    for (const bool optional : {false, true}) {
        for (const Case &c : cases) {
            const QStringList boxes = c.box ? QStringList{QString::fromUtf8(c.box)} : QStringList();
            QTest::addRow("%s: %s", optional ? "optional" : "plain", c.name)
                << optional << c.irregular << QString::fromLatin1(c.start) << QString::fromLatin1(c.end) << 1
                << c.accepted << boxes;
        }
    }
    // The group is asked for before any number is looked at.
    QTest::newRow("optional: no group chosen") << true << false << "18" << "22" << -1 << false
                                               << QStringList{QStringLiteral("请选择所属备选题")};
}

void SectionDialogsTest::objectDialogChecks()
{
    QFETCH(bool, optional);
    QFETCH(bool, irregular);
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(int, candidate);
    QFETCH(bool, accepted);
    QFETCH(QStringList, boxes);

    buildTemplate();
    auto check = [&](auto &dialog) {
        dialog.show();
        if constexpr (std::is_same<std::decay_t<decltype(dialog)>, DialogSectionObjectOptional>::value)
            child<QComboBox>(&dialog, "comboBoxOptionalItem")->setCurrentIndex(candidate);
        if (irregular) {
            type(child<QLineEdit>(&dialog, "lineEditItem"), start);
        } else {
            type(child<QLineEdit>(&dialog, "lineEditItemStart"), start);
            type(child<QLineEdit>(&dialog, "lineEditItemEnd"), end);
        }
        const Verdict verdict = pressOk(&dialog, *boxes_);
        QCOMPARE(verdict.boxes, boxes);
        QCOMPARE(verdict.accepted, accepted);
        if (!accepted) {
            QCOMPARE((irregular ? child<QLineEdit>(&dialog, "lineEditItem") : child<QLineEdit>(&dialog, "lineEditItemStart"))->text(), start);
            return;
        }
        if (irregular) {
            QCOMPARE(dialog.item, start.toInt());
        } else {
            QCOMPARE(dialog.itemStart, start.toInt());
            QCOMPARE(dialog.itemEnd, end.toInt());
        }
    };
    if (optional) {
        DialogSectionObjectOptional dialog(irregular, canvas_);
        check(dialog);
        if (accepted)
            QCOMPARE(dialog.group, 23);
    } else {
        DialogSectionObject dialog(irregular, canvas_);
        check(dialog);
    }
}

void SectionDialogsTest::objectDialogsRememberChoices_data()
{
    QTest::addColumn<bool>("optional");
    QTest::newRow("plain") << false;
    QTest::newRow("optional") << true;
}

void SectionDialogsTest::objectDialogsRememberChoices()
{
    QFETCH(bool, optional);
    buildTemplate();
    auto run = [&](auto &dialog) {
        // Opened fresh: four options side by side.
        dialog.show();
        QCOMPARE(child<QComboBox>(&dialog, "comboBoxOptionCount")->count(), 15);
        QCOMPARE(child<QComboBox>(&dialog, "comboBoxOptionCount")->currentText(), QStringLiteral("4(A|B|C|D)"));
        QCOMPARE(child<QComboBox>(&dialog, "comboBoxOptionDirection")->currentIndex(), 0);
        dialog.hide();
        // Opened after an earlier choice of "6(A|B|C|D|E|F)" one under the other.
        dialog.lastOptionCountIndex = 4;
        dialog.lastOptionDirectionIndex = 1;
        dialog.show();
        if constexpr (std::is_same<std::decay_t<decltype(dialog)>, DialogSectionObjectOptional>::value)
            child<QComboBox>(&dialog, "comboBoxOptionalItem")->setCurrentIndex(0);
        QCOMPARE(child<QComboBox>(&dialog, "comboBoxOptionCount")->currentText(), QStringLiteral("6(A|B|C|D|E|F)"));
        QCOMPARE(child<QComboBox>(&dialog, "comboBoxOptionDirection")->currentText(), QStringLiteral("竖排"));
        child<QComboBox>(&dialog, "comboBoxOptionCount")->setCurrentIndex(14);
        type(child<QLineEdit>(&dialog, "lineEditItemEnd"), QStringLiteral("33"));
        QVERIFY(pressOk(&dialog, *boxes_).accepted);
        QCOMPARE(dialog.optionCount, 16);
        QCOMPARE(dialog.lastOptionCountIndex, 14);
        QCOMPARE(dialog.optionDirection, 1);
        QCOMPARE(dialog.lastOptionDirectionIndex, 1);
    };
    if (optional) {
        DialogSectionObjectOptional dialog(false, canvas_);
        run(dialog);
    } else {
        DialogSectionObject dialog(false, canvas_);
        run(dialog);
    }
}

// ---- optional group ----

void SectionDialogsTest::optionalItemAdding_data()
{
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("defaultItem");

    QTest::newRow("listed ascending, first is default") << QStringList{"23", "22"} << QStringList{"22", "23"} << "23";
    QTest::newRow("sorted as numbers") << QStringList{"10", "9", "100"} << QStringList{"9", "10", "100"} << "10";
    QTest::newRow("nothing below 1") << QStringList{"0", ""} << QStringList() << "";
    QTest::newRow("duplicates listed") << QStringList{"5", "5"} << QStringList{"5", "5"} << "5";
}

void SectionDialogsTest::optionalItemAdding()
{
    QFETCH(QStringList, typed);
    QFETCH(QStringList, listed);
    QFETCH(QString, defaultItem);

    DialogSectionOptionalItem dialog(canvas_);
    dialog.show();
    for (const QString &text : typed) {
        type(child<QLineEdit>(&dialog, "lineEditItem"), text);
        QTest::mouseClick(child<QPushButton>(&dialog, "pushButtonAdd"), Qt::LeftButton);
    }
    QCOMPARE(listTexts(child<QListWidget>(&dialog, "listWidget")), listed);
    QCOMPARE(child<QLineEdit>(&dialog, "lineEditItemDefault")->text(), defaultItem);
    if (!listed.isEmpty())
        QVERIFY(child<QLineEdit>(&dialog, "lineEditItem")->text().isEmpty());
}

void SectionDialogsTest::optionalItemChecks_data()
{
    QTest::addColumn<QStringList>("items");   // what the dialog opens with
    QTest::addColumn<QString>("defaultItem");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("result");

    QTest::newRow("two candidates") << QStringList{"23", "22"} << "23" << true << QStringList()
                                    << QStringList{"22", "23"};
    QTest::newRow("same candidate twice") << QStringList{"22", "22"} << "22" << false
                                          << QStringList{QStringLiteral("题号 22 重复")} << QStringList();
    QTest::newRow("default outside") << QStringList{"22", "23"} << "24" << false
                                     << QStringList{QStringLiteral("默认题号不在题号范围内")} << QStringList();
    QTest::newRow("default empty") << QStringList{"22", "23"} << "" << false
                                   << QStringList{QStringLiteral("默认题号不在题号范围内")} << QStringList();
    QTest::newRow("one candidate") << QStringList{"22"} << "22" << false << QStringList() << QStringList();
}

void SectionDialogsTest::optionalItemChecks()
{
    QFETCH(QStringList, items);
    QFETCH(QString, defaultItem);
    QFETCH(bool, accepted);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, result);

    DialogSectionOptionalItem dialog(canvas_);
    dialog.items = items;
    dialog.defaultItem = defaultItem;
    dialog.show();
    const Verdict verdict = pressOk(&dialog, *boxes_);
    QCOMPARE(verdict.boxes, boxes);
    QCOMPARE(verdict.accepted, accepted);
    if (accepted) {
        QCOMPARE(dialog.items, result);
        QCOMPARE(dialog.defaultItem, defaultItem);
    }
    QCOMPARE(child<QListWidget>(&dialog, "listWidget")->count(), items.size());   // nothing lost by a refusal
}

void SectionDialogsTest::optionalItemContextMenu()
{
    DialogSectionOptionalItem dialog(canvas_);
    dialog.items = QStringList{"22", "23"};
    dialog.show();
    QListWidget *list = child<QListWidget>(&dialog, "listWidget");
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto rightClick = [list](const QPoint &pos) {
        return WidgetTest::popupTexts([list, pos] {
            QContextMenuEvent event(QContextMenuEvent::Mouse, pos, list->viewport()->mapToGlobal(pos));
            QApplication::sendEvent(list->viewport(), &event);
        });
    };

    const QPoint empty(5, list->visualItemRect(list->item(1)).bottom() + 4);
    QVERIFY2(empty.y() < list->viewport()->height(), qPrintable(QString::number(list->viewport()->height())));
    QVERIFY(!list->itemAt(empty));
    QCOMPARE(rightClick(empty), QStringList());

    const QPoint on23 = list->visualItemRect(list->item(1)).center();
    QCOMPARE(rightClick(on23), QStringList{QStringLiteral("删除(&D)")});
    QCOMPARE(list->currentItem()->text(), QStringLiteral("23"));
    dialog.onDelete();
    QCOMPARE(listTexts(list), QStringList{"22"});
}

void SectionDialogsTest::optionalItemDeletingTheEditedCandidate()
{
    DialogSectionOptionalItem dialog(canvas_);
    dialog.items = QStringList{"22", "23", "24"};
    dialog.show();
    QListWidget *list = child<QListWidget>(&dialog, "listWidget");
    list->setCurrentRow(1);
    dialog.onItemDoubleClicked(list->item(1));
    QVERIFY(list->isPersistentEditorOpen(list->item(1)));
    dialog.onDelete();
    // The editor's item is gone: choosing another must not reach it.
    list->setCurrentRow(0);
    list->setCurrentRow(1);
    QCOMPARE(listTexts(list), (QStringList{"22", "24"}));
    child<QLineEdit>(&dialog, "lineEditItemDefault")->setText(QStringLiteral("24"));
    QVERIFY(pressOk(&dialog, *boxes_).accepted);
    QCOMPARE(dialog.items, (QStringList{"22", "24"}));
}

// ---- subjective blocks ----

void SectionDialogsTest::subjectDialogsListThePage()
{
    buildTemplate();
    auto expectPage2 = [](auto &dialog) {
        QCOMPARE(listTexts(child<QListWidget>(&dialog, "listWidget")), (QStringList{"1", "3"}));
        QCOMPARE(child<QLabel>(&dialog, "labelTips")->text(), QStringLiteral("页 2 已有块号："));
        QCOMPARE(child<QLineEdit>(&dialog, "lineEditPageID")->text(), QStringLiteral("2"));
        QVERIFY(!child<QLineEdit>(&dialog, "lineEditPageID")->isEnabled());
    };
    DialogSectionSubject plain(canvas_);
    plain.page = 2;
    plain.show();
    expectPage2(plain);
    QCOMPARE(child<QLineEdit>(&plain, "lineEditSectionID")->text(), QStringLiteral("4"));
    QCOMPARE(child<QLabel>(&plain, "labelSuggest")->text(), QStringLiteral("4"));
    QVERIFY(child<QWidget>(&plain, "widgetSuggest")->isVisible());

    DialogSectionSubjectOptional optional(canvas_);
    optional.page = 2;
    optional.show();
    expectPage2(optional);
    QCOMPARE(child<QLabel>(&optional, "labelSuggest")->text(), QStringLiteral("4"));
    QCOMPARE(comboTexts(child<QComboBox>(&optional, "comboBoxOptionalItem")), (QStringList{"22", "23"}));
    QCOMPARE(child<QComboBox>(&optional, "comboBoxOptionalItem")->currentIndex(), -1);

    // Editing shows the block's own number and group, no suggestion; a group
    // no candidate names leaves the first candidate chosen.
    for (const int group : {23, 99}) {
        DialogSectionSubjectOptional editing(canvas_);
        editing.page = 2;
        editing.blockNumber = 3;
        editing.group = group;
        editing.editing = 1;
        editing.show();
        QCOMPARE(child<QLineEdit>(&editing, "lineEditSectionID")->text(), QStringLiteral("3"));
        QVERIFY(!child<QWidget>(&editing, "widgetSuggest")->isVisible());
        QCOMPARE(child<QComboBox>(&editing, "comboBoxOptionalItem")->currentText(), group == 23 ? "23" : "22");
    }

    DialogSectionSubject empty(canvas_);
    empty.page = 3;
    empty.show();
    QCOMPARE(child<QListWidget>(&empty, "listWidget")->count(), 0);
    QCOMPARE(child<QLineEdit>(&empty, "lineEditSectionID")->text(), QStringLiteral("1"));
}

void SectionDialogsTest::subjectDialogChecks_data()
{
    QTest::addColumn<bool>("optional");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("editedNumber");   // 0: creating
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("candidate");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("boxes");

    const QStringList taken{QStringLiteral("块号值已存在")};
    for (const bool optional : {false, true}) {
        const char *kind = optional ? "optional" : "plain";
        QTest::addRow("%s: new free number", kind) << optional << 2 << 0 << "4" << 1 << true << QStringList();
        QTest::addRow("%s: new, taken by a plain block", kind) << optional << 2 << 0 << "1" << 1 << false << taken;
        QTest::addRow("%s: new, taken by a group block", kind) << optional << 2 << 0 << "3" << 1 << false << taken;
        QTest::addRow("%s: other page's number is free", kind) << optional << 1 << 0 << "3" << 1 << true << QStringList();
        QTest::addRow("%s: zero", kind) << optional << 2 << 0 << "0" << 1 << false << QStringList();
        QTest::addRow("%s: empty", kind) << optional << 2 << 0 << "" << 1 << false << QStringList();
        QTest::addRow("%s: edit keeps its number", kind) << optional << 2 << 3 << "3" << 1 << true << QStringList();
        QTest::addRow("%s: edit to a free number", kind) << optional << 2 << 3 << "5" << 1 << true << QStringList();
        // Two blocks of one number would share one result column and image file.
        QTest::addRow("%s: edit to another block's number", kind) << optional << 2 << 3 << "1" << 1 << false << taken;
        QTest::addRow("%s: edit the other way", kind) << optional << 2 << 1 << "3" << 1 << false << taken;
    }
    // The group is asked for before the number is looked at.
    QTest::newRow("optional: no group chosen") << true << 2 << 0 << "3" << -1 << false
                                               << QStringList{QStringLiteral("请选择所属备选题")};
}

void SectionDialogsTest::subjectDialogChecks()
{
    QFETCH(bool, optional);
    QFETCH(int, page);
    QFETCH(int, editedNumber);
    QFETCH(QString, typed);
    QFETCH(int, candidate);
    QFETCH(bool, accepted);
    QFETCH(QStringList, boxes);

    buildTemplate();
    auto check = [&](auto &dialog) {
        dialog.page = page;
        dialog.blockNumber = editedNumber;
        dialog.editing = editedNumber ? 1 : 0;
        dialog.show();
        if constexpr (std::is_same<std::decay_t<decltype(dialog)>, DialogSectionSubjectOptional>::value)
            child<QComboBox>(&dialog, "comboBoxOptionalItem")->setCurrentIndex(candidate);
        type(child<QLineEdit>(&dialog, "lineEditSectionID"), typed);
        const Verdict verdict = pressOk(&dialog, *boxes_);
        QCOMPARE(verdict.boxes, boxes);
        QCOMPARE(verdict.accepted, accepted);
        QCOMPARE(child<QLineEdit>(&dialog, "lineEditSectionID")->text(), typed);
        // A refused number never reaches the block.
        QCOMPARE(dialog.blockNumber, accepted ? typed.toInt() : editedNumber);
    };
    if (optional) {
        DialogSectionSubjectOptional dialog(canvas_);
        dialog.group = 22;
        check(dialog);
        QCOMPARE(dialog.group, accepted ? 23 : 22);
    } else {
        DialogSectionSubject dialog(canvas_);
        check(dialog);
    }
}

// ---- reopening from the information action ----

void SectionDialogsTest::infoActionReopensTheDialog_data()
{
    QTest::addColumn<int>("kind");   // 0 optional group, 1 subjective block, 2 subjective block of a group
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("treeText");

    QTest::newRow("group edited") << 0 << true << QStringLiteral("选做题备选题题号 22,23,24");
    QTest::newRow("group closed") << 0 << false << QStringLiteral("选做题备选题题号 22,23");
    QTest::newRow("block edited") << 1 << true << QStringLiteral("主观题 1-5");
    QTest::newRow("block closed") << 1 << false << QStringLiteral("主观题 1-2");
    QTest::newRow("group block edited") << 2 << true << QStringLiteral("备选题 23 主观题 1-5");
    QTest::newRow("group block closed") << 2 << false << QStringLiteral("备选题 22 主观题 1-2");
}

void SectionDialogsTest::infoActionReopensTheDialog()
{
    QFETCH(int, kind);
    QFETCH(bool, accept);
    QFETCH(QString, treeText);

    auto *pageItem = new QTreeWidgetItem(scene_->window.tree, {QStringLiteral("页 1")});
    auto *group = add(new MySectionOptionalItem(1, canvas_));
    group->Items = QStringList{"22", "23"};
    group->DefaultItem = QStringLiteral("22");
    MySectionBase *section = group;
    if (kind == 1)
        section = add(new MySectionSubject(canvas_, 1, 2));
    else if (kind == 2)
        section = add(new MySectionSubjectOptional(canvas_, 1, 2, 22));
    // Another block numbered 5 on another page does not stand in the way.
    add(new MySectionSubject(canvas_, 2, 5));
    section->treeItem = new QTreeWidgetItem(pageItem, {section->sectionName()});
    section->treeItem->setData(0, TreeItemDataRole, QVariant::fromValue<QObject *>(section));

    // Nothing in here may return early: the dialog must always be answered.
    QWidget *parent = nullptr;
    QString openedWith;
    WidgetTest::WhenShown<QDialog> answer([accept, &parent, &openedWith](QDialog *dialog) {
        parent = dialog->parentWidget();
        if (!accept) {
            dialog->reject();
            return;
        }
        if (auto *d = qobject_cast<DialogSectionOptionalItem *>(dialog)) {
            type(child<QLineEdit>(d, "lineEditItem"), QStringLiteral("24"));
            QTest::mouseClick(child<QPushButton>(d, "pushButtonAdd"), Qt::LeftButton);
        } else if (auto *d = qobject_cast<DialogSectionSubject *>(dialog)) {
            openedWith = child<QLineEdit>(d, "lineEditSectionID")->text();
            type(child<QLineEdit>(d, "lineEditSectionID"), QStringLiteral("5"));
        } else if (auto *d = qobject_cast<DialogSectionSubjectOptional *>(dialog)) {
            openedWith = child<QLineEdit>(d, "lineEditSectionID")->text() + QLatin1Char('/')
                + child<QComboBox>(d, "comboBoxOptionalItem")->currentText();
            type(child<QLineEdit>(d, "lineEditSectionID"), QStringLiteral("5"));
            child<QComboBox>(d, "comboBoxOptionalItem")->setCurrentIndex(1);
        }
        dialog->accept();
    });

    std::unique_ptr<QMenu> menu(section->buildContextMenu());
    QAction *info = nullptr;
    for (QAction *action : menu->actions()) {
        if (action->text() == QStringLiteral("信息(&I)"))
            info = action;
    }
    QVERIFY(info);
    info->trigger();
    QVERIFY(answer.seen);
    QCOMPARE(parent, static_cast<QWidget *>(canvas_));
    if (accept && kind > 0)
        QCOMPARE(openedWith, kind == 1 ? QStringLiteral("2") : QStringLiteral("2/22"));
    QCOMPARE(section->treeItem->text(0), treeText);
}

QTEST_MAIN(SectionDialogsTest)
#include "sectiondialogs_test.moc"
