#include "imageconvert.h"
#include "subjectcutter.h"
#include "testutil.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <atomic>
#include <thread>
#include <vector>

namespace {

const QString kCode = QStringLiteral("20240101");
const int kPage = 2;
const int kBlock = 7;
const QPoint kOrigin(20, 10);

QString widthMessage(int over)
{
    return QStringLiteral("考号：%1 页：%2 块：%3 主观题图片切割时超出纠正后图片的【宽度】范围，已被自动缩小宽度，缩小值：%4。请查看相应页块图片，如不可用，可能需要重新制作模板。本提示过多，建议重新制作模板，调整相应主观题范围。")
        .arg(kCode).arg(kPage).arg(kBlock).arg(over);
}

QString heightMessage(int over)
{
    return QStringLiteral("考号：%1 页：%2 块：%3 主观题图片切割时超出纠正后图片的【高度】范围，已被自动缩小高度，缩小值：%4。请查看相应页块图片，如不可用，可能需要重新制作模板。本提示过多，建议重新制作模板，调整相应主观题范围")
        .arg(kCode).arg(kPage).arg(kBlock).arg(over);
}

QString leftMessage()
{
    return QStringLiteral("考号：%1 页：%2 块：%3 主观题图片切割时发生错误。错误原因可能是【定位异常】或者 【做模板时主观题切割太靠近图片左边缘】。请检查。")
        .arg(kCode).arg(kPage).arg(kBlock);
}

QString topMessage()
{
    return QStringLiteral("考号：%1 页：%2 块：%3 主观题图片切割时发生错误。错误原因可能是【定位异常】或者 【做模板时主观题切割太靠近图片上边缘】。请检查。")
        .arg(kCode).arg(kPage).arg(kBlock);
}

QString unknownMessage()
{
    return QStringLiteral("考号：%1 页：%2 块：%3 主观题图片切割时发生未知错误，请检查相关答卷图片。")
        .arg(kCode).arg(kPage).arg(kBlock);
}

// 400 x 300 page with a pattern that makes every position distinguishable.
cv::Mat patternPage()
{
    cv::Mat page(300, 400, CV_8UC1);
    for (int r = 0; r < page.rows; ++r)
        for (int c = 0; c < page.cols; ++c)
            page.at<uchar>(r, c) = uchar((r * 7 + c * 3) % 251);
    return page;
}

} // namespace

class SubjectCutterTest : public QObject
{
    Q_OBJECT

private slots:
    void testConcurrentFirstConversion();
    void testCut_data();
    void testCut();
    void testScale_data();
    void testScale();
    void testBinarise_data();
    void testBinarise();
    void testWriteFailure();
    void testMatToQImage_data();
    void testMatToQImage();
    void testMatToQImageUnsupported_data();
    void testMatToQImageUnsupported();
};

void SubjectCutterTest::testConcurrentFirstConversion()
{
    // The first conversions of the process, from several threads at once,
    // all get the complete grey table.
    cv::Mat grey(4, 4, CV_8UC1, cv::Scalar(200));
    std::atomic<int> good{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            while (!go.load()) {
            }
            const QImage image = matToQImage(grey);
            const QVector<QRgb> table = image.colorTable();
            if (table.size() == 256 && table.at(0) == 0xFF000000u && table.at(255) == 0xFFFFFFFFu
                && image.pixel(1, 1) == qRgb(200, 200, 200))
                ++good;
        });
    }
    go = true;
    for (std::thread &t : threads)
        t.join();
    QCOMPARE(good.load(), 8);
}

