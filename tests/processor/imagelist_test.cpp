// The answer-sheet image list in the real main window, over small folders of
// real image files: row edits and what they do to the files, sorting, the
// context menu, the folder search with its tip, and the refusals while
// recognition runs. Every dialog and box is answered by the test.

#include "desktopopener.h"
#include "dialogaddimages.h"
#include "dialogdeletespecifiedsheetindex.h"
#include "dialogimagedelete.h"
#include "dialogrotate.h"
#include "dialogsearchsheetimagetip.h"
#include "dialogsetcode.h"
#include "dialogsort.h"
#include "findimagesfromfolderthread.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "multipleselect.h"
#include "mytablewidgetimage.h"
#include "mytablewidgetresult.h"
#include "omrresources.h"
#include "rotatethread.h"

#include <opencv2/imgcodecs.hpp>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

#include <functional>
#include <memory>

using namespace ImageListColumn;

namespace {

// A grey image with a dark 8×8 block in its top-left corner, so size and
// orientation can be read back.
QString writeImage(const QString &dir, const QString &name, int width, int height = 24)
{
    cv::Mat image(height, width, CV_8UC1, cv::Scalar(255));
    image(cv::Rect(0, 0, 8, 8)).setTo(cv::Scalar(0));
    const QString path = dir + QLatin1Char('/') + name;
    cv::imwrite(QFile::encodeName(path).toStdString(), image);
    return path;
}

cv::Mat readImage(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return cv::Mat();
    const QByteArray bytes = f.readAll();
    return cv::imdecode(cv::Mat(1, bytes.size(), CV_8U, const_cast<char *>(bytes.constData())),
                        cv::IMREAD_GRAYSCALE);
}

int imageWidth(const QString &path)
{
    return readImage(path).cols;
}

// Corner holding the dark block: 0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left.
int darkCorner(const QString &path)
{
    const cv::Mat m = readImage(path);
    if (m.empty())
        return -1;
    const int w = m.cols - 1, h = m.rows - 1;
    const cv::Point corners[] = {{1, 1}, {w - 1, 1}, {w - 1, h - 1}, {1, h - 1}};
    for (int i = 0; i < 4; ++i)
        if (m.at<uchar>(corners[i]) < 128)
            return i;
    return -1;
}

QStringList sortedEntries(const QString &dir)
{
    QStringList names = QDir(dir).entryList(QDir::Files | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

// Runs `act` on the next modal dialog of type T that opens.
template <typename T>
void whenModal(std::function<void(T *)> act)
{
    auto *timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, act, clock] {
        if (auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        } else if (clock->elapsed() > 10000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

// Rename failing at the given call numbers (1-based) of one exchange.
QSet<int> g_failingCalls;
int g_renameCalls = 0;
bool failingRename(const QString &from, const QString &to)
{
    ++g_renameCalls;
    if (g_failingCalls.contains(g_renameCalls))
        return false;
    return QFile::rename(from, to);
}

} // namespace

class ImageListTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void testAddImageRow();
    void testContextMenu_data();
    void testContextMenu();
    void testStopEntryEmitsStop();
    void testRefusalsWhileProcessing_data();
    void testRefusalsWhileProcessing();
    void testDeleteSelectedRows_data();
    void testDeleteSelectedRows();
    void testDeletePageIndexRows_data();
    void testDeletePageIndexRows();
    void testMoveUp_data();
    void testMoveUp();
    void testMoveUpExchangeFailure_data();
    void testMoveUpExchangeFailure();
    void testRotateRowImage_data();
    void testRotateRowImage();
    void testRotateBatch();
    void testSort_data();
    void testSort();
    void testSortDialog();
    void testHeaderClicks();
    void testExceptionMode();
    void testLocateFailedRow_data();
    void testLocateFailedRow();
    void testSetCode();
    void testShowRowImage();
    void testDisplayToggles();
    void testOpenFileAndFolder();
    void testFolderSearchWorker();
    void testAddFolderAndFileThroughMenu();
    void testAddFiles();
    void testSecondSearchWhileOneRuns();
    void testSearchTip();
    void testImagesOfDirSignal();

private:
    MyTableWidgetImage *list() const { return m_window->tableWidgetImages; }
    QStringList names() const;
    void addFiles(const QStringList &paths);
    QStringList makeRows(int count, const QString &dir = QString());
    QStringList menuTexts();
    QAction *menuAction(const QString &text);
    QPoint rowPoint(int row) const;
    QString log() const { return m_window->textEditLog->toPlainText(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    QTimer m_watchdog;
    QPointer<QWidget> m_modal;
    QElapsedTimer m_modalClock;
    bool m_modalHung = false;
};

void ImageListTest::initTestCase()
{
    // The window checks the platform account when it is built: keep any such
    // request on this machine (nothing listens on port 1).
    qputenv("VOSTRA_PLATFORM_HOST", "127.0.0.1:1");
    initOmrResources();
    qRegisterMetaType<QFileInfo>("QFileInfo");
    // A dialog that nobody answers is closed after a while and fails the test.
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal != m_modal) {
            m_modal = modal;
            m_modalClock.start();
        } else if (modal && m_modalClock.elapsed() > 15000) {
            m_modalHung = true;
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->done(QDialog::Rejected);
            else
                modal->close();
        }
    });
    m_watchdog.start(50);
}

void ImageListTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_boxes = std::make_unique<MessageBoxRecorder>();
    m_window = std::make_unique<MainWindow>();
    // Without an account the window asks at start-up whether to set one up.
    m_boxes->clear();
    m_window->textEditLog->clear();
    m_modalHung = false;
    headerSortAscending = true;
    MyTableWidgetImage::renameFile = [](const QString &from, const QString &to) { return QFile::rename(from, to); };
}

void ImageListTest::cleanup()
{
    m_window->processWorkers.clear();
    m_window.reset();
    m_boxes.reset();
    m_dir.reset();
    QVERIFY2(!m_modalHung, "a dialog was left open");
}

QStringList ImageListTest::names() const
{
    QStringList out;
    for (int r = 0; r < list()->rowCount(); ++r)
        out << list()->item(r, Path)->data(FileNameRole).toString();
    return out;
}

void ImageListTest::addFiles(const QStringList &paths)
{
    for (const QString &p : paths)
        list()->addImageRow(QFileInfo(p));
}

// `count` rows over files p01.png, p02.png, … (width 20 + row index).
QStringList ImageListTest::makeRows(int count, const QString &dir)
{
    const QString folder = dir.isEmpty() ? m_dir->path() : dir;
    QStringList paths;
    for (int i = 0; i < count; ++i)
        paths << writeImage(folder, QStringLiteral("p%1.png").arg(i + 1, 2, 10, QLatin1Char('0')), 20 + i);
    addFiles(paths);
    return paths;
}

QStringList ImageListTest::menuTexts()
{
    QStringList out;
    for (QAction *a : list()->contextMenu->actions())
        if (!a->isSeparator())
            out << a->text();
    return out;
}

QAction *ImageListTest::menuAction(const QString &text)
{
    for (QAction *a : list()->contextMenu->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

QPoint ImageListTest::rowPoint(int row) const
{
    if (row < 0) {
        const int last = list()->rowCount() - 1;
        return QPoint(5, list()->rowViewportPosition(last) + list()->rowHeight(last) + 5);
    }
    return list()->visualItemRect(list()->item(row, Path)).center();
}

void ImageListTest::testAddImageRow()
{
    const QString a = writeImage(m_dir->path(), QStringLiteral("scan.001.png"), 30);
    const QString b = writeImage(m_dir->path(), QStringLiteral("b.png"), 30);
    list()->addImageRow(QFileInfo(a));
    list()->addImageRow(QFileInfo(b), 0);
    list()->addImageRow(QFileInfo(b), 99); // past the end: appended

    QCOMPARE(names(), (QStringList{"b.png", "scan.001.png", "b.png"}));
    QCOMPARE(list()->columnCount(), 16);
    const QTableWidgetItem *path = list()->item(1, Path);
    QCOMPARE(path->text(), QStringLiteral("scan.001.png"));
    QCOMPARE(path->data(FilePathRole).toString(), QDir::toNativeSeparators(QFileInfo(a).absoluteFilePath()));
    QCOMPARE(list()->item(1, BaseName)->text(), QStringLiteral("scan"));
    QCOMPARE(list()->item(1, CornerCheck)->text(), QStringLiteral("√"));
    QCOMPARE(list()->item(1, Modified)->text(),
             QString::number(QFileInfo(a).lastModified().toMSecsSinceEpoch()));
    QVERIFY(list()->item(1, Created)->text().toLongLong() > 0);
    for (int c : {1, 2, 3, 4, 5, 7, 11, 12, 13, 14, 15})
        QVERIFY2(list()->item(1, c) && list()->item(1, c)->text().isEmpty(), qPrintable(QString::number(c)));
    QCOMPARE(list()->rowHeight(1), 20);
    for (int c = 6; c < 16; ++c)
        QVERIFY(list()->isColumnHidden(c));
}

void ImageListTest::testContextMenu_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("row"); // -1: below the last row
    QTest::addColumn<bool>("processing");
    QTest::addColumn<QStringList>("expected");

    const QStringList only{"追加(&A)", "打开异常处理模式"};
    const QStringList tail{"定位到失败行(&L)", "删除(&D)", "旋转", "上移(&U)", "追加(&A)", "显示文件完整路径",
                           "忽略边角检测(&I)", "排序(&S)", "显示可排序列", "打开文件(&O)", "打开目录(&F)",
                           "删除页序图片", "打开异常处理模式"};
    QTest::newRow("empty list") << 0 << 0 << 0 << false << only;
    QTest::newRow("below the last row") << 3 << 2 << -1 << false << only;
    QTest::newRow("no exam") << 5 << 0 << 0 << false << tail;
    QTest::newRow("first page") << 5 << 2 << 2 << false
                                << QStringList{"处理本份答卷(&P)", "设定考号(&C)"} + tail;
    QTest::newRow("second page") << 5 << 2 << 1 << false << QStringList{"设定考号(&C)"} + tail;
    QTest::newRow("incomplete last sheet") << 5 << 2 << 4 << false << QStringList{"设定考号(&C)"} + tail;
    QTest::newRow("processing") << 5 << 2 << 0 << true << QStringList{"停止识别处理(&S)"};
    QTest::newRow("processing, empty list") << 0 << 2 << 0 << true << QStringList{"停止识别处理(&S)"};
}

void ImageListTest::testContextMenu()
{
    QFETCH(int, rows);
    QFETCH(int, pages);
    QFETCH(int, row);
    QFETCH(bool, processing);
    QFETCH(QStringList, expected);

    makeRows(rows);
    m_window->pagesPerSheet = pages;
    m_window->templatePages.resize(pages);
    if (processing)
        m_window->processWorkers.append(nullptr);
    list()->fillContextMenu(rows > 0 ? rowPoint(row) : QPoint(5, 5));
    QCOMPARE(menuTexts(), expected);
    if (!processing && rows > 0 && row >= 0)
        QCOMPARE(list()->contextRow, row);
}

void ImageListTest::testStopEntryEmitsStop()
{
    makeRows(2);
    m_window->processWorkers.append(nullptr);
    // No real workers here for the window's own stop handler to reach.
    QObject::disconnect(m_window.get(), &MainWindow::stop, m_window.get(), &MainWindow::stopProcess);
    QSignalSpy stops(m_window.get(), &MainWindow::stop);
    list()->fillContextMenu(rowPoint(0));
    menuAction(QStringLiteral("停止识别处理(&S)"))->trigger();
    QCOMPARE(stops.count(), 1);
}

void ImageListTest::testRefusalsWhileProcessing_data()
{
    QTest::addColumn<QString>("action");
    for (const char *a : {"delete", "deletePageIndex", "moveUp", "sort", "header", "swap", "rotate", "add"})
        QTest::newRow(a) << QString::fromLatin1(a);
}

void ImageListTest::testRefusalsWhileProcessing()
{
    QFETCH(QString, action);
    const QStringList paths = makeRows(4);
    list()->sortableColumnsHidden = false;
    list()->selectRow(2);
    list()->setCurrentCell(2, 0);
    list()->contextRow = 2;
    m_window->exchangeNameWhenRowsExchange = true;
    const QByteArray before = [&] {
        QFile f(paths[2]);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    m_window->processWorkers.append(nullptr);

    // A dialog opening here would be a failure: none is answered.
    if (action == QLatin1String("delete"))
        list()->deleteSelectedRows();
    else if (action == QLatin1String("deletePageIndex"))
        list()->deletePageIndexRows();
    else if (action == QLatin1String("moveUp"))
        list()->moveImageRowUp();
    else if (action == QLatin1String("sort"))
        list()->sortImageRows();
    else if (action == QLatin1String("header")) {
        headerSortAscending = false; // would reverse the rows otherwise
        emit list()->horizontalHeader()->sectionClicked(BaseName);
    }
    else if (action == QLatin1String("swap"))
        list()->swapImageFileNames(2, 1);
    else if (action == QLatin1String("rotate"))
        list()->rotateRowImageFile(0);
    else if (action == QLatin1String("add"))
        list()->addImages();

    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(names(), (QStringList{"p01.png", "p02.png", "p03.png", "p04.png"}));
    QCOMPARE(imageWidth(paths[2]), 22);
    QFile f(paths[2]);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    if (action != QLatin1String("header"))
        QVERIFY(log().contains(QStringLiteral("正在识别处理，不能完成本操作")));
}

void ImageListTest::testDeleteSelectedRows_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<bool>("deleteFiles");
    QTest::addColumn<QStringList>("remaining");

    QTest::newRow("rows only") << true << false << QStringList{"p01.png", "p03.png", "p05.png"};
    QTest::newRow("rows and files") << true << true << QStringList{"p01.png", "p03.png", "p05.png"};
    QTest::newRow("cancelled") << false << true
                               << QStringList{"p01.png", "p02.png", "p03.png", "p04.png", "p05.png"};
}

void ImageListTest::testDeleteSelectedRows()
{
    QFETCH(bool, accept);
    QFETCH(bool, deleteFiles);
    QFETCH(QStringList, remaining);

    const QStringList paths = makeRows(5);
    list()->item(2, Result)->setText(QStringLiteral("√"));
    // Three cells of row 1, one of row 2 (processed) and one of row 3.
    auto *sel = list()->selectionModel();
    for (const auto &cell : {QPair<int, int>{1, 0}, {1, 1}, {1, 5}, {2, 0}, {3, 0}})
        sel->select(list()->model()->index(cell.first, cell.second), QItemSelectionModel::Select);

    whenModal<DialogImageDelete>([accept, deleteFiles](DialogImageDelete *d) {
        QCOMPARE(d->windowTitle(), QStringLiteral("删除"));
        auto *box = d->findChild<QCheckBox *>(QStringLiteral("checkBoxDeleteLocalFile"));
        box->click();
        if (!deleteFiles)
            box->click();
        QCOMPARE(d->deleteLocalFile, deleteFiles);
        if (accept)
            d->findChild<QPushButton *>(QStringLiteral("pushButtonOK"))->click();
        else
            d->reject();
    });
    list()->deleteSelectedRows();

    QCOMPARE(names(), remaining);
    const bool filesGone = accept && deleteFiles;
    QCOMPARE(QFile::exists(paths[1]), !filesGone);
    QCOMPARE(QFile::exists(paths[3]), !filesGone);
    QVERIFY(QFile::exists(paths[2])); // the processed row and its file stay
}

void ImageListTest::testDeletePageIndexRows_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("deleteFiles");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QList<int>>("removed"); // 1-based rows

    QTest::newRow("every 4th") << 4 << false << true << QList<int>{4, 8};
    QTest::newRow("every 4th with files") << 4 << true << true << QList<int>{4, 8};
    QTest::newRow("every page but the processed") << 1 << false << true << QList<int>{1, 2, 4, 5, 6, 7, 8, 9, 10};
    QTest::newRow("cancelled") << 3 << true << false << QList<int>{};
}

void ImageListTest::testDeletePageIndexRows()
{
    QFETCH(int, index);
    QFETCH(bool, deleteFiles);
    QFETCH(bool, accept);
    QFETCH(QList<int>, removed);

    const QStringList paths = makeRows(10);
    const QStringList before = names();
    list()->item(2, Result)->setText(QStringLiteral("√"));
    int pageIndexSeen = 0;
    whenModal<DialogDeleteSpecifiedSheetIndex>([=, &pageIndexSeen](DialogDeleteSpecifiedSheetIndex *d) {
        auto *spin = d->findChild<QSpinBox *>(QStringLiteral("spinBox"));
        QCOMPARE(spin->minimum(), 1);
        QCOMPARE(spin->maximum(), 100);
        spin->setValue(index);
        d->findChild<QCheckBox *>(QStringLiteral("checkBox"))->setChecked(deleteFiles);
        if (accept) {
            d->findChild<QPushButton *>(QStringLiteral("pushButtonOK"))->click();
        } else {
            d->reject();
            pageIndexSeen = d->pageIndex;
        }
    });
    list()->deletePageIndexRows();

    QStringList expected;
    for (int r = 1; r <= 10; ++r)
        if (!removed.contains(r))
            expected << before[r - 1];
    QCOMPARE(names(), expected);
    for (int r = 1; r <= 10; ++r)
        QCOMPARE(QFile::exists(paths[r - 1]), !(deleteFiles && removed.contains(r)));
    if (!accept)
        QCOMPARE(pageIndexSeen, -1);
}

void ImageListTest::testMoveUp_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("processed"); // rows holding "√", e.g. "1"
    QTest::addColumn<bool>("exchange");
    QTest::addColumn<bool>("sameFolder");
    QTest::addColumn<QStringList>("expectedNames");
    QTest::addColumn<QList<int>>("expectedWidths"); // of the files the rows name, in row order

