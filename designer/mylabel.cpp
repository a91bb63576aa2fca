#include "mylabel.h"

#include "dialoghorizontal.h"

#include "canvaswindow.h"
#include "contextmenu.h"
#include "dialogsectionoptionalitem.h"
#include "dialogsectionsubject.h"
#include "dialogsectionsubjectoptional.h"
#include "imagefile.h"
#include "messagebox.h"
#include "myimage.h"
#include "myrubberbandcontainer.h"
#include "mysectionbase.h"
#include "pageimagefile.h"
#include "sectiondrawing.h"
#include "treeitems.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QPointer>
#include <QTreeWidget>
#include <QWheelEvent>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

const char *const kTitle = "提示";

} // namespace

MyLabel::MyLabel(QWidget *parent) : QLabel(parent)
{
    setMouseTracking(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setScaledContents(false);
    setText(QStringLiteral("等待加载图片..."));
    // Right presses pan the scroll area; no context menu travels up from here.
    setContextMenuPolicy(Qt::PreventContextMenu);

    rubberBand = new MyRubberBandContainer(this);
    rubberBand->hide();

    // A section's information action reopens its dialog on this canvas.
    optionalItemDialog = [this](QStringList &items, QString &defaultItem) {
        return DialogSectionOptionalItem::edit(this, items, defaultItem);
    };
    subjectDialog = [this](int &blockPage, int &blockNumber) {
        return DialogSectionSubject::edit(this, blockPage, blockNumber);
    };
    subjectOptionalDialog = [this](int &group, int &blockPage, int &blockNumber) {
        return DialogSectionSubjectOptional::edit(this, group, blockPage, blockNumber);
    };
    horizontalDialog = [this](float *angleDegrees) {
        DialogHorizontal dialog(this);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        *angleDegrees = dialog.angle;
        return true;
    };
}

MyLabel::~MyLabel()
{
    // Sections leave the list in their destructors: let them do it while the
    // canvas is still whole. A deleted irregular question takes its bubbles
    // along, hence the guarded pointers.
    QList<QPointer<QWidget>> sections;
    for (MySectionBase *section : qAsConst(sections_))
        sections.append(section);
    for (const QPointer<QWidget> &section : qAsConst(sections))
        delete section.data();
}

CanvasWindow *MyLabel::canvasWindow() const
{
    return dynamic_cast<CanvasWindow *>(window());
}

void MyLabel::watchPageTree()
{
    const CanvasWindow *w = canvasWindow();
    QTreeWidget *tree = w ? w->pageTreeWidget() : nullptr;
    if (!tree || tree == watchedTree_)
        return;
    if (watchedTree_)
        disconnect(watchedTree_, &QObject::destroyed, this, nullptr);
    watchedTree_ = tree;
    connect(tree, &QObject::destroyed, this, [this] {
        for (MySectionBase *section : qAsConst(sections_))
            section->treeItem = nullptr;
    });
}

void MyLabel::showEvent(QShowEvent *event)
{
    watchPageTree();
    updateOwnBackground();
    QLabel::showEvent(event);
}

void MyLabel::paintEvent(QPaintEvent *event)
{
    // Only the exposed part of the page is drawn, straight from the pixmap
    // kept at the zoom: a section that repaints itself exposes a few pixels
    // of a page that at zoom 2 is over 100 MB. The background is filled
    // here, and only beside the page, rather than by Qt under all of it.
    // OMR_CANVAS_FULL_PAINT keeps the painting as it was (Qt's background
    // fill, the label's own painting of the whole page, labels of sections
    // laid out at every paint), for measurements.
    const bool fullPaint = qEnvironmentVariableIsSet("OMR_CANVAS_FULL_PAINT");
    SectionDrawing::setKeepTextLayouts(!fullPaint);
    const QPixmap page = pixmap(Qt::ReturnByValue);
    const bool ownBackground = testAttribute(Qt::WA_OpaquePaintEvent);
    const QBrush background = palette().brush(backgroundRole());
    if (fullPaint || page.isNull() || !isEnabled()) {
        if (ownBackground) {
            QPainter painter(this);
            for (const QRect &r : event->region())
                painter.fillRect(r, background);
        }
        QLabel::paintEvent(event);
        return;
    }
    const QPoint origin = contentsRect().topLeft();
    const QRect pageRect(origin, page.size());
    QPainter painter(this);
    if (ownBackground) {
        const QRegion beside = page.hasAlphaChannel() ? event->region() : event->region() - pageRect;
        for (const QRect &r : beside)
            painter.fillRect(r, background);
    }
    const QRect exposed = event->rect() & pageRect;
    if (!exposed.isEmpty())
        painter.drawPixmap(exposed.topLeft(), page, exposed.translated(-origin));
}

void MyLabel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::EnabledChange)
        updateOwnBackground();
    QLabel::changeEvent(event);
}

