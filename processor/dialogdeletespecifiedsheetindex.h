#pragma once
// Asks which page of every sheet is to be removed from the image list.

#include <QDialog>

namespace Ui { class DialogDeleteSpecifiedSheetIndex; }

class DialogDeleteSpecifiedSheetIndex : public QDialog {
    Q_OBJECT
public:
    explicit DialogDeleteSpecifiedSheetIndex(QWidget *parent = nullptr);
    ~DialogDeleteSpecifiedSheetIndex() override;

    int pageIndex = -1; // 1 to 100 once accepted
    bool deleteLocalFile = false;

public slots:
    void accept() override;

private:
    Ui::DialogDeleteSpecifiedSheetIndex *ui;
};
