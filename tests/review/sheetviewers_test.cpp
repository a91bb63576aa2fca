// The image viewers of the result cells: the zoom rules of the sheet label,
// the subjective viewer's zoom memory, menu and address button, the page it
// keeps between openings (read again once the file changes), and the
// show types and remembered placement of the code and optional viewers
// (a barcode exam's code viewer always shows the cut).

#include "desktopopener.h"
#include "dialogcodeimageshow.h"
#include "dialogoptionalimageshow.h"
#include "dialogsubjectimageshow.h"
#include "mylabelforsheetshow.h"
#include "myscrollareaforduplicatecheck.h"
#include "omrresources.h"
#include "reviewtestsupport.h"
#include "viewerpagememory.h"
#include "widgettestutil.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QPixmap image(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(Qt::white);
    return QPixmap::fromImage(picture);
}

QString writeImage(const QTemporaryDir &dir, const QString &name, int width, int height)
{
    const QString path = dir.filePath(name);
    image(width, height).save(path);
    return path;
}

void wheel(QWidget *widget, int delta)
{
    const QPoint at = widget->rect().center();
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

bool shows(const QWidget *w)
{
    return !w->isHidden();
}

} // namespace

class SheetViewersTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void testZoomRules_data();
    void testZoomRules();
    void testCtrlWheel();
    void testSubjectViewerZoomMemory_data();
    void testSubjectViewerZoomMemory();
    void testSubjectViewerMenuAndAddress();
    void testPageMemoryFollowsTheFile_data();
    void testPageMemoryFollowsTheFile();
    void testShowTypes_data();
    void testShowTypes();
    void testBarcodeCodeViewer();
    void testPlacementMemory();

private:
    QTemporaryDir m_dir;
};

void SheetViewersTest::initTestCase()
{
    initOmrResources();
    QVERIFY(m_dir.isValid());
}

void SheetViewersTest::testZoomRules_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<float>("scale");
    QTest::addColumn<int>("width");
    QTest::newRow("seven steps in reach 1.9487") << QSize(1000, 500) << QString("in in in in in in in").split(' ')
                                                << 1.9487171f << 1948;
    QTest::newRow("the eighth step passes 2.0") << QSize(1000, 500)
                                               << QString("in in in in in in in in in").split(' ') << 1.9487171f
                                               << 1948;
    QTest::newRow("in from 1.5 stops at 1.9965") << QSize(1000, 500) << QString("to:1.5 in in in in").split(' ')
                                                   << 1.9965f << 1996;
    QTest::newRow("out stops before 100 pixels") << QSize(300, 100) << QString(12, QLatin1Char('o')).split(QString(), Qt::SkipEmptyParts)
                                                << 0.35049389f << 105;
    QTest::newRow("zoom to below 100 pixels ignored") << QSize(1000, 500) << QString("to:0.05").split(' ') << 1.0f
                                                     << -1;
    QTest::newRow("narrow cut shows nothing at 1.0") << QSize(90, 400) << QString("to:1.0").split(' ') << 1.0f
                                                    << -1;
    QTest::newRow("narrow cut: original size") << QSize(90, 400) << QString("to:1.0 orig").split(' ') << 1.0f << 90;
    QTest::newRow("fit by width") << QSize(400, 200) << QString("fit:200x300").split(' ') << 0.5f << 200;
    QTest::newRow("fit by height") << QSize(400, 200) << QString("fit:400x50").split(' ') << 0.25f << 100;
    QTest::newRow("fit not bound by 100 pixels") << QSize(400, 200) << QString("fit:40x900").split(' ') << 0.1f
                                                << 40;
    QTest::newRow("fit not bound by 2.0") << QSize(400, 200) << QString("fit:1200x900").split(' ') << 3.0f << 1200;
    QTest::newRow("in after fit past 2.0 ignored") << QSize(400, 200) << QString("fit:1200x900 in").split(' ')
                                                  << 3.0f << 1200;
    QTest::newRow("original after zooming") << QSize(400, 200) << QString("in in o orig").split(' ') << 1.0f
                                            << 400;
}

