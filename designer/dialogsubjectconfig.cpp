#include "dialogsubjectconfig.h"
#include "ui_dialogsubjectconfig.h"

#include "mainwindow.h"
#include "messagebox.h"
#include "mysectionbase.h"
#include "mytreewidget.h"
#include "questionsections.h"

#include <QAction>
#include <QCursor>
#include <QDoubleValidator>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTextDocument>
#include <QWheelEvent>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace {
const char kTitle[] = "提示";
} // namespace

// ---- MyScrollAreaForSubjectConfig

MyScrollAreaForSubjectConfig::MyScrollAreaForSubjectConfig(QWidget *parent)
    : QScrollArea(parent)
    , hBar(horizontalScrollBar())
    , vBar(verticalScrollBar())
{
    hBar->setContextMenuPolicy(Qt::NoContextMenu);
    vBar->setContextMenuPolicy(Qt::NoContextMenu);
}

void MyScrollAreaForSubjectConfig::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        originX = hBar->value() + event->pos().x();
        originY = vBar->value() + event->pos().y();
        setCursor(Qt::ClosedHandCursor);
    }
    QScrollArea::mousePressEvent(event);
}

void MyScrollAreaForSubjectConfig::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton) {
        hBar->setValue(originX - event->pos().x());
        vBar->setValue(originY - event->pos().y());
    }
    QScrollArea::mouseMoveEvent(event);
}

void MyScrollAreaForSubjectConfig::mouseReleaseEvent(QMouseEvent *event)
{
    setCursor(Qt::ArrowCursor);
    QScrollArea::mouseReleaseEvent(event);
}

// ---- MyLabelForSubjectConfig

MyLabelForSubjectConfig::MyLabelForSubjectConfig(QWidget *parent)
    : QLabel(parent)
{
}

void MyLabelForSubjectConfig::showImage()
{
    if (image.empty())
        return;
    if (image.channels() == 3) {
        cv::cvtColor(image, rgbImage, cv::COLOR_BGR2RGB);
        fullImage = QImage(rgbImage.data, rgbImage.cols, rgbImage.rows, int(rgbImage.step), QImage::Format_RGB888);
    } else if (image.channels() == 1) {
        fullImage = QImage(image.data, image.cols, image.rows, int(image.step), QImage::Format_Grayscale8);
    } else {
        return;
    }
    scale = float(width()) / float(fullImage.width());
    showScaled(width());
}

void MyLabelForSubjectConfig::showScaled(int w)
{
    shownImage = fullImage.scaledToWidth(std::max(w, 1), Qt::FastTransformation);
    setPixmap(QPixmap::fromImage(shownImage));
}

void MyLabelForSubjectConfig::fitToWidth(int w)
{
    if (fullImage.isNull())
        return;
    scale = float(w) / float(fullImage.width());
    showScaled(w);
}

void MyLabelForSubjectConfig::zoomIn()
{
    if (fullImage.isNull() || scale * kZoomStep > kMaxScale)
        return;
    const int w = int(scale * float(fullImage.width()) * kZoomStep);
    scale *= kZoomStep;
    showScaled(w);
}

void MyLabelForSubjectConfig::zoomOut()
{
    if (fullImage.isNull())
        return;
    const int w = int(scale * float(fullImage.width()) / kZoomStep);
    if (w < kMinWidth)
        return;
    scale /= kZoomStep;
    showScaled(w);
}

void MyLabelForSubjectConfig::setScrollBarsEnabled(bool enabled)
{
    if (!scrollArea)
        return;
    scrollArea->horizontalScrollBar()->setEnabled(enabled);
    scrollArea->verticalScrollBar()->setEnabled(enabled);
}

void MyLabelForSubjectConfig::enterEvent(QEvent *event)
{
    grabKeyboard();
    QLabel::enterEvent(event);
}

void MyLabelForSubjectConfig::leaveEvent(QEvent *event)
{
    releaseKeyboard();
    QLabel::leaveEvent(event);
}

void MyLabelForSubjectConfig::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Control) {
        ctrlDown = true;
        setScrollBarsEnabled(false);
    }
    QLabel::keyPressEvent(event);
}

void MyLabelForSubjectConfig::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Control) {
        ctrlDown = false;
        setScrollBarsEnabled(true);
    }
    QLabel::keyReleaseEvent(event);
}

void MyLabelForSubjectConfig::wheelEvent(QWheelEvent *event)
{
    if (ctrlDown && !fullImage.isNull()) {
        if (event->angleDelta().y() > 0)
            zoomIn();
        else
            zoomOut();
    }
    QLabel::wheelEvent(event);
}

