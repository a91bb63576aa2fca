#pragma once
// Presets the student code of one answer sheet, typed by hand, and whether
// the sheet is processed at once. The image list acts on the answer.

#include <QDialog>

namespace Ui { class DialogSetCode; }

class DialogSetCode : public QDialog {
    Q_OBJECT
public:
    // `autoStart` is the auto-start box's first state.
    DialogSetCode(QWidget *parent, bool autoStart);
    ~DialogSetCode() override;

    QString code;                  // in: shown when the dialog opens; out: the code typed
    bool autoStartProcess = false; // out: process this sheet at once

public slots:
    // Stays open while the code field is empty.
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    Ui::DialogSetCode *ui;
};
