#include "templatedocument.h"

#include "anchorsections.h"
#include "questionsections.h"
#include "sectionhost.h"
#include "templateformat.h"

#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QTreeWidgetItem>
#include <QVariant>
#include <QWidget>

#include <tinyxml2.h>

#include <algorithm>
#include <climits>

using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;

namespace TemplateDocument {

namespace {

// Widget geometry is kept within what Qt allows for a widget (and far beyond
// any page image), so a hostile coordinate can never overflow int in Qt's
// rectangle arithmetic or in a later zoom.
constexpr int kMaxGeometry = (1 << 24) - 1;

// An irregular question has at most the letters A to P.
constexpr int kMaxOptions = 16;

// More questions than this in one block is not a sheet but a broken number.
constexpr qint64 kMaxItemSpan = 10000;

void warn(QStringList *warnings, const QString &text)
{
    if (warnings)
        warnings->append(text);
}

int clampInt(qint64 v, int lo, int hi)
{
    return int(std::max<qint64>(lo, std::min<qint64>(hi, v)));
}

// ---- reading -------------------------------------------------------------

// Decimal integer; a missing attribute or a text that is not a number gives 0.
int intAttr(const XMLElement *e, const char *name)
{
    const char *v = e->Attribute(name);
    return v ? QString::fromUtf8(v).toInt() : 0;
}

QString textAttr(const XMLElement *e, const char *name)
{
    const char *v = e->Attribute(name);
    return v ? QString::fromUtf8(v) : QString();
}

void readArea(MySectionBase *s, const XMLElement *e)
{
    s->X = intAttr(e, "X");
    s->Y = intAttr(e, "Y");
    s->Width = intAttr(e, "Width");
    s->Height = intAttr(e, "Height");
}

// A detected rectangle (relative to its search area) from four attributes,
// clamped so QRect's edge arithmetic stays within int.
QRect readRect(const XMLElement *e, const char *x, const char *y, const char *w, const char *h,
               bool *clamped)
{
    const int vx = intAttr(e, x), vy = intAttr(e, y), vw = intAttr(e, w), vh = intAttr(e, h);
    const QRect r(clampInt(vx, -kMaxGeometry, kMaxGeometry), clampInt(vy, -kMaxGeometry, kMaxGeometry),
                  clampInt(vw, -kMaxGeometry, kMaxGeometry), clampInt(vh, -kMaxGeometry, kMaxGeometry));
    if (r.x() != vx || r.y() != vy || r.width() != vw || r.height() != vh)
        *clamped = true;
    return r;
}

QString kindName(TreeItemType kind)
{
    switch (kind) {
    case TreeItemTypeCornerCheck: return QStringLiteral("边角检测");
    case TreeItemTypeAnchorPointA: return QStringLiteral("定位点");
    case TreeItemTypeAnchorPointB: return QStringLiteral("定位点B");
    case TreeItemTypeCode: return QStringLiteral("考号");
    case TreeItemTypeAbsentMark: return QStringLiteral("缺考标记");
    case TreeItemTypeObject: return QStringLiteral("客观题");
    case TreeItemTypeSubject: return QStringLiteral("主观题");
    case TreeItemTypeOptional: return QStringLiteral("选做题");
    case TreeItemTypeObjectOptional: return QStringLiteral("选做题客观题");
    case TreeItemTypeSubjectOptional: return QStringLiteral("选做题主观题");
    case TreeItemTypePage: break;
    }
    return QString();
}

// What every reader needs before it builds anything: the canvas as a host
// and a page item to hang the section under.
SectionHost *hostFor(int page, QTreeWidgetItem *pageItem, QWidget *canvas, QStringList *warnings)
{
    SectionHost *host = dynamic_cast<SectionHost *>(canvas);
    if (!host) {
        warn(warnings, QStringLiteral("第%1页：没有画布，区域未读取").arg(page));
        return nullptr;
    }
    if (!pageItem) {
        warn(warnings, QStringLiteral("第%1页：没有对应的页面，区域未读取").arg(page));
        return nullptr;
    }
    return host;
}

// Places the widget at its page pixels, clamped to what a widget can hold.
void placeWidget(MySectionBase *s, int page, TreeItemType kind, QStringList *warnings)
{
    const int x = clampInt(s->X, -kMaxGeometry, kMaxGeometry);
    const int y = clampInt(s->Y, -kMaxGeometry, kMaxGeometry);
    const int w = clampInt(s->Width, 0, kMaxGeometry);
    const int h = clampInt(s->Height, 0, kMaxGeometry);
    if (x != s->X || y != s->Y || w != s->Width || h != s->Height)
        warn(warnings, QStringLiteral("第%1页 %2：位置或大小 (%3, %4, %5, %6) 超出范围")
                           .arg(page).arg(kindName(kind)).arg(s->X).arg(s->Y).arg(s->Width).arg(s->Height));
    s->move(x, y);
    s->resize(w, h);
}

// The common end of every reader: geometry, tree item, canvas list.
void finishSection(MySectionBase *s, int page, TreeItemType kind, QTreeWidgetItem *pageItem,
                   SectionHost *host, QStringList *warnings)
{
    placeWidget(s, page, kind, warnings);
    auto *item = new QTreeWidgetItem(QStringList{s->sectionName()});
    item->setData(0, TreeItemTypeRole, QVariant::fromValue(kind));
    item->setData(0, TreeItemDataRole, QVariant::fromValue<QObject *>(s));
    s->treeItem = item;
    pageItem->addChild(item);
    host->sectionList().append(s);
}

// The usual reader: the widget, its area, the kind's own fields, then the
// common end.
template <typename Section, typename Fill>
void readSimple(int page, QTreeWidgetItem *pageItem, const XMLElement *section, QWidget *canvas,
                QStringList *warnings, TreeItemType kind, Fill fill)
{
    SectionHost *host = hostFor(page, pageItem, canvas, warnings);
    if (!host)
        return;
    auto *s = new Section(page, canvas);
    readArea(s, section);
    fill(s);
    finishSection(s, page, kind, pageItem, host, warnings);
}

template <typename Anchor>
void readAnchorChild(Anchor *s, const XMLElement *e, bool *clamped)
{
    readArea(s, e);
    s->anchorRect = readRect(e, "AnchorPointX", "AnchorPointY", "AnchorPointWidth", "AnchorPointHeight", clamped);
    s->CenterX = intAttr(e, "CenterX");
    s->CenterY = intAttr(e, "CenterY");
}

void warnClampedRect(bool clamped, int page, TreeItemType kind, QStringList *warnings)
{
    if (clamped)
        warn(warnings, QStringLiteral("第%1页 %2：检测到的矩形超出范围，已截取").arg(page).arg(kindName(kind)));
}

// ItemEnd - ItemStart + 1 must stay an int for the section; an absurd range
// is reported, and one whose count would overflow is cut to one question.
void checkItemRange(int page, int itemStart, int &itemEnd, TreeItemType kind, QStringList *warnings)
{
    const qint64 span = qint64(itemEnd) - itemStart;
    if (span >= 0 && span <= kMaxItemSpan)
        return;
    if (span + 1 > INT_MAX || span + 1 < INT_MIN) {
        warn(warnings, QStringLiteral("第%1页 %2：题号范围 %3-%4 无法使用，已改为第 %3 题")
                           .arg(page).arg(kindName(kind)).arg(itemStart).arg(itemEnd));
        itemEnd = itemStart;
        return;
    }
    warn(warnings, QStringLiteral("第%1页 %2：题号范围 %3-%4 不合理")
                       .arg(page).arg(kindName(kind)).arg(itemStart).arg(itemEnd));
}

// One question with its bubbles placed one by one. The bubbles are the
// section's child elements (at most A to P); each is numbered by its
// position, and the option count follows the bubbles read, so every option
// the count names exists.
void readIrregular(int page, QTreeWidgetItem *pageItem, const XMLElement *section, QWidget *canvas,
                   SectionHost *host, bool isOptional, int optional, int item, int optionCount,
                   TreeItemType kind, QStringList *warnings)
{
    int present = 0;
    for (const XMLElement *c = section->FirstChildElement(); c; c = c->NextSiblingElement())
        ++present;
    const int count = std::min(present, kMaxOptions);
    if (present > kMaxOptions)
        warn(warnings, QStringLiteral("第%1页 第%2题：有 %3 个选项，只读取前 %4 个")
                           .arg(page).arg(item).arg(present).arg(kMaxOptions));
    if (optionCount != count)
        warn(warnings, QStringLiteral("第%1页 第%2题：选项数 %3 与选项 %4 个不符，按 %4 个读取")
                           .arg(page).arg(item).arg(optionCount).arg(count));

    auto *q = new MySectionObjectAbnormal(page, canvas, isOptional, optional, item, count);
    readArea(q, section);
    finishSection(q, page, kind, pageItem, host, warnings);

    bool renumbered = false;
    int position = 0;
    for (const XMLElement *c = section->FirstChildElement(); c && position < count;
         c = c->NextSiblingElement(), ++position) {
        if (intAttr(c, "Index") != position)
            renumbered = true;
        auto *b = new ObjectAbnormalOption(page, item, position, q, canvas);
        readArea(b, c);
        b->offsetX = clampInt(qint64(b->X) - q->X, INT_MIN, INT_MAX);
        b->offsetY = clampInt(qint64(b->Y) - q->Y, INT_MIN, INT_MAX);
        placeWidget(b, page, kind, warnings);
        host->sectionList().append(b);
        q->options.append(b);
    }
    if (renumbered)
        warn(warnings, QStringLiteral("第%1页 第%2题：选项序号不连续，已按位置重新编号").arg(page).arg(item));
}

void readObjectKind(int page, QTreeWidgetItem *pageItem, const XMLElement *section, QWidget *canvas,
                    QStringList *warnings, bool optionalGroup)
{
    SectionHost *host = hostFor(page, pageItem, canvas, warnings);
    if (!host)
        return;
    const TreeItemType kind = optionalGroup ? TreeItemTypeObjectOptional : TreeItemTypeObject;
    if (intAttr(section, "Abnormal") != 0) {
        const int item = intAttr(section, "Item");
        const int optional = optionalGroup ? intAttr(section, "Optional") : 0;
        const int optionCount = intAttr(section, "OptionCount");
        readIrregular(page, pageItem, section, canvas, host, optionalGroup, optional, item, optionCount, kind,
                      warnings);
        return;
    }
    const int optional = optionalGroup ? intAttr(section, "Optional") : 0;
    const int itemStart = intAttr(section, "ItemStart");
    int itemEnd = intAttr(section, "ItemEnd");
    const int optionDirection = intAttr(section, "OptionDirection");
    const int optionCount = intAttr(section, "OptionCount");
    const int markPointWidth = intAttr(section, "MarkPointWidth");
    const int markPointHeight = intAttr(section, "MarkPointHeight");
    checkItemRange(page, itemStart, itemEnd, kind, warnings);
    MySectionBase *s = nullptr;
    if (optionalGroup)
        s = new MySectionObjectOptional(page, canvas, optional, itemStart, itemEnd, optionDirection, optionCount,
                                        markPointWidth, markPointHeight);
    else
        s = new MySectionObject(page, canvas, itemStart, itemEnd, optionDirection, optionCount, markPointWidth,
                                markPointHeight);
    readArea(s, section);
    finishSection(s, page, kind, pageItem, host, warnings);
}

// ---- writing -------------------------------------------------------------

class Writer {
public:
    static XMLElement *section(XMLElement *page, const char *type)
    {
        XMLElement *e = page->InsertNewChildElement("Section");
        e->SetAttribute("Type", type);
        return e;
    }

