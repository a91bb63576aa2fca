// The printed-text anchor dialog: the region it shows and analyses, the
// text rectangle drawn on it, the size and feature checks of OK, and the
// patch it hands on, which the engine must be able to align sheets with.

#include "anchorsections.h"
#include "canvasfixture.h"
#include "designertestutil.h"
#include "dialogprinttextanchor.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "pipelinefixture.h"
#include "sheetrenderer.h"

#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <string>

namespace {

// White page with dense lines of printed text: any rectangle of it a few
// lines high holds plenty of features.
cv::Mat textPage(int width, int height)
{
    cv::Mat page(height, width, CV_8UC1, cv::Scalar(255));
    int n = 0;
    for (int y = 18; y < height; y += 22) {
        for (int x = 2; x < width; x += 150) {
            cv::putText(page, "OMR " + std::to_string(100 + (n * 37) % 900) + " Ax", cv::Point(x + (n % 5) * 3, y),
                        cv::FONT_HERSHEY_SIMPLEX, 0.6, cv::Scalar(0), 2);
            ++n;
        }
    }
    return page;
}

void drag(QWidget *widget, QPoint from, QPoint to)
{
    sendMouse(widget, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

// Draws the text rectangle `r` (region pixels) by a drag corner to corner.
void drawRect(DialogPrintTextAnchor &dialog, const QRect &r)
{
    drag(dialog.labelImage, r.topLeft(), r.bottomRight());
}

bool sameMat(const cv::Mat &a, const cv::Mat &b)
{
    return a.size() == b.size() && a.type() == b.type() && cv::countNonZero(a != b) == 0;
}

} // namespace

class PrintTextAnchorTest : public QObject {
    Q_OBJECT
private slots:
    void regionUnderSelection_data();
    void regionUnderSelection();
    void unreadableOrOffPageIsAMessage_data();
    void unreadableOrOffPageIsAMessage();
    void dragDrawsRectangle_data();
    void dragDrawsRectangle();
    void rectangleMovesAndResizesInsideImage();
    void sizeRule_data();
    void sizeRule();
    void otsuAndBinarise_data();
    void otsuAndBinarise();
    void featureCheck();
    void patchAlignsRenderedSheets();
};

void PrintTextAnchorTest::regionUnderSelection_data()
{
    QTest::addColumn<int>("zoomSteps");     // >0 in, <0 out
    QTest::addColumn<QRect>("selection");   // canvas pixels
    QTest::addColumn<QSize>("fileSize");    // the page file as it is at OK; invalid: as shown
    QTest::addColumn<QRect>("region");      // page pixels

    QTest::newRow("full size, inside") << 0 << QRect(100, 50, 400, 200) << QSize() << QRect(100, 50, 400, 200);
    QTest::newRow("full size, past right and bottom")
        << 0 << QRect(500, 300, 400, 300) << QSize() << QRect(500, 300, 300, 200);
    // 1.1^2 = 1.21: 121 / 1.21 = 100, 605 / 1.21 = 499.99 (truncated), ...
    QTest::newRow("zoomed in, truncated") << 2 << QRect(121, 61, 605, 243) << QSize() << QRect(100, 50, 499, 200);
    QTest::newRow("zoomed out, past the edge")
        << -2 << QRect(400, 300, 400, 300) << QSize() << QRect(484, 363, 316, 137);
    // The file shrank after the canvas showed it: the region is what the
    // file now holds.
    QTest::newRow("file smaller than shown") << 0 << QRect(500, 300, 250, 150) << QSize(700, 420)
                                            << QRect(500, 300, 200, 120);
}

void PrintTextAnchorTest::regionUnderSelection()
{
    QFETCH(int, zoomSteps);
    QFETCH(QRect, selection);
    QFETCH(QSize, fileSize);
    QFETCH(QRect, region);

    CanvasScene scene;
    const cv::Mat page = textPage(800, 500);
    const QString path = scene.write(QStringLiteral("页.png"), page);
    scene.canvas->loadImage(path, 1);
    for (int i = 0; i < zoomSteps; ++i)
        scene.canvas->zoomIn();
    for (int i = 0; i < -zoomSteps; ++i)
        scene.canvas->zoomOut();
    scene.canvas->showSelection(selection);
    if (fileSize.isValid())
        scene.write(QStringLiteral("页.png"), page(cv::Rect(0, 0, fileSize.width(), fileSize.height())));

    MessageBoxRecorder boxes;
    DialogPrintTextAnchor dialog(scene.canvas);
    dialog.labelImage->showImage();
    QCOMPARE(dialog.labelImage->image.size(), region.size());
    QCOMPARE(dialog.labelImage->pixmap(Qt::ReturnByValue).size(), region.size());
    const QImage expected = QImage(path).copy(region);
    QCOMPARE(dialog.labelImage->image.convertToFormat(QImage::Format_Grayscale8),
             expected.convertToFormat(QImage::Format_Grayscale8));

    // OK analyses the same region: a rectangle in its bottom-right corner
    // gives the pixels of the page at that place.
    const QRect r(region.width() - 200, region.height() - 60, 200, 60);
    drawRect(dialog, r);
    dialog.accept();
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.textRect, r);
    cv::Mat want = page(cv::Rect(region.x() + r.x(), region.y() + r.y(), r.width(), r.height())).clone();
    DialogPrintTextAnchor::binarise(want);
    QVERIFY(sameMat(dialog.patch, want));
}

void PrintTextAnchorTest::unreadableOrOffPageIsAMessage_data()
{
    QTest::addColumn<QString>("change");    // what happens to the page after the dialog opened
    QTest::addColumn<QString>("message");

    QTest::newRow("file removed") << QStringLiteral("remove") << QStringLiteral("无法读取页面图片：");
    QTest::newRow("file no image") << QStringLiteral("garble") << QStringLiteral("无法读取页面图片：");
    QTest::newRow("file shrank under the selection")
        << QStringLiteral("shrink") << QStringLiteral("选择区域不在页面图片内，请重新选择。");
    QTest::newRow("file shrank under the rectangle")
        << QStringLiteral("shrink-partly") << QStringLiteral("文字区域超出了页面图片，请重新选择。");
}

void PrintTextAnchorTest::unreadableOrOffPageIsAMessage()
{
    QFETCH(QString, change);
    QFETCH(QString, message);

    CanvasScene scene;
    const cv::Mat page = textPage(800, 500);
    const QString path = scene.write(QStringLiteral("页.png"), page);
    scene.canvas->loadImage(path, 1);
    scene.canvas->showSelection(QRect(300, 200, 400, 200));

    MessageBoxRecorder boxes;
    DialogPrintTextAnchor dialog(scene.canvas);
    dialog.labelImage->showImage();
    drawRect(dialog, QRect(10, 10, 300, 60));

    if (change == QLatin1String("remove"))
        QVERIFY(QFile::remove(path));
    else if (change == QLatin1String("garble"))
        QVERIFY(DesignerTest::writeFile(path, "not an image"));
    else if (change == QLatin1String("shrink"))
        scene.write(QStringLiteral("页.png"), page(cv::Rect(0, 0, 250, 150)));
    else
        scene.write(QStringLiteral("页.png"), page(cv::Rect(0, 0, 500, 400)));

    dialog.accept();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QStringLiteral("提示"));
    QVERIFY2(boxes.last().text.startsWith(message), qPrintable(boxes.last().text));
    QVERIFY(dialog.result() != QDialog::Accepted);
    QVERIFY(dialog.patch.empty());
}

