#include "templatemodel.h"

namespace {

cv::Rect toCvRect(const QRect &r)
{
    return cv::Rect(r.x(), r.y(), r.width(), r.height());
}

} // namespace

void TemplatePage::anchorData(cv::Rect &searchA, cv::Rect &searchB, float &angle,
                              int &aWidth, int &aHeight, int &bWidth, int &bHeight,
                              int &pageWidth, int &pageHeight) const
{
    searchA = toCvRect(anchorA.searchRect);
    searchB = toCvRect(anchorB.searchRect);
    angle = angleAB;
    aWidth = anchorA.anchorPointWidth;
    aHeight = anchorA.anchorPointHeight;
    bWidth = anchorB.anchorPointWidth;
    bHeight = anchorB.anchorPointHeight;
    pageWidth = width;
    pageHeight = height;
}

void TemplatePage::sheetSize(int &pageWidth, int &pageHeight) const
{
    pageWidth = width;
    pageHeight = height;
}

QPoint TemplateModel::pageOrigin(int pageId) const
{
    // The first record with that id gives the origin.
    for (const TemplatePage &p : templatePages) {
        if (p.id != pageId)
            continue;
        if (p.isRectangleAnchor)
            return QPoint(p.anchorA.centerX, p.anchorA.centerY);
        return QPoint(p.printTextCenterX, p.printTextCenterY);
    }
    return QPoint(0, 0);
}

const TemplatePage *TemplateModel::page(int pageId) const
{
    // The pipeline takes the last record with that id.
    for (int i = templatePages.size() - 1; i >= 0; --i) {
        if (templatePages.at(i).id == pageId)
            return &templatePages.at(i);
    }
    return nullptr;
}

namespace {

void moveObjectItem(ObjectItem &item, const QPoint &o)
{
    item.rect.translate(-o.x(), -o.y());
    for (OptionBox &box : item.options) {
        box.x -= o.x();
        box.y -= o.y();
    }
}

} // namespace

void applyPageOrigins(TemplateModel &model)
{
    const QPoint o1 = model.pageOrigin(1);
    model.absentMarkRect.translate(-o1.x(), -o1.y());
    model.codeRect.translate(-o1.x(), -o1.y());

    for (ObjectItem &item : model.objectItems)
        moveObjectItem(item, model.pageOrigin(item.page));
    for (OptionalObjectItem &item : model.optionalObjectItems)
        moveObjectItem(item, model.pageOrigin(item.page));

    for (SubjectSection &s : model.subjectSections) {
        const QPoint o = model.pageOrigin(s.page);
        s.rect.translate(-o.x(), -o.y());
    }
    for (OptionalGroup &g : model.optionalGroups) {
        const QPoint o = model.pageOrigin(g.page);
        g.rect.translate(-o.x(), -o.y());
    }
    for (OptionalSubjectSection &s : model.optionalSubjectSections) {
        const QPoint o = model.pageOrigin(s.page);
        s.rect.translate(-o.x(), -o.y());
    }
}
