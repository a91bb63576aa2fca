#include "dialogdatauploadduplicatecheck.h"

#include "examsession.h"
#include "messagebox.h"
#include "myscrollareaforduplicatecheck.h"
#include "resultitemrole.h"
#include "tablewidgetdisabledoubleclick.h"

#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const char *const kChecked = ":/image/res/images/checked2.png";
const char *const kUnchecked = ":/image/res/images/unchecked.png";

constexpr int kCodeRole = Qt::UserRole + 1;   // column 0: student code
constexpr int kIdRole = Qt::UserRole + 2;     // column 0: platform student id
constexpr int kChosenRole = Qt::UserRole + 1; // columns 1, 2: 1 when chosen

QTableWidgetItem *plainItem()
{
    auto *item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

} // namespace

// ---------------------------------------------------------------- table form

FormDuplicateCheckTable::FormDuplicateCheckTable(const QList<StudentInfo> &duplicates, ExamSession *window,
                                                 QWidget *parent)
    : QWidget(parent), m_window(window)
{
    setObjectName(QStringLiteral("FormDuplicateCheckTable"));
    tableWidget = new TableWidgetDisableDoubleClick(this);
    tableWidget->setObjectName(QStringLiteral("tableWidget"));
    pushButtonSelectAllUploaded = new QPushButton(QStringLiteral("全选【已上传】"), this);
    pushButtonSelectAllUploaded->setObjectName(QStringLiteral("pushButtonSelectAllUploaded"));
    pushButtonSelectAllLocal = new QPushButton(QStringLiteral("全选【本地】"), this);
    pushButtonSelectAllLocal->setObjectName(QStringLiteral("pushButtonSelectAllLocal"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(pushButtonSelectAllUploaded);
    buttons->addWidget(pushButtonSelectAllLocal);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tableWidget);
    layout->addLayout(buttons);

    tableWidget->setColumnCount(3);
    tableWidget->setHorizontalHeaderLabels({QStringLiteral("学生信息"), QStringLiteral("已上传"), QStringLiteral("本地")});
    tableWidget->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    tableWidget->setRowCount(duplicates.size());
    for (int row = 0; row < duplicates.size(); ++row) {
        const StudentInfo &student = duplicates.at(row);
        QTableWidgetItem *info = plainItem();
        info->setText(QStringLiteral("%1-%2-%3").arg(student.code, student.realname, student.className));
        info->setData(kCodeRole, student.code);
        info->setData(kIdRole, student.id);
        tableWidget->setItem(row, ColumnStudent, info);
        tableWidget->setItem(row, ColumnUploaded, plainItem());
        tableWidget->setItem(row, ColumnLocal, plainItem());
        choose(row, false);
    }
    tableWidget->resizeColumnsToContents();

    connect(tableWidget, &QTableWidget::currentCellChanged, this, &FormDuplicateCheckTable::currentCellChanged);
    connect(tableWidget, &QTableWidget::itemPressed, this, &FormDuplicateCheckTable::itemPressed);
    connect(pushButtonSelectAllUploaded, &QPushButton::clicked, this, [this] { chooseAll(true); });
    connect(pushButtonSelectAllLocal, &QPushButton::clicked, this, [this] { chooseAll(false); });
}

void FormDuplicateCheckTable::setChoiceItem(QTableWidgetItem *item, bool chosen)
{
    item->setData(kChosenRole, chosen ? 1 : 0);
    item->setIcon(QIcon(QString::fromLatin1(chosen ? kChecked : kUnchecked)));
}

void FormDuplicateCheckTable::choose(int row, bool keepUploaded)
{
    setChoiceItem(tableWidget->item(row, ColumnUploaded), keepUploaded);
    setChoiceItem(tableWidget->item(row, ColumnLocal), !keepUploaded);
}

void FormDuplicateCheckTable::chooseAll(bool keepUploaded)
{
    for (int row = 0; row < tableWidget->rowCount(); ++row)
        choose(row, keepUploaded);
}

bool FormDuplicateCheckTable::keepsUploaded(int row) const
{
    return tableWidget->item(row, ColumnUploaded)->data(kChosenRole).toInt() == 1;
}

void FormDuplicateCheckTable::itemPressed(QTableWidgetItem *item)
{
    if (!item || (item->column() != ColumnUploaded && item->column() != ColumnLocal))
        return;
    const bool nowChosen = item->data(kChosenRole).toInt() != 1;
    // Flipping one choice sets the other to the opposite.
    choose(item->row(), item->column() == ColumnUploaded ? nowChosen : !nowChosen);
}

void FormDuplicateCheckTable::currentCellChanged(int currentRow, int, int, int)
{
    const QTableWidgetItem *info = tableWidget->item(currentRow, ColumnStudent);
    if (!info || !m_window)
        return;
    const QString code = info->data(kCodeRole).toString();
    const QTableWidget *results = m_window->resultTable();
    const QTableWidgetItem *match = nullptr;
    for (int row = 0; row < results->rowCount(); ++row) {
        const QTableWidgetItem *codeItem = results->item(row, 0);
        if (codeItem && codeItem->text() == code)
            match = codeItem; // the last matching row wins
    }
    if (match)
        emit showStudentPages(match->data(ResultSheetStateRole).toStringList());
}

// ---------------------------------------------------------------- image form

FormDuplicateCheckImage::FormDuplicateCheckImage(int pagesPerSheet, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FormDuplicateCheckImage"));
    resize(434, 386);

    auto tool = [this](const char *name, const char *icon) {
        auto *button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(name));
        button->setIcon(QIcon(QString::fromLatin1(icon)));
        button->setAutoRaise(true);
        return button;
    };
    toolButtonZoomIn = tool("toolButtonZoomIn", ":/image/res/images/zoom-in.png");
    toolButtonZoomOut = tool("toolButtonZoomOut", ":/image/res/images/zoom-out.png");
    toolButtonOriginal = tool("toolButtonOriginal", ":/image/res/images/original.png");
    toolButtonFit = tool("toolButtonFit", ":/image/res/images/fit.png");

    horizontalLayoutPages = new QHBoxLayout;
    horizontalLayoutPages->setObjectName(QStringLiteral("horizontalLayoutPages"));
    for (int page = 1; page <= pagesPerSheet; ++page) {
        auto *button = new QToolButton(this);
        button->setText(QStringLiteral("第%1页").arg(page));
        connect(button, &QToolButton::clicked, this, [this, button] {
            QString text = button->text();
            showPage(text.remove(QStringLiteral("第")).remove(QStringLiteral("页")).toInt());
        });
        horizontalLayoutPages->addWidget(button);
    }

    auto *tools = new QHBoxLayout;
    tools->addWidget(toolButtonZoomIn);
    tools->addWidget(toolButtonZoomOut);
    tools->addWidget(toolButtonOriginal);
    tools->addWidget(toolButtonFit);
    tools->addStretch();
    tools->addLayout(horizontalLayoutPages);

    scrollArea = new MyScrollAreaForDuplicateCheck(this);
    scrollArea->setObjectName(QStringLiteral("scrollArea"));
    scrollArea->setWidgetResizable(true);
    label = new QLabel(QStringLiteral("等待加载图片……"));
    label->setObjectName(QStringLiteral("label"));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setStyleSheet(QStringLiteral("background-color: rgb(148, 148, 148);"));
    scrollArea->setWidget(label);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(tools);
    layout->addWidget(scrollArea, 1);

    connect(toolButtonZoomIn, &QToolButton::clicked, this, &FormDuplicateCheckImage::zoomIn);
    connect(toolButtonZoomOut, &QToolButton::clicked, this, &FormDuplicateCheckImage::zoomOut);
    connect(toolButtonOriginal, &QToolButton::clicked, this, &FormDuplicateCheckImage::originalSize);
    connect(toolButtonFit, &QToolButton::clicked, this, &FormDuplicateCheckImage::fit);
}