void SubjectCutterTest::testCut_data()
{
    QTest::addColumn<QRect>("block");           // page coordinates (origin added)
    QTest::addColumn<QSize>("written");          // empty: no file
    QTest::addColumn<QStringList>("messages");

    // Page 400 x 300.
    QTest::newRow("inside") << QRect(50, 40, 100, 80) << QSize(100, 80) << QStringList();
    QTest::newRow("one short of the right edge") << QRect(299, 40, 100, 80) << QSize(100, 80) << QStringList();
    QTest::newRow("ends on the right edge") << QRect(300, 40, 100, 80) << QSize(99, 80)
                                            << QStringList{widthMessage(1)};
    QTest::newRow("beyond the right edge") << QRect(350, 40, 100, 80) << QSize(49, 80)
                                           << QStringList{widthMessage(51)};
    QTest::newRow("ends on the bottom edge") << QRect(50, 220, 100, 80) << QSize(100, 79)
                                             << QStringList{heightMessage(1)};
    QTest::newRow("right and bottom") << QRect(320, 250, 100, 80) << QSize(79, 49)
                                      << QStringList{widthMessage(21), heightMessage(31)};
    QTest::newRow("left of the page") << QRect(-5, 40, 100, 80) << QSize() << QStringList{leftMessage()};
    QTest::newRow("left of the page and bottom") << QRect(-5, 250, 100, 80) << QSize()
                                                 << QStringList{heightMessage(31), leftMessage()};
    QTest::newRow("above the page") << QRect(50, -3, 100, 80) << QSize() << QStringList{topMessage()};
    QTest::newRow("left and above") << QRect(-1, -1, 100, 80) << QSize() << QStringList{leftMessage()};
    QTest::newRow("starts on the last column") << QRect(399, 40, 100, 80) << QSize()
                                               << QStringList{widthMessage(100), unknownMessage()};
    QTest::newRow("starts beyond the page") << QRect(420, 40, 100, 80) << QSize()
                                            << QStringList{widthMessage(121), unknownMessage()};
    QTest::newRow("starts on the last row") << QRect(50, 299, 100, 80) << QSize()
                                            << QStringList{heightMessage(80), unknownMessage()};
    QTest::newRow("no width") << QRect(50, 40, 0, 80) << QSize() << QStringList{unknownMessage()};
    QTest::newRow("negative height") << QRect(50, 40, 100, -4) << QSize() << QStringList{unknownMessage()};
}

void SubjectCutterTest::testCut()
{
    QFETCH(QRect, block);
    QFETCH(QSize, written);
    QFETCH(QStringList, messages);

    cv::Mat page = patternPage();
    const cv::Mat before = page.clone();
    QTemporaryDir dir;
    bool ok = false;
    QString message;
    const QString path = cutSubjectImage(page, dir.path(), kCode, kPage, kBlock, block.x() - kOrigin.x(),
                                         block.y() - kOrigin.y(), block.width(), block.height(), kOrigin.x(),
                                         kOrigin.y(), QStringLiteral("png"), {cv::IMWRITE_PNG_COMPRESSION, 3},
                                         false, 1.0f, ok, message);

    QCOMPARE(message, messages.join(QLatin1Char('\n')));
    QCOMPARE(TestUtil::differingPixels(page, before), 0);
    if (written.isEmpty()) {
        QVERIFY(path.isEmpty());
        QVERIFY(!ok);
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
        return;
    }
    QCOMPARE(path, dir.path() + QStringLiteral("/20240101-2-7.png"));
    QVERIFY(ok);
    const cv::Mat file = TestUtil::readGrey(path);
    QCOMPARE(file.cols, written.width());
    QCOMPARE(file.rows, written.height());
    // Lossless: the file holds exactly the block's pixels.
    const cv::Rect expected(block.x(), block.y(), written.width(), written.height());
    QCOMPARE(TestUtil::differingPixels(file, page(expected)), 0);
}

void SubjectCutterTest::testScale_data()
{
    QTest::addColumn<QSize>("block");
    QTest::addColumn<float>("scale");
    QTest::addColumn<QSize>("written");          // empty: refused

    QTest::newRow("half of 301 x 201") << QSize(301, 201) << 0.5f << QSize(150, 100);
    QTest::newRow("scale 1 keeps the size") << QSize(301, 201) << 1.0f << QSize(301, 201);
    QTest::newRow("scale above 1 keeps the size") << QSize(120, 80) << 1.5f << QSize(120, 80);
    QTest::newRow("scaled to nothing") << QSize(3, 3) << 0.2f << QSize();
    QTest::newRow("zero scale") << QSize(120, 80) << 0.0f << QSize();
}

