// Section creation: the canvas turns the selection rectangle into a section
// of the template. Sections store page pixels; the selection is in canvas
// pixels, so it enters divided by the zoom.

#include "mylabel.h"

#include "anchorsections.h"
#include "dialogcornercheckname.h"
#include "dialogprinttextanchor.h"
#include "dialogsectionobject.h"
#include "dialogsectionobjectoptional.h"
#include "dialogsectionoptionalitem.h"
#include "dialogsectionsubject.h"
#include "dialogsectionsubjectoptional.h"
#include "messagebox.h"
#include "myrubberbandcontainer.h"
#include "questionsections.h"
#include "treeitems.h"

#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace {

const char *const kTitle = "提示";

enum class Place { First, Last, AfterAnchorA };

// An information box with the single button Yes: sizes and failed detections.
void inform(QWidget *parent, const QString &text)
{
    MessageBox::information(parent, QString::fromUtf8(kTitle), text, QMessageBox::Yes);
}

void warnBox(QWidget *parent, const QString &text)
{
    MessageBox::warning(parent, QString::fromUtf8(kTitle), text);
}

// The selection in page pixels: truncated, or rounded for the kinds that
// round (the optional objective questions).
QRect selectionInPage(const MyLabel &canvas, bool rounded)
{
    const QRect r = canvas.rubberBand->geometry();
    const float z = canvas.scale;
    auto page = [z, rounded](int v) {
        const float p = float(v) / z;
        return rounded ? qRound(p) : int(p);
    };
    return QRect(page(r.x()), page(r.y()), page(r.width()), page(r.height()));
}

// Where a new item goes under the page item.
int insertIndex(QTreeWidgetItem *pageItem, Place place)
{
    switch (place) {
    case Place::First:
        return 0;
    case Place::Last:
        return pageItem->childCount();
    case Place::AfterAnchorA:
        for (int i = pageItem->childCount() - 1; i >= 0; --i) {
            QObject *section = pageItem->child(i)->data(0, TreeItemDataRole).value<QObject *>();
            if (qobject_cast<MySectionAnchorPointA *>(section))
                return i + 1;
        }
        return 0;
    }
    return pageItem->childCount();
}

} // namespace

// The common tail of every creation: the section covers the selection
// exactly, takes its page pixels, is listed and gets its tree item.
static void placeSection(MyLabel *canvas, MySectionBase *section, TreeItemType kind, Place place,
                         bool rounded = false)
{
    const QRect shown = canvas->rubberBand->geometry();
    section->setGeometry(shown);
    const QRect inPage = selectionInPage(*canvas, rounded);
    section->X = inPage.x();
    section->Y = inPage.y();
    section->Width = inPage.width();
    section->Height = inPage.height();
    section->show();
    canvas->sectionList().append(section);

    auto *item = new QTreeWidgetItem(QStringList{section->sectionName()});
    item->setData(0, TreeItemTypeRole, QVariant::fromValue(kind));
    item->setData(0, TreeItemDataRole, QVariant::fromValue<QObject *>(section));
    section->treeItem = item;
    if (QTreeWidgetItem *pageItem = canvas->pageTreeItem())
        pageItem->insertChild(insertIndex(pageItem, place), item);
}

// Smart mode: the selection shrinks to the bubbles found under it. False,
// after a message, when none are found; the selection stays hidden.
static bool fitSelectionToBubbles(MyLabel *canvas)
{
    if (!canvas->rubberBand->smartMode)
        return true;
    QRect found;
    if (!canvas->detectBubbleArea(found)) {
        inform(canvas, QStringLiteral("自动获取涂点区域失败"));
        return false;
    }
    const float z = canvas->scale;
    const QRect r = canvas->rubberBand->geometry();
    canvas->rubberBand->setGeometry(r.x() + qRound(float(found.x()) * z), r.y() + qRound(float(found.y()) * z),
                                    qRound(float(found.width()) * z), qRound(float(found.height()) * z));
    return true;
}

