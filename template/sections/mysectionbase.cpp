#include "mysectionbase.h"

#include "contextmenu.h"
#include "questionsections.h"
#include "sectiondrawing.h"
#include "sectionhost.h"

#include <QAction>
#include <QCursor>
#include <QIcon>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTreeWidgetItem>

#include <memory>

namespace {

// The handle corner: the last 6 pixels of the widget in both directions.
bool inHandleCorner(const QWidget *w, const QPoint &pos)
{
    return pos.x() > w->width() - 6 && pos.y() > w->height() - 6;
}

QPen areaStylePen(const QColor &color)
{
    return QPen(QBrush(color, Qt::SolidPattern), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

} // namespace

MySectionBase::MySectionBase(int page, QWidget *parent)
    : QWidget(parent),
      page(page),
      markColor(255, 45, 45, 128),
      markPen(areaStylePen(markColor)),
      markBrush(markColor, Qt::SolidPattern),
      areaColor(255, 151, 151, 128),
      areaPen(areaStylePen(areaColor)),
      areaBrush(areaColor, Qt::SolidPattern),
      textPen(QColor(0, 0, 0, 128))
{
    setAttribute(Qt::WA_MouseTracking);
}

MySectionBase::~MySectionBase()
{
    delete treeItem;
    treeItem = nullptr;
    // While the canvas itself is being destroyed it is no longer a host, so
    // its list (already gone) is never touched.
    if (SectionHost *canvas = host()) {
        QList<MySectionBase *> &list = canvas->sectionList();
        for (int i = list.size() - 1; i >= 0; --i) {
            if (list.at(i) == this)
                list.removeAt(i);
        }
    }
}

void MySectionBase::showInfo() {}

QString MySectionBase::sectionName() const
{
    return QStringLiteral("section name");
}

SectionHost *MySectionBase::host() const
{
    return dynamic_cast<SectionHost *>(parentWidget());
}

int MySectionBase::currentPage() const
{
    const SectionHost *canvas = host();
    return canvas ? canvas->currentPage() : -1;
}

float MySectionBase::zoom() const
{
    const SectionHost *canvas = host();
    const float z = canvas ? canvas->zoom() : 1.0f;
    // Every page value is divided by the zoom; a canvas never shows a page
    // at zero or negative size.
    return z > 0.0f ? z : 1.0f;
}

bool MySectionBase::isIrregularQuestion() const
{
    return objectName() == QLatin1String("MySectionObjectAbnormal");
}

bool MySectionBase::isOptionBubble() const
{
    return objectName() == QLatin1String("ObjectAbnormalOption");
}

int MySectionBase::roundF(float value)
{
    return qRound(value);
}

void MySectionBase::setLock(bool lock)
{
    locked = lock;
}

void MySectionBase::setHide(bool hide)
{
    hidden = hide;
    setVisible(!hide);
    if (auto *question = qobject_cast<MySectionObjectAbnormal *>(this)) {
        for (ObjectAbnormalOption *bubble : qAsConst(question->options)) {
            if (bubble)
                bubble->setVisible(!hide);
        }
    }
}

QMenu *MySectionBase::buildContextMenu()
{
    if (isOptionBubble())
        return nullptr;
    const QString lockIcon = QStringLiteral(":/image/res/images/lock.png");
    const QString unlockIcon = QStringLiteral(":/image/res/images/unlock.png");

    auto *menu = new QMenu;
    menu->setTitle(QStringLiteral("this is title"));

    QAction *state = menu->addAction(QIcon(locked ? lockIcon : unlockIcon),
                                     locked ? QStringLiteral("当前状态：锁定") : QStringLiteral("当前状态：未锁定"));
    state->setEnabled(false);

    const bool unlock = locked;
    QAction *toggle = menu->addAction(QIcon(locked ? unlockIcon : lockIcon),
                                      locked ? QStringLiteral("解锁(&U)") : QStringLiteral("锁定(&L)"));
    connect(toggle, &QAction::triggered, this, [this, unlock] {
        setLock(!unlock);
        repaint();
    });

    QAction *info = menu->addAction(QIcon(QStringLiteral(":/image/res/images/info.png")), QStringLiteral("信息(&I)"));
    connect(info, &QAction::triggered, this, [this] { showInfo(); });

    QAction *hide = menu->addAction(QIcon(QStringLiteral(":/image/res/images/hide.png")), QStringLiteral("不可见(&H)"));
    connect(hide, &QAction::triggered, this, [this] { setHide(true); });

    QAction *remove = menu->addAction(QIcon(QStringLiteral(":/image/res/images/delete.png")), QStringLiteral("删除(&D)"));
    connect(remove, &QAction::triggered, this, [this] {
        QMessageBox::StandardButton answer;
        if (SectionHost *canvas = host()) {
            answer = canvas->showMessage(this, QMessageBox::Question, QStringLiteral("提示"), QStringLiteral("确认删除吗？"),
                                         QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        } else {
            answer = QMessageBox::question(this, QStringLiteral("提示"), QStringLiteral("确认删除吗？"),
                                           QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        }
        // Destroyed from the event loop, never inside its own handler.
        if (answer == QMessageBox::Yes)
            deleteLater();
    });
    return menu;
}

void MySectionBase::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        pressPos = event->pos();
        if (inHandleCorner(this, event->pos()) && !locked) {
            resizing = true;
            resizeOffset = QPoint(event->pos().x() - width(), event->pos().y() - height());
        }
    } else if (event->button() == Qt::RightButton) {
        std::unique_ptr<QMenu> menu(buildContextMenu());
        if (menu)
            ContextMenu::exec(menu.get(), QCursor::pos());
    }
    event->accept();
}

void MySectionBase::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    const float z = zoom();
    if (locked)
        return;
    auto *bubble = isOptionBubble() ? qobject_cast<ObjectAbnormalOption *>(this) : nullptr;
    const MySectionObjectAbnormal *question = bubble ? bubble->parentSection.data() : nullptr;

    if (!resizing) {
        setCursor(inHandleCorner(this, event->pos()) ? Qt::SizeFDiagCursor : Qt::SizeAllCursor);
        if (!(event->buttons() & Qt::LeftButton))
            return;
        QPoint p = mapToParent(event->pos() - pressPos);
        p.setX(qMax(p.x(), 0));
        p.setY(qMax(p.y(), 0));
        const SectionHost *canvas = host();
        const QSize image = canvas ? canvas->shownImageSize() : QSize();
        if (!image.isEmpty()) {
            if (p.x() + width() > image.width())
                p.setX(image.width() - width());
            if (p.y() + height() > image.height())
                p.setY(image.height() - height());
        }
        X = roundF(float(p.x()) / z);
        Y = roundF(float(p.y()) / z);
        if (bubble && question) {
            const QRect s = question->geometry();
            if (X <= question->X)
                p.setX(s.x());
            if (Y <= question->Y)
                p.setY(s.y());
            if (X + Width >= question->X + question->Width)
                p.setX(s.x() + s.width() - width());
            if (Y + Height >= question->Y + question->Height)
                p.setY(s.y() + s.height() - height());
            X = roundF(float(p.x()) / z);
            Y = roundF(float(p.y()) / z);
            bubble->offsetX = X - question->X;
            bubble->offsetY = Y - question->Y;
        }
        move(p);
        if (auto *self = isIrregularQuestion() ? qobject_cast<MySectionObjectAbnormal *>(this) : nullptr)
            self->placeOptions(-1);
        return;
    }

    if (!(event->buttons() & Qt::LeftButton) || event->pos().x() <= 10 || event->pos().y() <= 10)
        return;
    int w = event->pos().x() - resizeOffset.x();
    int h = event->pos().y() - resizeOffset.y();
    if (auto *self = isIrregularQuestion() ? qobject_cast<MySectionObjectAbnormal *>(this) : nullptr) {
        const QSize extent = self->optionsExtent();
        w = qMax(w, extent.width());
        h = qMax(h, extent.height());
    } else if (bubble && question) {
        using SectionDrawing::truncF;
        w = qMin(w, truncF(float(qint64(question->X) + question->Width - X) * z));
        h = qMin(h, truncF(float(qint64(question->Y) + question->Height - Y) * z));
    }
    // A bubble already past its question's edge cannot shrink to nothing.
    w = qMax(w, 1);
    h = qMax(h, 1);
    resize(w, h);
    Width = roundF(float(w) / z);
    Height = roundF(float(h) / z);
}

void MySectionBase::mouseReleaseEvent(QMouseEvent *event)
{
    resizing = false;
    event->accept();
}

void MySectionBase::enterEvent(QEvent *event)
{
    Q_UNUSED(event)
    setCursor(Qt::SizeAllCursor);
    if (SectionHost *canvas = host())
        canvas->showSectionName(sectionName());
}

void MySectionBase::leaveEvent(QEvent *event)
{
    Q_UNUSED(event)
    setCursor(Qt::ArrowCursor);
    if (SectionHost *canvas = host())
        canvas->showSectionName(QString());
}

void MySectionBase::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
}

bool MySectionBase::beginPaint()
{
    return SectionDrawing::paintGate(this, page, hidden);
}

void MySectionBase::paintResizeHandle()
{
    if (locked)
        return;
    QPainter painter(this);
    painter.setPen(QPen(QColor(0, 204, 255, 128), 1));
    painter.setBrush(QBrush(QColor(0, 0, 255, 255), Qt::SolidPattern));
    painter.drawRect(width() - 6, height() - 6, 6, 6);
}

void MySectionBase::warn(const QString &title, const QString &text)
{
    if (SectionHost *canvas = host()) {
        canvas->showMessage(this, QMessageBox::Warning, title, text, QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    QMessageBox::warning(this, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}
