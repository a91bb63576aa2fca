#pragma once
// The objective dialog for the questions of an optional group: the same
// checks as the plain one, plus the candidate number naming the group.

#include <QDialog>

namespace Ui { class DialogSectionObjectOptional; }

class DialogSectionObjectOptional : public QDialog {
    Q_OBJECT
public:
    DialogSectionObjectOptional(bool irregular, QWidget *parent);
    ~DialogSectionObjectOptional() override;

    bool irregular = false;
    int itemStart = 0;
    int itemEnd = 0;
    int item = 0;
    int optionDirection = 0;
    int optionCount = 4;
    int lastOptionCountIndex = -1;
    int lastOptionDirectionIndex = -1;
    int group = 0;   // candidate number of the group the questions belong to

    int fillExistingItems();
    // Every candidate number of every optional group, in template order.
    void fillOptionalItems();

    Ui::DialogSectionObjectOptional *ui;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;
};
