#pragma once
#include <QPoint>
#include <QScrollArea>

class QScrollBar;

// A scroll area panned by dragging with the left button (closed hand while
// pressed); the wheel and the keyboard never scroll it. Used where the left
// button has no other job on the content, e.g. image viewers of single blocks.
class MyScrollAreaForDuplicateCheck : public QScrollArea {
    Q_OBJECT
public:
    explicit MyScrollAreaForDuplicateCheck(QWidget *parent = nullptr);

    QScrollBar *horizontalBar = nullptr;
    QScrollBar *verticalBar = nullptr;
    QPoint dragStart;
    bool dragEnabled = true;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};
