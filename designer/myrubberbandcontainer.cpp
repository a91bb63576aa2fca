#include "myrubberbandcontainer.h"
#include "ui_myrubberbandcontainer.h"

#include "anchorsections.h"
#include "canvaswindow.h"
#include "contextmenu.h"
#include "dialogsectioncode.h"
#include "messagebox.h"
#include "mylabel.h"

#include <QCursor>
#include <QIcon>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <memory>

namespace {

const char *const kTitle = "提示";

QAction *addEntry(QMenu *menu, const char *icon, const QString &text, MyRubberBandContainer *target,
                  void (MyRubberBandContainer::*slot)())
{
    QAction *action = menu->addAction(QIcon(QString::fromLatin1(icon)), text);
    QObject::connect(action, &QAction::triggered, target, slot);
    return action;
}

} // namespace

MyRubberBandContainer::MyRubberBandContainer(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::MyRubberBandContainer>())
{
    ui->setupUi(this);
    setMouseTracking(true);
}

MyRubberBandContainer::~MyRubberBandContainer() = default;

MyLabel *MyRubberBandContainer::canvas() const
{
    return qobject_cast<MyLabel *>(parentWidget());
}

bool MyRubberBandContainer::inHandle(const QPoint &pos) const
{
    return pos.x() > width() - kHandleSize && pos.y() > height() - kHandleSize;
}

void MyRubberBandContainer::paintEvent(QPaintEvent *)
{
    if (MyLabel *label = canvas()) {
        if (CanvasWindow *window = label->canvasWindow())
            window->showSelectionInfo(x(), y(), width(), height());
    }
    QPainter painter(this);
    const QColor fill(0, 204, 255, 128);
    painter.setPen(QPen(fill, 1));
    painter.setBrush(fill);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.fillRect(QRect(width() - kHandleSize, height() - kHandleSize, kHandleSize, kHandleSize),
                     QColor(0, 0, 255, 255));
}

void MyRubberBandContainer::enterEvent(QEvent *)
{
    setCursor(Qt::SizeAllCursor);
}

void MyRubberBandContainer::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        pressOffset = event->pos();
        if (inHandle(event->pos())) {
            resizing = true;
            sizeOffset = QPoint(event->x() - width(), event->y() - height());
        }
    } else if (event->button() == Qt::RightButton) {
        const std::unique_ptr<QMenu> menu(buildMenu());
        ContextMenu::exec(menu.get(), QCursor::pos());
    }
    // Kept here: a press on the rectangle never starts a new selection below it.
    event->accept();
}

void MyRubberBandContainer::mouseMoveEvent(QMouseEvent *event)
{
    MyLabel *label = canvas();
    const QSize image = label ? label->shownImageSize() : QSize();
    const bool leftHeld = event->buttons() & Qt::LeftButton;

    if (!resizing) {
        setCursor(inHandle(event->pos()) ? Qt::SizeFDiagCursor : Qt::SizeAllCursor);
        if (leftHeld) {
            QPoint to = mapToParent(event->pos() - pressOffset);
            // A rectangle wider than the image keeps its left edge on it.
            to.setX(std::max(0, std::min(to.x(), image.width() - width())));
            to.setY(std::max(0, std::min(to.y(), image.height() - height())));
            move(to);
        }
    } else if (leftHeld) {
        int w = event->x() - sizeOffset.x();
        int h = event->y() - sizeOffset.y();
        // The handle is grabbed a few pixels inside the corner, so the size
        // itself is held to the image, not only the pointer.
        w = std::max(0, std::min(w, image.width() - x()));
        h = std::max(0, std::min(h, image.height() - y()));
        resize(w, h);
    }
    event->accept();
}

void MyRubberBandContainer::mouseReleaseEvent(QMouseEvent *event)
{
    resizing = false;
    event->accept();
}

// ---- page facts ----

template <typename T>
bool MyRubberBandContainer::holds(bool canvasPageOnly) const
{
    MyLabel *label = canvas();
    if (!label)
        return false;
    for (MySectionBase *section : label->sectionList()) {
        if (qobject_cast<T *>(section) && (!canvasPageOnly || section->page == label->page))
            return true;
    }
    return false;
}

bool MyRubberBandContainer::hasAnchorPointA() const
{
    return holds<MySectionAnchorPointA>(true);
}

