#include "questionsections.h"

#include "sectiondrawing.h"
#include "sectionhost.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTreeWidgetItem>

#include <climits>

namespace {

QString directionName(int optionDirection)
{
    return optionDirection == 0 ? QStringLiteral("选项横排") : QStringLiteral("选项竖排");
}

QString arrangement(int optionDirection)
{
    return optionDirection == 0 ? QStringLiteral("横排") : QStringLiteral("竖排");
}

// ItemEnd - ItemStart + 1 without overflow for any pair read from a file.
int countItems(int itemStart, int itemEnd)
{
    return int(qBound<qint64>(INT_MIN, qint64(itemEnd) - itemStart + 1, INT_MAX));
}

// The regular objective grid: options side by side and questions one below
// the other for direction 0, the other way round otherwise.
template <typename Block>
QVector<QRect> objectGrid(const Block &block)
{
    const QSize bubble = SectionDrawing::scaledBubble(block.MarkPointWidth, block.MarkPointHeight, block.zoom());
    if (block.OptionDirection == 0)
        return SectionDrawing::bubbleGrid(block.size(), block.OptionCount, block.itemCount, bubble);
    return SectionDrawing::bubbleGrid(block.size(), block.itemCount, block.OptionCount, bubble);
}

void paintBubbles(QWidget *widget, const MySectionBase &section, const QVector<QRect> &bubbles)
{
    QPainter painter(widget);
    painter.setPen(section.areaPen);
    painter.setBrush(section.areaBrush);
    painter.drawRect(0, 0, widget->width(), widget->height());
    painter.setPen(section.markPen);
    painter.setBrush(section.markBrush);
    for (const QRect &r : bubbles)
        painter.drawRect(r);
}

// The subjective blocks' label, centred in the block.
void paintLabel(QWidget *widget, const MySectionBase &section, SectionDrawing::CentredText &text, const QColor &fill,
                const QString &label)
{
    QPainter painter(widget);
    SectionDrawing::fillArea(painter, widget->size(), fill);
    if (SectionDrawing::labelPixelSize(label, widget->size()) < 1)
        return;
    painter.setFont(SectionDrawing::labelFont(label, widget->size()));
    painter.setPen(section.textPen);
    text.draw(painter, widget->rect(), label);
}

// The locked block's rubber-band drag: a selection of the block's size
// follows the pointer while the block stays where it is.
void dragSelection(MySectionBase *section, const QPoint &dragPressPos, QMouseEvent *event)
{
    if (!section->locked || !(event->buttons() & Qt::LeftButton))
        return;
    SectionHost *canvas = section->host();
    if (!canvas)
        return;
    const QPoint topLeft(section->x() + event->pos().x() - dragPressPos.x(),
                         section->y() + event->pos().y() - dragPressPos.y());
    canvas->showSelection(QRect(topLeft, section->size()));
}

void renameTreeItem(MySectionBase *section)
{
    if (section->treeItem)
        section->treeItem->setText(0, section->sectionName());
}

} // namespace

// ---- regular objective block ----

MySectionObject::MySectionObject(int page, QWidget *canvas, int itemStart, int itemEnd, int optionDirection,
                                 int optionCount, int markPointWidth, int markPointHeight)
    : MySectionBase(page, canvas),
      OptionCount(optionCount),
      ItemStart(itemStart),
      ItemEnd(itemEnd),
      itemCount(countItems(itemStart, itemEnd)),
      OptionDirection(optionDirection),
      MarkPointWidth(markPointWidth),
      MarkPointHeight(markPointHeight)
{
}

void MySectionObject::showInfo()
{
    warn(QStringLiteral("信息-客观题"), QStringLiteral("起始题号：%1\n结束题号：%2\n选项排列：%3\n选项个数：%4")
                                          .arg(ItemStart)
                                          .arg(ItemEnd)
                                          .arg(arrangement(OptionDirection))
                                          .arg(OptionCount));
}

QString MySectionObject::sectionName() const
{
    if (ItemStart != ItemEnd) {
        return QStringLiteral("客观题 %1-%2 %3 %4个选项")
            .arg(ItemStart)
            .arg(ItemEnd)
            .arg(directionName(OptionDirection))
            .arg(OptionCount);
    }
    return QStringLiteral("客观题 %1 %2 %3个选项").arg(ItemStart).arg(directionName(OptionDirection)).arg(OptionCount);
}

QVector<QRect> MySectionObject::bubbleRects() const
{
    return objectGrid(*this);
}

void MySectionObject::paintEvent(QPaintEvent *)
{
    if (!beginPaint())
        return;
    paintBubbles(this, *this, bubbleRects());
    paintResizeHandle();
}

void MySectionObject::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        dragPressPos = event->pos();
    MySectionBase::mousePressEvent(event);
}

void MySectionObject::mouseMoveEvent(QMouseEvent *event)
{
    dragSelection(this, dragPressPos, event);
    MySectionBase::mouseMoveEvent(event);
}

// ---- objective block of an optional group ----

MySectionObjectOptional::MySectionObjectOptional(int page, QWidget *canvas, int optional, int itemStart, int itemEnd,
                                                 int optionDirection, int optionCount, int markPointWidth,
                                                 int markPointHeight)
    : MySectionBase(page, canvas),
      Optional(optional),
      OptionCount(optionCount),
      ItemStart(itemStart),
      ItemEnd(itemEnd),
      itemCount(countItems(itemStart, itemEnd)),
      OptionDirection(optionDirection),
      MarkPointWidth(markPointWidth),
      MarkPointHeight(markPointHeight)
{
}

