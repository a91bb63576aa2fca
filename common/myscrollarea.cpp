#include "myscrollarea.h"

#include <QMouseEvent>
#include <QScrollBar>

namespace {
MyScrollArea::Variant g_defaultVariant = MyScrollArea::Variant::Processor;
}

MyScrollArea::MyScrollArea(QWidget *parent)
    : QScrollArea(parent), variant_(g_defaultVariant)
{
    horizontalBar = horizontalScrollBar();
    verticalBar = verticalScrollBar();
    // A right click on a bar would open its menu in the middle of a drag.
    horizontalBar->setContextMenuPolicy(Qt::NoContextMenu);
    verticalBar->setContextMenuPolicy(Qt::NoContextMenu);
}

void MyScrollArea::setDefaultVariant(Variant variant)
{
    g_defaultVariant = variant;
}

MyScrollArea::Variant MyScrollArea::defaultVariant()
{
    return g_defaultVariant;
}

void MyScrollArea::mousePressEvent(QMouseEvent *event)
{
    const QPoint origin(horizontalBar->value(), verticalBar->value());
    if (event->button() == Qt::RightButton)
        dragStart = origin + event->pos();
    else if (event->button() == Qt::LeftButton && variant_ == Variant::Scanner)
        leftDragStart = origin + event->pos();
    // Not handed on: the base would only ignore it.
}

void MyScrollArea::mouseMoveEvent(QMouseEvent *event)
{
    const Qt::MouseButtons held = event->buttons();
    switch (variant_) {
    case Variant::Processor:
        if (dragEnabled && !(held & Qt::LeftButton) && (held & Qt::RightButton))
            scrollFrom(dragStart, event->pos());
        break;
    case Variant::Designer:
        if (!(held & Qt::LeftButton) && (held & Qt::RightButton))
            scrollFrom(dragStart, event->pos());
        break;
    case Variant::Scanner:
        if (dragEnabled) {
            if (held & Qt::LeftButton)
                scrollFrom(leftDragStart, event->pos());
            else if (held & Qt::RightButton)
                scrollFrom(dragStart, event->pos());
        }
        break;
    }
    QScrollArea::mouseMoveEvent(event);
}

void MyScrollArea::wheelEvent(QWheelEvent *)
{
}

void MyScrollArea::keyPressEvent(QKeyEvent *)
{
}

void MyScrollArea::scrollFrom(const QPoint &start, const QPoint &pos)
{
    horizontalBar->setValue(start.x() - pos.x());
    verticalBar->setValue(start.y() - pos.y());
}
