#pragma once
// Worker of the batch rotation tool: turns the image files of a range of list
// rows and saves each over itself. It lives in a thread of its own; it never
// reads the list, whose rows' files are handed over in `paths` when a run
// starts, and it reports only through its signals.

#include <QList>
#include <QObject>
#include <QStringList>

class RotateThread : public QObject {
    Q_OBJECT
public:
    RotateThread() = default;

    // Set on the GUI thread before each run.
    QStringList paths;              // the file of every row firstRow..lastRow, in order
    int mode = 0;                   // 0: 90°, 1: 180°, 2: 270° clockwise on screen
    int firstRow = 1;               // 1-based, inclusive
    int lastRow = 0;
    bool onlySpecificPages = false; // rotate only the page positions in `pages`
    int pagesPerSheet = 2;          // rows per sheet (2 to 8) when onlySpecificPages
    QList<int> pages;               // chosen 1-based page positions
    int quality = -1;               // JPEG quality, -1 for the encoder's default

public slots:
    // The whole run; emits `send_msg` after each row (or each sheet when only
    // chosen pages turn), `rotateFailed` for every file left as it was, then
    // `finished`.
    void ChildThread();

signals:
    void send_msg(int progress);
    void rotateFailed(QString message);
    void finished();

private:
    void rotateRow(int row);
};
