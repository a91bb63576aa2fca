#include "dialogsectionoptionalitem.h"

#include "sectiondialogcommon.h"
#include "ui_dialogsectionoptionalitem.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QShowEvent>
#include <QSpinBox>
#include <QStyledItemDelegate>

namespace {

// A candidate edited in place stays within the numbers the add field takes.
class CandidateDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        auto *editor = new QSpinBox(parent);
        editor->setRange(1, 1000);
        editor->setFrame(false);
        return editor;
    }
};

} // namespace

DialogSectionOptionalItem::DialogSectionOptionalItem(QWidget *parent)
    : QDialog(parent), ui(new Ui::DialogSectionOptionalItem)
{
    ui->setupUi(this);
    SectionDialogs::fixFrame(this);
    ui->lineEditItem->setFocus();
    ui->lineEditItem->setValidator(new QIntValidator(1, 1000, this));
    ui->lineEditItemDefault->setValidator(new QIntValidator(1, 1000, this));
    ui->listWidget->setItemDelegate(new CandidateDelegate(ui->listWidget));
    // A right click lands on the viewport and travels up to the list when
    // the viewport ignores it; watch both so the menu opens either way.
    ui->listWidget->installEventFilter(this);
    ui->listWidget->viewport()->installEventFilter(this);
    connect(ui->pushButtonAdd, &QPushButton::clicked, this, &DialogSectionOptionalItem::addItem);
    connect(ui->pushButtonOk, &QPushButton::clicked, this, &DialogSectionOptionalItem::accept);
    connect(ui->listWidget, &QListWidget::itemDoubleClicked, this, &DialogSectionOptionalItem::onItemDoubleClicked);
    connect(ui->listWidget, &QListWidget::itemSelectionChanged, this, &DialogSectionOptionalItem::onSelectionChanged);
}

DialogSectionOptionalItem::~DialogSectionOptionalItem()
{
    delete ui;
}

bool DialogSectionOptionalItem::edit(QWidget *canvas, QStringList &groupItems, QString &groupDefault)
{
    DialogSectionOptionalItem dialog(canvas);
    dialog.items = groupItems;
    dialog.defaultItem = groupDefault;
    if (dialog.exec() != QDialog::Accepted)
        return false;
    groupItems = dialog.items;
    groupDefault = dialog.defaultItem;
    return true;
}

namespace {

QListWidgetItem *numberItem(int n)
{
    auto *item = new QListWidgetItem;
    item->setData(Qt::DisplayRole, n);   // an integer, so the list sorts as numbers
    return item;
}

} // namespace

void DialogSectionOptionalItem::addItem()
{
    const int n = SectionDialogs::number(ui->lineEditItem->text());
    if (n < 1)
        return;
    ui->listWidget->addItem(numberItem(n));
    ui->listWidget->sortItems(Qt::AscendingOrder);
    if (ui->lineEditItemDefault->text().isEmpty())
        ui->lineEditItemDefault->setText(QString::number(n));
    ui->lineEditItem->clear();
    ui->lineEditItem->setFocus();
}

void DialogSectionOptionalItem::onItemDoubleClicked(QListWidgetItem *item)
{
    editedItem_ = ui->listWidget->currentItem() ? ui->listWidget->currentItem() : item;
    ui->listWidget->openPersistentEditor(editedItem_);
}

void DialogSectionOptionalItem::onSelectionChanged()
{
    if (!editedItem_)
        return;
    ui->listWidget->closePersistentEditor(editedItem_);
    editedItem_ = nullptr;
}

void DialogSectionOptionalItem::onDelete()
{
    QListWidgetItem *item = ui->listWidget->currentItem();
    if (!item)
        return;
    if (item == editedItem_) {
        ui->listWidget->closePersistentEditor(item);
        editedItem_ = nullptr;
    }
    delete item;
}

void DialogSectionOptionalItem::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    for (const QString &candidate : items)
        ui->listWidget->addItem(numberItem(SectionDialogs::number(candidate)));
    ui->listWidget->sortItems(Qt::AscendingOrder);
    ui->lineEditItemDefault->setText(defaultItem);
}

bool DialogSectionOptionalItem::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ContextMenu
        || (watched != ui->listWidget && watched != ui->listWidget->viewport()))
        return QDialog::eventFilter(watched, event);
    const auto *menuEvent = static_cast<QContextMenuEvent *>(event);
    QListWidgetItem *item = ui->listWidget->itemAt(ui->listWidget->viewport()->mapFromGlobal(menuEvent->globalPos()));
    if (item) {
        ui->listWidget->setCurrentItem(item);
        QMenu menu(this);
        QAction *remove = menu.addAction(QIcon(QStringLiteral(":/image/res/images/delete.png")),
                                         QStringLiteral("删除(&D)"));
        connect(remove, &QAction::triggered, this, &DialogSectionOptionalItem::onDelete);
        menu.exec(menuEvent->globalPos());
    }
    return true;
}

void DialogSectionOptionalItem::accept()
{
    items.clear();
    if (ui->listWidget->count() < 2)
        return;
    for (int row = 0; row < ui->listWidget->count(); ++row) {
        const QString text = ui->listWidget->item(row)->text();
        if (items.contains(text)) {
            SectionDialogs::refuse(this, QStringLiteral("题号 %1 重复").arg(text));
            return;
        }
        items << text;
    }
    defaultItem = ui->lineEditItemDefault->text();
    if (!items.contains(defaultItem)) {
        SectionDialogs::refuse(this, QStringLiteral("默认题号不在题号范围内"));
        return;
    }
    QDialog::accept();
}
