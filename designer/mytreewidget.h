#pragma once
// The designer's page tree: one top-level item per page, the page's sections
// as its children. Its context menu deletes a section or switches its
// visibility.

#include <QPointer>
#include <QTreeWidget>

#include <functional>

class MySectionBase;
class QMenu;

class MyTreeWidget : public QTreeWidget {
    Q_OBJECT
public:
    explicit MyTreeWidget(QWidget *parent = nullptr);

    // The section a section item stands for; null for page items and items
    // whose data is no section.
    static MySectionBase *sectionOf(const QTreeWidgetItem *item);

    // While it answers true the menu does not open (a section is flashing
    // and must not be deleted under the flash).
    std::function<bool()> menuRefused;

    QMenu *contextMenu;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void deleteSection(const QPointer<QWidget> &target);
};
