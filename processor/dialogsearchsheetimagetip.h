#pragma once
// Frameless tip shown modally while the folder search runs. The operator
// cannot close it; the end of the search accepts it.

#include <QDialog>

namespace Ui { class DialogSearchSheetImageTip; }

class DialogSearchSheetImageTip : public QDialog {
    Q_OBJECT
public:
    explicit DialogSearchSheetImageTip(QWidget *parent = nullptr);
    ~DialogSearchSheetImageTip() override;

    // Called before each search.
    void reset();
    // True from reset() until the search's end accepts the tip.
    bool searching() const { return m_searching; }

public slots:
    void updateInfo(int totalCount, QString filePath);
    void accept() override;
    void reject() override {}
    // Returns at once when the search already ended before the tip was
    // shown, so a fast search can never leave it open.
    int exec() override;

private:
    Ui::DialogSearchSheetImageTip *ui;
    bool m_searching = false;
    bool m_finished = false;
};
