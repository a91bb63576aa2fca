#pragma once
// Presets the student code of one sheet, and optionally processes the sheet
// right away.

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

class DialogSetCode : public QDialog {
    Q_OBJECT
public:
    DialogSetCode(QWidget *parent, bool autoStart);

    QString code;                  // set before exec; the typed code after OK
    bool autoStartProcess = false; // the check box after OK

    QLineEdit *lineEditCode = nullptr;
    QCheckBox *checkBoxAutoStartProcess = nullptr;
    QPushButton *pushButtonOK = nullptr;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;
};