    static void text(XMLElement *e, const char *name, const QString &value)
    {
        e->SetAttribute(name, value.toUtf8().constData());
    }

    static void area(XMLElement *e, const MySectionBase *s)
    {
        e->SetAttribute("X", s->X);
        e->SetAttribute("Y", s->Y);
        e->SetAttribute("Width", s->Width);
        e->SetAttribute("Height", s->Height);
    }

    static void detected(XMLElement *e, const QRect &r)
    {
        e->SetAttribute("AnchorPointX", r.x());
        e->SetAttribute("AnchorPointY", r.y());
        e->SetAttribute("AnchorPointWidth", r.width());
        e->SetAttribute("AnchorPointHeight", r.height());
    }

    template <typename Anchor>
    static void anchorChild(XMLElement *anchor, const char *name, const Anchor *s)
    {
        XMLElement *e = anchor->InsertNewChildElement(name);
        area(e, s);
        detected(e, s->anchorRect);
        e->SetAttribute("CenterX", s->CenterX);
        e->SetAttribute("CenterY", s->CenterY);
    }

    void printText(XMLElement *anchor, const MySectionPrintTextAnchor *s)
    {
        // MatRows/MatCols describe the patch that MatData holds.
        const bool hasPatch = !s->patch.empty() && s->patch.type() == CV_8UC1;
        XMLElement *e = anchor->InsertNewChildElement("PrintTextAnchor");
        area(e, s);
        e->SetAttribute("CenterX", s->CenterX);
        e->SetAttribute("CenterY", s->CenterY);
        e->SetAttribute("MatX", s->textRect.x());
        e->SetAttribute("MatY", s->textRect.y());
        e->SetAttribute("MatRows", hasPatch ? s->patch.rows : s->textRect.height());
        e->SetAttribute("MatCols", hasPatch ? s->patch.cols : s->textRect.width());
        text(e, "MatData", TemplateFormat::encodeMatData(hasPatch ? s->patch : cv::Mat()));
    }

