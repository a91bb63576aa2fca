#pragma once
// Hidden tool of the processing program's about box: switches the recognition
// stages' diagnostic windows on and off for this run of the program. Nothing
// is saved; the switches take the boxes' states only when OK is pressed.

#include <QDialog>

namespace Ui { class DialogDebug; }

class DialogDebug : public QDialog {
    Q_OBJECT
public:
    explicit DialogDebug(QWidget *parent = nullptr);
    ~DialogDebug() override;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    Ui::DialogDebug *ui;
};
