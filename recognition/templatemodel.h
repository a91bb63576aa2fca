#pragma once
// The processing program's in-memory template model. Every record is a plain
// value type; after applyPageOrigins every section position except the
// corner-check areas is relative to its page's anchor origin.

#include <QChar>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVector>
#include <opencv2/core.hpp>
#include <vector>

struct AnchorBlock {
    int centerX = 0;
    int centerY = 0;
    int anchorPointWidth = 0;
    int anchorPointHeight = 0;
    QRect searchRect;
};

struct TemplatePage {
    int id = 0;
    int width = 0;
    int height = 0;
    bool isRectangleAnchor = true;
    AnchorBlock anchorA;
    AnchorBlock anchorB;
    float angleAB = 0.0f;
    cv::Mat printTextMat;                 // 8-bit, one channel; empty when its data was unusable
    QRect printTextSearchRect;
    int printTextCenterX = 0;
    int printTextCenterY = 0;
    bool featuresReady = false;
    std::vector<cv::KeyPoint> keyPoints;
    cv::Mat descriptors;

    // Search areas of A and B, the template angle, the expected sizes of A
    // and B, and the page size.
    void anchorData(cv::Rect &searchA, cv::Rect &searchB, float &angle,
                    int &aWidth, int &aHeight, int &bWidth, int &bHeight,
                    int &pageWidth, int &pageHeight) const;
    void sheetSize(int &pageWidth, int &pageHeight) const;
};

struct CornerCheckArea {
    int page = 0;
    QString name;
    QRect rect;                            // absolute page coordinates
    int anchorPointWidth = 0;
    int anchorPointHeight = 0;
    // Top-left corner of the printed check point inside `rect` (AnchorPointX,
    // AnchorPointY); -1 when not known. Only the page-scale measurement uses it.
    int anchorPointX = -1;
    int anchorPointY = -1;

    bool pointKnown() const { return anchorPointX >= 0 && anchorPointY >= 0; }
    // Centre of the check point on the template page, rounding down as the
    // anchors' CenterX and CenterY do.
    QPoint pointCentre() const
    {
        return QPoint(rect.x() + anchorPointX + anchorPointWidth / 2, rect.y() + anchorPointY + anchorPointHeight / 2);
    }
};

struct OptionBox {
    int index = 0;
    QChar letter;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct ObjectItem {
    int page = 0;
    int item = 0;
    int optionCount = 0;
    int optionDirection = 0;               // 0: options side by side; non-zero: one under the other
    int markPointWidth = 0;
    int markPointHeight = 0;
    QRect rect;
    bool abnormal = false;                 // true: bubbles placed one by one, listed in options
    QList<OptionBox> options;
};

struct SubjectSection {
    int page = 0;
    int sectionId = 0;
    QRect rect;
};

struct OptionalGroup {
    int page = 0;
    QStringList items;                     // candidate question numbers, as text
    QString defaultItem;
    int markPointWidth = 0;
    int markPointHeight = 0;
    QRect rect;
};

// An objective question of an optional group: enabled when a group of the
// same sheet chose the candidate `optional`.
struct OptionalObjectItem : ObjectItem {
    int optional = 0;
};

struct OptionalSubjectSection {
    int optional = 0;
    int page = 0;
    int sectionId = 0;
    QRect rect;
};

// The model members that the main window owns. Read-only while recognition runs.
struct TemplateModel {
    QString name;
    QString version;
    QVector<TemplatePage> templatePages;
    int pagesPerSheet = 0;
    QVector<CornerCheckArea> cornerChecks;
    int codeType = 0;                      // 1: barcode; anything else: bubble grid
    int barDirection = 0;
    int codeLength = 0;
    int numberDirection = 0;
    int codeMarkPointWidth = 0;
    int codeMarkPointHeight = 0;
    QRect codeRect;
    bool hasAbsentMark = false;
    QRect absentMarkRect;
    QVector<ObjectItem> objectItems;
    QVector<SubjectSection> subjectSections;
    QVector<OptionalGroup> optionalGroups;
    QVector<OptionalObjectItem> optionalObjectItems;
    QVector<OptionalSubjectSection> optionalSubjectSections;

    // Origin of the page with that number: anchor A's centre for a rectangle
    // page, the printed text's centre otherwise; (0, 0) when no page has it.
    QPoint pageOrigin(int pageId) const;
    // The last page record with that id, or null.
    const TemplatePage *page(int pageId) const;
};

// Makes every section position relative to its page's origin. Page records
// and corner-check areas stay absolute.
void applyPageOrigins(TemplateModel &model);
