// The image editor: strokes drawn on the canvas, undo, the pen controls, the
// burn-in into the sheet file, and the refusals.

#include "dialogimageedit.h"
#include "imagefile.h"
#include "messagebox.h"
#include "myimageeditlabel.h"
#include "omrresources.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>

#include "widgettestutil.h"

#include <functional>
#include "testutil.h"

using WidgetTest::WhenShown;
using Strokes = QList<QList<QPoint>>;
Q_DECLARE_METATYPE(Strokes)

namespace {

constexpr int kGrey = 128;
const QRect kSelection(40, 30, 100, 80);

// The mouse as the operator moves it over the canvas.
struct Pointer {
    QWidget *canvas;
    void send(QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent event(type, p, canvas->mapToGlobal(p), button, held, Qt::NoModifier);
        QApplication::sendEvent(canvas, &event);
    }
    void stroke(const QList<QPoint> &points)
    {
        send(QEvent::MouseButtonPress, points.first(), Qt::LeftButton, Qt::LeftButton);
        for (int i = 1; i < points.size(); ++i)
            send(QEvent::MouseMove, points[i], Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, points.last(), Qt::LeftButton, Qt::NoButton);
    }
    void enter()
    {
        QEvent event(QEvent::Enter);
        QApplication::sendEvent(canvas, &event);
    }
};

// The pixels that differ from the plain grey page, as "x,y=value".
QStringList changedPixels(const cv::Mat &image)
{
    QStringList changed;
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x)
            if (image.at<uchar>(y, x) != kGrey)
                changed << QStringLiteral("%1,%2=%3").arg(x).arg(y).arg(image.at<uchar>(y, x));
    return changed;
}

QRect boundsOf(const cv::Mat &image, int value)
{
    QRect bounds;
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x)
            if (image.at<uchar>(y, x) == value)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

using TestUtil::fileBytes;

} // namespace

class ImageEditTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initOmrResources(); }
    void init();
    void testBurnIn_data();
    void testBurnIn();
    void testUndo();
    void testPenControls();
    void testFileFormats_data();
    void testFileFormats();
    void testRefusedOpen_data();
    void testRefusedOpen();
    void testFailedWrite();
    void testRejectKeepsEverything();

private:
    QString writePage(const QString &name, int type = CV_8UC1);
    // Runs the editor on `path`; `act` draws and closes it. Returns exec's result.
    int edit(const QString &path, const std::function<void(DialogImageEdit *, Pointer &)> &act, int penGrey = 255,
             int penWidth = 25);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_ini;
};

void ImageEditTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_ini = m_dir->filePath(QStringLiteral("Ardentiq.ini"));
}

QString ImageEditTest::writePage(const QString &name, int type)
{
    const QString path = m_dir->filePath(name);
    const cv::Mat page(200, 150, type, cv::Scalar::all(kGrey));
    if (!ImageFile::write(path, page))
        qWarning("cannot write %s", qPrintable(path));
    return path;
}

int ImageEditTest::edit(const QString &path, const std::function<void(DialogImageEdit *, Pointer &)> &act,
                        int penGrey, int penWidth)
{
    DialogImageEdit dialog(path, kSelection, penGrey, penWidth, m_ini);
    WhenShown<DialogImageEdit> drawing([&act](DialogImageEdit *d) {
        Pointer pointer{d->findChild<MyImageEditLabel *>(QStringLiteral("labelImage"))};
        act(d, pointer);
    });
    return dialog.exec();
}

