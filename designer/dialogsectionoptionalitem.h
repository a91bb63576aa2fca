#pragma once
// An optional group: the candidate question numbers (distinct, at least
// two) and the default taken when a student marks none or several.

#include <QDialog>
#include <QPersistentModelIndex>
#include <QString>
#include <QStringList>

class QListWidgetItem;
namespace Ui { class DialogSectionOptionalItem; }

class DialogSectionOptionalItem : public QDialog {
    Q_OBJECT
public:
    explicit DialogSectionOptionalItem(QWidget *parent = nullptr);
    ~DialogSectionOptionalItem() override;

    // Reopens the dialog on a group's values with the canvas as parent;
    // true (values replaced) when accepted.
    static bool edit(QWidget *canvas, QStringList &items, QString &defaultItem);

    QStringList items;    // in: the group's candidates when editing; out: ascending
    QString defaultItem;

    Ui::DialogSectionOptionalItem *ui;

public slots:
    void accept() override;
    void addItem();
    void onItemDoubleClicked(QListWidgetItem *item);
    void onSelectionChanged();
    void onDelete();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QListWidgetItem *editedItem_ = nullptr;
};