void MySectionObjectOptional::showInfo()
{
    warn(QStringLiteral("信息-客观题"),
         QStringLiteral("起始题号：%1\n结束题号：%2\n选项排列：%3\n选项个数：%4\n所属备选题：%5")
             .arg(ItemStart)
             .arg(ItemEnd)
             .arg(arrangement(OptionDirection))
             .arg(OptionCount)
             .arg(Optional));
}

QString MySectionObjectOptional::sectionName() const
{
    if (ItemStart != ItemEnd) {
        return QStringLiteral("备选题 %1 客观题 %2-%3 %4 %5个选项")
            .arg(Optional)
            .arg(ItemStart)
            .arg(ItemEnd)
            .arg(directionName(OptionDirection))
            .arg(OptionCount);
    }
    return QStringLiteral("备选题 %1 客观题 %2 %3 %4个选项")
        .arg(Optional)
        .arg(ItemStart)
        .arg(directionName(OptionDirection))
        .arg(OptionCount);
}

QVector<QRect> MySectionObjectOptional::bubbleRects() const
{
    return objectGrid(*this);
}

void MySectionObjectOptional::paintEvent(QPaintEvent *)
{
    if (!beginPaint())
        return;
    paintBubbles(this, *this, bubbleRects());
    paintResizeHandle();
}

void MySectionObjectOptional::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        dragPressPos = event->pos();
    MySectionBase::mousePressEvent(event);
}

void MySectionObjectOptional::mouseMoveEvent(QMouseEvent *event)
{
    dragSelection(this, dragPressPos, event);
    MySectionBase::mouseMoveEvent(event);
}

// ---- optional group ----

MySectionOptionalItem::MySectionOptionalItem(int page, QWidget *canvas) : MySectionBase(page, canvas) {}

MySectionOptionalItem::~MySectionOptionalItem()
{
    Items.clear();
    DefaultItem.clear();
}

void MySectionOptionalItem::showInfo()
{
    SectionHost *canvas = host();
    if (!canvas)
        return;
    QStringList items = Items;
    QString defaultItem = DefaultItem;
    if (!canvas->editOptionalItem(items, defaultItem))
        return;
    Items = items;
    DefaultItem = defaultItem;
    renameTreeItem(this);
    update();
}

QString MySectionOptionalItem::sectionName() const
{
    return QStringLiteral("选做题备选题题号 ") + Items.join(QLatin1Char(','));
}

QVector<QRect> MySectionOptionalItem::bubbleRects() const
{
    return SectionDrawing::bubbleGrid(size(), Items.size(), 1,
                                      SectionDrawing::scaledBubble(MarkPointWidth, MarkPointHeight, zoom()));
}

void MySectionOptionalItem::paintEvent(QPaintEvent *)
{
    if (!beginPaint())
        return;
    paintBubbles(this, *this, bubbleRects());
    paintResizeHandle();
}

// ---- subjective block ----

MySectionSubject::MySectionSubject(int page, QWidget *canvas) : MySectionBase(page, canvas), subjectPage(page) {}

MySectionSubject::MySectionSubject(QWidget *canvas, int page, int subjectSectionID)
    : MySectionBase(page, canvas), subjectPage(page), SubjectSectionID(subjectSectionID)
{
}

void MySectionSubject::showInfo()
{
    SectionHost *canvas = host();
    if (!canvas)
        return;
    int editedPage = subjectPage;
    int blockNumber = SubjectSectionID;
    if (!canvas->editSubject(editedPage, blockNumber))
        return;
    subjectPage = editedPage;
    SubjectSectionID = blockNumber;
    renameTreeItem(this);
    update();
}

QString MySectionSubject::sectionName() const
{
    return QStringLiteral("主观题 %1-%2").arg(subjectPage).arg(SubjectSectionID);
}

QString MySectionSubject::label() const
{
    return QStringLiteral("%1-%2").arg(subjectPage).arg(SubjectSectionID);
}

void MySectionSubject::paintEvent(QPaintEvent *)
{
    // Shown on the page it names, which the block keeps itself.
    if (!SectionDrawing::paintGate(this, subjectPage, hidden))
        return;
    paintLabel(this, *this, labelText, markColor, label());
    paintResizeHandle();
}

// ---- subjective block of an optional group ----

MySectionSubjectOptional::MySectionSubjectOptional(int page, QWidget *canvas) : MySectionBase(page, canvas) {}

MySectionSubjectOptional::MySectionSubjectOptional(QWidget *canvas, int page, int subjectSectionID, int optional)
    : MySectionBase(page, canvas), Optional(optional), SubjectSectionID(subjectSectionID)
{
}

void MySectionSubjectOptional::showInfo()
{
    SectionHost *canvas = host();
    if (!canvas)
        return;
    int optional = Optional;
    int editedPage = page;
    int blockNumber = SubjectSectionID;
    if (!canvas->editSubjectOptional(optional, editedPage, blockNumber))
        return;
    page = editedPage;
    SubjectSectionID = blockNumber;
    Optional = optional;
    renameTreeItem(this);
    update();
}

QString MySectionSubjectOptional::sectionName() const
{
    return QStringLiteral("备选题 %1 主观题 %2-%3").arg(Optional).arg(page).arg(SubjectSectionID);
}

QString MySectionSubjectOptional::label() const
{
    return QStringLiteral("%1-%2(%3)").arg(page).arg(SubjectSectionID).arg(Optional);
}

void MySectionSubjectOptional::paintEvent(QPaintEvent *)
{
    if (!beginPaint())
        return;
    paintLabel(this, *this, labelText, SectionDrawing::markColor(), label());
    paintResizeHandle();
}
