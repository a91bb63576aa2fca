// A subjective block that cannot be written (a full disk, something in the
// way) is a failure whose message names the file and the system's reason.

#include "subjectcutter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <opencv2/core.hpp>

class SubjectWriteTest : public QObject {
    Q_OBJECT
private slots:
    void testWriteFailureNamed_data();
    void testWriteFailureNamed();
};

void SubjectWriteTest::testWriteFailureNamed_data()
{
    QTest::addColumn<QString>("blocker");   // what stands where the file goes
    QTest::addColumn<QString>("reason");    // the system's words
    // A link to the device that is always full: the write runs out of room.
    QTest::newRow("full disk") << "full" << QStringLiteral("No space left on device");
    QTest::newRow("folder in the way") << "folder" << QString();
}

void SubjectWriteTest::testWriteFailureNamed()
{
    QFETCH(QString, blocker);
    QFETCH(QString, reason);
    if (blocker == QLatin1String("full") && !QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("this system has no /dev/full");
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("2026001-1-3.png"));
    if (blocker == QLatin1String("full"))
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), target));
    else
        QVERIFY(QDir().mkdir(target));

    cv::Mat page(400, 300, CV_8UC1);
    cv::randu(page, 0, 256);
    bool ok = true;
    QString message;
    cutSubjectImage(page, dir.path(), QStringLiteral("2026001"), 1, 3, 10, 10, 200, 300, 0, 0,
                    QStringLiteral("png"), {}, false, 1.0f, ok, message);
    QVERIFY(!ok);
    const QString head = QStringLiteral("考号：2026001 页：1 块：3 主观题图片无法写入文件 %1：").arg(target);
    QVERIFY2(message.startsWith(head), qPrintable(message));
    QVERIFY2(message.size() > head.size(), "no reason given");
    if (!reason.isEmpty())
        QVERIFY2(message.endsWith(reason), qPrintable(message));
}

QTEST_GUILESS_MAIN(SubjectWriteTest)
#include "subjectwrite_test.moc"
