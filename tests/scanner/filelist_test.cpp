// The station's file list: rows and their roles, a click showing the file,
// the context menu, deleting rows with and without their files, and turning
// one file or a batch on disk.

#include "dialogimagedelete.h"
#include "dialogrotate.h"
#include "formimage.h"
#include "formstatusbar.h"
#include "messagebox.h"
#include "mylabel.h"
#include "mytablewidget.h"
#include "omrresources.h"
#include "quadrantimage.h"
#include "widgettestutil.h"

#include <QBuffer>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {

} // namespace

class FileListTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initOmrResources(); }
    void init();
    void cleanup();

    void testTable();
    void testRows();
    void testClickShowsFile();
    void testContextMenu();
    void testDelete_data();
    void testDelete();
    void testDeleteCancelled();
    void testDeleteRefusedWhileUploading();
    void testRotateCurrent_data();
    void testRotateCurrent();
    void testRotateCurrentFailure();
    void testBatchRotation();

private:
    QStringList addPages(int count, const QString &suffix = QStringLiteral("jpg"));
    QPoint rowCentre(int row) const { return m_list->visualItemRect(m_list->item(row, 0)).center(); }
    void contextMenuAt(const QPoint &pos);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QWidget> m_window;
    MyTableWidget *m_list = nullptr;
    FormImage *m_preview = nullptr;
    FormStatusBar *m_bar = nullptr;
    int m_quality = 61;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
};

void FileListTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_window = std::make_unique<QWidget>();
    auto *layout = new QHBoxLayout(m_window.get());
    m_list = new MyTableWidget(m_window.get());
    m_preview = new FormImage(m_window.get());
    m_bar = new FormStatusBar(m_window.get());
    layout->addWidget(m_list);
    layout->addWidget(m_preview);
    layout->addWidget(m_bar);
    m_list->previewForm = [this] { return m_preview; };
    m_list->statusBarForm = [this] { return m_bar; };
    m_list->imageQuality = [this] { return m_quality; };
    m_list->initTable(true);
    m_window->resize(900, 200);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_boxes = std::make_unique<MessageBoxRecorder>();
}

void FileListTest::cleanup()
{
    m_boxes.reset();
    m_window.reset();
    m_dir.reset();
}

QStringList FileListTest::addPages(int count, const QString &suffix)
{
    QStringList paths;
    const int first = m_list->rowCount() + 1;
    for (int i = first; i < first + count; ++i) {
        const QString path =
            QDir::toNativeSeparators(m_dir->filePath(QStringLiteral("考号 %1.%2").arg(i, 4, 10, QLatin1Char('0')).arg(suffix)));
        quadrants(80, 40).save(path);
        m_list->addRow(path);
        paths << path;
    }
    return paths;
}

void FileListTest::contextMenuAt(const QPoint &pos)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, m_list->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(m_list->viewport(), &event);
}

void FileListTest::testTable()
{
    QCOMPARE(m_list->columnCount(), 1);
    QCOMPARE(m_list->horizontalHeaderItem(0)->text(), QStringLiteral("图片"));
    QVERIFY(m_list->horizontalHeader()->isHidden());
    QCOMPARE(m_list->horizontalHeader()->sectionResizeMode(0), QHeaderView::Stretch);
    // The station never uploads, whatever the setting says.
    QVERIFY(!m_list->uploadEnabled);
    QVERIFY(m_list->uploadUrl.startsWith(QStringLiteral("https://")));
    QVERIFY(m_list->uploadUrl.endsWith(QStringLiteral("/index/upload")));
    addPages(2);
    QVERIFY(m_list->uploadList.isEmpty());
    QVERIFY(!m_list->uploadThread);
    QVERIFY(!m_list->uploadWorker);
}

void FileListTest::testRows()
{
    const QStringList paths = addPages(30);
    QCOMPARE(m_list->rowCount(), 30);
    for (int row = 0; row < 30; ++row) {
        const QTableWidgetItem *item = m_list->item(row, 0);
        const QString name = QFileInfo(paths[row]).fileName();
        QCOMPARE(item->text(), name);
        QCOMPARE(item->data(MyTableWidget::FileNameRole).toString(), name);
        QCOMPARE(item->data(MyTableWidget::FilePathRole).toString(), paths[row]);
        QCOMPARE(m_list->rowHeight(row), 20);
        QVERIFY(m_list->statusItem(row));
        QVERIFY(!m_list->statusItem(row)->icon().isNull());
    }
    // The status items are never part of the table.
    QCOMPARE(m_list->columnCount(), 1);
    // Scrolled to the newest row.
    QTRY_COMPARE(m_list->verticalScrollBar()->value(), m_list->verticalScrollBar()->maximum());
    QVERIFY(m_list->verticalScrollBar()->maximum() > 0);
}

