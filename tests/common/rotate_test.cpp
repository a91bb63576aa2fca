// The batch rotation tool: files turned in place, the row range and the page
// positions, progress, refused ranges, failing files and the station's form.

#include "dialogrotate.h"
#include "imagefile.h"
#include "messagebox.h"
#include "omrresources.h"
#include "rotatethread.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <FreeImage.h>

#include <sys/stat.h>

#include <memory>
#include "testutil.h"

using Grid = QVector<QVector<int>>;
Q_DECLARE_METATYPE(Grid)

namespace {

constexpr int kPathRole = Qt::UserRole + 2;

// A 3 x 2 grey page whose every pixel differs, so any turn can be told apart:
//   1  2  3
//  11 12 13
const Grid kUpright{{1, 2, 3}, {11, 12, 13}};
const Grid kClockwise{{11, 1}, {12, 2}, {13, 3}};
const Grid kHalfTurn{{13, 12, 11}, {3, 2, 1}};
const Grid kAnticlockwise{{3, 13}, {2, 12}, {1, 11}};

cv::Mat toMat(const Grid &grid)
{
    cv::Mat m(grid.size(), grid.first().size(), CV_8UC1);
    for (int y = 0; y < grid.size(); ++y)
        for (int x = 0; x < grid[y].size(); ++x)
            m.at<uchar>(y, x) = uchar(grid[y][x]);
    return m;
}

Grid toGrid(const cv::Mat &m)
{
    Grid grid;
    for (int y = 0; y < m.rows; ++y) {
        QVector<int> row;
        for (int x = 0; x < m.cols; ++x)
            row << m.at<uchar>(y, x);
        grid << row;
    }
    return grid;
}

Grid readGrid(const QString &path)
{
    return toGrid(ImageFile::read(path, cv::IMREAD_GRAYSCALE));
}

using TestUtil::fileBytes;
using TestUtil::writeFile;

QByteArray pngBytes(const Grid &grid)
{
    std::vector<uchar> encoded;
    cv::imencode(".png", toMat(grid), encoded);
    return QByteArray(reinterpret_cast<const char *>(encoded.data()), int(encoded.size()));
}

// A page of `bpp` bits (1 or 8 with a palette, 8 grey, 24 colour) whose pixel
// (x, y) is the palette index or grey value grid[y][x], at 300 x 200 dpi.
using Bitmap = std::unique_ptr<FIBITMAP, decltype(&FreeImage_Unload)>;

Bitmap makeBitmap(const Grid &grid, int bpp, const QVector<QRgb> &palette)
{
    const int height = grid.size();
    const int width = grid.first().size();
    Bitmap dib(FreeImage_Allocate(width, height, bpp), &FreeImage_Unload);
    if (RGBQUAD *colours = FreeImage_GetPalette(dib.get())) {
        for (int i = 0; i < palette.size(); ++i)
            colours[i] = RGBQUAD{BYTE(qBlue(palette[i])), BYTE(qGreen(palette[i])), BYTE(qRed(palette[i])), 0};
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            // FreeImage counts rows from the bottom.
            BYTE value = BYTE(grid[y][x]);
            FreeImage_SetPixelIndex(dib.get(), unsigned(x), unsigned(height - 1 - y), &value);
        }
    }
    FreeImage_SetDotsPerMeterX(dib.get(), 11811); // 300 dpi
    FreeImage_SetDotsPerMeterY(dib.get(), 7874);  // 200 dpi
    return dib;
}

QByteArray encode(FIBITMAP *dib, FREE_IMAGE_FORMAT format)
{
    std::unique_ptr<FIMEMORY, decltype(&FreeImage_CloseMemory)> memory(FreeImage_OpenMemory(), &FreeImage_CloseMemory);
    BYTE *data = nullptr;
    DWORD size = 0;
    if (!FreeImage_SaveToMemory(format, dib, memory.get(), 0) || !FreeImage_AcquireMemory(memory.get(), &data, &size))
        return QByteArray();
    return QByteArray(reinterpret_cast<const char *>(data), int(size));
}

