#pragma once
// Choice of how marks are binarised (automatic or a fixed threshold), with a
// live preview on the area selected in the main window's sheet image.

#include <QDialog>
#include <QRect>
#include <QString>

#include <opencv2/core.hpp>

namespace Ui { class DialogThreshold; }

// What the preview needs from the sheet image view: the image file, the
// view's zoom and the selection box in shown (zoomed) pixels.
struct SheetSelection {
    QString imagePath;
    float scale = 1.0f;
    QRect box;
};

// The selection of the main window that is the parent of `settingsDialog`;
// empty when there is none.
SheetSelection sheetSelectionOf(QWidget *settingsDialog);

// The selection box in file pixels (each value divided by the zoom, truncated
// toward zero), clipped to an image of `imageSize`. Empty when nothing of it
// lies on the image or the zoom is not a positive number.
cv::Rect selectionInFilePixels(const QRect &box, float scale, const cv::Size &imageSize);

class DialogThreshold : public QDialog {
    Q_OBJECT
public:
    // `parent` is the settings dialog, whose parent is the main window.
    explicit DialogThreshold(QWidget *parent = nullptr);
    DialogThreshold(const SheetSelection &selection, QWidget *parent);
    ~DialogThreshold() override;

    // Reads the two keys into the members and the form, then redraws.
    void loadSettings();
    // Writes the algorithm and the threshold; false when the file could not be written.
    bool saveSettings();
    // Recomputes the effect view from the selection.
    void updatePreview();

    int markPointAlgo = 0;      // 0: automatic (Otsu), 1: fixed threshold
    int threshold = 220;        // 0 to 255
    cv::Mat sheetImage;         // 8-bit grey, read from the selection's file
    cv::Mat selectionImage;     // shares the pixels of sheetImage; empty without a selection

public slots:
    void accept() override;

private:
    void setThresholdWidgetsVisible(bool visible);
    void takeSelection(const SheetSelection &selection);

    Ui::DialogThreshold *ui;
};
