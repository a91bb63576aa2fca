#pragma once
// Absent-student statistics over the result table.

#include <QDialog>

class QTableWidget;

class DialogAbsentStudentStat : public QDialog {
    Q_OBJECT
public:
    DialogAbsentStudentStat(QWidget *parent, QTableWidget *results);

private:
    QTableWidget *results = nullptr;
};
