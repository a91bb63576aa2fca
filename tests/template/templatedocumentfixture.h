#pragma once
// A design canvas with its page tree for the template document tests: the
// readers build into it, the writer takes its pages back out of it, and
// describe() turns what was built into one line per section so a test can
// compare it with a single expected text.

#include "anchorsections.h"
#include "questionsections.h"
#include "templatedocument.h"
#include "testsectionhost.h"
#include "treeitems.h"

#include <QSize>
#include <QStringList>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <tinyxml2.h>

class DocumentFixture {
public:
    explicit DocumentFixture(int pages)
    {
        for (int i = 0; i < pages; ++i) {
            auto *item = new QTreeWidgetItem(QStringList{QStringLiteral("第%1页").arg(i + 1)});
            item->setData(0, TreeItemTypeRole, QVariant::fromValue(TreeItemTypePage));
            item->setData(0, TreeItemDataRole, QVariant::fromValue(TreeItemPage{i + 1, QString()}));
            tree.addTopLevelItem(item);
        }
    }

    QList<QTreeWidgetItem *> pageItems() const
    {
        QList<QTreeWidgetItem *> items;
        for (int i = 0; i < tree.topLevelItemCount(); ++i)
            items << tree.topLevelItem(i);
        return items;
    }

    // Parses the XML text and reads it into the canvas; false when it does not parse.
    bool read(const QByteArray &xml, TemplateDocument::DocumentInfo *info = nullptr, QStringList *warnings = nullptr)
    {
        tinyxml2::XMLDocument doc;
        if (doc.Parse(xml.constData(), size_t(xml.size())) != tinyxml2::XML_SUCCESS)
            return false;
        const TemplateDocument::DocumentInfo read = TemplateDocument::readDocument(doc, &canvas, pageItems(), warnings);
        if (info)
            *info = read;
        return true;
    }

    // The sections under a page item, in tree order.
    static QList<MySectionBase *> treeSections(const QTreeWidgetItem *pageItem)
    {
        QList<MySectionBase *> list;
        for (int c = 0; c < pageItem->childCount(); ++c)
            list << qobject_cast<MySectionBase *>(pageItem->child(c)->data(0, TreeItemDataRole).value<QObject *>());
        return list;
    }

    QVector<TemplateDocument::PageOut> pagesOut(const QSize &pageSize) const
    {
        QVector<TemplateDocument::PageOut> pages;
        for (QTreeWidgetItem *item : pageItems()) {
            TemplateDocument::PageOut p;
            p.id = item->data(0, TreeItemDataRole).value<TreeItemPage>().id;
            p.width = pageSize.width();
            p.height = pageSize.height();
            p.treeSections = treeSections(item);
            pages << p;
        }
        return pages;
    }

    QByteArray write(const QString &name, const QSize &pageSize, const QVector<SubjectItemRow> &rows = {}) const
    {
        return TemplateDocument::writeXml(name, pagesOut(pageSize), canvas.sections, rows);
    }

    // One line per section of the canvas list, bubbles inside their question.
    QStringList describe() const
    {
        QStringList lines;
        for (const MySectionBase *s : canvas.sections) {
            if (!s->isOptionBubble())
                lines << describe(s);
        }
        return lines;
    }

    // What is wrong with the tree items of the canvas list, or empty.
    QString treeFaults() const
    {
        for (const MySectionBase *s : canvas.sections) {
            if (s->isOptionBubble()) {
                if (s->treeItem)
                    return QStringLiteral("a bubble has a tree item");
                continue;
            }
            const QTreeWidgetItem *item = s->treeItem;
            if (!item)
                return QStringLiteral("no tree item: ") + describe(s);
            if (item->text(0) != s->sectionName())
                return QStringLiteral("tree text %1, name %2").arg(item->text(0), s->sectionName());
            if (item->data(0, TreeItemDataRole).value<QObject *>() != s)
                return QStringLiteral("tree item points elsewhere: ") + describe(s);
            const QTreeWidgetItem *pageItem = item->parent();
            if (!pageItem || pageItem->data(0, TreeItemDataRole).value<TreeItemPage>().id != s->page)
                return QStringLiteral("under the wrong page: ") + describe(s);
            if (s->parentWidget() != &canvas)
                return QStringLiteral("not a canvas child: ") + describe(s);
        }
        return QString();
    }

    static QString rect(const QRect &r)
    {
        return QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    }

