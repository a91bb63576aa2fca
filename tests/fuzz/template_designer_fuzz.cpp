// A template file as the designer opens it: the stored bytes are parsed in
// memory and read into section widgets on a canvas of three pages. What was
// read is written again; reading that text once more must write the same
// bytes, so whatever a file holds, the designer settles on one document.
// Both programs keep one set of template rules: the processing program loads
// exactly what the rules accept, and a template the designer opens without a
// remark it saves as one the processing program loads.

#include "fuzzsupport.h"
#include "mysectionbase.h"
#include "templatedocument.h"
#include "templateloader.h"
#include "templaterules.h"
#include "testsectionhost.h"

#include <QApplication>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <tinyxml2.h>

#include <cstdlib>

namespace {

// Page sizes as the document gives them, for the pages the canvas has.
QVector<QSize> pageSizes(const tinyxml2::XMLDocument &doc)
{
    QVector<QSize> sizes(3, QSize(1240, 1754));
    const tinyxml2::XMLElement *root = doc.RootElement();
    const tinyxml2::XMLElement *pages = root ? root->FirstChildElement("Pages") : nullptr;
    int i = 0;
    for (const tinyxml2::XMLElement *p = pages ? pages->FirstChildElement() : nullptr; p && i < 3;
         p = p->NextSiblingElement(), ++i)
        sizes[i] = QSize(p->IntAttribute("Width"), p->IntAttribute("Height"));
    return sizes;
}

int pageCount(const tinyxml2::XMLDocument &doc)
{
    const tinyxml2::XMLElement *root = doc.RootElement();
    const tinyxml2::XMLElement *pages = root ? root->FirstChildElement("Pages") : nullptr;
    int n = 0;
    for (const tinyxml2::XMLElement *p = pages ? pages->FirstChildElement() : nullptr; p; p = p->NextSiblingElement())
        ++n;
    return n;
}

QByteArray readAndWrite(const tinyxml2::XMLDocument &doc, const QVector<QSize> &sizes, int pageTotal,
                        QStringList *warningsOut = nullptr)
{
    // The tree outlives the canvas: a section deletes its tree item when it goes.
    QTreeWidget tree;
    TestSectionHost canvas;
    QList<QTreeWidgetItem *> pageItems;
    for (int i = 0; i < pageTotal; ++i) {
        auto *item = new QTreeWidgetItem(QStringList{QStringLiteral("第%1页").arg(i + 1)});
        item->setData(0, TreeItemTypeRole, QVariant::fromValue(TreeItemTypePage));
        tree.addTopLevelItem(item);
        pageItems << item;
    }
    QStringList warnings;
    const TemplateDocument::DocumentInfo info = TemplateDocument::readDocument(doc, &canvas, pageItems, &warnings);
    if (warningsOut)
        *warningsOut = warnings;

    QVector<TemplateDocument::PageOut> pages;
    for (int i = 0; i < pageItems.size(); ++i) {
        TemplateDocument::PageOut p;
        p.id = i + 1;
        p.width = sizes.at(i).width();
        p.height = sizes.at(i).height();
        for (int c = 0; c < pageItems.at(i)->childCount(); ++c)
            p.treeSections << qobject_cast<MySectionBase *>(
                pageItems.at(i)->child(c)->data(0, TreeItemDataRole).value<QObject *>());
        pages << p;
    }
    return TemplateDocument::writeXml(info.name, pages, canvas.sections, info.rows);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::quietQtLogging();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_template_designer";
    static char *argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    tinyxml2::XMLDocument doc;
    if (!TemplateDocument::parseStoredBytes(FuzzSupport::bytes(data, size), doc, nullptr))
        return 0;
    // The rules decide for the processing program.
    const bool good = TemplateRules::check(doc, 1).isEmpty();
    TemplateModel model;
    QStringList log;
    if (parseTemplate(doc, model, log).ok() != good)
        std::abort();

    const QVector<QSize> sizes = pageSizes(doc);
    QStringList warnings;
    const QByteArray first = readAndWrite(doc, sizes, 3, &warnings);
    tinyxml2::XMLDocument written;
    if (written.Parse(first.constData(), size_t(first.size())) != tinyxml2::XML_SUCCESS)
        std::abort();
    if (readAndWrite(written, sizes, 3) != first)
        std::abort();

    // Opened as a good template with as many images as pages, without a
    // remark, the designer saves what the processing program loads.
    const int pages = pageCount(doc);
    if (good && warnings.isEmpty() && pages >= 1 && pages <= 3) {
        const QByteArray saved = readAndWrite(doc, sizes, pages);
        tinyxml2::XMLDocument again;
        if (again.Parse(saved.constData(), size_t(saved.size())) != tinyxml2::XML_SUCCESS)
            std::abort();
        if (!TemplateRules::check(again, 1).isEmpty() || !parseTemplate(again, model, log).ok())
            std::abort();
    }
    return 0;
}
