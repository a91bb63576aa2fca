#pragma once
// A label showing one image at a zoom factor: Ctrl + wheel zooms in steps of
// 1.1 (up to 2.0, never narrower than 100 pixels), fitting and the original
// size are offered by the viewer's menu. All factor arithmetic is in single
// precision.

#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QScrollBar>

class QScrollArea;

class MyLabelForSheetShow : public QLabel {
    Q_OBJECT
public:
    explicit MyLabelForSheetShow(QWidget *parent = nullptr);

    // Each does nothing while no image is loaded.
    void zoomTo(float factor);
    void zoomIn();
    void zoomOut();
    void showOriginalSize();
    void fitToSize(int width, int height);

    QPixmap originalPixmap;
    QPixmap scaledPixmap;
    float scale = 1.0f;
    bool ctrlDown = false;
    // The scroll area that holds the label (set by the viewer); its bars are
    // switched off while Ctrl is held, so the wheel only zooms.
    QScrollArea *scrollArea = nullptr;

protected:
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void showAtWidth(int width);
    void setCtrlDown(bool down);

    // The bars switched off by Ctrl. Switching them on again must not go
    // through the scroll area: a label hidden while its scroll area is being
    // destroyed can no longer call it.
    QPointer<QScrollBar> m_disabledBars[2];
};