bool MyRubberBandContainer::hasAnchorPointB() const
{
    return holds<MySectionAnchorPointB>(true);
}

bool MyRubberBandContainer::hasPrintTextAnchor() const
{
    return holds<MySectionPrintTextAnchor>(true);
}

bool MyRubberBandContainer::hasAbsentMark() const
{
    return holds<MySectionAbsentMark>(false);
}

bool MyRubberBandContainer::hasCode() const
{
    return holds<MySectionCode>(false);
}

bool MyRubberBandContainer::pageAnchored() const
{
    return hasPrintTextAnchor() || (hasAnchorPointA() && hasAnchorPointB());
}

// ---- the menu ----

QMenu *MyRubberBandContainer::buildMenu()
{
    auto *menu = new QMenu(this);
    MyLabel *label = canvas();
    const bool firstPage = label && label->page == 1;
    const bool anchorA = hasAnchorPointA();
    const bool anchorB = hasAnchorPointB();
    const bool printText = hasPrintTextAnchor();
    const char *const rectangleIcon = ":/image/res/images/rectangle.png";
    const char *const objectIcon = ":/image/res/images/object.png";
    const char *const subjectIcon = ":/image/res/images/subject.png";

    if (!anchorA && !printText)
        addEntry(menu, rectangleIcon, QStringLiteral("矩形黑块定位点A"), this,
                 &MyRubberBandContainer::setSectionAnchorPointA);
    if (!anchorB && !printText)
        addEntry(menu, rectangleIcon, QStringLiteral("矩形黑块定位点B"), this,
                 &MyRubberBandContainer::setSectionAnchorPointB);
    if (!printText && !anchorA && !anchorB) {
        menu->addSeparator();
        addEntry(menu, ":/image/res/images/print-text-anchor.png", QStringLiteral("印刷体文字定位(&P)"), this,
                 &MyRubberBandContainer::setPrintTextAnchor);
        menu->addSeparator();
    }
    if (firstPage && !hasAbsentMark())
        addEntry(menu, ":/image/res/images/absentmark.png", QStringLiteral("缺考标记(&A)"), this,
                 &MyRubberBandContainer::setSectionAbsentMark);
    const bool code = hasCode();
    if (firstPage && !code)
        addEntry(menu, ":/image/res/images/code.png", QStringLiteral("考号(&C)"), this,
                 &MyRubberBandContainer::setSectionCode);
    // Questions only on an anchored page, and on page 1 only once the
    // student code is there.
    if (printText || (anchorA && anchorB)) {
        if (!firstPage || code) {
            addEntry(menu, objectIcon, QStringLiteral("客观题(&O)"), this, &MyRubberBandContainer::setSectionObject);
            addEntry(menu, subjectIcon, QStringLiteral("主观题(&S)"), this, &MyRubberBandContainer::setSectionSubject);
            addEntry(menu, objectIcon, QStringLiteral("客观题-异型"), this,
                     &MyRubberBandContainer::setSectionObjectAbnormal);
            menu->addSeparator();
            addEntry(menu, ":/image/res/images/optional.png", QStringLiteral("选做题的备选题 题号"), this,
                     &MyRubberBandContainer::setSectionOptionalItem);
            addEntry(menu, objectIcon, QStringLiteral("选做题客观题"), this,
                     &MyRubberBandContainer::setSectionObjectOptional);
            addEntry(menu, subjectIcon, QStringLiteral("选做题主观题"), this,
                     &MyRubberBandContainer::setSectionSubjectOptional);
            addEntry(menu, objectIcon, QStringLiteral("选做题客观题-异型"), this,
                     &MyRubberBandContainer::setSectionObjectOptionalAbnormal);
        }
    }
    menu->addSeparator();
    addEntry(menu, ":/image/res/images/measure.png", QStringLiteral("测量涂点大小(&M)"), this,
             &MyRubberBandContainer::setMarkPointSize);
    menu->addAction(QStringLiteral("涂点宽：%1 涂点高 ：%2").arg(markPointWidth).arg(markPointHeight))
        ->setEnabled(false);
    if (!anchorA && !anchorB && !printText) {
        menu->addSeparator();
        addEntry(menu, ":/image/res/images/hor.png", QStringLiteral("水平校正(&H)"), this,
                 &MyRubberBandContainer::rotateImageToHor);
    }
    menu->addSeparator();
    addEntry(menu, rectangleIcon, QStringLiteral("边角检测"), this, &MyRubberBandContainer::setSectionCornerCheck);
    menu->addSeparator();
    QAction *smart = smartMode
        ? menu->addAction(QIcon(QStringLiteral(":/image/res/images/unlock.png")),
                          QStringLiteral("关闭 智能获取涂点大小和区域"))
        : menu->addAction(QIcon(QStringLiteral(":/image/res/images/lock.png")),
                          QStringLiteral("开启 智能获取涂点大小和区域"));
    const bool turnOn = !smartMode;
    connect(smart, &QAction::triggered, this, [this, turnOn] { smartMode = turnOn; });
    return menu;
}

