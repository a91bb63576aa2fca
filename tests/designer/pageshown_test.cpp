// What the designer shows of a page and what it saves of it: one picture
// and one size whatever orientation the file stores, a page whose image
// cannot be read says so instead of leaving the previous picture, and a new
// or opened template starts without the previous selection and section name.

#include "designertestutil.h"
#include "imagefile.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "myimage.h"
#include "mylabel.h"
#include "myrubberbandcontainer.h"
#include "myscrollarea.h"
#include "mystatusbar.h"
#include "mytreewidget.h"
#include "omrresources.h"
#include "pageimagefile.h"
#include "questionsections.h"

#include <QImageReader>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>

using DesignerTest::orientedJpeg;
using DesignerTest::writeFile;
using DesignerTest::writePage;

namespace {

QLabel *sectionNameLabel(MainWindow &w)
{
    return DesignerTest::child<QLabel>(w.myStatusBar, "labelSectionName");
}

void clickTreeItem(MainWindow &w, QTreeWidgetItem *item)
{
    QTreeWidget *tree = w.treeWidget;
    tree->scrollToItem(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->visualItemRect(item).center());
}

} // namespace

class PageShownTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void shownAsSaved_data();
    void shownAsSaved();
    void unreadablePageIsSaidAndLeavesNoOldPicture();
    void newOrOpenedTemplateStartsClean();

private:
    QTemporaryDir m_dir;
};

void PageShownTest::initTestCase()
{
    initOmrResources();
    MyScrollArea::setDefaultVariant(MyScrollArea::Variant::Designer);
    QVERIFY(m_dir.isValid());
}

void PageShownTest::shownAsSaved_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("blackAt");   // where the stored top-left block shows

    // Stored 80 x 40.
    QTest::newRow("no tag") << 0 << QSize(80, 40) << QPoint(5, 5);
    QTest::newRow("upright") << 1 << QSize(80, 40) << QPoint(5, 5);
    QTest::newRow("mirrored") << 2 << QSize(80, 40) << QPoint(75, 5);
    QTest::newRow("180 degrees") << 3 << QSize(80, 40) << QPoint(75, 35);
    QTest::newRow("flipped") << 4 << QSize(80, 40) << QPoint(5, 35);
    QTest::newRow("mirrored and turned (5)") << 5 << QSize(40, 80) << QPoint(5, 5);
    QTest::newRow("90 degrees") << 6 << QSize(40, 80) << QPoint(35, 5);
    QTest::newRow("mirrored and turned (7)") << 7 << QSize(40, 80) << QPoint(35, 75);
    QTest::newRow("270 degrees") << 8 << QSize(40, 80) << QPoint(5, 75);
}

void PageShownTest::shownAsSaved()
{
    QFETCH(int, orientation);
    QFETCH(QSize, size);
    QFETCH(QPoint, blackAt);

    // Before any rewrite: the picture and the size follow the same rule,
    // and so does the reader of the detectors and the processing program.
    const QString tagged = m_dir.filePath(QStringLiteral("tagged-%1.jpg").arg(orientation));
    QVERIFY(writeFile(tagged, orientedJpeg(80, 40, orientation)));
    QCOMPARE(PageImageFile::size(tagged), size);
    const QImage picture = PageImageFile::read(tagged);
    QCOMPARE(picture.size(), size);
    QVERIFY(qGray(picture.pixel(blackAt)) < 60);
    const cv::Mat mat = ImageFile::read(tagged, cv::IMREAD_COLOR, nullptr);
    QCOMPARE(QSize(mat.cols, mat.rows), size);

    // Through the designer: the page is made upright on disk, the canvas
    // shows it at the size the template stores.
    const QString page = m_dir.filePath(QStringLiteral("page-%1.jpg").arg(orientation));
    QVERIFY(writeFile(page, orientedJpeg(80, 40, orientation)));
    MessageBoxRecorder boxes;
    MainWindow w;
    w.loadTemplate(QStringLiteral("方向"), {page}, false, QString());
    QCOMPARE(boxes.count(), 0);
    QImageReader reader(page);
    QCOMPARE(reader.transformation(), QImageIOHandler::TransformationNone);
    MyLabel *canvas = w.myImage->label();
    QCOMPARE(canvas->fullImage.size(), size);
    QVERIFY(qGray(canvas->fullImage.pixel(blackAt)) < 60);
    QCOMPARE(PageImageFile::size(page), size);

    const QString saved = m_dir.filePath(QStringLiteral("saved-%1.tpl").arg(orientation));
    QVERIFY(w.writeTemplate(saved, {}));
    QByteArray xml = DesignerTest::fileBytes(saved);
    xml = TemplateFormat::complementBytes(xml);
    QVERIFY2(xml.contains(QStringLiteral("Width=\"%1\" Height=\"%2\"").arg(size.width()).arg(size.height()).toUtf8()),
             xml.constData());
}

