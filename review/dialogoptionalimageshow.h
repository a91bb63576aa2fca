#pragma once
// The optional-question viewer: the choice bubbles of a group as cut and
// binarised, with the chosen question number.

#include "cropimageviewer.h"

class QPushButton;

class DialogOptionalImageShow : public CropImageViewer {
    Q_OBJECT
public:
    explicit DialogOptionalImageShow(QWidget *parent = nullptr);

    // Filled before exec.
    QString originalImagePath;
    QString processedImagePath;
    QString code;
    QString itemId;     // the chosen question number
    QString caption;    // code + "-" + itemId

    QLabel *label = nullptr;
    QLabel *labelCode = nullptr;
    QLabel *label_3 = nullptr;
    QLabel *labelOptional = nullptr;
    QPushButton *pushButtonOK = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
};
