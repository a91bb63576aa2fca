#pragma once
// Before the results go to the platform, the operator confirms the counts:
// sheet images in the list, the student records they should give, and the
// records the result table holds. The absent-student statistics open from here.

#include <QDialog>

class MainWindow;
class QLabel;
class QPushButton;

class DialogRecordConfirm : public QDialog {
    Q_OBJECT
public:
    // `parent` is the main window.
    explicit DialogRecordConfirm(QWidget *parent = nullptr);

    void setCounts(int imageCount, int expectedRecords, int successfulRecords);

    MainWindow *mainWindow = nullptr;
    QLabel *label = nullptr;
    QPushButton *pushButtonAbsentStudentStat = nullptr;
    QPushButton *pushButtonCancel = nullptr;
    QPushButton *pushButtonOK = nullptr;

public slots:
    // The absent-student statistics over the result table, modally.
    void absent();
};