    void cornerCheck(XMLElement *page, const MySectionCornerCheck *s)
    {
        XMLElement *e = section(page, "CornerCheck");
        text(e, "Name", s->Name);
        area(e, s);
        detected(e, s->anchorRect);
    }

    void code(XMLElement *page, const MySectionCode *s)
    {
        XMLElement *e = section(page, "Code");
        e->SetAttribute("CodeType", s->CodeType);
        // Bubbles for 0, a barcode for any other value, as the reader takes it.
        if (s->CodeType != 0) {
            e->SetAttribute("BarDirection", s->BarDirection);
        } else {
            e->SetAttribute("CodeLength", s->CodeLength);
            e->SetAttribute("NumberDirection", s->NumberDirection);
            e->SetAttribute("MarkPointWidth", s->MarkPointWidth);
            e->SetAttribute("MarkPointHeight", s->MarkPointHeight);
        }
        area(e, s);
    }

    template <typename Block>
    void regular(XMLElement *e, const Block *s)
    {
        e->SetAttribute("ItemStart", s->ItemStart);
        e->SetAttribute("ItemEnd", s->ItemEnd);
        e->SetAttribute("OptionDirection", s->OptionDirection);
        e->SetAttribute("OptionCount", s->OptionCount);
        e->SetAttribute("MarkPointWidth", s->MarkPointWidth);
        e->SetAttribute("MarkPointHeight", s->MarkPointHeight);
        area(e, s);
    }