int formatOf(QByteArray bytes)
{
    std::unique_ptr<FIMEMORY, decltype(&FreeImage_CloseMemory)> memory(
        FreeImage_OpenMemory(reinterpret_cast<BYTE *>(bytes.data()), DWORD(bytes.size())), &FreeImage_CloseMemory);
    return int(FreeImage_GetFileTypeFromMemory(memory.get(), 0));
}

Bitmap decode(const QByteArray &bytes)
{
    QByteArray copy = bytes;
    std::unique_ptr<FIMEMORY, decltype(&FreeImage_CloseMemory)> memory(
        FreeImage_OpenMemory(reinterpret_cast<BYTE *>(copy.data()), DWORD(copy.size())), &FreeImage_CloseMemory);
    const FREE_IMAGE_FORMAT format = FreeImage_GetFileTypeFromMemory(memory.get(), 0);
    return Bitmap(format == FIF_UNKNOWN ? nullptr : FreeImage_LoadFromMemory(format, memory.get(), 0), &FreeImage_Unload);
}

Grid indexGrid(FIBITMAP *dib)
{
    const int height = int(FreeImage_GetHeight(dib));
    Grid grid;
    for (int y = 0; y < height; ++y) {
        QVector<int> row;
        for (unsigned x = 0; x < FreeImage_GetWidth(dib); ++x) {
            BYTE value = 0;
            FreeImage_GetPixelIndex(dib, x, unsigned(height - 1 - y), &value);
            row << value;
        }
        grid << row;
    }
    return grid;
}

QVector<QRgb> paletteOf(FIBITMAP *dib)
{
    QVector<QRgb> colours;
    const RGBQUAD *palette = FreeImage_GetPalette(dib);
    for (unsigned i = 0; palette && i < FreeImage_GetColorsUsed(dib); ++i)
        colours << qRgb(palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue);
    return colours;
}

template <typename T>
T *child(QWidget *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found)
        qWarning("no child %s", name);
    return found;
}

} // namespace

class RotateTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initOmrResources(); }
    void init();
    void cleanup();

    void testRotateFile_data();
    void testRotateFile();
    void testRotateFileFailure_data();
    void testRotateFileFailure();
    void testRotateKeepsDepthAndPalette_data();
    void testRotateKeepsDepthAndPalette();

    void testForm();
    void testPageBoxes_data();
    void testPageBoxes();
    void testRowRange_data();
    void testRowRange();
    void testAngleChoice_data();
    void testAngleChoice();
    void testRefusedRange_data();
    void testRefusedRange();
    void testFailingFilesNamed();
    void testRunKeepsDialogAndOwnsItsFiles();
    void testStationForm();

private:
    // `count` pages named 01.png ... into the table, one row each.
    QStringList addPages(int count);
    QString pagePath(int row) const { return m_dir->filePath(QStringLiteral("%1.png").arg(row, 2, 10, QLatin1Char('0'))); }
    void addRow(const QString &path);
    // Fills the range fields and presses "开始"; returns once the run is over.
    void run(DialogRotate &dialog, const QString &start, const QString &end);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTableWidget> m_table;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
};

void RotateTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_table = std::make_unique<QTableWidget>(0, 2);
    m_boxes = std::make_unique<MessageBoxRecorder>();
}

void RotateTest::cleanup()
{
    m_boxes.reset();
    m_table.reset();
    m_dir.reset();
}

void RotateTest::addRow(const QString &path)
{
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    auto *cell = new QTableWidgetItem(QFileInfo(path).fileName());
    cell->setData(Qt::UserRole + 1, QFileInfo(path).fileName());
    cell->setData(kPathRole, QDir::toNativeSeparators(path));
    m_table->setItem(row, 0, cell);
}

QStringList RotateTest::addPages(int count)
{
    QStringList paths;
    for (int row = 1; row <= count; ++row) {
        const QString path = pagePath(row);
        if (!writeFile(path, pngBytes(kUpright)))
            QTest::qFail("cannot write a page", __FILE__, __LINE__);
        addRow(path);
        paths << path;
    }
    return paths;
}