void PrintTextAnchorTest::dragDrawsRectangle_data()
{
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QVector<QPoint>>("moves");
    QTest::addColumn<QRect>("rect");        // null: no rectangle made

    // Region 400 x 200.
    QTest::newRow("down right") << QPoint(10, 20) << QVector<QPoint>{{109, 69}} << QRect(10, 20, 100, 50);
    QTest::newRow("up left, same rectangle") << QPoint(109, 69) << QVector<QPoint>{{10, 20}} << QRect(10, 20, 100, 50);
    QTest::newRow("back to the press point") << QPoint(50, 50) << QVector<QPoint>{{80, 90}, {50, 50}}
                                             << QRect(50, 50, 1, 1);
    QTest::newRow("past left and top") << QPoint(50, 40) << QVector<QPoint>{{-30, -5}} << QRect(0, 0, 51, 41);
    QTest::newRow("on the right and bottom edge") << QPoint(300, 100) << QVector<QPoint>{{400, 200}}
                                                  << QRect(300, 100, 100, 100);
    QTest::newRow("leaving right keeps the last inside")
        << QPoint(300, 100) << QVector<QPoint>{{350, 150}, {420, 160}, {390, 230}} << QRect(300, 100, 51, 51);
    QTest::newRow("press outside the region") << QPoint(400, 50) << QVector<QPoint>{{300, 80}} << QRect();
}

