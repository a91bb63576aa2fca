// The two dialogs on the way to the results upload: the record confirmation
// with its counts and the absent-student statistics, and the duplicate-record
// choice with its table of students and its page viewer.

#include "datauploadfixture.h"
#include "dialogabsentstudentstat.h"
#include "dialogdatauploadduplicatecheck.h"
#include "dialogrecordconfirm.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "myscrollareaforduplicatecheck.h"
#include "mytablewidgetimage.h"
#include "omrresources.h"
#include "platformfixture.h"
#include "settingsfile.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace UploadFixture;

namespace {

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(16, 16).toImage();
}

QSize shownSize(const FormDuplicateCheckImage *form)
{
    const QPixmap *pixmap = form->label->pixmap();
    return pixmap ? pixmap->size() : QSize();
}

QToolButton *pageButton(FormDuplicateCheckImage *form, int page)
{
    for (QToolButton *button : form->findChildren<QToolButton *>()) {
        if (button->text() == QStringLiteral("第%1页").arg(page))
            return button;
    }
    return nullptr;
}

} // namespace

class UploadDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void testConfirmCounts_data();
    void testConfirmCounts();
    void testConfirmButtons();

    void testDuplicateTable();
    void testDuplicateChoices_data();
    void testDuplicateChoices();
    void testDuplicateCancelAsks();
    void testDuplicatePagesAndZoom();

private:
    // Students 1001..1003 with ids 501..503 in the result table; 1001 has two
    // page images, 1003 none.
    DialogDataUploadDuplicateCheck *makeDuplicateDialog();

    PlatformSimulator m_sim;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<DialogDataUploadDuplicateCheck> m_check;
};

void UploadDialogsTest::initTestCase()
{
    initOmrResources();
    QString error;
    QVERIFY2(PlatformTest::startTrusted(m_sim, &error), qPrintable(error));
    m_sim.setReply(QStringLiteral("/school/c9dlg/client/key-check"),
                   PlatformSimulator::json(QJsonObject{{QStringLiteral("code"), 200},
                                                       {QStringLiteral("message"), QStringLiteral("S-5")}}));
}

void UploadDialogsTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const QString ini = m_dir->filePath(QStringLiteral("Ardentiq.ini"));
    setSettingsFilePathForTesting(ini);
    PlatformTest::writeIni(ini, {{QStringLiteral("Account/CustomerType"), QStringLiteral("school")},
                                 {QStringLiteral("Account/CustomerCode"), QStringLiteral("c9dlg")},
                                 {QStringLiteral("Account/DataKey"), QStringLiteral("k")}});
    m_boxes = std::make_unique<MessageBoxRecorder>();
    m_window = std::make_unique<MainWindow>();
    m_window->examId = QStringLiteral("du-dialogs");
}

void UploadDialogsTest::cleanup()
{
    m_check.reset();
    m_window.reset();
    m_boxes.reset();
    setSettingsFilePathForTesting(QString());
    m_dir.reset();
}

// ---------------------------------------------------------------- record confirmation

void UploadDialogsTest::testConfirmCounts_data()
{
    QTest::addColumn<int>("imageRows");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("resultRows");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole sheets") << 120 << 4 << 29
                                  << QStringLiteral("答卷列表中共 120 张图片，预期学生记录数为 30。\r\n实际成功的学生记录数为 29。");
    QTest::newRow("a page short of a sheet") << 121 << 4 << 29
                                             << QStringLiteral("答卷列表中共 121 张图片，预期学生记录数为 30。\r\n实际成功的学生记录数为 29。");
    QTest::newRow("one page") << 3 << 1 << 3
                              << QStringLiteral("答卷列表中共 3 张图片，预期学生记录数为 3。\r\n实际成功的学生记录数为 3。");
}

void UploadDialogsTest::testConfirmCounts()
{
    QFETCH(int, imageRows);
    QFETCH(int, pages);
    QFETCH(int, resultRows);
    QFETCH(QString, text);
    layOutExam(*m_window, false);
    m_window->pagesPerSheet = pages;
    m_window->tableWidgetImages->setRowCount(imageRows);
    for (int r = 0; r < resultRows; ++r)
        addResultRow(*m_window, QString::number(2000 + r), 700 + r);

    QString shown;
    PlatformTest::answerModal<DialogRecordConfirm>([&shown](DialogRecordConfirm *d) {
        shown = d->label->text();
        d->pushButtonCancel->click();
    });
    m_window->uploadData();
    QCOMPARE(shown, text);
}

