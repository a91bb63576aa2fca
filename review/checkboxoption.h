#pragma once
// One answer option of an objective question as a large toggle, named and
// labelled with its option letter. The objective viewer and the answers
// editor lay them out in an option panel with the same look.

#include <QCheckBox>
#include <QList>
#include <QString>

class CheckBoxOption : public QCheckBox {
    Q_OBJECT
public:
    explicit CheckBoxOption(QChar letter, QWidget *parent = nullptr);

protected:
    // A release toggles at once and reports the click; the button's own
    // release handling (which would toggle only inside the box) is skipped.
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// The look of an option panel and its toggles.
QString optionPanelStyleSheet();

namespace OptionPanel {

// The letters of the checked toggles in option order, "X" when none is.
QString checkedMark(const QList<CheckBoxOption *> &boxes);

// Checks exactly the toggles that a letter of `mark` names ("X" names none;
// letters without a toggle are ignored) without letting them signal. True
// when any toggle changed, so the caller can refresh the mark once.
bool setChecks(const QList<CheckBoxOption *> &boxes, const QString &mark);

// Hides, removes and deletes every toggle of the list.
void clear(QList<CheckBoxOption *> &boxes);

} // namespace OptionPanel
