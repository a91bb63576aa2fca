#include "formsize.h"

#include <QLayout>
#include <QWidget>

namespace FormSize {

void fixAtLeastLayout(QWidget *form)
{
    if (QLayout *layout = form->layout())
        layout->activate();
    form->setFixedSize(form->size().expandedTo(form->minimumSizeHint()));
}

} // namespace FormSize