    // Files: a_1.png width 31, a_2.png width 47, a_3.png width 55.
    QTest::newRow("exchange names") << 1 << "" << true << true << QStringList{"a_1.png", "a_2.png", "a_3.png"}
                                    << QList<int>{47, 31, 55};
    QTest::newRow("no exchange") << 1 << "" << false << true << QStringList{"a_2.png", "a_1.png", "a_3.png"}
                                 << QList<int>{47, 31, 55};
    QTest::newRow("different folders") << 1 << "" << true << false
                                       << QStringList{"a_2.png", "a_1.png", "a_3.png"} << QList<int>{47, 31, 55};
    QTest::newRow("first row") << 0 << "" << true << true << QStringList{"a_1.png", "a_2.png", "a_3.png"}
                               << QList<int>{31, 47, 55};
    QTest::newRow("processed row") << 2 << "2" << true << true << QStringList{"a_1.png", "a_2.png", "a_3.png"}
                                   << QList<int>{31, 47, 55};
    QTest::newRow("below a processed row") << 2 << "1" << true << true
                                           << QStringList{"a_1.png", "a_2.png", "a_3.png"} << QList<int>{31, 47, 55};
}

void ImageListTest::testMoveUp()
{
    QFETCH(int, row);
    QFETCH(QString, processed);
    QFETCH(bool, exchange);
    QFETCH(bool, sameFolder);
    QFETCH(QStringList, expectedNames);
    QFETCH(QList<int>, expectedWidths);

    const QString one = m_dir->path();
    QDir(one).mkdir(QStringLiteral("other"));
    const QString other = sameFolder ? one : one + QStringLiteral("/other");
    addFiles({writeImage(one, QStringLiteral("a_1.png"), 31), writeImage(other, QStringLiteral("a_2.png"), 47),
              writeImage(one, QStringLiteral("a_3.png"), 55)});
    if (!processed.isEmpty())
        list()->item(processed.toInt(), Result)->setText(QStringLiteral("√"));
    list()->item(1, Code)->setText(QStringLiteral("77"));
    m_window->exchangeNameWhenRowsExchange = exchange;

    list()->setCurrentCell(row, 0);
    list()->moveImageRowUp();

    QCOMPARE(names(), expectedNames);
    QList<int> widths;
    for (int r = 0; r < 3; ++r)
        widths << imageWidth(list()->rowFilePath(r));
    QCOMPARE(widths, expectedWidths);
    QCOMPARE(sortedEntries(one).size(), sameFolder ? 3 : 2); // nothing added or lost
    const bool moved = expectedWidths.first() == 47;
    if (moved) {
        QCOMPARE(list()->currentRow(), 0);
        // Renamed rows start afresh; moved rows keep their cells.
        QCOMPARE(list()->item(0, Code)->text(), exchange && sameFolder ? QString() : QStringLiteral("77"));
    }
}