void MyLabel::addPrintTextAnchor()
{
    if (fullImage.isNull() || rubberBand->isHidden())
        return;
    const QRect r = rubberBand->geometry();
    const QRect inPage = selectionInPage(*this, false);
    // Compared before truncation: 250.5 page pixels are wide enough.
    if (float(r.width()) / scale <= 250.0f) {
        warnBox(this, QStringLiteral("操作需要宽度大于250。当前值为：%1").arg(inPage.width()));
        return;
    }
    if (float(r.height()) / scale <= 100.0f) {
        warnBox(this, QStringLiteral("操作需要高度大于100。当前值为：%1").arg(inPage.height()));
        return;
    }
    DialogPrintTextAnchor dialog(this);
    dialog.labelImage->showImage();
    if (dialog.exec() != QDialog::Accepted)
        return;
    rubberBand->hide();
    auto *section = new MySectionPrintTextAnchor(page, this);
    section->patch = dialog.patch;
    section->textRect = dialog.textRect;
    placeSection(this, section, TreeItemTypeAnchorPointA, Place::First);
    section->CenterX = section->X + section->textRect.x() + section->textRect.width() / 2;
    section->CenterY = section->Y + section->textRect.y() + section->textRect.height() / 2;
}

// Anchors A and B: the black rectangle under the selection is the anchor.
template <typename Anchor>
static void addAnchor(MyLabel *canvas, TreeItemType kind, Place place)
{
    bool found = false;
    const QRect r = canvas->detectBlackRectangle(found);
    if (!found) {
        warnBox(canvas, QStringLiteral("设置定位点失败，请检查"));
        return;
    }
    canvas->rubberBand->hide();
    auto *anchor = new Anchor(canvas->page, canvas);
    anchor->anchorRect = r;
    placeSection(canvas, anchor, kind, place);
    anchor->CenterX = anchor->X + r.x() + r.width() / 2;
    anchor->CenterY = anchor->Y + r.y() + r.height() / 2;
}

void MyLabel::addAnchorPointA()
{
    if (!fullImage.isNull())
        addAnchor<MySectionAnchorPointA>(this, TreeItemTypeAnchorPointA, Place::First);
}

void MyLabel::addAnchorPointB()
{
    if (!fullImage.isNull())
        addAnchor<MySectionAnchorPointB>(this, TreeItemTypeAnchorPointB, Place::AfterAnchorA);
}

void MyLabel::addAbsentMark()
{
    if (fullImage.isNull())
        return;
    rubberBand->hide();
    placeSection(this, new MySectionAbsentMark(page, this), TreeItemTypeAbsentMark, Place::Last);
}

void MyLabel::addBarcodeSection(int barDirection)
{
    if (fullImage.isNull())
        return;
    rubberBand->hide();
    auto *section = new MySectionCode(page, this);
    section->BarDirection = barDirection;
    placeSection(this, section, TreeItemTypeCode, Place::Last);
}

void MyLabel::addBubbleCodeSection(int codeLength, int numberDirection, int markPointWidth, int markPointHeight)
{
    if (fullImage.isNull())
        return;
    rubberBand->hide();
    if (!fitSelectionToBubbles(this))
        return;
    placeSection(this, new MySectionCode(page, this, codeLength, numberDirection, markPointWidth, markPointHeight),
                 TreeItemTypeCode, Place::Last);
}

void MyLabel::addCornerCheck()
{
    if (fullImage.isNull())
        return;
    bool found = false;
    const QRect r = detectBlackRectangle(found);
    if (!found) {
        warnBox(this, QStringLiteral("设置边角检测点失败，请检查"));
        return;
    }
    DialogCornerCheckName dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    rubberBand->hide();
    auto *section = new MySectionCornerCheck(page, this);
    section->Name = dialog.name;
    section->anchorRect = r;
    placeSection(this, section, TreeItemTypeCornerCheck, Place::Last);
}

