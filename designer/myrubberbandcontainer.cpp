#include "myrubberbandcontainer.h"
#include "ui_myrubberbandcontainer.h"

#include "canvaswindow.h"
#include "mylabel.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

MyRubberBandContainer::MyRubberBandContainer(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::MyRubberBandContainer>())
{
    ui->setupUi(this);
    setMouseTracking(true);
}

MyRubberBandContainer::~MyRubberBandContainer() = default;

MyLabel *MyRubberBandContainer::canvas() const
{
    return qobject_cast<MyLabel *>(parentWidget());
}

bool MyRubberBandContainer::inHandle(const QPoint &pos) const
{
    return pos.x() > width() - kHandleSize && pos.y() > height() - kHandleSize;
}

void MyRubberBandContainer::paintEvent(QPaintEvent *)
{
    if (MyLabel *label = canvas()) {
        if (CanvasWindow *window = label->canvasWindow())
            window->showSelectionInfo(x(), y(), width(), height());
    }
    QPainter painter(this);
    const QColor fill(0, 204, 255, 128);
    painter.setPen(QPen(fill, 1));
    painter.setBrush(fill);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.fillRect(QRect(width() - kHandleSize, height() - kHandleSize, kHandleSize, kHandleSize),
                     QColor(0, 0, 255, 255));
}

void MyRubberBandContainer::enterEvent(QEvent *)
{
    setCursor(Qt::SizeAllCursor);
}

void MyRubberBandContainer::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        pressOffset = event->pos();
        if (inHandle(event->pos())) {
            resizing = true;
            sizeOffset = QPoint(event->x() - width(), event->y() - height());
        }
    }
    // Kept here: a press on the rectangle never starts a new selection below it.
    event->accept();
}

void MyRubberBandContainer::mouseMoveEvent(QMouseEvent *event)
{
    MyLabel *label = canvas();
    const QSize image = label ? label->shownImageSize() : QSize();
    const bool leftHeld = event->buttons() & Qt::LeftButton;

    if (!resizing) {
        setCursor(inHandle(event->pos()) ? Qt::SizeFDiagCursor : Qt::SizeAllCursor);
        if (leftHeld) {
            QPoint to = mapToParent(event->pos() - pressOffset);
            // A rectangle wider than the image keeps its left edge on it.
            to.setX(std::max(0, std::min(to.x(), image.width() - width())));
            to.setY(std::max(0, std::min(to.y(), image.height() - height())));
            move(to);
        }
    } else if (leftHeld) {
        int w = event->x() - sizeOffset.x();
        int h = event->y() - sizeOffset.y();
        // The handle is grabbed a few pixels inside the corner, so the size
        // itself is held to the image, not only the pointer.
        w = std::max(0, std::min(w, image.width() - x()));
        h = std::max(0, std::min(h, image.height() - y()));
        resize(w, h);
    }
    event->accept();
}

void MyRubberBandContainer::mouseReleaseEvent(QMouseEvent *event)
{
    resizing = false;
    event->accept();
}
