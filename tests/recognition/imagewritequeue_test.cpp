// The item image writer of a recognition worker: what was queued is on disk
// after a drain, in the order queued, and a failed file stops nothing.

#include "imagewritequeue.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/imgcodecs.hpp>

namespace {

cv::Mat patch(int width, int height, int grey)
{
    return cv::Mat(height, width, CV_8UC1, cv::Scalar(grey));
}

} // namespace

class ImageWriteQueueTest : public QObject {
    Q_OBJECT
private slots:
    void testDrainWaitsForEveryFile();
    void testFailedWritesStopNothing();
    void testDestructionWritesWhatIsQueued();
};

void ImageWriteQueueTest::testDrainWaitsForEveryFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ImageWriteQueue queue;
    const int count = 150;
    for (int i = 0; i < count; ++i) {
        const QString base = dir.filePath(QStringLiteral("题-%1").arg(i));
        queue.write(base + QStringLiteral("-o.jpg"), patch(40 + i, 20, 128), {cv::IMWRITE_JPEG_QUALITY, 60});
        queue.write(base + QStringLiteral("-b.png"), patch(40 + i, 20, 0), {cv::IMWRITE_PNG_COMPRESSION, 5});
    }
    // The same file twice: the later image is the one left.
    queue.write(dir.filePath(QStringLiteral("same.png")), patch(5, 5, 10), {});
    queue.write(dir.filePath(QStringLiteral("same.png")), patch(7, 3, 200), {});
    queue.drain();

    for (int i = 0; i < count; ++i) {
        const QString base = dir.filePath(QStringLiteral("题-%1").arg(i));
        QCOMPARE(TestUtil::readGrey(base + QStringLiteral("-o.jpg")).cols, 40 + i);
        QCOMPARE(TestUtil::readGrey(base + QStringLiteral("-b.png")).cols, 40 + i);
    }
    const cv::Mat same = TestUtil::readGrey(dir.filePath(QStringLiteral("same.png")));
    QCOMPARE(same.cols, 7);
    QCOMPARE(int(same.at<uchar>(0, 0)), 200);

    // A drain with nothing queued returns at once, and the queue goes on.
    queue.drain();
    queue.write(dir.filePath(QStringLiteral("later.png")), patch(3, 3, 0), {});
    queue.drain();
    QVERIFY(!TestUtil::readGrey(dir.filePath(QStringLiteral("later.png"))).empty());
}

void ImageWriteQueueTest::testFailedWritesStopNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ImageWriteQueue queue;
    queue.write(dir.filePath(QStringLiteral("missing/a.png")), patch(4, 4, 0), {});   // no such folder
    queue.write(dir.filePath(QStringLiteral("a.unknown")), patch(4, 4, 0), {});       // OpenCV throws
    queue.write(dir.filePath(QStringLiteral("empty.png")), cv::Mat(), {});            // OpenCV throws
    queue.write(dir.filePath(QStringLiteral("b.png")), patch(6, 4, 0), {});
    if (QFile::exists(QStringLiteral("/dev/full"))) {   // a disk with no room left
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), dir.filePath(QStringLiteral("full.png"))));
        queue.write(dir.filePath(QStringLiteral("full.png")), patch(40, 40, 0), {});
    }
    queue.drain();
    QCOMPARE(TestUtil::readGrey(dir.filePath(QStringLiteral("b.png"))).cols, 6);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("a.unknown"))));

    // Each failure is kept with its file and reason, once.
    const QStringList failures = queue.takeFailures();
    QCOMPARE(failures.size(), QFile::exists(QStringLiteral("/dev/full")) ? 4 : 3);
    QVERIFY(failures.at(0).startsWith(dir.filePath(QStringLiteral("missing/a.png")) + QStringLiteral("：")));
    QVERIFY(failures.at(1).startsWith(dir.filePath(QStringLiteral("a.unknown")) + QStringLiteral("：图片无法编码")));
    if (failures.size() == 4)
        QVERIFY2(failures.at(3).endsWith(QStringLiteral("No space left on device")), qPrintable(failures.at(3)));
    QVERIFY(queue.takeFailures().isEmpty());
}

void ImageWriteQueueTest::testDestructionWritesWhatIsQueued()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    {
        ImageWriteQueue queue;
        for (int i = 0; i < 50; ++i)
            queue.write(dir.filePath(QStringLiteral("%1.png").arg(i)), patch(10, 10, i), {});
    }
    for (int i = 0; i < 50; ++i)
        QVERIFY(!TestUtil::readGrey(dir.filePath(QStringLiteral("%1.png").arg(i))).empty());
    {
        ImageWriteQueue unused;   // never started a thread; ends without one
    }
}

QTEST_GUILESS_MAIN(ImageWriteQueueTest)
#include "imagewritequeue_test.moc"