void FormDuplicateCheckImage::setPages(const QStringList &paths)
{
    imagePaths = paths;
    showPage(1);
}

void FormDuplicateCheckImage::showPage(int page)
{
    if (page < 1 || page > imagePaths.size())
        return;
    fullImage.load(imagePaths.at(page - 1));
    const int width = int(fullImage.width() * zoomFactor);
    if (width >= 100)
        showScaledToWidth(width);
}

void FormDuplicateCheckImage::showPixmap(const QPixmap &pixmap)
{
    scaledImage = pixmap;
    label->setPixmap(scaledImage);
}

void FormDuplicateCheckImage::showScaledToWidth(int width)
{
    showPixmap(QPixmap::fromImage(fullImage.scaledToWidth(width, Qt::SmoothTransformation)));
}

void FormDuplicateCheckImage::zoomIn()
{
    if (fullImage.isNull())
        return;
    const float factor = zoomFactor * 1.1f;
    if (factor > 2.0f)
        return;
    zoomFactor = factor;
    showScaledToWidth(int(fullImage.width() * factor));
}

void FormDuplicateCheckImage::zoomOut()
{
    if (fullImage.isNull())
        return;
    const int width = int(fullImage.width() * zoomFactor / 1.1f);
    if (width < 100)
        return;
    zoomFactor = zoomFactor / 1.1f;
    showScaledToWidth(width);
}