    void irregular(XMLElement *page, const MySectionObjectAbnormal *s)
    {
        XMLElement *e = section(page, s->isOptional ? "OptionalObject" : "Object");
        e->SetAttribute("Abnormal", "1");
        if (s->isOptional)
            e->SetAttribute("Optional", s->Optional);
        e->SetAttribute("Item", s->Item);
        // Only bubbles that exist are written, and the count names exactly those.
        QVector<const ObjectAbnormalOption *> bubbles;
        for (const ObjectAbnormalOption *b : s->options) {
            if (bubbles.size() == std::max(s->OptionCount, 0))
                break;
            if (b)
                bubbles.append(b);
        }
        e->SetAttribute("OptionCount", int(bubbles.size()));
        for (int i = 0; i < bubbles.size(); ++i) {
            XMLElement *o = e->InsertNewChildElement("Option");
            o->SetAttribute("Index", i);
            const char letter[2] = {char('A' + i % 26), 0};
            o->SetAttribute("Option", letter);
            area(o, bubbles.at(i));
        }
        area(e, s);
    }

    void question(XMLElement *page, const MySectionBase *s)
    {
        if (const auto *subject = qobject_cast<const MySectionSubject *>(s)) {
            XMLElement *e = section(page, "Subject");
            e->SetAttribute("SubjectSectionID", subject->SubjectSectionID);
            area(e, s);
        } else if (const auto *object = qobject_cast<const MySectionObject *>(s)) {
            XMLElement *e = section(page, "Object");
            e->SetAttribute("Abnormal", "0");
            regular(e, object);
        } else if (const auto *abnormal = qobject_cast<const MySectionObjectAbnormal *>(s)) {
            irregular(page, abnormal);
        } else if (const auto *group = qobject_cast<const MySectionOptionalItem *>(s)) {
            XMLElement *e = section(page, "Optional");
            text(e, "Items", group->Items.join(QLatin1Char(',')));
            text(e, "DefaultItem", group->DefaultItem);
            e->SetAttribute("MustDoItemCount", 1);
            area(e, s);
            e->SetAttribute("MarkPointWidth", std::min(group->MarkPointWidth, s->Width));
            e->SetAttribute("MarkPointHeight", std::min(group->MarkPointHeight, s->Height));
        } else if (const auto *objectOptional = qobject_cast<const MySectionObjectOptional *>(s)) {
            XMLElement *e = section(page, "OptionalObject");
            e->SetAttribute("Abnormal", "0");
            e->SetAttribute("Optional", objectOptional->Optional);
            regular(e, objectOptional);
        } else if (const auto *subjectOptional = qobject_cast<const MySectionSubjectOptional *>(s)) {
            XMLElement *e = section(page, "OptionalSubject");
            e->SetAttribute("Optional", subjectOptional->Optional);
            e->SetAttribute("SubjectSectionID", subjectOptional->SubjectSectionID);
            area(e, s);
        }
        // Anchors, corner checks, the code and the absent mark are written
        // ahead of the questions.
    }
};

} // namespace

QByteArray writeXml(const QString &templateName, const QVector<PageOut> &pages,
                    const QList<MySectionBase *> &sectionList, const QVector<SubjectItemRow> &rows,
                    QVector<QVector<const MySectionBase *>> *origins)
{
    if (origins)
        origins->clear();
    const QList<MySectionBase *> sections = sectionList;
    XMLDocument doc;
    Writer w;
    doc.InsertEndChild(doc.NewDeclaration());
    XMLElement *root = doc.NewElement("Lumbrisk");
    doc.InsertEndChild(root);
    w.text(root, "Name", templateName);
    root->SetAttribute("Version", "4.1");
    XMLElement *pagesElement = root->InsertNewChildElement("Pages");

    for (int k = 0; k < pages.size(); ++k) {
        const PageOut &p = pages.at(k);
        const int pageNo = k + 1;
        XMLElement *page = pagesElement->InsertNewChildElement("Page");
        // Which widget each Section element comes from, for messages that
        // point at it.
        QHash<const XMLElement *, const MySectionBase *> from;
        auto note = [&](const MySectionBase *s) {
            if (const XMLElement *last = page->LastChildElement())
                from.insert(last, s);
        };
        page->SetAttribute("ID", p.id);
        page->SetAttribute("Width", p.width);
        page->SetAttribute("Height", p.height);

        for (const MySectionBase *s : sections) {
            if (s && s->page == pageNo)
                if (const auto *c = qobject_cast<const MySectionCornerCheck *>(s)) {
                    w.cornerCheck(page, c);
                    note(c);
                }
        }

        XMLElement *anchor = doc.NewElement("Section");
        anchor->SetAttribute("Type", "AnchorPoint");
        page->InsertFirstChild(anchor);

        // The last of each kind on the page counts.
        const MySectionPrintTextAnchor *printText = nullptr;
        const MySectionAnchorPointA *a = nullptr;
        const MySectionAnchorPointB *b = nullptr;
        const MySectionCode *code = nullptr;
        const MySectionAbsentMark *absent = nullptr;
        for (const MySectionBase *s : sections) {
            if (!s || s->page != pageNo)
                continue;
            if (const auto *x = qobject_cast<const MySectionPrintTextAnchor *>(s))
                printText = x;
            else if (const auto *x = qobject_cast<const MySectionAnchorPointA *>(s))
                a = x;
            else if (const auto *x = qobject_cast<const MySectionAnchorPointB *>(s))
                b = x;
            else if (const auto *x = qobject_cast<const MySectionCode *>(s))
                code = x;
            else if (const auto *x = qobject_cast<const MySectionAbsentMark *>(s))
                absent = x;
        }

        if (printText)
            from.insert(anchor, printText);
        else if (a || b)
            from.insert(anchor, a ? static_cast<const MySectionBase *>(a) : b);
        if (printText) {
            anchor->SetAttribute("AnchorType", "PrintText");
            w.printText(anchor, printText);
        } else {
            anchor->SetAttribute("AnchorType", "BlackRectangle");
            if (a)
                Writer::anchorChild(anchor, "A", a);
            if (b)
                Writer::anchorChild(anchor, "B", b);
            if (a && b)
                w.text(anchor, "AngleAB", TemplateFormat::formatAngleAB(a->CenterX, a->CenterY, b->CenterX, b->CenterY));
        }

        if (k == 0) {
            if (code) {
                w.code(page, code);
                note(code);
            }
            if (absent) {
                Writer::area(w.section(page, "AbsentMark"), absent);
                note(absent);
            }
        }

        for (const MySectionBase *s : p.treeSections) {
            if (!s)
                continue;
            const XMLElement *before = page->LastChildElement();
            w.question(page, s);
            if (page->LastChildElement() != before)
                note(s);
        }

        if (origins) {
            QVector<const MySectionBase *> order;
            for (const XMLElement *e = page->FirstChildElement(); e; e = e->NextSiblingElement())
                order << from.value(e);
            origins->append(order);
        }
    }

    if (!rows.isEmpty()) {
        XMLElement *config = root->InsertNewChildElement("SubjectConfig");
        config->SetAttribute("UpdateType", "1");
        for (const SubjectItemRow &r : rows) {
            XMLElement *e = config->InsertNewChildElement("Item");
            w.text(e, "ItemID", r.ItemID);
            w.text(e, "Alias", r.Alias);
            w.text(e, "Score", r.Score);
            w.text(e, "MarkCount", r.MarkCount);
            w.text(e, "ErrorMargin", r.ErrorMargin);
            w.text(e, "Pages", r.Pages);
            w.text(e, "Sections", r.Sections);
        }
    }

    tinyxml2::XMLPrinter printer(nullptr, false);
    doc.Print(&printer);
    return QByteArray(printer.CStr(), printer.CStrSize() - 1);
}

bool parseStoredBytes(const QByteArray &stored, XMLDocument &doc, QString *errorText)
{
    const QByteArray xml = TemplateFormat::complementBytes(stored);
    doc.Clear();
    if (doc.Parse(xml.constData(), size_t(xml.size())) != tinyxml2::XML_SUCCESS) {
        if (errorText)
            *errorText = QStringLiteral("模板文件内容无法解析：%1").arg(QString::fromUtf8(doc.ErrorStr()));
        return false;
    }
    return true;
}

bool parseStoredFile(const QString &path, XMLDocument &doc, QString *errorText)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (errorText)
            *errorText = QStringLiteral("打开文件 %1 失败：%2").arg(path, f.errorString());
        return false;
    }
    const QByteArray stored = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (errorText)
            *errorText = QStringLiteral("读取文件 %1 失败：%2").arg(path, f.errorString());
        return false;
    }
    QString why;
    if (!parseStoredBytes(stored, doc, &why)) {
        if (errorText)
            *errorText = QStringLiteral("打开文件 %1 失败：%2").arg(path, why);
        return false;
    }
    return true;
}

