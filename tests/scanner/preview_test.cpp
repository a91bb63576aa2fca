// The station's preview: loading, zoom limits, Ctrl+wheel, fitting, rotation
// of the shown file on disk (and a failed rewrite leaving it intact), and the
// status bar's texts.

#include "formimage.h"
#include "formstatusbar.h"
#include "messagebox.h"
#include "mylabel.h"
#include "omrresources.h"
#include "quadrantimage.h"
#include "myscrollarea.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QLabel>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWheelEvent>
#include <QtTest>
#include "testutil.h"

namespace {

QByteArray encoded(const QImage &image, const QByteArray &format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

using TestUtil::fileBytes;
using TestUtil::writeFile;

QImage pixmapImage(const QLabel *label)
{
    return label->pixmap() ? label->pixmap()->toImage() : QImage();
}

} // namespace

class PreviewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initOmrResources(); }
    void init();
    void cleanup();

    void testForm();
    void testLoad();
    void testLoadFailureKeepsPicture();
    void testZoomLimits();
    void testFit_data();
    void testFit();
    void testFactorCarriesOver();
    void testCtrlWheel();
    void testRotateButtons_data();
    void testRotateButtons();
    void testRotateKeepsDepth_data();
    void testRotateKeepsDepth();
    void testRotateFailureKeepsFile_data();
    void testRotateFailureKeepsFile();
    void testSizeText_data();
    void testSizeText();
    void testStatusBar();

private:
    QString page(const QString &name, const QImage &image);
    QToolButton *button(const char *name) { return m_form->findChild<QToolButton *>(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QWidget> m_window;
    FormImage *m_form = nullptr;
    MyLabel *m_label = nullptr;
    int m_quality = 50;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
};

void PreviewTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_window = std::make_unique<QWidget>();
    m_form = new FormImage(m_window.get());
    m_form->imageQuality = [this] { return m_quality; };
    m_label = m_form->label;
    m_window->resize(800, 600);
    m_boxes = std::make_unique<MessageBoxRecorder>();
}

void PreviewTest::cleanup()
{
    m_boxes.reset();
    m_window.reset();
    m_dir.reset();
}

