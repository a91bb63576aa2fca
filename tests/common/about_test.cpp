// The about box of the three programs and the delete confirmation of the
// image and file lists.

#include "desktopopener.h"
#include "dialogabout.h"
#include "dialogimagedelete.h"
#include "myclickablelabel.h"
#include "omrresources.h"
#include "platformrequest.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "widgettestutil.h"

using Program = DialogAbout::Program;
Q_DECLARE_METATYPE(Program)

namespace {

template <typename T>
T *child(QWidget *parent, const QString &name)
{
    return parent->findChild<T *>(name);
}

void clickLogo(QWidget *logo, int times)
{
    for (int i = 0; i < times; ++i)
        QTest::mouseClick(logo, Qt::LeftButton);
}

} // namespace

class AboutTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initOmrResources(); }
    void testForm_data();
    void testForm();
    void testHiddenTool_data();
    void testHiddenTool();
    void testLinkAndUpgrade_data();
    void testLinkAndUpgrade();
    void testDeleteDialog_data();
    void testDeleteDialog();
};

void AboutTest::testForm_data()
{
    QTest::addColumn<Program>("program");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("productName");
    QTest::addColumn<QString>("productText");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("logoName");
    QTest::addColumn<QStringList>("bottomNames"); // "Based On" label, Qt badge
    QTest::addColumn<QString>("basedOn");

    QTest::newRow("Ardentiq") << DialogAbout::ardentiq() << QSize(538, 198) << "label_2" << "Ardentiq 版本："
                              << "4.2" << "labelLogo" << QStringList{"label", "label_3"} << "Based On";
    QTest::newRow("Lumbrisk") << DialogAbout::lumbrisk() << QSize(540, 195) << "label_2" << "Lumbrisk 版本："
                              << "4.1" << "labelLogo" << QStringList{"label_3", "label_4"} << "Based On";
    QTest::newRow("Pellwyn") << DialogAbout::pellwyn() << QSize(527, 218) << "label_4" << "答卷扫描 Pellwyn 版本 "
                             << "1.0" << "label_3" << QStringList{"label", "label_2"} << "Based on";
}

void AboutTest::testForm()
{
    QFETCH(Program, program);
    QFETCH(QSize, size);
    QFETCH(QString, productName);
    QFETCH(QString, productText);
    QFETCH(QString, version);
    QFETCH(QString, logoName);
    QFETCH(QStringList, bottomNames);
    QFETCH(QString, basedOn);

    DialogAbout dialog(program);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("关于"));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QCOMPARE(dialog.size(), size);
    QCOMPARE(dialog.minimumSize(), size);
    QCOMPARE(dialog.maximumSize(), size);
    QCOMPARE(dialog.clickCount, 0);
    QCOMPARE(child<QLabel>(&dialog, productName)->text(), productText);
    QCOMPARE(child<QLabel>(&dialog, QStringLiteral("labelVersion"))->text(), version);
    QLabel *logo = child<QLabel>(&dialog, logoName);
    QVERIFY(logo);
    QCOMPARE(logo->size(), QSize(64, 64));
    QVERIFY(!logo->pixmap(Qt::ReturnByValue).isNull());
    QCOMPARE(child<QLabel>(&dialog, bottomNames[0])->text(), basedOn);
    QCOMPARE(child<QLabel>(&dialog, bottomNames[1])->text(), QStringLiteral(" Qt5 "));
    QVERIFY(child<QLabel>(&dialog, bottomNames[1])->font().bold());
    auto *upgrade = child<QPushButton>(&dialog, QStringLiteral("pushButtonUpgrade"));
    QCOMPARE(upgrade->text(), QStringLiteral("检查更新"));
    QCOMPARE(upgrade->iconSize(), QSize(24, 24));
    QVERIFY(!upgrade->autoDefault());
    auto *buttons = child<QDialogButtonBox>(&dialog, QStringLiteral("buttonBox"));
    QCOMPARE(buttons->buttons().size(), 1);
    QCOMPARE(buttons->button(QDialogButtonBox::Ok)->text(), QStringLiteral("关闭"));
    buttons->button(QDialogButtonBox::Ok)->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void AboutTest::testHiddenTool_data()
{
    QTest::addColumn<Program>("program");
    QTest::newRow("Ardentiq") << DialogAbout::ardentiq();
    QTest::newRow("Lumbrisk") << DialogAbout::lumbrisk();
}

