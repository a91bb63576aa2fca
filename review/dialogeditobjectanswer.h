#pragma once
// Corrects the objective answers of one result row. Opened non-modally by the
// result table, which remembers where the operator last left it.

#include <QDialog>

class DialogEditObjectAnswer : public QDialog {
    Q_OBJECT
public:
    explicit DialogEditObjectAnswer(QWidget *parent = nullptr);

    // Set by the opener before the dialog is shown.
    int resultRow = -1;
    QString code;

protected:
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void rememberGeometry();
};
