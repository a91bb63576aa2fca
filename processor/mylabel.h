#pragma once
// The label of the sheet image view: shows the page image at a zoom factor,
// draws the selection with the left button and zooms with Ctrl + wheel.
// Label pixels are shown-image pixels; divide by `scale` and truncate for
// file pixels.

#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QThreadPool>
#include <QVector>
#include <QRect>

class MyRubberBandContainer;
class QScrollArea;

class MyLabel : public QLabel {
    Q_OBJECT
public:
    explicit MyLabel(QWidget *parent = nullptr);
    ~MyLabel() override;

    // A page image read from its file and scaled for showing. Made on any
    // thread, so that a run's previews are decoded off the GUI thread.
    struct DecodedPage {
        QString path;
        QImage source;      // null when the file could not be read
        QImage scaled;      // `source` at `scale`
        QImage forPixmap;   // `scaled` already in the format a pixmap takes
        float scale = 1.0f;
    };
    static DecodedPage decodePage(const QString &path, float scale);
    // Shows a decoded page (GUI thread); an unreadable one keeps the old picture.
    void showDecodedPage(DecodedPage page);
    // Where the images of a page that showDecodedPage replaces are let go,
    // when set: freeing the tens of megabytes of a scanned page costs the
    // GUI thread milliseconds.
    QPointer<QThreadPool> releasePool;
    void loadImage(const QString &path);
    void zoomIn();
    void zoomOut();
    void showActualSize();
    void fitToSize(int width, int height);
    void hideRubberBandOutsideImage();

    QRect selectionRect;
    MyRubberBandContainer *rubberBand = nullptr;
    QString imagePath;
    QImage *sourceImage = nullptr;
    QImage *scaledImage = nullptr;
    float scale = 1.0f;
    bool ctrlPressed = false;
    QPoint pressPoint;
    bool loadIdle = true;
    bool interactive = true;

    // Zoom limits of the stepping tools, in shown pixels of width.
    static constexpr int kMinZoomWidth = 300;
    static constexpr int kMaxZoomWidth = 15000;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    // Steps in or out; `anchor` (viewport pixels) keeps the image point under it.
    void zoomInAt(const QPoint &anchor);
    void zoomOutAt(const QPoint &anchor);
    // Shows `image` as the scaled image at `newScale`, keeping the image point
    // under `anchor` where it is.
    void showScaled(const QImage &image, float newScale, const QPoint &anchor);
    void releaseImages(QVector<QImage> images);

    // The pixels behind the pixmap shown, when it came from a decoded page.
    QImage m_pixmapPixels;
    QScrollArea *scrollArea() const;
    void layOutScrollArea();
    QPoint viewportCentre() const;
};
