#pragma once
// Asks, before a scan of an open exam, whether the pages are only scanned or
// each complete sheet also goes to recognition, how many leading pages do not
// start a sheet, and whether a failing sheet stops the feeder.

#include <QDialog>

namespace Ui { class DialogScanAndProcessTips; }

class DialogScanAndProcessTips : public QDialog {
    Q_OBJECT
public:
    DialogScanAndProcessTips(QWidget *parent, int pagesPerSheet);
    ~DialogScanAndProcessTips() override;

    int scanType = 0;            // 0 scan only, 1 scan and process
    int skipPageCount = 0;
    int stopFeederOnFailure = 0; // 0 or 1

public slots:
    void accept() override;

private:
    Ui::DialogScanAndProcessTips *ui;
};
