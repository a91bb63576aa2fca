#include "dialogsort.h"
#include "ui_dialogsort.h"

DialogSort::DialogSort(QWidget *parent) : QDialog(parent), ui(new Ui::DialogSort)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    // The filter applies to file names only; it keeps its text meanwhile.
    connect(ui->listWidgetSortBy, &QListWidget::currentRowChanged, this,
            [this](int row) { ui->lineEditFilterText->setEnabled(row == 0); });
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogSort::accept);
}

DialogSort::~DialogSort()
{
    delete ui;
}

void DialogSort::accept()
{
    const int row = ui->listWidgetSortBy->currentRow();
    if (row < 0)
        return;
    sortBy = row;
    filterText = ui->lineEditFilterText->text();
    sortOrder = ui->comboBoxSortType->currentIndex();
    QDialog::accept();
}
