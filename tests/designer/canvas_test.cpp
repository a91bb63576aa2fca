// The design canvas: zoom steps and their limits, loading pages, the
// selection drag, the arrow keys, the wheel, the keyboard grab, what the
// canvas reports to its window, and that repainting a part of the canvas
// draws the same pixels there as repainting all of it, and the same pixels
// as the painting the canvas and its sections did before they kept layouts.

#include "canvasfixture.h"
#include "messagebox.h"
#include "omrresources.h"
#include "questionsections.h"
#include "treeitems.h"

#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <cstring>
#include <memory>

class CanvasTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void zoomInStepsUntilTheWidthLimit();
    void zoomLimits_data();
    void zoomLimits();
    void fitToSize_data();
    void fitToSize();
    void fullSizeAfterZoomAndLoadAtZoom();
    void zoomOutHidesASelectionOutsideTheImage();
    void nothingWithoutAnImage();
    void unreadableFileIsSaidAndLeavesNoPicture();
    void leftDragSelectsWithinTheImage_data();
    void leftDragSelectsWithinTheImage();
    void arrowKeys_data();
    void arrowKeys();
    void ctrlWheelZoomsAndWheelNeverScrolls();
    void keyboardGrabFollowsThePointer();
    void selectionRectangleMoveAndResizeStayOnTheImage_data();
    void selectionRectangleMoveAndResizeStayOnTheImage();
    void reportsToTheWindow();
    void worksWithoutAWindow();
    void toolButtonsZoom();
    void editHooksChangeNothingWhileUnset();
    void partialRepaintDrawsWhatAFullRepaintDraws_data();
    void partialRepaintDrawsWhatAFullRepaintDraws();
    void sectionsPaintAsBefore_data();
    void sectionsPaintAsBefore();

private:
    // A window showing a page of the given size at zoom 1.
    void showPage(int width, int height);

    std::unique_ptr<CanvasScene> scene_;
    QTemporaryDir *dir_ = nullptr;
    RecordingWindow *window_ = nullptr;
    MyLabel *canvas_ = nullptr;
};

void CanvasTest::initTestCase()
{
    initOmrResources();
}

void CanvasTest::init()
{
    scene_ = std::make_unique<CanvasScene>();
    QVERIFY(scene_->dir.isValid());
    dir_ = &scene_->dir;
    window_ = &scene_->window;
    canvas_ = scene_->canvas;
}

void CanvasTest::cleanup()
{
    scene_.reset();
}

void CanvasTest::showPage(int width, int height)
{
    window_->page = 1;
    canvas_->loadImage(scene_->writePage(QStringLiteral("page.png"), width, height), 1);
    QVERIFY(!canvas_->fullImage.isNull());
}

void CanvasTest::zoomInStepsUntilTheWidthLimit()
{
    showPage(2000, 20);
    QList<int> widths;
    for (int i = 0; i < 40; ++i) {
        const float before = canvas_->scale;
        canvas_->zoomIn();
        if (canvas_->scale == before)
            break;
        widths.append(canvas_->shownImage.width());
    }
    QCOMPARE(widths.mid(0, 4), (QList<int>{2200, 2420, 2662, 2928}));
    QCOMPARE(widths.size(), 21);
    QVERIFY(widths.last() <= MyLabel::kMaxZoomWidth);
    QVERIFY(qAbs(canvas_->scale - 7.4f) < 0.01f);

    // The refused step leaves everything as it was.
    const float scale = canvas_->scale;
    const QImage shown = canvas_->shownImage;
    canvas_->zoomIn();
    QVERIFY(std::memcmp(&scale, &canvas_->scale, sizeof scale) == 0);
    QCOMPARE(canvas_->shownImage.size(), shown.size());
    QCOMPARE(canvas_->pixmap(Qt::ReturnByValue).width(), shown.width());
}

void CanvasTest::zoomLimits_data()
{
    QTest::addColumn<int>("pageWidth");
    QTest::addColumn<bool>("zoomIn");
    QTest::addColumn<int>("expectedWidth");   // 0: refused

    QTest::newRow("in to exactly 15000") << 13636 << true << 15000;
    QTest::newRow("in past 15000") << 13637 << true << 0;
    QTest::newRow("out to exactly 300") << 330 << false << 300;
    QTest::newRow("out of a 300 px page") << 300 << false << 0;
}