void MyLabel::updateOwnBackground()
{
    // Qt fills the background of a label that fills its background (as a
    // scroll area's widget does) under the whole exposed part before the
    // page covers most of it; an opaque brush is filled beside the page by
    // paintEvent instead. A label that shows its parent through keeps Qt's.
    setAttribute(Qt::WA_OpaquePaintEvent,
                 autoFillBackground() && palette().brush(backgroundRole()).isOpaque());
}

void MyLabel::showShown(QImage image)
{
    shownImage = std::move(image);
    setPixmap(QPixmap::fromImage(shownImage));
    updateOwnBackground();
}

void MyLabel::warn(const QString &text)
{
    MessageBox::warning(this, QString::fromUtf8(kTitle), text);
}

void MyLabel::loadImage(const QString &path, int pageNumber)
{
    watchPageTree();
    imagePath = path;
    // Shown as it is saved: turned as the file's stored orientation says.
    fullImage = PageImageFile::read(path);
    page = pageNumber;
    if (fullImage.isNull()) {
        showUnreadablePage(path, pageNumber);
        return;
    }
    showShown(fullImage.scaledToWidth(std::max(1, static_cast<int>(fullImage.width() * scale)),
                                      Qt::FastTransformation));
    if (CanvasWindow *w = canvasWindow())
        w->showImageInfo(path, pageNumber, shownImage.width(), shownImage.height());
    showPageSections();
}

void MyLabel::showPageSections()
{
    // Each section hides itself again unless it belongs to the page shown.
    for (MySectionBase *section : qAsConst(sections_))
        section->show();
}

void MyLabel::showUnreadablePage(const QString &path, int pageNumber)
{
    // Nothing of the previous page may stay under this page's sections.
    shownImage = QImage();
    clear();
    setText(QStringLiteral("图片无法读取"));
    rubberBand->hide();
    selectionRect = QRect();
    if (CanvasWindow *w = canvasWindow())
        w->showImageInfo(path, pageNumber, 0, 0);
    showPageSections();
    warn(QStringLiteral("第%1页的图片无法读取：\n%2").arg(pageNumber).arg(path));
}

void MyLabel::startTemplate()
{
    scale = 1.0f;
    // No page of the last template stays on screen, even when the new one
    // fails to open and shows none.
    fullImage = QImage();
    shownImage = QImage();
    clear();
    rubberBand->hide();
    selectionRect = QRect();
    showSectionName(QString());
}

void MyLabel::zoomIn()
{
    if (fullImage.isNull())
        return;
    const int width = qRound(scale * static_cast<float>(fullImage.width()) * 1.1f);
    if (width > kMaxZoomWidth)
        return;
    scale *= 1.1f;
    showShown(fullImage.scaledToWidth(width, Qt::FastTransformation));
    relayoutSections();
}

void MyLabel::zoomOut()
{
    if (fullImage.isNull())
        return;
    const int width = qRound(scale * static_cast<float>(fullImage.width()) / 1.1f);
    if (width < kMinZoomWidth)
        return;
    scale /= 1.1f;
    showShown(fullImage.scaledToWidth(width, Qt::FastTransformation));
    relayoutSections();
    hideSelectionOutsideImage();
}

void MyLabel::showFullSize()
{
    if (fullImage.isNull())
        return;
    scale = 1.0f;
    showShown(fullImage);
    relayoutSections();
    hideSelectionOutsideImage();
}

void MyLabel::fitToSize(int width, int height)
{
    // A collapsed view would give a zero zoom, which the sections divide by.
    if (fullImage.isNull() || width < 1 || height < 1)
        return;
    QImage fitted = fullImage.scaledToWidth(width, Qt::FastTransformation);
    float newScale = static_cast<float>(width) / static_cast<float>(fullImage.width());
    if (fitted.height() > height) {
        fitted = fullImage.scaledToHeight(height, Qt::FastTransformation);
        newScale = static_cast<float>(height) / static_cast<float>(fullImage.height());
    }
    scale = newScale;
    showShown(std::move(fitted));
    relayoutSections();
    hideSelectionOutsideImage();
}