bool writeStoredFile(const QString &path, const QByteArray &xml, QString *errorText)
{
    QSaveFile out(path);
    out.setDirectWriteFallback(false);
    const QByteArray stored = TemplateFormat::complementBytes(xml);
    if (!out.open(QIODevice::WriteOnly) || out.write(stored) != stored.size()) {
        if (errorText)
            *errorText = QStringLiteral("写入文件 %1 失败：%2").arg(path, out.errorString());
        out.cancelWriting();
        return false;
    }
    if (!out.commit()) {
        if (errorText)
            *errorText = QStringLiteral("写入文件 %1 失败：%2").arg(path, out.errorString());
        return false;
    }
    return true;
}

// ---- the readers -----------------------------------------------------------

void readAbsentMark(int page, QTreeWidgetItem *pageItem, const XMLElement *section, QWidget *canvas,
                    QStringList *warnings)
{
    readSimple<MySectionAbsentMark>(page, pageItem, section, canvas, warnings, TreeItemTypeAbsentMark,
                                    [](MySectionAbsentMark *) {});
}

void readAnchorPoints(int page, QTreeWidgetItem *pageItem, const XMLElement *section, QWidget *canvas,
                      QStringList *warnings)
{
    SectionHost *host = hostFor(page, pageItem, canvas, warnings);
    if (!host)
        return;
    const XMLElement *ea = section->FirstChildElement("A");
    const XMLElement *eb = section->FirstChildElement("B");
    if (!ea || !eb) {
        warn(warnings, QStringLiteral("第%1页：定位点缺少 %2，已跳过")
                           .arg(page).arg(!ea && !eb ? QStringLiteral("A 和 B") : !ea ? QStringLiteral("A")
                                                                                     : QStringLiteral("B")));
        return;
    }
    bool clamped = false;
    auto *a = new MySectionAnchorPointA(page, canvas);
    readAnchorChild(a, ea, &clamped);
    finishSection(a, page, TreeItemTypeAnchorPointA, pageItem, host, warnings);
    auto *b = new MySectionAnchorPointB(page, canvas);
    readAnchorChild(b, eb, &clamped);
    finishSection(b, page, TreeItemTypeAnchorPointB, pageItem, host, warnings);
    warnClampedRect(clamped, page, TreeItemTypeAnchorPointA, warnings);
}

