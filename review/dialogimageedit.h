#pragma once
// Paints over part of a sheet image: the selection of the image view is shown
// at full resolution, strokes are drawn on it in white or black, and OK burns
// them into the image file, which becomes a greyscale image. The pen is
// remembered by the caller and in the settings file.

#include <QDialog>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

#include <opencv2/core.hpp>

namespace Ui { class DialogImageEdit; }

class DialogImageEdit : public QDialog {
    Q_OBJECT
public:
    // `selection` is the view's selection in file pixels of `imagePath`; the
    // pen (`penGrey` 255 white or 0 black, `penWidth`) is offered first and
    // kept in the settings file `iniPath` when the edit is saved.
    DialogImageEdit(const QString &imagePath, const QRect &selection, int penGrey, int penWidth,
                    const QString &iniPath, QWidget *parent = nullptr);
    ~DialogImageEdit() override;

    QString imagePath;
    cv::Mat sheetImage; // the whole file in grey
    cv::Mat editArea;   // the selection of sheetImage, sharing its pixels
    // The pen: in from the caller, out once the dialog was accepted.
    int imageEditColor = 255;
    int imageEditWidth = 25;

    // The selection cut back to the image; empty until shown.
    QRect editRect() const { return m_editRect; }

    // Burns strokes (in pixel coordinates of `area`) into `area`: a stroke of
    // two equal points as a filled square of its width, any other as lines
    // of its width between consecutive points.
    static void burnStrokes(cv::Mat &area, const QList<QList<QPoint>> &strokes, const QList<int> &greys,
                            const QList<int> &widths);

    // Refuses to open, with a message, when the file cannot be read or the
    // selection holds no pixel of it.
    int exec() override;

public slots:
    // Saves the strokes into the file; stays open with a message when that fails.
    void accept() override;
    void undoStroke();
    void setCursorParams();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Reads the file and cuts the selection; false with the reason.
    bool loadSelection(QString *error);
    int chosenWidth() const;
    void saveEditSettings() const;

    Ui::DialogImageEdit *ui;
    QRect m_selection;
    QRect m_editRect;
    QString m_iniPath;
};
