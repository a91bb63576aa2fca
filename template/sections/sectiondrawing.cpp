#include "sectiondrawing.h"

#include "mysectionbase.h"

#include <QPainter>
#include <QPen>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
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

namespace {
bool keepTextLayouts = true;
} // namespace

void setKeepTextLayouts(bool keep)
{
    keepTextLayouts = keep;
}

CentredText::CentredText() = default;
CentredText::~CentredText() = default;

void CentredText::draw(QPainter &painter, const QRectF &area, const QString &text)
{
    // Line breaks, tabs and mnemonics are drawText's own business.
    const bool plain = std::none_of(text.begin(), text.end(), [](QChar c) {
        return c == QLatin1Char('\n') || c == QLatin1Char('\t') || c == QLatin1Char('&') || c == QLatin1Char('\r')
               || c == QChar::LineSeparator;
    });
    if (!keepTextLayouts || !plain) {
        painter.drawText(area, Qt::AlignCenter, text);
        return;
    }
    const QFont &font = painter.font();
    const Qt::LayoutDirection direction = painter.layoutDirection();
    if (!m_layout || text != m_text || direction != m_direction || font != m_font) {
        // One line with no width limit at the top, as drawText lays out a
        // text that is neither wrapped nor justified.
        m_layout.reset(new QTextLayout(text, font));
        QTextOption option;
        option.setTextDirection(direction);
        option.setFlags(QTextOption::IncludeTrailingSpaces);
        m_layout->setTextOption(option);
        m_layout->setCacheEnabled(true);
        m_layout->beginLayout();
        QTextLine line = m_layout->createLine();
        m_hasLine = line.isValid();
        if (m_hasLine) {
            line.setLineWidth(0x01000000);
            line.setPosition(QPointF(0, 0));
            m_height = line.ascent() + line.descent();
            m_advance = line.horizontalAdvance();
        }
        m_layout->endLayout();
        m_text = text;
        m_font = font;
        m_direction = direction;
    }
    if (!m_hasLine)
        return;
    const QPointF at(area.x() + (area.width() - m_advance) / 2, area.y() + (area.height() - m_height) / 2);
    m_layout->lineAt(0).draw(&painter, at);
}

} // namespace SectionDrawing