// ---- the slots ----

void MyRubberBandContainer::warn(const QString &text)
{
    MessageBox::warning(this, QString::fromUtf8(kTitle), text);
}

bool MyRubberBandContainer::refuseReduced(const QString &zoomQuestion)
{
    MyLabel *label = canvas();
    if (!label)
        return true;
    if (label->scale >= 1.0f)
        return false;
    // Bubble sizes are read from page pixels; a reduced page would round them away.
    if (MessageBox::warning(this, QString::fromUtf8(kTitle), zoomQuestion, QMessageBox::Yes | QMessageBox::No,
                            QMessageBox::Yes)
        == QMessageBox::Yes)
        label->showFullSize();
    return true;
}

bool MyRubberBandContainer::refuseTinySelection()
{
    MyLabel *label = canvas();
    if (!label || label->scale <= 0.0f)
        return true;
    // What the section would store: the selection in page pixels, truncated.
    const int pageWidth = int(float(width()) / label->scale);
    const int pageHeight = int(float(height()) / label->scale);
    if (std::min({width(), height(), pageWidth, pageHeight}) >= kMinSectionPixels)
        return false;
    warn(QStringLiteral("选择区域太小，请重新框选：宽和高都至少需要%1像素。").arg(kMinSectionPixels));
    return true;
}

bool MyRubberBandContainer::refuseUnmeasuredOrReduced(const QString &unmeasured, const QString &zoomQuestion)
{
    if (!measured()) {
        warn(unmeasured);
        return true;
    }
    return refuseReduced(zoomQuestion);
}

void MyRubberBandContainer::setPrintTextAnchor()
{
    MyLabel *label = canvas();
    if (!label || refuseTinySelection())
        return;
    if (hasPrintTextAnchor()) {
        warn(QStringLiteral("印刷体文字定位点已存在"));
        return;
    }
    label->addPrintTextAnchor();
}

void MyRubberBandContainer::setSectionAnchorPointA()
{
    MyLabel *label = canvas();
    if (!label || refuseTinySelection())
        return;
    if (hasAnchorPointA()) {
        warn(QStringLiteral("定位点A已存在"));
        return;
    }
    label->addAnchorPointA();
}

void MyRubberBandContainer::setSectionAnchorPointB()
{
    MyLabel *label = canvas();
    if (!label || refuseTinySelection())
        return;
    if (hasAnchorPointB()) {
        warn(QStringLiteral("定位点B已存在"));
        return;
    }
    label->addAnchorPointB();
}

void MyRubberBandContainer::setSectionAbsentMark()
{
    MyLabel *label = canvas();
    if (!label || refuseTinySelection())
        return;
    if (hasAbsentMark()) {
        warn(QStringLiteral("缺考标记已存在"));
        return;
    }
    if (refuseReduced(QStringLiteral("不能在图片缩小时进行【缺考标记】设置。是否进行原图显示？")))
        return;
    label->addAbsentMark();
}

void MyRubberBandContainer::setSectionCode()
{
    MyLabel *label = canvas();
    if (!label || refuseTinySelection())
        return;
    if (hasCode()) {
        warn(QStringLiteral("考号已存在"));
        return;
    }
    // Built without a parent, as the code is asked once per template.
    DialogSectionCode dialog;
    dialog.markPointWidth = markPointWidth;
    dialog.markPointHeight = markPointHeight;
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (dialog.codeType == 1)
        label->addBarcodeSection(dialog.barDirection);
    else
        label->addBubbleCodeSection(dialog.codeLength, dialog.numberDirection, dialog.markPointWidth,
                                    dialog.markPointHeight);
}