// ---- DialogSubjectConfig

DialogSubjectConfig::DialogSubjectConfig(MainWindow *window)
    : QDialog(window)
    , ui(new Ui::DialogSubjectConfig)
    , window_(window)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint
                   | Qt::WindowCloseButtonHint);

    QStyle *treeStyle = QStyleFactory::create(QStringLiteral("windows"));
    if (treeStyle) {
        treeStyle->setParent(ui->treeWidget);
        ui->treeWidget->setStyle(treeStyle);
    }
    ui->labelImage->scrollArea = ui->scrollArea;
    ui->textEditItemAlias->document()->setMaximumBlockCount(1);

    QStringList scores{QStringLiteral("0.5")};
    for (int i = 1; i <= 15; ++i)
        scores << QString::number(i);
    ui->comboBoxScore->addItems(scores);
    ui->comboBoxScore->setCurrentText(QStringLiteral("1"));
    auto *scoreValidator = new QDoubleValidator(0, 1000, 2, ui->comboBoxScore);
    scoreValidator->setNotation(QDoubleValidator::StandardNotation);
    ui->comboBoxScore->setValidator(scoreValidator);
    auto *marginValidator = new QDoubleValidator(0, 1000, 2, ui->lineEditErrorMargin);
    marginValidator->setNotation(QDoubleValidator::StandardNotation);
    ui->lineEditErrorMargin->setValidator(marginValidator);

    QTableWidget *table = ui->tableWidget;
    table->setColumnCount(6);
    table->setHorizontalHeaderLabels({QStringLiteral("题目"), QStringLiteral("分值"), QStringLiteral("评分次数"),
                                      QStringLiteral("双评误差不能大于"), QStringLiteral("所属页号"),
                                      QStringLiteral("所属块号")});
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->horizontalHeader()->setTextElideMode(Qt::ElideRight);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);

    pictureMenu = new QMenu(this);
    pictureMenu->addAction(QIcon(QStringLiteral(":/image/res/images/zoom-in.png")), QStringLiteral("放大(&I)"),
                           ui->labelImage, &MyLabelForSubjectConfig::zoomIn);
    pictureMenu->addAction(QIcon(QStringLiteral(":/image/res/images/zoom-out.png")), QStringLiteral("缩小(&O)"),
                           ui->labelImage, &MyLabelForSubjectConfig::zoomOut);
    pictureMenu->addAction(QIcon(QStringLiteral(":/image/res/images/hor.png")), QStringLiteral("适应宽(&W)"), this,
                           [this] { ui->labelImage->fitToWidth(ui->scrollArea->width()); });
    const QIcon deleteIcon(QStringLiteral(":/image/res/images/delete.png"));
    tableMenu = new QMenu(this);
    tableMenu->addAction(deleteIcon, QStringLiteral("删除当前行(&D)"), this, &DialogSubjectConfig::onDeleteCurrentRow);
    tableMenu->addAction(deleteIcon, QStringLiteral("删除选中行(&S)"), this, &DialogSubjectConfig::onDeleteSelectedRows);
    tableMenu->addAction(deleteIcon, QStringLiteral("删除全部(&A)"), this, &DialogSubjectConfig::onDeleteAll);

    buildTree();

    connect(ui->treeWidget, &QTreeWidget::itemChanged, this, &DialogSubjectConfig::treeItemChanged);
    connect(ui->pushButtonPageSectionAdd, &QPushButton::clicked, this, &DialogSubjectConfig::onAddPageBlock);
    connect(ui->pushButtonItemAdd, &QPushButton::clicked, this, &DialogSubjectConfig::onAddItem);
    connect(ui->comboBoxMarkCount, &QComboBox::currentTextChanged, this, &DialogSubjectConfig::onMarkCountChanged);
    connect(ui->pushButtonReset, &QPushButton::clicked, this, &DialogSubjectConfig::onReset);
    connect(ui->pushButtonOK, &QPushButton::clicked, this, &DialogSubjectConfig::accept);
    connect(ui->scrollArea, &QWidget::customContextMenuRequested, this, [this] {
        if (!ui->labelImage->fullImage.isNull())
            pictureMenu->exec(QCursor::pos());
    });
    connect(ui->tableWidget, &QWidget::customContextMenuRequested, this, [this] {
        if (ui->tableWidget->rowCount() > 0)
            tableMenu->exec(QCursor::pos());
    });
}