void ImageListTest::testMoveUpExchangeFailure_data()
{
    QTest::addColumn<QList<int>>("failing"); // rename calls that fail
    QTest::addColumn<bool>("namesKept");     // every file back under its own name

    QTest::newRow("first rename") << QList<int>{1} << true;
    QTest::newRow("second rename") << QList<int>{2} << true;
    QTest::newRow("third rename") << QList<int>{3} << true;
    QTest::newRow("second rename and its undo") << QList<int>{2, 3} << false;
    QTest::newRow("third rename and its undo") << QList<int>{3, 4} << false;
}

void ImageListTest::testMoveUpExchangeFailure()
{
    QFETCH(QList<int>, failing);
    QFETCH(bool, namesKept);

    const QString dir = m_dir->path();
    const QString a1 = writeImage(dir, QStringLiteral("a_1.png"), 31);
    const QString a2 = writeImage(dir, QStringLiteral("a_2.png"), 47);
    addFiles({a1, a2});
    m_window->exchangeNameWhenRowsExchange = true;
    g_failingCalls = QSet<int>(failing.begin(), failing.end());
    g_renameCalls = 0;
    MyTableWidgetImage::renameFile = failingRename;

    list()->setCurrentCell(1, 0);
    list()->moveImageRowUp();

    QVERIFY(log().contains(QStringLiteral("交换文件名失败")));
    // Nothing lost: both images are still in the folder, under some name.
    QList<int> widths;
    for (const QString &name : sortedEntries(dir))
        widths << imageWidth(dir + QLatin1Char('/') + name);
    std::sort(widths.begin(), widths.end());
    QCOMPARE(widths, (QList<int>{31, 47}));
    if (namesKept) {
        QCOMPARE(sortedEntries(dir), (QStringList{"a_1.png", "a_2.png"}));
        QCOMPARE(imageWidth(a1), 31);
        QCOMPARE(imageWidth(a2), 47);
        // The rows moved and still point at their own files.
        QCOMPARE(names(), (QStringList{"a_2.png", "a_1.png"}));
    } else {
        // The log says where the stranded file is.
        const QStringList entries = sortedEntries(dir);
        for (const QString &name : entries)
            if (name != QLatin1String("a_1.png") && name != QLatin1String("a_2.png"))
                QVERIFY2(log().contains(name), qPrintable(name));
    }
}