void PrintTextAnchorTest::dragDrawsRectangle()
{
    QFETCH(QPoint, from);
    QFETCH(QVector<QPoint>, moves);
    QFETCH(QRect, rect);

    CanvasScene scene;
    scene.canvas->loadImage(scene.write(QStringLiteral("页.png"), textPage(800, 500)), 1);
    scene.canvas->showSelection(QRect(100, 100, 400, 200));
    DialogPrintTextAnchor dialog(scene.canvas);
    dialog.labelImage->showImage();
    MyLabelPrintTextAnchor *label = dialog.labelImage;

    // A right press never starts a rectangle.
    sendMouse(label, QEvent::MouseButtonPress, from, Qt::RightButton, Qt::RightButton);
    QVERIFY(!label->roi);

    sendMouse(label, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    for (const QPoint &p : moves)
        sendMouse(label, QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton);
    if (rect.isNull()) {
        QVERIFY(!label->roi);
        return;
    }
    QVERIFY(label->roi);
    QCOMPARE(label->roi->geometry(), rect);

    // Moving without the button changes nothing.
    sendMouse(label, QEvent::MouseMove, QPoint(5, 5), Qt::NoButton, Qt::NoButton);
    QCOMPARE(label->roi->geometry(), rect);
}

void PrintTextAnchorTest::rectangleMovesAndResizesInsideImage()
{
    CanvasScene scene;
    scene.canvas->loadImage(scene.write(QStringLiteral("页.png"), textPage(800, 500)), 1);
    scene.canvas->showSelection(QRect(100, 100, 400, 200));
    DialogPrintTextAnchor dialog(scene.canvas);
    dialog.labelImage->showImage();
    drawRect(dialog, QRect(100, 50, 100, 40));
    MyROIWidget *roi = dialog.labelImage->roi;
    QVERIFY(roi);
    const MyLabelPrintTextAnchor *label = dialog.labelImage;

    // Dragging the handle resizes, never past the region's edges.
    drag(roi, QPoint(97, 37), QPoint(147, 57));
    QCOMPARE(roi->geometry(), QRect(100, 50, 150, 60));
    QVERIFY(!roi->resizing);
    drag(roi, QPoint(147, 57), QPoint(600, 400));
    QCOMPARE(roi->geometry(), QRect(100, 50, 300, 150));
    drag(roi, QPoint(297, 147), QPoint(-50, -50));
    QCOMPARE(roi->size(), QSize(0, 0));
    roi->setGeometry(100, 50, 100, 40);

    // Dragging inside moves it; it stops at every edge.
    drag(roi, QPoint(10, 10), QPoint(30, 15));
    QCOMPARE(roi->geometry(), QRect(120, 55, 100, 40));
    drag(roi, QPoint(10, 10), QPoint(-500, -500));
    QCOMPARE(roi->geometry(), QRect(0, 0, 100, 40));
    drag(roi, QPoint(10, 10), QPoint(900, 900));
    QCOMPARE(roi->geometry(), QRect(300, 160, 100, 40));
    QCOMPARE(roi->x() + roi->width(), label->image.width());

    // A new drag on the region reuses the rectangle.
    drawRect(dialog, QRect(5, 5, 30, 30));
    QCOMPARE(dialog.labelImage->roi, roi);
    QCOMPARE(roi->geometry(), QRect(5, 5, 30, 30));
}

void PrintTextAnchorTest::sizeRule_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("message");   // empty: accepted

    const QString wide = QStringLiteral("印刷文字区域 宽 * 高 不能小于 200 * 25 ");
    const QString tall = QStringLiteral("印刷文字区域 宽 * 高 不能小于 25 * 200 ");
    QTest::newRow("300 x 30") << QSize(300, 30) << QString();
    QTest::newRow("30 x 300") << QSize(30, 300) << QString();
    QTest::newRow("200 x 25 smallest wide") << QSize(200, 25) << QString();
    QTest::newRow("25 x 200 smallest tall") << QSize(25, 200) << QString();
    QTest::newRow("199 x 30") << QSize(199, 30) << wide;
    QTest::newRow("300 x 24") << QSize(300, 24) << wide;
    QTest::newRow("150 x 150 square") << QSize(150, 150) << wide;
    QTest::newRow("24 x 250") << QSize(24, 250) << tall;
    QTest::newRow("30 x 199") << QSize(30, 199) << tall;
}

