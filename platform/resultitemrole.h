#pragma once
// Data roles of the result table's cells. Besides the texts, the cells carry
// the data the reviews and the uploads work from; the meaning of a role
// depends on the column kind.

#include <Qt>

enum ResultItemRole {
    // "考号" (column 0)
    ResultStudentIdRole = Qt::UserRole + 1,     // the platform's student id (int)
    ResultSheetStateRole = Qt::UserRole + 2,    // dropped flag (bool), later the page paths (QStringList)
    // objective question
    ResultScoreRole = Qt::UserRole + 1,         // score earned, 2 decimals
    ResultFullScoreRole = Qt::UserRole + 2,     // full score, 2 decimals
    ResultOptionCountRole = Qt::UserRole + 3,   // option count, decimal
    // subjective block and whole-sheet page
    ResultLocalPathRole = Qt::UserRole + 1,     // local image file
    ResultServerPathRole = Qt::UserRole + 2,    // address in the store, after upload
};