void SubjectCutterTest::testScale()
{
    QFETCH(QSize, block);
    QFETCH(float, scale);
    QFETCH(QSize, written);

    cv::Mat page = patternPage();
    QTemporaryDir dir;
    bool ok = false;
    QString message;
    const QString path = cutSubjectImage(page, dir.path(), kCode, kPage, kBlock, 10, 5, block.width(),
                                         block.height(), kOrigin.x(), kOrigin.y(), QStringLiteral("jpg"),
                                         {cv::IMWRITE_JPEG_QUALITY, 80}, false, scale, ok, message);
    if (written.isEmpty()) {
        QVERIFY(path.isEmpty());
        QVERIFY(!ok);
        QCOMPARE(message, unknownMessage());
        return;
    }
    QVERIFY(ok);
    QVERIFY(message.isEmpty());
    QCOMPARE(path, dir.path() + QStringLiteral("/20240101-2-7.jpg"));
    const cv::Mat file = TestUtil::readGrey(path);
    QCOMPARE(file.cols, written.width());
    QCOMPARE(file.rows, written.height());
}

void SubjectCutterTest::testBinarise_data()
{
    QTest::addColumn<float>("scale");
    QTest::addColumn<bool>("pageChanged");

    QTest::newRow("without scaling, into the page") << 1.0f << true;
    QTest::newRow("scaled, page untouched") << 0.5f << false;
}

void SubjectCutterTest::testBinarise()
{
    QFETCH(float, scale);
    QFETCH(bool, pageChanged);

    // Grey handwriting on grey paper.
    cv::Mat page(300, 400, CV_8UC1, cv::Scalar(210));
    cv::putText(page, "x = 42", cv::Point(120, 150), cv::FONT_HERSHEY_SIMPLEX, 1.5, cv::Scalar(70), 3);
    const cv::Mat before = page.clone();
    const cv::Rect block(100, 100, 200, 80);

    QTemporaryDir dir;
    bool ok = false;
    QString message;
    const QString path = cutSubjectImage(page, dir.path(), kCode, kPage, kBlock, block.x - kOrigin.x(),
                                         block.y - kOrigin.y(), block.width, block.height, kOrigin.x(),
                                         kOrigin.y(), QStringLiteral("png"), {}, true, scale, ok, message);
    QVERIFY(ok);
    QVERIFY(message.isEmpty());
    const cv::Mat file = TestUtil::readGrey(path);
    QCOMPARE(cv::countNonZero((file != 0) & (file != 255)), 0);
    QVERIFY(cv::countNonZero(file == 0) > 0);

    const cv::Mat cut = page(block);
    if (pageChanged) {
        QCOMPARE(TestUtil::differingPixels(file, cut), 0);
        QCOMPARE(cv::countNonZero((cut != 0) & (cut != 255)), 0);
    } else {
        QCOMPARE(TestUtil::differingPixels(page, before), 0);
    }
    // Outside the block the page is never touched.
    cv::Mat outside = page.clone();
    before(block).copyTo(outside(block));
    QCOMPARE(TestUtil::differingPixels(outside, before), 0);
}

