#include "templateloader.h"

#include "answers.h"
#include "templateformat.h"
#include "templaterules.h"

#include <QDebug>
#include <QtGlobal>
#include <tinyxml2.h>

#include <cmath>
#include <limits>

using tinyxml2::XMLElement;

namespace {

QString textAttr(const XMLElement *e, const char *name)
{
    const char *v = e->Attribute(name);
    return v ? QString::fromUtf8(v) : QString();
}

// The template rules have checked every number the passes read.
int intAttr(const XMLElement *e, const char *name)
{
    return textAttr(e, name).toInt();
}

float floatAttr(const XMLElement *e, const char *name)
{
    const float v = textAttr(e, name).toFloat();
    return std::isfinite(v) ? v : 0.0f;
}

QRect rectAttr(const XMLElement *e)
{
    return QRect(intAttr(e, "X"), intAttr(e, "Y"), intAttr(e, "Width"), intAttr(e, "Height"));
}

bool isKind(const XMLElement *section, const char *kind)
{
    const char *type = section->Attribute("Type");
    return type && qstrcmp(type, kind) == 0;
}

const XMLElement *firstSectionOfKind(const XMLElement *page, const char *kind)
{
    for (const XMLElement *s = page->FirstChildElement(); s; s = s->NextSiblingElement()) {
        if (isKind(s, kind))
            return s;
    }
    return nullptr;
}

QString refusal(const QString &problem)
{
    return QStringLiteral("模板文件无法加载：%1").arg(problem);
}

int clampToInt(double v)
{
    if (v <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    if (v >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return int(v);
}

AnchorBlock readAnchorBlock(const XMLElement *e)
{
    AnchorBlock a;
    a.centerX = intAttr(e, "CenterX");
    a.centerY = intAttr(e, "CenterY");
    a.anchorPointWidth = intAttr(e, "AnchorPointWidth");
    a.anchorPointHeight = intAttr(e, "AnchorPointHeight");
    a.searchRect = rectAttr(e);
    return a;
}

void readPages(const XMLElement *pages, TemplateModel &m)
{
    m.templatePages.clear();
    for (const XMLElement *pe = pages->FirstChildElement(); pe; pe = pe->NextSiblingElement()) {
        TemplatePage page;
        page.id = intAttr(pe, "ID");
        page.width = intAttr(pe, "Width");
        page.height = intAttr(pe, "Height");

        const XMLElement *anchor = firstSectionOfKind(pe, "AnchorPoint");
        if (textAttr(anchor, "AnchorType") == QLatin1String("PrintText")) {
            page.isRectangleAnchor = false;
            const XMLElement *pt = anchor->FirstChildElement("PrintTextAnchor");
            page.printTextSearchRect = rectAttr(pt);
            page.printTextCenterX = intAttr(pt, "CenterX");
            page.printTextCenterY = intAttr(pt, "CenterY");
            // The rules decoded the same patch already.
            TemplateFormat::decodeMatData(textAttr(pt, "MatData"), intAttr(pt, "MatRows"), intAttr(pt, "MatCols"),
                                          page.printTextMat, nullptr);
        } else {
            page.angleAB = floatAttr(anchor, "AngleAB");
            page.anchorA = readAnchorBlock(anchor->FirstChildElement("A"));
            page.anchorB = readAnchorBlock(anchor->FirstChildElement("B"));
        }
        m.templatePages.append(page);
    }
    m.pagesPerSheet = m.templatePages.size();
}

void readCornerChecks(const XMLElement *pages, TemplateModel &m)
{
    m.cornerChecks.clear();
    for (const XMLElement *pe = pages->FirstChildElement(); pe; pe = pe->NextSiblingElement()) {
        const int pageId = intAttr(pe, "ID");
        for (const XMLElement *s = pe->FirstChildElement(); s; s = s->NextSiblingElement()) {
            if (!isKind(s, "CornerCheck"))
                continue;
            CornerCheckArea c;
            c.page = pageId;
            c.name = textAttr(s, "Name");
            c.rect = rectAttr(s);
            c.anchorPointWidth = intAttr(s, "AnchorPointWidth");
            c.anchorPointHeight = intAttr(s, "AnchorPointHeight");
            // Where the designer found the point: it tells the page's scale.
            // Templates without it keep the point unknown.
            if (s->Attribute("AnchorPointX") && s->Attribute("AnchorPointY")) {
                c.anchorPointX = intAttr(s, "AnchorPointX");
                c.anchorPointY = intAttr(s, "AnchorPointY");
            }
            m.cornerChecks.append(c);
        }
    }
}

void readCodeAndAbsentMark(const XMLElement *pages, TemplateModel &m)
{
    // The last of each on the first page counts; the rules checked only
    // those, so the others are never read.
    const XMLElement *code = nullptr;
    const XMLElement *absent = nullptr;
    const XMLElement *first = pages->FirstChildElement();
    for (const XMLElement *s = first->FirstChildElement(); s; s = s->NextSiblingElement()) {
        if (isKind(s, "Code"))
            code = s;
        else if (isKind(s, "AbsentMark"))
            absent = s;
    }
    if (code) {
        m.codeType = intAttr(code, "CodeType");
        if (m.codeType == 1) {
            m.barDirection = intAttr(code, "BarDirection");
        } else {
            m.codeLength = intAttr(code, "CodeLength");
            m.numberDirection = intAttr(code, "NumberDirection");
            m.codeMarkPointWidth = intAttr(code, "MarkPointWidth");
            m.codeMarkPointHeight = intAttr(code, "MarkPointHeight");
        }
        m.codeRect = rectAttr(code);
    }
    m.hasAbsentMark = absent != nullptr;
    if (absent)
        m.absentMarkRect = rectAttr(absent);
}

// One objective section -> its questions, appended to `out`. T is ObjectItem
// or OptionalObjectItem; `prototype` carries what every question shares.
template <typename T>
void readObjectSection(const XMLElement *s, const T &prototype, QVector<T> &out, QStringList &log)
{
    if (intAttr(s, "Abnormal") != 0) {
        T q = prototype;
        q.item = intAttr(s, "Item");
        q.rect = rectAttr(s);
        q.abnormal = true;
        int i = 0;
        for (const XMLElement *o = s->FirstChildElement(); o; o = o->NextSiblingElement(), ++i) {
            OptionBox box;
            box.index = i;
            box.letter = optionLetter(i);
            box.x = intAttr(o, "X");
            box.y = intAttr(o, "Y");
            box.width = intAttr(o, "Width");
            box.height = intAttr(o, "Height");
            q.options.append(box);
        }
        // The rules made OptionCount equal to the bubbles listed.
        q.optionCount = q.options.size();
        out.append(q);
        return;
    }

    const int itemStart = intAttr(s, "ItemStart");
    const int itemEnd = intAttr(s, "ItemEnd");
    const int optionCount = intAttr(s, "OptionCount");
    const int direction = intAttr(s, "OptionDirection");
    const int x = intAttr(s, "X");
    const int y = intAttr(s, "Y");
    const int w = intAttr(s, "Width");
    const int h = intAttr(s, "Height");
    const int mw = intAttr(s, "MarkPointWidth");
    const int mh = intAttr(s, "MarkPointHeight");
    // The rules made the range run forwards and be bounded.
    if (itemEnd < itemStart)
        return;

    const qint64 n = qint64(itemEnd) - itemStart;
    float step;
    if (direction != 0)
        step = n == 0 ? float(w) : float(qint64(w) - mw) / float(n);
    else
        step = n == 0 ? float(h) : float(qint64(h) - mh) / float(n);

    for (qint64 k = 0; k <= n; ++k) {
        const float offset = float(k) * step;   // single precision, then truncated
        const int shift = clampToInt(std::trunc(double(offset)));
        T q = prototype;
        q.item = int(itemStart + k);
        q.optionCount = optionCount;
        q.optionDirection = direction;
        q.markPointWidth = mw;
        q.markPointHeight = mh;
        if (direction != 0)
            q.rect = QRect(clampToInt(double(x) + shift), y, mw, h);
        else
            q.rect = QRect(x, clampToInt(double(y) + shift), w, mh);
        q.abnormal = false;
        out.append(q);
    }
}

void readObjects(const XMLElement *pages, TemplateModel &m, QStringList &log)
{
    m.objectItems.clear();
    for (const XMLElement *pe = pages->FirstChildElement(); pe; pe = pe->NextSiblingElement()) {
        ObjectItem proto;
        proto.page = intAttr(pe, "ID");
        for (const XMLElement *s = pe->FirstChildElement(); s; s = s->NextSiblingElement()) {
            if (isKind(s, "Object"))
                readObjectSection(s, proto, m.objectItems, log);
        }
    }
    log << QStringLiteral("客观题 数量 ") + QString::number(m.objectItems.size());
}

void readSubjects(const XMLElement *pages, TemplateModel &m, QStringList &log)
{
    m.subjectSections.clear();
    for (const XMLElement *pe = pages->FirstChildElement(); pe; pe = pe->NextSiblingElement()) {
        const int pageId = intAttr(pe, "ID");
        for (const XMLElement *s = pe->FirstChildElement(); s; s = s->NextSiblingElement()) {
            if (!isKind(s, "Subject"))
                continue;
            SubjectSection sub;
            sub.page = pageId;
            sub.sectionId = intAttr(s, "SubjectSectionID");
            sub.rect = rectAttr(s);
            m.subjectSections.append(sub);
        }
    }
    log << QStringLiteral("主观题 数量 ") + QString::number(m.subjectSections.size());
}

void readOptionalGroups(const XMLElement *pages, TemplateModel &m, QStringList &log)
{
    m.optionalGroups.clear();
    for (const XMLElement *pe = pages->FirstChildElement(); pe; pe = pe->NextSiblingElement()) {
        const int pageId = intAttr(pe, "ID");
        for (const XMLElement *s = pe->FirstChildElement(); s; s = s->NextSiblingElement()) {
            if (!isKind(s, "Optional"))
                continue;
            OptionalGroup g;
            g.page = pageId;
            g.markPointWidth = intAttr(s, "MarkPointWidth");
            g.markPointHeight = intAttr(s, "MarkPointHeight");
            g.items = textAttr(s, "Items").split(QLatin1Char(','));
            g.defaultItem = textAttr(s, "DefaultItem");
            g.rect = rectAttr(s);
            m.optionalGroups.append(g);
        }
    }
    log << QStringLiteral("选做题 数量 ") + QString::number(m.optionalGroups.size());
}

void readOptionalObjects(const XMLElement *pages, TemplateModel &m, QStringList &log)
{
    m.optionalObjectItems.clear();
    for (const XMLElement *pe = pages->FirstChildElement(); pe; pe = pe->NextSiblingElement()) {
        const int pageId = intAttr(pe, "ID");
        for (const XMLElement *s = pe->FirstChildElement(); s; s = s->NextSiblingElement()) {
            if (!isKind(s, "OptionalObject"))
                continue;
            qDebug("optiona abnormal to be done ,here!!!");
            OptionalObjectItem proto;
            proto.page = pageId;
            proto.optional = intAttr(s, "Optional");
            readObjectSection(s, proto, m.optionalObjectItems, log);
        }
    }
    log << QStringLiteral("选做题 客观题 数量 ") + QString::number(m.optionalObjectItems.size());
}

void readOptionalSubjects(const XMLElement *pages, TemplateModel &m, QStringList &log)
{
    m.optionalSubjectSections.clear();
    for (const XMLElement *pe = pages->FirstChildElement(); pe; pe = pe->NextSiblingElement()) {
        const int pageId = intAttr(pe, "ID");
        for (const XMLElement *s = pe->FirstChildElement(); s; s = s->NextSiblingElement()) {
            if (!isKind(s, "OptionalSubject"))
                continue;
            OptionalSubjectSection sub;
            sub.optional = intAttr(s, "Optional");
            sub.page = pageId;
            sub.sectionId = intAttr(s, "SubjectSectionID");
            sub.rect = rectAttr(s);
            m.optionalSubjectSections.append(sub);
        }
    }
    log << QStringLiteral("选做题 主观题 数量 ") + QString::number(m.optionalSubjectSections.size());
}

} // namespace

TemplateLoadResult parseTemplate(const tinyxml2::XMLDocument &doc, TemplateModel &model, QStringList &log)
{
    TemplateLoadResult result;
    const XMLElement *root = doc.RootElement();
    if (!root) {
        model = TemplateModel();
        result.status = TemplateLoadResult::Invalid;
        result.message = refusal(QStringLiteral("模板缺少根节点"));
        return result;
    }

    const QString name = textAttr(root, "Name");
    const QString version = textAttr(root, "Version");
    log << QStringLiteral("模板文件名 %1 版本 %2").arg(name, version);

    // The same rules the designer keeps when it opens and saves a template.
    const QVector<TemplateRules::Problem> problems = TemplateRules::check(doc, 1);
    if (!problems.isEmpty() && problems.first().versionTooLow) {
        result.status = TemplateLoadResult::VersionTooLow;
        result.message = QStringLiteral("当前模析文件版本 %1 低于Ardentiq所能加载最低版本要求 %2\n程序将关闭")
                             .arg(version, QString::fromLatin1(TemplateRules::kMinimumVersion));
        return result;
    }

    // Nothing of an earlier template may survive, whatever happens below.
    model = TemplateModel();
    if (!problems.isEmpty()) {
        result.status = TemplateLoadResult::Invalid;
        result.message = refusal(problems.first().text);
        return result;
    }
    const XMLElement *pages = root->FirstChildElement("Pages");

    TemplateModel m;
    m.name = name;
    m.version = version;
    readPages(pages, m);
    readCornerChecks(pages, m);
    readCodeAndAbsentMark(pages, m);
    readObjects(pages, m, log);
    readSubjects(pages, m, log);
    readOptionalGroups(pages, m, log);
    readOptionalObjects(pages, m, log);
    readOptionalSubjects(pages, m, log);

    model = std::move(m);
    result.status = TemplateLoadResult::Loaded;
    return result;
}

TemplateLoadResult parseTemplateText(const QByteArray &xmlUtf8, TemplateModel &model, QStringList &log)
{
    tinyxml2::XMLDocument doc;
    if (doc.Parse(xmlUtf8.constData(), size_t(xmlUtf8.size())) != tinyxml2::XML_SUCCESS) {
        model = TemplateModel();
        TemplateLoadResult result;
        result.status = TemplateLoadResult::Invalid;
        result.message = QStringLiteral("模板文件不是有效的 XML（%1），无法加载。")
                             .arg(QString::fromUtf8(doc.ErrorStr()));
        return result;
    }
    return parseTemplate(doc, model, log);
}
