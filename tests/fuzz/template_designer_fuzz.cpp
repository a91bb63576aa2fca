// A template file as the designer opens it: the stored bytes are parsed in
// memory and read into section widgets on a canvas of three pages. What was
// read is written again; reading that text once more must write the same
// bytes, so whatever a file holds, the designer settles on one document.

#include "fuzzsupport.h"
#include "mysectionbase.h"
#include "templatedocument.h"
#include "testsectionhost.h"

#include <QApplication>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <tinyxml2.h>

#include <cstdlib>

namespace {

QByteArray readAndWrite(const tinyxml2::XMLDocument &doc)
{
    // The tree outlives the canvas: a section deletes its tree item when it goes.
    QTreeWidget tree;
    TestSectionHost canvas;
    QList<QTreeWidgetItem *> pageItems;
    for (int i = 0; i < 3; ++i) {
        auto *item = new QTreeWidgetItem(QStringList{QStringLiteral("第%1页").arg(i + 1)});
        item->setData(0, TreeItemTypeRole, QVariant::fromValue(TreeItemTypePage));
        tree.addTopLevelItem(item);
        pageItems << item;
    }
    QStringList warnings;
    const TemplateDocument::DocumentInfo info = TemplateDocument::readDocument(doc, &canvas, pageItems, &warnings);

    QVector<TemplateDocument::PageOut> pages;
    for (int i = 0; i < pageItems.size(); ++i) {
        TemplateDocument::PageOut p;
        p.id = i + 1;
        p.width = 1240;
        p.height = 1754;
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
    const QByteArray first = readAndWrite(doc);
    tinyxml2::XMLDocument written;
    if (written.Parse(first.constData(), size_t(first.size())) != tinyxml2::XML_SUCCESS)
        std::abort();
    if (readAndWrite(written) != first)
        std::abort();
    return 0;
}
