#pragma once
// Asks which anchor's search area the selection becomes, and on which pages
// and sheets.

#include <QDialog>

class QCheckBox;
class QRadioButton;

class DialogSetAnchorPointROI : public QDialog {
    Q_OBJECT
public:
    explicit DialogSetAnchorPointROI(QWidget *parent = nullptr);

    // Inputs, set before exec.
    bool isRectangleAnchor = true;
    int currentPage = 1;

    // Results, read after Accepted.
    int pageScope = 0;              // 0 all pages, 1 the current page only
    int anchorType = 0;             // 0 anchor A, 1 anchor B, 2 printed-text anchor
    bool applyToAllSheets = true;

    QRadioButton *radioButtonAllPages = nullptr;
    QRadioButton *radioButtonCurrentPage = nullptr;
    QRadioButton *radioButtonAnchorA = nullptr;
    QRadioButton *radioButtonAnchorB = nullptr;
    QRadioButton *radioButtonPrintText = nullptr;
    QCheckBox *checkBoxApplyToAllSheets = nullptr;

public slots:
    void accept() override;

protected:
    // The inputs arrive after construction; the choices follow them here.
    void showEvent(QShowEvent *event) override;
};