void PageShownTest::unreadablePageIsSaidAndLeavesNoOldPicture()
{
    const QString good = m_dir.filePath(QStringLiteral("good.png"));
    QVERIFY(writePage(good, 300, 400));
    const QString broken = m_dir.filePath(QStringLiteral("broken.png"));
    QVERIFY(writeFile(broken, QByteArray("not an image")));

    MessageBoxRecorder boxes;
    MainWindow w;
    w.resize(1000, 700);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.loadTemplate(QStringLiteral("坏页"), {good, broken}, false, QString());
    QCOMPARE(boxes.count(), 0);
    MyLabel *canvas = w.myImage->label();
    QCOMPARE(canvas->pixmap(Qt::ReturnByValue).size(), QSize(300, 400));
    canvas->showSelection(QRect(10, 10, 50, 50));

    clickTreeItem(w, w.treeWidget->topLevelItem(1));
    QCOMPARE(w.currentPage, 2);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QStringLiteral("提示"));
    QVERIFY2(boxes.last().text.contains(QStringLiteral("第2页")), qPrintable(boxes.last().text));
    QVERIFY2(boxes.last().text.contains(broken), qPrintable(boxes.last().text));
    // Nothing of page 1 stays: no picture, no selection over it.
    QVERIFY(canvas->pixmap(Qt::ReturnByValue).isNull());
    QVERIFY(canvas->shownImage.isNull());
    QVERIFY(canvas->fullImage.isNull());
    QVERIFY(!canvas->rubberBand->isVisible());
    QCOMPARE(canvas->page, 2);

    // Back on page 1, its picture returns without a word.
    clickTreeItem(w, w.treeWidget->topLevelItem(0));
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(canvas->pixmap(Qt::ReturnByValue).size(), QSize(300, 400));
    QCOMPARE(canvas->page, 1);
}

void PageShownTest::newOrOpenedTemplateStartsClean()
{
    const QString first = m_dir.filePath(QStringLiteral("first.png"));
    const QString second = m_dir.filePath(QStringLiteral("second.png"));
    QVERIFY(writePage(first, 300, 400));
    QVERIFY(writePage(second, 320, 420));

    MessageBoxRecorder boxes;
    MainWindow w;
    w.resize(1000, 700);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.loadTemplate(QStringLiteral("旧模板"), {first}, false, QString());
    MyLabel *canvas = w.myImage->label();

    // A selection drawn, the page zoomed and a section under the pointer,
    // named in the status line.
    const auto dirty = [&] {
        auto *block = new MySectionSubject(canvas, 1, 1);
        block->setGeometry(20, 20, 60, 40);
        canvas->sectionList().append(block);
        block->show();
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(block, &enter);
        canvas->showSelection(QRect(100, 100, 80, 60));
        canvas->selectionRect = QRect(100, 100, 80, 60);
        canvas->zoomIn();
    };
    const auto clean = [&](const QSize &page) {
        // Only the list of what the opened file lacks (no anchor, no code).
        QVERIFY(boxes.count() == 0 || (boxes.count() == 1 && boxes.last().text.contains(QStringLiteral("缺少定位点"))));
        boxes.clear();
        QVERIFY(!canvas->rubberBand->isVisible());
        QCOMPARE(canvas->selectionRect, QRect());
        QCOMPARE(sectionNameLabel(w)->text(), QString());
        QCOMPARE(canvas->pixmap(Qt::ReturnByValue).size(), page);
        QCOMPARE(canvas->scale, 1.0f);
    };

    dirty();
    QVERIFY(!sectionNameLabel(w)->text().isEmpty());
    QVERIFY(canvas->rubberBand->isVisible());
    w.loadTemplate(QStringLiteral("新模板"), {second}, false, QString());
    clean(QSize(320, 420));

    dirty();
    const QString stored = m_dir.filePath(QStringLiteral("opened.tpl"));
    QVERIFY(DesignerTest::writeStored(stored, DesignerTest::pagesXml(QStringLiteral("打开的模板"), {"300x400"})));
    w.loadTemplate(QStringLiteral("打开的模板"), {first}, true, stored);
    clean(QSize(300, 400));
}

QTEST_MAIN(PageShownTest)
#include "pageshown_test.moc"
