// Every form of the template designer gives each label, button, radio button
// and check box the room its text needs in the Chinese font.

#include "dialogabout.h"
#include "dialogcornercheckname.h"
#include "dialogeditfile.h"
#include "dialogencrypt.h"
#include "dialoghorizontal.h"
#include "dialognewfile.h"
#include "dialogprinttextanchor.h"
#include "dialogsectioncode.h"
#include "dialogsectionobject.h"
#include "dialogsectionobjectoptional.h"
#include "dialogsectionoptionalitem.h"
#include "dialogsectionsubject.h"
#include "dialogsectionsubjectoptional.h"
#include "dialogsubjectconfig.h"
#include "dialogsubjectconfigtip.h"
#include "dialogupgradeinfo.h"
#include "formfit.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "mylabel.h"
#include "omrresources.h"

#include <QtTest>

#include <functional>
#include <memory>

using FormMaker = std::function<QWidget *(MainWindow *, MyLabel *)>;
Q_DECLARE_METATYPE(FormMaker)

class FormsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void testFormsGiveTextsRoom_data();
    void testFormsGiveTextsRoom();

private:
    MessageBoxRecorder m_boxes;
};

void FormsTest::initTestCase()
{
    initOmrResources();
    QString why;
    QVERIFY2(FormFit::prepareTestCase(&why), qPrintable(why));
}

void FormsTest::testFormsGiveTextsRoom_data()
{
    QTest::addColumn<FormMaker>("make");
    auto add = [](const char *name, FormMaker make) { QTest::newRow(name) << make; };
    add("MainWindow", [](MainWindow *, MyLabel *) { return nullptr; });
    add("DialogAbout", [](MainWindow *w, MyLabel *) { return new DialogAbout(DialogAbout::lumbrisk(), w); });
    add("DialogUpgradeInfo",
        [](MainWindow *w, MyLabel *) { return new DialogUpgradeInfo(DialogUpgradeInfo::lumbrisk(), w); });
    add("DialogCornerCheckName", [](MainWindow *, MyLabel *c) { return new DialogCornerCheckName(c); });
    add("DialogEditFile", [](MainWindow *w, MyLabel *) { return new DialogEditFile(w); });
    add("DialogEncrypt", [](MainWindow *w, MyLabel *) { return new DialogEncrypt(w); });
    add("DialogHorizontal", [](MainWindow *, MyLabel *c) { return new DialogHorizontal(c); });
    add("DialogNewFile", [](MainWindow *w, MyLabel *) { return new DialogNewFile(w); });
    add("DialogPrintTextAnchor", [](MainWindow *, MyLabel *c) { return new DialogPrintTextAnchor(c); });
    add("DialogSectionCode", [](MainWindow *, MyLabel *c) { return new DialogSectionCode(c); });
    add("DialogSectionObject", [](MainWindow *, MyLabel *c) { return new DialogSectionObject(false, c); });
    add("DialogSectionObject irregular", [](MainWindow *, MyLabel *c) { return new DialogSectionObject(true, c); });
    add("DialogSectionObjectOptional",
        [](MainWindow *, MyLabel *c) { return new DialogSectionObjectOptional(false, c); });
    add("DialogSectionObjectOptional irregular",
        [](MainWindow *, MyLabel *c) { return new DialogSectionObjectOptional(true, c); });
    add("DialogSectionOptionalItem", [](MainWindow *, MyLabel *c) { return new DialogSectionOptionalItem(c); });
    add("DialogSectionSubject", [](MainWindow *, MyLabel *c) { return new DialogSectionSubject(c); });
    add("DialogSectionSubjectOptional", [](MainWindow *, MyLabel *c) { return new DialogSectionSubjectOptional(c); });
    add("DialogSubjectConfig", [](MainWindow *w, MyLabel *) { return new DialogSubjectConfig(w); });
    add("DialogSubjectConfigTip", [](MainWindow *w, MyLabel *) { return new DialogSubjectConfigTip(w); });
}

void FormsTest::testFormsGiveTextsRoom()
{
    QFETCH(FormMaker, make);
    MainWindow window;
    MyLabel *canvas = window.findChild<MyLabel *>();
    QVERIFY(canvas);
    std::unique_ptr<QWidget> form(make(&window, canvas));
    const QStringList cramped = FormFit::checkAndClose(&window, form.get());
    QVERIFY2(cramped.isEmpty(), qPrintable(cramped.join(QLatin1Char('\n'))));
}

QTEST_MAIN(FormsTest)
#include "forms_test.moc"
