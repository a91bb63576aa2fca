// Every form of the scanning station gives each label, button, radio button
// and check box the room its text needs in the Chinese font.

#include "dialogabout.h"
#include "dialogfileexist.h"
#include "dialogimagedelete.h"
#include "dialogrotate.h"
#include "dialogupgradeinfo.h"
#include "dialogwait.h"
#include "formfit.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "omrresources.h"
#include "stationfixture.h"

#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

using namespace StationFixture;

using FormMaker = std::function<QWidget *(MainWindow *)>;
Q_DECLARE_METATYPE(FormMaker)

class FormsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void testFormsGiveTextsRoom_data();
    void testFormsGiveTextsRoom();

private:
    MessageBoxRecorder m_boxes;
    QTemporaryDir m_dir;
};

void FormsTest::initTestCase()
{
    initOmrResources();
    QString why;
    QVERIFY2(FormFit::prepareTestCase(&why), qPrintable(why));
    useSimulatedManager();
    QVERIFY(m_dir.isValid());
    prepare(m_dir, sources({source("Sim A", true, 1)}), "[Main]\nSavePath=" + m_dir.path().toUtf8() + "\n");
}

void FormsTest::testFormsGiveTextsRoom_data()
{
    QTest::addColumn<FormMaker>("make");
    auto add = [](const char *name, FormMaker make) { QTest::newRow(name) << make; };
    add("MainWindow", [](MainWindow *) { return nullptr; });
    add("DialogAbout", [](MainWindow *w) { return new DialogAbout(DialogAbout::pellwyn(), w); });
    add("DialogUpgradeInfo", [](MainWindow *w) { return new DialogUpgradeInfo(DialogUpgradeInfo::pellwyn(), w); });
    add("DialogImageDelete", [](MainWindow *w) { return new DialogImageDelete(w, DialogImageDelete::Form::FileList); });
    add("DialogRotate", [](MainWindow *w) { return new DialogRotate(w, DialogRotate::pellwyn([] { return 80; })); });
    add("DialogWait", [](MainWindow *w) { return new DialogWait(w); });
    add("DialogFileExist", [](MainWindow *w) {
        return new DialogFileExist(w, QStringLiteral("以下文件已存在："), QStringLiteral("/tmp/A0001.jpg"));
    });
}

void FormsTest::testFormsGiveTextsRoom()
{
    QFETCH(FormMaker, make);
    MainWindow window;
    std::unique_ptr<QWidget> form(make(&window));
    const QStringList cramped = FormFit::checkAndClose(&window, form.get());
    QVERIFY2(cramped.isEmpty(), qPrintable(cramped.join(QLatin1Char('\n'))));
}

QTEST_MAIN(FormsTest)
#include "forms_test.moc"
