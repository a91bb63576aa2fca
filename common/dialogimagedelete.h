#pragma once
// Confirms removing the selected rows of a sheet or file list and asks whether
// their image files go too. It touches no list or file itself: the opener
// acts on the answer once the dialog is accepted. The processing program's
// image list and the scanning station's file list show it with their own
// form; Esc or the window's close button reject it.

#include <QDialog>

namespace Ui { class DialogImageDelete; }

class DialogImageDelete : public QDialog {
    Q_OBJECT
public:
    enum class Form {
        ImageList, // the processing program: title "删除"
        FileList,  // the scanning station: title "提示", larger type
    };

    explicit DialogImageDelete(QWidget *parent = nullptr, Form form = Form::ImageList);
    ~DialogImageDelete() override;

    // Whether the check box was left checked by its last click.
    bool deleteLocalFile = false;

private:
    Ui::DialogImageDelete *ui;
};
