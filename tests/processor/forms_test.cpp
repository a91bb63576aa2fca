// Every form of the processing program (its window, its own dialogs, the
// platform and review dialogs and the shared tools) gives each label, button,
// radio button and check box the room its text needs in the Chinese font.

#include "cropimageviewer.h"
#include "dialogabout.h"
#include "dialogabsentstudentstat.h"
#include "dialogaccount.h"
#include "dialogaddimages.h"
#include "dialogbarcodecheck.h"
#include "dialogcodeimageshow.h"
#include "dialogdatauploadduplicatecheck.h"
#include "dialogdebug.h"
#include "dialogdeletespecifiedsheetindex.h"
#include "dialogeditobjectanswer.h"
#include "dialogexam.h"
#include "dialogimagedelete.h"
#include "dialogimageedit.h"
#include "dialoginitforentiresheetuploadtip.h"
#include "dialogobjectimageshow.h"
#include "dialogoptionalimageshow.h"
#include "dialogrecordconfirm.h"
#include "dialogrotate.h"
#include "dialogscanandprocesstips.h"
#include "dialogsearchbycode.h"
#include "dialogsearchsheetimagetip.h"
#include "dialogsetanchorpointroi.h"
#include "dialogsetcode.h"
#include "dialogsetting.h"
#include "dialogsort.h"
#include "dialogsubjectimageshow.h"
#include "dialogthreshold.h"
#include "dialogupgradeinfo.h"
#include "dialoguploaddata.h"
#include "formfit.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "multipleselect.h"
#include "omrresources.h"

#include <QImage>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTableWidget>
#include <QtTest>

#include <functional>
#include <memory>

using FormMaker = std::function<QWidget *(MainWindow *)>;
Q_DECLARE_METATYPE(FormMaker)

class FormsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void testFormsGiveTextsRoom_data();
    void testFormsGiveTextsRoom();
    void testAnchorDialogKeepsRoomForLongPageText();

private:
    // No box waits for a person; none of these forms reaches the network.
    MessageBoxRecorder m_boxes;
    QTemporaryDir m_dir;
};

void FormsTest::initTestCase()
{
    initOmrResources();
    QString why;
    QVERIFY2(FormFit::prepareTestCase(&why), qPrintable(why));
    // The exam dialog asks for its projects at once; the refusal's box is recorded.
    QVERIFY(m_dir.isValid());
    QImage page(400, 300, QImage::Format_Grayscale8);
    page.fill(200);
    QVERIFY(page.save(m_dir.filePath(QStringLiteral("page.png"))));
}

void FormsTest::testFormsGiveTextsRoom_data()
{
    QTest::addColumn<FormMaker>("make");
    auto add = [](const char *name, FormMaker make) { QTest::newRow(name) << make; };
    add("MainWindow", [](MainWindow *) { return nullptr; });
    add("DialogAbout", [](MainWindow *w) { return new DialogAbout(DialogAbout::ardentiq(), w); });
    add("DialogUpgradeInfo", [](MainWindow *w) { return new DialogUpgradeInfo(DialogUpgradeInfo::ardentiq(), w); });
    add("DialogImageDelete", [](MainWindow *w) { return new DialogImageDelete(w); });
    add("DialogRotate", [](MainWindow *w) { return new DialogRotate(w); });
    add("DialogAccount", [](MainWindow *w) { return new DialogAccount(w); });
    add("DialogExam", [](MainWindow *w) { return new DialogExam(w); });
    add("DialogUploadData", [](MainWindow *w) { return new DialogUploadData(w); });
    add("DialogInitForEntireSheetUploadTip", [](MainWindow *w) { return new DialogInitForEntireSheetUploadTip(w); });
    add("DialogDataUploadDuplicateCheck", [](MainWindow *w) {
        StudentInfo student;
        student.code = QStringLiteral("2026001");
        student.realname = QStringLiteral("张三");
        student.className = QStringLiteral("一班");
        student.id = 7;
        return new DialogDataUploadDuplicateCheck({student}, w);
    });
    add("DialogAbsentStudentStat", [](MainWindow *w) { return new DialogAbsentStudentStat(w, w->resultTable()); });
    add("DialogBarCodeCheck", [](MainWindow *w) { return new DialogBarCodeCheck(w); });
    add("DialogCodeImageShow", [](MainWindow *w) { return new DialogCodeImageShow(w); });
    add("DialogDebug", [](MainWindow *w) { return new DialogDebug(w); });
    add("DialogEditObjectAnswer", [](MainWindow *w) { return new DialogEditObjectAnswer(w); });
    const QString page = m_dir.filePath(QStringLiteral("page.png"));
    add("DialogImageEdit", [page](MainWindow *w) {
        return new DialogImageEdit(page, QRect(10, 10, 100, 80), 255, 5, page + QStringLiteral(".ini"), w);
    });
    add("DialogObjectImageShow", [](MainWindow *w) { return new DialogObjectImageShow(w); });
    add("DialogOptionalImageShow", [](MainWindow *w) { return new DialogOptionalImageShow(w); });
    add("DialogRecordConfirm", [](MainWindow *w) { return new DialogRecordConfirm(w->resultTable(), w); });
    add("DialogSearchByCode", [](MainWindow *w) { return new DialogSearchByCode(w); });
    add("DialogSetAnchorPointROI", [](MainWindow *w) { return new DialogSetAnchorPointROI(w); });
    add("DialogSetCode", [](MainWindow *w) { return new DialogSetCode(w, false); });
    add("DialogSubjectImageShow", [](MainWindow *w) { return new DialogSubjectImageShow(w); });
    add("DialogAddImages", [](MainWindow *w) { return new DialogAddImages(w); });
    add("DialogDeleteSpecifiedSheetIndex", [](MainWindow *w) { return new DialogDeleteSpecifiedSheetIndex(w); });
    add("DialogScanAndProcessTips", [](MainWindow *w) { return new DialogScanAndProcessTips(w, 2); });
    add("DialogSearchSheetImageTip", [](MainWindow *w) { return new DialogSearchSheetImageTip(w); });
    add("DialogSetting", [](MainWindow *w) { return new DialogSetting(w); });
    add("DialogSort", [](MainWindow *w) { return new DialogSort(w); });
    add("DialogThreshold", [](MainWindow *w) { return new DialogThreshold(w); });
    add("MultipleSelect", [](MainWindow *w) { return new MultipleSelect(w); });
}

void FormsTest::testFormsGiveTextsRoom()
{
    QFETCH(FormMaker, make);
    MainWindow window;
    std::unique_ptr<QWidget> form(make(&window));
    const QStringList cramped = FormFit::checkAndClose(&window, form.get());
    QVERIFY2(cramped.isEmpty(), qPrintable(cramped.join(QLatin1Char('\n'))));
}

void FormsTest::testAnchorDialogKeepsRoomForLongPageText()
{
    // The page number joins the text when the dialog shows.
    DialogSetAnchorPointROI dialog;
    dialog.currentPage = 123456;
    const QStringList cramped = FormFit::check(&dialog);
    QVERIFY2(cramped.isEmpty(), qPrintable(cramped.join(QLatin1Char('\n'))));
    QVERIFY(dialog.findChild<QRadioButton *>(QStringLiteral("radioButtonApplyToPresentPage"))->text().endsWith(
        QStringLiteral("123456")));
}

QTEST_MAIN(FormsTest)
#include "forms_test.moc"