void UploadDialogsTest::testConfirmButtons()
{
    DialogRecordConfirm dialog(m_window->tableWidgetResults, m_window.get());
    QCOMPARE(dialog.results, static_cast<QTableWidget *>(m_window->tableWidgetResults));
    QCOMPARE(dialog.parentWidget(), static_cast<QWidget *>(m_window.get()));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("数据确认"));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(dialog.label->wordWrap());
    QCOMPARE(dialog.pushButtonOK->text(), QStringLiteral("确认"));
    QVERIFY(dialog.pushButtonOK->isDefault());
    QCOMPARE(dialog.pushButtonCancel->text(), QStringLiteral("取消"));
    QVERIFY(!dialog.pushButtonCancel->autoDefault());
    QCOMPARE(dialog.pushButtonAbsentStudentStat->text(), QStringLiteral("缺考统计"));
    QVERIFY(!dialog.pushButtonAbsentStudentStat->autoDefault());

    // The statistics open modally over the confirmation, on the result table.
    QObject *statParent = nullptr;
    PlatformTest::answerModal<DialogAbsentStudentStat>([&statParent](DialogAbsentStudentStat *stat) {
        statParent = stat->parent();
        stat->reject();
    });
    dialog.pushButtonAbsentStudentStat->click();
    QCOMPARE(statParent, &dialog);

    PlatformTest::answerModal<DialogRecordConfirm>([](DialogRecordConfirm *d) { d->pushButtonOK->click(); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    PlatformTest::answerModal<DialogRecordConfirm>([](DialogRecordConfirm *d) { d->pushButtonCancel->click(); });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
}

// ---------------------------------------------------------------- duplicate check

DialogDataUploadDuplicateCheck *UploadDialogsTest::makeDuplicateDialog()
{
    layOutExam(*m_window, false);
    auto page = [this](const QString &name, int width, int height) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::white);
        const QString path = m_dir->filePath(name);
        image.save(path);
        return path;
    };
    addResultRow(*m_window, QStringLiteral("1001"), 501, {},
                 {page(QStringLiteral("a1.png"), 300, 200), page(QStringLiteral("a2.png"), 400, 100)});
    addResultRow(*m_window, QStringLiteral("1002"), 502, {}, {page(QStringLiteral("b1.png"), 50, 50)});
    addResultRow(*m_window, QStringLiteral("1003"), 503);
    // A second row of 1002 (only the last counts).
    addResultRow(*m_window, QStringLiteral("1002"), 502, {},
                 {page(QStringLiteral("c1.png"), 120, 60), page(QStringLiteral("c2.png"), 60, 60)});
    m_check = std::make_unique<DialogDataUploadDuplicateCheck>(
        QList<StudentInfo>{student(QStringLiteral("1001"), QStringLiteral("张三"), QStringLiteral("一班"), 501),
                           student(QStringLiteral("1002"), QStringLiteral("李四"), QStringLiteral("一班"), 502),
                           student(QStringLiteral("1003"), QStringLiteral("王五"), QStringLiteral("二班"), 503)},
        m_window.get());
    return m_check.get();
}