void ImageListTest::testRotateRowImage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("corner");

    QTest::newRow("png 90") << "r.png" << 0 << QSize(24, 40) << 1;
    QTest::newRow("png 180") << "r.png" << 1 << QSize(40, 24) << 2;
    QTest::newRow("png 270") << "r.png" << 2 << QSize(24, 40) << 3;
    QTest::newRow("jpg 90") << "r.jpg" << 0 << QSize(24, 40) << 1;
    QTest::newRow("tif 270") << "r.tif" << 2 << QSize(24, 40) << 3;
}

void ImageListTest::testRotateRowImage()
{
    QFETCH(QString, name);
    QFETCH(int, mode);
    QFETCH(QSize, size);
    QFETCH(int, corner);

    const QString path = writeImage(m_dir->path(), name, 40, 24);
    addFiles({path});
    list()->contextRow = 0;
    list()->rotateRowImageFile(mode);

    const cv::Mat m = readImage(path);
    QCOMPARE(QSize(m.cols, m.rows), size);
    QCOMPARE(darkCorner(path), corner);
    QCOMPARE(sortedEntries(m_dir->path()), QStringList{name}); // no temporary file left
}

void ImageListTest::testRotateBatch()
{
    const QStringList paths = makeRows(4);
    // A file that is no image stays as it is; the others of the range turn.
    QFile broken(paths[2]);
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not an image");
    broken.close();

    list()->fillContextMenu(rowPoint(0));
    QAction *batch = nullptr;
    for (QAction *a : list()->rotateMenu->actions())
        if (a->text() == QStringLiteral("批量"))
            batch = a;
    QVERIFY(batch);
    QStringList failed;
    whenModal<DialogRotate>([&failed](DialogRotate *d) {
        QCOMPARE(d->findChild<QLineEdit *>(QStringLiteral("lineEditEndID"))->text(), QStringLiteral("4"));
        d->findChild<QLineEdit *>(QStringLiteral("lineEditStartID"))->setText(QStringLiteral("2"));
        d->findChild<QLineEdit *>(QStringLiteral("lineEditEndID"))->setText(QStringLiteral("3"));
        d->findChild<QComboBox *>(QStringLiteral("comboBox"))->setCurrentIndex(2); // 180
        QSignalSpy done(d->worker, &RotateThread::finished);
        d->findChild<QPushButton *>(QStringLiteral("pushButtonStart"))->click();
        QVERIFY(done.wait());
        QTRY_VERIFY(!d->isRotating());
        failed = d->failedFiles;
        d->findChild<QPushButton *>(QStringLiteral("pushButtonOK"))->click();
    });
    MessageBoxRecorder boxes;
    batch->trigger();

    QCOMPARE(darkCorner(paths[0]), 0);
    QCOMPARE(darkCorner(paths[1]), 2);
    QCOMPARE(darkCorner(paths[3]), 0);
    QCOMPARE(failed, QStringList{QStringLiteral("无法读取图片：") + paths[2]});
    QCOMPARE(boxes.count(), 1);
    QFile f(paths[2]);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("not an image"));
    QCOMPARE(names().size(), 4);
}

