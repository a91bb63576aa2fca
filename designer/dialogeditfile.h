#pragma once
// Asks for a stored template file and its sheet images again, one per page,
// and accepts only when the file's pages match the images in count and
// size. The file is read and decoded in memory; it is never written.

#include "filechoosers.h"

#include <QDialog>
#include <QStringList>

namespace Ui { class DialogEditFile; }

class DialogEditFile : public QDialog {
    Q_OBJECT
public:
    explicit DialogEditFile(QWidget *parent = nullptr);
    ~DialogEditFile() override;

    QString templateFile;   // the ".tpl" chosen
    QString templateName;   // root Name of the file
    QStringList imageList;  // page k is the k-th path

    FileChoosers::OpenFiles chooseImages = FileChoosers::pageImages;
    FileChoosers::OpenFile chooseTemplate = FileChoosers::templateToOpen;

    Ui::DialogEditFile *ui;

public slots:
    void onLoadImages();
    void onBrowse();
    void accept() override;

private:
    void warn(const QString &text);
};