void UploadDialogsTest::testDuplicateTable()
{
    DialogDataUploadDuplicateCheck *check = makeDuplicateDialog();
    QCOMPARE(check->parent(), nullptr);
    QCOMPARE(check->windowTitle(), QStringLiteral("学生记录重复"));
    QCOMPARE(check->windowFlags() & Qt::WindowType_Mask, Qt::Window);
    const QTableWidget *table = check->tableForm->tableWidget;
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(table->columnCount(), 3);
    QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("学生信息"));
    QCOMPARE(table->horizontalHeaderItem(1)->text(), QStringLiteral("已上传"));
    QCOMPARE(table->horizontalHeaderItem(2)->text(), QStringLiteral("本地"));
    QCOMPARE(table->item(1, 0)->text(), QStringLiteral("1002-李四-一班"));
    QCOMPARE(table->item(1, 0)->data(Qt::UserRole + 1).toString(), QStringLiteral("1002"));
    QCOMPARE(table->item(1, 0)->data(Qt::UserRole + 2).toInt(), 502);
    const QImage checked = iconImage(QIcon(QStringLiteral(":/image/res/images/checked2.png")));
    const QImage unchecked = iconImage(QIcon(QStringLiteral(":/image/res/images/unchecked.png")));
    QVERIFY(checked != unchecked);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column)
            QCOMPARE(table->item(row, column)->flags(), Qt::ItemFlags(Qt::ItemIsEnabled));
        // Local records replace the platform's unless told otherwise.
        QCOMPARE(table->item(row, 1)->data(Qt::UserRole + 1).toInt(), 0);
        QCOMPARE(table->item(row, 2)->data(Qt::UserRole + 1).toInt(), 1);
        QCOMPARE(iconImage(table->item(row, 1)->icon()), unchecked);
        QCOMPARE(iconImage(table->item(row, 2)->icon()), checked);
    }
    QCOMPARE(check->imageForm->label->text(), QStringLiteral("等待加载图片……"));
    QCOMPARE(check->imageForm->findChildren<QToolButton *>().size(), 4 + 2); // tools and one button per page
}

void UploadDialogsTest::testDuplicateChoices_data()
{
    // Presses as "row:column" or a select-all button; then the two lists.
    QTest::addColumn<QStringList>("presses");
    QTest::addColumn<QStringList>("toDelete");
    QTest::addColumn<QStringList>("toLeaveOut");
    const QString a = QStringLiteral("501"), b = QStringLiteral("502"), c = QStringLiteral("503");
    QTest::newRow("unchanged") << QStringList() << QStringList{a, b, c} << QStringList();
    QTest::newRow("uploaded for the first") << QStringList{QStringLiteral("0:1")} << QStringList{b, c} << QStringList{a};
    QTest::newRow("pressed twice") << QStringList{QStringLiteral("0:1"), QStringLiteral("0:1")} << QStringList{a, b, c}
                                   << QStringList();
    // Pressing the chosen local item unchooses it, so the uploaded one wins.
    QTest::newRow("local pressed") << QStringList{QStringLiteral("2:2")} << QStringList{a, b} << QStringList{c};
    QTest::newRow("name pressed") << QStringList{QStringLiteral("1:0")} << QStringList{a, b, c} << QStringList();
    QTest::newRow("all uploaded") << QStringList{QStringLiteral("all uploaded")} << QStringList()
                                  << QStringList{a, b, c};
    QTest::newRow("all uploaded, one back") << QStringList{QStringLiteral("all uploaded"), QStringLiteral("1:2")}
                                            << QStringList{b} << QStringList{a, c};
    QTest::newRow("all local again") << QStringList{QStringLiteral("all uploaded"), QStringLiteral("all local")}
                                     << QStringList{a, b, c} << QStringList();
}

void UploadDialogsTest::testDuplicateChoices()
{
    QFETCH(QStringList, presses);
    QFETCH(QStringList, toDelete);
    QFETCH(QStringList, toLeaveOut);
    DialogDataUploadDuplicateCheck *check = makeDuplicateDialog();
    check->show();
    QVERIFY(QTest::qWaitForWindowExposed(check));
    QTableWidget *table = check->tableForm->tableWidget;
    for (const QString &press : presses) {
        if (press == QStringLiteral("all uploaded")) {
            check->tableForm->pushButtonSelectAllUploaded->click();
        } else if (press == QStringLiteral("all local")) {
            check->tableForm->pushButtonSelectAllLocal->click();
        } else {
            const QStringList at = press.split(QLatin1Char(':'));
            const QRect cell = table->visualItemRect(table->item(at[0].toInt(), at[1].toInt()));
            QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        }
    }
    // Every row holds exactly one choice.
    for (int row = 0; row < table->rowCount(); ++row)
        QCOMPARE(table->item(row, 1)->data(Qt::UserRole + 1).toInt() + table->item(row, 2)->data(Qt::UserRole + 1).toInt(),
                 1);
    check->pushButtonOK->click();
    QCOMPARE(check->result(), int(QDialog::Accepted));
    QCOMPARE(check->idsToDelete, toDelete);
    QCOMPARE(check->idsToLeaveOut, toLeaveOut);
}