void FileListTest::testClickShowsFile()
{
    const QStringList paths = addPages(3);
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(1));
    QCOMPARE(m_list->currentRowIndex, 1);
    QCOMPARE(m_preview->label->filePath, paths[1]);
    QCOMPARE(m_preview->label->fullImage.size(), QSize(80, 40));
    QCOMPARE(m_bar->labelFilePath->text(), paths[1]);
}

void FileListTest::testContextMenu()
{
    const QStringList paths = addPages(2);
    m_list->setCurrentCell(1, 0);
    const QStringList texts = WidgetTest::popupTexts([&] { contextMenuAt(rowCentre(1)); });
    QCOMPARE(texts, (QStringList{QStringLiteral("删除(&D)"), QStringLiteral("旋转")}));
    // Opening the menu shows the row's file.
    QCOMPARE(m_preview->label->filePath, paths[1]);

    QStringList rotate;
    for (QAction *a : m_list->rotateMenu->actions())
        rotate << a->text();
    QCOMPARE(rotate, (QStringList{QStringLiteral("当前"), QStringLiteral("批量")}));
    QStringList current;
    for (QAction *a : m_list->currentMenu->actions())
        current << a->text();
    QCOMPARE(current, (QStringList{QStringLiteral("顺时针90度"), QStringLiteral("逆时针90度"), QStringLiteral("180度")}));

    // Below the last row there is nothing to act on.
    const QPoint empty(10, m_list->viewport()->height() - 5);
    QVERIFY(!m_list->itemAt(empty));
    QCOMPARE(WidgetTest::popupTexts([&] { contextMenuAt(empty); }), QStringList());
}

void FileListTest::testDelete_data()
{
    QTest::addColumn<bool>("withFiles");
    QTest::newRow("rows and files") << true;
    QTest::newRow("rows only") << false;
}

void FileListTest::testDelete()
{
    QFETCH(bool, withFiles);
    const QStringList paths = addPages(5);
    m_list->setSelectionMode(QAbstractItemView::MultiSelection);
    m_list->selectRow(1);
    m_list->selectRow(3);

    WidgetTest::WhenShown<DialogImageDelete> answer([withFiles](DialogImageDelete *dialog) {
        if (withFiles)
            dialog->findChild<QCheckBox *>(QStringLiteral("checkBoxDeleteLocalFile"))->click();
        dialog->findChild<QPushButton *>(QStringLiteral("pushButton"))->click();
    });
    m_list->deleteSelectedRows();
    QVERIFY(answer.seen);

    QCOMPARE(m_list->rowCount(), 3);
    const QList<int> kept{0, 2, 4};
    for (int row = 0; row < kept.size(); ++row) {
        QCOMPARE(m_list->item(row, 0)->data(MyTableWidget::FilePathRole).toString(), paths[kept[row]]);
        QVERIFY(m_list->statusItem(row));
    }
    QVERIFY(!m_list->statusItem(3));
    QCOMPARE(m_bar->labelCount->text(), QStringLiteral("3"));
    for (int i = 0; i < paths.size(); ++i)
        QCOMPARE(QFile::exists(paths[i]), !(withFiles && (i == 1 || i == 3)));
    QCOMPARE(m_boxes->count(), 0);
}

