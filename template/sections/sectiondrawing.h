#pragma once
// Drawing arithmetic shared by the section widgets: single-precision
// truncation that cannot overflow, the bubble layouts of the grid kinds,
// the subjective label font and the common pictures.
//
// Counts and sizes may come from a template file, so every layout accepts
// any value: a layout that cannot be drawn inside its area (no bubbles, a
// bubble larger than the area, bubbles packed closer than one pixel, or
// more bubbles than anyone could tell apart) yields no bubbles, and the
// caller draws its area only.

#include <QFont>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QVector>

#include <memory>

class QPainter;
class QTextLayout;
class MySectionBase;

namespace SectionDrawing {

// Conversion of a single-precision value to int towards zero, clamped to
// the int range (NaN gives 0).
int truncF(float value);

// Most bubbles a grid section paints; far above any real answer sheet.
constexpr int maxBubbles = 20000;

// Positions along one axis of `count` bubbles of `size` pixels spread over
// `span` pixels, the first at 0 and the last at span - size; a single bubble
// lies at 0. Empty when they cannot be drawn inside the span.
QVector<int> axisPositions(int count, int span, int size);

// Every bubble of a grid with `columns` across and `rows` down, each
// `bubble` pixels, spread over `area`; empty when it cannot be drawn.
QVector<QRect> bubbleGrid(const QSize &area, int columns, int rows, const QSize &bubble);

// Bubble size in widget pixels: the page-pixel size times the zoom, truncated.
QSize scaledBubble(int width, int height, float zoom);

// The subjective blocks' label font: "宋体" bold, its pixel size the area's
// width divided by the label's length, at most the area's height. Pixel
// size 0 when the label cannot be drawn at all.
QFont labelFont(const QString &label, const QSize &area);
int labelPixelSize(const QString &label, const QSize &area);

// The translucent red every marked area is filled with.
QColor markColor();

// Fills (0, 0, w, h) with a pen and a solid brush of `color`.
void fillArea(QPainter &painter, const QSize &size, const QColor &color);

// The anchors' picture: red area, then a green box with a cross over
// `found` (page pixels) scaled by `zoom`.
void paintAnchor(QPainter &painter, const QSize &size, const QRect &found, float zoom);

// The painting rule of every kind: false, with the widget hidden, when
// `shownPage` is not the page the designer shows or the section is hidden;
// otherwise the widget is shown and true.
bool paintGate(MySectionBase *section, int shownPage, bool hidden);

// A one-line text centred in a rectangle in the painter's font and pen,
// placed and drawn as QPainter::drawText with Qt::AlignCenter does it, from a
// layout kept while the text, the font and the direction stay the same:
// laying a label out again at every paint cost a page of sections more than
// drawing the glyphs.
class CentredText {
public:
    CentredText();
    ~CentredText();
    CentredText(const CentredText &) = delete;
    CentredText &operator=(const CentredText &) = delete;

    void draw(QPainter &painter, const QRectF &area, const QString &text);

private:
    std::unique_ptr<QTextLayout> m_layout;
    QString m_text;
    QFont m_font;
    Qt::LayoutDirection m_direction = Qt::LeftToRight;
    bool m_hasLine = false;
    qreal m_height = 0;
    qreal m_advance = 0;
};

// Whether CentredText keeps its layouts (the default). The canvas turns it
// off to measure the painting as it was, with every label laid out anew.
void setKeepTextLayouts(bool keep);


} // namespace SectionDrawing
