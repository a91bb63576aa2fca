#pragma once
// Asks for a student code to find in the result table.

#include <QDialog>

namespace Ui { class DialogSearchByCode; }

class DialogSearchByCode : public QDialog {
    Q_OBJECT
public:
    explicit DialogSearchByCode(QWidget *parent = nullptr);
    ~DialogSearchByCode() override;

    QString code; // out: the code typed

public slots:
    // Stays open while the code field is empty.
    void accept() override;

private:
    Ui::DialogSearchByCode *ui;
};
