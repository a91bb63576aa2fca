#pragma once
// Asks, before a save, whether the template should carry the scoring set-up
// of its subjective questions. Accepted: configure; rejected: skip.

#include <QDialog>

namespace Ui { class DialogSubjectConfigTip; }

class DialogSubjectConfigTip : public QDialog {
    Q_OBJECT
public:
    explicit DialogSubjectConfigTip(QWidget *parent = nullptr);
    ~DialogSubjectConfigTip() override;

    Ui::DialogSubjectConfigTip *ui;
};
