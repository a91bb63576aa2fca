#pragma once
// Asks in which direction the bars of a barcode run before it is decoded.

#include <QDialog>

namespace Ui { class DialogBarCodeCheck; }

class DialogBarCodeCheck : public QDialog {
    Q_OBJECT
public:
    explicit DialogBarCodeCheck(QWidget *parent = nullptr);
    ~DialogBarCodeCheck() override;

    // 0 horizontal, 1 vertical; read only after the dialog was accepted.
    int direction = 0;

private:
    Ui::DialogBarCodeCheck *ui;
};
