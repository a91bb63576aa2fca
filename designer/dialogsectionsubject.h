#pragma once
// The block number of a subjective answer block on its page. Block numbers
// are unique per page among plain and optional-group blocks; the parent
// must be the canvas, whose section list gives the page's blocks.

#include <QDialog>

namespace Ui { class DialogSectionSubject; }

class DialogSectionSubject : public QDialog {
    Q_OBJECT
public:
    explicit DialogSectionSubject(QWidget *parent = nullptr);
    ~DialogSectionSubject() override;

    // Reopens the dialog on a block's values with the canvas as parent;
    // true (values replaced) when accepted.
    static bool edit(QWidget *canvas, int &page, int &blockNumber);

    int page = 0;
    int blockNumber = 0;   // out; in when editing
    int editing = 0;       // 1: editing an existing block

    void fillExistingBlocks();

    Ui::DialogSectionSubject *ui;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;
};
