#pragma once
// Collects the sort key, order and the texts to drop from file names; the
// image list sorts.

#include <QDialog>

namespace Ui { class DialogSort; }

class DialogSort : public QDialog {
    Q_OBJECT
public:
    explicit DialogSort(QWidget *parent = nullptr);
    ~DialogSort() override;

    int sortBy = 0;    // 0 file name, 1 creation time, 2 modification time
    int sortOrder = 0; // 0 ascending, 1 descending
    QString filterText;

public slots:
    void accept() override;

private:
    Ui::DialogSort *ui;
};
