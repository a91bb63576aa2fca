#include "templaterules.h"

#include "templateformat.h"

#include <QHash>
#include <QRect>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <opencv2/core.hpp>
#include <tinyxml2.h>

#include <climits>
#include <cmath>

using tinyxml2::XMLElement;

namespace TemplateRules {

const char *const kMinimumVersion = "4.0";

namespace {

QString textAttr(const XMLElement *e, const char *name)
{
    const char *v = e->Attribute(name);
    return v ? QString::fromUtf8(v) : QString();
}

bool isKind(const XMLElement *section, const char *kind)
{
    const char *type = section->Attribute("Type");
    return type && qstrcmp(type, kind) == 0;
}

QString kindOf(const XMLElement *section)
{
    return textAttr(section, "Type");
}

// Decimal integers as the designer writes them: an optional minus sign and
// digits, nothing around them. A blank, a sign alone or a fraction would
// read as some other number, or as 0, in one program or the other.
bool strictInt(const QString &text, int *out)
{
    static const QRegularExpression digits(QStringLiteral("^-?[0-9]{1,10}$"));
    if (!digits.match(text).hasMatch())
        return false;
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    if (ok && out)
        *out = v;
    return ok;
}

// What a section is called in a message: its kind and what the user typed
// for it, as the attributes say.
QString sectionLabel(const XMLElement *s)
{
    const QString kind = kindOf(s);
    const bool irregular = textAttr(s, "Abnormal") != QLatin1String("0");
    auto range = [&] {
        return irregular ? textAttr(s, "Item")
                         : QStringLiteral("%1-%2").arg(textAttr(s, "ItemStart"), textAttr(s, "ItemEnd"));
    };
    if (kind == QLatin1String("AnchorPoint"))
        return QStringLiteral("定位点");
    if (kind == QLatin1String("CornerCheck"))
        return QStringLiteral("校验点“%1”").arg(textAttr(s, "Name"));
    if (kind == QLatin1String("Code"))
        return QStringLiteral("考号区域");
    if (kind == QLatin1String("AbsentMark"))
        return QStringLiteral("缺考标记");
    if (kind == QLatin1String("Object"))
        return QStringLiteral("客观题 %1").arg(range());
    if (kind == QLatin1String("OptionalObject"))
        return QStringLiteral("选做题 %1 的客观题 %2").arg(textAttr(s, "Optional"), range());
    if (kind == QLatin1String("Optional"))
        return QStringLiteral("选做题 %1").arg(textAttr(s, "Items"));
    if (kind == QLatin1String("Subject"))
        return QStringLiteral("主观题块 %1").arg(textAttr(s, "SubjectSectionID"));
    if (kind == QLatin1String("OptionalSubject"))
        return QStringLiteral("选做题 %1 的主观题块 %2").arg(textAttr(s, "Optional"), textAttr(s, "SubjectSectionID"));
    return kind;
}

class Checker {
public:
    Checker(int limit) : m_limit(limit) {}

    QVector<Problem> problems;
    bool full() const { return problems.size() >= m_limit; }

    void run(const tinyxml2::XMLDocument &doc);

private:
    // Context of the element being checked.
    int m_page = 0;
    int m_section = 0;
    QString m_label;
    QSize m_pageSize;   // invalid when the page's own size is broken
    int m_limit;

    void add(const QString &text, int configItem = 0, bool versionTooLow = false)
    {
        if (full())
            return;
        Problem p;
        p.page = m_page;
        p.section = m_section;
        p.configItem = configItem;
        p.versionTooLow = versionTooLow;
        if (m_page == 0)
            p.text = text;
        else if (m_label.isEmpty())
            p.text = QStringLiteral("第%1页 %2").arg(m_page).arg(text);
        else
            p.text = QStringLiteral("第%1页 %2：%3").arg(m_page).arg(m_label, text);
        problems << p;
    }

    // The attribute as an integer; a missing or malformed one is told.
    bool number(const XMLElement *e, const char *name, int *out, const char *element = nullptr)
    {
        const char *raw = e->Attribute(name);
        const QString where = element ? QStringLiteral("%1 的").arg(QLatin1String(element)) : QString();
        if (!raw) {
            add(QStringLiteral("%1属性 %2 缺失").arg(where, QLatin1String(name)));
            return false;
        }
        if (!strictInt(QString::fromUtf8(raw), out)) {
            add(QStringLiteral("%1属性 %2=“%3” 不是整数").arg(where, QLatin1String(name), QString::fromUtf8(raw)));
            return false;
        }
        return true;
    }

