#include "dialogprinttextanchor.h"
#include "ui_dialogprinttextanchor.h"

#include "messagebox.h"
#include "mylabel.h"
#include "selectioncrop.h"

#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <opencv2/features2d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <vector>

namespace {
const char kTitle[] = "提示";
const QColor kFill(0, 204, 255, 128);
const QColor kHandle(0, 0, 255);
} // namespace

// ---- MyROIWidget

MyROIWidget::MyROIWidget(MyLabelPrintTextAnchor *label)
    : QWidget(label)
{
    setMouseTracking(true);
}

QSize MyROIWidget::imageSize() const
{
    auto *label = qobject_cast<MyLabelPrintTextAnchor *>(parentWidget());
    return label ? label->image.size() : QSize();
}

bool MyROIWidget::inHandle(const QPoint &pos) const
{
    return pos.x() > width() - kHandleSize && pos.y() > height() - kHandleSize;
}

void MyROIWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    pressPoint = event->pos();
    if (inHandle(event->pos())) {
        resizing = true;
        sizeOffset = event->pos() - QPoint(width(), height());
    }
}

void MyROIWidget::mouseReleaseEvent(QMouseEvent *)
{
    resizing = false;
}

void MyROIWidget::mouseMoveEvent(QMouseEvent *event)
{
    const QSize bounds = imageSize();
    const bool leftHeld = event->buttons() & Qt::LeftButton;
    if (resizing) {
        if (!leftHeld)
            return;
        int w = std::min(event->pos().x() - sizeOffset.x(), bounds.width() - x());
        int h = std::min(event->pos().y() - sizeOffset.y(), bounds.height() - y());
        resize(std::max(w, 0), std::max(h, 0));
        return;
    }
    setCursor(inHandle(event->pos()) ? Qt::SizeFDiagCursor : Qt::SizeAllCursor);
    if (!leftHeld)
        return;
    QPoint topLeft = mapToParent(event->pos() - pressPoint);
    topLeft.setX(std::max(topLeft.x(), 0));
    topLeft.setY(std::max(topLeft.y(), 0));
    if (topLeft.x() + width() > bounds.width())
        topLeft.setX(std::max(bounds.width() - width(), 0));
    if (topLeft.y() + height() > bounds.height())
        topLeft.setY(std::max(bounds.height() - height(), 0));
    move(topLeft);
}

void MyROIWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(QPen(kFill, 1));
    painter.setBrush(kFill);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.fillRect(QRect(width() - kHandleSize, height() - kHandleSize, kHandleSize, kHandleSize), kHandle);
}

// ---- MyLabelPrintTextAnchor

MyLabelPrintTextAnchor::MyLabelPrintTextAnchor(QWidget *parent)
    : QLabel(parent)
{
}

void MyLabelPrintTextAnchor::showImage()
{
    if (!image.isNull())
        setPixmap(QPixmap::fromImage(image));
}

void MyLabelPrintTextAnchor::mousePressEvent(QMouseEvent *event)
{
    const QPoint p = event->pos();
    if (event->button() != Qt::LeftButton || p.x() < 0 || p.y() < 0 || p.x() >= image.width()
        || p.y() >= image.height())
        return;
    pressPoint = currentPoint = p;
    if (!roi)
        roi = new MyROIWidget(this);
    setCursor(Qt::CrossCursor);
}

void MyLabelPrintTextAnchor::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint p = event->pos();
    if (!(event->buttons() & Qt::LeftButton) || !roi || p.x() > image.width() || p.y() > image.height())
        return;
    currentPoint = QPoint(std::clamp(p.x(), 0, image.width() - 1), std::clamp(p.y(), 0, image.height() - 1));
    // Both corners are pixels of the rectangle.
    roi->setGeometry(QRect(QPoint(std::min(pressPoint.x(), currentPoint.x()), std::min(pressPoint.y(), currentPoint.y())),
                           QPoint(std::max(pressPoint.x(), currentPoint.x()), std::max(pressPoint.y(), currentPoint.y()))));
    roi->show();
}

// ---- DialogPrintTextAnchor

DialogPrintTextAnchor::DialogPrintTextAnchor(MyLabel *canvas)
    : QDialog(canvas)
    , ui(new Ui::DialogPrintTextAnchor)
    , canvas_(canvas)
{
    ui->setupUi(this);
    setWindowFlags((windowFlags() & ~Qt::WindowContextHelpButtonHint) | Qt::Window | Qt::WindowMaximizeButtonHint
                   | Qt::WindowCloseButtonHint);
    labelImage = ui->labelImage;
    ui->scrollArea->setWidget(labelImage);
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogPrintTextAnchor::accept);

    if (canvas && !canvas->imagePath.isEmpty()) {
        // OK reports an unreadable page or a selection off the page.
        labelImage->image = SelectionCrop::cut(canvas, nullptr, nullptr);
    }
}

