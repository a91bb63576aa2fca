#include "myclickablelabel.h"

#include <QMouseEvent>

MyClickableLabel::MyClickableLabel(QWidget *parent)
    : QLabel(parent)
{
}

void MyClickableLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}
