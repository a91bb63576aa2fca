// The canvas rewriting its page image file: exact quarter and half turns,
// deskew with its angle and width rules, and failures reported, never shown
// as success.

#include "canvasfixture.h"
#include "messagebox.h"
#include "omrresources.h"

#include <QDir>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <sys/stat.h>

#include <memory>
#include "testutil.h"

Q_DECLARE_METATYPE(cv::RotateFlags)

namespace {

using TestUtil::fileBytes;

cv::Mat readUnchanged(const QString &path)
{
    const QByteArray bytes = fileBytes(path);
    return cv::imdecode(cv::Mat(1, bytes.size(), CV_8U, const_cast<char *>(bytes.constData())),
                        cv::IMREAD_UNCHANGED);
}

bool samePixels(const cv::Mat &a, const cv::Mat &b)
{
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

ino_t inode(const QString &path)
{
    struct stat st {};
    return stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

class CanvasFileTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void rotationIsExact_data();
    void rotationIsExact();
    void rotationFailuresAreReported_data();
    void rotationFailuresAreReported();
    void correctHorizontalRules_data();
    void correctHorizontalRules();
    void deskewTurnsAnticlockwiseWithWhiteCorners_data();
    void deskewTurnsAnticlockwiseWithWhiteCorners();
    void deskewFailuresAreReported();

private:
    void load(const QString &path);

    std::unique_ptr<CanvasScene> scene_;
    QTemporaryDir *dir_ = nullptr;
    RecordingWindow *window_ = nullptr;
    MyLabel *canvas_ = nullptr;
};

void CanvasFileTest::initTestCase()
{
    initOmrResources();
}

void CanvasFileTest::init()
{
    scene_ = std::make_unique<CanvasScene>();
    QVERIFY(scene_->dir.isValid());
    dir_ = &scene_->dir;
    window_ = &scene_->window;
    canvas_ = scene_->canvas;
}

void CanvasFileTest::cleanup()
{
    scene_.reset();
}

void CanvasFileTest::load(const QString &path)
{
    canvas_->loadImage(path, 1);
    QVERIFY(!canvas_->fullImage.isNull());
}

void CanvasFileTest::rotationIsExact_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("channels");
    QTest::addColumn<cv::RotateFlags>("turn");

    QTest::newRow("clockwise, grey") << "toolButtonClockwise" << 1 << cv::ROTATE_90_CLOCKWISE;
    QTest::newRow("anticlockwise, grey") << "toolButtonAntiClockwise" << 1 << cv::ROTATE_90_COUNTERCLOCKWISE;
    QTest::newRow("half turn, grey") << "toolButtonRotate180" << 1 << cv::ROTATE_180;
    QTest::newRow("clockwise, colour") << "toolButtonClockwise" << 3 << cv::ROTATE_90_CLOCKWISE;
    QTest::newRow("anticlockwise, colour") << "toolButtonAntiClockwise" << 3 << cv::ROTATE_90_COUNTERCLOCKWISE;
    QTest::newRow("half turn, colour") << "toolButtonRotate180" << 3 << cv::ROTATE_180;
}

void CanvasFileTest::rotationIsExact()
{
    QFETCH(QString, button);
    QFETCH(int, channels);
    QFETCH(cv::RotateFlags, turn);

    MessageBoxRecorder boxes;
    const cv::Mat page = patternPage(7, 4, channels);
    const QString path = scene_->write(QStringLiteral("第1页.png"), page);
    load(path);
    const ino_t before = inode(path);

    window_->view->findChild<QToolButton *>(button)->click();

    cv::Mat expected;
    cv::rotate(page, expected, turn);
    const cv::Mat written = readUnchanged(path);
    QVERIFY(samePixels(written, expected));   // grey stays grey, no shift, no resampling
    QCOMPARE(boxes.count(), 0);
    // Replaced through a new file renamed over the old one, nothing left behind.
    QVERIFY(inode(path) != before);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{QStringLiteral("第1页.png")});
    // Shown again at its new size.
    QCOMPARE(canvas_->fullImage.size(), QSize(expected.cols, expected.rows));
    QCOMPARE(window_->imageInfo.last().width, expected.cols);
    QCOMPARE(window_->imageInfo.last().height, expected.rows);
}

void CanvasFileTest::rotationFailuresAreReported_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("removeAfterLoad");
    QTest::addColumn<QString>("message");

    QTest::newRow("cannot be written") << "page.xyz" << false << QStringLiteral("无法保存图片：");
    QTest::newRow("gone since loaded") << "page.png" << true << QStringLiteral("无法读取图片：");
}

void CanvasFileTest::rotationFailuresAreReported()
{
    QFETCH(QString, name);
    QFETCH(bool, removeAfterLoad);
    QFETCH(QString, message);

    const QString path = scene_->write(name, patternPage(7, 4, 1));
    const QByteArray original = fileBytes(path);
    load(path);
    if (removeAfterLoad)
        QVERIFY(QFile::remove(path));

    MessageBoxRecorder boxes;
    canvas_->rotatePage(0);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QStringLiteral("提示"));
    QCOMPARE(boxes.last().text, message + path);
    if (!removeAfterLoad)
        QCOMPARE(fileBytes(path), original);
    QCOMPARE(canvas_->fullImage.size(), QSize(7, 4));
}

