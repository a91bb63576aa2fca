#include "multipleselect.h"

#include <QDialogButtonBox>
#include <QListView>
#include <QTreeView>

MultipleSelect::MultipleSelect(QWidget *parent) : QFileDialog(parent, QString(), QString(), QString())
{
    setWindowTitle(QStringLiteral("指定一个或者多个文件夹，图片文件也可以。Shift连选，Ctrl多选。"));
    setNameFilter(QStringLiteral("Images (*.png *.jpg *.jpeg *.tif *.tiff)"));
    // Only the widget-based dialog has views whose selection we can widen.
    setOption(QFileDialog::DontUseNativeDialog, true);
    if (auto *list = findChild<QListView *>(QStringLiteral("listView")))
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    if (auto *tree = findChild<QTreeView *>())
        tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    if (auto *buttons = findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))) {
        // The dialog made this connection by name, so it is undone by name.
        disconnect(buttons, SIGNAL(accepted()), this, SLOT(accept()));
        connect(buttons, &QDialogButtonBox::accepted, this, &MultipleSelect::go);
    }
}

void MultipleSelect::go()
{
    // Plain acceptance: the file dialog's own checks would refuse folders.
    QDialog::accept();
}
