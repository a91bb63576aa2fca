#pragma once
// What the canvas tests share: a designer window that records what the
// canvas tells it, page images written to a temporary folder, and mouse
// events with exact button states.

#include "canvaswindow.h"
#include "myimage.h"
#include "mylabel.h"
#include "myrubberbandcontainer.h"

#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QString>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWheelEvent>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <vector>

struct ImageInfo {
    QString path;
    int page;
    int width;
    int height;
};

class RecordingWindow : public QWidget, public CanvasWindow {
public:
    RecordingWindow()
    {
        auto *layout = new QHBoxLayout(this);
        tree = new QTreeWidget(this);
        view = new MyImage(this);
        layout->addWidget(tree);
        layout->addWidget(view, 10);
        resize(900, 600);
    }

    MyLabel *canvas() const { return view->label(); }

    int shownPage() const override { return page; }
    QTreeWidget *pageTreeWidget() const override { return tree; }
    void showImageInfo(const QString &path, int p, int width, int height) override
    {
        imageInfo.append({path, p, width, height});
    }
    void showSelectionInfo(int x, int y, int width, int height) override
    {
        selectionInfo.append(QRect(x, y, width, height));
    }
    void showSectionName(const QString &text) override { sectionNames.append(text); }
    void showMousePosition(int x, int y) override { mousePositions.append(QPoint(x, y)); }

    int page = -1;
    QTreeWidget *tree = nullptr;
    MyImage *view = nullptr;
    QList<ImageInfo> imageInfo;
    QList<QRect> selectionInfo;
    QStringList sectionNames;
    QList<QPoint> mousePositions;
};

// A page whose every pixel differs from its neighbours, so that any turn or
// shift shows: grey (1 channel) or colour (3 channels, BGR).
inline cv::Mat patternPage(int width, int height, int channels)
{
    cv::Mat page(height, width, channels == 1 ? CV_8UC1 : CV_8UC3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto v = static_cast<uchar>((x * 7 + y * 31) % 251);
            if (channels == 1)
                page.at<uchar>(y, x) = v;
            else
                page.at<cv::Vec3b>(y, x) = cv::Vec3b(v, static_cast<uchar>(255 - v), static_cast<uchar>(x + y));
        }
    }
    return page;
}

inline void sendMouse(QWidget *widget, QEvent::Type type, const QPoint &pos, Qt::MouseButton button,
                      Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// True when the event was accepted by the widget.
inline bool sendWheel(QWidget *widget, int angleY, Qt::KeyboardModifiers modifiers)
{
    const QPoint pos(10, 10);
    QWheelEvent event(pos, widget->mapToGlobal(pos), QPoint(), QPoint(0, angleY), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    event.ignore();
    QApplication::sendEvent(widget, &event);
    return event.isAccepted();
}

// A shown recording window over a temporary folder for page files; one per test.
struct CanvasScene {
    CanvasScene()
    {
        window.page = 1;
        window.show();
        canvas = window.canvas();
    }

    // Writes `image` as a PNG (any name, any suffix) and returns its path.
    QString write(const QString &name, const cv::Mat &image)
    {
        const QString path = dir.filePath(name);
        std::vector<uchar> bytes;
        cv::imencode(".png", image, bytes);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
        return path;
    }
    QString writePage(const QString &name, int width, int height, int channels = 1)
    {
        return write(name, patternPage(width, height, channels));
    }

    QTemporaryDir dir;
    RecordingWindow window;
    MyLabel *canvas = nullptr;
};