void RotateTest::run(DialogRotate &dialog, const QString &start, const QString &end)
{
    child<QLineEdit>(&dialog, "lineEditStartID")->setText(start);
    child<QLineEdit>(&dialog, "lineEditEndID")->setText(end);
    child<QPushButton>(&dialog, "pushButtonStart")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isRotating(), 20000);
}

// ------------------------------------------------------------ one file

void RotateTest::testRotateFile_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<Grid>("expected");
    QTest::newRow("90") << 0 << kClockwise;
    QTest::newRow("180") << 1 << kHalfTurn;
    QTest::newRow("270") << 2 << kAnticlockwise;
}

void RotateTest::testRotateFile()
{
    QFETCH(int, mode);
    QFETCH(Grid, expected);
    // A name outside ASCII: the bytes go through Qt's file layer.
    const QString path = m_dir->filePath(QStringLiteral("答卷 1.png"));
    QVERIFY(writeFile(path, pngBytes(kUpright)));

    QString error;
    QVERIFY2(ImageFile::rotate(path, mode, -1, &error), qPrintable(error));
    QCOMPARE(readGrid(path), expected);
    // Nothing but the page is left in its folder.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("答卷 1.png")});
}

void RotateTest::testRotateFileFailure_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("no image") << "page.png" << QByteArray("not an image") << QStringLiteral("无法读取图片：");
    QTest::newRow("empty file") << "page.jpg" << QByteArray() << QStringLiteral("无法读取图片：");
    // Readable, but no encoder for the suffix: the write fails.
    QTest::newRow("unknown format") << "page.xyz" << pngBytes(kUpright) << QStringLiteral("无法保存图片：");
}

void RotateTest::testRotateFileFailure()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    const QString path = m_dir->filePath(name);
    QVERIFY(writeFile(path, content));

    QString error;
    QVERIFY(!ImageFile::rotate(path, 0, -1, &error));
    QCOMPARE(error, message + path);
    QCOMPARE(fileBytes(path), content);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{name});

    QVERIFY(!ImageFile::rotate(m_dir->filePath(QStringLiteral("gone.png")), 0, -1, &error));
    QCOMPARE(error, QStringLiteral("无法读取图片：") + m_dir->filePath(QStringLiteral("gone.png")));
}

void RotateTest::testRotateKeepsDepthAndPalette_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("bpp");
    QTest::addColumn<QVector<QRgb>>("palette");
    QTest::addColumn<Grid>("upright");
    const Grid bits{{1, 0, 0}, {1, 1, 0}};
    const QVector<QRgb> blackWhite{qRgb(0, 0, 0), qRgb(255, 255, 255)};
    // Scanners also write pages whose 1 is black.
    const QVector<QRgb> whiteBlack{qRgb(255, 255, 255), qRgb(0, 0, 0)};
    QVector<QRgb> colours;
    for (int i = 0; i < 256; ++i)
        colours << qRgb(i, 255 - i, (i * 7) % 256);
    QTest::newRow("1-bit png") << "page.png" << int(FIF_PNG) << 1 << blackWhite << bits;
    QTest::newRow("1-bit tiff, 1 is black") << "page.tiff" << int(FIF_TIFF) << 1 << whiteBlack << bits;
    QTest::newRow("1-bit tiff") << "page.tif" << int(FIF_TIFF) << 1 << blackWhite << bits;
    QTest::newRow("8-bit palette png") << "page.png" << int(FIF_PNG) << 8 << colours << kUpright;
    QTest::newRow("1-bit bmp") << "page.bmp" << int(FIF_BMP) << 1 << blackWhite << bits;
}

