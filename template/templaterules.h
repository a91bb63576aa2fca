#pragma once
// The rules a template document must meet to be read: the same rules for the
// processing program's loader, for the designer when it opens a file and
// for the designer before it saves. A template is good for both programs or
// refused by both, with the same words.
//
// The rules ask for what recognition needs and what the designer's own
// dialogs can produce: every page with its size and one anchor, the student
// code on page 1, every number a number within its range, every area of
// positive size inside its page, subjective block numbers unique per page,
// optional groups whose members name a real candidate, scoring items that
// name existing blocks. The version is read leniently, as a number, and the
// root's name is not checked.

#include <QString>
#include <QVector>

namespace tinyxml2 {
class XMLDocument;
}

namespace TemplateRules {

// Ranges the designer's dialogs keep to.
constexpr int kMinCodeLength = 2;
constexpr int kMaxCodeLength = 50;
constexpr int kMinOptionCount = 2;
constexpr int kMaxOptionCount = 16;
constexpr int kMaxQuestionsPerBlock = 1000;
constexpr int kMaxQuestionsPerTemplate = 10000;
// A scanned page is a few thousand pixels a side; far beyond that a size
// is broken, and sums of positions and sizes would no longer fit an int.
constexpr int kMaxPageSide = 30000;
extern const char *const kMinimumVersion;   // "4.0"

struct Problem {
    int page = 0;          // position of the Page element, 1 for the first; 0: the document
    int section = 0;       // position of the offending element among the page's children, 1 for the first; 0: the page
    int configItem = 0;    // position of the scoring item, 1 for the first, when the problem is there
    bool versionTooLow = false;
    QString text;          // names the page, the section and the rule
};

// Every problem of the document, in document order, at most `limit` of them.
QVector<Problem> check(const tinyxml2::XMLDocument &doc, int limit = 1000);

// The first `limit` problems as one text, one per line, with a count of
// the rest.
QString listProblems(const QVector<Problem> &problems, int limit = 20);

} // namespace TemplateRules
