#include "mylabel.h"

#include "myrubberbandcontainer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <utility>

MyLabel::MyLabel(QWidget *parent) : QLabel(parent)
{
    setMouseTracking(true);
    setScaledContents(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setStyleSheet(QStringLiteral("background-color: rgb(170, 170, 170);"));
    setText(QStringLiteral("等待加载图片..."));
    // Right presses pan the view; no context menu should travel up from here.
    setContextMenuPolicy(Qt::PreventContextMenu);

    rubberBand = new MyRubberBandContainer(this);
    rubberBand->hide();
}

MyLabel::~MyLabel()
{
    delete sourceImage;
    delete scaledImage;
}

QScrollArea *MyLabel::scrollArea() const
{
    for (QWidget *w = parentWidget(); w; w = w->parentWidget()) {
        if (auto *area = qobject_cast<QScrollArea *>(w))
            return area;
    }
    return nullptr;
}

QPoint MyLabel::viewportCentre() const
{
    QScrollArea *area = scrollArea();
    return area ? area->viewport()->rect().center() : QPoint();
}

void MyLabel::layOutScrollArea()
{
    // The area would size the label and its bars only on its next layout
    // pass; callers that scroll right after a change need them now.
    if (QScrollArea *area = scrollArea()) {
        QEvent layout(QEvent::LayoutRequest);
        QCoreApplication::sendEvent(area, &layout);
    }
}

void MyLabel::showScaled(const QImage &image, float newScale, const QPoint &anchor)
{
    QScrollArea *area = scrollArea();
    const float oldScale = scale;
    const QPointF labelPoint = area ? QPointF(anchor - pos()) : QPointF();

    delete scaledImage;
    scaledImage = new QImage(image);
    scale = newScale;
    m_pixmapPixels = QImage();
    setPixmap(QPixmap::fromImage(*scaledImage));

    if (!area || oldScale <= 0.0f)
        return;
    // Put the image point that was under the anchor back under it.
    layOutScrollArea();
    const QPointF moved = labelPoint / oldScale * newScale;
    area->horizontalScrollBar()->setValue(static_cast<int>(std::lround(moved.x() - anchor.x())));
    area->verticalScrollBar()->setValue(static_cast<int>(std::lround(moved.y() - anchor.y())));
}

MyLabel::DecodedPage MyLabel::decodePage(const QString &path, float scale)
{
    DecodedPage page;
    page.path = path;
    page.scale = scale;
    page.source = QImage(path);
    if (page.source.isNull())
        return page;
    const int width = std::max(1, static_cast<int>(page.source.width() * scale));
    page.scaled = page.source.scaledToWidth(width, Qt::FastTransformation);
    // Scans have no alpha: a pixmap keeps them as 32-bit RGB, so the
    // conversion can be done here instead of on the GUI thread.
    if (!page.scaled.hasAlphaChannel())
        page.forPixmap = page.scaled.convertToFormat(QImage::Format_RGB32);
    return page;
}

void MyLabel::showDecodedPage(DecodedPage page)
{
    imagePath = page.path;
    QVector<QImage> retired;
    if (sourceImage)
        retired << *sourceImage;
    delete sourceImage;
    sourceImage = nullptr;
    if (page.source.isNull()) {
        releaseImages(std::move(retired));
        return; // a failed read keeps the old picture on screen
    }
    if (page.scale != scale) {
        // Zoomed while the page was read.
        const int width = std::max(1, static_cast<int>(page.source.width() * scale));
        page.scaled = page.source.scaledToWidth(width, Qt::FastTransformation);
        page.forPixmap = QImage();
    }
    sourceImage = new QImage(std::move(page.source));
    if (scaledImage)
        retired << *scaledImage;
    delete scaledImage;
    scaledImage = new QImage(std::move(page.scaled));
    // The old pixmap goes with setPixmap, its pixels stay with `retired`.
    retired << std::exchange(m_pixmapPixels, QImage());
    if (page.forPixmap.isNull()) {
        setPixmap(QPixmap::fromImage(*scaledImage));
    } else {
        m_pixmapPixels = page.forPixmap;
        setPixmap(QPixmap::fromImage(std::move(page.forPixmap)));
    }
    layOutScrollArea();
    releaseImages(std::move(retired));
}

void MyLabel::releaseImages(QVector<QImage> images)
{
    // The pool holds the last reference, so the memory is freed there.
    // OMR_PREVIEW_FREED_HERE frees it on this thread, for measurements.
    if (releasePool && !qEnvironmentVariableIsSet("OMR_PREVIEW_FREED_HERE"))
        releasePool->start([images = std::move(images)]() mutable { images.clear(); });
}

void MyLabel::loadImage(const QString &path)
{
    if (!loadIdle)
        return;
    loadIdle = false;
    showDecodedPage(decodePage(path, scale));
    loadIdle = true;
}

void MyLabel::zoomIn()
{
    zoomInAt(viewportCentre());
}

void MyLabel::zoomOut()
{
    zoomOutAt(viewportCentre());
}

void MyLabel::zoomInAt(const QPoint &anchor)
{
    if (!sourceImage)
        return;
    const int width = static_cast<int>(scale * sourceImage->width() * 1.1f);
    if (width > kMaxZoomWidth)
        return;
    showScaled(sourceImage->scaledToWidth(width, Qt::FastTransformation), scale * 1.1f, anchor);
}

void MyLabel::zoomOutAt(const QPoint &anchor)
{
    if (!sourceImage)
        return;
    const int width = static_cast<int>(scale * sourceImage->width() / 1.1f);
    if (width < kMinZoomWidth)
        return;
    showScaled(sourceImage->scaledToWidth(width, Qt::FastTransformation), scale / 1.1f, anchor);
    hideRubberBandOutsideImage();
}

void MyLabel::showActualSize()
{
    if (!sourceImage)
        return;
    showScaled(*sourceImage, 1.0f, viewportCentre());
    hideRubberBandOutsideImage();
}

void MyLabel::fitToSize(int width, int height)
{
    // A collapsed view would give a zero zoom, which every reader divides by.
    if (!sourceImage || width < 1 || height < 1)
        return;
    QImage fitted = sourceImage->scaledToWidth(width, Qt::FastTransformation);
    float newScale = static_cast<float>(width) / sourceImage->width();
    if (height < fitted.height()) {
        fitted = sourceImage->scaledToHeight(height, Qt::FastTransformation);
        newScale = static_cast<float>(height) / sourceImage->height();
    }
    showScaled(fitted, newScale, QPoint());
    if (QScrollArea *area = scrollArea()) {
        area->horizontalScrollBar()->setValue(0);
        area->verticalScrollBar()->setValue(0);
    }
    hideRubberBandOutsideImage();
}

void MyLabel::hideRubberBandOutsideImage()
{
    if (!scaledImage)
        return;
    const QRect box = rubberBand->geometry();
    if (box.x() + box.width() > scaledImage->width() || box.y() + box.height() > scaledImage->height())
        rubberBand->hide();
}

void MyLabel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        pressPoint = event->pos();
        setCursor(Qt::CrossCursor);
    } else if (event->button() == Qt::RightButton) {
        setCursor(Qt::ClosedHandCursor);
    }
    // Left unaccepted so that the scroll area sees it (right-button panning).
    QWidget::mousePressEvent(event);
}

