// The irregular objective question and its option bubbles.

#include "questionsections.h"

#include "contextmenu.h"
#include "sectiondrawing.h"
#include "sectionhost.h"

#include <QKeyEvent>
#include <QPainter>

#include <climits>
#include <cmath>

// ---- irregular question ----

MySectionObjectAbnormal::MySectionObjectAbnormal(int page, QWidget *canvas, bool isOptional, int optional, int item,
                                                 int optionCount)
    : MySectionBase(page, canvas), isOptional(isOptional), Optional(optional), OptionCount(optionCount), Item(item)
{
    setObjectName(QStringLiteral("MySectionObjectAbnormal"));
}

MySectionObjectAbnormal::~MySectionObjectAbnormal()
{
    // At once rather than from the event loop: a bubble left alive would
    // paint, resize and take keys with no question behind it.
    while (!options.isEmpty()) {
        ObjectAbnormalOption *bubble = options.takeLast();
        delete bubble;
    }
}

void MySectionObjectAbnormal::showInfo()
{
    warn(QStringLiteral("信息-客观题-异型"), QStringLiteral("题号：%1\n选项个数：%2").arg(Item).arg(OptionCount));
}

QString MySectionObjectAbnormal::sectionName() const
{
    if (isOptional)
        return QStringLiteral("备选题 %1 客观题-异型 %2 %3 个选项").arg(Optional).arg(Item).arg(OptionCount);
    return QStringLiteral("客观题-异型 %1 %2 个选项").arg(Item).arg(OptionCount);
}

void MySectionObjectAbnormal::placeOptions(int index)
{
    if (index == -1) {
        for (ObjectAbnormalOption *bubble : qAsConst(options))
            placeOption(bubble);
    } else if (index >= 0 && index < options.size()) {
        placeOption(options.at(index));
    }
}

void MySectionObjectAbnormal::placeOption(ObjectAbnormalOption *bubble)
{
    if (!bubble)
        return;
    const float z = zoom();
    bubble->X = int(qBound<qint64>(INT_MIN, qint64(bubble->offsetX) + X, INT_MAX));
    bubble->Y = int(qBound<qint64>(INT_MIN, qint64(bubble->offsetY) + Y, INT_MAX));
    QPoint p(roundF(float(bubble->X) * z), roundF(float(bubble->Y) * z));
    if (p.x() < x())
        p.setX(x());
    if (p.y() < y())
        p.setY(y());
    bubble->move(p);
    if (bubble->x() + bubble->width() > x() + width()) {
        p.setX(x() + width() - bubble->width());
        bubble->X = int(std::floor(float(p.x()) / z));
        bubble->move(p);
    }
    if (bubble->y() + bubble->height() > y() + height()) {
        p.setY(y() + height() - bubble->height());
        bubble->Y = int(std::floor(float(p.y()) / z));
        bubble->move(p);
    }
}

QSize MySectionObjectAbnormal::optionsExtent() const
{
    qint64 left = 100000, top = 100000, right = 0, bottom = 0;
    bool any = false;
    for (const ObjectAbnormalOption *bubble : options) {
        if (!bubble)
            continue;
        any = true;
        left = qMin<qint64>(left, bubble->X);
        top = qMin<qint64>(top, bubble->Y);
        right = qMax<qint64>(right, qint64(bubble->X) + bubble->Width);
        bottom = qMax<qint64>(bottom, qint64(bubble->Y) + bubble->Height);
    }
    if (!any)
        return QSize(-1, -1);
    const float z = zoom();
    auto scaled = [z](qint64 length) {
        const float v = z * float(length);
        return v >= float(QWIDGETSIZE_MAX) ? QWIDGETSIZE_MAX : roundF(qMax(v, -1.0f));
    };
    return QSize(scaled(right - left), scaled(bottom - top));
}

void MySectionObjectAbnormal::paintEvent(QPaintEvent *)
{
    if (!beginPaint())
        return;
    {
        QPainter painter(this);
        painter.setPen(areaPen);
        painter.setBrush(areaBrush);
        painter.drawRect(0, 0, width(), height());
    }
    paintResizeHandle();
}

void MySectionObjectAbnormal::enterEvent(QEvent *event)
{
    MySectionBase::enterEvent(event);
    setCursor(locked ? Qt::ArrowCursor : Qt::SizeAllCursor);
}

void MySectionObjectAbnormal::leaveEvent(QEvent *event)
{
    MySectionBase::leaveEvent(event);
    for (ObjectAbnormalOption *bubble : qAsConst(options)) {
        if (bubble)
            bubble->releaseKeyboard();
    }
}

// ---- option bubble ----