void ImageListTest::testSort_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("numbers before text") << QStringList{"10", "b", "9"} << 0 << 0 << QString()
                                         << QStringList{"9", "10", "b"};
    QTest::newRow("descending") << QStringList{"10", "b", "9"} << 0 << 1 << QString()
                                << QStringList{"b", "10", "9"};
    QTest::newRow("filtered prefix") << QStringList{"A-10", "A-2", "A-1"} << 0 << 0 << "A-"
                                     << QStringList{"A-1", "A-2", "A-10"};
    QTest::newRow("full-width comma, empty part") << QStringList{"x3y", "x12y", "x1y"} << 0 << 0 << "x，,y"
                                                  << QStringList{"x1y", "x3y", "x12y"};
    QTest::newRow("emptied name is zero") << QStringList{"5", "A-", "3"} << 0 << 0 << "A-"
                                          << QStringList{"A-", "3", "5"};
    QTest::newRow("too big is zero") << QStringList{"7", "99999999999"} << 0 << 0 << QString()
                                     << QStringList{"99999999999", "7"};
    QTest::newRow("modification time") << QStringList{"c", "a", "b"} << 2 << 0 << QString()
                                        << QStringList{"c", "a", "b"};
    QTest::newRow("modification time, descending") << QStringList{"c", "a", "b"} << 2 << 1 << QString()
                                                    << QStringList{"b", "a", "c"};
}

void ImageListTest::testSort()
{
    QFETCH(QStringList, files);
    QFETCH(int, key);
    QFETCH(int, order);
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);

    // Inserted in reverse so that insertion order is never the answer;
    // modification times follow the order given.
    QDateTime t = QDateTime::currentDateTime().addDays(-1);
    QStringList paths;
    for (const QString &base : files) {
        const QString path = writeImage(m_dir->path(), base + QStringLiteral(".png"), 20);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(t, QFileDevice::FileModificationTime));
        t = t.addSecs(60);
        paths.prepend(path);
    }
    addFiles(paths);

    whenModal<DialogSort>([=](DialogSort *d) {
        d->findChild<QListWidget *>(QStringLiteral("listWidgetSortBy"))->setCurrentRow(0);
        d->findChild<QLineEdit *>(QStringLiteral("lineEditFilterText"))->setText(filter);
        d->findChild<QListWidget *>(QStringLiteral("listWidgetSortBy"))->setCurrentRow(key);
        d->findChild<QComboBox *>(QStringLiteral("comboBoxSortType"))->setCurrentIndex(order);
        d->findChild<QPushButton *>(QStringLiteral("pushButtonOK"))->click();
    });
    list()->sortImageRows();

    QStringList bases;
    for (int r = 0; r < list()->rowCount(); ++r)
        bases << list()->item(r, BaseName)->text();
    QCOMPARE(bases, expected);
    QVERIFY(!list()->isSortingEnabled());
    // Rows added later go to the end.
    list()->addImageRow(QFileInfo(writeImage(m_dir->path(), QStringLiteral("0.png"), 20)));
    QCOMPARE(list()->item(list()->rowCount() - 1, BaseName)->text(), QStringLiteral("0"));
}

void ImageListTest::testSortDialog()
{
    DialogSort d;
    auto *rows = d.findChild<QListWidget *>(QStringLiteral("listWidgetSortBy"));
    auto *filter = d.findChild<QLineEdit *>(QStringLiteral("lineEditFilterText"));
    filter->setText(QStringLiteral("A-"));
    rows->setCurrentRow(-1);
    d.show();
    d.findChild<QPushButton *>(QStringLiteral("pushButtonOK"))->click();
    QVERIFY(d.isVisible()); // no key picked: stays open
    rows->setCurrentRow(1);
    QVERIFY(!filter->isEnabled());
    QCOMPARE(filter->text(), QStringLiteral("A-"));
    rows->setCurrentRow(0);
    QVERIFY(filter->isEnabled());
    d.findChild<QPushButton *>(QStringLiteral("pushButtonOK"))->click();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(d.filterText, QStringLiteral("A-"));
}

void ImageListTest::testHeaderClicks()
{
    // Base names run backwards against modification times.
    QDateTime t = QDateTime::currentDateTime().addDays(-1);
    QStringList paths;
    for (const char *base : {"c", "b", "a"}) {
        const QString path = writeImage(m_dir->path(), QLatin1String(base) + QStringLiteral(".png"), 20);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(t, QFileDevice::FileModificationTime));
        t = t.addSecs(60);
        paths << path;
    }
    addFiles({paths[1], paths[2], paths[0]});
    QHeaderView *header = list()->horizontalHeader();

    emit header->sectionClicked(Modified);
    QCOMPARE(names(), (QStringList{"c.png", "b.png", "a.png"}));
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);

    emit header->sectionClicked(BaseName); // the one toggle: now descending
    QCOMPARE(names(), (QStringList{"c.png", "b.png", "a.png"}));
    QCOMPARE(header->sortIndicatorSection(), int(BaseName));
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);

    emit header->sectionClicked(BaseName);
    QCOMPARE(names(), (QStringList{"a.png", "b.png", "c.png"}));

    emit header->sectionClicked(Path);
    QVERIFY(!header->isSortIndicatorShown());
    QCOMPARE(names(), (QStringList{"a.png", "b.png", "c.png"}));
    QVERIFY(!list()->isSortingEnabled());
}

