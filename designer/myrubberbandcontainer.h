#pragma once
// The selection rectangle on the design canvas: a translucent box the user
// drags over the page to mark the region of the next section, moved and
// resized with the mouse inside the shown page image. Its right-button menu
// offers the section kinds that make sense for the page shown; each entry's
// slot checks again before the canvas creates the section. It also keeps the
// measured bubble size for the whole run.

#include <QPoint>
#include <QWidget>

#include <memory>

class MyLabel;
class QMenu;

namespace Ui {
class MyRubberBandContainer;
}

class MyRubberBandContainer : public QWidget {
    Q_OBJECT
public:
    // Side of the square resize handle at the bottom-right corner.
    static constexpr int kHandleSize = 6;
    // A section needs at least this many pixels of width and height, on the
    // canvas and on the page; a smaller selection is a slip of the mouse.
    static constexpr int kMinSectionPixels = 4;

    explicit MyRubberBandContainer(QWidget *parent = nullptr);
    ~MyRubberBandContainer() override;

    bool inHandle(const QPoint &pos) const;

    // What the canvas holds: anchors of the canvas's page, the student code
    // and the absent mark of any page.
    bool hasAnchorPointA() const;
    bool hasAnchorPointB() const;
    bool hasPrintTextAnchor() const;
    bool hasAbsentMark() const;
    bool hasCode() const;

    // The section-kind menu for the page shown, built afresh; the caller owns
    // it. A right press shows it at the cursor.
    QMenu *buildMenu();

    QPoint pressOffset;
    QPoint sizeOffset;
    bool resizing = false;
    bool smartMode = false;
    int markPointWidth = 0;
    int markPointHeight = 0;

public slots:
    void setPrintTextAnchor();
    void setSectionAnchorPointA();
    void setSectionAnchorPointB();
    void setMarkPointSize();
    void setSectionCode();
    void setSectionAbsentMark();
    void setSectionObject();
    void setSectionObjectAbnormal();
    void setSectionSubject();
    void setSectionOptionalItem();
    void setSectionObjectOptional();
    void setSectionObjectOptionalAbnormal();
    void setSectionSubjectOptional();
    void rotateImageToHor();
    void setSectionCornerCheck();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEvent *event) override;

private:
    MyLabel *canvas() const;
    // True when the canvas holds a section of type T (of any page, or only
    // of the canvas's page).
    template <typename T>
    bool holds(bool canvasPageOnly) const;
    bool pageAnchored() const;
    // The selection is too small for a section: says so and returns true.
    bool refuseTinySelection();
    bool measured() const { return markPointWidth != 0 && markPointHeight != 0; }
    // The checks the bubble kinds share: measured first, then full size.
    bool refuseUnmeasuredOrReduced(const QString &unmeasured, const QString &zoomQuestion);
    // Below full size: asks whether to show the page at full size (Yes does,
    // and the command ends either way). True when the command must end.
    bool refuseReduced(const QString &zoomQuestion);
    void warn(const QString &text);

    std::unique_ptr<Ui::MyRubberBandContainer> ui;
};