void RotateTest::testRotateKeepsDepthAndPalette()
{
    QFETCH(QString, name);
    QFETCH(int, format);
    QFETCH(int, bpp);
    QFETCH(QVector<QRgb>, palette);
    QFETCH(Grid, upright);
    const Bitmap page = makeBitmap(upright, bpp, palette);
    const QString path = m_dir->filePath(name);
    QVERIFY(writeFile(path, encode(page.get(), FREE_IMAGE_FORMAT(format))));

    const QList<QPair<int, Grid>> turns{{0, Grid{{upright[1][0], upright[0][0]}, {upright[1][1], upright[0][1]},
                                                 {upright[1][2], upright[0][2]}}},
                                        {2, upright}}; // back: 90 then 270 is the page as it was
    for (const auto &turn : turns) {
        QString error;
        QVERIFY2(ImageFile::rotate(path, turn.first, -1, &error), qPrintable(error));
        const Bitmap turned = decode(fileBytes(path));
        QVERIFY(turned);
        QCOMPARE(formatOf(fileBytes(path)), format);
        QCOMPARE(int(FreeImage_GetBPP(turned.get())), bpp);
        QCOMPARE(paletteOf(turned.get()), palette);
        QCOMPARE(indexGrid(turned.get()), turn.second);
        // The resolution turns with the page.
        const bool quarter = turn.first != 1 && FreeImage_GetWidth(turned.get()) == 2;
        QCOMPARE(qRound(FreeImage_GetDotsPerMeterX(turned.get()) / 39.37), quarter ? 200 : 300);
        QCOMPARE(qRound(FreeImage_GetDotsPerMeterY(turned.get()) / 39.37), quarter ? 300 : 200);
    }
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{name});
}

// ------------------------------------------------------------ the dialog

void RotateTest::testForm()
{
    addPages(7);
    DialogRotate dialog;
    dialog.imageTable = m_table.get();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("批量旋转"));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QCOMPARE(child<QCheckBox>(&dialog, "checkBoxSpecificPages")->text(), QStringLiteral("指定每份答卷要旋转的页序"));
    QCOMPARE(child<QLabel>(&dialog, "label_5")->text(), QStringLiteral("每份答卷的页数"));
    auto *angles = child<QComboBox>(&dialog, "comboBox");
    QCOMPARE(angles->count(), 3);
    QCOMPARE(angles->itemText(1), QStringLiteral("逆时针90度"));
    QCOMPARE(child<QPushButton>(&dialog, "pushButtonOK")->text(), QStringLiteral("关闭"));

    dialog.show();
    QCOMPARE(child<QLineEdit>(&dialog, "lineEditStartID")->text(), QStringLiteral("1"));
    QCOMPARE(child<QLineEdit>(&dialog, "lineEditEndID")->text(), QStringLiteral("7"));
    QVERIFY(!child<QWidget>(&dialog, "widgetSpecificPages")->isVisible());
    QVERIFY(!child<QProgressBar>(&dialog, "progressBar")->isVisible());

    // Only digits, at most six of them.
    auto *start = child<QLineEdit>(&dialog, "lineEditStartID");
    start->clear();
    QTest::keyClicks(start, QStringLiteral("1a2345678"));
    QCOMPARE(start->text(), QStringLiteral("123456"));
}

void RotateTest::testPageBoxes_data()
{
    QTest::addColumn<QString>("pages");
    QTest::addColumn<QList<QPoint>>("cells"); // (column, row) of boxes 1, 2, ...
    QTest::newRow("two") << "2" << QList<QPoint>{{0, 0}, {1, 0}};
    QTest::newRow("four in one row") << "4" << QList<QPoint>{{0, 0}, {1, 0}, {2, 0}, {3, 0}};
    QTest::newRow("six in rows of four") << "6" << QList<QPoint>{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {1, 1}};
}