QString PreviewTest::page(const QString &name, const QImage &image)
{
    const QString path = QDir::toNativeSeparators(m_dir->filePath(name));
    if (!image.save(path))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void PreviewTest::testForm()
{
    QCOMPARE(m_label->text(), QStringLiteral("等待加载图片……"));
    QCOMPARE(m_form->findChild<MyScrollArea *>(QStringLiteral("scrollArea"))->widget(), static_cast<QWidget *>(m_label));
    QCOMPARE(m_form->findChild<MyScrollArea *>(QStringLiteral("scrollArea"))->variant(), MyScrollArea::Variant::Scanner);
    const char *names[] = {"toolButtonZoomIn", "toolButtonZoomOut", "toolButtonOriginal", "toolButtonFit",
                           "toolButtonRotate180", "toolButtonRotateRight", "toolButtonRotateLeft", "toolButtonAbout"};
    for (const char *name : names) {
        QToolButton *b = button(name);
        QVERIFY2(b, name);
        QVERIFY2(!b->icon().isNull(), name);
        QCOMPARE(b->iconSize(), QSize(24, 24));
        QVERIFY(b->autoRaise());
    }
    // Before the first image nothing zooms or fits.
    button("toolButtonZoomIn")->click();
    button("toolButtonFit")->click();
    QCOMPARE(m_label->scale, 1.0f);
    QVERIFY(m_label->shownImage.isNull());
}

void PreviewTest::testLoad()
{
    const QString path = page(QStringLiteral("第 1 页.png"), quadrants(640, 320));
    QSignalSpy info(m_label, &MyLabel::signalRotate);
    m_label->loadImage(path);
    QCOMPARE(m_label->filePath, path);
    QCOMPARE(m_label->fullImage.size(), QSize(640, 320));
    QCOMPARE(pixmapImage(m_label).size(), QSize(640, 320));
    QVERIFY(m_label->canLoad);
    QCOMPARE(info.count(), 1);
    QCOMPARE(info.first(), (QVariantList{640, 320, int(QFileInfo(path).size())}));
}

void PreviewTest::testLoadFailureKeepsPicture()
{
    m_label->loadImage(page(QStringLiteral("good.png"), quadrants(400, 200)));
    const QString broken = m_dir->filePath(QStringLiteral("broken.png"));
    QVERIFY(writeFile(broken, "not an image"));
    QSignalSpy info(m_label, &MyLabel::signalRotate);
    for (const QString &path : {broken, m_dir->filePath(QStringLiteral("missing.png"))}) {
        m_label->loadImage(path);
        QCOMPARE(m_label->filePath, path);
        QVERIFY(m_label->fullImage.isNull());
        QVERIFY(m_label->canLoad);
        // The previous picture stays on screen; zooming has nothing to work on.
        QCOMPARE(pixmapImage(m_label).size(), QSize(400, 200));
        button("toolButtonZoomIn")->click();
        QCOMPARE(m_label->scale, 1.0f);
    }
    QCOMPARE(info.count(), 0);
}

void PreviewTest::testZoomLimits()
{
    m_label->loadImage(page(QStringLiteral("wide.png"), quadrants(1000, 400)));
    for (int i = 0; i < 40; ++i)
        button("toolButtonZoomIn")->click();
    // Stops at the last step that stays within five times the image width.
    const int widest = m_label->shownImage.width();
    QVERIFY2(widest <= 5000 && widest * 1.1 > 5000, qPrintable(QString::number(widest)));
    QVERIFY(qAbs(m_label->scale * 1000 - widest) < 2);
    const float top = m_label->scale;
    button("toolButtonZoomIn")->click();
    QCOMPARE(m_label->scale, top);
    QCOMPARE(pixmapImage(m_label).width(), widest);

    button("toolButtonOriginal")->click();
    QCOMPARE(m_label->scale, 1.0f);
    QCOMPARE(m_label->shownImage.size(), QSize(1000, 400));

    for (int i = 0; i < 40; ++i)
        button("toolButtonZoomOut")->click();
    // Stops before the shown width would fall under 300 pixels.
    const int narrowest = m_label->shownImage.width();
    QVERIFY2(narrowest >= 300 && narrowest / 1.1 < 300, qPrintable(QString::number(narrowest)));
    // Every step scales the full image, so the picture is still the page.
    QCOMPARE(corners(m_label->shownImage), (QStringList{"r", "g", "b", "w"}));
}

void PreviewTest::testFit_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QSize>("shown");
    QTest::addColumn<float>("scale");
    QTest::newRow("wide page, low window: height decides") << QSize(1000, 400) << QSize(500, 100) << QSize(250, 100)
                                                            << 0.25f;
    QTest::newRow("width decides") << QSize(1000, 400) << QSize(500, 300) << QSize(500, 200) << 0.5f;
    QTest::newRow("tall page") << QSize(300, 900) << QSize(600, 450) << QSize(150, 450) << 0.5f;
}

void PreviewTest::testFit()
{
    QFETCH(QSize, image);
    QFETCH(QSize, box);
    QFETCH(QSize, shown);
    QFETCH(float, scale);
    m_label->loadImage(page(QStringLiteral("page.png"), quadrants(image.width(), image.height())));
    m_label->fitToSize(box.width(), box.height());
    QCOMPARE(m_label->shownImage.size(), shown);
    QCOMPARE(pixmapImage(m_label).size(), shown);
    QCOMPARE(m_label->scale, scale);
}

void PreviewTest::testFactorCarriesOver()
{
    m_label->loadImage(page(QStringLiteral("1.png"), quadrants(1000, 400)));
    button("toolButtonZoomIn")->click();
    button("toolButtonZoomIn")->click();
    const float factor = m_label->scale;
    QVERIFY(factor > 1.2f);
    m_label->loadImage(page(QStringLiteral("2.png"), quadrants(600, 600)));
    QCOMPARE(m_label->scale, factor);
    QCOMPARE(m_label->shownImage.width(), int(600 * factor));
}

