#pragma once
// The box shown over the station while a batch is transferred; its optional
// button asks the source to stop feeding sheets.

#include <QDialog>

namespace Ui
{
class DialogWait;
}

class DialogWait : public QDialog
{
    Q_OBJECT

public:
    // parent is the station's MainWindow: the stop button reaches the scan
    // form through it.
    explicit DialogWait(QWidget *parent = nullptr);
    ~DialogWait() override;

    void setStopButtonVisible(bool visible);
    Ui::DialogWait *form() const { return ui; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void stopFeeder();

    Ui::DialogWait *ui;
};
