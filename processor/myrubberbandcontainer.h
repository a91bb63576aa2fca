#pragma once
// The selection box on the sheet image view: moved by dragging, resized by its
// bottom-right handle, and right-clicked for the barcode test, the anchor
// search area and the image editor. Its geometry is in label pixels.

#include <QPoint>
#include <QRect>
#include <QWidget>

class MainWindow;
class MyLabel;
class QMenu;

class MyRubberBandContainer : public QWidget {
    Q_OBJECT
public:
    explicit MyRubberBandContainer(QWidget *parent = nullptr);

    // The box in file pixels: every coordinate divided by the label's zoom
    // and truncated. Not cut back to the image; empty without a usable zoom.
    QRect fileRect() const;
    // The menu of the box's actions, without parent; the caller deletes it.
    QMenu *createContextMenu();

    QPoint pressPos;
    MainWindow *mainWindow = nullptr;
    bool resizing = false;

    static constexpr int kHandleSize = 6;

public slots:
    void barCodeCheck();
    void setROI();
    void imageEdit();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    MyLabel *label() const;
    MainWindow *mainWindowNow();
    bool onHandle(const QPoint &pos) const;
};