void CanvasTest::zoomLimits()
{
    QFETCH(int, pageWidth);
    QFETCH(bool, zoomIn);
    QFETCH(int, expectedWidth);

    showPage(pageWidth, 10);
    zoomIn ? canvas_->zoomIn() : canvas_->zoomOut();
    if (expectedWidth == 0) {
        QCOMPARE(canvas_->scale, 1.0f);
        QCOMPARE(canvas_->shownImage.width(), pageWidth);
    } else {
        QCOMPARE(canvas_->shownImage.width(), expectedWidth);
        QCOMPARE(canvas_->scale, zoomIn ? 1.1f : 1.0f / 1.1f);
    }
}

void CanvasTest::fitToSize_data()
{
    QTest::addColumn<QSize>("page");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<float>("expectedScale");
    QTest::addColumn<QSize>("expectedShown");

    QTest::newRow("wide page: width rule") << QSize(1000, 100) << QSize(400, 300) << 0.4f << QSize(400, 40);
    QTest::newRow("tall page: height rule") << QSize(100, 1000) << QSize(400, 300) << 0.3f << QSize(30, 300);
    QTest::newRow("small page grows") << QSize(100, 50) << QSize(400, 300) << 4.0f << QSize(400, 200);
    QTest::newRow("collapsed view ignored") << QSize(100, 50) << QSize(0, 300) << 1.0f << QSize(100, 50);
}

void CanvasTest::fitToSize()
{
    QFETCH(QSize, page);
    QFETCH(QSize, box);
    QFETCH(float, expectedScale);
    QFETCH(QSize, expectedShown);

    showPage(page.width(), page.height());
    canvas_->fitToSize(box.width(), box.height());
    QCOMPARE(canvas_->scale, expectedScale);
    QCOMPARE(canvas_->shownImage.size(), expectedShown);
}

void CanvasTest::fullSizeAfterZoomAndLoadAtZoom()
{
    showPage(1000, 400);
    canvas_->zoomIn();
    canvas_->zoomIn();
    // Another page keeps the zoom: integer part of width x zoom.
    const QString second = scene_->writePage(QStringLiteral("second.png"), 777, 300);
    canvas_->loadImage(second, 2);
    QCOMPARE(canvas_->shownImage.width(), static_cast<int>(777 * canvas_->scale));
    QCOMPARE(canvas_->page, 2);
    QCOMPARE(window_->imageInfo.last().width, canvas_->shownImage.width());

    canvas_->showFullSize();
    QCOMPARE(canvas_->scale, 1.0f);
    QCOMPARE(canvas_->shownImage.size(), QSize(777, 300));
}

void CanvasTest::zoomOutHidesASelectionOutsideTheImage()
{
    showPage(1000, 400);
    canvas_->showSelection(QRect(900, 10, 95, 50));
    canvas_->zoomIn();
    QVERIFY(canvas_->rubberBand->isVisible());
    canvas_->zoomOut();
    QVERIFY(canvas_->rubberBand->isVisible());   // back at 1000 px
    canvas_->zoomOut();
    QVERIFY(!canvas_->rubberBand->isVisible());

    canvas_->showFullSize();
    canvas_->showSelection(QRect(10, 10, 50, 50));
    canvas_->zoomOut();
    QVERIFY(canvas_->rubberBand->isVisible());
}

void CanvasTest::nothingWithoutAnImage()
{
    MessageBoxRecorder boxes;
    canvas_->showSelection(QRect(5, 5, 20, 20));
    canvas_->zoomIn();
    canvas_->zoomOut();
    canvas_->showFullSize();
    canvas_->fitToSize(300, 300);
    QTest::keyClick(canvas_, Qt::Key_Right);
    QTest::keyClick(canvas_, Qt::Key_Left, Qt::ShiftModifier);
    sendWheel(canvas_, 120, Qt::ControlModifier);
    canvas_->rotatePage(0);
    canvas_->correctHorizontal();

    QCOMPARE(canvas_->scale, 1.0f);
    QVERIFY(canvas_->shownImage.isNull());
    QCOMPARE(canvas_->rubberBand->geometry(), QRect(5, 5, 20, 20));
    QCOMPARE(canvas_->text(), QStringLiteral("等待加载图片..."));
    QCOMPARE(boxes.count(), 0);
    QVERIFY(window_->imageInfo.isEmpty());
}