void SheetViewersTest::testZoomRules()
{
    QFETCH(QSize, picture);
    QFETCH(QStringList, steps);
    QFETCH(float, scale);
    QFETCH(int, width);
    MyLabelForSheetShow label;
    // Nothing happens before an image is there.
    label.zoomIn();
    label.fitToSize(10, 10);
    QCOMPARE(label.scale, 1.0f);
    QVERIFY(label.scaledPixmap.isNull());

    label.originalPixmap = image(picture.width(), picture.height());
    for (const QString &step : steps) {
        if (step == QLatin1String("in"))
            label.zoomIn();
        else if (step == QLatin1String("o"))
            label.zoomOut();
        else if (step == QLatin1String("orig"))
            label.showOriginalSize();
        else if (step.startsWith(QLatin1String("to:")))
            label.zoomTo(step.mid(3).toFloat());
        else if (step.startsWith(QLatin1String("fit:"))) {
            const QStringList wh = step.mid(4).split(QLatin1Char('x'));
            label.fitToSize(wh[0].toInt(), wh[1].toInt());
        }
    }
    QVERIFY2(qAbs(label.scale - scale) < 1e-4f, qPrintable(QString::number(double(label.scale), 'f', 6)));
    if (width < 0) {
        QVERIFY(label.scaledPixmap.isNull());
        QVERIFY(!label.pixmap() || label.pixmap()->isNull());
    } else {
        QCOMPARE(label.scaledPixmap.width(), width);
        QCOMPARE(label.pixmap()->width(), width);
    }
}

void SheetViewersTest::testCtrlWheel()
{
    QScrollArea area;
    auto *label = new MyLabelForSheetShow;
    label->originalPixmap = image(1000, 800);
    label->zoomTo(1.0f);
    area.setWidget(label);
    label->scrollArea = &area;
    area.resize(300, 300);
    area.show();
    QVERIFY(QTest::qWaitForWindowExposed(&area));

    wheel(label, 120); // without Ctrl the wheel neither zooms nor scrolls
    QCOMPARE(label->scale, 1.0f);
    QCOMPARE(area.verticalScrollBar()->value(), 0);

    QTest::keyPress(label, Qt::Key_Control);
    QVERIFY(label->ctrlDown);
    QVERIFY(!area.verticalScrollBar()->isEnabled());
    QVERIFY(!area.horizontalScrollBar()->isEnabled());
    wheel(label, 120);
    QCOMPARE(label->scale, 1.1f);
    wheel(label, -120);
    wheel(label, -120);
    QVERIFY(qAbs(label->scale - 1.0f / 1.1f) < 1e-5f);
    QTest::keyRelease(label, Qt::Key_Control);
    QVERIFY(!label->ctrlDown);
    QVERIFY(area.verticalScrollBar()->isEnabled());
}

void SheetViewersTest::testSubjectViewerZoomMemory_data()
{
    QTest::addColumn<QString>("closing");
    QTest::addColumn<float>("kept");
    QTest::newRow("title-bar close keeps the zoom") << "close" << 1.21f;
    QTest::newRow("关闭 leaves it") << "button" << 0.5f;
    QTest::newRow("Esc leaves it") << "escape" << 0.5f;
}

void SheetViewersTest::testSubjectViewerZoomMemory()
{
    QFETCH(QString, closing);
    QFETCH(float, kept);
    DialogSubjectImageShow viewer;
    viewer.localPath = writeImage(m_dir, QStringLiteral("2026001-1-2.png"), 800, 300);
    viewer.fileName = QStringLiteral("2026001-1-2.png");
    viewer.scale = 0.5f;
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QCOMPARE(viewer.windowTitle(), QStringLiteral("主观题图片：2026001-1-2.png"));
    QVERIFY(viewer.windowState() & Qt::WindowMaximized);
    QCOMPARE(viewer.labelImage->scaledPixmap.width(), 400);
    viewer.labelImage->showOriginalSize();
    viewer.labelImage->zoomIn();
    viewer.labelImage->zoomIn();
    if (closing == QLatin1String("close"))
        viewer.close();
    else if (closing == QLatin1String("button"))
        viewer.pushButtonOK->click();
    else {
        // The pointer rests on the image, as in the maximised viewer: the
        // label holds the keyboard, and the key goes where a user's goes.
        const QPoint onImage = viewer.labelImage->mapTo(&viewer, viewer.labelImage->rect().center());
        QTest::mouseMove(viewer.windowHandle(), QPoint(1, 1)); // the first move only enters the window
        QTest::mouseMove(viewer.windowHandle(), onImage);
        QTRY_COMPARE(QWidget::keyboardGrabber(), static_cast<QWidget *>(viewer.labelImage));
        QTest::keyClick(viewer.windowHandle(), Qt::Key_Escape);
    }
    QVERIFY(!viewer.isVisible());
    QVERIFY(qAbs(viewer.scale - kept) < 1e-5f);
}