void PrintTextAnchorTest::sizeRule()
{
    QFETCH(QSize, size);
    QFETCH(QString, message);

    CanvasScene scene;
    scene.canvas->loadImage(scene.write(QStringLiteral("页.png"), textPage(800, 500)), 1);
    scene.canvas->showSelection(QRect(50, 50, 400, 400));
    MessageBoxRecorder boxes;
    DialogPrintTextAnchor dialog(scene.canvas);
    dialog.labelImage->showImage();

    // OK without a rectangle does nothing.
    dialog.accept();
    QCOMPARE(boxes.count(), 0);
    QVERIFY(dialog.result() != QDialog::Accepted);

    drawRect(dialog, QRect(QPoint(20, 20), size));
    dialog.accept();
    if (message.isEmpty()) {
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.textRect, QRect(QPoint(20, 20), size));
        QCOMPARE(dialog.patch.type(), CV_8UC1);
        QCOMPARE(dialog.patch.cols, size.width());
        QCOMPARE(dialog.patch.rows, size.height());
    } else {
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().title, QStringLiteral("提示"));
        QCOMPARE(boxes.last().text, message);
        QCOMPARE(boxes.last().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(dialog.result() != QDialog::Accepted);
        QVERIFY(dialog.textRect.isNull());
    }
}

void PrintTextAnchorTest::otsuAndBinarise_data()
{
    QTest::addColumn<QVector<int>>("levels");   // grey levels, one band of rows each
    QTest::addColumn<int>("otsu");
    QTest::addColumn<int>("used");

    QTest::newRow("uniform") << QVector<int>{200} << 0 << 0;
    QTest::newRow("uniform black") << QVector<int>{0} << 0 << 0;
    QTest::newRow("dark text") << QVector<int>{120, 250} << 120 << 120;
    QTest::newRow("light patch") << QVector<int>{210, 250} << 210 << 180;
    QTest::newRow("three levels") << QVector<int>{10, 20, 240} << 20 << 20;
    QTest::newRow("first of equal maxima") << QVector<int>{0, 255} << 0 << 0;
}

void PrintTextAnchorTest::otsuAndBinarise()
{
    QFETCH(QVector<int>, levels);
    QFETCH(int, otsu);
    QFETCH(int, used);

    cv::Mat patch(10 * levels.size(), 30, CV_8UC1);
    for (int i = 0; i < levels.size(); ++i)
        patch.rowRange(i * 10, i * 10 + 10).setTo(levels.at(i));
    QCOMPARE(DialogPrintTextAnchor::otsuThreshold(patch), otsu);
    // Rows that are not stored one after the other count the same.
    cv::Mat wide(patch.rows, 50, CV_8UC1, cv::Scalar(7));
    patch.copyTo(wide.colRange(5, 35));
    QCOMPARE(DialogPrintTextAnchor::otsuThreshold(wide.colRange(5, 35)), otsu);

    cv::Mat binary = patch.clone();
    QCOMPARE(DialogPrintTextAnchor::binarise(binary), used);
    for (int i = 0; i < levels.size(); ++i)
        QCOMPARE(int(binary.at<uchar>(i * 10, 0)), levels.at(i) > used ? 255 : 0);
}

void PrintTextAnchorTest::featureCheck()
{
    QString message;
    const cv::Mat white(40, 300, CV_8UC1, cv::Scalar(255));
    QVERIFY(!DialogPrintTextAnchor::checkFeatures(white, &message));
    QCOMPARE(message, QStringLiteral("特征系数不能小于 10 ，当前值为 0"));
    cv::Mat text = textPage(300, 60);
    DialogPrintTextAnchor::binarise(text);
    QVERIFY(DialogPrintTextAnchor::checkFeatures(text, &message));

    // A blank stretch of the page passes the size rule and fails on OK with
    // the count; the dialog stays open, and a text rectangle then passes.
    CanvasScene scene;
    cv::Mat page = textPage(800, 500);
    page.rowRange(0, 200).setTo(255);
    scene.canvas->loadImage(scene.write(QStringLiteral("页.png"), page), 1);
    scene.canvas->showSelection(QRect(0, 0, 600, 400));
    MessageBoxRecorder boxes;
    DialogPrintTextAnchor dialog(scene.canvas);
    dialog.labelImage->showImage();
    drawRect(dialog, QRect(50, 50, 300, 40));
    dialog.accept();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().text, QStringLiteral("特征系数不能小于 10 ，当前值为 0"));
    QVERIFY(dialog.result() != QDialog::Accepted);

    drawRect(dialog, QRect(50, 250, 300, 40));
    dialog.accept();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.textRect, QRect(50, 250, 300, 40));
}