void MyLabel::relayoutSections()
{
    for (QWidget *w = parentWidget(); w; w = w->parentWidget()) {
        if (auto *view = qobject_cast<MyImage *>(w)) {
            view->setScaleText(QString::number(static_cast<double>(scale)));
            break;
        }
    }
    for (MySectionBase *section : qAsConst(sections_)) {
        section->resize(qRound(static_cast<float>(section->Width) * scale),
                       qRound(static_cast<float>(section->Height) * scale));
        section->move(qRound(static_cast<float>(section->X) * scale), qRound(static_cast<float>(section->Y) * scale));
    }
}

void MyLabel::hideSelectionOutsideImage()
{
    const QRect r = rubberBand->geometry();
    if (r.x() + r.width() > shownImage.width() || r.y() + r.height() > shownImage.height())
        rubberBand->hide();
}

QTreeWidgetItem *MyLabel::pageTreeItem() const
{
    const CanvasWindow *w = canvasWindow();
    QTreeWidget *tree = w ? w->pageTreeWidget() : nullptr;
    if (!tree)
        return nullptr;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = tree->topLevelItem(i);
        const QVariant data = item->data(0, TreeItemDataRole);
        if (data.canConvert<TreeItemPage>() && data.value<TreeItemPage>().id == page)
            return item;
    }
    return nullptr;
}

void MyLabel::rotatePage(int code)
{
    for (const MySectionBase *section : qAsConst(sections_)) {
        if (section->page == page) {
            warn(QStringLiteral("当前页已经添加元素了，无法进行旋转操作了。"));
            return;
        }
    }
    if (fullImage.isNull() || code < 0 || code > 2)
        return;
    // The codes name the same turns as the file rotation's modes.
    QString error;
    if (!ImageFile::rotate(imagePath, code, -1, &error)) {
        warn(error);
        return;
    }
    loadImage(imagePath, page);
}

void MyLabel::correctHorizontal()
{
    if (fullImage.isNull())
        return;
    if (rubberBand->width() < kMinDeskewSelectionWidth) {
        warn(QStringLiteral("操作需要宽度大于150"));
        return;
    }
    float angle = 0.0f;
    if (!horizontalDialog || !horizontalDialog(&angle) || std::fabs(angle) < kMinDeskewDegrees)
        return;
    if (std::fabs(angle) > kMaxDeskewDegrees) {
        warn(QStringLiteral("水平偏差大于5度，操作失败"));
        return;
    }
    QString error;
    if (!deskewImage(angle, &error)) {
        warn(error);
        return;
    }
    loadImage(imagePath, page);
    warn(QStringLiteral("校正成功"));
}

bool MyLabel::deskewImage(float angle, QString *error)
{
    // Any 8-bit image as it is stored: a grey page stays grey.
    const cv::Mat image = ImageFile::read(imagePath, cv::IMREAD_ANYCOLOR, error);
    if (image.empty())
        return false;
    const cv::Point2f centre(image.cols * 0.5f, image.rows * 0.5f);
    const cv::Mat rotation = cv::getRotationMatrix2D(centre, angle, 1.0);
    cv::Mat turned;
    cv::warpAffine(image, turned, rotation, image.size(), cv::INTER_CUBIC, cv::BORDER_CONSTANT,
                   cv::Scalar(255, 255, 255));
    std::vector<int> params;
    const QString suffix = QFileInfo(imagePath).suffix().toLower();
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        params = {cv::IMWRITE_JPEG_QUALITY, 100};
    return ImageFile::write(imagePath, turned, params, error);
}

int MyLabel::currentPage() const
{
    const CanvasWindow *w = canvasWindow();
    return w ? w->shownPage() : page;
}

void MyLabel::showSectionName(const QString &text)
{
    if (CanvasWindow *w = canvasWindow())
        w->showSectionName(text);
}

void MyLabel::grabCanvasKeyboard()
{
    // An open menu keeps the keyboard; the grab would outrank it.
    if (!ContextMenu::holdsKeyboard())
        grabKeyboard();
}

void MyLabel::showSelection(const QRect &geometry)
{
    rubberBand->setGeometry(geometry);
    rubberBand->show();
    rubberBand->raise();
}

