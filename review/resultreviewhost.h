#pragma once
// What the review viewers and the answers editor need of the result table
// that opens them: the table, the answer keys the recognition scored with,
// and how each viewer kind was last left. The result table implements it; a
// dialog finds it by casting its parent, and without one (a dialog opened
// elsewhere) it simply remembers nothing.

#include "answerkey.h"
#include "viewerpagememory.h"

#include <QPoint>
#include <QSize>
#include <QVector>

class QTableWidget;
class QWidget;

class ResultReviewHost {
public:
    virtual ~ResultReviewHost() = default;

    virtual QTableWidget *reviewTable() = 0;
    // The exam's objective and optional-question keys (first match wins).
    virtual const QVector<AnswerSetting> &objectiveKeys() const = 0;
    virtual const QVector<AnswerSetting> &optionalKeys() const = 0;

    // The host of a dialog built with `parent`, or null.
    static ResultReviewHost *of(QWidget *parent);

    // True when a remembered geometry should be restored.
    static bool remembered(const QPoint &pos, const QSize &size) { return !pos.isNull() && !size.isNull(); }

    // Review memory: for the table's life only, never saved. Show types are
    // 0 the original crop, 1 the processed crop, 2 both. A geometry is
    // restored only when both its position and size differ from (0, 0).
    float subjectImageScale = 1.0f;
    ViewerPageMemory sheetPage; // the whole-sheet page shown last
    QPoint editAnswerPos;
    QSize editAnswerSize{0, 0};
    int editAnswerScroll = 0;
    QPoint objectImagePos;
    QSize objectImageSize{0, 0};
    int objectShowType = 2;
    QPoint optionalImagePos;
    QSize optionalImageSize{0, 0};
    int optionalShowType = 2;
    QPoint codeImagePos;
    QSize codeImageSize{0, 0};
    int codeShowType = 2;
};
