#pragma once
// Corrects the objective answers of one result row. Opened non-modally by the
// result table, which remembers where the operator last left it (geometryChanged).

#include <QDialog>
#include <QPoint>
#include <QSize>

class DialogEditObjectAnswer : public QDialog {
    Q_OBJECT
public:
    explicit DialogEditObjectAnswer(QWidget *parent = nullptr);

    // Set by the opener before the dialog is shown.
    int resultRow = -1;
    QString code;

signals:
    // The shown dialog was moved or resized.
    void geometryChanged(QPoint pos, QSize size);

protected:
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void rememberGeometry();
};
