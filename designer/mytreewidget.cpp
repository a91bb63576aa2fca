#include "mytreewidget.h"

#include "contextmenu.h"
#include "messagebox.h"
#include "mysectionbase.h"
#include "treeitems.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPointer>

MyTreeWidget::MyTreeWidget(QWidget *parent) : QTreeWidget(parent), contextMenu(new QMenu(this))
{
}

MySectionBase *MyTreeWidget::sectionOf(const QTreeWidgetItem *item)
{
    if (!item || !item->parent())
        return nullptr;
    return qobject_cast<MySectionBase *>(item->data(0, TreeItemDataRole).value<QObject *>());
}

void MyTreeWidget::contextMenuEvent(QContextMenuEvent *event)
{
    event->accept();
    if (menuRefused && menuRefused())
        return;
    QTreeWidgetItem *item = itemAt(event->pos());
    if (!item || !item->parent())
        return;
    setCurrentItem(item);

    // The section is held guarded: it may go away while the menu is open.
    QPointer<MySectionBase> section = sectionOf(item);
    contextMenu->clear();
    QAction *remove = contextMenu->addAction(QIcon(QStringLiteral(":/image/res/images/delete.png")),
                                             QStringLiteral("删除(&D)"));
    QPointer<QWidget> target = qobject_cast<QWidget *>(item->data(0, TreeItemDataRole).value<QObject *>());
    connect(remove, &QAction::triggered, this, [this, target] { deleteSection(target); });
    if (section) {
        const bool hidden = section->hidden;
        QAction *toggle = hidden
            ? contextMenu->addAction(QIcon(QStringLiteral(":/image/res/images/show.png")), QStringLiteral("可见(&S)"))
            : contextMenu->addAction(QIcon(QStringLiteral(":/image/res/images/hide.png")), QStringLiteral("不可见(&H)"));
        connect(toggle, &QAction::triggered, this, [section, hidden] {
            if (section)
                section->setHide(!hidden);
        });
    }
    ContextMenu::exec(contextMenu, QCursor::pos());
}

void MyTreeWidget::deleteSection(const QPointer<QWidget> &target)
{
    if (MessageBox::question(this, QStringLiteral("提示"), QStringLiteral("确认删除吗？"),
                             QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes)
        return;
    // The section's destructor takes its tree item, its option bubbles and
    // its place in the canvas list with it. It may have gone while the box
    // was open.
    delete target.data();
}