void ImageEditTest::testBurnIn_data()
{
    QTest::addColumn<int>("grey");
    QTest::addColumn<QString>("width");
    QTest::addColumn<Strokes>("strokes");      // canvas points
    QTest::addColumn<int>("changedCount");
    QTest::addColumn<QRect>("changedBounds");  // in file pixels

    // A click: a square of the pen's width centred on it.
    QTest::newRow("white dot 25") << 255 << "25" << Strokes{{{50, 40}}} << 25 * 25 << QRect(78, 58, 25, 25);
    QTest::newRow("black dot 9") << 0 << "9" << Strokes{{{10, 10}}} << 81 << QRect(46, 36, 9, 9);
    // Width 0 typed by hand draws with one pixel.
    QTest::newRow("width 0 is 1") << 0 << "0" << Strokes{{{5, 6}}} << 1 << QRect(45, 36, 1, 1);
    QTest::newRow("width 1 line") << 255 << "1" << Strokes{{{0, 0}, {9, 0}}} << 10 << QRect(40, 30, 10, 1);
    // A line running past the shown part stops at its edge.
    QTest::newRow("cut at the area") << 255 << "1" << Strokes{{{90, 70}, {130, 70}}} << 10 << QRect(130, 100, 10, 1);
    QTest::newRow("two strokes") << 0 << "1" << Strokes{{{0, 0}, {0, 4}}, {{2, 0}, {4, 0}}} << 8
                                 << QRect(40, 30, 5, 5);
}

void ImageEditTest::testBurnIn()
{
    QFETCH(int, grey);
    QFETCH(QString, width);
    QFETCH(Strokes, strokes);
    QFETCH(int, changedCount);
    QFETCH(QRect, changedBounds);
    const QString path = writePage(QStringLiteral("page.png"));

    const int result = edit(path, [&](DialogImageEdit *d, Pointer &pointer) {
        d->findChild<QComboBox *>(QStringLiteral("comboBoxColor"))->setCurrentIndex(grey == 255 ? 0 : 1);
        d->findChild<QComboBox *>(QStringLiteral("comboBoxWidth"))->setCurrentText(width);
        pointer.enter();
        for (const QList<QPoint> &stroke : strokes)
            pointer.stroke(stroke);
        d->findChild<QPushButton *>(QStringLiteral("pushButtonOK"))->click();
    });

    QCOMPARE(result, int(QDialog::Accepted));
    const cv::Mat after = ImageFile::read(path, cv::IMREAD_UNCHANGED);
    QCOMPARE(after.channels(), 1);
    const QStringList changed = changedPixels(after);
    QCOMPARE(changed.size(), changedCount);
    QCOMPARE(boundsOf(after, grey), changedBounds);
    QVERIFY(kSelection.contains(changedBounds));
    QCOMPARE(QDir(m_dir->path()).entryList({QStringLiteral("*.png")}, QDir::Files), QStringList{"page.png"});
}

void ImageEditTest::testUndo()
{
    const QString path = writePage(QStringLiteral("page.png"));
    int strokesLeft = -1;
    edit(path, [&](DialogImageEdit *d, Pointer &pointer) {
        auto *undo = d->findChild<QToolButton *>(QStringLiteral("toolButtonUndo"));
        auto *canvas = d->findChild<MyImageEditLabel *>(QStringLiteral("labelImage"));
        undo->click(); // nothing to undo
        QCOMPARE(canvas->strokes.size(), 0);
        pointer.stroke({{10, 10}});
        pointer.stroke({{30, 10}, {31, 10}, {31, 10}, {35, 12}});
        pointer.stroke({{60, 10}});
        // A move to the same point adds nothing; the release always adds one.
        QCOMPARE(canvas->strokes.at(1), (QList<QPoint>{{30, 10}, {31, 10}, {35, 12}, {35, 12}}));
        QCOMPARE(canvas->strokes.at(0), (QList<QPoint>{{10, 10}, {10, 10}}));
        undo->click();
        strokesLeft = canvas->strokes.size();
        QCOMPARE(canvas->strokeGreys.size(), strokesLeft);
        QCOMPARE(canvas->strokeWidths.size(), strokesLeft);
        d->findChild<QPushButton *>(QStringLiteral("pushButtonOK"))->click();
    }, 255, 5);

    QCOMPARE(strokesLeft, 2);
    const cv::Mat after = ImageFile::read(path, cv::IMREAD_GRAYSCALE);
    QCOMPARE(after.at<uchar>(30 + 10, 40 + 10), uchar(255));   // first dot
    QCOMPARE(after.at<uchar>(30 + 10, 40 + 60), uchar(kGrey)); // the undone dot
    // The kept line reaches its last point, give or take its round end.
    const int right = boundsOf(after, 255).right();
    QVERIFY2(right >= 40 + 35 && right <= 40 + 35 + 3, qPrintable(QString::number(right)));
}