void MyRubberBandContainer::setMarkPointSize()
{
    MyLabel *label = canvas();
    if (!label || refuseReduced(QStringLiteral("不能在图片缩小时进行【测量涂点大小】操作。是否进行原图显示？")))
        return;
    const float z = label->scale;
    if (smartMode) {
        QRect found;
        if (!label->measureMarkPoint(found)) {
            MessageBox::information(this, QString::fromUtf8(kTitle), QStringLiteral("自动测量涂点大小失败"),
                                    QMessageBox::Yes);
            return;
        }
        markPointWidth = found.width() - 1;
        markPointHeight = found.height() - 1;
        // Frame the bubble found.
        setGeometry(x() + qRound(float(found.x()) * z), y() + qRound(float(found.y()) * z),
                    qRound(float(markPointWidth) * z), qRound(float(markPointHeight) * z));
    } else {
        markPointWidth = int(float(width()) / z);
        markPointHeight = int(float(height()) / z);
    }
    MessageBox::information(this, QString::fromUtf8(kTitle),
                            QStringLiteral("测量完成\n涂点宽：%1  涂点高：%2").arg(markPointWidth).arg(markPointHeight),
                            QMessageBox::Yes);
}

void MyRubberBandContainer::setSectionObject()
{
    MyLabel *label = canvas();
    if (!label || refuseTinySelection()
        || refuseUnmeasuredOrReduced(QStringLiteral("设置客观题之前需要先【测量涂点大小】"),
                                     QStringLiteral("不能在图片缩小时进行【客观题】设置。是否进行原图显示？")))
        return;
    label->addObjectSection(markPointWidth, markPointHeight, false);
}

void MyRubberBandContainer::setSectionObjectAbnormal()
{
    MyLabel *label = canvas();
    if (!label || refuseTinySelection()
        || refuseUnmeasuredOrReduced(QStringLiteral("设置客观题之前需要先【测量涂点大小】"),
                                     QStringLiteral("不能在图片缩小时进行【客观题】设置。是否进行原图显示？")))
        return;
    label->addObjectSection(markPointWidth, markPointHeight, true);
}

void MyRubberBandContainer::setSectionObjectOptional()
{
    MyLabel *label = canvas();
    if (!label || refuseTinySelection()
        || refuseUnmeasuredOrReduced(QStringLiteral("设置之前需要先【测量涂点大小】"),
                                     QStringLiteral("不能在图片缩小时进行【选做题客观题】设置。是否进行原图显示？")))
        return;
    label->addObjectOptionalSection(markPointWidth, markPointHeight, false);
}

void MyRubberBandContainer::setSectionObjectOptionalAbnormal()
{
    MyLabel *label = canvas();
    if (!label || refuseTinySelection()
        || refuseUnmeasuredOrReduced(QStringLiteral("设置之前需要先【测量涂点大小】"),
                                     QStringLiteral("不能在图片缩小时进行【选做题客观题】设置。是否进行原图显示？")))
        return;
    label->addObjectOptionalSection(markPointWidth, markPointHeight, true);
}

void MyRubberBandContainer::setSectionOptionalItem()
{
    MyLabel *label = canvas();
    if (!label || refuseTinySelection()
        || refuseUnmeasuredOrReduced(
            QStringLiteral("设置选做题题号之前需要先【测量涂点大小】"),
            QStringLiteral("不能在图片缩小时进行【选做题的备选题 题号】设置。是否进行原图显示？")))
        return;
    label->addOptionalItemSection(markPointWidth, markPointHeight);
}

void MyRubberBandContainer::setSectionSubject()
{
    MyLabel *label = canvas();
    if (label && !refuseTinySelection())
        label->addSubjectSection();
}

void MyRubberBandContainer::setSectionSubjectOptional()
{
    MyLabel *label = canvas();
    if (label && !refuseTinySelection())
        label->addSubjectOptionalSection();
}

void MyRubberBandContainer::setSectionCornerCheck()
{
    MyLabel *label = canvas();
    if (label && !refuseTinySelection())
        label->addCornerCheck();
}

void MyRubberBandContainer::rotateImageToHor()
{
    if (MyLabel *label = canvas())
        label->correctHorizontal();
}