namespace {

// What an objective dialog answered.
struct ObjectiveAnswer {
    int itemStart = 0;
    int itemEnd = 0;
    int item = 0;
    int direction = 0;
    int optionCount = 0;
    int group = 0;
};

// The size checks of a run of questions; false after the message.
bool regularFits(QWidget *parent, const QRect &sel, const ObjectiveAnswer &a, int &bw, int &bh)
{
    const qint64 n = qint64(a.itemEnd) - a.itemStart + 1;
    const qint64 k = a.optionCount;
    const QString narrow = QStringLiteral("区域宽度 %1 设置偏小，应大于等于 涂点宽度 * %2（%3*%4=%5）。");
    const QString low = QStringLiteral("区域高度 %1 设置偏小，应大于等于 涂点高度 * %2（%3*%4=%5）。");
    const QString options = QStringLiteral("选项个数");
    const QString items = QStringLiteral("题目个数");
    const int sw = sel.width();
    const int sh = sel.height();
    if (a.direction == 0) {
        if (sw < k * bw) {
            inform(parent, narrow.arg(sw).arg(options).arg(bw).arg(k).arg(k * bw));
            return false;
        }
        if (n == 1) {
            // One question may be drawn lower than a bubble; its bubbles take the height drawn.
            if (double(sh) < 0.7 * bh) {
                inform(parent, low.arg(sh).arg(items).arg(bh).arg(1).arg(bh));
                return false;
            }
            bh = sh;
        } else if (sh < n * bh) {
            inform(parent, low.arg(sh).arg(items).arg(bh).arg(n).arg(n * bh));
            return false;
        }
        return true;
    }
    if (n == 1) {
        if (double(sw) < 0.7 * bw) {
            inform(parent, narrow.arg(sw).arg(items).arg(bw).arg(1).arg(bw));
            return false;
        }
        bw = sw;
    } else if (sw < n * bw) {
        inform(parent, narrow.arg(sw).arg(items).arg(bw).arg(n).arg(n * bw));
        return false;
    }
    if (sh < k * bh) {
        inform(parent, low.arg(sh).arg(options).arg(bh).arg(k).arg(k * bh));
        return false;
    }
    return true;
}

bool irregularFits(QWidget *parent, const QRect &sel, int optionCount, int bw, int bh)
{
    if (qint64(sel.width()) * sel.height() < qint64(optionCount) * bw * bh) {
        inform(parent, QStringLiteral("区域设置偏小"));
        return false;
    }
    if (sel.width() < bw) {
        inform(parent, QStringLiteral("区域宽度设置偏小"));
        return false;
    }
    if (sel.height() < bh) {
        inform(parent, QStringLiteral("区域高度设置偏小"));
        return false;
    }
    return true;
}

// Runs an objective dialog with the remembered option count and direction;
// false when it was not accepted (the remembered pair then stays).
template <typename Dialog>
bool askObjective(MyLabel *canvas, Dialog &dialog, ObjectiveAnswer *answer)
{
    dialog.lastOptionCountIndex = canvas->lastOptionCountIndex;
    dialog.lastOptionDirectionIndex = canvas->lastDirectionIndex;
    if (dialog.exec() != QDialog::Accepted)
        return false;
    canvas->lastOptionCountIndex = dialog.lastOptionCountIndex;
    canvas->lastDirectionIndex = dialog.lastOptionDirectionIndex;
    answer->itemStart = dialog.itemStart;
    answer->itemEnd = dialog.itemEnd;
    answer->item = dialog.item;
    answer->direction = dialog.optionDirection;
    answer->optionCount = dialog.optionCount;
    return true;
}

} // namespace

// One irregular question and its bubbles, laid out row by row from the
// section's top-left corner; rows may run below the section.
static void addIrregular(MyLabel *canvas, bool optional, const ObjectiveAnswer &a, int bw, int bh, bool rounded)
{
    canvas->rubberBand->hide();
    auto *question = new MySectionObjectAbnormal(canvas->page, canvas, optional, optional ? a.group : 0, a.item,
                                                 a.optionCount);
    placeSection(canvas, question, optional ? TreeItemTypeObjectOptional : TreeItemTypeObject, Place::Last, rounded);
    const float z = canvas->scale;
    int cx = question->X;
    int cy = question->Y;
    for (int i = 0; i < a.optionCount; ++i) {
        if (cx > question->X + question->Width - bw) {
            cx = question->X;
            cy += bh;
        }
        auto *bubble = new ObjectAbnormalOption(canvas->page, a.item, i, question, canvas);
        question->options.append(bubble);
        bubble->X = cx;
        bubble->Y = cy;
        bubble->Width = bw;
        bubble->Height = bh;
        bubble->offsetX = cx - question->X;
        bubble->offsetY = cy - question->Y;
        bubble->setGeometry(qRound(float(cx) * z), qRound(float(cy) * z), qRound(float(bw) * z),
                            qRound(float(bh) * z));
        bubble->show();
        canvas->sectionList().append(bubble);
        cx += bw;
    }
}

