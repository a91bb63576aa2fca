#pragma once
// Asks for a student code to look up in the result table.

#include <QDialog>

class QLineEdit;

class DialogSearchByCode : public QDialog {
    Q_OBJECT
public:
    explicit DialogSearchByCode(QWidget *parent = nullptr);

    // The code typed, trimmed; set when the dialog is accepted.
    QString code;

public slots:
    // Stays open while the code is empty.
    void accept() override;

private:
    QLineEdit *lineEditCode = nullptr;
};