void AboutTest::testHiddenTool()
{
    QFETCH(Program, program);
    QList<QWidget *> openedWith;
    program.hiddenTool = [&openedWith](QWidget *about) { openedWith << about; };

    {   // Four clicks, then a new about box: its count starts again.
        DialogAbout first(program);
        first.show();
        clickLogo(child<MyClickableLabel>(&first, QStringLiteral("labelLogo")), 4);
        QCOMPARE(first.clickCount, 4);
        // Other buttons do not count.
        QTest::mouseClick(child<MyClickableLabel>(&first, QStringLiteral("labelLogo")), Qt::RightButton);
        QCOMPARE(first.clickCount, 4);
    }
    DialogAbout dialog(program);
    dialog.show();
    auto *logo = child<MyClickableLabel>(&dialog, QStringLiteral("labelLogo"));
    clickLogo(logo, 1);
    QVERIFY(openedWith.isEmpty());
    clickLogo(logo, 4);
    QCOMPARE(openedWith, QList<QWidget *>{&dialog});
    QCOMPARE(dialog.clickCount, 0);
    clickLogo(logo, 5);
    QCOMPARE(openedWith.size(), 2);
}

void AboutTest::testLinkAndUpgrade_data()
{
    QTest::addColumn<Program>("program");
    QTest::addColumn<QString>("linkName");
    QTest::addColumn<QString>("path");
    QTest::newRow("Ardentiq") << DialogAbout::ardentiq() << "pushButtonLink" << QString();
    QTest::newRow("Lumbrisk") << DialogAbout::lumbrisk() << "labelLink" << QString();
    QTest::newRow("Pellwyn") << DialogAbout::pellwyn() << "pushButtonLink" << "/download/show/pellwyn";
}

void AboutTest::testLinkAndUpgrade()
{
    QFETCH(Program, program);
    QFETCH(QString, linkName);
    QFETCH(QString, path);
    int upgradeChecks = 0;
    program.checkUpgrade = [&upgradeChecks] { ++upgradeChecks; };
    bool hiddenToolRan = false;
    program.hiddenTool = [&hiddenToolRan](QWidget *) { hiddenToolRan = true; };

    DialogAbout dialog(program);
    dialog.show();
    const QString host = PlatformRequest::host();
    QWidget *link = child<QWidget>(&dialog, linkName);
    QVERIFY(link);
    const QString text = link->property("text").toString();
    QCOMPARE(text, QStringLiteral("Powered By Vostra ｜ ") + host);

    DesktopOpenRecorder opened;
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(opened.urls, QList<QUrl>{QUrl(QStringLiteral("https://") + host + path)});
    QVERIFY(dialog.isVisible());

    child<QPushButton>(&dialog, QStringLiteral("pushButtonUpgrade"))->click();
    QCOMPARE(upgradeChecks, 1);

    // The station's logo is a plain picture: clicks do nothing.
    if (program.kind == Program::Station) {
        QVERIFY(!dialog.findChild<MyClickableLabel *>());
        clickLogo(child<QLabel>(&dialog, QStringLiteral("label_3")), 10);
        QVERIFY(!hiddenToolRan);
    }
}

void AboutTest::testDeleteDialog_data()
{
    QTest::addColumn<int>("form");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<QString>("buttonName");
    QTest::newRow("image list") << int(DialogImageDelete::Form::ImageList) << "删除" << QSize(322, 154) << 14
                                << "pushButtonOK";
    QTest::newRow("file list") << int(DialogImageDelete::Form::FileList) << "提示" << QSize(473, 127) << 20
                               << "pushButton";
}

void AboutTest::testDeleteDialog()
{
    QFETCH(int, form);
    QFETCH(QString, title);
    QFETCH(QSize, size);
    QFETCH(int, pointSize);
    QFETCH(QString, buttonName);

    DialogImageDelete dialog(nullptr, DialogImageDelete::Form(form));
    QCOMPARE(dialog.windowTitle(), title);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QCOMPARE(dialog.size(), size);
    QCOMPARE(dialog.font().pointSize(), pointSize);
    QCOMPARE(child<QLabel>(&dialog, QStringLiteral("label"))->text(), QStringLiteral("确定从列表中删除选中的行吗？"));
    auto *box = child<QCheckBox>(&dialog, QStringLiteral("checkBoxDeleteLocalFile"));
    QCOMPARE(box->text(), QStringLiteral("同时删除本地文件"));
    auto *ok = child<QPushButton>(&dialog, buttonName);
    QCOMPARE(ok->text(), QStringLiteral("确定"));

    // The answer follows the operator's clicks.
    QVERIFY(!dialog.deleteLocalFile);
    box->click();
    QVERIFY(dialog.deleteLocalFile);
    box->click();
    QVERIFY(!dialog.deleteLocalFile);
    box->click();

    // No cancel button: Esc rejects.
    WidgetTest::WhenShown<DialogImageDelete> escape([](DialogImageDelete *d) { QTest::keyClick(d, Qt::Key_Escape); });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    WidgetTest::WhenShown<DialogImageDelete> accept([&](DialogImageDelete *) { ok->click(); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY(dialog.deleteLocalFile);
}

QTEST_MAIN(AboutTest)
#include "about_test.moc"