    bool numberIn(const XMLElement *e, const char *name, int low, int high, int *out, const QString &what,
                  const char *element = nullptr)
    {
        int v = 0;
        if (!number(e, name, &v, element))
            return false;
        if (v < low || v > high) {
            add(QStringLiteral("%1为 %2，应为 %3 至 %4").arg(what).arg(v).arg(low).arg(high));
            return false;
        }
        if (out)
            *out = v;
        return true;
    }

    bool direction(const XMLElement *e, const char *name, const QString &what)
    {
        int v = 0;
        if (!number(e, name, &v))
            return false;
        if (v != 0 && v != 1) {
            add(QStringLiteral("%1为 %2，应为 0 或 1").arg(what).arg(v));
            return false;
        }
        return true;
    }

    // X, Y, Width, Height of `e`: of positive size and inside the page.
    bool area(const XMLElement *e, QRect *out = nullptr, const char *element = nullptr)
    {
        int x = 0, y = 0, w = 0, h = 0;
        bool ok = number(e, "X", &x, element);
        ok = number(e, "Y", &y, element) && ok;
        ok = number(e, "Width", &w, element) && ok;
        ok = number(e, "Height", &h, element) && ok;
        if (!ok)
            return false;
        const QString what = element ? QStringLiteral("%1 的区域").arg(QLatin1String(element)) : QStringLiteral("区域");
        if (w <= 0 || h <= 0) {
            add(QStringLiteral("%1大小为 %2×%3，应大于 0").arg(what).arg(w).arg(h));
            return false;
        }
        if (m_pageSize.isValid()
            && (x < 0 || y < 0 || qint64(x) + w > m_pageSize.width() || qint64(y) + h > m_pageSize.height())) {
            add(QStringLiteral("%1（X=%2 Y=%3 宽=%4 高=%5）超出页面 %6×%7")
                    .arg(what).arg(x).arg(y).arg(w).arg(h).arg(m_pageSize.width()).arg(m_pageSize.height()));
            return false;
        }
        if (out)
            *out = QRect(x, y, w, h);
        return true;
    }

    // A mark or anchor size: positive and no larger than its area.
    bool markSize(const XMLElement *e, const char *wName, const char *hName, const QRect &within,
                  const QString &what, const char *element = nullptr)
    {
        int w = 0, h = 0;
        bool ok = number(e, wName, &w, element);
        ok = number(e, hName, &h, element) && ok;
        if (!ok)
            return false;
        if (w <= 0 || h <= 0) {
            add(QStringLiteral("%1 %2×%3，应大于 0").arg(what).arg(w).arg(h));
            return false;
        }
        if (within.isValid() && (w > within.width() || h > within.height())) {
            add(QStringLiteral("%1 %2×%3 大于区域 %4×%5").arg(what).arg(w).arg(h).arg(within.width()).arg(within.height()));
            return false;
        }
        return true;
    }

    bool centreInside(const XMLElement *e, const QRect &within, const char *element)
    {
        int cx = 0, cy = 0;
        bool ok = number(e, "CenterX", &cx, element);
        ok = number(e, "CenterY", &cy, element) && ok;
        if (!ok)
            return false;
        if (within.isValid() && !within.contains(cx, cy)) {
            add(QStringLiteral("%1 的中心 (%2, %3) 不在其区域内").arg(QLatin1String(element)).arg(cx).arg(cy));
            return false;
        }
        return true;
    }

    // Where the designer found a corner check's point, when the file says:
    // inside its area.
    void cornerPoint(const XMLElement *s, const QRect &area)
    {
        if (!s->Attribute("AnchorPointX") && !s->Attribute("AnchorPointY"))
            return;
        int x = 0, y = 0;
        bool ok = number(s, "AnchorPointX", &x);
        ok = number(s, "AnchorPointY", &y) && ok;
        if (!ok)
            return;
        const QRect point(x, y, s->IntAttribute("AnchorPointWidth"), s->IntAttribute("AnchorPointHeight"));
        if (x < 0 || y < 0 || qint64(x) + point.width() > area.width() || qint64(y) + point.height() > area.height())
            add(QStringLiteral("校验点黑块（X=%1 Y=%2）不在其区域内").arg(x).arg(y));
    }

    void checkPage(const XMLElement *page, int position);
    void checkAnchor(const XMLElement *anchor);
    void checkCode(const XMLElement *s);
    void checkObject(const XMLElement *s);
    void checkOptional(const XMLElement *s);
    void checkSubject(const XMLElement *s, QSet<int> &blockNumbers);
    void checkSubjectConfig(const XMLElement *config);

