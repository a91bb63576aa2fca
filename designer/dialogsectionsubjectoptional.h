#pragma once
// The block number of a subjective block of an optional group, and the
// candidate number naming its group.

#include <QDialog>

namespace Ui { class DialogSectionSubjectOptional; }

class DialogSectionSubjectOptional : public QDialog {
    Q_OBJECT
public:
    explicit DialogSectionSubjectOptional(QWidget *parent = nullptr);
    ~DialogSectionSubjectOptional() override;

    static bool edit(QWidget *canvas, int &group, int &page, int &blockNumber);

    int group = 0;         // in when editing; out: the chosen candidate
    int page = 0;
    int blockNumber = 0;
    int editing = 0;

    void fillExistingBlocks();
    void fillOptionalItems();

    Ui::DialogSectionSubjectOptional *ui;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;
};
