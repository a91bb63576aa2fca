#pragma once
// A test page whose every turn can be told apart, and how to read its turn
// back from a file or an image.

#include <QImage>
#include <QPainter>
#include <QStringList>

// Red | green over blue | white, wider than high.
inline QImage quadrants(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(0, 0, width / 2, height / 2, Qt::red);
    p.fillRect(width / 2, 0, width - width / 2, height / 2, Qt::green);
    p.fillRect(0, height / 2, width / 2, height - height / 2, Qt::blue);
    p.fillRect(width / 2, height / 2, width - width / 2, height - height / 2, Qt::white);
    return image;
}

// Top-left, top-right, bottom-left, bottom-right colour names ("r", "g",
// "b", "w"), to a tolerance that survives JPEG.
inline QStringList corners(const QImage &image)
{
    const int w = image.width(), h = image.height();
    QStringList names;
    for (const QPoint &p : {QPoint(w / 4, h / 4), QPoint(3 * w / 4, h / 4), QPoint(w / 4, 3 * h / 4),
                            QPoint(3 * w / 4, 3 * h / 4)}) {
        const QColor c = image.pixelColor(p);
        const int r = c.red() > 128, g = c.green() > 128, b = c.blue() > 128;
        names << (r && g && b ? "w" : r ? "r" : g ? "g" : b ? "b" : "?");
    }
    return names;
}

inline QStringList corners(const QString &path)
{
    return corners(QImage(path));
}