ObjectAbnormalOption::ObjectAbnormalOption(int page, int item, int index, MySectionObjectAbnormal *parentSection,
                                           QWidget *canvas)
    : MySectionBase(page, canvas),
      item(item),
      index(index),
      // A file may give any index; only sensible ones name a letter.
      letter(index >= 0 && index < 0xFFFF - 65 ? QChar(ushort(65 + index)) : QChar(QLatin1Char('?'))),
      parentSection(parentSection)
{
    setObjectName(QStringLiteral("ObjectAbnormalOption"));
}

void ObjectAbnormalOption::showInfo()
{
    warn(QStringLiteral("信息-客观题"), QStringLiteral("客观题：%1\n选项：%2").arg(item).arg(letter));
}

QString ObjectAbnormalOption::sectionName() const
{
    return QStringLiteral("客观题：%1 选项：%2").arg(item).arg(letter);
}

void ObjectAbnormalOption::keyPressEvent(QKeyEvent *event)
{
    event->accept();
    const int key = event->key();
    if (key == Qt::Key_Shift) {
        shiftPressed = true;
        return;
    }
    if (key != Qt::Key_Right && key != Qt::Key_Left && key != Qt::Key_Down && key != Qt::Key_Up)
        return;
    const MySectionObjectAbnormal *s = parentSection.data();
    if (!s)
        return;
    using SectionDrawing::truncF;
    const float z = zoom();
    const bool roomRight = qint64(X) + Width < qint64(s->X) + s->Width;
    const bool roomDown = qint64(Y) + Height < qint64(s->Y) + s->Height;

    if (shiftPressed) {
        if (key == Qt::Key_Right && roomRight) {
            resize(width() + 1, height());
            Width = truncF(float(width()) / z);
        } else if (key == Qt::Key_Left && width() >= 11) {
            resize(width() - 1, height());
            Width = truncF(float(width()) / z);
        } else if (key == Qt::Key_Down && roomDown) {
            resize(width(), height() + 1);
            Height = truncF(float(height()) / z);
        } else if (key == Qt::Key_Up && height() >= 11) {
            resize(width(), height() - 1);
            Height = truncF(float(height()) / z);
        }
        return;
    }

    bool moved = false;
    if (key == Qt::Key_Right && roomRight) {
        move(x() + 1, y());
        X = truncF(float(x()) / z);
        moved = true;
    } else if (key == Qt::Key_Left && X > s->X) {
        move(x() - 1, y());
        X = truncF(float(x()) / z);
        moved = true;
    } else if (key == Qt::Key_Down && roomDown) {
        move(x(), y() + 1);
        Y = truncF(float(y()) / z);
        moved = true;
    } else if (key == Qt::Key_Up && Y > s->Y) {
        move(x(), y() - 1);
        Y = truncF(float(y()) / z);
        moved = true;
    }
    if (moved) {
        offsetX = X - s->X;
        offsetY = Y - s->Y;
    }
}

void ObjectAbnormalOption::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Shift)
        shiftPressed = false;
    QWidget::keyReleaseEvent(event);
}

void ObjectAbnormalOption::enterEvent(QEvent *event)
{
    MySectionBase::enterEvent(event);
    locked = false;
    repaint();
    // Only one widget holds the grab: taking it releases the canvas's. An
    // open menu keeps the keyboard; the grab would outrank it.
    if (!ContextMenu::holdsKeyboard())
        grabKeyboard();
}

void ObjectAbnormalOption::leaveEvent(QEvent *event)
{
    MySectionBase::leaveEvent(event);
    locked = true;
    repaint();
    releaseKeyboard();
    if (SectionHost *canvas = host())
        canvas->grabCanvasKeyboard();
}

void ObjectAbnormalOption::paintEvent(QPaintEvent *)
{
    const bool questionHidden = parentSection && parentSection->hidden;
    if (!SectionDrawing::paintGate(this, page, hidden || questionHidden))
        return;
    {
        QPainter painter(this);
        SectionDrawing::fillArea(painter, size(), SectionDrawing::markColor());
        const int pixels = qMin(width(), height());
        if (pixels > 0) {
            QFont font(QStringLiteral("宋体"));
            font.setBold(true);
            font.setPixelSize(pixels);
            painter.setFont(font);
            painter.setPen(textPen);
            labelText.draw(painter, rect(), QString(letter));
        }
    }
    paintResizeHandle();
}

void ObjectAbnormalOption::resizeEvent(QResizeEvent *event)
{
    // Looked up by itself: a file may give indexes that are not positions.
    if (MySectionObjectAbnormal *s = parentSection.data()) {
        const int position = s->options.indexOf(this);
        if (position >= 0)
            s->placeOptions(position);
    }
    QWidget::resizeEvent(event);
}

ObjectAbnormalOption::~ObjectAbnormalOption()
{
    if (MySectionObjectAbnormal *s = parentSection.data())
        s->options.removeAll(this);
}
