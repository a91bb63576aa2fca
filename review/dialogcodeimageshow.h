#pragma once
// The student code viewer: the code area as cut and binarised. A barcode is
// read from the cut itself, so a barcode exam shows the cut only.

#include "cropimageviewer.h"

class QPushButton;

class DialogCodeImageShow : public CropImageViewer {
    Q_OBJECT
public:
    // codeType: 1 for a barcode exam, anything else for a bubble-coded one.
    explicit DialogCodeImageShow(QWidget *parent = nullptr, int codeType = 0);

    // A barcode exam has no processed view to offer: it shows the cut
    // whatever type the previous (bubble-coded) exam left remembered.
    void applyShowType(int type) override;

    // Filled before exec.
    QString originalImagePath;
    QString processedImagePath;
    QString code;

    QLabel *label_2 = nullptr;
    QLabel *labelCode = nullptr;
    QPushButton *pushButtonOK = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool m_barcode = false;
};
