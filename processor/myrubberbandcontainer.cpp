#include "myrubberbandcontainer.h"

#include "codereader.h"
#include "dialogbarcodecheck.h"
#include "dialogimageedit.h"
#include "dialogsetanchorpointroi.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "myimage.h"
#include "mylabel.h"
#include "mytablewidgetimage.h"

#include <QFile>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <opencv2/imgcodecs.hpp>

namespace {

const QColor kFill(0, 204, 255, 128);

// Sheet image as 8-bit grey; empty when it cannot be read.
cv::Mat readGrey(const QString &path)
{
    try {
        return cv::imread(QFile::encodeName(path).toStdString(), cv::IMREAD_GRAYSCALE);
    } catch (const cv::Exception &) {
        return cv::Mat();
    }
}

} // namespace

MyRubberBandContainer::MyRubberBandContainer(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("MyRubberBandContainer"));
    setGeometry(0, 0, 516, 222);
    setStyleSheet(QString());
    auto *layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("verticalLayout_2"));
    setMouseTracking(true);
    // The right press opens the box's menu; nothing further up should.
    setContextMenuPolicy(Qt::PreventContextMenu);
    mainWindow = findMainWindow(this);
}

MyLabel *MyRubberBandContainer::label() const
{
    return qobject_cast<MyLabel *>(parentWidget());
}

MainWindow *MyRubberBandContainer::mainWindowNow()
{
    if (!mainWindow)
        mainWindow = findMainWindow(this);
    return mainWindow;
}

bool MyRubberBandContainer::onHandle(const QPoint &pos) const
{
    return pos.x() > width() - kHandleSize && pos.y() > height() - kHandleSize;
}

QRect MyRubberBandContainer::fileRect() const
{
    const MyLabel *view = label();
    const float s = view ? view->scale : 0.0f;
    if (!(s > 0.0f))
        return QRect();
    const QRect box = geometry();
    return QRect(static_cast<int>(box.x() / s), static_cast<int>(box.y() / s),
                 static_cast<int>(box.width() / s), static_cast<int>(box.height() / s));
}

void MyRubberBandContainer::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(QPen(kFill, 1));
    painter.setBrush(kFill);
    painter.drawRect(rect());
    painter.setBrush(QColor(0, 0, 255));
    painter.drawRect(width() - kHandleSize, height() - kHandleSize, kHandleSize, kHandleSize);
}

void MyRubberBandContainer::resizeEvent(QResizeEvent *)
{
}

void MyRubberBandContainer::enterEvent(QEvent *)
{
    setCursor(Qt::SizeAllCursor);
}

void MyRubberBandContainer::leaveEvent(QEvent *)
{
    setCursor(Qt::ArrowCursor);
}

void MyRubberBandContainer::mousePressEvent(QMouseEvent *event)
{
    // Accepted: a press inside the box never starts a new selection.
    event->accept();
    if (event->button() == Qt::LeftButton) {
        pressPos = event->pos();
        if (onHandle(pressPos))
            resizing = true;
    } else if (event->button() == Qt::RightButton) {
        QMenu *menu = createContextMenu();
        menu->exec(event->globalPos());
        delete menu;
    }
}

void MyRubberBandContainer::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    resizing = false;
}

void MyRubberBandContainer::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    const MyLabel *view = label();
    const QImage *shown = view ? view->scaledImage : nullptr;
    const bool leftHeld = event->buttons() & Qt::LeftButton;

    if (!resizing) {
        setCursor(onHandle(event->pos()) ? Qt::SizeFDiagCursor : Qt::SizeAllCursor);
        if (!leftHeld)
            return;
        QPoint to = pos() + (event->pos() - pressPos);
        if (shown) {
            to.setX(std::min(to.x(), shown->width() - width()));
            to.setY(std::min(to.y(), shown->height() - height()));
        }
        // Last, so a box wider than the image still starts at its edge.
        to.setX(std::max(0, to.x()));
        to.setY(std::max(0, to.y()));
        move(to);
        return;
    }
    if (!leftHeld)
        return;
    int w = event->pos().x();
    int h = event->pos().y();
    if (shown) {
        if (x() + w > shown->width())
            w = shown->width() - x() - 1;
        if (y() + h > shown->height())
            h = shown->height() - y() - 1;
    }
    // Never smaller than the handle, so the box can still be taken.
    resize(std::max(w, kHandleSize), std::max(h, kHandleSize));
}

QMenu *MyRubberBandContainer::createContextMenu()
{
    auto *menu = new QMenu;
    menu->addAction(QIcon(QStringLiteral(":/image/res/images/code.png")), QStringLiteral("条码考号检测"), this,
                    &MyRubberBandContainer::barCodeCheck);
    menu->addAction(QIcon(QStringLiteral(":/image/res/images/roi.png")), QStringLiteral("设为定位点搜索区域"), this,
                    &MyRubberBandContainer::setROI);
    menu->addAction(QIcon(QStringLiteral(":/image/res/images/edit.png")), QStringLiteral("编辑"), this,
                    &MyRubberBandContainer::imageEdit);
    menu->addSeparator();
    return menu;
}