void RotateTest::testPageBoxes()
{
    QFETCH(QString, pages);
    QFETCH(QList<QPoint>, cells);
    DialogRotate dialog;
    dialog.imageTable = m_table.get();
    dialog.show();
    auto *specific = child<QCheckBox>(&dialog, "checkBoxSpecificPages");
    specific->click();
    QVERIFY(child<QWidget>(&dialog, "widgetSpecificPages")->isVisible());
    QCOMPARE(dialog.pageBoxes.size(), 2);
    // Going through 8 first: the boxes of an earlier count must all go.
    child<QComboBox>(&dialog, "comboBoxSheetPages")->setCurrentText(QStringLiteral("8"));
    child<QComboBox>(&dialog, "comboBoxSheetPages")->setCurrentText(pages);

    auto *grid = dialog.findChild<QGridLayout *>(QStringLiteral("gridLayout"));
    QCOMPARE(dialog.pageBoxes.size(), cells.size());
    QCOMPARE(dialog.findChildren<QCheckBox *>().size(), cells.size() + 1);
    for (int i = 0; i < cells.size(); ++i) {
        QCheckBox *box = dialog.pageBoxes.at(i);
        QCOMPARE(box->objectName(), QString::number(i + 1));
        QCOMPARE(box->text(), QString::number(i + 1));
        QCOMPARE(grid->itemAtPosition(cells[i].y(), cells[i].x())->widget(), box);
    }

    specific->click();
    QVERIFY(!child<QWidget>(&dialog, "widgetSpecificPages")->isVisible());
}

void RotateTest::testRowRange_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QString>("pagesPerSheet"); // empty: every row of the range
    QTest::addColumn<QList<int>>("pages");
    QTest::addColumn<QList<int>>("rotated");    // 1-based rows
    QTest::addColumn<QList<int>>("progress");   // what the bar showed, in order

    QTest::newRow("every row of a range") << 4 << 2 << 3 << QString() << QList<int>{} << QList<int>{2, 3}
                                          << QList<int>{1, 2};
    QTest::newRow("second page of two") << 12 << 1 << 12 << "2" << QList<int>{2}
                                        << QList<int>{2, 4, 6, 8, 10, 12} << QList<int>{1, 3, 5, 7, 9, 11, 12};
    // Positions count from the start of the range, not of the list.
    QTest::newRow("first of three from row 3") << 9 << 3 << 8 << "3" << QList<int>{1} << QList<int>{3, 6}
                                               << QList<int>{1, 4, 6};
    QTest::newRow("incomplete last sheet") << 5 << 1 << 5 << "2" << QList<int>{2} << QList<int>{2, 4}
                                           << QList<int>{1, 3, 5};
    QTest::newRow("no page chosen") << 4 << 1 << 4 << "2" << QList<int>{} << QList<int>{} << QList<int>{1, 3, 4};
    QTest::newRow("two of four") << 8 << 1 << 8 << "4" << QList<int>{1, 4} << QList<int>{1, 4, 5, 8}
                                 << QList<int>{1, 5, 8};
}

void RotateTest::testRowRange()
{
    QFETCH(int, rows);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QString, pagesPerSheet);
    QFETCH(QList<int>, pages);
    QFETCH(QList<int>, rotated);
    QFETCH(QList<int>, progress);

    const QStringList paths = addPages(rows);
    DialogRotate dialog;
    dialog.imageTable = m_table.get();
    dialog.show();
    if (!pagesPerSheet.isEmpty()) {
        child<QCheckBox>(&dialog, "checkBoxSpecificPages")->click();
        child<QComboBox>(&dialog, "comboBoxSheetPages")->setCurrentText(pagesPerSheet);
        for (int page : pages)
            child<QCheckBox>(&dialog, QByteArray::number(page).constData())->click();
    }
    auto *bar = child<QProgressBar>(&dialog, "progressBar");
    QList<int> shown;
    connect(bar, &QProgressBar::valueChanged, this, [&shown](int value) {
        if (value > 0)
            shown << value;
    });

    run(dialog, QString::number(first), QString::number(last));

    QCOMPARE(shown, progress);
    QCOMPARE(bar->maximum(), last - first + 1);
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(child<QPushButton>(&dialog, "pushButtonStart")->isVisible());
    QVERIFY(bar->isVisible());
    for (int row = 1; row <= rows; ++row)
        QCOMPARE(readGrid(paths[row - 1]), rotated.contains(row) ? kClockwise : kUpright);
    QCOMPARE(m_boxes->count(), 0);
    QVERIFY(dialog.failedFiles.isEmpty());
}

