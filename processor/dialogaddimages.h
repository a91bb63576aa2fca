#pragma once
// Asks whether images are appended from folders or as single files.

#include <QDialog>

namespace Ui { class DialogAddImages; }

class DialogAddImages : public QDialog {
    Q_OBJECT
public:
    explicit DialogAddImages(QWidget *parent = nullptr);
    ~DialogAddImages() override;

    QString mode; // "folder" or "file" once accepted

public slots:
    void accept() override;

private:
    Ui::DialogAddImages *ui;
};