void readPrintTextAnchor(int page, QTreeWidgetItem *pageItem, const XMLElement *section, QWidget *canvas,
                         QStringList *warnings)
{
    SectionHost *host = hostFor(page, pageItem, canvas, warnings);
    if (!host)
        return;
    const XMLElement *e = section->FirstChildElement("PrintTextAnchor");
    if (!e) {
        warn(warnings, QStringLiteral("第%1页：印刷体文字定位缺少数据，已跳过").arg(page));
        return;
    }
    auto *s = new MySectionPrintTextAnchor(page, canvas);
    readArea(s, e);
    s->CenterX = intAttr(e, "CenterX");
    s->CenterY = intAttr(e, "CenterY");
    bool clamped = false;
    s->textRect = readRect(e, "MatX", "MatY", "MatCols", "MatRows", &clamped);
    warnClampedRect(clamped, page, TreeItemTypeAnchorPointA, warnings);

    // The patch is taken whole or not at all; the text rectangle keeps its
    // size only together with a patch of that size.
    s->patch = cv::Mat();
    const int rows = s->textRect.height();
    const int cols = s->textRect.width();
    if (rows > 0 && cols > 0) {
        QString why;
        cv::Mat patch;
        if (TemplateFormat::decodeMatData(textAttr(e, "MatData"), rows, cols, patch, &why)) {
            s->patch = patch;
        } else {
            s->textRect.setSize(QSize(0, 0));
            warn(warnings, QStringLiteral("第%1页：印刷体文字定位的图像数据无效（%2），请重新框选").arg(page).arg(why));
        }
    } else if (rows < 0 || cols < 0) {
        s->textRect.setSize(QSize(0, 0));
        warn(warnings, QStringLiteral("第%1页：印刷体文字定位的尺寸 %2×%3 无效，请重新框选").arg(page).arg(rows).arg(cols));
    }
    finishSection(s, page, TreeItemTypeAnchorPointA, pageItem, host, warnings);
}

