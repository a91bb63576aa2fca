#include "anchorsections.h"

#include "sectiondrawing.h"

#include <QPainter>

using SectionDrawing::paintAnchor;

// ---- absent mark ----

MySectionAbsentMark::MySectionAbsentMark(int page, QWidget *canvas) : MySectionBase(page, canvas) {}

void MySectionAbsentMark::showInfo()
{
    warn(QStringLiteral("信息-缺考标记"), QStringLiteral("无"));
}

QString MySectionAbsentMark::sectionName() const
{
    return QStringLiteral("缺考标记");
}

void MySectionAbsentMark::paintEvent(QPaintEvent *)
{
    if (!beginPaint())
        return;
    {
        QPainter painter(this);
        SectionDrawing::fillArea(painter, size(), SectionDrawing::markColor());
    }
    paintResizeHandle();
}

// ---- anchors A and B ----

namespace {

const char *const anchorRefusal = "定位点设置后不可进行任何更改";

} // namespace

MySectionAnchorPointA::MySectionAnchorPointA(int page, QWidget *canvas) : MySectionBase(page, canvas) {}

QString MySectionAnchorPointA::sectionName() const
{
    return QStringLiteral("定位点A");
}

void MySectionAnchorPointA::setLock(bool)
{
    warn(QStringLiteral("提示"), QString::fromUtf8(anchorRefusal));
    locked = true;
}

void MySectionAnchorPointA::paintEvent(QPaintEvent *)
{
    if (!beginPaint())
        return;
    {
        QPainter painter(this);
        paintAnchor(painter, size(), anchorRect, zoom());
    }
    paintResizeHandle();
}

MySectionAnchorPointB::MySectionAnchorPointB(int page, QWidget *canvas) : MySectionBase(page, canvas) {}

QString MySectionAnchorPointB::sectionName() const
{
    return QStringLiteral("定位点B");
}

void MySectionAnchorPointB::setLock(bool)
{
    warn(QStringLiteral("提示"), QString::fromUtf8(anchorRefusal));
    locked = true;
}

void MySectionAnchorPointB::paintEvent(QPaintEvent *)
{
    if (!beginPaint())
        return;
    {
        QPainter painter(this);
        paintAnchor(painter, size(), anchorRect, zoom());
    }
    paintResizeHandle();
}

// ---- printed-text anchor ----

MySectionPrintTextAnchor::MySectionPrintTextAnchor(int page, QWidget *canvas) : MySectionBase(page, canvas) {}

MySectionPrintTextAnchor::~MySectionPrintTextAnchor()
{
    patch.release();
}

void MySectionPrintTextAnchor::showInfo()
{
    warn(QStringLiteral("印刷体文字定位"), QStringLiteral("无"));
}

QString MySectionPrintTextAnchor::sectionName() const
{
    return QStringLiteral("印刷体文字定位");
}

void MySectionPrintTextAnchor::setLock(bool)
{
    warn(QStringLiteral("提示"), QStringLiteral("印刷体文字定位点设置后不可进行任何更改"));
    locked = true;
}

void MySectionPrintTextAnchor::paintEvent(QPaintEvent *)
{
    if (!beginPaint())
        return;
    {
        QPainter painter(this);
        paintAnchor(painter, size(), textRect, zoom());
    }
    paintResizeHandle();
}

// ---- corner check ----

MySectionCornerCheck::MySectionCornerCheck(int page, QWidget *canvas) : MySectionBase(page, canvas) {}

MySectionCornerCheck::~MySectionCornerCheck()
{
    Name.clear();
}

QString MySectionCornerCheck::sectionName() const
{
    return QStringLiteral("边角检测 ") + Name;
}

void MySectionCornerCheck::setLock(bool)
{
    warn(QStringLiteral("提示"), QStringLiteral("边角检测设置后不可进行任何更改"));
    locked = true;
}

void MySectionCornerCheck::paintEvent(QPaintEvent *)
{
    if (!beginPaint())
        return;
    {
        QPainter painter(this);
        paintAnchor(painter, size(), anchorRect, zoom());
    }
    paintResizeHandle();
}

// ---- student code ----

MySectionCode::MySectionCode(int page, QWidget *canvas) : MySectionBase(page, canvas), CodeType(1) {}

MySectionCode::MySectionCode(int page, QWidget *canvas, int codeLength, int numberDirection, int markPointWidth,
                             int markPointHeight)
    : MySectionBase(page, canvas),
      CodeType(0),
      CodeLength(codeLength),
      NumberDirection(numberDirection),
      MarkPointWidth(markPointWidth),
      MarkPointHeight(markPointHeight)
{
}

void MySectionCode::showInfo()
{
    QString text;
    if (CodeType == 1) {
        text = QStringLiteral("考号类型：%1\n方向：%2")
                   .arg(QStringLiteral("条形码"), BarDirection == 0 ? QStringLiteral("水平") : QStringLiteral("垂直"));
    } else {
        text = QStringLiteral("考号类型：%1\n考号长度：%2\n0-9排列：%3")
                   .arg(QStringLiteral("涂点"))
                   .arg(CodeLength)
                   .arg(NumberDirection == 1 ? QStringLiteral("横排") : QStringLiteral("竖排"));
    }
    warn(QStringLiteral("信息-考号"), text);
}

QString MySectionCode::sectionName() const
{
    if (CodeType == 1)
        return BarDirection == 0 ? QStringLiteral("条形码考号 水平") : QStringLiteral("条形码考号 垂直");
    return QStringLiteral("涂点考号 长度 %1").arg(CodeLength);
}

QVector<QRect> MySectionCode::bubbleRects() const
{
    if (CodeType != 0)
        return {};
    const QSize bubble = SectionDrawing::scaledBubble(MarkPointWidth, MarkPointHeight, zoom());
    // Direction 0: one column of ten digits per position.
    if (NumberDirection == 0)
        return SectionDrawing::bubbleGrid(size(), CodeLength, 10, bubble);
    return SectionDrawing::bubbleGrid(size(), 10, CodeLength, bubble);
}

void MySectionCode::paintEvent(QPaintEvent *)
{
    if (!beginPaint())
        return;
    {
        QPainter painter(this);
        SectionDrawing::fillArea(painter, size(), CodeType == 1 ? markColor : areaColor);
        painter.setPen(QPen(markColor, 1));
        painter.setBrush(QBrush(markColor, Qt::SolidPattern));
        for (const QRect &r : bubbleRects())
            painter.drawRect(r);
    }
    paintResizeHandle();
}
