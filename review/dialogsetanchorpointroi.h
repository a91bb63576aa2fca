#pragma once
// Asks where a new anchor search area, drawn on the sheet image, applies:
// which anchor, all pages or the current one, every sheet or this one.

#include <QDialog>

class QButtonGroup;

namespace Ui { class DialogSetAnchorPointROI; }

class DialogSetAnchorPointROI : public QDialog {
    Q_OBJECT
public:
    explicit DialogSetAnchorPointROI(QWidget *parent = nullptr);
    ~DialogSetAnchorPointROI() override;

    // Inputs, set before exec.
    bool isRectangleAnchor = true; // anchors A and B, else the printed-text anchor
    int currentPage = 1;           // 1-based page position in its sheet

    // Results, read after Accepted.
    int pageScope = 0;             // 0 all pages, 1 the current page only
    int anchorType = 0;            // 0 anchor A, 1 anchor B, 2 printed-text anchor
    bool applyToAllSheets = true;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    Ui::DialogSetAnchorPointROI *ui;
    QButtonGroup *m_pageScope;
    QButtonGroup *m_anchorType;
};
