#pragma once
// The opened exam's roster and names as the review dialogs read them. The
// processing window provides them; a dialog finds them through the window of
// the table it was given, so this folder never sees the window itself.

#include "answerkey.h"

#include <QMap>
#include <QString>

class ExamRoster {
public:
    virtual ~ExamRoster() = default;
    // The exam grade's students by code.
    virtual const QMap<QString, StudentInfo> &rosterByCode() const = 0;
    virtual QString rosterGradeName() const = 0;
    virtual QString rosterSubjectName() const = 0;
};
