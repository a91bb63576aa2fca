// Reading page files: rendered sheets cut off at several points are refused
// with a message, whole ones in every scanner format still read.

#include "pageimage.h"
#include "sheetrenderer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>

namespace {

// One rendered, marked page, the same for every row.
const cv::Mat &renderedPage()
{
    static const cv::Mat page = [] {
        const SheetRenderer renderer(SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 1, 150));
        StudentMarks marks = StudentMarks::random(renderer.spec(), 3);
        marks.scribbles = true;
        return renderer.renderPage(0, marks);
    }();
    return page;
}

QByteArray encoded(const QByteArray &ext, const std::vector<int> &params = {})
{
    std::vector<uchar> buf;
    cv::imencode(ext.toStdString(), renderedPage(), buf, params);
    return QByteArray(reinterpret_cast<const char *>(buf.data()), int(buf.size()));
}

// A comment segment holding an end marker, right after the start marker: a
// search for the marker would take a file cut anywhere later for whole.
QByteArray withEndMarkerInComment(const QByteArray &jpeg)
{
    const QByteArray comment = QByteArray::fromHex("fffe0008") + QByteArray::fromHex("ffd9ffd9ffd9");
    return jpeg.left(2) + comment + jpeg.mid(2);
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return QString();
    return path;
}

} // namespace

class PageImageTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void testCutPagesRefused_data();
    void testCutPagesRefused();
    void testWholePagesRead_data();
    void testWholePagesRead();
    void testMissingFile();

private:
    QTemporaryDir m_dir;
};

void PageImageTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(!renderedPage().empty());
}

void PageImageTest::testCutPagesRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");   // empty: the decoder itself refuses

    const QString jpegCut = QStringLiteral("JPEG 数据缺少结束标记");
    const QString pngCut = QStringLiteral("PNG 数据缺少结束块");
    const QByteArray jpeg = encoded(".jpg", {cv::IMWRITE_JPEG_QUALITY, 85});
    const QByteArray progressive = encoded(".jpg", {cv::IMWRITE_JPEG_PROGRESSIVE, 1});
    const QByteArray png = encoded(".png");
    const QByteArray bmp = encoded(".bmp");
    const QByteArray tiff = encoded(".tif");
    for (double share : {0.1, 0.5, 0.95}) {
        const QByteArray tag = " at " + QByteArray::number(int(share * 100)) + "%";
        auto row = [&](const char *format) -> QTestData & { return QTest::newRow((QByteArray(format) + tag).constData()); };
        row("JPEG") << jpeg.left(int(jpeg.size() * share)) << jpegCut;
        row("progressive JPEG") << progressive.left(int(progressive.size() * share)) << jpegCut;
        row("PNG") << png.left(int(png.size() * share)) << pngCut;
        row("BMP") << bmp.left(int(bmp.size() * share)) << QString();
        row("TIFF") << tiff.left(int(tiff.size() * share)) << QString();
    }
    QTest::newRow("JPEG without its last byte") << jpeg.left(jpeg.size() - 1) << jpegCut;
    QTest::newRow("JPEG cut, padded with zeros") << jpeg.left(jpeg.size() - 2) + QByteArray(64, '\0') << jpegCut;
    QTest::newRow("JPEG with an end marker in a comment, cut")
        << withEndMarkerInComment(jpeg).left(jpeg.size() / 2) << jpegCut;
    QTest::newRow("JPEG headers only") << jpeg.left(600) << jpegCut;
    QTest::newRow("PNG without its end chunk") << png.left(png.size() - 12) << pngCut;
    QTest::newRow("PNG end chunk cut") << png.left(png.size() - 3) << pngCut;
    QTest::newRow("PNG signature only") << png.left(8) << pngCut;
}

void PageImageTest::testCutPagesRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);

    const QString path = writeFile(m_dir, QStringLiteral("页面 %1").arg(QTest::currentDataTag()), bytes);
    QVERIFY(!path.isEmpty());
    for (int flags : {int(cv::IMREAD_GRAYSCALE), int(cv::IMREAD_COLOR)}) {
        QString error;
        QVERIFY(readPageImage(path, flags, &error).empty());
        if (reason.isEmpty())
            QCOMPARE(error, QStringLiteral("答卷图片读取失败：%1").arg(path));
        else
            QCOMPARE(error, QStringLiteral("答卷图片文件不完整（%1），可能在传输或保存时被截断：%2").arg(reason, path));
    }
}

void PageImageTest::testWholePagesRead_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("tolerance");     // grey levels a lossy format may move

    const QByteArray jpeg = encoded(".jpg", {cv::IMWRITE_JPEG_QUALITY, 85});
    QTest::newRow("JPEG") << jpeg << 60;
    QTest::newRow("progressive JPEG") << encoded(".jpg", {cv::IMWRITE_JPEG_PROGRESSIVE, 1}) << 60;
    QTest::newRow("JPEG with an end marker in a comment") << withEndMarkerInComment(jpeg) << 60;
    QTest::newRow("JPEG padded with zeros") << jpeg + QByteArray(300, '\0') << 60;
    QTest::newRow("JPEG padded with 0xFF") << jpeg + QByteArray(7, '\xff') << 60;
    QTest::newRow("JPEG with a trailer after its end") << jpeg + QByteArray("scanner trailer") << 60;
    QTest::newRow("PNG") << encoded(".png") << 0;
    QTest::newRow("BMP") << encoded(".bmp") << 0;
    QTest::newRow("TIFF") << encoded(".tif") << 0;
}

void PageImageTest::testWholePagesRead()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, tolerance);

    const QString path = writeFile(m_dir, QStringLiteral("整页 %1").arg(QTest::currentDataTag()), bytes);
    QVERIFY(!path.isEmpty());
    QString error;
    const cv::Mat grey = readPageImage(path, cv::IMREAD_GRAYSCALE, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(grey.type(), CV_8UC1);
    QCOMPARE(grey.size(), renderedPage().size());
    cv::Mat diff;
    cv::absdiff(grey, renderedPage(), diff);
    // Lossy formats move single pixels near edges; the page as a whole stays.
    QVERIFY(cv::countNonZero(diff > tolerance) < grey.total() / 1000);
    const cv::Mat colour = readPageImage(path, cv::IMREAD_COLOR, &error);
    QCOMPARE(colour.type(), CV_8UC3);
    QCOMPARE(colour.size(), grey.size());
}

void PageImageTest::testMissingFile()
{
    const QString path = m_dir.filePath(QStringLiteral("没有这个文件.jpg"));
    QString error;
    QVERIFY(readPageImage(path, cv::IMREAD_GRAYSCALE, &error).empty());
    QCOMPARE(error, QStringLiteral("答卷图片读取失败：%1").arg(path));
    const QString empty = writeFile(m_dir, QStringLiteral("empty.jpg"), QByteArray());
    QVERIFY(readPageImage(empty, cv::IMREAD_GRAYSCALE, &error).empty());
    QCOMPARE(error, QStringLiteral("答卷图片读取失败：%1").arg(empty));
}

QTEST_GUILESS_MAIN(PageImageTest)
#include "pageimage_test.moc"
