#pragma once
// The viewer of a subjective block's cut image (and of a whole-sheet page):
// the image at a zoom with a zoom menu, and the address it was uploaded to.

#include <QDialog>

class MyLabelForSheetShow;
class MyScrollAreaForDuplicateCheck;
class ViewerPageMemory;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

class DialogSubjectImageShow : public QDialog {
    Q_OBJECT
public:
    explicit DialogSubjectImageShow(QWidget *parent = nullptr);

    // Filled before exec.
    QString remoteAddress;  // empty before upload
    QString localPath;
    QString fileName;
    // The zoom to open with; a close by the window's close control leaves
    // the zoom it was closed at here.
    float scale = 1.0f;
    // Where the image is read through, when the opener keeps it between
    // openings; null reads the file every time.
    ViewerPageMemory *pageMemory = nullptr;

    QMenu *contextMenu = nullptr;
    QLabel *label = nullptr;
    QLineEdit *lineEdit = nullptr;
    QPushButton *pushButtonExplore = nullptr;
    MyScrollAreaForDuplicateCheck *scrollArea = nullptr;
    QWidget *scrollAreaWidgetContents = nullptr;
    MyLabelForSheetShow *labelImage = nullptr;
    QPushButton *pushButtonOK = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void openRemoteAddress();

    bool m_loaded = false;
};