void ImageEditTest::testPenControls()
{
    const QString path = writePage(QStringLiteral("page.png"));
    DialogImageEdit dialog(path, kSelection, 0, 9, m_ini);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("编辑"));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    auto *colours = dialog.findChild<QComboBox *>(QStringLiteral("comboBoxColor"));
    auto *widths = dialog.findChild<QComboBox *>(QStringLiteral("comboBoxWidth"));
    auto *canvas = dialog.findChild<MyImageEditLabel *>(QStringLiteral("labelImage"));
    QCOMPARE(widths->count(), 48);
    QCOMPARE(widths->itemText(0), QStringLiteral("5"));
    QCOMPARE(widths->itemText(47), QStringLiteral("99"));

    QString shownColour;
    QString shownWidth;
    QSize canvasImage;
    WhenShown<DialogImageEdit> check([&](DialogImageEdit *d) {
        shownColour = colours->currentText();
        shownWidth = widths->currentText();
        canvasImage = canvas->pixmap(Qt::ReturnByValue).size();
        QCOMPARE(canvas->penGrey, 0);
        QCOMPARE(canvas->penWidth, 9);
        // Four digits at most, nothing else.
        widths->lineEdit()->clear();
        QTest::keyClicks(widths->lineEdit(), QStringLiteral("12a34567"));
        QCOMPARE(widths->currentText(), QStringLiteral("1234"));
        // The pen follows the controls when the pointer comes onto the canvas.
        colours->setCurrentIndex(0);
        widths->setCurrentText(QStringLiteral("7"));
        Pointer{canvas}.enter();
        QCOMPARE(canvas->penGrey, 255);
        QCOMPARE(canvas->penWidth, 7);
        QCOMPARE(canvas->brushCursor.pixmap().size(), QSize(7, 7));
        const QImage cursor = canvas->brushCursor.pixmap().toImage();
        QCOMPARE(qGray(cursor.pixel(0, 0)), 0);   // black border
        QCOMPARE(qGray(cursor.pixel(3, 3)), 255); // white inside
        QCOMPARE(canvas->brushCursor.hotSpot(), QPoint(3, 3));
        d->findChild<QPushButton *>(QStringLiteral("pushButtonOK"))->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(shownColour, QStringLiteral("黑色"));
    QCOMPARE(shownWidth, QStringLiteral("9"));
    QCOMPARE(canvasImage, kSelection.size());
    QCOMPARE(dialog.editRect(), kSelection);

    // The pen is handed back and kept for the next run of the program.
    QCOMPARE(dialog.imageEditColor, 255);
    QCOMPARE(dialog.imageEditWidth, 7);
    QSettings settings(m_ini, QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("ImageEdit/Color")).toString(), QStringLiteral("255"));
    QCOMPARE(settings.value(QStringLiteral("ImageEdit/Width")).toString(), QStringLiteral("7"));
}

void ImageEditTest::testFileFormats_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::newRow("grey PNG") << "page.png" << CV_8UC1;
    QTest::newRow("colour PNG") << "colour.png" << CV_8UC3;
    QTest::newRow("colour JPEG") << "scan.jpg" << CV_8UC3;
}

void ImageEditTest::testFileFormats()
{
    QFETCH(QString, name);
    QFETCH(int, type);
    const QString path = writePage(name, type);
    edit(path, [](DialogImageEdit *d, Pointer &pointer) {
        pointer.stroke({{50, 40}});
        d->findChild<QPushButton *>(QStringLiteral("pushButtonOK"))->click();
    }, 255, 25);

    // Every sheet comes back as a single-channel image of its own format.
    const cv::Mat after = ImageFile::read(path, cv::IMREAD_UNCHANGED);
    QCOMPARE(after.channels(), 1);
    QCOMPARE(after.cols, 150);
    QCOMPARE(after.rows, 200);
    // JPEG at quality 100 keeps the square's inside white.
    QCOMPARE(int(after.at<uchar>(70, 90)), 255);
    QVERIFY(qAbs(int(after.at<uchar>(5, 5)) - kGrey) <= 2);
}

