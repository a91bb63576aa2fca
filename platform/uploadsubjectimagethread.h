#pragma once
// One worker of the result table's image upload pool. It lives on a thread of
// its own, walks the table's cells through the pool's shared cursor and
// uploads every cell that reads "×". It never touches the table itself: cells
// are read through a blocking call on the GUI thread and written through the
// table's slots.

#include "myupload.h"

#include <QObject>
#include <QString>

#include <atomic>

class MainWindow;
class MyTableWidgetResult;
class QTableWidgetItem;

// What a pool needs of the main window, taken on the GUI thread when the pool
// starts.
struct UploadTarget {
    QString examId;
    bool localServer = false;
    QString localServerAddress;
    QString localServerPassword;
    int sheetUploadTimeout = 5;
};

class UploadSubjectImageThread : public QObject {
    Q_OBJECT
public:
    UploadSubjectImageThread(MainWindow *mainWindow, MyTableWidgetResult *table, int columnCount, int currentCell,
                             bool limitRows, int lastRow);

    MainWindow *mainWindow = nullptr;
    MyTableWidgetResult *table = nullptr;
    int columnCount = 0;
    int currentCell = 0;
    bool limitRows = false;
    int lastRow = 0;
    // Set by the table's stop entry; tested before every cell.
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> running{false};
    // Set when the table goes away under the pool: the running transfer is
    // abandoned and nothing more is reported.
    std::atomic<bool> abandoned{false};

    // Filled by the pool before the thread starts.
    UploadTarget target;
    MyUpload upload;

signals:
    void finished(QString name);
    void addLog(QString str);
    // Asks the table to mark `item` uploaded; the table does so only when the
    // cell at (row, column) is still that item, still "×", with the same
    // local path, and says so through `marked`.
    void setServerPath(QTableWidgetItem *item, QString path, int row, int column, QString localPath, bool *marked);

public slots:
    void run();

private:
    struct CellView {
        bool answered = false;
        int rowCount = 0;
        QTableWidgetItem *item = nullptr;
        QString text;
        QString localPath;
    };
    CellView readCell(int row, int column);
};
