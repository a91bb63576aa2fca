#pragma once
// The sections that hold the questions: regular objective blocks (plain and
// of an optional group), irregular objective questions with their option
// bubbles, the choice bubbles of an optional group, and subjective blocks
// (plain and of an optional group).

#include "mysectionbase.h"

#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVector>

class ObjectAbnormalOption;

class MySectionObject : public MySectionBase {
    Q_OBJECT
public:
    MySectionObject(int page, QWidget *canvas, int itemStart, int itemEnd, int optionDirection,
                    int optionCount, int markPointWidth, int markPointHeight);
    void showInfo() override;
    QString sectionName() const override;
    // The bubbles as painted, in widget pixels; none when the layout cannot
    // be drawn inside the widget.
    QVector<QRect> bubbleRects() const;

    int OptionCount = 0;
    int ItemStart = 0;
    int ItemEnd = 0;
    int itemCount = 0;
    int OptionDirection = 0;
    int MarkPointWidth = 0;
    int MarkPointHeight = 0;
    QPoint dragPressPos;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
};

class MySectionObjectOptional : public MySectionBase {
    Q_OBJECT
public:
    MySectionObjectOptional(int page, QWidget *canvas, int optional, int itemStart, int itemEnd,
                            int optionDirection, int optionCount, int markPointWidth,
                            int markPointHeight);
    void showInfo() override;
    QString sectionName() const override;
    // The bubbles as painted, in widget pixels; none when the layout cannot
    // be drawn inside the widget.
    QVector<QRect> bubbleRects() const;

    int Optional = 0;
    int OptionCount = 0;
    int ItemStart = 0;
    int ItemEnd = 0;
    int itemCount = 0;
    int OptionDirection = 0;
    int MarkPointWidth = 0;
    int MarkPointHeight = 0;
    QPoint dragPressPos;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
};

class MySectionObjectAbnormal : public MySectionBase {
    Q_OBJECT
public:
    MySectionObjectAbnormal(int page, QWidget *canvas, bool isOptional, int optional, int item,
                            int optionCount);
    // Deletes its bubbles at once, so none outlives its question.
    ~MySectionObjectAbnormal() override;
    void showInfo() override;
    QString sectionName() const override;

    // Places the bubble at `index` of `options`, or every bubble for -1.
    // Any other index is ignored.
    void placeOptions(int index);
    void placeOption(ObjectAbnormalOption *bubble);
    // Bounding box of the bubbles in canvas pixels; negative without bubbles.
    QSize optionsExtent() const;

    bool isOptional = false;
    int Optional = 0;
    int OptionCount = 0;
    int Item = 0;
    QVector<ObjectAbnormalOption *> options;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
};

class MySectionOptionalItem : public MySectionBase {
    Q_OBJECT
public:
    MySectionOptionalItem(int page, QWidget *canvas);
    ~MySectionOptionalItem() override;
    void showInfo() override;
    QString sectionName() const override;
    // The bubbles as painted, in widget pixels; none when the layout cannot
    // be drawn inside the widget.
    QVector<QRect> bubbleRects() const;

    QStringList Items;
    QString DefaultItem;
    int MarkPointWidth = 0;
    int MarkPointHeight = 0;

protected:
    void paintEvent(QPaintEvent *event) override;
};

class MySectionSubject : public MySectionBase {
    Q_OBJECT
public:
    MySectionSubject(int page, QWidget *canvas);                       // reader's form
    MySectionSubject(QWidget *canvas, int page, int subjectSectionID); // creator's form
    void showInfo() override;
    QString sectionName() const override;
    // The text painted in the block.
    QString label() const;

    int subjectPage = 0;
    int SubjectSectionID = 0;

protected:
    void paintEvent(QPaintEvent *event) override;
};

class MySectionSubjectOptional : public MySectionBase {
    Q_OBJECT
public:
    MySectionSubjectOptional(int page, QWidget *canvas);
    MySectionSubjectOptional(QWidget *canvas, int page, int subjectSectionID, int optional);
    void showInfo() override;
    QString sectionName() const override;
    // The text painted in the block.
    QString label() const;

    int Optional = 0;
    int SubjectSectionID = 0;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// One option bubble of an irregular question: a canvas child (not a child of
// its question), unlocked exactly while the pointer is over it.
class ObjectAbnormalOption : public MySectionBase {
    Q_OBJECT
public:
    ObjectAbnormalOption(int page, int item, int index, MySectionObjectAbnormal *parentSection,
                         QWidget *canvas);
    // Leaves its question's list, so the question never holds a freed bubble.
    ~ObjectAbnormalOption() override;
    void showInfo() override;
    QString sectionName() const override;

    int item = 0;
    int index = 0;
    QChar letter;
    int offsetX = 0;
    int offsetY = 0;
    bool shiftPressed = false;
    QPointer<MySectionObjectAbnormal> parentSection;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
};
