// The small questions of the sheet tools (code, code search, barcode
// direction, anchor search area) and the hidden debug switches.

#include "debugflags.h"
#include "dialogabout.h"
#include "dialogbarcodecheck.h"
#include "dialogdebug.h"
#include "dialogsearchbycode.h"
#include "dialogsetanchorpointroi.h"
#include "dialogsetcode.h"
#include "myclickablelabel.h"
#include "omrresources.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QtTest>

#include "widgettestutil.h"

#include <atomic>

using WidgetTest::WhenShown;

namespace {

template <typename T>
T *child(QWidget *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

void setSwitches(bool anchor, bool code, bool absent, bool object, bool subject)
{
    debugAnchor = anchor;
    debugCode = code;
    debugAbsentMark = absent;
    debugObject = object;
    debugSubject = subject;
}

QList<bool> switches()
{
    return {debugAnchor.load(), debugCode.load(), debugAbsentMark.load(), debugObject.load(), debugSubject.load()};
}

const char *const kBoxes[] = {"checkBoxAnchor", "checkBoxCode", "checkBoxAbsentMark", "checkBoxObject",
                              "checkBoxSubject"};

} // namespace

class SheetDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initOmrResources(); }
    void cleanup() { setSwitches(false, false, false, false, false); }

    void testSetCode();
    void testSearchByCode();
    void testBarCodeCheck_data();
    void testBarCodeCheck();
    void testAnchorArea_data();
    void testAnchorArea();
    void testDebugSwitches();
    void testDebugFromAboutBox();
};

