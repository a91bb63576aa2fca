#include "dialogeditobjectanswer.h"

#include "answers.h"
#include "cellviewerkind.h"
#include "checkboxoption.h"
#include "objectivecorrection.h"
#include "resultreviewhost.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// Data of an objective cell of the result table, and of the editor's mark cell.
constexpr int kResultOptionCountRole = Qt::UserRole + 3;
constexpr int kOptionCountRole = Qt::UserRole + 1;

// Options 0 to 8 stand in the first column, the rest in the second.
constexpr int kFirstColumnOptions = 9;

} // namespace

DialogEditObjectAnswer::DialogEditObjectAnswer(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                          | Qt::WindowCloseButtonHint),
      m_host(ResultReviewHost::of(parent)), m_results(m_host ? m_host->reviewTable() : nullptr)
{
    setWindowTitle(QStringLiteral("修改客观题填涂"));
    setWindowIcon(QIcon(QStringLiteral(":/image/res/images/edit.png")));
    resize(425, 416);
    QFont big = font();
    big.setPointSize(12);
    setFont(big);

    tableWidget = new QTableWidget(0, 2, this);
    tableWidget->setObjectName(QStringLiteral("tableWidget"));
    tableWidget->setHorizontalHeaderLabels({QStringLiteral("题号"), QStringLiteral("填涂")});
    tableWidget->verticalHeader()->hide();
    tableWidget->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    tableWidget->setTextElideMode(Qt::ElideRight);
    tableWidget->horizontalHeader()->setStretchLastSection(true);
    tableWidget->setColumnWidth(0, 60);

    widget = new QWidget(this);
    widget->setObjectName(QStringLiteral("widget"));
    widget->setStyleSheet(optionPanelStyleSheet());
    labelItemID = new QLabel(widget);
    labelItemID->setObjectName(QStringLiteral("labelItemID"));
    QFont idFont = labelItemID->font();
    idFont.setPointSize(24);
    labelItemID->setFont(idFont);
    labelItemID->setStyleSheet(QStringLiteral("color: rgb(170, 0, 0);"));
    labelItemID->setAlignment(Qt::AlignCenter);
    gridLayout = new QGridLayout;
    gridLayout->setObjectName(QStringLiteral("gridLayout"));
    auto *panel = new QVBoxLayout(widget);
    panel->addWidget(labelItemID);
    panel->addStretch();
    panel->addLayout(gridLayout);
    panel->addStretch();
    widget->hide();

    pushButtonOK = new QPushButton(QStringLiteral("确定"), this);
    pushButtonOK->setObjectName(QStringLiteral("pushButtonOK"));
    connect(pushButtonOK, &QPushButton::clicked, this, &DialogEditObjectAnswer::accept);

    auto *layout = new QVBoxLayout(this);
    auto *middle = new QHBoxLayout;
    middle->addWidget(tableWidget);
    middle->addWidget(widget);
    layout->addLayout(middle);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(pushButtonOK);
    layout->addLayout(bottom);

    fillItems();
    connect(tableWidget->verticalScrollBar(), &QScrollBar::sliderMoved, this, &DialogEditObjectAnswer::scrollChanged);
    connect(tableWidget, &QTableWidget::itemClicked, this, &DialogEditObjectAnswer::slotItemClicked);
    connect(tableWidget, &QTableWidget::itemChanged, this, &DialogEditObjectAnswer::slotItemChanged);
}

DialogEditObjectAnswer::~DialogEditObjectAnswer()
{
    // Deleted while shown (with its parent table), the dialog hides only
    // now, and a mark still being typed is committed then: it must not reach
    // this half-destroyed dialog.
    disconnect(tableWidget, nullptr, this, nullptr);
}

void DialogEditObjectAnswer::fillItems()
{
    if (!m_results)
        return;
    const int row = m_results->currentRow();
    if (row < 0)
        return;
    for (int column = 2; column < m_results->columnCount(); ++column) {
        const QTableWidgetItem *header = m_results->horizontalHeaderItem(column);
        const QTableWidgetItem *cell = m_results->item(row, column);
        if (!header || cellViewerKind(header->text()) != CellViewerKind::Object || !cell || cell->text().isEmpty())
            continue;
        const int r = tableWidget->rowCount();
        tableWidget->insertRow(r);
        auto *number = new QTableWidgetItem(header->text());
        number->setFlags(cell->flags() & ~Qt::ItemIsEditable);
        tableWidget->setItem(r, 0, number);
        auto *mark = new QTableWidgetItem(cell->text());
        mark->setData(kOptionCountRole, cell->data(kResultOptionCountRole).toInt());
        tableWidget->setItem(r, 1, mark);
    }
}

