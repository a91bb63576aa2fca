#pragma once
// Paces the whole-sheet preparation of all result rows: one row per blocking
// call to the GUI thread, which makes the row's images and advances the tip.
// The worker itself never reads the tables; the GUI thread keeps `rowCount`
// current for it.

#include <QObject>

#include <atomic>

class ThreadInitForEntireSheetUpload : public QObject {
    Q_OBJECT
public:
    ThreadInitForEntireSheetUpload();

    // Result rows still to walk; set before `run` starts and refreshed after
    // every row by the GUI thread.
    std::atomic<int> rowCount{0};

signals:
    void saveSheetsToBinaryPNG(int row);
    void initForEntireSheetUploadFinished();

public slots:
    void run();
};
