#pragma once
// Records of the designer's page tree and subjective scoring configuration.

#include <QMetaType>
#include <QString>
#include <Qt>

// Kinds of page-tree items, stored under TreeItemTypeRole. Only "page" is
// ever compared against; the other codes label items. Append only.
enum TreeItemType {
    TreeItemTypePage = 1,
    TreeItemTypeCornerCheck = 2,
    TreeItemTypeAnchorPointA = 3,   // also the printed-text anchor
    TreeItemTypeAnchorPointB = 4,
    TreeItemTypeCode = 5,
    TreeItemTypeAbsentMark = 6,
    TreeItemTypeObject = 7,
    TreeItemTypeSubject = 8,
    TreeItemTypeOptional = 9,
    TreeItemTypeObjectOptional = 10,
    TreeItemTypeSubjectOptional = 11,
};

constexpr int TreeItemTypeRole = Qt::UserRole + 1;
// A TreeItemPage on a page item; a MySectionBase* (as QObject*) on a section item.
constexpr int TreeItemDataRole = Qt::UserRole + 2;

struct TreeItemPage {
    int id = 0;             // 1-based page number, equal to the page's position
    QString imagePath;
};

// One subjective question of the scoring configuration; written and read as
// the attributes of the same names of an Item element.
struct SubjectItemRow {
    QString ItemID;
    QString Alias;
    QString Score;
    QString MarkCount;
    QString ErrorMargin;
    QString Pages;
    QString Sections;

    bool operator==(const SubjectItemRow &o) const
    {
        return ItemID == o.ItemID && Alias == o.Alias && Score == o.Score && MarkCount == o.MarkCount
            && ErrorMargin == o.ErrorMargin && Pages == o.Pages && Sections == o.Sections;
    }
};

Q_DECLARE_METATYPE(TreeItemType)
Q_DECLARE_METATYPE(TreeItemPage)
Q_DECLARE_METATYPE(SubjectItemRow)