void FormDuplicateCheckImage::originalSize()
{
    if (fullImage.isNull())
        return;
    zoomFactor = 1.0f;
    showPixmap(QPixmap::fromImage(fullImage));
}

void FormDuplicateCheckImage::fit()
{
    if (fullImage.isNull())
        return;
    const QSize viewport = scrollArea->viewport()->size();
    const int width = viewport.width() - scrollArea->verticalScrollBar()->width();
    const int height = viewport.height() - scrollArea->horizontalScrollBar()->height();
    if (width <= 0 || height <= 0)
        return;
    QImage scaled = fullImage.scaledToWidth(width, Qt::SmoothTransformation);
    zoomFactor = float(width) / float(fullImage.width());
    if (scaled.height() > height) {
        scaled = fullImage.scaledToHeight(height, Qt::SmoothTransformation);
        zoomFactor = float(height) / float(fullImage.height());
    }
    showPixmap(QPixmap::fromImage(scaled));
}

// ---------------------------------------------------------------- dialog

DialogDataUploadDuplicateCheck::DialogDataUploadDuplicateCheck(const QList<StudentInfo> &duplicates,
                                                               ExamSession *window, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("DialogDataUploadDuplicateCheck"));
    setWindowTitle(QStringLiteral("学生记录重复"));
    setWindowFlags(Qt::Window);
    resize(956, 513);

    auto *label = new QLabel(
        QStringLiteral("出现本界面说明已上传过的学生记录和本次要追加上传的学生有重复，需要检查并保留正确的记录。\n"
                       "表格中勾选上的则代表保留该数据。比如勾选上【本地】列的某一行记录，则云平台上【已上传】的该学生"
                       "相关信息会被删除。"),
        this);
    label->setObjectName(QStringLiteral("label"));
    label->setWordWrap(false);

    auto *widget = new QWidget(this);
    widget->setObjectName(QStringLiteral("widget"));
    tableForm = new FormDuplicateCheckTable(duplicates, window);
    imageForm = new FormDuplicateCheckImage(window ? window->templateModel.pagesPerSheet : 0);
    auto *splitter = new QSplitter(Qt::Horizontal, widget);
    splitter->setHandleWidth(4);
    splitter->addWidget(tableForm);
    splitter->addWidget(imageForm);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 2);
    auto *widgetLayout = new QHBoxLayout(widget);
    widgetLayout->setContentsMargins(0, 0, 0, 0);
    widgetLayout->addWidget(splitter);
    connect(tableForm, &FormDuplicateCheckTable::showStudentPages, imageForm, &FormDuplicateCheckImage::setPages);

    pushButtonCancel = new QPushButton(QStringLiteral("取消上传"), this);
    pushButtonCancel->setObjectName(QStringLiteral("pushButtonCancel"));
    pushButtonOK = new QPushButton(QStringLiteral("确定"), this);
    pushButtonOK->setObjectName(QStringLiteral("pushButtonOK"));
    connect(pushButtonCancel, &QPushButton::clicked, this, &DialogDataUploadDuplicateCheck::reject);
    connect(pushButtonOK, &QPushButton::clicked, this, &DialogDataUploadDuplicateCheck::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(pushButtonCancel);
    buttons->addWidget(pushButtonOK);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(widget, 1);
    layout->addLayout(buttons);
}

void DialogDataUploadDuplicateCheck::accept()
{
    idsToDelete.clear();
    idsToLeaveOut.clear();
    const QTableWidget *table = tableForm->tableWidget;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QString id = table->item(row, FormDuplicateCheckTable::ColumnStudent)->data(kIdRole).toString();
        if (tableForm->keepsUploaded(row))
            idsToLeaveOut.append(id);
        else
            idsToDelete.append(id);
    }
    QDialog::accept();
}

void DialogDataUploadDuplicateCheck::reject()
{
    const auto answer = MessageBox::withButtonTexts(
        this, QMessageBox::Question, QStringLiteral("提示"), QStringLiteral("确定取消本次上传吗？"),
        {{QMessageBox::Yes, QStringLiteral("是")}, {QMessageBox::No, QStringLiteral("否")}});
    if (answer == QMessageBox::Yes)
        QDialog::reject();
}
