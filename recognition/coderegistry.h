#pragma once
// Which student codes the result table holds and which sheet (by its first
// image row) carries which code. Workers consult it instead of reading the
// tables from their threads; the owner seeds it from the tables on the GUI
// thread before a run, and the pipeline keeps it in step with the signals it
// emits (a code claimed with setCode, a sheet put back with setUnprocessed, a
// code dropped with deleteResultByCode).

#include <QMap>
#include <QMutex>
#include <QSet>
#include <QString>

class CodeRegistry {
public:
    // resultCodes: the "考号" texts of the result table; sheetCodes: first
    // image row of a sheet -> the code in its student-code cell (non-empty only).
    void reset(const QSet<QString> &resultCodes, const QMap<int, QString> &sheetCodes);

    struct Claim {
        int duplicateRow = -1;             // first row of the other sheet, or -1
        bool hadResultCode = false;        // what claim() replaced, for undo()
        bool hadSheetCode = false;
        QString previousSheetCode;
    };

    // One step for all workers: when the result table holds `code` and another
    // sheet carries it, reports that sheet's first row (the lowest) and
    // changes nothing; otherwise records the code for `firstRow`.
    // `sheetCodes` keys are first rows of sheets only.
    Claim claim(const QString &code, int firstRow);
    // Takes back a successful claim whose result row was never made.
    void undo(const Claim &claim, const QString &code, int firstRow);

    // The sheet starting at firstRow went back to unprocessed: its code leaves
    // the sheet and the result table.
    void releaseSheet(int firstRow);
    // The result rows of that code were dropped.
    void removeResultCode(const QString &code);

    bool hasResultCode(const QString &code) const;
    QString sheetCode(int firstRow) const;

private:
    mutable QMutex m_mutex;
    QSet<QString> m_resultCodes;
    QMap<int, QString> m_sheetCodes;
};