void PreviewTest::testCtrlWheel()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_label->loadImage(page(QStringLiteral("page.png"), quadrants(1000, 400)));

    auto wheel = [this](int dy) {
        const QPointF at(10, 10);
        QWheelEvent event(at, m_label->mapToGlobal(at.toPoint()), QPoint(), QPoint(0, dy), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_label, &event);
    };

    // The keyboard reaches the label only while the pointer is over it.
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(m_label, &enter);
    QCOMPARE(QWidget::keyboardGrabber(), static_cast<QWidget *>(m_label));
    QTest::keyPress(m_label, Qt::Key_Control);
    QVERIFY(m_label->ctrlDown);

    const struct {
        int dy;
        float scale;
    } steps[] = {{120, 1.1f}, {120, 1.1f * 1.1f}, {-120, 1.1f}, {0, 1.0f}};
    for (const auto &step : steps) {
        wheel(step.dy);
        QVERIFY2(qAbs(m_label->scale - step.scale) < 1e-4f, qPrintable(QString::number(step.dy)));
    }

    QTest::keyRelease(m_label, Qt::Key_Control);
    QVERIFY(!m_label->ctrlDown);
    wheel(120);
    QCOMPARE(m_label->scale, 1.0f);

    QTest::keyPress(m_label, Qt::Key_Control);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(m_label, &leave);
    QVERIFY(QWidget::keyboardGrabber() != m_label);
    // A Ctrl let go outside the label cannot leave it zooming.
    wheel(120);
    QCOMPARE(m_label->scale, 1.0f);
}

void PreviewTest::testRotateButtons_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QStringList>("expected"); // top left, top right, bottom left, bottom right
    QTest::newRow("right, jpg") << QByteArray("toolButtonRotateRight") << "jpg" << QStringList{"b", "r", "w", "g"};
    QTest::newRow("left, jpg") << QByteArray("toolButtonRotateLeft") << "jpg" << QStringList{"g", "w", "r", "b"};
    QTest::newRow("half, png") << QByteArray("toolButtonRotate180") << "png" << QStringList{"w", "b", "g", "r"};
    QTest::newRow("right, tif") << QByteArray("toolButtonRotateRight") << "tif" << QStringList{"b", "r", "w", "g"};
}

void PreviewTest::testRotateButtons()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, suffix);
    QFETCH(QStringList, expected);
    m_quality = 37;
    const QString path = page(QStringLiteral("扫描 0001.") + suffix, quadrants(400, 200));
    m_label->loadImage(path);
    QSignalSpy info(m_label, &MyLabel::signalRotate);

    this->button(button.constData())->click();

    QCOMPARE(m_boxes->count(), 0);
    const QImage onDisk(path);
    const bool quarter = !button.contains("180");
    const QSize turned = quarter ? QSize(200, 400) : QSize(400, 200);
    QCOMPARE(onDisk.size(), turned);
    QCOMPARE(corners(onDisk), expected);
    if (suffix == QLatin1String("jpg")) {
        // Rewritten with the scan form's quality: the same bytes as encoding
        // the turned page at that quality.
        const QImage original = QImage(page(QStringLiteral("copy.jpg"), quadrants(400, 200)));
        const QImage expectedImage =
            original.transformed(QTransform().rotate(button.contains("Left") ? 270 : 90), Qt::FastTransformation);
        QCOMPARE(fileBytes(path), encoded(expectedImage, "jpg", 37));
    }
    // The preview shows the turned file and the status bar hears of it.
    QCOMPARE(m_label->fullImage.size(), turned);
    QCOMPARE(info.count(), 1);
    QCOMPARE(info.first(), (QVariantList{turned.width(), turned.height(), int(QFileInfo(path).size())}));
    QStringList left = QDir(m_dir->path()).entryList(QDir::Files);
    left.removeAll(QStringLiteral("copy.jpg"));
    QCOMPARE(left, QStringList{QFileInfo(path).fileName()});
}

void PreviewTest::testRotateKeepsDepth_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("format");
    QTest::newRow("black and white tif") << "bw.tif" << int(QImage::Format_Mono);
    QTest::newRow("grey jpg") << "grey.jpg" << int(QImage::Format_Grayscale8);
    QTest::newRow("grey bmp") << "grey.bmp" << int(QImage::Format_Grayscale8);
}

void PreviewTest::testRotateKeepsDepth()
{
    QFETCH(QString, name);
    QFETCH(int, format);
    // A scanned page keeps its bit depth when turned: a black-and-white
    // batch must not grow into grey files.
    QImage image = quadrants(64, 32).convertToFormat(QImage::Format(format), Qt::ThresholdDither);
    const QString path = page(name, image);
    const int depth = QImage(path).depth();
    m_label->loadImage(path);
    button("toolButtonRotateRight")->click();
    const QImage turned(path);
    QCOMPARE(turned.size(), QSize(32, 64));
    QCOMPARE(turned.depth(), depth);
}

