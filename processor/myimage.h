#pragma once
// The sheet image view: the page image in a drag-scroll area, with the zoom
// and rotate tools beside it.

#include <QWidget>

class MainWindow;
class MyLabel;
class MyScrollArea;
class QFrame;
class QToolButton;

// The processing program's main window that holds `widget`, or null.
MainWindow *findMainWindow(const QWidget *widget);

class MyImage : public QWidget {
    Q_OBJECT
public:
    explicit MyImage(QWidget *parent = nullptr);

    void loadImage(const QString &path);
    // Hidden while recognition runs: no zoom, rotation, wheel zoom or panning then.
    void setToolsVisible(bool visible);

    MyLabel *imageLabel = nullptr;
    MainWindow *mainWindow = nullptr;

    // The form.
    MyScrollArea *scrollArea = nullptr;
    MyLabel *label = nullptr;
    QToolButton *toolButtonZoomIn = nullptr;
    QToolButton *toolButtonZoomOut = nullptr;
    QToolButton *toolButtonOriginal = nullptr;
    QToolButton *toolButtonFit = nullptr;
    QToolButton *toolButtonRotate180 = nullptr;
    QToolButton *toolButtonClockwise = nullptr;
    QToolButton *toolButtonAnticlockwise = nullptr;
    QFrame *line = nullptr;

private:
    // The seven buttons and the separator, top to bottom.
    QList<QWidget *> toolWidgets;

    void fitToWindow();
    // Rotates the file of the image list's context row (0 = 90°, 1 = 180°, 2 = 270°).
    void rotateListImage(int mode);
    MainWindow *mainWindowNow();
};
