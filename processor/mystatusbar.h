#pragma once
// The panel in the processing program's status bar: the opened exam, its
// template summary, the page count of the image list and the number of
// recognised students.

#include <QWidget>

namespace Ui { class MyStatusBar; }

class MyStatusBar : public QWidget {
    Q_OBJECT
public:
    explicit MyStatusBar(QWidget *parent = nullptr);
    ~MyStatusBar() override;

    void setExamName(QString text);
    void setGrade(QString text);
    void setSubject(QString text);
    void setTemplateInfo(QString text);
    void setTotalSheetCount(int n);
    void setSuccessCount(int n);

private:
    Ui::MyStatusBar *ui;
};
