#pragma once
// The name of a corner check; proposals for the four corners, any text wins.

#include <QDialog>
#include <QString>

namespace Ui { class DialogCornerCheckName; }

class DialogCornerCheckName : public QDialog {
    Q_OBJECT
public:
    explicit DialogCornerCheckName(QWidget *parent = nullptr);
    ~DialogCornerCheckName() override;

    QString name;

    Ui::DialogCornerCheckName *ui;

public slots:
    void accept() override;
};