void RotateTest::testAngleChoice_data()
{
    QTest::addColumn<int>("choice");
    QTest::addColumn<Grid>("expected");
    QTest::newRow("顺时针90度") << 0 << kClockwise;
    QTest::newRow("逆时针90度") << 1 << kAnticlockwise;
    QTest::newRow("180度") << 2 << kHalfTurn;
}

void RotateTest::testAngleChoice()
{
    QFETCH(int, choice);
    QFETCH(Grid, expected);
    const QStringList paths = addPages(1);
    DialogRotate dialog;
    dialog.imageTable = m_table.get();
    dialog.show();
    child<QComboBox>(&dialog, "comboBox")->setCurrentIndex(choice);
    run(dialog, QStringLiteral("1"), QStringLiteral("1"));
    QCOMPARE(readGrid(paths[0]), expected);
    // A second run of the same dialog turns the file again.
    run(dialog, QStringLiteral("1"), QStringLiteral("1"));
    QCOMPARE(readGrid(paths[0]).size(), kUpright.size());
}

void RotateTest::testRefusedRange_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("message");
    QTest::newRow("end past the list") << "1" << "13" << QStringLiteral("序号范围越界");
    QTest::newRow("start past the list") << "13" << "13" << QStringLiteral("序号范围越界");
    QTest::newRow("end before start") << "5" << "4" << QStringLiteral("序号范围无效");
    QTest::newRow("start 0") << "0" << "4" << QStringLiteral("序号范围无效");
    QTest::newRow("start empty") << "" << "4" << QStringLiteral("序号范围无效");
    QTest::newRow("end empty") << "1" << "" << QStringLiteral("序号范围无效");
}

void RotateTest::testRefusedRange()
{
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, message);
    const QStringList paths = addPages(12);
    DialogRotate dialog;
    dialog.imageTable = m_table.get();
    dialog.show();

    run(dialog, start, end);

    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().title, QStringLiteral("提示"));
    QCOMPARE(m_boxes->last().text, message);
    QCOMPARE(m_boxes->last().icon, QMessageBox::Warning);
    QVERIFY(!child<QProgressBar>(&dialog, "progressBar")->isVisible());
    QVERIFY(!dialog.workerThread->isRunning());
    for (const QString &path : paths)
        QCOMPARE(readGrid(path), kUpright);
}

void RotateTest::testFailingFilesNamed()
{
    QStringList paths = addPages(2);
    const QString broken = m_dir->filePath(QStringLiteral("broken.png"));
    QVERIFY(writeFile(broken, QByteArray("not an image")));
    addRow(broken);
    const QString unwritable = m_dir->filePath(QStringLiteral("page.xyz"));
    QVERIFY(writeFile(unwritable, pngBytes(kUpright)));
    addRow(unwritable);
    addRow(pagePath(5));        // a file that was deleted meanwhile
    m_table->insertRow(5);      // a row without any cell
    const QString last = pagePath(7);
    QVERIFY(writeFile(last, pngBytes(kUpright)));
    addRow(last);
    paths << last;
    DialogRotate dialog;
    dialog.imageTable = m_table.get();
    dialog.show();

    run(dialog, QStringLiteral("1"), QStringLiteral("7"));

    const QStringList failures{QStringLiteral("无法读取图片：") + broken, QStringLiteral("无法保存图片：") + unwritable,
                               QStringLiteral("无法读取图片：") + pagePath(5), QStringLiteral("第6行没有图片")};
    QCOMPARE(dialog.failedFiles, failures);
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().title, QStringLiteral("提示"));
    QCOMPARE(m_boxes->last().text, QStringLiteral("以下图片旋转失败：\n") + failures.join(QLatin1Char('\n')));
    for (const QString &path : paths)
        QCOMPARE(readGrid(path), kClockwise);
    QCOMPARE(fileBytes(broken), QByteArray("not an image"));
    QCOMPARE(fileBytes(unwritable), pngBytes(kUpright));
    auto *bar = child<QProgressBar>(&dialog, "progressBar");
    QCOMPARE(bar->value(), 7);

    // The next run starts with a clean account.
    m_boxes->clear();
    run(dialog, QStringLiteral("1"), QStringLiteral("2"));
    QVERIFY(dialog.failedFiles.isEmpty());
    QCOMPARE(m_boxes->count(), 0);
}

