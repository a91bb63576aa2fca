#include "tablewidgetdisabledoubleclick.h"

#include <QEvent>

TableWidgetDisableDoubleClick::TableWidgetDisableDoubleClick(QWidget *parent) : QTableWidget(parent)
{
    viewport()->installEventFilter(this);
}

bool TableWidgetDisableDoubleClick::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == viewport() && event->type() == QEvent::MouseButtonDblClick)
        return true;
    return QTableWidget::eventFilter(watched, event);
}