void UploadDialogsTest::testDuplicateCancelAsks()
{
    DialogDataUploadDuplicateCheck *check = makeDuplicateDialog();
    check->show();
    check->tableForm->pushButtonSelectAllUploaded->click();
    m_boxes->queueAnswer(QMessageBox::No);
    check->pushButtonCancel->click();
    QVERIFY(check->isVisible());
    QCOMPARE(m_boxes->last().title, QStringLiteral("提示"));
    QCOMPARE(m_boxes->last().text, QStringLiteral("确定取消本次上传吗？"));
    QVERIFY(check->tableForm->keepsUploaded(0) && check->tableForm->keepsUploaded(2));

    // Escape asks the same question.
    m_boxes->queueAnswer(QMessageBox::No);
    QTest::keyClick(check, Qt::Key_Escape);
    QVERIFY(check->isVisible());
    QCOMPARE(m_boxes->count(), 2);

    m_boxes->queueAnswer(QMessageBox::Yes);
    check->pushButtonCancel->click();
    QVERIFY(!check->isVisible());
    QCOMPARE(check->result(), int(QDialog::Rejected));
}

void UploadDialogsTest::testDuplicatePagesAndZoom()
{
    DialogDataUploadDuplicateCheck *check = makeDuplicateDialog();
    FormDuplicateCheckImage *image = check->imageForm;
    QTableWidget *table = check->tableForm->tableWidget;

    // Nothing to zoom yet.
    image->toolButtonZoomIn->click();
    image->toolButtonFit->click();
    QCOMPARE(image->zoomFactor, 1.0f);
    QCOMPARE(image->label->text(), QStringLiteral("等待加载图片……"));

    check->show();
    QVERIFY(QTest::qWaitForWindowExposed(check));
    table->setCurrentCell(0, 0);
    QCOMPARE(shownSize(image), QSize(300, 200));
    pageButton(image, 2)->click();
    QCOMPARE(shownSize(image), QSize(400, 100));

    // Zoom in stops above twice the size.
    for (int i = 0; i < 7; ++i)
        image->toolButtonZoomIn->click();
    QCOMPARE(shownSize(image).width(), int(400 * std::pow(1.1f, 7)));
    image->toolButtonZoomIn->click();
    QCOMPARE(shownSize(image).width(), int(400 * std::pow(1.1f, 7)));

    image->toolButtonOriginal->click();
    QCOMPARE(image->zoomFactor, 1.0f);
    QCOMPARE(shownSize(image), QSize(400, 100));
    // Zoom out stops before the page gets narrower than 100 pixels.
    for (int i = 0; i < 20; ++i)
        image->toolButtonZoomOut->click();
    QVERIFY(shownSize(image).width() >= 100);
    QVERIFY(shownSize(image).width() < 110);

    image->toolButtonFit->click();
    const QSize viewport = image->scrollArea->viewport()->size();
    const int width = viewport.width() - image->scrollArea->verticalScrollBar()->width();
    const int height = viewport.height() - image->scrollArea->horizontalScrollBar()->height();
    const QSize fitted = shownSize(image);
    QVERIFY(fitted.width() == width || fitted.height() == height);
    QVERIFY(fitted.width() <= width && fitted.height() <= height);

    // 1002's last row wins: its first page is 120 pixels wide.
    image->toolButtonOriginal->click();
    table->setCurrentCell(1, 0);
    QCOMPARE(shownSize(image), QSize(120, 60));
    // A page that would come out narrower than 100 pixels is not shown.
    pageButton(image, 2)->click();
    QCOMPARE(shownSize(image), QSize(120, 60));
    image->toolButtonZoomOut->click();
    QCOMPARE(image->zoomFactor, 1.0f);
    // A student without page images keeps the picture shown.
    table->setCurrentCell(2, 0);
    QCOMPARE(shownSize(image), QSize(120, 60));
    QCOMPARE(image->imagePaths.size(), 0);
    pageButton(image, 1)->click();
    QCOMPARE(shownSize(image), QSize(120, 60));
}

QTEST_MAIN(UploadDialogsTest)
#include "uploaddialogs_test.moc"