void readCornerCheck(int page, QTreeWidgetItem *pageItem, const XMLElement *section, QWidget *canvas,
                     QStringList *warnings)
{
    readSimple<MySectionCornerCheck>(page, pageItem, section, canvas, warnings, TreeItemTypeCornerCheck,
                                     [&](MySectionCornerCheck *s) {
        s->Name = textAttr(section, "Name");
        bool clamped = false;
        s->anchorRect = readRect(section, "AnchorPointX", "AnchorPointY", "AnchorPointWidth",
                                 "AnchorPointHeight", &clamped);
        warnClampedRect(clamped, page, TreeItemTypeCornerCheck, warnings);
    });
}

void readCode(int page, QTreeWidgetItem *pageItem, const XMLElement *section, QWidget *canvas,
              QStringList *warnings)
{
    readSimple<MySectionCode>(page, pageItem, section, canvas, warnings, TreeItemTypeCode, [&](MySectionCode *s) {
        // Bubbles for 0; any other code type is read as a barcode.
        s->CodeType = intAttr(section, "CodeType");
        if (s->CodeType != 0) {
            s->BarDirection = intAttr(section, "BarDirection");
        } else {
            s->CodeLength = intAttr(section, "CodeLength");
            s->NumberDirection = intAttr(section, "NumberDirection");
            s->MarkPointWidth = intAttr(section, "MarkPointWidth");
            s->MarkPointHeight = intAttr(section, "MarkPointHeight");
        }
    });
}

void readObject(int page, QTreeWidgetItem *pageItem, const XMLElement *section, QWidget *canvas,
                QStringList *warnings)
{
    readObjectKind(page, pageItem, section, canvas, warnings, false);
}

void readObjectOptional(int page, QTreeWidgetItem *pageItem, const XMLElement *section, QWidget *canvas,
                        QStringList *warnings)
{
    readObjectKind(page, pageItem, section, canvas, warnings, true);
}

void readOptionalItem(int page, QTreeWidgetItem *pageItem, const XMLElement *section, QWidget *canvas,
                      QStringList *warnings)
{
    readSimple<MySectionOptionalItem>(page, pageItem, section, canvas, warnings, TreeItemTypeOptional,
                                      [&](MySectionOptionalItem *s) {
        s->Items = textAttr(section, "Items").split(QLatin1Char(','));
        s->DefaultItem = textAttr(section, "DefaultItem");
        s->MarkPointWidth = intAttr(section, "MarkPointWidth");
        s->MarkPointHeight = intAttr(section, "MarkPointHeight");
    });
}

