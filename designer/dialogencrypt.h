#pragma once
// The designer's hidden maintenance tool: switches a chosen file between its
// stored template form and its plain XML text by complementing every byte.
// The operation is its own inverse.

#include "filechoosers.h"

#include <QDialog>

namespace Ui { class DialogEncrypt; }

class DialogEncrypt : public QDialog {
    Q_OBJECT
public:
    explicit DialogEncrypt(QWidget *parent = nullptr);
    ~DialogEncrypt() override;

    FileChoosers::OpenFile chooseTemplate = FileChoosers::templateToComplement;

    Ui::DialogEncrypt *ui;

public slots:
    void onBrowse();
    void onEncrypt();
};
