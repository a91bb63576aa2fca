#pragma once
// The selection rectangle on the design canvas: a translucent box the user
// drags over the page to mark the region of the next section, moved and
// resized with the mouse inside the shown page image.

#include <QPoint>
#include <QWidget>

#include <memory>

class MyLabel;

namespace Ui {
class MyRubberBandContainer;
}

class MyRubberBandContainer : public QWidget {
    Q_OBJECT
public:
    // Side of the square resize handle at the bottom-right corner.
    static constexpr int kHandleSize = 6;

    explicit MyRubberBandContainer(QWidget *parent = nullptr);
    ~MyRubberBandContainer() override;

    bool inHandle(const QPoint &pos) const;

    QPoint pressOffset;
    QPoint sizeOffset;
    bool resizing = false;
    bool smartMode = false;
    int markPointWidth = 0;
    int markPointHeight = 0;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEvent *event) override;

private:
    MyLabel *canvas() const;

    std::unique_ptr<Ui::MyRubberBandContainer> ui;
};