void SubjectCutterTest::testWriteFailure()
{
    cv::Mat page = patternPage();
    QTemporaryDir dir;

    // A folder that does not exist: the write is tried and fails; the path still comes back.
    bool ok = true;
    QString message;
    const QString missing = dir.filePath(QStringLiteral("absent"));
    QCOMPARE(cutSubjectImage(page, missing, kCode, kPage, kBlock, 10, 10, 50, 50, kOrigin.x(), kOrigin.y(),
                             QStringLiteral("png"), {}, false, 1.0f, ok, message),
             missing + QStringLiteral("/20240101-2-7.png"));
    QVERIFY(!ok);
    // The log names the file and the system's reason.
    QVERIFY2(message.startsWith(QStringLiteral("考号：20240101 页：2 块：7 主观题图片无法写入文件 %1/20240101-2-7.png：")
                                    .arg(missing)),
             qPrintable(message));

    // A format OpenCV cannot write: the unknown-error path, ok left as set.
    ok = false;
    message.clear();
    QVERIFY(cutSubjectImage(page, dir.path(), kCode, kPage, kBlock, 10, 10, 50, 50, kOrigin.x(), kOrigin.y(),
                            QStringLiteral("nosuchformat"), {}, false, 1.0f, ok, message)
                .isEmpty());
    QVERIFY(!ok);
    QCOMPARE(message, unknownMessage());

    // Existing text is kept and the new message follows on its own line.
    message = QStringLiteral("earlier");
    QVERIFY(cutSubjectImage(page, dir.path(), kCode, kPage, kBlock, -30, 10, 50, 50, kOrigin.x(), kOrigin.y(),
                            QStringLiteral("png"), {}, false, 1.0f, ok, message)
                .isEmpty());
    QCOMPARE(message, QStringLiteral("earlier\n") + leftMessage());
}

void SubjectCutterTest::testMatToQImage_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("sharesBuffer");

    QTest::newRow("grey") << CV_8UC1 << int(QImage::Format_Indexed8) << true;
    QTest::newRow("colour") << CV_8UC3 << int(QImage::Format_RGB888) << false;
    QTest::newRow("colour with alpha") << CV_8UC4 << int(QImage::Format_RGB32) << true;
}

void SubjectCutterTest::testMatToQImage()
{
    QFETCH(int, type);
    QFETCH(int, format);
    QFETCH(bool, sharesBuffer);

    // A region of a larger image: rows are padded, so bytes per line matter.
    cv::Mat whole(40, 64, type, cv::Scalar(10, 20, 30, 255));
    cv::Mat image = whole(cv::Rect(3, 5, 21, 17));
    image.at<uchar>(2, 4 * image.channels()) = 200;   // first channel of pixel (row 2, column 4)

    const QImage converted = matToQImage(image);
    QCOMPARE(int(converted.format()), format);
    QCOMPARE(converted.width(), 21);
    QCOMPARE(converted.height(), 17);
    QCOMPARE(converted.constBits() == image.data, sharesBuffer);

    switch (type) {
    case CV_8UC1:
        QCOMPARE(converted.colorTable().size(), 256);
        QCOMPARE(converted.pixel(0, 0), qRgb(10, 10, 10));
        QCOMPARE(converted.pixel(4, 2), qRgb(200, 200, 200));
        QCOMPARE(converted.colorTable().at(128), QRgb(0xFF808080u));
        break;
    case CV_8UC3:
        // Blue-green-red becomes red-green-blue.
        QCOMPARE(converted.pixel(0, 0), qRgb(30, 20, 10));
        QCOMPARE(converted.pixel(4, 2), qRgb(30, 20, 200));
        break;
    case CV_8UC4:
        QCOMPARE(converted.pixel(0, 0), qRgb(30, 20, 10));
        QCOMPARE(converted.pixel(4, 2), qRgb(30, 20, 200));
        break;
    }
}

void SubjectCutterTest::testMatToQImageUnsupported_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("debugLine");

    QTest::newRow("16-bit grey") << CV_16UC1 << "Image format is not supported: depth=2 and 1 channels\n";
    QTest::newRow("float colour") << CV_32FC3 << "Image format is not supported: depth=5 and 3 channels\n";
    QTest::newRow("8-bit two channels") << CV_8UC2 << "Image format is not supported: depth=0 and 2 channels\n";
}

void SubjectCutterTest::testMatToQImageUnsupported()
{
    QFETCH(int, type);
    QFETCH(QString, debugLine);

    cv::Mat image(8, 8, type, cv::Scalar::all(1));
    QTest::ignoreMessage(QtDebugMsg, debugLine.toUtf8().constData());
    QVERIFY(matToQImage(image).isNull());
    QVERIFY(matToQImage(cv::Mat()).isNull());
}

QTEST_APPLESS_MAIN(SubjectCutterTest)
#include "subjectcutter_test.moc"