void MyLabel::mouseReleaseEvent(QMouseEvent *event)
{
    setCursor(Qt::ArrowCursor);
    QWidget::mouseReleaseEvent(event);
}

void MyLabel::mouseMoveEvent(QMouseEvent *event)
{
    if ((event->buttons() & Qt::LeftButton) && scaledImage) {
        // Only the part over the image counts, so no reader ever gets a
        // selection reaching past it.
        const QRect drawn = QRect(pressPoint, event->pos()).normalized().intersected(scaledImage->rect());
        if (!drawn.isEmpty()) {
            selectionRect = drawn;
            rubberBand->setGeometry(selectionRect);
            rubberBand->show();
        }
    }
    QWidget::mouseMoveEvent(event);
}

void MyLabel::wheelEvent(QWheelEvent *event)
{
    event->accept();
    if (!interactive || !ctrlPressed || !sourceImage)
        return;
    QPoint anchor = viewportCentre();
    if (QScrollArea *area = scrollArea())
        anchor = mapTo(area->viewport(), event->position().toPoint());
    if (event->angleDelta().y() > 0)
        zoomInAt(anchor);
    else
        zoomOutAt(anchor);
}

void MyLabel::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Control)
        ctrlPressed = true;
    QWidget::keyPressEvent(event);
}

void MyLabel::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Control)
        ctrlPressed = false;
    QWidget::keyReleaseEvent(event);
}

// The label sees Ctrl without having the focus: it holds the keyboard while
// the pointer is over the image.
void MyLabel::enterEvent(QEvent *event)
{
    grabKeyboard();
    QLabel::enterEvent(event);
}

void MyLabel::leaveEvent(QEvent *event)
{
    releaseKeyboard();
    QLabel::leaveEvent(event);
}