void readSubject(int page, QTreeWidgetItem *pageItem, const XMLElement *section, QWidget *canvas,
                 QStringList *warnings)
{
    readSimple<MySectionSubject>(page, pageItem, section, canvas, warnings, TreeItemTypeSubject,
                                 [&](MySectionSubject *s) {
        s->subjectPage = page;
        s->SubjectSectionID = intAttr(section, "SubjectSectionID");
    });
}

void readSubjectOptional(int page, QTreeWidgetItem *pageItem, const XMLElement *section, QWidget *canvas,
                         QStringList *warnings)
{
    readSimple<MySectionSubjectOptional>(page, pageItem, section, canvas, warnings, TreeItemTypeSubjectOptional,
                                         [&](MySectionSubjectOptional *s) {
        s->SubjectSectionID = intAttr(section, "SubjectSectionID");
        s->Optional = intAttr(section, "Optional");
    });
}

SectionReader readerFor(const XMLElement *section)
{
    if (!section)
        return nullptr;
    const char *type = section->Attribute("Type");
    if (!type)
        return nullptr;
    const QByteArray t(type);
    if (t == "AnchorPoint") {
        const QByteArray anchorType(section->Attribute("AnchorType"));
        if (anchorType == "PrintText")
            return readPrintTextAnchor;
        // Any other kind, a missing one too, is read as black rectangles, as
        // the processing program reads it.
        return readAnchorPoints;
    }
    static const struct {
        const char *type;
        SectionReader reader;
    } readers[] = {
        {"CornerCheck", readCornerCheck},  {"AbsentMark", readAbsentMark},
        {"Code", readCode},                {"Object", readObject},
        {"Subject", readSubject},          {"Optional", readOptionalItem},
        {"OptionalObject", readObjectOptional}, {"OptionalSubject", readSubjectOptional},
    };
    for (const auto &r : readers) {
        if (t == r.type)
            return r.reader;
    }
    return nullptr;
}

DocumentInfo readDocument(const XMLDocument &doc, QWidget *canvas, const QList<QTreeWidgetItem *> &pageItems,
                          QStringList *warnings)
{
    DocumentInfo info;
    const XMLElement *root = doc.FirstChildElement();
    if (!root) {
        warn(warnings, QStringLiteral("模板文件没有内容"));
        return info;
    }
    info.hasRoot = true;
    info.name = textAttr(root, "Name");

    const XMLElement *pages = root->FirstChildElement("Pages");
    if (!pages)
        warn(warnings, QStringLiteral("模板文件没有页面"));
    int k = 0;
    for (const XMLElement *page = pages ? pages->FirstChildElement() : nullptr; page;
         page = page->NextSiblingElement(), ++k) {
        QTreeWidgetItem *pageItem = pageItems.value(k);
        if (!pageItem) {
            int extra = 0;
            for (const XMLElement *p = page; p; p = p->NextSiblingElement())
                ++extra;
            warn(warnings, QStringLiteral("模板文件比图片多 %1 页，第 %2 页起未读取").arg(extra).arg(k + 1));
            break;
        }
        bool anchorRead = false;
        for (const XMLElement *section = page->FirstChildElement(); section;
             section = section->NextSiblingElement()) {
            // The first anchor section is the page's anchor, for the
            // processing program too; a later one is passed over.
            const char *type = section->Attribute("Type");
            if (type && qstrcmp(type, "AnchorPoint") == 0) {
                if (anchorRead) {
                    warn(warnings, QStringLiteral("第%1页：多余的定位点已忽略").arg(k + 1));
                    continue;
                }
                anchorRead = true;
            }
            if (SectionReader reader = readerFor(section))
                reader(k + 1, pageItem, section, canvas, warnings);
            else
                warn(warnings, QStringLiteral("第%1页：不认识的区域类型 %2，已忽略")
                                   .arg(k + 1).arg(textAttr(section, "Type")));
        }
    }

    if (const XMLElement *config = root->FirstChildElement("SubjectConfig")) {
        for (const XMLElement *e = config->FirstChildElement("Item"); e; e = e->NextSiblingElement()) {
            SubjectItemRow r;
            r.ItemID = textAttr(e, "ItemID");
            r.Alias = textAttr(e, "Alias");
            r.Score = textAttr(e, "Score");
            r.MarkCount = textAttr(e, "MarkCount");
            r.ErrorMargin = textAttr(e, "ErrorMargin");
            r.Pages = textAttr(e, "Pages");
            r.Sections = textAttr(e, "Sections");
            info.rows.append(r);
        }
    }
    return info;
}

} // namespace TemplateDocument