QMessageBox::StandardButton MyLabel::showMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                                 const QString &text, QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton)
{
    return MessageBox::show({icon, title, text, buttons, defaultButton, QMessageBox::NoButton, {}, {}, parent});
}

bool MyLabel::editOptionalItem(QStringList &items, QString &defaultItem)
{
    return optionalItemDialog && optionalItemDialog(items, defaultItem);
}

bool MyLabel::editSubject(int &pageNumber, int &blockNumber)
{
    return subjectDialog && subjectDialog(pageNumber, blockNumber);
}

bool MyLabel::editSubjectOptional(int &optional, int &pageNumber, int &blockNumber)
{
    return subjectOptionalDialog && subjectOptionalDialog(optional, pageNumber, blockNumber);
}

void MyLabel::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Control:
        ctrlDown = true;
        break;
    case Qt::Key_Shift:
        shiftDown = true;
        break;
    default:
        break;
    }
    if (!fullImage.isNull()) {
        const QRect r = rubberBand->geometry();
        const bool shift = event->modifiers() & Qt::ShiftModifier;
        const int shownWidth = shownImage.width();
        const int shownHeight = shownImage.height();
        switch (event->key()) {
        case Qt::Key_Right:
            if (shift)
                rubberBand->resize(r.width() + 1, r.height());
            else if (r.x() + 1 + r.width() <= shownWidth)
                rubberBand->move(r.x() + 1, r.y());
            break;
        case Qt::Key_Down:
            if (shift)
                rubberBand->resize(r.width(), r.height() + 1);
            else if (r.y() + 1 + r.height() <= shownHeight)
                rubberBand->move(r.x(), r.y() + 1);
            break;
        case Qt::Key_Left:
            if (shift)
                rubberBand->resize(r.width() - 1, r.height());
            else if (r.x() - 1 >= 0)
                rubberBand->move(r.x() - 1, r.y());
            break;
        case Qt::Key_Up:
            if (shift)
                rubberBand->resize(r.width(), r.height() - 1);
            else if (r.y() - 1 >= 0)
                rubberBand->move(r.x(), r.y() - 1);
            break;
        default:
            break;
        }
    }
    QLabel::keyPressEvent(event);
}

void MyLabel::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Control)
        ctrlDown = false;
    else if (event->key() == Qt::Key_Shift)
        shiftDown = false;
    QLabel::keyReleaseEvent(event);
}

void MyLabel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        pressPoint = event->pos();
        setCursor(Qt::CrossCursor);
    } else if (event->button() == Qt::RightButton) {
        setCursor(Qt::ClosedHandCursor);
    }
    // Handed on: the scroll area pans with the right button.
    event->ignore();
}

void MyLabel::mouseMoveEvent(QMouseEvent *event)
{
    if (CanvasWindow *w = canvasWindow())
        w->showMousePosition(event->x(), event->y());
    if ((event->buttons() & Qt::LeftButton) && !shownImage.isNull()) {
        // Both corners are held to the image before the rectangle is made,
        // so a press in the grey beside or below the page never turns it
        // inside out: the selection always lies on the page.
        const auto onImage = [this](const QPoint &p) {
            return QPoint(std::clamp(p.x(), 0, shownImage.width() - 1), std::clamp(p.y(), 0, shownImage.height() - 1));
        };
        const QRect r = QRect(onImage(pressPoint), onImage(event->pos())).normalized();
        selectionRect = r;
        rubberBand->setGeometry(r);
        rubberBand->show();
    }
    event->ignore();
}

void MyLabel::mouseReleaseEvent(QMouseEvent *event)
{
    setCursor(Qt::ArrowCursor);
    event->ignore();
}

void MyLabel::wheelEvent(QWheelEvent *event)
{
    // Never handed on: the wheel does not scroll the canvas.
    event->accept();
    if (fullImage.isNull() || !(event->modifiers() & Qt::ControlModifier))
        return;
    if (event->angleDelta().y() > 0)
        zoomIn();
    else
        zoomOut();
}

void MyLabel::enterEvent(QEvent *event)
{
    grabCanvasKeyboard();
    QLabel::enterEvent(event);
}

void MyLabel::leaveEvent(QEvent *event)
{
    releaseKeyboard();
    // Keys let go elsewhere never reach the canvas.
    ctrlDown = false;
    shiftDown = false;
    QLabel::leaveEvent(event);
}