void DialogEditObjectAnswer::slotItemClicked(QTableWidgetItem *item)
{
    if (!item)
        return;
    OptionPanel::clear(optionBoxes);
    currentRow = item->row();
    const QTableWidgetItem *number = tableWidget->item(currentRow, 0);
    const QTableWidgetItem *mark = tableWidget->item(currentRow, 1);
    labelItemID->setText(number ? number->text() : QString());
    buildOptionPanel(mark ? mark->data(kOptionCountRole).toInt() : 0);
    setOptionChecks(mark ? mark->text() : QString());
}

void DialogEditObjectAnswer::buildOptionPanel(int optionCount)
{
    widget->show();
    for (int i = 0; i < optionCount; ++i) {
        auto *box = new CheckBoxOption(optionLetter(i), widget);
        if (optionCount < kFirstColumnOptions || i < kFirstColumnOptions)
            gridLayout->addWidget(box, i, 0);
        else
            gridLayout->addWidget(box, i - kFirstColumnOptions, 1);
        optionBoxes.append(box);
        connect(box, &QCheckBox::toggled, this, &DialogEditObjectAnswer::updateNewMark);
    }
}

void DialogEditObjectAnswer::setOptionChecks(const QString &mark)
{
    if (OptionPanel::setChecks(optionBoxes, mark))
        updateNewMark();
}

void DialogEditObjectAnswer::updateNewMark()
{
    if (QTableWidgetItem *mark = tableWidget->item(currentRow, 1))
        mark->setText(OptionPanel::checkedMark(optionBoxes));
}

void DialogEditObjectAnswer::slotItemChanged(QTableWidgetItem *item)
{
    // Only marks are edited; the changes made here must not come back.
    if (m_normalising || !item || item->column() != 1)
        return;
    const QString normalised = normalizeAnswer(item->text().toUpper(), item->data(kOptionCountRole).toInt());
    m_normalising = true;
    item->setText(normalised);
    // The panel shows the last clicked row: it follows an edit of that row
    // only, so a mark typed into another row never reaches the clicked one.
    if (item->row() == currentRow)
        setOptionChecks(normalised);
    m_normalising = false;
}

void DialogEditObjectAnswer::accept()
{
    const int row = m_results ? findStudentRow(m_results, resultRow, code) : -1;
    if (row < 0) {
        reportCorrectionNotWritten(this, code);
    } else {
        float sum = 0.0f;
        for (int r = 0; r < tableWidget->rowCount(); ++r) {
            const QTableWidgetItem *number = tableWidget->item(r, 0);
            const QTableWidgetItem *mark = tableWidget->item(r, 1);
            if (!number || !mark)
                continue;
            const int itemId = number->text().toInt();
            const MarkScore now = scoreMark(mark->text(), itemId, m_host->objectiveKeys(), m_host->optionalKeys());
            sum += now.score;
            writeBackItem(row, itemId, mark->text(), now.score, now.multiple);
        }
        if (m_results->columnCount() > 1) {
            QTableWidgetItem *total = m_results->item(row, 1);
            if (!total) {
                total = new QTableWidgetItem;
                m_results->setItem(row, 1, total);
            }
            total->setText(QString::number(sum, 'f', 2));
        }
    }
    QDialog::accept();
}

void DialogEditObjectAnswer::writeBackItem(int row, int itemId, const QString &mark, float score, bool multiple)
{
    const QString key = QString::number(itemId);
    for (int column = 2; column < m_results->columnCount(); ++column) {
        const QTableWidgetItem *header = m_results->horizontalHeaderItem(column);
        QTableWidgetItem *cell = m_results->item(row, column);
        if (header && header->text() == key && cell)
            writeObjectiveCell(cell, mark, score, multiple);
    }
}

void DialogEditObjectAnswer::scrollChanged(int value)
{
    if (m_host)
        m_host->editAnswerScroll = value;
}

void DialogEditObjectAnswer::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_host)
        return;
    const int value = m_host->editAnswerScroll;
    if (value >= 0 && value < tableWidget->rowCount()) {
        QScrollBar *bar = tableWidget->verticalScrollBar();
        bar->setSliderPosition(value);
        bar->setValue(value);
    }
}

// Every move and resize is remembered for the next editor.
void DialogEditObjectAnswer::moveEvent(QMoveEvent *event)
{
    QDialog::moveEvent(event);
    if (m_host)
        m_host->editAnswerPos = pos();
}

void DialogEditObjectAnswer::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (m_host)
        m_host->editAnswerSize = size();
}
