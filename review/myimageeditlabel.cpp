#include "myimageeditlabel.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace {

// A cursor image as wide as a large pen would be too big for the window
// system; strokes keep their real width.
constexpr int kMaxCursorSize = 256;

} // namespace

MyImageEditLabel::MyImageEditLabel(QWidget *parent) : QLabel(parent)
{
    setMouseTracking(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void MyImageEditLabel::setPen(int grey, int width)
{
    penGrey = grey;
    penWidth = std::max(width, 1);
    const int side = std::min(penWidth, kMaxCursorSize);
    const int other = grey == 255 ? 0 : 255;
    QImage square(side, side, QImage::Format_RGB32);
    square.fill(QColor(other, other, other));
    if (side > 2) {
        QPainter painter(&square);
        painter.fillRect(1, 1, side - 2, side - 2, QColor(grey, grey, grey));
    }
    brushCursor = QCursor(QPixmap::fromImage(square), side / 2, side / 2);
    setCursor(brushCursor);
}

void MyImageEditLabel::undoStroke()
{
    if (strokes.isEmpty())
        return;
    if (m_strokeOpen)
        m_strokeOpen = drawing = false;
    strokes.removeLast();
    strokeGreys.removeLast();
    strokeWidths.removeLast();
    update();
}

void MyImageEditLabel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    drawing = true;
    m_strokeOpen = true;
    strokeGreys << penGrey;
    strokeWidths << penWidth;
    strokes << QList<QPoint>{event->pos()};
    update();
}

void MyImageEditLabel::mouseMoveEvent(QMouseEvent *event)
{
    if (!drawing || strokes.isEmpty())
        return;
    QList<QPoint> &stroke = strokes.last();
    if (stroke.last() != event->pos()) {
        stroke << event->pos();
        update();
    }
}

void MyImageEditLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_strokeOpen)
        return;
    drawing = false;
    m_strokeOpen = false;
    // A click without movement becomes two equal points: a dot.
    strokes.last() << event->pos();
    update();
}

void MyImageEditLabel::enterEvent(QEvent *event)
{
    emit pointerEntered();
    QLabel::enterEvent(event);
}

void MyImageEditLabel::leaveEvent(QEvent *event)
{
    setCursor(Qt::ArrowCursor);
    drawing = false;
    QLabel::leaveEvent(event);
}

void MyImageEditLabel::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < strokes.size(); ++i) {
        const QList<QPoint> &stroke = strokes.at(i);
        const int grey = strokeGreys.at(i);
        QPen pen(QColor(grey, grey, grey), strokeWidths.at(i), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        if (stroke.size() == 2 && stroke.first() == stroke.last()) {
            pen.setCapStyle(Qt::SquareCap);
            painter.setPen(pen);
            painter.drawPoint(stroke.first());
        } else if (stroke.size() >= 2) {
            painter.setPen(pen);
            painter.drawPolyline(stroke.toVector().constData(), stroke.size());
        }
    }
}