void ImageListTest::testExceptionMode()
{
    makeRows(4);
    list()->item(0, Result)->setText(QStringLiteral("√"));
    list()->item(1, Result)->setText(QStringLiteral("定位点A查找失败"));
    list()->item(3, Result)->setText(QStringLiteral("√"));

    list()->fillContextMenu(rowPoint(1));
    menuAction(QStringLiteral("打开异常处理模式"))->trigger();
    QVERIFY(list()->exceptionMode);
    QCOMPARE(list()->isRowHidden(0), true);
    QCOMPARE(list()->isRowHidden(1), false);
    QCOMPARE(list()->isRowHidden(2), false);
    QCOMPARE(list()->isRowHidden(3), true);
    QVERIFY(log().contains(QStringLiteral("异常处理模式已打开。答卷图片列表仅显示识别处理失败的记录。")));

    // A sheet that succeeds meanwhile is hidden by the window.
    list()->item(2, Result)->setText(QStringLiteral("√"));
    list()->hideRow(2);
    list()->fillContextMenu(rowPoint(1));
    menuAction(QStringLiteral("关闭异常处理模式"))->trigger();
    QVERIFY(!list()->exceptionMode);
    for (int r = 0; r < 4; ++r)
        QVERIFY(!list()->isRowHidden(r));
    QVERIFY(log().contains(QStringLiteral("异常处理模式已关闭。答卷图片列表已显示全部记录。")));
}

void ImageListTest::testLocateFailedRow_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("found"); // -1: the "not found" box

    QTest::newRow("the row itself") << 2 << 2;
    QTest::newRow("further down") << 0 << 2;
    QTest::newRow("none below") << 3 << -1;
    QTest::newRow("no row under the cursor") << -1 << 2;
    QTest::newRow("past the table") << 40 << -1;
}

void ImageListTest::testLocateFailedRow()
{
    QFETCH(int, from);
    QFETCH(int, found);

    makeRows(5);
    list()->item(1, Result)->setText(QStringLiteral("√"));
    list()->item(2, Result)->setText(QStringLiteral("考号识别失败"));
    list()->contextRow = from;
    list()->locateFailedRow();
    if (found >= 0) {
        QCOMPARE(m_boxes->count(), 0);
        QCOMPARE(list()->currentRow(), found);
        QVERIFY(list()->item(found, Path)->isSelected());
    } else {
        QCOMPARE(m_boxes->count(), 1);
        QCOMPARE(m_boxes->last().title, QStringLiteral("提示"));
        QCOMPARE(m_boxes->last().text, QStringLiteral("未发现"));
    }
}

void ImageListTest::testSetCode()
{
    makeRows(5);
    m_window->pagesPerSheet = 2;
    m_window->templatePages.resize(2);
    list()->item(2, Code)->setText(QStringLiteral("2024001"));

    // The second page of the second sheet edits the sheet's first row.
    list()->fillContextMenu(rowPoint(3));
    QString shown;
    whenModal<DialogSetCode>([&shown](DialogSetCode *d) {
        auto *edit = d->findChild<QLineEdit *>(QStringLiteral("lineEditCode"));
        auto *ok = d->findChild<QPushButton *>(QStringLiteral("pushButtonOK"));
        shown = edit->text();
        QVERIFY(!d->findChild<QCheckBox *>(QStringLiteral("checkBoxAutoStartProcess"))->isChecked());
        edit->clear();
        ok->click();
        QVERIFY(d->isVisible()); // empty: stays open
        QTest::keyClicks(edit, QStringLiteral("12ab34"));
        QCOMPARE(edit->text(), QStringLiteral("1234")); // digits only
        ok->click();
    });
    menuAction(QStringLiteral("设定考号(&C)"))->trigger();
    QCOMPARE(shown, QStringLiteral("2024001"));
    QCOMPARE(list()->item(2, Code)->text(), QStringLiteral("1234"));
    QCOMPARE(list()->item(3, Code)->text(), QString());
    QVERIFY(!list()->autoStartProcess);

    // With auto start on an incomplete sheet (row 4 alone): refused, no run.
    list()->fillContextMenu(rowPoint(4));
    whenModal<DialogSetCode>([](DialogSetCode *d) {
        d->findChild<QLineEdit *>(QStringLiteral("lineEditCode"))->setText(QStringLiteral("555"));
        d->findChild<QCheckBox *>(QStringLiteral("checkBoxAutoStartProcess"))->setChecked(true);
        d->findChild<QPushButton *>(QStringLiteral("pushButtonOK"))->click();
    });
    menuAction(QStringLiteral("设定考号(&C)"))->trigger();
    QCOMPARE(list()->item(4, Code)->text(), QStringLiteral("555"));
    QVERIFY(list()->autoStartProcess);
    QVERIFY(!m_window->isProcessing());
    QVERIFY(log().contains(QStringLiteral("本份答卷的图片不全，不能开始处理")));

    // The choice is handed to the next dialog; a cancelled one changes nothing.
    list()->fillContextMenu(rowPoint(0));
    whenModal<DialogSetCode>([](DialogSetCode *d) {
        QVERIFY(d->findChild<QCheckBox *>(QStringLiteral("checkBoxAutoStartProcess"))->isChecked());
        d->findChild<QLineEdit *>(QStringLiteral("lineEditCode"))->setText(QStringLiteral("999"));
        d->reject();
    });
    menuAction(QStringLiteral("设定考号(&C)"))->trigger();
    QCOMPARE(list()->item(0, Code)->text(), QString());
}

void ImageListTest::testShowRowImage()
{
    makeRows(4);
    QTableWidget *results = m_window->tableWidgetResults;
    results->setColumnCount(1);
    results->setRowCount(3);
    for (int r = 0; r < 3; ++r)
        results->setItem(r, 0, new QTableWidgetItem(QStringLiteral("10%1").arg(r)));
    list()->item(2, Code)->setText(QStringLiteral("102"));
    list()->item(2, Result)->setText(QStringLiteral("√"));
    list()->item(3, Result)->setText(QStringLiteral("√"));

    // Before an exam is open there are no sheets to look up.
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rowPoint(3));
    QCOMPARE(list()->contextRow, 3);
    QVERIFY(results->selectedItems().isEmpty());

    // The second page of a processed sheet selects the sheet's result row.
    m_window->pagesPerSheet = 2;
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rowPoint(1));
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rowPoint(3));
    QCOMPARE(results->selectedItems(), QList<QTableWidgetItem *>{results->item(2, 0)});
}

