#pragma once
// The deskew line: the page region under the canvas selection at full
// resolution, on which the user drags a line parallel to one of the sheet
// that should be horizontal. The dialog only measures; the canvas decides.

#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QPoint>

class MyLabel;

namespace Ui { class DialogHorizontal; }

class MyLabelHorizontal : public QLabel {
    Q_OBJECT
public:
    explicit MyLabelHorizontal(QWidget *parent = nullptr);

    // Degrees in -90 .. 90 of the line from `from` to `to` in label
    // coordinates (y down): falling to the right is positive, and the
    // direction of the drag does not matter.
    static float lineAngle(const QPoint &from, const QPoint &to);

    QImage image;
    float angle = 0.0f;
    QPoint pressPoint;
    QPoint endPoint;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};

class DialogHorizontal : public QDialog {
    Q_OBJECT
public:
    explicit DialogHorizontal(MyLabel *canvas);
    ~DialogHorizontal() override;

    float angle = 0.0f;
    MyLabelHorizontal *labelImage = nullptr;

    Ui::DialogHorizontal *ui;

public slots:
    void accept() override;
};
