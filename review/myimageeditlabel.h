#pragma once
// Canvas of the image editor: shows the selected part of a sheet image at
// full resolution and records free-hand strokes drawn on it with the left
// button. Canvas coordinates are pixel coordinates of that part.

#include <QCursor>
#include <QImage>
#include <QLabel>
#include <QList>
#include <QPoint>

class MyImageEditLabel : public QLabel {
    Q_OBJECT
public:
    explicit MyImageEditLabel(QWidget *parent = nullptr);

    // One entry per stroke in all three lists.
    QList<QList<QPoint>> strokes;
    QList<int> strokeGreys;  // 255 white, 0 black
    QList<int> strokeWidths; // pixels

    int penGrey = 255;
    int penWidth = 25;
    bool drawing = false;
    QCursor brushCursor;

    // The pen for the next stroke; a width below 1 draws with 1.
    void setPen(int grey, int width);
    // Removes the last stroke, if any.
    void undoStroke();

signals:
    // The pointer came onto the canvas: the dialog hands over the pen.
    void pointerEntered();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_strokeOpen = false; // pressed here, release still to come
};
