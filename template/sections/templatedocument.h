#pragma once
// The designer's side of the template document: building the XML from the
// section widgets, and rebuilding the section widgets from a document.
//
// The writer produces the document text exactly (element and attribute
// order, four-space indentation, LF line ends). The readers take any
// document: what the writer never produces (no root, no Pages, pages beyond
// the tree, anchors without their child, bad MatData, absurd counts) gives a
// warning text and never a dangling or out-of-range access.

#include "treeitems.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

namespace tinyxml2 {
class XMLDocument;
class XMLElement;
}
class MySectionBase;
class QTreeWidgetItem;
class QWidget;

namespace TemplateDocument {

// One page as the writer needs it.
struct PageOut {
    int id = 0;                             // TreeItemPage id
    int width = 0;                          // size of the page image file
    int height = 0;
    QList<MySectionBase *> treeSections;    // the page item's children, in tree order
};

// The document text for these pages, sections (the canvas list, in order)
// and subjective rows. With `origins`: for every page, the widget each of
// its Section elements was written from, in element order.
QByteArray writeXml(const QString &templateName, const QVector<PageOut> &pages,
                    const QList<MySectionBase *> &sectionList, const QVector<SubjectItemRow> &rows,
                    QVector<QVector<const MySectionBase *>> *origins = nullptr);

// Parses the stored (complemented) bytes of a template file in memory; the
// file itself is never written. False, with a message, when the file cannot
// be read or does not parse.
bool parseStoredFile(const QString &path, tinyxml2::XMLDocument &doc, QString *errorText);
bool parseStoredBytes(const QByteArray &stored, tinyxml2::XMLDocument &doc, QString *errorText);

// Writes `xml` complemented to `path` in one go (temporary file renamed over
// the target). False, with a message, when the file cannot be written.
bool writeStoredFile(const QString &path, const QByteArray &xml, QString *errorText);

// The section readers. Each builds its widget(s) with `canvas` as parent,
// places them at page pixels (the canvas zoom must be 1), gives them a tree
// item under `pageItem` and appends them to the canvas's section list.
// Problems are appended to `warnings` (may be null).
void readAbsentMark(int page, QTreeWidgetItem *pageItem, const tinyxml2::XMLElement *section,
                    QWidget *canvas, QStringList *warnings);
void readAnchorPoints(int page, QTreeWidgetItem *pageItem, const tinyxml2::XMLElement *section,
                      QWidget *canvas, QStringList *warnings);
void readPrintTextAnchor(int page, QTreeWidgetItem *pageItem, const tinyxml2::XMLElement *section,
                         QWidget *canvas, QStringList *warnings);
void readCornerCheck(int page, QTreeWidgetItem *pageItem, const tinyxml2::XMLElement *section,
                     QWidget *canvas, QStringList *warnings);
void readCode(int page, QTreeWidgetItem *pageItem, const tinyxml2::XMLElement *section,
              QWidget *canvas, QStringList *warnings);
void readObject(int page, QTreeWidgetItem *pageItem, const tinyxml2::XMLElement *section,
                QWidget *canvas, QStringList *warnings);
void readObjectOptional(int page, QTreeWidgetItem *pageItem, const tinyxml2::XMLElement *section,
                        QWidget *canvas, QStringList *warnings);
void readOptionalItem(int page, QTreeWidgetItem *pageItem, const tinyxml2::XMLElement *section,
                      QWidget *canvas, QStringList *warnings);
void readSubject(int page, QTreeWidgetItem *pageItem, const tinyxml2::XMLElement *section,
                 QWidget *canvas, QStringList *warnings);
void readSubjectOptional(int page, QTreeWidgetItem *pageItem, const tinyxml2::XMLElement *section,
                         QWidget *canvas, QStringList *warnings);

// Handler for one Section element: one of the readers above.
using SectionReader = void (*)(int, QTreeWidgetItem *, const tinyxml2::XMLElement *, QWidget *,
                               QStringList *);
// The reader a Section's Type (and AnchorType) selects; null for none.
SectionReader readerFor(const tinyxml2::XMLElement *section);

// What the document holds besides its sections.
struct DocumentInfo {
    bool hasRoot = false;
    QString name;                           // root Name, UTF-8
    QVector<SubjectItemRow> rows;           // SubjectConfig items, in order
};

// Walks the document: every Page under the root's first Pages, with the
// page item at the same position of `pageItems`, every Section to the reader
// readerFor() picks, then the subjective rows. Pages beyond `pageItems` are
// skipped with a warning.
DocumentInfo readDocument(const tinyxml2::XMLDocument &doc, QWidget *canvas,
                          const QList<QTreeWidgetItem *> &pageItems, QStringList *warnings);

} // namespace TemplateDocument