    static QString describe(const MySectionBase *s)
    {
        const int kind = s->treeItem ? s->treeItem->data(0, TreeItemTypeRole).toInt() : 0;
        QString d = QStringLiteral("k%1 p%2 %3,%4,%5,%6").arg(kind).arg(s->page).arg(s->X).arg(s->Y).arg(s->Width).arg(s->Height);
        if (const auto *a = qobject_cast<const MySectionAnchorPointA *>(s))
            d += QStringLiteral(" A %1 c%2,%3").arg(rect(a->anchorRect)).arg(a->CenterX).arg(a->CenterY);
        else if (const auto *b = qobject_cast<const MySectionAnchorPointB *>(s))
            d += QStringLiteral(" B %1 c%2,%3").arg(rect(b->anchorRect)).arg(b->CenterX).arg(b->CenterY);
        else if (const auto *t = qobject_cast<const MySectionPrintTextAnchor *>(s)) {
            d += QStringLiteral(" text %1 c%2,%3 patch %4x%5").arg(rect(t->textRect)).arg(t->CenterX).arg(t->CenterY)
                     .arg(t->patch.rows).arg(t->patch.cols);
            if (!t->patch.empty() && t->patch.total() <= 12) {
                QStringList v;
                for (int r = 0; r < t->patch.rows; ++r)
                    for (int c = 0; c < t->patch.cols; ++c)
                        v << QString::number(t->patch.at<uchar>(r, c));
                d += QLatin1Char('[') + v.join(QLatin1Char(',')) + QLatin1Char(']');
            }
        } else if (const auto *c = qobject_cast<const MySectionCornerCheck *>(s))
            d += QStringLiteral(" corner %1 [%2]").arg(rect(c->anchorRect), c->Name);
        else if (const auto *code = qobject_cast<const MySectionCode *>(s))
            d += QStringLiteral(" code type%1 bar%2 len%3 dir%4 mp%5x%6").arg(code->CodeType).arg(code->BarDirection)
                     .arg(code->CodeLength).arg(code->NumberDirection).arg(code->MarkPointWidth).arg(code->MarkPointHeight);
        else if (qobject_cast<const MySectionAbsentMark *>(s))
            d += QStringLiteral(" absent");
        else if (const auto *o = qobject_cast<const MySectionObject *>(s))
            d += QStringLiteral(" object %1-%2(%3) opts%4 dir%5 mp%6x%7").arg(o->ItemStart).arg(o->ItemEnd).arg(o->itemCount)
                     .arg(o->OptionCount).arg(o->OptionDirection).arg(o->MarkPointWidth).arg(o->MarkPointHeight);
        else if (const auto *o = qobject_cast<const MySectionObjectOptional *>(s))
            d += QStringLiteral(" object opt%1 %2-%3(%4) opts%5 dir%6 mp%7x%8").arg(o->Optional).arg(o->ItemStart)
                     .arg(o->ItemEnd).arg(o->itemCount).arg(o->OptionCount).arg(o->OptionDirection)
                     .arg(o->MarkPointWidth).arg(o->MarkPointHeight);
        else if (const auto *q = qobject_cast<const MySectionObjectAbnormal *>(s)) {
            d += QStringLiteral(" irregular %1opt%2 item%3 opts%4").arg(q->isOptional ? QStringLiteral("+") : QString())
                     .arg(q->Optional).arg(q->Item).arg(q->OptionCount);
            for (const ObjectAbnormalOption *b : q->options)
                d += QStringLiteral(" %1%2@%3,%4,%5,%6/%7,%8").arg(b->letter).arg(b->index).arg(b->X).arg(b->Y)
                         .arg(b->Width).arg(b->Height).arg(b->offsetX).arg(b->offsetY);
        } else if (const auto *g = qobject_cast<const MySectionOptionalItem *>(s))
            d += QStringLiteral(" group %1[%2] default[%3] mp%4x%5").arg(g->Items.size())
                     .arg(g->Items.join(QLatin1Char('|')), g->DefaultItem).arg(g->MarkPointWidth).arg(g->MarkPointHeight);
        else if (const auto *j = qobject_cast<const MySectionSubject *>(s))
            d += QStringLiteral(" subject %1 on%2").arg(j->SubjectSectionID).arg(j->subjectPage);
        else if (const auto *j = qobject_cast<const MySectionSubjectOptional *>(s))
            d += QStringLiteral(" subject opt%1 %2").arg(j->Optional).arg(j->SubjectSectionID);
        // The widget lies at page pixels (zoom 1) unless it had to be clamped.
        if (s->x() != s->X || s->y() != s->Y || s->width() != s->Width || s->height() != s->Height)
            d += QStringLiteral(" widget %1").arg(rect(s->geometry()));
        return d;
    }

    // Declared first so it outlives the sections, whose destructors delete their items.
    QTreeWidget tree;
    TestSectionHost canvas;
};