void CanvasTest::unreadableFileIsSaidAndLeavesNoPicture()
{
    showPage(400, 200);
    canvas_->zoomIn();
    const QString missing = dir_->filePath(QStringLiteral("missing.png"));
    const QString broken = dir_->filePath(QStringLiteral("broken.png"));
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not an image");
    file.close();

    MessageBoxRecorder boxes;
    for (const QString &path : {missing, broken}) {
        canvas_->showSelection(QRect(10, 10, 40, 30));
        boxes.clear();
        canvas_->loadImage(path, 7);
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.last().text.contains(QStringLiteral("第7页")) && boxes.last().text.contains(path),
                 qPrintable(boxes.last().text));
        QVERIFY(canvas_->fullImage.isNull());
        QVERIFY(canvas_->pixmap(Qt::ReturnByValue).isNull());
        QVERIFY(!canvas_->rubberBand->isVisible());
        QCOMPARE(canvas_->imagePath, path);
        QCOMPARE(canvas_->page, 7);
        QCOMPARE(canvas_->scale, 1.1f);
        QCOMPARE(window_->imageInfo.last().path, path);
        QCOMPARE(window_->imageInfo.last().width, 0);
        canvas_->zoomIn();
        QCOMPARE(canvas_->scale, 1.1f);
    }
}

void CanvasTest::leftDragSelectsWithinTheImage_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<QRect>("expected");

    // Page 200 x 100.
    QTest::newRow("down right") << QPoint(20, 10) << QPoint(69, 39) << QRect(20, 10, 50, 30);
    QTest::newRow("up left, normalised") << QPoint(69, 39) << QPoint(20, 10) << QRect(20, 10, 50, 30);
    QTest::newRow("past right and bottom") << QPoint(150, 60) << QPoint(400, 300) << QRect(150, 60, 50, 40);
    QTest::newRow("past left and top") << QPoint(30, 20) << QPoint(-15, -40) << QRect(0, 0, 31, 21);
}

