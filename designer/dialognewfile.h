#pragma once
// Asks for the name of a new template and its blank sheet images, one per
// page, in the order the list shows at OK.

#include "filechoosers.h"

#include <QDialog>
#include <QStringList>

namespace Ui { class DialogNewFile; }

class DialogNewFile : public QDialog {
    Q_OBJECT
public:
    explicit DialogNewFile(QWidget *parent = nullptr);
    ~DialogNewFile() override;

    QString templateName;   // trimmed
    QStringList imageList;  // page k is the k-th path

    FileChoosers::OpenFiles chooseImages = FileChoosers::pageImages;

    Ui::DialogNewFile *ui;

public slots:
    void onLoadImages();
    void accept() override;
};
