// The deskew line dialog: the angle of the line drawn on the page region,
// and the deskew the canvas makes with it.

#include "canvasfixture.h"
#include "dialoghorizontal.h"
#include "messagebox.h"
#include "widgettestutil.h"

#include <QPushButton>
#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace {

void drawLine(QWidget *label, QPoint from, QPoint to)
{
    sendMouse(label, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    sendMouse(label, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    sendMouse(label, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    sendMouse(label, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

// Mean row of the dark pixels of column x; -1 when there are none.
double darkRow(const cv::Mat &grey, int x)
{
    double sum = 0;
    int n = 0;
    for (int y = 0; y < grey.rows; ++y) {
        if (grey.at<uchar>(y, x) < 128) {
            sum += y;
            ++n;
        }
    }
    return n ? sum / n : -1.0;
}

} // namespace

class HorizontalTest : public QObject {
    Q_OBJECT
private slots:
    void lineAngle_data();
    void lineAngle();
    void dialogKeepsLastLine();
    void deskewThroughCanvas();
};

void HorizontalTest::lineAngle_data()
{
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<QString>("shown");

    QTest::newRow("falling right") << QPoint(0, 0) << QPoint(100, 10) << QStringLiteral("5.711");
    QTest::newRow("same line dragged back") << QPoint(100, 10) << QPoint(0, 0) << QStringLiteral("5.710");
    QTest::newRow("rising right") << QPoint(0, 10) << QPoint(100, 0) << QStringLiteral("-5.711");
    QTest::newRow("long, falling 3") << QPoint(0, 0) << QPoint(1000, 3) << QStringLiteral("0.172");
    QTest::newRow("long, rising 3") << QPoint(0, 3) << QPoint(1000, 0) << QStringLiteral("-0.172");
    QTest::newRow("level, right to left") << QPoint(100, 5) << QPoint(0, 5) << QStringLiteral("0.000");
    QTest::newRow("vertical down") << QPoint(5, 0) << QPoint(5, 100) << QStringLiteral("-90.000");
    QTest::newRow("vertical up") << QPoint(5, 100) << QPoint(5, 0) << QStringLiteral("90.000");
}

void HorizontalTest::lineAngle()
{
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(QString, shown);

    const float angle = MyLabelHorizontal::lineAngle(from, to);
    QCOMPARE(QString::number(double(angle), 'f', 3), shown);
    QVERIFY(angle >= -90.0f && angle <= 90.0f);
    // The line is measured the same when dragged on the label.
    MyLabelHorizontal label;
    label.resize(1200, 200);
    drawLine(&label, from, to);
    QCOMPARE(label.angle, angle);
    QCOMPARE(label.pressPoint, from);
    QCOMPARE(label.endPoint, to);
}

void HorizontalTest::dialogKeepsLastLine()
{
    CanvasScene scene;
    scene.canvas->loadImage(scene.writePage(QStringLiteral("页.png"), 600, 400), 1);
    scene.canvas->zoomIn();     // 1.1
    scene.canvas->showSelection(QRect(110, 55, 330, 220));

    DialogHorizontal dialog(scene.canvas);
    // The region under the selection at full resolution.
    QCOMPARE(dialog.labelImage->image.size(), QSize(300, 200));
    QCOMPARE(dialog.labelImage->image.convertToFormat(QImage::Format_Grayscale8),
             QImage(scene.canvas->imagePath).copy(100, 50, 300, 200).convertToFormat(QImage::Format_Grayscale8));

    // OK without a line gives 0.
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.angle, 0.0f);

    MyLabelHorizontal *label = dialog.labelImage;
    drawLine(label, QPoint(0, 0), QPoint(100, 10));
    const float drawn = label->angle;
    // A click without a drag shrinks the line to a point and keeps the angle.
    sendMouse(label, QEvent::MouseButtonPress, QPoint(40, 40), Qt::LeftButton, Qt::LeftButton);
    sendMouse(label, QEvent::MouseButtonRelease, QPoint(40, 40), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(label->pressPoint, QPoint(40, 40));
    QCOMPARE(label->endPoint, QPoint(40, 40));
    // Moving without the button changes nothing.
    sendMouse(label, QEvent::MouseMove, QPoint(90, 0), Qt::NoButton, Qt::NoButton);
    QCOMPARE(label->endPoint, QPoint(40, 40));
    // A right drag draws nothing.
    sendMouse(label, QEvent::MouseButtonPress, QPoint(10, 10), Qt::RightButton, Qt::RightButton);
    QCOMPARE(label->pressPoint, QPoint(40, 40));

    QCOMPARE(label->angle, drawn);
    dialog.accept();
    QCOMPARE(dialog.angle, drawn);

    // Without a page the placeholder stays.
    CanvasScene empty;
    DialogHorizontal none(empty.canvas);
    QCOMPARE(none.labelImage->text(), QStringLiteral("图片显示区"));
    QVERIFY(none.labelImage->image.isNull());
}

// The user selects a stretch of a slightly askew printed line, draws along
// it in the dialog the deskew command opens, and presses OK: the page file
// is rewritten with the line level.
void HorizontalTest::deskewThroughCanvas()
{
    cv::Mat page(500, 800, CV_8UC1, cv::Scalar(255));
    const double tilt = 2.0;    // degrees, falling to the right
    const int drop = int(std::lround(700 * std::tan(tilt * CV_PI / 180.0)));
    cv::line(page, cv::Point(50, 200), cv::Point(750, 200 + drop), cv::Scalar(0), 3);

    CanvasScene scene;
    const QString path = scene.write(QStringLiteral("页.png"), page);
    scene.canvas->loadImage(path, 1);
    scene.canvas->showSelection(QRect(40, 150, 720, 120));

    MessageBoxRecorder boxes;
    WidgetTest::WhenShown<DialogHorizontal> answer([drop](DialogHorizontal *dialog) {
        // The line in region pixels, placed where the label shows the region.
        const QPoint origin = dialog->labelImage->rect().center()
            - QRect(QPoint(0, 0), dialog->labelImage->image.size()).center();
        drawLine(dialog->labelImage, origin + QPoint(10, 50), origin + QPoint(710, 50 + drop));
        dialog->findChild<QPushButton *>(QStringLiteral("pushButtonOK"))->click();
    });
    scene.canvas->correctHorizontal();
    QVERIFY(answer.seen);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().text, QStringLiteral("校正成功"));

    const cv::Mat level = cv::imread(QFile::encodeName(path).toStdString(), cv::IMREAD_GRAYSCALE);
    QCOMPARE(level.cols, 800);
    QVERIFY2(std::fabs(darkRow(level, 700) - darkRow(level, 100)) <= 1.0,
             qPrintable(QStringLiteral("%1 %2").arg(darkRow(level, 100)).arg(darkRow(level, 700))));

    // Closing the dialog leaves the page as it was.
    boxes.clear();
    WidgetTest::WhenShown<DialogHorizontal> close([](DialogHorizontal *dialog) { dialog->reject(); });
    const QByteArray before = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    scene.canvas->correctHorizontal();
    QVERIFY(close.seen);
    QCOMPARE(boxes.count(), 0);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
}

QTEST_MAIN(HorizontalTest)
#include "horizontal_test.moc"