    qint64 m_questions = 0;
    bool m_hasCode = false;
    QSet<int> m_candidates;                       // of every optional group
    QVector<const XMLElement *> m_optionalMembers;  // checked once every candidate is known
    QVector<QPair<int, int>> m_memberPlaces;      // page and section of each member
    QHash<int, QSet<int>> m_blocksByPage;         // subjective block numbers of each page
};

void Checker::run(const tinyxml2::XMLDocument &doc)
{
    const XMLElement *root = doc.RootElement();
    if (!root) {
        add(QStringLiteral("模板缺少根节点"));
        return;
    }
    // Read as a number, leniently, as the processing program always has.
    const QString version = textAttr(root, "Version");
    float value = version.toFloat();
    if (!std::isfinite(value))
        value = 0.0f;
    if (value < QString::fromLatin1(kMinimumVersion).toFloat()) {
        add(QStringLiteral("模板版本 %1 低于可加载的最低版本 %2").arg(version, QLatin1String(kMinimumVersion)), 0, true);
        return;
    }

    const XMLElement *pages = root->FirstChildElement("Pages");
    if (!pages) {
        add(QStringLiteral("模板缺少 Pages 节点"));
        return;
    }
    const XMLElement *first = pages->FirstChildElement();
    if (!first) {
        add(QStringLiteral("模板不包含任何页面"));
        return;
    }
    int position = 0;
    for (const XMLElement *page = first; page && !full(); page = page->NextSiblingElement())
        checkPage(page, ++position);

    m_section = 0;
    m_label.clear();
    if (!m_hasCode) {
        m_page = 1;
        add(QStringLiteral("缺少考号"));
    }

    // Members of optional groups, now that every candidate is known.
    for (int i = 0; i < m_optionalMembers.size() && !full(); ++i) {
        const XMLElement *s = m_optionalMembers.at(i);
        m_page = m_memberPlaces.at(i).first;
        m_section = m_memberPlaces.at(i).second;
        m_label = sectionLabel(s);
        int group = 0;
        if (number(s, "Optional", &group) && !m_candidates.contains(group))
            add(QStringLiteral("所属选做题 %1 不是任何选做题的候选题号").arg(group));
    }

    m_page = 0;
    m_section = 0;
    m_label.clear();
    if (m_questions > kMaxQuestionsPerTemplate)
        add(QStringLiteral("模板的客观题超过 %1 道").arg(kMaxQuestionsPerTemplate));

    if (const XMLElement *config = root->FirstChildElement("SubjectConfig"))
        checkSubjectConfig(config);
}

void Checker::checkPage(const XMLElement *page, int position)
{
    m_page = position;
    m_section = 0;
    m_label.clear();
    m_pageSize = QSize();

    const QString idText = textAttr(page, "ID");
    int id = 0;
    if (!strictInt(idText, &id) || id != position)
        add(QStringLiteral("页号 ID 为“%1”，应为 %2").arg(idText).arg(position));
    int width = 0, height = 0;
    if (numberIn(page, "Width", 1, kMaxPageSide, &width, QStringLiteral("页面宽度"))
        & numberIn(page, "Height", 1, kMaxPageSide, &height, QStringLiteral("页面高度")))
        m_pageSize = QSize(width, height);

    int anchors = 0;
    QSet<int> blockNumbers;
    // The code and the absent mark count on the first page only, the last
    // of each; elsewhere both programs pass them over.
    const XMLElement *code = nullptr;
    const XMLElement *absent = nullptr;
    int codeIndex = 0, absentIndex = 0;
    int index = 0;
    for (const XMLElement *s = page->FirstChildElement(); s && !full(); s = s->NextSiblingElement()) {
        m_section = ++index;
        m_label = sectionLabel(s);
        if (isKind(s, "AnchorPoint")) {
            // The first one is the page's anchor; later ones are passed over.
            if (++anchors == 1)
                checkAnchor(s);
        } else if (isKind(s, "CornerCheck")) {
            QRect r;
            if (area(s, &r) && markSize(s, "AnchorPointWidth", "AnchorPointHeight", r, QStringLiteral("校验点大小")))
                cornerPoint(s, r);
        } else if (isKind(s, "Code")) {
            code = s;
            codeIndex = index;
        } else if (isKind(s, "AbsentMark")) {
            absent = s;
            absentIndex = index;
        } else if (isKind(s, "Object") || isKind(s, "OptionalObject")) {
            checkObject(s);
        } else if (isKind(s, "Optional")) {
            checkOptional(s);
        } else if (isKind(s, "Subject") || isKind(s, "OptionalSubject")) {
            checkSubject(s, blockNumbers);
        }
        // Sections of other kinds are passed over by both programs.
    }
    m_blocksByPage.insert(position, blockNumbers);

    if (position == 1 && code && !full()) {
        m_hasCode = true;
        m_section = codeIndex;
        m_label = sectionLabel(code);
        checkCode(code);
    }
    if (position == 1 && absent && !full()) {
        m_section = absentIndex;
        m_label = sectionLabel(absent);
        area(absent);
    }

    m_section = 0;
    m_label.clear();
    if (anchors == 0)
        add(QStringLiteral("缺少定位点"));
}

void Checker::checkAnchor(const XMLElement *anchor)
{
    if (textAttr(anchor, "AnchorType") == QLatin1String("PrintText")) {
        const XMLElement *pt = anchor->FirstChildElement("PrintTextAnchor");
        if (!pt) {
            add(QStringLiteral("缺少 PrintTextAnchor 节点"));
            return;
        }
        QRect search;
        if (!area(pt, &search, "PrintTextAnchor"))
            return;
        centreInside(pt, search, "PrintTextAnchor");
        int rows = 0, cols = 0;
        bool ok = number(pt, "MatRows", &rows, "PrintTextAnchor");
        ok = number(pt, "MatCols", &cols, "PrintTextAnchor") && ok;
        if (!ok)
            return;
        cv::Mat patch;
        QString why;
        if (!TemplateFormat::decodeMatData(textAttr(pt, "MatData"), rows, cols, patch, &why))
            add(QStringLiteral("印刷文字定位数据无法使用：%1").arg(why));
        return;
    }
    // Any other AnchorType, a missing one too, is a pair of black rectangles.
    const QString angle = textAttr(anchor, "AngleAB");
    bool ok = false;
    const float a = angle.toFloat(&ok);
    if (!ok || !std::isfinite(a))
        add(QStringLiteral("属性 AngleAB=“%1” 不是数值").arg(angle));
    for (const char *child : {"A", "B"}) {
        const XMLElement *block = anchor->FirstChildElement(child);
        if (!block) {
            add(QStringLiteral("缺少 %1 节点").arg(QLatin1String(child)));
            continue;
        }
        QRect search;
        if (!area(block, &search, child))
            continue;
        markSize(block, "AnchorPointWidth", "AnchorPointHeight", search,
                 QStringLiteral("%1 的黑块大小").arg(QLatin1String(child)), child);
        centreInside(block, search, child);
    }
}

void Checker::checkCode(const XMLElement *s)
{
    int type = 0;
    if (!number(s, "CodeType", &type))
        return;
    if (type != 0 && type != 1) {
        add(QStringLiteral("考号类型为 %1，应为 0（填涂）或 1（条形码）").arg(type));
        return;
    }
    QRect r;
    const bool placed = area(s, &r);
    if (type == 1) {
        direction(s, "BarDirection", QStringLiteral("条形码方向"));
        return;
    }
    numberIn(s, "CodeLength", kMinCodeLength, kMaxCodeLength, nullptr, QStringLiteral("考号位数"));
    direction(s, "NumberDirection", QStringLiteral("考号数字方向"));
    if (placed)
        markSize(s, "MarkPointWidth", "MarkPointHeight", r, QStringLiteral("涂点大小"));
}

void Checker::checkObject(const XMLElement *s)
{
    if (isKind(s, "OptionalObject")) {
        m_optionalMembers << s;
        m_memberPlaces << qMakePair(m_page, m_section);
    }
    int abnormal = 0;
    if (!number(s, "Abnormal", &abnormal))
        return;
    QRect r;
    const bool placed = area(s, &r);
    if (abnormal != 0) {
        // One question whose bubbles are listed one by one.
        numberIn(s, "Item", 1, INT_MAX, nullptr, QStringLiteral("题号"));
        int children = 0;
        for (const XMLElement *o = s->FirstChildElement(); o; o = o->NextSiblingElement())
            ++children;
        int count = 0;
        if (number(s, "OptionCount", &count) && count != children)
            add(QStringLiteral("选项数写为 %1，实有 %2 个选项").arg(count).arg(children));
        else if (children < kMinOptionCount || children > kMaxOptionCount)
            add(QStringLiteral("有 %1 个选项，应为 %2 至 %3 个").arg(children).arg(kMinOptionCount).arg(kMaxOptionCount));
        int i = 0;
        for (const XMLElement *o = s->FirstChildElement(); o && !full(); o = o->NextSiblingElement()) {
            const QByteArray name = QStringLiteral("第 %1 个选项").arg(++i).toUtf8();
            area(o, nullptr, name.constData());
        }
        m_questions += 1;
        return;
    }

    int start = 0, end = 0;
    bool ok = numberIn(s, "ItemStart", 1, INT_MAX, &start, QStringLiteral("起始题号"));
    ok = numberIn(s, "ItemEnd", 1, INT_MAX, &end, QStringLiteral("结束题号")) && ok;
    if (ok) {
        if (end < start)
            add(QStringLiteral("结束题号 %1 小于起始题号 %2").arg(end).arg(start));
        else if (qint64(end) - start + 1 > kMaxQuestionsPerBlock)
            add(QStringLiteral("一块的题数超过 %1 道").arg(kMaxQuestionsPerBlock));
        else
            m_questions += qint64(end) - start + 1;
    }
    numberIn(s, "OptionCount", kMinOptionCount, kMaxOptionCount, nullptr, QStringLiteral("选项数"));
    direction(s, "OptionDirection", QStringLiteral("选项方向"));
    if (placed)
        markSize(s, "MarkPointWidth", "MarkPointHeight", r, QStringLiteral("涂点大小"));
}

void Checker::checkOptional(const XMLElement *s)
{
    const QString itemsText = textAttr(s, "Items");
    QStringList seen;
    bool ok = true;
    for (const QString &piece : itemsText.split(QLatin1Char(','))) {
        int n = 0;
        if (!strictInt(piece, &n) || n < 1) {
            add(QStringLiteral("候选题号“%1”不是正整数").arg(piece));
            ok = false;
            break;
        }
        if (seen.contains(piece)) {
            add(QStringLiteral("候选题号 %1 重复").arg(piece));
            ok = false;
            break;
        }
        seen << piece;
        m_candidates.insert(n);
    }
    if (ok && seen.size() < 2)
        add(QStringLiteral("只有 %1 个候选题号，至少应有 2 个").arg(seen.size()));
    const QString defaultItem = textAttr(s, "DefaultItem");
    if (ok && !seen.contains(defaultItem))
        add(QStringLiteral("默认题号“%1”不在候选题号 %2 中").arg(defaultItem, itemsText));
    QRect r;
    if (area(s, &r))
        markSize(s, "MarkPointWidth", "MarkPointHeight", r, QStringLiteral("涂点大小"));
}

void Checker::checkSubject(const XMLElement *s, QSet<int> &blockNumbers)
{
    if (isKind(s, "OptionalSubject")) {
        m_optionalMembers << s;
        m_memberPlaces << qMakePair(m_page, m_section);
    }
    int id = 0;
    if (numberIn(s, "SubjectSectionID", 1, INT_MAX, &id, QStringLiteral("块号"))) {
        if (blockNumbers.contains(id))
            add(QStringLiteral("块号 %1 在本页重复").arg(id));
        blockNumbers.insert(id);
    }
    area(s);
}

void Checker::checkSubjectConfig(const XMLElement *config)
{
    int position = 0;
    for (const XMLElement *item = config->FirstChildElement("Item"); item && !full();
         item = item->NextSiblingElement()) {
        ++position;
        const QString alias = textAttr(item, "Alias");
        auto tell = [&](const QString &why) {
            m_page = 0;
            add(QStringLiteral("主观题评分设置第 %1 题（%2）：%3").arg(position).arg(alias, why), position);
        };
        const QStringList pages = textAttr(item, "Pages").split(QLatin1Char(','));
        const QStringList sections = textAttr(item, "Sections").split(QLatin1Char(','));
        if (pages.size() != sections.size()) {
            tell(QStringLiteral("页码“%1”与块号“%2”个数不同").arg(textAttr(item, "Pages"), textAttr(item, "Sections")));
            continue;
        }
        for (int k = 0; k < pages.size(); ++k) {
            int page = 0, block = 0;
            if (!strictInt(pages.at(k), &page) || !strictInt(sections.at(k), &block)) {
                tell(QStringLiteral("页码“%1”或块号“%2”不是整数").arg(pages.at(k), sections.at(k)));
                break;
            }
            if (!m_blocksByPage.value(page).contains(block)) {
                tell(QStringLiteral("第%1页没有块号为 %2 的主观题").arg(page).arg(block));
                break;
            }
        }
    }
}

} // namespace

QVector<Problem> check(const tinyxml2::XMLDocument &doc, int limit)
{
    Checker checker(qMax(1, limit));
    checker.run(doc);
    return checker.problems;
}

QString listProblems(const QVector<Problem> &problems, int limit)
{
    QStringList lines;
    for (int i = 0; i < problems.size() && i < limit; ++i)
        lines << problems.at(i).text;
    if (problems.size() > limit)
        lines << QStringLiteral("……另有 %1 处").arg(problems.size() - limit);
    return lines.join(QLatin1Char('\n'));
}

} // namespace TemplateRules
