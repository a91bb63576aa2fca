#pragma once
// Shown when the first file of a new batch already exists: explains the ways
// out and lets the operator pick another save folder.

#include <QDialog>

namespace Ui
{
class DialogFileExist;
}

class DialogFileExist : public QDialog
{
    Q_OBJECT

public:
    DialogFileExist(QWidget *parent, const QString &info, const QString &path);
    ~DialogFileExist() override;

    // The folder shown when the dialog was accepted.
    QString savePath;
    Ui::DialogFileExist *form() const { return ui; }

public slots:
    void accept() override;

private:
    void changeFolder();
    void openFolder();

    Ui::DialogFileExist *ui;
};
