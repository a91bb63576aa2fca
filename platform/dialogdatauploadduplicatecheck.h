#pragma once
// The choice, per student already on the platform, between the uploaded
// record ("已上传") and the local one ("本地"): a table of the duplicate
// students on the left, the selected student's sheet pages on the right.

#include "answerkey.h"

#include <QDialog>
#include <QImage>
#include <QList>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

class ExamSession;
class MyScrollAreaForDuplicateCheck;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class QToolButton;

// Left side: one row per duplicate student with the two choices.
class FormDuplicateCheckTable : public QWidget {
    Q_OBJECT
public:
    enum Column { ColumnStudent = 0, ColumnUploaded = 1, ColumnLocal = 2 };

    FormDuplicateCheckTable(const QList<StudentInfo> &duplicates, ExamSession *window, QWidget *parent = nullptr);

    // Sets one row's choice: the platform's copy stays (true) or the local one replaces it.
    void choose(int row, bool keepUploaded);
    void chooseAll(bool keepUploaded);
    bool keepsUploaded(int row) const;

    QTableWidget *tableWidget = nullptr;
    QPushButton *pushButtonSelectAllUploaded = nullptr;
    QPushButton *pushButtonSelectAllLocal = nullptr;

signals:
    // The page image paths of the student just selected.
    void showStudentPages(QStringList paths);

public slots:
    void currentCellChanged(int currentRow, int currentColumn, int previousRow, int previousColumn);
    void itemPressed(QTableWidgetItem *item);

private:
    void setChoiceItem(QTableWidgetItem *item, bool chosen);

    ExamSession *m_window = nullptr;
};

// Right side: the pages of one student, with zoom tools.
class FormDuplicateCheckImage : public QWidget {
    Q_OBJECT
public:
    FormDuplicateCheckImage(int pagesPerSheet, QWidget *parent = nullptr);

    // Takes the student's page paths and shows the first page.
    void setPages(const QStringList &paths);
    // 1-based; a page the list does not have changes nothing.
    void showPage(int page);
    void zoomIn();
    void zoomOut();
    void originalSize();
    void fit();

    QStringList imagePaths;
    QImage fullImage;
    QPixmap scaledImage;
    float zoomFactor = 1.0f;

    QToolButton *toolButtonZoomIn = nullptr;
    QToolButton *toolButtonZoomOut = nullptr;
    QToolButton *toolButtonOriginal = nullptr;
    QToolButton *toolButtonFit = nullptr;
    QHBoxLayout *horizontalLayoutPages = nullptr;
    MyScrollAreaForDuplicateCheck *scrollArea = nullptr;
    QLabel *label = nullptr;

private:
    void showScaledToWidth(int width);
    void showPixmap(const QPixmap &pixmap);
};

class DialogDataUploadDuplicateCheck : public QDialog {
    Q_OBJECT
public:
    // `duplicates` in result-table order. The dialog has no parent.
    DialogDataUploadDuplicateCheck(const QList<StudentInfo> &duplicates, ExamSession *window,
                                   QWidget *parent = nullptr);

    // Valid after Accepted: ids whose row chose "本地" / "已上传".
    QStringList idsToDelete;
    QStringList idsToLeaveOut;

    FormDuplicateCheckTable *tableForm = nullptr;
    FormDuplicateCheckImage *imageForm = nullptr;
    QPushButton *pushButtonCancel = nullptr;
    QPushButton *pushButtonOK = nullptr;

public slots:
    void accept() override;
    // Asks first; only Yes cancels the upload.
    void reject() override;
};
