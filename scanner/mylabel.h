#pragma once
// The station's preview label: shows one image file from disk at a zoom
// factor, zooms with the tool buttons or Ctrl+wheel, and turns the file on
// disk. It always shows a file, never image data held elsewhere.

#include <QImage>
#include <QLabel>
#include <QString>

class MyLabel : public QLabel {
    Q_OBJECT
public:
    explicit MyLabel(QWidget *parent = nullptr);

    QString filePath;   // the file last handed to loadImage; the file rotation rewrites
    QImage fullImage;   // the file as loaded; null after a failed load
    QImage shownImage;  // fullImage scaled for display
    float scale = 1.0f; // displayed width / image width
    bool ctrlDown = false;
    bool canLoad = true;

    // Why the last rotateImage failed; empty after a success.
    QString lastError;

public slots:
    void loadImage(const QString &filePath);
    // Turns the shown file clockwise by `angle` (90, 180, 270) on disk and
    // shows it again. The file is replaced only once the turned image is
    // completely written; false (with lastError) leaves it as it was.
    bool rotateImage(int angle, int quality);
    void zoomIn();
    void zoomOut();
    void showFullSize();
    void fitToSize(int width, int height);

signals:
    // After every successful load: full image width, height, file size in bytes.
    void signalRotate(int width, int height, int size);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void showScaledToWidth(int width);
};

// Turns an image file clockwise by `angle` degrees (90, 180 or 270) as seen on
// screen and saves it over itself in the format of its suffix with the given
// writer quality (-1: the writer's default). The new image goes to a temporary
// file in the same folder that replaces the original only when complete, so a
// failed write leaves the old file intact. False with a reason in `error`.
bool rotateImageFile(const QString &path, int angle, int quality, QString *error = nullptr);
