#pragma once
// Before the results go to the platform, the operator confirms the counts:
// sheet images in the list, the student records they should give, and the
// records the result table holds. The absent-student statistics open from here.

#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;

class DialogRecordConfirm : public QDialog {
    Q_OBJECT
public:
    // `results` is the result table the absent-student statistics read.
    explicit DialogRecordConfirm(QTableWidget *results, QWidget *parent = nullptr);

    void setCounts(int imageCount, int expectedRecords, int successfulRecords);

    QTableWidget *results = nullptr;
    QLabel *label = nullptr;
    QPushButton *pushButtonAbsentStudentStat = nullptr;
    QPushButton *pushButtonCancel = nullptr;
    QPushButton *pushButtonOK = nullptr;

public slots:
    // The absent-student statistics over the result table, modally.
    void absent();
};
