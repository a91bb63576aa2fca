#pragma once
// Writes the results data file of an exam: one compact JSON object per
// student (JSON Lines), zipped as "<data folder>/<customer code>-<exam id>.zip"
// with the text file as its only entry. Runs on the upload dialog's first
// thread; what it reads is copied on the GUI thread by setSources, so the
// worker never touches a widget.

#include "answerkey.h"
#include "templatemodel.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

class DialogUploadData;
class ExamSession;

// Everything one run reads: the result table as values, the answer keys, the
// template's sections and groups, and the settings that shape a record.
struct DataFormatInput {
    struct Cell {
        bool present = false;
        QString text;
        QVariant data1; // Qt::UserRole + 1
        QVariant data2; // Qt::UserRole + 2
    };

    QString dataFolder;
    QString customerCode;
    QString examId;
    QVector<AnswerSetting> answerSettings;
    QVector<AnswerSetting> optionalAnswerSettings;
    QVector<SubjectSection> subjectSections;
    QVector<OptionalSubjectSection> optionalSubjectSections;
    QVector<OptionalGroup> optionalGroups;
    QVector<OptionalObjectItem> optionalObjectItems;
    bool entireSheetUpload = false;
    int pagesPerSheet = 0;
    QStringList columnKeys;         // the result table's keys in column order
    QVector<QVector<Cell>> rows;    // rows × columns
    QStringList idsToLeaveOut;

    static DataFormatInput take(const ExamSession &window, const QStringList &idsToLeaveOut);

    int columnOf(const QString &key) const { return columnKeys.indexOf(key); }
    // The cell, or null when the column is missing or the row has no item there.
    const Cell *cell(int row, const QString &key) const;
    // The platform's student id of the row (its first cell), as text.
    QString studentIdOf(int row) const;
    // The row's student keeps the platform's record: the row is not written.
    bool leftOut(int row) const;
    // Sum of the regular keys plus, per optional group, the keys of the
    // default candidate's objective questions.
    float objectTotalFullScore() const;
    // The record of one row; `fullScore` is the exam's full objective score as text.
    QByteArray recordOf(int row, const QString &fullScore) const;
    // Why one of the row's image links may not go into the data file (it
    // leaves the store's image folder), naming the cell and the link; empty
    // when every link is usable.
    QString badLinkOf(int row) const;
};

class DataFormatThread : public QObject {
    Q_OBJECT
public:
    explicit DataFormatThread(QObject *parent = nullptr);

    // GUI thread, before each run: remembers the two pointers and copies what
    // the run reads from the window and from the dialog's ids to leave out.
    void setSources(ExamSession *window, DialogUploadData *uploadDialog);

    // Application directory + "/data".
    static QString dataFolder();
    // Tests put the files elsewhere; an empty path restores the default.
    static void setDataFolderForTesting(const QString &folder);
    static QString dataFilePath(const QString &folder, const QString &customerCode, const QString &examId);
    static QString zipFilePath(const QString &folder, const QString &customerCode, const QString &examId);

    ExamSession *mainWindow = nullptr;
    DialogUploadData *dialog = nullptr;

signals:
    void setDataFormatProgress(int progress);
    // The zip's path, or "" when no zip was made (the reason came first
    // through failedDataFormat).
    void finishedDataFormat(QString zipFileName);
    void failedDataFormat(QString reason);

public slots:
    void runDataFormat();

private:
    // The zip's path, or "" with `reason` set.
    QString writeAndZip(QString &reason);

    DataFormatInput m_input;
};