void FileListTest::testDeleteCancelled()
{
    const QStringList paths = addPages(3);
    m_list->selectRow(0);
    WidgetTest::WhenShown<DialogImageDelete> answer([](DialogImageDelete *dialog) {
        dialog->findChild<QCheckBox *>(QStringLiteral("checkBoxDeleteLocalFile"))->click();
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    m_list->deleteSelectedRows();
    QVERIFY(answer.seen);
    QCOMPARE(m_list->rowCount(), 3);
    for (const QString &path : paths)
        QVERIFY(QFile::exists(path));
}

void FileListTest::testDeleteRefusedWhileUploading()
{
    addPages(2);
    m_list->uploadList.append(m_list->item(0, 0)->data(MyTableWidget::FilePathRole).toString(),
                              m_list->statusItem(0));
    m_list->selectRow(0);
    // No delete dialog may open: the refusal comes first.
    WidgetTest::WhenShown<DialogImageDelete> answer([](DialogImageDelete *dialog) { dialog->reject(); });
    m_list->deleteSelectedRows();
    QVERIFY(!answer.seen);
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().title, QStringLiteral("提示"));
    QCOMPARE(m_boxes->last().text, QStringLiteral("上传中，无法进行删除操作"));
    QCOMPARE(m_list->rowCount(), 2);
    m_list->uploadList.clear();
}

void FileListTest::testRotateCurrent_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("corners");
    QTest::newRow("clockwise") << "顺时针90度" << QStringList{"b", "r", "w", "g"};
    QTest::newRow("anticlockwise") << "逆时针90度" << QStringList{"g", "w", "r", "b"};
    QTest::newRow("half") << "180度" << QStringList{"w", "b", "g", "r"};
}

void FileListTest::testRotateCurrent()
{
    QFETCH(QString, action);
    QFETCH(QStringList, corners);
    const QStringList paths = addPages(3);
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(2));
    QAction *chosen = nullptr;
    for (QAction *a : m_list->currentMenu->actions()) {
        if (a->text() == action)
            chosen = a;
    }
    QVERIFY(chosen);
    chosen->trigger();

    QCOMPARE(::corners(paths[2]), corners);
    QCOMPARE(QImage(paths[2]).size(), action == QStringLiteral("180度") ? QSize(80, 40) : QSize(40, 80));
    // The other files are untouched, and the preview shows the turned page.
    QCOMPARE(::corners(paths[1]), (QStringList{"r", "g", "b", "w"}));
    QCOMPARE(m_preview->label->filePath, paths[2]);
    QCOMPARE(m_preview->label->fullImage.size(), QImage(paths[2]).size());
    QCOMPARE(m_boxes->count(), 0);
}

void FileListTest::testRotateCurrentFailure()
{
    // A page the image reader takes but no writer can store under its name.
    const QString path = m_dir->filePath(QStringLiteral("page.xyz"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        quadrants(80, 40).save(&buffer, "png");
    }
    file.write(png);
    file.close();
    m_list->addRow(path);
    m_list->setCurrentCell(0, 0);
    m_list->showCurrentRow();
    m_list->rotateCurrent(90);

    QCOMPARE(m_boxes->count(), 1);
    QVERIFY(m_boxes->last().text.startsWith(QStringLiteral("无法保存图片：") + path));
    QFile again(path);
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(again.readAll(), png);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("page.xyz")});
}

void FileListTest::testBatchRotation()
{
    const QStringList paths = addPages(4);
    WidgetTest::WhenShown<DialogRotate> answer([](DialogRotate *dialog) {
        dialog->findChild<QLineEdit *>(QStringLiteral("lineEditStartID"))->setText(QStringLiteral("2"));
        dialog->findChild<QLineEdit *>(QStringLiteral("lineEditEndID"))->setText(QStringLiteral("3"));
        dialog->findChild<QPushButton *>(QStringLiteral("pushButtonStart"))->click();
        // Closed by the test once the run is over.
        auto *closer = new QTimer(dialog);
        closer->setInterval(10);
        QObject::connect(closer, &QTimer::timeout, dialog, [dialog] {
            if (!dialog->isRotating())
                dialog->accept();
        });
        closer->start();
    });
    m_list->openBatchRotation();
    QVERIFY(answer.seen);

    const QStringList upright{"r", "g", "b", "w"}, clockwise{"b", "r", "w", "g"};
    QCOMPARE(corners(paths[0]), upright);
    QCOMPARE(corners(paths[1]), clockwise);
    QCOMPARE(corners(paths[2]), clockwise);
    QCOMPARE(corners(paths[3]), upright);
    QCOMPARE(m_list->rowCount(), 4);
    QCOMPARE(m_boxes->count(), 0);
}

QTEST_MAIN(FileListTest)
#include "filelist_test.moc"
