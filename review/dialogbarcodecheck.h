#pragma once
// Asks in which direction the bars of a barcode run before it is decoded.

#include <QDialog>

class DialogBarCodeCheck : public QDialog {
    Q_OBJECT
public:
    explicit DialogBarCodeCheck(QWidget *parent = nullptr);

    // 0 horizontal, 1 vertical; read only after the dialog was accepted.
    int direction = 0;
};
