#pragma once
#include <QPoint>
#include <QScrollArea>

class QScrollBar;

// A scroll area that pans its content when the user drags it with the mouse
// (the content is usually a label that leaves mouse events unaccepted, so they
// arrive here in viewport pixels). The wheel and the keyboard never scroll it.
//
// The three programs want slightly different panning, so one class carries
// them as variants:
//  - Processor: right-button drag, gated by dragEnabled (switched off while
//    recognition runs).
//  - Designer:  right-button drag, always on; dragEnabled is not consulted.
//  - Scanner:   right- and left-button drag, each with its own start point;
//    with both held the left one wins; dragEnabled gates both.
// Forms build the widget through the one-argument constructor, so each program
// sets its variant once with setDefaultVariant() before building windows.
class MyScrollArea : public QScrollArea {
    Q_OBJECT
public:
    enum class Variant { Processor, Designer, Scanner };

    explicit MyScrollArea(QWidget *parent = nullptr);

    // Variant given to scroll areas built from now on.
    static void setDefaultVariant(Variant variant);
    static Variant defaultVariant();

    void setVariant(Variant variant) { variant_ = variant; }
    Variant variant() const { return variant_; }

    QScrollBar *horizontalBar = nullptr;
    QScrollBar *verticalBar = nullptr;
    // Bar values plus the press position, recorded at a right press.
    QPoint dragStart;
    // The same for a left press (Scanner variant only).
    QPoint leftDragStart;
    bool dragEnabled = true;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void scrollFrom(const QPoint &start, const QPoint &pos);

    Variant variant_;
};
