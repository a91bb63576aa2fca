#pragma once
// The list of answer-sheet page images of the opened exam, one row per file,
// in processing order. It is the work queue of recognition: workers address
// sheets by row index, so nothing here may reorder or remove rows while a run
// is going.

#include <QFileInfo>
#include <QStringList>
#include <QTableWidget>

class MainWindow;
class QMenu;

// Columns of the image list and the data roles of the path cell.
namespace ImageListColumn {
enum Column : int {
    Path = 0,         // file name or full path; roles below
    Code = 1,         // student code, on a sheet's first page row
    TextAnchor = 2,   // printed-text anchor result
    AnchorA = 3,      // anchor A result
    AnchorB = 4,      // anchor B result
    Result = 5,       // empty, "√" or the failure text
    BaseName = 6,     // QFileInfo::baseName()
    SortKey = 7,      // filtered base name (int when digits only)
    Created = 8,      // birth time, ms since the epoch
    Modified = 9,     // modification time, ms since the epoch
    CornerCheck = 10, // "√" or "×"
    TextAnchorArea = 11,
    AnchorAArea = 12,
    AnchorBArea = 13,
    AnchorAUnused = 14,
    AnchorBUnused = 15,
    Count = 16
};
enum Role : int {
    FileNameRole = Qt::UserRole + 1,
    FilePathRole = Qt::UserRole + 2, // absolute path, native separators
};
} // namespace ImageListColumn

// Order of the next header-click sort; one toggle for all sortable columns.
extern bool headerSortAscending;

class MyTableWidgetImage : public QTableWidget {
    Q_OBJECT
public:
    explicit MyTableWidgetImage(QWidget *parent = nullptr);

    bool autoStartProcess = false;
    int contextRow = -1;
    QMenu *contextMenu = nullptr;
    QMenu *rotateMenu = nullptr;
    QMenu *rotateCurrentMenu = nullptr;
    MainWindow *mainWindow = nullptr;
    bool sortableColumnsHidden = true;
    bool showFullPath = false;
    bool exceptionMode = false;

    void addImageRow(QFileInfo file, int row = -1);
    // Clears and refills the context menu for a point in viewport
    // coordinates; contextMenuEvent shows it afterwards.
    void fillContextMenu(const QPoint &pos);

    // Text of a cell, empty when the cell or row does not exist.
    QString cellText(int row, int column) const;
    QString rowFilePath(int row) const;

    // Exchanges the names of two files of one folder. On failure every file
    // is back under its own name (or the error says where it is).
    static bool exchangeFileNames(const QString &a, const QString &b, QString *error = nullptr);
    // The rename the exchange uses; tests replace it to make one step fail.
    static bool (*renameFile)(const QString &from, const QString &to);

signals:
    void signalGetImagesFromDir(QString path);

public slots:
    void slotHeaderClicked(int index);
    void showRowImage();
    void rotateRowImageFile(int mode);
    void sortImageRows();
    void addImages();
    void deleteSelectedRows();
    void deletePageIndexRows();
    void moveImageRowUp();
    void locateFailedRow();
    void swapImageFileNames(int a, int b);
    void setExceptionMode(bool on);
    void addImagesOfDir(QString path);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    bool processing() const;
    // True (after telling the operator) when rows must not change now.
    bool refuseWhileProcessing();
    void addLog(const QString &line);
    void refreshSheetCount();
    int pagesPerSheet() const;
    void setSheetCode();
    void toggleFullPath();
    void toggleCornerCheck(int row);
    void toggleSortableColumns();
    void openCurrentFile();
    void openCurrentFolder();
    void rotateBatch();
    void selectOnlyRow(int row);
    void sortByColumn(int column, Qt::SortOrder order, bool showIndicator);
};
