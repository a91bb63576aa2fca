#pragma once
// Picks the printed-text patch a page without black anchors is aligned on:
// the page region under the canvas selection is shown at full resolution,
// the user drags a rectangle round a piece of printed text, and OK keeps
// that rectangle and its binarised pixels, which the processing program
// matches on every scanned page.

#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

#include <opencv2/core.hpp>

class MyLabel;
class MyLabelPrintTextAnchor;

namespace Ui { class DialogPrintTextAnchor; }

// The movable, resizable text rectangle on the region; it never leaves the
// region's image.
class MyROIWidget : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHandleSize = 6;

    explicit MyROIWidget(MyLabelPrintTextAnchor *label);

    bool inHandle(const QPoint &pos) const;

    QPoint pressPoint;
    QPoint sizeOffset;
    bool resizing = false;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QSize imageSize() const;
};

// Shows the region (label pixels are region pixels) and draws the text
// rectangle with a left-button drag.
class MyLabelPrintTextAnchor : public QLabel {
    Q_OBJECT
public:
    explicit MyLabelPrintTextAnchor(QWidget *parent = nullptr);

    void showImage();

    QImage image;                   // the region, in the page image's format
    MyROIWidget *roi = nullptr;     // made on the first press
    QPoint pressPoint;
    QPoint currentPoint;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
};

class DialogPrintTextAnchor : public QDialog {
    Q_OBJECT
public:
    // Smallest sides of the text rectangle, long side by short side.
    static constexpr int kMinLongSide = 200;
    static constexpr int kMinShortSide = 25;
    static constexpr int kMinKeypoints = 10;

    explicit DialogPrintTextAnchor(MyLabel *canvas);
    ~DialogPrintTextAnchor() override;

    // The threshold between the two grey classes of an 8-bit image that
    // separates them best; 0 for a single grey level.
    static int otsuThreshold(const cv::Mat &grey);
    // Whether the binarised patch holds enough features to be found again;
    // on false `message` says how many it holds.
    static bool checkFeatures(const cv::Mat &patch, QString *message);
    // Binarises a grey patch in place at its Otsu threshold (at most 180
    // for a very light patch) and returns the threshold used.
    static int binarise(cv::Mat &patch);

    QRect textRect;     // at OK: region pixels
    cv::Mat patch;      // at OK: 8-bit, 0 or 255, textRect's size
    MyLabelPrintTextAnchor *labelImage = nullptr;

    Ui::DialogPrintTextAnchor *ui;

public slots:
    void accept() override;

private:
    void warn(const QString &text);

    MyLabel *canvas_;
};
