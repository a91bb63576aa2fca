#include "sectiondrawing.h"

#include "mysectionbase.h"

#include <QPainter>
#include <QPen>

#include <climits>
#include <cmath>

namespace SectionDrawing {

int truncF(float value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 2147483520.0f)   // largest float below 2^31
        return INT_MAX;
    if (value <= -2147483648.0f)
        return INT_MIN;
    return static_cast<int>(value);
}

QVector<int> axisPositions(int count, int span, int size)
{
    QVector<int> positions;
    if (count < 1 || size < 1 || size > span)
        return positions;
    if (count == 1) {
        positions.append(0);
        return positions;
    }
    // Closer than one pixel apart the bubbles cannot be told apart, and a
    // hostile count would keep the painter busy for ever.
    if (qint64(count) - 1 > qint64(span) - size || count > maxBubbles)
        return positions;
    const float gap = float(qint64(span) - qint64(count) * size) / float(count - 1);
    const float step = float(size) + gap;
    positions.reserve(count);
    for (int i = 0; i < count; ++i)
        positions.append(truncF(float(i) * step));
    return positions;
}

QVector<QRect> bubbleGrid(const QSize &area, int columns, int rows, const QSize &bubble)
{
    QVector<QRect> rects;
    const QVector<int> xs = axisPositions(columns, area.width(), bubble.width());
    const QVector<int> ys = axisPositions(rows, area.height(), bubble.height());
    if (xs.isEmpty() || ys.isEmpty() || qint64(xs.size()) * ys.size() > maxBubbles)
        return rects;
    rects.reserve(xs.size() * ys.size());
    for (int y : ys) {
        for (int x : xs)
            rects.append(QRect(QPoint(x, y), bubble));
    }
    return rects;
}

QSize scaledBubble(int width, int height, float zoom)
{
    return QSize(truncF(float(width) * zoom), truncF(float(height) * zoom));
}

int labelPixelSize(const QString &label, const QSize &area)
{
    if (label.isEmpty())
        return 0;
    return qMax(0, qMin(area.width() / label.size(), area.height()));
}

QFont labelFont(const QString &label, const QSize &area)
{
    QFont font(QStringLiteral("宋体"), 80, QFont::Bold, false);
    const int pixels = labelPixelSize(label, area);
    if (pixels > 0)
        font.setPixelSize(pixels);
    return font;
}

QColor markColor()
{
    return QColor(255, 45, 45, 128);
}

void fillArea(QPainter &painter, const QSize &size, const QColor &color)
{
    painter.setPen(QPen(color, 1));
    painter.setBrush(QBrush(color, Qt::SolidPattern));
    painter.drawRect(0, 0, size.width(), size.height());
}

void paintAnchor(QPainter &painter, const QSize &size, const QRect &found, float zoom)
{
    fillArea(painter, size, markColor());
    painter.setPen(QPen(QColor(0, 255, 0, 255), 2));
    painter.setBrush(Qt::NoBrush);
    const QRect r(truncF(float(found.x()) * zoom), truncF(float(found.y()) * zoom),
                  truncF(float(found.width()) * zoom), truncF(float(found.height()) * zoom));
    painter.drawLine(r.x(), r.y(), r.x() + r.width(), r.y() + r.height());
    painter.drawLine(r.x() + r.width(), r.y(), r.x(), r.y() + r.height());
    painter.drawRect(r);
}

bool paintGate(MySectionBase *section, int shownPage, bool hidden)
{
    if (shownPage != section->currentPage() || hidden) {
        section->hide();
        return false;
    }
    section->show();
    return true;
}

} // namespace SectionDrawing
