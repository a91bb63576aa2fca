#pragma once
// Absent-student statistics over the result table.

#include <QDialog>

class MyTableWidgetResult;

class DialogAbsentStudentStat : public QDialog {
    Q_OBJECT
public:
    DialogAbsentStudentStat(QWidget *parent, MyTableWidgetResult *results);

private:
    MyTableWidgetResult *results = nullptr;
};
