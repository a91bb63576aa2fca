#pragma once
// Absent-student statistics: the students of the exam's roster for whom the
// result table holds no record, in one tab for all and one per class, with
// an export to a text file. It changes nothing in the tables.

#include "answerkey.h"

#include <QDialog>
#include <QMap>
#include <QString>

class QTableWidget;

namespace Ui { class DialogAbsentStudentStat; }

class DialogAbsentStudentStat : public QDialog {
    Q_OBJECT
public:
    // `resultTable`'s column 0 holds the recorded codes; the roster and the
    // exam's names come from its window (an ExamRoster), none without one.
    DialogAbsentStudentStat(QWidget *parent, QTableWidget *resultTable);
    ~DialogAbsentStudentStat() override;

    QTableWidget *resultTable = nullptr;
    // Roster entries whose code is in no result row, by code (text order).
    QMap<QString, StudentInfo> absentStudents;

    // Writes one line "class\tname\tcode\n" per absent student in code order,
    // in the local 8-bit encoding. False with the reason when the file cannot
    // be written; the file is then left as it was.
    bool saveAbsentList(const QString &path, QString *error = nullptr) const;

public slots:
    // Asks for the file and saves the list, then says where or why not.
    void exportAbsentList();

private:
    void buildTables();
    QTableWidget *newTable(const QList<StudentInfo> &students) const;

    Ui::DialogAbsentStudentStat *ui;
    QString m_gradeName;
    QString m_subjectName;
};
