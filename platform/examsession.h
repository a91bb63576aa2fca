#pragma once
// The exam the processing window has open, as the platform dialogs and
// workers see it: the account that addresses the requests, the exam's answer
// keys, template and roster, and the result table. The window inherits it, so
// its own code names these members directly, while the code of this folder
// never sees the window itself. GUI thread only.

#include "answerkey.h"
#include "templatemodel.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <tinyxml2.h>

class QTableWidget;

class ExamSession {
public:
    virtual ~ExamSession() = default;

    // The table of recognised students: one row per sheet, one column per
    // key of `resultHeaders`.
    virtual QTableWidget *resultTable() const = 0;
    // Recognition workers run: the tables must not be read for an upload.
    virtual bool isProcessing() const = 0;
    // The result table's image upload pool runs.
    virtual bool imagesUploading() const = 0;
    // The online upgrade check (it may hand over to the updater).
    virtual void upgrade() = 0;

    // The platform account; `schoolID` is what the key check returned.
    QString customerType;
    QString customerCode;
    QString dataKey;
    QString schoolName;
    QString schoolID;

    // The opened exam.
    QString examId;
    QVector<AnswerSetting> answerSettings;
    QVector<AnswerSetting> optionalAnswerSettings;
    tinyxml2::XMLDocument templateDoc{true, tinyxml2::PRESERVE_WHITESPACE};
    TemplateModel templateModel;
    StudentHash studentHash;
    QStringList resultHeaders;     // the result table's keys in column order
    bool entireSheetUpload = false; // whole-sheet images go with the results
};