void CanvasTest::leftDragSelectsWithinTheImage()
{
    QFETCH(QPoint, press);
    QFETCH(QPoint, to);
    QFETCH(QRect, expected);

    showPage(200, 100);
    sendMouse(canvas_, QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    sendMouse(canvas_, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    QCOMPARE(canvas_->selectionRect, expected);
    QCOMPARE(canvas_->rubberBand->geometry(), expected);
    QVERIFY(canvas_->rubberBand->isVisible());
    // A selection along the edge survives the next relayout at the same zoom.
    canvas_->showFullSize();
    QVERIFY(canvas_->rubberBand->isVisible());

    sendMouse(canvas_, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    // Moving without a button selects nothing more.
    sendMouse(canvas_, QEvent::MouseMove, QPoint(1, 1), Qt::NoButton, Qt::NoButton);
    QCOMPARE(canvas_->rubberBand->geometry(), expected);
}

void CanvasTest::arrowKeys_data()
{
    QTest::addColumn<QRect>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<QRect>("expected");

    // Page 200 x 100.
    QTest::newRow("right") << QRect(10, 10, 50, 20) << int(Qt::Key_Right) << false << QRect(11, 10, 50, 20);
    QTest::newRow("right to the edge") << QRect(149, 10, 50, 20) << int(Qt::Key_Right) << false
                                       << QRect(150, 10, 50, 20);
    QTest::newRow("right at the edge") << QRect(150, 10, 50, 20) << int(Qt::Key_Right) << false
                                       << QRect(150, 10, 50, 20);
    QTest::newRow("down at the edge") << QRect(10, 80, 50, 20) << int(Qt::Key_Down) << false
                                      << QRect(10, 80, 50, 20);
    QTest::newRow("down") << QRect(10, 79, 50, 20) << int(Qt::Key_Down) << false << QRect(10, 80, 50, 20);
    QTest::newRow("left at the edge") << QRect(0, 10, 50, 20) << int(Qt::Key_Left) << false
                                      << QRect(0, 10, 50, 20);
    QTest::newRow("left") << QRect(1, 10, 50, 20) << int(Qt::Key_Left) << false << QRect(0, 10, 50, 20);
    QTest::newRow("up at the edge") << QRect(10, 0, 50, 20) << int(Qt::Key_Up) << false << QRect(10, 0, 50, 20);
    QTest::newRow("shift right grows past the edge") << QRect(150, 10, 50, 20) << int(Qt::Key_Right) << true
                                                     << QRect(150, 10, 51, 20);
    QTest::newRow("shift down") << QRect(10, 10, 50, 20) << int(Qt::Key_Down) << true << QRect(10, 10, 50, 21);
    QTest::newRow("shift left to zero width") << QRect(10, 10, 1, 20) << int(Qt::Key_Left) << true
                                              << QRect(10, 10, 0, 20);
    QTest::newRow("shift left at zero width") << QRect(10, 10, 0, 20) << int(Qt::Key_Left) << true
                                              << QRect(10, 10, 0, 20);
    QTest::newRow("shift up") << QRect(10, 10, 50, 20) << int(Qt::Key_Up) << true << QRect(10, 10, 50, 19);
}

void CanvasTest::arrowKeys()
{
    QFETCH(QRect, start);
    QFETCH(int, key);
    QFETCH(bool, shift);
    QFETCH(QRect, expected);

    showPage(200, 100);
    canvas_->showSelection(start);
    QTest::keyClick(canvas_, Qt::Key(key), shift ? Qt::ShiftModifier : Qt::NoModifier);
    QCOMPARE(canvas_->rubberBand->geometry(), expected);
}

void CanvasTest::ctrlWheelZoomsAndWheelNeverScrolls()
{
    showPage(2000, 2000);
    auto *area = window_->view->findChild<QScrollArea *>(QStringLiteral("scrollArea"));
    QVERIFY(area);
    QTRY_VERIFY(area->verticalScrollBar()->maximum() > 0);

    QVERIFY(sendWheel(canvas_, -120, Qt::NoModifier));
    QVERIFY(sendWheel(canvas_, 120, Qt::NoModifier));
    QCOMPARE(canvas_->scale, 1.0f);
    QCOMPARE(area->verticalScrollBar()->value(), 0);

    QVERIFY(sendWheel(canvas_, 120, Qt::ControlModifier));
    QCOMPARE(canvas_->scale, 1.1f);
    QVERIFY(sendWheel(canvas_, -120, Qt::ControlModifier));
    QVERIFY(sendWheel(canvas_, -120, Qt::ControlModifier));
    QCOMPARE(canvas_->shownImage.width(), qRound(1.1f * 2000.0f / 1.1f / 1.1f));
    QCOMPARE(area->verticalScrollBar()->value(), 0);
}

void CanvasTest::keyboardGrabFollowsThePointer()
{
    showPage(200, 100);
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(canvas_, &enter);
    QCOMPARE(QWidget::keyboardGrabber(), canvas_);

    QTest::keyPress(canvas_, Qt::Key_Control, Qt::ControlModifier);
    QVERIFY(canvas_->ctrlDown);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(canvas_, &leave);
    QCOMPARE(QWidget::keyboardGrabber(), nullptr);
    // The release happens elsewhere; the canvas must not believe Ctrl is held.
    QVERIFY(!canvas_->ctrlDown);

    // A section that took the grab hands it back.
    window_->tree->grabKeyboard();
    canvas_->grabCanvasKeyboard();
    QCOMPARE(QWidget::keyboardGrabber(), canvas_);
    canvas_->releaseKeyboard();
}

void CanvasTest::selectionRectangleMoveAndResizeStayOnTheImage_data()
{
    QTest::addColumn<QRect>("start");
    QTest::addColumn<QPoint>("press");   // rectangle pixels
    QTest::addColumn<QPoint>("to");      // rectangle pixels, left button held
    QTest::addColumn<QRect>("expected");

    // Page 200 x 100.
    QTest::newRow("move") << QRect(10, 10, 50, 30) << QPoint(5, 5) << QPoint(25, 15) << QRect(30, 20, 50, 30);
    QTest::newRow("move past right and bottom") << QRect(10, 10, 50, 30) << QPoint(5, 5) << QPoint(400, 300)
                                                << QRect(150, 70, 50, 30);
    QTest::newRow("move past left and top") << QRect(10, 10, 50, 30) << QPoint(5, 5) << QPoint(-50, -50)
                                            << QRect(0, 0, 50, 30);
    QTest::newRow("resize") << QRect(10, 10, 50, 30) << QPoint(47, 27) << QPoint(67, 37)
                            << QRect(10, 10, 70, 40);
    // Grabbed 3 px inside the corner: the pointer still within the image
    // must not carry the edge past it.
    QTest::newRow("resize up to the edge") << QRect(10, 10, 50, 30) << QPoint(47, 27) << QPoint(189, 89)
                                           << QRect(10, 10, 190, 90);
    QTest::newRow("resize past the edge") << QRect(10, 10, 50, 30) << QPoint(47, 27) << QPoint(500, 500)
                                          << QRect(10, 10, 190, 90);
    QTest::newRow("resize below zero") << QRect(10, 10, 50, 30) << QPoint(47, 27) << QPoint(-20, -20)
                                       << QRect(10, 10, 0, 0);
}

void CanvasTest::selectionRectangleMoveAndResizeStayOnTheImage()
{
    QFETCH(QRect, start);
    QFETCH(QPoint, press);
    QFETCH(QPoint, to);
    QFETCH(QRect, expected);

    showPage(200, 100);
    canvas_->showSelection(start);
    MyRubberBandContainer *band = canvas_->rubberBand;
    sendMouse(band, QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    QCOMPARE(band->resizing, band->inHandle(press));
    sendMouse(band, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    QCOMPARE(band->geometry(), expected);
    sendMouse(band, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    QVERIFY(!band->resizing);
    // Without the button nothing moves.
    sendMouse(band, QEvent::MouseMove, QPoint(1, 1), Qt::NoButton, Qt::NoButton);
    QCOMPARE(band->geometry(), expected);
}

void CanvasTest::reportsToTheWindow()
{
    window_->page = 3;
    const QString path = scene_->writePage(QStringLiteral("p3.png"), 300, 120);
    canvas_->zoomIn();   // no image: still 1.0
    canvas_->loadImage(path, 3);
    QCOMPARE(window_->imageInfo.size(), 1);
    QCOMPARE(window_->imageInfo.first().path, path);
    QCOMPARE(window_->imageInfo.first().page, 3);
    QCOMPARE(QSize(window_->imageInfo.first().width, window_->imageInfo.first().height), QSize(300, 120));

    sendMouse(canvas_, QEvent::MouseMove, QPoint(17, 23), Qt::NoButton, Qt::NoButton);
    QCOMPARE(window_->mousePositions.last(), QPoint(17, 23));

    canvas_->showSelection(QRect(4, 5, 60, 70));
    canvas_->rubberBand->grab();   // paints
    QCOMPARE(window_->selectionInfo.last(), QRect(4, 5, 60, 70));

    canvas_->showSectionName(QStringLiteral("考号"));
    QCOMPARE(window_->sectionNames, QStringList{QStringLiteral("考号")});

    // The page shown is the window's; the page item is found by its id.
    window_->page = 5;
    QCOMPARE(canvas_->currentPage(), 5);
    for (int id = 1; id <= 4; ++id) {
        auto *item = new QTreeWidgetItem(window_->tree, {QStringLiteral("第%1页").arg(id)});
        item->setData(0, TreeItemTypeRole, QVariant::fromValue(TreeItemTypePage));
        item->setData(0, TreeItemDataRole, QVariant::fromValue(TreeItemPage{id, path}));
    }
    QCOMPARE(canvas_->pageTreeItem(), window_->tree->topLevelItem(2));
    canvas_->loadImage(path, 9);
    QCOMPARE(canvas_->pageTreeItem(), nullptr);

    // Boxes go through the programs' message box, so they can be answered.
    MessageBoxRecorder boxes;
    boxes.queueAnswer(QMessageBox::No);
    QCOMPARE(canvas_->showMessage(canvas_, QMessageBox::Question, QStringLiteral("提示"), QStringLiteral("确认删除吗？"),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No),
             QMessageBox::No);
    QCOMPARE(boxes.last().text, QStringLiteral("确认删除吗？"));
    QCOMPARE(boxes.last().parent.data(), canvas_);
}

void CanvasTest::worksWithoutAWindow()
{
    MyImage view;
    MyLabel *canvas = view.label();
    QCOMPARE(canvas->canvasWindow(), nullptr);
    QCOMPARE(canvas->currentPage(), -1);
    canvas->loadImage(scene_->writePage(QStringLiteral("alone.png"), 300, 100), 2);
    QCOMPARE(canvas->currentPage(), 2);
    QCOMPARE(canvas->pageTreeItem(), nullptr);
    sendMouse(canvas, QEvent::MouseButtonPress, QPoint(1, 1), Qt::LeftButton, Qt::LeftButton);
    sendMouse(canvas, QEvent::MouseMove, QPoint(30, 30), Qt::NoButton, Qt::LeftButton);
    canvas->rubberBand->grab();
    canvas->showSectionName(QStringLiteral("x"));
    QCOMPARE(canvas->rubberBand->geometry(), QRect(1, 1, 30, 30));
    // The canvas is what the section widgets find as their parent.
    QVERIFY(dynamic_cast<SectionHost *>(static_cast<QWidget *>(canvas)));
}

void CanvasTest::toolButtonsZoom()
{
    showPage(2000, 1000);
    auto button = [this](const char *name) {
        auto *b = window_->view->findChild<QToolButton *>(QLatin1String(name));
        return b;
    };
    QVERIFY(button("toolButtonZoomIn"));
    button("toolButtonZoomIn")->click();
    QCOMPARE(canvas_->scale, 1.1f);
    auto *scaleText = window_->view->findChild<QLabel *>(QStringLiteral("labelScale"));
    QVERIFY(scaleText && !scaleText->isVisible());
    QCOMPARE(scaleText->text().toFloat(), 1.1f);
    button("toolButtonZoomOut")->click();
    button("toolButtonZoomOut")->click();
    QVERIFY(canvas_->scale < 1.0f);
    button("toolButtonOriginal")->click();
    QCOMPARE(canvas_->scale, 1.0f);

    // Fit: the scroll area less its bars.
    auto *area = window_->view->findChild<QScrollArea *>(QStringLiteral("scrollArea"));
    button("toolButtonFit")->click();
    const int w = area->width() - area->verticalScrollBar()->width();
    const int h = area->height() - area->horizontalScrollBar()->height();
    QVERIFY(canvas_->shownImage.width() <= w && canvas_->shownImage.height() <= h);
    QVERIFY(canvas_->shownImage.width() == w || canvas_->shownImage.height() == h);
}

void CanvasTest::editHooksChangeNothingWhileUnset()
{
    // The canvas wires its section dialogs in; unset they change nothing.
    canvas_->optionalItemDialog = nullptr;
    canvas_->subjectDialog = nullptr;
    canvas_->subjectOptionalDialog = nullptr;
    QStringList items{QStringLiteral("22"), QStringLiteral("23")};
    QString defaultItem = QStringLiteral("22");
    int optional = 22;
    int page = 1;
    int block = 4;
    QVERIFY(!canvas_->editOptionalItem(items, defaultItem));
    QVERIFY(!canvas_->editSubject(page, block));
    QVERIFY(!canvas_->editSubjectOptional(optional, page, block));
    QCOMPARE(block, 4);

    canvas_->subjectDialog = [](int &, int &b) {
        b = 9;
        return true;
    };
    QVERIFY(canvas_->editSubject(page, block));
    QCOMPARE(block, 9);
}


void CanvasTest::partialRepaintDrawsWhatAFullRepaintDraws_data()
{
    QTest::addColumn<float>("zoom");
    QTest::addColumn<QSize>("page");
    QTest::newRow("full size, canvas larger than the page") << 1.0f << QSize(300, 200);
    QTest::newRow("zoomed in on odd pixels") << 1.1f << QSize(701, 503);
    QTest::newRow("zoomed out") << 0.5f << QSize(1203, 905);
}

void CanvasTest::partialRepaintDrawsWhatAFullRepaintDraws()
{
    QFETCH(float, zoom);
    QFETCH(QSize, page);
    canvas_->scale = zoom;
    showPage(page.width(), page.height());
    QCoreApplication::processEvents();
    const QImage full = canvas_->grab().toImage();
    qputenv("OMR_CANVAS_FULL_PAINT", "1");
    const QImage labelPainted = canvas_->grab().toImage();
    qunsetenv("OMR_CANVAS_FULL_PAINT");
    QCOMPARE(full, labelPainted);

    const QRect shown(QPoint(0, 0), canvas_->shownImage.size());
    const QVector<QRect> parts{
        QRect(0, 0, 17, 9),
        QRect(shown.width() / 3, shown.height() / 2, 41, 23),
        QRect(shown.right() - 10, shown.bottom() - 6, 30, 20), // over the page's edge
        QRect(shown.right() + 2, 0, 20, 20),
    };
    for (const QRect &part : parts) {
        const QRect inside = part & canvas_->rect();
        if (inside.isEmpty())
            continue;
        QImage image(inside.size(), full.format());
        image.fill(Qt::magenta);
        canvas_->render(&image, QPoint(), QRegion(inside));
        QCOMPARE(image, full.copy(inside));
    }
}

void CanvasTest::sectionsPaintAsBefore_data()
{
    QTest::addColumn<float>("zoom");
    QTest::newRow("full size") << 1.0f;
    QTest::newRow("zoomed in on odd pixels") << 1.1f;
    QTest::newRow("zoomed out") << 0.5f;
}

// The canvas with labelled sections of every kind that draws text, grabbed
// as it paints now and as it painted before (background filled by Qt under
// the whole page, labels laid out at every paint): the same pixels, also
// after a label, a size and the lock change.
void CanvasTest::sectionsPaintAsBefore()
{
    QFETCH(float, zoom);
    canvas_->scale = zoom;
    window_->page = 1;
    const QSize page(901, 707);
    QVector<MySectionBase *> placed;
    auto place = [&](MySectionBase *section, const QRect &area) {
        section->X = area.x();
        section->Y = area.y();
        section->Width = area.width();
        section->Height = area.height();
        canvas_->sectionList().append(section);
        placed << section;
    };
    // Odd sizes put the centred labels on half pixels.
    const QVector<QRect> blocks{QRect(10, 10, 121, 47), QRect(150, 12, 63, 63), QRect(230, 20, 300, 31),
                                QRect(40, 300, 17, 90), QRect(600, 500, 251, 160)};
    for (int i = 0; i < blocks.size(); ++i)
        place(new MySectionSubject(canvas_, 1, 7 + i * 13), blocks.at(i));
    place(new MySectionSubjectOptional(canvas_, 1, 3, 2), QRect(300, 400, 173, 59));
    auto *question = new MySectionObjectAbnormal(1, canvas_, false, 0, 12, 4);
    place(question, QRect(100, 600, 171, 41));
    for (int i = 0; i < 4; ++i) {
        auto *bubble = new ObjectAbnormalOption(1, 12, i, question, canvas_);
        bubble->offsetX = 5 + i * 41;
        bubble->offsetY = 7;
        place(bubble, QRect(105 + i * 41, 607, 33 + i, 23 + 2 * i));
        question->options.append(bubble);
    }
    canvas_->loadImage(scene_->writePage(QStringLiteral("page.png"), page.width(), page.height()), 1);
    QVERIFY(!canvas_->fullImage.isNull());
    canvas_->relayoutSections();
    question->placeOptions(-1);
    QCoreApplication::processEvents();
    // The first paint delivers the bubbles' pending resizes, which place them.
    canvas_->grab();

    QStringList mismatches;
    auto compare = [&](const QString &what) -> QImage {
        const QImage now = canvas_->grab().toImage();
        qputenv("OMR_CANVAS_FULL_PAINT", "1");
        const QImage before = canvas_->grab().toImage();
        qunsetenv("OMR_CANVAS_FULL_PAINT");
        if (now != before)
            mismatches << what;
        // Painted again from the kept layouts.
        if (canvas_->grab().toImage() != now)
            mismatches << what + QStringLiteral(", painted again");
        return now;
    };
    const QImage first = compare(QStringLiteral("as placed"));

    auto *block = static_cast<MySectionSubject *>(placed.first());
    block->SubjectSectionID = 1234;
    block->update();
    const QImage relabelled = compare(QStringLiteral("after the label changed"));
    QVERIFY(relabelled != first);

    block->resize(block->width() + 31, block->height() + 3);
    compare(QStringLiteral("after a resize"));

    question->options.at(2)->setLock(false);
    placed.at(3)->setLock(false);
    compare(QStringLiteral("with resize handles"));
    QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join(QStringLiteral("; "))));
}

QTEST_MAIN(CanvasTest)
#include "canvas_test.moc"
