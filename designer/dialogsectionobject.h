#pragma once
// Parameters of an objective block before the canvas creates it: a run of
// questions (regular) or one question with freely placed bubbles
// (irregular). Lists every objective question of the template, suggests the
// next free number and refuses numbers that exist already. The parent must
// be the canvas: the question list is read through it.

#include <QDialog>

namespace Ui { class DialogSectionObject; }

class DialogSectionObject : public QDialog {
    Q_OBJECT
public:
    DialogSectionObject(bool irregular, QWidget *parent);
    ~DialogSectionObject() override;

    bool irregular = false;
    int itemStart = 0;
    int itemEnd = 0;
    int item = 0;                  // irregular layout
    int optionDirection = 0;       // 0 side by side ("横排"), 1 one under the other
    int optionCount = 4;
    // In: index to preselect, -1 for none. Out: the index chosen at OK.
    int lastOptionCountIndex = -1;
    int lastOptionDirectionIndex = -1;

    // Fills the table of existing questions; returns the largest number.
    int fillExistingItems();

    Ui::DialogSectionObject *ui;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;
};