DialogPrintTextAnchor::~DialogPrintTextAnchor()
{
    delete ui;
}

void DialogPrintTextAnchor::warn(const QString &text)
{
    MessageBox::warning(this, QString::fromUtf8(kTitle), text);
}

int DialogPrintTextAnchor::otsuThreshold(const cv::Mat &grey)
{
    if (grey.empty() || grey.type() != CV_8UC1)
        return 0;
    long long count[256] = {};
    for (int r = 0; r < grey.rows; ++r) {
        const uchar *row = grey.ptr<uchar>(r);
        for (int c = 0; c < grey.cols; ++c)
            ++count[row[c]];
    }
    const float total = float(grey.total());
    float p[256];
    float mean = 0.0f;
    for (int i = 0; i < 256; ++i) {
        p[i] = float(count[i]) / total;
        mean += float(i) * p[i];
    }

    float best = 0.0f;
    int bestT = 0;
    float w0 = 0.0f, s0 = 0.0f;
    long long n0 = 0;
    for (int t = 0; t < 256; ++t) {
        w0 += p[t];
        s0 += float(t) * p[t];
        n0 += count[t];
        if (n0 == 0 || n0 == (long long)grey.total())
            continue;   // one class empty: no variance
        float w1 = 0.0f, s1 = 0.0f;
        for (int i = t + 1; i < 256; ++i) {
            w1 += p[i];
            s1 += float(i) * p[i];
        }
        const float m0 = s0 / w0;
        const float m1 = s1 / w1;
        const double d0 = double(m0) - double(mean);
        const double d1 = double(m1) - double(mean);
        const float variance = float(double(w0) * d0 * d0 + double(w1) * d1 * d1);
        if (variance > best) {
            best = variance;
            bestT = t;
        }
    }
    return bestT;
}

int DialogPrintTextAnchor::binarise(cv::Mat &patch)
{
    const int t = otsuThreshold(patch);
    // Very light patches would lose their faint strokes at a high threshold.
    const int threshold = t >= 200 ? 180 : t;
    cv::threshold(patch, patch, threshold, 255, cv::THRESH_BINARY);
    return threshold;
}

bool DialogPrintTextAnchor::checkFeatures(const cv::Mat &patch, QString *message)
{
    std::vector<cv::KeyPoint> keypoints;
    try {
        cv::Ptr<cv::ORB> orb = cv::ORB::create(2000, 1.05f, 2, 3, 0, 2, cv::ORB::HARRIS_SCORE, 31, 20);
        cv::Mat descriptors;
        orb->detectAndCompute(patch, cv::noArray(), keypoints, descriptors);
    } catch (const cv::Exception &) {
        keypoints.clear();
    }
    if (int(keypoints.size()) >= kMinKeypoints)
        return true;
    if (message)
        *message = QStringLiteral("特征系数不能小于 %1 ，当前值为 %2").arg(kMinKeypoints).arg(keypoints.size());
    return false;
}

void DialogPrintTextAnchor::accept()
{
    const QString path = canvas_ ? canvas_->imagePath : QString();
    cv::Mat page;
    if (!path.isEmpty()) {
        try {
            page = cv::imread(QFile::encodeName(path).toStdString(), cv::IMREAD_GRAYSCALE);
        } catch (const cv::Exception &) {
            page = cv::Mat();
        }
    }
    if (page.empty()) {
        warn(QStringLiteral("无法读取页面图片：%1").arg(path));
        return;
    }
    const QRect region = SelectionCrop::region(canvas_, QSize(page.cols, page.rows));
    if (region.isEmpty()) {
        warn(QStringLiteral("选择区域不在页面图片内，请重新选择。"));
        return;
    }

    MyROIWidget *roi = labelImage->roi;
    if (!roi || roi->width() < 1 || roi->height() < 1)
        return;
    const QRect r = roi->geometry();
    if (r.width() < r.height()) {
        if (r.width() < kMinShortSide || r.height() < kMinLongSide) {
            warn(QStringLiteral("印刷文字区域 宽 * 高 不能小于 %1 * %2 ").arg(kMinShortSide).arg(kMinLongSide));
            return;
        }
    } else if (r.width() < kMinLongSide || r.height() < kMinShortSide) {
        warn(QStringLiteral("印刷文字区域 宽 * 高 不能小于 %1 * %2 ").arg(kMinLongSide).arg(kMinShortSide));
        return;
    }
    // The page file may have changed since the region was shown.
    if (!QRect(QPoint(0, 0), region.size()).contains(r)) {
        warn(QStringLiteral("文字区域超出了页面图片，请重新选择。"));
        return;
    }

    patch = page(cv::Rect(region.x() + r.x(), region.y() + r.y(), r.width(), r.height())).clone();
    binarise(patch);
    QString message;
    if (!checkFeatures(patch, &message)) {
        warn(message);
        return;
    }
    textRect = r;
    QDialog::accept();
}