void SheetViewersTest::testSubjectViewerMenuAndAddress()
{
    DesktopOpenRecorder opened;
    DialogSubjectImageShow missing;
    missing.localPath = m_dir.filePath(QStringLiteral("none.png"));
    missing.remoteAddress = QStringLiteral("123456789");
    missing.show();
    QVERIFY(QTest::qWaitForWindowExposed(&missing));
    // No image: the menu stays shut; a short address opens nothing.
    QCOMPARE(WidgetTest::popupTexts([&] { emit missing.scrollArea->customContextMenuRequested(QPoint(5, 5)); }),
             QStringList());
    QCOMPARE(missing.lineEdit->text(), QStringLiteral("123456789"));
    missing.pushButtonExplore->click();
    QVERIFY(opened.urls.isEmpty());
    missing.close();

    DialogSubjectImageShow viewer;
    viewer.localPath = writeImage(m_dir, QStringLiteral("sheet.png"), 900, 600);
    viewer.remoteAddress = QStringLiteral("https://img.example.test/exam-1/2026001-1-2.png");
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    const QStringList texts = WidgetTest::popupTexts(
        [&] { emit viewer.scrollArea->customContextMenuRequested(QPoint(5, 5)); });
    QCOMPARE(texts, QStringList({QStringLiteral("放大(&I)"), QStringLiteral("缩小(&O)"),
                                 QStringLiteral("适应窗口(&F)"), QStringLiteral("原图")}));
    viewer.contextMenu->actions().at(2)->trigger();
    QVERIFY(viewer.labelImage->scaledPixmap.width() <= viewer.scrollArea->width());
    QVERIFY(viewer.labelImage->scaledPixmap.height() <= viewer.scrollArea->height());
    viewer.pushButtonExplore->click();
    QCOMPARE(opened.urls, QList<QUrl>{QUrl(viewer.remoteAddress)});
    viewer.close();
}

void SheetViewersTest::testPageMemoryFollowsTheFile_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("unchanged") << "none";
    QTest::newRow("rewritten at another size") << "size";
    QTest::newRow("rewritten at the same size, later") << "time";
    QTest::newRow("removed") << "remove";
    QTest::newRow("another file") << "path";
}

// The viewer shows the file as it is on disk now, also when the page of an
// earlier opening is kept.
void SheetViewersTest::testPageMemoryFollowsTheFile()
{
    QFETCH(QString, change);
    QTemporaryDir dir;
    auto write = [&](const QString &name, QColor colour, int width) {
        QImage picture(width, 40, QImage::Format_RGB32);
        picture.fill(colour);
        const QString path = dir.filePath(name);
        QVERIFY(picture.save(path, "BMP")); // its size on disk follows the picture's alone
    };
    const QString path = dir.filePath(QStringLiteral("2026001-1.bmp"));
    write(QStringLiteral("2026001-1.bmp"), Qt::white, 60);
    ViewerPageMemory memory;
    auto open = [&](const QString &file) {
        DialogSubjectImageShow viewer;
        viewer.localPath = file;
        viewer.pageMemory = &memory;
        viewer.show();
        const QPixmap shown = viewer.labelImage->originalPixmap;
        viewer.close();
        return shown;
    };
    const QPixmap first = open(path);
    QCOMPARE(first.width(), 60);
    const qint64 firstSize = QFileInfo(path).size();

    QString next = path;
    QColor expected = Qt::white;
    int width = 60;
    if (change == QLatin1String("size")) {
        write(QStringLiteral("2026001-1.bmp"), Qt::black, width = 80);
        expected = Qt::black;
    } else if (change == QLatin1String("time")) {
        write(QStringLiteral("2026001-1.bmp"), Qt::black, 60);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QFileInfo(path).lastModified().addSecs(5), QFileDevice::FileModificationTime));
        file.close();
        QCOMPARE(QFileInfo(path).size(), firstSize);
        expected = Qt::black;
    } else if (change == QLatin1String("remove")) {
        QVERIFY(QFile::remove(path));
    } else if (change == QLatin1String("path")) {
        write(QStringLiteral("2026001-2.bmp"), Qt::black, width = 70);
        next = dir.filePath(QStringLiteral("2026001-2.bmp"));
        expected = Qt::black;
    }
    const QPixmap again = open(next);
    if (change == QLatin1String("remove")) {
        QVERIFY(again.isNull());
        return;
    }
    QCOMPARE(again.width(), width);
    QCOMPARE(again.toImage().pixelColor(5, 5), expected);
    // Kept only while the file stays as it was.
    QCOMPARE(again.cacheKey() == first.cacheKey(), change == QLatin1String("none"));
}

void SheetViewersTest::testShowTypes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("original");
    QTest::addColumn<bool>("processed");
    QTest::newRow("original") << 0 << true << false;
    QTest::newRow("processed") << 1 << false << true;
    QTest::newRow("both") << 2 << true << true;
}

