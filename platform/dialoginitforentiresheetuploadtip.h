#pragma once
// Frameless progress tip shown modally while the whole-sheet images of all
// result rows are made. The operator cannot close it; the end of the
// preparation accepts it.

#include <QDialog>

namespace Ui { class DialogInitForEntireSheetUploadTip; }

class DialogInitForEntireSheetUploadTip : public QDialog {
    Q_OBJECT
public:
    explicit DialogInitForEntireSheetUploadTip(QWidget *parent = nullptr);
    ~DialogInitForEntireSheetUploadTip() override;

    void setMaximum(int maximum);
    void setValue(int value);
    int maximum() const;
    int value() const;

    // Called before each preparation: progress 0, not finished.
    void reset();

public slots:
    void accept() override;
    void reject() override {}
    // Returns at once when the preparation already ended before the tip was
    // shown, so a quick end can never leave it open.
    int exec() override;

private:
    Ui::DialogInitForEntireSheetUploadTip *ui;
    bool m_finished = false;
};
