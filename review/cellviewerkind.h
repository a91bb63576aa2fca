#pragma once
// Which viewer a result-table cell opens, decided by its column key alone,
// and where the recognition left the crops that the viewers show.

#include <QString>

enum class CellViewerKind {
    None,       // "客观题总分" and every key below that fits no other test
    Subject,    // a subjective block, page-block ("12-3")
    Object,     // an objective question number ("12")
    Optional,   // a choice of an optional group ("o-22")
    EntireSheet, // a whole-sheet page image ("e-2")
    Code,       // "考号"
};

// The first of these exact tests that matches: page-block, question number
// (one to four digits), "o-" + number, "e-" + number, "考号".
CellViewerKind cellViewerKind(const QString &columnKey);

// The two crops of one cut: "<folder>/<name>-o.jpg" as cut and
// "<folder>/<name>-b.png" binarised.
struct CropFiles {
    QString original;
    QString processed;
};

// `subFolder` is "codes", "objects" or "optionals" of the exam folder;
// `name` the student code, or code + "-" + question number.
CropFiles cropFiles(const QString &examFolder, const QString &subFolder, const QString &name);
