#pragma once
// One worker of the result table's image upload pool. It lives on a thread of
// its own, walks the table's cells through the pool's shared cursor and
// uploads every cell that reads "×". It never touches the table itself: cells
// are read through a blocking call on the GUI thread and written through the
// signals below, which the table answers.

#include "myupload.h"

#include <QObject>
#include <QString>

#include <atomic>

class QMutex;
class QTableWidget;
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
    // `nextUploadCell` is the pool's shared cursor (row * columnCount +
    // column), advanced only under `claimMutex`; both outlive the worker.
    UploadSubjectImageThread(QTableWidget *table, QMutex *claimMutex, int *nextUploadCell, int columnCount,
                             int currentCell, bool limitRows, int lastRow);

    QTableWidget *table = nullptr;
    QMutex *claimMutex = nullptr;
    int *nextUploadCell = nullptr;
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
