#pragma once
// Confirms deleting the selected image rows and asks whether their files go
// too. The image list removes the rows after acceptance.

#include <QDialog>

class QCheckBox;
class QPushButton;

class DialogImageDelete : public QDialog {
    Q_OBJECT
public:
    explicit DialogImageDelete(QWidget *parent = nullptr);

    bool deleteLocalFile = false; // follows the check box

    QCheckBox *checkBox = nullptr;
    QPushButton *pushButtonOK = nullptr;
};