void PreviewTest::testRotateFailureKeepsFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("loads");
    // JPEG holds at most 65500 pixels a side: the turned strip cannot be
    // written, after the new file was begun.
    QTest::newRow("write fails midway") << "strip.jpg" << encoded(quadrants(66000, 2), "png", -1)
                                        << QStringLiteral("无法保存图片：") << true;
    QTest::newRow("no writer for the suffix") << "page.xyz" << encoded(quadrants(40, 20), "png", -1)
                                              << QStringLiteral("无法保存图片：") << true;
    QTest::newRow("unreadable") << "page.jpg" << QByteArray("not an image") << QStringLiteral("无法读取图片：") << false;
}

void PreviewTest::testRotateFailureKeepsFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QFETCH(bool, loads);
    const QString path = m_dir->filePath(name);
    QVERIFY(writeFile(path, content));
    m_label->loadImage(path);
    QCOMPARE(!m_label->fullImage.isNull(), loads);
    QSignalSpy info(m_label, &MyLabel::signalRotate);

    button("toolButtonRotateRight")->click();

    QCOMPARE(fileBytes(path), content);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
    // The operator is told, and the preview is not reloaded.
    QCOMPARE(m_boxes->count(), 1);
    QCOMPARE(m_boxes->last().title, QStringLiteral("提示"));
    QVERIFY2(m_boxes->last().text.startsWith(message + path), qPrintable(m_boxes->last().text));
    QCOMPARE(info.count(), 0);
    QVERIFY(!m_label->rotateImage(90, 50));
    QVERIFY(m_label->lastError.startsWith(message));
}

void PreviewTest::testSizeText_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "0 Byte";
    QTest::newRow("500") << 500 << "500 Byte";
    QTest::newRow("1023") << 1023 << "1023 Byte";
    QTest::newRow("1024") << 1024 << "1 Kb";
    QTest::newRow("153600") << 153600 << "150 Kb";
    QTest::newRow("1048575") << 1048575 << "1023 Kb";
    QTest::newRow("1048576") << 1048576 << "1.000 Mb";
    QTest::newRow("1.5 MiB") << 1572864 << "1.500 Mb";
    QTest::newRow("largest") << 2147483647 << "2048.000 Mb";
}

void PreviewTest::testSizeText()
{
    QFETCH(int, size);
    QFETCH(QString, text);
    FormStatusBar bar;
    bar.setFileInfo(2480, 3508, size);
    QCOMPARE(bar.labelSize->text(), text);
    QCOMPARE(bar.labelWidth->text(), QStringLiteral("2480"));
    QCOMPARE(bar.labelHeight->text(), QStringLiteral("3508"));
}

void PreviewTest::testStatusBar()
{
    FormStatusBar bar;
    const char *names[] = {"label", "labelCount", "label_3", "labelFilePath", "label_2",
                           "labelWidth", "label_4", "labelHeight", "label_5", "labelSize"};
    const QStringList texts{"数量", "0", "当前文件", "", "宽", "0", "高", "0", "大小", "0 Kb"};
    for (int i = 0; i < texts.size(); ++i)
        QCOMPARE(bar.findChild<QLabel *>(names[i])->text(), texts[i]);
    QVERIFY(bar.labelCount->font().bold());

    bar.setCount(12);
    bar.setFilePath(QStringLiteral("/考试/扫描/0012.jpg"));
    QCOMPARE(bar.labelCount->text(), QStringLiteral("12"));
    QCOMPARE(bar.labelFilePath->text(), QStringLiteral("/考试/扫描/0012.jpg"));

    // A failed load keeps what the bar says about the last good file.
    connect(m_label, &MyLabel::signalRotate, &bar, &FormStatusBar::setFileInfo);
    m_label->loadImage(page(QStringLiteral("a.png"), quadrants(300, 100)));
    QCOMPARE(bar.labelWidth->text(), QStringLiteral("300"));
    m_label->loadImage(m_dir->filePath(QStringLiteral("none.png")));
    QCOMPARE(bar.labelWidth->text(), QStringLiteral("300"));
    QCOMPARE(bar.labelHeight->text(), QStringLiteral("100"));
}

QTEST_MAIN(PreviewTest)
#include "preview_test.moc"
