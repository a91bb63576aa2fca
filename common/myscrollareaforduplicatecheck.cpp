#include "myscrollareaforduplicatecheck.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

MyScrollAreaForDuplicateCheck::MyScrollAreaForDuplicateCheck(QWidget *parent)
    : QScrollArea(parent)
{
    horizontalBar = horizontalScrollBar();
    verticalBar = verticalScrollBar();
    horizontalBar->setContextMenuPolicy(Qt::NoContextMenu);
    verticalBar->setContextMenuPolicy(Qt::NoContextMenu);
}

void MyScrollAreaForDuplicateCheck::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        dragStart = QPoint(horizontalBar->value(), verticalBar->value()) + event->pos();
        setCursor(Qt::ClosedHandCursor);
    }
}

void MyScrollAreaForDuplicateCheck::mouseReleaseEvent(QMouseEvent *)
{
    setCursor(Qt::ArrowCursor);
}

void MyScrollAreaForDuplicateCheck::mouseMoveEvent(QMouseEvent *event)
{
    if (dragEnabled && (event->buttons() & Qt::LeftButton)) {
        horizontalBar->setValue(dragStart.x() - event->pos().x());
        verticalBar->setValue(dragStart.y() - event->pos().y());
    }
    QScrollArea::mouseMoveEvent(event);
}

void MyScrollAreaForDuplicateCheck::wheelEvent(QWheelEvent *)
{
}

void MyScrollAreaForDuplicateCheck::keyPressEvent(QKeyEvent *event)
{
    // The keyboard never scrolls the area; every key goes on to the window
    // (Esc closes the viewer even with the pointer over the image).
    event->ignore();
}
