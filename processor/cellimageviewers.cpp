// The result table's cell viewers (opened by a double click) belong to the
// review dialogs; until they exist a double click shows nothing.

#include "mytablewidgetresult.h"

void MyTableWidgetResult::showCellImages(QTableWidgetItem *item)
{
    Q_UNUSED(item)
}
