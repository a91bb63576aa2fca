#pragma once
// The table of recognised students: one row per sheet whose student code was
// read, one column per result key of the main window. Besides the texts, its
// cells carry the data the reviews and the uploads work from (ResultItemRole).

#include "resultitemrole.h"
#include "resultreviewhost.h"
#include "tablewidgetdisabledoubleclick.h"

#include <QHash>
#include <QTableWidget>

#include <atomic>
#include <vector>

class MainWindow;
class QAbstractButton;
class QMenu;
class QThread;
class UploadSubjectImageThread;

// As the review host it hands the cell viewers and the answers editor the
// exam's answer keys and keeps their review memory (subjectImageScale,
// objectImagePos, ... editAnswerScroll) for the table's life.
class MyTableWidgetResult : public QTableWidget, public ResultReviewHost {
    Q_OBJECT
public:
    explicit MyTableWidgetResult(QWidget *parent = nullptr);
    // Stops a pool still running (its workers must not outlive the table).
    ~MyTableWidgetResult() override;

    // True only for a "考号" cell whose results were dropped; the page-path
    // list that replaces the flag reads as not dropped.
    static bool isDropped(const QTableWidgetItem *codeItem);

    void collectSelectedRows();
    void deleteResultRows();
    void searchByCode();
    void filterRows(bool onlyAbnormal);
    void openEditObjectAnswer();
    // Refills the context menu for the current state; false (and an empty
    // menu) while recognition runs.
    bool fillContextMenu();

    // Upload pool: 4 to 8 workers over every "×" cell from startCell on,
    // not beyond row maxRow when limitRows is set. Starts nothing while a
    // pool exists.
    void startUpload(bool limitRows, int maxRow, int startCell);

    MainWindow *mainWindow = nullptr;
    QHash<QString, QThread *> uploadThreads;
    QHash<QString, UploadSubjectImageThread *> uploadWorkers;
    QAbstractButton *cornerButton = nullptr;
    std::vector<int> selectedRows;
    QMenu *contextMenu = nullptr;
    int nextUploadCell = 0;
    // Pool size: 0 takes the processor's ideal thread count kept within 4 to
    // 8; a positive value (at most 8) is used as it is (measurements).
    int uploadThreadCount = 0;
    // Read by recognition workers from their threads.
    std::atomic<bool> uploading{false};
    bool abnormalRowsOnly = false;

    // Review host.
    QTableWidget *reviewTable() override { return this; }
    const QVector<AnswerSetting> &objectiveKeys() const override;
    const QVector<AnswerSetting> &optionalKeys() const override;

signals:
    void startUploadThread();

public slots:
    void uploadFinished(QString str);
    void addLog(QString str);
    void setServerPath(QTableWidgetItem *item, QString path);
    void onHeaderClicked(int col);
    void processThreadStartUpload(int rowIndex, int startCellIndex, bool *startUploadOK);
    // An upload worker's result: marks `item` only when the cell at (row,
    // column) is still that item, still "×", with the same local path.
    void setServerPathIfUnchanged(QTableWidgetItem *item, QString path, int row, int column, QString localPath,
                                  bool *marked);
    // Opens the viewer that fits the cell's column (review dialogs).
    void showCellImages(QTableWidgetItem *item);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    MainWindow *mainWindowNow();
    void stopUpload();
    // Shows page `page` (1-based) of the sheet whose student code is `code`.
    void showSheetPage(const QString &code, int page);
};
