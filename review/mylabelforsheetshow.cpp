#include "mylabelforsheetshow.h"

#include <QKeyEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

namespace {

// Below this width a cut is no longer legible.
constexpr int kMinimumWidth = 100;
constexpr float kStep = 1.1f;
constexpr float kMaximumScale = 2.0f;

} // namespace

MyLabelForSheetShow::MyLabelForSheetShow(QWidget *parent) : QLabel(parent) {}

void MyLabelForSheetShow::showAtWidth(int width)
{
    scaledPixmap = originalPixmap.scaledToWidth(width, Qt::FastTransformation);
    setPixmap(scaledPixmap);
}

void MyLabelForSheetShow::zoomTo(float factor)
{
    if (originalPixmap.isNull())
        return;
    const int width = int(float(originalPixmap.width()) * factor);
    if (width < kMinimumWidth)
        return;
    scale = factor;
    showAtWidth(width);
}

void MyLabelForSheetShow::zoomIn()
{
    if (originalPixmap.isNull())
        return;
    const float factor = scale * kStep;
    if (factor > kMaximumScale)
        return;
    const int width = int(scale * float(originalPixmap.width()) * kStep);
    scale = factor;
    showAtWidth(width);
}

void MyLabelForSheetShow::zoomOut()
{
    if (originalPixmap.isNull())
        return;
    const int width = int(scale * float(originalPixmap.width()) / kStep);
    if (width < kMinimumWidth)
        return;
    scale = scale / kStep;
    showAtWidth(width);
}

void MyLabelForSheetShow::showOriginalSize()
{
    if (originalPixmap.isNull())
        return;
    scale = 1.0f;
    scaledPixmap = originalPixmap;
    setPixmap(scaledPixmap);
}

void MyLabelForSheetShow::fitToSize(int width, int height)
{
    if (originalPixmap.isNull())
        return;
    scaledPixmap = originalPixmap.scaledToWidth(width, Qt::FastTransformation);
    scale = float(width) / float(originalPixmap.width());
    if (height < scaledPixmap.height()) {
        scaledPixmap = originalPixmap.scaledToHeight(height, Qt::FastTransformation);
        scale = float(height) / float(originalPixmap.height());
    }
    setPixmap(scaledPixmap);
}

void MyLabelForSheetShow::wheelEvent(QWheelEvent *event)
{
    // Consumed either way: the scroll area never scrolls by wheel here.
    event->accept();
    if (!ctrlDown)
        return;
    if (event->angleDelta().y() > 0)
        zoomIn();
    else
        zoomOut();
}

void MyLabelForSheetShow::setCtrlDown(bool down)
{
    ctrlDown = down;
    if (down && scrollArea) {
        m_disabledBars[0] = scrollArea->horizontalScrollBar();
        m_disabledBars[1] = scrollArea->verticalScrollBar();
    }
    for (QPointer<QScrollBar> &bar : m_disabledBars) {
        if (bar)
            bar->setEnabled(!down);
        if (!down)
            bar = nullptr;
    }
}

void MyLabelForSheetShow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Control)
        setCtrlDown(true);
    QLabel::keyPressEvent(event);
}

void MyLabelForSheetShow::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Control)
        setCtrlDown(false);
    QLabel::keyReleaseEvent(event);
}

void MyLabelForSheetShow::enterEvent(QEvent *event)
{
    grabKeyboard();
    QLabel::enterEvent(event);
}

void MyLabelForSheetShow::leaveEvent(QEvent *event)
{
    releaseKeyboard();
    setCtrlDown(false);
    QLabel::leaveEvent(event);
}

void MyLabelForSheetShow::hideEvent(QHideEvent *event)
{
    // A viewer closed under the pointer sends no leave: the keyboard must not
    // stay with a hidden label.
    releaseKeyboard();
    setCtrlDown(false);
    QLabel::hideEvent(event);
}