void RotateTest::testRunKeepsDialogAndOwnsItsFiles()
{
    // The first row's "image" is a pipe: reading it waits until the test
    // writes, which holds the run at a known point.
    const QString pipe = m_dir->filePath(QStringLiteral("waiting.png"));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    addRow(pipe);
    const QStringList paths = addPages(2);

    DialogRotate dialog;
    dialog.imageTable = m_table.get();
    dialog.show();
    child<QLineEdit>(&dialog, "lineEditStartID")->setText(QStringLiteral("1"));
    child<QLineEdit>(&dialog, "lineEditEndID")->setText(QStringLiteral("3"));
    child<QPushButton>(&dialog, "pushButtonStart")->click();
    QVERIFY(dialog.isRotating());
    QVERIFY(!child<QPushButton>(&dialog, "pushButtonStart")->isVisible());
    QVERIFY(child<QProgressBar>(&dialog, "progressBar")->isVisible());

    // The dialog cannot be left while the files turn.
    child<QPushButton>(&dialog, "pushButtonOK")->click();
    dialog.reject();
    QVERIFY(!dialog.close());
    QVERIFY(dialog.isVisible());
    // A second start is ignored.
    child<QPushButton>(&dialog, "pushButtonStart")->click();

    // The list may change under the run: the worker has its files already.
    m_table->setRowCount(0);
    QFile writer(pipe);
    QVERIFY(writer.open(QIODevice::WriteOnly));
    writer.write("x");
    writer.close();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isRotating(), 20000);

    QCOMPARE(dialog.failedFiles, QStringList{QStringLiteral("无法读取图片：") + pipe});
    for (const QString &path : paths)
        QCOMPARE(readGrid(path), kClockwise);
    QCOMPARE(m_boxes->count(), 1);
    child<QPushButton>(&dialog, "pushButtonOK")->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void RotateTest::testStationForm()
{
    // A JPEG page: the station saves with its own quality setting, asked
    // when the run starts.
    cv::Mat page(40, 60, CV_8UC3);
    cv::randu(page, cv::Scalar::all(0), cv::Scalar::all(255));
    const QString path = m_dir->filePath(QStringLiteral("scan0001.jpg"));
    QVERIFY(ImageFile::write(path, page, {cv::IMWRITE_JPEG_QUALITY, 90}));
    addRow(path);
    const cv::Mat before = ImageFile::read(path, cv::IMREAD_UNCHANGED);

    int asked = 0;
    int quality = 90;
    DialogRotate dialog(nullptr, DialogRotate::pellwyn([&] {
                            ++asked;
                            return quality;
                        }));
    dialog.imageTable = m_table.get();
    QCOMPARE(child<QCheckBox>(&dialog, "checkBoxSpecificPages")->text(), QStringLiteral("指定每份文件要旋转的页序"));
    QCOMPARE(child<QLabel>(&dialog, "label_5")->text(), QStringLiteral("每份文件的页数"));
    dialog.show();
    QCOMPARE(asked, 0);
    quality = 10;
    child<QComboBox>(&dialog, "comboBox")->setCurrentIndex(2);
    run(dialog, QStringLiteral("1"), QStringLiteral("1"));

    QCOMPARE(asked, 1);
    cv::Mat turned;
    cv::rotate(before, turned, cv::ROTATE_180);
    std::vector<uchar> expected;
    QVERIFY(cv::imencode(".jpg", turned, expected, {cv::IMWRITE_JPEG_QUALITY, 10}));
    QCOMPARE(fileBytes(path), QByteArray(reinterpret_cast<const char *>(expected.data()), int(expected.size())));
}

QTEST_MAIN(RotateTest)
#include "rotate_test.moc"
