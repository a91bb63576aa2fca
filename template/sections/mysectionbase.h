#pragma once
// The base of the designer's section widgets: a section's area in page-image
// pixels, its page and page-tree item, the locked and hidden states, the
// colours the kinds paint with, and what every section does alike (shown only
// on its page, dragged and resized at the canvas zoom, context menu, name in
// the status bar, leaving the canvas list and the tree when destroyed).
//
// A section's parent widget is the design canvas, which implements
// SectionHost. The irregular objective question and its option bubbles are
// recognised by their object names.

#include "sectiondrawing.h"

#include <QBrush>
#include <QColor>
#include <QPen>
#include <QPoint>
#include <QWidget>

class QMenu;
class QTreeWidgetItem;
class SectionHost;

class MySectionBase : public QWidget {
    Q_OBJECT
public:
    MySectionBase(int page, QWidget *parent);
    ~MySectionBase() override;

    // The "信息(&I)" action; the base does nothing.
    virtual void showInfo();
    // Text in the page tree and the status bar.
    virtual QString sectionName() const;

    // The canvas (null when the parent is not one).
    SectionHost *host() const;
    // The page the designer shows (-1 without a canvas).
    int currentPage() const;
    // The canvas zoom (1 without a canvas).
    float zoom() const;

    bool isIrregularQuestion() const;   // object name "MySectionObjectAbnormal"
    bool isOptionBubble() const;        // object name "ObjectAbnormalOption"

    // The context menu as the right button opens it (null for option
    // bubbles); the caller owns it. Exposed so tests can pick its actions.
    QMenu *buildContextMenu();

    // Single-precision Qt rounding (halves upwards).
    static int roundF(float value);

    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
    QTreeWidgetItem *treeItem = nullptr;
    int page = 0;
    bool locked = true;
    bool resizing = false;
    bool hidden = false;
    QColor markColor;
    QPen markPen;
    QBrush markBrush;
    QColor areaColor;
    QPen areaPen;
    QBrush areaBrush;
    QPen textPen;
    QPoint pressPos;
    QPoint resizeOffset;

public slots:
    virtual void setLock(bool lock);
    virtual void setHide(bool hide);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

    // The painting rule every kind starts with: false (and the widget
    // hidden) when the section is off the page shown or hidden.
    bool beginPaint();
    // The resize handle, drawn last while unlocked.
    void paintResizeHandle();
    // The section's label, centred in it.
    SectionDrawing::CentredText labelText;

    // A warning box with the section as parent, through the canvas.
    void warn(const QString &title, const QString &text);
};