DialogSubjectConfig::~DialogSubjectConfig()
{
    delete ui;
}

void DialogSubjectConfig::warn(const QString &text)
{
    MessageBox::warning(this, QString::fromUtf8(kTitle), text);
}

bool DialogSubjectConfig::ask(const QString &text)
{
    return MessageBox::question(this, QString::fromUtf8(kTitle), text) == QMessageBox::Yes;
}

void DialogSubjectConfig::buildTree()
{
    QTreeWidget *tree = ui->treeWidget;
    tree->setHeaderLabel(window_ ? window_->templateName : QString());
    QTreeWidget *pages = window_ ? window_->treeWidget : nullptr;
    for (int p = 0; pages && p < pages->topLevelItemCount(); ++p) {
        QTreeWidgetItem *pageItem = pages->topLevelItem(p);
        auto *item = new QTreeWidgetItem(tree, {QStringLiteral("第%1页").arg(p + 1)});
        for (int c = 0; c < pageItem->childCount(); ++c) {
            QObject *object = pageItem->child(c)->data(0, TreeItemDataRole).value<QObject *>();
            TreeItemDataForSubjectConfig data;
            if (auto *s = qobject_cast<MySectionSubject *>(object)) {
                data.page = s->subjectPage;
                data.section = s->SubjectSectionID;
            } else if (auto *s = qobject_cast<MySectionSubjectOptional *>(object)) {
                data.page = s->page;
                data.section = s->SubjectSectionID;
            } else {
                continue;
            }
            auto *section = static_cast<MySectionBase *>(object);
            data.rect = QRect(section->X, section->Y, section->Width, section->Height);
            auto *block = new QTreeWidgetItem(item, {section->sectionName()});
            block->setFlags(Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
            block->setCheckState(0, Qt::Unchecked);
            block->setData(0, SubjectConfigDataRole, QVariant::fromValue(data));
        }
    }
    tree->expandAll();
}

void DialogSubjectConfig::treeItemChanged(QTreeWidgetItem *item, int)
{
    if (!item)
        return;
    ui->treeWidget->setCurrentItem(item);
    const TreeItemDataForSubjectConfig data = item->data(0, SubjectConfigDataRole).value<TreeItemDataForSubjectConfig>();
    switch (item->checkState(0)) {
    case Qt::Checked:
        if (!tickedBlocks.contains(data)) {
            tickedBlocks.append(data);
            updatePageBlockFields();
        }
        break;
    case Qt::PartiallyChecked:
        break;
    case Qt::Unchecked: {
        if (!quietUncheck && !ask(QStringLiteral("确定取消当前页块的相关主观题题目设置吗？"))) {
            item->setCheckState(0, Qt::Checked);
            return;
        }
        for (int i = 0; i < tickedBlocks.size(); ++i) {
            if (tickedBlocks.at(i).page == data.page && tickedBlocks.at(i).section == data.section) {
                tickedBlocks.removeAt(i);
                break;
            }
        }
        updatePageBlockFields();
        removeRowsOfBlock(data.page, data.section);
        updateTotals();
        break;
    }
    }
}

void DialogSubjectConfig::updatePageBlockFields()
{
    QStringList pages, sections;
    for (const TreeItemDataForSubjectConfig &b : qAsConst(tickedBlocks)) {
        pages << QString::number(b.page);
        sections << QString::number(b.section);
    }
    ui->lineEditPageID->setText(pages.join(QLatin1Char(',')));
    ui->lineEditSectionID->setText(sections.join(QLatin1Char(',')));
}

void DialogSubjectConfig::removeRowsOfBlock(int page, int block)
{
    QTableWidget *table = ui->tableWidget;
    for (int r = table->rowCount() - 1; r >= 0; --r) {
        const QStringList pages = table->item(r, 4)->text().split(QLatin1Char(','));
        const QStringList blocks = table->item(r, 5)->text().split(QLatin1Char(','));
        // Lists read from a file may differ in length: compare shared positions.
        for (int k = 0; k < std::min(pages.size(), blocks.size()); ++k) {
            if (pages.at(k).toInt() == page && blocks.at(k).toInt() == block) {
                table->removeRow(r);
                break;
            }
        }
    }
}

bool DialogSubjectConfig::composeBlockImage(QString *errorText)
{
    int width = 0, height = 0;
    for (const TreeItemDataForSubjectConfig &b : qAsConst(tickedBlocks)) {
        width = std::max(width, b.rect.width());
        height += std::max(b.rect.height(), 0);
    }
    if (width <= 0 || height <= 0)
        return false;
    cv::Mat picture(height, width, CV_8UC3, cv::Scalar(255, 255, 255));
    QStringList problems;
    int offset = 0;
    for (const TreeItemDataForSubjectConfig &b : qAsConst(tickedBlocks)) {
        const QRect rect = b.rect;
        const QString path = window_ ? window_->pageImages.value(b.page - 1) : QString();
        cv::Mat page;
        if (!path.isEmpty()) {
            try {
                page = cv::imread(QFile::encodeName(path).toStdString(), cv::IMREAD_COLOR);
            } catch (const cv::Exception &) {
                page = cv::Mat();
            }
        }
        // Whatever of the block lies on a readable page is shown; the rest
        // stays white and is reported.
        const QRect onPage = rect.intersected(QRect(0, 0, page.cols, page.rows));
        if (page.empty())
            problems << QStringLiteral("第%1页的图片无法读取：%2").arg(b.page).arg(path);
        else if (onPage != rect)
            problems << QStringLiteral("第%1页的块%2不完全在图片内").arg(b.page).arg(b.section);
        if (!onPage.isEmpty()) {
            const cv::Rect from(onPage.x(), onPage.y(), onPage.width(), onPage.height());
            const cv::Rect to(onPage.x() - rect.x(), offset + onPage.y() - rect.y(), onPage.width(), onPage.height());
            page(from).copyTo(picture(to));
        }
        offset += std::max(rect.height(), 0);
    }
    ui->labelImage->image = picture;
    ui->labelImage->showImage();
    if (errorText)
        *errorText = problems.join(QLatin1Char('\n'));
    return problems.isEmpty();
}

void DialogSubjectConfig::onAddPageBlock()
{
    if (tickedBlocks.isEmpty())
        return;
    ui->lineEditItemPageID->setText(ui->lineEditPageID->text());
    ui->lineEditItemSectionID->setText(ui->lineEditSectionID->text());
    ui->lineEditPageID->clear();
    ui->lineEditSectionID->clear();
    QString problem;
    const bool composed = composeBlockImage(&problem);
    tickedBlocks.clear();
    if (!composed && !problem.isEmpty())
        warn(problem);
}

void DialogSubjectConfig::addRow(const QString &alias, const QString &score, const QString &markCount,
                                 const QString &errorMargin, const QString &pages, const QString &sections)
{
    QTableWidget *table = ui->tableWidget;
    const int r = table->rowCount();
    table->insertRow(r);
    const QString cells[] = {alias, score, markCount, errorMargin, pages, sections};
    for (int c = 0; c < 6; ++c)
        table->setItem(r, c, new QTableWidgetItem(cells[c]));
}

void DialogSubjectConfig::onAddItem()
{
    const QString name = ui->textEditItemAlias->toPlainText().remove(QLatin1Char('\n'));
    const QString score = ui->comboBoxScore->currentText();
    const QString markCount = ui->comboBoxMarkCount->currentText();
    const QString margin = ui->lineEditErrorMargin->text();
    const QString pages = ui->lineEditItemPageID->text();
    const QString blocks = ui->lineEditItemSectionID->text();
    QTableWidget *table = ui->tableWidget;

    if (name.isEmpty()) {
        warn(QStringLiteral("题目名称不能为空！"));
        return;
    }
    for (int r = 0; r < table->rowCount(); ++r) {
        if (table->item(r, 0)->text() == name) {
            warn(QStringLiteral("题名 %1 已存在，行 %2").arg(name).arg(r + 1));
            return;
        }
    }
    if (markCount.toInt() == 2 && margin.toFloat() == 0.0f) {
        const auto answer = MessageBox::withButtonTexts(
            this, QMessageBox::Question, QString::fromUtf8(kTitle),
            QStringLiteral("确定 评分次数为 2 且 允许误差值 为 0 吗？\n通常情况下 允许误差值 大于 0。"),
            {{QMessageBox::Yes, QStringLiteral("确定")}, {QMessageBox::No, QStringLiteral("修改")}}, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            ui->lineEditErrorMargin->setFocus();
            return;
        }
    }
    if (margin.toFloat() >= score.toFloat()) {
        warn(QStringLiteral("允许误差值 不能大于等于 题目分值"));
        return;
    }
    if (pages.isEmpty()) {
        warn(QStringLiteral("所属页号 不能为空"));
        return;
    }
    if (blocks.isEmpty()) {
        warn(QStringLiteral("所属块号 不能为空"));
        return;
    }
    for (int r = 0; r < table->rowCount(); ++r) {
        if (table->item(r, 4)->text() == pages && table->item(r, 5)->text() == blocks
            && table->item(r, 2)->text() != markCount) {
            warn(QStringLiteral("同一个（组）页块上的题目评分次数必须相同。\n页号：%1\n块号：%2").arg(pages, blocks));
            return;
        }
    }
    addRow(name, score, markCount, margin, pages, blocks);
    table->scrollToBottom();
    updateTotals();
}

void DialogSubjectConfig::onMarkCountChanged(const QString &text)
{
    if (text == QLatin1String("1")) {
        ui->lineEditErrorMargin->setText(QStringLiteral("0"));
        ui->lineEditErrorMargin->setEnabled(false);
    } else if (text == QLatin1String("2")) {
        ui->lineEditErrorMargin->setEnabled(true);
        ui->lineEditErrorMargin->setFocus();
    }
}

void DialogSubjectConfig::deleteRows(QList<int> rowNumbers)
{
    std::sort(rowNumbers.begin(), rowNumbers.end());
    rowNumbers.erase(std::unique(rowNumbers.begin(), rowNumbers.end()), rowNumbers.end());
    for (int i = rowNumbers.size() - 1; i >= 0; --i)
        ui->tableWidget->removeRow(rowNumbers.at(i));
    updateTotals();
}

void DialogSubjectConfig::onDeleteCurrentRow()
{
    if (!ask(QStringLiteral("删除当前行？")))
        return;
    const int row = ui->tableWidget->currentRow();
    deleteRows(row >= 0 ? QList<int>{row} : QList<int>{});
}

void DialogSubjectConfig::onDeleteSelectedRows()
{
    if (!ask(QStringLiteral("删除选中行？")))
        return;
    QList<int> selected;
    for (const QModelIndex &index : ui->tableWidget->selectionModel()->selectedIndexes())
        selected << index.row();
    deleteRows(selected);
}

void DialogSubjectConfig::onDeleteAll()
{
    if (!ask(QStringLiteral("删除全部？")))
        return;
    ui->tableWidget->setRowCount(0);
    updateTotals();
}

void DialogSubjectConfig::onReset()
{
    if (!ask(QStringLiteral("确定删除已经配置好的题目，并重新开始配置吗？")))
        return;
    tickedBlocks.clear();
    ui->lineEditItemPageID->clear();
    ui->lineEditItemSectionID->clear();
    ui->lineEditItemCount->clear();
    ui->tableWidget->setRowCount(0);
    quietUncheck = true;
    QTreeWidget *tree = ui->treeWidget;
    for (int p = 0; p < tree->topLevelItemCount(); ++p) {
        QTreeWidgetItem *pageItem = tree->topLevelItem(p);
        for (int c = 0; c < pageItem->childCount(); ++c)
            pageItem->child(c)->setCheckState(0, Qt::Unchecked);
    }
    quietUncheck = false;
    updateTotals();
}

void DialogSubjectConfig::updateTotals()
{
    QTableWidget *table = ui->tableWidget;
    float total = 0.0f;
    for (int r = 0; r < table->rowCount(); ++r)
        total += table->item(r, 1)->text().toFloat();
    ui->lineEditItemCount->setText(QString::number(table->rowCount()));
    ui->lineEditTotalScore->setText(QStringLiteral("%1").arg(double(total), 0, 'g', 6));
}

void DialogSubjectConfig::showEvent(QShowEvent *event)
{
    // Shown again (after a minimise, say), the table already holds the rows.
    if (!rowsShown_) {
        rowsShown_ = true;
        for (const SubjectItemRow &row : qAsConst(rows))
            addRow(row.Alias, row.Score, row.MarkCount, row.ErrorMargin, row.Pages, row.Sections);
        updateTotals();
    }
    QDialog::showEvent(event);
}

void DialogSubjectConfig::accept()
{
    QTableWidget *table = ui->tableWidget;
    rows.clear();
    for (int r = 0; r < table->rowCount(); ++r) {
        SubjectItemRow row;
        row.ItemID = QString::number(r + 1);
        row.Alias = table->item(r, 0)->text();
        row.Score = table->item(r, 1)->text();
        row.MarkCount = table->item(r, 2)->text();
        row.ErrorMargin = table->item(r, 3)->text();
        row.Pages = table->item(r, 4)->text();
        row.Sections = table->item(r, 5)->text();
        rows.append(row);
    }
    QDialog::accept();
}
