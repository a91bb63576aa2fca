#pragma once
// What a section widget needs of the design canvas it lies on. The designer's
// canvas implements this; the section widgets find it as their parent widget
// (dynamic_cast), so the template library never includes the designer.

#include <QList>
#include <QMessageBox>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

class MySectionBase;
class QWidget;

class SectionHost {
public:
    virtual ~SectionHost() = default;

    // Every section and option bubble of every page, in creation or load
    // order. The list owns nothing; a section leaves it in its destructor.
    virtual QList<MySectionBase *> &sectionList() = 0;
    // The canvas zoom (canvas pixels = page pixels x zoom).
    virtual float zoom() const = 0;
    // Size of the page image as shown at the current zoom; a section is
    // dragged only within it. Empty before a page is shown.
    virtual QSize shownImageSize() const = 0;
    // 1-based number of the page the designer shows; -1 before any.
    virtual int currentPage() const = 0;
    // The section name in the status bar (empty text clears it).
    virtual void showSectionName(const QString &text) = 0;
    // The canvas takes the keyboard grab back (an option bubble gives it up
    // while the pointer is over the bubble).
    virtual void grabCanvasKeyboard() = 0;
    // Moves the canvas's selection rectangle to `geometry` (canvas pixels)
    // and shows it.
    virtual void showSelection(const QRect &geometry) = 0;

    // A modal message box; returns the button pressed. The designer routes
    // it through the programs' one message-box helper so tests can answer.
    virtual QMessageBox::StandardButton showMessage(QWidget *parent, QMessageBox::Icon icon,
                                                    const QString &title, const QString &text,
                                                    QMessageBox::StandardButtons buttons,
                                                    QMessageBox::StandardButton defaultButton) = 0;

    // The parameter dialogs that the information action of some kinds
    // reopens. Each is preloaded with the values, runs modally with the
    // canvas as parent, and returns true (values replaced) when accepted.
    virtual bool editOptionalItem(QStringList &items, QString &defaultItem) = 0;
    virtual bool editSubject(int &page, int &blockNumber) = 0;
    virtual bool editSubjectOptional(int &optional, int &page, int &blockNumber) = 0;
};