// Only the optional group's dialog names a group.
static int groupOf(const DialogSectionObject &)
{
    return 0;
}

static int groupOf(const DialogSectionObjectOptional &dialog)
{
    return dialog.group;
}

// Objective questions of either kind: the dialog, the size checks, then a
// run of questions or one irregular question. The optional kinds take their
// page pixels rounded.
template <typename Dialog>
static void addObjective(MyLabel *canvas, int bw, int bh, bool irregular, bool optional)
{
    if (canvas->fullImage.isNull())
        return;
    Dialog dialog(irregular, canvas);
    ObjectiveAnswer a;
    if (!askObjective(canvas, dialog, &a))
        return;
    a.group = groupOf(dialog);
    const QRect sel = selectionInPage(*canvas, optional);
    if (irregular) {
        if (irregularFits(canvas, sel, a.optionCount, bw, bh))
            addIrregular(canvas, optional, a, bw, bh, optional);
        return;
    }
    if (!regularFits(canvas, sel, a, bw, bh))
        return;
    canvas->rubberBand->hide();
    if (!fitSelectionToBubbles(canvas))
        return;
    const int page = canvas->page;
    MySectionBase *section = optional
        ? static_cast<MySectionBase *>(new MySectionObjectOptional(page, canvas, a.group, a.itemStart, a.itemEnd,
                                                                   a.direction, a.optionCount, bw, bh))
        : new MySectionObject(page, canvas, a.itemStart, a.itemEnd, a.direction, a.optionCount, bw, bh);
    placeSection(canvas, section, optional ? TreeItemTypeObjectOptional : TreeItemTypeObject, Place::Last, optional);
}

void MyLabel::addObjectSection(int markPointWidth, int markPointHeight, bool irregular)
{
    addObjective<DialogSectionObject>(this, markPointWidth, markPointHeight, irregular, false);
}

void MyLabel::addObjectOptionalSection(int markPointWidth, int markPointHeight, bool irregular)
{
    addObjective<DialogSectionObjectOptional>(this, markPointWidth, markPointHeight, irregular, true);
}

void MyLabel::addOptionalItemSection(int markPointWidth, int markPointHeight)
{
    if (fullImage.isNull())
        return;
    DialogSectionOptionalItem dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    rubberBand->hide();
    if (!fitSelectionToBubbles(this))
        return;
    auto *section = new MySectionOptionalItem(page, this);
    section->Items = dialog.items;
    section->DefaultItem = dialog.defaultItem;
    section->MarkPointWidth = markPointWidth;
    section->MarkPointHeight = markPointHeight;
    placeSection(this, section, TreeItemTypeOptional, Place::Last);
}

void MyLabel::addSubjectSection()
{
    if (fullImage.isNull())
        return;
    DialogSectionSubject dialog(this);
    dialog.page = page;
    if (dialog.exec() != QDialog::Accepted)
        return;
    rubberBand->hide();
    placeSection(this, new MySectionSubject(this, page, dialog.blockNumber), TreeItemTypeSubject, Place::Last);
}

void MyLabel::addSubjectOptionalSection()
{
    if (fullImage.isNull())
        return;
    DialogSectionSubjectOptional dialog(this);
    dialog.page = page;
    if (dialog.exec() != QDialog::Accepted)
        return;
    rubberBand->hide();
    placeSection(this, new MySectionSubjectOptional(this, page, dialog.blockNumber, dialog.group),
                 TreeItemTypeSubjectOptional, Place::Last);
}