void SheetViewersTest::testShowTypes()
{
    QFETCH(int, type);
    QFETCH(bool, original);
    QFETCH(bool, processed);
    ReviewTestTable table;
    table.codeShowType = type;
    table.optionalShowType = type;
    // Remembered type: applied before the viewer shows, nothing written.
    DialogCodeImageShow code(&table, 0);
    code.code = QStringLiteral("2026001");
    code.originalImagePath = writeImage(m_dir, QStringLiteral("2026001-o.jpg"), 300, 40);
    code.processedImagePath = writeImage(m_dir, QStringLiteral("2026001-b.png"), 300, 40);
    code.restoreRemembered();
    code.show();
    QCOMPARE(code.windowTitle(), QStringLiteral("考号图片：2026001"));
    QCOMPARE(code.labelCode->text(), QStringLiteral("2026001"));
    QCOMPARE(code.labelImageOrignal->pixmap()->width(), 300);
    QCOMPARE(code.labelImageBinary->pixmap()->width(), 300);
    QCOMPARE(code.comboBoxShowType->currentIndex(), type);
    QCOMPARE(shows(code.scrollAreaOrignal), original);
    QCOMPARE(shows(code.scrollAreaBinary), processed);
    QCOMPARE(table.codeShowType, type);

    // Picked in the viewer: applied and remembered for the next one of the kind.
    DialogOptionalImageShow optional(&table);
    optional.code = QStringLiteral("2026001");
    optional.itemId = QStringLiteral("22");
    optional.caption = QStringLiteral("2026001-22");
    optional.originalImagePath = m_dir.filePath(QStringLiteral("missing-o.jpg"));
    optional.restoreRemembered();
    optional.show();
    QCOMPARE(optional.windowTitle(), QStringLiteral("选做题图片：2026001-22"));
    QCOMPARE(optional.labelOptional->text(), QStringLiteral("22"));
    QVERIFY(!optional.labelImageOrignal->pixmap() || optional.labelImageOrignal->pixmap()->isNull());
    const int other = (type + 1) % 3;
    optional.comboBoxShowType->setCurrentIndex(other);
    QCOMPARE(table.optionalShowType, other);
    QCOMPARE(shows(optional.scrollAreaOrignal), other != 1);
    QCOMPARE(shows(optional.scrollAreaBinary), other != 0);
    QCOMPARE(table.codeShowType, type);
}

void SheetViewersTest::testBarcodeCodeViewer()
{
    ReviewTestTable table;
    // Left by a bubble-coded exam opened earlier in this run.
    table.codeShowType = 1;
    DialogCodeImageShow viewer(&table, 1);
    viewer.code = QStringLiteral("BC2026001");
    viewer.originalImagePath = writeImage(m_dir, QStringLiteral("BC2026001-o.jpg"), 400, 80);
    viewer.restoreRemembered();
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QVERIFY(shows(viewer.scrollAreaOrignal));
    QVERIFY(viewer.scrollAreaOrignal->height() > 0);
    QCOMPARE(viewer.labelImageOrignal->pixmap()->width(), 400);
    QVERIFY(!shows(viewer.scrollAreaBinary));
    QVERIFY(!shows(viewer.comboBoxShowType));
    QCOMPARE(table.codeShowType, 1);
    for (int type : {0, 1, 2}) {
        viewer.applyShowType(type);
        QVERIFY(shows(viewer.scrollAreaOrignal));
        QVERIFY(!shows(viewer.scrollAreaBinary));
    }
}

void SheetViewersTest::testPlacementMemory()
{
    ReviewTestTable table;
    {
        // The first of a kind opens at the system's placement, which is remembered.
        DialogOptionalImageShow first(&table);
        first.restoreRemembered();
        first.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first));
        QCOMPARE(table.optionalImageSize, first.size());
        first.move(130, 70);
        first.resize(600, 300);
        QTRY_COMPARE(table.optionalImagePos, QPoint(130, 70));
        QTRY_COMPARE(table.optionalImageSize, QSize(600, 300));
    }
    {
        DialogOptionalImageShow next(&table);
        next.restoreRemembered();
        next.show();
        QVERIFY(QTest::qWaitForWindowExposed(&next));
        QCOMPARE(next.pos(), QPoint(130, 70));
        QCOMPARE(next.size(), QSize(600, 300));
        // Other kinds keep their own memory.
        QCOMPARE(table.codeImagePos, QPoint(0, 0));
    }
    // A position of exactly (0, 0) is not restored.
    table.codeImagePos = QPoint(0, 0);
    table.codeImageSize = QSize(700, 500);
    DialogCodeImageShow code(&table);
    code.restoreRemembered();
    QCOMPARE(code.size(), QSize(480, 399));
}

QTEST_MAIN(SheetViewersTest)
#include "sheetviewers_test.moc"
