#pragma once
#include <QDialog>
// The about box; its own issue gives it the logo, texts and hidden tool.
class DialogAbout : public QDialog {
    Q_OBJECT
public:
    explicit DialogAbout(QWidget *parent = nullptr);
};