void CanvasFileTest::correctHorizontalRules_data()
{
    QTest::addColumn<int>("selectionWidth");
    QTest::addColumn<bool>("hasDialog");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<float>("angle");
    QTest::addColumn<QString>("message");   // empty: no box
    QTest::addColumn<bool>("rewritten");

    const QString done = QStringLiteral("校正成功");
    const QString steep = QStringLiteral("水平偏差大于5度，操作失败");
    QTest::newRow("width 149") << 149 << true << true << 2.0f << QStringLiteral("操作需要宽度大于150") << false;
    QTest::newRow("width 150") << 150 << true << true << 2.0f << done << true;
    QTest::newRow("no dialog yet") << 200 << false << true << 2.0f << QString() << false;
    QTest::newRow("dialog rejected") << 200 << true << false << 2.0f << QString() << false;
    QTest::newRow("0.005 ignored") << 200 << true << true << 0.005f << QString() << false;
    QTest::newRow("-0.005 ignored") << 200 << true << true << -0.005f << QString() << false;
    QTest::newRow("5.0 accepted") << 200 << true << true << 5.0f << done << true;
    QTest::newRow("-5.0 accepted") << 200 << true << true << -5.0f << done << true;
    QTest::newRow("5.01 refused") << 200 << true << true << 5.01f << steep << false;
    QTest::newRow("-5.01 refused") << 200 << true << true << -5.01f << steep << false;
}

void CanvasFileTest::correctHorizontalRules()
{
    QFETCH(int, selectionWidth);
    QFETCH(bool, hasDialog);
    QFETCH(bool, accepted);
    QFETCH(float, angle);
    QFETCH(QString, message);
    QFETCH(bool, rewritten);

    const QString path = scene_->write(QStringLiteral("page.png"), patternPage(400, 200, 1));
    const QByteArray original = fileBytes(path);
    load(path);
    canvas_->showSelection(QRect(10, 10, selectionWidth, 40));
    int dialogRuns = 0;
    if (hasDialog) {
        canvas_->horizontalDialog = [&](float *degrees) {
            ++dialogRuns;
            *degrees = angle;
            return accepted;
        };
    } else {
        canvas_->horizontalDialog = nullptr;
    }

    MessageBoxRecorder boxes;
    canvas_->correctHorizontal();
    QCOMPARE(dialogRuns, hasDialog && selectionWidth >= 150 ? 1 : 0);
    QCOMPARE(boxes.count(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        QCOMPARE(boxes.last().title, QStringLiteral("提示"));
        QCOMPARE(boxes.last().text, message);
    }
    QCOMPARE(fileBytes(path) != original, rewritten);
    // A rewritten page is shown again.
    QCOMPARE(window_->imageInfo.size(), rewritten ? 2 : 1);
}

void CanvasFileTest::deskewTurnsAnticlockwiseWithWhiteCorners_data()
{
    QTest::addColumn<int>("channels");
    QTest::newRow("grey") << 1;
    QTest::newRow("colour") << 3;
}

void CanvasFileTest::deskewTurnsAnticlockwiseWithWhiteCorners()
{
    QFETCH(int, channels);

    // A black page with one white row across the middle.
    cv::Mat page(200, 400, channels == 1 ? CV_8UC1 : CV_8UC3, cv::Scalar::all(0));
    page.row(100).setTo(cv::Scalar::all(255));
    const QString path = scene_->write(QStringLiteral("page.png"), page);
    load(path);

    QString error;
    QVERIFY(canvas_->deskewImage(5.0f, &error));
    cv::Mat turned = readUnchanged(path);
    QCOMPARE(turned.channels(), channels);
    QCOMPARE(QSize(turned.cols, turned.rows), QSize(400, 200));
    if (channels == 3)
        cv::cvtColor(turned, turned, cv::COLOR_BGR2GRAY);
    for (const cv::Point corner : {cv::Point(0, 0), cv::Point(399, 0), cv::Point(0, 199), cv::Point(399, 199)})
        QCOMPARE(int(turned.at<uchar>(corner)), 255);
    QCOMPARE(int(turned.at<uchar>(60, 200)), 0);

    // Anticlockwise on screen: the row rises to the right, about 150 x tan 5 degrees.
    auto brightestRow = [&turned](int x) {
        cv::Point at;
        cv::minMaxLoc(turned(cv::Rect(x, 40, 1, 120)), nullptr, nullptr, nullptr, &at);
        return 40 + at.y;
    };
    QVERIFY(qAbs(brightestRow(350) - 87) <= 1);
    QVERIFY(qAbs(brightestRow(50) - 113) <= 1);
}

void CanvasFileTest::deskewFailuresAreReported()
{
    const QString path = scene_->write(QStringLiteral("page.xyz"), patternPage(400, 200, 1));
    const QByteArray original = fileBytes(path);
    load(path);
    canvas_->showSelection(QRect(0, 0, 200, 50));
    canvas_->horizontalDialog = [](float *degrees) {
        *degrees = 1.0f;
        return true;
    };

    MessageBoxRecorder boxes;
    canvas_->correctHorizontal();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().text, QStringLiteral("无法保存图片：") + path);
    QCOMPARE(fileBytes(path), original);

    QVERIFY(QFile::remove(path));
    boxes.clear();
    canvas_->correctHorizontal();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().text, QStringLiteral("无法读取图片：") + path);
}

QTEST_MAIN(CanvasFileTest)
#include "canvasfile_test.moc"
