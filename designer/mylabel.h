#pragma once
// The design canvas: one page image at a zoom factor, the selection rectangle
// dragged over it, and every section widget of the template as a child laid
// over the page. Canvas pixels = page pixels x `scale`.
//
// The canvas also rewrites the page image file itself (quarter turns and
// deskew) while no section lies on the page.

#include "sectionhost.h"

#include <QImage>
#include <QLabel>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>

class CanvasWindow;
class MyRubberBandContainer;
class MySectionBase;
class QTreeWidget;
class QTreeWidgetItem;

class MyLabel : public QLabel, public SectionHost {
    Q_OBJECT
public:
    explicit MyLabel(QWidget *parent = nullptr);
    ~MyLabel() override;

    // Widest shown image the zoom steps allow, and the narrowest.
    static constexpr int kMaxZoomWidth = 15000;
    static constexpr int kMinZoomWidth = 300;
    // Deskew refuses narrower selections (canvas pixels) and steeper lines.
    static constexpr int kMinDeskewSelectionWidth = 150;
    static constexpr float kMaxDeskewDegrees = 5.0f;
    static constexpr float kMinDeskewDegrees = 0.01f;

    // Loads and shows a page. An unreadable file leaves the canvas without a
    // picture (zoom, rotation, keys and section creation then do nothing),
    // keeps the zoom and says so in a box naming the page and the file.
    void loadImage(const QString &path, int page);
    // A new or opened template starts at full size, with no selection and no
    // section name in the status line.
    void startTemplate();
    void zoomIn();
    void zoomOut();
    void showFullSize();
    void fitToSize(int width, int height);
    // Puts every section widget at its zoomed place.
    void relayoutSections();
    void hideSelectionOutsideImage();
    // The page item of the page shown, under which new sections go; null
    // without a window or before a page is shown.
    QTreeWidgetItem *pageTreeItem() const;

    // Turns the page image file: 0 clockwise 90 degrees, 1 by 180 degrees,
    // 2 anticlockwise 90 degrees. Refused while the page holds a section.
    void rotatePage(int code);
    // Deskew through the line dialog (`horizontalDialog`).
    void correctHorizontal();
    // Rewrites the page image file turned by `angle` degrees (anticlockwise
    // positive) about its centre, with white corners. False, with the reason
    // in `error`, when the file cannot be read or written.
    bool deskewImage(float angle, QString *error = nullptr);

    // Region detectors. Each reads the page image file anew and examines the
    // part of the page under the selection rectangle (cut to the page); the
    // rectangles are in page pixels, offsets from the selection's top-left.
    // An unreadable file is reported in a box and counts as not found.
    // The solid black rectangle (anchors, corner checks); (0,0,0,0) and
    // found = false when none qualifies.
    QRect detectBlackRectangle(bool &found);
    // The box around every bubble-like mark; `area` is untouched when false.
    bool detectBubbleArea(QRect &area);
    // The largest bubble-like mark; `mark` is untouched when false.
    bool measureMarkPoint(QRect &mark);

    // Section creation over the selection rectangle; the selection menu's
    // slots call these after their own checks. Each asks its dialog and
    // detector where the kind has them, then builds one section (an
    // irregular question with its bubbles) at the selection's page pixels,
    // lists it and hangs its item under the page shown. A refusal or a
    // cancelled dialog creates nothing.
    void addPrintTextAnchor();
    void addAnchorPointA();
    void addAnchorPointB();
    void addAbsentMark();
    void addBarcodeSection(int barDirection);
    void addBubbleCodeSection(int codeLength, int numberDirection, int markPointWidth, int markPointHeight);
    void addCornerCheck();
    void addObjectSection(int markPointWidth, int markPointHeight, bool irregular);
    void addObjectOptionalSection(int markPointWidth, int markPointHeight, bool irregular);
    void addOptionalItemSection(int markPointWidth, int markPointHeight);
    void addSubjectSection();
    void addSubjectOptionalSection();

    // The designer window around the canvas, or null.
    CanvasWindow *canvasWindow() const;

    // SectionHost.
    QList<MySectionBase *> &sectionList() override { return sections_; }
    float zoom() const override { return scale; }
    QSize shownImageSize() const override { return shownImage.size(); }
    int currentPage() const override;
    void showSectionName(const QString &text) override;
    void grabCanvasKeyboard() override;
    void showSelection(const QRect &geometry) override;
    QMessageBox::StandardButton showMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                            const QString &text, QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton) override;
    bool editOptionalItem(QStringList &items, QString &defaultItem) override;
    bool editSubject(int &page, int &blockNumber) override;
    bool editSubjectOptional(int &optional, int &page, int &blockNumber) override;

    // The parameter dialogs the edit operations run; each returns true when
    // the user accepted (values replaced). Unset: nothing is changed.
    std::function<bool(QStringList &items, QString &defaultItem)> optionalItemDialog;
    std::function<bool(int &page, int &blockNumber)> subjectDialog;
    std::function<bool(int &optional, int &page, int &blockNumber)> subjectOptionalDialog;
    // The line dialog of the deskew: true when accepted, with the angle of
    // the drawn line in degrees. Unset: rejected.
    std::function<bool(float *angleDegrees)> horizontalDialog;

    QImage fullImage;     // null before the first successful load
    QImage shownImage;    // fullImage at the zoom; what the label shows
    float scale = 1.0f;
    QString imagePath;
    int page = -1;
    QRect selectionRect;
    MyRubberBandContainer *rubberBand = nullptr;
    QPoint pressPoint;
    bool ctrlDown = false;
    bool shiftDown = false;
    int lastOptionCountIndex = -1;
    int lastDirectionIndex = -1;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void showShown(QImage image);
    void updateOwnBackground();
    void showPageSections();
    void showUnreadablePage(const QString &path, int pageNumber);
    // The window's page tree owns the sections' tree items and may go first
    // when the window closes; the sections must not delete them again.
    void watchPageTree();
    void warn(const QString &text);

    QList<MySectionBase *> sections_;
    QPointer<QTreeWidget> watchedTree_;
};