void ImageEditTest::testRefusedOpen_data()
{
    QTest::addColumn<QString>("name"); // empty: no image shown
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QRect>("selection");
    QTest::addColumn<QString>("message");
    QTest::newRow("no image") << QString() << QByteArray() << kSelection << QStringLiteral("没有可编辑的图片");
    QTest::newRow("file gone") << "gone.png" << QByteArray() << kSelection << QStringLiteral("无法读取图片：%1");
    QTest::newRow("no image file") << "text.png" << QByteArray("text") << kSelection
                                   << QStringLiteral("无法读取图片：%1");
    QTest::newRow("selection right of the image") << "page.png" << QByteArray() << QRect(150, 0, 40, 40)
                                                  << QStringLiteral("选择区域不在图片内");
    QTest::newRow("empty selection") << "page.png" << QByteArray() << QRect(10, 10, 0, 0)
                                     << QStringLiteral("选择区域不在图片内");
}

void ImageEditTest::testRefusedOpen()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QRect, selection);
    QFETCH(QString, message);
    QString path;
    if (name == QLatin1String("page.png")) {
        path = writePage(name);
    } else if (!name.isEmpty()) {
        path = m_dir->filePath(name);
        if (!content.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
    }
    const QByteArray before = fileBytes(path);

    MessageBoxRecorder boxes;
    DialogImageEdit dialog(path, selection, 255, 25, m_ini);
    WhenShown<DialogImageEdit> never([](DialogImageEdit *d) { d->reject(); });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(!never.seen);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QStringLiteral("提示"));
    QCOMPARE(boxes.last().text, message.contains(QLatin1String("%1")) ? message.arg(path) : message);
    QCOMPARE(fileBytes(path), before);
    QVERIFY(!QFile::exists(m_ini));
}

void ImageEditTest::testFailedWrite()
{
    // Readable, but no encoder for its suffix: the write fails.
    const QString png = writePage(QStringLiteral("page.png"));
    const QString path = m_dir->filePath(QStringLiteral("page.xyz"));
    QVERIFY(QFile::rename(png, path));
    const QByteArray before = fileBytes(path);

    MessageBoxRecorder boxes;
    bool stayedOpen = false;
    const int result = edit(path, [&](DialogImageEdit *d, Pointer &pointer) {
        pointer.stroke({{50, 40}});
        d->findChild<QPushButton *>(QStringLiteral("pushButtonOK"))->click();
        stayedOpen = d->isVisible();
        d->reject();
    });

    QVERIFY(stayedOpen);
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().text, QStringLiteral("无法保存图片：") + path);
    QCOMPARE(fileBytes(path), before);
    QVERIFY(!QFile::exists(m_ini));
}

void ImageEditTest::testRejectKeepsEverything()
{
    const QString path = writePage(QStringLiteral("page.png"));
    const QByteArray before = fileBytes(path);
    DialogImageEdit dialog(path, kSelection, 0, 9, m_ini);
    WhenShown<DialogImageEdit> drawThenEscape([](DialogImageEdit *d) {
        Pointer pointer{d->findChild<MyImageEditLabel *>(QStringLiteral("labelImage"))};
        d->findChild<QComboBox *>(QStringLiteral("comboBoxWidth"))->setCurrentText(QStringLiteral("31"));
        pointer.stroke({{50, 40}});
        QTest::keyClick(d, Qt::Key_Escape);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(dialog.imageEditColor, 0);
    QCOMPARE(dialog.imageEditWidth, 9);
    QVERIFY(!QFile::exists(m_ini));
}

QTEST_MAIN(ImageEditTest)
#include "imageedit_test.moc"