void MyRubberBandContainer::barCodeCheck()
{
    const MyLabel *view = label();
    if (!view)
        return;
    // An unreadable file or a box outside the image decodes nothing.
    cv::Mat crop;
    const cv::Mat image = readGrey(view->imagePath);
    const QRect area = fileRect().intersected(QRect(0, 0, image.cols, image.rows));
    if (!image.empty() && !area.isEmpty())
        crop = image(cv::Rect(area.x(), area.y(), area.width(), area.height())).clone();

    DialogBarCodeCheck dialog;
    if (dialog.exec() != QDialog::Accepted)
        return;

    QString symbology;
    QString code;
    if (!crop.empty() && readBarcodeCode(crop, dialog.direction, symbology, code)) {
        MessageBox::information(nullptr, QStringLiteral("提示"),
                                QStringLiteral("考号是 ") + code + QStringLiteral("\n编码方式是 ") + symbology,
                                QMessageBox::Yes);
    } else {
        MessageBox::information(nullptr, QStringLiteral("提示"), QStringLiteral("考号检测失败"), QMessageBox::Ok);
    }
}

void MyRubberBandContainer::setROI()
{
    MainWindow *mw = mainWindowNow();
    const MyLabel *view = label();
    if (!mw || !mw->tableWidgetImages || !view)
        return;
    // Workers read the search-area cells while they run.
    if (mw->isProcessing()) {
        mw->addLog(QStringLiteral("识别处理中，不能设置定位点搜索区域"));
        return;
    }
    MyTableWidgetImage *images = mw->tableWidgetImages;
    const int row = images->currentRow();
    const int pages = mw->pagesPerSheet;
    if (row < 0 || pages < 1)
        return;
    const int pageIndex = row % pages;
    const int page = pageIndex + 1;

    bool isRectangle = true;
    for (const TemplatePage &templatePage : mw->templatePages) {
        if (templatePage.id == page)
            isRectangle = templatePage.isRectangleAnchor;
    }

    DialogSetAnchorPointROI dialog;
    dialog.isRectangleAnchor = isRectangle;
    dialog.currentPage = page;
    if (dialog.exec() != QDialog::Accepted)
        return;

    // The box may be left over from a larger image; recognition gets an area
    // inside the image it shows.
    QRect area = fileRect();
    if (view->sourceImage)
        area = area.intersected(view->sourceImage->rect());
    if (area.isEmpty()) {
        mw->addLog(QStringLiteral("选择区域不在图片内，没有设置定位点搜索区域"));
        return;
    }
    const QString text = QStringLiteral("%1,%2,%3,%4").arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height());

    int column = ImageListColumn::AnchorAArea;
    if (dialog.anchorType == 1)
        column = ImageListColumn::AnchorBArea;
    else if (dialog.anchorType == 2)
        column = ImageListColumn::TextAnchorArea;

    std::vector<int> rows;
    if (dialog.applyToAllSheets) {
        for (int r = 0; r < images->rowCount(); ++r) {
            if (dialog.pageScope == 0 || (dialog.pageScope == 1 && r % pages == pageIndex))
                rows.push_back(r);
        }
    } else if (dialog.pageScope == 0) {
        for (int r = row - pageIndex; r < row - pageIndex + pages; ++r)
            rows.push_back(r);
    } else if (dialog.pageScope == 1) {
        rows.push_back(row);
    }
    for (int r : rows) {
        if (r < 0 || r >= images->rowCount())
            continue;
        QTableWidgetItem *cell = images->item(r, column);
        if (!cell) {
            cell = new QTableWidgetItem;
            images->setItem(r, column, cell);
        }
        cell->setText(text);
    }
}

void MyRubberBandContainer::imageEdit()
{
    MainWindow *mw = mainWindowNow();
    const MyLabel *view = label();
    if (!mw || !view)
        return;
    // The file may be a page a worker is reading.
    if (mw->isProcessing()) {
        mw->addLog(QStringLiteral("识别处理中，不能编辑图片"));
        return;
    }
    DialogImageEdit dialog(view->imagePath, fileRect(), mw->imageEditColor, mw->imageEditWidth,
                           MainWindow::iniPath());
    if (dialog.exec() != QDialog::Accepted)
        return;
    mw->imageEditColor = dialog.imageEditColor;
    mw->imageEditWidth = dialog.imageEditWidth;
    if (mw->myImage)
        mw->myImage->loadImage(view->imagePath);
}