// The way a school anchors a page on its printed header: on the blank page
// the canvas shows, select the header's search area, draw the rectangle
// round the text, OK. The patch is the one the template needs; stored by
// the template writer it aligns turned and shifted filled sheets.
void PrintTextAnchorTest::patchAlignsRenderedSheets()
{
    const SheetSpec spec = SheetSpec::standard(SheetSpec::PrintedText, SheetSpec::CodeBubbles, 1, 150);
    const SheetRenderer renderer(spec);
    QTemporaryDir dir;
    DesignerTest::RenderedTemplate t;
    QVERIFY(DesignerTest::writeRendered(renderer, dir.path(), &t));

    MessageBoxRecorder boxes;
    MainWindow w;
    w.loadTemplate(spec.name, t.pages, true, t.file);
    MyLabel *canvas = w.findChild<MyLabel *>();
    QVERIFY(canvas);
    QCOMPARE(canvas->imagePath, t.pages.at(0));
    canvas->showFullSize();
    QCOMPARE(canvas->scale, 1.0f);
    const QRect search = spec.anchors.at(0).textSearch;
    canvas->showSelection(search);

    DialogPrintTextAnchor dialog(canvas);
    dialog.labelImage->showImage();
    QCOMPARE(dialog.labelImage->image.size(), search.size());
    const QRect text = spec.patchRect(1).translated(-search.topLeft());
    drawRect(dialog, text);
    dialog.accept();
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.textRect, text);
    QVERIFY(sameMat(dialog.patch, renderer.textPatch(0)));

    // Through the template writer in place of the anchor the renderer wrote.
    MySectionPrintTextAnchor *anchor = nullptr;
    for (MySectionBase *s : w.sectionList()) {
        if (auto *a = qobject_cast<MySectionPrintTextAnchor *>(s))
            anchor = a;
    }
    QVERIFY(anchor);
    anchor->patch = dialog.patch;
    anchor->textRect = dialog.textRect;
    const QString saved = dir.filePath(QStringLiteral("saved.tpl"));
    QVERIFY(w.writeTemplate(saved, w.subjectItemRows));
    const QByteArray xml = TemplateFormat::complementBytes(DesignerTest::fileBytes(saved));

    PipelineFixture fx(spec, dir.filePath(QStringLiteral("exam")));
    QVERIFY2(fx.ok(), qPrintable(fx.error()));
    QVERIFY2(fx.loadTemplate(xml), qPrintable(fx.loadLog().join(QLatin1Char('\n'))));
    QVERIFY(sameMat(fx.model().templatePages.at(0).printTextMat, renderer.textPatch(0)));

    QVector<StudentMarks> students;
    QStringList paths;
    Distortion turned;
    turned.rotationDegrees = 1.2;
    turned.dx = 14;
    turned.dy = -9;
    Distortion other;
    other.rotationDegrees = -0.8;
    other.dx = -11;
    other.dy = 12;
    const Distortion distortions[] = {turned, other};
    for (int s = 0; s < 2; ++s) {
        StudentMarks marks = StudentMarks::random(spec, quint32(5 + s));
        students << marks;
        fx.addStudent(spec.expectedCode(marks), 200 + s);
        paths << fx.writeStudent(marks, distortions[s], s);
    }
    RecordingSink sink(paths);
    fx.run(sink, paths.size());
    for (const RecordingSink::ImageRow &row : sink.imageRows())
        QCOMPARE(row.result, QStringLiteral("√"));
    for (const StudentMarks &marks : students) {
        const RecordingSink::ResultRow *result = sink.resultFor(spec.expectedCode(marks));
        QVERIFY(result);
        for (int item : spec.objectiveItems()) {
            if (!spec.isOptionalItem(item))
                QCOMPARE(result->objectives.value(item).marks, spec.expectedAnswer(marks, item));
        }
    }
}

QTEST_MAIN(PrintTextAnchorTest)
#include "printtextanchor_test.moc"