void SheetDialogsTest::testSetCode()
{
    DialogSetCode dialog(nullptr, true);
    dialog.code = QStringLiteral("2024001");
    QCOMPARE(dialog.windowTitle(), QStringLiteral("设定考号"));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    auto *edit = child<QLineEdit>(&dialog, "lineEditCode");
    auto *autoStart = child<QCheckBox>(&dialog, "checkBoxAutoStartProcess");
    QCOMPARE(autoStart->text(), QStringLiteral("开始处理本份答卷"));
    QVERIFY(autoStart->isChecked());

    QString shown;
    WhenShown<DialogSetCode> answer([&](DialogSetCode *d) {
        shown = edit->text();
        edit->clear();
        child<QPushButton>(d, "pushButtonOK")->click();
        QVERIFY(d->isVisible()); // an empty code keeps the dialog open
        QTest::keyClicks(edit, QStringLiteral("12x3"));
        QTest::keyClicks(edit, QString(20, QLatin1Char('9'))); // a 21st digit is refused
        QCOMPARE(edit->text(), QStringLiteral("123") + QString(17, QLatin1Char('9')));
        autoStart->click();
        child<QPushButton>(d, "pushButtonOK")->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(shown, QStringLiteral("2024001"));
    QCOMPARE(dialog.code, QStringLiteral("123") + QString(17, QLatin1Char('9')));
    QVERIFY(!dialog.autoStartProcess);
}

void SheetDialogsTest::testSearchByCode()
{
    DialogSearchByCode dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("考号查找"));
    auto *find = child<QPushButton>(&dialog, "pushButtonOK");
    QCOMPARE(find->text(), QStringLiteral("查找"));
    WhenShown<DialogSearchByCode> answer([&](DialogSearchByCode *d) {
        find->click();
        QVERIFY(d->isVisible());
        // No validator: whatever the table might hold can be searched.
        child<QLineEdit>(d, "lineEditCode")->setText(QStringLiteral("A-01"));
        find->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.code, QStringLiteral("A-01"));
}

void SheetDialogsTest::testBarCodeCheck_data()
{
    QTest::addColumn<QString>("button"); // empty: the window is closed
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("direction");
    QTest::newRow("水平") << "pushButtonHor" << int(QDialog::Accepted) << 0;
    QTest::newRow("垂直") << "pushButtonVer" << int(QDialog::Accepted) << 1;
    QTest::newRow("closed") << QString() << int(QDialog::Rejected) << 0;
}

void SheetDialogsTest::testBarCodeCheck()
{
    QFETCH(QString, button);
    QFETCH(int, result);
    QFETCH(int, direction);
    DialogBarCodeCheck dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("方向"));
    QCOMPARE(child<QLabel>(&dialog, "label")->text(), QStringLiteral("请选择条码考号的方向："));
    QCOMPARE(child<QPushButton>(&dialog, "pushButtonHor")->text(), QStringLiteral("水平"));
    QCOMPARE(child<QPushButton>(&dialog, "pushButtonVer")->text(), QStringLiteral("垂直"));
    WhenShown<DialogBarCodeCheck> answer([&](DialogBarCodeCheck *d) {
        if (button.isEmpty())
            d->close();
        else
            d->findChild<QPushButton *>(button)->click();
    });
    QCOMPARE(dialog.exec(), result);
    QCOMPARE(dialog.direction, direction);
}

void SheetDialogsTest::testAnchorArea_data()
{
    QTest::addColumn<bool>("rectangle");
    QTest::addColumn<QString>("scope");  // radio button pressed, empty: left as it starts
    QTest::addColumn<QString>("anchor"); // radio button pressed, empty: left as it starts
    QTest::addColumn<bool>("everySheet");
    QTest::addColumn<int>("pageScope");
    QTest::addColumn<int>("anchorType");

    QTest::newRow("as it starts") << true << QString() << QString() << true << 0 << 0;
    QTest::newRow("anchor B, this page, this sheet")
        << true << "radioButtonApplyToPresentPage" << "radioButtonB" << false << 1 << 1;
    QTest::newRow("printed text") << false << QString() << QString() << true << 0 << 2;
}

void SheetDialogsTest::testAnchorArea()
{
    QFETCH(bool, rectangle);
    QFETCH(QString, scope);
    QFETCH(QString, anchor);
    QFETCH(bool, everySheet);
    QFETCH(int, pageScope);
    QFETCH(int, anchorType);

    DialogSetAnchorPointROI dialog;
    dialog.isRectangleAnchor = rectangle;
    dialog.currentPage = 3;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("重新设置模板中定位点搜索区域"));
    // Drawn at 380 x 233, grown to what its texts need in the font in use.
    QVERIFY(dialog.width() >= 380 && dialog.height() >= 233);
    QVERIFY(dialog.width() >= dialog.minimumSizeHint().width() && dialog.height() >= dialog.minimumSizeHint().height());
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());

    QString pageText;
    QStringList offered;
    WhenShown<DialogSetAnchorPointROI> answer([&](DialogSetAnchorPointROI *d) {
        pageText = child<QRadioButton>(d, "radioButtonApplyToPresentPage")->text();
        for (const char *name : {"radioButtonA", "radioButtonB", "radioButtonPrintTextAnchor"}) {
            if (child<QRadioButton>(d, name)->isVisible())
                offered << QLatin1String(name);
        }
        if (!scope.isEmpty())
            d->findChild<QRadioButton *>(scope)->click();
        if (!anchor.isEmpty())
            d->findChild<QRadioButton *>(anchor)->click();
        if (!everySheet)
            child<QCheckBox>(d, "checkBoxApplyToAll")->click();
        child<QPushButton>(d, "pushButtonOK")->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(pageText, QStringLiteral("仅当前页：3"));
    const QStringList expected = rectangle ? QStringList{"radioButtonA", "radioButtonB"}
                                           : QStringList{"radioButtonPrintTextAnchor"};
    QCOMPARE(offered, expected);
    QCOMPARE(dialog.pageScope, pageScope);
    QCOMPARE(dialog.anchorType, anchorType);
    QCOMPARE(dialog.applyToAllSheets, everySheet);
}

void SheetDialogsTest::testDebugSwitches()
{
    setSwitches(false, true, false, false, false);
    {
        DialogDebug dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Debug"));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
        QCOMPARE(child<QCheckBox>(&dialog, "checkBoxAbsentMark")->text(), QStringLiteral("缺考标记"));
        QList<bool> shown;
        WhenShown<DialogDebug> answer([&](DialogDebug *d) {
            for (const char *name : kBoxes)
                shown << child<QCheckBox>(d, name)->isChecked();
            child<QCheckBox>(d, "checkBoxCode")->click();
            child<QCheckBox>(d, "checkBoxAnchor")->click();
            child<QPushButton>(d, "pushButtonOK")->click();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(shown, (QList<bool>{false, true, false, false, false}));
        QCOMPARE(switches(), (QList<bool>{true, false, false, false, false}));
    }
    {   // Rejected: no switch changes.
        DialogDebug dialog;
        WhenShown<DialogDebug> answer([](DialogDebug *d) {
            for (const char *name : kBoxes)
                child<QCheckBox>(d, name)->setChecked(true);
            QTest::keyClick(d, Qt::Key_Escape);
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QCOMPARE(switches(), (QList<bool>{true, false, false, false, false}));
    }
}

void SheetDialogsTest::testDebugFromAboutBox()
{
    // The processing program's about box opens the switches on every fifth
    // click of its logo.
    DialogAbout::Program program = DialogAbout::ardentiq();
    program.hiddenTool = [](QWidget *) {
        DialogDebug debug;
        debug.exec();
    };
    DialogAbout about(program);
    about.show();
    auto *logo = child<MyClickableLabel>(&about, "labelLogo");
    int opened = 0;
    for (int round = 0; round < 2; ++round) {
        WhenShown<DialogDebug> answer([&opened](DialogDebug *d) {
            ++opened;
            child<QCheckBox>(d, "checkBoxObject")->click();
            child<QPushButton>(d, "pushButtonOK")->click();
        });
        for (int i = 0; i < 5; ++i)
            QTest::mouseClick(logo, Qt::LeftButton);
        QVERIFY(answer.seen);
    }
    QCOMPARE(opened, 2);
    // Checked by the first, shown checked and unchecked by the second.
    QCOMPARE(switches(), (QList<bool>{false, false, false, false, false}));
}

QTEST_MAIN(SheetDialogsTest)
#include "sheetdialogs_test.moc"
