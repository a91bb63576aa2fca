#pragma once
// How the student code of the first page is printed: a bubble grid (length,
// digit direction, measured bubble size) or a barcode / QR code (direction).
// The caller builds the code section from the public members after Accepted.

#include <QDialog>

class QButtonGroup;
namespace Ui { class DialogSectionCode; }

class DialogSectionCode : public QDialog {
    Q_OBJECT
public:
    // A bubble code's length must lie in this range.
    static constexpr int kMinCodeLength = 2;
    static constexpr int kMaxCodeLength = 50;

    explicit DialogSectionCode(QWidget *parent = nullptr);
    ~DialogSectionCode() override;

    int codeType = 0;          // 0 bubble code, 1 barcode or QR code
    int codeLength = 0;
    int numberDirection = 0;   // 1 digits run horizontally ("横排"), 0 vertically
    int barDirection = 0;      // 0 horizontal ("水平"), 1 vertical
    // Set by the caller before exec: the measured bubble size in page
    // pixels; 0 = not measured.
    int markPointWidth = 0;
    int markPointHeight = 0;

    Ui::DialogSectionCode *ui;

public slots:
    void accept() override;
    void onMarkPointSelected();
    void onBarSelected();

private:
    QButtonGroup *typeGroup_;
};