void ImageListTest::testDisplayToggles()
{
    const QStringList paths = makeRows(2);
    list()->fillContextMenu(rowPoint(0));
    menuAction(QStringLiteral("显示文件完整路径"))->trigger();
    QCOMPARE(list()->item(1, Path)->text(), QDir::toNativeSeparators(paths[1]));
    list()->addImageRow(QFileInfo(paths[0])); // new rows show the name
    QCOMPARE(list()->item(2, Path)->text(), QStringLiteral("p01.png"));
    list()->fillContextMenu(rowPoint(0));
    menuAction(QStringLiteral("显示文件名"))->trigger();
    QCOMPARE(list()->item(1, Path)->text(), QStringLiteral("p02.png"));

    list()->fillContextMenu(rowPoint(0));
    menuAction(QStringLiteral("显示可排序列"))->trigger();
    for (int c = BaseName; c <= Modified; ++c)
        QVERIFY(!list()->isColumnHidden(c));
    QVERIFY(list()->isColumnHidden(CornerCheck));
    list()->fillContextMenu(rowPoint(0));
    menuAction(QStringLiteral("隐藏可排序列"))->trigger();
    for (int c = BaseName; c <= Modified; ++c)
        QVERIFY(list()->isColumnHidden(c));

    list()->fillContextMenu(rowPoint(1));
    menuAction(QStringLiteral("忽略边角检测(&I)"))->trigger();
    QCOMPARE(list()->item(1, CornerCheck)->text(), QStringLiteral("×"));
    list()->fillContextMenu(rowPoint(1));
    menuAction(QStringLiteral("开启边角检测"))->trigger();
    QCOMPARE(list()->item(1, CornerCheck)->text(), QStringLiteral("√"));
}

void ImageListTest::testOpenFileAndFolder()
{
    const QStringList paths = makeRows(2);
    DesktopOpenRecorder opened;
    list()->fillContextMenu(rowPoint(0));
    menuAction(QStringLiteral("打开文件(&O)"))->trigger(); // no current row yet
    QVERIFY(opened.urls.isEmpty());

    list()->setCurrentCell(1, 0);
    menuAction(QStringLiteral("打开文件(&O)"))->trigger();
    menuAction(QStringLiteral("打开目录(&F)"))->trigger();
    QCOMPARE(opened.urls.size(), 2);
    QCOMPARE(opened.urls[0], QUrl::fromLocalFile(paths[1]));
    QCOMPARE(QFileInfo(opened.urls[1].toLocalFile()).absoluteFilePath(), QFileInfo(m_dir->path()).absoluteFilePath());
}

void ImageListTest::testFolderSearchWorker()
{
    const QString root = m_dir->path();
    QDir d(root);
    for (const char *sub : {"A", "B", "C", "D"})
        QVERIFY(d.mkdir(QLatin1String(sub)));
    const QString image = writeImage(root, QStringLiteral("source.png"), 20);
    for (const char *name : {"b.png", "9.jpg", "A.TIF", "10.jpeg"})
        QVERIFY(QFile::copy(image, root + QStringLiteral("/A/") + QLatin1String(name)));
    QVERIFY(QFile::copy(image, root + QStringLiteral("/B/skip.bmp")));
    writeImage(root + QStringLiteral("/C"), QStringLiteral("z.png"), 20);
    writeImage(root + QStringLiteral("/C"), QStringLiteral("y.tiff"), 20);
    QVERIFY(QFile::link(root + QStringLiteral("/C/z.png"), root + QStringLiteral("/C/link.png")));
    QVERIFY(d.mkdir(QStringLiteral("C/sub.png")));
    writeImage(root + QStringLiteral("/C/sub.png"), QStringLiteral("deep.png"), 20);

    // Named like pages but no plain files: a link to a device and a pipe.
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), root + QStringLiteral("/C/device.jpg")));
    QVERIFY(mkfifo(QFile::encodeName(root + QStringLiteral("/C/pipe.png")).constData(), 0600) == 0);

    FindImagesFromFolderThread worker;
    QSignalSpy found(&worker, &FindImagesFromFolderThread::addOneImage);
    QSignalSpy skipped(&worker, &FindImagesFromFolderThread::skippedEntry);
    QSignalSpy finished(&worker, &FindImagesFromFolderThread::findImagesFinished);
    worker.run({root + QStringLiteral("/A"), root + QStringLiteral("/B"), root + QStringLiteral("/missing"),
                root + QStringLiteral("/C")},
               {root + QStringLiteral("/notes.txt")});
    QCOMPARE(finished.count(), 1);

    QStringList names;
    for (const QList<QVariant> &args : found)
        names << args.first().value<QFileInfo>().fileName();
    QCOMPARE(names, (QStringList{"10.jpeg", "9.jpg", "A.TIF", "b.png", "y.tiff", "z.png", "notes.txt"}));
    QCOMPARE(finished.first().first().toInt(), 7);
    // What is left out is named, with what it is.
    QStringList left;
    for (const QList<QVariant> &args : skipped)
        left << QFileInfo(args.at(0).toString()).fileName() + QLatin1Char(' ') + args.at(1).toString();
    QCOMPARE(left, (QStringList{QStringLiteral("device.jpg 链接"), QStringLiteral("link.png 链接"),
                                QStringLiteral("pipe.png 不是普通文件"), QStringLiteral("sub.png 文件夹")}));
}

