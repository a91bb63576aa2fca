// The sheet image view: loading, the zoom steps and their limits, the point
// that zooming keeps in place, fitting, drawing the selection, moving and
// resizing the selection box, the box's barcode test, anchor search areas and
// editor, and the status-bar panel.

#include "barcodeimage.h"
#include "dialogbarcodecheck.h"
#include "dialogimageedit.h"
#include "dialogsetanchorpointroi.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "myimage.h"
#include "mylabel.h"
#include "myrubberbandcontainer.h"
#include "myscrollarea.h"
#include "mystatusbar.h"
#include "mytablewidgetimage.h"
#include "omrresources.h"
#include "settingsfile.h"

#include <opencv2/imgcodecs.hpp>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThreadPool>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include "widgettestutil.h"

#include <functional>

namespace {

using WidgetTest::WhenShown;
using WidgetTest::popupTexts;

void mouse(QWidget *target, QEvent::Type type, const QPoint &pos, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void drag(QWidget *target, const QPoint &from, const QPoint &to, Qt::MouseButton button = Qt::LeftButton)
{
    mouse(target, QEvent::MouseButtonPress, from, button, button);
    mouse(target, QEvent::MouseMove, to, Qt::NoButton, button);
    mouse(target, QEvent::MouseButtonRelease, to, button, Qt::NoButton);
}

void wheel(MyLabel *label, const QPoint &pos, int delta)
{
    QWheelEvent event(pos, label->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(label, &event);
}

QPoint bars(const MyImage &view)
{
    return QPoint(view.scrollArea->horizontalScrollBar()->value(), view.scrollArea->verticalScrollBar()->value());
}

// The file pixel shown at `anchor` (viewport pixels).
QPointF filePointAt(const MyImage &view, const QPoint &anchor)
{
    return QPointF(bars(view) + anchor) / view.imageLabel->scale;
}

} // namespace

class ImageViewTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void testLoad();
    void testPagesReplacedWithAReleasePool();
    void testZoomInSteps();
    void testZoomOutLimit();
    void testZoomKeepsPointFixed_data();
    void testZoomKeepsPointFixed();
    void testWheelNeedsCtrlAndTools();
    void testFit();
    void testSelectionDrawing();
    void testPanningAndSelectionStaySeparate();
    void testBoxMoveAndResizeStayOnImage();
    void testBoxMenu();
    void testBarcodeCheck_data();
    void testBarcodeCheck();
    void testSetROI_data();
    void testSetROI();
    void testSetROIRefusals();
    void testImageEdit();
    void testRotateButtons_data();
    void testRotateButtons();
    void testStatusBar();

private:
    QString writeImage(const QString &name, int width, int height);

    QTemporaryDir m_dir;
    // Any box a test does not expect is answered rather than left waiting.
    MessageBoxRecorder m_otherBoxes;
};

void ImageViewTest::initTestCase()
{
    // The window checks the platform account when it is built: keep any such
    // request on this machine (nothing listens on port 1).
    qputenv("VOSTRA_PLATFORM_HOST", "127.0.0.1:1");
    initOmrResources();
    QVERIFY(m_dir.isValid());
}

QString ImageViewTest::writeImage(const QString &name, int width, int height)
{
    QImage image(width, height, QImage::Format_Grayscale8);
    image.fill(230);
    const QString path = m_dir.filePath(name);
    image.save(path);
    return path;
}

void ImageViewTest::testLoad()
{
    MyImage view;
    MyLabel *label = view.imageLabel;
    QCOMPARE(label->text(), QStringLiteral("等待加载图片..."));

    view.loadImage(writeImage(QStringLiteral("a.png"), 800, 600));
    QCOMPARE(label->sourceImage->size(), QSize(800, 600));
    QCOMPARE(label->scaledImage->size(), QSize(800, 600));
    QCOMPARE(label->pixmap(Qt::ReturnByValue).size(), QSize(800, 600));

    // The zoom carries over to the next image.
    label->scale = 0.5f;
    view.loadImage(writeImage(QStringLiteral("b.png"), 301, 200));
    QCOMPARE(label->scaledImage->width(), 150);

    // A missing file keeps the picture but names the file asked for.
    const qint64 shown = label->pixmap(Qt::ReturnByValue).cacheKey();
    const QString missing = m_dir.filePath(QStringLiteral("missing.png"));
    view.loadImage(missing);
    QCOMPARE(label->imagePath, missing);
    QVERIFY(!label->sourceImage);
    QCOMPARE(label->pixmap(Qt::ReturnByValue).cacheKey(), shown);
    label->zoomIn();
    label->showActualSize();
    QCOMPARE(label->scale, 0.5f);
    QVERIFY(label->loadIdle);
}

// During a run the images of a replaced page are let go on a pool thread;
// what is on screen is the newest page, whole, after the pool has dropped
// every older one, and zooming it still works.
void ImageViewTest::testPagesReplacedWithAReleasePool()
{
    MyImage view;
    MyLabel *label = view.imageLabel;
    QThreadPool pool;
    label->releasePool = &pool;
    QString last;
    for (int i = 0; i < 3; ++i) {
        QImage page(400 + i, 300, QImage::Format_Grayscale8);
        page.fill(40 + 80 * i);
        last = m_dir.filePath(QStringLiteral("run%1.png").arg(i));
        QVERIFY(page.save(last));
        label->showDecodedPage(MyLabel::decodePage(last, 1.0f));
    }
    pool.waitForDone();
    QCOMPARE(label->imagePath, last);
    QCOMPARE(label->sourceImage->size(), QSize(402, 300));
    const QImage shown = label->pixmap(Qt::ReturnByValue).toImage();
    QCOMPARE(shown.size(), QSize(402, 300));
    QCOMPARE(qGray(shown.pixel(0, 0)), 200);
    QCOMPARE(qGray(shown.pixel(401, 299)), 200);
    label->zoomOut();
    pool.waitForDone();
    QCOMPARE(label->pixmap(Qt::ReturnByValue).width(), label->scaledImage->width());
    QVERIFY(label->scaledImage->width() < 402);
    QCOMPARE(qGray(label->pixmap(Qt::ReturnByValue).toImage().pixel(5, 5)), 200);
}

void ImageViewTest::testZoomInSteps()
{
    MyImage view;
    MyLabel *label = view.imageLabel;
    view.loadImage(writeImage(QStringLiteral("wide.png"), 2000, 20));

    const QMap<int, int> widths = {{1, 2200}, {2, 2420}, {3, 2662}, {4, 2928}, {5, 3221}, {21, 14800}};
    for (int step = 1; step <= 21; ++step) {
        label->zoomIn();
        if (widths.contains(step))
            QCOMPARE(label->scaledImage->width(), widths.value(step));
    }
    const float scale = label->scale;
    label->zoomIn();  // 16280 would pass the limit
    QCOMPARE(label->scale, scale);
    QCOMPARE(label->scaledImage->width(), 14800);
}

void ImageViewTest::testZoomOutLimit()
{
    MyImage view;
    MyLabel *label = view.imageLabel;
    view.loadImage(writeImage(QStringLiteral("narrow.png"), 300, 100));
    label->zoomOut();  // 272 < 300
    QCOMPARE(label->scale, 1.0f);
    QCOMPARE(label->scaledImage->width(), 300);

    view.loadImage(writeImage(QStringLiteral("narrow2.png"), 331, 100));
    label->zoomOut();
    QCOMPARE(label->scaledImage->width(), 300);
    label->zoomOut();
    QCOMPARE(label->scaledImage->width(), 300);
}

void ImageViewTest::testZoomKeepsPointFixed_data()
{
    QTest::addColumn<QString>("operation");
    QTest::newRow("zoom in") << "in";
    QTest::newRow("zoom out") << "out";
    QTest::newRow("actual size") << "actual";
    QTest::newRow("wheel in") << "wheel in";
    QTest::newRow("wheel out") << "wheel out";
}

void ImageViewTest::testZoomKeepsPointFixed()
{
    QFETCH(QString, operation);
    MyImage view;
    view.resize(420, 320);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    MyLabel *label = view.imageLabel;
    view.loadImage(writeImage(QStringLiteral("page.png"), 1600, 1200));
    if (operation == QLatin1String("actual"))
        label->zoomOut();
    view.scrollArea->horizontalScrollBar()->setValue(500);
    view.scrollArea->verticalScrollBar()->setValue(400);

    const bool byWheel = operation.startsWith(QLatin1String("wheel"));
    const QPoint anchor = byWheel ? QPoint(90, 70) : view.scrollArea->viewport()->rect().center();
    const QPointF before = filePointAt(view, anchor);
    const float scale = label->scale;

    if (operation == QLatin1String("in"))
        view.toolButtonZoomIn->click();
    else if (operation == QLatin1String("out"))
        view.toolButtonZoomOut->click();
    else if (operation == QLatin1String("actual"))
        view.toolButtonOriginal->click();
    else {
        QTest::keyPress(label, Qt::Key_Control);
        wheel(label, label->mapFrom(view.scrollArea->viewport(), anchor), operation.endsWith(QLatin1String("in")) ? 120 : -120);
        QTest::keyRelease(label, Qt::Key_Control);
    }

    QVERIFY(label->scale != scale);
    const QPointF after = filePointAt(view, anchor);
    QVERIFY2(qAbs(after.x() - before.x()) <= 1.0 && qAbs(after.y() - before.y()) <= 1.0,
             qPrintable(QStringLiteral("(%1,%2) -> (%3,%4)").arg(before.x()).arg(before.y()).arg(after.x()).arg(after.y())));
}

void ImageViewTest::testWheelNeedsCtrlAndTools()
{
    MyImage view;
    view.resize(420, 320);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    MyLabel *label = view.imageLabel;
    view.loadImage(writeImage(QStringLiteral("page.png"), 1600, 1200));
    view.scrollArea->verticalScrollBar()->setValue(100);

    wheel(label, QPoint(50, 150), 120);
    QCOMPARE(label->scale, 1.0f);
    QCOMPARE(bars(view), QPoint(0, 100));

    view.setToolsVisible(false);
    for (QToolButton *button : view.findChildren<QToolButton *>())
        QVERIFY(button->isHidden());
    QVERIFY(view.line->isHidden());
    QVERIFY(!label->interactive);
    QVERIFY(!view.scrollArea->dragEnabled);
    QCOMPARE(view.scrollArea->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QTest::keyPress(label, Qt::Key_Control);
    wheel(label, QPoint(50, 150), 120);
    QCOMPARE(label->scale, 1.0f);

    view.setToolsVisible(true);
    QVERIFY(!view.toolButtonFit->isHidden());
    QCOMPARE(view.scrollArea->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    wheel(label, QPoint(50, 150), 120);
    QCOMPARE(label->scale, 1.1f);
    QTest::keyRelease(label, Qt::Key_Control);
    QVERIFY(!label->ctrlPressed);
}

void ImageViewTest::testFit()
{
    MyImage view;
    view.resize(420, 320);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    MyLabel *label = view.imageLabel;

    // Taller than the space: fitted by height, and a box now reaching past
    // the image is hidden.
    view.loadImage(writeImage(QStringLiteral("tall.png"), 1000, 2000));
    label->rubberBand->setGeometry(200, 10, 100, 50);
    label->rubberBand->show();
    label->fitToSize(380, 280);
    QCOMPARE(label->scale, 280.0f / 2000.0f);
    QCOMPARE(label->scaledImage->size(), QSize(140, 280));
    QVERIFY(label->rubberBand->isHidden());

    view.loadImage(writeImage(QStringLiteral("wide.png"), 2000, 500));
    label->fitToSize(380, 280);
    QCOMPARE(label->scale, 380.0f / 2000.0f);
    QCOMPARE(label->scaledImage->size(), QSize(380, 95));

    // A collapsed view would give a zero zoom.
    label->fitToSize(0, 280);
    label->fitToSize(380, -5);
    QCOMPARE(label->scale, 380.0f / 2000.0f);

    // The tool fits the image into the visible area, without scroll bars.
    label->showActualSize();
    view.toolButtonFit->click();
    QVERIFY(label->scaledImage->width() <= view.scrollArea->width());
    QVERIFY(label->scale < 1.0f);
    QTRY_VERIFY(!view.scrollArea->horizontalScrollBar()->isVisible());
}

void ImageViewTest::testSelectionDrawing()
{
    MyImage view;
    view.resize(700, 500);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    MyLabel *label = view.imageLabel;
    MyRubberBandContainer *box = label->rubberBand;
    QVERIFY(box->isHidden());
    label->scale = 0.5f;
    view.loadImage(writeImage(QStringLiteral("page.png"), 1200, 800));  // shown 600 x 400

    drag(label, QPoint(50, 40), QPoint(249, 139));
    QVERIFY(box->isVisible());
    QCOMPARE(box->geometry(), QRect(50, 40, 200, 100));
    QCOMPARE(label->selectionRect, QRect(50, 40, 200, 100));
    QCOMPARE(box->fileRect(), QRect(100, 80, 400, 200));

    // A click that does not move draws nothing.
    mouse(label, QEvent::MouseButtonPress, QPoint(400, 300), Qt::LeftButton, Qt::LeftButton);
    mouse(label, QEvent::MouseButtonRelease, QPoint(400, 300), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(box->geometry(), QRect(50, 40, 200, 100));

    // Drawn past the image's edges: only the part over the image counts.
    drag(label, QPoint(550, 350), QPoint(900, 700));
    QCOMPARE(box->geometry(), QRect(550, 350, 50, 50));
    drag(label, QPoint(30, 20), QPoint(-40, -60));
    QCOMPARE(box->geometry(), QRect(0, 0, 31, 21));

    // Odd zooms truncate toward zero.
    label->scale = 0.3f;
    box->setGeometry(10, 10, 100, 100);
    QCOMPARE(box->fileRect(), QRect(33, 33, 333, 333));
    label->scale = 0.0f;
    QVERIFY(box->fileRect().isNull());
}

void ImageViewTest::testPanningAndSelectionStaySeparate()
{
    MyImage view;
    view.resize(420, 320);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    MyLabel *label = view.imageLabel;
    view.loadImage(writeImage(QStringLiteral("page.png"), 1600, 1200));

    // Right drag pans with the pointer; the label hands the events on.
    drag(label, QPoint(200, 150), QPoint(150, 110), Qt::RightButton);
    QCOMPARE(bars(view), QPoint(50, 40));
    QVERIFY(label->rubberBand->isHidden());

    // Left drag selects and does not pan.
    drag(label, QPoint(200, 150), QPoint(100, 100));
    QCOMPARE(bars(view), QPoint(50, 40));
    QVERIFY(label->rubberBand->isVisible());

    // No panning while recognition runs.
    view.setToolsVisible(false);
    drag(label, QPoint(200, 150), QPoint(150, 110), Qt::RightButton);
    QCOMPARE(bars(view), QPoint(50, 40));
}

void ImageViewTest::testBoxMoveAndResizeStayOnImage()
{
    MyImage view;
    view.resize(700, 500);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    MyLabel *label = view.imageLabel;
    MyRubberBandContainer *box = label->rubberBand;
    label->scale = 0.5f;
    view.loadImage(writeImage(QStringLiteral("page.png"), 1200, 800));  // shown 600 x 400
    box->setGeometry(100, 100, 80, 60);
    box->show();

    drag(box, QPoint(10, 10), QPoint(-490, -490));
    QCOMPARE(box->pos(), QPoint(0, 0));
    drag(box, QPoint(10, 10), QPoint(1010, 1010));
    QCOMPARE(box->geometry(), QRect(520, 340, 80, 60));  // flush with the image's edges

    // The handle resizes, stopping one pixel short of the edges.
    mouse(box, QEvent::MouseButtonPress, QPoint(78, 58), Qt::LeftButton, Qt::LeftButton);
    QVERIFY(box->resizing);
    mouse(box, QEvent::MouseButtonRelease, QPoint(78, 58), Qt::LeftButton, Qt::NoButton);
    QVERIFY(!box->resizing);
    box->move(300, 200);
    drag(box, QPoint(78, 58), QPoint(5000, 5000));
    QCOMPARE(box->geometry(), QRect(300, 200, 299, 199));
    drag(box, QPoint(297, 197), QPoint(-50, 2));
    QCOMPARE(box->size(), QSize(MyRubberBandContainer::kHandleSize, MyRubberBandContainer::kHandleSize));

    // A box bigger than the image (left over from a larger one) starts at its edge.
    box->setGeometry(10, 10, 800, 500);
    drag(box, QPoint(100, 100), QPoint(150, 150));
    QCOMPARE(box->pos(), QPoint(0, 0));
}

void ImageViewTest::testBoxMenu()
{
    MyImage view;
    view.resize(700, 500);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    MyLabel *label = view.imageLabel;
    view.loadImage(writeImage(QStringLiteral("page.png"), 600, 400));
    drag(label, QPoint(50, 50), QPoint(200, 150));

    const QStringList onBox = popupTexts([&] {
        mouse(label->rubberBand, QEvent::MouseButtonPress, QPoint(20, 20), Qt::RightButton, Qt::RightButton);
    });
    QCOMPARE(onBox, (QStringList{"条码考号检测", "设为定位点搜索区域", "编辑"}));
    const QStringList offBox = popupTexts([&] {
        mouse(label, QEvent::MouseButtonPress, QPoint(400, 300), Qt::RightButton, Qt::RightButton);
    });
    QVERIFY(offBox.isEmpty());
    mouse(label, QEvent::MouseButtonRelease, QPoint(400, 300), Qt::RightButton, Qt::NoButton);
}

void ImageViewTest::testBarcodeCheck_data()
{
    // The page is 400 x 300 with the barcode at its bottom-right corner.
    QTest::addColumn<QRect>("box");
    QTest::addColumn<bool>("missingFile");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("text");
    const QString found = QStringLiteral("考号是 20240917\n编码方式是 ");
    QTest::newRow("inside") << QRect(90, 120, 308, 178) << false << true << found;
    QTest::newRow("past the edge") << QRect(90, 120, 600, 400) << false << true << found;
    QTest::newRow("outside the image") << QRect(450, 320, 100, 100) << false << true << QStringLiteral("考号检测失败");
    QTest::newRow("missing file") << QRect(90, 120, 308, 178) << true << true << QStringLiteral("考号检测失败");
    QTest::newRow("cancelled") << QRect(90, 120, 308, 178) << false << false << QString();
}

void ImageViewTest::testBarcodeCheck()
{
    QFETCH(QRect, box);
    QFETCH(bool, missingFile);
    QFETCH(bool, answer);
    QFETCH(QString, text);

    const cv::Mat code = BarcodeImage::render(BarcodeImage::Code128, QStringLiteral("20240917"), 2, 60);
    QVERIFY(!code.empty());
    cv::Mat page(300, 400, CV_8UC1, cv::Scalar(255));
    QVERIFY(code.cols < 300 && code.rows < 170);
    code.copyTo(page(cv::Rect(400 - code.cols, 300 - code.rows, code.cols, code.rows)));
    const QString path = m_dir.filePath(QStringLiteral("barcode.png"));
    QVERIFY(cv::imwrite(QFile::encodeName(path).toStdString(), page));

    MyImage view;
    view.loadImage(path);
    if (missingFile)
        view.loadImage(m_dir.filePath(QStringLiteral("gone.png")));
    view.imageLabel->rubberBand->setGeometry(box);

    MessageBoxRecorder boxes;
    WhenShown<DialogBarCodeCheck> direction([answer](DialogBarCodeCheck *dialog) {
        if (answer)
            dialog->findChild<QPushButton *>(QStringLiteral("pushButtonHor"))->click();
        else
            dialog->reject();
    });
    view.imageLabel->rubberBand->barCodeCheck();

    QVERIFY(direction.seen);
    QCOMPARE(boxes.count(), text.isEmpty() ? 0 : 1);
    if (text.isEmpty())
        return;
    QCOMPARE(boxes.last().title, QStringLiteral("提示"));
    QVERIFY2(boxes.last().text.startsWith(text), qPrintable(boxes.last().text));
    QCOMPARE(boxes.last().buttons, QMessageBox::StandardButtons(text.startsWith(QStringLiteral("考号是")) ? QMessageBox::Yes : QMessageBox::Ok));
}

void ImageViewTest::testSetROI_data()
{
    // Pages per sheet 2, current row 5 (page 2), 8 rows; the box is
    // (50, 40, 200, 100) at zoom 0.5.
    QTest::addColumn<int>("pageScope");
    QTest::addColumn<bool>("allSheets");
    QTest::addColumn<QString>("anchor");
    QTest::addColumn<bool>("textAnchoredPage");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<int>("column");
    QTest::newRow("this sheet, A") << 0 << false << "A" << false << QList<int>{4, 5} << 12;
    QTest::newRow("this page of every sheet, B") << 1 << true << "B" << false << QList<int>{1, 3, 5, 7} << 13;
    QTest::newRow("every row, A") << 0 << true << "A" << false << QList<int>{0, 1, 2, 3, 4, 5, 6, 7} << 12;
    QTest::newRow("current row only, B") << 1 << false << "B" << false << QList<int>{5} << 13;
    QTest::newRow("printed text") << 1 << false << "T" << true << QList<int>{5} << 11;
}

void ImageViewTest::testSetROI()
{
    QFETCH(int, pageScope);
    QFETCH(bool, allSheets);
    QFETCH(QString, anchor);
    QFETCH(bool, textAnchoredPage);
    QFETCH(QList<int>, rows);
    QFETCH(int, column);

    MainWindow w;
    w.pagesPerSheet = 2;
    TemplatePage first;
    first.id = 1;
    TemplatePage second;
    second.id = 2;
    second.isRectangleAnchor = !textAnchoredPage;
    w.templatePages = {first, second};
    MyTableWidgetImage *images = w.tableWidgetImages;
    images->setColumnCount(ImageListColumn::Count);
    images->setRowCount(8);
    images->setCurrentCell(5, 0);
    MyLabel *label = w.myImage->imageLabel;
    label->scale = 0.5f;
    w.myImage->loadImage(writeImage(QStringLiteral("page.png"), 1200, 800));
    label->rubberBand->setGeometry(50, 40, 200, 100);

    bool rectangleOffered = !textAnchoredPage;
    bool startChoices = false;
    QString pageText;
    WhenShown<DialogSetAnchorPointROI> choose([&](DialogSetAnchorPointROI *dialog) {
        auto radio = [dialog](const char *name) { return dialog->findChild<QRadioButton *>(QLatin1String(name)); };
        auto *everySheet = dialog->findChild<QCheckBox *>(QStringLiteral("checkBoxApplyToAll"));
        rectangleOffered = radio("radioButtonA")->isVisible() && radio("radioButtonB")->isVisible();
        pageText = radio("radioButtonApplyToPresentPage")->text();
        startChoices = radio("radioButtonApplyToAllPage")->isChecked() && everySheet->isChecked()
                       && radio(textAnchoredPage ? "radioButtonPrintTextAnchor" : "radioButtonA")->isChecked();
        radio(pageScope == 0 ? "radioButtonApplyToAllPage" : "radioButtonApplyToPresentPage")->setChecked(true);
        everySheet->setChecked(allSheets);
        if (anchor == QLatin1String("B"))
            radio("radioButtonB")->setChecked(true);
        dialog->findChild<QPushButton *>(QStringLiteral("pushButtonOK"))->click();
    });
    label->rubberBand->setROI();

    QVERIFY(choose.seen);
    QVERIFY(startChoices);
    QCOMPARE(rectangleOffered, !textAnchoredPage);
    QCOMPARE(pageText, QStringLiteral("仅当前页：2"));
    for (int r = 0; r < images->rowCount(); ++r) {
        for (int c : {11, 12, 13}) {
            const QTableWidgetItem *cell = images->item(r, c);
            const QString expected = (c == column && rows.contains(r)) ? QStringLiteral("100,80,400,200") : QString();
            QCOMPARE(cell ? cell->text() : QString(), expected);
        }
    }
}

void ImageViewTest::testSetROIRefusals()
{
    MainWindow w;
    w.pagesPerSheet = 2;
    MyTableWidgetImage *images = w.tableWidgetImages;
    images->setColumnCount(ImageListColumn::Count);
    images->setRowCount(4);
    MyLabel *label = w.myImage->imageLabel;
    label->scale = 0.5f;
    w.myImage->loadImage(writeImage(QStringLiteral("page.png"), 1200, 800));
    label->rubberBand->setGeometry(550, 40, 100, 100);
    auto written = [images] {
        QStringList texts;
        for (int r = 0; r < images->rowCount(); ++r) {
            const QTableWidgetItem *cell = images->item(r, ImageListColumn::AnchorAArea);
            texts << (cell ? cell->text() : QString());
        }
        return texts;
    };
    auto accept = [](DialogSetAnchorPointROI *d) { d->findChild<QPushButton *>(QStringLiteral("pushButtonOK"))->click(); };

    {   // No current row, then no template: nothing is asked.
        WhenShown<DialogSetAnchorPointROI> never(accept);
        images->setCurrentCell(-1, -1);
        label->rubberBand->setROI();
        images->setCurrentCell(1, 0);
        w.pagesPerSheet = 0;
        label->rubberBand->setROI();
        QVERIFY(!never.seen);
        w.pagesPerSheet = 2;
    }
    {   // Workers read these cells while they run.
        WhenShown<DialogSetAnchorPointROI> never(accept);
        w.processWorkers.append(nullptr);
        label->rubberBand->setROI();
        w.processWorkers.clear();
        QVERIFY(!never.seen);
        QVERIFY(w.textEditLog->toPlainText().contains(QStringLiteral("识别处理中，不能设置定位点搜索区域")));
    }
    {
        WhenShown<DialogSetAnchorPointROI> cancel([](DialogSetAnchorPointROI *d) { d->reject(); });
        label->rubberBand->setROI();
        QVERIFY(cancel.seen);
        QCOMPARE(written(), QStringList({QString(), QString(), QString(), QString()}));
    }
    {   // The box reaches past the shown image: the area is cut back to the file.
        WhenShown<DialogSetAnchorPointROI> ok(accept);
        label->rubberBand->setROI();
        QVERIFY(ok.seen);
        QCOMPARE(written(), QVector<QString>(4, QStringLiteral("1100,80,100,200")).toList());
    }
}

void ImageViewTest::testImageEdit()
{
    QTemporaryDir settingsDir;
    const QString ini = settingsDir.filePath(QStringLiteral("Ardentiq.ini"));
    setSettingsFilePathForTesting(ini);

    MainWindow w;
    MyLabel *label = w.myImage->imageLabel;
    const QString path = writeImage(QStringLiteral("edit.png"), 400, 300);
    w.myImage->loadImage(path);
    label->rubberBand->setGeometry(350, 250, 100, 100);
    w.imageEditColor = 0;
    w.imageEditWidth = 12;

    {   // Not while workers may be reading the file.
        WhenShown<DialogImageEdit> never([](DialogImageEdit *d) { d->reject(); });
        w.processWorkers.append(nullptr);
        label->rubberBand->imageEdit();
        w.processWorkers.clear();
        QVERIFY(!never.seen);
    }

    QRect shownPart;
    WhenShown<DialogImageEdit> edit([&](DialogImageEdit *dialog) {
        shownPart = dialog->editRect();
        // The editor's write, so the view's reload can be seen.
        writeImage(QStringLiteral("edit.png"), 410, 300);
        // The pen chosen here is the window's next pen.
        dialog->findChild<QComboBox *>(QStringLiteral("comboBoxColor"))->setCurrentIndex(0);
        dialog->findChild<QComboBox *>(QStringLiteral("comboBoxWidth"))->setCurrentText(QStringLiteral("9"));
        dialog->findChild<QPushButton *>(QStringLiteral("pushButtonOK"))->click();
    });
    label->rubberBand->imageEdit();
    QVERIFY(edit.seen);
    QCOMPARE(shownPart, QRect(350, 250, 50, 50));  // cut back to the image
    QCOMPARE(label->sourceImage->width(), 410);
    QCOMPARE(w.imageEditColor, 255);
    QCOMPARE(w.imageEditWidth, 9);
    QSettings settings(ini, QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("ImageEdit/Color")).toString(), QStringLiteral("255"));
    QCOMPARE(settings.value(QStringLiteral("ImageEdit/Width")).toString(), QStringLiteral("9"));
    setSettingsFilePathForTesting(QString());
}

void ImageViewTest::testRotateButtons_data()
{
    // A 40 x 30 page whose top-left pixel is dark: where that pixel lands.
    QTest::addColumn<QString>("button");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("dark");
    QTest::newRow("clockwise") << "toolButtonClockwise" << QSize(30, 40) << QPoint(29, 0);
    QTest::newRow("half turn") << "toolButtonRotate180" << QSize(40, 30) << QPoint(39, 29);
    QTest::newRow("anticlockwise") << "toolButtonAnticlockwise" << QSize(30, 40) << QPoint(0, 39);
}

void ImageViewTest::testRotateButtons()
{
    QFETCH(QString, button);
    QFETCH(QSize, size);
    QFETCH(QPoint, dark);
    QImage page(40, 30, QImage::Format_Grayscale8);
    page.fill(255);
    page.setPixel(0, 0, 0);
    const QString path = m_dir.filePath(QStringLiteral("rotate.png"));
    QVERIFY(page.save(path));

    // The buttons turn the file of the image list's context row and show it.
    MainWindow w;
    w.tableWidgetImages->addImageRow(QFileInfo(path));
    w.tableWidgetImages->contextRow = 0;
    w.myImage->findChild<QToolButton *>(button)->click();

    const QImage turned(path);
    QCOMPARE(turned.size(), size);
    QCOMPARE(qGray(turned.pixel(dark)), 0);
    QCOMPARE(w.myImage->imageLabel->sourceImage->size(), size);
}

void ImageViewTest::testStatusBar()
{
    MyStatusBar bar;
    auto text = [&bar](const char *name) { return bar.findChild<QLabel *>(QLatin1String(name))->text(); };
    QCOMPARE(text("labelExamName"), QStringLiteral("名称"));
    QCOMPARE(text("labelGrade"), QStringLiteral("年级"));
    QCOMPARE(text("labelSubject"), QStringLiteral("科目"));
    QCOMPARE(text("labelTplFileInfo"), QStringLiteral("模板信息"));
    QCOMPARE(text("label_2"), QStringLiteral("总页数:"));
    QCOMPARE(text("labelTotalSheetCount"), QStringLiteral("0"));
    QCOMPARE(text("label_3"), QStringLiteral("成功份数:"));
    QCOMPARE(text("labelSuccessCount"), QStringLiteral("0"));
    QCOMPARE(bar.findChild<QLabel *>(QStringLiteral("labelSuccessCount"))->margin(), 3);

    bar.setExamName(QStringLiteral("期末考试"));
    bar.setGrade(QStringLiteral("七年级"));
    bar.setSubject(QStringLiteral("数学"));
    bar.setTemplateInfo(QStringLiteral("模板页数：2 客观题数：20 主观题页块数：5(2,3)"));
    bar.setTotalSheetCount(120);
    bar.setSuccessCount(57);
    QCOMPARE(text("labelExamName"), QStringLiteral("期末考试"));
    QCOMPARE(text("labelGrade"), QStringLiteral("七年级"));
    QCOMPARE(text("labelSubject"), QStringLiteral("数学"));
    QCOMPARE(text("labelTplFileInfo"), QStringLiteral("模板页数：2 客观题数：20 主观题页块数：5(2,3)"));
    QCOMPARE(text("labelTotalSheetCount"), QStringLiteral("120"));
    QCOMPARE(text("labelSuccessCount"), QStringLiteral("57"));
    bar.setSuccessCount(0);
    QCOMPARE(text("labelSuccessCount"), QStringLiteral("0"));
}

QTEST_MAIN(ImageViewTest)
#include "imageview_test.moc"
