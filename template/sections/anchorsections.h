#pragma once
// The sections that fix a page's geometry and identify the student: anchors
// A and B, the printed-text anchor, corner checks, the student code and the
// absent mark.

#include "mysectionbase.h"

#include <QRect>
#include <QString>
#include <QVector>
#include <opencv2/core.hpp>

class MySectionAbsentMark : public MySectionBase {
    Q_OBJECT
public:
    MySectionAbsentMark(int page, QWidget *canvas);
    void showInfo() override;
    QString sectionName() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

class MySectionAnchorPointA : public MySectionBase {
    Q_OBJECT
public:
    MySectionAnchorPointA(int page, QWidget *canvas);
    QString sectionName() const override;

    QRect anchorRect;   // found black rectangle, relative to the search area
    int CenterX = 0;
    int CenterY = 0;

public slots:
    void setLock(bool lock) override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

class MySectionAnchorPointB : public MySectionBase {
    Q_OBJECT
public:
    MySectionAnchorPointB(int page, QWidget *canvas);
    QString sectionName() const override;

    QRect anchorRect;
    int CenterX = 0;
    int CenterY = 0;

public slots:
    void setLock(bool lock) override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

class MySectionPrintTextAnchor : public MySectionBase {
    Q_OBJECT
public:
    MySectionPrintTextAnchor(int page, QWidget *canvas);
    ~MySectionPrintTextAnchor() override;
    void showInfo() override;
    QString sectionName() const override;

    QRect textRect;     // chosen text rectangle, relative to the search area
    int CenterX = 0;
    int CenterY = 0;
    cv::Mat patch;      // binarised text, 8-bit one channel, textRect's size

public slots:
    void setLock(bool lock) override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

class MySectionCornerCheck : public MySectionBase {
    Q_OBJECT
public:
    MySectionCornerCheck(int page, QWidget *canvas);
    ~MySectionCornerCheck() override;
    QString sectionName() const override;

    QRect anchorRect;
    QString Name;

public slots:
    void setLock(bool lock) override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

class MySectionCode : public MySectionBase {
    Q_OBJECT
public:
    // Barcode form: CodeType 1; the creator sets BarDirection.
    MySectionCode(int page, QWidget *canvas);
    // Bubble form: CodeType 0.
    MySectionCode(int page, QWidget *canvas, int codeLength, int numberDirection, int markPointWidth,
                  int markPointHeight);
    void showInfo() override;
    QString sectionName() const override;
    // The bubbles as painted, in widget pixels; none for a barcode or when
    // the layout cannot be drawn inside the widget.
    QVector<QRect> bubbleRects() const;

    int CodeType = 1;
    int CodeLength = 0;
    int BarDirection = 0;
    int NumberDirection = 0;
    int MarkPointWidth = 0;
    int MarkPointHeight = 0;

protected:
    void paintEvent(QPaintEvent *event) override;
};