void ImageListTest::testAddFolderAndFileThroughMenu()
{
    const QString root = m_dir->path();
    QDir d(root);
    for (const char *sub : {"A", "B", "C", "elsewhere"})
        QVERIFY(d.mkdir(QLatin1String(sub)));
    for (const char *name : {"3.png", "1.png", "2.png"})
        writeImage(root + QStringLiteral("/A"), QLatin1String(name), 20);
    writeImage(root + QStringLiteral("/C"), QStringLiteral("c2.png"), 20);
    writeImage(root + QStringLiteral("/C"), QStringLiteral("c1.png"), 20);
    writeImage(root, QStringLiteral("single.png"), 20);
    // Named like a page, but a folder: left out, and said so.
    QVERIFY(d.mkdir(QStringLiteral("C/c3.png")));
    makeRows(1, root + QStringLiteral("/elsewhere")); // a row to open the menu on

    // Two searches in a row: both list their images and close the tip.
    for (int round = 0; round < 2; ++round) {
        whenModal<DialogAddImages>([root](DialogAddImages *dialog) {
            whenModal<MultipleSelect>([root](MultipleSelect *chooser) {
                chooser->setDirectory(root);
                auto *view = chooser->findChild<QListView *>(QStringLiteral("listView"));
                auto *model = qobject_cast<QFileSystemModel *>(view->model());
                QVERIFY(model);
                QVERIFY(QTest::qWaitFor([&] { return model->rowCount(model->index(root)) >= 4; }, 5000));
                for (const char *name : {"A", "B", "C", "single.png"})
                    view->selectionModel()->select(model->index(root + QLatin1Char('/') + QLatin1String(name)),
                                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
                auto *buttons = chooser->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
                QPushButton *ok = nullptr;
                for (QAbstractButton *b : buttons->buttons())
                    if (buttons->buttonRole(b) == QDialogButtonBox::AcceptRole)
                        ok = qobject_cast<QPushButton *>(b);
                QVERIFY(ok && ok->isEnabled());
                ok->click();
            });
            dialog->findChild<QPushButton *>(QStringLiteral("pushButtonFromFolder"))->click();
        });
        list()->fillContextMenu(rowPoint(0));
        menuAction(QStringLiteral("追加(&A)"))->trigger();
        QVERIFY(!m_window->searchSheetImageTip->isVisible());
        QVERIFY2(!m_modalHung, qPrintable(QStringLiteral("search %1 left its tip open").arg(round + 1)));
    }

    const QStringList once{"1.png", "2.png", "3.png", "c1.png", "c2.png", "single.png"};
    QCOMPARE(names(), QStringList{"p01.png"} + once + once);
    QCOMPARE(log().count(QStringLiteral("找到图片数量：6")), 2);
    QVERIFY(log().contains(QStringLiteral("开始从以下路径寻找图片...")));
    const QString skippedFolder = QDir::toNativeSeparators(root + QStringLiteral("/C/c3.png"));
    QCOMPARE(log().count(QStringLiteral("已跳过：%1（文件夹），未加入图片列表").arg(skippedFolder)), 2);

    // 13 pages do not make sheets of two: the warning names what was left out.
    m_window->pagesPerSheet = 2;
    m_boxes->clear();
    m_window->startProcess();
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().text, QStringLiteral("总页数 除以 每份答卷页数 余数 不为零，可能有缺页情况，请检查\n\n"
                                                  "以下项目名称像图片，但不是普通文件，已跳过：\n%1（文件夹）")
                                       .arg(skippedFolder));
}

void ImageListTest::testAddFiles()
{
    const QString a = writeImage(m_dir->path(), QStringLiteral("a.png"), 20);
    const QString b = writeImage(m_dir->path(), QStringLiteral("b.jpg"), 20);
    whenModal<DialogAddImages>([=](DialogAddImages *dialog) {
        whenModal<QFileDialog>([=](QFileDialog *chooser) {
            QCOMPARE(chooser->windowTitle(), QStringLiteral("指定文件"));
            QCOMPARE(chooser->nameFilters(), QStringList{"Images (*.png *.jpg *.tif *.tiff)"});
            chooser->setDirectory(m_dir->path());
            // selectFile() leaves the name box alone while it has focus, and
            // whether it has focus here depends on when the dialog activated:
            // write the names into the box itself.
            auto *names = chooser->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            QVERIFY(names);
            names->setText(QStringLiteral("\"b.jpg\" \"a.png\""));
            QMetaObject::invokeMethod(chooser, "accept");
        });
        dialog->findChild<QPushButton *>(QStringLiteral("pushButtonFromFile"))->click();
    });
    list()->addImages();
    QStringList got = names();
    got.sort();
    QCOMPARE(got, (QStringList{"a.png", "b.jpg"}));
    QCOMPARE(list()->rowFilePath(0).isEmpty(), false);
}

void ImageListTest::testSecondSearchWhileOneRuns()
{
    makeRows(1);
    m_window->searchSheetImageTip->reset(); // a search is under way
    list()->addImages();
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().text, QStringLiteral("正在查找图片，请等本次查找结束后再追加。"));
    QCOMPARE(names(), QStringList{"p01.png"});
    m_window->searchSheetImageTip->accept();
    QVERIFY(!m_window->searchSheetImageTip->searching());
}

void ImageListTest::testSearchTip()
{
    DialogSearchSheetImageTip tip;
    QVERIFY(tip.windowFlags() & Qt::FramelessWindowHint);
    tip.reset();
    QVERIFY(tip.searching());

    // Esc does not close it; the end of the search does.
    bool escapeKeptItOpen = false;
    QTimer::singleShot(50, &tip, [&] {
        QTest::keyClick(&tip, Qt::Key_Escape);
        escapeKeptItOpen = tip.isVisible();
        tip.accept();
    });
    QCOMPARE(tip.exec(), int(QDialog::Accepted));
    QVERIFY(escapeKeptItOpen);
    QVERIFY(!tip.searching());

    // A search that ends before the tip is shown does not leave it open.
    tip.reset();
    tip.accept();
    QCOMPARE(tip.exec(), int(QDialog::Accepted));
    QVERIFY(!tip.isVisible());
    QVERIFY(!m_modalHung);
}

void ImageListTest::testImagesOfDirSignal()
{
    const QString dir = m_dir->path() + QStringLiteral("/scans");
    QVERIFY(QDir().mkpath(dir));
    const QString image = writeImage(m_dir->path(), QStringLiteral("source.png"), 20);
    for (const char *name : {"b.PNG", "a.jpg", "c.jpeg", "d.tif"})
        QVERIFY(QFile::copy(image, dir + QLatin1Char('/') + QLatin1String(name)));

    // From the list's own thread: served at once, no deadlock.
    emit list()->signalGetImagesFromDir(dir);
    QCOMPARE(names(), (QStringList{"a.jpg", "b.PNG", "d.tif"}));

    // From another thread: the caller waits until the rows are in.
    int rowsSeenByCaller = -1;
    MyTableWidgetImage *table = list();
    std::unique_ptr<QThread> caller(QThread::create([&] {
        emit table->signalGetImagesFromDir(dir);
        rowsSeenByCaller = table->rowCount();
    }));
    caller->start();
    QVERIFY(QTest::qWaitFor([&] { return caller->isFinished(); }, 5000));
    QCOMPARE(rowsSeenByCaller, 6);

    emit list()->signalGetImagesFromDir(dir + QStringLiteral("/missing"));
    QCOMPARE(list()->rowCount(), 6);
}

QTEST_MAIN(ImageListTest)
#include "imagelist_test.moc"
