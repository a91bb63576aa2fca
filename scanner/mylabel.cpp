#include "mylabel.h"

#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QKeyEvent>
#include <QSaveFile>
#include <QTransform>
#include <QWheelEvent>

#include <climits>

namespace {

constexpr float kZoomStep = 1.1f;
constexpr int kMaxZoomFactor = 5;
constexpr int kMinShownWidth = 300;

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

QImage readImage(const QString &path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.read();
}

} // namespace

bool rotateImageFile(const QString &path, int angle, int quality, QString *error)
{
    const QImage image = readImage(path);
    if (image.isNull())
        return fail(error, QStringLiteral("无法读取图片：%1").arg(path));
    const QImage turned = image.transformed(QTransform().rotate(angle), Qt::FastTransformation);

    const QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    if (!QImageWriter::supportedImageFormats().contains(format))
        return fail(error, QStringLiteral("无法保存图片：%1\n不支持的图片格式").arg(path));
    // The turned image goes to a temporary file beside the original, which
    // it replaces only once completely written.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return fail(error, QStringLiteral("无法保存图片：%1\n%2").arg(path, out.errorString()));
    QImageWriter writer(&out, format);
    writer.setQuality(quality);
    if (!writer.write(turned)) {
        out.cancelWriting();
        return fail(error, QStringLiteral("无法保存图片：%1\n%2").arg(path, writer.errorString()));
    }
    if (!out.commit())
        return fail(error, QStringLiteral("无法保存图片：%1\n%2").arg(path, out.errorString()));
    return true;
}

MyLabel::MyLabel(QWidget *parent) : QLabel(parent) {}

void MyLabel::showScaledToWidth(int width)
{
    shownImage = fullImage.scaledToWidth(qMax(1, width), Qt::FastTransformation);
    setPixmap(QPixmap::fromImage(shownImage));
}

void MyLabel::loadImage(const QString &path)
{
    if (!canLoad)
        return;
    canLoad = false;
    filePath = path;
    fullImage = readImage(path);
    if (fullImage.isNull()) {
        canLoad = true;
        return;
    }
    showScaledToWidth(int(float(fullImage.width()) * scale));
    canLoad = true;

    const QFileInfo info(path);
    if (info.exists() && info.isFile())
        emit signalRotate(fullImage.width(), fullImage.height(), int(qMin<qint64>(info.size(), INT_MAX)));
}

bool MyLabel::rotateImage(int angle, int quality)
{
    lastError.clear();
    if (!rotateImageFile(filePath, angle, quality, &lastError))
        return false;
    loadImage(filePath);
    return true;
}

void MyLabel::zoomIn()
{
    if (fullImage.isNull())
        return;
    const int width = int(float(fullImage.width()) * scale * kZoomStep);
    if (width > kMaxZoomFactor * fullImage.width())
        return;
    scale *= kZoomStep;
    showScaledToWidth(width);
}

void MyLabel::zoomOut()
{
    if (fullImage.isNull())
        return;
    const int width = int(scale * float(fullImage.width()) / kZoomStep);
    if (width < kMinShownWidth)
        return;
    scale /= kZoomStep;
    showScaledToWidth(width);
}

void MyLabel::showFullSize()
{
    if (fullImage.isNull())
        return;
    scale = 1.0f;
    shownImage = fullImage.copy();
    setPixmap(QPixmap::fromImage(shownImage));
}

void MyLabel::fitToSize(int width, int height)
{
    if (fullImage.isNull())
        return;
    shownImage = fullImage.scaledToWidth(qMax(1, width), Qt::FastTransformation);
    scale = float(width) / float(fullImage.width());
    if (shownImage.height() > height) {
        shownImage = fullImage.scaledToHeight(qMax(1, height), Qt::FastTransformation);
        scale = float(height) / float(fullImage.height());
    }
    setPixmap(QPixmap::fromImage(shownImage));
}

void MyLabel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)
        setCursor(Qt::ClosedHandCursor);
    // Left unaccepted, so the scroll area behind pans the image.
    QLabel::mousePressEvent(event);
}

void MyLabel::mouseReleaseEvent(QMouseEvent *event)
{
    setCursor(Qt::ArrowCursor);
    QLabel::mouseReleaseEvent(event);
}

void MyLabel::wheelEvent(QWheelEvent *event)
{
    if (!ctrlDown)
        return;
    if (event->angleDelta().y() > 0)
        zoomIn();
    else
        zoomOut();
}

void MyLabel::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Control)
        ctrlDown = true;
    QLabel::keyPressEvent(event);
}

void MyLabel::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Control)
        ctrlDown = false;
    QLabel::keyReleaseEvent(event);
}

void MyLabel::enterEvent(QEvent *event)
{
    grabKeyboard();
    QLabel::enterEvent(event);
}

void MyLabel::leaveEvent(QEvent *event)
{
    releaseKeyboard();
    // A Ctrl released elsewhere never reaches the label.
    ctrlDown = false;
    QLabel::leaveEvent(event);
}
