#pragma once
// File chooser that accepts folders and files together: several entries are
// picked with Shift and Ctrl, and OK closes it with whatever is selected.

#include <QFileDialog>

class MultipleSelect : public QFileDialog {
    Q_OBJECT
public:
    explicit MultipleSelect(QWidget *parent = nullptr);

public slots:
    void go();
};
